#pragma once

#include "frontend/Linkoptions.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// Exit codes of zelvo-cli.
enum TCliExit : int {
    EXIT_CLI_OK = 0,          // the command did what was asked
    EXIT_CLI_FAILED = 1,      // the unit or its server refused or failed
    EXIT_CLI_USAGE = 2,       // the command line (or a value in it) is wrong
    EXIT_CLI_UNREACHABLE = 3, // no unit could be reached
    EXIT_CLI_INTERRUPTED = 130,
};

enum class TCliCommand {
    None,
    Info,
    Live,
    External,
    IOConfig,
    Snapshot,
    Logon,
    Signal,
    SaveSettings,
    SetValue,
    Networks,
    Find,
    Report,
};

enum class TCliConnection { Unchanged, Mobile, Ethernet };

// What io-config does: list, export a template, apply one, or set one entry.
enum class TCliIOAction { List, Export, Apply, Set };

// Everything the command line said, checked for form but not yet against a
// unit (addresses are parsed later with the window's own rules). The link
// options (--usb, --com, --simulate, --trace) are read by the front-end
// layer, as the window reads them.
struct TCliOptions : TLinkSettings {
    bool Json = false;
    bool Verbose = false;
    bool Help = false;
    bool Version = false;

    TCliCommand Command = TCliCommand::None;
    QString CommandName;

    // live / external: number of readings (0 = until interrupted).
    int Count = 1;
    // live: seconds between readings; unset means the engine's live period.
    std::optional<double> IntervalSeconds;
    // signal: how long to watch the level.
    int Seconds = 10;

    // logon; io-config --apply and set (--email)
    QString Email;

    // io-config
    TCliIOAction IOAction = TCliIOAction::List;
    QString TemplatePath;
    bool DryRun = false;
    std::optional<QString> SetName;
    std::optional<QString> SetType;
    std::optional<QString> SetUom;
    std::optional<int> SetLogging;

    // save-settings
    TCliConnection Connection = TCliConnection::Unchanged;
    std::optional<QString> APN;
    std::optional<QString> UserName;
    // --country / --network: APN, user and password from the catalogue.
    std::optional<QString> Country;
    std::optional<QString> Network;
    // The catalogue file (default networks.xml in the working directory).
    QString CataloguePath = QStringLiteral("networks.xml");
    bool PasswordFromStdin = false;
    std::optional<bool> UseDHCP; // --dhcp / --no-dhcp; unset keeps the unit's
    std::optional<QString> IPAddress;
    std::optional<QString> NetMask;
    std::optional<QString> DefaultGateway;
    std::optional<QString> DNSServer;

    // set-value
    QString Tag;
    QString Value;

    // report FILE: the format is FILE's extension (.pdf, .html, .json).
    QString ReportPath;
    QString Site;
    QString Installer;
    int SignalSeconds = 20;
    bool NoIOConfig = false;
};

struct TCliParseResult {
    bool Ok = false;
    QString Error; // shown with the usage hint when Ok is false
    TCliOptions Options;
};

// What an exit code means, in a few words ("usage error", ...).
QString ExitMeaning(int code);

// Parses the arguments after the program name.
TCliParseResult ParseCommandLine(const QStringList &args);

// The program's help and each command's help, made from the option table
// the parser reads.
QString ProgramHelp();
QString CommandHelp(TCliCommand command);

// Command from its name, None when unknown.
TCliCommand CommandFromName(const QString &name);
