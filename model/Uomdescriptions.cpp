#include "model/Uomdescriptions.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

#include <QComboBox>

#include <exception>

bool TUOMDescriptions::PopulateUOMDescriptions(const uint8_t *data, std::size_t length)
{
    Records.clear();
    TBlockReader reader(data, length);
    try {
        const int count = reader.ReadU16();
        for (int i = 0; i < count; ++i) {
            auto record = std::make_unique<TUOMDescription>(this);
            record->Read(reader);
            Records.push_back(std::move(record));
        }
    } catch (const std::exception &e) {
        LogError(QStringLiteral("TUOMDescriptions::PopulateUOMDescriptions Exception - ") +
                 ExceptionMessage(e));
        return false;
    }
    return true;
}

void TUOMDescriptions::FillUOMCombo(int32_t category, QComboBox *combo, int32_t currentUomId) const
{
    if (combo == nullptr)
        return;
    combo->clear();
    int index = -1;
    int selected = -1;
    for (const auto &record : Records) {
        if (record->Category != category)
            continue;
        ++index;
        combo->addItem(record->Name, QVariant::fromValue(static_cast<void *>(record.get())));
        if (record->UOMID == currentUomId)
            selected = index;
    }
    // The combo would select its first entry by itself; the current id
    // decides instead, and no match selects nothing.
    combo->setCurrentIndex(selected);
}

TUOMDescription *TUOMDescriptions::FromComboData(const QComboBox *combo, int index)
{
    if (combo == nullptr || index < 0 || index >= combo->count())
        return nullptr;
    return static_cast<TUOMDescription *>(combo->itemData(index).value<void *>());
}

void TUOMDescriptions::Add(std::unique_ptr<TUOMDescription> record)
{
    record->Owner = this;
    Records.push_back(std::move(record));
}
