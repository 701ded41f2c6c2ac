// The simulated unit's side: request frames cut out of a byte stream the way
// the simulator does (noise up to the start byte, then length + 4 bytes),
// each handed to the unit, which carries server messages to its server.
// Inputs that start with '#' are fault switches instead, one a line.

#include <chrono>
#include <sstream>
#include <string>

#include "sim/Faults.h"
#include "sim/Unit.h"
#include "sim/Wire.h"

using namespace zsim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size > 0 && data[0] == '#') {
        std::istringstream lines(std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
        std::string line, error;
        FaultSet set;
        while (std::getline(lines, line)) {
            Fault f;
            ParseFault(line, &f, &error);
            set.Add(line, &error);
            int code = 0;
            ParseCommand(line, &code);
            ParseMessageType(line, &code);
            ParseSfState(line, &code);
        }
        return 0;
    }
    Options o;
    o.model = (size > 0 && (data[0] & 1)) ? Model::Ostra : Model::Vello;
    FaultSet faults;
    const auto start = Clock::now();
    Unit unit(
        o, faults, [](const std::string &) {}, start);
    std::string error;
    if (!unit.Init(&error))
        return 0;
    Bytes rx(data, data + size);
    long frame = 0;
    std::size_t at = 0;
    // Each frame is a second later than the one before, so the
    // store-and-forward cycle moves on.
    while (at < rx.size()) {
        while (at < rx.size() && rx[at] != kStartByte)
            ++at;
        if (rx.size() - at < 2 || rx.size() - at < std::size_t(rx[at + 1]) + 4)
            break;
        const std::size_t len = std::size_t(rx[at + 1]) + 4;
        const Bytes payload(rx.begin() + long(at) + 3, rx.begin() + long(at + len) - 1);
        const uint8_t command = rx[at + 2];
        at += len;
        ++frame;
        const auto now = start + std::chrono::seconds(frame);
        unit.Advance(now, frame);
        if (unit.Resetting(now))
            continue;
        const Reply r = unit.Handle(command, payload, frame, now);
        r.Encode();
    }
    return 0;
}
