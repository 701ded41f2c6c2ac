// The multi-frame operations of the comms interface against a scripted unit
// on a pseudo-terminal (COM link, shrunk pacing).

#include <algorithm>
#include <atomic>
#include <map>

#include <gtest/gtest.h>

#include "PtyPeer.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

using namespace zelvo::test;
using Bytes = std::vector<uint8_t>;

namespace
{

TPacing RelaxedPacing()
{
    TPacing p = TPacing::Shrunk(1000);
    p.ComFrameTimeout = p.UsbFrameTimeout = std::chrono::milliseconds(3000);
    return p;
}

Bytes Pattern(std::size_t n, uint8_t seed)
{
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 13);
    return b;
}

class TZelvoCommsInterfaceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        MapComPort(5, peer.SlavePath());
        comms.SelectPort(false, 5, 19200);
        ASSERT_TRUE(comms.Open());
    }
    void TearDown() override
    {
        comms.Close();
        peer.Stop();
        ClearComPortMap();
    }

    // Sizes of the payloads of every 0x17 frame the unit received.
    std::vector<std::size_t> BlockSizes() const
    {
        std::vector<std::size_t> sizes;
        for (const TRequest &r : peer.Requests())
            if (r.Command == 0x17)
                sizes.push_back(r.Payload.size());
        return sizes;
    }

    // Pauses shrunk; frame time-outs kept long so a loaded machine never
    // turns a prompt reply into a time-out. Tests of silence shrink them.
    TPacing pacing = RelaxedPacing();
    TPtyPeer peer;
    TZelvoCommsInterface comms{pacing};
};

// ---- block writes ----

struct WriteRow {
    std::size_t Length;
    bool IOConfig;
    std::vector<std::size_t> Frames;
};

class TZelvoCommsInterfaceWriteTest : public TZelvoCommsInterfaceTest,
                                      public testing::WithParamInterface<WriteRow>
{
};

TEST_P(TZelvoCommsInterfaceWriteTest, Message_IsSplitIntoBlocksAndReassemblesExactly)
{
    const WriteRow row = GetParam();
    peer.Start([](const TRequest &) { return AckFrame(); });
    const Bytes message = Pattern(row.Length, 3);
    EXPECT_TRUE(row.IOConfig ? comms.WriteIOConfigMessage(message.data(), message.size())
                             : comms.WriteMessage(message.data(), message.size()));
    EXPECT_EQ(BlockSizes(), row.Frames);

    // Headers: block numbers for WriteMessage, one 0x00 in front for the I/O
    // configuration; the rest, joined, is the message.
    Bytes joined;
    std::size_t block = 0;
    for (const TRequest &r : peer.Requests()) {
        const bool header = !row.IOConfig || block == 0;
        if (header) {
            EXPECT_EQ(r.Payload[0], row.IOConfig ? 0 : block);
        }
        joined.insert(joined.end(), r.Payload.begin() + (header ? 1 : 0), r.Payload.end());
        ++block;
    }
    EXPECT_EQ(joined, message);
}

INSTANTIATE_TEST_SUITE_P(Rows, TZelvoCommsInterfaceWriteTest,
                         testing::Values(WriteRow{600, false, {255, 255, 93}},
                                         WriteRow{600, true, {255, 254, 92}},
                                         WriteRow{254, false, {255}},
                                         WriteRow{255, false, {255, 2}}, WriteRow{0, false, {}},
                                         WriteRow{0, true, {}}, WriteRow{254, true, {255}},
                                         WriteRow{255, true, {255, 1}}));

TEST_F(TZelvoCommsInterfaceTest, WriteMessage_RefusedFrame_EndsTransferAtOnce)
{
    peer.Start([n = 0](const TRequest &) mutable { return ++n == 2 ? NackFrame() : AckFrame(); });
    const Bytes message = Pattern(800, 1);
    EXPECT_FALSE(comms.WriteMessage(message.data(), message.size()));
    EXPECT_EQ(peer.CountOf(0x17), 2u);
}

TEST_F(TZelvoCommsInterfaceTest, WriteMessage_MoreBlocksThanNumbersCanCount_IsRefusedUnsent)
{
    peer.Start([](const TRequest &) { return AckFrame(); });
    const Bytes message(256 * 254 + 1, 0x11);
    EXPECT_FALSE(comms.WriteMessage(message.data(), message.size()));
    EXPECT_EQ(peer.CountOf(0x17), 0u);
}

// ---- block reads ----

// A unit holding `reply` as its reply stream: 0x18 gives `total`, block k
// gives a header and the next bytes as `blocks[k]` says.
struct TReplyUnit {
    uint16_t Total = 0;
    std::vector<Bytes> Blocks;
    TPtyPeer::TScript Script() const
    {
        return [unit = *this](const TRequest &r) -> Bytes {
            if (r.Command == 0x18)
                return ReplyFrame(0x18, TWireRecord().U16(unit.Total).Bytes());
            if (r.Command == 0x19 && r.Payload.size() == 1 && r.Payload[0] < unit.Blocks.size())
                return ReplyFrame(0x19, unit.Blocks[r.Payload[0]]);
            return NackFrame();
        };
    }
};

Bytes Block(uint8_t header, const Bytes &data)
{
    Bytes b{header};
    b.insert(b.end(), data.begin(), data.end());
    return b;
}

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_TotalOf302_GivesThreeHundredByteMessage)
{
    const Bytes message = Pattern(300, 9);
    TReplyUnit unit{302,
                    {Block(0xEE, Bytes(message.begin(), message.begin() + 254)),
                     Block(0xEE, Bytes(message.begin() + 254, message.end()))}};
    peer.Start(unit.Script());
    std::vector<uint8_t> buffer(8000, 0);
    uint16_t length = 0;
    ASSERT_TRUE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    EXPECT_EQ(length, 300);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 300), message);
    EXPECT_EQ(peer.CountOf(0x19), 2u);
    const auto requests = peer.Requests();
    EXPECT_EQ(requests[1].Payload, Bytes{0});
    EXPECT_EQ(requests[2].Payload, Bytes{1});
}

struct BadTotalRow {
    const char *Name;
    Bytes Reply;
};

class TZelvoCommsInterfaceBadTotalTest : public TZelvoCommsInterfaceTest,
                                         public testing::WithParamInterface<BadTotalRow>
{
};

TEST_P(TZelvoCommsInterfaceBadTotalTest, ReadMessage_TotalNotUsable_RetriesTenTimesThenFails)
{
    const Bytes reply = GetParam().Reply;
    peer.Start([reply](const TRequest &) { return reply; });
    Bytes buffer(8000, 0x77);
    uint16_t length = 4321;
    EXPECT_FALSE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    EXPECT_EQ(peer.CountOf(0x18), 10u);
    EXPECT_EQ(peer.CountOf(0x19), 0u);
    EXPECT_EQ(length, 4321);
}

INSTANTIATE_TEST_SUITE_P(Rows, TZelvoCommsInterfaceBadTotalTest,
                         testing::Values(BadTotalRow{"TotalOfZero", ReplyFrame(0x18, {0, 0})},
                                         BadTotalRow{"ThreeBytes", ReplyFrame(0x18, {5, 0, 0})},
                                         BadTotalRow{"OneByte", ReplyFrame(0x18, {5})},
                                         BadTotalRow{"Nack", NackFrame()},
                                         BadTotalRow{"AckWithoutData", AckFrame()}),
                         [](const auto &info) { return std::string(info.param.Name); });

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_TotalAcceptedAfterFailures_StopsAsking)
{
    peer.Start([n = 0](const TRequest &r) mutable -> Bytes {
        if (r.Command == 0x18)
            return ++n < 4 ? ReplyFrame(0x18, {0, 0})
                           : ReplyFrame(0x18, TWireRecord().U16(3).Bytes());
        return ReplyFrame(0x19, {0, 0xAB, 0xCD});
    });
    Bytes buffer(10, 0);
    uint16_t length = 0;
    ASSERT_TRUE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    EXPECT_EQ(peer.CountOf(0x18), 4u);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(buffer[0], 0xAB);
    EXPECT_EQ(buffer[1], 0xCD);
}

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_FiftyFailedBlocksOverWholeTransfer_Fails)
{
    // Block 0 fails 30 times before it comes, block 1 fails every time: the
    // count is over the whole transfer, not consecutive.
    std::atomic<int> block0Asks{0};
    peer.Start([&](const TRequest &r) -> Bytes {
        if (r.Command == 0x18)
            return ReplyFrame(0x18, TWireRecord().U16(400).Bytes());
        if (r.Payload[0] == 0 && ++block0Asks > 30)
            return ReplyFrame(0x19, Block(0, Pattern(254, 0)));
        return NackFrame();
    });
    Bytes buffer(8000);
    uint16_t length = 0;
    EXPECT_FALSE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    EXPECT_EQ(peer.CountOf(0x19), 51u); // 30 + 1 good + 20 failures of block 1
}

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_BlockAckedWithoutData_CountsAsFailedBlock)
{
    peer.Start([](const TRequest &r) -> Bytes {
        if (r.Command == 0x18)
            return ReplyFrame(0x18, TWireRecord().U16(10).Bytes());
        return AckFrame();
    });
    Bytes buffer(8000, 0x5C);
    uint16_t length = 0;
    EXPECT_FALSE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    EXPECT_EQ(peer.CountOf(0x19), 50u);
    EXPECT_EQ(buffer[0], 0x5C);
}

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_TotalLargerThanDestination_FailsWithoutReadingBlocks)
{
    peer.Start(TReplyUnit{9000, {}}.Script());
    Bytes buffer(8010, 0x5C);
    uint16_t length = 0;
    EXPECT_FALSE(comms.ReadMessage(buffer.data(), 8000, length));
    EXPECT_EQ(peer.CountOf(0x19), 0u);
    EXPECT_EQ(buffer, Bytes(8010, 0x5C));
}

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_BlockBeyondDestination_FailsAndWritesNothingPastIt)
{
    // The total promises 300 bytes, but the unit sends longer blocks.
    TReplyUnit unit{302, {Block(0, Pattern(254, 1)), Block(1, Pattern(254, 2))}};
    peer.Start(unit.Script());
    Bytes buffer(400, 0x5C);
    uint16_t length = 0;
    EXPECT_FALSE(comms.ReadMessage(buffer.data(), 300, length));
    EXPECT_EQ(Bytes(buffer.begin() + 300, buffer.end()), Bytes(100, 0x5C));
}

TEST_F(TZelvoCommsInterfaceTest, ReadMessage_ShortBlockBeforeTheLast_IsAskedForAgain)
{
    const Bytes message = Pattern(300, 4);
    std::atomic<int> block0Asks{0};
    peer.Start([&](const TRequest &r) -> Bytes {
        if (r.Command == 0x18)
            return ReplyFrame(0x18, TWireRecord().U16(302).Bytes());
        if (r.Payload[0] == 0)
            return ++block0Asks == 1
                       ? ReplyFrame(0x19, Block(0, Bytes(message.begin(), message.begin() + 100)))
                       : ReplyFrame(0x19, Block(0, Bytes(message.begin(), message.begin() + 254)));
        return ReplyFrame(0x19, Block(1, Bytes(message.begin() + 254, message.end())));
    });
    Bytes buffer(8000);
    uint16_t length = 0;
    ASSERT_TRUE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    EXPECT_EQ(length, 300);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 300), message);
    EXPECT_EQ(peer.CountOf(0x19), 3u);
}

// ---- settings block ----

TEST_F(TZelvoCommsInterfaceTest, ReadSettingsBlock_TwoExactParts_GiveTheWholeBlock)
{
    const Bytes block = Pattern(313, 21);
    peer.Start([&](const TRequest &r) -> Bytes {
        if (r.Command == 0x00)
            return ReplyFrame(0, Bytes(block.begin(), block.begin() + 255));
        return ReplyFrame(1, Bytes(block.begin() + 255, block.end()));
    });
    std::array<uint8_t, kSettingsBlockSize> out{};
    ASSERT_TRUE(comms.ReadSettingsBlock(out));
    EXPECT_EQ(Bytes(out.begin(), out.end()), block);
}

TEST_F(TZelvoCommsInterfaceTest, ReadSettingsBlock_WrongPartSize_FailsAndLeavesBlockUntouched)
{
    for (int wrongPart : {0, 1}) {
        peer.Start([wrongPart](const TRequest &r) -> Bytes {
            if (r.Command == 0x00)
                return ReplyFrame(0, Bytes(wrongPart == 0 ? 254 : 255, 0x33));
            return ReplyFrame(1, Bytes(wrongPart == 1 ? 59 : 58, 0x44));
        });
        std::array<uint8_t, kSettingsBlockSize> out;
        out.fill(0xEE);
        EXPECT_FALSE(comms.ReadSettingsBlock(out));
        EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), 313);
        peer.Stop();
    }
    // A first part of the wrong size is not followed by the second query.
    const auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].Command, 0x00);
    EXPECT_EQ(requests[1].Command, 0x00);
    EXPECT_EQ(requests[2].Command, 0x01);
}

TEST_F(TZelvoCommsInterfaceTest, WriteSettingsBlock_SendsBothPartsOnlyAfterFirstAccepted)
{
    const Bytes block = Pattern(313, 8);
    std::array<uint8_t, kSettingsBlockSize> in{};
    std::copy(block.begin(), block.end(), in.begin());
    peer.Start([](const TRequest &) { return AckFrame(); });
    ASSERT_TRUE(comms.WriteSettingsBlock(in));
    auto requests = peer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Command, 0x02);
    EXPECT_EQ(requests[0].Payload, Bytes(block.begin(), block.begin() + 255));
    EXPECT_EQ(requests[1].Command, 0x03);
    EXPECT_EQ(requests[1].Payload, Bytes(block.begin() + 255, block.end()));

    peer.Start([](const TRequest &) { return NackFrame(); });
    EXPECT_FALSE(comms.WriteSettingsBlock(in));
    EXPECT_EQ(peer.CountOf(0x03), 1u);
}

// ---- single-frame operations ----

TEST_F(TZelvoCommsInterfaceTest, StateAndTypeReads_ReplyWithoutData_LeaveCallerByte)
{
    peer.Start([](const TRequest &r) -> Bytes {
        if (r.Command == 0x15)
            return ReplyFrame(0x15, {0x05});
        return AckFrame();
    });
    uint8_t state = 0;
    ASSERT_TRUE(comms.ReadSFState(state));
    EXPECT_EQ(state, 5);
    uint8_t type = 0xAA;
    EXPECT_TRUE(comms.ReadUnitType(type));
    EXPECT_EQ(type, 0xAA);
    EXPECT_TRUE(comms.WriteSFCommand(9));
    EXPECT_TRUE(comms.ApplySettings());
    const auto requests = peer.Requests();
    EXPECT_EQ(requests[2].Raw, (Bytes{0x0A, 0x01, 0x16, 0x09, 0x14}));
    EXPECT_EQ(requests[3].Raw, (Bytes{0x0A, 0x00, 0x14, 0x1E}));
}

// ---- firmware check ----

struct FirmwareRow {
    std::string Reply;
    int Result;
    const char *Text;
};

class TZelvoCommsInterfaceFirmwareTest : public TZelvoCommsInterfaceTest,
                                         public testing::WithParamInterface<FirmwareRow>
{
};

TEST_P(TZelvoCommsInterfaceFirmwareTest, CheckFirmware_ComparesVersionNumberWith257)
{
    const std::string text = GetParam().Reply;
    peer.Start(
        [text](const TRequest &) { return ReplyFrame(0xDF, Bytes(text.begin(), text.end())); });
    std::string version = "old";
    EXPECT_EQ(comms.CheckFirmware(version), GetParam().Result);
    EXPECT_EQ(version, GetParam().Text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TZelvoCommsInterfaceFirmwareTest,
    testing::Values(FirmwareRow{"Zelvo V2.57?", 0, "Zelvo V2.57?"},
                    FirmwareRow{"V2.56?", 2, "V2.56?"},
                    FirmwareRow{"V3.1?build 7", 0, "V3.1?build 7"},
                    FirmwareRow{"V2.60", 2, "V2.60"}, FirmwareRow{"2.58?", 0, "2.58?"},
                    FirmwareRow{"V2,57?", 0, "V2,57?"}, FirmwareRow{"Vx.y?", 2, "Vx.y?"},
                    FirmwareRow{"?V2.9", 2, "?V2.9"},
                    FirmwareRow{std::string("V2.57?\0trailing", 15), 0, "V2.57?"}));

TEST_F(TZelvoCommsInterfaceTest, CheckFirmware_SilentUnit_ReturnsNoAnswerAndKeepsText)
{
    comms.SetPacing(TPacing::Shrunk(50));
    peer.Start([](const TRequest &) { return Bytes{}; });
    std::string version = "kept";
    EXPECT_EQ(comms.CheckFirmware(version), 1);
    EXPECT_EQ(version, "kept");
}

TEST_F(TZelvoCommsInterfaceTest, CheckFirmware_LongestReplyWithoutTerminator_IsBounded)
{
    peer.Start([](const TRequest &) {
        Bytes text(255, 'x');
        text[0] = 'V';
        text[1] = '3';
        text[2] = '?';
        return ReplyFrame(0xDF, text);
    });
    std::string version;
    EXPECT_EQ(comms.CheckFirmware(version), 0);
    EXPECT_EQ(version.size(), 255u);
}

} // namespace
