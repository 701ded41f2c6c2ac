#pragma once

// The link options of both front ends: --com, --usb, --simulate and --trace,
// with the pacing switches of the environment. Declared here once (spelling,
// value, help line), read here value by value from whatever splits the
// command line (QCommandLineParser in the window, zelvo-cli's option table),
// and applied here: the trace file, the COM map, the virtual USB bridges,
// the pacing and the in-process simulated unit.

#include "frontend/Simulatedunit.h"
#include "link/Pacing.h"

#include <QString>

#include <optional>
#include <span>
#include <utility>
#include <vector>

// Which program reads the options. The window chooses its link in the
// connect dialog, so it takes only the mappings (--com N=PATH,
// --usb DESC=PATH); zelvo-cli also chooses the link with them (--usb alone,
// --com N, --com auto, --usb auto).
enum class TLinkFlavour { Window, CommandLine };

// The link zelvo-cli talks through.
enum class TLinkChoice { Usb, Com, Simulate };

// The highest COM number either front end offers (COM1 to COM16).
inline constexpr int kHighestComPort = 16;

// One way of writing a link option, as the help texts show it.
struct TLinkOptionForm {
    const char *Name;  // "com": the option, without its dashes
    const char *Value; // "N=PATH"; nullptr when this form takes none
    const char *Help;  // one sentence, unwrapped
    // Shown instead of "--Name Value" ("--com auto, --usb auto"); nullptr: none.
    const char *Spelling;
    // A form of zelvo-cli only (choosing the link).
    bool CommandLineOnly;

    // "--com N=PATH", or the spelling.
    QString Syntax() const;
};

// Every form, in the order the help lists them.
std::span<const TLinkOptionForm> LinkOptionForms();
// The forms a flavour takes.
std::vector<TLinkOptionForm> LinkOptionForms(TLinkFlavour flavour);

// A developer switch of the environment, as the help shows it.
struct TEnvironmentSwitch {
    const char *Name;  // "ZELVO_PACING_DIVISOR"
    const char *Value; // "N"
    const char *Help;
};
// The pacing and simulated-unit switches both front ends read.
std::span<const TEnvironmentSwitch> LinkEnvironmentSwitches();

// What the link options said.
struct TLinkSettings {
    // zelvo-cli's link; the window chooses in its connect dialog.
    TLinkChoice Link = TLinkChoice::Usb;
    // --com N or --com N=PATH: the port zelvo-cli uses.
    int ComPort = 0;
    // --com N=PATH and --usb DESC=PATH, in the order given.
    std::vector<std::pair<int, QString>> ComPaths;
    std::vector<std::pair<QString, QString>> UsbBridges;
    QString SimulateModel; // "", "ostra" or "vello"
    // --com auto / --usb auto: the one unit a find reports on a COM port or
    // serial device / on a USB bridge.
    bool ComAuto = false;
    bool UsbAuto = false;
    // --trace FILE: the link trace for support; empty: none.
    QString TraceFile;
};

// Reads the link options one at a time, in the order of the command line,
// and checks them against each other at the end.
class TLinkOptionReader
{
public:
    explicit TLinkOptionReader(TLinkFlavour flavour) : FFlavour(flavour) {}

    // Whether `name` (without dashes) is one of the link options.
    static bool Declares(const QString &name);
    // Whether the option takes an argument after it as its value when none
    // came after "=". zelvo-cli's --usb takes the next argument only when it
    // is "auto" or a mapping (a command name never holds "="); every other
    // link option always takes it.
    bool TakesNext(const QString &name, const QString &next) const;
    // Whether the option cannot go without a value.
    bool NeedsValue(const QString &name) const;

    // One option and its value (nullopt: none given). False with the
    // reason in Error().
    bool Read(const QString &name, const std::optional<QString> &value);
    // After the last option: the checks across options (one link). False
    // with the reason in Error().
    bool Finish();

    const TLinkSettings &Settings() const { return FSettings; }
    const QString &Error() const { return FError; }

private:
    bool Fail(const QString &error);
    bool ReadCom(const QString &value);
    bool ReadUsb(const std::optional<QString> &value);

    TLinkFlavour FFlavour;
    TLinkSettings FSettings;
    QString FError;
    bool FSawUsb = false;
    bool FSawCom = false;
    // A --com N without =PATH: a port chosen, not only a mapping.
    bool FSawComNumber = false;
    bool FSawSimulate = false;
};

// The pace of this run: production, or every period divided by
// ZELVO_PACING_DIVISOR (above 1) and both frame time-outs set by
// ZELVO_FRAME_TIMEOUT_MS (above 0) after that.
struct TLinkPacing {
    TPacing Pacing;
    int Divisor = 1;
};
TLinkPacing PacingFromEnvironment();

// What applying a step of the options came to.
struct TLinkResult {
    bool Ok = true;
    // The exit code both front ends give a failure: 2 when the trace file
    // cannot be written (the command line named it), 3 when the simulated
    // unit does not start (no unit to reach).
    int ExitCode = 0;
    QString Error; // "the trace file could not be written: ..."
};

// Applies the settings, in the steps the front ends need them.
class TLinkOptions
{
public:
    explicit TLinkOptions(TLinkSettings settings) : FSettings(std::move(settings)) {}

    // Starts the trace when --trace named a file.
    TLinkResult InstallTrace() const;
    // The COM map and the virtual USB bridges.
    void ApplyMappings() const;
    // Starts the simulated unit when --simulate named a model; `out` then
    // holds it (keep it alive while the link is used).
    TLinkResult StartSimulation(int pacingDivisor, TSimulatedLink &out) const;
    // All three, in that order (the window's start).
    TLinkResult Apply(int pacingDivisor, TSimulatedLink &out) const;

private:
    TLinkSettings FSettings;
};
