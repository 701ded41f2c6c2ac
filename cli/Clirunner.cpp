#include "cli/Clirunner.h"

#include "common/Errormanager.h"

#include "cli/Cliconsole.h"
#include "cli/Clipassword.h"
#include "cli/Clitable.h"
#include "cli/Clivalueedit.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Session.h"
#include "frontend/Signalreading.h"
#include "frontend/Simulatedunit.h"
#include "link/Portdiagnosis.h"
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
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace
{

volatile std::sig_atomic_t gInterruptRequested = 0;

// How often the engine's results are carried to the host when nothing else
// wakes the pump, as the window's one-second timer does.
constexpr std::chrono::milliseconds kPollPeriod{1000};

constexpr int kBaudRate = 19200;

} // namespace

void TCliRunner::RequestInterrupt()
{
    gInterruptRequested = 1;
    TInterruptWake::Wake();
}

bool TCliRunner::InterruptRequested()
{
    return gInterruptRequested != 0;
}

TCliRunner::TCliRunner(const TCliOptions &options, const TLinkPacing &pacing)
    : O(options), FPacing(pacing.Pacing), FDivisor(std::max(1, pacing.Divisor))
{
    FHost.SetVerbose(O.Verbose);
    FInterruptWake = std::make_unique<TInterruptWake>();
    // An interrupt that came before the wake existed still wakes the pump.
    if (gInterruptRequested)
        RequestInterrupt();
}

TCliRunner::~TCliRunner()
{
    Shutdown();
    FInterruptWake.reset();
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
    FPrinted = true;
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void TCliRunner::PrintJson(const QJsonObject &object)
{
    Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

void TCliRunner::PrintJsonLine(const QJsonObject &object)
{
    Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + '\n');
}

int TCliRunner::Failed(const QString &why)
{
    FHost.Note(why);
    return EXIT_CLI_FAILED;
}

int TCliRunner::Failed(const TLinkResult &result)
{
    // The front-end layer's texts follow a program name; here they stand alone.
    QString why = result.Error;
    if (!why.isEmpty())
        why[0] = why[0].toUpper();
    FHost.Note(why);
    return result.ExitCode;
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
    if (FInterruptWake)
        QObject::connect(FInterruptWake.get(), &TInterruptWake::Woken, &loop, look);
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

bool TCliRunner::RunJob(TMessageType code, const std::vector<std::uint8_t> &payload)
{
    TSession(*FEngine).PostJob(code, payload);
    Pump([this] { return Disconnected() || Resting(); }, JobLimit());
    return !FInterrupted && !FTimedOut && !Disconnected();
}

int TCliRunner::Run()
{
    const int code = RunSteps();
    // In JSON mode a failure that printed nothing is also told on standard
    // output, as one object.
    if (O.Json && code != EXIT_CLI_OK && !FPrinted)
        PrintJsonLine(QJsonObject{
            {"error", FHost.LastProblem()}, {"exitCode", code}, {"meaning", ExitMeaning(code)}});
    return code;
}

int TCliRunner::RunSteps()
{
    if (O.Command == TCliCommand::Networks)
        return Networks(); // the catalogue needs no unit
    if (O.Command == TCliCommand::Find)
        return Find();
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
    if (const int r = CheckUsageOffline(); r != EXIT_CLI_OK)
        return r;
    if (const int r = LoadTemplate(); r != EXIT_CLI_OK)
        return r;
    if (const int r = LoadCatalogueEntry(); r != EXIT_CLI_OK)
        return r;
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
                               (O.Command == TCliCommand::SaveSettings && O.PasswordFromStdin) ||
                               (O.Command == TCliCommand::IOConfig && !O.Email.isEmpty());
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
    const TLinkOptions link(O);
    if (const TLinkResult r = link.InstallTrace(); !r.Ok)
        return Failed(r);
    link.ApplyMappings();

    bool useUsb = O.Link == TLinkChoice::Usb;
    int comPort = O.Link == TLinkChoice::Com ? O.ComPort : 1;
    if (O.ComAuto || O.UsbAuto)
        if (const int r = AutoSelect(useUsb, comPort); r != EXIT_CLI_OK)
            return r;

    if (O.Link == TLinkChoice::Simulate) {
        if (const TLinkResult r = link.StartSimulation(FDivisor, FSim); !r.Ok)
            return Failed(r);
        useUsb = FSim.UseUsb;
        comPort = FSim.ComPort;
    }

    FEngine = std::make_unique<TSerialThread>(&FHost, FPacing);
    // Each status the engine sets is printed, not only the one a poll finds.
    if (TErrorManager *em = ErrorManager()) {
        em->SetKeepStatusTrail(true);
        // Said once, here: the run goes on without a log file.
        if (!em->LogFileOpen())
            std::fprintf(stderr, "zelvo-cli: %s cannot be written; this run is not logged\n",
                         QFile::encodeName(em->LogPath()).constData());
    }
    FEngine->SelectPort(useUsb, comPort, kBaudRate);
    if (!FAutoBridge.empty() && FEngine->Comms())
        FEngine->Comms()->SetBrandName(FAutoBridge);
    switch (O.Command) {
    case TCliCommand::Live:
        FHost.SetShownLiveList(LIVE_LIST_OWN_IO);
        break;
    default:
        // Nothing is read on the timers until a command asks for it.
        FHost.SetShownLiveList(LIVE_LIST_NONE);
        break;
    }
    return EXIT_CLI_OK;
}

int TCliRunner::Connect()
{
    TSession session(*FEngine);
    session.StartConnect();
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
        FHost.TakePendingStatus();
        switch (session.ConnectOutcome()) {
        case CONNECT_FIRMWARE_OLD:
            // A unit that answered but was refused is a failure, not an
            // unreachable unit.
            return EXIT_CLI_FAILED;
        case CONNECT_NO_DEVICE:
            // After the engine's own texts, the installer's line: which
            // device and why it would not open.
            if (FEngine->Comms())
                FHost.Note(QString::fromStdString(DiagnoseLinkOpen(*FEngine->Comms()).Line));
            return EXIT_CLI_UNREACHABLE;
        default:
            return EXIT_CLI_UNREACHABLE;
        }
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
    case TCliCommand::Networks:
        return Networks();
    case TCliCommand::Find:
        return Find();
    case TCliCommand::Report:
        return Report();
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
            // Signal monitoring off, the step under way let finish, then the
            // idle request.
            TSession(*FEngine).GoIdle(
                [this](const std::function<bool()> &done, ms limit) { return Pump(done, limit); });
        }
        FEngine->SetActive(false);
        FEngine->Poll();
        FEngine.reset(); // ends the worker and closes the link
    }
    FSim = TSimulatedLink();
    FHost.EndProgress();
}

// ---- commands ----
