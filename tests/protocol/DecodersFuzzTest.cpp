// Every decoder of the unit object and the parser fed random and truncated
// replies. Nothing is asserted about the decoded values: the point is that no
// input reads or writes outside what was received (run under the sanitizers).

#include <gtest/gtest.h>

#include <random>

#include "FakeComms.h"
#include "TestUtil.h"
#include "common/Errormanager.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Zelvo.h"

using namespace replybytes;

namespace
{

using Bytes = std::vector<uint8_t>;

class DecodersFuzz : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DestroyErrorManager();
        CreateErrorManager(QString::fromStdString(zelvo::test::TempDir() + "/Log.txt"));
        Parser.SetSnapshotSink([this] { Lines = 0; }, [this](const QString &) { ++Lines; });
    }
    void TearDown() override { DestroyErrorManager(); }

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
    TCommissioningDataParser Parser;
    TFakeComms Comms;
    TZelvo Unit{Comms};
    int Lines = 0;
};

// A plausible reply of each decoded type, for cutting at every length.
Bytes SampleReply(int16_t type)
{
    Bytes r;
    switch (type) {
    case MSG_READ_SNAPSHOT:
        U16(r, 3);
        for (int t : {1, 6, 15}) {
            r.push_back(static_cast<uint8_t>(t));
            U16(r, 4);
        }
        F32(r, 1.0f);
        r.push_back(1);
        F32(r, 2.0f);
        break;
    case MSG_READ_UOM_INFO:
        r.push_back(2);
        for (int i = 0; i < 2; ++i) {
            U32(r, 9);
            r.push_back(1);
        }
        r.push_back(1); // one input type
        r.push_back(1);
        F32(r, 1);
        F32(r, 1);
        F32(r, 0);
        r.insert(r.end(), {0, 0});
        r.push_back(1); // one digital UOM
        U32(r, 8);
        r.insert(r.end(), 32, 'a');
        r.push_back(1); // one analogue UOM
        U32(r, 9);
        r.insert(r.end(), 16, 'b');
        r.insert(r.end(), {1, 2});
        for (float f : {0.f, 0.f, 10.f, 100.f})
            F32(r, f);
        break;
    case MSG_READ_IO_CONFIG:
        r.push_back(1);
        IOConfigRecord(r, 1, "EXT001", 1, 9, 5, "Pump");
        IOConfigRecord(r, 2, "IN01  ", 1, 9, 5, "Level");
        break;
    case MSG_READ_MODBUS_DATA:
        r.push_back(1);
        r.push_back(3);
        r.insert(r.end(), 50, 's');
        r.push_back(2);
        for (int id : {1, 2}) {
            U32(r, static_cast<uint32_t>(id));
            r.push_back(4);
            r.push_back(3);
        }
        break;
    default:
        r.assign(30, 0x42);
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
    Bytes live;
    for (uint32_t n = 0; n < 41; ++n)
        U32(live, n * 3);
    Unit.DecodeLiveValues(live.data(), static_cast<int>(live.size()));
    EXPECT_EQ(Unit.IOs().FindIO(40)->Value, 120);
}

TEST_F(DecodersFuzz, ExternalCycle_RandomChunksAndFailures_NoOutOfBounds)
{
    Comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_OSTRA});
    ASSERT_TRUE(Unit.ReadUnitType());
    Bytes cfg{0};
    for (int n = 1; n <= 40; ++n) {
        char tag[7];
        std::snprintf(tag, sizeof tag, "EXT%03d", n);
        IOConfigRecord(cfg, n, reinterpret_cast<const char(&)[7]>(tag), 1, 9, 5, "x");
    }
    ParseExact(MSG_READ_IO_CONFIG, cfg);
    ParseExact(MSG_READ_UOM_INFO, Bytes{90});
    ASSERT_EQ(Unit.ServerSideIOs().ExternalCount(), 40);
    for (int i = 0; i < 3000; ++i) {
        const bool fail = Rng() % 4 == 0;
        for (TCommandCode cmd : {CMD_EXT_READ_VALUES, CMD_EXT_READ_ERRORS, CMD_EXT_WRITE_ERRORS})
            Comms.Queue(cmd, fail ? TFakeComms::Reply() : TFakeComms::Reply(Random(255)));
        if (Rng() % 8 == 0)
            Comms.Queue(CMD_EXT_START, std::nullopt);
        EXPECT_TRUE(Unit.PollExternalIO());
        ASSERT_GE(Unit.ExternalReadPhase(), 0);
        ASSERT_LE(Unit.ExternalReadPhase(), 3);
    }
}
