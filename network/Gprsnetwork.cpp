#include "network/Gprsnetwork.h"

#include "network/Xmlutil.h"

TGPRSNetwork::TGPRSNetwork()
    : FCountryID(0), FName(QStringLiteral("Unknown")), FAPN(QStringLiteral("Unknown")),
      FUsername(QStringLiteral("Unknown")), FPassword(QStringLiteral("Unknown"))
{
}

TGPRSNetwork::~TGPRSNetwork() = default;

void TGPRSNetwork::LoadFromXML(const QDomNode &node)
{
    FCountryID = GetXMLIntegerAttribute(node, QStringLiteral("country"));
    FName = GetXMLAttribute(node, QStringLiteral("name")).toString();
    FAPN = GetXMLAttribute(node, QStringLiteral("apn")).toString();
    FUsername = GetXMLAttribute(node, QStringLiteral("username")).toString();
    FPassword = GetXMLAttribute(node, QStringLiteral("password")).toString();
}
