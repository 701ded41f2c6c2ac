#pragma once

// How the front ends and the report put the unit's values into words.

#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QString>

#include <cstdint>
#include <string>

namespace unittext
{

inline QString Latin1(const std::string &s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string ToLatin1(const QString &s)
{
    return s.toLatin1().toStdString();
}

// A version reply shown as text: up to its first zero, control bytes dropped.
inline QString PrintableVersion(const std::string &text)
{
    QString out;
    for (char c : text) {
        if (c == '\0')
            break;
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F)
            out += QChar(u);
    }
    return out.trimmed();
}

inline QString TagKey(QString tag)
{
    tag = tag.trimmed();
    if (tag.startsWith('[') && tag.endsWith(']'))
        tag = tag.mid(1, tag.size() - 2);
    return tag.trimmed().toUpper();
}

inline QString ModelName(std::uint8_t unitType)
{
    switch (unitType) {
    case UNIT_TYPE_OSTRA:
        return QStringLiteral("OSTRA");
    case UNIT_TYPE_VELLO:
        return QStringLiteral("VELLO");
    default:
        return QStringLiteral("unknown");
    }
}

inline QString ConnectionTypeName(int type)
{
    if (type == kConnectionTypeMobile)
        return QStringLiteral("Mobile (GPRS)");
    if (type == kConnectionTypeEthernet)
        return QStringLiteral("Ethernet");
    return QStringLiteral("Unknown (%1)").arg(type);
}

} // namespace unittext
