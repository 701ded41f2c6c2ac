// The link's Windows devices against a unit on COM1 (under Wine: COM1 is a
// pseudo-terminal served by the simulator, and ZELVO_TEST_COM=1 says so),
// and the bridge library loaded at run time: missing, then our stand-in
// from the standin/ folder beside this program, which serves COM1.
// Without ZELVO_TEST_COM the tests that need the unit are skipped.

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

#include <gtest/gtest.h>

#include "link/Bridgelist.h"
#include "link/Portdevice.h"
#include "link/Portdiagnosis.h"
#include "link/Serialpacket.h"
#include "link/Zelvocommsinterface.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr uint8_t kReadVersion = 0xDF;

bool UnitOnCom1()
{
    const char *v = std::getenv("ZELVO_TEST_COM");
    return v != nullptr && std::string(v) == "1";
}

#define REQUIRE_UNIT()                                                                             \
    do {                                                                                           \
        if (!UnitOnCom1())                                                                         \
            GTEST_SKIP() << "no unit on COM1 (ZELVO_TEST_COM=1 not set)";                          \
    } while (0)

std::string ProgramFolder()
{
    char path[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path, n);
    return s.substr(0, s.find_last_of("\\/"));
}

// Declared first: run in one process, the missing library must be seen
// before the stand-in is loaded (ctest runs each test in its own).
TEST(WindowsBridge, LibraryMissing_BridgeFails_WithOneLineNamingTheDriverAndTheComWayOut)
{
    if (BridgeLibraryUsable())
        GTEST_SKIP() << "a bridge library is installed on this machine";
    TZelvoCommsInterface comms{TPacing::Shrunk(50)};
    comms.SelectPort(true, 1, 19200);
    EXPECT_FALSE(comms.Open());
    const TPortDiagnosis d = DiagnoseLinkOpen(comms);
    EXPECT_EQ(d.Problem, TPortProblem::NoDriver);
    EXPECT_NE(d.Line.find("FTDI D2XX driver"), std::string::npos) << d.Line;
    EXPECT_NE(d.Line.find("FTD2XX.DLL"), std::string::npos) << d.Line;
    EXPECT_NE(d.Line.find("COM port"), std::string::npos) << d.Line;
    EXPECT_EQ(d.Line.find('\n'), std::string::npos);
}

TEST(WindowsBridge, StandInLibrary_LoadedAtRunTime_OpensTheBridgeAndExchangesAFrame)
{
    REQUIRE_UNIT();
    ASSERT_TRUE(::SetDllDirectoryA((ProgramFolder() + "\\standin").c_str()));
    std::string problem;
    ASSERT_TRUE(BridgeLibraryUsable(&problem)) << problem;
    EXPECT_EQ(TFTDIPort::DeviceCount(), 1u);
    const auto bridges = Ftd2xx::ListBridges();
    ASSERT_EQ(bridges.size(), 1u);
    EXPECT_EQ(bridges[0].Description, "Zelvo");

    TZelvoCommsInterface comms;
    comms.SelectPort(true, 1, 19200);
    ASSERT_TRUE(comms.Open());
    EXPECT_EQ(comms.UsbFramer().BaudRate(), 19200);
    std::string version;
    EXPECT_EQ(comms.CheckFirmware(version), 0) << version;
    EXPECT_FALSE(version.empty());

    // A description the library does not know is not found.
    TFTDIPort other;
    EXPECT_EQ(other.Open("Zelvo Other"), PortErrorNotFound);
}

TEST(WindowsCom, Open8N2_ExchangesAFrameWithTheUnit)
{
    REQUIRE_UNIT();
    TSerialPacket com;
    ASSERT_TRUE(com.Connect(1, 19200));
    EXPECT_EQ(com.BaudRate(), 19200);
    EXPECT_EQ(com.FlowMode(), 0);
    uint8_t reply[256];
    int32_t n = 0;
    ASSERT_TRUE(com.Query(kReadVersion, reply, n));
    const std::string text(reinterpret_cast<const char *>(reply), static_cast<std::size_t>(n));
    EXPECT_NE(text.find('V'), std::string::npos) << text;
    EXPECT_EQ(com.SetLineParameters(19200, 6, 2, 0, 0), PortErrorParameter);
    EXPECT_EQ(com.SetLineParameters(19200, 8, 3, 0, 0), PortErrorParameter);
    EXPECT_EQ(com.SetLineParameters(19200, 8, 2, 3, 0), PortErrorParameter);
    EXPECT_EQ(com.SetLineParameters(19200, 8, 2, 0, 2), PortErrorParameter);
    // Still the settings of the connect: the unit still answers.
    n = 0;
    EXPECT_TRUE(com.Query(kReadVersion, reply, n));
}

TEST(WindowsCom, Close_WritesTheSavedSettingsBack)
{
    REQUIRE_UNIT();
    auto raw = [] {
        return ::CreateFileA("\\\\.\\COM1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
    };
    HANDLE h = raw();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB original{};
    original.DCBlength = sizeof original;
    ASSERT_TRUE(::GetCommState(h, &original));
    DCB odd = original;
    odd.BaudRate = 4800;
    odd.ByteSize = 7;
    odd.fParity = TRUE;
    odd.Parity = EVENPARITY;
    odd.StopBits = ONESTOPBIT;
    ASSERT_TRUE(::SetCommState(h, &odd));
    DCB before{};
    before.DCBlength = sizeof before;
    ASSERT_TRUE(::GetCommState(h, &before));
    ::CloseHandle(h);

    {
        TSerialPacket com;
        ASSERT_TRUE(com.Connect(1, 19200));
        com.Disconnect();
    }

    h = raw();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DCB after{};
    after.DCBlength = sizeof after;
    ASSERT_TRUE(::GetCommState(h, &after));
    EXPECT_EQ(after.BaudRate, before.BaudRate);
    EXPECT_EQ(after.ByteSize, before.ByteSize);
    EXPECT_EQ(after.Parity, before.Parity);
    EXPECT_EQ(after.StopBits, before.StopBits);
    EXPECT_EQ(after.BaudRate, 4800u);
    ::SetCommState(h, &original);
    ::CloseHandle(h);
}

TEST(WindowsCom, OpenResults_NotFoundAndHeld)
{
    TSerialPort missing;
    EXPECT_EQ(missing.Open("COM9"), PortErrorNotFound); // not mapped in the prefix
    EXPECT_EQ(DiagnosePortPath("COM9").Problem, TPortProblem::Missing);
    REQUIRE_UNIT();
    TSerialPort first, second;
    ASSERT_EQ(first.Open("COM1"), PortOK);
    EXPECT_EQ(second.Open("COM1"), PortErrorAccessDenied);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_EQ(DiagnosePortPath("\\\\.\\COM1").Problem, TPortProblem::Held);
    first.Close();
    EXPECT_EQ(second.Open("COM1"), PortOK);
}

TEST(WindowsCom, ShortRead_ReturnsShortTransferWithinTheTimeOut)
{
    REQUIRE_UNIT();
    TSerialPort port;
    ASSERT_EQ(port.Open("COM1"), PortOK);
    ASSERT_EQ(port.SetLineParameters(19200, 8, 2, 0, 0), PortOK);
    uint8_t buffer[4];
    const auto start = Clock::now();
    EXPECT_EQ(port.ReadBytes(buffer, 4, 300), PortErrorShortTransfer); // the unit is silent
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 250ms);
    EXPECT_LT(took, 2s);
}

TEST(WindowsCom, Abort_EndsAReadBlockedOnASilentUnitAtOnce)
{
    REQUIRE_UNIT();
    TZelvoCommsInterface comms{TPacing::Production()};
    comms.SelectPort(false, 1, 19200);
    ASSERT_TRUE(comms.Open());
    auto read = std::async(std::launch::async, [&comms] {
        uint8_t byte = 0;
        return comms.ComFramer().ReadBytes(&byte, 1, 5000);
    });
    EXPECT_NE(read.wait_for(100ms), std::future_status::ready);
    const auto start = Clock::now();
    comms.Abort();
    ASSERT_EQ(read.wait_for(2s), std::future_status::ready) << "the read ran on";
    EXPECT_NE(read.get(), PortOK);
    EXPECT_LT(Clock::now() - start, 1s);
    comms.ClearAbort();
    std::string version;
    EXPECT_EQ(comms.CheckFirmware(version), 0) << version;
}

} // namespace
