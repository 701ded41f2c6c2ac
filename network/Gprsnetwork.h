#pragma once

#include <QDomNode>
#include <QMetaType>
#include <QString>

// One mobile network's access-point settings in the network catalogue.
class TGPRSNetwork
{
public:
    TGPRSNetwork();
    ~TGPRSNetwork();

    // Reads "country" (integer), "name", "apn", "username", "password" in that
    // order; throws EXMLError at the first one missing or malformed.
    void LoadFromXML(const QDomNode &node);

    qint32 CountryID() const { return FCountryID; }
    const QString &Name() const { return FName; }
    const QString &APN() const { return FAPN; }
    const QString &Username() const { return FUsername; }
    const QString &Password() const { return FPassword; }

private:
    qint32 FCountryID;
    QString FName;
    QString FAPN;
    QString FUsername;
    QString FPassword;
};

// Network combo box items carry the record as item data.
Q_DECLARE_METATYPE(const TGPRSNetwork *)
