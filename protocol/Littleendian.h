#pragma once

// Every multi-byte number exchanged with the unit is little-endian.

#include <cstdint>

// The 32-bit number in the four bytes at p.
inline uint32_t ReadLE32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
