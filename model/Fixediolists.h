#pragma once

#include <cstdint>
#include <vector>

class TIOs;

// One entry of a model's own I/O, known by heart rather than read from the
// unit: its number is its index in the live values and in the UOM table.
struct TFixedIOEntry {
    uint8_t Number;
    const char *Tag;
    const char *Name;
    int32_t IOType;
};

// The fixed table of a unit type (UNIT_TYPE_OSTRA 47 entries, UNIT_TYPE_VELLO
// 41); empty for any other type.
const std::vector<TFixedIOEntry> &FixedIOTable(uint8_t unitType);

// Rebuilds the list from scratch with the unit type's table, in table order,
// and refreshes its view. Returns the number of entries added.
int BuildFixedIOList(TIOs &ios, uint8_t unitType);
