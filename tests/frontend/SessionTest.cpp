#include "frontend/Session.h"

#include "engine/Headlesshost.h"
#include "frontend/Simulatedunit.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "tests/support/TestUtil.h"
#include "unit/Zelvo.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace
{

using namespace std::chrono_literals;
using zelvo::test::WaitFor;

constexpr int kDivisor = 10;

// An engine at a tenth of the production pace over a simulated unit on the
// in-process pipe (or over whatever port a test selects).
class Session : public ::testing::Test
{
protected:
    void StartUnit(const char *model)
    {
        std::string error;
        ASSERT_TRUE(StartSimulatedUnit(model, kDivisor, TSimulatedWire::Pipe, sim, error)) << error;
    }
    void MakeEngine(bool useUsb, int comPort)
    {
        engine = std::make_unique<TSerialThread>(&host, TPacing::Shrunk(kDivisor));
        engine->SelectPort(useUsb, comPort, 19200);
    }
    TConnectOutcome ConnectAndWait()
    {
        TSession session(*engine);
        session.StartConnect();
        EXPECT_EQ(session.ConnectOutcome(), CONNECT_PENDING);
        EXPECT_TRUE(WaitFor(
            [&] {
                engine->Poll();
                return session.ConnectOutcome() != CONNECT_PENDING && !engine->IsBusy() &&
                       (engine->LinkState() == LINK_LIVE || engine->LinkState() == LINK_IDLE);
            },
            30s));
        return session.ConnectOutcome();
    }
    static TSession::TWaitFor Waiter()
    {
        return [](const std::function<bool()> &done, std::chrono::milliseconds limit) {
            return WaitFor(done, limit);
        };
    }

    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    THeadlessHost host{errorLog};
    TSimulatedLink sim; // outlives the engine's link
    std::unique_ptr<TSerialThread> engine;
};

TEST_F(Session, ConnectOutcome_OpenedForAUnit_NoDeviceForAMissingPort_OldFirmwareRefused)
{
    StartUnit("vello");
    MakeEngine(sim.UseUsb, sim.ComPort);
    EXPECT_EQ(TSession(*engine).ConnectOutcome(), CONNECT_NONE);
    EXPECT_EQ(ConnectAndWait(), CONNECT_OPENED);
    engine.reset();
    sim = TSimulatedLink();

    // A COM port whose device does not exist.
    MapComPort(12, "/nonexistent-zelvo-dir/tty-none");
    MakeEngine(false, 12);
    EXPECT_EQ(ConnectAndWait(), CONNECT_NO_DEVICE);
    engine.reset();

    qputenv("ZELVO_SIM_VERSION", "2.50");
    StartUnit("vello");
    qunsetenv("ZELVO_SIM_VERSION");
    MakeEngine(sim.UseUsb, sim.ComPort);
    EXPECT_EQ(ConnectAndWait(), CONNECT_FIRMWARE_OLD);
    EXPECT_NE(engine->LinkState(), LINK_LIVE);
}

TEST_F(Session, PostJob_RunsItsCallbackWithTheWorkerHeld_LogonAndUploadRefuseWithoutPosting)
{
    StartUnit("ostra");
    MakeEngine(sim.UseUsb, sim.ComPort);
    ASSERT_EQ(ConnectAndWait(), CONNECT_OPENED);
    TSession session(*engine);

    bool heldInside = false;
    session.PostJob(MSG_READ_UOM_INFO, {}, [&] { heldInside = !engine->IsActive(); });
    EXPECT_TRUE(heldInside) << "the callback ran while the worker could step";
    EXPECT_TRUE(engine->IsActive());
    EXPECT_EQ(engine->JobCode(), MSG_READ_UOM_INFO);
    ASSERT_TRUE(WaitFor(
        [&] {
            engine->Poll();
            return engine->HasUOMs() && !engine->IsBusy() && engine->LinkState() == LINK_LIVE;
        },
        60s));

    // An address the logon message cannot hold posts nothing.
    const TMessageType before = engine->JobCode();
    EXPECT_FALSE(session.PostLogon(std::string(129, 'x'), "pw"));
    EXPECT_EQ(engine->JobCode(), before);
    EXPECT_TRUE(engine->IsActive());

    // No configuration record is marked changed: nothing to upload.
    TUploadPrepare seen = UPLOAD_READY;
    EXPECT_EQ(session.PostIOConfigUpload([&](TUploadPrepare found) { seen = found; }),
              UPLOAD_NOTHING);
    EXPECT_EQ(seen, UPLOAD_NOTHING);
    EXPECT_EQ(engine->JobCode(), before);
    EXPECT_TRUE(engine->IsActive());

    // A logon that fits is posted as the logon job.
    EXPECT_TRUE(session.PostLogon("installer@zelvo.example", "commission"));
    EXPECT_EQ(engine->JobCode(), MSG_LOGON);
}

TEST_F(Session, GoIdle_SwitchesSignalMonitoringOff_HoldsTheWorker_AsksTheUnitToGoIdle)
{
    StartUnit("vello");
    MakeEngine(sim.UseUsb, sim.ComPort);
    ASSERT_EQ(ConnectAndWait(), CONNECT_OPENED);
    // Not while the worker may step.
    EXPECT_FALSE(engine->RequestIdle());

    engine->StartSignalChecking();
    ASSERT_TRUE(WaitFor(
        [&] {
            engine->Poll();
            return engine->LinkState() == LINK_SIGNAL;
        },
        20s));
    EXPECT_TRUE(TSession(*engine).GoIdle(Waiter()));
    EXPECT_NE(engine->LinkState(), LINK_SIGNAL);
    EXPECT_FALSE(engine->IsActive());
    EXPECT_FALSE(engine->IsStepInProgress());

    // With the link closed there is no one to ask.
    engine->Comms()->Close();
    EXPECT_FALSE(engine->RequestIdle());
}

TEST_F(Session, UploadTooLargeForOneMessage_WholeOnlyPostsNothing_AllowPartialPostsTheFirstPart)
{
    StartUnit("ostra");
    MakeEngine(sim.UseUsb, sim.ComPort);
    ASSERT_EQ(ConnectAndWait(), CONNECT_OPENED);
    TSession session(*engine);
    session.PostJob(MSG_READ_IO_CONFIG);
    TServerSideIOs &ios = engine->Unit()->ServerSideIOs();
    ASSERT_TRUE(WaitFor(
        [&] {
            engine->Poll();
            return engine->HasIOConfiguration() && !engine->IsBusy() &&
                   engine->LinkState() == LINK_LIVE;
        },
        60s));
    // Names of 255 characters on every record: more than one upload holds.
    ASSERT_GT(ios.Count() * 266, TSerialThread::ReplyBufferSize);
    for (int i = 0; i < ios.Count(); ++i) {
        ios.Item(i)->SetFriendlyName(QString(255, QLatin1Char('n')));
        ios.Item(i)->SetChanged(true);
    }

    const TMessageType before = engine->JobCode();
    EXPECT_EQ(session.PostIOConfigUpload({}, TSession::TUploadScope::WholeOnly), UPLOAD_PARTIAL);
    EXPECT_EQ(engine->JobCode(), before) << "a part was posted where only the whole may go";
    EXPECT_TRUE(engine->IsActive());

    EXPECT_EQ(session.PostIOConfigUpload(), UPLOAD_PARTIAL);
    EXPECT_EQ(engine->JobCode(), MSG_WRITE_IO_CONFIG);

    // Closing holds the worker for good.
    session.Close();
    EXPECT_FALSE(engine->IsActive());
}

} // namespace
