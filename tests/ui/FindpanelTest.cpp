// The connect dialog's Find button against simulated units on
// pseudo-terminals, offscreen: it finds, lists and selects, and connects
// nothing.

#include "ui/Findpanel.h"
#include "FakeMainWindow.h"
#include "common/Errormanager.h"
#include "engine/Headlesshost.h"
#include "engine/Serialthread.h"
#include "link/Ftd2xx.h"
#include "link/Portdiagnosis.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "ui/Fm_connect.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace
{

std::unique_ptr<zsim::UnitSimulator> StartSim(zsim::Model model)
{
    zsim::Options o;
    o.model = model;
    auto sim = std::make_unique<zsim::UnitSimulator>(o);
    EXPECT_TRUE(sim->Start());
    return sim;
}

// A pseudo-terminal nobody answers on.
struct TSilentPty {
    TSilentPty()
    {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(Master);
        ::unlockpt(Master);
        Path = ::ptsname(Master);
    }
    ~TSilentPty() { ::close(Master); }
    int Master = -1;
    std::string Path;
};

class TFindPanelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        fs::create_directories(root / "sys/bus/usb-serial/devices");
        fs::create_directories(root / "sys/class/tty");
        fs::create_directories(root / "dev");
        Ftd2xx::SetRoots((root / "sys").string(), (root / "dev").string());
        SetPortDiagnosisRoots((root / "dev").string(), (root / "sys/class/tty").string(), "/proc");
        for (int n = 1; n <= 16; ++n)
            MapComPort(n, (root / ("missing" + std::to_string(n))).string());
        engine = std::make_unique<TSerialThread>(&host, TPacing::Shrunk(25));
        main.SetEngine(engine.get());
        dialog = std::make_unique<TfmConnect>(main);
        TProbeOptions o;
        o.Timeout = 500ms;
        dialog->FindPanel->SetProbeOptions(o);
        dialog->FindPanel->SetProbeRoots({(root / "dev").string()});
    }
    void TearDown() override
    {
        dialog.reset();
        engine.reset();
        ClearComPortMap();
        Ftd2xx::ClearVirtualBridges();
        Ftd2xx::ResetRoots();
        ResetPortDiagnosisRoots();
    }

    void AddBridge(const std::string &product, const std::string &target)
    {
        const fs::path usb = root / "sys/devices/usb1/1-1";
        const fs::path iface = usb / "1-1:1.0";
        fs::create_directories(iface / "ttyUSB0");
        std::ofstream(usb / "idVendor") << "0403\n";
        std::ofstream(usb / "product") << product << "\n";
        std::ofstream(usb / "bNumInterfaces") << " 1\n";
        std::ofstream(iface / "bInterfaceNumber") << "00\n";
        fs::create_directory_symlink(iface / "ttyUSB0",
                                     root / "sys/bus/usb-serial/devices/ttyUSB0");
        fs::create_symlink(target, root / "dev/ttyUSB0");
    }

    bool WaitForFind()
    {
        return zelvo::test::WaitFor([&] { return !dialog->FindPanel->IsFinding(); }, 10s);
    }

    fs::path root{zelvo::test::TempDir()};
    TErrorManager errorLog{QString::fromStdString((root / "Log.txt").string())};
    THeadlessHost host{errorLog};
    std::unique_ptr<TSerialThread> engine;
    TFakeMainWindow main;
    std::unique_ptr<TfmConnect> dialog;
};

TEST_F(TFindPanelTest, FindsVelloOnItsComPort_SelectsVelloAndPort_ConnectsNothing)
{
    auto vello = StartSim(zsim::Model::Vello);
    TSilentPty silent;
    MapComPort(7, vello->SlavePath());
    MapComPort(2, silent.Path);
    dialog->show();
    ASSERT_TRUE(dialog->rbOstra->isChecked());

    QTest::mouseClick(dialog->FindPanel->btnFind, Qt::LeftButton);
    // The dialog stays responsive: the button now cancels.
    EXPECT_EQ(dialog->FindPanel->btnFind->text(), "Cancel");
    EXPECT_TRUE(dialog->FindPanel->pbFind->isVisible());
    ASSERT_TRUE(WaitForFind());

    EXPECT_EQ(dialog->FindPanel->btnFind->text(), "Find");
    EXPECT_TRUE(dialog->rbVello->isChecked());
    EXPECT_TRUE(dialog->cbCommPort->isEnabled());
    EXPECT_EQ(dialog->cbCommPort->currentIndex(), 6);
    EXPECT_FALSE(engine->IsUsbMode());
    EXPECT_EQ(engine->Comms()->ComPort(), 7);
    EXPECT_TRUE(dialog->FindPanel->lblFind->text().startsWith("Found VELLO on COM7"))
        << dialog->FindPanel->lblFind->text().toStdString();
    // Every port is listed, the unit first.
    QTreeWidget *list = dialog->FindPanel->lvFound;
    ASSERT_EQ(list->topLevelItemCount(), 16);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "COM7");
    EXPECT_TRUE(list->topLevelItem(0)->text(2).startsWith("VELLO V2.61?"));
    // Asked its version and type, nothing more; the engine never started.
    EXPECT_EQ(vello->FramesReceived(), 2);
    EXPECT_FALSE(engine->IsActive());
    EXPECT_EQ(host.ConnectedCount(), 0);
    EXPECT_EQ(dialog->btnConnect->text(), "Connect");
}

TEST_F(TFindPanelTest, TwoUnits_SelectsTheFirst_OstraOnItsBridgeByDescription)
{
    auto ostra = StartSim(zsim::Model::Ostra);
    auto vello = StartSim(zsim::Model::Vello);
    AddBridge("FT232R USB UART", ostra->SlavePath());
    dialog->show();
    QTest::mouseClick(dialog->rbVello, Qt::LeftButton);

    // The bridge alone: the OSTRA is found and reached by its description.
    QTest::mouseClick(dialog->FindPanel->btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitForFind());
    EXPECT_TRUE(dialog->rbOstra->isChecked());
    EXPECT_FALSE(dialog->cbCommPort->isEnabled());
    EXPECT_TRUE(engine->IsUsbMode());
    EXPECT_EQ(engine->Comms()->BrandName(), "FT232R USB UART");

    // With a VELLO on COM3 as well, COM ports come first: the VELLO.
    MapComPort(3, vello->SlavePath());
    QTest::mouseClick(dialog->FindPanel->btnFind, Qt::LeftButton);
    ASSERT_TRUE(WaitForFind());
    EXPECT_TRUE(dialog->rbVello->isChecked());
    EXPECT_EQ(dialog->cbCommPort->currentIndex(), 2);
    EXPECT_FALSE(engine->IsUsbMode());
    EXPECT_NE(dialog->FindPanel->lblFind->text().indexOf("2 units"), -1)
        << dialog->FindPanel->lblFind->text().toStdString();
}

TEST_F(TFindPanelTest, CancelAndClosingTheDialog_EndEveryProbeAndChangeNothing)
{
    std::vector<std::unique_ptr<TSilentPty>> silent;
    for (int n = 1; n <= 4; ++n) {
        silent.push_back(std::make_unique<TSilentPty>());
        MapComPort(n, silent.back()->Path);
    }
    TProbeOptions slow;
    slow.Timeout = 60s; // only a cancel can end these probes in time
    dialog->FindPanel->SetProbeOptions(slow);
    dialog->show();

    QTest::mouseClick(dialog->FindPanel->btnFind, Qt::LeftButton);
    ASSERT_TRUE(dialog->FindPanel->IsFinding());
    QTest::mouseClick(dialog->FindPanel->btnFind, Qt::LeftButton);
    EXPECT_FALSE(dialog->FindPanel->IsFinding());
    EXPECT_EQ(dialog->FindPanel->lblFind->text(), "Cancelled.");
    EXPECT_EQ(dialog->FindPanel->btnFind->text(), "Find");
    EXPECT_TRUE(dialog->rbOstra->isChecked());

    QTest::mouseClick(dialog->FindPanel->btnFind, Qt::LeftButton);
    ASSERT_TRUE(dialog->FindPanel->IsFinding());
    dialog->close();
    EXPECT_FALSE(dialog->FindPanel->IsFinding());
    // The ports were let go: another program may open them now.
    for (const auto &p : silent) {
        const int fd = ::open(p->Path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
        ::close(fd);
    }
    EXPECT_TRUE(engine->IsUsbMode());
}

} // namespace
