#pragma once

#include "Clihost.h"
#include "Clioptions.h"
#include "Pacing.h"

#include <QJsonObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
class TSerialThread;
namespace zsim
{
class UnitSimulator;
}

// Runs one command of zelvo-cli: opens the chosen link, connects through the
// job engine exactly as the window does, runs the command's jobs or reads,
// prints the result and closes the link. Runs on the GUI (main) thread with
// its own event pumping, so the engine's timers and synchronised calls work.
class TCliRunner
{
public:
    // `pacingDivisor` above 1 shrinks every pause and time-out (tests);
    // `frameTimeoutMs` above 0 then sets both links' frame time-out.
    TCliRunner(const TCliOptions &options, int pacingDivisor, int frameTimeoutMs = 0);
    ~TCliRunner();

    TCliRunner(const TCliRunner &) = delete;
    TCliRunner &operator=(const TCliRunner &) = delete;

    // The exit code of the command.
    int Run();

    // Called from the signal handler (async-signal-safe): wakes the pump,
    // which stops the command.
    static void RequestInterrupt();

private:
    using ms = std::chrono::milliseconds;

    int Prepare();
    int OpenLink();
    int Connect();
    int RunCommand();
    void Shutdown();

    int Info();
    int Live();
    int External();
    int IOConfig();
    int Snapshot();
    int Logon();
    int Signal();
    int SaveSettings();
    int SetValue();

    // Runs the event loop until done() holds, looking again whenever the
    // engine has stepped or ticked, at the one-second poll and on an
    // interrupt; the engine's poll runs before each look. False when the
    // limit passed or the run was interrupted.
    bool Pump(const std::function<bool()> &done, ms limit);
    // Posts a job the way the window does and waits until its whole chain has
    // run and the engine rests with live readings again.
    bool RunJob(int code, const std::vector<std::uint8_t> &payload = {});
    bool Resting() const;
    bool Disconnected() const;
    ms JobLimit() const;
    ms FrameTimeout() const;

    // The exit code of a command whose work is done: any message the engine
    // showed meant something failed.
    int Outcome(int code) const;
    int Failed(const QString &why);
    int Interrupted();

    void Print(const QString &text);
    void PrintJson(const QJsonObject &object);

    TCliOptions O;
    TPacing FPacing;
    int FDivisor;
    TCliHost FHost;
    std::unique_ptr<zsim::UnitSimulator> FSim;
    std::unique_ptr<TSerialThread> FEngine;
    // Read end of the interrupt pipe, watched by the pump.
    std::unique_ptr<QSocketNotifier> FInterruptNotifier;
    bool FConnected = false;
    bool FInterrupted = false;
    bool FTimedOut = false;
    int FDisconnectsAtConnect = 0;
    // Read before connecting, so nobody is asked after a long wait.
    std::string FPassword;
    std::uint32_t FAddresses[4] = {0, 0, 0, 0};
    bool FHaveAddress[4] = {false, false, false, false};
};
