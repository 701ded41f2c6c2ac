#include "model/Inputtype.h"

#include "model/Blockreader.h"

long double TInputType::Convert(long double x) const
{
    const long double m = Multiplier;
    const long double d = Divisor;
    const long double o = Offset;
    // The groupings are the unit's own: product first, then the division.
    switch (ConversionKind) {
    case ckLinear:
        return (x * m) / d + o;
    case ckReciprocal:
        return m / (x * d) + o;
    case ckRatio:
        return (x * m) / (d - x);
    default:
        return x;
    }
}

void TInputType::Read(TBlockReader &reader)
{
    // Check the whole record first, so a cut record changes nothing.
    reader.Require(RecordSize);
    InputTypeID = reader.ReadU8();
    Multiplier = reader.ReadF32();
    Divisor = reader.ReadF32();
    Offset = reader.ReadF32();
    ConversionKind = reader.ReadU8();
    Flag = reader.ReadU8() != 0;
}
