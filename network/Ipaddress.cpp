#include "network/Ipaddress.h"

#include <mutex>

namespace
{

std::mutex gSinkLock;
TIPAddressMessageSink gSink;

// One part: at most one leading sign, then one or more ASCII digits. Anything
// else (blanks, hex, exponents, other scripts' digits) is not a number here.
// The range check is the caller's; large values saturate instead of wrapping.
bool ParsePart(QStringView part, int &number)
{
    qsizetype at = 0;
    bool negative = false;
    if (!part.isEmpty() && (part[0] == u'+' || part[0] == u'-')) {
        negative = part[0] == u'-';
        at = 1;
    }
    if (at == part.size())
        return false;
    int value = 0;
    for (; at < part.size(); ++at) {
        const char16_t c = part[at].unicode();
        if (c < u'0' || c > u'9')
            return false;
        if (value <= 1000)
            value = value * 10 + (c - u'0');
    }
    number = negative ? -value : value;
    return true;
}

} // namespace

void SetIPAddressMessageSink(TIPAddressMessageSink sink)
{
    std::lock_guard<std::mutex> lock(gSinkLock);
    gSink = std::move(sink);
}

QString IPAddressMessage(TIPAddressResult result)
{
    switch (result) {
    case IP_TOO_FEW_PARTS:
        return QStringLiteral("An IP number must contain four integers (separated by a full stop) "
                              "between 0 and 255.");
    case IP_TOO_MANY_PARTS:
        return QStringLiteral(
            "Too many integers. An IP number must contain four integers between 0 and 255.");
    case IP_BAD_PART:
        return QStringLiteral("Each part of the IP number must be an integer between 0 and 255.");
    case IP_OK:
        break;
    }
    return QString();
}

TIPAddressResult CheckIPAddress(const QString &text, std::uint32_t &value)
{
    QStringView rest(text);
    std::uint32_t result = 0;
    for (int k = 0; k < 4; ++k) {
        QStringView part;
        if (k < 3) {
            const qsizetype dot = rest.indexOf(u'.');
            if (dot < 0)
                return IP_TOO_FEW_PARTS;
            part = rest.left(dot);
            rest = rest.mid(dot + 1);
        } else {
            part = rest;
            if (part.contains(u'.'))
                return IP_TOO_MANY_PARTS;
        }
        int number = 0;
        if (!ParsePart(part, number) || number < 0 || number > 255)
            return IP_BAD_PART;
        result = (result << 8) | static_cast<std::uint32_t>(number);
    }
    value = result;
    return IP_OK;
}

bool ParseIPAddress(const QString &text, std::uint32_t &value, const TIPAddressMessageSink &show)
{
    const TIPAddressResult result = CheckIPAddress(text, value);
    if (result == IP_OK)
        return true;
    if (show)
        show(IPAddressMessage(result));
    return false;
}

bool ParseIPAddress(const QString &text, std::uint32_t &value)
{
    TIPAddressMessageSink sink;
    {
        std::lock_guard<std::mutex> lock(gSinkLock);
        sink = gSink;
    }
    return ParseIPAddress(text, value, sink);
}

QString FormatIPAddress(std::uint32_t value)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(value >> 24)
        .arg((value >> 16) & 255)
        .arg((value >> 8) & 255)
        .arg(value & 255);
}
