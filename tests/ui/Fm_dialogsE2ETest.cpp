// The dialogs with a real job engine against the in-process unit simulator,
// driven with clicks and keys, behind a small stand-in for the main window
// that does what the window does for them (poll, logon job, edit hooks).

#include "ui/Dialogs.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_working.h"
#include "ui/Treelistview.h"

#include "common/Errormanager.h"
#include "engine/Enginehost.h"
#include "engine/Serialthread.h"
#include "frontend/Session.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "unit/Zelvo.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <sstream>

namespace
{

using namespace std::chrono_literals;
using zelvo::test::WaitFor;

constexpr int kComPort = 12;

class TStandInWindow : public TMainWindowSeam, public TEngineHost
{
public:
    explicit TStandInWindow(const TPacing &pacing)
    {
        widget.setGeometry(60, 40, 674, 407);
        lvIOs = new QTreeWidget(&widget);
        lvIOConfig = new QTreeWidget(&widget);
        lvExternalIO = new QTreeWidget(&widget);
        lvIOConfig->setGeometry(0, 0, 674, 407);
        lvIOs->hide();
        lvExternalIO->hide();
        engine = std::make_unique<TSerialThread>(this, pacing);
        engine->AttachListViews(new TTreeListView(lvIOs), new TTreeListView(lvIOConfig),
                                new TTreeListView(lvExternalIO));
        dialogs = std::make_unique<TDialogs>(*this, QString::fromStdString(zelvo::test::SourcePath(
                                                        "data/Images/working_generic.avi")));
        TServerSideIOs::TEditHooks hooks;
        hooks.IsLoggedOn = [this] { return loggedOn; };
        hooks.EditIO = [this](TServerSideIO *record, TZelvo *unit) {
            ++editsOpened;
            dialogs->EditIO(record, unit);
        };
        hooks.Logon = [this] {
            ++logonsOpened;
            dialogs->ShowLogon();
        };
        engine->Unit()->ServerSideIOs().SetEditHooks(hooks);
        QObject::connect(&poll, &QTimer::timeout, [this] { Poll(); });
        poll.start(20);
        widget.show();
    }
    ~TStandInWindow() override
    {
        poll.stop();
        dialogs.reset();
        engine.reset();
    }

    void Poll()
    {
        engine->Poll();
        if (engine->IsBusy()) {
            dialogs->ShowWorking();
            if (dialogs->Working()->isVisible())
                sawWorking = true;
        } else {
            dialogs->CloseWorking();
        }
    }

    // TMainWindowSeam
    QWidget *MainWidget() override { return &widget; }
    TSerialThread *Engine() override { return engine.get(); }
    bool RequestLogon(const std::string &email, const std::string &password) override
    {
        return TSession(*engine).PostLogon(email, password);
    }
    TCancelOutcome CancelJob() override { return engine->RequestCancel(); }

    // TEngineHost
    TErrorManager &ErrorLog() override { return errorLog; }
    void OnConnected() override
    {
        connected = true;
        dialogs->CloseConnect();
    }
    void OnDisconnected() override
    {
        connected = false;
        dialogs->CloseConnect();
    }
    void ShowConnectionSettings(const TConnectionSettings &, bool) override {}
    void SetTabsEnabled(bool) override {}
    bool IsLoggedOn() const override { return loggedOn; }
    void LogonResult(bool accepted) override
    {
        loggedOn = accepted;
        if (accepted)
            dialogs->LogonSucceeded();
        else
            dialogs->LogonFailed();
    }
    TLiveList ShownLiveList() const override { return LIVE_LIST_NONE; }

    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    QWidget widget;
    QTreeWidget *lvIOs;
    QTreeWidget *lvIOConfig;
    QTreeWidget *lvExternalIO;
    std::unique_ptr<TSerialThread> engine;
    std::unique_ptr<TDialogs> dialogs;
    QTimer poll;
    bool connected = false;
    bool loggedOn = false;
    bool sawWorking = false;
    int editsOpened = 0;
    int logonsOpened = 0;
};

class DialogsE2E : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pacing = TPacing::Shrunk(25);
        pacing.UsbFrameTimeout = 3000ms;
        pacing.ComFrameTimeout = 3000ms;
        zsim::Options o;
        o.model = zsim::Model::Vello;
        o.sfStepMs = static_cast<int>(pacing.WorkerStep.count());
        o.applyResetMs = 100;
        o.trace = true;
        o.traceOut = &trace;
        sim = std::make_unique<zsim::UnitSimulator>(o);
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        MapComPort(kComPort, sim->SlavePath());
        window = std::make_unique<TStandInWindow>(pacing);
    }
    void TearDown() override
    {
        window.reset();
        sim.reset();
        ClearComPortMap();
    }

    // Runs `show` (a modal dialog) with `drive` started inside its loop; a
    // dialog still open after the deadline is closed and the test fails.
    void Modal(const std::function<void()> &drive, const std::function<void()> &show,
               std::chrono::milliseconds deadline = 60s)
    {
        bool timedOut = false;
        bool driven = false;
        // Drives the dialog once it is up; local, so it never outlives this call.
        QTimer driver;
        QObject::connect(&driver, &QTimer::timeout, [&] {
            if (driven || QApplication::activeModalWidget() == nullptr)
                return;
            driven = true;
            drive();
        });
        driver.start(5);
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            timedOut = true;
            while (QWidget *w = QApplication::activeModalWidget())
                w->close();
        });
        guard.start(static_cast<int>(deadline.count()));
        show();
        EXPECT_TRUE(driven) << "no dialog came up";
        EXPECT_FALSE(timedOut) << "a dialog was still open at the deadline";
    }

    void PickDown(QComboBox *combo, int steps)
    {
        combo->setFocus();
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
    }

    void ConnectAsVello()
    {
        TfmConnect *dlg = window->dialogs->Connect();
        Modal(
            [&] {
                QTest::mouseClick(dlg->rbVello, Qt::LeftButton);
                PickDown(dlg->cbCommPort, kComPort - 1);
                QTest::mouseClick(dlg->btnConnect, Qt::LeftButton);
            },
            [&] { window->dialogs->ShowConnect(); });
        ASSERT_TRUE(window->connected);
        EXPECT_EQ(window->engine->Comms()->ComPort(), kComPort);
    }

    bool Settled()
    {
        TSerialThread *e = window->engine.get();
        return e->LinkState() == LINK_LIVE && e->JobCode() == 0 && !e->IsBusy();
    }

    void RunJob(TMessageType code)
    {
        TSerialThread *e = window->engine.get();
        TSession(*e).PostJob(code);
        ASSERT_TRUE(WaitFor([&] { return e->IsBusy(); }, 20s));
        ASSERT_TRUE(WaitFor([&] { return Settled(); }, 60s));
        // The window's next poll closes the progress dialog.
        ASSERT_TRUE(WaitFor([&] { return !window->dialogs->Working()->isVisible(); }));
    }

    // Logs on with the dialog, typing the password and pressing Enter; a
    // refused logon leaves the dialog open, which is then closed.
    void LogOn(const QString &password)
    {
        TfmLogon *dlg = window->dialogs->Logon();
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (dlg->isVisible() && dlg->lblUserMessage->text() == "Logon failed." &&
                dlg->btnLogin->isEnabled())
                dlg->reject();
        });
        watch.start(20);
        Modal(
            [&] {
                dlg->edEmailAddress->setText("installer@zelvo.example");
                dlg->edPassword->clear();
                dlg->edPassword->setFocus();
                QTest::keyClicks(dlg->edPassword, password);
                QTest::keyClick(dlg->edPassword, Qt::Key_Return);
            },
            [&] { window->dialogs->ShowLogon(); });
        // The dialog closes as soon as the server has answered; the logon job
        // still lets the unit log off. A window is disabled until then, so the
        // next job is posted only once the engine has settled, as a user could.
        ASSERT_TRUE(WaitFor([&] { return Settled(); }, 60s));
    }

    TServerSideIO *FirstInput()
    {
        TServerSideIOs &ios = window->engine->Unit()->ServerSideIOs();
        for (int i = 0; i < ios.Count(); ++i)
            if (ios.Item(i)->Tag().contains("IN") && ios.Item(i)->ConfigItem() != nullptr)
                return ios.Item(i);
        return nullptr;
    }

    void DoubleClick(TServerSideIO *record)
    {
        QTreeWidget *view = window->lvIOConfig;
        QTreeWidgetItem *item = TTreeListView::Item(record->ConfigItem());
        ASSERT_NE(item, nullptr);
        view->scrollToItem(item);
        const QRect rect = view->visualItemRect(item);
        ASSERT_TRUE(rect.isValid());
        // A click selects the row, the double-click opens it.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
        ASSERT_TRUE(item->isSelected());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    }

    std::ostringstream trace;
    TPacing pacing = TPacing::Shrunk(25);
    std::unique_ptr<zsim::UnitSimulator> sim;
    std::unique_ptr<TStandInWindow> window;
};

TEST_F(DialogsE2E, ConnectLogonEditSaveUpload_ChangeComesBackFromServer)
{
    ConnectAsVello();
    LogOn("commission");
    ASSERT_TRUE(window->loggedOn);
    EXPECT_FALSE(window->dialogs->Logon()->isVisible());

    RunJob(MSG_READ_IO_CONFIG);
    EXPECT_TRUE(window->sawWorking);
    EXPECT_FALSE(window->dialogs->Working()->isVisible());
    TServerSideIO *record = FirstInput();
    ASSERT_NE(record, nullptr);
    const std::int32_t id = record->IOID();
    const std::uint8_t typeBefore = record->InputTypeID();

    TfmEditIO *dlg = window->dialogs->EditDialog();
    int chosenMode = -1;
    Modal(
        [&] {
            ASSERT_TRUE(dlg->isVisible());
            dlg->edFriendlyName->selectAll();
            QTest::keyClicks(dlg->edFriendlyName, "Pump house inlet");
            // Another input type, then another UOM when the type offers several.
            if (dlg->cbIOType->isEnabled() && dlg->cbIOType->count() > 1) {
                dlg->cbIOType->setFocus();
                const bool last = dlg->cbIOType->currentIndex() + 1 >= dlg->cbIOType->count();
                QTest::keyClick(dlg->cbIOType, last ? Qt::Key_Up : Qt::Key_Down);
            }
            if (dlg->cbUOM->isEnabled())
                PickDown(dlg->cbUOM, 1);
            chosenMode =
                record->LoggingMode() == LOG_LOG_AND_DISPLAY ? LOG_LOG_ONLY : LOG_LOG_AND_DISPLAY;
            QTest::mouseClick(dlg->LoggingGroup->button(chosenMode), Qt::LeftButton);
            QTest::mouseClick(dlg->btnSave, Qt::LeftButton);
        },
        [&] { DoubleClick(record); });
    ASSERT_EQ(window->editsOpened, 1);
    ASSERT_TRUE(record->Changed());
    EXPECT_NE(record->InputTypeID(), typeBefore);
    const std::uint8_t type = record->InputTypeID();
    const std::int32_t uom = record->UOMID();

    ASSERT_EQ(window->engine->PrepareIOConfigUpload(), UPLOAD_READY);
    RunJob(MSG_WRITE_IO_CONFIG);
    // The write chain re-reads the configuration; the server has the change.
    ASSERT_TRUE(WaitFor([&] { return Settled() && !window->engine->ReloadAfterWrite(); }, 60s));
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
    TServerSideIOs &ios = window->engine->Unit()->ServerSideIOs();
    TServerSideIO *reread = ios.FindByIOID(id);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(reread->FriendlyName(), "Pump house inlet");
    EXPECT_EQ(reread->InputTypeID(), type);
    EXPECT_EQ(reread->UOMID(), uom);
    EXPECT_FALSE(reread->Changed());
}

TEST_F(DialogsE2E, WrongPassword_LogonFailedShown_DoubleClickOpensLogonNotEdit)
{
    ConnectAsVello();
    RunJob(MSG_READ_IO_CONFIG);
    LogOn("wrong");
    EXPECT_FALSE(window->loggedOn);
    EXPECT_EQ(window->dialogs->Logon()->lblUserMessage->text(), "Logon failed.");
    EXPECT_TRUE(window->dialogs->Logon()->btnLogin->isEnabled());

    TServerSideIO *record = FirstInput();
    ASSERT_NE(record, nullptr);
    TfmLogon *logon = window->dialogs->Logon();
    Modal([&] { logon->reject(); }, [&] { DoubleClick(record); });
    EXPECT_EQ(window->logonsOpened, 1);
    EXPECT_EQ(window->editsOpened, 0);
    EXPECT_FALSE(record->Changed());
}

} // namespace
