#pragma once

#include <memory>
#include <string>

namespace zsim
{
class UnitSimulator;
}

// The wire between a front end and its simulated unit: a pseudo-terminal
// (POSIX), or an in-process byte pipe (everywhere; the only one on Windows).
enum class TSimulatedWire { Pty, Pipe };

// The wire a front end uses when nothing else is asked: the pipe on Windows,
// the pseudo-terminal elsewhere; the developer switch ZELVO_SIM_WIRE ("pty"
// or "pipe") overrides it.
TSimulatedWire DefaultSimulatedWire();

// A simulated unit inside a front end: the simulator serving a
// pseudo-terminal or one end of a byte pipe, registered where the link looks
// for that model (an OSTRA as the brand's USB bridge, a VELLO as COM port 1).
// Shared by zelvo-cli and the window's --simulate.
struct TSimulatedLink {
    // Out of line, where the simulator is a complete type: the front ends
    // hold a link without including the simulator.
    TSimulatedLink();
    ~TSimulatedLink();
    TSimulatedLink(TSimulatedLink &&) noexcept;
    TSimulatedLink &operator=(TSimulatedLink &&) noexcept;

    std::unique_ptr<zsim::UnitSimulator> Sim;
    bool UseUsb = false;
    int ComPort = 1;
    TSimulatedWire Wire = TSimulatedWire::Pty;
};

// The COM number the simulated VELLO is reached on.
inline constexpr int kSimulatedComPort = 1;

// Starts a simulated "ostra" or "vello" unit. The engine keeps its own pace;
// the simulated unit and server answer within a few hundred milliseconds
// divided by `pacingDivisor`. The developer switches ZELVO_SIM_VERSION,
// ZELVO_SIM_ACCOUNT and ZELVO_SIM_FAULTS (separated by ';') configure it.
// False with a reason in `error` when the simulator could not start.
bool StartSimulatedUnit(const std::string &model, int pacingDivisor, TSimulatedLink &out,
                        std::string &error);
bool StartSimulatedUnit(const std::string &model, int pacingDivisor, TSimulatedWire wire,
                        TSimulatedLink &out, std::string &error);
