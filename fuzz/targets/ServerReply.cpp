// A server reply as the engine takes it: downloaded with the multi-block read
// into the engine's reply buffer, then checked and decoded by the parser into
// the unit object. The first byte picks the message type and the link kind.

#include <vector>

#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    zelvo::test::TScriptedComms comms(data + 1, size - 1, (mode & 0x80) != 0);
    TZelvo unit(comms, nullptr);
    TCommissioningDataParser parser(nullptr);
    int lines = 0;
    parser.SetSnapshotSink([&lines] { lines = 0; }, [&lines](const QString &) { ++lines; });
    // Types 0..15: every message type and a few that do not exist.
    parser.SetType(static_cast<int16_t>(mode & 0x0F));
    std::vector<uint8_t> reply(8000);
    uint16_t length = 0;
    if (comms.ReadMessage(reply.data(), reply.size(), length)) {
        // An exact copy, so a decoder reading past the reply is caught.
        std::vector<uint8_t> exact(reply.begin(), reply.begin() + length);
        exact.shrink_to_fit();
        parser.ParseReply(exact.empty() ? nullptr : exact.data(), static_cast<int>(exact.size()),
                          (mode & 0x40) ? nullptr : &unit);
    }
    return 0;
}
