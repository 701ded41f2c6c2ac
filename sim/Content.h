#pragma once

// What the simulated unit measures and what its server knows: the catalogue
// of input types and units of measure, and the "plant" wired to each I/O of
// the unit (which quantity it sees and how it moves over time). Live values
// are produced backwards from engineering values through the same tables the
// server hands out, so a tool that scales correctly shows sensible numbers.

#include "sim/UnitSimulator.h"
#include "sim/Wire.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zsim
{

struct AvailableType {
    uint8_t id = 0;
    uint8_t category = 0;
    bool selectable = false;
    bool flag = false;
    std::string name;
};

struct UomDescription {
    int32_t id = 0;
    uint8_t category = 0;
    std::string name;
};

struct Catalogue {
    std::vector<InputTypeFormula> inputTypes;
    std::vector<AvailableType> available;
    std::vector<DigitalUom> digital;
    std::vector<AnalogueUom> analogue;
    std::vector<UomDescription> descriptions;

    const InputTypeFormula *InputType(int id) const;
    const DigitalUom *Digital(int32_t id) const;
    const AnalogueUom *Analogue(int32_t id) const;
    bool KnowsUom(int32_t id) const { return id == 0 || Digital(id) || Analogue(id); }
};

const Catalogue &TheCatalogue();

enum class Wave { Const, Sine, Ramp, Toggle, Count };

// One I/O of the unit or one external (Modbus) I/O.
struct Channel {
    int number = 0;  // own I/O number, or external number from 1
    std::string tag; // 6 characters as the server stores it; empty = not configured
    std::string name;
    uint8_t inputType = 0;
    int32_t uomId = 0;
    uint8_t logging = 0;
    Wave wave = Wave::Const;
    double base = 0, amp = 0, period = 60; // engineering units, seconds
    uint8_t modbusType = 0;                // external only: 2-byte (1, 2) or 4-byte (3..9)
    uint8_t slave = 0;                     // external only
    bool isDigitalOutput = false;          // OSTRA numbers 0..7: carried in the bit mask
};

struct Plant {
    Model model = Model::Vello;
    uint8_t unitType = 3;
    int ownRecords = 41;           // own-I/O records of the UOM table
    int externalBase = 44;         // UOM record index of external I/O 1
    std::vector<Channel> own;      // index = number, ownRecords long
    std::vector<Channel> external; // index = number - 1
};

Plant BuildPlant(Model m);

struct ModbusSlave {
    uint8_t id;
    std::string name;
};
const std::vector<ModbusSlave> &ModbusSlaves();

// The engineering value of a channel at time t (seconds since start).
double EngineeringAt(const Channel &c, double t);

// The raw reading that converts to `eng` through the input type and UOM;
// clamped to 0 .. maxRaw.
uint32_t RawFor(int inputType, int32_t uomId, double eng, uint32_t maxRaw = 0xFFFFFFFFu);

// Forward conversion (input type, then UOM table), used by the server for
// snapshots and by tests to check consistency. Out-of-table values follow
// the UOM's rule; a rejected value gives NaN.
double Convert(int inputType, int32_t uomId, uint32_t raw);

} // namespace zsim
