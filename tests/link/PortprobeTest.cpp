// Finding the unit over real pseudo-terminals: simulated units of both
// models, silent, streaming, held and missing devices, all probed at once.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "PtyPeer.h"
#include "link/Ftd2xx.h"
#include "link/Linkabort.h"
#include "link/Portdiagnosis.h"
#include "link/Portmap.h"
#include "link/Portprobe.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

using namespace zelvo::test;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

const std::vector<uint8_t> kVersionRead = {0x0A, 0x00, 0xDF, 0xD5};

std::unique_ptr<zsim::UnitSimulator> StartSim(zsim::Model model, const std::string &version = {})
{
    zsim::Options o;
    o.model = model;
    o.version = version;
    auto sim = std::make_unique<zsim::UnitSimulator>(o);
    std::string error;
    if (!sim->Start(&error))
        ADD_FAILURE() << "simulator: " << error;
    return sim;
}

termios SlaveSettings(const std::string &path)
{
    termios t{};
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
}

// Puts distinctive settings (9600 7E1, canonical) on a device, so a probe
// that does not give them back is seen.
void SetSlaveSettings(const std::string &path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    cfsetspeed(&t, B9600);
    t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB;
    t.c_lflag |= ICANON;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
}

bool SameLine(const termios &a, const termios &b)
{
    return a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag && a.c_iflag == b.c_iflag &&
           a.c_oflag == b.c_oflag && cfgetospeed(&a) == cfgetospeed(&b);
}

// A device that never stops sending: `pattern` over and over, one chunk per
// `gap`. Whatever the tool writes to it is kept.
class TStreamer
{
public:
    TStreamer(std::vector<uint8_t> pattern, std::chrono::milliseconds gap)
        : FPattern(std::move(pattern)), FGap(gap)
    {
        // Raw from the start: a terminal's echo would hand the device's own
        // bytes back to it as if the tool had written them.
        const int fd = ::open(FPty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        ::tcgetattr(fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(fd, TCSANOW, &t);
        ::close(fd);
        FThread = std::thread([this] { Run(); });
    }
    ~TStreamer()
    {
        FStop = true;
        FThread.join();
    }
    const std::string &SlavePath() const { return FPty.SlavePath(); }
    std::vector<uint8_t> Received()
    {
        std::lock_guard<std::mutex> guard(FLock);
        return FReceived;
    }

private:
    void Run()
    {
        const int fd = FPty.MasterFd();
        while (!FStop) {
            [[maybe_unused]] const ssize_t w = ::write(fd, FPattern.data(), FPattern.size());
            uint8_t buf[256];
            const ssize_t got = ::read(fd, buf, sizeof buf);
            if (got > 0) {
                std::lock_guard<std::mutex> guard(FLock);
                FReceived.insert(FReceived.end(), buf, buf + got);
            }
            pollfd none{-1, 0, 0};
            ::poll(&none, 1, static_cast<int>(FGap.count()));
        }
    }

    TPtyPeer FPty; // only its master end is used, without the script
    std::vector<uint8_t> FPattern;
    std::chrono::milliseconds FGap;
    std::atomic<bool> FStop{false};
    std::mutex FLock;
    std::vector<uint8_t> FReceived;
    std::thread FThread;
};

// Another process holding a device the way a port does (an exclusive lock).
class THolder
{
public:
    explicit THolder(const std::string &path)
    {
        int ready[2];
        if (::pipe(ready) != 0 || ::pipe(FRelease) != 0)
            throw std::runtime_error("pipe");
        FPid = ::fork();
        if (FPid == 0) {
            const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char c;
            (void)!::read(FRelease[0], &c, 1);
            ::_exit(0);
        }
        char ok = 0;
        (void)!::read(ready[0], &ok, 1);
        Held = ok == 'y';
        ::close(ready[0]);
        ::close(ready[1]);
    }
    ~THolder()
    {
        (void)!::write(FRelease[1], "x", 1);
        int status = 0;
        ::waitpid(FPid, &status, 0);
        ::close(FRelease[0]);
        ::close(FRelease[1]);
    }
    pid_t Pid() const { return FPid; }
    bool Held = false;

private:
    int FRelease[2] = {-1, -1};
    pid_t FPid = -1;
};

class PortProbe : public testing::Test
{
protected:
    void SetUp() override
    {
        root = fs::path(TempDir());
        fs::create_directories(Sys() / "bus/usb-serial/devices");
        fs::create_directories(Sys() / "class/tty");
        fs::create_directories(Dev() / "serial/by-id");
        Ftd2xx::SetRoots(Sys().string(), Dev().string());
        Ftd2xx::ClearVirtualBridges();
        SetPortDiagnosisRoots(Dev().string(), (Sys() / "class/tty").string(), "/proc");
        ClearComPortMap();
        // No test may reach a real serial device of this machine.
        for (int n = 1; n <= 16; ++n)
            MapComPort(n, (root / ("no-com" + std::to_string(n))).string());
    }
    void TearDown() override
    {
        ClearComPortMap();
        Ftd2xx::ClearVirtualBridges();
        Ftd2xx::ResetRoots();
        ResetPortDiagnosisRoots();
    }

    fs::path Sys() const { return root / "sys"; }
    fs::path Dev() const { return root / "dev"; }

    static void Write(const fs::path &file, const std::string &text)
    {
        std::ofstream(file) << text;
    }

    // An FTDI bridge as the kernel lays it out, /dev/<tty> pointing at `target`.
    void AddBridge(const std::string &usbName, const std::string &tty, const std::string &product,
                   const std::string &target)
    {
        const fs::path usb = Sys() / "devices/usb1" / usbName;
        const fs::path iface = usb / (usbName + ":1.0");
        fs::create_directories(iface / tty);
        Write(usb / "idVendor", "0403\n");
        Write(usb / "product", product + "\n");
        Write(usb / "bNumInterfaces", " 1\n");
        Write(iface / "bInterfaceNumber", "00\n");
        fs::create_directory_symlink(iface / tty, Sys() / "bus/usb-serial/devices" / tty);
        fs::create_symlink(target, Dev() / tty);
    }

    static const TProbeReport *Find(const std::vector<TProbeReport> &reports,
                                    const std::string &port)
    {
        for (const TProbeReport &r : reports)
            if (r.Candidate.Port == port)
                return &r;
        return nullptr;
    }

    TProbeOptions Options() const
    {
        TProbeOptions o;
        o.Timeout = 400ms;
        return o;
    }

    fs::path root;
};

TEST_F(PortProbe, EveryKindOfPortAtOnce_IsReportedForWhatItIs)
{
    auto vello = StartSim(zsim::Model::Vello);
    auto ostra = StartSim(zsim::Model::Ostra);
    auto old = StartSim(zsim::Model::Vello, "2.56");
    TPtyPeer silent;
    silent.Start([](const TRequest &) { return std::vector<uint8_t>{}; });
    TPtyPeer held;
    // A GPS-like talker: NMEA sentences, never asked for them.
    TStreamer gps({'$', 'G', 'P', 'G', 'G', 'A', ',', '1', '2', '3', '\r', '\n'}, 5ms);
    THolder holder(held.SlavePath());
    ASSERT_TRUE(holder.Held);

    MapComPort(3, vello->SlavePath());
    MapComPort(4, old->SlavePath());
    MapComPort(5, silent.SlavePath());
    MapComPort(6, held.SlavePath());
    MapComPort(7, gps.SlavePath());
    AddBridge("1-1", "ttyUSB0", "Zelvo", ostra->SlavePath());
    // The same bridge again under its stable name.
    fs::create_symlink("../../ttyUSB0", Dev() / "serial/by-id/usb-FTDI_Zelvo_A1-if00-port0");

    const std::vector<TProbeCandidate> candidates = ListProbeCandidates({Dev().string()}, 8);
    // COM1..8, the bridge once (its /dev and by-id names are the same device).
    ASSERT_EQ(candidates.size(), 9u);
    const std::vector<TProbeReport> reports = ProbePorts(candidates, Options(), nullptr);
    ASSERT_EQ(reports.size(), candidates.size());

    const TProbeReport *com3 = Find(reports, "COM3");
    ASSERT_NE(com3, nullptr);
    EXPECT_EQ(com3->Result, TProbeResult::Zelvo) << ProbeReportLine(*com3);
    EXPECT_EQ(com3->Model, "VELLO");
    EXPECT_EQ(com3->Firmware.rfind("V2.61?", 0), 0u) << com3->Firmware;
    EXPECT_TRUE(com3->FirmwareRecent);

    const TProbeReport *bridge = Find(reports, "Zelvo");
    ASSERT_NE(bridge, nullptr);
    EXPECT_EQ(bridge->Result, TProbeResult::Zelvo) << ProbeReportLine(*bridge);
    EXPECT_EQ(bridge->Model, "OSTRA");
    EXPECT_EQ(bridge->Candidate.Bridge, "Zelvo");
    EXPECT_EQ(bridge->Candidate.Path, (Dev() / "ttyUSB0").string());

    const TProbeReport *com4 = Find(reports, "COM4");
    EXPECT_EQ(com4->Result, TProbeResult::Zelvo) << ProbeReportLine(*com4);
    EXPECT_FALSE(com4->FirmwareRecent);
    EXPECT_NE(com4->Firmware.find("2.56"), std::string::npos);

    EXPECT_EQ(Find(reports, "COM5")->Result, TProbeResult::NoAnswer);
    // Asked once, and only for the version: no answer, no second request.
    ASSERT_EQ(silent.Requests().size(), 1u);
    EXPECT_EQ(silent.Requests()[0].Raw, kVersionRead);

    const TProbeReport *com6 = Find(reports, "COM6");
    EXPECT_EQ(com6->Result, TProbeResult::Busy) << ProbeReportLine(*com6);
    EXPECT_NE(com6->Reason.find("held by another program"), std::string::npos) << com6->Reason;
    EXPECT_NE(com6->Reason.find("PID " + std::to_string(holder.Pid())), std::string::npos)
        << com6->Reason;
    EXPECT_EQ(com6->HolderPid, holder.Pid());

    EXPECT_EQ(Find(reports, "COM7")->Result, TProbeResult::NotZelvo);
    EXPECT_EQ(gps.Received(), kVersionRead);

    const TProbeReport *com8 = Find(reports, "COM8");
    EXPECT_EQ(com8->Result, TProbeResult::CannotOpen);
    EXPECT_NE(com8->Reason.find("does not exist"), std::string::npos) << com8->Reason;

    // Each unit was asked exactly the two reads.
    EXPECT_EQ(vello->FramesReceived(), 2);
    EXPECT_EQ(ostra->FramesReceived(), 2);
    EXPECT_EQ(FoundUnits(reports).size(), 3u);
}

TEST_F(PortProbe, Candidates_ListTtyUsbAcmAndByIdOnceEach_BridgeNamedByCom)
{
    TPtyPeer a, b, c;
    AddBridge("1-1", "ttyUSB0", "FT232R USB UART", a.SlavePath());
    fs::create_symlink(b.SlavePath(), Dev() / "ttyACM0");
    fs::create_symlink(c.SlavePath(), Dev() / "ttyUSB7");
    fs::create_symlink("../../ttyACM0", Dev() / "serial/by-id/usb-Modem-if00");
    fs::create_symlink(c.SlavePath(), Dev() / "serial/by-id/usb-Other-if00");
    // COM2 is the bridge's device: one candidate, named COM2, knowing its bridge.
    MapComPort(2, (Dev() / "ttyUSB0").string());

    const auto candidates = ListProbeCandidates({Dev().string()}, 3);
    std::vector<std::string> ports;
    for (const auto &cand : candidates)
        ports.push_back(cand.Port);
    EXPECT_EQ(ports, (std::vector<std::string>{"COM1", "COM2", "COM3", (Dev() / "ttyACM0").string(),
                                               (Dev() / "ttyUSB7").string()}));
    EXPECT_EQ(candidates[1].Bridge, "FT232R USB UART");
    EXPECT_EQ(candidates[1].ComNumber, 2);
}

struct NotAUnit {
    const char *Name;
    std::function<std::vector<uint8_t>(const TRequest &)> Script;
    std::size_t Requests;
};

void PrintTo(const NotAUnit &row, std::ostream *os)
{
    *os << row.Name;
}

class PortProbeNotAUnit : public PortProbe, public testing::WithParamInterface<NotAUnit>
{
};

TEST_P(PortProbeNotAUnit, IsNotAZelvo_AndGetsNoMoreThanItEarned)
{
    TPtyPeer peer;
    peer.Start(GetParam().Script);
    MapComPort(1, peer.SlavePath());
    const TProbeReport r = ProbePort({"COM1", peer.SlavePath(), 1, {}}, Options(), nullptr);
    EXPECT_EQ(r.Result, TProbeResult::NotZelvo) << ProbeReportLine(r);
    EXPECT_EQ(peer.Requests().size(), GetParam().Requests);
    EXPECT_TRUE(r.Model.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, PortProbeNotAUnit,
    testing::Values(NotAUnit{"Nack", [](const TRequest &) { return NackFrame(); }, 1},
                    NotAUnit{"BinaryVersion",
                             [](const TRequest &q) {
                                 return ReplyFrame(q.Command, {0x01, 0xFE, 0x80});
                             },
                             1},
                    NotAUnit{"BadChecksum",
                             [](const TRequest &q) {
                                 auto r = ReplyFrame(q.Command, {'V', '2', '.', '6', '1', '?'});
                                 r.back() ^= 0xFF;
                                 return r;
                             },
                             1},
                    NotAUnit{"UnknownUnitType",
                             [](const TRequest &q) {
                                 return q.Command == 0xDF
                                            ? ReplyFrame(q.Command, {'V', '2', '.', '6', '1', '?'})
                                            : ReplyFrame(q.Command, {0x07});
                             },
                             2},
                    NotAUnit{"SilentAfterVersion",
                             [](const TRequest &q) {
                                 return q.Command == 0xDF
                                            ? ReplyFrame(q.Command, {'V', '2', '.', '6', '1', '?'})
                                            : std::vector<uint8_t>{};
                             },
                             2},
                    NotAUnit{"KeepsTalkingAfterItsReply",
                             [](const TRequest &q) {
                                 auto r = ReplyFrame(q.Command, {'V', '2', '.', '6', '1', '?'});
                                 for (int i = 0; i < 40; ++i)
                                     r.push_back(0x55);
                                 return r;
                             },
                             1}),
    [](const auto &info) { return std::string(info.param.Name); });

TEST_F(PortProbe, TricklingDevice_IsNotAZelvo_AndGetsOneRequest)
{
    // Status "data follows", length 255, then one byte every 20 ms: the
    // reply never completes, and the probe must not wait for it beyond its
    // time-out nor ask again.
    TStreamer trickle({0xFF}, 20ms);
    TProbeOptions o;
    o.Timeout = 300ms;
    std::atomic<bool> done{false};
    TProbeReport r;
    std::thread t([&] {
        r = ProbePort({trickle.SlavePath(), trickle.SlavePath(), 0, {}}, o, nullptr);
        done = true;
    });
    EXPECT_TRUE(WaitFor([&] { return done.load(); }, 5s));
    t.join();
    EXPECT_EQ(r.Result, TProbeResult::NotZelvo);
    EXPECT_EQ(trickle.Received(), kVersionRead);
}

TEST_F(PortProbe, Probe_GivesEveryDeviceItsOwnSettingsBack)
{
    auto vello = StartSim(zsim::Model::Vello);
    TPtyPeer silent;
    for (const std::string &path : {vello->SlavePath(), silent.SlavePath()})
        SetSlaveSettings(path);
    const termios velloBefore = SlaveSettings(vello->SlavePath());
    const termios silentBefore = SlaveSettings(silent.SlavePath());
    MapComPort(1, vello->SlavePath());
    MapComPort(2, silent.SlavePath());
    const auto reports = ProbePorts(ListProbeCandidates({Dev().string()}, 2), Options(), nullptr);
    EXPECT_EQ(reports[0].Result, TProbeResult::Zelvo);
    EXPECT_EQ(reports[1].Result, TProbeResult::NoAnswer);
    EXPECT_TRUE(SameLine(SlaveSettings(vello->SlavePath()), velloBefore));
    EXPECT_TRUE(SameLine(SlaveSettings(silent.SlavePath()), silentBefore));
}

TEST_F(PortProbe, Abort_EndsEveryProbeAtOnce_AndRestoresSettings)
{
    std::vector<std::unique_ptr<TPtyPeer>> silent(6);
    for (int i = 0; i < 6; ++i) {
        silent[i] = std::make_unique<TPtyPeer>();
        SetSlaveSettings(silent[i]->SlavePath());
        MapComPort(i + 1, silent[i]->SlavePath());
    }
    const termios before = SlaveSettings(silent[0]->SlavePath());
    TProbeOptions o;
    o.Timeout = 60s; // only the abort can end these probes in time
    TLinkAbort abort;
    std::atomic<std::size_t> finished{0};
    std::vector<TProbeReport> reports;
    std::thread t([&] {
        reports = ProbePorts(ListProbeCandidates({Dev().string()}, 6), o, &abort,
                             [&](std::size_t, const TProbeReport &) { ++finished; });
    });
    // Wait until every port was asked, so each probe is blocked in its read.
    for (auto &p : silent)
        EXPECT_EQ(p->ReadRaw(4, 5s), kVersionRead);
    abort.Set();
    EXPECT_TRUE(WaitFor([&] { return finished.load() == 6; }, 5s));
    t.join();
    for (const TProbeReport &r : reports)
        EXPECT_TRUE(r.Cancelled) << ProbeReportLine(r);
    EXPECT_TRUE(SameLine(SlaveSettings(silent[0]->SlavePath()), before));
    // Set before starting: nothing is opened at all.
    const auto again = ProbePorts(ListProbeCandidates({Dev().string()}, 6), o, &abort);
    for (const TProbeReport &r : again)
        EXPECT_TRUE(r.Cancelled);
    for (auto &p : silent)
        EXPECT_TRUE(p->ReadRaw(1, 50ms).empty());
}

TEST_F(PortProbe, SelectFoundUnit_ReachesUnitsOnUnnamedDevices)
{
    TProbeReport missing;
    missing.Candidate = {"COM2", "/nonexistent", 2, {}};
    missing.Result = TProbeResult::CannotOpen;
    TProbeReport busy;
    busy.Candidate = {"COM1", "/x", 1, {}};
    busy.Result = TProbeResult::Busy;

    TProbeReport vello;
    vello.Result = TProbeResult::Zelvo;
    vello.UnitType = 3;
    vello.Candidate = {"/dev/ttyACM3", "/dev/ttyACM3", 0, {}};
    TProbeSelection s;
    ASSERT_TRUE(SelectFoundUnit(vello, {busy, missing, vello}, s));
    EXPECT_FALSE(s.UseUsb);
    EXPECT_EQ(s.ComPort, 2); // the first COM number nothing usable was on
    EXPECT_EQ(ComPortPath(2), "/dev/ttyACM3");
    EXPECT_FALSE(SelectFoundUnit(vello, {busy, vello}, s));

    TProbeReport ostra = vello;
    ostra.UnitType = 2;
    ostra.Candidate = {"COM5", "/dev/ttyUSB5", 5, "FT232R USB UART"};
    ASSERT_TRUE(SelectFoundUnit(ostra, {ostra}, s));
    EXPECT_TRUE(s.UseUsb);
    EXPECT_EQ(s.BridgeDescription, "FT232R USB UART");

    ostra.Candidate = {"/dev/ttyS4", "/dev/ttyS4", 0, {}};
    ASSERT_TRUE(SelectFoundUnit(ostra, {ostra}, s));
    EXPECT_TRUE(s.UseUsb);
    EXPECT_EQ(s.BridgeDescription, "Zelvo");
    const auto bridges = Ftd2xx::ListBridges();
    ASSERT_FALSE(bridges.empty());
    EXPECT_EQ(bridges[0].DevicePath, "/dev/ttyS4");
}

} // namespace
