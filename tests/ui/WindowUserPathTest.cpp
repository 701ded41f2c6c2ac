// The whole user path through the real window with the real dialogs, against
// the unit simulator on a pseudo-terminal (or its USB bridge), offscreen, with
// shrunk pacing: connect dialog, logon, load the I/O configuration, edit one
// record, upload, and see the change come back from the server.

#include "ui/Fm_main.h"

#include "common/Branding.h"
#include "common/Errormanager.h"
#include "engine/Serialthread.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "ui/Dialogs.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_working.h"
#include "ui/Treelistview.h"
#include "unit/Zelvo.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>

namespace
{

using namespace std::chrono_literals;
using zelvo::test::WaitFor;

constexpr int kComPort = 9;

class WindowUserPath : public ::testing::TestWithParam<zsim::Model>
{
protected:
    void SetUp() override
    {
        pacing = TPacing::Shrunk(25);
        // Generous frame time-outs: they cost time only when a unit is silent.
        pacing.UsbFrameTimeout = 3000ms;
        pacing.ComFrameTimeout = 3000ms;
        zsim::Options o;
        o.model = GetParam();
        o.sfStepMs = static_cast<int>(pacing.WorkerStep.count());
        o.applyResetMs = 100;
        sim = std::make_unique<zsim::UnitSimulator>(o);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        if (GetParam() == zsim::Model::Ostra)
            Ftd2xx::RegisterVirtualBridge(Branding::BrandName, sim->SlavePath());
        else
            MapComPort(kComPort, sim->SlavePath());

        form = std::make_unique<TForm1>(
            errorLog, pacing, QString::fromStdString(zelvo::test::SourcePath("data/networks.xml")),
            [this](const QString &text, int) { messages << text; });
        dialogs = CreateDialogs(*form);
        form->SetDialogs(dialogs.get());
        real = dynamic_cast<TDialogs *>(dialogs.get());
        ASSERT_NE(real, nullptr);

        // Whatever happens, no modal dialog outlives the test's deadline: the
        // test body cannot return while one is open. Inside the label's
        // 120 s time-out, so a stuck dialog fails the test, not ctest's kill.
        QObject::connect(&guard, &QTimer::timeout, [this] {
            guardFired = true;
            while (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        guard.setSingleShot(true);
        guard.start(75000);
    }

    void TearDown() override
    {
        guard.stop();
        EXPECT_FALSE(guardFired) << "a dialog was still open at the test's deadline";
        if (form)
            form->SetDialogs(nullptr);
        dialogs.reset();
        form.reset();
        sim.reset();
        Ftd2xx::ClearVirtualBridges();
        ClearComPortMap();
    }

    // Arms `drive` to run once, as soon as `dialog` is the active modal
    // widget; it runs inside the dialog's own event loop.
    void WhenModal(QWidget *dialog, std::function<void()> drive)
    {
        auto *driver = new QTimer(form.get());
        QObject::connect(driver, &QTimer::timeout, [dialog, driver, drive = std::move(drive)] {
            if (QApplication::activeModalWidget() != dialog || !dialog->isVisible())
                return;
            driver->stop();
            driver->deleteLater();
            drive();
        });
        driver->start(5);
    }

    bool Settled() const
    {
        const TSerialThread *e = form->Engine();
        return e->LinkState() == LINK_LIVE && e->JobCode() == 0 && !e->IsBusy() &&
               !form->IsWorkingShown();
    }

    std::string Diagnostics() const
    {
        return "link state " + std::to_string(form->Engine()->LinkState()) +
               "\nmessages: " + messages.join(QStringLiteral(" | ")).toStdString();
    }

    void PickDown(QComboBox *combo, int steps)
    {
        combo->setFocus();
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
    }

    // Shows the window; its connect dialog comes up on top, the model and
    // port are chosen and Connect pressed; the connection's chain runs.
    void ShowAndConnect()
    {
        TfmConnect *dlg = real->Connect();
        bool driven = false;
        WhenModal(dlg, [&] {
            driven = true;
            if (GetParam() == zsim::Model::Ostra) {
                QTest::mouseClick(dlg->rbOstra, Qt::LeftButton);
            } else {
                QTest::mouseClick(dlg->rbVello, Qt::LeftButton);
                PickDown(dlg->cbCommPort, kComPort - 1);
            }
            QTest::mouseClick(dlg->btnConnect, Qt::LeftButton);
        });
        form->show();
        ASSERT_TRUE(WaitFor([&] { return form->IsConnected() && Settled(); }, 30s))
            << Diagnostics();
        EXPECT_TRUE(driven);
        EXPECT_FALSE(dlg->isVisible());
    }

    // Opens a menu of the menu bar and clicks one of its items, with the mouse.
    void ClickMenuItem(QMenu *menu, QAction *item)
    {
        QMenuBar *bar = form->menuBar();
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(WaitFor([&] { return menu->isVisible(); }, 5s));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    // Menu Logon, the account's e-mail and `password` typed, Enter. A refused
    // logon leaves the dialog open in its failure state: it is then closed.
    void LogOnWithMenu(const QString &password)
    {
        TfmLogon *dlg = real->Logon();
        bool driven = false;
        WhenModal(dlg, [&] {
            driven = true;
            dlg->edEmailAddress->setFocus();
            dlg->edEmailAddress->selectAll();
            QTest::keyClicks(dlg->edEmailAddress, "installer@zelvo.example");
            dlg->edPassword->setFocus();
            dlg->edPassword->selectAll();
            QTest::keyClicks(dlg->edPassword, password);
            QTest::keyClick(dlg->edPassword, Qt::Key_Return);
        });
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (dlg->isVisible() && dlg->lblUserMessage->text() == "Logon failed." &&
                dlg->btnLogin->isEnabled()) {
                sawLogonFailed = true;
                dlg->reject();
            }
        });
        watch.start(10);
        ClickMenuItem(form->mnuBrand, form->LogonItem());
        ASSERT_TRUE(WaitFor([&] { return driven && !dlg->isVisible() && Settled(); }, 30s))
            << Diagnostics();
    }

    // The IO Configuration page, then Load; waits for the chain.
    void LoadIOConfiguration()
    {
        QTabBar *tabs = form->PageControl1->tabBar();
        const int index = form->PageControl1->indexOf(form->tabIOConfiguration);
        ASSERT_TRUE(WaitFor([&] { return tabs->isTabEnabled(index); }, 10s));
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(index).center());
        ASSERT_EQ(form->PageControl1->currentWidget(), form->tabIOConfiguration);
        ASSERT_TRUE(WaitFor([&] { return Settled(); }, 30s)) << Diagnostics();
        QTest::mouseClick(form->btnActivateIOConfiguration, Qt::LeftButton);
        ASSERT_TRUE(
            WaitFor([&] { return form->Engine()->IsBusy() || form->IsWorkingShown(); }, 20s));
        ASSERT_TRUE(WaitFor([&] { return Settled(); }, 30s)) << Diagnostics();
        ASSERT_GT(form->lvIOConfig->topLevelItemCount(), 0);
    }

    TServerSideIO *FirstInput()
    {
        TServerSideIOs &ios = form->Engine()->Unit()->ServerSideIOs();
        for (int i = 0; i < ios.Count(); ++i)
            if (ios.Item(i)->Tag().contains("IN") && ios.Item(i)->ConfigItem() != nullptr)
                return ios.Item(i);
        return nullptr;
    }

    void DoubleClick(TServerSideIO *record)
    {
        QTreeWidget *view = form->lvIOConfig;
        QTreeWidgetItem *item = TTreeListView::Item(record->ConfigItem());
        ASSERT_NE(item, nullptr);
        view->scrollToItem(item);
        const QRect rect = view->visualItemRect(item);
        ASSERT_TRUE(rect.isValid());
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }

    TPacing pacing;
    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    std::unique_ptr<zsim::UnitSimulator> sim;
    std::unique_ptr<TForm1> form;
    std::unique_ptr<TDialogSeam> dialogs;
    TDialogs *real = nullptr;
    QStringList messages;
    QTimer guard;
    bool guardFired = false;
    bool sawLogonFailed = false;
};

TEST_P(WindowUserPath, ConnectLogonLoadEditSave_ChangeComesBackFromServer)
{
    ASSERT_NO_FATAL_FAILURE(ShowAndConnect());
    ASSERT_NO_FATAL_FAILURE(LogOnWithMenu("commission"));
    ASSERT_TRUE(form->IsLoggedOn()) << Diagnostics();
    EXPECT_FALSE(sawLogonFailed);
    ASSERT_NO_FATAL_FAILURE(LoadIOConfiguration());

    TServerSideIO *record = FirstInput();
    ASSERT_NE(record, nullptr);
    const std::int32_t id = record->IOID();
    const std::uint8_t typeBefore = record->InputTypeID();

    TfmEditIO *dlg = real->EditDialog();
    int chosenMode = -1;
    bool edited = false;
    WhenModal(dlg, [&] {
        edited = true;
        dlg->edFriendlyName->setFocus();
        dlg->edFriendlyName->selectAll();
        QTest::keyClicks(dlg->edFriendlyName, "Pump house inlet");
        // Another input type, then another UOM when the type offers several.
        if (dlg->cbIOType->isEnabled() && dlg->cbIOType->count() > 1) {
            const bool last = dlg->cbIOType->currentIndex() + 1 >= dlg->cbIOType->count();
            dlg->cbIOType->setFocus();
            QTest::keyClick(dlg->cbIOType, last ? Qt::Key_Up : Qt::Key_Down);
        }
        if (dlg->cbUOM->isEnabled())
            PickDown(dlg->cbUOM, 1);
        // A mode that reads back as itself ("Display Only" and "Log Only" come
        // back from the server as "No Log").
        chosenMode = record->LoggingMode() == LOG_NONE ? LOG_LOG_AND_DISPLAY : LOG_NONE;
        QTest::mouseClick(dlg->LoggingGroup->button(chosenMode), Qt::LeftButton);
        QTest::mouseClick(dlg->btnSave, Qt::LeftButton);
    });
    ASSERT_NO_FATAL_FAILURE(DoubleClick(record));
    ASSERT_TRUE(WaitFor([&] { return edited && !dlg->isVisible(); }, 30s));
    ASSERT_TRUE(record->Changed());
    EXPECT_EQ(record->FriendlyName(), "Pump house inlet");
    EXPECT_NE(record->InputTypeID(), typeBefore);
    const std::uint8_t type = record->InputTypeID();
    const std::int32_t uom = record->UOMID();

    // The window's Save: the write chain, which re-reads the configuration.
    QTest::mouseClick(form->btnUploadIOConfiguration, Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return form->Engine()->IsBusy() || form->IsWorkingShown(); }, 20s));
    ASSERT_TRUE(WaitFor([&] { return Settled() && !form->Engine()->ReloadAfterWrite(); }, 30s))
        << Diagnostics();

    bool onServer = false;
    for (const auto &r : sim->IoConfiguration())
        if (r.id == id) {
            onServer = true;
            EXPECT_EQ(r.name, "Pump house inlet");
            EXPECT_EQ(r.inputType, type);
            EXPECT_EQ(r.uomId, uom);
            EXPECT_EQ(r.loggingFlags, TServerSideIO::EncodeLoggingFlags(chosenMode));
        }
    EXPECT_TRUE(onServer);
    TServerSideIO *reread = form->Engine()->Unit()->ServerSideIOs().FindByIOID(id);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->FriendlyName(), "Pump house inlet");
    EXPECT_EQ(reread->InputTypeID(), type);
    EXPECT_EQ(reread->UOMID(), uom);
    EXPECT_EQ(reread->LoggingMode(), chosenMode);
    EXPECT_FALSE(reread->Changed());
    // The list on the page shows the re-read name.
    ASSERT_NE(reread->ConfigItem(), nullptr);
    EXPECT_TRUE(form->lvIOConfig->findItems("Pump house inlet", Qt::MatchContains, 1).size() +
                    form->lvIOConfig->findItems("Pump house inlet", Qt::MatchContains, 0).size() >
                0);
}

TEST_P(WindowUserPath, WrongPassword_LogonFailedShown_DoubleClickOpensLogonNotEditor)
{
    ASSERT_NO_FATAL_FAILURE(ShowAndConnect());
    ASSERT_NO_FATAL_FAILURE(LoadIOConfiguration());
    ASSERT_NO_FATAL_FAILURE(LogOnWithMenu("wrong"));
    EXPECT_TRUE(sawLogonFailed);
    EXPECT_FALSE(form->IsLoggedOn());
    EXPECT_EQ(real->Logon()->lblUserMessage->text(), "Logon failed.");

    TServerSideIO *record = FirstInput();
    ASSERT_NE(record, nullptr);
    TfmLogon *logon = real->Logon();
    // Whichever dialog the double-click opens is recorded and closed at once,
    // so a wrong one fails the test without waiting for the guard.
    QWidget *opened = nullptr;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget *w = QApplication::activeModalWidget();
        if (opened == nullptr && w != nullptr && w->isVisible()) {
            opened = w;
            w->close();
        }
    });
    closer.start(5);
    ASSERT_NO_FATAL_FAILURE(DoubleClick(record));
    ASSERT_TRUE(WaitFor([&] { return opened != nullptr && !opened->isVisible(); }, 30s));
    EXPECT_EQ(opened, logon);
    EXPECT_FALSE(real->EditDialog()->isVisible());
    EXPECT_FALSE(record->Changed());
}

// What assistive technology does to a button: its press action, no mouse.
void PressAccessibly(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(iface, nullptr);
    QAccessibleActionInterface *actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    actions->doAction(QAccessibleActionInterface::pressAction());
}

TEST_P(WindowUserPath, UnitStuck_CancelByAccessiblePressThenEsc_WindowUsable_LinkStaysOpen)
{
    ASSERT_NO_FATAL_FAILURE(ShowAndConnect());
    QTabBar *tabs = form->PageControl1->tabBar();
    const int page = form->PageControl1->indexOf(form->tabIOConfiguration);
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
    ASSERT_EQ(form->PageControl1->currentWidget(), form->tabIOConfiguration);
    TfmWorking *working = real->Working();
    ASSERT_TRUE(sim->AddFault("sf-stuck=SF_CONNECTING"));

    const std::function<void()> cancels[] = {
        [&] { PressAccessibly(working->btnCancel); },
        [&] { QTest::keyClick(working, Qt::Key_Escape); },
    };
    for (const auto &cancel : cancels) {
        ASSERT_TRUE(WaitFor([&] { return form->btnActivateIOConfiguration->isEnabled(); }, 10s));
        QTest::mouseClick(form->btnActivateIOConfiguration, Qt::LeftButton);
        // The job waits on the stuck unit, behind the progress dialog.
        ASSERT_TRUE(WaitFor(
            [&] {
                return working->isVisible() && form->Engine()->StoreForwardState() == SF_CONNECTING;
            },
            20s))
            << Diagnostics();
        EXPECT_FALSE(form->centralWidget()->isEnabled());
        EXPECT_TRUE(working->btnCancel->isEnabled());
        cancel();
        ASSERT_TRUE(WaitFor([&] { return !working->isVisible() && Settled(); }, 20s))
            << Diagnostics();
        EXPECT_TRUE(form->IsConnected());
        EXPECT_TRUE(form->centralWidget()->isEnabled());
        EXPECT_TRUE(form->menuBar()->isEnabled());
        // Nothing was loaded, so Load is offered again.
        EXPECT_TRUE(form->btnActivateIOConfiguration->isEnabled());
        EXPECT_EQ(form->lblStatusIOConfiguration->text(), "IO Configuration: No");
        EXPECT_TRUE(
            form->ErrorLogMemo->toPlainText().contains("Job cancelled: Zelvo asked to go idle"));
        // No message box: the user asked for it.
        EXPECT_TRUE(messages.isEmpty()) << Diagnostics();
    }
    EXPECT_EQ(sim->SfState(), SF_CONNECTING);

    // The link is still open: once the unit moves again, Load works.
    sim->ClearFaults();
    sim->SetSfState(SF_IDLE);
    ASSERT_NO_FATAL_FAILURE(LoadIOConfiguration());
    EXPECT_EQ(form->lblStatusIOConfiguration->text(), "IO Configuration: Yes");
    EXPECT_TRUE(messages.isEmpty()) << Diagnostics();
}

TEST_P(WindowUserPath, LogonToStuckUnit_ProgressOverLogonDialog_EscCancels_LogonUsableAgain)
{
    ASSERT_NO_FATAL_FAILURE(ShowAndConnect());
    ASSERT_TRUE(sim->AddFault("sf-stuck=SF_CONNECTING"));
    TfmLogon *logon = real->Logon();
    TfmWorking *working = real->Working();
    bool cancelled = false;
    WhenModal(logon, [&] {
        logon->edEmailAddress->setFocus();
        QTest::keyClicks(logon->edEmailAddress, "installer@zelvo.example");
        logon->edPassword->setFocus();
        QTest::keyClicks(logon->edPassword, "commission");
        QTest::keyClick(logon->edPassword, Qt::Key_Return);
    });
    // Over the modal logon dialog the progress dialog is the one that takes
    // input; Esc there cancels the logon before it reaches the server.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (cancelled || !working->isVisible() ||
            form->Engine()->StoreForwardState() != SF_CONNECTING)
            return;
        cancelled = true;
        EXPECT_EQ(QApplication::activeModalWidget(), working);
        QTest::keyClick(working, Qt::Key_Escape);
    });
    watch.start(10);
    // Closes the logon dialog once it is usable again.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (cancelled && !working->isVisible() && logon->isVisible() &&
            logon->btnLogin->isEnabled()) {
            EXPECT_EQ(logon->lblUserMessage->text(), "Logon cancelled.");
            EXPECT_EQ(logon->btnLogin->text(), "Login");
            logon->reject();
        }
    });
    closer.start(10);
    ClickMenuItem(form->mnuBrand, form->LogonItem());
    ASSERT_TRUE(WaitFor([&] { return cancelled && !logon->isVisible() && Settled(); }, 30s))
        << Diagnostics();
    EXPECT_FALSE(form->IsLoggedOn());
    EXPECT_TRUE(form->IsConnected());
    EXPECT_TRUE(form->centralWidget()->isEnabled());
    // The logon never reached the server.
    for (const auto &m : sim->ServerMessages())
        EXPECT_NE(m.type, MSG_LOGON);
    EXPECT_TRUE(messages.isEmpty()) << Diagnostics();
}

INSTANTIATE_TEST_SUITE_P(Models, WindowUserPath,
                         ::testing::Values(zsim::Model::Vello, zsim::Model::Ostra),
                         [](const ::testing::TestParamInfo<zsim::Model> &info) {
                             return info.param == zsim::Model::Vello ? std::string("Vello")
                                                                     : std::string("Ostra");
                         });

} // namespace
