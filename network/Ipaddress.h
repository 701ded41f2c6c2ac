#pragma once

#include <QString>

#include <cstdint>
#include <functional>

// Outcome of reading a dotted IPv4 address.
enum TIPAddressResult {
    IP_OK = 0,
    IP_TOO_FEW_PARTS,  // fewer than four parts
    IP_TOO_MANY_PARTS, // more than four parts
    IP_BAD_PART,       // a part that is empty, not a number, or outside 0..255
};

// Shows one address message to the user (a modal box in the window, standard
// error on the command line).
using TIPAddressMessageSink = std::function<void(const QString &message)>;

// Installs the sink used by ParseIPAddress(text, value). Without one, the
// messages are dropped.
void SetIPAddressMessageSink(TIPAddressMessageSink sink);

// The message for a failed result; empty for IP_OK.
QString IPAddressMessage(TIPAddressResult result);

// Reads "a.b.c.d" into one value with `a` in the most significant byte.
// Each part is decimal digits with at most one leading sign, and must lie in
// 0..255. On failure `value` is left unchanged.
TIPAddressResult CheckIPAddress(const QString &text, std::uint32_t &value);

// CheckIPAddress that shows the failure's message through the installed sink
// and returns whether the text was a valid address.
bool ParseIPAddress(const QString &text, std::uint32_t &value);

// The same, showing the message through `show` instead.
bool ParseIPAddress(const QString &text, std::uint32_t &value, const TIPAddressMessageSink &show);

// "a.b.c.d" in decimal without leading zeros.
QString FormatIPAddress(std::uint32_t value);
