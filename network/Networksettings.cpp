#include "network/Networksettings.h"

#include "network/Xmlutil.h"

#include <QFile>
#include <QFileInfo>

TNetworkSettings::TNetworkSettings() = default;

TNetworkSettings::~TNetworkSettings()
{
    FNetworks.clear();
    FCountries.clear();
    FDocument.clear();
}

bool TNetworkSettings::LoadCatalogue(const QString &fileName)
{
    if (!QFileInfo(fileName).isFile())
        throw EXMLError(QStringLiteral("Could not find XML document : ") + fileName);

    FNetworks.clear();
    FCountries.clear();
    FDocument = QDomDocument();

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EXMLError(QStringLiteral("Could not open XML document : %1 (%2)")
                            .arg(fileName, file.errorString()));

    QString parseError;
    int line = 0;
    int column = 0;
    if (!FDocument.setContent(&file, &parseError, &line, &column))
        throw EXMLError(
            QStringLiteral("%1 (line %2, column %3)").arg(parseError).arg(line).arg(column));

    const QDomElement root = FDocument.documentElement();
    if (root.isNull() || root.nodeName() != QLatin1String("root"))
        throw EXMLError(QStringLiteral("Could not find parent tag: root"));

    for (QDomNode child = root.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (child.nodeName() == QLatin1String("countries"))
            LoadCountries(child);
        else if (child.nodeName() == QLatin1String("networks"))
            LoadNetworks(child);
    }
    return true;
}

bool TNetworkSettings::TryLoadCatalogue(const QString &fileName, QString *errorMessage) noexcept
{
    try {
        return LoadCatalogue(fileName);
    } catch (const EXMLError &e) {
        if (errorMessage)
            *errorMessage = e.Message();
    } catch (const std::exception &e) {
        if (errorMessage)
            *errorMessage = QString::fromLocal8Bit(e.what());
    }
    return false;
}

// Every element child is one record whatever its name; comments and stray text
// between records are not records.
void TNetworkSettings::LoadCountries(const QDomNode &parent)
{
    for (QDomNode child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement())
            continue;
        auto country = std::make_unique<TGPRSCountry>();
        country->LoadFromXML(child);
        FCountries.push_back(std::move(country));
    }
}

void TNetworkSettings::LoadNetworks(const QDomNode &parent)
{
    for (QDomNode child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
        if (!child.isElement())
            continue;
        auto network = std::make_unique<TGPRSNetwork>();
        network->LoadFromXML(child);
        FNetworks.push_back(std::move(network));
    }
}
