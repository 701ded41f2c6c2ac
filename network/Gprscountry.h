#pragma once

#include <QDomNode>
#include <QString>

// One country of the network catalogue.
class TGPRSCountry
{
public:
    TGPRSCountry();
    ~TGPRSCountry();

    // Reads "ID" (integer) then "name"; throws EXMLError at the first one
    // missing or malformed, leaving the fields read before it set.
    void LoadFromXML(const QDomNode &node);

    const QString &Name() const { return FName; }
    qint32 ID() const { return FID; }

private:
    QString FName;
    qint32 FID;
};
