#pragma once

#include <QString>

#include <cstdint>

// The signal meter's reading of a level, as the window's meter shows it.
struct TSignalReading {
    int Bars = 0; // 0..31: the level the meter draws; 0 for no bar
    QString Band; // "Good", "OK", "Borderline", "Poor" or why there is no level
};

// Levels 0..31 are strengths; 99 is no signal, 150 a failed read and 255 a
// read without data, which the meter draws (like any level above 31) as an
// empty bar.
TSignalReading ReadSignalLevel(std::uint8_t level);
