#include "model/Uoms.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

#include <exception>

TUOMs::TUOMs(TUOMManager *owner, TErrorManager *log) : FOwner(owner), FLog(log) {}

TUOMs::~TUOMs() = default;

void TUOMs::Clear()
{
    FItems.clear();
}

void TUOMs::Add(std::unique_ptr<TUOM> uom)
{
    if (uom)
        FItems.push_back(std::move(uom));
}

TUOM *TUOMs::GetUOM(int32_t uomId) const
{
    for (const auto &uom : FItems)
        if (uom->UOMID() == uomId)
            return uom.get();
    throw EItemNotFound(QStringLiteral("GetUOM: Could not find UOMID %1").arg(uomId));
}

std::size_t TUOMs::PopulateUOMs(const uint8_t *data, std::size_t length)
{
    Clear();
    TBlockReader reader(data, length);
    // End of the last complete part, returned to the caller.
    std::size_t complete = 0;
    try {
        const int digitalCount = reader.ReadU8();
        complete = reader.Position();
        for (int i = 0; i < digitalCount; ++i) {
            // The whole record must be there before anything of it is kept.
            reader.Require(DigitalRecordSize);
            auto uom = std::make_unique<TUOM>(this, FLog);
            uom->SetUOMID(reader.ReadI32());
            uom->SetOffText(reader.ReadFixedText(TextFieldSize));
            uom->SetOnText(reader.ReadFixedText(TextFieldSize));
            uom->SetIsDigital(true);
            Add(std::move(uom));
            complete = reader.Position();
        }
        const int analogueCount = reader.ReadU8();
        complete = reader.Position();
        for (int i = 0; i < analogueCount; ++i) {
            reader.Require(AnalogueHeaderSize);
            auto uom = std::make_unique<TUOM>(this, FLog);
            uom->SetUOMID(reader.ReadI32());
            uom->SetUnitsText(reader.ReadFixedText(TextFieldSize));
            uom->SetOutOfRangeBehaviour(reader.ReadU8());
            uom->SetIsDigital(false);
            // The count byte of the table lies inside the 22 bytes required above.
            const std::size_t tableAt = reader.Position();
            const std::size_t announced = 1 + 8 * static_cast<std::size_t>(data[tableAt]);
            const int consumed = uom->PopulateUOMData(data + tableAt, length - tableAt);
            // A table cut short would scale with the wrong points: leave the UOM out.
            reader.Require(announced);
            if (static_cast<std::size_t>(consumed) != announced)
                throw std::runtime_error("Scaling table incomplete");
            reader.Skip(announced);
            Add(std::move(uom));
            complete = reader.Position();
        }
    } catch (const std::exception &e) {
        AddLogTo(FLog, QStringLiteral("TUOMs::PopulateUOMs Exception - ") + ExceptionMessage(e));
    }
    return complete;
}
