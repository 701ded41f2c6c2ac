// Every fault switch provokes what its name says, from the wire's side.

#include "SimClient.h"

#include <gtest/gtest.h>

using namespace zsimtest;
using std::chrono::milliseconds;

namespace
{

Running Faulty(const std::vector<std::string> &faults, zsim::Model m = zsim::Model::Vello)
{
    auto o = FastOptions(m);
    o.faults = faults;
    return Running(o);
}

} // namespace

TEST(FaultSet, ReplySwitches_DamageTheReplyOfTheNamedCommandOnly)
{
    struct Row {
        const char *fault;
        uint8_t cmd;
        std::function<bool(const Answer &)> damaged;
    };
    const Row rows[] = {
        {"nack=0x0D", 0x0D, [](const Answer &a) { return a.raw == Bytes{0x00}; }},
        {"nack=CMD_READ_UNIT_TYPE", 0x0D, [](const Answer &a) { return a.raw == Bytes{0x00}; }},
        {"bad-checksum=0x0D", 0x0D,
         [](const Answer &a) { return a.complete && a.hasData() && !a.checksumOk(); }},
        {"short-reply=0x00", 0x00,
         [](const Answer &a) { return a.checksumOk() && a.data().size() == 254; }},
        {"cut-reply=0xDF", 0xDF, [](const Answer &a) { return !a.complete && !a.raw.empty(); }},
        {"garbage-before-reply=0x0D", 0x0D,
         [](const Answer &a) {
             return a.raw.size() >= 3 && a.raw[0] == 0xFF && a.raw[1] == 0x00 && a.raw[2] == 0xA5;
         }},
        {"silent", 0x0D, [](const Answer &a) { return a.raw.empty(); }},
    };
    for (const auto &row : rows) {
        Running r = Faulty({row.fault});
        ASSERT_TRUE(r.started) << r.error;
        SimClient &c = *r.client;
        Answer a = c.Exchange(row.cmd, {}, milliseconds(150));
        EXPECT_TRUE(row.damaged(a)) << row.fault;
        c.Drain(milliseconds(20));
        const std::string f = row.fault;
        if (f != "silent") {
            EXPECT_TRUE(c.Exchange(0x15).checksumOk()) << f << ": other commands unharmed";
        }
    }
}

TEST(FaultSet, OnceAndFromModifiers_ActOnceOrFromTheFrameCountOn)
{
    {
        Running r = Faulty({"nack=0x15,once"});
        ASSERT_TRUE(r.started) << r.error;
        EXPECT_EQ(r.client->Exchange(0x15).raw, Bytes{0x00});
        EXPECT_TRUE(r.client->Exchange(0x15).checksumOk());
    }
    {
        Running r = Faulty({"nack=0x15,from=3"});
        ASSERT_TRUE(r.started) << r.error;
        EXPECT_TRUE(r.client->Exchange(0x15).checksumOk());
        EXPECT_TRUE(r.client->Exchange(0x15).checksumOk());
        EXPECT_EQ(r.client->Exchange(0x15).raw, Bytes{0x00});
        EXPECT_EQ(r.client->Exchange(0x15).raw, Bytes{0x00});
    }
    {
        Running r = Faulty({"silent-after=2"});
        ASSERT_TRUE(r.started) << r.error;
        EXPECT_TRUE(r.client->Exchange(0x15).complete);
        EXPECT_TRUE(r.client->Exchange(0x15).complete);
        EXPECT_TRUE(r.client->Exchange(0x15, {}, milliseconds(100)).raw.empty());
        EXPECT_EQ(r.sim.FramesReceived(), 3);
    }
}

TEST(FaultSet, AddAndClearAtRunTime_TakeEffectOnTheNextFrame)
{
    Running r(FastOptions());
    ASSERT_TRUE(r.started) << r.error;
    EXPECT_TRUE(r.sim.AddFault("old-firmware"));
    Bytes v = r.client->Exchange(0xDF).data();
    EXPECT_EQ(std::string(v.begin(), v.end()).rfind("V2.56?", 0), 0u);
    r.sim.ClearFaults();
    v = r.client->Exchange(0xDF).data();
    EXPECT_EQ(std::string(v.begin(), v.end()).rfind("V2.61?", 0), 0u);
}

TEST(FaultSet, BadSpecs_RefusedWithAReason)
{
    zsim::UnitSimulator sim(FastOptions());
    for (const char *spec :
         {"bogus", "nack=0x1FF", "nack=READ_NOTHING", "drop-block", "old-firmware=3",
          "nack=0x15,sometimes", "silent,from=0", "sf-stuck=SF_NOWHERE", ""}) {
        std::string error;
        EXPECT_FALSE(sim.AddFault(spec, &error)) << spec;
        EXPECT_FALSE(error.empty()) << spec;
    }
    std::string error;
    EXPECT_TRUE(sim.AddFault("sf-stuck=SF_PROCESSING", &error)) << error;
    EXPECT_TRUE(sim.AddFault("server-refuses=MSG_LOGON,once,from=5", &error)) << error;
}

TEST(FaultSet, DropBlock_RefusesThatBlockOnceAndTheResentBlockIsTaken)
{
    Running r = Faulty({"drop-block=1"});
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    Bytes m = Envelope(7, Bytes(500, 0));
    Bytes b0{0x00}, b1{0x01}, b2{0x02};
    b0.insert(b0.end(), m.begin(), m.begin() + 254);
    b1.insert(b1.end(), m.begin() + 254, m.begin() + 508);
    b2.insert(b2.end(), m.begin() + 508, m.end());
    EXPECT_EQ(c.Exchange(0x17, b0).raw, Bytes{0x01});
    EXPECT_EQ(c.Exchange(0x17, b1).raw, Bytes{0x00});
    EXPECT_EQ(c.Exchange(0x17, b1).raw, Bytes{0x01});
    EXPECT_EQ(c.Exchange(0x17, b2).raw, Bytes{0x01});
}

TEST(FaultSet, DropReadBlock_RefusesOnceSoARetryCompletesTheDownload)
{
    Running r = Faulty({"drop-read-block=0"});
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    ASSERT_TRUE(c.WaitSf(5));
    ASSERT_TRUE(c.WriteMessage(Envelope(1, {}), false));
    ASSERT_TRUE(c.SfCommand(6));
    ASSERT_TRUE(c.WaitSf(8));
    EXPECT_EQ(c.Exchange(0x19, {0}).raw, Bytes{0x00});
    Answer again = c.Exchange(0x19, {0});
    EXPECT_TRUE(again.checksumOk());
}

TEST(FaultSet, SfError_EntersErrorDuringTheCycleUntilToldToGoIdle)
{
    struct Row {
        const char *fault;
        int reachedBefore; // a state the cycle passes before the error
    };
    for (const Row &row : {Row{"sf-error", 1}, Row{"sf-error=SF_DOWNLOADING", 4}}) {
        Running r = Faulty({row.fault});
        ASSERT_TRUE(r.started) << r.error;
        SimClient &c = *r.client;
        ASSERT_TRUE(c.SfCommand(1));
        if (row.reachedBefore == 4) {
            ASSERT_TRUE(c.WaitSf(5));
            ASSERT_TRUE(c.WriteMessage(Envelope(1, {}), false));
            ASSERT_TRUE(c.SfCommand(6));
        }
        EXPECT_TRUE(c.WaitSf(10)) << row.fault;
        ASSERT_TRUE(c.SfCommand(0));
        EXPECT_EQ(c.SfState(), 0);
    }
}

TEST(FaultSet, SfStuck_HoldsTheStateWhateverIsAskedUntilCleared)
{
    Running r = Faulty({"sf-stuck=SF_CONNECTING"});
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    ASSERT_TRUE(c.SfCommand(1));
    EXPECT_FALSE(c.WaitSf(5, milliseconds(100)));
    ASSERT_TRUE(c.SfCommand(0));
    EXPECT_EQ(c.SfState(), 1);
    r.sim.ClearFaults();
    EXPECT_TRUE(c.WaitSf(5));
}

TEST(FaultSet, ServerSwitches_RefuseOrSpoilTheNamedMessageOnly)
{
    Running r = Faulty({"server-refuses=MSG_READ_UOM_INFO", "server-bad-checksum=9"});
    ASSERT_TRUE(r.started) << r.error;
    SimClient &c = *r.client;
    Bytes reply;
    ASSERT_TRUE(c.RunJob(6, {}, &reply));
    ASSERT_TRUE(c.WaitSf(0));
    EXPECT_EQ(reply, Bytes{0x06});
    ASSERT_TRUE(c.RunJob(9, {}, &reply));
    ASSERT_TRUE(c.WaitSf(0));
    EXPECT_GT(reply.size(), 1u);
    EXPECT_FALSE(SumIsZero(reply));
    ASSERT_TRUE(c.RunJob(1, {}, &reply));
    EXPECT_TRUE(SumIsZero(reply));
}

TEST(FaultSet, LineSpeed_PacesAFullSettingsReplyAsAt19200Baud)
{
    Running r = Faulty({"line-speed"});
    ASSERT_TRUE(r.started) << r.error;
    auto t0 = std::chrono::steady_clock::now();
    Answer a = r.client->Exchange(0x00, {}, milliseconds(2000));
    auto took = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(a.checksumOk());
    // 4 request bytes and 259 reply bytes of 11 bits each: about 150 ms.
    EXPECT_GE(took, milliseconds(140));
    EXPECT_LT(took, milliseconds(5000));
}
