// find, and --com auto / --usb auto: which port the unit is cabled to.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"

#include "link/Ftd2xx.h"
#include "link/Linkabort.h"
#include "link/Portdiagnosis.h"
#include "link/Portmap.h"
#include "link/Portprobe.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace
{

// The probe's exchange time-out: short, since only ports that answer at once
// are of interest, but never longer than the link's own frame time-out (so
// the test pacing shrinks it too).
constexpr std::chrono::milliseconds kProbeTimeout{1000};

// Where devices and bridges are looked for: /dev and /sys, or the trees the
// developer switches ZELVO_DEV_ROOT and ZELVO_SYSFS_ROOT name (tests).
TProbeRoots DeviceRoots()
{
#ifdef _WIN32
    // Windows lists its COM ports and bridges itself: no trees to point at.
    return TProbeRoots{};
#else
    const std::string dev = qEnvironmentVariable("ZELVO_DEV_ROOT").toStdString();
    const std::string sys = qEnvironmentVariable("ZELVO_SYSFS_ROOT").toStdString();
    TProbeRoots roots;
    if (dev.empty() && sys.empty())
        return roots;
    roots.Dev = dev.empty() ? roots.Dev : dev;
    const std::string sysfs = sys.empty() ? std::string("/sys") : sys;
    Ftd2xx::SetRoots(sysfs, roots.Dev);
    SetPortDiagnosisRoots(roots.Dev, sysfs + "/class/tty", "/proc");
    return roots;
#endif
}

// The probe's time-out for this run: ZELVO_PROBE_TIMEOUT_MS when the
// developer set it, else the short default within the link's frame time-out.
std::chrono::milliseconds ProbeTimeout(std::chrono::milliseconds frameTimeout)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue("ZELVO_PROBE_TIMEOUT_MS", &ok);
    if (ok && ms > 0)
        return std::chrono::milliseconds(ms);
    return std::min(kProbeTimeout, frameTimeout);
}

// Probes every candidate on a thread of its own while this thread watches
// for Ctrl-C, which breaks every probe off at once. False when interrupted.
bool ProbeAll(std::chrono::milliseconds timeout, std::vector<TProbeReport> &reports)
{
    const TProbeRoots roots = DeviceRoots();
    TProbeOptions options;
    options.Timeout = timeout;
    TLinkAbort abort;
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::thread worker([&] {
        auto r = ProbePorts(ListProbeCandidates(roots), options, &abort);
        std::lock_guard<std::mutex> guard(lock);
        reports = std::move(r);
        done = true;
        finished.notify_all();
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        // The signal handler cannot wake a condition variable: look at the
        // interrupt flag a few times a second.
        while (!finished.wait_for(guard, std::chrono::milliseconds(50), [&] { return done; }))
            if (TCliSession::InterruptRequested())
                abort.Set();
    }
    worker.join();
    return !abort.IsSet();
}

QJsonObject ReportJson(const TProbeReport &r)
{
    QJsonObject o{{"port", QString::fromStdString(r.Candidate.Port)},
                  {"path", QString::fromStdString(r.Candidate.Path)},
                  {"result", QString::fromLatin1(ProbeResultText(r.Result))}};
    if (r.Result == TProbeResult::Zelvo) {
        o["model"] = QString::fromStdString(r.Model);
        o["firmware"] = QString::fromStdString(r.Firmware);
        o["firmwareRecent"] = r.FirmwareRecent;
    }
    if (r.Result == TProbeResult::Busy || r.Result == TProbeResult::CannotOpen)
        o["reason"] = QString::fromStdString(r.Reason);
    return o;
}

std::string UnitsLine(const std::vector<TProbeReport> &units)
{
    std::string line;
    for (const TProbeReport &u : units)
        line += (line.empty() ? "" : ", ") + u.Model + " on " + u.Candidate.Port;
    return line;
}

// --usb auto takes units on bridges; --com auto those on COM ports and other
// serial devices.
std::vector<TProbeReport> UnitsOnPortKind(const std::vector<TProbeReport> &reports, bool usb)
{
    std::vector<TProbeReport> units;
    for (const TProbeReport &u : FoundUnits(reports)) {
        const bool onBridge = !u.Candidate.Bridge.empty();
        const bool onCom = u.Candidate.ComNumber > 0 || u.Candidate.Bridge.empty();
        if (usb ? onBridge : onCom)
            units.push_back(u);
    }
    return units;
}

} // namespace

int RunFind(TCliSession &s)
{
    const TCliOptions &o = s.Options();
    // The command line's own mappings take part: --com N=PATH, --usb DESC=PATH.
    TLinkOptions(o).ApplyMappings();

    std::vector<TProbeReport> reports;
    if (!ProbeAll(ProbeTimeout(s.FrameTimeout()), reports))
        return s.Interrupted();

    const std::vector<TProbeReport> units = FoundUnits(reports);
    if (o.Json) {
        QJsonArray array;
        for (const TProbeReport &r : reports)
            array.append(ReportJson(r));
        s.Print(QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented)));
    } else {
        QString text;
        for (const TProbeReport &r : reports)
            text += QString::fromStdString(ProbeReportLine(r)) + '\n';
        s.Print(text);
    }
    if (units.empty()) {
        s.Host().Note(QStringLiteral("No unit was found."));
        return EXIT_CLI_UNREACHABLE;
    }
    s.Host().Note(QStringLiteral("Found: %1.").arg(QString::fromStdString(UnitsLine(units))));
    return EXIT_CLI_OK;
}

int AutoSelectPort(TCliSession &s, bool &useUsb, int &comPort, std::string &bridge)
{
    const TCliOptions &o = s.Options();
    const char *option = o.UsbAuto ? "--usb auto" : "--com auto";
    std::vector<TProbeReport> reports;
    if (!ProbeAll(ProbeTimeout(s.FrameTimeout()), reports))
        return s.Interrupted();

    const std::vector<TProbeReport> units = UnitsOnPortKind(reports, o.UsbAuto);
    if (units.size() != 1) {
        QString list;
        for (const TProbeReport &r : reports)
            list += QStringLiteral("  ") + QString::fromStdString(ProbeReportLine(r)) + '\n';
        s.Host().Note(QStringLiteral("%1: %2; choose the port yourself. Ports probed:\n%3")
                          .arg(QLatin1String(option),
                               units.empty() ? QStringLiteral("no unit was found")
                                             : QStringLiteral("%1 units were found (%2)")
                                                   .arg(units.size())
                                                   .arg(QString::fromStdString(UnitsLine(units))),
                               list.trimmed()));
        return EXIT_CLI_UNREACHABLE;
    }

    const TProbeReport &unit = units.front();
    TProbeSelection selection;
    if (o.ComAuto && unit.Candidate.ComNumber > 0) {
        selection = {false, unit.Candidate.ComNumber, {}};
    } else if (!SelectFoundUnit(unit, reports, selection)) {
        s.Host().Note(QStringLiteral("%1: the unit at %2 has no free COM number; map one with "
                                     "--com N=%2.")
                          .arg(QLatin1String(option), QString::fromStdString(unit.Candidate.Path)));
        return EXIT_CLI_UNREACHABLE;
    }
    useUsb = selection.UseUsb;
    comPort = selection.ComPort;
    bridge = selection.BridgeDescription;
    s.Host().Note(QStringLiteral("%1: %2 on %3 (%4).")
                      .arg(QLatin1String(option), QString::fromStdString(unit.Model),
                           QString::fromStdString(unit.Candidate.Port),
                           QString::fromStdString(unit.Candidate.Path)));
    return EXIT_CLI_OK;
}
