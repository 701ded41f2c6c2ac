// The three exchange shapes of both framers, byte for byte, over a
// pseudo-terminal with a scripted unit on the other end.

#include <chrono>

#include <gtest/gtest.h>

#include "PtyPeer.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Usbserialinterface.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

using namespace zelvo::test;
using Bytes = std::vector<uint8_t>;
using namespace std::chrono;

namespace
{

TPacing RelaxedPacing()
{
    TPacing p = TPacing::Shrunk(1000);
    p.ComFrameTimeout = p.UsbFrameTimeout = std::chrono::milliseconds(3000);
    return p;
}

enum class Kind { Com, Usb };

std::string KindName(const testing::TestParamInfo<Kind> &info)
{
    return info.param == Kind::Com ? "Com" : "Usb";
}

class Framing : public testing::TestWithParam<Kind>
{
protected:
    void SetUp() override
    {
        Ftd2xx::SetRoots(TempDir(), TempDir());
        Ftd2xx::ClearVirtualBridges();
        ClearComPortMap();
        if (GetParam() == Kind::Usb) {
            Ftd2xx::RegisterVirtualBridge("Zelvo", peer.SlavePath());
            link.SelectPort(true, 1, 19200);
        } else {
            MapComPort(4, peer.SlavePath());
            link.SelectPort(false, 4, 19200);
        }
        ASSERT_TRUE(link.Open());
    }
    void TearDown() override
    {
        link.Close();
        peer.Stop();
        Ftd2xx::ClearVirtualBridges();
        Ftd2xx::ResetRoots();
        ClearComPortMap();
    }

    // Answers every request with `reply`.
    void AnswerWith(const Bytes &reply)
    {
        peer.Start([reply](const TRequest &) { return reply; });
    }

    // The next byte still waiting in the receive queue, read at port level.
    int NextQueuedByte()
    {
        uint8_t b = 0;
        const int32_t r = GetParam() == Kind::Usb ? link.UsbFramer().ReadBytes(&b, 1, 500)
                                                  : link.ComFramer().ReadBytes(&b, 1, 500);
        return r == 0 ? b : -1;
    }

    // One exchange of shape 0 Query 0x15, 1 QueryWithPayload 0x19 or 2 Send 0x16.
    bool ExchangeOfShape(int shape)
    {
        const uint8_t payload = 0x01;
        if (shape == 0)
            return link.Query(0x15, reply, replyLength);
        if (shape == 1)
            return link.QueryWithPayload(0x19, &payload, 1, reply, replyLength);
        return link.Send(0x16, &payload, 1);
    }

    int32_t Timeout()
    {
        return GetParam() == Kind::Usb ? link.UsbFramer().Timeout : link.ComFramer().Timeout;
    }

    // Pauses shrunk; frame time-outs kept long so a loaded machine never
    // turns a prompt reply into a time-out. Tests of silence shrink them.
    TPacing pacing = RelaxedPacing();
    TPtyPeer peer;
    TUSBSerialInterface link{pacing};
    uint8_t reply[255] = {};
    int32_t replyLength = -7;
};

TEST_P(Framing, Requests_AreBuiltByteForByte)
{
    AnswerWith(AckFrame());
    const uint8_t one = 0x01, zero = 0x00;
    link.Query(0x15, reply, replyLength);
    link.Send(0x16, &one, 1);
    link.Send(0x14, nullptr, 0);
    link.QueryWithPayload(0x19, &zero, 1, reply, replyLength);

    ASSERT_TRUE(WaitFor([&] { return peer.Requests().size() == 4; }));
    const auto requests = peer.Requests();
    EXPECT_EQ(requests[0].Raw, (Bytes{0x0A, 0x00, 0x15, 0x1F}));
    EXPECT_EQ(requests[1].Raw, (Bytes{0x0A, 0x01, 0x16, 0x01, 0x1C}));
    EXPECT_EQ(requests[2].Raw, (Bytes{0x0A, 0x00, 0x14, 0x1E}));
    EXPECT_EQ(requests[3].Raw, (Bytes{0x0A, 0x01, 0x19, 0x00, 0x12}));
}

TEST_P(Framing, Query_ReplyWithOneDataByte_HandsOverData)
{
    AnswerWith({0x03, 0x01, 0x15, 0x05, 0x12});
    ASSERT_TRUE(link.Query(0x15, reply, replyLength));
    EXPECT_EQ(replyLength, 1);
    EXPECT_EQ(reply[0], 0x05);
}

TEST_P(Framing, Query_BareAck_SucceedsWithoutData)
{
    AnswerWith(AckFrame());
    replyLength = 77;
    ASSERT_TRUE(link.Query(0x15, reply, replyLength));
    // The COM framer leaves the caller's length alone; the USB framer zeroes it.
    EXPECT_EQ(replyLength, GetParam() == Kind::Usb ? 0 : 77);
}

TEST_P(Framing, Query_AckWithZeroLengthData_SucceedsWithLengthZero)
{
    const uint8_t rr = 0x6B;
    AnswerWith({0x03, 0x00, rr, static_cast<uint8_t>(0x03 ^ rr)});
    ASSERT_TRUE(link.Query(0x15, reply, replyLength));
    EXPECT_EQ(replyLength, 0);
}

TEST_P(Framing, RefusedOrMalformedStatus_FailsEveryShapeWithoutReadingFurther)
{
    for (uint8_t status : {uint8_t{0x00}, uint8_t{0x02}}) {
        SCOPED_TRACE(status);
        for (int shape = 0; shape < 3; ++shape) {
            // The status is followed by a marker byte that must stay queued.
            AnswerWith({status, 0xA5});
            EXPECT_FALSE(ExchangeOfShape(shape)) << "shape " << shape;
            peer.Stop();
            EXPECT_EQ(NextQueuedByte(), 0xA5) << "shape " << shape;
        }
    }
}

TEST_P(Framing, Query_ChecksumMismatch_FailsButHandsOverData)
{
    AnswerWith({0x03, 0x02, 0x15, 0x11, 0x22, 0x00});
    EXPECT_FALSE(link.Query(0x15, reply, replyLength));
    EXPECT_EQ(replyLength, 2);
    EXPECT_EQ(reply[0], 0x11);
    EXPECT_EQ(reply[1], 0x22);
}

TEST_P(Framing, Send_ReplyCarryingData_FailsAndLeavesRestUnread)
{
    AnswerWith(ReplyFrame(0x16, {0x42}));
    const uint8_t payload = 0x01;
    EXPECT_FALSE(link.Send(0x16, &payload, 1));
    peer.Stop();
    EXPECT_EQ(NextQueuedByte(), 0x01); // the length byte of that reply
}

TEST_P(Framing, BytesWaitingBeforeARequest_AreDiscardedAndCounted_EveryShape)
{
    // The first reply is followed by the bytes of a late one; the next
    // exchange, of each shape, must read its own reply and not those.
    const Bytes stale = ReplyFrame(0x15, {0x07});
    uint64_t expected = link.DiscardedInputBytes();
    int served = 0;
    for (int shape = 0; shape < 3; ++shape) {
        SCOPED_TRACE(shape);
        peer.Stop();
        served = 0;
        peer.Start([&](const TRequest &r) {
            Bytes out = r.Command == 0x16 ? AckFrame() : ReplyFrame(r.Command, {0x05});
            if (served++ == 0)
                out.insert(out.end(), stale.begin(), stale.end());
            return out;
        });
        ASSERT_TRUE(link.Query(0x15, reply, replyLength));
        reply[0] = 0;
        EXPECT_TRUE(ExchangeOfShape(shape));
        if (shape < 2) {
            EXPECT_EQ(replyLength, 1);
            EXPECT_EQ(reply[0], 0x05);
        }
        expected += stale.size();
        EXPECT_EQ(link.DiscardedInputBytes(), expected);
    }
}

TEST_P(Framing, Query_SilentUnit_FailsAfterOneTimeout)
{
    link.SetPacing(TPacing::Shrunk(50));
    AnswerWith({});
    const auto start = steady_clock::now();
    EXPECT_FALSE(link.Query(0x15, reply, replyLength));
    const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(elapsed, Timeout());
    EXPECT_LT(elapsed, Timeout() * 2 + 200);
}

TEST_P(Framing, Query_ReplyStallingAfterLength_Fails)
{
    link.SetPacing(TPacing::Shrunk(50));
    AnswerWith({0x03, 0x05, 0x15, 0x01});
    EXPECT_FALSE(link.Query(0x15, reply, replyLength));
}

TEST_P(Framing, LargestFrames_FitAndPayloadsBeyondOneByteLengthAreRefused)
{
    Bytes data(255);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    peer.Start([&](const TRequest &) { return ReplyFrame(0x19, data); });
    Bytes payload(255, 0x5A);
    ASSERT_TRUE(link.QueryWithPayload(0x19, payload.data(), 255, reply, replyLength));
    EXPECT_EQ(replyLength, 255);
    EXPECT_EQ(Bytes(reply, reply + 255), data);

    Bytes tooLong(256, 0x5A);
    EXPECT_FALSE(link.Send(0x17, tooLong.data(), 256));
    EXPECT_FALSE(link.QueryWithPayload(0x17, tooLong.data(), 256, reply, replyLength));
    EXPECT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(peer.Requests()[0].Raw.size(), 259u);
}

TEST_P(Framing, Disconnected_ExchangesFailAndReconnectWorks)
{
    AnswerWith(AckFrame());
    link.Close();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.Send(0x14, nullptr, 0));
    link.Close(); // harmless a second time
    ASSERT_TRUE(link.Open());
    EXPECT_TRUE(link.Send(0x14, nullptr, 0));
}

INSTANTIATE_TEST_SUITE_P(BothFramers, Framing, testing::Values(Kind::Com, Kind::Usb), KindName);

TEST(TSerialPacket, Connect_AlreadyOpen_IsRefused)
{
    TPtyPeer peer;
    TSerialPacket packet;
    MapComPort(9, peer.SlavePath());
    ASSERT_TRUE(packet.Connect(9, 19200));
    EXPECT_FALSE(packet.Connect(9, 19200));
    EXPECT_TRUE(packet.IsOpen());
    ClearComPortMap();
}

TEST(TSerialPacket, Connect_LineSettingsRefused_ReleasesDeviceForNextAttempt)
{
    TPtyPeer peer;
    TSerialPacket packet;
    MapComPort(9, peer.SlavePath());
    // A speed the line cannot take fails after the device was opened.
    EXPECT_FALSE(packet.Connect(9, 12345));
    EXPECT_FALSE(packet.IsOpen());
    EXPECT_TRUE(packet.Connect(9, 19200));
    ClearComPortMap();
}

} // namespace
