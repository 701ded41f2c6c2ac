#include "cli/Clioptions.h"

#include "cli/Clitemplate.h"

#include <algorithm>
#include <cmath>

namespace
{

// The settings block's text fields (terminator not counted) and the logon
// message's e-mail field.
constexpr int kMaxAPN = 124;
constexpr int kMaxUserName = 44;
constexpr int kMaxEmail = 128;

// The help's lines end before this column.
constexpr int kHelpWidth = 79;
// Where the program help's descriptions start.
constexpr int kProgramHelpColumn = 26;
// The program help's synopses end before this column, so that a manual
// page shows each on one line.
constexpr int kSynopsisWidth = 72;

// Splits "--name=value" into name and value; a bare "--name" has no value.
struct TToken {
    QString Name;
    std::optional<QString> Inline;
};

TToken SplitOption(const QString &arg)
{
    const qsizetype eq = arg.indexOf('=');
    if (eq < 0)
        return {arg, std::nullopt};
    return {arg.left(eq), arg.mid(eq + 1)};
}

bool IsLatin1(const QString &text)
{
    for (QChar c : text)
        if (c.unicode() > 0xFF)
            return false;
    return true;
}

class TParser;
// Takes one option (and its value) into the parser's options.
using TTake = bool (*)(TParser &p, const TToken &t);

// Where an option shows in its command's synopsis.
enum class TShow {
    Hidden,   // not at all
    Required, // "--export FILE"
    Optional, // "[--count N]"
    WithNext, // in one bracket with the next: "[--country C --network N]"
    OrNext,   // one of it and the next: "[--dhcp|--no-dhcp]"
};

// Where the program help lists a global option.
enum class TSection { Command, Output, Other };

// One option of zelvo-cli: the command that takes it, its spelling and
// value, its help line, how the parser takes it and where the synopsis
// shows it. Both the parser and the help texts are made from this table;
// the link options come from the front-end layer's own declarations.
struct TCliOption {
    TCliCommand Command; // None: taken with every command
    const char *Name;    // "--count"
    const char *Alias;   // a short spelling ("-v"), or nullptr
    const char *Value;   // "N"; nullptr for a flag
    const char *Help;    // nullptr: left out of the help
    TTake Take;
    TSection Section = TSection::Command;
    unsigned Forms = 0; // the synopsis forms (bits, see kForms) that show it
    TShow Show = TShow::Hidden;
};

// One way of calling a command, as its usage line and the program help
// show it.
struct TCliForm {
    TCliCommand Command;
    unsigned Form;       // the bit options name in TCliOption::Forms
    const char *Lead;    // words before the options ("set TAG"), or nullptr
    const char *Summary; // the program help's line; nullptr: the next form's
};

struct TCliCommandInfo {
    TCliCommand Command;
    const char *Name;
    // What comes before the command in its usage lines.
    const char *Prefix;
    // The help's text before the option list and after it (laid out).
    const char *Description;
    const char *Notes;
};

class TParser
{
public:
    explicit TParser(const QStringList &args) : FArgs(args), FLink(TLinkFlavour::CommandLine) {}

    TCliParseResult Run();

    bool Fail(const QString &error)
    {
        if (FError.isEmpty())
            FError = error;
        return false;
    }
    // The value of an option: inline after "=", or the next argument.
    std::optional<QString> Value(const TToken &t);
    bool Int(const TToken &t, int lowest, int highest, int &out);
    bool Flag(const TToken &t, bool &field);
    bool Text(const TToken &t, std::optional<QString> &field);
    bool Plain(const TToken &t, QString &field);
    bool Interval(const TToken &t);
    bool Logging(const TToken &t);
    bool IOAction(const TToken &t, TCliIOAction action);
    bool Connection(const TToken &t, TCliConnection connection);
    bool Dhcp(const TToken &t);

    TCliOptions O;

private:
    bool Option(const TToken &t);
    bool LinkOption(const TToken &t);
    bool CheckCommand();

    const QStringList &FArgs;
    int FIndex = 0;
    QString FError;
    QStringList FPositional;
    TLinkOptionReader FLink;
};

// clang-format off
const TCliOption kOptions[] = {
    // Global.
    {TCliCommand::None, "--json", nullptr, nullptr,
     "results on standard output as one JSON document; live/external with --count 0: one JSON "
     "object per line as readings arrive",
     [](TParser &p, const TToken &) { return p.O.Json = true; }, TSection::Output},
    {TCliCommand::None, "--verbose", "-v", nullptr,
     "also the window's own status texts (tabs switched); status texts and the unit's messages "
     "go to standard error",
     [](TParser &p, const TToken &) { return p.O.Verbose = true; }, TSection::Output},
    {TCliCommand::None, "--help", "-h", nullptr,
     "show this help; after a command, that command's help",
     [](TParser &p, const TToken &) { return p.O.Help = true; }, TSection::Other},
    {TCliCommand::None, "--version", nullptr, nullptr,
     "the version, and where this run finds its data and writes its log",
     [](TParser &p, const TToken &) { return p.O.Version = true; }, TSection::Other},

    // live
    {TCliCommand::Live, "--count", nullptr, "N", "readings to show (default 1; 0 = until Ctrl-C)",
     [](TParser &p, const TToken &t) { return p.Int(t, 0, 1000000, p.O.Count); },
     TSection::Command, 1, TShow::Optional},
    {TCliCommand::Live, "--interval", nullptr, "S",
     "seconds between readings (default: the live reading period)",
     [](TParser &p, const TToken &t) { return p.Interval(t); }, TSection::Command, 1,
     TShow::Optional},

    // external
    {TCliCommand::External, "--count", nullptr, "N",
     "complete read cycles to show (default 1; 0 = until Ctrl-C)",
     [](TParser &p, const TToken &t) { return p.Int(t, 0, 1000000, p.O.Count); },
     TSection::Command, 1, TShow::Optional},

    // io-config: 1 list, 2 --export, 4 --apply, 8 set
    {TCliCommand::IOConfig, "--export", nullptr, "FILE",
     "writes the configuration as a template file (JSON: tag, name, inputType, uom, logging per "
     "I/O; see README)",
     [](TParser &p, const TToken &t) { return p.IOAction(t, TCliIOAction::Export); },
     TSection::Command, 2, TShow::Required},
    {TCliCommand::IOConfig, "--apply", nullptr, "FILE",
     "logs on, reads the configuration, shows per tag the differences (old -> new), edits the "
     "records with the Edit I/O dialog's rules and uploads them; exit 0 only when the "
     "configuration read back afterwards shows every change",
     [](TParser &p, const TToken &t) { return p.IOAction(t, TCliIOAction::Apply); },
     TSection::Command, 4, TShow::Required},
    {TCliCommand::IOConfig, "--name", nullptr, "N", "friendly name, at most 64 characters",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.SetName); }, TSection::Command, 8,
     TShow::Optional},
    {TCliCommand::IOConfig, "--type", nullptr, "ID|NAME",
     "input type, by id or name (inputs only)",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.SetType); }, TSection::Command, 8,
     TShow::Optional},
    {TCliCommand::IOConfig, "--uom", nullptr, "ID|NAME",
     "unit of measure, by id or name, among those of the input type's category",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.SetUom); }, TSection::Command, 8,
     TShow::Optional},
    {TCliCommand::IOConfig, "--logging", nullptr, "MODE",
     "0 No Log, 1 Display Only, 2 Log & Display, 3 Log Only",
     [](TParser &p, const TToken &t) { return p.Logging(t); }, TSection::Command, 8,
     TShow::Optional},
    {TCliCommand::IOConfig, "--dry-run", nullptr, nullptr,
     "show the differences only; nothing is sent",
     [](TParser &p, const TToken &t) { return p.Flag(t, p.O.DryRun); }, TSection::Command, 4 | 8,
     TShow::Optional},
    {TCliCommand::IOConfig, "--email", nullptr, "EMAIL",
     "the logon needed to change the configuration; the password is read as by logon (needed "
     "unless --dry-run)",
     [](TParser &p, const TToken &t) { return p.Plain(t, p.O.Email); }, TSection::Command, 4 | 8,
     TShow::Optional},

    // signal
    {TCliCommand::Signal, "--seconds", nullptr, "N", "how long to watch (default 10)",
     [](TParser &p, const TToken &t) { return p.Int(t, 1, 86400, p.O.Seconds); },
     TSection::Command, 1, TShow::Optional},

    // save-settings: 1 --mobile, 2 --ethernet
    {TCliCommand::SaveSettings, "--mobile", nullptr, nullptr,
     "a mobile connection: APN, user and password",
     [](TParser &p, const TToken &t) { return p.Connection(t, TCliConnection::Mobile); },
     TSection::Command, 1, TShow::Required},
    {TCliCommand::SaveSettings, "--country", nullptr, "C",
     "the catalogue's country of the network (with --network)",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.Country); }, TSection::Command, 1,
     TShow::WithNext},
    {TCliCommand::SaveSettings, "--network", nullptr, "N",
     "the catalogue's network whose APN, user and password to save",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.Network); }, TSection::Command, 1,
     TShow::Optional},
    {TCliCommand::SaveSettings, "--apn", nullptr, "A", "the access point name",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.APN); }, TSection::Command, 1,
     TShow::Optional},
    {TCliCommand::SaveSettings, "--user", nullptr, "U", "the user name",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.UserName); }, TSection::Command, 1,
     TShow::Optional},
    {TCliCommand::SaveSettings, "--password-stdin", nullptr, nullptr,
     "the password, from the first line of standard input",
     [](TParser &p, const TToken &t) { return p.Flag(t, p.O.PasswordFromStdin); },
     TSection::Command, 1, TShow::Optional},
    {TCliCommand::SaveSettings, "--ethernet", nullptr, nullptr,
     "an Ethernet connection: DHCP or the four addresses",
     [](TParser &p, const TToken &t) { return p.Connection(t, TCliConnection::Ethernet); },
     TSection::Command, 2, TShow::Required},
    {TCliCommand::SaveSettings, "--dhcp", nullptr, nullptr, "the unit takes its addresses by DHCP",
     [](TParser &p, const TToken &t) { return p.Dhcp(t); }, TSection::Command, 2, TShow::OrNext},
    {TCliCommand::SaveSettings, "--no-dhcp", nullptr, nullptr, "the unit uses the addresses below",
     [](TParser &p, const TToken &t) { return p.Dhcp(t); }, TSection::Command, 2, TShow::Optional},
    {TCliCommand::SaveSettings, "--ip", nullptr, "A", "the unit's IP address",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.IPAddress); }, TSection::Command, 2,
     TShow::Optional},
    {TCliCommand::SaveSettings, "--mask", nullptr, "M", "the network mask",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.NetMask); }, TSection::Command, 2,
     TShow::Optional},
    {TCliCommand::SaveSettings, "--gateway", nullptr, "G", "the default gateway",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.DefaultGateway); }, TSection::Command,
     2, TShow::Optional},
    {TCliCommand::SaveSettings, "--dns", nullptr, "D", "the DNS server",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.DNSServer); }, TSection::Command, 2,
     TShow::Optional},
    {TCliCommand::SaveSettings, "--catalogue", nullptr, "FILE",
     "the catalogue --country and --network look in (default networks.xml)",
     [](TParser &p, const TToken &t) { return p.Plain(t, p.O.CataloguePath); }},
    // Refused with the way a password is given instead.
    {TCliCommand::SaveSettings, "--password", nullptr, "P", nullptr,
     [](TParser &p, const TToken &) {
         return p.Fail(QStringLiteral("a password is never taken from the command line; use "
                                      "--password-stdin"));
     }},

    // set-value has no options.

    // networks
    {TCliCommand::Networks, "--country", nullptr, "C", "only the networks of country C",
     [](TParser &p, const TToken &t) { return p.Text(t, p.O.Country); }, TSection::Command, 1,
     TShow::Optional},
    {TCliCommand::Networks, "--catalogue", nullptr, "FILE",
     "the catalogue to list (default networks.xml)",
     [](TParser &p, const TToken &t) { return p.Plain(t, p.O.CataloguePath); },
     TSection::Command, 1, TShow::Optional},

    // report
    {TCliCommand::Report, "--site", nullptr, "S", "site name for the report's header",
     [](TParser &p, const TToken &t) { return p.Plain(t, p.O.Site); }, TSection::Command, 1,
     TShow::Optional},
    {TCliCommand::Report, "--installer", nullptr, "N", "installer name for the report's header",
     [](TParser &p, const TToken &t) { return p.Plain(t, p.O.Installer); }, TSection::Command, 1,
     TShow::Optional},
    {TCliCommand::Report, "--signal-seconds", nullptr, "N",
     "how long to sample the signal (default 20)",
     [](TParser &p, const TToken &t) { return p.Int(t, 1, 3600, p.O.SignalSeconds); },
     TSection::Command, 1, TShow::Optional},
    {TCliCommand::Report, "--no-io-config", nullptr, nullptr,
     "do not read the I/O configuration (and so no external I/O)",
     [](TParser &p, const TToken &t) { return p.Flag(t, p.O.NoIOConfig); }, TSection::Command, 1,
     TShow::Optional},
};

const TCliForm kForms[] = {
    {TCliCommand::Info, 1, nullptr, "firmware, unit type and connection settings"},
    {TCliCommand::Live, 1, nullptr, "live values of the unit's own I/O"},
    {TCliCommand::External, 1, nullptr, "external (Modbus) I/O values and error states"},
    {TCliCommand::IOConfig, 1, nullptr, "the I/O configuration as the server holds it"},
    {TCliCommand::IOConfig, 2, nullptr, "write it as a template file"},
    {TCliCommand::IOConfig, 4, nullptr, "apply a template: show the differences, upload them"},
    {TCliCommand::IOConfig, 8, "set TAG", "change one entry of the I/O configuration"},
    {TCliCommand::Snapshot, 1, nullptr, "the latest snapshot"},
    {TCliCommand::Logon, 1, "EMAIL", "log the unit on (password from the terminal or stdin)"},
    {TCliCommand::Signal, 1, nullptr, "mobile signal levels"},
    {TCliCommand::SaveSettings, 1, nullptr, nullptr},
    {TCliCommand::SaveSettings, 2, nullptr, "save the unit's connection settings"},
    {TCliCommand::SetValue, 1, "TAG VALUE", "set an output or variable of the unit's own I/O"},
    {TCliCommand::Networks, 1, nullptr, "the mobile networks of the catalogue (networks.xml)"},
    {TCliCommand::Find, 1, nullptr,
     "look for units on every COM port, serial device and USB bridge; exit 0 when one was "
     "found, 3 when none"},
    {TCliCommand::Report, 1, "FILE", "a commissioning report (.pdf, .html or .json)"},
};

const TCliCommandInfo kCommands[] = {
    {TCliCommand::Info, "info", "[LINK] [--json]",
     "Connects and shows the firmware version text, the unit type and model, and\n"
     "the connection settings: type, APN, user, whether a password is set (never\n"
     "the password itself), DHCP and the four addresses.\n",
     nullptr},
    {TCliCommand::Live, "live", "[LINK] [--json]",
     "Reads the UOM information, then shows the unit's own I/O: name, tag, type\n"
     "and value with its units.\n",
     nullptr},
    {TCliCommand::External, "external", "[LINK] [--json]",
     "Reads the I/O configuration and the Modbus data, then shows the external\n"
     "I/O: name, tag, logging, value, error state, slave name and slave id.\n",
     nullptr},
    {TCliCommand::IOConfig, "io-config", "[LINK] [--json]",
     "Reads the I/O configuration as the server holds it and shows, per I/O, its\n"
     "id, tag, friendly name, input type, UOM and logging mode. --export and\n"
     "--apply work with template files; set TAG does what --apply does for one\n"
     "entry, from --name, --type, --uom and --logging.\n",
     "An input type, UOM or name the unit does not offer refuses the whole\n"
     "template before anything is sent (exit 1).\n"},
    {TCliCommand::Snapshot, "snapshot", "[LINK] [--json]",
     "Retrieves the latest snapshot and shows its lines.\n", nullptr},
    {TCliCommand::Logon, "logon", "[LINK] [--json]",
     "Logs the unit on to its server. The password is read from the terminal\n"
     "without echo, or from standard input when that is not a terminal; it is\n"
     "never taken from the command line. Exit code 1 when the server refuses.\n",
     nullptr},
    {TCliCommand::Signal, "signal", "[LINK] [--json]",
     "Switches the unit's signal monitoring on, shows the level once a second\n"
     "with its band (Good, OK, Borderline, Poor) and switches it off again.\n",
     nullptr},
    {TCliCommand::SaveSettings, "save-settings", "[LINK]",
     "Saves the unit's connection settings. A field not given keeps the unit's\n"
     "current value. Addresses are four integers from 0 to 255 separated by full\n"
     "stops. The APN holds at most 124 characters, the user name 44 and the\n"
     "password 19. The password is read from standard input (--password-stdin),\n"
     "never from the command line.\n",
     "--country C --network N take the APN, user and password of that network\n"
     "from the catalogue (networks.xml in the working directory, or\n"
     "--catalogue FILE), as the window's lists do; --apn, --user and\n"
     "--password-stdin override them. Names match without regard to case.\n"
     "\n"
     "When the save succeeds the unit applies its settings and resets; connect\n"
     "again afterwards. A VELLO unit has no Ethernet connection.\n"},
    {TCliCommand::SetValue, "set-value", "[LINK]",
     "Sets an output or variable of the unit's own I/O, with the window's rules:\n"
     "  digital output, buzzer     on, off, 1, 0 or toggle\n"
     "  variable, timer, counter   a whole number\n"
     "  PWM output                 a whole percentage of 1024 (kept within 0..1024)\n"
     "  analogue output            0 to 10, scaled to 0..4095\n"
     "  timer in 10 ms steps       a whole number, divided by 10\n"
     "TAG is the I/O tag as the live list shows it, e.g. DO01 or [DO01].\n",
     nullptr},
    {TCliCommand::Networks, "networks", "[--json]",
     "Lists the countries and mobile networks of the catalogue (networks.xml in\n"
     "the working directory, or FILE) with their APN and user name; whether a\n"
     "password is set is shown, never the password. Needs no unit.\n",
     nullptr},
    {TCliCommand::Find, "find", "[--com N=PATH]... [--usb DESC=PATH]... [--json]",
     "Looks for units on COM1 to COM16, every other serial device present\n"
     "(ttyUSB*, ttyACM*, serial/by-id) and every USB bridge, all at once: each\n"
     "port is opened (one that another program holds is left alone), asked for\n"
     "its firmware version and unit type, and closed with its own settings.\n"
     "Nothing else is sent; nothing connects. One line per port: its name, its\n"
     "device and what answered: zelvo (model and firmware), no answer, not a\n"
     "zelvo, busy (and which program holds it) or cannot open (and why).\n"
     "--json: an array of {port, path, result, model, firmware, firmwareRecent,\n"
     "reason}. Exit 0 when a unit was found, 3 when none.\n",
     nullptr},
    {TCliCommand::Report, "report", "[LINK]",
     "Writes a commissioning report of the unit: the unit and its firmware, the\n"
     "connection settings (the password only as set or not set), the signal\n"
     "strength sampled for a while, the I/O configuration, live values of the\n"
     "unit's own and external I/O, the latest snapshot and the session's log.\n"
     "Only reads; nothing is written to the unit. FILE's extension chooses the\n"
     "format: .pdf (A4), .html (one self-contained file) or .json (keys in\n"
     "README). The file is replaced only once the new report is complete.\n",
     "A section that cannot be read is marked \"Not available\" with the reason;\n"
     "the report is still written and the exit code is 1.\n"},
};

// The developer switches of zelvo-cli's own (the front-end layer declares
// those of the pacing and the simulated unit).
const TEnvironmentSwitch kCliSwitches[] = {
    {"ZELVO_DEV_ROOT", "DIR", "where find looks for devices instead of /dev (tests)"},
    {"ZELVO_SYSFS_ROOT", "DIR", "where find and the USB bridge look instead of /sys (tests)"},
    {"ZELVO_PROBE_TIMEOUT_MS", "N", "find's time-out per exchange (default 1000)"},
};
// clang-format on

const TCliOption *FindOption(TCliCommand command, const QString &name)
{
    for (const TCliOption &o : kOptions)
        if (o.Command == command &&
            (name == QLatin1String(o.Name) || (o.Alias && name == QLatin1String(o.Alias))))
            return &o;
    return nullptr;
}

const TCliCommandInfo *FindCommand(TCliCommand command)
{
    for (const TCliCommandInfo &c : kCommands)
        if (c.Command == command)
            return &c;
    return nullptr;
}

// ---- the parser ----

std::optional<QString> TParser::Value(const TToken &t)
{
    if (t.Inline)
        return t.Inline;
    if (FIndex + 1 < FArgs.size()) {
        ++FIndex;
        return FArgs[FIndex];
    }
    Fail(QStringLiteral("option %1 needs a value").arg(t.Name));
    return std::nullopt;
}

bool TParser::Int(const TToken &t, int lowest, int highest, int &out)
{
    const auto v = Value(t);
    if (!v)
        return false;
    bool ok = false;
    const int n = v->trimmed().toInt(&ok);
    if (!ok || n < lowest || n > highest)
        return Fail(QStringLiteral("%1 must be a whole number from %2 to %3, not \"%4\"")
                        .arg(t.Name)
                        .arg(lowest)
                        .arg(highest)
                        .arg(*v));
    out = n;
    return true;
}

bool TParser::Flag(const TToken &t, bool &field)
{
    if (t.Inline)
        return Fail(QStringLiteral("%1 takes no value").arg(t.Name));
    field = true;
    return true;
}

bool TParser::Text(const TToken &t, std::optional<QString> &field)
{
    const auto v = Value(t);
    if (!v)
        return false;
    field = *v;
    return true;
}

bool TParser::Plain(const TToken &t, QString &field)
{
    const auto v = Value(t);
    if (!v)
        return false;
    field = *v;
    return true;
}

bool TParser::Interval(const TToken &t)
{
    const auto v = Value(t);
    if (!v)
        return false;
    bool ok = false;
    const double s = v->toDouble(&ok);
    if (!ok || !std::isfinite(s) || s < 0.05 || s > 86400)
        return Fail(
            QStringLiteral("--interval takes seconds from 0.05 to 86400, not \"%1\"").arg(*v));
    O.IntervalSeconds = s;
    return true;
}

bool TParser::Logging(const TToken &t)
{
    const auto v = Value(t);
    if (!v)
        return false;
    O.SetLogging = ParseLoggingMode(*v);
    if (!O.SetLogging)
        return Fail(QStringLiteral("--logging takes 0 to 3 or No Log, Display Only, Log & "
                                   "Display, Log Only, not \"%1\"")
                        .arg(*v));
    return true;
}

bool TParser::IOAction(const TToken &t, TCliIOAction action)
{
    if (O.IOAction != TCliIOAction::List && O.IOAction != action)
        return Fail(QStringLiteral("choose one of --export, --apply and set"));
    O.IOAction = action;
    const auto v = Value(t);
    if (!v)
        return false;
    if (v->isEmpty())
        return Fail(QStringLiteral("%1 needs a file name").arg(t.Name));
    O.TemplatePath = *v;
    return true;
}

bool TParser::Connection(const TToken &t, TCliConnection connection)
{
    if (t.Inline)
        return Fail(QStringLiteral("%1 takes no value").arg(t.Name));
    if (O.Connection != TCliConnection::Unchanged && O.Connection != connection)
        return Fail(QStringLiteral("choose one of --mobile and --ethernet"));
    O.Connection = connection;
    return true;
}

bool TParser::Dhcp(const TToken &t)
{
    if (t.Inline)
        return Fail(QStringLiteral("%1 takes no value").arg(t.Name));
    O.UseDHCP = t.Name == "--dhcp";
    return true;
}

bool TParser::LinkOption(const TToken &t)
{
    const QString name = t.Name.mid(2);
    std::optional<QString> value = t.Inline;
    if (!value && FIndex + 1 < FArgs.size() && FLink.TakesNext(name, FArgs[FIndex + 1]))
        value = FArgs[++FIndex];
    return FLink.Read(name, value) || Fail(FLink.Error());
}

bool TParser::Option(const TToken &t)
{
    // Global options and the link options go with any command, anywhere.
    if (const TCliOption *o = FindOption(TCliCommand::None, t.Name))
        return o->Take(*this, t);
    if (t.Name.startsWith(QLatin1String("--")) && TLinkOptionReader::Declares(t.Name.mid(2)))
        return LinkOption(t);
    if (O.Command != TCliCommand::None)
        if (const TCliOption *o = FindOption(O.Command, t.Name))
            return o->Take(*this, t);
    if (O.Command == TCliCommand::None)
        return Fail(QStringLiteral("unknown option %1").arg(t.Name));
    return Fail(QStringLiteral("%1 has no option %2").arg(O.CommandName, t.Name));
}

bool TParser::CheckCommand()
{
    const auto positional = [&](int wanted, const char *what) {
        if (FPositional.size() == wanted)
            return true;
        if (FPositional.size() < wanted)
            return Fail(QStringLiteral("%1 needs %2").arg(O.CommandName, what));
        return Fail(QStringLiteral("%1: unexpected argument \"%2\"")
                        .arg(O.CommandName, FPositional[wanted]));
    };

    switch (O.Command) {
    case TCliCommand::None:
        return Fail(QStringLiteral("no command given"));
    case TCliCommand::Logon:
        if (!positional(1, "an e-mail address"))
            return false;
        O.Email = FPositional[0];
        if (O.Email.isEmpty())
            return Fail(QStringLiteral("logon needs an e-mail address"));
        if (!IsLatin1(O.Email))
            return Fail(QStringLiteral("the e-mail address holds characters the unit cannot "
                                       "carry"));
        if (O.Email.size() > kMaxEmail)
            return Fail(
                QStringLiteral("the e-mail address is longer than %1 characters").arg(kMaxEmail));
        return true;
    case TCliCommand::Report: {
        if (!positional(1, "a file name"))
            return false;
        O.ReportPath = FPositional[0];
        const QString suffix = O.ReportPath.section('.', -1).toLower();
        if (!O.ReportPath.contains('.') ||
            (suffix != "pdf" && suffix != "html" && suffix != "htm" && suffix != "json"))
            return Fail(
                QStringLiteral("report writes .pdf, .html or .json, not \"%1\"").arg(O.ReportPath));
        return true;
    }
    case TCliCommand::SetValue:
        if (!positional(2, "a tag and a value"))
            return false;
        O.Tag = FPositional[0];
        O.Value = FPositional[1];
        return true;
    case TCliCommand::IOConfig: {
        if (!FPositional.isEmpty() && FPositional[0] == "set") {
            if (O.IOAction != TCliIOAction::List)
                return Fail(QStringLiteral("choose one of --export, --apply and set"));
            O.IOAction = TCliIOAction::Set;
            FPositional.removeFirst();
            if (!positional(1, "set TAG"))
                return false;
            O.Tag = FPositional[0];
            if (!O.SetName && !O.SetType && !O.SetUom && !O.SetLogging)
                return Fail(QStringLiteral("io-config set needs at least one of --name, --type, "
                                           "--uom and --logging"));
        } else if (!positional(0, "")) {
            return false;
        } else if (O.SetName || O.SetType || O.SetUom || O.SetLogging) {
            return Fail(QStringLiteral("--name, --type, --uom and --logging belong to io-config "
                                       "set"));
        }
        if (O.DryRun && O.IOAction != TCliIOAction::Apply && O.IOAction != TCliIOAction::Set)
            return Fail(QStringLiteral("--dry-run belongs to --apply and set"));
        const bool edits = O.IOAction == TCliIOAction::Apply || O.IOAction == TCliIOAction::Set;
        if (!O.Email.isEmpty() && !edits)
            return Fail(QStringLiteral("--email belongs to --apply and set"));
        if (edits && !O.DryRun && O.Email.isEmpty())
            return Fail(QStringLiteral("changing the I/O configuration needs a logon: give "
                                       "--email EMAIL (the password is asked for as by logon)"));
        if (!IsLatin1(O.Email) || O.Email.size() > kMaxEmail)
            return Fail(QStringLiteral("the e-mail address does not fit the logon message"));
        if (O.SetName && O.SetName->size() > kMaxFriendlyName)
            return Fail(QStringLiteral("--name holds at most %1 characters").arg(kMaxFriendlyName));
        return true;
    }
    case TCliCommand::SaveSettings: {
        if (!positional(0, ""))
            return false;
        if (O.Connection == TCliConnection::Unchanged)
            return Fail(QStringLiteral("save-settings needs --mobile or --ethernet"));
        const bool mobileOnly =
            O.APN || O.UserName || O.PasswordFromStdin || O.Country || O.Network;
        if (O.Network.has_value() != O.Country.has_value())
            return Fail(QStringLiteral("--country and --network go together"));
        const bool ethernetOnly =
            O.UseDHCP.has_value() || O.IPAddress || O.NetMask || O.DefaultGateway || O.DNSServer;
        if (O.Connection == TCliConnection::Mobile && ethernetOnly)
            return Fail(QStringLiteral("--dhcp, --no-dhcp, --ip, --mask, --gateway and --dns "
                                       "belong to --ethernet"));
        if (O.Connection == TCliConnection::Ethernet && mobileOnly)
            return Fail(QStringLiteral("--apn, --user, --password-stdin, --country and --network "
                                       "belong to --mobile"));
        if (O.APN && (!IsLatin1(*O.APN) || O.APN->contains(QChar(0))))
            return Fail(QStringLiteral("the APN holds characters the unit cannot store"));
        if (O.UserName && (!IsLatin1(*O.UserName) || O.UserName->contains(QChar(0))))
            return Fail(QStringLiteral("the user name holds characters the unit cannot store"));
        if (O.APN && O.APN->size() > kMaxAPN)
            return Fail(
                QStringLiteral("the APN is longer than the unit's %1 characters").arg(kMaxAPN));
        if (O.UserName && O.UserName->size() > kMaxUserName)
            return Fail(QStringLiteral("the user name is longer than the unit's %1 characters")
                            .arg(kMaxUserName));
        return true;
    }
    default:
        return positional(0, "");
    }
}

TCliParseResult TParser::Run()
{
    bool optionsEnded = false;
    for (FIndex = 0; FIndex < FArgs.size(); ++FIndex) {
        const QString &arg = FArgs[FIndex];
        const bool isOption = !optionsEnded && arg.startsWith('-') && arg.size() > 1 &&
                              !(arg[1].isDigit()); // "-3" is a value, not an option
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!isOption) {
            if (O.Command == TCliCommand::None) {
                if (arg == "help") {
                    O.Help = true;
                    continue;
                }
                O.Command = CommandFromName(arg);
                O.CommandName = arg;
                if (O.Command == TCliCommand::None) {
                    Fail(QStringLiteral("unknown command \"%1\"").arg(arg));
                    break;
                }
                continue;
            }
            FPositional << arg;
            continue;
        }
        if (!Option(SplitOption(arg)))
            break;
    }

    if (FError.isEmpty() && !FLink.Finish())
        Fail(FLink.Error());
    static_cast<TLinkSettings &>(O) = FLink.Settings();
    // Help and version need no command and forgive the rest of the line.
    if (FError.isEmpty() && !O.Help && !O.Version)
        CheckCommand();
    TCliParseResult r;
    r.Ok = FError.isEmpty();
    r.Error = FError;
    r.Options = O;
    return r;
}

// ---- the help texts ----

// Appends `words` joined by spaces after `first`, wrapped before `width`;
// a continued line starts with `indent` spaces.
void AppendWrapped(QString &out, const QString &first, const QStringList &words, int indent,
                   int width = kHelpWidth)
{
    QString line = first;
    bool fresh = true; // nothing after the line's start yet
    for (const QString &w : words) {
        if (!fresh && line.size() + 1 + w.size() > width) {
            out += line + '\n';
            line = QString(indent, ' ');
            fresh = true;
        }
        if (!fresh || (!line.isEmpty() && !line.endsWith(' ')))
            line += ' ';
        line += w;
        fresh = false;
    }
    out += line + '\n';
}

// A row of a table: the term at two spaces, its text from `column` on. A
// term that leaves less than two spaces before the column has the text on
// the next line, or, `besideLongTerm`, two spaces after it, continued under
// its start. (help2man reads a row by these rules.)
void AppendRow(QString &out, const QString &term, const QString &text, int column,
               bool besideLongTerm = false)
{
    QString first = QStringLiteral("  ") + term;
    if (first.size() + 2 <= column) {
        first = first.leftJustified(column);
    } else if (besideLongTerm) {
        first += QStringLiteral("  ");
        column = int(first.size());
    } else {
        out += first + '\n';
        first = QString(column, ' ');
    }
    AppendWrapped(out, first, text.split(' ', Qt::SkipEmptyParts), column);
}

QString OptionTerm(const TCliOption &o)
{
    QString term = QLatin1String(o.Name);
    if (o.Value)
        term += ' ' + QLatin1String(o.Value);
    if (o.Alias)
        term += QStringLiteral(", ") + QLatin1String(o.Alias);
    return term;
}

// The words of a form: the command, its lead, then its options, each
// bracket group one word so a wrap never splits it.
QStringList FormWords(const TCliCommandInfo &command, const TCliForm &form)
{
    QStringList words{QLatin1String(command.Name)};
    if (form.Lead)
        words << QString::fromLatin1(form.Lead).split(' ');
    QString group;
    TShow joined = TShow::Hidden; // how the group's last option joins the next
    for (const TCliOption &o : kOptions) {
        if (o.Command != form.Command || !(o.Forms & form.Form) || o.Show == TShow::Hidden)
            continue;
        QString term = QLatin1String(o.Name);
        if (o.Value)
            term += ' ' + QLatin1String(o.Value);
        if (o.Show == TShow::Required) {
            words << term;
            continue;
        }
        group += group.isEmpty() ? term : (joined == TShow::OrNext ? "|" : " ") + term;
        joined = o.Show;
        if (o.Show == TShow::Optional) {
            words << '[' + group + ']';
            group.clear();
        }
    }
    return words;
}

// The help's option rows of one command.
QString CommandOptionRows(TCliCommand command)
{
    int widest = 0;
    for (const TCliOption &o : kOptions)
        if (o.Command == command && o.Help)
            widest = std::max(widest, int(OptionTerm(o).size()));
    QString rows;
    const int column = std::min(2 + widest + 2, kProgramHelpColumn);
    for (const TCliOption &o : kOptions)
        if (o.Command == command && o.Help)
            AppendRow(rows, OptionTerm(o), QLatin1String(o.Help), column);
    return rows;
}

} // namespace

TCliCommand CommandFromName(const QString &name)
{
    for (const auto &c : kCommands)
        if (name == QLatin1String(c.Name))
            return c.Command;
    return TCliCommand::None;
}

QString ExitMeaning(int code)
{
    switch (code) {
    case EXIT_CLI_OK:
        return QStringLiteral("success");
    case EXIT_CLI_FAILED:
        return QStringLiteral("the unit or its server refused or failed");
    case EXIT_CLI_USAGE:
        return QStringLiteral("usage error");
    case EXIT_CLI_UNREACHABLE:
        return QStringLiteral("no unit reachable");
    case EXIT_CLI_INTERRUPTED:
        return QStringLiteral("interrupted");
    default:
        return QStringLiteral("unknown");
    }
}

TCliParseResult ParseCommandLine(const QStringList &args)
{
    TParser p(args);
    return p.Run();
}

QString ProgramHelp()
{
    const int column = kProgramHelpColumn;
    QString help = QStringLiteral("Usage: zelvo-cli [LINK] [--json] [--verbose] COMMAND [ARGS]\n"
                                  "\n"
                                  "Commissions a Zelvo telemetry unit from the command line, "
                                  "through the same\n"
                                  "job engine as the window.\n"
                                  "\n"
                                  "Link (default: --usb):\n");
    for (const TLinkOptionForm &f : LinkOptionForms(TLinkFlavour::CommandLine))
        AppendRow(help, f.Syntax(), QLatin1String(f.Help), column);

    help += QStringLiteral("\nOutput:\n");
    for (const TCliOption &o : kOptions)
        if (o.Section == TSection::Output)
            AppendRow(help, OptionTerm(o), QLatin1String(o.Help), column);

    help += QStringLiteral("\nCommands:\n");
    for (const TCliForm &form : kForms) {
        const TCliCommandInfo *command = FindCommand(form.Command);
        const QStringList words = FormWords(*command, form);
        const QString synopsis = words.join(' ');
        // A synopsis that fills the line goes on under the descriptions.
        const bool wrapped = 2 + synopsis.size() > kSynopsisWidth;
        if (wrapped || !form.Summary)
            AppendWrapped(help, QStringLiteral("  "), words, column, kSynopsisWidth);
        if (form.Summary)
            AppendRow(help, wrapped ? QString() : synopsis, QLatin1String(form.Summary), column);
    }
    help += QStringLiteral("\nzelvo-cli COMMAND --help shows the help of one command.\n"
                           "\nOther:\n");
    for (const TCliOption &o : kOptions)
        if (o.Section == TSection::Other)
            AppendRow(help, OptionTerm(o), QLatin1String(o.Help), column);

    help += QStringLiteral("\nExit status:\n");
    const int codes[] = {EXIT_CLI_OK, EXIT_CLI_FAILED, EXIT_CLI_USAGE, EXIT_CLI_UNREACHABLE,
                         EXIT_CLI_INTERRUPTED};
    for (const int code : codes) {
        QString text = ExitMeaning(code);
        if (code == EXIT_CLI_INTERRUPTED)
            text += QStringLiteral(" (Ctrl-C; an endless live or external with --count 0 ends "
                                   "with Ctrl-C and exits 0)");
        AppendRow(help, QString::number(code), text, 7);
    }

    help += QStringLiteral(
        "\n"
        "Files:\n"
        "  Log.txt                 the engine's log lines, appended in the current\n"
        "                          directory, or in $XDG_DATA_HOME/zelvo-marlune\n"
        "                          (~/.local/share/zelvo-marlune) when the current\n"
        "                          directory is not writable; when neither is,\n"
        "                          stderr says so once and the run is not logged\n"
        "  networks.xml            the network catalogue, from the current directory,\n"
        "                          else from the installed share/zelvo-marlune\n"
        "\n"
        "--version also shows the paths in use.\n"
        "\n"
        "Environment:\n");
    const auto switches = [&](std::span<const TEnvironmentSwitch> list) {
        for (const TEnvironmentSwitch &s : list)
            AppendRow(help,
                      QStringLiteral("%1=%2").arg(QLatin1String(s.Name), QLatin1String(s.Value)),
                      QLatin1String(s.Help), column, true);
    };
    switches(LinkEnvironmentSwitches());
    switches(kCliSwitches);
    help += QStringLiteral("\nThese are developer switches, for tests.\n");
    return help;
}

QString CommandHelp(TCliCommand command)
{
    const TCliCommandInfo *info = FindCommand(command);
    if (!info)
        return ProgramHelp();
    QString help;
    bool first = true;
    for (const TCliForm &form : kForms) {
        if (form.Command != command)
            continue;
        const QString start =
            first ? QStringLiteral("Usage: zelvo-cli ") : QStringLiteral("       zelvo-cli ");
        QStringList words = QString::fromLatin1(info->Prefix).split(' ');
        words << FormWords(*info, form);
        AppendWrapped(help, start.chopped(1), words, int(start.size()));
        first = false;
    }
    help += '\n' + QLatin1String(info->Description);
    const QString rows = CommandOptionRows(command);
    if (!rows.isEmpty())
        help += '\n' + rows;
    if (info->Notes)
        help += '\n' + QLatin1String(info->Notes);
    return help;
}
