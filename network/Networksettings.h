#pragma once

#include "network/Gprscountry.h"
#include "network/Gprsnetwork.h"

#include <QDomDocument>
#include <QString>

#include <memory>
#include <vector>

// The catalogue of countries and mobile networks read from networks.xml.
// It owns its records; the window's network list points into it, so it must
// outlive that list's use.
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
