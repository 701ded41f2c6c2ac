#include "engine/Serialthread.h"
#include "engine/Headlesshost.h"
#include "engine/Signalstrengthrefresh.h"

#include "common/Errormanager.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <gtest/gtest.h>

#include <chrono>

namespace
{

using namespace zelvo::test;

// The engine over a scripted link, stepped on the test thread.
class TSerialThreadTest : public ::testing::Test
{
protected:
    TSerialThreadTest()
    {
        auto owned = std::make_unique<TScriptedComms>();
        comms = owned.get();
        TPacing pacing = TPacing::Shrunk(1000);
        // Scripted steps follow no clock: a slow machine must not make a
        // state look stuck.
        pacing.StoreForwardStall = std::chrono::hours(1);
        engine = std::make_unique<TSerialThread>(&host, pacing, std::move(owned));
        comms->Always(CMD_WRITE_SF_COMMAND, TReply::Ack());
    }
    ~TSerialThreadTest() override { engine.reset(); }

    void ScriptConnect(std::uint8_t unitType = UNIT_TYPE_VELLO, const char *version = "V2.60?")
    {
        const std::string v = std::string("Zelvo ") + version;
        comms->Queue(CMD_READ_VERSION, TWireRecord().Text(v));
        comms->Queue(CMD_READ_UNIT_TYPE, TBytes{unitType});
        comms->Queue(CMD_READ_SETTINGS_1, TBytes(255, 0));
        comms->Queue(CMD_READ_SETTINGS_2, TBytes(58, 0));
    }

    // Steps from StartConnect to LINK_JOB with job 1 set.
    void Connect(std::uint8_t unitType = UNIT_TYPE_VELLO)
    {
        ScriptConnect(unitType);
        engine->StartConnect();
        for (int i = 0; i < 4; ++i)
            engine->StepOnce();
        ASSERT_EQ(engine->LinkState(), LINK_JOB);
    }

    void SF(int state) { comms->Queue(CMD_READ_SF_STATE, TBytes{std::uint8_t(state)}); }

    // A server reply of `body` plus the checksum that makes it add up to 0.
    void ScriptReply(const TBytes &body) { comms->QueueMessage(WithChecksum(body)); }

    // Connects and brings the unit through its idle check with job `code`
    // set: the next SF poll acts for the job.
    void ConnectedWithJob(int code)
    {
        Connect();
        SF(SF_IDLE);
        engine->PostJob(static_cast<TMessageType>(code));
        ASSERT_EQ(engine->LinkState(), LINK_JOB);
    }

    // Every log entry so far, flushed or not.
    QStringList Log() const
    {
        errorLog.FlushLog();
        return host.LogLines().join(QStringLiteral(", ")).split(QStringLiteral(", "));
    }
    // True when `texts` appear in the log in this order (others may lie between).
    bool LogInOrder(const QStringList &texts) const
    {
        const QStringList log = Log();
        int at = 0;
        for (const QString &t : texts) {
            at = log.indexOf(t, at);
            if (at < 0)
                return false;
            ++at;
        }
        return true;
    }

    // The log the host hands to the engine (mutable: Log() flushes it).
    mutable TErrorManager errorLog{FreshLogPath()};
    THeadlessHost host{errorLog};
    TScriptedComms *comms = nullptr;
    std::unique_ptr<TSerialThread> engine;
};

TEST_F(TSerialThreadTest, Construct_ReportsWaiting_IdleWithUnknownSFState)
{
    EXPECT_EQ(errorLog.StatusText(), "Waiting...");
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_EQ(engine->StoreForwardState(), SF_UNKNOWN);
    EXPECT_FALSE(engine->IsBusy());
    EXPECT_EQ(engine->JobCode(), 0);
}

// Each engine writes to its own host's log, and so do the unit object and the
// parser it makes: two engines side by side keep their texts apart, each
// shown on its own host, and ending one leaves the other's display alone.
TEST_F(TSerialThreadTest, TwoEngines_EachWritesToItsOwnHostsLog)
{
    {
        TErrorManager otherLog(FreshLogPath());
        THeadlessHost otherHost(otherLog);
        auto owned = std::make_unique<TScriptedComms>();
        TScriptedComms *otherComms = owned.get();
        TSerialThread other(&otherHost, TPacing::Shrunk(1000), std::move(owned));
        EXPECT_EQ(&other.ErrorLog(), &otherLog);
        EXPECT_EQ(&engine->ErrorLog(), &errorLog);
        EXPECT_EQ(otherLog.StatusText(), "Waiting...");

        Connect();
        EXPECT_TRUE(LogInOrder({"Waiting...", "Opening Comm Port", "Checking device"}));
        EXPECT_EQ(otherLog.PendingLog(), "Waiting...");

        // The other engine's unit object and parser.
        otherComms->Queue(CMD_READ_VERSION, TWireRecord().Text("Zelvo V2.60?"));
        other.Unit()->CheckFirmware();
        EXPECT_EQ(otherLog.StatusText(), "Connected to Zelvo V2.60?");
        const TBytes damaged{0x05, 0xFA};
        other.Parser()->SetType(MSG_READ_BASIC_INFO);
        EXPECT_FALSE(other.Parser()->ParseReply(damaged.data(), 2, other.Unit()));
        EXPECT_EQ(otherLog.StatusText(), "Checksum error");
        EXPECT_NE(errorLog.StatusText(), "Checksum error");

        engine->Poll();
        other.Poll();
        EXPECT_EQ(host.Panel0(), errorLog.StatusText());
        EXPECT_EQ(otherHost.Panel0(), "Checksum error");
        EXPECT_TRUE(otherHost.LogLines().join(", ").contains("Checksum error"));
        EXPECT_FALSE(Log().contains("Checksum error"));
    }
    errorLog.SetStatus(QStringLiteral("after the other engine"));
    engine->Poll();
    EXPECT_EQ(host.Panel0(), "after the other engine");
}

TEST_F(TSerialThreadTest, ConnectSequence_StepsThroughStatesToJob_ThenConnectedEvent)
{
    ScriptConnect(UNIT_TYPE_VELLO);
    engine->StartConnect();
    EXPECT_EQ(engine->LinkState(), LINK_OPENING);
    EXPECT_EQ(engine->JobCode(), 1);
    const int expected[] = {LINK_CHECKING, LINK_READ_TYPE, LINK_READ_SETTINGS, LINK_JOB};
    for (int state : expected) {
        engine->StepOnce();
        EXPECT_EQ(engine->LinkState(), state);
    }
    EXPECT_TRUE(LogInOrder({"Waiting...", "Start Reading Basic Information.", "Opening Comm Port",
                            "Checking device"}));
    EXPECT_EQ(host.ConnectedCount(), 0);
    engine->Poll();
    EXPECT_EQ(host.ConnectedCount(), 1);
    EXPECT_TRUE(host.HasConnectionSettings());
    EXPECT_TRUE(host.NoEthernet());
    // The event is consumed by one poll.
    engine->Poll();
    EXPECT_EQ(host.ConnectedCount(), 1);
}

TEST_F(TSerialThreadTest, PostJob_FromIdleOpensFirst_FromLiveGoesStraightToJob)
{
    engine->PostJob(MSG_READ_IO_CONFIG);
    EXPECT_EQ(engine->LinkState(), LINK_OPENING);
    EXPECT_EQ(errorLog.StatusText(), "Opening Comm Port");

    ScriptConnect();
    for (int i = 0; i < 4; ++i)
        engine->StepOnce();
    ASSERT_EQ(engine->LinkState(), LINK_JOB);
    // The job posted before connecting is the one that runs.
    EXPECT_EQ(engine->JobCode(), MSG_READ_IO_CONFIG);
    SF(SF_IDLE);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands(), std::vector<int>{SF_CONNECTING});

    // StartConnect while connected changes only the job.
    engine->StartConnect();
    EXPECT_EQ(engine->LinkState(), LINK_JOB);
    EXPECT_EQ(engine->JobCode(), MSG_READ_BASIC_INFO);
}

TEST_F(TSerialThreadTest, ConnectSteps_SilentUnit_EndDisconnectedWithCommunicationError)
{
    // Silent at checking: straight to closing. Silent at type or settings:
    // through the error state.
    struct Row {
        int silentFrom; // 0 checking, 1 type, 2 settings
        std::vector<int> states;
    } rows[] = {
        {0, {LINK_CHECKING, LINK_CLOSING, LINK_IDLE}},
        {1, {LINK_CHECKING, LINK_READ_TYPE, LINK_ERROR, LINK_CLOSING, LINK_IDLE}},
        {2,
         {LINK_CHECKING, LINK_READ_TYPE, LINK_READ_SETTINGS, LINK_ERROR, LINK_CLOSING, LINK_IDLE}},
    };
    for (const auto &row : rows) {
        if (row.silentFrom > 0)
            comms->Queue(CMD_READ_VERSION, TBytes{'V', '3', '?'});
        if (row.silentFrom > 1)
            comms->Queue(CMD_READ_UNIT_TYPE, TBytes{UNIT_TYPE_OSTRA});
        const int disconnects = host.DisconnectedCount();
        engine->StartConnect();
        // Polled after every step, as the window may: one disconnection only.
        for (int state : row.states) {
            engine->StepOnce();
            engine->Poll();
            EXPECT_EQ(engine->LinkState(), state) << "silent from " << row.silentFrom;
        }
        EXPECT_TRUE(Log().contains("Error communicating with Zelvo"));
        engine->Poll();
        EXPECT_EQ(host.DisconnectedCount(), disconnects + 1);
        EXPECT_EQ(host.ConnectedCount(), 0);
    }
}

TEST_F(TSerialThreadTest, IdleCheck_UnitProcessing_AskedToIdleBeforeAnyJob)
{
    Connect();
    SF(SF_PROCESSING);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands(), std::vector<int>{SF_IDLE});
    EXPECT_EQ(errorLog.StatusText(), "Waiting for Zelvo to Idle");
    EXPECT_EQ(errorLog.StoreForwardText(), "SF_PROCESSING");
    SF(SF_IDLE);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands(), (std::vector<int>{SF_IDLE, SF_CONNECTING}));
    EXPECT_EQ(errorLog.StatusText(), "Zelvo idle.");
}

TEST_F(TSerialThreadTest, IdlePoll_StartRequestDependsOnJob)
{
    struct Row {
        int job;
        int request;
    } rows[] = {{MSG_READ_SNAPSHOT, SF_CONNECTING_WITH_SNAPSHOT},
                {MSG_LOGON, SF_CONNECTING},
                {MSG_READ_UOM_INFO, SF_CONNECTING}};
    for (const auto &row : rows) {
        comms->ClearRequests();
        if (engine->LinkState() == LINK_IDLE)
            ConnectedWithJob(row.job);
        else {
            SF(SF_IDLE);
            engine->PostJob(static_cast<TMessageType>(row.job));
        }
        engine->StepOnce();
        EXPECT_EQ(comms->SFCommands().back(), row.request) << row.job;
    }
}

TEST_F(TSerialThreadTest, IdlePoll_NoJob_EndsCycleIntoLiveAndBusyClearsNextStep)
{
    Connect();
    engine->SetActive(true);
    SF(SF_IDLE);
    engine->PostJob(MSG_NONE);
    engine->StepOnce();
    EXPECT_TRUE(engine->IsBusy());
    EXPECT_EQ(engine->LinkState(), LINK_LIVE);
    EXPECT_TRUE(LogInOrder({"Zelvo idle", "Ready to take live readings."}));
    // The first live tick ran at once and armed the live timer.
    EXPECT_TRUE(engine->IsLiveTimerActive());
    engine->StepOnce();
    EXPECT_FALSE(engine->IsBusy());
}

TEST_F(TSerialThreadTest, WaitingUpload_SendsMessageThenUploadingRequest_NoJobLogsOff)
{
    ConnectedWithJob(MSG_READ_UOM_INFO);
    engine->StepOnce(); // idle: asks to connect
    comms->Always(CMD_WRITE_MESSAGE_BLOCK, TReply::Ack());
    SF(SF_WAITING_UPLOAD);
    engine->StepOnce();
    EXPECT_EQ(comms->Count(CMD_WRITE_MESSAGE_BLOCK), 1);
    EXPECT_EQ(comms->SFCommands().back(), SF_UPLOADING);

    // A refused upload still asks for SF_UPLOADING.
    comms->Always(CMD_WRITE_MESSAGE_BLOCK, TReply::Refused());
    SF(SF_WAITING_UPLOAD);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands().back(), SF_UPLOADING);

    SF(SF_ERROR); // drop the job
    engine->StepOnce();
    SF(SF_WAITING_UPLOAD);
    engine->PostJob(MSG_NONE);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands().back(), SF_LOGGING_OFF);
}

TEST_F(TSerialThreadTest, Download_IOConfigMoreToFollow_RepeatsJob9ThenJob11)
{
    ConnectedWithJob(MSG_READ_IO_CONFIG);
    engine->StepOnce();
    SF(SF_WAITING_DOWNLOAD);
    ScriptReply({0x01}); // more to follow, no records
    engine->StepOnce();
    EXPECT_EQ(engine->JobCode(), MSG_READ_IO_CONFIG);
    EXPECT_EQ(comms->SFCommands().back(), SF_CONNECTING);
    EXPECT_TRUE(Log().contains("More IO Config to follow..."));

    SF(SF_WAITING_DOWNLOAD);
    ScriptReply({0x00});
    engine->StepOnce();
    EXPECT_EQ(engine->JobCode(), MSG_READ_INPUT_TYPES);
    EXPECT_EQ(comms->SFCommands().back(), SF_CONNECTING);
    EXPECT_TRUE(LogInOrder(
        {"IOConfig read OK", "All IO Config has been read", "Start reading the input types."}));
    EXPECT_TRUE(engine->HasIOConfiguration());
}

TEST_F(TSerialThreadTest, Download_ReplyLongerThanBuffer_FailsLikeABadReply)
{
    ConnectedWithJob(MSG_READ_IO_CONFIG);
    engine->StepOnce();
    SF(SF_WAITING_DOWNLOAD);
    // A total of 8100 bytes cannot fit the 8000-byte reply buffer.
    comms->Queue(CMD_READ_MESSAGE_LENGTH, TWireRecord().U16(8100));
    comms->Always(CMD_READ_MESSAGE_BLOCK, TBytes(255, 0));
    engine->StepOnce();
    EXPECT_TRUE(Log().contains("IOConfig read error"));
    EXPECT_EQ(engine->JobCode(), 0);
    EXPECT_FALSE(engine->HasIOConfiguration());
    EXPECT_EQ(comms->SFCommands().back(), SF_LOGGING_OFF);
    engine->Poll();
    EXPECT_EQ(host.TabsEnabledCount(), 1);
}

TEST_F(TSerialThreadTest, Download_BasicInfoFailed_AsksRestartAndSendsIdleThenLogOff)
{
    ConnectedWithJob(MSG_READ_BASIC_INFO);
    engine->StepOnce();
    comms->ClearRequests();
    // Every length query is refused: the download fails.
    SF(SF_WAITING_DOWNLOAD);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands(), (std::vector<int>{SF_IDLE, SF_LOGGING_OFF}));
    engine->Poll();
    ASSERT_FALSE(host.Messages().empty());
    EXPECT_EQ(host.Messages().back().Text,
              "An error has occurred.\nCommunication with the Zelvo failed. Please restart the "
              "software");
}

TEST_F(TSerialThreadTest, Download_BasicInfoGood_ChainsUOMInfoAndStaysConnected)
{
    ConnectedWithJob(MSG_READ_BASIC_INFO);
    engine->StepOnce();
    SF(SF_WAITING_DOWNLOAD);
    ScriptReply(std::vector<std::uint8_t>(21, 7));
    engine->StepOnce();
    EXPECT_TRUE(engine->HasBasicInfo());
    EXPECT_EQ(engine->JobCode(), MSG_READ_UOM_INFO);
    EXPECT_EQ(comms->SFCommands().back(), SF_CONNECTING);
    EXPECT_EQ(errorLog.StatusText(), "Start reading the UOM information.");
}

TEST_F(TSerialThreadTest, Download_Logon_OutcomeReachesHost)
{
    for (bool accepted : {true, false}) {
        if (engine->LinkState() == LINK_IDLE)
            ConnectedWithJob(MSG_LOGON);
        else {
            SF(SF_IDLE);
            engine->PostJob(MSG_LOGON);
        }
        engine->StepOnce();
        SF(SF_WAITING_DOWNLOAD);
        if (accepted) {
            ScriptReply({0x01});
        } else {
            // The server's one-byte refusal.
            comms->QueueMessage({0x07});
        }
        engine->StepOnce();
        EXPECT_EQ(host.IsLoggedOn(), accepted);
        EXPECT_EQ(engine->JobCode(), 0);
    }
    EXPECT_EQ(host.LogonResults(), 2);
}

TEST_F(TSerialThreadTest, ForceSync_AfterOutputWrite_SentAtNextIdleEvenWithoutJob)
{
    ConnectedWithJob(MSG_WRITE_OUTPUT);
    engine->StepOnce();
    SF(SF_WAITING_DOWNLOAD);
    ScriptReply({0x00, 0x01});
    engine->StepOnce();
    EXPECT_TRUE(engine->ForceSyncPending());
    EXPECT_EQ(engine->JobCode(), 0);

    SF(SF_LOGGING_OFF);
    engine->StepOnce();
    ASSERT_EQ(engine->LinkState(), LINK_LIVE);

    engine->PostJob(MSG_NONE);
    SF(SF_IDLE);
    engine->StepOnce();
    EXPECT_EQ(comms->SFCommands().back(), SF_FORCE_SYNC);
    EXPECT_FALSE(engine->ForceSyncPending());
    EXPECT_EQ(engine->LinkState(), LINK_JOB);
    SF(SF_FORCE_SYNC);
    engine->StepOnce();
    EXPECT_EQ(errorLog.StatusText(), "Forcing sync with server");
}

TEST_F(TSerialThreadTest, SFUnknownAndError_DropJobAskIdle_OnlyErrorEndsCycle)
{
    struct Row {
        int state;
        int linkAfter;
    } rows[] = {{SF_UNKNOWN, LINK_JOB}, {SF_ERROR, LINK_LIVE}};
    for (const auto &row : rows) {
        if (engine->LinkState() == LINK_IDLE)
            ConnectedWithJob(MSG_READ_UOM_INFO);
        else {
            SF(SF_IDLE);
            engine->PostJob(MSG_READ_UOM_INFO);
        }
        engine->StepOnce();
        SF(row.state);
        engine->StepOnce();
        EXPECT_EQ(engine->JobCode(), 0);
        EXPECT_EQ(comms->SFCommands().back(), SF_IDLE);
        EXPECT_EQ(engine->LinkState(), row.linkAfter) << row.state;
        engine->Poll();
        ASSERT_FALSE(host.Messages().empty());
        EXPECT_TRUE(host.Messages().back().Text.startsWith(
            "An error has occurred.\nThis could be due to poor signal."));
    }
    EXPECT_EQ(host.TabsEnabledCount(), 2);
}

TEST_F(TSerialThreadTest, SFReads_UnitSilent_GivesUpAfterLimitAndDisconnects)
{
    ConnectedWithJob(MSG_READ_UOM_INFO);
    engine->StepOnce();
    for (int i = 1; i < TSerialThread::MaxSFReadFailures; ++i) {
        engine->StepOnce();
        EXPECT_EQ(engine->LinkState(), LINK_JOB);
        EXPECT_TRUE(engine->IsBusy());
    }
    engine->StepOnce();
    EXPECT_EQ(engine->LinkState(), LINK_ERROR);
    engine->StepOnce();
    engine->StepOnce();
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_FALSE(engine->IsBusy());
    engine->Poll();
    EXPECT_EQ(host.DisconnectedCount(), 1);
    ASSERT_FALSE(host.Messages().empty());
    EXPECT_EQ(host.Messages().back().Kind, MK_ERROR);
    EXPECT_TRUE(host.Messages().back().Text.contains("stopped answering"));
}

TEST_F(TSerialThreadTest, SFReads_OccasionalFailures_DoNotCountOnceAReadSucceeds)
{
    ConnectedWithJob(MSG_READ_UOM_INFO);
    for (int round = 0; round < 3; ++round) {
        for (int i = 1; i < TSerialThread::MaxSFReadFailures; ++i)
            engine->StepOnce();
        SF(SF_PROCESSING);
        engine->StepOnce();
    }
    EXPECT_EQ(engine->LinkState(), LINK_JOB);
    EXPECT_EQ(engine->JobCode(), MSG_READ_UOM_INFO);
}

TEST_F(TSerialThreadTest, LiveTick_ByPage_ReadsLiveExternalOrNothing)
{
    Connect();
    SF(SF_IDLE);
    engine->PostJob(MSG_NONE);
    host.SetShownLiveList(LIVE_LIST_NONE);
    engine->StepOnce();
    ASSERT_EQ(engine->LinkState(), LINK_LIVE);
    comms->ClearRequests();

    engine->LiveTickNow();
    EXPECT_TRUE(comms->Requests().empty());
    EXPECT_TRUE(engine->IsLiveTimerActive());

    host.SetShownLiveList(LIVE_LIST_EXTERNAL_IO);
    engine->LiveTickNow();
    EXPECT_EQ(errorLog.StatusText(), "Reading External IO...");
    EXPECT_TRUE(engine->IsLiveTimerActive());

    // Page 2: five failed live reads drop the connection; the timer stays off.
    host.SetShownLiveList(LIVE_LIST_OWN_IO);
    for (int i = 0; i < 4; ++i) {
        engine->LiveTickNow();
        EXPECT_EQ(errorLog.StatusText(), "Reading Internal IO...");
        EXPECT_TRUE(engine->IsLiveTimerActive());
    }
    engine->LiveTickNow();
    EXPECT_EQ(comms->Count(CMD_READ_LIVE_VALUES), 5);
    EXPECT_FALSE(engine->IsLiveTimerActive());
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_EQ(errorLog.StatusText(), "Disconnected. Waiting...");

    // Not live any more: a tick reads nothing and leaves the timer off.
    comms->ClearRequests();
    engine->LiveTickNow();
    EXPECT_TRUE(comms->Requests().empty());
    EXPECT_FALSE(engine->IsLiveTimerActive());
}

TEST_F(TSerialThreadTest, SignalChecking_FailsThenRestartsAfresh_StopReturnsThroughJob)
{
    Connect();
    engine->StartSignalChecking();
    EXPECT_EQ(engine->LinkState(), LINK_SIGNAL);
    EXPECT_TRUE(engine->IsSignalTimerActive());
    engine->SignalTickNow(); // DONE -> START
    engine->SignalTickNow(); // switch-on refused: failed
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_FALSE(engine->IsSignalTimerActive());
    const QString text =
        "Refreshing signal strength failed. Please check your Zelvo to PC connection";
    EXPECT_EQ(errorLog.StatusText(), "Disconnected. Waiting...");
    EXPECT_TRUE(Log().contains(text));
    engine->Poll();
    ASSERT_FALSE(host.Messages().empty());
    EXPECT_EQ(host.Messages().back().Text, text);
    EXPECT_EQ(host.Messages().back().Kind, MK_ERROR);
    EXPECT_EQ(host.DisconnectedCount(), 1);

    // Checking again starts from the beginning instead of failing at once.
    Connect();
    comms->Always(CMD_SIGNAL_MONITOR, TReply::Ack());
    comms->Always(CMD_READ_SIGNAL, TBytes{14});
    engine->StartSignalChecking();
    engine->SignalTickNow();
    engine->SignalTickNow();
    engine->SignalTickNow();
    EXPECT_EQ(engine->SignalPoll()->State(), SIG_RUNNING);
    engine->Poll();
    ASSERT_FALSE(host.SignalLevels().empty());
    EXPECT_EQ(host.SignalLevels().back(), 14);

    engine->StopSignalChecking();
    engine->SignalTickNow();
    EXPECT_EQ(engine->LinkState(), LINK_SIGNAL);
    engine->SignalTickNow();
    EXPECT_EQ(engine->LinkState(), LINK_JOB);
    EXPECT_FALSE(engine->IsSignalTimerActive());
}

TEST_F(TSerialThreadTest, Poll_RefreshesLabelsOnlyWhenSomethingHappened)
{
    engine->Poll(); // takes the "Waiting..." status
    host.RefreshStatusLabels(TReceivedFlags{true, true, true, true, true, true, true});
    engine->Poll();
    // Nothing happened: the labels keep what they were given.
    EXPECT_TRUE(host.LastFlags().BasicInfo);

    host.SetLoggedOn(true);
    engine->SaveConnectionSettings(TConnectionSettings{});
    engine->StepOnce(); // save fails: no link
    engine->StepOnce();
    engine->StepOnce();
    engine->Poll();
    const TReceivedFlags f = host.LastFlags();
    EXPECT_FALSE(f.BasicInfo);
    EXPECT_TRUE(f.LoggedOn);
    EXPECT_EQ(host.DisconnectedCount(), 1);
}

TEST_F(TSerialThreadTest, SaveOutcome_InProgressUntilTheSaveStep_ThenItsResult)
{
    struct Row {
        const char *name;
        bool unitAnswers;
        int outcome;
        int stateAfter;
    } rows[] = {
        {"written and applied", true, SAVE_SUCCEEDED, LINK_CLOSING},
        {"settings not readable", false, SAVE_FAILED, LINK_ERROR},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        auto owned = std::make_unique<TScriptedComms>();
        TScriptedComms *link = owned.get();
        TSerialThread saver(&host, TPacing::Shrunk(1000), std::move(owned));
        EXPECT_EQ(saver.SaveOutcome(), SAVE_NONE);
        if (row.unitAnswers) {
            link->Queue(CMD_READ_SETTINGS_1, TBytes(255, 0));
            link->Queue(CMD_READ_SETTINGS_2, TBytes(58, 0));
            link->Always(CMD_WRITE_SETTINGS_1, TReply::Ack());
            link->Always(CMD_WRITE_SETTINGS_2, TReply::Ack());
            link->Always(CMD_APPLY_SETTINGS, TReply::Ack());
        }
        TConnectionSettings s;
        s.ConnectionType = kConnectionTypeMobile;
        s.APN = "apn";
        saver.SaveConnectionSettings(s);
        EXPECT_EQ(saver.SaveOutcome(), SAVE_IN_PROGRESS);
        saver.StepOnce();
        EXPECT_EQ(saver.SaveOutcome(), row.outcome);
        EXPECT_EQ(saver.LinkState(), row.stateAfter);
        EXPECT_EQ(link->Count(CMD_APPLY_SETTINGS), row.unitAnswers ? 1 : 0);
    }
}

TEST_F(TSerialThreadTest, FirmwareVersion_KeptFromTheConnectionCheck)
{
    EXPECT_EQ(engine->FirmwareVersion(), "");
    Connect();
    EXPECT_EQ(engine->FirmwareVersion(), "Zelvo V2.60?");
    // Asked once only, while connecting.
    EXPECT_EQ(comms->Count(CMD_READ_VERSION), 1);
}

TEST_F(TSerialThreadTest, Cancel_ReadBetweenConfigParts_EndsAtNextStep_IdleAsked_LinkStaysOpen)
{
    ConnectedWithJob(MSG_READ_IO_CONFIG);
    engine->StepOnce();     // idle: asks to connect
    TWireRecord part{0x01}; // more to follow
    part.IOConfig(100, "EXT001", 0, 5, 0, "Pump");
    SF(SF_WAITING_DOWNLOAD);
    ScriptReply(part);
    engine->StepOnce();
    ASSERT_EQ(engine->Unit()->ServerSideIOs().Count(), 1);
    ASSERT_EQ(engine->JobCode(), MSG_READ_IO_CONFIG);

    EXPECT_EQ(engine->RequestCancel(), CANCEL_PENDING);
    // Asked again: where the first request stands.
    EXPECT_EQ(engine->RequestCancel(), CANCEL_PENDING);
    comms->ClearRequests();
    engine->StepOnce();
    EXPECT_EQ(engine->CancelState(), CANCEL_DONE);
    // The step does not wait for the unit's state: it asks for idle at once.
    EXPECT_EQ(comms->Count(CMD_READ_SF_STATE), 0);
    EXPECT_EQ(comms->SFCommands(), std::vector<int>{SF_IDLE});
    EXPECT_EQ(engine->LinkState(), LINK_LIVE);
    EXPECT_EQ(engine->JobCode(), 0);
    // The partial list goes and the flags of the chain stay No.
    EXPECT_EQ(engine->Unit()->ServerSideIOs().Count(), 0);
    EXPECT_FALSE(engine->HasIOConfiguration());
    EXPECT_FALSE(engine->HasInputTypes());
    EXPECT_EQ(errorLog.StatusText(), "Job cancelled: Zelvo asked to go idle");
    EXPECT_FALSE(Log().contains("Ready to take live readings."));
    EXPECT_TRUE(engine->IsBusy());
    engine->StepOnce();
    EXPECT_FALSE(engine->IsBusy());
    EXPECT_EQ(engine->RequestCancel(), CANCEL_NOTHING);
    engine->Poll();
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(host.TabsEnabledCount(), 1);
    EXPECT_EQ(host.DisconnectedCount(), 0);
    EXPECT_EQ(comms->CloseCount, 0);

    // The next job starts afresh and first sees the unit idle again.
    engine->PostJob(MSG_READ_SNAPSHOT);
    EXPECT_EQ(engine->CancelState(), CANCEL_NONE);
    SF(SF_CONNECTING);
    engine->StepOnce();
    EXPECT_EQ(errorLog.StatusText(), "Waiting for Zelvo to Idle");
    EXPECT_EQ(comms->SFCommands().back(), SF_IDLE);
}

TEST_F(TSerialThreadTest, Cancel_WriteBeforeUpload_NothingUploaded_UnitAskedIdle)
{
    struct Row {
        const char *name;
        int job;
        bool duringStep; // asked while the step reads the unit's state
    } rows[] = {
        {"output, asked between steps", MSG_WRITE_OUTPUT, false},
        {"configuration, asked between steps", MSG_WRITE_IO_CONFIG, false},
        {"configuration, asked just before the upload", MSG_WRITE_IO_CONFIG, true},
        {"logon, asked just before the upload", MSG_LOGON, true},
    };
    comms->Always(CMD_WRITE_MESSAGE_BLOCK, TReply::Ack());
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        if (engine->LinkState() == LINK_IDLE)
            ConnectedWithJob(row.job);
        else {
            SF(SF_IDLE);
            engine->PostJob(static_cast<TMessageType>(row.job));
        }
        engine->StepOnce(); // idle: asks to connect
        ASSERT_EQ(engine->JobCode(), row.job);
        comms->ClearRequests();
        TCancelOutcome outcome = CANCEL_NONE;
        if (row.duringStep) {
            SF(SF_WAITING_UPLOAD);
            comms->OnRequest = [&](std::uint8_t command) {
                if (command == CMD_READ_SF_STATE)
                    outcome = engine->RequestCancel();
            };
        } else {
            outcome = engine->RequestCancel();
        }
        engine->StepOnce();
        comms->OnRequest = nullptr;
        EXPECT_EQ(outcome, CANCEL_PENDING);
        EXPECT_EQ(engine->CancelState(), CANCEL_DONE);
        EXPECT_EQ(comms->Count(CMD_WRITE_MESSAGE_BLOCK), 0);
        EXPECT_EQ(comms->SFCommands(), std::vector<int>{SF_IDLE});
        EXPECT_EQ(engine->LinkState(), LINK_LIVE);
        EXPECT_EQ(engine->JobCode(), 0);
        EXPECT_FALSE(engine->ForceSyncPending());
        engine->StepOnce();
        EXPECT_FALSE(engine->IsBusy());
    }
    // The logon got no outcome; the host was told it was cancelled.
    EXPECT_EQ(host.LogonCancels(), 1);
    EXPECT_EQ(host.LogonResults(), 0);
    engine->Poll();
    EXPECT_TRUE(host.Messages().empty());
    EXPECT_EQ(host.DisconnectedCount(), 0);
}

TEST_F(TSerialThreadTest, Cancel_WriteAfterUpload_Refused_RunsToOutcome_ReloadThenCancellable)
{
    ConnectedWithJob(MSG_WRITE_IO_CONFIG);
    engine->StepOnce();
    comms->Always(CMD_WRITE_MESSAGE_BLOCK, TReply::Ack());
    SF(SF_WAITING_UPLOAD);
    engine->StepOnce();
    ASSERT_GT(comms->Count(CMD_WRITE_MESSAGE_BLOCK), 0);

    EXPECT_EQ(engine->RequestCancel(), CANCEL_TOO_LATE);
    EXPECT_EQ(engine->RequestCancel(), CANCEL_TOO_LATE);
    SF(SF_PROCESSING);
    engine->StepOnce();
    EXPECT_EQ(engine->LinkState(), LINK_JOB);
    EXPECT_EQ(engine->JobCode(), MSG_WRITE_IO_CONFIG);
    EXPECT_EQ(engine->CancelState(), CANCEL_TOO_LATE);

    // Accepted: committed, and the reload starts; it is a read and may be
    // cancelled like one.
    SF(SF_WAITING_DOWNLOAD);
    ScriptReply({0x01});
    engine->StepOnce();
    ASSERT_EQ(engine->JobCode(), MSG_READ_UOM_INFO);
    EXPECT_TRUE(engine->ReloadAfterWrite());
    EXPECT_EQ(engine->CancelState(), CANCEL_NONE);
    EXPECT_EQ(engine->RequestCancel(), CANCEL_PENDING);
    comms->ClearRequests();
    engine->StepOnce();
    EXPECT_EQ(engine->CancelState(), CANCEL_DONE);
    EXPECT_EQ(engine->LinkState(), LINK_LIVE);
    EXPECT_EQ(comms->SFCommands(), std::vector<int>{SF_IDLE});
    EXPECT_FALSE(engine->ReloadAfterWrite());
    // The unit still syncs with its server at the next idle poll, as after a
    // whole reload.
    EXPECT_TRUE(engine->ForceSyncPending());
}

TEST_F(TSerialThreadTest, Cancel_WriteAfterUpload_Refused_FailedOutcomeStillShown)
{
    ConnectedWithJob(MSG_WRITE_IO_CONFIG);
    engine->StepOnce();
    comms->Always(CMD_WRITE_MESSAGE_BLOCK, TReply::Ack());
    SF(SF_WAITING_UPLOAD);
    engine->StepOnce();
    EXPECT_EQ(engine->RequestCancel(), CANCEL_TOO_LATE);
    // The download fails: every length query is refused.
    SF(SF_WAITING_DOWNLOAD);
    engine->StepOnce();
    EXPECT_EQ(engine->JobCode(), 0);
    EXPECT_EQ(engine->CancelState(), CANCEL_TOO_LATE);
    engine->Poll();
    ASSERT_EQ(host.Messages().size(), 1u);
    EXPECT_TRUE(host.Messages().back().Text.startsWith(
        "Uploading of the IO Configuration changes has failed."));
    EXPECT_FALSE(Log().contains("Job cancelled: Zelvo asked to go idle"));
}

TEST_F(TSerialThreadTest, RequestCancel_NoJobOrSettingsSave_NothingIsBrokenOff)
{
    EXPECT_EQ(engine->RequestCancel(), CANCEL_NOTHING); // not connected
    Connect();
    SF(SF_IDLE);
    engine->PostJob(MSG_NONE);
    engine->StepOnce();
    ASSERT_EQ(engine->LinkState(), LINK_LIVE);
    EXPECT_EQ(engine->RequestCancel(), CANCEL_NOTHING);
    EXPECT_EQ(engine->CancelState(), CANCEL_NONE);

    // A settings save runs to its end.
    engine->SaveConnectionSettings(TConnectionSettings{});
    EXPECT_EQ(engine->RequestCancel(), CANCEL_SAVING);
    EXPECT_EQ(engine->CancelState(), CANCEL_SAVING);
    engine->StepOnce();
    EXPECT_NE(engine->SaveOutcome(), SAVE_IN_PROGRESS);
    EXPECT_NE(engine->LinkState(), LINK_SAVE_SETTINGS);
}

TEST(StoreForwardStateName, NamesForPanelOne_OutsideRangeIsUnknownState)
{
    struct Row {
        int state;
        const char *name;
    } rows[] = {
        {0, "SF_IDLE"},         {2, "SF_CONNECTING_WITH_SNAPSHOT"},
        {7, "SF_DOWNLOADING"},  {8, "SF_WAITING_DOWNLOAD"},
        {10, "SF_ERROR"},       {11, "SF_UNKNOWN"},
        {12, "Unknown state"},  {-1, "Unknown state"},
        {127, "Unknown state"},
    };
    for (const auto &row : rows)
        EXPECT_STREQ(StoreForwardStateName(row.state), row.name) << row.state;
}

} // namespace
