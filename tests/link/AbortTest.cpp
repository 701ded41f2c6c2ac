// Breaking off the link from another thread: blocked transfers and retry
// pauses return at once, at production time-outs, on both kinds of link.

#include <chrono>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "PtyPeer.h"
#include "link/Ftd2xx.h"
#include "link/Linkabort.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

using namespace zelvo::test;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr uint8_t kReadVersion = 0xDF;
constexpr uint8_t kReadMessageLength = 0x18;

// Whether a future became ready within `deadline`.
template <typename T> bool ReadyWithin(std::future<T> &f, std::chrono::milliseconds deadline)
{
    return f.wait_for(deadline) == std::future_status::ready;
}

TEST(TLinkAbort, Pause_FullPeriodUnlessSet_EndsEarlyWhenSetMeanwhile)
{
    TLinkAbort abort;
    const auto start = Clock::now();
    EXPECT_TRUE(abort.Pause(30ms));
    EXPECT_GE(Clock::now() - start, 30ms);

    // Set from another thread while a long pause runs.
    auto paused = std::async(std::launch::async, [&abort] { return abort.Pause(600s); });
    EXPECT_FALSE(ReadyWithin(paused, 20ms)); // still pausing
    abort.Set();
    ASSERT_TRUE(ReadyWithin(paused, 10s));
    EXPECT_FALSE(paused.get());

    // While set, a pause fails at once; cleared, it pauses again.
    EXPECT_FALSE(abort.Pause(600s));
    abort.Clear();
    EXPECT_FALSE(abort.IsSet());
    EXPECT_TRUE(abort.Pause(1ms));
}

// Production pacing: a blocked exchange would wait 5 s (COM) or 3 s (USB).
struct LinkRow {
    const char *Name;
    bool Usb;
};

class LinkAbort : public testing::TestWithParam<LinkRow>
{
protected:
    void SetUp() override
    {
        Ftd2xx::ClearVirtualBridges();
        Ftd2xx::RegisterVirtualBridge("Zelvo", peer.SlavePath());
        MapComPort(6, peer.SlavePath());
        comms.SelectPort(GetParam().Usb, 6, 19200);
        ASSERT_TRUE(comms.Open());
    }
    void TearDown() override
    {
        comms.Close();
        peer.Stop();
        ClearComPortMap();
        Ftd2xx::ClearVirtualBridges();
    }

    std::chrono::milliseconds FrameTimeout() const
    {
        return GetParam().Usb ? comms.Pacing().UsbFrameTimeout : comms.Pacing().ComFrameTimeout;
    }

    TPtyPeer peer;
    TZelvoCommsInterface comms{TPacing::Production()};
};

TEST_P(LinkAbort, BlockedExchange_ReturnsAtOnceAsFailed_ThenLinkWorksAfterClear)
{
    // Silent to the version request, answers anything else.
    peer.Start([](const TRequest &r) {
        return r.Command == kReadVersion ? Bytes{} : ReplyFrame(r.Command, {0});
    });
    auto query = std::async(std::launch::async, [this] {
        uint8_t reply[256];
        int32_t n = 0;
        return comms.Query(kReadVersion, reply, n);
    });
    ASSERT_TRUE(WaitFor([&] { return peer.CountOf(kReadVersion) == 1; }));
    const auto start = Clock::now();
    comms.Abort();
    ASSERT_TRUE(ReadyWithin(query, FrameTimeout() / 2)) << "the exchange ran on";
    EXPECT_FALSE(query.get());
    EXPECT_LT(Clock::now() - start, FrameTimeout() / 2);

    // While aborted nothing reaches the wire, and nothing waits.
    uint8_t state = 0x55;
    EXPECT_FALSE(comms.ReadSFState(state));
    EXPECT_FALSE(comms.WriteSFCommand(0));
    EXPECT_EQ(peer.Requests().size(), 1u);
    EXPECT_EQ(state, 0x55);

    comms.ClearAbort();
    EXPECT_TRUE(comms.ReadSFState(state));
    EXPECT_EQ(state, 0);
}

TEST_P(LinkAbort, ReadMessage_AbortDuringRetries_EndsWithoutTheRemainingAttempts)
{
    // The total is never usable: ten attempts a pause apart would follow.
    peer.Start([](const TRequest &r) { return ReplyFrame(r.Command, {0, 0}); });
    TPacing p = TPacing::Production();
    p.RetryPause = 2s;
    comms.SetPacing(p);
    auto read = std::async(std::launch::async, [this] {
        Bytes buffer(8000);
        uint16_t length = 0;
        return comms.ReadMessage(buffer.data(), buffer.size(), length);
    });
    ASSERT_TRUE(WaitFor([&] { return peer.CountOf(kReadMessageLength) >= 1; }));
    comms.Abort();
    ASSERT_TRUE(ReadyWithin(read, p.RetryPause / 2)) << "the retry pause ran on";
    EXPECT_FALSE(read.get());
    EXPECT_LT(peer.CountOf(kReadMessageLength), 3u);
}

TEST_P(LinkAbort, Open_WhileAborted_Fails)
{
    comms.Close();
    comms.Abort();
    EXPECT_FALSE(comms.Open());
    comms.ClearAbort();
    EXPECT_TRUE(comms.Open());
}

INSTANTIATE_TEST_SUITE_P(Links, LinkAbort,
                         testing::Values(LinkRow{"Com", false}, LinkRow{"UsbBridge", true}),
                         [](const auto &info) { return std::string(info.param.Name); });

} // namespace
