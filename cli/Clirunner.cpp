#include "Clirunner.h"

#include "Availableinputtype.h"
#include "Availableinputtypes.h"
#include "Clipassword.h"
#include "Clisignal.h"
#include "Clitable.h"
#include "Clivalueedit.h"
#include "Commands.h"
#include "Commissioningdataparser.h"
#include "Connectionsettings.h"
#include "Ftd2xx.h"
#include "Io.h"
#include "Ios.h"
#include "Ipaddress.h"
#include "Passworddigest.h"
#include "Portmap.h"
#include "Serialthread.h"
#include "Serversideio.h"
#include "Serversideios.h"
#include "Settingslimits.h"
#include "Signalstrengthrefresh.h"
#include "Simulatedunit.h"
#include "Trace.h"
#include "UnitSimulator.h"
#include "Uomdescription.h"
#include "Uomdescriptions.h"
#include "Zelvo.h"
#include "Zelvocommsinterface.h"

#include <QCoreApplication>
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

namespace
{

volatile std::sig_atomic_t gInterruptRequested = 0;
// The interrupt's self-pipe: the signal handler writes a byte, the pump's
// notifier wakes on it. -1 while no runner exists.
volatile std::sig_atomic_t gInterruptPipeRead = -1;
volatile std::sig_atomic_t gInterruptPipeWrite = -1;

// How often the engine's results are carried to the host when nothing else
// wakes the pump, as the window's one-second timer does.
constexpr std::chrono::milliseconds kPollPeriod{1000};

void DrainInterruptPipe()
{
    char buf[16];
    const int fd = gInterruptPipeRead;
    while (fd >= 0 && ::read(fd, buf, sizeof buf) > 0) {
    }
}

constexpr int kBaudRate = 19200;

QString Latin1(const std::string &s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string ToLatin1(const QString &s)
{
    return s.toLatin1().toStdString();
}

// A version reply shown as text: up to its first zero, control bytes dropped.
QString PrintableVersion(const std::string &text)
{
    QString out;
    for (char c : text) {
        if (c == '\0')
            break;
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            out += QChar(u);
    }
    return out.trimmed();
}

QString TagKey(QString tag)
{
    tag = tag.trimmed();
    if (tag.startsWith('[') && tag.endsWith(']'))
        tag = tag.mid(1, tag.size() - 2);
    return tag.trimmed().toUpper();
}

QString ModelName(std::uint8_t unitType)
{
    switch (unitType) {
    case UNIT_TYPE_OSTRA:
        return QStringLiteral("OSTRA");
    case UNIT_TYPE_VELLO:
        return QStringLiteral("VELLO");
    default:
        return QStringLiteral("unknown");
    }
}

QString ConnectionTypeName(int type)
{
    if (type == kConnectionTypeMobile)
        return QStringLiteral("Mobile (GPRS)");
    if (type == kConnectionTypeEthernet)
        return QStringLiteral("Ethernet");
    return QStringLiteral("Unknown (%1)").arg(type);
}

} // namespace

void TCliRunner::RequestInterrupt()
{
    const int saved = errno;
    gInterruptRequested = 1;
    const int fd = gInterruptPipeWrite;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

TCliRunner::TCliRunner(const TCliOptions &options, int pacingDivisor, int frameTimeoutMs)
    : O(options),
      FPacing(pacingDivisor > 1 ? TPacing::Shrunk(pacingDivisor) : TPacing::Production()),
      FDivisor(std::max(1, pacingDivisor))
{
    if (frameTimeoutMs > 0) {
        FPacing.ComFrameTimeout = ms(frameTimeoutMs);
        FPacing.UsbFrameTimeout = ms(frameTimeoutMs);
    }
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) == 0) {
        gInterruptPipeRead = fds[0];
        gInterruptPipeWrite = fds[1];
        FInterruptNotifier = std::make_unique<QSocketNotifier>(fds[0], QSocketNotifier::Read);
        QObject::connect(FInterruptNotifier.get(), &QSocketNotifier::activated,
                         FInterruptNotifier.get(), [] { DrainInterruptPipe(); });
        // An interrupt that came before the pipe existed still wakes the pump.
        if (gInterruptRequested)
            RequestInterrupt();
    }
}

TCliRunner::~TCliRunner()
{
    Shutdown();
    FInterruptNotifier.reset();
    const int readFd = gInterruptPipeRead;
    const int writeFd = gInterruptPipeWrite;
    // The handler stops using the pipe before it is closed.
    gInterruptPipeWrite = -1;
    gInterruptPipeRead = -1;
    if (writeFd >= 0)
        ::close(writeFd);
    if (readFd >= 0)
        ::close(readFd);
}

TCliRunner::ms TCliRunner::FrameTimeout() const
{
    return std::max(FPacing.ComFrameTimeout, FPacing.UsbFrameTimeout);
}

TCliRunner::ms TCliRunner::JobLimit() const
{
    // A whole job chain (connect, upload, the server's answer, download,
    // log-off) gets five minutes of steps at production pace, and a few frame
    // time-outs on top; the engine gives up by itself long before on a
    // silent unit, so this only ends a unit that never finishes.
    return FPacing.WorkerStep * 300 + FrameTimeout() * 20;
}

void TCliRunner::Print(const QString &text)
{
    FHost.EndProgress();
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void TCliRunner::PrintJson(const QJsonObject &object)
{
    Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

int TCliRunner::Failed(const QString &why)
{
    FHost.Note(why);
    return EXIT_CLI_FAILED;
}

int TCliRunner::Interrupted()
{
    FHost.Note(QStringLiteral("Interrupted."));
    return EXIT_CLI_INTERRUPTED;
}

int TCliRunner::Outcome(int code) const
{
    if (code == EXIT_CLI_OK && FHost.MessageCount() > 0)
        return EXIT_CLI_FAILED;
    return code;
}

bool TCliRunner::Pump(const std::function<bool()> &done, ms limit)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + limit;
    FTimedOut = false;
    QEventLoop loop;
    bool held = false;
    bool finished = false;
    const auto look = [&] {
        if (finished)
            return;
        if (FEngine)
            FEngine->Poll();
        if (done()) {
            held = true;
        } else if (gInterruptRequested) {
            FInterrupted = true;
        } else if (Clock::now() >= end) {
            FTimedOut = true;
        } else {
            return;
        }
        finished = true;
        loop.quit();
    };
    look();
    if (finished)
        return held;

    // Nothing wakes the loop but these: no polling faster than the poll.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        look();
        // A timer may fire a fraction early: wait out the rest.
        if (!finished)
            deadline.start(std::max(ms(1), std::chrono::ceil<ms>(end - Clock::now())));
    });
    deadline.start(std::chrono::ceil<ms>(end - Clock::now()));
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, look);
    poll.start(kPollPeriod);
    if (FEngine)
        QObject::connect(FEngine.get(), &TSerialThread::Stepped, &loop, look);
    if (FInterruptNotifier)
        QObject::connect(FInterruptNotifier.get(), &QSocketNotifier::activated, &loop, look);
    loop.exec();
    return held;
}

bool TCliRunner::Disconnected() const
{
    return FHost.DisconnectedCount() > FDisconnectsAtConnect;
}

bool TCliRunner::Resting() const
{
    return FEngine->LinkState() == LINK_LIVE && !FEngine->IsBusy();
}

bool TCliRunner::RunJob(int code, const std::vector<std::uint8_t> &payload)
{
    // As the window does: hold the worker while the job and its payload are
    // replaced, then let it go.
    FEngine->SetActive(false);
    if (!payload.empty())
        FEngine->SetJobPayload(payload.data(), static_cast<int>(payload.size()));
    FEngine->PostJob(code);
    FEngine->SetActive(true);
    Pump([this] { return Disconnected() || Resting(); }, JobLimit());
    return !FInterrupted && !FTimedOut && !Disconnected();
}

int TCliRunner::Run()
{
    if (const int r = Prepare(); r != EXIT_CLI_OK)
        return r;
    if (const int r = OpenLink(); r != EXIT_CLI_OK)
        return r;
    if (const int r = Connect(); r != EXIT_CLI_OK)
        return r;
    const int r = RunCommand();
    Shutdown();
    return r;
}

// ---- before the unit is asked anything ----

int TCliRunner::Prepare()
{
    if (O.Command == TCliCommand::SaveSettings && O.Connection == TCliConnection::Ethernet) {
        // The window's address rules and messages, checked before connecting.
        const std::optional<QString> *fields[4] = {&O.IPAddress, &O.NetMask, &O.DefaultGateway,
                                                   &O.DNSServer};
        for (int i = 0; i < 4; ++i) {
            if (!fields[i]->has_value())
                continue;
            QString message;
            if (!ParseIPAddress(**fields[i], FAddresses[i],
                                [&message](const QString &m) { message = m; })) {
                FHost.Note(message);
                return EXIT_CLI_USAGE;
            }
            FHaveAddress[i] = true;
        }
    }

    const bool wantsPassword = O.Command == TCliCommand::Logon ||
                               (O.Command == TCliCommand::SaveSettings && O.PasswordFromStdin);
    if (wantsPassword) {
        if (!ReadPassword(QStringLiteral("Password: "), FPassword)) {
            FHost.Note(QStringLiteral("No password was given on standard input."));
            return EXIT_CLI_USAGE;
        }
        if (O.Command == TCliCommand::SaveSettings) {
            const TSettingsTextField tooLong = FindTooLongSettingsText("", "", FPassword);
            if (tooLong != STF_NONE) {
                FHost.Note(SettingsTextTooLongMessage(tooLong));
                return EXIT_CLI_USAGE;
            }
            if (FPassword.find('\0') != std::string::npos) {
                FHost.Note(QStringLiteral("The password holds a zero byte, which the unit cannot "
                                          "store."));
                return EXIT_CLI_USAGE;
            }
        }
    }
    return EXIT_CLI_OK;
}

int TCliRunner::OpenLink()
{
    if (!O.TraceFile.isEmpty()) {
        std::string error;
        if (!linktrace::Install(O.TraceFile.toStdString(), &error)) {
            FHost.Note(QStringLiteral("The trace file could not be written: %1")
                           .arg(QString::fromStdString(error)));
            return EXIT_CLI_USAGE;
        }
    }
    for (const auto &[description, path] : O.UsbBridges)
        Ftd2xx::RegisterVirtualBridge(description.toStdString(), path.toStdString());
    for (const auto &[number, path] : O.ComPaths)
        MapComPort(number, path.toStdString());

    bool useUsb = O.Link == TCliLink::Usb;
    int comPort = O.Link == TCliLink::Com ? O.ComPort : 1;

    if (O.Link == TCliLink::Simulate) {
        TSimulatedLink simulated;
        std::string error;
        if (!StartSimulatedUnit(O.SimulateModel.toStdString(), FDivisor, simulated, error)) {
            FHost.Note(QStringLiteral("The simulated unit could not be started: %1")
                           .arg(QString::fromStdString(error)));
            return EXIT_CLI_UNREACHABLE;
        }
        FSim = std::move(simulated.Sim);
        useUsb = simulated.UseUsb;
        comPort = simulated.ComPort;
    }

    FEngine = std::make_unique<TSerialThread>(&FHost, FPacing);
    FEngine->SelectPort(useUsb, comPort, kBaudRate);
    switch (O.Command) {
    case TCliCommand::Live:
        FHost.SetActivePage(2);
        break;
    default:
        // Nothing is read on the timers until a command asks for it.
        FHost.SetActivePage(0);
        break;
    }
    return EXIT_CLI_OK;
}

int TCliRunner::Connect()
{
    FEngine->StartConnect();
    FEngine->SetActive(true);
    const bool ok = Pump(
        [this] {
            return FHost.DisconnectedCount() > 0 || (FHost.ConnectedCount() > 0 && Resting());
        },
        JobLimit());
    if (FInterrupted)
        return Interrupted();
    if (FTimedOut)
        return Failed(QStringLiteral("The unit did not finish connecting in time."));
    if (!ok || FHost.ConnectedCount() == 0 || FHost.DisconnectedCount() > 0) {
        // A unit that answered but was refused (its firmware) is a failure;
        // no answer at all means no unit was reached.
        for (const auto &m : FHost.Messages())
            if (m.Text.startsWith(QStringLiteral("Firmware is not compatible")))
                return EXIT_CLI_FAILED;
        return EXIT_CLI_UNREACHABLE;
    }
    FConnected = true;
    FDisconnectsAtConnect = FHost.DisconnectedCount();
    return EXIT_CLI_OK;
}

int TCliRunner::RunCommand()
{
    switch (O.Command) {
    case TCliCommand::Info:
        return Info();
    case TCliCommand::Live:
        return Live();
    case TCliCommand::External:
        return External();
    case TCliCommand::IOConfig:
        return IOConfig();
    case TCliCommand::Snapshot:
        return Snapshot();
    case TCliCommand::Logon:
        return Logon();
    case TCliCommand::Signal:
        return Signal();
    case TCliCommand::SaveSettings:
        return SaveSettings();
    case TCliCommand::SetValue:
        return SetValue();
    case TCliCommand::None:
        break;
    }
    return EXIT_CLI_USAGE;
}

void TCliRunner::Shutdown()
{
    if (FEngine) {
        const int state = FEngine->LinkState();
        if (FInterrupted && FConnected && state != LINK_IDLE) {
            FHost.Note(QStringLiteral("Stopping: asking the unit to go idle (Ctrl-C again quits at "
                                      "once)."));
            gInterruptRequested = 0;
            FInterrupted = false;
            if (state == LINK_SIGNAL) {
                // Switch the unit's signal monitoring off on the way out.
                FEngine->StopSignalChecking();
                Pump([this] { return FEngine->LinkState() != LINK_SIGNAL; },
                     FPacing.SignalTimer * 4 + FrameTimeout() * 2);
            }
            // A step that is under way finishes its exchanges first (they
            // are bounded by their own time-outs); no step starts after it.
            FEngine->SetActive(false);
            Pump([this] { return !FEngine->IsStepInProgress(); }, JobLimit());
            if (!FEngine->IsStepInProgress() && FEngine->Comms() && FEngine->Comms()->IsOpen())
                FEngine->Comms()->WriteSFCommand(SF_IDLE);
        }
        FEngine->SetActive(false);
        FEngine->Poll();
        FEngine.reset(); // ends the worker and closes the link
    }
    FSim.reset();
    FHost.EndProgress();
}

// ---- commands ----

int TCliRunner::Info()
{
    // The text the unit reported while connecting.
    const std::string version = FEngine->FirmwareVersion();
    TZelvo *unit = FEngine->Unit();
    const auto &s = FHost.Settings();
    const TConnectionSettings settings = s ? *s : unit->GetSettings();

    const QString versionText = PrintableVersion(version);
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
                              {"unitType", type},
                              {"model", ModelName(type)},
                              {"connection", conn}});
    } else {
        Print(FormatPairs({
            {"Firmware", versionText},
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
    TIOs &ios = FEngine->Unit()->IOs();
    const ms interval = O.IntervalSeconds
                            ? ms(static_cast<long long>(*O.IntervalSeconds * 1000 / FDivisor))
                            : FPacing.LiveTimer;

    QJsonArray readings;
    bool interrupted = false;
    for (int n = 1; O.Count == 0 || n <= O.Count; ++n) {
        if (n > 1) {
            Pump([this] { return Disconnected(); }, interval);
            if (FInterrupted) {
                interrupted = true;
                break;
            }
            if (Disconnected())
                break;
        }
        if (O.Json) {
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
            readings.append(QJsonObject{{"reading", n}, {"io", rows}});
        } else {
            TCliTable table({"IO Name", "IO Tag", "IO Type", "Value"});
            for (int i = 0; i < ios.Count(); ++i) {
                const TIO *io = ios.At(i);
                table.AddRow({io->Name, io->Tag,
                              io->ConfigurableType != -1
                                  ? ConfigurableTypeText(io->ConfigurableType)
                                  : io->GetTypeText(),
                              io->GetValueText().trimmed()});
            }
            Print((n > 1 ? QStringLiteral("\n") : QString()) + table.Format());
        }
    }
    if (O.Json)
        PrintJson(QJsonObject{{"readings", readings}});
    if (Disconnected())
        return Failed(QStringLiteral("The unit stopped answering; live reading ended."));
    if (interrupted && O.Count != 0)
        return Interrupted();
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
    FHost.SetActivePage(3);
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
    FHost.SetActivePage(0);
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

int TCliRunner::IOConfig()
{
    const bool ran = RunJob(MSG_READ_IO_CONFIG);
    if (FInterrupted)
        return Interrupted();
    TZelvo *unit = FEngine->Unit();
    TServerSideIOs &list = unit->ServerSideIOs();
    TAvailableInputTypes &types = unit->AvailableInputTypes();
    TUOMDescriptions &uoms = unit->UOMDescriptions();

    const auto typeName = [&types](int id) {
        for (int i = 0; i < types.Count(); ++i)
            if (types.At(i)->InputTypeID == id)
                return types.At(i)->Name;
        return QString();
    };
    const auto uomName = [&uoms](int id) {
        for (int i = 0; i < uoms.Count(); ++i)
            if (uoms.At(i)->GetUOMID() == id)
                return uoms.At(i)->GetName();
        return QString();
    };

    // What was read is shown even when a later part of the chain failed.
    if (O.Json) {
        QJsonArray rows;
        for (int i = 0; i < list.Count(); ++i) {
            const TServerSideIO *io = list.Item(i);
            rows.append(QJsonObject{{"id", io->IOID()},
                                    {"tag", io->Tag()},
                                    {"name", io->FriendlyName()},
                                    {"inputTypeId", io->InputTypeID()},
                                    {"inputType", typeName(io->InputTypeID())},
                                    {"uomId", io->UOMID()},
                                    {"uom", uomName(io->UOMID())},
                                    {"loggingCode", io->LoggingMode()},
                                    {"logging", TServerSideIO::LoggingModeText(io->LoggingMode())},
                                    {"external", io->IsExternal()}});
        }
        PrintJson(QJsonObject{{"io", rows}});
    } else {
        TCliTable table({"ID", "IO Tag", "IO Name", "Input Type", "UOM", "Logging"});
        for (int i = 0; i < list.Count(); ++i) {
            const TServerSideIO *io = list.Item(i);
            const QString type = typeName(io->InputTypeID());
            const QString uom = uomName(io->UOMID());
            table.AddRow({QString::number(io->IOID()), QStringLiteral("[%1]").arg(io->Tag()),
                          io->FriendlyName(),
                          type.isEmpty() ? QString::number(io->InputTypeID()) : type,
                          uom.isEmpty() ? QString::number(io->UOMID()) : uom,
                          TServerSideIO::LoggingModeText(io->LoggingMode())});
        }
        Print(table.Format());
    }
    if (!ran || !FEngine->HasIOConfiguration())
        return Failed(QStringLiteral("The I/O configuration could not be read."));
    if (!FEngine->HasInputTypes() || !FEngine->HasUOMLists())
        return Failed(QStringLiteral("The input types or the UOM list could not be read."));
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

int TCliRunner::Logon()
{
    std::vector<std::uint8_t> payload;
    if (!BuildLogonPayload(ToLatin1(O.Email), FPassword, payload)) {
        FHost.Note(QStringLiteral("The e-mail address does not fit the logon message."));
        return EXIT_CLI_USAGE;
    }
    const bool ran = RunJob(MSG_LOGON, payload);
    if (FInterrupted)
        return Interrupted();
    const std::optional<bool> result = FHost.Logon();
    if (O.Json)
        PrintJson(QJsonObject{{"email", O.Email}, {"loggedOn", result.value_or(false)}});
    if (!ran || !result)
        return Failed(QStringLiteral("The logon did not complete."));
    if (!*result)
        return Failed(QStringLiteral("Logon failed."));
    if (!O.Json)
        Print(QStringLiteral("Logged on as %1.\n").arg(O.Email));
    return Outcome(EXIT_CLI_OK);
}

int TCliRunner::Signal()
{
    TSignalStrengthRefresh *poll = FEngine->SignalPoll();
    FEngine->StartSignalChecking();

    QJsonArray readings;
    if (!O.Json)
        Print(QStringLiteral("Level  Bars  Band\n"));
    bool failed = false;
    // The tick that switches monitoring on reads no level yet; the first
    // level comes with the tick after it.
    Pump(
        [this, poll] {
            return Disconnected() || poll->State() == SIG_RUNNING || poll->State() == SIG_FAILED;
        },
        FPacing.SignalTimer * 4 + FrameTimeout() * 2);
    // Readings are taken half-way between ticks, so each one sees the level
    // of the tick before it and never races the tick itself.
    if (!FInterrupted && poll->State() == SIG_RUNNING)
        Pump([this] { return Disconnected(); }, FPacing.SignalTimer * 3 / 2);
    for (int n = 1; n <= O.Seconds; ++n) {
        if (n > 1)
            Pump([this] { return Disconnected(); }, FPacing.SignalTimer);
        if (FInterrupted)
            break;
        if (Disconnected() || poll->State() != SIG_RUNNING) {
            failed = true;
            break;
        }
        const std::uint8_t level = poll->SignalLevel();
        const TSignalReading r = ReadSignalLevel(level);
        if (O.Json)
            readings.append(QJsonObject{{"level", level}, {"bars", r.Bars}, {"band", r.Band}});
        else
            Print(QStringLiteral("%1  %2  %3\n").arg(level, 5).arg(r.Bars, 4).arg(r.Band));
    }
    if (FInterrupted) {
        if (O.Json)
            PrintJson(QJsonObject{{"readings", readings}});
        return Interrupted(); // the shutdown switches monitoring off
    }
    if (!failed) {
        // Stopping takes two ticks: one notices the request, one switches
        // monitoring off; the engine then rests with live readings again.
        FEngine->StopSignalChecking();
        Pump([this] { return Disconnected() || Resting(); },
             FPacing.SignalTimer * 6 + FrameTimeout() * 4 + FPacing.WorkerStep * 4);
        failed = Disconnected() || !Resting();
    }
    if (O.Json)
        PrintJson(QJsonObject{{"readings", readings}});
    if (FInterrupted)
        return Interrupted();
    if (failed)
        return Failed(QStringLiteral("Signal checking ended with an error."));
    return Outcome(EXIT_CLI_OK);
}

int TCliRunner::SaveSettings()
{
    TZelvo *unit = FEngine->Unit();
    TConnectionSettings settings = FHost.Settings() ? *FHost.Settings() : unit->GetSettings();
    if (O.Connection == TCliConnection::Ethernet) {
        if (unit->IsVelloUnit()) {
            FHost.Note(QStringLiteral("A VELLO unit has no Ethernet connection; only Mobile "
                                      "(GPRS) can be saved."));
            return EXIT_CLI_USAGE;
        }
        settings.ConnectionType = kConnectionTypeEthernet;
        if (O.UseDHCP)
            settings.UseDHCP = *O.UseDHCP;
        std::uint32_t *targets[4] = {&settings.IPAddress, &settings.NetMask,
                                     &settings.DefaultGateway, &settings.DNSServer};
        for (int i = 0; i < 4; ++i)
            if (FHaveAddress[i])
                *targets[i] = FAddresses[i];
    } else {
        settings.ConnectionType = kConnectionTypeMobile;
        if (O.APN)
            settings.APN = ToLatin1(*O.APN);
        if (O.UserName)
            settings.Username = ToLatin1(*O.UserName);
        if (O.PasswordFromStdin)
            settings.Password = FPassword;
    }
    const std::string problem = ConnectionSettingsProblem(settings);
    if (!problem.empty()) {
        FHost.Note(QString::fromStdString(problem));
        return EXIT_CLI_USAGE;
    }

    // The save ends the connection either way: the worker goes to closing
    // on success and through the error state on failure; the engine keeps
    // the save's own outcome.
    FEngine->SaveConnectionSettings(settings);
    Pump([&] { return Disconnected() && FEngine->LinkState() == LINK_IDLE; }, JobLimit());
    if (FInterrupted)
        return Interrupted();
    const bool saved = FEngine->SaveOutcome() == SAVE_SUCCEEDED && Disconnected() && !FTimedOut;
    FConnected = false; // the unit resets; nothing more to tell it
    if (O.Json)
        PrintJson(QJsonObject{{"saved", saved},
                              {"connectionType", settings.IsMobile() ? "mobile" : "ethernet"}});
    if (!saved)
        return Failed(QStringLiteral("Saving the settings failed."));
    if (!O.Json)
        Print(QStringLiteral("Settings saved. The unit applies them and resets; connect again "
                             "afterwards.\n"));
    return Outcome(EXIT_CLI_OK);
}

int TCliRunner::SetValue()
{
    TIOs &ios = FEngine->Unit()->IOs();
    TIO *io = nullptr;
    const QString key = TagKey(O.Tag);
    for (int i = 0; i < ios.Count() && !io; ++i)
        if (TagKey(ios.At(i)->Tag) == key)
            io = ios.At(i);
    if (!io) {
        FHost.Note(QStringLiteral("The unit has no I/O with the tag %1.").arg(O.Tag));
        return EXIT_CLI_USAGE;
    }
    if (!IsEditableIOType(io->IOType)) {
        FHost.Note(EditIOValue(*io, O.Value).Error);
        return EXIT_CLI_USAGE;
    }
    // The window lets values be edited only once the UOM information has
    // been applied to the list.
    if (!ios.IsEditable())
        return Failed(QStringLiteral("The unit's I/O cannot be edited before its UOM information "
                                     "has been read."));
    const long double before = io->Value;
    const TValueEdit edit = EditIOValue(*io, O.Value);
    if (!edit.Ok) {
        FHost.Note(edit.Error);
        return EXIT_CLI_USAGE;
    }
    const bool sent = FEngine->Unit()->SetIOValue(io->Number, edit.Value);
    if (!sent)
        io->Value = before;
    if (O.Json)
        PrintJson(QJsonObject{{"tag", io->Tag},
                              {"name", io->Name},
                              {"number", io->Number},
                              {"value", edit.Value},
                              {"accepted", sent}});
    if (!sent)
        return Failed(QStringLiteral("The unit did not accept the new value."));
    if (!O.Json)
        Print(QStringLiteral("%1 %2 set to %3.\n").arg(io->Tag, io->Name).arg(edit.Value));
    return Outcome(EXIT_CLI_OK);
}
