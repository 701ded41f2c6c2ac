// One model reader fed through the parser with a sound checksum, so the
// fuzzer spends its time inside the reader. The message type is fixed per
// target by FUZZ_MESSAGE_TYPE; the first byte picks the unit model.

#include <vector>

#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/Wirerecord.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

#ifndef FUZZ_MESSAGE_TYPE
#error "FUZZ_MESSAGE_TYPE names the message type of the reader"
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    zelvo::test::TScriptedComms comms(nullptr, 0, false);
    TZelvo unit(comms, nullptr);
    unit.BuildIOList((data[0] & 1) ? UNIT_TYPE_OSTRA : UNIT_TYPE_VELLO);
    TCommissioningDataParser parser(nullptr);
    int lines = 0;
    parser.SetSnapshotSink([&lines] { lines = 0; }, [&lines](const QString &) { ++lines; });
    parser.SetType(FUZZ_MESSAGE_TYPE);

    std::vector<uint8_t> reply = zelvo::test::WithChecksum({data + 1, data + size});
    reply.shrink_to_fit();
    parser.ParseReply(reply.data(), static_cast<int>(reply.size()), &unit);
    // What the window does next with a decoded reply.
    unit.RefreshIODisplay();
    if (FUZZ_MESSAGE_TYPE == MSG_READ_IO_CONFIG) {
        std::vector<uint8_t> upload;
        unit.BuildIOConfigUpload(upload);
    }
    return 0;
}
