#pragma once

// How the unit reaches its server: the record the window, the job engine and
// the unit object pass around, and its mapping onto the unit's settings block.

#include <cstdint>
#include <string>

#include "protocol/Commands.h"

struct TConnectionSettings {
    // 2 mobile (GPRS), 0 Ethernet.
    int32_t ConnectionType = kConnectionTypeMobile;
    std::string APN;
    std::string Username;
    std::string Password;
    bool UseDHCP = false;
    // IPv4 addresses, first dotted part in the most significant byte
    // (10.1.2.3 is 0x0A010203).
    uint32_t IPAddress = 0;
    uint32_t NetMask = 0;
    uint32_t DefaultGateway = 0;
    uint32_t DNSServer = 0;

    bool IsMobile() const { return ConnectionType == kConnectionTypeMobile; }

    bool operator==(const TConnectionSettings &) const = default;
};

// Copies the connection fields out of a settings block: the type, the three
// texts up to their zero byte (or the field's end), DHCP as true when nonzero
// and the four addresses.
TConnectionSettings ConnectionSettingsFromBlock(const TUnitSettingsBlock &block);

// Why `settings` cannot be written into a settings block, or empty when it
// can: a mobile text longer than its field or holding a zero byte.
std::string ConnectionSettingsProblem(const TConnectionSettings &settings);

// Writes `settings` into `block` the way a save does: the connection type
// always; for mobile only the APN, username and password (each with its
// terminator, the bytes after it untouched); otherwise only the four
// addresses and the DHCP flag. Every other byte stays as it was. When a text
// does not fit its field nothing is changed and false is returned.
bool ApplyConnectionSettingsToBlock(const TConnectionSettings &settings, TUnitSettingsBlock &block);
