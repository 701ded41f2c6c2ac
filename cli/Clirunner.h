#pragma once

#include "cli/Clihost.h"
#include "cli/Clioptions.h"
#include "cli/Clitemplate.h"
#include "frontend/Linkoptions.h"
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
class TSerialThread;

// Runs one command of zelvo-cli: opens the chosen link, connects through the
// job engine exactly as the window does, runs the command's jobs or reads,
// prints the result and closes the link. Runs on the GUI (main) thread with
// its own event pumping, so the engine's timers and synchronised calls work.
class TCliRunner
{
public:
    // `pacing`: production, or shrunk by the developer switches (tests).
    TCliRunner(const TCliOptions &options, const TLinkPacing &pacing);
    ~TCliRunner();

    TCliRunner(const TCliRunner &) = delete;
    TCliRunner &operator=(const TCliRunner &) = delete;

    // The exit code of the command.
    int Run();

    // Called from the interrupt handler (async-signal-safe): wakes the pump,
    // which stops the command.
    static void RequestInterrupt();
    // Whether an interrupt was asked for (and not yet dealt with).
    static bool InterruptRequested();

private:
    using ms = std::chrono::milliseconds;

    int RunSteps();
    int Prepare();
    int OpenLink();
    int Connect();
    int RunCommand();
    void Shutdown();

    int Info();
    int Live();
    int External();
    int IOConfig();
    int IOConfigList();
    // The template of io-config --apply or set, read before connecting.
    int LoadTemplate();
    int IOConfigExport();
    int IOConfigApply();
    // Reads the configuration (after logging on when asked); shared by the
    // io-config family.
    bool ReadIOConfiguration();
    bool LogOnForEdit();
    int Snapshot();
    int Logon();
    int Signal();
    int SaveSettings();
    int SetValue();
    int Networks();
    // find, and --com auto / --usb auto before the link is opened.
    int Find();
    int AutoSelect(bool &useUsb, int &comPort);
    // report FILE: gathers a commissioning report and writes it.
    int Report();
    // save-settings --country --network: the network's fields, before connecting.
    int LoadCatalogueEntry();

    // Runs the event loop until done() holds, looking again whenever the
    // engine has stepped or ticked, at the one-second poll and on an
    // interrupt; the engine's poll runs before each look. False when the
    // limit passed or the run was interrupted.
    bool Pump(const std::function<bool()> &done, ms limit);
    // Posts a job the way the window does and waits until its whole chain has
    // run and the engine rests with live readings again.
    bool RunJob(TMessageType code, const std::vector<std::uint8_t> &payload = {});
    bool Resting() const;
    bool Disconnected() const;
    ms JobLimit() const;
    ms FrameTimeout() const;

    // The exit code of a command whose work is done: any message the engine
    // showed meant something failed.
    int Outcome(int code) const;
    int Failed(const QString &why);
    // A link option that could not be applied: its text and exit code.
    int Failed(const TLinkResult &result);
    int Interrupted();

    void Print(const QString &text);
    void PrintJson(const QJsonObject &object);
    // One compact JSON object on a line of its own (streamed readings).
    void PrintJsonLine(const QJsonObject &object);

    // Usage that can be judged without the unit; EXIT_CLI_OK when none.
    int CheckUsageOffline();
    // set-value TAG toggle: reads the live values once so the toggle
    // starts from the output's real state. False when no reading came.
    bool ReadLiveOnce();

    TCliOptions O;
    TPacing FPacing;
    int FDivisor;
    TCliHost FHost;
    TSimulatedLink FSim;
    std::unique_ptr<TSerialThread> FEngine;
    // The bridge description --usb auto found the unit on ("" = the brand's).
    std::string FAutoBridge;
    // Wakes the pump when an interrupt comes.
    std::unique_ptr<TInterruptWake> FInterruptWake;
    bool FConnected = false;
    // Something went to standard output.
    bool FPrinted = false;
    bool FInterrupted = false;
    bool FTimedOut = false;
    int FDisconnectsAtConnect = 0;
    // Read before connecting, so nobody is asked after a long wait.
    std::string FPassword;
    std::vector<TTemplateEntry> FTemplate;
    std::optional<std::string> FCatalogueApn;
    std::optional<std::string> FCatalogueUser;
    std::optional<std::string> FCataloguePassword;
    std::uint32_t FAddresses[4] = {0, 0, 0, 0};
    bool FHaveAddress[4] = {false, false, false, false};
};
