#pragma once

// The unit's server messages: message types, the 313-byte settings block and
// the request payloads. The one-byte command codes come from the link.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "link/Commandcodes.h"
#include "protocol/Passworddigest.h"

// Server message types; the job engine uses the same numbers as job codes.
// 0 means that no message is pending.
enum TMessageType : uint16_t {
    MSG_NONE = 0,
    MSG_READ_BASIC_INFO = 1,
    MSG_READ_SNAPSHOT = 2,
    MSG_WRITE_OUTPUT = 3,
    MSG_READ_NEXT_BLOCK = 4,
    MSG_WRITE_NEXT_BLOCK = 5,
    MSG_READ_UOM_INFO = 6,
    MSG_BUFFER_TEST = 7,
    MSG_LOGON = 8,
    MSG_READ_IO_CONFIG = 9,
    MSG_READ_UOM_LIST = 10,
    MSG_READ_INPUT_TYPES = 11,
    MSG_READ_MODBUS_DATA = 12,
    MSG_WRITE_IO_CONFIG = 13,
};

// The byte returned by CMD_READ_UNIT_TYPE.
enum TUnitType : uint8_t {
    UNIT_TYPE_OSTRA = 2,
    UNIT_TYPE_VELLO = 3,
};

// Connection type values at offset 5 of the settings block.
constexpr uint8_t kConnectionTypeEthernet = 0;
constexpr uint8_t kConnectionTypeMobile = 2;

// Longest texts the settings block can hold (its field width less the
// terminator) and the e-mail field of the logon message.
constexpr std::size_t kMaxUserNameLength = 44;
constexpr std::size_t kMaxPasswordLength = 19;
constexpr std::size_t kMaxAPNLength = 124;
constexpr std::size_t kMaxEmailLength = 128;

// The unit's 313-byte settings block. It is read whole, only the fields below
// are changed, and it is written back whole: every other byte is the unit's
// and goes back exactly as read.
struct TUnitSettingsBlock {
    static constexpr std::size_t Size = kSettingsBlockSize;
    static constexpr std::size_t Part1Size = kSettingsPart1Size;
    static constexpr std::size_t Part2Size = kSettingsPart2Size;

    static constexpr std::size_t OffsetConnectionType = 5;
    static constexpr std::size_t OffsetIPAddress = 6;
    static constexpr std::size_t OffsetNetMask = 10;
    static constexpr std::size_t OffsetDefaultGateway = 14;
    static constexpr std::size_t OffsetUserName = 38;
    static constexpr std::size_t WidthUserName = 45;
    static constexpr std::size_t OffsetPassword = 83;
    static constexpr std::size_t WidthPassword = 20;
    static constexpr std::size_t OffsetAPN = 103;
    static constexpr std::size_t WidthAPN = 125;
    static constexpr std::size_t OffsetDNSServer = 228;
    static constexpr std::size_t OffsetUseDHCP = 295;

    std::array<uint8_t, Size> Bytes{};

    uint8_t ConnectionType() const { return Bytes[OffsetConnectionType]; }
    void SetConnectionType(uint8_t type) { Bytes[OffsetConnectionType] = type; }

    // Addresses: u32 little-endian, first dotted octet most significant.
    uint32_t IPAddress() const { return GetU32(OffsetIPAddress); }
    void SetIPAddress(uint32_t v) { PutU32(OffsetIPAddress, v); }
    uint32_t NetMask() const { return GetU32(OffsetNetMask); }
    void SetNetMask(uint32_t v) { PutU32(OffsetNetMask, v); }
    uint32_t DefaultGateway() const { return GetU32(OffsetDefaultGateway); }
    void SetDefaultGateway(uint32_t v) { PutU32(OffsetDefaultGateway, v); }
    uint32_t DNSServer() const { return GetU32(OffsetDNSServer); }
    void SetDNSServer(uint32_t v) { PutU32(OffsetDNSServer, v); }

    // Texts end at their first zero byte; a field without one is read up to
    // its longest text, so what is read can always be written back.
    std::string UserName() const { return GetText(OffsetUserName, kMaxUserNameLength); }
    std::string Password() const { return GetText(OffsetPassword, kMaxPasswordLength); }
    std::string APN() const { return GetText(OffsetAPN, kMaxAPNLength); }

    // Writes the text and its terminator; the bytes after the terminator keep
    // their values. A text longer than its field (or containing a zero byte)
    // is refused: false, and the block is left unchanged.
    bool SetUserName(const std::string &text)
    {
        return PutText(OffsetUserName, kMaxUserNameLength, text);
    }
    bool SetPassword(const std::string &text)
    {
        return PutText(OffsetPassword, kMaxPasswordLength, text);
    }
    bool SetAPN(const std::string &text) { return PutText(OffsetAPN, kMaxAPNLength, text); }

    bool UseDHCP() const { return Bytes[OffsetUseDHCP] != 0; }
    void SetUseDHCP(bool on) { Bytes[OffsetUseDHCP] = on ? 1 : 0; }

    bool operator==(const TUnitSettingsBlock &) const = default;

private:
    uint32_t GetU32(std::size_t at) const;
    void PutU32(std::size_t at, uint32_t v);
    std::string GetText(std::size_t at, std::size_t maxLength) const;
    bool PutText(std::size_t at, std::size_t maxLength, const std::string &text);
};
static_assert(sizeof(TUnitSettingsBlock) == TUnitSettingsBlock::Size);

// Outputs switched with MSG_WRITE_OUTPUT, in the order of their index.
extern const std::array<const char *, 17> kOutputNames;

// Index of an output name in kOutputNames, or -1 when it is not one.
int OutputIndex(const std::string &name);

// MSG_WRITE_OUTPUT payload: one byte, index * 2 + state, in 8 bits.
std::vector<uint8_t> BuildWriteOutputPayload(int outputIndex, int state);

// MSG_BUFFER_TEST payload: 500 bytes, byte j = j mod 251.
constexpr std::size_t kBufferTestLength = 500;
std::vector<uint8_t> BuildBufferTestPayload();

// MSG_LOGON payload: 128-byte e-mail field (zero padded) and the 16-byte
// PasswordDigest. An address longer than 128 bytes is refused: false, and
// `payload` is left unchanged.
constexpr std::size_t kLogonPayloadLength = 144;
bool BuildLogonPayload(const std::string &email, const std::string &password,
                       std::vector<uint8_t> &payload);
