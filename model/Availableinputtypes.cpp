#include "model/Availableinputtypes.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

#include <QComboBox>

#include <exception>

bool TAvailableInputTypes::PopulateAvailableInputTypes(const uint8_t *data, std::size_t length)
{
    Records.clear();
    TBlockReader reader(data, length);
    try {
        const int count = reader.ReadU8();
        for (int i = 0; i < count; ++i) {
            auto record = std::make_unique<TAvailableInputType>(this);
            record->Read(reader);
            Records.push_back(std::move(record));
        }
    } catch (const std::exception &e) {
        LogError(QStringLiteral("TAvailableInputTypes::PopulateAvailableInputTypes Exception - ") +
                 ExceptionMessage(e));
        return false;
    }
    return true;
}

TAvailableInputType *TAvailableInputTypes::GetAvailableInputType(uint8_t id) const
{
    for (const auto &record : Records)
        if (record->InputTypeID == id)
            return record.get();
    throw EItemNotFound(
        QStringLiteral("GetAvailableInputType: Could not find InputType %1").arg(id));
}

void TAvailableInputTypes::FillInputTypeCombo(uint8_t currentId, QComboBox *combo) const
{
    if (combo == nullptr)
        return;
    auto addEntry = [combo](TAvailableInputType *record) {
        combo->addItem(record->Name, QVariant::fromValue(static_cast<void *>(record)));
    };

    combo->clear();
    TAvailableInputType *current = nullptr;
    for (const auto &record : Records) {
        if (record->InputTypeID != currentId)
            continue;
        addEntry(record.get());
        if (record->Selectable) {
            current = record.get();
            break;
        }
    }
    combo->setCurrentIndex(0);

    // A selectable present type may be switched to any selectable type.
    if (current != nullptr) {
        combo->clear();
        for (const auto &record : Records) {
            if (!record->Selectable)
                continue;
            addEntry(record.get());
            if (record.get() == current)
                combo->setCurrentIndex(combo->count() - 1);
        }
    }
}

TAvailableInputType *TAvailableInputTypes::FromComboData(const QComboBox *combo, int index)
{
    if (combo == nullptr || index < 0 || index >= combo->count())
        return nullptr;
    return static_cast<TAvailableInputType *>(combo->itemData(index).value<void *>());
}

void TAvailableInputTypes::Add(std::unique_ptr<TAvailableInputType> record)
{
    record->Owner = this;
    Records.push_back(std::move(record));
}
