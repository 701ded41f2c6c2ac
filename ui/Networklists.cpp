#include "ui/Networklists.h"

#include "network/Networksettings.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace
{

const QString kNone = QStringLiteral("<None>");

} // namespace

void FillCountryList(const TNetworkSettings &catalogue, QComboBox *comboBox)
{
    const QSignalBlocker blocker(comboBox);
    comboBox->clear();
    comboBox->addItem(kNone);
    int selected = -1;
    for (const auto &country : catalogue.Countries()) {
        comboBox->addItem(country->Name(), country->ID());
        if (country->ID() == 1)
            selected = comboBox->count() - 1;
    }
    // Adding the first item selects it; only a country with ID 1 is a default.
    comboBox->setCurrentIndex(selected);
}

void FillNetworkList(const TNetworkSettings &catalogue, QComboBox *comboBox, int countryId)
{
    const QSignalBlocker blocker(comboBox);
    comboBox->clear();
    if (countryId == -1)
        return;
    comboBox->addItem(kNone);
    int selected = -1;
    for (const auto &network : catalogue.Networks()) {
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
