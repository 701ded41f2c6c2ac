#pragma once

// Why a port could not be opened, told to the installer: the port layers only
// report a number, so after a failed open the device is looked at again and
// one line names the device path and the reason, with the way out where one
// is known (the serial devices that do exist, the dialout group, the program
// holding the device).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBytePipeEnd;
class TUSBSerialInterface;

enum class TPortProblem : std::uint8_t {
    None,         // the device looks usable now
    Missing,      // no such path
    NotDevice,    // a regular file, a directory or another non-device
    NotSerial,    // a device that takes no serial line settings
    NoPermission, // the user may not open it
    Held,         // another program holds it
    NoBridge,     // no USB bridge with the wanted description
    NoDriver,     // the USB bridge's library is not installed (Windows)
    Other,        // the open failed for another reason
};

struct TPortDiagnosis {
    TPortProblem Problem = TPortProblem::None;
    std::string Path;
    // Process holding the device, when the lock or /proc tells it; 0 otherwise.
    long HolderPid = 0;
    // The installer's line: device path and reason.
    std::string Line;
};

// Looks at a device path as the port layer would open it.
TPortDiagnosis DiagnosePortPath(const std::string &path);

// Looks at the port the link has selected: the COM port's device, or the USB
// bridge found under the link's brand name or "Zelvo".
TPortDiagnosis DiagnoseLinkOpen(const TUSBSerialInterface &link);

// An in-process pipe port (the simulated unit), named `label` in the line.
TPortDiagnosis DiagnosePipePort(const std::string &label, const std::shared_ptr<TBytePipeEnd> &end);

// Serial devices present on this machine (/dev paths on Linux, COM port names
// from the registry on Windows), sorted; at most `limit` of them.
std::vector<std::string> ListSerialDevices(std::size_t limit = 16);

// Roots for tests: where /dev, /sys/class/tty and /proc are looked for
// (Linux; no effect on Windows).
void SetPortDiagnosisRoots(const std::string &devRoot, const std::string &sysClassTty,
                           const std::string &procRoot);
void ResetPortDiagnosisRoots();
