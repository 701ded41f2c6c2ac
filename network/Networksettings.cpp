#include "network/Networksettings.h"

#include "network/Xmlutil.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>

namespace
{

const QString kNone = QStringLiteral("<None>");

} // namespace

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

void TNetworkSettings::FillCountryList(QComboBox *comboBox) const
{
    const QSignalBlocker blocker(comboBox);
    comboBox->clear();
    comboBox->addItem(kNone);
    int selected = -1;
    for (const auto &country : FCountries) {
        comboBox->addItem(country->Name(), country->ID());
        if (country->ID() == 1)
            selected = comboBox->count() - 1;
    }
    // Adding the first item selects it; only a country with ID 1 is a default.
    comboBox->setCurrentIndex(selected);
}

void TNetworkSettings::FillNetworkList(QComboBox *comboBox, int countryId) const
{
    const QSignalBlocker blocker(comboBox);
    comboBox->clear();
    if (countryId == -1)
        return;
    comboBox->addItem(kNone);
    int selected = -1;
    for (const auto &network : FNetworks) {
        if (countryId != 0 && network->CountryID() != countryId)
            continue;
        comboBox->addItem(network->Name(),
                          QVariant::fromValue<const TGPRSNetwork *>(network.get()));
        if (selected == -1)
            selected = comboBox->count() - 1;
    }
    comboBox->setCurrentIndex(selected);
}

int SelectedCountryId(const QComboBox *comboBox)
{
    if (comboBox->currentIndex() < 0)
        return -1;
    // "<None>" carries no value, which reads as 0.
    return comboBox->currentData().toInt();
}

const TGPRSNetwork *SelectedNetwork(const QComboBox *comboBox)
{
    if (comboBox->currentIndex() < 0)
        return nullptr;
    const QVariant data = comboBox->currentData();
    if (data.metaType() != QMetaType::fromType<const TGPRSNetwork *>())
        return nullptr;
    return data.value<const TGPRSNetwork *>();
}
