// Why a port could not be opened, on Windows: the COM ports that exist (the
// registry's list of serial devices), a port held by another program (access
// denied or a sharing violation), and a missing USB bridge library.

#include "link/Portdiagnosis.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "link/Bridgelist.h"
#include "link/Portdevice.h"
#include "link/Portmap.h"
#include "link/Usbserialinterface.h"

namespace
{

std::string Joined(const std::vector<std::string> &items)
{
    std::string out;
    for (const std::string &s : items) {
        if (!out.empty())
            out += ", ";
        out += s;
    }
    return out;
}

// "\\.\COM3" -> "COM3", for the installer's eyes.
std::string Shown(const std::string &path)
{
    return path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
}

// COMn sorts by its number, anything else by name after them.
bool PortLess(const std::string &a, const std::string &b)
{
    auto number = [](const std::string &s) {
        if (s.size() < 4 || s.compare(0, 3, "COM") != 0)
            return 1 << 30;
        try {
            return std::stoi(s.substr(3));
        } catch (...) {
            return 1 << 30;
        }
    };
    const int na = number(a), nb = number(b);
    return na != nb ? na < nb : a < b;
}

// Whether one of our ports holds the device now (the named lock that the
// COM device takes, since Wine's ports do not refuse a second open).
bool HeldByOurPort(const std::string &device)
{
    std::string key = Shown(device);
    for (char &c : key)
        c = c == '\\' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    HANDLE m = ::OpenMutexA(SYNCHRONIZE, FALSE, ("Local\\zelvo-marlune-port-" + key).c_str());
    if (m == nullptr)
        return false;
    ::CloseHandle(m);
    return true;
}

TPortDiagnosis Diagnosis(TPortProblem problem, const std::string &path, const std::string &line)
{
    TPortDiagnosis d;
    d.Problem = problem;
    d.Path = path;
    d.Line = line;
    return d;
}

} // namespace

std::vector<std::string> ListSerialDevices(std::size_t limit)
{
    std::vector<std::string> found;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return found;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG r =
            ::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataLength);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataLength] = 0;
        const std::string port(reinterpret_cast<const char *>(data));
        if (!port.empty())
            found.push_back(port);
    }
    ::RegCloseKey(key);
    std::sort(found.begin(), found.end(), PortLess);
    found.erase(std::unique(found.begin(), found.end()), found.end());
    if (found.size() > limit)
        found.resize(limit);
    return found;
}

void SetPortDiagnosisRoots(const std::string &, const std::string &, const std::string &) {}

void ResetPortDiagnosisRoots() {}

TPortDiagnosis DiagnosePortPath(const std::string &path)
{
    const std::string shown = Shown(path);
    if (path.empty())
        return Diagnosis(TPortProblem::Missing, path, "(no device name): the port does not exist.");
    const std::string device =
        path.find_first_of("\\/:") == std::string::npos ? "\\\\.\\" + path : path;
    if (HeldByOurPort(device))
        return Diagnosis(TPortProblem::Held, path,
                         shown + ": held by another program; close it and connect again.");
    HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        const bool serial = ::GetCommState(h, &dcb);
        ::CloseHandle(h);
        if (!serial)
            return Diagnosis(TPortProblem::NotSerial, path,
                             shown + ": is not a serial device (it takes no line settings).");
        return Diagnosis(TPortProblem::None, path,
                         shown + ": opens now; it may have been busy for a moment, or the line "
                                 "settings were refused.");
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        const std::vector<std::string> present = ListSerialDevices();
        return Diagnosis(TPortProblem::Missing, path,
                         shown + ": the port does not exist. COM ports present: " +
                             (present.empty() ? std::string("none") : Joined(present)) + ".");
    }
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        return Diagnosis(TPortProblem::Held, path,
                         shown + ": held by another program; close it and connect again.");
    return Diagnosis(TPortProblem::Other, path,
                     shown + ": cannot be opened (Windows error " + std::to_string(error) + ").");
}

TPortDiagnosis DiagnoseLinkOpen(const TUSBSerialInterface &link)
{
    if (!link.IsUsbMode()) {
        const std::string name = "COM" + std::to_string(link.ComPort());
        if (const auto pipe = PipeForPortName(name))
            return DiagnosePipePort(name, pipe);
        return DiagnosePortPath(ComPortPath(link.ComPort()));
    }
    const std::vector<std::string> wanted = {link.BrandName(), std::string("Zelvo")};
    for (const std::string &w : wanted)
        if (const auto pipe = w.empty() ? nullptr : PipeForBridge(w))
            return DiagnosePipePort("USB bridge \"" + w + "\"", pipe);
    for (const std::string &w : wanted)
        for (const Ftd2xx::TBridge &b : Ftd2xx::VirtualBridges())
            if (!w.empty() && b.Description == w)
                return DiagnosePortPath(b.DevicePath);

    std::string problem;
    if (!BridgeLibraryUsable(&problem)) {
        TPortDiagnosis d;
        d.Problem = TPortProblem::NoDriver;
        d.Line = "USB bridge: the FTDI D2XX driver is not installed (" + problem +
                 "); install it, or choose the bridge's COM port (VELLO/COM mode) instead.";
        return d;
    }
    std::vector<std::string> seen;
    for (const Ftd2xx::TBridge &b : Ftd2xx::ListBridges())
        seen.push_back("\"" + b.Description + "\"");
    TPortDiagnosis d;
    d.Problem = TPortProblem::NoBridge;
    const std::string named = link.BrandName().empty() || link.BrandName() == "Zelvo"
                                  ? std::string("\"Zelvo\"")
                                  : "\"" + link.BrandName() + "\" or \"Zelvo\"";
    d.Line = "No USB bridge described " + named + " is attached. Bridges present: " +
             (seen.empty() ? std::string("none") : Joined(seen)) + ".";
    return d;
}
