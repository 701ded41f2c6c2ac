#include "cli/Clisession.h"

#include "common/Errormanager.h"

#include "cli/Clicommands.h"
#include "cli/Cliconsole.h"
#include "cli/Clipassword.h"
#include "engine/Serialthread.h"
#include "link/Portdiagnosis.h"
#include "link/Zelvocommsinterface.h"

#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>

#include <algorithm>
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

void TCliSession::RequestInterrupt()
{
    gInterruptRequested = 1;
    TInterruptWake::Wake();
}

bool TCliSession::InterruptRequested()
{
    return gInterruptRequested != 0;
}

TCliSession::TCliSession(const TCliOptions &options, const TLinkPacing &pacing, TErrorManager &log)
    : O(options), FPacing(pacing.Pacing), FDivisor(std::max(1, pacing.Divisor)), FHost(log)
{
    FHost.SetVerbose(O.Verbose);
    FInterruptWake = std::make_unique<TInterruptWake>();
    // An interrupt that came before the wake existed still wakes the pump.
    if (gInterruptRequested)
        RequestInterrupt();
}

TCliSession::~TCliSession()
{
    Shutdown();
    FInterruptWake.reset();
}

TCliSession::ms TCliSession::FrameTimeout() const
{
    return std::max(FPacing.ComFrameTimeout, FPacing.UsbFrameTimeout);
}

TCliSession::ms TCliSession::JobLimit() const
{
    // A whole job chain (connect, upload, the server's answer, download,
    // log-off) gets five minutes of steps at production pace, and a few frame
    // time-outs on top; the engine gives up by itself long before on a
    // silent unit, so this only ends a unit that never finishes.
    return FPacing.WorkerStep * 300 + FrameTimeout() * 20;
}

// ---- printing and outcome ----

void TCliSession::Print(const QString &text)
{
    FHost.EndProgress();
    FPrinted = true;
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

void TCliSession::PrintJson(const QJsonObject &object)
{
    Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Indented)));
}

void TCliSession::PrintJsonLine(const QJsonObject &object)
{
    Print(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + '\n');
}

int TCliSession::Failed(const QString &why)
{
    FHost.Note(why);
    return EXIT_CLI_FAILED;
}

int TCliSession::Usage(const QString &why)
{
    FHost.Note(why);
    return EXIT_CLI_USAGE;
}

int TCliSession::Failed(const TLinkResult &result)
{
    // The front-end layer's texts follow a program name; here they stand alone.
    QString why = result.Error;
    if (!why.isEmpty())
        why[0] = why[0].toUpper();
    FHost.Note(why);
    return result.ExitCode;
}

int TCliSession::Interrupted()
{
    FHost.Note(QStringLiteral("Interrupted."));
    return EXIT_CLI_INTERRUPTED;
}

int TCliSession::Outcome(int code) const
{
    if (code == EXIT_CLI_OK && FHost.MessageCount() > 0)
        return EXIT_CLI_FAILED;
    return code;
}

int TCliSession::Finish(int code)
{
    if (O.Json && code != EXIT_CLI_OK && !FPrinted)
        PrintJsonLine(QJsonObject{
            {"error", FHost.LastProblem()}, {"exitCode", code}, {"meaning", ExitMeaning(code)}});
    return code;
}

// ---- waiting ----

bool TCliSession::Pump(const std::function<bool()> &done, ms limit)
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

bool TCliSession::Disconnected() const
{
    return FHost.DisconnectedCount() > FDisconnectsAtConnect;
}

bool TCliSession::Resting() const
{
    return FEngine->LinkState() == LINK_LIVE && !FEngine->IsBusy();
}

bool TCliSession::RunJob(TMessageType code, const std::vector<std::uint8_t> &payload)
{
    Session().PostJob(code, payload);
    return WaitForJob();
}

std::optional<bool> TCliSession::RunLogon(const std::string &email, const std::string &password)
{
    if (!Session().PostLogon(email, password))
        return std::nullopt;
    return WaitForJob();
}

bool TCliSession::WaitForJob()
{
    Pump([this] { return Disconnected() || Resting(); }, JobLimit());
    return !FInterrupted && !FTimedOut && !Disconnected();
}

// ---- before connecting ----

std::uint8_t TCliSession::ExpectedModel() const
{
    if (O.Link == TLinkChoice::Com ||
        (O.Link == TLinkChoice::Simulate && O.SimulateModel == "vello"))
        return UNIT_TYPE_VELLO;
    return UNIT_TYPE_OSTRA;
}

QString TCliSession::LinkName() const
{
    return O.Link == TLinkChoice::Com   ? QStringLiteral("a COM port")
           : O.Link == TLinkChoice::Usb ? QStringLiteral("the USB bridge")
                                        : QStringLiteral("--simulate");
}

int TCliSession::AskPassword(std::string &password)
{
    if (!ReadPassword(QStringLiteral("Password: "), password))
        return Usage(QStringLiteral("No password was given on standard input."));
    return EXIT_CLI_OK;
}

// ---- the link ----

int TCliSession::Open(TLiveList shown)
{
    if (const int r = OpenLink(shown); r != EXIT_CLI_OK)
        return r;
    if (const int r = Connect(); r != EXIT_CLI_OK)
        return r;
    FOpened = true;
    return EXIT_CLI_OK;
}

int TCliSession::OpenLink(TLiveList shown)
{
    const TLinkOptions link(O);
    if (const TLinkResult r = link.InstallTrace(); !r.Ok)
        return Failed(r);
    link.ApplyMappings();

    bool useUsb = O.Link == TLinkChoice::Usb;
    int comPort = O.Link == TLinkChoice::Com ? O.ComPort : 1;
    std::string autoBridge;
    if (O.ComAuto || O.UsbAuto)
        if (const int r = AutoSelectPort(*this, useUsb, comPort, autoBridge); r != EXIT_CLI_OK)
            return r;

    if (O.Link == TLinkChoice::Simulate) {
        if (const TLinkResult r = link.StartSimulation(FDivisor, FSim); !r.Ok)
            return Failed(r);
        useUsb = FSim.UseUsb;
        comPort = FSim.ComPort;
    }

    FEngine = std::make_unique<TSerialThread>(&FHost, FPacing);
    // Each status the engine sets is printed, not only the one a poll finds.
    TErrorManager &log = FHost.ErrorLog();
    log.SetKeepStatusTrail(true);
    // Said once, here: the run goes on without a log file.
    if (!log.LogFileOpen())
        std::fprintf(stderr, "zelvo-cli: %s cannot be written; this run is not logged\n",
                     QFile::encodeName(log.LogPath()).constData());
    FEngine->SelectPort(useUsb, comPort, kBaudRate);
    if (!autoBridge.empty() && FEngine->Comms())
        FEngine->Comms()->SetBrandName(autoBridge);
    // Nothing is read on the timers that the command does not ask for.
    FHost.SetShownLiveList(shown);
    return EXIT_CLI_OK;
}

int TCliSession::Connect()
{
    TSession session = Session();
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

void TCliSession::Shutdown()
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
            Session().GoIdle(
                [this](const std::function<bool()> &done, ms limit) { return Pump(done, limit); });
        }
        Session().Close();
        FEngine.reset(); // ends the worker and closes the link
    }
    FSim = TSimulatedLink();
    FHost.EndProgress();
}
