// zelvo-cli, the network catalogue: networks, and save-settings --country
// --network.

#include "cli/Clirunner.h"

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

QStringList CountryNames(const TNetworkSettings &catalogue)
{
    QStringList names;
    for (const auto &c : catalogue.Countries())
        names << c->Name();
    return names;
}

} // namespace

int TCliRunner::Networks()
{
    TNetworkSettings catalogue;
    QString error;
    if (!catalogue.TryLoadCatalogue(DataFilePath(O.CataloguePath), &error)) {
        FHost.Note(QStringLiteral("%1: %2").arg(O.CataloguePath, error));
        return EXIT_CLI_FAILED;
    }
    const TGPRSCountry *only = nullptr;
    if (O.Country) {
        only = FindCountry(catalogue, *O.Country);
        if (!only) {
            FHost.Note(QStringLiteral("The catalogue has no country \"%1\"; it has: %2.")
                           .arg(*O.Country, CountryNames(catalogue).join(QStringLiteral(", "))));
            return EXIT_CLI_USAGE;
        }
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
    if (O.Json)
        PrintJson(QJsonObject{{"networks", rows}});
    else
        Print(table.Format());
    return EXIT_CLI_OK;
}

int TCliRunner::LoadCatalogueEntry()
{
    if (O.Command != TCliCommand::SaveSettings || !O.Network || !O.Country)
        return EXIT_CLI_OK;
    TNetworkSettings catalogue;
    QString error;
    if (!catalogue.TryLoadCatalogue(DataFilePath(O.CataloguePath), &error)) {
        FHost.Note(QStringLiteral("%1: %2").arg(O.CataloguePath, error));
        return EXIT_CLI_USAGE;
    }
    const TGPRSCountry *country = FindCountry(catalogue, *O.Country);
    if (!country) {
        FHost.Note(QStringLiteral("The catalogue has no country \"%1\"; it has: %2.")
                       .arg(*O.Country, CountryNames(catalogue).join(QStringLiteral(", "))));
        return EXIT_CLI_USAGE;
    }
    QStringList names;
    for (const auto &n : catalogue.Networks()) {
        if (n->CountryID() != country->ID())
            continue;
        names << n->Name();
        if (n->Name().trimmed().compare(O.Network->trimmed(), Qt::CaseInsensitive) == 0) {
            FCatalogueApn = n->APN().toLatin1().toStdString();
            FCatalogueUser = n->Username().toLatin1().toStdString();
            FCataloguePassword = n->Password().toLatin1().toStdString();
            return EXIT_CLI_OK;
        }
    }
    FHost.Note(
        QStringLiteral("%1 has no network \"%2\" in the catalogue; it has: %3.")
            .arg(country->Name(), *O.Network,
                 names.isEmpty() ? QStringLiteral("none") : names.join(QStringLiteral(", "))));
    return EXIT_CLI_USAGE;
}
