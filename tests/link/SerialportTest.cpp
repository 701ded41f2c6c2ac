// COM port behaviour over pseudo-terminals: open results, exclusive use,
// line settings (checked with tcgetattr: a pty stores them without using
// them) and the total time-out of a read.

#include <chrono>
#include <cstring>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "PtyPeer.h"
#include "link/Portmap.h"
#include "link/Serialport.h"
#include "link/Usbserialinterface.h"
#include "tests/support/TestUtil.h"

using namespace zelvo::test;
using namespace std::chrono;

namespace
{

termios StateOf(const TPtyPeer &peer)
{
    termios t{};
    // Termios calls on the master act on the slave's settings.
    EXPECT_EQ(tcgetattr(peer.MasterFd(), &t), 0);
    return t;
}

bool SameSettings(const termios &a, const termios &b)
{
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && cfgetospeed(&a) == cfgetospeed(&b) &&
           std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

TEST(TSerialPort, Open_MissingDevice_ReturnsNotFound)
{
    TSerialPort port;
    EXPECT_EQ(port.Open("/dev/zelvo-no-such-port"), PortErrorNotFound);
    EXPECT_FALSE(port.IsOpen());
    MapComPort(7, TempDir() + "/missing");
    EXPECT_EQ(port.Open("COM7"), PortErrorNotFound);
    ClearComPortMap();
}

TEST(TSerialPort, Open_DeviceHeldByAnotherProcess_ReturnsAccessDenied)
{
    TPtyPeer peer;
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TSerialPort holder;
        const char ok = holder.Open(peer.SlavePath().c_str()) == PortOK ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    TSerialPort port;
    EXPECT_EQ(port.Open(peer.SlavePath().c_str()), PortErrorAccessDenied);
    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(port.Open(peer.SlavePath().c_str()), PortOK);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
}

TEST(TSerialPort, ClosedPort_RefusesEveryOperation)
{
    TSerialPort port;
    uint8_t b = 0;
    EXPECT_EQ(port.ReadBytes(&b, 1, 10), PortErrorNotOpen);
    EXPECT_EQ(port.WriteBytes(&b, 1, 10), PortErrorNotOpen);
    EXPECT_EQ(port.Purge(), PortErrorNotOpen);
    EXPECT_EQ(port.SetLineParameters(19200, 8, 2, 0, 0), PortErrorNotOpen);
}

struct BadLine {
    int32_t DataBits, StopBits, Parity, Flow;
};

class TSerialPortBadLine : public testing::TestWithParam<BadLine>
{
};

TEST_P(TSerialPortBadLine, SetLineParameters_OutOfRange_ReturnsParameterAndLeavesDevice)
{
    TPtyPeer peer;
    TSerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath().c_str()), PortOK);
    ASSERT_EQ(port.SetLineParameters(19200, 8, 2, 0, 0), PortOK);
    const termios before = StateOf(peer);
    const BadLine p = GetParam();
    EXPECT_EQ(port.SetLineParameters(9600, p.DataBits, p.StopBits, p.Parity, p.Flow),
              PortErrorParameter);
    EXPECT_TRUE(SameSettings(before, StateOf(peer)));
    EXPECT_EQ(port.BaudRate(), 19200);
}

INSTANTIATE_TEST_SUITE_P(Rows, TSerialPortBadLine,
                         testing::Values(BadLine{6, 1, 0, 0}, BadLine{8, 3, 0, 0},
                                         BadLine{8, 1, 3, 0}, BadLine{8, 1, 0, 2},
                                         BadLine{9, 1, 0, 0}, BadLine{8, 0, 0, 0},
                                         BadLine{8, 1, -1, 0}));

// A pty keeps speed, stop bits and flow control but always reports 8 data
// bits without parity, so those two are only checked to be accepted.
TEST(TSerialPort, SetLineParameters_ValidValues_AreAppliedAndRemembered)
{
    TPtyPeer peer;
    TSerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath().c_str()), PortOK);
    EXPECT_EQ(port.BaudRate(), 9600);
    ASSERT_EQ(port.SetLineParameters(38400, 7, 1, 1, 1), PortOK);
    termios t = StateOf(peer);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B38400));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(port.FlowMode(), 1);
    EXPECT_EQ(port.BaudRate(), 38400);
    ASSERT_EQ(port.SetLineParameters(9600, 8, 2, 2, 0), PortOK);
    t = StateOf(peer);
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    EXPECT_EQ(port.FlowMode(), 0);
}

TEST(TSerialPort, SelectComThree_OpensItAt19200EightDataTwoStopNoParity)
{
    TPtyPeer peer;
    MapComPort(3, peer.SlavePath());
    TUSBSerialInterface link;
    link.SelectPort(false, 3, 19200);
    ASSERT_TRUE(link.Open());
    const termios t = StateOf(peer);
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(t.c_cflag & CSTOPB);
    EXPECT_FALSE(t.c_cflag & PARENB);
    EXPECT_FALSE(t.c_cflag & CRTSCTS);
    // Raw: a 0x0A start byte must not become CR LF or be echoed.
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_FALSE(t.c_lflag & (ECHO | ICANON));
    EXPECT_EQ(link.ComFramer().BaudRate(), 19200);
    link.Close();
    ClearComPortMap();
}

TEST(TSerialPort, Close_RestoresDeviceSettingsAndIsHarmlessTwice)
{
    TPtyPeer peer;
    const termios original = StateOf(peer);
    TSerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath().c_str()), PortOK);
    ASSERT_EQ(port.SetLineParameters(19200, 8, 2, 0, 0), PortOK);
    ASSERT_FALSE(SameSettings(original, StateOf(peer)));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(SameSettings(original, StateOf(peer)));
    port.Close();
    EXPECT_FALSE(port.IsOpen());
}

TEST(TSerialPort, ReadBytes_ThreeOfFourWithinTimeout_ReturnsShortTransferAfterTimeout)
{
    TPtyPeer peer;
    TSerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath().c_str()), PortOK);
    peer.WriteRaw({1, 2, 3});
    uint8_t buf[4] = {};
    const auto start = steady_clock::now();
    EXPECT_EQ(port.ReadBytes(buf, 4, 80), PortErrorShortTransfer);
    const auto elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 80);
    EXPECT_LT(elapsed, 1000);
    EXPECT_EQ(buf[2], 3);
}

TEST(TSerialPort, ReadAndWrite_BytesArriveInPiecesWithinTotalTimeout_Succeed)
{
    TPtyPeer peer;
    TSerialPort port;
    ASSERT_EQ(port.Open(peer.SlavePath().c_str()), PortOK);
    ASSERT_EQ(port.SetLineParameters(19200, 8, 2, 0, 0), PortOK);
    const uint8_t out[] = {0x0A, 0x0D, 0x00, 0xFF, 0x11, 0x13};
    ASSERT_EQ(port.WriteBytes(out, sizeof out, 500), PortOK);
    EXPECT_EQ(peer.ReadRaw(6, milliseconds(2000)), std::vector<uint8_t>(out, out + 6));

    std::thread feeder([&] {
        peer.WriteRaw({9, 8});
        // The second piece comes only after the first was taken.
        const auto until = steady_clock::now() + seconds(2);
        int queued = 1;
        while (queued != 0 && steady_clock::now() < until) {
            ioctl(peer.MasterFd(), TIOCOUTQ, &queued);
            poll(nullptr, 0, 1);
        }
        peer.WriteRaw({7, 6});
    });
    uint8_t in[4] = {};
    EXPECT_EQ(port.ReadBytes(in, 4, 2000), PortOK);
    feeder.join();
    EXPECT_EQ(std::vector<uint8_t>(in, in + 4), (std::vector<uint8_t>{9, 8, 7, 6}));
}

} // namespace
