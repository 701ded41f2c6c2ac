#pragma once

// The unit's serial command set as the link sends it: the one-byte command
// codes and the sizes of the settings block's two transfer parts. The
// protocol layer builds its messages on the same definitions.

#include <cstddef>
#include <cstdint>

// One-byte command codes carried in a request frame.
enum TCommandCode : uint8_t {
    CMD_READ_SETTINGS_1 = 0x00,
    CMD_READ_SETTINGS_2 = 0x01,
    CMD_WRITE_SETTINGS_1 = 0x02,
    CMD_WRITE_SETTINGS_2 = 0x03,
    CMD_SET_IO_VALUE = 0x06,
    CMD_READ_LIVE_VALUES = 0x0A,
    CMD_READ_UNIT_TYPE = 0x0D,
    CMD_APPLY_SETTINGS = 0x14,
    CMD_READ_SF_STATE = 0x15,
    CMD_WRITE_SF_COMMAND = 0x16,
    CMD_WRITE_MESSAGE_BLOCK = 0x17,
    CMD_READ_MESSAGE_LENGTH = 0x18,
    CMD_READ_MESSAGE_BLOCK = 0x19,
    CMD_SIGNAL_MONITOR = 0x1A,
    CMD_READ_SIGNAL = 0x1B,
    CMD_EXT_START = 0x1C,
    CMD_EXT_READ_VALUES = 0x1D,
    CMD_EXT_READ_ERRORS = 0x1E,
    CMD_EXT_WRITE_ERRORS = 0x1F,
    CMD_READ_VERSION = 0xDF,
};

// Size of the unit's settings block and of its two transfer parts
// (CMD_READ/WRITE_SETTINGS_1 and _2).
constexpr std::size_t kSettingsBlockSize = 313;
constexpr std::size_t kSettingsPart1Size = 255;
constexpr std::size_t kSettingsPart2Size = 58;
