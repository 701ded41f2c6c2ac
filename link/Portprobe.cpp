#include "link/Portprobe.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "link/Commandcodes.h"
#include "link/Framing.h"
#include "link/Ftd2xx.h"
#include "link/Ftdipacket.h"
#include "link/Linkabort.h"
#include "link/Portdiagnosis.h"
#include "link/Portmap.h"
#include "link/Serialpacket.h"
#include "link/Zelvocommsinterface.h"

namespace fs = std::filesystem;

namespace
{

using Clock = std::chrono::steady_clock;

constexpr uint8_t kTypeOstra = 2;
constexpr uint8_t kTypeVello = 3;
constexpr const char *kVirtualBridge = "Zelvo";

// A port seen through the framing code with the probe's own limits: every
// read and write gets at most what is left of the exchange's deadline, so a
// device that trickles bytes cannot stretch one exchange beyond its
// time-out, and the reads that brought bytes are counted, so "nothing came"
// and "something that is not a reply came" are told apart.
template <typename Port> class TProbeWire
{
public:
    TProbeWire(Port &port, Clock::time_point deadline) : FPort(port), FDeadline(deadline) {}

    int32_t DiscardInput() { return FPort.DiscardInput(); }
    int32_t WriteBytes(const uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
    {
        return FPort.WriteBytes(buffer, count, Left(timeoutMs));
    }
    int32_t ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
    {
        const int32_t r = FPort.ReadBytes(buffer, count, Left(timeoutMs));
        if (r == PortOK)
            FAnswered = true;
        return r;
    }
    // At least one byte of a reply came.
    bool Answered() const { return FAnswered; }

private:
    uint32_t Left(uint32_t timeoutMs) const
    {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(FDeadline - Clock::now());
        const long long ms = std::max<long long>(0, left.count());
        return static_cast<uint32_t>(std::min<long long>(ms, timeoutMs));
    }

    Port &FPort;
    Clock::time_point FDeadline;
    bool FAnswered = false;
};

struct TExchange {
    bool Ok = false;
    bool Answered = false;
    int32_t Length = 0;
    std::array<uint8_t, 256> Data{};
};

template <typename Port>
TExchange QueryOnce(Port &port, uint8_t command, std::chrono::milliseconds timeout)
{
    TExchange e;
    TProbeWire<Port> wire(port, Clock::now() + timeout);
    const uint64_t discardedBefore = port.DiscardedInputBytes();
    e.Ok = framing::Exchange(wire, static_cast<int32_t>(timeout.count()), command, nullptr, 0,
                             e.Data.data(), e.Length, true);
    // Bytes waiting before the request was even written also mean that
    // something is talking on the line.
    e.Answered = wire.Answered() || port.DiscardedInputBytes() > discardedBefore;
    e.Length = std::clamp<int32_t>(e.Length, 0, 255);
    return e;
}

// A version text as units send it: printable characters up to the first
// zero byte, at least one of them.
bool PlausibleVersionText(const TExchange &e, std::string &text)
{
    const auto *begin = reinterpret_cast<const char *>(e.Data.data());
    text.assign(begin, strnlen(begin, static_cast<std::size_t>(e.Length)));
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

void FailedOpen(TProbeReport &r, int32_t result)
{
    const TPortDiagnosis d = DiagnosePortPath(r.Candidate.Path);
    r.HolderPid = d.HolderPid;
    if (d.Problem == TPortProblem::Held ||
        (result == PortErrorAccessDenied && d.Problem == TPortProblem::None)) {
        r.Result = TProbeResult::Busy;
        r.Reason = d.Problem == TPortProblem::Held
                       ? d.Line
                       : r.Candidate.Path + ": held by another program; close it and try again.";
        return;
    }
    r.Result = TProbeResult::CannotOpen;
    r.Reason =
        d.Problem == TPortProblem::None
            ? r.Candidate.Path + ": cannot be opened (port result " + std::to_string(result) + ")."
            : d.Line;
}

template <typename Port>
void ProbeOn(Port &port, const std::string &name, const TProbeOptions &options,
             const TLinkAbort *abort, TProbeReport &r)
{
    port.SetAbort(abort);
    const int32_t opened = port.Open(name.c_str());
    if (opened != PortOK) {
        // An open that failed after the device was obtained leaves it open.
        port.Close();
        port.SetAbort(nullptr);
        FailedOpen(r, opened);
        return;
    }
    const auto finish = [&port] {
        // Close gives the device back the settings it had when opened.
        port.Close();
        port.SetAbort(nullptr);
    };
    if (port.SetLineParameters(kDefaultBaudRate, 8, 2, 0, 0) != PortOK) {
        finish();
        r.Result = TProbeResult::CannotOpen;
        r.Reason = r.Candidate.Path + ": refused the line settings 19200 baud 8N2.";
        return;
    }

    const TExchange version = QueryOnce(port, CMD_READ_VERSION, options.Timeout);
    if (abort != nullptr && abort->IsSet()) {
        finish();
        r.Cancelled = true;
        return;
    }
    std::string text;
    if (!version.Ok || !PlausibleVersionText(version, text)) {
        finish();
        if (!version.Answered) {
            r.Result = TProbeResult::NoAnswer;
            return;
        }
        r.Result = TProbeResult::NotZelvo;
        r.Detail = version.Ok ? "its reply to the version read holds no version text"
                              : "it sent bytes that are not a reply to the version read";
        return;
    }
    // A unit speaks only when spoken to: a device that went on sending after
    // its reply is something else, and gets no second request.
    const uint64_t before = port.DiscardedInputBytes();
    port.DiscardInput();
    if (port.DiscardedInputBytes() > before) {
        finish();
        r.Result = TProbeResult::NotZelvo;
        r.Detail = "it kept sending after its reply to the version read";
        return;
    }

    const TExchange type = QueryOnce(port, CMD_READ_UNIT_TYPE, options.Timeout);
    finish();
    if (abort != nullptr && abort->IsSet()) {
        r.Cancelled = true;
        return;
    }
    const uint8_t unitType = type.Length >= 1 ? type.Data[0] : 0;
    if (!type.Ok || type.Length != 1 || (unitType != kTypeOstra && unitType != kTypeVello)) {
        r.Result = TProbeResult::NotZelvo;
        r.Detail = "it answered the version read (" + text + ") but not the unit-type read";
        return;
    }
    r.Result = TProbeResult::Zelvo;
    r.UnitType = unitType;
    r.Model = unitType == kTypeOstra ? "OSTRA" : "VELLO";
    r.Firmware = text;
    r.FirmwareRecent = TZelvoCommsInterface::IsFirmwareRecent(text);
}

// The device a path finally means, so that a link and its target are one
// candidate; the path itself when it does not resolve.
std::string DeviceKey(const std::string &path)
{
    std::error_code ec;
    const fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved.string();
}

std::vector<std::string> Entries(const fs::path &dir)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

const char *ProbeResultText(TProbeResult result)
{
    switch (result) {
    case TProbeResult::Zelvo:
        return "zelvo";
    case TProbeResult::NoAnswer:
        return "no answer";
    case TProbeResult::NotZelvo:
        return "not a zelvo";
    case TProbeResult::Busy:
        return "busy";
    case TProbeResult::CannotOpen:
        return "cannot open";
    }
    return "no answer";
}

std::vector<TProbeCandidate> ListProbeCandidates(const TProbeRoots &roots, int comPorts)
{
    std::vector<TProbeCandidate> out;
    std::map<std::string, std::size_t> byDevice;
    const auto add = [&](TProbeCandidate c) {
        const std::string key = DeviceKey(c.Path);
        const auto it = byDevice.find(key);
        if (it != byDevice.end()) {
            // Known under its first name; a bridge's description still
            // tells how to reach it by description.
            if (out[it->second].Bridge.empty())
                out[it->second].Bridge = c.Bridge;
            return;
        }
        byDevice.emplace(key, out.size());
        out.push_back(std::move(c));
    };

    for (int n = 1; n <= comPorts; ++n)
        add({"COM" + std::to_string(n), ComPortPath(n), n, {}});

    // Bridges by description; a second bridge with the same description
    // could not be opened by it, so it is probed by its device path.
    std::set<std::string> descriptions;
    for (const Ftd2xx::TBridge &b : Ftd2xx::ListBridges()) {
        if (descriptions.insert(b.Description).second)
            add({b.Description, b.DevicePath, 0, b.Description});
        else
            add({b.DevicePath, b.DevicePath, 0, {}});
    }

    const fs::path dev(roots.Dev);
    for (const std::string &name : Entries(dev))
        if (name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0)
            add({(dev / name).string(), (dev / name).string(), 0, {}});
    for (const std::string &name : Entries(dev / "serial" / "by-id")) {
        const std::string target = DeviceKey((dev / "serial" / "by-id" / name).string());
        add({target, target, 0, {}});
    }
    // The platform's own list (on Windows: the COM ports the system knows).
    for (const std::string &device : ListSerialDevices(256)) {
        const int n = ComPortNumber(device);
        add({device, n > 0 ? ComPortPath(n) : device, n, {}});
    }
    return out;
}

TProbeReport ProbePort(const TProbeCandidate &candidate, const TProbeOptions &options,
                       const TLinkAbort *abort)
{
    TProbeReport r;
    r.Candidate = candidate;
    if (abort != nullptr && abort->IsSet()) {
        r.Cancelled = true;
        return r;
    }
    if (candidate.ComNumber == 0 && !candidate.Bridge.empty()) {
        TFTDIPacket port;
        ProbeOn(port, candidate.Bridge, options, abort, r);
    } else {
        TSerialPacket port;
        const std::string name =
            candidate.ComNumber > 0 ? "COM" + std::to_string(candidate.ComNumber) : candidate.Path;
        ProbeOn(port, name, options, abort, r);
    }
    return r;
}

std::vector<TProbeReport> ProbePorts(const std::vector<TProbeCandidate> &candidates,
                                     const TProbeOptions &options, const TLinkAbort *abort,
                                     const TProbeProgress &progress)
{
    std::vector<TProbeReport> reports(candidates.size());
    std::atomic<std::size_t> next{0};
    std::mutex progressLock;
    const auto work = [&] {
        for (std::size_t i = next++; i < candidates.size(); i = next++) {
            reports[i] = ProbePort(candidates[i], options, abort);
            if (progress) {
                std::lock_guard<std::mutex> guard(progressLock);
                progress(i, reports[i]);
            }
        }
    };
    const std::size_t threads =
        std::min(candidates.size(), std::max<std::size_t>(1, options.Parallel));
    std::vector<std::thread> pool;
    pool.reserve(threads);
    for (std::size_t t = 0; t < threads; ++t)
        pool.emplace_back(work);
    for (std::thread &t : pool)
        t.join();
    return reports;
}

std::vector<TProbeReport> FoundUnits(const std::vector<TProbeReport> &reports)
{
    std::vector<TProbeReport> units;
    std::copy_if(reports.begin(), reports.end(), std::back_inserter(units),
                 [](const TProbeReport &r) { return r.Result == TProbeResult::Zelvo; });
    return units;
}

bool SelectFoundUnit(const TProbeReport &unit, const std::vector<TProbeReport> &all,
                     TProbeSelection &selection)
{
    const TProbeCandidate &c = unit.Candidate;
    if (unit.UnitType == kTypeOstra) {
        selection = {true, 1, c.Bridge};
        if (c.Bridge.empty()) {
            Ftd2xx::RegisterVirtualBridge(kVirtualBridge, c.Path);
            selection.BridgeDescription = kVirtualBridge;
        }
        return true;
    }
    if (c.ComNumber > 0) {
        selection = {false, c.ComNumber, {}};
        return true;
    }
    for (const TProbeReport &r : all) {
        if (r.Candidate.ComNumber > 0 && r.Result == TProbeResult::CannotOpen &&
            MapComPort(r.Candidate.ComNumber, c.Path)) {
            selection = {false, r.Candidate.ComNumber, {}};
            return true;
        }
    }
    return false;
}

std::string ProbeReportLine(const TProbeReport &r)
{
    const TProbeCandidate &c = r.Candidate;
    std::string line = (c.ComNumber == 0 && !c.Bridge.empty() ? "\"" + c.Port + "\"" : c.Port) +
                       "  " + c.Path + "  ";
    if (r.Cancelled)
        return line + "cancelled";
    line += ProbeResultText(r.Result);
    switch (r.Result) {
    case TProbeResult::Zelvo:
        line += ": " + r.Model + ", firmware \"" + r.Firmware + "\"" +
                (r.FirmwareRecent ? "" : " (too old: an upgrade is needed)");
        break;
    case TProbeResult::Busy:
    case TProbeResult::CannotOpen:
        line += ": " + r.Reason;
        break;
    case TProbeResult::NotZelvo:
        if (!r.Detail.empty())
            line += " (" + r.Detail + ")";
        break;
    case TProbeResult::NoAnswer:
        break;
    }
    return line;
}
