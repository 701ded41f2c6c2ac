#include "frontend/Signalreading.h"

namespace
{

// The meter's geometry: the bar grows up from a fixed bottom edge by 7 pixels
// per level, past coloured bands stacked bottom-up. The band a level belongs
// to is the band its bar's top edge reaches.
constexpr int kBarBottom = 265;
constexpr int kPixelsPerLevel = 7;
constexpr int kPoorTop = 221;
constexpr int kBorderlineTop = 200;
constexpr int kOKTop = 172;
constexpr int kHighestLevel = 31;

} // namespace

TSignalReading ReadSignalLevel(std::uint8_t level)
{
    TSignalReading r;
    if (level > kHighestLevel) {
        r.Bars = 0;
        if (level == 150)
            r.Band = QStringLiteral("Read failed");
        else if (level == 255)
            r.Band = QStringLiteral("No data");
        else
            r.Band = QStringLiteral("No signal");
        return r;
    }
    r.Bars = level;
    const int top = kBarBottom - kPixelsPerLevel * level;
    if (top > kPoorTop)
        r.Band = QStringLiteral("Poor");
    else if (top > kBorderlineTop)
        r.Band = QStringLiteral("Borderline");
    else if (top > kOKTop)
        r.Band = QStringLiteral("OK");
    else
        r.Band = QStringLiteral("Good");
    return r;
}
