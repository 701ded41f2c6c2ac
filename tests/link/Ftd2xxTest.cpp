// The USB bridge layer on fake sysfs trees whose "bridges" are
// pseudo-terminals.

#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>
#include <termios.h>

#include "PtyPeer.h"
#include "link/Ftd2xx.h"
#include "link/Ftdipacket.h"
#include "link/Usbserialinterface.h"
#include "tests/support/TestUtil.h"

using namespace zelvo::test;
namespace fs = std::filesystem;

namespace
{

class Ftd2xxTree : public testing::Test
{
protected:
    void SetUp() override
    {
        root = TempDir();
        fs::create_directories(Sysfs() / "bus/usb-serial/devices");
        fs::create_directories(Dev());
        Ftd2xx::SetRoots(Sysfs().string(), Dev().string());
        Ftd2xx::ClearVirtualBridges();
    }
    void TearDown() override
    {
        Ftd2xx::ClearVirtualBridges();
        Ftd2xx::ResetRoots();
    }

    fs::path Sysfs() const { return fs::path(root) / "sys"; }
    fs::path Dev() const { return fs::path(root) / "dev"; }

    static void Write(const fs::path &file, const std::string &text)
    {
        std::ofstream(file) << text;
    }

    // A USB device with one serial interface `tty` on channel `channel`, laid
    // out as the kernel does, and /dev/<tty> pointing at `target`.
    void AddBridge(const std::string &usbName, const std::string &tty, const std::string &vendor,
                   const std::string &product, int interfaces, int channel,
                   const std::string &target)
    {
        const fs::path usb = Sysfs() / "devices/usb1" / usbName;
        std::ostringstream ifaceName, count, number;
        ifaceName << usbName << ":1." << channel;
        count << ' ' << interfaces << '\n';
        number << '0' << channel << '\n';
        const fs::path iface = usb / ifaceName.str();
        fs::create_directories(iface / tty);
        Write(usb / "idVendor", vendor + "\n");
        Write(usb / "product", product + "\n");
        Write(usb / "bNumInterfaces", count.str());
        Write(iface / "bInterfaceNumber", number.str());
        fs::create_directory_symlink(iface / tty, Sysfs() / "bus/usb-serial/devices" / tty);
        fs::create_symlink(target, Dev() / tty);
    }

    static uint32_t Count()
    {
        uint32_t n = 12345;
        EXPECT_EQ(FT_ListDevices(&n, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        return n;
    }

    std::string root;
};

TEST_F(Ftd2xxTree, ListDevices_CountsOnlyFtdiVendorBridges)
{
    TPtyPeer a, b;
    EXPECT_EQ(Count(), 0u);
    AddBridge("1-1", "ttyUSB0", "0403", "Zelvo", 1, 0, a.SlavePath());
    AddBridge("1-2", "ttyUSB1", "10c4", "CP2102 USB to UART", 1, 0, b.SlavePath());
    EXPECT_EQ(Count(), 1u);
    Ftd2xx::RegisterVirtualBridge("Sim", b.SlavePath());
    EXPECT_EQ(Count(), 2u);
}

TEST_F(Ftd2xxTree, Descriptions_AreProductStringsWithChannelLettersOnMultiChannelChips)
{
    TPtyPeer a, b, c;
    AddBridge("1-1", "ttyUSB0", "0403", "Zelvo", 1, 0, a.SlavePath());
    AddBridge("1-3", "ttyUSB1", "0403", "Dual RS232-HS", 2, 0, b.SlavePath());
    AddBridge("1-4", "ttyUSB2", "0403", "Dual RS232-HS", 2, 1, c.SlavePath());
    const auto bridges = Ftd2xx::ListBridges();
    ASSERT_EQ(bridges.size(), 3u);
    EXPECT_EQ(bridges[0].Description, "Zelvo");
    EXPECT_EQ(bridges[1].Description, "Dual RS232-HS A");
    EXPECT_EQ(bridges[2].Description, "Dual RS232-HS B");
    EXPECT_EQ(bridges[2].DevicePath, (Dev() / "ttyUSB2").string());
}

TEST_F(Ftd2xxTree, CreateFile_OpensOnlyAnExactDescription)
{
    TPtyPeer peer;
    AddBridge("1-1", "ttyUSB0", "0403", "Zelvo Unit", 1, 0, peer.SlavePath());
    for (const char *nearMiss : {"Zelvo", "zelvo unit", "Zelvo Unit ", ""}) {
        EXPECT_EQ(FT_W32_CreateFile(nearMiss, FT_GENERIC_READ | FT_GENERIC_WRITE, 0, nullptr,
                                    FT_OPEN_EXISTING, FT_OPEN_BY_DESCRIPTION, nullptr),
                  FT_INVALID_HANDLE_VALUE)
            << nearMiss;
        EXPECT_EQ(FT_W32_GetLastError(FT_INVALID_HANDLE_VALUE), 2u);
    }
    const FT_HANDLE h =
        FT_W32_CreateFile("Zelvo Unit", FT_GENERIC_READ | FT_GENERIC_WRITE, 0, nullptr,
                          FT_OPEN_EXISTING, FT_OPEN_BY_DESCRIPTION, nullptr);
    ASSERT_NE(h, FT_INVALID_HANDLE_VALUE);
    FTTIMEOUTS t{};
    t.WriteTotalTimeoutConstant = 500;
    ASSERT_TRUE(FT_W32_SetCommTimeouts(h, &t));
    const uint8_t bytes[] = {0x41, 0x42};
    uint32_t written = 0;
    EXPECT_TRUE(FT_W32_WriteFile(h, bytes, 2, &written, nullptr));
    EXPECT_EQ(written, 2u);
    EXPECT_EQ(peer.ReadRaw(2, std::chrono::seconds(2)), std::vector<uint8_t>(bytes, bytes + 2));
    EXPECT_TRUE(FT_W32_CloseHandle(h));
    EXPECT_FALSE(FT_W32_CloseHandle(h));
}

TEST_F(Ftd2xxTree, Open_BridgeInUse_ReturnsAccessDenied)
{
    TPtyPeer peer;
    AddBridge("1-1", "ttyUSB0", "0403", "Zelvo", 1, 0, peer.SlavePath());
    TFTDIPort first, second;
    ASSERT_EQ(first.Open("Zelvo"), PortOK);
    EXPECT_EQ(second.Open("Zelvo"), PortErrorAccessDenied);
    EXPECT_EQ(second.Open("Other"), PortErrorNotFound);
}

TEST_F(Ftd2xxTree, Connect_NoBridgeAttached_FailsBeforeAnyOpen)
{
    TFTDIPacket packet;
    const uint64_t opens = Ftd2xx::CreateFileCalls();
    EXPECT_FALSE(packet.Connect("Zelvo", 19200));
    EXPECT_EQ(Ftd2xx::CreateFileCalls(), opens);
    EXPECT_FALSE(packet.IsOpen());
}

TEST_F(Ftd2xxTree, InterfaceOpen_NoBridgeWithBrandName_FallsBackToZelvo)
{
    TPtyPeer peer;
    AddBridge("1-1", "ttyUSB0", "0403", "Zelvo", 1, 0, peer.SlavePath());
    TUSBSerialInterface link;
    link.SetBrandName("Acme Telemetry");
    const uint64_t opens = Ftd2xx::CreateFileCalls();
    ASSERT_TRUE(link.Open());
    EXPECT_EQ(Ftd2xx::CreateFileCalls(), opens + 2);
    EXPECT_TRUE(link.IsOpen());
    const termios t = [&] {
        termios s{};
        tcgetattr(peer.MasterFd(), &s);
        return s;
    }();
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
}

TEST_F(Ftd2xxTree, InterfaceOpen_BridgeWithBrandName_IsOpenedFirst)
{
    TPtyPeer brand, fallback;
    AddBridge("1-1", "ttyUSB0", "0403", "Zelvo", 1, 0, fallback.SlavePath());
    Ftd2xx::RegisterVirtualBridge("Acme Telemetry", brand.SlavePath());
    TUSBSerialInterface link;
    link.SetBrandName("Acme Telemetry");
    const uint64_t opens = Ftd2xx::CreateFileCalls();
    ASSERT_TRUE(link.Open());
    EXPECT_EQ(Ftd2xx::CreateFileCalls(), opens + 1);
    const uint8_t bytes[] = {1, 2, 3, 4};
    ASSERT_EQ(link.UsbFramer().WriteBytes(bytes, 4, 500), PortOK);
    EXPECT_EQ(brand.ReadRaw(4, std::chrono::seconds(2)).size(), 4u);
}

} // namespace
