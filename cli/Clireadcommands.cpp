// zelvo-cli, info, live, external and snapshot: reading what the unit and its server hold.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "cli/Clitable.h"
#include "engine/Serialthread.h"
#include "frontend/Unittext.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "network/Ipaddress.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>

using namespace unittext;

namespace
{

using ms = std::chrono::milliseconds;

// ---- info ----

// The firmware text split: the version number stands between the first "V"
// and the first "?"; what follows the "?" is the unit's own description.
struct TFirmwareText {
    QString Text;
    QString Number;
    QString Detail;
};

TFirmwareText SplitFirmware(const std::string &version)
{
    TFirmwareText f;
    f.Text = PrintableVersion(version);
    const qsizetype mark = f.Text.indexOf('?');
    const qsizetype vee = f.Text.indexOf('V');
    if (mark >= 0)
        f.Number = vee >= 0 && vee < mark ? f.Text.mid(vee + 1, mark - vee - 1) : f.Text.left(mark);
    f.Detail = mark >= 0 ? f.Text.mid(mark + 1).trimmed() : QString();
    return f;
}

QJsonObject InfoJson(const TFirmwareText &f, std::uint8_t type, const TConnectionSettings &settings)
{
    QJsonObject conn{
        {"type", settings.IsMobile()                                  ? "mobile"
                 : settings.ConnectionType == kConnectionTypeEthernet ? "ethernet"
                                                                      : "unknown"},
        {"typeCode", settings.ConnectionType},
        {"apn", Latin1(settings.APN)},
        {"user", Latin1(settings.Username)},
        {"passwordSet", !settings.Password.empty()},
        {"dhcp", settings.UseDHCP},
        {"ipAddress", FormatIPAddress(settings.IPAddress)},
        {"netMask", FormatIPAddress(settings.NetMask)},
        {"defaultGateway", FormatIPAddress(settings.DefaultGateway)},
        {"dnsServer", FormatIPAddress(settings.DNSServer)},
    };
    return QJsonObject{{"firmware", f.Text},         {"firmwareVersion", f.Number},
                       {"firmwareDetail", f.Detail}, {"unitType", type},
                       {"model", ModelName(type)},   {"connection", conn}};
}

QString InfoText(const TFirmwareText &f, std::uint8_t type, const TConnectionSettings &settings)
{
    return FormatPairs({
        {"Firmware", f.Text},
        {"Firmware version", f.Number.isEmpty() ? QStringLiteral("unknown") : f.Number},
        {"Firmware detail", f.Detail + QStringLiteral("  (the unit's text after \"?\", which "
                                                      "ends the version number)")},
        {"Unit type", QString::number(type)},
        {"Model", ModelName(type)},
        {"Connection type", ConnectionTypeName(settings.ConnectionType)},
        {"APN", Latin1(settings.APN)},
        {"User", Latin1(settings.Username)},
        {"Password", settings.Password.empty() ? "not set" : "set"},
        {"DHCP", settings.UseDHCP ? "Yes" : "No"},
        {"IP address", FormatIPAddress(settings.IPAddress)},
        {"Net mask", FormatIPAddress(settings.NetMask)},
        {"Default gateway", FormatIPAddress(settings.DefaultGateway)},
        {"DNS server", FormatIPAddress(settings.DNSServer)},
    });
}

// ---- live ----

QJsonObject LiveReadingJson(int n, const QDateTime &at, bool answered, const TIOs &ios)
{
    QJsonObject reading{{"reading", n}, {"time", at.toString(Qt::ISODateWithMs)}};
    if (!answered) {
        reading.insert("noReply", true);
        return reading;
    }
    QJsonArray rows;
    for (int i = 0; i < ios.Count(); ++i) {
        const TIO *io = ios.At(i);
        rows.append(QJsonObject{{"number", io->Number},
                                {"name", io->Name},
                                {"tag", io->Tag},
                                {"type", io->GetTypeText()},
                                {"typeCode", io->IOType},
                                {"value", static_cast<double>(io->Value)},
                                {"valueText", io->GetValueText().trimmed()}});
    }
    reading.insert("io", rows);
    return reading;
}

QString LiveReadingText(int n, const QDateTime &at, bool answered, const TIOs &ios)
{
    const QString gap = n > 1 ? QStringLiteral("\n") : QString();
    const QString clock = at.toString(QStringLiteral("HH:mm:ss.zzz"));
    if (!answered)
        return gap + QStringLiteral("%1  no reply from the unit; no values read\n").arg(clock);
    TCliTable table({"Time", "IO Name", "IO Tag", "IO Type", "Value"});
    for (int i = 0; i < ios.Count(); ++i) {
        const TIO *io = ios.At(i);
        table.AddRow({clock, io->Name, io->Tag,
                      io->ConfigurableType != -1 ? ConfigurableTypeText(io->ConfigurableType)
                                                 : io->GetTypeText(),
                      io->GetValueText().trimmed()});
    }
    return gap + table.Format();
}

// The live reads counted when a round was shown: only a read made after it
// counts, so nothing is shown twice.
struct TReadMark {
    std::uint32_t Answered;
    std::uint32_t Failed;

    explicit TReadMark(const TZelvo &unit)
        : Answered(unit.LiveReadsAnswered()), Failed(unit.LiveReadsFailed())
    {
    }
    bool Passed(const TZelvo &unit) const
    {
        return unit.LiveReadsAnswered() != Answered || unit.LiveReadsFailed() != Failed;
    }
};

// The rounds of live: the unit is read once per live period, and a round
// shows the first read after --interval.
struct TLiveRounds {
    ms Period;
    ms Interval;
    // A read that has not come within this is reported as no reply.
    ms ReadLimit;

    explicit TLiveRounds(TCliSession &s)
        : Period(s.Pacing().LiveTimer), Interval(Period),
          ReadLimit(Period * 2 + s.FrameTimeout() * 2)
    {
        const TCliOptions &o = s.Options();
        if (!o.IntervalSeconds)
            return;
        Interval = ms(static_cast<long long>(*o.IntervalSeconds * 1000 / s.Divisor()));
        if (Interval >= Period)
            return;
        // A shorter interval would only show the same reading again.
        s.Host().Note(QStringLiteral("Note: --interval %1 s is shorter than the unit's live "
                                     "period of %2 s; readings come every %2 s.")
                          .arg(*o.IntervalSeconds)
                          .arg(static_cast<double>(Period.count()) * s.Divisor() / 1000));
        Interval = Period;
    }

    // Waits for round `n`'s read: a longer interval first skips the reads
    // made meanwhile.
    void Wait(TCliSession &s, const TZelvo &unit, int n, TReadMark &seen) const
    {
        if (n > 1 && Interval > Period) {
            s.Pump([&s] { return s.Disconnected(); }, Interval - Period / 2);
            seen = TReadMark(unit);
        }
        if (!s.WasInterrupted() && !s.Disconnected())
            s.Pump([&] { return s.Disconnected() || seen.Passed(unit); }, ReadLimit);
    }
};

// ---- external ----

QJsonObject ExternalCycleJson(int n, bool haveValues, const TServerSideIOs &list)
{
    QJsonArray rows;
    for (int i = 0; i < list.Count(); ++i) {
        const TServerSideIO *io = list.Item(i);
        if (!io->IsExternal())
            continue;
        QJsonObject row{{"id", io->IOID()},
                        {"name", io->FriendlyName()},
                        {"tag", io->Tag()},
                        {"number", io->ExternalNumber()},
                        {"logging", TServerSideIO::LoggingModeText(io->LoggingMode())},
                        {"errorState", TServerSideIO::ErrorStateText(io->ErrorState())},
                        {"errorCode", io->ErrorState()},
                        {"slaveName", io->SlaveName()},
                        {"slaveId", io->SlaveID()}};
        row.insert("value",
                   haveValues ? QJsonValue(static_cast<double>(io->Value())) : QJsonValue());
        rows.append(row);
    }
    return QJsonObject{{"cycle", n}, {"io", rows}};
}

QString ExternalCycleText(int n, bool haveValues, const TServerSideIOs &list)
{
    TCliTable table({"IO Name", "IO Tag", "Logging", "Value", "Error", "Slave Name", "ID"});
    for (int i = 0; i < list.Count(); ++i) {
        const TServerSideIO *io = list.Item(i);
        if (!io->IsExternal())
            continue;
        table.AddRow(
            {io->FriendlyName(), QStringLiteral("[%1]").arg(io->Tag()),
             TServerSideIO::LoggingModeText(io->LoggingMode()),
             haveValues ? QString::asprintf("%0.2Lf", io->Value()) : QStringLiteral("<No data>"),
             TServerSideIO::ErrorStateText(io->ErrorState()), io->SlaveName(),
             QString::number(io->SlaveID())});
    }
    return (n > 1 ? QStringLiteral("\n") : QString()) + table.Format();
}

// Waits for one whole external reading cycle: the engine's external reading
// runs on the live timer while the external devices page shows, and one
// cycle ends when its phase returns to 0. False when the limit passed or the
// unit went away.
bool WaitForExternalCycle(TCliSession &s, TZelvo &unit)
{
    bool left = unit.ExternalReadPhase() != 0;
    const bool ok = s.Pump(
        [&] {
            const int phase = unit.ExternalReadPhase();
            const bool back = left && phase == 0;
            left = left || phase != 0;
            return back || s.Disconnected();
        },
        s.JobLimit());
    return ok && !s.Disconnected();
}

} // namespace

int RunInfo(TCliSession &s)
{
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    // The text the unit reported while connecting.
    const std::string version = s.Engine().FirmwareVersion();
    TZelvo *unit = s.Engine().Unit();
    const auto &reported = s.Host().Settings();
    const TConnectionSettings settings = reported ? *reported : unit->GetSettings();
    const TFirmwareText firmware = SplitFirmware(version);
    const std::uint8_t type = unit->GetUnitType();
    if (s.Options().Json)
        s.PrintJson(InfoJson(firmware, type, settings));
    else
        s.Print(InfoText(firmware, type, settings));
    if (version.empty())
        return s.Failed(QStringLiteral("The unit did not report its firmware version."));
    return s.Outcome(EXIT_CLI_OK);
}

int RunLive(TCliSession &s)
{
    if (const int r = s.Open(LIVE_LIST_OWN_IO); r != EXIT_CLI_OK)
        return r;
    if (!s.Engine().HasUOMs())
        return s.Failed(QStringLiteral("The UOM information could not be read, so no live value "
                                       "can be shown."));
    const TCliOptions &o = s.Options();
    const TZelvo &unit = *s.Engine().Unit();
    const TIOs &ios = s.Engine().Unit()->IOs();
    const TLiveRounds rounds(s);
    const bool streaming = o.Json && o.Count == 0;

    TReadMark seen(unit);
    QJsonArray readings;
    bool interrupted = false;
    int noReplies = 0;
    for (int n = 1; o.Count == 0 || n <= o.Count; ++n) {
        rounds.Wait(s, unit, n, seen);
        if (s.WasInterrupted()) {
            interrupted = true;
            break;
        }
        if (s.Disconnected())
            break;
        const QDateTime at = QDateTime::currentDateTime();
        const bool answered = unit.LiveReadsAnswered() != seen.Answered;
        seen = TReadMark(unit);
        noReplies += answered ? 0 : 1;
        if (streaming)
            s.PrintJsonLine(LiveReadingJson(n, at, answered, ios));
        else if (o.Json)
            readings.append(LiveReadingJson(n, at, answered, ios));
        else
            s.Print(LiveReadingText(n, at, answered, ios));
    }
    if (o.Json && !streaming)
        s.PrintJson(QJsonObject{{"readings", readings}});
    if (s.Disconnected())
        return s.Failed(QStringLiteral("The unit stopped answering; live reading ended."));
    if (interrupted && o.Count != 0)
        return s.Interrupted();
    if (noReplies > 0)
        return s.Failed(QStringLiteral("%1 reading(s) got no reply from the unit.").arg(noReplies));
    return s.Outcome(EXIT_CLI_OK);
}

int RunExternal(TCliSession &s)
{
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    if (!s.RunJob(MSG_READ_IO_CONFIG)) {
        if (s.WasInterrupted())
            return s.Interrupted();
        return s.Failed(QStringLiteral("The I/O configuration could not be read."));
    }
    if (!s.Engine().HasIOConfiguration() || !s.Engine().HasModbusData())
        return s.Failed(QStringLiteral("The I/O configuration or the Modbus data could not be "
                                       "read."));

    const TCliOptions &o = s.Options();
    TZelvo *unit = s.Engine().Unit();
    const TServerSideIOs &list = unit->ServerSideIOs();
    int externals = 0;
    for (int i = 0; i < list.Count(); ++i)
        externals += list.Item(i)->IsExternal() ? 1 : 0;

    s.Host().SetShownLiveList(LIVE_LIST_EXTERNAL_IO);
    QJsonArray cycles;
    bool interrupted = false;
    for (int n = 1; o.Count == 0 || n <= o.Count; ++n) {
        if (externals > 0) {
            const bool ok = WaitForExternalCycle(s, *unit);
            if (s.WasInterrupted()) {
                interrupted = true;
                break;
            }
            if (!ok)
                break;
        }
        const bool haveValues = unit->HasIOUOMTable() && externals > 0;
        if (o.Json)
            cycles.append(ExternalCycleJson(n, haveValues, list));
        else
            s.Print(ExternalCycleText(n, haveValues, list));
        if (externals == 0)
            break; // nothing to read again
    }
    s.Host().SetShownLiveList(LIVE_LIST_NONE);
    if (o.Json)
        s.PrintJson(QJsonObject{{"cycles", cycles}});
    if (externals == 0)
        s.Host().Note(QStringLiteral("The I/O configuration holds no external I/O."));
    if (s.Disconnected())
        return s.Failed(QStringLiteral("The unit stopped answering; external reading ended."));
    if (s.TimedOut())
        return s.Failed(QStringLiteral("The external I/O could not be read in time."));
    if (interrupted && o.Count != 0)
        return s.Interrupted();
    return s.Outcome(EXIT_CLI_OK);
}

int RunSnapshot(TCliSession &s)
{
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    const bool ran = s.RunJob(MSG_READ_SNAPSHOT);
    if (s.WasInterrupted())
        return s.Interrupted();
    const QStringList lines = s.Host().SnapshotLines();
    if (s.Options().Json) {
        QJsonArray arr;
        for (const QString &l : lines)
            arr.append(l);
        s.PrintJson(QJsonObject{{"lines", arr}});
    } else if (!lines.isEmpty()) {
        s.Print(lines.join('\n') + '\n');
    }
    if (!ran || !s.Host().SnapshotReceived())
        return s.Failed(QStringLiteral("The snapshot could not be retrieved."));
    return s.Outcome(EXIT_CLI_OK);
}
