// zelvo-cli, save-settings: the unit's connection settings.

#include "cli/Clirunner.h"

#include "cli/Clipassword.h"
#include "cli/Clitable.h"
#include "cli/Clivalueedit.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Signalreading.h"
#include "frontend/Unittext.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "network/Ipaddress.h"
#include "network/Settingslimits.h"
#include "protocol/Commands.h"
#include "protocol/Passworddigest.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace unittext;

int TCliRunner::SaveSettings()
{
    TZelvo *unit = FEngine->Unit();
    TConnectionSettings settings = FHost.Settings() ? *FHost.Settings() : unit->GetSettings();
    if (O.Connection == TCliConnection::Ethernet) {
        if (unit->IsVelloUnit()) {
            FHost.Note(QStringLiteral("A VELLO unit has no Ethernet connection; only Mobile "
                                      "(GPRS) can be saved."));
            return EXIT_CLI_USAGE;
        }
        settings.ConnectionType = kConnectionTypeEthernet;
        if (O.UseDHCP)
            settings.UseDHCP = *O.UseDHCP;
        std::uint32_t *targets[4] = {&settings.IPAddress, &settings.NetMask,
                                     &settings.DefaultGateway, &settings.DNSServer};
        for (int i = 0; i < 4; ++i)
            if (FHaveAddress[i])
                *targets[i] = FAddresses[i];
    } else {
        settings.ConnectionType = kConnectionTypeMobile;
        // The catalogue's network first; explicit options override it.
        if (FCatalogueApn)
            settings.APN = *FCatalogueApn;
        if (FCatalogueUser)
            settings.Username = *FCatalogueUser;
        if (FCataloguePassword)
            settings.Password = *FCataloguePassword;
        if (O.APN)
            settings.APN = ToLatin1(*O.APN);
        if (O.UserName)
            settings.Username = ToLatin1(*O.UserName);
        if (O.PasswordFromStdin)
            settings.Password = FPassword;
    }
    const std::string problem = ConnectionSettingsProblem(settings);
    if (!problem.empty()) {
        FHost.Note(QString::fromStdString(problem));
        return EXIT_CLI_USAGE;
    }

    // The save ends the connection either way: the worker goes to closing
    // on success and through the error state on failure; the engine keeps
    // the save's own outcome.
    FEngine->SaveConnectionSettings(settings);
    Pump([&] { return Disconnected() && FEngine->LinkState() == LINK_IDLE; }, JobLimit());
    if (FInterrupted)
        return Interrupted();
    const bool saved = FEngine->SaveOutcome() == SAVE_SUCCEEDED && Disconnected() && !FTimedOut;
    FConnected = false; // the unit resets; nothing more to tell it
    if (O.Json)
        PrintJson(QJsonObject{{"saved", saved},
                              {"connectionType", settings.IsMobile() ? "mobile" : "ethernet"}});
    if (!saved)
        return Failed(QStringLiteral("Saving the settings failed."));
    if (!O.Json)
        Print(QStringLiteral("Settings saved. The unit applies them and resets; connect again "
                             "afterwards.\n"));
    return Outcome(EXIT_CLI_OK);
}
