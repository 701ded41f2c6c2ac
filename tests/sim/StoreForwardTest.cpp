// The store-and-forward cycle as the unit runs it, and the block transfers
// of server messages in and out.

#include "SimClient.h"

#include <gtest/gtest.h>

using namespace zsimtest;
using std::chrono::milliseconds;

namespace
{

// States seen while polling until `until` shows up.
std::vector<int> Watch(SimClient &c, int until)
{
    std::vector<int> seen;
    for (int i = 0; i < 2000; ++i) {
        int s = c.SfState();
        if (seen.empty() || seen.back() != s)
            seen.push_back(s);
        if (s == until)
            break;
    }
    return seen;
}

zsim::Options SlowSteps()
{
    // Steps long enough that polling sees every state.
    auto o = FastOptions();
    o.sfStepMs = 25;
    return o;
}

} // namespace

TEST(StoreForward, PlainJob_WalksEveryStateAndLogsOff)
{
    Running r(SlowSteps());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    EXPECT_EQ(Watch(c, 5), (std::vector<int>{1, 5}));
    ASSERT_TRUE(c.WriteMessage(Envelope(1, {}), false));
    ASSERT_TRUE(c.SfCommand(6));
    EXPECT_EQ(Watch(c, 8), (std::vector<int>{6, 4, 7, 8}));
    Bytes reply;
    ASSERT_TRUE(c.ReadMessage(&reply));
    EXPECT_TRUE(SumIsZero(reply));
    EXPECT_GE(reply.size(), 22u);
    ASSERT_TRUE(c.SfCommand(9));
    EXPECT_EQ(Watch(c, 0), (std::vector<int>{9, 0}));

    auto msgs = r.sim.ServerMessages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].type, 1);
    EXPECT_TRUE(msgs[0].valid);
}

TEST(StoreForward, Job2_ConnectsWithSnapshotState)
{
    Running r(SlowSteps());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(2));
    EXPECT_EQ(Watch(c, 5), (std::vector<int>{2, 5}));
    Bytes reply;
    ASSERT_TRUE(c.RunChained(2, {}, &reply));
    EXPECT_TRUE(SumIsZero(reply));
}

TEST(StoreForward, ChainedJobs_StayOnlineUntilTheLastLogsOff)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    Bytes reply;
    ASSERT_TRUE(c.RunJob(1, {}, &reply, 1, 1));
    // Asked to stay connected: waiting for the next message at once, no log-off.
    EXPECT_EQ(c.SfState(), 5);
    ASSERT_TRUE(c.RunChained(6, {}, &reply, 9));
    EXPECT_TRUE(SumIsZero(reply));
    EXPECT_TRUE(c.WaitSf(0));
    EXPECT_EQ(r.sim.ServerMessages().size(), 2u);
}

TEST(StoreForward, ForcedSync_OffersUploadAndLogsOffWhenAsked)
{
    Running r(SlowSteps());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(3));
    EXPECT_EQ(Watch(c, 5), (std::vector<int>{3, 5}));
    ASSERT_TRUE(c.SfCommand(9));
    EXPECT_EQ(Watch(c, 0), (std::vector<int>{9, 0}));
    EXPECT_TRUE(r.sim.ServerMessages().empty());
}

TEST(StoreForward, IdleRequest_FromAnyStateDropsTheWaitingReply)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    ASSERT_TRUE(c.WriteMessage(Envelope(10, {}), false));
    ASSERT_TRUE(c.SfCommand(6));
    ASSERT_TRUE(c.WaitSf(8));
    ASSERT_TRUE(c.SfCommand(0));
    EXPECT_EQ(c.SfState(), 0);
    EXPECT_EQ(c.Exchange(0x18).data(), (Bytes{0, 0}));
    // A request that does not fit the state is acknowledged and changes nothing.
    ASSERT_TRUE(c.SfCommand(6));
    EXPECT_EQ(c.SfState(), 0);
    r.sim.SetSfState(4);
    ASSERT_TRUE(c.SfCommand(0));
    EXPECT_EQ(c.SfState(), 0);
}

TEST(StoreForward, Download_TotalCountsBlockHeadersAndBlocksCarry254Bytes)
{
    Running r(FastOptions(zsim::Model::Ostra));
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    ASSERT_TRUE(c.WriteMessage(Envelope(6, {}), false));
    ASSERT_TRUE(c.SfCommand(6));
    ASSERT_TRUE(c.WaitSf(8));
    Bytes len = c.Exchange(0x18).data();
    ASSERT_EQ(len.size(), 2u);
    size_t total = size_t(len[0] | len[1] << 8);
    size_t blocks = 0, message = 0;
    std::vector<size_t> sizes;
    for (uint8_t k = 0;; ++k) {
        Answer a = c.Exchange(0x19, {k});
        if (!a.ack())
            break;
        ASSERT_TRUE(a.checksumOk());
        Bytes d = a.data();
        EXPECT_EQ(d[0], k) << "block header";
        sizes.push_back(d.size());
        message += d.size() - 1;
        ++blocks;
    }
    ASSERT_FALSE(sizes.empty());
    for (size_t i = 0; i + 1 < sizes.size(); ++i)
        EXPECT_EQ(sizes[i], 255u) << "every block but the last is full";
    EXPECT_GT(blocks, 2u);
    EXPECT_EQ(total, message + blocks);
}

TEST(StoreForward, Upload_BlocksOutOfOrderOrOverlongOrBadEnvelope_Refused)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    Bytes m = Envelope(7, Bytes(500, 1));
    Bytes first{0x00};
    first.insert(first.end(), m.begin(), m.begin() + 254);
    Bytes second{0x02};
    second.insert(second.end(), m.begin() + 254, m.begin() + 300);
    EXPECT_EQ(c.Exchange(0x17, second).raw, Bytes{0x00}) << "first block must be block 0";
    EXPECT_EQ(c.Exchange(0x17, first).raw, Bytes{0x01});
    EXPECT_EQ(c.Exchange(0x17, second).raw, Bytes{0x00}) << "block 2 after block 0";
    Bytes bad{0x00, 0x07, 0x00, 0x10, 0x00, 0x00, 0x00, 0x11, 0x00};
    EXPECT_EQ(c.Exchange(0x17, bad).raw, Bytes{0x00}) << "the two lengths disagree";
    Bytes tiny = Envelope(1, {});
    tiny.insert(tiny.begin(), 0x00);
    EXPECT_EQ(c.Exchange(0x17, tiny).raw, Bytes{0x01});
    EXPECT_EQ(c.Exchange(0x17, {0x01, 0x55}).raw, Bytes{0x00}) << "more than announced";
}

TEST(StoreForward, Upload_IncompleteMessage_ServerRefusesWithOneByte)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    Bytes m = Envelope(7, Bytes(500, 1));
    Bytes first{0x00};
    first.insert(first.end(), m.begin(), m.begin() + 254);
    ASSERT_EQ(c.Exchange(0x17, first).raw, Bytes{0x01});
    ASSERT_TRUE(c.SfCommand(6));
    ASSERT_TRUE(c.WaitSf(8));
    Bytes reply;
    ASSERT_TRUE(c.ReadMessage(&reply));
    EXPECT_EQ(reply.size(), 1u);
    ASSERT_EQ(r.sim.ServerMessages().size(), 1u);
    EXPECT_FALSE(r.sim.ServerMessages()[0].valid);
}
