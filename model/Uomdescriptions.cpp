#include "model/Uomdescriptions.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

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
        AddLogTo(ErrorLog,
                 QStringLiteral("TUOMDescriptions::PopulateUOMDescriptions Exception - ") +
                     ExceptionMessage(e));
        return false;
    }
    return true;
}

TUOMDescription *TUOMDescriptions::Find(int32_t id) const
{
    for (const auto &record : Records)
        if (record->UOMID == id)
            return record.get();
    return nullptr;
}

void TUOMDescriptions::Add(std::unique_ptr<TUOMDescription> record)
{
    record->Owner = this;
    Records.push_back(std::move(record));
}
