#include "engine/Headlesshost.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Simulatedunit.h"

#include "common/Bytepipe.h"
#include "common/Errormanager.h"
#include "link/Ftd2xx.h"
#include "link/Portdevice.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "sim/Pipetransport.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <streambuf>

namespace
{

using namespace std::chrono_literals;
using zelvo::test::WaitFor;

constexpr int kComPort = 7;
constexpr std::chrono::milliseconds kSoundFrameTimeout{3000};
constexpr std::chrono::milliseconds kSilentFrameTimeout{400};

// The simulator's trace, collected from its thread.
class TTraceBuffer : public std::streambuf
{
public:
    std::string Text() const
    {
        std::lock_guard<std::mutex> lock(FLock);
        return FText;
    }

protected:
    int overflow(int c) override
    {
        if (c != traits_type::eof()) {
            std::lock_guard<std::mutex> lock(FLock);
            FText.push_back(static_cast<char>(c));
        }
        return c;
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override
    {
        std::lock_guard<std::mutex> lock(FLock);
        FText.append(s, static_cast<std::size_t>(n));
        return n;
    }

private:
    mutable std::mutex FLock;
    std::string FText;
};

// Each chain runs over both wires a front end can give its simulated unit:
// a pseudo-terminal (POSIX only) and the in-process byte pipe.
class EngineE2E : public ::testing::TestWithParam<std::tuple<zsim::Model, TSimulatedWire>>
{
protected:
    void SetUp() override
    {
        pacing = TPacing::Shrunk(25);
        // Frame time-outs cost time only when a unit is silent; generous
        // ones keep a loaded machine from failing sound exchanges. A reply
        // that comes after its time-out stays in the receive queue and is
        // taken for the next one's, so one late reply would derail the rest
        // of a test: tests of silence shorten them where the silence starts.
        pacing.UsbFrameTimeout = kSoundFrameTimeout;
        pacing.ComFrameTimeout = kSoundFrameTimeout;
    }

    void TearDown() override
    {
        engine.reset();
        sim.reset();
        toolEnd.reset();
        Ftd2xx::ClearVirtualBridges();
        ClearComPortMap();
        ClearPipePorts();
    }

    bool Ostra() const { return std::get<0>(GetParam()) == zsim::Model::Ostra; }
    bool OverPipe() const { return std::get<1>(GetParam()) == TSimulatedWire::Pipe; }

    void StartSim(std::vector<std::string> faults = {}, std::string version = {})
    {
        zsim::Options o;
        o.model = std::get<0>(GetParam());
        o.sfStepMs = static_cast<int>(pacing.WorkerStep.count());
        o.applyResetMs = 100;
        o.faults = std::move(faults);
        o.version = std::move(version);
        o.trace = true;
        o.traceOut = &traceStream;
        sim = std::make_unique<zsim::UnitSimulator>(o);
        std::string error;
        if (OverPipe()) {
            auto [tool, unit] = MakeBytePipe();
            toolEnd = tool;
            ASSERT_TRUE(sim->Start(zsim::MakePipeTransport(unit, "pipe"), &error)) << error;
        } else {
            ASSERT_TRUE(sim->Start(&error)) << error;
        }
    }

    // The engine on the link that fits the model: OSTRA on the USB bridge,
    // VELLO on a COM port.
    void MakeEngine()
    {
        engine = std::make_unique<TSerialThread>(&host, pacing);
        if (sim && OverPipe()) {
            RegisterPipeBridge("Zelvo", toolEnd);
            RegisterPipeComPort(kComPort, toolEnd);
        } else if (sim) {
            Ftd2xx::RegisterVirtualBridge("Zelvo", sim->SlavePath());
            MapComPort(kComPort, sim->SlavePath());
        }
        engine->SelectPort(Ostra(), kComPort, 19200);
    }

    // Waits for cond, polling the engine the way the window's timer does.
    bool Until(const std::function<bool()> &cond, std::chrono::milliseconds deadline = 20s)
    {
        return WaitFor(
            [&] {
                engine->Poll();
                return cond();
            },
            deadline);
    }

    bool Settled()
    {
        return engine->LinkState() == LINK_LIVE && engine->JobCode() == 0 && !engine->IsBusy();
    }

    // What the engine showed, for a failure message.
    std::string Diagnostics() const
    {
        std::string text = "link state " + std::to_string(engine->LinkState()) + "\nmessages:";
        for (const auto &m : host.Messages())
            text += "\n  " + m.Text.toStdString();
        text += "\nlog: " + Log().join(QStringLiteral(" | ")).toStdString();
        return text;
    }

    void Connect()
    {
        engine->SetActive(true);
        engine->StartConnect();
        ASSERT_TRUE(Until([&] { return Settled() && host.ConnectedCount() == 1; }))
            << Diagnostics();
    }

    // Shorter frame time-outs for a test of silence or late replies, set
    // while no step runs.
    void ShortenFrameTimeouts()
    {
        engine->SetActive(false);
        ASSERT_TRUE(Until([&] { return !engine->IsStepInProgress(); }));
        pacing.UsbFrameTimeout = kSilentFrameTimeout;
        pacing.ComFrameTimeout = kSilentFrameTimeout;
        engine->Comms()->SetPacing(pacing);
    }

    // Posts a job the way the window's buttons do and waits for the chain
    // to end in live readings.
    void RunJob(int code, const std::vector<std::uint8_t> &payload = {})
    {
        engine->SetActive(false);
        if (!payload.empty())
            engine->SetJobPayload(payload.data(), static_cast<int>(payload.size()));
        engine->PostJob(static_cast<TMessageType>(code));
        engine->SetActive(true);
        ASSERT_TRUE(Until([&] { return engine->IsBusy(); })) << Diagnostics();
        ASSERT_TRUE(Until([&] { return Settled(); })) << Diagnostics();
    }

    std::vector<int> MessageTypes() const
    {
        std::vector<int> out;
        for (const auto &m : sim->ServerMessages())
            out.push_back(m.type);
        return out;
    }

    QStringList Log() const
    {
        errorLog.FlushLog();
        return host.LogLines().join(QStringLiteral(", ")).split(QStringLiteral(", "));
    }

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

    bool HasMessage(const QString &text) const
    {
        for (const auto &m : host.Messages())
            if (m.Text == text)
                return true;
        return false;
    }

    TPacing pacing;
    TTraceBuffer traceBuffer;
    std::ostream traceStream{&traceBuffer};
    std::unique_ptr<zsim::UnitSimulator> sim;
    // The link's end of the pipe, when the unit is served over one.
    std::shared_ptr<TBytePipeEnd> toolEnd;
    // The log the host hands to the engine (mutable: Log() flushes it).
    mutable TErrorManager errorLog{zelvo::test::FreshLogPath()};
    THeadlessHost host{errorLog};
    std::unique_ptr<TSerialThread> engine;
};

std::string ParamName(const ::testing::TestParamInfo<std::tuple<zsim::Model, TSimulatedWire>> &info)
{
    return std::string(std::get<0>(info.param) == zsim::Model::Ostra ? "Ostra" : "Vello") +
           (std::get<1>(info.param) == TSimulatedWire::Pipe ? "Pipe" : "Pty");
}

// ---- connecting ----

TEST_P(EngineE2E, Connect_ReachesLiveThroughJobs1And6_StatusesInOrder)
{
    StartSim();
    MakeEngine();
    EXPECT_EQ(errorLog.StatusText(), "Waiting...");

    // Not active yet: the posted connection waits.
    engine->StartConnect();
    EXPECT_FALSE(WaitFor([&] { return sim->FramesReceived() > 0; }, 5 * pacing.WorkerStep));
    EXPECT_EQ(engine->LinkState(), LINK_OPENING);

    Connect();
    EXPECT_EQ(MessageTypes(), (std::vector<int>{MSG_READ_BASIC_INFO, MSG_READ_UOM_INFO}));
    EXPECT_TRUE(engine->HasBasicInfo());
    EXPECT_TRUE(engine->HasUOMs());
    EXPECT_TRUE(host.HasConnectionSettings());
    EXPECT_EQ(host.NoEthernet(), !Ostra());
    EXPECT_EQ(engine->Unit()->GetUnitType(), Ostra() ? UNIT_TYPE_OSTRA : UNIT_TYPE_VELLO);
    EXPECT_TRUE(LogInOrder({"Waiting...", "Start Reading Basic Information.", "Opening Comm Port",
                            "Checking device", "Zelvo idle.", "Waiting for download.",
                            "Start reading the UOM information.", "UOM Info read complete",
                            "Ready to take live readings."}))
        << Log().join(" | ").toStdString();
    EXPECT_EQ(host.DisconnectedCount(), 0);

#ifndef _WIN32
    // The worker carries the thread name given for debuggers.
    bool named = false;
    for (const QString &task :
         QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f("/proc/self/task/" + task + "/comm");
        if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "SerialThread")
            named = true;
    }
    EXPECT_TRUE(named);
#endif
}

TEST_P(EngineE2E, Connect_UnitStillProcessing_AskedToIdleBeforeTheFirstJob)
{
    StartSim();
    sim->SetSfState(SF_PROCESSING);
    MakeEngine();
    Connect();
    EXPECT_TRUE(LogInOrder(
        {"Waiting for Zelvo to Idle", "Zelvo idle.", "Start reading the UOM information."}));
    EXPECT_EQ(MessageTypes(), (std::vector<int>{MSG_READ_BASIC_INFO, MSG_READ_UOM_INFO}));
}

// ---- job chains ----

TEST_P(EngineE2E, ReadIOConfig_ChainsNineElevenTenTwelve_AndEndsLive)
{
    StartSim();
    MakeEngine();
    Connect();
    const int tabsBefore = host.TabsEnabledCount();
    RunJob(MSG_READ_IO_CONFIG);

    std::vector<int> types = MessageTypes();
    types.erase(types.begin(), types.begin() + 2);
    ASSERT_GE(types.size(), 4u);
    std::vector<int> tail(types.end() - 3, types.end());
    EXPECT_EQ(tail,
              (std::vector<int>{MSG_READ_INPUT_TYPES, MSG_READ_UOM_LIST, MSG_READ_MODBUS_DATA}));
    for (std::size_t i = 0; i + 3 < types.size(); ++i)
        EXPECT_EQ(types[i], MSG_READ_IO_CONFIG);
    EXPECT_TRUE(engine->HasIOConfiguration());
    EXPECT_TRUE(engine->HasInputTypes());
    EXPECT_TRUE(engine->HasUOMLists());
    EXPECT_TRUE(engine->HasModbusData());
    EXPECT_EQ(engine->Unit()->ServerSideIOs().Count(),
              static_cast<int>(sim->IoConfiguration().size()));
    EXPECT_FALSE(engine->ForceSyncPending());
    EXPECT_GT(host.TabsEnabledCount(), tabsBefore);
    EXPECT_EQ(errorLog.StatusText(), "Ready to take live readings.");
}

TEST_P(EngineE2E, WriteIOConfig_ChangedNameReachesServer_ReloadShowsIt_ForcedSyncFollows)
{
    StartSim();
    MakeEngine();
    Connect();
    RunJob(MSG_READ_IO_CONFIG);
    TServerSideIOs &ios = engine->Unit()->ServerSideIOs();
    ASSERT_GT(ios.Count(), 0);
    const std::int32_t id = ios.Item(0)->IOID();
    ios.Item(0)->SetFriendlyName("Pump room east");
    ios.Item(0)->SetChanged(true);
    ASSERT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_READY);
    const std::size_t before = sim->ServerMessages().size();
    RunJob(MSG_WRITE_IO_CONFIG);

    std::string onServer;
    for (const auto &r : sim->IoConfiguration())
        if (r.id == id)
            onServer = r.name;
    EXPECT_EQ(onServer, "Pump room east");

    std::vector<int> types = MessageTypes();
    types.erase(types.begin(), types.begin() + static_cast<long>(before));
    ASSERT_GE(types.size(), 6u);
    EXPECT_EQ(types[0], MSG_WRITE_IO_CONFIG);
    EXPECT_EQ(types[1], MSG_READ_UOM_INFO);
    EXPECT_EQ(types[2], MSG_READ_IO_CONFIG);
    EXPECT_EQ(types.back(), MSG_READ_MODBUS_DATA);

    // The re-read list shows the server's record, no longer marked changed.
    ASSERT_GT(ios.Count(), 0);
    bool found = false;
    for (int i = 0; i < ios.Count(); ++i)
        if (ios.Item(i)->IOID() == id) {
            found = true;
            EXPECT_EQ(ios.Item(i)->FriendlyName(), "Pump room east");
            EXPECT_FALSE(ios.Item(i)->Changed());
        }
    EXPECT_TRUE(found);
    EXPECT_FALSE(engine->ReloadAfterWrite());

    // The chain ends with a forced sync at the next poll that sees the unit
    // idle: at once when the poll missed the log-off, else before the next job.
    if (engine->ForceSyncPending())
        RunJob(MSG_READ_SNAPSHOT);
    EXPECT_FALSE(engine->ForceSyncPending());
    const std::string trace = traceBuffer.Text();
    const std::string sync = "SF_IDLE -> SF_FORCE_SYNC";
    const auto first = trace.find(sync);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(trace.find(sync, first + 1), std::string::npos);
}

TEST_P(EngineE2E, Logon_AcceptedThenRefused_OutcomeReachesHost)
{
    StartSim();
    MakeEngine();
    Connect();
    std::vector<std::uint8_t> payload;
    ASSERT_TRUE(BuildLogonPayload("installer@zelvo.example", "commission", payload));
    RunJob(MSG_LOGON, payload);
    EXPECT_EQ(host.LogonResults(), 1);
    EXPECT_TRUE(host.IsLoggedOn());

    ASSERT_TRUE(BuildLogonPayload("installer@zelvo.example", "wrong", payload));
    RunJob(MSG_LOGON, payload);
    EXPECT_EQ(host.LogonResults(), 2);
    EXPECT_FALSE(host.IsLoggedOn());
}

TEST_P(EngineE2E, Snapshot_StartsWithSnapshotRequest_LinesReachHost)
{
    StartSim();
    MakeEngine();
    Connect();
    RunJob(MSG_READ_SNAPSHOT);
    EXPECT_NE(traceBuffer.Text().find("SF_IDLE -> SF_CONNECTING_WITH_SNAPSHOT"), std::string::npos);
    const QStringList lines = host.SnapshotLines();
    ASSERT_FALSE(lines.isEmpty());
    const QRegularExpression shape("^[A-Z]{2,3}\\d{2,}: -?\\d+(\\.\\d\\d)?$");
    for (const QString &line : lines)
        EXPECT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
}

TEST_P(EngineE2E, WriteOutput_ForcedSyncAtTheNextIdle)
{
    StartSim();
    MakeEngine();
    Connect();
    RunJob(MSG_WRITE_OUTPUT, BuildWriteOutputPayload(OutputIndex("RL01"), 1));
    EXPECT_EQ(sim->ServerMessages().back().payload, std::vector<std::uint8_t>{9});
    // Sent at once when the poll saw the unit idle after its log-off,
    // otherwise at the idle before the next job.
    if (engine->ForceSyncPending())
        RunJob(MSG_READ_UOM_INFO);
    EXPECT_FALSE(engine->ForceSyncPending());
    EXPECT_NE(traceBuffer.Text().find("SF_IDLE -> SF_FORCE_SYNC"), std::string::npos);
}

// ---- live readings ----

TEST_P(EngineE2E, LiveTick_Page2ReadsLive_Page3ReadsExternal_OtherPagesNothing)
{
    StartSim();
    MakeEngine();
    host.SetShownLiveList(LIVE_LIST_NONE);
    Connect();
    RunJob(MSG_READ_IO_CONFIG);

    // Another page: the live timer runs but reads nothing.
    const long frames = sim->FramesReceived();
    EXPECT_FALSE(WaitFor([&] { return sim->FramesReceived() != frames; }, 6 * pacing.LiveTimer));
    EXPECT_TRUE(engine->IsLiveTimerActive());

    host.SetShownLiveList(LIVE_LIST_OWN_IO);
    ASSERT_TRUE(Until([&] { return !sim->LastLiveValues().empty(); }));
    EXPECT_EQ(errorLog.StatusText(), "Reading Internal IO...");
    EXPECT_EQ(sim->LastLiveValues().size(), Ostra() ? 186u : 164u);

    host.SetShownLiveList(LIVE_LIST_EXTERNAL_IO);
    ASSERT_TRUE(Until([&] { return !sim->LastExternalStream().empty(); }));
    EXPECT_TRUE(Until([&] { return errorLog.StatusText() == "Reading External IO..."; }));
    EXPECT_EQ(engine->LinkState(), LINK_LIVE);
}

TEST_P(EngineE2E, LiveReads_FiveFailures_DropTheConnection)
{
    StartSim({"nack=0x0A"});
    MakeEngine();
    host.SetShownLiveList(LIVE_LIST_OWN_IO);
    Connect();
    ASSERT_TRUE(Until([&] { return host.DisconnectedCount() == 1; }));
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_TRUE(LogInOrder({"Reading Internal IO...", "Disconnected. Waiting..."}));
    EXPECT_FALSE(engine->IsLiveTimerActive());
}

// ---- signal strength ----

TEST_P(EngineE2E, SignalChecking_LevelsShown_RepeatSwitchOn_StopReturnsToLive)
{
    pacing.SignalRepeat = 4 * pacing.SignalTimer;
    StartSim();
    MakeEngine();
    Connect();
    engine->StartSignalChecking();
    // Switched on once, then again each time the repeat period has passed.
    auto switchOns = [&] {
        const std::string trace = traceBuffer.Text();
        int n = 0;
        for (auto at = trace.find("-> 0A 01 1A 01 10"); at != std::string::npos;
             at = trace.find("-> 0A 01 1A 01 10", at + 1))
            ++n;
        return n;
    };
    ASSERT_TRUE(Until([&] { return switchOns() >= 3; }));
    EXPECT_TRUE(sim->SignalMonitoring());
    ASSERT_FALSE(host.SignalLevels().empty());
    const int level = host.SignalLevels().back();
    EXPECT_TRUE(level <= 31 || level == 99) << level;

    engine->StopSignalChecking();
    ASSERT_TRUE(Until([&] { return Settled(); }));
    EXPECT_FALSE(sim->SignalMonitoring());
    EXPECT_EQ(engine->SignalPoll()->State(), SIG_DONE);
    EXPECT_EQ(host.DisconnectedCount(), 0);
}

TEST_P(EngineE2E, SignalChecking_FiveFailedReads_ErrorMessageAndDisconnect)
{
    StartSim({"nack=0x1B"});
    MakeEngine();
    Connect();
    engine->StartSignalChecking();
    ASSERT_TRUE(Until([&] { return host.DisconnectedCount() == 1; }));
    const QString text =
        "Refreshing signal strength failed. Please check your Zelvo to PC connection";
    EXPECT_TRUE(HasMessage(text));
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    std::vector<std::uint8_t> levels = host.SignalLevels();
    ASSERT_FALSE(levels.empty());
    EXPECT_EQ(levels.back(), TSignalStrengthRefresh::LevelReadFailed);
}

// ---- saving connection settings ----

TEST_P(EngineE2E, SaveSettings_WritesBlockAppliesAndDisconnects)
{
    StartSim();
    MakeEngine();
    Connect();
    TConnectionSettings s;
    if (Ostra()) {
        s.ConnectionType = kConnectionTypeEthernet;
        s.UseDHCP = false;
        s.IPAddress = 0xC0A80102; // 192.168.1.2
        s.NetMask = 0xFFFFFF00;
        s.DefaultGateway = 0xC0A80101;
        s.DNSServer = 0x08080808;
    } else {
        s.ConnectionType = kConnectionTypeMobile;
        s.APN = "telemetry.example";
        s.Username = "unit7";
        s.Password = "secret";
    }
    const std::vector<std::uint8_t> blockBefore = sim->SettingsBlock();
    EXPECT_EQ(engine->SaveOutcome(), SAVE_NONE);
    engine->SaveConnectionSettings(s);
    EXPECT_TRUE(engine->IsBusy());
    ASSERT_TRUE(Until([&] { return host.DisconnectedCount() == 1; }));
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_EQ(engine->SaveOutcome(), SAVE_SUCCEEDED);
    EXPECT_TRUE(Until([&] { return !engine->IsBusy(); }));

    TUnitSettingsBlock block;
    const std::vector<std::uint8_t> after = sim->SettingsBlock();
    ASSERT_EQ(after.size(), TUnitSettingsBlock::Size);
    std::copy(after.begin(), after.end(), block.Bytes.begin());
    const TConnectionSettings stored = ConnectionSettingsFromBlock(block);
    EXPECT_EQ(stored.ConnectionType, s.ConnectionType);
    if (Ostra()) {
        EXPECT_EQ(stored.IPAddress, s.IPAddress);
        EXPECT_EQ(stored.DNSServer, s.DNSServer);
        EXPECT_EQ(after[TUnitSettingsBlock::OffsetAPN], blockBefore[TUnitSettingsBlock::OffsetAPN]);
    } else {
        EXPECT_EQ(stored.APN, s.APN);
        EXPECT_EQ(stored.Username, s.Username);
        EXPECT_EQ(stored.Password, s.Password);
    }
}

// ---- faults ----

TEST_P(EngineE2E, OldFirmware_MessageWithSupportSuffix_LinkClosed)
{
    StartSim({"old-firmware"});
    MakeEngine();
    engine->SetActive(true);
    engine->StartConnect();
    ASSERT_TRUE(Until([&] { return host.DisconnectedCount() == 1; }));
    EXPECT_TRUE(
        HasMessage("Firmware is not compatible. An upgrade is needed.\nPlease contact support."));
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_EQ(host.ConnectedCount(), 0);
}

TEST_P(EngineE2E, SilentUnit_DuringCheckingTypeOrSettings_EndsDisconnected)
{
    // Every frame from the silent one on runs into its time-out.
    pacing.UsbFrameTimeout = kSilentFrameTimeout;
    pacing.ComFrameTimeout = kSilentFrameTimeout;
    // Frames: 1 version, 2 unit type, 3 first settings part.
    for (int from : {1, 2, 3}) {
        engine.reset();
        sim.reset();
        Ftd2xx::ClearVirtualBridges();
        ClearComPortMap();
        StartSim({"silent,from=" + std::to_string(from)});
        MakeEngine();
        const int before = host.DisconnectedCount();
        engine->SetActive(true);
        engine->StartConnect();
        ASSERT_TRUE(Until([&] {
            return host.DisconnectedCount() == before + 1 && engine->LinkState() == LINK_IDLE;
        })) << from;
        EXPECT_EQ(engine->LinkState(), LINK_IDLE);
        EXPECT_TRUE(Log().contains("Error communicating with Zelvo")) << from;
    }
    EXPECT_EQ(host.ConnectedCount(), 0);
}

TEST_P(EngineE2E, SilentUnit_DuringJob_GivesUpWithMessageAndFreesTheWindow)
{
    StartSim();
    MakeEngine();
    Connect();
    ShortenFrameTimeouts();
    sim->AddFault("silent");
    engine->PostJob(MSG_READ_IO_CONFIG);
    engine->SetActive(true);
    ASSERT_TRUE(
        Until([&] { return host.DisconnectedCount() == 1 && engine->LinkState() == LINK_IDLE; }));
    EXPECT_TRUE(Until([&] { return !engine->IsBusy(); }));
    EXPECT_EQ(engine->LinkState(), LINK_IDLE);
    EXPECT_EQ(engine->JobCode(), 0);
    ASSERT_FALSE(host.Messages().empty());
    EXPECT_TRUE(host.Messages().back().Text.contains("stopped answering"));
}

TEST_P(EngineE2E, SFError_DropsJobWithMessage_EndsCycleLive)
{
    StartSim();
    MakeEngine();
    Connect();
    sim->AddFault("sf-error");
    RunJob(MSG_READ_IO_CONFIG);
    EXPECT_TRUE(HasMessage("An error has occurred.\nThis could be due to poor signal. Please "
                           "check that the signal and online LED's are both on\nIf Signal and "
                           "online are both on and Server is flashing then please try again."));
    EXPECT_FALSE(engine->HasIOConfiguration());
    EXPECT_EQ(host.DisconnectedCount(), 0);
}

TEST_P(EngineE2E, SFUnknown_DropsJobAndAsksIdle_CycleGoesOnToIdle)
{
    StartSim();
    MakeEngine();
    Connect();
    engine->SetActive(false);
    engine->PostJob(MSG_READ_IO_CONFIG);
    engine->SetActive(true);
    ASSERT_TRUE(Until([&] { return sim->SfState() == SF_CONNECTING; }));
    sim->SetSfState(SF_UNKNOWN);
    ASSERT_TRUE(Until([&] { return Settled(); }));
    EXPECT_TRUE(HasMessage("An error has occurred.\nThis could be due to poor signal. Please "
                           "check that the signal and online LED's are both on\nIf Signal and "
                           "online are both on and Server is flashing then please try again."));
    EXPECT_TRUE(LogInOrder({"Zelvo idle", "Ready to take live readings."}));
    EXPECT_EQ(sim->SfState(), SF_IDLE);
}

// ---- a slower unit ----

// The simulator's own step time between automatic store-and-forward states.
constexpr int kDefaultSfStepMs = 1500;

TEST_P(EngineE2E, JobPostedWhileUnitLogsOff_WaitsForIdleAndRunsOnce)
{
    StartSim();
    MakeEngine();
    Connect();
    // A unit at its default pace is still logging off when the next button
    // is pressed.
    sim->SetSfStepMs(kDefaultSfStepMs);
    sim->SetSfState(SF_LOGGING_OFF);
    const std::size_t before = sim->ServerMessages().size();
    const int tabsBefore = host.TabsEnabledCount();
    engine->SetActive(false);
    engine->PostJob(MSG_READ_SNAPSHOT);
    engine->SetActive(true);
    ASSERT_TRUE(Until([&] { return sim->SfState() != SF_LOGGING_OFF; })) << Diagnostics();
    sim->SetSfStepMs(static_cast<int>(pacing.WorkerStep.count()));
    ASSERT_TRUE(Until([&] { return Settled(); })) << Diagnostics();

    std::vector<int> types = MessageTypes();
    types.erase(types.begin(), types.begin() + static_cast<long>(before));
    EXPECT_EQ(types, std::vector<int>{MSG_READ_SNAPSHOT});
    EXPECT_GT(host.TabsEnabledCount(), tabsBefore);
    EXPECT_TRUE(LogInOrder({"Start retrieving the latest snapshot.", "Logging off.", "Zelvo idle.",
                            "Waiting for download.", "Ready to take live readings."}))
        << Log().join(" | ").toStdString();
}

TEST_P(EngineE2E, ReloadAfterWriteFailsHalfWay_FlagEndsWithChain_NextJobRunsAlone)
{
    StartSim();
    MakeEngine();
    Connect();
    RunJob(MSG_READ_IO_CONFIG);
    TServerSideIOs &ios = engine->Unit()->ServerSideIOs();
    ASSERT_GT(static_cast<int>(sim->IoConfiguration().size()), 20) << "needs two parts";
    ios.Item(0)->SetFriendlyName("Pump room west");
    ios.Item(0)->SetChanged(true);
    ASSERT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_READY);

    // The write goes through; the re-read fails after its first part.
    engine->SetActive(false);
    engine->PostJob(MSG_WRITE_IO_CONFIG);
    engine->SetActive(true);
    ASSERT_TRUE(Until([&] { return engine->JobCode() == MSG_READ_IO_CONFIG && ios.Count() > 0; }))
        << Diagnostics();
    ASSERT_TRUE(sim->AddFault("server-refuses=MSG_READ_IO_CONFIG,once"));
    ASSERT_TRUE(Until([&] { return Settled(); })) << Diagnostics();
    EXPECT_TRUE(Log().contains("IOConfig read error"));
    EXPECT_FALSE(engine->ReloadAfterWrite());

    // The live-readings button runs job 6 and nothing else.
    const std::size_t before = sim->ServerMessages().size();
    RunJob(MSG_READ_UOM_INFO);
    std::vector<int> types = MessageTypes();
    types.erase(types.begin(), types.begin() + static_cast<long>(before));
    EXPECT_EQ(types, std::vector<int>{MSG_READ_UOM_INFO});
    EXPECT_FALSE(engine->ForceSyncPending());

    // A full read afterwards shows every record once.
    RunJob(MSG_READ_IO_CONFIG);
    std::set<std::int32_t> ids;
    for (int i = 0; i < ios.Count(); ++i)
        EXPECT_TRUE(ids.insert(ios.Item(i)->IOID()).second) << "twice: " << ios.Item(i)->IOID();
    EXPECT_EQ(ios.Count(), static_cast<int>(sim->IoConfiguration().size()));
}

TEST_P(EngineE2E, ChangesTooLargeForOneUpload_SentInTwoParts_RestStaysMarked)
{
    StartSim();
    MakeEngine();
    Connect();
    RunJob(MSG_READ_IO_CONFIG);
    TServerSideIOs &ios = engine->Unit()->ServerSideIOs();
    // Every record with a name of 255 characters: 266 bytes each.
    const int records = ios.Count();
    ASSERT_GT(records * 266, TSerialThread::ReplyBufferSize) << "needs two uploads";
    auto longName = [](int i) { return QString::number(i).rightJustified(255, QLatin1Char('n')); };
    for (int i = 0; i < records; ++i) {
        ios.Item(i)->SetFriendlyName(longName(i));
        ios.Item(i)->SetChanged(true);
    }
    auto nameOnServer = [&](std::int32_t id) {
        for (const auto &r : sim->IoConfiguration())
            if (r.id == id)
                return QString::fromStdString(r.name);
        return QString();
    };

    ASSERT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_PARTIAL);
    const std::size_t before = sim->ServerMessages().size();
    RunJob(MSG_WRITE_IO_CONFIG);
    // The first part reached the server; the rest is still marked and the
    // list was not thrown away.
    ASSERT_EQ(ios.Count(), records);
    int sent = 0;
    for (int i = 0; i < records; ++i) {
        const bool there = nameOnServer(ios.Item(i)->IOID()) == longName(i);
        EXPECT_EQ(ios.Item(i)->Changed(), !there) << i;
        sent += there ? 1 : 0;
    }
    EXPECT_GT(sent, 0);
    EXPECT_LT(sent, records);
    std::vector<int> types = MessageTypes();
    types.erase(types.begin(), types.begin() + static_cast<long>(before));
    EXPECT_EQ(types, std::vector<int>{MSG_WRITE_IO_CONFIG});

    // The second Save sends the rest and the list is read back.
    ASSERT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_READY);
    RunJob(MSG_WRITE_IO_CONFIG);
    ASSERT_EQ(ios.Count(), records);
    for (int i = 0; i < records; ++i) {
        EXPECT_EQ(nameOnServer(ios.Item(i)->IOID()), ios.Item(i)->FriendlyName()) << i;
        EXPECT_EQ(ios.Item(i)->FriendlyName().size(), 255) << i;
        EXPECT_FALSE(ios.Item(i)->Changed()) << i;
    }
    EXPECT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_NOTHING);
    for (const auto &m : host.Messages())
        EXPECT_FALSE(m.Text.contains("too large")) << m.Text.toStdString();
    EXPECT_FALSE(HasMessage("Uploading of the IO Configuration changes has failed.\nPlease check "
                            "that the signal and online LED's are still on then try again."));
}

TEST_P(EngineE2E, LateReply_SessionRecoversAtTheNextExchange)
{
    StartSim();
    MakeEngine();
    Connect();
    ShortenFrameTimeouts();
    // The first request of the job is answered well after its time-out.
    ASSERT_TRUE(
        sim->AddFault("late-reply=" + std::to_string(3 * kSilentFrameTimeout.count()) + ",once"));
    engine->PostJob(MSG_READ_IO_CONFIG);
    engine->SetActive(true);
    ASSERT_TRUE(Until([&] { return engine->IsBusy(); })) << Diagnostics();
    ASSERT_TRUE(Until([&] { return Settled(); })) << Diagnostics();

    EXPECT_NE(traceBuffer.Text().find("answer held back"), std::string::npos);
    EXPECT_TRUE(LogInOrder({"All IO Config has been read", "Ready to take live readings."}))
        << Log().join(" | ").toStdString();
    EXPECT_EQ(engine->Unit()->ServerSideIOs().Count(),
              static_cast<int>(sim->IoConfiguration().size()));
    EXPECT_TRUE(engine->HasModbusData());
    EXPECT_EQ(host.DisconnectedCount(), 0);
    EXPECT_TRUE(host.Messages().empty()) << Diagnostics();
}

TEST_P(EngineE2E, UnitStuckInEachPhase_JobEndsNamingTheState_LinkStaysOpen)
{
    pacing.StoreForwardStall = 1000ms;
    StartSim();
    MakeEngine();
    Connect();
    struct TPhase {
        int State;
        bool SetBeforePosting; // the unit is put in the state before the job
    };
    const TPhase phases[] = {
        {SF_IDLE, false},      {SF_CONNECTING, false},  {SF_PROCESSING, false},
        {SF_UPLOADING, false}, {SF_DOWNLOADING, false}, {SF_LOGGING_OFF, true},
    };
    for (const TPhase &phase : phases) {
        const std::string name = StoreForwardStateName(phase.State);
        SCOPED_TRACE(name);
        const int tabsBefore = host.TabsEnabledCount();
        const std::size_t messagesBefore = host.Messages().size();
        ASSERT_TRUE(sim->AddFault("sf-stuck=" + name));
        engine->SetActive(false);
        if (phase.SetBeforePosting)
            sim->SetSfState(phase.State);
        engine->PostJob(MSG_READ_UOM_INFO);
        engine->SetActive(true);
        ASSERT_TRUE(Until([&] { return engine->IsBusy(); })) << Diagnostics();
        ASSERT_TRUE(Until([&] { return Settled(); })) << Diagnostics();
        EXPECT_EQ(sim->SfState(), phase.State);
        ASSERT_EQ(host.Messages().size(), messagesBefore + 1) << Diagnostics();
        EXPECT_TRUE(host.Messages().back().Text.contains(QString::fromStdString(name)))
            << host.Messages().back().Text.toStdString();
        EXPECT_GT(host.TabsEnabledCount(), tabsBefore);
        EXPECT_EQ(host.DisconnectedCount(), 0);
        EXPECT_TRUE(Log().contains(
            QString::fromStdString("Zelvo stuck in " + name + ": the job was stopped")));
        sim->ClearFaults();
        sim->SetSfState(SF_IDLE);
    }
    // The link is still open and the next job runs normally.
    const std::size_t before = sim->ServerMessages().size();
    RunJob(MSG_READ_SNAPSHOT);
    EXPECT_EQ(sim->ServerMessages().size(), before + 1);
    EXPECT_EQ(sim->ServerMessages().back().type, MSG_READ_SNAPSHOT);
}

TEST_P(EngineE2E, UnitNeverIdleAfterConnecting_FirstJobEnds_AtDefaultStepTimeProcessingToo)
{
    StartSim({"sf-stuck=SF_PROCESSING"});
    sim->SetSfState(SF_PROCESSING);
    MakeEngine();
    engine->SetActive(true);
    engine->StartConnect();
    ASSERT_TRUE(Until([&] { return Settled() && host.ConnectedCount() == 1; })) << Diagnostics();
    EXPECT_TRUE(LogInOrder(
        {"Waiting for Zelvo to Idle", "Zelvo stuck in SF_PROCESSING: the job was stopped"}));
    // The status says what happened, not that all is ready.
    EXPECT_FALSE(Log().contains("Ready to take live readings.")) << Diagnostics();
    EXPECT_TRUE(sim->ServerMessages().empty());
    EXPECT_EQ(host.DisconnectedCount(), 0);

    // At the unit's own pace a sound cycle never trips the bound (a state
    // lasts 1.5 s, the bound is several times that); a unit stuck in
    // SF_PROCESSING does.
    sim->ClearFaults();
    sim->SetSfStepMs(kDefaultSfStepMs);
    sim->SetSfState(SF_IDLE);
    ASSERT_GT(pacing.StoreForwardStall.count(), 2 * kDefaultSfStepMs);
    const std::size_t messages = host.Messages().size();
    RunJob(MSG_READ_UOM_INFO);
    EXPECT_EQ(host.Messages().size(), messages) << Diagnostics();
    EXPECT_TRUE(engine->HasUOMs());
    ASSERT_TRUE(sim->AddFault("sf-stuck=SF_PROCESSING"));
    RunJob(MSG_READ_SNAPSHOT);
    ASSERT_FALSE(host.Messages().empty());
    EXPECT_TRUE(host.Messages().back().Text.contains("SF_PROCESSING"));
    EXPECT_EQ(host.DisconnectedCount(), 0);
    EXPECT_EQ(engine->LinkState(), LINK_LIVE);
}

// ---- cancelling a job ----

TEST_P(EngineE2E, Cancel_UnitStuckBeforeUpload_JobEndsWithinTwoSteps_NothingSent_LinkOpen)
{
    // The give-up bound is the default one shrunk by the divisor like every
    // other period: the cancel, not the give-up, ends these jobs.
    ASSERT_EQ(pacing.StoreForwardStall, TPacing::Shrunk(25).StoreForwardStall);
    StartSim();
    MakeEngine();
    Connect();
    std::atomic<int> steps{0};
    TSerialThread *worker = engine.get();
    QObject::connect(
        engine.get(), &TSerialThread::Stepped, engine.get(),
        [&steps, worker] {
            if (QThread::currentThread() == worker)
                ++steps;
        },
        Qt::DirectConnection);

    struct Row {
        const char *name;
        int job;
        std::vector<std::uint8_t> payload;
    } rows[] = {
        {"UOM information read", MSG_READ_UOM_INFO, {}},
        {"output write", MSG_WRITE_OUTPUT, BuildWriteOutputPayload(OutputIndex("RL01"), 1)},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sim->AddFault("sf-stuck=SF_CONNECTING"));
        const std::size_t sent = sim->ServerMessages().size();
        const std::size_t shown = host.Messages().size();
        engine->SetActive(false);
        engine->SetJobPayload(row.payload.data(), static_cast<int>(row.payload.size()));
        engine->PostJob(static_cast<TMessageType>(row.job));
        engine->SetActive(true);
        ASSERT_TRUE(Until([&] {
            return engine->IsBusy() && engine->StoreForwardState() == SF_CONNECTING;
        })) << Diagnostics();

        const int asked = steps.load();
        EXPECT_EQ(engine->RequestCancel(), CANCEL_PENDING);
        ASSERT_TRUE(Until([&] { return !engine->IsBusy(); })) << Diagnostics();
        // The step under way when asked, the one that ends the job and the
        // one that clears busy.
        EXPECT_LE(steps.load() - asked, 3);
        EXPECT_EQ(engine->CancelState(), CANCEL_DONE);
        EXPECT_EQ(engine->LinkState(), LINK_LIVE);
        EXPECT_EQ(engine->JobCode(), 0);
        EXPECT_EQ(sim->ServerMessages().size(), sent);
        EXPECT_EQ(host.Messages().size(), shown) << Diagnostics();
        EXPECT_EQ(host.DisconnectedCount(), 0);
        EXPECT_TRUE(Log().contains("Job cancelled: Zelvo asked to go idle"));
        EXPECT_FALSE(Log().contains("Zelvo stuck in SF_CONNECTING: the job was stopped"));
        // The unit was asked to go idle (and, stuck, ignored it).
        EXPECT_NE(traceBuffer.Text().find("stuck in SF_CONNECTING, request SF_IDLE ignored"),
                  std::string::npos);
        sim->ClearFaults();
        sim->SetSfState(SF_IDLE);
    }
    // The link is still open and the next job runs normally.
    RunJob(MSG_READ_SNAPSHOT);
    EXPECT_EQ(sim->ServerMessages().back().type, MSG_READ_SNAPSHOT);
    EXPECT_EQ(engine->CancelState(), CANCEL_NONE);
}

TEST_P(EngineE2E, Cancel_WriteAlreadyWithServer_Refused_ChangeAppliedAndReloaded)
{
    StartSim();
    MakeEngine();
    Connect();
    RunJob(MSG_READ_IO_CONFIG);
    TServerSideIOs &ios = engine->Unit()->ServerSideIOs();
    ASSERT_GT(ios.Count(), 0);
    const std::int32_t id = ios.Item(0)->IOID();
    ios.Item(0)->SetFriendlyName("Boiler feed");
    ios.Item(0)->SetChanged(true);
    ASSERT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_READY);
    const std::size_t before = sim->ServerMessages().size();
    // At the unit's own pace the answer takes seconds after the upload.
    sim->SetSfStepMs(kDefaultSfStepMs);
    engine->SetActive(false);
    engine->PostJob(MSG_WRITE_IO_CONFIG);
    engine->SetActive(true);
    ASSERT_TRUE(Until([&] { return sim->ServerMessages().size() > before; }, 30s)) << Diagnostics();
    EXPECT_EQ(engine->RequestCancel(), CANCEL_TOO_LATE);
    sim->SetSfStepMs(static_cast<int>(pacing.WorkerStep.count()));

    // The write's outcome is in and the reload runs; the refusal is not
    // carried over to it.
    ASSERT_TRUE(Until([&] { return engine->JobCode() != MSG_WRITE_IO_CONFIG; }, 30s))
        << Diagnostics();
    ASSERT_TRUE(Until([&] { return Settled() && !engine->ReloadAfterWrite(); }, 30s))
        << Diagnostics();
    EXPECT_EQ(engine->CancelState(), CANCEL_NONE);
    std::string onServer;
    for (const auto &r : sim->IoConfiguration())
        if (r.id == id)
            onServer = r.name;
    EXPECT_EQ(onServer, "Boiler feed");
    EXPECT_EQ(MessageTypes().back(), MSG_READ_MODBUS_DATA);
    EXPECT_TRUE(engine->HasIOConfiguration());
    EXPECT_FALSE(Log().contains("Job cancelled: Zelvo asked to go idle"));
    EXPECT_TRUE(host.Messages().empty()) << Diagnostics();
}

TEST_P(EngineE2E, UnitLostBetweenConfigurationParts_FlagsStayNo_PartialListCleared)
{
    StartSim();
    MakeEngine();
    Connect();
    ShortenFrameTimeouts();
    engine->SetActive(false);
    engine->PostJob(MSG_READ_IO_CONFIG);
    engine->SetActive(true);
    // The first part is in and more is to follow: the unit goes silent.
    ASSERT_TRUE(Until([&] {
        return engine->JobCode() == MSG_READ_IO_CONFIG &&
               engine->Unit()->ServerSideIOs().Count() > 0 &&
               engine->Unit()->MoreIOConfigToFollow();
    })) << Diagnostics();
    EXPECT_FALSE(engine->HasIOConfiguration());
    ASSERT_TRUE(sim->AddFault("silent"));
    ASSERT_TRUE(Until([&] { return host.DisconnectedCount() == 1; }, 30s)) << Diagnostics();
    EXPECT_FALSE(engine->HasIOConfiguration());
    EXPECT_FALSE(engine->HasInputTypes());
    EXPECT_FALSE(engine->HasUOMLists());
    EXPECT_FALSE(engine->HasModbusData());
    EXPECT_EQ(engine->Unit()->ServerSideIOs().Count(), 0);
    EXPECT_EQ(engine->JobCode(), 0);
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(BothModels, EngineE2E,
                         ::testing::Combine(::testing::Values(zsim::Model::Ostra,
                                                              zsim::Model::Vello),
                                            ::testing::Values(TSimulatedWire::Pipe)),
                         ParamName);
#else
INSTANTIATE_TEST_SUITE_P(
    BothModels, EngineE2E,
    ::testing::Combine(::testing::Values(zsim::Model::Ostra, zsim::Model::Vello),
                       ::testing::Values(TSimulatedWire::Pty, TSimulatedWire::Pipe)),
    ParamName);
#endif

// ---- without a unit ----

class EngineNoUnit : public ::testing::Test
{
protected:
    ~EngineNoUnit() override { ClearComPortMap(); }
    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    THeadlessHost host{errorLog};
};

TEST_F(EngineNoUnit, StartConnect_NoDevice_UsbAndComMessagesThenIdle)
{
    struct Row {
        bool usb;
        QString message;
    } rows[] = {
        {true, "There are no devices found.\nPlease ensure the Zelvo is plugged into a USB port "
               "and powered up"},
        {false, "Error connecting.\nPlease ensure the Zelvo is connected to the correct Comm port"},
    };
    MapComPort(kComPort, "/nonexistent/zelvo-tty");
    TSerialThread engine(&host, TPacing::Shrunk(25));
    engine.SetActive(true);
    for (const auto &row : rows) {
        const int before = host.DisconnectedCount();
        engine.SelectPort(row.usb, kComPort, 19200);
        engine.StartConnect();
        ASSERT_TRUE(WaitFor([&] {
            engine.Poll();
            return host.DisconnectedCount() == before + 1;
        }));
        EXPECT_EQ(engine.LinkState(), LINK_IDLE);
        ASSERT_FALSE(host.Messages().empty());
        EXPECT_EQ(host.Messages().back().Text, row.message);
        EXPECT_TRUE(errorLog.PendingLog().contains("Error opening comm port") ||
                    host.LogLines().join(", ").contains("Error opening comm port"));
    }
}

#ifndef _WIN32
// Threads of this process now.
int ThreadCount()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/task"))
                                .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                                .size());
}

// Production frame time-outs and retry pauses; only the worker's step period
// is shortened so the connection gets to the blocking read quickly.
TEST_F(EngineNoUnit, Destroy_WhileStepBlocksInProductionTimeout_ReturnsWellBeforeIt_NoThreadLeft)
{
    struct Row {
        const char *name;
        std::vector<std::string> faults;
        int blockedIn;
        long framesSent; // the last one is never answered
    } rows[] = {
        // The settings are never answered: ten retried reads a pause apart.
        {"settings read", {"silent,from=3"}, LINK_READ_SETTINGS, 3},
        // The firmware check is never answered: one long read.
        {"firmware check", {"silent,from=1"}, LINK_CHECKING, 1},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        zsim::Options o;
        o.model = zsim::Model::Vello;
        o.faults = row.faults;
        zsim::UnitSimulator sim(o);
        ASSERT_TRUE(sim.Start());
        MapComPort(kComPort, sim.SlavePath());
        const int threadsBefore = ThreadCount();

        TPacing p = TPacing::Production();
        p.WorkerStep = 20ms;
        auto engine = std::make_unique<TSerialThread>(&host, p);
        engine->SelectPort(false, kComPort, 19200);
        engine->SetActive(true);
        engine->StartConnect();
        ASSERT_TRUE(WaitFor(
            [&] { return engine->LinkState() == row.blockedIn && engine->IsStepInProgress(); }));
        // The request that will never be answered is on the wire.
        ASSERT_TRUE(WaitFor([&] { return sim.FramesReceived() >= row.framesSent; }));

        const auto start = std::chrono::steady_clock::now();
        engine.reset();
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, p.ComFrameTimeout / 2);
        // The worker has ended, not merely been left behind.
        EXPECT_TRUE(WaitFor([&] { return ThreadCount() == threadsBefore; }, 5s))
            << ThreadCount() << " threads, " << threadsBefore << " before";
        ClearComPortMap();
    }
}

#endif

} // namespace
