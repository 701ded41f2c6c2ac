#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

class TErrorManager;
class TInputTypes;
class TUOMs;

// Owns the input types and the units of measure of the UOM-information block
// and turns raw readings into engineering values with them.
class TUOMManager
{
public:
    // What is cut short of a block is logged on `log`; null logs nothing.
    explicit TUOMManager(TErrorManager *log = nullptr);
    ~TUOMManager();
    TUOMManager(const TUOMManager &) = delete;
    TUOMManager &operator=(const TUOMManager &) = delete;

    TInputTypes *InputTypes() const { return FInputTypes.get(); }
    TUOMs *UOMs() const { return FUOMs.get(); }

    // Reads the whole block (input types, then digital and analogue UOMs)
    // from at most `length` bytes; what is cut short is logged and left out.
    void PopulateUOMInformation(const uint8_t *data, std::size_t length);

    // raw through the input type's formula, then the UOM's table. Never
    // raises: an unknown input type leaves raw for the table, an unknown UOM
    // leaves the input type's result unscaled, any other failure (a value
    // outside a rejecting table) gives raw.
    long double ConvertValue(int32_t inputTypeId, int32_t uomId, uint32_t raw) const;

    // Display texts of a UOM. Id 0 gives "ON"/"OFF", no units, not digital;
    // an unknown id leaves the outputs as they were.
    void GetUOMDisplay(int32_t uomId, bool &isDigital, QString &unitsText, QString &onText,
                       QString &offText) const;

private:
    std::unique_ptr<TInputTypes> FInputTypes;
    std::unique_ptr<TUOMs> FUOMs;
};
