// zelvo-cli, the network catalogue: networks, and save-settings --country
// --network.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "cli/Clitable.h"
#include "frontend/Datapaths.h"
#include "network/Gprscountry.h"
#include "network/Gprsnetwork.h"
#include "network/Networksettings.h"

#include <QJsonArray>
#include <QJsonObject>

namespace
{

const TGPRSCountry *FindCountry(const TNetworkSettings &catalogue, const QString &name)
{
    for (const auto &c : catalogue.Countries())
        if (c->Name().trimmed().compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return c.get();
    return nullptr;
}

QString NoSuchCountry(const TNetworkSettings &catalogue, const QString &name)
{
    QStringList names;
    for (const auto &c : catalogue.Countries())
        names << c->Name();
    return QStringLiteral("The catalogue has no country \"%1\"; it has: %2.")
        .arg(name, names.join(QStringLiteral(", ")));
}

} // namespace

int RunNetworks(TCliSession &s)
{
    const TCliOptions &o = s.Options();
    TNetworkSettings catalogue;
    QString error;
    if (!catalogue.TryLoadCatalogue(DataFilePath(o.CataloguePath), &error)) {
        s.Host().Note(QStringLiteral("%1: %2").arg(o.CataloguePath, error));
        return EXIT_CLI_FAILED;
    }
    const TGPRSCountry *only = nullptr;
    if (o.Country) {
        only = FindCountry(catalogue, *o.Country);
        if (!only)
            return s.Usage(NoSuchCountry(catalogue, *o.Country));
    }
    QJsonArray rows;
    TCliTable table({"Country", "Network", "APN", "User", "Password"});
    for (const auto &c : catalogue.Countries()) {
        if (only && c.get() != only)
            continue;
        for (const auto &n : catalogue.Networks()) {
            if (n->CountryID() != c->ID())
                continue;
            rows.append(QJsonObject{{"country", c->Name()},
                                    {"network", n->Name()},
                                    {"apn", n->APN()},
                                    {"user", n->Username()},
                                    {"passwordSet", !n->Password().isEmpty()}});
            table.AddRow(
                {c->Name(), n->Name(), n->APN(), n->Username(),
                 n->Password().isEmpty() ? QStringLiteral("none") : QStringLiteral("set")});
        }
    }
    if (o.Json)
        s.PrintJson(QJsonObject{{"networks", rows}});
    else
        s.Print(table.Format());
    return EXIT_CLI_OK;
}

int FindCatalogueNetwork(TCliSession &s, TCatalogueNetwork &network)
{
    const TCliOptions &o = s.Options();
    if (!o.Network || !o.Country)
        return EXIT_CLI_OK;
    TNetworkSettings catalogue;
    QString error;
    if (!catalogue.TryLoadCatalogue(DataFilePath(o.CataloguePath), &error))
        return s.Usage(QStringLiteral("%1: %2").arg(o.CataloguePath, error));
    const TGPRSCountry *country = FindCountry(catalogue, *o.Country);
    if (!country)
        return s.Usage(NoSuchCountry(catalogue, *o.Country));
    QStringList names;
    for (const auto &n : catalogue.Networks()) {
        if (n->CountryID() != country->ID())
            continue;
        names << n->Name();
        if (n->Name().trimmed().compare(o.Network->trimmed(), Qt::CaseInsensitive) == 0) {
            network.APN = n->APN().toLatin1().toStdString();
            network.User = n->Username().toLatin1().toStdString();
            network.Password = n->Password().toLatin1().toStdString();
            return EXIT_CLI_OK;
        }
    }
    return s.Usage(
        QStringLiteral("%1 has no network \"%2\" in the catalogue; it has: %3.")
            .arg(country->Name(), *o.Network,
                 names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))));
}
