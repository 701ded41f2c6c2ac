// The store-and-forward cycle as the unit runs it, and the block transfers
// of server messages in and out.

#include "SimClient.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace zsimtest;
using std::chrono::milliseconds;

namespace
{

// A simulator whose trace is kept, so every state change can be checked in order
// however late the test thread gets to poll.
struct Traced {
    Traced() : run(Options(&trace)) {}
    static zsim::Options Options(std::ostringstream *out)
    {
        auto o = FastOptions();
        o.trace = true;
        o.traceOut = out;
        return o;
    }
    // The state changes, read once the unit has stopped.
    std::vector<std::string> Changes()
    {
        run.sim.Stop();
        std::vector<std::string> v;
        std::istringstream in(trace.str());
        for (std::string line; std::getline(in, line);)
            if (line.find(" -> SF_") != std::string::npos)
                v.push_back(line.substr(line.find_first_not_of(' ')));
        return v;
    }
    std::ostringstream trace;
    Running run;
};

} // namespace

TEST(StoreForward, PlainJob_WalksEveryStateAndLogsOff)
{
    Traced t;
    ASSERT_TRUE(t.run.started) << t.run.error;
    SimClient &c = *t.run.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    ASSERT_TRUE(c.WriteMessage(Envelope(1, {}), false));
    ASSERT_TRUE(c.SfCommand(6));
    ASSERT_TRUE(c.WaitSf(8));
    Bytes reply;
    ASSERT_TRUE(c.ReadMessage(&reply));
    EXPECT_TRUE(SumIsZero(reply));
    EXPECT_GE(reply.size(), 22u);
    ASSERT_TRUE(c.SfCommand(9));
    ASSERT_TRUE(c.WaitSf(0));

    auto msgs = t.run.sim.ServerMessages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].type, 1);
    EXPECT_TRUE(msgs[0].valid);
    EXPECT_EQ(t.Changes(), (std::vector<std::string>{
                               "SF_IDLE -> SF_CONNECTING",
                               "SF_CONNECTING -> SF_WAITING_UPLOAD",
                               "SF_WAITING_UPLOAD -> SF_UPLOADING",
                               "SF_UPLOADING -> SF_PROCESSING",
                               "SF_PROCESSING -> SF_DOWNLOADING",
                               "SF_DOWNLOADING -> SF_WAITING_DOWNLOAD",
                               "SF_WAITING_DOWNLOAD -> SF_LOGGING_OFF",
                               "SF_LOGGING_OFF -> SF_IDLE",
                           }));
}

TEST(StoreForward, Job2_ConnectsWithSnapshotState)
{
    Traced t;
    ASSERT_TRUE(t.run.started) << t.run.error;
    SimClient &c = *t.run.client;
    Bytes reply;
    ASSERT_TRUE(c.RunJob(2, {}, &reply, 2));
    EXPECT_TRUE(SumIsZero(reply));
    auto changes = t.Changes();
    ASSERT_GE(changes.size(), 2u);
    EXPECT_EQ(changes[0], "SF_IDLE -> SF_CONNECTING_WITH_SNAPSHOT");
    EXPECT_EQ(changes[1], "SF_CONNECTING_WITH_SNAPSHOT -> SF_WAITING_UPLOAD");
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
    Traced t;
    ASSERT_TRUE(t.run.started) << t.run.error;
    SimClient &c = *t.run.client;
    ASSERT_TRUE(c.SfCommand(3));
    ASSERT_TRUE(c.WaitSf(5));
    ASSERT_TRUE(c.SfCommand(9));
    ASSERT_TRUE(c.WaitSf(0));
    EXPECT_TRUE(t.run.sim.ServerMessages().empty());
    EXPECT_EQ(t.Changes(), (std::vector<std::string>{
                               "SF_IDLE -> SF_FORCE_SYNC",
                               "SF_FORCE_SYNC -> SF_WAITING_UPLOAD",
                               "SF_WAITING_UPLOAD -> SF_LOGGING_OFF",
                               "SF_LOGGING_OFF -> SF_IDLE",
                           }));
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
