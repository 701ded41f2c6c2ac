#include "cli/Clioptions.h"

#include "cli/Clitemplate.h"

#include <cmath>

namespace
{

constexpr int kHighestComPort = 16;

// The settings block's text fields (terminator not counted) and the logon
// message's e-mail field.
constexpr int kMaxAPN = 124;
constexpr int kMaxUserName = 44;
constexpr int kMaxEmail = 128;

struct TCommandName {
    TCliCommand Command;
    const char *Name;
};

const TCommandName kCommands[] = {
    {TCliCommand::Info, "info"},          {TCliCommand::Live, "live"},
    {TCliCommand::External, "external"},  {TCliCommand::IOConfig, "io-config"},
    {TCliCommand::Snapshot, "snapshot"},  {TCliCommand::Logon, "logon"},
    {TCliCommand::Signal, "signal"},      {TCliCommand::SaveSettings, "save-settings"},
    {TCliCommand::SetValue, "set-value"}, {TCliCommand::Networks, "networks"},
    {TCliCommand::Find, "find"},          {TCliCommand::Report, "report"},
};

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

class TParser
{
public:
    explicit TParser(const QStringList &args) : FArgs(args) {}

    TCliParseResult Run();

private:
    bool Fail(const QString &error)
    {
        if (FError.isEmpty())
            FError = error;
        return false;
    }
    // The value of an option: inline after "=", or the next argument.
    std::optional<QString> Value(const TToken &t);
    bool ParseInt(const TToken &t, int lowest, int highest, int &out);
    bool GlobalOption(const TToken &t, bool &handled);
    bool CommandOption(const TToken &t);
    bool CheckCommand();

    const QStringList &FArgs;
    int FIndex = 0;
    QString FError;
    TCliOptions O;
    QStringList FPositional;
    bool FSawUsb = false;
    bool FSawCom = false;
    // A --com N without =PATH: a port chosen, not only a mapping.
    bool FSawComNumber = false;
    bool FSawSimulate = false;
    bool FSawLiveInterval = false;
};

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

bool TParser::ParseInt(const TToken &t, int lowest, int highest, int &out)
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

bool TParser::GlobalOption(const TToken &t, bool &handled)
{
    handled = true;
    if (t.Name == "--help" || t.Name == "-h") {
        O.Help = true;
        return true;
    }
    if (t.Name == "--version") {
        O.Version = true;
        return true;
    }
    if (t.Name == "--json") {
        O.Json = true;
        return true;
    }
    if (t.Name == "--trace") {
        const auto v = Value(t);
        if (!v)
            return false;
        if (v->isEmpty())
            return Fail(QStringLiteral("--trace needs a file name"));
        O.TraceFile = *v;
        return true;
    }
    if (t.Name == "--verbose" || t.Name == "-v") {
        O.Verbose = true;
        return true;
    }
    if (t.Name == "--usb") {
        FSawUsb = true;
        O.Link = TCliLink::Usb;
        // "--usb" alone selects the bridge; "--usb DESC=PATH" also maps one.
        // A command name never holds "=", so the next argument is a mapping
        // only when it does.
        QString map;
        if (t.Inline == QStringLiteral("auto") ||
            (!t.Inline && FIndex + 1 < FArgs.size() && FArgs[FIndex + 1] == "auto")) {
            if (!t.Inline)
                ++FIndex;
            O.UsbAuto = true;
            return true;
        }
        if (t.Inline)
            map = *t.Inline;
        else if (FIndex + 1 < FArgs.size() && FArgs[FIndex + 1].contains('=') &&
                 !FArgs[FIndex + 1].startsWith('-'))
            map = FArgs[++FIndex];
        if (!map.isEmpty()) {
            const qsizetype eq = map.indexOf('=');
            if (eq <= 0 || eq == map.size() - 1)
                return Fail(QStringLiteral("--usb takes DESCRIPTION=PATH, not \"%1\"").arg(map));
            O.UsbBridges.emplace_back(map.left(eq), map.mid(eq + 1));
        }
        return true;
    }
    if (t.Name == "--com") {
        FSawCom = true;
        O.Link = TCliLink::Com;
        const auto v = Value(t);
        if (!v)
            return false;
        if (*v == "auto") {
            O.ComAuto = true;
            return true;
        }
        const qsizetype eq = v->indexOf('=');
        FSawComNumber |= eq < 0;
        const QString number = eq < 0 ? *v : v->left(eq);
        bool ok = false;
        const int n = number.toInt(&ok);
        if (!ok || n < 1 || n > kHighestComPort)
            return Fail(QStringLiteral("--com takes a port number from 1 to %1 (optionally "
                                       "N=PATH), not \"%2\"")
                            .arg(kHighestComPort)
                            .arg(*v));
        if (eq >= 0) {
            const QString path = v->mid(eq + 1);
            if (path.isEmpty())
                return Fail(QStringLiteral("--com %1= needs a device path").arg(n));
            O.ComPaths.emplace_back(n, path);
        }
        O.ComPort = n;
        return true;
    }
    if (t.Name == "--simulate") {
        const auto v = Value(t);
        if (!v)
            return false;
        const QString model = v->toLower();
        if (model != "ostra" && model != "vello")
            return Fail(QStringLiteral("--simulate takes ostra or vello, not \"%1\"").arg(*v));
        FSawSimulate = true;
        O.Link = TCliLink::Simulate;
        O.SimulateModel = model;
        return true;
    }
    handled = false;
    return true;
}

bool TParser::CommandOption(const TToken &t)
{
    const auto unknown = [&] {
        if (O.Command == TCliCommand::None)
            return Fail(QStringLiteral("unknown option %1").arg(t.Name));
        return Fail(QStringLiteral("%1 has no option %2").arg(O.CommandName, t.Name));
    };
    const auto flag = [&](bool &field) {
        if (t.Inline)
            return Fail(QStringLiteral("%1 takes no value").arg(t.Name));
        field = true;
        return true;
    };
    const auto text = [&](std::optional<QString> &field) {
        const auto v = Value(t);
        if (!v)
            return false;
        field = *v;
        return true;
    };
    const auto plain = [&](QString &field) {
        const auto v = Value(t);
        if (!v)
            return false;
        field = *v;
        return true;
    };
    const auto connection = [&](TCliConnection c) {
        if (t.Inline)
            return Fail(QStringLiteral("%1 takes no value").arg(t.Name));
        if (O.Connection != TCliConnection::Unchanged && O.Connection != c)
            return Fail(QStringLiteral("choose one of --mobile and --ethernet"));
        O.Connection = c;
        return true;
    };

    switch (O.Command) {
    case TCliCommand::Live:
        if (t.Name == "--count")
            return ParseInt(t, 0, 1000000, O.Count);
        if (t.Name == "--interval") {
            const auto v = Value(t);
            if (!v)
                return false;
            bool ok = false;
            const double s = v->toDouble(&ok);
            if (!ok || !std::isfinite(s) || s < 0.05 || s > 86400)
                return Fail(QStringLiteral("--interval takes seconds from 0.05 to 86400, not "
                                           "\"%1\"")
                                .arg(*v));
            O.IntervalSeconds = s;
            return true;
        }
        return unknown();
    case TCliCommand::External:
        if (t.Name == "--count")
            return ParseInt(t, 0, 1000000, O.Count);
        return unknown();
    case TCliCommand::Networks:
        if (t.Name == "--country")
            return text(O.Country);
        if (t.Name == "--catalogue")
            return plain(O.CataloguePath);
        return unknown();
    case TCliCommand::Signal:
        if (t.Name == "--seconds")
            return ParseInt(t, 1, 86400, O.Seconds);
        return unknown();
    case TCliCommand::Report:
        if (t.Name == "--site")
            return plain(O.Site);
        if (t.Name == "--installer")
            return plain(O.Installer);
        if (t.Name == "--signal-seconds")
            return ParseInt(t, 1, 3600, O.SignalSeconds);
        if (t.Name == "--no-io-config")
            return flag(O.NoIOConfig);
        return unknown();
    case TCliCommand::IOConfig: {
        const auto action = [&](TCliIOAction a) {
            if (O.IOAction != TCliIOAction::List && O.IOAction != a)
                return Fail(QStringLiteral("choose one of --export, --apply and set"));
            O.IOAction = a;
            const auto v = Value(t);
            if (!v)
                return false;
            if (v->isEmpty())
                return Fail(QStringLiteral("%1 needs a file name").arg(t.Name));
            O.TemplatePath = *v;
            return true;
        };
        if (t.Name == "--export")
            return action(TCliIOAction::Export);
        if (t.Name == "--apply")
            return action(TCliIOAction::Apply);
        if (t.Name == "--dry-run")
            return flag(O.DryRun);
        if (t.Name == "--email")
            return plain(O.Email);
        if (t.Name == "--name")
            return text(O.SetName);
        if (t.Name == "--type")
            return text(O.SetType);
        if (t.Name == "--uom")
            return text(O.SetUom);
        if (t.Name == "--logging") {
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
        return unknown();
    }
    case TCliCommand::SaveSettings:
        if (t.Name == "--mobile")
            return connection(TCliConnection::Mobile);
        if (t.Name == "--ethernet")
            return connection(TCliConnection::Ethernet);
        if (t.Name == "--apn")
            return text(O.APN);
        if (t.Name == "--user")
            return text(O.UserName);
        if (t.Name == "--country")
            return text(O.Country);
        if (t.Name == "--network")
            return text(O.Network);
        if (t.Name == "--catalogue")
            return plain(O.CataloguePath);
        if (t.Name == "--password-stdin")
            return flag(O.PasswordFromStdin);
        if (t.Name == "--password")
            return Fail(QStringLiteral("a password is never taken from the command line; use "
                                       "--password-stdin"));
        if (t.Name == "--dhcp" || t.Name == "--no-dhcp") {
            if (t.Inline)
                return Fail(QStringLiteral("%1 takes no value").arg(t.Name));
            O.UseDHCP = t.Name == "--dhcp";
            return true;
        }
        if (t.Name == "--ip")
            return text(O.IPAddress);
        if (t.Name == "--mask")
            return text(O.NetMask);
        if (t.Name == "--gateway")
            return text(O.DefaultGateway);
        if (t.Name == "--dns")
            return text(O.DNSServer);
        return unknown();
    default:
        return unknown();
    }
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
        const TToken t = SplitOption(arg);
        bool handled = false;
        if (!GlobalOption(t, handled))
            break;
        if (!handled && !CommandOption(t))
            break;
    }

    TCliParseResult r;
    // --usb auto may come with --com N=PATH maps: they name ports the find
    // looks at, not the link.
    const bool comIsLink = FSawCom && !(O.UsbAuto && !FSawComNumber && !O.ComAuto);
    if (FError.isEmpty() && int(FSawUsb) + int(comIsLink) + int(FSawSimulate) > 1)
        Fail(QStringLiteral("choose one link: --usb, --com or --simulate"));
    if (O.UsbAuto && !comIsLink)
        O.Link = TCliLink::Usb;
    // Help and version need no command and forgive the rest of the line.
    if (FError.isEmpty() && !O.Help && !O.Version)
        CheckCommand();
    r.Ok = FError.isEmpty();
    r.Error = FError;
    r.Options = O;
    return r;
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

#ifdef _WIN32
#define ZELVO_HELP_COM "  --com N                 COM port N, 1 to 16 (VELLO)\n"
#else
#define ZELVO_HELP_COM                                                                             \
    "  --com N                 COM port N, 1 to 16 (VELLO); COMn is /dev/ttyS(n-1)\n"
#endif

QString ProgramHelp()
{
    return QStringLiteral(
        "Usage: zelvo-cli [LINK] [--json] [--verbose] COMMAND [ARGS]\n"
        "\n"
        "Commissions a Zelvo telemetry unit from the command line, through the same\n"
        "job engine as the window.\n"
        "\n"
        "Link (default: --usb):\n"
        "  --usb                   the unit's USB bridge (OSTRA)\n"
        "  --usb DESC=PATH         also treat the serial device PATH as a bridge with\n"
        "                          the description DESC (repeatable)\n" ZELVO_HELP_COM
        "  --com N=PATH            COM port N, reached at the serial device PATH\n"
        "  --com auto, --usb auto  the one unit a find reports on a COM port (or\n"
        "                          other serial device) / on a USB bridge; exit 3\n"
        "                          with the list when there is none or several\n"
        "  --simulate ostra|vello  a simulated unit inside this program\n"
        "\n"
        "Output:\n"
        "  --json                  results on standard output as one JSON document;\n"
        "                          live/external with --count 0: one JSON object per\n"
        "                          line as readings arrive\n"
        "  --verbose, -v           also the window's own status texts (tabs switched)\n"
        "  Status texts and the unit's messages go to standard error.\n"
        "  --trace FILE            write every frame and link event to FILE (for support)\n"
        "\n"
        "Commands:\n"
        "  info                    firmware, unit type and connection settings\n"
        "  live [--count N] [--interval S]\n"
        "                          live values of the unit's own I/O\n"
        "  external [--count N]    external (Modbus) I/O values and error states\n"
        "  io-config               the I/O configuration as the server holds it\n"
        "  io-config --export FILE write it as a template file\n"
        "  io-config --apply FILE [--dry-run] [--email EMAIL]\n"
        "                          apply a template: show the differences, upload them\n"
        "  io-config set TAG [--name N] [--type ID|NAME] [--uom ID|NAME] [--logging M]\n"
        "                [--dry-run] [--email EMAIL]\n"
        "                          change one entry of the I/O configuration\n"
        "  snapshot                the latest snapshot\n"
        "  logon EMAIL             log the unit on (password from the terminal or stdin)\n"
        "  signal [--seconds N]    mobile signal levels\n"
        "  save-settings --mobile [--country C --network N] [--apn A] [--user U]\n"
        "                [--password-stdin]\n"
        "  save-settings --ethernet [--dhcp|--no-dhcp] [--ip A] [--mask M] [--gateway G]\n"
        "                [--dns D]\n"
        "                          save the unit's connection settings\n"
        "  set-value TAG VALUE     set an output or variable of the unit's own I/O\n"
        "  networks [--country C]  the mobile networks of the catalogue (networks.xml)\n"
        "  find                    look for units on every COM port, serial device and\n"
        "                          USB bridge; exit 0 when one was found, 3 when none\n"
        "  report FILE [--site S] [--installer N] [--signal-seconds N] [--no-io-config]\n"
        "                          a commissioning report (.pdf, .html or .json)\n"
        "\n"
        "  zelvo-cli COMMAND --help shows the help of one command.\n"
        "\n"
        "Exit codes: 0 success, 1 the unit or its server refused or failed,\n"
        "2 usage error, 3 no unit reachable, 130 interrupted (Ctrl-C; an endless\n"
        "live or external with --count 0 ends with Ctrl-C and exits 0).\n"
        "\n"
        "Files:\n"
        "  Log.txt                 the engine's log lines, appended in the current\n"
        "                          directory, or in $XDG_DATA_HOME/zelvo-marlune\n"
        "                          (~/.local/share/zelvo-marlune) when the current\n"
        "                          directory is not writable; when neither is,\n"
        "                          stderr says so once and the run is not logged\n"
        "  networks.xml            the network catalogue, from the current directory,\n"
        "                          else from the installed share/zelvo-marlune\n"
        "  --version also shows the paths in use.\n"
        "\n"
        "Developer options (environment):\n"
        "  ZELVO_PACING_DIVISOR=N  divide every pause and time-out by N (tests)\n"
        "  ZELVO_FRAME_TIMEOUT_MS=N  frame time-out of both links in ms, after the\n"
        "                          divisor (tests on a loaded machine)\n"
        "  ZELVO_SIM_VERSION=V     the simulated unit reports firmware version V\n"
        "  ZELVO_DEV_ROOT=DIR, ZELVO_SYSFS_ROOT=DIR  where find and the USB bridge\n"
        "                          look for devices instead of /dev and /sys (tests)\n"
        "  ZELVO_PROBE_TIMEOUT_MS=N  find's time-out per exchange (default 1000)\n"
        "  ZELVO_SIM_ACCOUNT=E:P   the simulated server's logon account\n"
        "  ZELVO_SIM_FAULTS=F;...  fault switches of the simulated unit, e.g. nack=0x15\n");
}

QString CommandHelp(TCliCommand command)
{
    switch (command) {
    case TCliCommand::Info:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] [--json] info\n"
            "\n"
            "Connects and shows the firmware version text, the unit type and model, and\n"
            "the connection settings: type, APN, user, whether a password is set (never\n"
            "the password itself), DHCP and the four addresses.\n");
    case TCliCommand::Live:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] [--json] live [--count N] [--interval S]\n"
            "\n"
            "Reads the UOM information, then shows the unit's own I/O: name, tag, type\n"
            "and value with its units.\n"
            "\n"
            "  --count N      readings to show (default 1; 0 = until Ctrl-C)\n"
            "  --interval S   seconds between readings (default: the live reading period)\n");
    case TCliCommand::External:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] [--json] external [--count N]\n"
            "\n"
            "Reads the I/O configuration and the Modbus data, then shows the external\n"
            "I/O: name, tag, logging, value, error state, slave name and slave id.\n"
            "\n"
            "  --count N      complete read cycles to show (default 1; 0 = until Ctrl-C)\n");
    case TCliCommand::IOConfig:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] [--json] io-config\n"
            "\n"
            "       zelvo-cli [LINK] [--json] io-config --export FILE\n"
            "       zelvo-cli [LINK] [--json] io-config --apply FILE [--dry-run]\n"
            "                 [--email EMAIL]\n"
            "       zelvo-cli [LINK] [--json] io-config set TAG [--name N] [--type ID|NAME]\n"
            "                 [--uom ID|NAME] [--logging MODE] [--dry-run] [--email EMAIL]\n"
            "\n"
            "Reads the I/O configuration as the server holds it and shows, per I/O, its\n"
            "id, tag, friendly name, input type, UOM and logging mode.\n"
            "\n"
            "  --export FILE  writes the configuration as a template file (JSON: tag,\n"
            "                 name, inputType, uom, logging per I/O; see README)\n"
            "  --apply FILE   logs on, reads the configuration, shows per tag the\n"
            "                 differences (old -> new), edits the records with the Edit\n"
            "                 I/O dialog's rules and uploads them; exit 0 only when the\n"
            "                 configuration read back afterwards shows every change\n"
            "  set TAG        the same for one entry, from the options below\n"
            "  --name N       friendly name, at most 64 characters\n"
            "  --type T       input type, by id or name (inputs only)\n"
            "  --uom U        unit of measure, by id or name, among those of the input\n"
            "                 type's category\n"
            "  --logging M    0 No Log, 1 Display Only, 2 Log & Display, 3 Log Only\n"
            "  --dry-run      show the differences only; nothing is sent\n"
            "  --email EMAIL  the logon needed to change the configuration; the password\n"
            "                 is read as by logon (needed unless --dry-run)\n"
            "\n"
            "An input type, UOM or name the unit does not offer refuses the whole\n"
            "template before anything is sent (exit 1).\n");
    case TCliCommand::Snapshot:
        return QStringLiteral("Usage: zelvo-cli [LINK] [--json] snapshot\n"
                              "\n"
                              "Retrieves the latest snapshot and shows its lines.\n");
    case TCliCommand::Logon:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] [--json] logon EMAIL\n"
            "\n"
            "Logs the unit on to its server. The password is read from the terminal\n"
            "without echo, or from standard input when that is not a terminal; it is\n"
            "never taken from the command line. Exit code 1 when the server refuses.\n");
    case TCliCommand::Signal:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] [--json] signal [--seconds N]\n"
            "\n"
            "Switches the unit's signal monitoring on, shows the level once a second\n"
            "with its band (Good, OK, Borderline, Poor) and switches it off again.\n"
            "\n"
            "  --seconds N    how long to watch (default 10)\n");
    case TCliCommand::SaveSettings:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] save-settings --mobile [--country C --network N]\n"
            "                                       [--apn A] [--user U] [--password-stdin]\n"
            "       zelvo-cli [LINK] save-settings --ethernet [--dhcp|--no-dhcp] [--ip A]\n"
            "                                       [--mask M] [--gateway G] [--dns D]\n"
            "\n"
            "Saves the unit's connection settings. A field not given keeps the unit's\n"
            "current value. Addresses are four integers from 0 to 255 separated by full\n"
            "stops. The APN holds at most 124 characters, the user name 44 and the\n"
            "password 19. The password is read from standard input (--password-stdin),\n"
            "never from the command line.\n"
            "\n"
            "--country C --network N take the APN, user and password of that network\n"
            "from the catalogue (networks.xml in the working directory, or\n"
            "--catalogue FILE), as the window's lists do; --apn, --user and\n"
            "--password-stdin override them. Names match without regard to case.\n"
            "\n"
            "When the save succeeds the unit applies its settings and resets; connect\n"
            "again afterwards. A VELLO unit has no Ethernet connection.\n");
    case TCliCommand::SetValue:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] set-value TAG VALUE\n"
            "\n"
            "Sets an output or variable of the unit's own I/O, with the window's rules:\n"
            "  digital output, buzzer     on, off, 1, 0 or toggle\n"
            "  variable, timer, counter   a whole number\n"
            "  PWM output                 a whole percentage of 1024 (kept within 0..1024)\n"
            "  analogue output            0 to 10, scaled to 0..4095\n"
            "  timer in 10 ms steps       a whole number, divided by 10\n"
            "TAG is the I/O tag as the live list shows it, e.g. DO01 or [DO01].\n");
    case TCliCommand::Networks:
        return QStringLiteral(
            "Usage: zelvo-cli [--json] networks [--country C] [--catalogue FILE]\n"
            "\n"
            "Lists the countries and mobile networks of the catalogue (networks.xml in\n"
            "the working directory, or FILE) with their APN and user name; whether a\n"
            "password is set is shown, never the password. Needs no unit.\n");
    case TCliCommand::Find:
        return QStringLiteral(
            "Usage: zelvo-cli [--com N=PATH]... [--usb DESC=PATH]... [--json] find\n"
            "\n"
            "Looks for units on COM1 to COM16, every other serial device present\n"
            "(ttyUSB*, ttyACM*, serial/by-id) and every USB bridge, all at once: each\n"
            "port is opened (one that another program holds is left alone), asked for\n"
            "its firmware version and unit type, and closed with its own settings.\n"
            "Nothing else is sent; nothing connects. One line per port: its name, its\n"
            "device and what answered: zelvo (model and firmware), no answer, not a\n"
            "zelvo, busy (and which program holds it) or cannot open (and why).\n"
            "--json: an array of {port, path, result, model, firmware, firmwareRecent,\n"
            "reason}. Exit 0 when a unit was found, 3 when none.\n");
    case TCliCommand::Report:
        return QStringLiteral(
            "Usage: zelvo-cli [LINK] report FILE [--site S] [--installer N]\n"
            "                                [--signal-seconds N] [--no-io-config]\n"
            "\n"
            "Writes a commissioning report of the unit: the unit and its firmware, the\n"
            "connection settings (the password only as set or not set), the signal\n"
            "strength sampled for a while, the I/O configuration, live values of the\n"
            "unit's own and external I/O, the latest snapshot and the session's log.\n"
            "Only reads; nothing is written to the unit. FILE's extension chooses the\n"
            "format: .pdf (A4), .html (one self-contained file) or .json (keys in\n"
            "README). The file is replaced only once the new report is complete.\n"
            "\n"
            "  --site S            site name for the report's header\n"
            "  --installer N       installer name for the report's header\n"
            "  --signal-seconds N  how long to sample the signal (default 20)\n"
            "  --no-io-config      do not read the I/O configuration (and so no\n"
            "                      external I/O)\n"
            "\n"
            "A section that cannot be read is marked \"Not available\" with the reason;\n"
            "the report is still written and the exit code is 1.\n");
    case TCliCommand::None:
        break;
    }
    return ProgramHelp();
}
