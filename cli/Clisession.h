#pragma once

#include "cli/Clihost.h"
#include "cli/Clioptions.h"
#include "frontend/Linkoptions.h"
#include "frontend/Session.h"
#include "frontend/Simulatedunit.h"
#include "link/Pacing.h"
#include "protocol/Commands.h"

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TInterruptWake;

// What every command of zelvo-cli works through: the options, the host that
// reports on standard error, the engine behind a TSession, the pacing, the
// waits, the printing and the interrupt. A command does its own checks
// first, then Open()s the link (which connects through the job engine
// exactly as the window does) and runs its jobs or reads. Runs on the GUI
// (main) thread with its own event pumping, so the engine's timers and
// synchronised calls work.
class TCliSession
{
public:
    using ms = std::chrono::milliseconds;

    // `pacing`: production, or shrunk by the developer switches (tests).
    // `log` is the run's log; the engine writes to it.
    TCliSession(const TCliOptions &options, const TLinkPacing &pacing, TErrorManager &log);
    ~TCliSession();

    TCliSession(const TCliSession &) = delete;
    TCliSession &operator=(const TCliSession &) = delete;

    // Called from the interrupt handler (async-signal-safe): wakes the pump,
    // which stops the command.
    static void RequestInterrupt();
    // Whether an interrupt was asked for (and not yet dealt with).
    static bool InterruptRequested();

    const TCliOptions &Options() const { return O; }
    TCliHost &Host() { return FHost; }
    const TPacing &Pacing() const { return FPacing; }
    // How much the developer switches shrank the pacing (1 in production).
    int Divisor() const { return FDivisor; }

    // ---- the link ----

    // Opens the chosen link (the trace, the mappings, --com auto / --usb
    // auto, the simulated unit) and connects. `shown` is the live list the
    // engine reads on its timers meanwhile. EXIT_CLI_OK once connected and
    // at rest, else the exit code, its reason already told.
    int Open(TLiveList shown = LIVE_LIST_NONE);
    // Open() succeeded: the command ran on the unit.
    bool Opened() const { return FOpened; }
    // Only after Open() succeeded.
    TSerialThread &Engine() const { return *FEngine; }
    TSession Session() const { return TSession(*FEngine); }
    // The unit resets by itself (settings saved): nothing more to tell it on
    // the way out.
    void UnitResets() { FConnected = false; }
    // Asks a unit left busy by an interrupt to go idle, then ends the worker
    // and closes the link. Safe to call again.
    void Shutdown();

    // ---- waiting ----

    // Runs the event loop until done() holds, looking again whenever the
    // engine has stepped or ticked, at the one-second poll and on an
    // interrupt; the engine's poll runs before each look. False when the
    // limit passed or the run was interrupted.
    bool Pump(const std::function<bool()> &done, ms limit);
    // Posts a job the way the window does and waits until its whole chain has
    // run and the engine rests with live readings again.
    bool RunJob(TMessageType code, const std::vector<std::uint8_t> &payload = {});
    // Waits for the job chain just posted; true when it ran to the end.
    bool WaitForJob();
    // The logon job, run like RunJob. Unset, and nothing posted, when the
    // address does not fit the logon message.
    std::optional<bool> RunLogon(const std::string &email, const std::string &password);
    bool Resting() const;
    // The unit went away after connecting.
    bool Disconnected() const;
    // The last Pump() ended on an interrupt, or on its limit.
    bool WasInterrupted() const { return FInterrupted; }
    bool TimedOut() const { return FTimedOut; }
    ms JobLimit() const;
    ms FrameTimeout() const;

    // ---- outcome ----

    // The exit code of a command whose work is done: any message the engine
    // showed meant something failed.
    int Outcome(int code) const;
    int Failed(const QString &why);
    int Usage(const QString &why);
    int Interrupted();
    // In JSON mode a failure that printed nothing is also told on standard
    // output, as one object. Returns `code`.
    int Finish(int code);

    // ---- printing ----

    void Print(const QString &text);
    void PrintJson(const QJsonObject &object);
    // One compact JSON object on a line of its own (streamed readings).
    void PrintJsonLine(const QJsonObject &object);

    // ---- before connecting ----

    // The model the chosen link reaches (COM ports the VELLO, the USB bridge
    // the OSTRA) and how it is named in messages.
    std::uint8_t ExpectedModel() const;
    QString LinkName() const;
    // Reads the password from standard input before connecting, so nobody
    // is asked after a long wait. EXIT_CLI_USAGE when none was given.
    int AskPassword(std::string &password);

private:
    int OpenLink(TLiveList shown);
    int Connect();
    // A link option that could not be applied: its text and exit code.
    int Failed(const TLinkResult &result);

    TCliOptions O;
    TPacing FPacing;
    int FDivisor;
    TCliHost FHost;
    TSimulatedLink FSim;
    std::unique_ptr<TSerialThread> FEngine;
    // Wakes the pump when an interrupt comes.
    std::unique_ptr<TInterruptWake> FInterruptWake;
    bool FOpened = false;
    bool FConnected = false;
    // Something went to standard output.
    bool FPrinted = false;
    bool FInterrupted = false;
    bool FTimedOut = false;
    int FDisconnectsAtConnect = 0;
};
