// The dotted address parser, with the input read as UTF-8 and as Latin-1,
// and a parse / format / parse round trip.

#include <QString>

#include <cstdlib>

#include "network/Ipaddress.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const auto *text = reinterpret_cast<const char *>(data);
    const auto n = static_cast<qsizetype>(size);
    for (const QString &s : {QString::fromUtf8(text, n), QString::fromLatin1(text, n)}) {
        std::uint32_t value = 0xDEADBEEF;
        if (CheckIPAddress(s, value) == IP_OK) {
            std::uint32_t again = 0;
            if (CheckIPAddress(FormatIPAddress(value), again) != IP_OK || again != value)
                std::abort();
        }
    }
    return 0;
}
