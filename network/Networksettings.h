#pragma once

#include "network/Gprscountry.h"
#include "network/Gprsnetwork.h"

#include <QDomDocument>
#include <QString>

#include <memory>
#include <vector>

class QComboBox;

// The catalogue of countries and mobile networks read from networks.xml.
// It owns its records; network combo box items point into it, so it must
// outlive their use.
class TNetworkSettings
{
public:
    TNetworkSettings();
    ~TNetworkSettings();
    TNetworkSettings(const TNetworkSettings &) = delete;
    TNetworkSettings &operator=(const TNetworkSettings &) = delete;

    // Reads the file and fills both lists in file order. Returns true, or
    // throws EXMLError with the message to show. Records read before a
    // failure stay in the lists. Loading again replaces both lists.
    bool LoadCatalogue(const QString &fileName);

    // LoadCatalogue without the exception: false with the message in
    // `errorMessage` (when not null).
    bool TryLoadCatalogue(const QString &fileName, QString *errorMessage) noexcept;

    // "<None>" (no value) then every country with its ID as item data; the
    // last country with ID 1 is selected, otherwise nothing is. Emits no
    // change signals: the caller runs its own change handling.
    void FillCountryList(QComboBox *comboBox) const;

    // Nothing for countryId -1; otherwise "<None>" (no value) then the
    // networks of that country (all of them for countryId 0) with the record
    // as item data, the first network selected, or nothing selected when there
    // is none. Emits no change signals.
    void FillNetworkList(QComboBox *comboBox, int countryId) const;

    const std::vector<std::unique_ptr<TGPRSCountry>> &Countries() const { return FCountries; }
    const std::vector<std::unique_ptr<TGPRSNetwork>> &Networks() const { return FNetworks; }
    const QDomDocument &Document() const { return FDocument; }

private:
    void LoadCountries(const QDomNode &parent);
    void LoadNetworks(const QDomNode &parent);

    QDomDocument FDocument;
    std::vector<std::unique_ptr<TGPRSNetwork>> FNetworks;
    std::vector<std::unique_ptr<TGPRSCountry>> FCountries;
};

// The country ID stored with the selected item: -1 when nothing is selected,
// 0 for "<None>".
int SelectedCountryId(const QComboBox *comboBox);

// The network stored with the selected item, or null when nothing is selected
// or "<None>" is.
const TGPRSNetwork *SelectedNetwork(const QComboBox *comboBox);
