// zelvo-cli, info, live, external and snapshot: reading what the unit and its server hold.

#include "cli/Clirunner.h"

#include "cli/Clipassword.h"
#include "cli/Clitable.h"
#include "cli/Clivalueedit.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Signalreading.h"
#include "frontend/Unittext.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "network/Ipaddress.h"
#include "network/Settingslimits.h"
#include "protocol/Commands.h"
#include "protocol/Passworddigest.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace unittext;

int TCliRunner::Info()
{
    // The text the unit reported while connecting.
    const std::string version = FEngine->FirmwareVersion();
    TZelvo *unit = FEngine->Unit();
    const auto &s = FHost.Settings();
    const TConnectionSettings settings = s ? *s : unit->GetSettings();

    const QString versionText = PrintableVersion(version);
    // The version number stands between the first "V" and the first "?";
    // what follows the "?" is the unit's own description.
    const qsizetype mark = versionText.indexOf('?');
    const qsizetype vee = versionText.indexOf('V');
    QString number;
    if (mark >= 0)
        number = vee >= 0 && vee < mark ? versionText.mid(vee + 1, mark - vee - 1)
                                        : versionText.left(mark);
    const QString detail = mark >= 0 ? versionText.mid(mark + 1).trimmed() : QString();
    const std::uint8_t type = unit->GetUnitType();
    if (O.Json) {
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
        PrintJson(QJsonObject{{"firmware", versionText},
                              {"firmwareVersion", number},
                              {"firmwareDetail", detail},
                              {"unitType", type},
                              {"model", ModelName(type)},
                              {"connection", conn}});
    } else {
        Print(FormatPairs({
            {"Firmware", versionText},
            {"Firmware version", number.isEmpty() ? QStringLiteral("unknown") : number},
            {"Firmware detail", detail + QStringLiteral("  (the unit's text after \"?\", which "
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
        }));
    }
    if (version.empty())
        return Failed(QStringLiteral("The unit did not report its firmware version."));
    return Outcome(EXIT_CLI_OK);
}
int TCliRunner::Live()
{
    if (!FEngine->HasUOMs())
        return Failed(QStringLiteral("The UOM information could not be read, so no live value "
                                     "can be shown."));
    TZelvo *unit = FEngine->Unit();
    TIOs &ios = unit->IOs();
    ms interval = FPacing.LiveTimer;
    if (O.IntervalSeconds) {
        interval = ms(static_cast<long long>(*O.IntervalSeconds * 1000 / FDivisor));
        if (interval < FPacing.LiveTimer) {
            // The unit is read once per live period: a shorter interval
            // would only show the same reading again.
            FHost.Note(QStringLiteral("Note: --interval %1 s is shorter than the unit's live "
                                      "period of %2 s; readings come every %2 s.")
                           .arg(*O.IntervalSeconds)
                           .arg(static_cast<double>(FPacing.LiveTimer.count()) * FDivisor / 1000));
            interval = FPacing.LiveTimer;
        }
    }
    const bool streaming = O.Json && O.Count == 0;
    // A read that has not come within this is reported as no reply.
    const ms readLimit = FPacing.LiveTimer * 2 + FrameTimeout() * 2;

    std::uint32_t seenAnswered = unit->LiveReadsAnswered();
    std::uint32_t seenFailed = unit->LiveReadsFailed();
    QJsonArray readings;
    bool interrupted = false;
    int noReplies = 0;
    for (int n = 1; O.Count == 0 || n <= O.Count; ++n) {
        if (n > 1 && interval > FPacing.LiveTimer) {
            // A longer interval skips the reads made meanwhile; the round
            // shows the first read after it.
            Pump([this] { return Disconnected(); }, interval - FPacing.LiveTimer / 2);
            seenAnswered = unit->LiveReadsAnswered();
            seenFailed = unit->LiveReadsFailed();
        }
        // Only a read made after the last round counts: nothing is shown twice.
        if (!FInterrupted && !Disconnected())
            Pump(
                [&] {
                    return Disconnected() || unit->LiveReadsAnswered() != seenAnswered ||
                           unit->LiveReadsFailed() != seenFailed;
                },
                readLimit);
        if (FInterrupted) {
            interrupted = true;
            break;
        }
        if (Disconnected())
            break;
        const QDateTime at = QDateTime::currentDateTime();
        const bool answered = unit->LiveReadsAnswered() != seenAnswered;
        seenAnswered = unit->LiveReadsAnswered();
        seenFailed = unit->LiveReadsFailed();
        noReplies += answered ? 0 : 1;
        const QString time = at.toString(Qt::ISODateWithMs);

        if (O.Json) {
            QJsonObject reading{{"reading", n}, {"time", time}};
            if (answered) {
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
            } else {
                reading.insert("noReply", true);
            }
            if (streaming)
                PrintJsonLine(reading);
            else
                readings.append(reading);
        } else if (answered) {
            TCliTable table({"Time", "IO Name", "IO Tag", "IO Type", "Value"});
            const QString clock = at.toString(QStringLiteral("HH:mm:ss.zzz"));
            for (int i = 0; i < ios.Count(); ++i) {
                const TIO *io = ios.At(i);
                table.AddRow({clock, io->Name, io->Tag,
                              io->ConfigurableType != -1
                                  ? ConfigurableTypeText(io->ConfigurableType)
                                  : io->GetTypeText(),
                              io->GetValueText().trimmed()});
            }
            Print((n > 1 ? QStringLiteral("\n") : QString()) + table.Format());
        } else {
            Print((n > 1 ? QStringLiteral("\n") : QString()) +
                  QStringLiteral("%1  no reply from the unit; no values read\n")
                      .arg(at.toString(QStringLiteral("HH:mm:ss.zzz"))));
        }
    }
    if (O.Json && !streaming)
        PrintJson(QJsonObject{{"readings", readings}});
    if (Disconnected())
        return Failed(QStringLiteral("The unit stopped answering; live reading ended."));
    if (interrupted && O.Count != 0)
        return Interrupted();
    if (noReplies > 0)
        return Failed(QStringLiteral("%1 reading(s) got no reply from the unit.").arg(noReplies));
    return Outcome(EXIT_CLI_OK);
}

int TCliRunner::External()
{
    if (!RunJob(MSG_READ_IO_CONFIG)) {
        if (FInterrupted)
            return Interrupted();
        return Failed(QStringLiteral("The I/O configuration could not be read."));
    }
    if (!FEngine->HasIOConfiguration() || !FEngine->HasModbusData())
        return Failed(QStringLiteral("The I/O configuration or the Modbus data could not be "
                                     "read."));

    TZelvo *unit = FEngine->Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    int externals = 0;
    for (int i = 0; i < list.Count(); ++i)
        externals += list.Item(i)->IsExternal() ? 1 : 0;

    // The engine's external reading runs on the live timer while the
    // external devices page shows; one cycle ends when its phase returns to 0.
    FHost.SetShownLiveList(LIVE_LIST_EXTERNAL_IO);
    QJsonArray cycles;
    bool interrupted = false;
    for (int n = 1; O.Count == 0 || n <= O.Count; ++n) {
        if (externals > 0) {
            int lastPhase = unit->ExternalReadPhase();
            bool left = lastPhase != 0;
            const bool ok = Pump(
                [&] {
                    const int phase = unit->ExternalReadPhase();
                    const bool back = left && phase == 0;
                    left = left || phase != 0;
                    lastPhase = phase;
                    return back || Disconnected();
                },
                JobLimit());
            if (FInterrupted) {
                interrupted = true;
                break;
            }
            if (!ok || Disconnected())
                break;
        }
        const bool haveValues = unit->HasIOUOMTable() && externals > 0;
        if (O.Json) {
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
                row.insert("value", haveValues ? QJsonValue(static_cast<double>(io->Value()))
                                               : QJsonValue());
                rows.append(row);
            }
            cycles.append(QJsonObject{{"cycle", n}, {"io", rows}});
        } else {
            TCliTable table({"IO Name", "IO Tag", "Logging", "Value", "Error", "Slave Name", "ID"});
            for (int i = 0; i < list.Count(); ++i) {
                const TServerSideIO *io = list.Item(i);
                if (!io->IsExternal())
                    continue;
                table.AddRow({io->FriendlyName(), QStringLiteral("[%1]").arg(io->Tag()),
                              TServerSideIO::LoggingModeText(io->LoggingMode()),
                              haveValues ? QString::asprintf("%0.2Lf", io->Value())
                                         : QStringLiteral("<No data>"),
                              TServerSideIO::ErrorStateText(io->ErrorState()), io->SlaveName(),
                              QString::number(io->SlaveID())});
            }
            Print((n > 1 ? QStringLiteral("\n") : QString()) + table.Format());
        }
        if (externals == 0)
            break; // nothing to read again
    }
    FHost.SetShownLiveList(LIVE_LIST_NONE);
    if (O.Json)
        PrintJson(QJsonObject{{"cycles", cycles}});
    if (externals == 0)
        FHost.Note(QStringLiteral("The I/O configuration holds no external I/O."));
    if (Disconnected())
        return Failed(QStringLiteral("The unit stopped answering; external reading ended."));
    if (FTimedOut)
        return Failed(QStringLiteral("The external I/O could not be read in time."));
    if (interrupted && O.Count != 0)
        return Interrupted();
    return Outcome(EXIT_CLI_OK);
}
int TCliRunner::Snapshot()
{
    const bool ran = RunJob(MSG_READ_SNAPSHOT);
    if (FInterrupted)
        return Interrupted();
    const QStringList lines = FHost.SnapshotLines();
    if (O.Json) {
        QJsonArray arr;
        for (const QString &l : lines)
            arr.append(l);
        PrintJson(QJsonObject{{"lines", arr}});
    } else if (!lines.isEmpty()) {
        Print(lines.join('\n') + '\n');
    }
    if (!ran || !FHost.SnapshotReceived())
        return Failed(QStringLiteral("The snapshot could not be retrieved."));
    return Outcome(EXIT_CLI_OK);
}
