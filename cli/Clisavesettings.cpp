// zelvo-cli, save-settings: the unit's connection settings.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "engine/Serialthread.h"
#include "frontend/Unittext.h"
#include "network/Ipaddress.h"
#include "network/Settingslimits.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QJsonObject>

using namespace unittext;

namespace
{

// What save-settings reads and checks before connecting.
struct TSettingsInput {
    // --ip-address, --net-mask, --default-gateway, --dns-server, as given.
    std::uint32_t Addresses[4] = {0, 0, 0, 0};
    bool HaveAddress[4] = {false, false, false, false};
    // --country --network.
    TCatalogueNetwork Catalogue;
    // --password-stdin.
    std::string Password;
};

// The window's address rules and messages.
int ParseAddresses(TCliSession &s, TSettingsInput &in)
{
    const TCliOptions &o = s.Options();
    const std::optional<QString> *fields[4] = {&o.IPAddress, &o.NetMask, &o.DefaultGateway,
                                               &o.DNSServer};
    for (int i = 0; i < 4; ++i) {
        if (!fields[i]->has_value())
            continue;
        QString message;
        if (!ParseIPAddress(**fields[i], in.Addresses[i],
                            [&message](const QString &m) { message = m; }))
            return s.Usage(message);
        in.HaveAddress[i] = true;
    }
    return EXIT_CLI_OK;
}

int ReadSettingsPassword(TCliSession &s, std::string &password)
{
    if (const int r = s.AskPassword(password); r != EXIT_CLI_OK)
        return r;
    const TSettingsTextField tooLong = FindTooLongSettingsText("", "", password);
    if (tooLong != STF_NONE)
        return s.Usage(SettingsTextTooLongMessage(tooLong));
    if (password.find('\0') != std::string::npos)
        return s.Usage(QStringLiteral("The password holds a zero byte, which the unit cannot "
                                      "store."));
    return EXIT_CLI_OK;
}

int ReadInput(TCliSession &s, TSettingsInput &in)
{
    const TCliOptions &o = s.Options();
    const bool ethernet = o.Connection == TCliConnection::Ethernet;
    if (ethernet && s.ExpectedModel() == UNIT_TYPE_VELLO)
        return s.Usage(QStringLiteral("A VELLO unit (reached through %1) has no Ethernet "
                                      "connection; only --mobile can be saved.")
                           .arg(s.LinkName()));
    if (const int r = FindCatalogueNetwork(s, in.Catalogue); r != EXIT_CLI_OK)
        return r;
    if (ethernet)
        if (const int r = ParseAddresses(s, in); r != EXIT_CLI_OK)
            return r;
    if (o.PasswordFromStdin)
        return ReadSettingsPassword(s, in.Password);
    return EXIT_CLI_OK;
}

// The unit's settings with the command line's changes.
int ChangedSettings(TCliSession &s, const TSettingsInput &in, TConnectionSettings &settings)
{
    const TCliOptions &o = s.Options();
    TZelvo *unit = s.Engine().Unit();
    settings = s.Host().Settings() ? *s.Host().Settings() : unit->GetSettings();
    if (o.Connection == TCliConnection::Ethernet) {
        if (unit->IsVelloUnit())
            return s.Usage(QStringLiteral("A VELLO unit has no Ethernet connection; only Mobile "
                                          "(GPRS) can be saved."));
        settings.ConnectionType = kConnectionTypeEthernet;
        if (o.UseDHCP)
            settings.UseDHCP = *o.UseDHCP;
        std::uint32_t *targets[4] = {&settings.IPAddress, &settings.NetMask,
                                     &settings.DefaultGateway, &settings.DNSServer};
        for (int i = 0; i < 4; ++i)
            if (in.HaveAddress[i])
                *targets[i] = in.Addresses[i];
    } else {
        settings.ConnectionType = kConnectionTypeMobile;
        // The catalogue's network first; explicit options override it.
        if (in.Catalogue.APN)
            settings.APN = *in.Catalogue.APN;
        if (in.Catalogue.User)
            settings.Username = *in.Catalogue.User;
        if (in.Catalogue.Password)
            settings.Password = *in.Catalogue.Password;
        if (o.APN)
            settings.APN = ToLatin1(*o.APN);
        if (o.UserName)
            settings.Username = ToLatin1(*o.UserName);
        if (o.PasswordFromStdin)
            settings.Password = in.Password;
    }
    const std::string problem = ConnectionSettingsProblem(settings);
    if (!problem.empty())
        return s.Usage(QString::fromStdString(problem));
    return EXIT_CLI_OK;
}

} // namespace

int RunSaveSettings(TCliSession &s)
{
    TSettingsInput in;
    if (const int r = ReadInput(s, in); r != EXIT_CLI_OK)
        return r;
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    TConnectionSettings settings;
    if (const int r = ChangedSettings(s, in, settings); r != EXIT_CLI_OK)
        return r;

    // The save ends the connection either way: the worker goes to closing
    // on success and through the error state on failure; the engine keeps
    // the save's own outcome.
    TSerialThread &engine = s.Engine();
    engine.SaveConnectionSettings(settings);
    s.Pump([&] { return s.Disconnected() && engine.LinkState() == LINK_IDLE; }, s.JobLimit());
    if (s.WasInterrupted())
        return s.Interrupted();
    const bool saved = engine.SaveOutcome() == SAVE_SUCCEEDED && s.Disconnected() && !s.TimedOut();
    s.UnitResets(); // nothing more to tell it
    const bool json = s.Options().Json;
    if (json)
        s.PrintJson(QJsonObject{{"saved", saved},
                                {"connectionType", settings.IsMobile() ? "mobile" : "ethernet"}});
    if (!saved)
        return s.Failed(QStringLiteral("Saving the settings failed."));
    if (!json)
        s.Print(QStringLiteral("Settings saved. The unit applies them and resets; connect again "
                               "afterwards.\n"));
    return s.Outcome(EXIT_CLI_OK);
}
