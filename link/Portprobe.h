#pragma once

// Finding the unit: every port it could be cabled to is opened in turn (all
// at once, one thread each), asked for the firmware version and, when that
// answer is a Zelvo's, for the unit type, and closed again with its own
// settings. Both front ends use it; it knows ports only through the port
// classes, the port map, the bridge layer and the port diagnosis.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TLinkAbort;

enum class TProbeResult : std::uint8_t {
    Zelvo,      // a unit answered both reads
    NoAnswer,   // nothing came back
    NotZelvo,   // something answered, but not as a unit does
    Busy,       // another program holds the port
    CannotOpen, // the port could not be opened (missing, no permission, ...)
};

// "zelvo", "no answer", "not a zelvo", "busy", "cannot open".
const char *ProbeResultText(TProbeResult result);

// One port to look at. A device reached in several ways (a COM mapping, a
// bridge, a /dev/serial/by-id link) is one candidate.
struct TProbeCandidate {
    // As the tool names it: "COM3", the bridge's description, or the path.
    std::string Port;
    // The device path (for a bridge: its serial device).
    std::string Path;
    // 1..n when the port is a numbered COM port, else 0.
    int ComNumber = 0;
    // The bridge's description when the device is a USB bridge.
    std::string Bridge;
};

struct TProbeReport {
    TProbeCandidate Candidate;
    TProbeResult Result = TProbeResult::NoAnswer;
    // For a unit: its type byte, "OSTRA" or "VELLO", the version text and
    // whether that firmware is recent enough for the tool.
    std::uint8_t UnitType = 0;
    std::string Model;
    std::string Firmware;
    bool FirmwareRecent = false;
    // Busy and cannot open: the port diagnosis's line; otherwise empty.
    std::string Reason;
    long HolderPid = 0;
    // What else was seen, for the text listing ("answered the version read
    // but not the unit-type read", ...); may be empty.
    std::string Detail;
    // The probe was broken off before it had an answer.
    bool Cancelled = false;
};

struct TProbeOptions {
    // The whole of one exchange (request written, reply read) on a port.
    std::chrono::milliseconds Timeout{1000};
    // Ports probed at the same time.
    std::size_t Parallel = 32;
};

// Where candidates are looked for. Tests point them at fake trees.
struct TProbeRoots {
    std::string Dev = "/dev";
};

// COM1..COM16 (through the port map), the USB bridges, then every other
// serial device present (ttyUSB*, ttyACM*, serial/by-id/* resolved, and the
// port diagnosis's list), each device once.
std::vector<TProbeCandidate> ListProbeCandidates(const TProbeRoots &roots = TProbeRoots{},
                                                 int comPorts = 16);

// Probes one port on the calling thread. Never writes more than the version
// read and (only after a unit's answer to it) the unit-type read. `abort`
// (may be null) ends it at once; the port is closed with its settings
// restored either way.
TProbeReport ProbePort(const TProbeCandidate &candidate, const TProbeOptions &options,
                       const TLinkAbort *abort);

// Called once per finished port, from the probing threads (serialised: one
// call at a time), with the index of the candidate.
using TProbeProgress = std::function<void(std::size_t index, const TProbeReport &report)>;

// Probes every candidate in parallel; the reports are in candidate order.
std::vector<TProbeReport> ProbePorts(const std::vector<TProbeCandidate> &candidates,
                                     const TProbeOptions &options, const TLinkAbort *abort,
                                     const TProbeProgress &progress = {});

// The units among the reports.
std::vector<TProbeReport> FoundUnits(const std::vector<TProbeReport> &reports);

// How the link reaches a unit a find reported: the USB bridge with a
// description, or a COM port number.
struct TProbeSelection {
    bool UseUsb = false;
    int ComPort = 1;
    std::string BridgeDescription;
};

// The selection for `unit`: an OSTRA on its bridge, a VELLO on its COM port.
// A unit on a device the link cannot otherwise name is made reachable: a
// VELLO gets the first COM number that the find saw unusable mapped to its
// device, an OSTRA a virtual bridge described "Zelvo". False when no COM
// number is free.
bool SelectFoundUnit(const TProbeReport &unit, const std::vector<TProbeReport> &all,
                     TProbeSelection &selection);

// One line per report: port, device path, result and what goes with it.
std::string ProbeReportLine(const TProbeReport &report);
