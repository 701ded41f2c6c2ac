#include "engine/Signalstrengthrefresh.h"

#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"

#include <gtest/gtest.h>

#include <chrono>

namespace
{

using namespace zelvo::test;

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::vector<std::uint8_t> kOn{0x01};
const std::vector<std::uint8_t> kOff{0x00};

class TSignalStrengthRefreshTest : public ::testing::Test
{
protected:
    TSignalStrengthRefreshTest()
    {
        pacing.SignalRepeat = milliseconds(115000);
        poll = std::make_unique<TSignalStrengthRefresh>(&comms, pacing, [this] { return now; });
    }

    // Starts monitoring: DONE -> START -> RUNNING.
    void StartRunning()
    {
        comms.Queue(CMD_SIGNAL_MONITOR, TReply::Ack());
        ASSERT_EQ(poll->Tick(), SIG_START);
        ASSERT_EQ(poll->Tick(), SIG_RUNNING);
    }

    TScriptedComms comms;
    TPacing pacing;
    Clock::time_point now = Clock::time_point(std::chrono::hours(1));
    std::unique_ptr<TSignalStrengthRefresh> poll;
};

TEST_F(TSignalStrengthRefreshTest, FreshPoll_IsDoneWithoutFreshValue_FirstTickOnlyArms)
{
    EXPECT_EQ(poll->State(), SIG_DONE);
    EXPECT_FALSE(poll->HasFreshValue());
    EXPECT_EQ(poll->Tick(), SIG_START);
    // Monitoring is switched on at the second tick, not the first.
    EXPECT_TRUE(comms.Requests().empty());
    EXPECT_TRUE(poll->HasFreshValue());
}

TEST_F(TSignalStrengthRefreshTest, Start_SwitchOnRefused_Fails)
{
    comms.Queue(CMD_SIGNAL_MONITOR, TReply::Refused());
    poll->Tick();
    EXPECT_EQ(poll->Tick(), SIG_FAILED);
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 1);
    EXPECT_FALSE(poll->HasFreshValue());
    // A failed poll stays failed until it is restarted.
    EXPECT_EQ(poll->Tick(), SIG_FAILED);
}

TEST_F(TSignalStrengthRefreshTest, Running_ReadLevels_GoodBadAndEmptyReplies)
{
    StartRunning();
    struct Row {
        TReply answer;
        std::uint8_t level;
    } rows[] = {
        {TBytes{17}, 17},
        {TReply::Refused(), 150}, // failed read
        {TReply::Ack(), 255},     // ACK without data keeps the preset
        {TBytes{99, 4}, 99},
    };
    for (const auto &row : rows) {
        comms.Queue(CMD_READ_SIGNAL, row.answer);
        EXPECT_EQ(poll->Tick(), SIG_RUNNING);
        EXPECT_EQ(poll->SignalLevel(), row.level);
    }
    EXPECT_TRUE(poll->HasFreshValue());
}

TEST_F(TSignalStrengthRefreshTest, Running_FiveFailuresInARow_Fail_GoodReadResetsCount)
{
    StartRunning();
    for (int i = 0; i < 4; ++i)
        comms.Queue(CMD_READ_SIGNAL, TReply::Refused());
    comms.Queue(CMD_READ_SIGNAL, TBytes{12});
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(poll->Tick(), SIG_RUNNING);
    EXPECT_EQ(poll->ReadFailures(), 0);

    for (int i = 0; i < 4; ++i) {
        comms.Queue(CMD_READ_SIGNAL, TReply::Refused());
        EXPECT_EQ(poll->Tick(), SIG_RUNNING);
    }
    comms.Queue(CMD_READ_SIGNAL, TReply::Refused());
    EXPECT_EQ(poll->Tick(), SIG_FAILED);
    EXPECT_EQ(poll->SignalLevel(), 150);
}

TEST_F(TSignalStrengthRefreshTest, Running_SwitchOnRepeatedOnlyAfterRepeatPeriod)
{
    StartRunning();
    comms.Always(CMD_READ_SIGNAL, TBytes{20});
    comms.Always(CMD_SIGNAL_MONITOR, TReply::Ack());

    now += milliseconds(115000); // exactly the period: not yet
    poll->Tick();
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 1);

    now += milliseconds(1);
    poll->Tick();
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 2);

    // The period counts from the repeat, not from the first switch-on.
    now += milliseconds(60000);
    poll->Tick();
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 2);
    now += milliseconds(56000);
    poll->Tick();
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 3);
}

TEST_F(TSignalStrengthRefreshTest, Running_FailedRepeat_IsIgnoredAndTriedNextTick)
{
    StartRunning();
    comms.Always(CMD_READ_SIGNAL, TBytes{20});
    now += milliseconds(200000);
    comms.Queue(CMD_SIGNAL_MONITOR, TReply::Refused());
    EXPECT_EQ(poll->Tick(), SIG_RUNNING);
    comms.Queue(CMD_SIGNAL_MONITOR, TReply::Ack());
    EXPECT_EQ(poll->Tick(), SIG_RUNNING);
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 3);
    // Switched on again just now: the next tick does not repeat.
    poll->Tick();
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 3);
}

TEST_F(TSignalStrengthRefreshTest, Stop_TakesTwoTicks_ThenMonitoringOffAndDone)
{
    StartRunning();
    comms.Always(CMD_READ_SIGNAL, TBytes{20});
    poll->RequestStop();
    EXPECT_EQ(poll->Tick(), SIG_STOPPING);
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOff), 0);
    comms.Queue(CMD_SIGNAL_MONITOR, TReply::Ack());
    EXPECT_EQ(poll->Tick(), SIG_DONE);
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOff), 1);
    EXPECT_FALSE(poll->HasFreshValue());
}

TEST_F(TSignalStrengthRefreshTest, Stop_SwitchOffRefused_Fails)
{
    StartRunning();
    comms.Always(CMD_READ_SIGNAL, TBytes{20});
    poll->RequestStop();
    poll->Tick();
    comms.Queue(CMD_SIGNAL_MONITOR, TReply::Refused());
    EXPECT_EQ(poll->Tick(), SIG_FAILED);
}

TEST_F(TSignalStrengthRefreshTest, Stop_RequestedWhileFailing_FailureIsNotHidden)
{
    StartRunning();
    for (int i = 0; i < 4; ++i)
        comms.Queue(CMD_READ_SIGNAL, TReply::Refused());
    for (int i = 0; i < 4; ++i)
        poll->Tick();
    poll->RequestStop();
    comms.Queue(CMD_READ_SIGNAL, TReply::Refused());
    EXPECT_EQ(poll->Tick(), SIG_FAILED);
}

TEST_F(TSignalStrengthRefreshTest, Restart_AfterFailure_StartsAfreshWithStaleStopCleared)
{
    comms.Queue(CMD_SIGNAL_MONITOR, TReply::Refused());
    poll->Tick();
    ASSERT_EQ(poll->Tick(), SIG_FAILED);
    poll->RequestStop();

    poll->Restart();
    EXPECT_EQ(poll->State(), SIG_DONE);
    StartRunning();
    comms.Queue(CMD_READ_SIGNAL, TBytes{9});
    // The stop asked for before the restart does not end the new run.
    EXPECT_EQ(poll->Tick(), SIG_RUNNING);
    EXPECT_EQ(poll->SignalLevel(), 9);
}

} // namespace

namespace
{

// A stop asked for before the first tick (checking switched on and off again
// within one tick) used to be forgotten at the switch-on, so monitoring ran on.
TEST_F(TSignalStrengthRefreshTest, StopBeforeSwitchOn_EndsDoneWithoutSwitchingOn_ClearArmsAgain)
{
    poll->RequestStop();
    EXPECT_EQ(poll->Tick(), SIG_DONE);
    EXPECT_EQ(poll->Tick(), SIG_DONE);
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 0);

    // Stopped between the arming tick and the switch-on.
    poll->ClearStopRequest();
    EXPECT_EQ(poll->Tick(), SIG_START);
    poll->RequestStop();
    EXPECT_EQ(poll->Tick(), SIG_DONE);
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 0);

    poll->ClearStopRequest();
    StartRunning();
    EXPECT_EQ(comms.Count(CMD_SIGNAL_MONITOR, kOn), 1);
}

} // namespace
