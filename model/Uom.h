#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class TErrorManager;
class TUOMs;

// What Scale does with a value outside the table.
enum TOutOfRangeBehaviour : int32_t {
    oorDoNotInsert = 0, // reject: Scale raises EDontInsertError
    oorExtrapolate = 1, // extend the end segment
    oorClamp = 2,       // the end point's Y
};

// One unit of measure: a digital one carries off/on texts and passes values
// through; an analogue one carries a units text and an X/Y table for
// piecewise-linear scaling with a rule for values outside it.
class TUOM
{
public:
    // A table cut short is logged on `log`; null logs nothing.
    explicit TUOM(TUOMs *owner = nullptr, TErrorManager *log = nullptr);

    TUOMs *Owner() const { return FOwner; }
    int32_t UOMID() const { return FUOMID; }
    const QString &UnitsText() const { return FUnitsText; }
    const QString &OffText() const { return FOffText; }
    const QString &OnText() const { return FOnText; }
    int32_t OutOfRangeBehaviour() const { return FOutOfRangeBehaviour; }
    bool IsDigital() const { return FIsDigital; }
    int32_t PointCount() const { return FPointCount; }
    int32_t LastIndex() const { return FLastIndex; }
    // Table points; index must lie in 0..PointCount()-1.
    long double XValue(int32_t i) const { return FXValues.at(static_cast<std::size_t>(i)); }
    long double YValue(int32_t i) const { return FYValues.at(static_cast<std::size_t>(i)); }

    void SetUOMID(int32_t id) { FUOMID = id; }
    void SetUnitsText(const QString &text) { FUnitsText = text; }
    void SetOffText(const QString &text) { FOffText = text; }
    void SetOnText(const QString &text) { FOnText = text; }
    void SetOutOfRangeBehaviour(int32_t rule) { FOutOfRangeBehaviour = rule; }
    void SetIsDigital(bool digital) { FIsDigital = digital; }

    // Replaces the table by count zero points and starts searches anew.
    void CreateXYArray(int32_t count);
    void SetPoint(int32_t i, long double x, long double y);

    // Reads the table part of an analogue record (count byte, then count
    // float32 X/Y pairs) from at most `length` bytes. Returns the bytes
    // consumed: 0 for a digital UOM, 1 + 8 x count for a whole table. A table
    // cut short by the end of the block keeps the points read, is logged, and
    // returns fewer bytes than the count announced.
    int PopulateUOMData(const uint8_t *data, std::size_t length);

    // Piecewise-linear scaling in extended precision. Digital UOMs and tables
    // of fewer than two points pass x through unchanged. Outside the table the
    // OutOfRangeBehaviour applies; oorDoNotInsert raises EDontInsertError and
    // an unknown rule raises std::runtime_error.
    long double Scale(long double x);

    // The segment (lo, hi) of the table that x falls in, searched from
    // LastIndex, with the out-of-range rule applied. Needs two points or more.
    void FindSegment(long double x, int32_t &lo, int32_t &hi);

private:
    TUOMs *FOwner;
    TErrorManager *FLog;
    int32_t FUOMID = 0;
    QString FUnitsText;
    QString FOffText;
    QString FOnText;
    int32_t FOutOfRangeBehaviour = oorDoNotInsert;
    bool FIsDigital = false;
    std::vector<long double> FXValues;
    std::vector<long double> FYValues;
    int32_t FPointCount = 0;
    int32_t FLastIndex = 0;
};
