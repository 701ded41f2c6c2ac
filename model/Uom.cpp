#include "model/Uom.h"

#include "common/Errormanager.h"
#include "model/Blockreader.h"
#include "model/Modelexceptions.h"

#include <exception>
#include <new>
#include <stdexcept>

TUOM::TUOM(TUOMs *owner, TErrorManager *log) : FOwner(owner), FLog(log) {}

void TUOM::CreateXYArray(int32_t count)
{
    FXValues.clear();
    FYValues.clear();
    FPointCount = 0;
    // A new table invalidates the remembered segment.
    FLastIndex = 0;
    if (count <= 0)
        return;
    try {
        FXValues.assign(static_cast<std::size_t>(count), 0.0L);
        FYValues.assign(static_cast<std::size_t>(count), 0.0L);
    } catch (const std::bad_alloc &) {
        FXValues.clear();
        FYValues.clear();
        throw std::runtime_error("Dynamic memory allocation failed - TUOM::CreateXYArray");
    }
    FPointCount = count;
}

void TUOM::SetPoint(int32_t i, long double x, long double y)
{
    FXValues.at(static_cast<std::size_t>(i)) = x;
    FYValues.at(static_cast<std::size_t>(i)) = y;
}

int TUOM::PopulateUOMData(const uint8_t *data, std::size_t length)
{
    if (FIsDigital)
        return 0;
    TBlockReader reader(data, length);
    try {
        const int32_t count = reader.ReadU8();
        CreateXYArray(count);
        for (int32_t i = 0; i < count; ++i) {
            // Read both coordinates before storing, so a cut-off pair is not half kept.
            const long double x = reader.ReadF32();
            const long double y = reader.ReadF32();
            SetPoint(i, x, y);
        }
    } catch (const std::exception &e) {
        // Keep only the points that arrived whole.
        const std::size_t pos = reader.Position();
        const int32_t whole = pos > 1 ? static_cast<int32_t>((pos - 1) / 8) : 0;
        if (whole < FPointCount) {
            FXValues.resize(static_cast<std::size_t>(whole));
            FYValues.resize(static_cast<std::size_t>(whole));
            FPointCount = whole;
        }
        AddLogTo(FLog, QStringLiteral("TUOM::PopulateUOMData Exception - ") + ExceptionMessage(e));
    }
    return static_cast<int>(reader.Position());
}

long double TUOM::Scale(long double x)
{
    if (FIsDigital)
        return x;
    // A table of fewer than two points has no segment: the value passes unscaled.
    if (FPointCount < 2)
        return x;
    int32_t lo = 0;
    int32_t hi = 0;
    FindSegment(x, lo, hi);
    const std::size_t l = static_cast<std::size_t>(lo);
    const std::size_t h = static_cast<std::size_t>(hi);
    const long double slope =
        lo == hi ? 0.0L : (FYValues[l] - FYValues[h]) / (FXValues[l] - FXValues[h]);
    const long double offset = FYValues[l] - slope * FXValues[l];
    return slope * x + offset;
}

void TUOM::FindSegment(long double x, int32_t &lo, int32_t &hi)
{
    if (FPointCount < 2)
        throw std::runtime_error("FindSegment: the table has fewer than two points");
    const auto X = [this](int32_t i) { return FXValues[static_cast<std::size_t>(i)]; };
    const bool ascending = X(0) < X(1);
    lo = FLastIndex;
    if (lo < 0 || lo >= FPointCount)
        lo = 0;
    hi = lo;
    bool outOfRange = false;
    bool forwardEnd = false;
    // On a monotone table every walk ends within PointCount steps; a table with
    // NaN points could turn back and forth, so the walk is bounded.
    int32_t steps = 2 * FPointCount + 2;
    for (;;) {
        if (--steps < 0)
            throw std::runtime_error("FindSegment: the table has no segment for the value");
        // Written so that a NaN value walks forward on an ascending table and
        // backward on a descending one.
        const bool forward = ascending ? !(x < X(lo)) : x <= X(lo);
        if (forward) {
            if (lo + 1 >= FPointCount) {
                outOfRange = true;
                forwardEnd = true;
                hi = lo;
                break;
            }
            if (ascending ? X(lo + 1) > x : X(lo + 1) < x) {
                hi = lo + 1;
                break;
            }
            ++lo;
        } else {
            if (lo - 1 < 0) {
                outOfRange = true;
                forwardEnd = false;
                hi = lo;
                break;
            }
            if (ascending ? X(lo - 1) < x : X(lo - 1) > x) {
                hi = lo - 1;
                break;
            }
            --lo;
        }
    }
    FLastIndex = lo;
    if (!outOfRange)
        return;
    switch (FOutOfRangeBehaviour) {
    case oorDoNotInsert:
        throw EDontInsertError(QStringLiteral("Value out of range - do not insert"));
    case oorExtrapolate:
        // Extend the end segment: one point inward, the end point kept.
        lo = forwardEnd ? lo - 1 : lo + 1;
        return;
    case oorClamp:
        lo = hi;
        return;
    default:
        throw std::runtime_error(QStringLiteral("Unkown OutOfRangeBehaviour - %1")
                                     .arg(FOutOfRangeBehaviour)
                                     .toStdString());
    }
}
