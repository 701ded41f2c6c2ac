// The multi-frame operations of the comms interface (server message read,
// settings block, firmware, state and unit type) over a scripted port. The
// first byte picks the operation, the link kind and the destination size;
// the destination is an exact heap allocation so any write past it shows.
// With bit 3 of the first byte set the rest is a list of replies written as
// status, length and data only; the reply code and the checksum are filled
// in, so the fuzzer reaches the message logic without solving checksums.

#include <cstdlib>
#include <memory>
#include <vector>

#include "tests/support/Scriptedcomms.h"
#include "tests/support/Wirerecord.h"

namespace
{

// Destination sizes that matter: none at all, around one block, around the
// engine's reply buffer and the 16-bit limit.
constexpr std::size_t kCapacities[8] = {0, 0, 1, 253, 255, 509, 8000, 65535};

// Status, length, data... records into sound reply frames.
std::vector<uint8_t> SealReplies(const uint8_t *data, std::size_t size)
{
    std::vector<uint8_t> wire;
    std::size_t at = 0;
    while (at < size) {
        const uint8_t status = data[at++];
        if ((status & 3) != 3) {
            wire.push_back(status);
            continue;
        }
        const std::size_t n = at < size ? data[at++] : 0;
        std::vector<uint8_t> reply(n, 0);
        for (std::size_t i = 0; i < n && at < size; ++i)
            reply[i] = data[at++];
        const std::vector<uint8_t> frame = zelvo::test::ReplyFrame(0x19, reply, status);
        wire.insert(wire.end(), frame.begin(), frame.end());
    }
    return wire;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    std::vector<uint8_t> wire(data + 1, data + size);
    if (mode & 0x08)
        wire = SealReplies(data + 1, size - 1);
    zelvo::test::TScriptedComms comms(wire.data(), wire.size(), (mode & 0x80) != 0);
    switch ((mode >> 4) & 7) {
    case 0:
    case 1:
    case 2: {
        // Index 0 is a null destination, index 1 a real one of no bytes.
        const std::size_t index = mode & 7;
        const std::size_t capacity = kCapacities[index];
        std::unique_ptr<uint8_t[]> buffer;
        if (index != 0)
            buffer.reset(new uint8_t[capacity == 0 ? 1 : capacity]);
        uint16_t length = 0xBEEF;
        const bool ok = comms.ReadMessage(buffer.get(), capacity, length);
        if (ok && length > capacity)
            std::abort();
        break;
    }
    case 3: {
        std::array<uint8_t, kSettingsBlockSize> block{};
        comms.ReadSettingsBlock(block);
        comms.WriteSettingsBlock(block);
        break;
    }
    case 4: {
        std::string text = "unchanged";
        comms.CheckFirmware(text);
        TZelvoCommsInterface::VersionNumber(text);
        break;
    }
    case 5: {
        uint8_t state = 0;
        uint8_t type = 0;
        comms.ReadSFState(state);
        comms.ReadUnitType(type);
        comms.ApplySettings();
        break;
    }
    default: {
        // Every operation in turn on one stream, as a job would.
        uint8_t buffer[8000];
        uint16_t length = 0;
        uint8_t state = 0;
        std::string text;
        comms.CheckFirmware(text);
        comms.ReadUnitType(state);
        comms.ReadSFState(state);
        comms.ReadMessage(buffer, sizeof buffer, length);
        break;
    }
    }
    return 0;
}
