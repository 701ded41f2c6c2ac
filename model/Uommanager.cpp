#include "model/Uommanager.h"

#include "model/Inputtypes.h"
#include "model/Modelexceptions.h"
#include "model/Uoms.h"

#include <exception>

TUOMManager::TUOMManager(TErrorManager *log)
    : FInputTypes(std::make_unique<TInputTypes>(log)), FUOMs(std::make_unique<TUOMs>(this, log))
{
}

TUOMManager::~TUOMManager() = default;

void TUOMManager::PopulateUOMInformation(const uint8_t *data, std::size_t length)
{
    if (data == nullptr)
        length = 0;
    std::size_t consumed = 0;
    const bool typesComplete = FInputTypes->PopulateInputTypes(data, length, consumed);
    // The UOMs start right after the input types. A block that ends inside
    // the input types has no UOM part: reading on would take input-type bytes
    // for UOMs, so the list is emptied (and the reason logged) instead.
    if (!typesComplete || consumed > length)
        consumed = length;
    FUOMs->PopulateUOMs(data == nullptr ? nullptr : data + consumed, length - consumed);
}

long double TUOMManager::ConvertValue(int32_t inputTypeId, int32_t uomId, uint32_t raw) const
{
    const long double rawValue = static_cast<long double>(raw);
    long double v = rawValue;
    try {
        try {
            v = FInputTypes->GetInputType(inputTypeId)->Convert(v);
        } catch (const EItemNotFound &) {
            v = rawValue;
        }
        try {
            v = FUOMs->GetUOM(uomId)->Scale(v);
        } catch (const EItemNotFound &) {
            // Unknown UOM: the input type's result stands, unscaled.
        }
    } catch (const std::exception &) {
        // A rejecting table or a bad rule: the reading still yields a number.
        v = rawValue;
    }
    return v;
}

void TUOMManager::GetUOMDisplay(int32_t uomId, bool &isDigital, QString &unitsText, QString &onText,
                                QString &offText) const
{
    if (uomId == 0) {
        onText = QStringLiteral("ON");
        offText = QStringLiteral("OFF");
        unitsText.clear();
        isDigital = false;
        return;
    }
    try {
        const TUOM *uom = FUOMs->GetUOM(uomId);
        onText = uom->OnText();
        offText = uom->OffText();
        isDigital = uom->IsDigital();
        unitsText = uom->UnitsText();
    } catch (const std::exception &) {
        // Unknown UOM: the caller's texts stay as they were.
    }
}
