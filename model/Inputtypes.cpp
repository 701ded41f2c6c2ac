#include "model/Inputtypes.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

#include <exception>

bool TInputTypes::PopulateInputTypes(const uint8_t *data, std::size_t length, std::size_t &consumed)
{
    Records.clear();
    consumed = 0;
    TBlockReader reader(data, length);
    try {
        const int count = reader.ReadU8();
        consumed = reader.Position();
        for (int i = 0; i < count; ++i) {
            auto record = std::make_unique<TInputType>(this);
            record->Read(reader);
            Records.push_back(std::move(record));
            consumed = reader.Position();
        }
    } catch (const std::exception &e) {
        AddLogTo(ErrorLog, QStringLiteral("TInputTypes::PopulateInputTypes Exception - ") +
                               ExceptionMessage(e));
        return false;
    }
    return true;
}

TInputType *TInputTypes::GetInputType(int32_t id) const
{
    for (const auto &record : Records)
        if (record->InputTypeID == id)
            return record.get();
    throw EItemNotFound(QStringLiteral("GetInputType: Could not find InputTypeID %1").arg(id));
}

void TInputTypes::Add(std::unique_ptr<TInputType> record)
{
    record->Owner = this;
    Records.push_back(std::move(record));
}
