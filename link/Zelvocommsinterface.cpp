#include "link/Zelvocommsinterface.h"

#include <QtEndian>

#include <algorithm>
#include <charconv>
#include <cstring>

namespace
{

constexpr int kTotalAttempts = 10;
constexpr int kMaxFailedBlocks = 50;
// Block numbers travel in one byte.
constexpr std::size_t kMaxBlocks = 256;
// A frame's data is at most 255 bytes.
constexpr std::size_t kReplyBuffer = 256;

constexpr float kMinimumFirmware = 2.57f;

} // namespace

TZelvoCommsInterface::TZelvoCommsInterface(const TPacing &pacing) : TUSBSerialInterface(pacing) {}

bool TZelvoCommsInterface::ReadMessage(uint8_t *destination, std::size_t capacity, uint16_t &length)
{
    if (destination == nullptr)
        capacity = 0;
    // The length travels back in 16 bits.
    capacity = std::min<std::size_t>(capacity, 0xFFFF);
    uint8_t reply[kReplyBuffer] = {};

    uint32_t total = 0;
    for (int attempt = 0; attempt < kTotalAttempts && total == 0; ++attempt) {
        int32_t n = 0;
        if (Query(CMD_READ_MESSAGE_LENGTH, reply, n) && n == 2)
            total = qFromLittleEndian<quint16>(reply);
        if (total == 0 && !Pause(Pacing().RetryPause))
            return false;
    }
    if (total == 0)
        return false;

    // The total counts one header byte per block of up to 255 bytes; a
    // message that cannot fit the destination is refused before any block.
    const std::size_t fewestBlocks = (total + 254) / 255;
    if (total - fewestBlocks > capacity || fewestBlocks > kMaxBlocks)
        return false;

    std::size_t received = 0;
    std::size_t block = 0;
    int failures = 0;
    while (received < total && failures < kMaxFailedBlocks) {
        if (block >= kMaxBlocks || IsAborted())
            return false;
        const uint8_t number = static_cast<uint8_t>(block);
        int32_t n = 0;
        const bool ok = QueryWithPayload(CMD_READ_MESSAGE_BLOCK, &number, 1, reply, n);
        const std::size_t dataBytes = n > 1 ? static_cast<std::size_t>(n) - 1 : 0;
        const std::size_t offset = block * kMessageBlockBytes;
        // An ACK without data, or a short block that does not end the
        // message (it would leave a gap), is a failed block: ask again.
        const bool complete = received + static_cast<std::size_t>(n) >= total;
        if (!ok || n < 1 || (dataBytes < kMessageBlockBytes && !complete)) {
            ++failures;
            continue;
        }
        if (offset + dataBytes > capacity)
            return false;
        // A header-only block carries nothing, and the destination may be
        // null then: memcpy must not see a null pointer even for 0 bytes.
        if (dataBytes > 0)
            std::memcpy(destination + offset, reply + 1, dataBytes);
        received += static_cast<std::size_t>(n);
        ++block;
    }
    if (failures >= kMaxFailedBlocks)
        return false;
    length = static_cast<uint16_t>(received - block);
    return true;
}

bool TZelvoCommsInterface::WriteMessage(const uint8_t *data, std::size_t length)
{
    if (length == 0)
        return true;
    // The block number would wrap and the unit would overwrite block 0.
    if (data == nullptr || (length + kMessageBlockBytes - 1) / kMessageBlockBytes > kMaxBlocks)
        return false;
    uint8_t frame[kMessageBlockBytes + 1];
    std::size_t sent = 0;
    for (std::size_t block = 0; sent < length; ++block) {
        const std::size_t take = std::min(kMessageBlockBytes, length - sent);
        frame[0] = static_cast<uint8_t>(block);
        std::memcpy(frame + 1, data + sent, take);
        if (!Send(CMD_WRITE_MESSAGE_BLOCK, frame, static_cast<uint32_t>(take + 1)))
            return false;
        sent += take;
    }
    return true;
}

bool TZelvoCommsInterface::WriteIOConfigMessage(const uint8_t *data, std::size_t length)
{
    if (length == 0)
        return true;
    if (data == nullptr)
        return false;
    uint8_t frame[kMessageBlockBytes + 1];
    std::size_t sent = 0;
    for (bool first = true; sent < length; first = false) {
        const std::size_t take = std::min(kMessageBlockBytes, length - sent);
        std::size_t at = 0;
        if (first)
            frame[at++] = 0x00;
        std::memcpy(frame + at, data + sent, take);
        if (!Send(CMD_WRITE_MESSAGE_BLOCK, frame, static_cast<uint32_t>(at + take)))
            return false;
        sent += take;
    }
    return true;
}

bool TZelvoCommsInterface::ReadSFState(uint8_t &state)
{
    uint8_t reply[kReplyBuffer] = {};
    int32_t n = 0;
    const bool ok = Query(CMD_READ_SF_STATE, reply, n);
    if (n >= 1)
        state = reply[0];
    return ok;
}

bool TZelvoCommsInterface::WriteSFCommand(uint8_t state)
{
    return Send(CMD_WRITE_SF_COMMAND, &state, 1);
}

bool TZelvoCommsInterface::ReadUnitType(uint8_t &unitType)
{
    uint8_t reply[kReplyBuffer] = {};
    int32_t n = 0;
    const bool ok = Query(CMD_READ_UNIT_TYPE, reply, n);
    if (n >= 1)
        unitType = reply[0];
    return ok;
}

bool TZelvoCommsInterface::ReadSettingsBlock(std::array<uint8_t, kSettingsBlockSize> &block)
{
    uint8_t first[kReplyBuffer] = {};
    uint8_t second[kReplyBuffer] = {};
    int32_t n = 0;
    if (!Query(CMD_READ_SETTINGS_1, first, n) || n != static_cast<int32_t>(kSettingsPart1Size))
        return false;
    n = 0;
    if (!Query(CMD_READ_SETTINGS_2, second, n) || n != static_cast<int32_t>(kSettingsPart2Size))
        return false;
    std::memcpy(block.data(), first, kSettingsPart1Size);
    std::memcpy(block.data() + kSettingsPart1Size, second, kSettingsPart2Size);
    return true;
}

bool TZelvoCommsInterface::WriteSettingsBlock(const std::array<uint8_t, kSettingsBlockSize> &block)
{
    if (!Send(CMD_WRITE_SETTINGS_1, block.data(), kSettingsPart1Size))
        return false;
    return Send(CMD_WRITE_SETTINGS_2, block.data() + kSettingsPart1Size, kSettingsPart2Size);
}

bool TZelvoCommsInterface::ApplySettings()
{
    return Send(CMD_APPLY_SETTINGS, nullptr, 0);
}

float TZelvoCommsInterface::VersionNumber(const std::string &versionText)
{
    const auto v = versionText.find('V');
    const auto q = versionText.find('?');
    std::string number;
    if (q != std::string::npos) {
        const std::size_t from = v == std::string::npos ? 0 : v + 1;
        if (from <= q)
            number = versionText.substr(from, q - from);
    }
    // Read the same whatever the PC's locale: '.' or ',' as decimal point.
    std::replace(number.begin(), number.end(), ',', '.');
    const auto b = number.find_first_not_of(" \t");
    const auto e = number.find_last_not_of(" \t");
    if (b == std::string::npos)
        return 0.0f;
    number = number.substr(b, e - b + 1);
    float value = 0.0f;
    const char *end = number.data() + number.size();
    const auto [ptr, ec] = std::from_chars(number.data(), end, value);
    if (ec != std::errc() || ptr != end)
        return 0.0f;
    return value;
}

int TZelvoCommsInterface::CheckFirmware(std::string &versionText)
{
    uint8_t reply[kReplyBuffer] = {};
    int32_t n = 0;
    if (!Query(CMD_READ_VERSION, reply, n))
        return FIRMWARE_NO_ANSWER;
    const std::size_t available = static_cast<std::size_t>(std::clamp<int32_t>(n, 0, 255));
    const auto *text = reinterpret_cast<const char *>(reply);
    versionText.assign(text, strnlen(text, available));
    return IsFirmwareRecent(versionText) ? FIRMWARE_OK : FIRMWARE_TOO_OLD;
}

bool TZelvoCommsInterface::IsFirmwareRecent(const std::string &versionText)
{
    return VersionNumber(versionText) >= kMinimumFirmware;
}
