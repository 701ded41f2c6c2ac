#include "Simulatedunit.h"

#include "Branding.h"
#include "Ftd2xx.h"
#include "Portmap.h"
#include "UnitSimulator.h"

#include <QString>
#include <QStringList>

#include <algorithm>

bool StartSimulatedUnit(const std::string &model, int pacingDivisor, TSimulatedLink &out,
                        std::string &error)
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
    if (!sim->Start(&error))
        return false;
    if (so.model == zsim::Model::Ostra) {
        Ftd2xx::RegisterVirtualBridge(Branding::BrandName, sim->SlavePath());
        out.UseUsb = true;
    } else {
        MapComPort(kSimulatedComPort, sim->SlavePath());
        out.UseUsb = false;
        out.ComPort = kSimulatedComPort;
    }
    out.Sim = std::move(sim);
    return true;
}
