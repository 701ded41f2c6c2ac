#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "link/Commandcodes.h"
#include "link/Usbserialinterface.h"

// Message bytes carried by one block frame (one more byte is the header).
constexpr std::size_t kMessageBlockBytes = 254;

// CheckFirmware results.
enum : int {
    FIRMWARE_OK = 0,
    FIRMWARE_NO_ANSWER = 1,
    FIRMWARE_TOO_OLD = 2,
};

// The one object through which the unit is reached: the selected link plus
// the operations that span several frames or expect a reply of fixed size.
class TZelvoCommsInterface : public TUSBSerialInterface
{
public:
    explicit TZelvoCommsInterface(const TPacing &pacing = TPacing{});

    // Reads a server reply: its total (up to 10 attempts, a retry pause
    // apart), then its blocks (at most 50 failed block frames over the whole
    // transfer). An abort ends it at once, as failed. The message goes to `destination`, which
    // holds `capacity` bytes; a reply that would not fit fails the read and nothing is written past
    // the buffer.
    bool ReadMessage(uint8_t *destination, std::size_t capacity, uint16_t &length);

    // Writes a server message in numbered blocks (header byte = block
    // number). The first refused frame ends the transfer.
    bool WriteMessage(const uint8_t *data, std::size_t length);
    // Like WriteMessage, but only the first frame carries a header (0x00).
    bool WriteIOConfigMessage(const uint8_t *data, std::size_t length);

    // A reply without data leaves `state` / `unitType` as it was.
    bool ReadSFState(uint8_t &state);
    bool WriteSFCommand(uint8_t state);
    bool ReadUnitType(uint8_t &unitType);

    // The 313-byte settings block in two frames of 255 and 58 bytes. A read
    // that fails leaves `block` untouched.
    bool ReadSettingsBlock(std::array<uint8_t, kSettingsBlockSize> &block);
    bool WriteSettingsBlock(const std::array<uint8_t, kSettingsBlockSize> &block);

    bool ApplySettings();

    // 0 compatible (version 2.57 or later), 1 no answer (text unchanged),
    // 2 too old. The version text is the reply up to its first zero byte.
    int CheckFirmware(std::string &versionText);

    // The version number of a version text: what stands between its first
    // "V" and its first "?", or 0 when that does not convert.
    static float VersionNumber(const std::string &versionText);
    // Whether a unit with this version text is recent enough (2.57 or later).
    static bool IsFirmwareRecent(const std::string &versionText);
};
