#include "frontend/Linkoptions.h"

#include "link/Bridgelist.h"
#include "link/Portmap.h"
#include "link/Trace.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace
{

// What COMn means when nothing maps it.
#ifdef _WIN32
#define ZELVO_COM_DEVICE "\\\\.\\COMn"
#define ZELVO_COM_NUMBER_HELP "COM port N, 1 to 16 (VELLO)"
#else
#define ZELVO_COM_DEVICE "/dev/ttyS(n-1)"
#define ZELVO_COM_NUMBER_HELP "COM port N, 1 to 16 (VELLO); COMn is " ZELVO_COM_DEVICE
#endif

const TLinkOptionForm kForms[] = {
    {"usb", nullptr, "the unit's USB bridge (OSTRA)", nullptr, true},
    {"usb", "DESC=PATH",
     "treat the serial device PATH as a USB bridge with the description DESC (repeatable)", nullptr,
     false},
    {"com", "N", ZELVO_COM_NUMBER_HELP, nullptr, true},
    {"com", "N=PATH",
     "COM port N, reached at the serial device PATH instead of " ZELVO_COM_DEVICE " (repeatable)",
     nullptr, false},
    {"com", "auto",
     "the one unit a find reports on a COM port (or other serial device) / on a USB bridge; exit "
     "3 with the list when there is none or several",
     "--com auto, --usb auto", true},
    {"simulate", "ostra|vello",
     "a simulated OSTRA (USB bridge) or VELLO (COM 1) unit inside this program, for trying the "
     "tool without hardware",
     nullptr, false},
    {"trace", "FILE",
     "write every frame to and from the unit and every link event, time-stamped, to FILE "
     "(replaced), for support",
     nullptr, false},
};

const TEnvironmentSwitch kSwitches[] = {
    {"ZELVO_PACING_DIVISOR", "N", "divide every pause and time-out by N (tests)"},
    {"ZELVO_FRAME_TIMEOUT_MS", "N",
     "frame time-out of both links in ms, after the divisor (tests on a loaded machine)"},
    {"ZELVO_SIM_VERSION", "V", "the simulated unit reports firmware version V"},
    {"ZELVO_SIM_ACCOUNT", "E:P", "the simulated server's logon account"},
    {"ZELVO_SIM_FAULTS", "F;...", "fault switches of the simulated unit, e.g. nack=0x15"},
};

// A whole number of the environment, or 0 when unset or not one.
int EnvironmentNumber(const char *name)
{
    bool ok = false;
    const int n = qEnvironmentVariableIntValue(name, &ok);
    return ok ? n : 0;
}

} // namespace

QString TLinkOptionForm::Syntax() const
{
    if (Spelling)
        return QString::fromLatin1(Spelling);
    QString s = QStringLiteral("--") + QLatin1String(Name);
    if (Value)
        s += QLatin1Char(' ') + QLatin1String(Value);
    return s;
}

std::span<const TLinkOptionForm> LinkOptionForms()
{
    return kForms;
}

std::vector<TLinkOptionForm> LinkOptionForms(TLinkFlavour flavour)
{
    std::vector<TLinkOptionForm> forms;
    for (const TLinkOptionForm &f : kForms)
        if (flavour == TLinkFlavour::CommandLine || !f.CommandLineOnly)
            forms.push_back(f);
    return forms;
}

std::span<const TEnvironmentSwitch> LinkEnvironmentSwitches()
{
    return kSwitches;
}

// ---- reading ----

bool TLinkOptionReader::Declares(const QString &name)
{
    return std::any_of(std::begin(kForms), std::end(kForms),
                       [&](const TLinkOptionForm &f) { return name == QLatin1String(f.Name); });
}

bool TLinkOptionReader::TakesNext(const QString &name, const QString &next) const
{
    if (FFlavour == TLinkFlavour::CommandLine && name == QLatin1String("usb"))
        return next == QLatin1String("auto") ||
               (next.contains(QLatin1Char('=')) && !next.startsWith(QLatin1Char('-')));
    return true;
}

bool TLinkOptionReader::NeedsValue(const QString &name) const
{
    return !(FFlavour == TLinkFlavour::CommandLine && name == QLatin1String("usb"));
}

bool TLinkOptionReader::Fail(const QString &error)
{
    if (FError.isEmpty())
        FError = error;
    return false;
}

bool TLinkOptionReader::Read(const QString &name, const std::optional<QString> &value)
{
    if (!value && NeedsValue(name))
        return Fail(QStringLiteral("option --%1 needs a value").arg(name));
    if (name == QLatin1String("com"))
        return ReadCom(*value);
    if (name == QLatin1String("usb"))
        return ReadUsb(value);
    if (name == QLatin1String("simulate")) {
        const QString model = value->toLower();
        if (model != QLatin1String("ostra") && model != QLatin1String("vello"))
            return Fail(QStringLiteral("--simulate takes ostra or vello, not \"%1\"").arg(*value));
        FSawSimulate = true;
        FSettings.Link = TLinkChoice::Simulate;
        FSettings.SimulateModel = model;
        return true;
    }
    if (name == QLatin1String("trace")) {
        if (value->isEmpty())
            return Fail(QStringLiteral("--trace needs a file name"));
        FSettings.TraceFile = *value;
        return true;
    }
    return Fail(QStringLiteral("unknown option --%1").arg(name));
}

bool TLinkOptionReader::ReadCom(const QString &value)
{
    const bool window = FFlavour == TLinkFlavour::Window;
    const qsizetype eq = value.indexOf(QLatin1Char('='));
    // The window maps ports only: the connect dialog chooses one.
    const auto refuse = [&] {
        return Fail(QStringLiteral("--com takes N=PATH, not \"%1\"").arg(value));
    };
    if (!window) {
        FSawCom = true;
        FSettings.Link = TLinkChoice::Com;
        if (value == QLatin1String("auto")) {
            FSettings.ComAuto = true;
            return true;
        }
        FSawComNumber |= eq < 0;
    } else if (eq < 0) {
        return refuse();
    }
    bool ok = false;
    const int n = (eq < 0 ? value : value.left(eq)).toInt(&ok);
    if (!ok || n < 1 || n > kHighestComPort) {
        if (window)
            return refuse();
        return Fail(QStringLiteral("--com takes a port number from 1 to %1 (optionally N=PATH), "
                                   "not \"%2\"")
                        .arg(kHighestComPort)
                        .arg(value));
    }
    if (eq >= 0) {
        const QString path = value.mid(eq + 1);
        if (path.isEmpty())
            return window ? refuse() : Fail(QStringLiteral("--com %1= needs a device path").arg(n));
        FSettings.ComPaths.emplace_back(n, path);
    }
    if (!window)
        FSettings.ComPort = n;
    return true;
}

bool TLinkOptionReader::ReadUsb(const std::optional<QString> &value)
{
    if (FFlavour == TLinkFlavour::CommandLine) {
        // "--usb" alone selects the bridge; "--usb DESC=PATH" also maps one.
        FSawUsb = true;
        FSettings.Link = TLinkChoice::Usb;
        if (value == QLatin1String("auto")) {
            FSettings.UsbAuto = true;
            return true;
        }
        if (!value || value->isEmpty())
            return true;
    }
    const QString &map = *value;
    const qsizetype eq = map.indexOf(QLatin1Char('='));
    if (eq <= 0 || eq == map.size() - 1)
        return Fail(QStringLiteral("--usb takes DESCRIPTION=PATH, not \"%1\"").arg(map));
    FSettings.UsbBridges.emplace_back(map.left(eq), map.mid(eq + 1));
    return true;
}

bool TLinkOptionReader::Finish()
{
    if (FFlavour == TLinkFlavour::Window)
        return FError.isEmpty();
    // --usb auto may come with --com N=PATH maps: they name ports the find
    // looks at, not the link.
    const bool comIsLink = FSawCom && !(FSettings.UsbAuto && !FSawComNumber && !FSettings.ComAuto);
    if (FSettings.UsbAuto && !comIsLink)
        FSettings.Link = TLinkChoice::Usb;
    if (int(FSawUsb) + int(comIsLink) + int(FSawSimulate) > 1)
        return Fail(QStringLiteral("choose one link: --usb, --com or --simulate"));
    return FError.isEmpty();
}

// ---- applying ----

TLinkPacing PacingFromEnvironment()
{
    TLinkPacing p;
    const int divisor = EnvironmentNumber("ZELVO_PACING_DIVISOR");
    if (divisor > 1) {
        p.Divisor = divisor;
        p.Pacing = TPacing::Shrunk(divisor);
    }
    const int frameTimeoutMs = EnvironmentNumber("ZELVO_FRAME_TIMEOUT_MS");
    if (frameTimeoutMs > 0) {
        p.Pacing.ComFrameTimeout = TPacing::ms(frameTimeoutMs);
        p.Pacing.UsbFrameTimeout = TPacing::ms(frameTimeoutMs);
    }
    return p;
}

TLinkResult TLinkOptions::InstallTrace() const
{
    if (FSettings.TraceFile.isEmpty())
        return {};
    std::string error;
    if (linktrace::Install(FSettings.TraceFile.toStdString(), &error))
        return {};
    return {false, 2,
            QStringLiteral("the trace file could not be written: %1")
                .arg(QString::fromStdString(error))};
}

void TLinkOptions::ApplyMappings() const
{
    for (const auto &[number, path] : FSettings.ComPaths)
        MapComPort(number, path.toStdString());
    for (const auto &[description, path] : FSettings.UsbBridges)
        Ftd2xx::RegisterVirtualBridge(description.toStdString(), path.toStdString());
}

TLinkResult TLinkOptions::StartSimulation(int pacingDivisor, TSimulatedLink &out) const
{
    if (FSettings.SimulateModel.isEmpty())
        return {};
    std::string error;
    if (StartSimulatedUnit(FSettings.SimulateModel.toStdString(), pacingDivisor, out, error))
        return {};
    return {false, 3,
            QStringLiteral("the simulated unit could not be started: %1")
                .arg(QString::fromStdString(error))};
}

TLinkResult TLinkOptions::Apply(int pacingDivisor, TSimulatedLink &out) const
{
    if (TLinkResult r = InstallTrace(); !r.Ok)
        return r;
    ApplyMappings();
    return StartSimulation(pacingDivisor, out);
}
