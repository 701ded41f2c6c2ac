#pragma once

// The unit's own view of the wire: command codes, store-and-forward states,
// server message types, frame checksums and the server message envelope.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zsim
{

using Bytes = std::vector<uint8_t>;

namespace cmd
{
constexpr uint8_t ReadSettings1 = 0x00;
constexpr uint8_t ReadSettings2 = 0x01;
constexpr uint8_t WriteSettings1 = 0x02;
constexpr uint8_t WriteSettings2 = 0x03;
constexpr uint8_t SetIoValue = 0x06;
constexpr uint8_t ReadLiveValues = 0x0A;
constexpr uint8_t ReadUnitType = 0x0D;
constexpr uint8_t ApplySettings = 0x14;
constexpr uint8_t ReadSfState = 0x15;
constexpr uint8_t WriteSfCommand = 0x16;
constexpr uint8_t WriteMessageBlock = 0x17;
constexpr uint8_t ReadMessageLength = 0x18;
constexpr uint8_t ReadMessageBlock = 0x19;
constexpr uint8_t SignalMonitor = 0x1A;
constexpr uint8_t ReadSignal = 0x1B;
constexpr uint8_t ExtStart = 0x1C;
constexpr uint8_t ExtReadValues = 0x1D;
constexpr uint8_t ExtReadErrors = 0x1E;
constexpr uint8_t ExtWriteErrors = 0x1F;
constexpr uint8_t ReadVersion = 0xDF;
} // namespace cmd

// Store-and-forward states as the unit reports them.
namespace sf
{
constexpr int Idle = 0;
constexpr int Connecting = 1;
constexpr int ConnectingWithSnapshot = 2;
constexpr int ForceSync = 3;
constexpr int Processing = 4;
constexpr int WaitingUpload = 5;
constexpr int Uploading = 6;
constexpr int Downloading = 7;
constexpr int WaitingDownload = 8;
constexpr int LoggingOff = 9;
constexpr int Error = 10;
constexpr int Unknown = 11;
} // namespace sf

namespace msg
{
constexpr uint16_t ReadBasicInfo = 1;
constexpr uint16_t ReadSnapshot = 2;
constexpr uint16_t WriteOutput = 3;
constexpr uint16_t ReadNextBlock = 4;
constexpr uint16_t WriteNextBlock = 5;
constexpr uint16_t ReadUomInfo = 6;
constexpr uint16_t BufferTest = 7;
constexpr uint16_t Logon = 8;
constexpr uint16_t ReadIoConfig = 9;
constexpr uint16_t ReadUomList = 10;
constexpr uint16_t ReadInputTypes = 11;
constexpr uint16_t ReadModbusData = 12;
constexpr uint16_t WriteIoConfig = 13;
} // namespace msg

constexpr uint8_t kStartByte = 0x0A;
constexpr size_t kSettingsSize = 313;
constexpr size_t kSettingsPart1 = 255;
constexpr size_t kSettingsPart2 = 58;
constexpr size_t kBlockBytes = 254;  // message bytes per block frame
constexpr size_t kMaxMessage = 8192; // the unit's store for one outgoing message

// Reply status bits.
constexpr uint8_t kAck = 0x01;
constexpr uint8_t kHasData = 0x02;

std::string CommandName(uint8_t code);
std::string SfStateName(int state);
std::string MessageName(uint16_t type);

// Parses a command code: a number (decimal or 0x hex) or a name with or without CMD_.
bool ParseCommand(const std::string &text, int *out);
bool ParseMessageType(const std::string &text, int *out);
bool ParseSfState(const std::string &text, int *out);

uint8_t Xor(const uint8_t *p, size_t n);

// Two's complement of the 8-bit sum, so that data plus checksum add up to 0.
uint8_t NegSum(const uint8_t *p, size_t n);

// A server reply with its trailing checksum.
Bytes SealReply(Bytes body);

// The envelope the tool wraps around a server message.
Bytes BuildEnvelope(uint16_t type, const Bytes &payload);

std::string Hex(const uint8_t *p, size_t n);
inline std::string Hex(const Bytes &b)
{
    return Hex(b.data(), b.size());
}

// Little-endian helpers.
inline void PutU16(Bytes &b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void PutU32(Bytes &b, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(uint8_t(v >> (8 * i)));
}
void PutF32(Bytes &b, float f);
// Text in a fixed field of `width` bytes, cut to fit, zero padded.
void PutFixed(Bytes &b, const std::string &s, size_t width);

inline uint32_t GetU32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint16_t GetU16(const uint8_t *p)
{
    return uint16_t(p[0] | p[1] << 8);
}

} // namespace zsim
