// Every decoder of the unit object and the parser fed random and truncated
// replies. Nothing is asserted about the decoded values: the point is that no
// input reads or writes outside what was received (run under the sanitizers).

#include <gtest/gtest.h>

#include <random>

#include "common/Errormanager.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

using namespace zelvo::test;

namespace
{

using Bytes = std::vector<uint8_t>;

class DecodersFuzz : public TWithErrorLog
{
protected:
    void SetUp() override
    {
        TWithErrorLog::SetUp();
        Parser.SetSnapshotSink([this] { Lines = 0; }, [this](const QString &) { ++Lines; });
    }

    // Random bytes whose length is biased toward the small sizes where
    // counts and layouts clash most.
    Bytes Random(int maxLength)
    {
        std::uniform_int_distribution<int> len(0, Rng() % 4 == 0 ? maxLength : 24);
        Bytes v(static_cast<std::size_t>(len(Rng)));
        for (auto &b : v)
            b = static_cast<uint8_t>(Rng());
        return v;
    }

    // Parses `content` as an exact-size heap copy with a valid checksum, so
    // the sanitizer sees any read past the reply.
    void ParseExact(int16_t type, const Bytes &content)
    {
        const Bytes reply = WithChecksum(content);
        std::vector<uint8_t> heap(reply);
        heap.shrink_to_fit();
        Parser.SetType(type);
        Parser.ParseReply(heap.data(), static_cast<int>(heap.size()), &Unit);
    }

    std::mt19937 Rng{20261207};
    TCommissioningDataParser Parser{&Errors};
    TScriptedComms Comms{true, TUnscriptedSend::Ack};
    TZelvo Unit{Comms, &Errors};
    int Lines = 0;
};

// A plausible reply of each decoded type, for cutting at every length.
Bytes SampleReply(int16_t type)
{
    TWireRecord r;
    switch (type) {
    case MSG_READ_SNAPSHOT:
        r.U16(3);
        for (int t : {1, 6, 15})
            r.U8(t).U16(4);
        r.F32(1.0f).U8(1).F32(2.0f);
        break;
    case MSG_READ_UOM_INFO:
        r.U8(2).IOUOM(9, 1).IOUOM(9, 1);
        r.U8(1).InputType(1, 1, 1, 0, 0);
        r.U8(1).U32(8).Fill(32, 'a'); // one digital UOM
        r.U8(1).U32(9).Fill(16, 'b').U8(1).U8(2).F32(0).F32(0).F32(10).F32(100);
        break;
    case MSG_READ_IO_CONFIG:
        r.U8(1).IOConfig(1, "EXT001", 1, 9, 5, "Pump").IOConfig(2, "IN01  ", 1, 9, 5, "Level");
        break;
    case MSG_READ_MODBUS_DATA:
        r.U8(1).U8(3).Fill(50, 's').U8(2);
        for (int id : {1, 2})
            r.U32(static_cast<uint32_t>(id)).U8(4).U8(3);
        break;
    default:
        r.Fill(30, 0x42);
        break;
    }
    return r;
}

const int16_t kDecodedTypes[] = {MSG_READ_BASIC_INFO,  MSG_READ_SNAPSHOT,  MSG_READ_UOM_INFO,
                                 MSG_READ_IO_CONFIG,   MSG_READ_UOM_LIST,  MSG_READ_INPUT_TYPES,
                                 MSG_READ_MODBUS_DATA, MSG_WRITE_IO_CONFIG};

} // namespace

TEST_F(DecodersFuzz, ParseReply_EveryTypeCutAtEveryLength_NoOutOfBounds)
{
    for (int16_t type : kDecodedTypes) {
        const Bytes sample = SampleReply(type);
        for (std::size_t n = 0; n <= sample.size(); ++n)
            ParseExact(type, Bytes(sample.begin(), sample.begin() + static_cast<long>(n)));
    }
    // The whole samples still decode after all the cut ones.
    ParseExact(MSG_READ_SNAPSHOT, SampleReply(MSG_READ_SNAPSHOT));
    EXPECT_EQ(Lines, 3);
}

TEST_F(DecodersFuzz, ParseReply_RandomReplies_NoOutOfBounds)
{
    for (int16_t type : kDecodedTypes) {
        for (int i = 0; i < 3000; ++i) {
            Bytes content = Random(1200);
            if (i % 2 == 0) {
                // Raw bytes: mostly failing the checksum or too short.
                content.shrink_to_fit();
                Parser.SetType(type);
                Parser.ParseReply(content.data(), static_cast<int>(content.size()), &Unit);
            } else {
                ParseExact(type, content);
            }
        }
        // The I/O configuration accumulates; start each type afresh.
        Unit.ClearIOConfig();
    }
    // Every branch ran without a sanitizer report; the parser still works.
    Parser.SetType(MSG_WRITE_OUTPUT);
    const Bytes good{0x05, 0xFB};
    EXPECT_TRUE(Parser.ParseReply(good.data(), 2, &Unit));
}

TEST_F(DecodersFuzz, LiveValuesAndFlags_RandomReplies_NoOutOfBounds)
{
    for (int type : {int(UNIT_TYPE_OSTRA), int(UNIT_TYPE_VELLO), 7}) {
        Comms.Queue(CMD_READ_UNIT_TYPE, Bytes{static_cast<uint8_t>(type)});
        ASSERT_TRUE(Unit.ReadUnitType());
        // UOM tables of every size from none to beyond the external records.
        for (int i = 0; i < 3000; ++i) {
            if (i % 100 == 0) {
                Bytes uom = Random(400);
                uom.insert(uom.begin(), static_cast<uint8_t>(i / 100 * 5));
                ParseExact(MSG_READ_UOM_INFO, uom);
            }
            Bytes live = Random(255);
            live.shrink_to_fit();
            Unit.DecodeLiveValues(live.data(), static_cast<int>(live.size()));
            Bytes flags = Random(64);
            flags.shrink_to_fit();
            Unit.ApplyErrorFlags(i % 2 == 0, flags.data(), static_cast<int>(flags.size()));
        }
    }
    // After all that a sound reply still decodes.
    Comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_VELLO});
    ASSERT_TRUE(Unit.ReadUnitType());
    ParseExact(MSG_READ_UOM_INFO, Bytes{0, 0, 0, 0});
    TWireRecord live;
    for (uint32_t n = 0; n < 41; ++n)
        live.U32(n * 3);
    Unit.DecodeLiveValues(live.Data(), static_cast<int>(live.Size()));
    EXPECT_EQ(Unit.IOs().FindIO(40)->Value, 120);
}

TEST_F(DecodersFuzz, ExternalCycle_RandomChunksAndFailures_NoOutOfBounds)
{
    Comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_OSTRA});
    ASSERT_TRUE(Unit.ReadUnitType());
    TWireRecord cfg{0};
    for (int n = 1; n <= 40; ++n) {
        char tag[7];
        std::snprintf(tag, sizeof tag, "EXT%03d", n);
        cfg.IOConfig(n, tag, 1, 9, 5, "x");
    }
    ParseExact(MSG_READ_IO_CONFIG, cfg);
    ParseExact(MSG_READ_UOM_INFO, Bytes{90});
    ASSERT_EQ(Unit.ServerSideIOs().ExternalCount(), 40);
    for (int i = 0; i < 3000; ++i) {
        const bool fail = Rng() % 4 == 0;
        for (TCommandCode cmd : {CMD_EXT_READ_VALUES, CMD_EXT_READ_ERRORS, CMD_EXT_WRITE_ERRORS})
            Comms.Queue(cmd, fail ? TReply::Silent() : TReply::Data(Random(255)));
        if (Rng() % 8 == 0)
            Comms.Queue(CMD_EXT_START, TReply::Silent());
        EXPECT_TRUE(Unit.PollExternalIO());
        ASSERT_GE(Unit.ExternalReadPhase(), 0);
        ASSERT_LE(Unit.ExternalReadPhase(), 3);
    }
}
