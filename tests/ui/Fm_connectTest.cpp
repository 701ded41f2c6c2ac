#include "ui/Fm_connect.h"

#include "FakeMainWindow.h"
#include "common/Errormanager.h"
#include "engine/Headlesshost.h"
#include "engine/Serialthread.h"
#include "link/Portmap.h"
#include "link/Usbserialinterface.h"
#include "link/Zelvocommsinterface.h"
#include "tests/support/TestUtil.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace
{

class TfmConnectTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        engine = std::make_unique<TSerialThread>(&host, TPacing::Shrunk(25));
        main.SetEngine(engine.get());
        dialog = std::make_unique<TfmConnect>(main);
    }
    void TearDown() override
    {
        dialog.reset();
        engine.reset();
        ClearComPortMap();
    }

    // Picks an entry of the port list with the keyboard, as a user would.
    void PickPort(int port)
    {
        dialog->cbCommPort->setFocus();
        while (dialog->cbCommPort->currentIndex() < port - 1)
            QTest::keyClick(dialog->cbCommPort, Qt::Key_Down);
        while (dialog->cbCommPort->currentIndex() > port - 1)
            QTest::keyClick(dialog->cbCommPort, Qt::Key_Up);
    }

    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    THeadlessHost host{errorLog};
    std::unique_ptr<TSerialThread> engine;
    TFakeMainWindow main;
    std::unique_ptr<TfmConnect> dialog;
};

TEST_F(TfmConnectTest, VelloAndCommPort12_SelectsCom12At19200_OstraSelectsUsbAndGreysPorts)
{
    dialog->show();
    EXPECT_TRUE(engine->IsUsbMode());
    EXPECT_FALSE(dialog->cbCommPort->isEnabled());

    QTest::mouseClick(dialog->rbVello, Qt::LeftButton);
    EXPECT_TRUE(dialog->cbCommPort->isEnabled());
    EXPECT_TRUE(dialog->lblCommPort->isEnabled());
    EXPECT_FALSE(engine->IsUsbMode());
    EXPECT_EQ(engine->Comms()->ComPort(), 1);

    PickPort(12);
    EXPECT_FALSE(engine->IsUsbMode());
    EXPECT_EQ(engine->Comms()->ComPort(), 12);
    EXPECT_EQ(engine->Comms()->BaudRate(), 19200);

    QTest::mouseClick(dialog->rbOstra, Qt::LeftButton);
    EXPECT_TRUE(engine->IsUsbMode());
    EXPECT_FALSE(dialog->cbCommPort->isEnabled());
    EXPECT_FALSE(dialog->lblCommPort->isEnabled());
}

TEST_F(TfmConnectTest, Connect_LocksChoicesStartsEngine_ReshowUnlocksAndKeepsComMode)
{
    // A port whose device is missing: the attempt fails harmlessly.
    MapComPort(16, "/nonexistent/zelvo-port");
    dialog->show();
    QTest::mouseClick(dialog->rbVello, Qt::LeftButton);
    PickPort(16);
    QTest::mouseClick(dialog->btnConnect, Qt::LeftButton);

    EXPECT_EQ(dialog->btnConnect->text(), "Connecting...");
    EXPECT_TRUE(dialog->btnConnect->isEnabled());
    EXPECT_FALSE(dialog->rgZelvoType->isEnabled());
    EXPECT_FALSE(dialog->cbCommPort->isEnabled());
    EXPECT_FALSE(dialog->lblCommPort->isEnabled());
    EXPECT_TRUE(engine->IsActive());
    // The attempt ends in a disconnected event (no such device).
    EXPECT_TRUE(zelvo::test::WaitFor([&] {
        engine->Poll();
        return host.DisconnectedCount() > 0;
    }));

    dialog->hide();
    dialog->show();
    EXPECT_EQ(dialog->btnConnect->text(), "Connect");
    EXPECT_TRUE(dialog->rgZelvoType->isEnabled());
    EXPECT_TRUE(dialog->cbCommPort->isEnabled());
    EXPECT_TRUE(dialog->lblCommPort->isEnabled());
}

TEST_F(TfmConnectTest, Captions_AndCentring_DesktopFirstThenMainWindow)
{
    dialog->show();
    EXPECT_EQ(dialog->windowTitle(), "Connect to Zelvo");
    EXPECT_EQ(dialog->rgZelvoType->title(), "Zelvo type");
    EXPECT_EQ(dialog->cbCommPort->count(), 16);
    const QRect desk = dialog->screen()->geometry();
    const QRect first = dialog->frameGeometry();
    EXPECT_EQ(first.left(), desk.left() + desk.width() / 2 - first.width() / 2);
    EXPECT_EQ(first.top(), desk.top() + desk.height() / 2 - first.height() / 2);

    dialog->hide();
    main.MainWidget()->move(40, 30);
    dialog->show();
    const QRect m = main.MainWidget()->frameGeometry();
    const QRect own = dialog->frameGeometry();
    EXPECT_EQ(own.left(), m.left() + m.width() / 2 - own.width() / 2);
    EXPECT_EQ(own.top(), m.top() + m.height() / 2 - own.height() / 2);
}

TEST_F(TfmConnectTest, PortEntries_NameTheirDeviceAndMarkMissingOnes)
{
    const QString present = QString::fromStdString(zelvo::test::TempDir() + "/ttyFake");
    QFile file(present);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    MapComPort(12, present.toStdString());
    MapComPort(13, "/nonexistent/ttyGone");

    EXPECT_EQ(TfmConnect::PortEntryText(12), "Comm Port 12 (" + present + ")");
    EXPECT_EQ(TfmConnect::PortEntryText(13), "Comm Port 13 (/nonexistent/ttyGone, missing)");
    // Devices under /dev are named without that folder.
    EXPECT_TRUE(TfmConnect::PortEntryText(3).startsWith("Comm Port 3 (ttyS2"));
    MapComPort(14, "/dev/pts/77");
    EXPECT_EQ(TfmConnect::PortEntryText(14), "Comm Port 14 (pts/77, missing)");

    // The list picks the mapping up when shown; the entry still means port 12.
    dialog->show();
    EXPECT_EQ(dialog->cbCommPort->itemText(11), "Comm Port 12");
    EXPECT_EQ(dialog->cbCommPort->itemData(11, TfmConnect::EntryRole).toString(),
              "Comm Port 12 (" + present + ")");
    QTest::mouseClick(dialog->rbVello, Qt::LeftButton);
    PickPort(12);
    EXPECT_EQ(engine->Comms()->ComPort(), 12);
}

// What assistive technology does to a button: its own action, no mouse.
void DoAccessibleAction(QWidget *w, const QString &action)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(iface, nullptr);
    QAccessibleActionInterface *actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(action))
        << actions->actionNames().join(',').toStdString();
    actions->doAction(action);
}

TEST_F(TfmConnectTest, AccessibleToggleAndKeyboard_ActLikeAClick_EnterConnects)
{
    MapComPort(5, "/nonexistent/zelvo-port");
    dialog->show();
    DoAccessibleAction(dialog->rbVello, QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(dialog->rbVello->isChecked());
    EXPECT_TRUE(dialog->cbCommPort->isEnabled());
    EXPECT_TRUE(dialog->lblCommPort->isEnabled());
    EXPECT_FALSE(engine->IsUsbMode());

    // A selection made without the mouse (keyboard, or an assistive
    // technology's selection) reaches the engine too.
    dialog->cbCommPort->setCurrentIndex(4);
    EXPECT_EQ(engine->Comms()->ComPort(), 5);

    DoAccessibleAction(dialog->rbOstra, QAccessibleActionInterface::toggleAction());
    EXPECT_TRUE(engine->IsUsbMode());
    EXPECT_FALSE(dialog->cbCommPort->isEnabled());
    // A change of the greyed list by code leaves the USB bridge chosen.
    dialog->cbCommPort->setCurrentIndex(2);
    EXPECT_TRUE(engine->IsUsbMode());

    // The arrow keys move between the two models.
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    dialog->rbOstra->setFocus();
    QTest::keyClick(dialog->rbOstra, Qt::Key_Right);
    EXPECT_TRUE(dialog->rbVello->isChecked());
    EXPECT_FALSE(engine->IsUsbMode());
    dialog->cbCommPort->setCurrentIndex(4);

    // Enter is Connect, wherever the focus is.
    EXPECT_TRUE(dialog->btnConnect->isDefault());
    QTest::keyClick(dialog->cbCommPort, Qt::Key_Return);
    EXPECT_EQ(dialog->btnConnect->text(), "Connecting...");
    EXPECT_TRUE(engine->IsActive());
    EXPECT_TRUE(zelvo::test::WaitFor([&] {
        engine->Poll();
        return host.DisconnectedCount() > 0;
    }));
}

TEST_F(TfmConnectTest, AccessibleConnectButton_PressStartsTheConnection_PortListNamed)
{
    MapComPort(1, "/nonexistent/zelvo-port");
    dialog->show();
    EXPECT_EQ(dialog->cbCommPort->accessibleName(), "Comm Port");
    DoAccessibleAction(dialog->btnConnect, QAccessibleActionInterface::pressAction());
    // The press is animated: it lands a moment later.
    EXPECT_TRUE(
        zelvo::test::WaitFor([&] { return dialog->btnConnect->text() == "Connecting..."; }));
    EXPECT_FALSE(dialog->rgZelvoType->isEnabled());
    EXPECT_TRUE(zelvo::test::WaitFor([&] {
        engine->Poll();
        return host.DisconnectedCount() > 0;
    }));
}

} // namespace

TEST_F(TfmConnectTest, Preselect_OpensOnTheSimulatedModelAndPort_ConnectUsesThem)
{
    // --simulate vello: the dialog starts on VELLO and COM port 1, so a new
    // user who just presses Connect reaches the simulated unit.
    dialog->Preselect(false, 1);
    dialog->show();
    EXPECT_TRUE(dialog->rbVello->isChecked());
    EXPECT_TRUE(dialog->cbCommPort->isEnabled());
    EXPECT_EQ(dialog->cbCommPort->currentIndex(), 0);
    EXPECT_FALSE(engine->IsUsbMode());
    EXPECT_EQ(engine->Comms()->ComPort(), 1);
    dialog->hide();

    // --simulate ostra: the USB bridge the link already looks for.
    const std::string bridge = engine->Comms()->BrandName();
    dialog->Preselect(true, 1);
    dialog->show();
    EXPECT_TRUE(dialog->rbOstra->isChecked());
    EXPECT_FALSE(dialog->cbCommPort->isEnabled());
    EXPECT_TRUE(engine->IsUsbMode());
    EXPECT_EQ(engine->Comms()->BrandName(), bridge);
}
