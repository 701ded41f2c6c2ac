#include "frontend/Simulatedunit.h"

#include "common/Branding.h"
#include "common/Bytepipe.h"
#include "link/Ftd2xx.h"
#include "link/Portdevice.h"
#include "link/Portmap.h"
#include "sim/Pipetransport.h"
#include "sim/UnitSimulator.h"

#include <QString>
#include <QStringList>

#include <algorithm>

TSimulatedLink::TSimulatedLink() = default;
TSimulatedLink::~TSimulatedLink() = default;
TSimulatedLink::TSimulatedLink(TSimulatedLink &&) noexcept = default;
TSimulatedLink &TSimulatedLink::operator=(TSimulatedLink &&) noexcept = default;

TSimulatedWire DefaultSimulatedWire()
{
    const QString asked = qEnvironmentVariable("ZELVO_SIM_WIRE").trimmed().toLower();
    if (asked == QLatin1String("pipe"))
        return TSimulatedWire::Pipe;
    if (asked == QLatin1String("pty"))
        return TSimulatedWire::Pty;
#ifdef _WIN32
    return TSimulatedWire::Pipe;
#else
    return TSimulatedWire::Pty;
#endif
}

bool StartSimulatedUnit(const std::string &model, int pacingDivisor, TSimulatedLink &out,
                        std::string &error)
{
    return StartSimulatedUnit(model, pacingDivisor, DefaultSimulatedWire(), out, error);
}

bool StartSimulatedUnit(const std::string &model, int pacingDivisor, TSimulatedWire wire,
                        TSimulatedLink &out, std::string &error)
{
    const int divisor = std::max(1, pacingDivisor);
    zsim::Options so;
    if (!zsim::ParseModel(model, &so.model)) {
        error = "unknown model \"" + model + "\" (ostra or vello)";
        return false;
    }
    // A quick server: only the engine's own steps are waited for.
    so.sfStepMs = std::max(5, 300 / divisor);
    so.applyResetMs = std::max(5, 1000 / divisor);
    // Developer switches for trying a front end against a misbehaving unit.
    const QString version = qEnvironmentVariable("ZELVO_SIM_VERSION");
    if (!version.isEmpty())
        so.version = version.toStdString();
    const QString account = qEnvironmentVariable("ZELVO_SIM_ACCOUNT");
    if (!account.isEmpty())
        so.account = account.toStdString();
    for (const QString &f : qEnvironmentVariable("ZELVO_SIM_FAULTS").split(';', Qt::SkipEmptyParts))
        so.faults.push_back(f.trimmed().toStdString());

    auto sim = std::make_unique<zsim::UnitSimulator>(so);
    const bool usb = so.model == zsim::Model::Ostra;
    if (wire == TSimulatedWire::Pipe) {
        // The unit serves one end in this process; the link opens the other
        // by the name it looks for.
        auto [toolEnd, unitEnd] = MakeBytePipe();
        const std::string name =
            usb ? std::string(Branding::BrandName) : "COM" + std::to_string(kSimulatedComPort);
        if (!sim->Start(zsim::MakePipeTransport(unitEnd, name), &error))
            return false;
        if (usb)
            RegisterPipeBridge(Branding::BrandName, toolEnd);
        else
            RegisterPipeComPort(kSimulatedComPort, toolEnd);
    } else {
        if (!sim->Start(&error))
            return false;
        if (usb)
            Ftd2xx::RegisterVirtualBridge(Branding::BrandName, sim->SlavePath());
        else
            MapComPort(kSimulatedComPort, sim->SlavePath());
    }
    out.UseUsb = usb;
    out.ComPort = kSimulatedComPort;
    out.Wire = wire;
    out.Sim = std::move(sim);
    return true;
}
