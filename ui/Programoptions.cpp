#include "ui/Programoptions.h"

#include "link/Portmap.h"

#include <string>

bool ParseProgramOptions(const QStringList &args, TProgramOptions &options, QString &error)
{
    TProgramOptions o;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args.at(i);
        // "--name VALUE" or "--name=VALUE".
        const auto value = [&](const QString &name, QString &out) {
            if (a == name) {
                if (i + 1 >= args.size()) {
                    error = name + QStringLiteral(" needs a value");
                    return false;
                }
                out = args.at(++i);
                return true;
            }
            out = a.mid(name.size() + 1);
            return true;
        };
        const auto is = [&](const QString &name) {
            return a == name || a.startsWith(name + QLatin1Char('='));
        };
        QString v;
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.Help = true;
        } else if (a == QLatin1String("--version")) {
            o.Version = true;
        } else if (is(QStringLiteral("--simulate"))) {
            if (!value(QStringLiteral("--simulate"), v))
                return false;
            v = v.toLower();
            if (v != QLatin1String("ostra") && v != QLatin1String("vello")) {
                error = QStringLiteral("--simulate takes ostra or vello, not \"%1\"").arg(v);
                return false;
            }
            o.Simulate = v;
        } else if (is(QStringLiteral("--com"))) {
            if (!value(QStringLiteral("--com"), v))
                return false;
            int number = 0;
            std::string path;
            if (!ParsePortOption(v.toStdString(), number, path)) {
                error = QStringLiteral("--com takes N=PATH, not \"%1\"").arg(v);
                return false;
            }
            o.ComPaths.emplace_back(number, QString::fromStdString(path));
        } else if (is(QStringLiteral("--usb"))) {
            if (!value(QStringLiteral("--usb"), v))
                return false;
            std::string description, path;
            if (!ParseUsbOption(v.toStdString(), description, path)) {
                error = QStringLiteral("--usb takes DESC=PATH, not \"%1\"").arg(v);
                return false;
            }
            o.UsbBridges.emplace_back(QString::fromStdString(description),
                                      QString::fromStdString(path));
        } else if (is(QStringLiteral("--screenshot-tour"))) {
            if (!value(QStringLiteral("--screenshot-tour"), v))
                return false;
            if (v.isEmpty()) {
                error = QStringLiteral("--screenshot-tour needs a directory");
                return false;
            }
            o.ScreenshotDir = v;
        } else if (is(QStringLiteral("--trace"))) {
            if (!value(QStringLiteral("--trace"), v))
                return false;
            if (v.isEmpty()) {
                error = QStringLiteral("--trace needs a file");
                return false;
            }
            o.TraceFile = v;
        } else if (a == QLatin1String("--measure")) {
            o.Measure = true;
        } else {
            error = QStringLiteral("unknown argument \"%1\"").arg(a);
            return false;
        }
    }
    options = o;
    return true;
}

#ifdef _WIN32
#define ZELVO_HELP_PATHS                                                                           \
    "The commissioning window. networks.xml and Images\\ are taken from the working\n"             \
    "directory, else from the program's own folder. Log.txt is appended in the\n"                  \
    "working directory, or in %LOCALAPPDATA%\\zelvo-marlune when that is not\n"                    \
    "writable; the Advanced page shows which.\n"
#else
#define ZELVO_HELP_PATHS                                                                           \
    "The commissioning window. networks.xml and Images/ are taken from the working\n"              \
    "directory, else from the installed share/zelvo-marlune. Log.txt is appended in\n"             \
    "the working directory, or in ~/.local/share/zelvo-marlune when that is not\n"                 \
    "writable; the Advanced page shows which.\n"
#endif
#ifdef _WIN32
#define ZELVO_HELP_COM                                                                             \
    "  --com N=PATH      COM port N is the device PATH (COMn is \\\\.\\COMn\n"                     \
    "                    otherwise); repeatable\n"
#else
#define ZELVO_HELP_COM                                                                             \
    "  --com N=PATH      COM port N is the device PATH (COMn is /dev/ttyS(n-1)\n"                  \
    "                    otherwise); repeatable\n"
#endif

QString ProgramUsage()
{
    return QStringLiteral(
        "Usage: zelvo-marlune [--simulate ostra|vello] [--com N=PATH]... [--usb DESC=PATH]...\n"
        "                     [--trace FILE]\n"
        "\n" ZELVO_HELP_PATHS "\n"
        "  --simulate MODEL  a simulated OSTRA (USB bridge) or VELLO (COM 1) unit\n"
        "                    inside the program, for trying the tool without "
        "hardware\n" ZELVO_HELP_COM
        "  --usb DESC=PATH   a USB bridge with description DESC on PATH; repeatable\n"
        "  --trace FILE      every frame to and from the unit and every link event,\n"
        "                    time-stamped, into FILE (replaced), for support\n"
        "  --version         the program's version\n"
        "  --help            this text\n");
}
