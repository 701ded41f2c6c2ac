#pragma once

#include <array>
#include <cstdint>
#include <string>

// The logon credential: the MD5 digest of the password's bytes (no
// terminator), each of the 16 bytes ANDed with 0x7F. The password itself is
// never sent to the unit.
std::array<uint8_t, 16> PasswordDigest(const std::string &password);
