// The frame reader shared by the COM and USB framers: request out, reply in,
// read from the fuzzer's bytes. Each round picks an exchange shape.

#include <cstdlib>
#include <vector>

#include "link/Framing.h"
#include "tests/support/Scriptedcomms.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t shape = data[0];
    zelvo::test::TScriptedPort port(data + 1, size - 1);
    // The framers promise to write at most 255 reply bytes.
    std::vector<uint8_t> reply(framing::kMaxPayload);
    const uint8_t payload[3] = {0x00, 0x01, 0x02};
    for (int round = 0; round < 64 && !port.Exhausted(); ++round) {
        int32_t length = -1;
        switch ((shape >> (2 * (round % 4))) & 3) {
        case 0:
            framing::Exchange(port, 10, 0x15, nullptr, 0, reply.data(), length, false);
            break;
        case 1:
            framing::Exchange(port, 10, 0x19, payload, 1, reply.data(), length, true);
            break;
        case 2:
            framing::Send(port, 10, 0x17, payload, 3);
            break;
        default:
            // A caller that wants no reply data at all.
            framing::Exchange(port, 10, 0x14, nullptr, 0, nullptr, length, false);
            break;
        }
        if (length > static_cast<int32_t>(framing::kMaxPayload))
            std::abort();
    }
    return 0;
}
