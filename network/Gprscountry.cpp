#include "network/Gprscountry.h"

#include "network/Xmlutil.h"

TGPRSCountry::TGPRSCountry() : FName(QStringLiteral("Unknown")), FID(0) {}

TGPRSCountry::~TGPRSCountry() = default;

void TGPRSCountry::LoadFromXML(const QDomNode &node)
{
    FID = GetXMLIntegerAttribute(node, QStringLiteral("ID"));
    FName = GetXMLAttribute(node, QStringLiteral("name")).toString();
}
