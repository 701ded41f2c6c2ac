// The scripted unit's fault switches and replies as the link's framers see
// them, and the record builder against bytes written out by hand.

#include "tests/support/Scriptedcomms.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/Wirerecord.h"

using namespace zelvo::test;

namespace
{

// One query of `command`: its outcome, and the data and length handed over.
struct TOutcome {
    bool Ok = false;
    int32_t Length = -1;
    TBytes Data;
};

TOutcome Ask(TScriptedComms &comms, uint8_t command)
{
    uint8_t buffer[256] = {};
    TOutcome o;
    o.Ok = comms.Query(command, buffer, o.Length);
    if (o.Length > 0)
        o.Data.assign(buffer, buffer + o.Length);
    return o;
}

TBytes Ramp(int n)
{
    TBytes b;
    for (int i = 0; i < n; ++i)
        b.push_back(static_cast<uint8_t>(i + 1));
    return b;
}

} // namespace

TEST(TScriptedComms, Replies_QueuedFirstThenStandingThenNone)
{
    TScriptedComms comms;
    comms.Queue(CMD_READ_SF_STATE, TBytes{4});
    comms.Always(CMD_READ_SF_STATE, TBytes{7});
    EXPECT_EQ(Ask(comms, CMD_READ_SF_STATE).Data, TBytes{4});
    EXPECT_EQ(Ask(comms, CMD_READ_SF_STATE).Data, TBytes{7});
    EXPECT_EQ(Ask(comms, CMD_READ_SF_STATE).Data, TBytes{7});
    EXPECT_FALSE(Ask(comms, CMD_READ_UNIT_TYPE).Ok);
    EXPECT_EQ(comms.Count(CMD_READ_SF_STATE), 3);
    EXPECT_EQ(comms.Count(CMD_READ_UNIT_TYPE), 1);
}

TEST(TScriptedComms, ShortReply_CutsExactlyTheLastDataByteOfASoundFrame)
{
    TScriptedComms comms;
    comms.Always(CMD_READ_LIVE_VALUES, Ramp(10));
    comms.Fault("short-reply=CMD_READ_LIVE_VALUES,once");
    const TOutcome cut = Ask(comms, CMD_READ_LIVE_VALUES);
    EXPECT_TRUE(cut.Ok);
    EXPECT_EQ(cut.Data, Ramp(9));
    // Spent: the next reply is whole.
    EXPECT_EQ(Ask(comms, CMD_READ_LIVE_VALUES).Data, Ramp(10));
}

TEST(TScriptedComms, BadChecksum_FailsTheExchangeButHandsOverTheData)
{
    TScriptedComms comms;
    comms.Always(CMD_READ_UNIT_TYPE, TBytes{2});
    comms.Always(CMD_READ_SF_STATE, TBytes{0});
    comms.Fault("bad-checksum=0x0D");
    const TOutcome damaged = Ask(comms, CMD_READ_UNIT_TYPE);
    EXPECT_FALSE(damaged.Ok);
    EXPECT_EQ(damaged.Data, TBytes{2});
    // Only the command named.
    EXPECT_TRUE(Ask(comms, CMD_READ_SF_STATE).Ok);
    // A reply without data has no checksum to spoil.
    comms.Always(CMD_APPLY_SETTINGS, TReply::Ack());
    comms.Fault("bad-checksum");
    EXPECT_TRUE(comms.Send(CMD_APPLY_SETTINGS, nullptr, 0));
}

TEST(TScriptedComms, Nack_RefusesWithoutUsingUpTheScriptedReply)
{
    TScriptedComms comms;
    comms.Queue(CMD_READ_VERSION, TBytes{'V', '2'});
    comms.Queue(CMD_WRITE_SF_COMMAND, TReply::Ack());
    comms.Fault("nack,once");
    EXPECT_FALSE(Ask(comms, CMD_READ_VERSION).Ok);
    EXPECT_EQ(Ask(comms, CMD_READ_VERSION).Data, (TBytes{'V', '2'}));
    const uint8_t idle = 0;
    comms.Fault("nack=CMD_WRITE_SF_COMMAND");
    EXPECT_FALSE(comms.Send(CMD_WRITE_SF_COMMAND, &idle, 1));
    comms.ClearFaults();
    EXPECT_TRUE(comms.Send(CMD_WRITE_SF_COMMAND, &idle, 1));
}

TEST(TScriptedComms, SilentAfter_AnswersExactlyThatManyRequestsFromTheSwitchOn)
{
    TScriptedComms comms;
    comms.Always(CMD_READ_SF_STATE, TBytes{1});
    Ask(comms, CMD_READ_SF_STATE); // before the switch: not counted
    comms.Fault("silent-after=3");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(Ask(comms, CMD_READ_SF_STATE).Ok) << i;
    for (int i = 0; i < 4; ++i)
        EXPECT_FALSE(Ask(comms, CMD_READ_SF_STATE).Ok) << i;
    EXPECT_EQ(comms.Count(CMD_READ_SF_STATE), 8);
}

TEST(TScriptedComms, From_ArmsASwitchAtTheNthRequest)
{
    TScriptedComms comms;
    comms.Always(CMD_READ_SIGNAL, TBytes{20});
    comms.Fault("short-reply,from=3");
    EXPECT_EQ(Ask(comms, CMD_READ_SIGNAL).Data, TBytes{20});
    EXPECT_EQ(Ask(comms, CMD_READ_SIGNAL).Data, TBytes{20});
    EXPECT_EQ(Ask(comms, CMD_READ_SIGNAL).Length, 0);
}

TEST(TScriptedComms, Fault_UnknownOrMalformedSwitch_Throws)
{
    TScriptedComms comms;
    for (const char *spec : {"cut-reply", "silent-after", "silent=3", "nack=CMD_NONE", "nack,twice",
                             "short-reply,from=0", ""})
        EXPECT_THROW(comms.Fault(spec), std::invalid_argument) << spec;
}

TEST(TScriptedComms, UnansweredQuery_ClearsTheLengthOnUsbOnly)
{
    for (bool usb : {true, false}) {
        TScriptedComms comms(usb);
        uint8_t buffer[8];
        int32_t length = 99;
        EXPECT_FALSE(comms.Query(CMD_READ_SF_STATE, buffer, length));
        EXPECT_EQ(length, usb ? 0 : 99) << usb;
    }
}

TEST(TScriptedComms, Send_TrueOnlyOnAnAckWithoutData)
{
    TScriptedComms comms;
    comms.Queue(CMD_SET_IO_VALUE, TReply::Ack());
    comms.Queue(CMD_SET_IO_VALUE, TBytes{1});
    comms.Queue(CMD_SET_IO_VALUE, TReply::Refused());
    const uint8_t value[5] = {3, 1, 0, 0, 0};
    EXPECT_TRUE(comms.Send(CMD_SET_IO_VALUE, value, 5));
    EXPECT_FALSE(comms.Send(CMD_SET_IO_VALUE, value, 5));
    EXPECT_FALSE(comms.Send(CMD_SET_IO_VALUE, value, 5));
    EXPECT_FALSE(comms.Send(CMD_SET_IO_VALUE, value, 5)); // nothing scripted
    comms.UnscriptedSend = TUnscriptedSend::Ack;
    EXPECT_TRUE(comms.Send(CMD_SET_IO_VALUE, value, 5));
    ASSERT_EQ(comms.Sends().size(), 5u);
    EXPECT_EQ(comms.Count(CMD_SET_IO_VALUE, TBytes(value, value + 5)), 5);
}

TEST(TScriptedComms, AbortedLink_RequestRecordedNotAnsweredReplyKept)
{
    TScriptedComms comms;
    comms.Queue(CMD_READ_UNIT_TYPE, TBytes{1});
    comms.Abort();
    EXPECT_FALSE(Ask(comms, CMD_READ_UNIT_TYPE).Ok);
    EXPECT_EQ(comms.Count(CMD_READ_UNIT_TYPE), 1);
    comms.ClearAbort();
    EXPECT_EQ(Ask(comms, CMD_READ_UNIT_TYPE).Data, TBytes{1});
}

TEST(TScriptedComms, QueuedMessage_ReadWholeThroughTheBlockTransfer)
{
    TScriptedComms comms(false);
    const TBytes reply = Ramp(600);
    comms.QueueMessage(reply);
    // One damaged block frame on the way: the transfer asks for it again.
    comms.Fault("bad-checksum=CMD_READ_MESSAGE_BLOCK,from=3,once");
    std::vector<uint8_t> buffer(8000);
    uint16_t length = 0;
    ASSERT_TRUE(comms.ReadMessage(buffer.data(), buffer.size(), length));
    ASSERT_EQ(length, 600);
    EXPECT_EQ(TBytes(buffer.begin(), buffer.begin() + 600), reply);
    EXPECT_EQ(comms.Count(CMD_READ_MESSAGE_BLOCK), 4);
    // The total is given once: a second download finds no reply.
    EXPECT_FALSE(comms.ReadMessage(buffer.data(), buffer.size(), length));
}

TEST(TScriptedComms, StreamMode_ReadsTheBytesInOrderWhateverIsAsked)
{
    TBytes stream = ReplyFrame(0x15, {5});
    const TBytes second = ReplyFrame(0x0D, {2});
    stream.insert(stream.end(), second.begin(), second.end());
    TScriptedComms comms(stream.data(), stream.size(), false);
    EXPECT_EQ(Ask(comms, CMD_READ_VERSION).Data, TBytes{5});
    EXPECT_EQ(Ask(comms, CMD_READ_SIGNAL).Data, TBytes{2});
    EXPECT_TRUE(comms.Port().Exhausted());
    EXPECT_FALSE(Ask(comms, CMD_READ_SIGNAL).Ok);
}

TEST(TWireRecord, FramesAndEnvelope_MatchBytesWrittenOutByHand)
{
    EXPECT_EQ(RequestFrame(0x16, {0x09}), (TBytes{0x0A, 0x01, 0x16, 0x09, 0x14}));
    EXPECT_EQ(RequestFrame(0x14), (TBytes{0x0A, 0x00, 0x14, 0x1E}));
    EXPECT_EQ(ReplyFrame(0x15, {0x05}), (TBytes{0x03, 0x01, 0x15, 0x05, 0x12}));
    EXPECT_EQ(Envelope(3, {0x21}),
              (TBytes{0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x21, 0xDF}));
    EXPECT_EQ(Envelope(1, {}), (TBytes{0x01, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(WithChecksum({0x05}), (TBytes{0x05, 0xFB}));
    // 254 bytes a block, each behind its number; the total counts the headers.
    const std::vector<TBytes> blocks = MessageBlocks(TBytes(300, 7));
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].size(), 255u);
    EXPECT_EQ(blocks[1][0], 1);
    EXPECT_EQ(blocks[1].size(), 47u);
    EXPECT_EQ(MessageTotal(TBytes(300, 7)), 302);
    EXPECT_EQ(MessageBlocks({}), std::vector<TBytes>{TBytes{0}});
}

TEST(TWireRecord, Fields_LittleEndianTextsCutAndPadded)
{
    const TBytes b = TWireRecord()
                         .U16(0x1234)
                         .I32(-2)
                         .F32(1.0f)
                         .Fixed("abc", 2)
                         .Fixed("x", 3, ' ')
                         .Counted("ok")
                         .Bytes();
    EXPECT_EQ(b, (TBytes{0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0x3F, 'a', 'b', 'x',
                         ' ', ' ', 2, 'o', 'k'}));
    EXPECT_EQ(TWireRecord().IOConfig(1, "EXT001", 2, 3, 5, "P").Size(), 18u);
    EXPECT_EQ(TWireRecord().IOUpload(1, 2, 3, 5, "P").Size(), 12u);
    EXPECT_EQ(TWireRecord().AvailableType(1, 2, 3, 0, "n").Size(), 72u);
    EXPECT_EQ(TWireRecord().InputType(1, 1, 1, 0, 0).Size(), 15u);
}
