// The link over an in-process byte pipe, as the simulator mode uses it where
// there are no pseudo-terminals: reached as a COM number and as a bridge
// description, exclusive, short reads, hang-up, abort, and the diagnosis.
// Platform-neutral: built on Linux and for Windows.

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/Bytepipe.h"
#include "link/Portdevice.h"
#include "link/Portdiagnosis.h"
#include "link/Portmap.h"
#include "link/Serialpacket.h"
#include "link/Zelvocommsinterface.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace
{

constexpr uint8_t kReadVersion = 0xDF;

// A unit on the far end of the pipe: reads request frames and answers the
// version request with a data reply; stays silent to anything else.
class TPipeUnit
{
public:
    explicit TPipeUnit(std::shared_ptr<TBytePipeEnd> end) : FEnd(std::move(end))
    {
        FThread = std::thread([this] { Run(); });
    }
    ~TPipeUnit()
    {
        FEnd->Close();
        FThread.join();
    }
    int Requests() const { return FRequests.load(); }

private:
    bool ReadExactly(uint8_t *at, std::size_t n)
    {
        std::size_t done = 0;
        return FEnd->Read(at, n, 600s, done) == TPipeResult::Ok;
    }
    void Run()
    {
        uint8_t head[3];
        while (ReadExactly(head, 3)) {
            Bytes rest(head[1] + 1u);
            if (!ReadExactly(rest.data(), rest.size()))
                return;
            ++FRequests;
            if (head[2] != kReadVersion)
                continue;
            const std::string text = "ZELVO V2.60?";
            Bytes reply{0x03, static_cast<uint8_t>(text.size()), kReadVersion};
            reply.insert(reply.end(), text.begin(), text.end());
            uint8_t x = 0;
            for (uint8_t b : reply)
                x ^= b;
            reply.push_back(x);
            std::size_t done = 0;
            FEnd->Write(reply.data(), reply.size(), 1s, done);
        }
    }

    std::shared_ptr<TBytePipeEnd> FEnd;
    std::atomic<int> FRequests{0};
    std::thread FThread;
};

class TPipePortTest : public testing::Test
{
protected:
    void SetUp() override
    {
        auto [tool, unit] = MakeBytePipe();
        toolEnd = tool;
        unitEnd = unit;
        RegisterPipeComPort(1, toolEnd);
        RegisterPipeBridge("Zelvo", toolEnd);
    }
    void TearDown() override
    {
        ClearPipePorts();
        ClearComPortMap();
    }

    std::shared_ptr<TBytePipeEnd> toolEnd, unitEnd;
};

TEST_F(TPipePortTest, ComNumber_OpensThePipe_ExchangesAFrame_AndIsExclusive)
{
    TPipeUnit unit(unitEnd);
    TSerialPacket com;
    com.Timeout = 2000;
    ASSERT_TRUE(com.Connect(1, 19200));
    EXPECT_EQ(com.BaudRate(), 19200);
    uint8_t reply[256];
    int32_t n = 0;
    ASSERT_TRUE(com.Query(kReadVersion, reply, n));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(reply), n), "ZELVO V2.60?");

    // The same pipe is held: a second port, by number or as the bridge, is
    // refused like a device held by another program.
    TSerialPort second;
    EXPECT_EQ(second.Open("COM1"), PortErrorAccessDenied);
    TFTDIPort bridge;
    EXPECT_EQ(bridge.Open("Zelvo"), PortErrorAccessDenied);
    EXPECT_EQ(DiagnosePipePort("COM1", toolEnd).Problem, TPortProblem::Held);

    // Closed, it opens again (the pipe outlives the port).
    com.Disconnect();
    EXPECT_FALSE(com.IsOpen());
    EXPECT_EQ(second.Open("COM1"), PortOK);
    // Another COM number is not the pipe.
    MapComPort(2, "zelvo-no-such-port");
    TSerialPort other;
    EXPECT_EQ(other.Open("COM2"), PortErrorNotFound);
    EXPECT_FALSE(other.IsOpen());
}

TEST_F(TPipePortTest, LineParameters_OutOfRangeRefused_SavedSettingsBackAfterClose)
{
    TSerialPort port;
    ASSERT_EQ(port.Open("COM1"), PortOK);
    EXPECT_EQ(port.SetLineParameters(19200, 6, 2, 0, 0), PortErrorParameter);
    EXPECT_EQ(port.SetLineParameters(19200, 8, 3, 0, 0), PortErrorParameter);
    EXPECT_EQ(port.SetLineParameters(19200, 8, 2, 3, 0), PortErrorParameter);
    EXPECT_EQ(port.SetLineParameters(19200, 8, 2, 0, 2), PortErrorParameter);
    EXPECT_EQ(port.BaudRate(), 9600); // as Open left it
    EXPECT_EQ(port.SetLineParameters(19200, 8, 2, 0, 1), PortOK);
    EXPECT_EQ(port.FlowMode(), 1);
    port.Close();
    port.Close(); // harmless
    EXPECT_EQ(port.SetLineParameters(19200, 8, 2, 0, 0), PortErrorNotOpen);
    EXPECT_EQ(port.ReadBytes(nullptr, 1, 0), PortErrorNotOpen);
}

TEST_F(TPipePortTest, ShortRead_ReturnsShortTransferAfterTheTimeOut_LateBytesDiscarded)
{
    TSerialPort port;
    ASSERT_EQ(port.Open("COM1"), PortOK);
    const Bytes three{1, 2, 3};
    std::size_t done = 0;
    unitEnd->Write(three.data(), 3, 0ms, done);
    uint8_t got[4] = {};
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadBytes(got, 4, 80), PortErrorShortTransfer);
    EXPECT_GE(Clock::now() - start, 80ms);
    EXPECT_EQ(got[2], 3);

    unitEnd->Write(three.data(), 3, 0ms, done);
    EXPECT_EQ(port.DiscardInput(), PortOK);
    EXPECT_EQ(port.DiscardedInputBytes(), 3u);
    EXPECT_EQ(port.WriteBytes(three.data(), 3, 100), PortOK);
    EXPECT_EQ(unitEnd->Available(), 3u);
}

TEST_F(TPipePortTest, UnitHangsUp_BlockedReadEndsAsFailed_AndTheBridgeIsGone)
{
    TFTDIPort bridge;
    EXPECT_GE(TFTDIPort::DeviceCount(), 1u); // the pipe counts as attached
    ASSERT_EQ(bridge.Open("Zelvo"), PortOK);
    auto read = std::async(std::launch::async, [&bridge] {
        uint8_t byte = 0;
        return bridge.ReadBytes(&byte, 1, 600000);
    });
    EXPECT_NE(read.wait_for(20ms), std::future_status::ready);
    unitEnd->Close();
    ASSERT_EQ(read.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(read.get(), PortErrorShortTransfer);
    bridge.Close();
    EXPECT_EQ(bridge.Open("Zelvo"), PortErrorNotFound);
    EXPECT_EQ(DiagnosePipePort("USB bridge", toolEnd).Problem, TPortProblem::Missing);
}

TEST_F(TPipePortTest, Abort_EndsAnExchangeBlockedOnASilentUnit_OnBothKindsOfLink)
{
    for (const bool usb : {false, true}) {
        SCOPED_TRACE(usb ? "bridge" : "COM");
        TZelvoCommsInterface comms{TPacing::Production()};
        comms.SelectPort(usb, 1, 19200);
        ASSERT_TRUE(comms.Open());
        EXPECT_EQ(DiagnoseLinkOpen(comms).Problem, TPortProblem::Held);
        auto query = std::async(std::launch::async, [&comms] {
            uint8_t reply[256];
            int32_t n = 0;
            return comms.Query(kReadVersion, reply, n); // nobody answers
        });
        EXPECT_NE(query.wait_for(20ms), std::future_status::ready);
        const auto start = Clock::now();
        comms.Abort();
        ASSERT_EQ(query.wait_for(2s), std::future_status::ready) << "the exchange ran on";
        EXPECT_FALSE(query.get());
        EXPECT_LT(Clock::now() - start, 1s);
        comms.Close();
        unitEnd->DiscardInput();
    }
}

} // namespace
