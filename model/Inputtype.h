#pragma once

#include <cstdint>

class TInputTypes;
class TBlockReader;

// How a raw reading becomes a physical quantity before UOM scaling.
enum TConversionKind : int32_t {
    ckLinear = 0,     // (x * Multiplier) / Divisor + Offset
    ckReciprocal = 1, // Multiplier / (x * Divisor) + Offset
    ckRatio = 2,      // (x * Multiplier) / (Divisor - x)
};

// One conversion formula of the UOM-information block.
class TInputType
{
public:
    // Size of one record in the block.
    static constexpr int RecordSize = 15;

    explicit TInputType(TInputTypes *owner = nullptr) : Owner(owner) {}

    TInputTypes *Owner;
    int32_t InputTypeID = 0;
    float Multiplier = 0;
    float Divisor = 1.0f;
    float Offset = 0;
    int32_t ConversionKind = ckLinear;
    bool Flag = false; // stored with the record, not used by the tool

    // Applies the formula in extended precision; an unknown kind passes x
    // through. A zero denominator gives the floating-point result (inf/NaN).
    long double Convert(long double x) const;

    // Reads one 15-byte record at the reader's position.
    void Read(TBlockReader &reader);
};
