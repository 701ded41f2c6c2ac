#include "model/Availableinputtypes.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

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
        AddLogTo(ErrorLog,
                 QStringLiteral("TAvailableInputTypes::PopulateAvailableInputTypes Exception - ") +
                     ExceptionMessage(e));
        return false;
    }
    return true;
}

TAvailableInputType *TAvailableInputTypes::GetAvailableInputType(uint8_t id) const
{
    if (TAvailableInputType *record = Find(id))
        return record;
    throw EItemNotFound(
        QStringLiteral("GetAvailableInputType: Could not find InputType %1").arg(id));
}

TAvailableInputType *TAvailableInputTypes::Find(uint8_t id) const
{
    for (const auto &record : Records)
        if (record->InputTypeID == id)
            return record.get();
    return nullptr;
}

void TAvailableInputTypes::Add(std::unique_ptr<TAvailableInputType> record)
{
    record->Owner = this;
    Records.push_back(std::move(record));
}
