// The main window driven as a user would, against the unit simulator on a
// pseudo-terminal, with shrunk pacing and a recording stand-in for the
// dialogs (no modal windows in tests).

#include "ui/Fm_main.h"

#include "common/Branding.h"
#include "common/Errormanager.h"
#include "engine/Serialthread.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "network/Gprsnetwork.h"
#include "protocol/Commands.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

namespace
{

using namespace std::chrono_literals;
using zelvo::test::WaitFor;

constexpr int kComPort = 7;

// Records what the window asks of its dialogs. The connect dialog's part is
// played by `Connect`: choose the port and start connecting, as its button
// does.
class TRecordingDialogs : public TDialogSeam
{
public:
    std::function<void()> Connect;
    int ConnectShown = 0, ConnectClosed = 0, LogonShown = 0, LogonOk = 0, LogonBad = 0;
    int WorkingShown = 0, WorkingClosed = 0, EditIOs = 0, AboutShown = 0, LogonCancels = 0;
    TCancelOutcome LastCancelState = CANCEL_NONE;

    void ShowConnect() override
    {
        ++ConnectShown;
        if (Connect)
            Connect();
    }
    void CloseConnect() override { ++ConnectClosed; }
    void ShowLogon() override { ++LogonShown; }
    void LogonSucceeded() override { ++LogonOk; }
    void LogonFailed() override { ++LogonBad; }
    void LogonCancelled() override { ++LogonCancels; }
    void ShowWorking() override { ++WorkingShown; }
    void CloseWorking() override { ++WorkingClosed; }
    void UpdateWorking(TCancelOutcome cancel) override { LastCancelState = cancel; }
    void EditIO(TServerSideIO *, TZelvo *) override { ++EditIOs; }
    void ShowAbout() override { ++AboutShown; }
};

TUnitSettingsBlock Block(const std::vector<std::uint8_t> &bytes)
{
    TUnitSettingsBlock block{};
    EXPECT_EQ(bytes.size(), sizeof block);
    std::memcpy(&block, bytes.data(), std::min(bytes.size(), sizeof block));
    return block;
}

class TForm1Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        pacing = TPacing::Shrunk(25);
        // Generous frame time-outs: they cost time only when a unit is
        // silent, and a loaded machine must not fail sound exchanges.
        pacing.UsbFrameTimeout = 3000ms;
        pacing.ComFrameTimeout = 3000ms;
    }

    void TearDown() override
    {
        form.reset();
        sims.clear();
        Ftd2xx::ClearVirtualBridges();
        ClearComPortMap();
    }

    // A simulated unit, reached as the model's link: OSTRA on the USB
    // bridge, VELLO on a COM port.
    zsim::UnitSimulator &StartSim(zsim::Model model)
    {
        zsim::Options o;
        o.model = model;
        o.sfStepMs = static_cast<int>(pacing.WorkerStep.count());
        o.applyResetMs = 100;
        auto sim = std::make_unique<zsim::UnitSimulator>(o);
        std::string error;
        EXPECT_TRUE(sim->Start(&error)) << error;
        if (model == zsim::Model::Ostra)
            Ftd2xx::RegisterVirtualBridge(Branding::BrandName, sim->SlavePath());
        else
            MapComPort(kComPort, sim->SlavePath());
        sims.push_back(std::move(sim));
        return *sims.back();
    }

    void MakeForm(const QString &catalogue = {})
    {
        const QString path =
            catalogue.isEmpty()
                ? QString::fromStdString(zelvo::test::SourcePath("data/networks.xml"))
                : catalogue;
        form = std::make_unique<TForm1>(errorLog, pacing, path,
                                        [this](const QString &text, int) { messages << text; });
        form->SetDialogs(&dialogs);
    }

    // The connect dialog picks the model's port and connects.
    void ConnectTo(zsim::Model model)
    {
        dialogs.Connect = [this, model] {
            TSerialThread *engine = form->Engine();
            engine->SelectPort(model == zsim::Model::Ostra, kComPort, 19200);
            engine->SetActive(false);
            engine->StartConnect();
            engine->SetActive(true);
        };
    }

    bool Settled() const
    {
        const TSerialThread *e = form->Engine();
        return e->LinkState() == LINK_LIVE && e->JobCode() == 0 && !e->IsBusy() &&
               !form->IsWorkingShown();
    }

    // Shows the window (which opens the connect dialog) and waits until the
    // connection's chain has run.
    void ShowAndConnect(zsim::Model model)
    {
        StartSim(model);
        MakeForm();
        ConnectTo(model);
        form->show();
        ASSERT_TRUE(WaitFor([&] { return form->IsConnected() && Settled(); }, 30s))
            << Diagnostics();
    }

    void Click(QWidget *w) { QTest::mouseClick(w, Qt::LeftButton); }

    std::string Diagnostics() const
    {
        std::string text = "link state " + std::to_string(form->Engine()->LinkState()) +
                           "\nmessages: " + messages.join(QStringLiteral(" | ")).toStdString();
        text += "\nlog: " + form->ErrorLogMemo->toPlainText().right(600).toStdString();
        return text;
    }

    int Count(const QString &message) const { return static_cast<int>(messages.count(message)); }

    TPacing pacing;
    TErrorManager errorLog{zelvo::test::FreshLogPath()};
    std::vector<std::unique_ptr<zsim::UnitSimulator>> sims;
    TRecordingDialogs dialogs;
    std::unique_ptr<TForm1> form;
    QStringList messages;
};

TEST_F(TForm1Test, StartUp_CountryListPagesAndMenusAsDesigned_ConnectDialogOnShow)
{
    MakeForm();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Zelvo Marlune"));
    EXPECT_EQ(form->width(), TForm1::kClientWidth);
    EXPECT_EQ(form->height() - form->menuBar()->sizeHint().height(), TForm1::kClientHeight);

    // "<None>" first, the country with ID 1 selected, its networks filled in.
    ASSERT_GT(form->cbCountry->count(), 1);
    EXPECT_EQ(form->cbCountry->itemText(0), QStringLiteral("<None>"));
    EXPECT_EQ(form->cbCountry->currentData().toInt(), 1);
    EXPECT_EQ(form->cbNetwork->itemText(0), QStringLiteral("<None>"));
    EXPECT_EQ(form->cbNetwork->currentIndex(), 1);
    EXPECT_FALSE(form->edAPN->text().isEmpty());
    EXPECT_TRUE(form->cbCountry->isVisibleTo(form.get()));
    EXPECT_FALSE(form->edIPAddress->isVisibleTo(form.get()));
    EXPECT_EQ(form->lblConnectionSettings5->text(), QStringLiteral("Password"));

    // Every work page and button off; the Advanced page readable.
    for (QWidget *w : {form->tabBasicInfo, form->tabIOConfiguration, form->tabLiveReadings,
                       form->tabExternalDevices, form->tabSnapshot})
        EXPECT_FALSE(w->isEnabled());
    for (QPushButton *b :
         {form->btnRefresh, form->btnActivateIOConfiguration, form->btnUploadIOConfiguration,
          form->btnActivateLiveReadings, form->btnActivateExternalDevices, form->btnGetSnapshot})
        EXPECT_FALSE(b->isEnabled()) << b->text().toStdString();
    EXPECT_TRUE(form->TabSheet1->isEnabled());
    EXPECT_TRUE(form->ErrorLogMemo->isEnabled());
    EXPECT_TRUE(form->ErrorLogMemo->toPlainText().contains(QStringLiteral("Tabs de-activated")));
    // Under the memo: the file the log goes to, whole in the tooltip.
    ASSERT_EQ(&form->ErrorLog(), &errorLog);
    EXPECT_TRUE(errorLog.LogPath().endsWith(QStringLiteral("/Log.txt")));
    EXPECT_EQ(form->lblLogFile->toolTip(), QStringLiteral("Log file: ") + errorLog.LogPath());
    EXPECT_TRUE(form->lblLogFile->text().startsWith(QStringLiteral("Log file: ")));
    EXPECT_EQ(form->PageControl1->count(), 7);
    EXPECT_FALSE(form->PageControl1->isTabVisible(6));
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    EXPECT_EQ(form->memoSnapshot->blockCount(), 2);
    EXPECT_EQ(form->lblStatusLogon->text(), QStringLiteral("Logged On: No"));

    ASSERT_NE(form->ConnectItem(), nullptr);
    ASSERT_NE(form->LogonItem(), nullptr);
    EXPECT_TRUE(form->ConnectItem()->isEnabled());
    EXPECT_FALSE(form->LogonItem()->isEnabled());

    // Not connected: enabling the tabs still leaves the three fetch buttons off.
    form->SetTabsEnabled(true);
    EXPECT_TRUE(form->tabIOConfiguration->isEnabled());
    EXPECT_FALSE(form->btnActivateIOConfiguration->isEnabled());
    EXPECT_FALSE(form->btnActivateLiveReadings->isEnabled());
    EXPECT_FALSE(form->btnActivateExternalDevices->isEnabled());
    form->SetTabsEnabled(false);

    // The empty output item of the hidden page posts nothing.
    form->cbOutput->setCurrentIndex(form->cbOutput->count() - 1);
    form->btnSetOutputClick();
    EXPECT_EQ(form->Engine()->JobCode(), 0);
    EXPECT_EQ(form->Engine()->LinkState(), LINK_IDLE);

    form->show();
    EXPECT_TRUE(WaitFor([&] { return dialogs.ConnectShown == 1; }, 5s));
    EXPECT_TRUE(messages.isEmpty()) << messages.join('|').toStdString();
}

TEST_F(TForm1Test, StartUp_CatalogueMissing_MessageShownWindowStillOpensDisabled)
{
    MakeForm(QString::fromStdString(zelvo::test::TempDir() + "/no-such-networks.xml"));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_FALSE(messages.first().isEmpty());
    EXPECT_EQ(form->cbCountry->count(), 0);
    EXPECT_FALSE(form->tabBasicInfo->isEnabled());
    EXPECT_FALSE(form->btnRefresh->isEnabled());
}

class TForm1ModelsTest : public TForm1Test, public ::testing::WithParamInterface<zsim::Model>
{
protected:
    bool Vello() const { return GetParam() == zsim::Model::Vello; }
};

TEST_P(TForm1ModelsTest, Connect_SettingsShownMenusSwapped_SecondConnectRefused)
{
    ShowAndConnect(GetParam());
    EXPECT_EQ(dialogs.ConnectShown, 1);
    EXPECT_GE(dialogs.ConnectClosed, 1);
    EXPECT_FALSE(form->ConnectItem()->isEnabled());
    EXPECT_TRUE(form->LogonItem()->isEnabled());
    EXPECT_TRUE(form->tabBasicInfo->isEnabled());
    EXPECT_TRUE(form->btnRefresh->isEnabled());
    EXPECT_EQ(form->lblStatusBasicInfo->text(), QStringLiteral("Basic Info: Yes"));
    EXPECT_FALSE(form->StatusPanel0->text().isEmpty());
    EXPECT_TRUE(form->StatusPanel1->text().startsWith(QStringLiteral("SF_")))
        << form->StatusPanel1->text().toStdString();

    // The settings the unit holds, in the fields.
    const TConnectionSettings unit = form->Engine()->Unit()->GetSettings();
    EXPECT_EQ(form->edAPN->text().toStdString(), unit.APN);
    EXPECT_EQ(form->edUsername->text().toStdString(), unit.Username);
    EXPECT_EQ(form->cbCountry->currentIndex(), 0);
    EXPECT_EQ(form->cbConnectionType->count(), Vello() ? 1 : 2);

    // A second connect while the link is open opens no dialog and no link.
    form->ConnectClick();
    EXPECT_EQ(dialogs.ConnectShown, 1);
    EXPECT_EQ(Count(QStringLiteral("The Zelvo is already connected or being connected.")), 1);
    EXPECT_EQ(form->Engine()->LinkState(), LINK_LIVE);
}

TEST_P(TForm1ModelsTest, Load_ChainRunsWhileWindowIgnoresInput_SaveFollowsLogon)
{
    ShowAndConnect(GetParam());
    TSerialThread *engine = form->Engine();
    const std::size_t before = sims.back()->ServerMessages().size();

    // The connection's own chain showed the progress dialog already.
    const int shownBefore = dialogs.WorkingShown;
    const int closedBefore = dialogs.WorkingClosed;
    form->PageControl1->setCurrentIndex(1);
    ASSERT_TRUE(form->btnActivateIOConfiguration->isEnabled());
    Click(form->btnActivateIOConfiguration);
    EXPECT_EQ(engine->JobCode(), MSG_READ_IO_CONFIG);
    EXPECT_FALSE(form->tabIOConfiguration->isEnabled());

    // While the job runs: the progress dialog is up and input is ignored.
    ASSERT_TRUE(WaitFor([&] { return form->IsWorkingShown(); }, 10s)) << Diagnostics();
    EXPECT_EQ(dialogs.WorkingShown, shownBefore + 1);
    EXPECT_FALSE(form->centralWidget()->isEnabled());
    EXPECT_FALSE(form->menuBar()->isEnabled());
    form->PageControl1->setCurrentIndex(4);
    Click(form->btnGetSnapshot);
    EXPECT_NE(engine->JobCode(), MSG_READ_SNAPSHOT);
    form->PageControl1->setCurrentIndex(1);

    // Restored within one poll of the job's end.
    ASSERT_TRUE(WaitFor([&] { return engine->LinkState() == LINK_LIVE && !engine->IsBusy(); }, 30s))
        << Diagnostics();
    form->CheckSerialThreadTimer();
    EXPECT_FALSE(form->IsWorkingShown());
    EXPECT_EQ(dialogs.WorkingClosed, closedBefore + 1);
    EXPECT_TRUE(form->centralWidget()->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return Settled() && form->tabIOConfiguration->isEnabled(); }, 10s));

    EXPECT_TRUE(engine->HasIOConfiguration() && engine->HasInputTypes() && engine->HasUOMLists());
    EXPECT_GT(form->lvIOConfig->topLevelItemCount(), 1);
    EXPECT_EQ(form->lblStatusIOConfiguration->text(), QStringLiteral("IO Configuration: Yes"));
    EXPECT_FALSE(form->btnActivateIOConfiguration->isEnabled());
    EXPECT_FALSE(form->btnUploadIOConfiguration->isEnabled()); // not logged on

    // Logged on: "Save" is offered; with nothing changed it posts nothing.
    form->SetLoggedOn(true);
    form->SetTabsEnabled(true);
    ASSERT_TRUE(form->btnUploadIOConfiguration->isEnabled());
    const std::size_t afterLoad = sims.back()->ServerMessages().size();
    EXPECT_GT(afterLoad, before);
    Click(form->btnUploadIOConfiguration);
    EXPECT_EQ(Count(QStringLiteral("No changes to upload")), 1);
    EXPECT_EQ(engine->JobCode(), 0);
    EXPECT_TRUE(form->tabIOConfiguration->isEnabled());
    EXPECT_TRUE(form->btnUploadIOConfiguration->isEnabled());
    EXPECT_FALSE(WaitFor([&] { return form->IsWorkingShown(); }, pacing.WorkerStep * 3));
    EXPECT_EQ(sims.back()->ServerMessages().size(), afterLoad);
}

TEST_P(TForm1ModelsTest, UploadReminder_OncePerPageChangeLeavingIOConfiguration_ThenUploaded)
{
    ShowAndConnect(GetParam());
    TSerialThread *engine = form->Engine();
    form->PageControl1->setCurrentIndex(1);
    Click(form->btnActivateIOConfiguration);
    ASSERT_TRUE(WaitFor([&] { return Settled() && engine->HasUOMLists(); }, 30s)) << Diagnostics();
    form->SetLoggedOn(true);
    form->SetTabsEnabled(true);

    const QString reminder =
        QStringLiteral("Changes have been made to IOConfig, don't forget to upload them");
    // Nothing changed: no reminder.
    form->PageControl1->setCurrentIndex(2);
    EXPECT_EQ(Count(reminder), 0);

    TServerSideIO *record = engine->Unit()->ServerSideIOs().Item(0);
    record->SetFriendlyName(QStringLiteral("Renamed"));
    record->SetChanged(true);
    form->PageControl1->setCurrentIndex(1);
    form->PageControl1->setCurrentIndex(3);
    EXPECT_EQ(Count(reminder), 1);
    form->PageControl1->setCurrentIndex(4); // between other pages: none
    EXPECT_EQ(Count(reminder), 1);
    form->PageControl1->setCurrentIndex(1);
    form->PageControl1->setCurrentIndex(0);
    EXPECT_EQ(Count(reminder), 2);
    EXPECT_EQ(Count(QStringLiteral("No changes to upload")), 0);

    // "Save" uploads the change (job 13) and the chain reads it back.
    form->PageControl1->setCurrentIndex(1);
    const std::int32_t id = record->IOID();
    Click(form->btnUploadIOConfiguration);
    EXPECT_EQ(engine->JobCode(), MSG_WRITE_IO_CONFIG);
    ASSERT_TRUE(WaitFor([&] { return engine->IsBusy(); }, 10s));
    ASSERT_TRUE(WaitFor([&] { return Settled() && !engine->ReloadAfterWrite(); }, 40s))
        << Diagnostics();
    bool stored = false;
    for (const auto &r : sims.back()->IoConfiguration())
        if (r.id == id)
            stored = r.name == "Renamed";
    EXPECT_TRUE(stored);
    EXPECT_EQ(Count(QStringLiteral("No changes to upload")), 0);
}

TEST_P(TForm1ModelsTest, SignalChecking_StartsMeterFollowsStopsOnLeavingConnectionPage)
{
    ShowAndConnect(GetParam());
    TSerialThread *engine = form->Engine();
    QWidget *bar = form->shapeSignal;
    const int bottom = bar->y() + bar->height();
    EXPECT_EQ(bottom, TForm1::kSignalBarBottom);

    Click(form->btnRefresh);
    EXPECT_EQ(form->btnRefresh->text(), QStringLiteral("Stop Signal Checking..."));
    EXPECT_TRUE(form->tabBasicInfo->isEnabled());
    EXPECT_TRUE(form->btnRefresh->isEnabled());
    EXPECT_FALSE(form->tabIOConfiguration->isEnabled());
    EXPECT_FALSE(form->gbConnectionSettings->isEnabled());
    EXPECT_EQ(engine->LinkState(), LINK_SIGNAL);

    // A level from the unit reaches the meter through the poll.
    zsim::UnitSimulator &sim = *sims.back();
    const auto expected = [&] {
        const int level = sim.SignalLevel();
        return level == 99 || level > 31 ? 0 : level * 7;
    };
    ASSERT_TRUE(WaitFor([&] { return sim.SignalMonitoring() && bar->height() == expected(); }, 20s))
        << "bar " << bar->height() << "\n"
        << Diagnostics();

    struct {
        int level, height;
    } rows[] = {{6, 42}, {31, 217}, {99, 0}, {32, 0}, {0, 0}};
    for (const auto &r : rows) {
        form->ShowSignalLevel(static_cast<std::uint8_t>(r.level));
        EXPECT_EQ(bar->height(), r.height) << r.level;
        EXPECT_EQ(bar->y() + bar->height(), bottom) << r.level;
    }
    form->ShowSignalLevel(31);
    EXPECT_EQ(bar->y(), 48);

    // Leaving the connection page stops checking.
    form->PageControl1->setCurrentIndex(5);
    EXPECT_EQ(form->btnRefresh->text(), QStringLiteral("Start Signal Checking..."));
    EXPECT_FALSE(form->IsSignalChecking());
    EXPECT_TRUE(form->tabIOConfiguration->isEnabled());
    EXPECT_TRUE(form->gbConnectionSettings->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return engine->LinkState() == LINK_LIVE; }, 20s)) << Diagnostics();

    // Switching between other pages does not stop it.
    form->btnRefreshClick();
    ASSERT_TRUE(form->IsSignalChecking());
    form->PageControl1->setCurrentIndex(3);
    form->PageControl1->setCurrentIndex(4);
    EXPECT_TRUE(form->IsSignalChecking());
    form->PageControl1->setCurrentIndex(0);
    EXPECT_TRUE(form->IsSignalChecking());

    // A disconnection resets the button.
    form->OnDisconnected();
    EXPECT_FALSE(form->IsSignalChecking());
    EXPECT_EQ(form->btnRefresh->text(), QStringLiteral("Start Signal Checking..."));
    EXPECT_EQ(Count(QStringLiteral("Zelvo disconnected")), 1);
    EXPECT_TRUE(form->ConnectItem()->isEnabled());
    EXPECT_FALSE(form->LogonItem()->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Models, TForm1ModelsTest,
                         ::testing::Values(zsim::Model::Ostra, zsim::Model::Vello),
                         [](const auto &info) {
                             return info.param == zsim::Model::Ostra ? std::string("Ostra")
                                                                     : std::string("Vello");
                         });

// Logon through the window's request, its outcome to the logon dialog, and
// the configuration list's double-click choosing logon or edit.
TEST_F(TForm1Test, Logon_OutcomeReachesDialogAndMenu_DoubleClickOpensLogonOrEdit)
{
    ShowAndConnect(zsim::Model::Vello);
    TSerialThread *engine = form->Engine();
    const auto logon = [&](const char *password) {
        ASSERT_TRUE(form->RequestLogon("installer@zelvo.example", password));
        EXPECT_EQ(engine->JobCode(), MSG_LOGON);
    };

    form->PageControl1->setCurrentIndex(1);
    Click(form->btnActivateIOConfiguration);
    ASSERT_TRUE(WaitFor([&] { return Settled() && engine->HasUOMLists(); }, 30s)) << Diagnostics();
    QTreeWidgetItem *row = form->lvIOConfig->topLevelItem(0);
    ASSERT_NE(row, nullptr);
    form->lvIOConfig->setCurrentItem(row);
    emit form->lvIOConfig->itemDoubleClicked(row, 0);
    EXPECT_EQ(dialogs.LogonShown, 1);
    EXPECT_EQ(dialogs.EditIOs, 0);
    // Enter and F2 on the selected row follow the double-click's rules.
    form->lvIOConfig->setFocus();
    QTest::keyClick(form->lvIOConfig, Qt::Key_Return);
    QTest::keyClick(form->lvIOConfig, Qt::Key_F2);
    EXPECT_EQ(dialogs.LogonShown, 3);
    EXPECT_EQ(dialogs.EditIOs, 0);

    logon("wrong");
    ASSERT_TRUE(WaitFor([&] { return dialogs.LogonBad == 1 && Settled(); }, 30s)) << Diagnostics();
    EXPECT_FALSE(form->IsLoggedOn());
    EXPECT_TRUE(form->LogonItem()->isEnabled());

    logon("commission");
    ASSERT_TRUE(WaitFor([&] { return dialogs.LogonOk == 1 && Settled(); }, 30s)) << Diagnostics();
    EXPECT_TRUE(form->IsLoggedOn());
    EXPECT_FALSE(form->LogonItem()->isEnabled());
    EXPECT_TRUE(WaitFor(
        [&] { return form->lblStatusLogon->text() == QStringLiteral("Logged On: Yes"); }, 5s));
    EXPECT_TRUE(form->btnUploadIOConfiguration->isEnabled());

    emit form->lvIOConfig->itemDoubleClicked(row, 0);
    EXPECT_EQ(dialogs.EditIOs, 1);
    EXPECT_EQ(dialogs.LogonShown, 3);
    QTest::keyClick(form->lvIOConfig, Qt::Key_Enter);
    QTest::keyClick(form->lvIOConfig, Qt::Key_F2);
    EXPECT_EQ(dialogs.EditIOs, 3);
    // The trailing empty row opens nothing.
    form->lvIOConfig->setCurrentItem(
        form->lvIOConfig->topLevelItem(form->lvIOConfig->topLevelItemCount() - 1));
    QTest::keyClick(form->lvIOConfig, Qt::Key_Return);
    EXPECT_EQ(dialogs.EditIOs, 3);
    EXPECT_EQ(dialogs.LogonShown, 3);
}

TEST_F(TForm1Test, FieldsNamedByTheirLabels_CombosReactToSelectionsWithoutTheMouse_MeterText)
{
    MakeForm();
    EXPECT_EQ(form->edAPN->accessibleName(), "APN");
    EXPECT_EQ(form->edUsername->accessibleName(), "Username");
    EXPECT_EQ(form->edPassword->accessibleName(), "Password");
    EXPECT_EQ(form->cbCountry->accessibleName(), "Country");
    EXPECT_EQ(form->cbConnectionType->accessibleName(), "Connection Type");

    // A country picked without the mouse refills the networks and fields.
    const int current = form->cbCountry->currentIndex();
    const int other = current == 1 ? 2 : 1;
    ASSERT_GT(form->cbCountry->count(), other);
    form->cbCountry->setCurrentIndex(other);
    const auto *network = form->cbNetwork->currentData().value<const TGPRSNetwork *>();
    ASSERT_NE(network, nullptr);
    EXPECT_EQ(network->CountryID(), form->cbCountry->currentData().toInt());
    EXPECT_EQ(form->edAPN->text(), network->APN());
    // The connection type too: the Ethernet fields replace the mobile ones.
    form->cbConnectionType->setCurrentIndex(1);
    EXPECT_TRUE(form->edIPAddress->isVisibleTo(form.get()));
    EXPECT_FALSE(form->edAPN->isVisibleTo(form.get()));
    form->cbConnectionType->setCurrentIndex(0);
    EXPECT_TRUE(form->edAPN->isVisibleTo(form.get()));

    form->ShowSignalLevel(17);
    EXPECT_EQ(form->shapeSignal->accessibleName(), "Signal level 17 of 31, Good");
    form->ShowSignalLevel(11);
    EXPECT_EQ(form->shapeSignal->accessibleName(), "Signal level 11 of 31, OK");
    form->ShowSignalLevel(8);
    EXPECT_EQ(form->shapeSignal->accessibleName(), "Signal level 8 of 31, Borderline");
    form->ShowSignalLevel(99);
    EXPECT_EQ(form->shapeSignal->accessibleName(), "Signal level 0 of 31, Poor");
}

// Changes that need more than one upload: one clear message on leaving the
// page and on "Save", never the reminder or "No changes to upload".
TEST_F(TForm1Test, UploadTooLargeForOneUpload_OneMessageNeverReminderOrNoChanges)
{
    ShowAndConnect(zsim::Model::Vello);
    TSerialThread *engine = form->Engine();
    form->PageControl1->setCurrentIndex(1);
    Click(form->btnActivateIOConfiguration);
    ASSERT_TRUE(WaitFor([&] { return Settled() && engine->HasUOMLists(); }, 30s)) << Diagnostics();
    form->SetLoggedOn(true);
    form->SetTabsEnabled(true);

    TServerSideIOs &records = engine->Unit()->ServerSideIOs();
    for (int i = 0; i < records.Count(); ++i) {
        records.Item(i)->SetFriendlyName(QString(TServerSideIO::MaxUploadNameLength, 'n'));
        records.Item(i)->SetChanged(true);
    }
    ASSERT_EQ(engine->PrepareIOConfigUpload(), UPLOAD_PARTIAL)
        << "the simulated configuration is too small to overflow one upload";
    messages.clear();

    form->PageControl1->setCurrentIndex(2);
    const QString reminder =
        QStringLiteral("Changes have been made to IOConfig, don't forget to upload them");
    EXPECT_EQ(Count(reminder), 0);
    EXPECT_EQ(Count(QStringLiteral("No changes to upload")), 0);
    EXPECT_EQ(messages.filter(QStringLiteral("more than one upload")).size(), 1)
        << messages.join('|').toStdString();

    form->PageControl1->setCurrentIndex(1);
    messages.clear();
    Click(form->btnUploadIOConfiguration);
    EXPECT_EQ(engine->JobCode(), MSG_WRITE_IO_CONFIG);
    EXPECT_EQ(messages.filter(QStringLiteral("press \"Save\" again")).size(), 1)
        << messages.join('|').toStdString();
    EXPECT_EQ(Count(QStringLiteral("No changes to upload")), 0);
}

// Saves of each connection type reach the unit's settings block and end the
// connection; a VELLO offers no Ethernet, an OSTRA offers it again.
TEST_F(TForm1Test, ConnectionSettings_VelloMobileSave_ThenOstraEthernetSave_ReachTheUnit)
{
    ShowAndConnect(zsim::Model::Vello);
    zsim::UnitSimulator &vello = *sims.back();
    TSerialThread *engine = form->Engine();
    ASSERT_EQ(form->cbConnectionType->count(), 1);
    EXPECT_EQ(form->cbConnectionType->itemText(0), QStringLiteral("Mobile (GPRS)"));

    // Choosing a network fills the fields; "<None>" leaves them.
    form->cbCountry->setCurrentIndex(form->cbCountry->findData(1));
    form->cbCountryChange();
    const QString apn = form->edAPN->text();
    EXPECT_FALSE(apn.isEmpty());
    form->cbNetwork->setCurrentIndex(0);
    form->cbNetworkChange();
    EXPECT_EQ(form->edAPN->text(), apn);

    // The address fields are checked for a mobile save too: A, B, C, and
    // nothing is saved.
    const TUnitSettingsBlock before = Block(vello.SettingsBlock());
    struct {
        const char *text, *message;
    } bad[] = {
        {"", "An IP number must contain four integers (separated by a full stop) between 0 and "
             "255."},
        {"192.168.1", "An IP number must contain four integers (separated by a full stop) "
                      "between 0 and 255."},
        {"192.168.1.10.5",
         "Too many integers. An IP number must contain four integers between 0 and 255."},
        {"192.168..10", "Each part of the IP number must be an integer between 0 and 255."},
        {"192.168.1.256", "Each part of the IP number must be an integer between 0 and 255."},
    };
    const QString goodAddress = form->edIPAddress->text();
    for (const auto &b : bad) {
        messages.clear();
        form->edIPAddress->setText(QString::fromLatin1(b.text));
        Click(form->btnApplyConnectionSettings);
        ASSERT_EQ(messages.size(), 1) << b.text;
        EXPECT_EQ(messages.first(), QString::fromLatin1(b.message)) << b.text;
        EXPECT_EQ(engine->SaveOutcome(), SAVE_NONE);
    }
    form->edIPAddress->setText(goodAddress);
    // The gateway field is parsed too, after the address.
    messages.clear();
    form->edDefaultGateway->setText(QStringLiteral("10.1.2.x"));
    Click(form->btnApplyConnectionSettings);
    EXPECT_EQ(messages.size(), 1);
    form->edDefaultGateway->setText(QStringLiteral("0.0.0.0"));

    // Texts longer than the unit's fields are refused before anything is sent.
    messages.clear();
    form->edAPN->setText(QString(125, QLatin1Char('a')));
    Click(form->btnApplyConnectionSettings);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("124"))) << messages.first().toStdString();
    EXPECT_EQ(engine->SaveOutcome(), SAVE_NONE);

    // A mobile save reaches the unit and ends the connection.
    messages.clear();
    form->edAPN->setText(QStringLiteral("internet.window"));
    form->edUsername->setText(QStringLiteral("fielduser"));
    form->edPassword->setText(QStringLiteral("pw19charsxxxxxxxxxx"));
    Click(form->btnApplyConnectionSettings);
    ASSERT_TRUE(
        WaitFor([&] { return messages.contains(QStringLiteral("Zelvo disconnected")); }, 30s))
        << Diagnostics();
    EXPECT_FALSE(form->IsConnected());
    EXPECT_EQ(engine->SaveOutcome(), SAVE_SUCCEEDED);
    TConnectionSettings mobile = ConnectionSettingsFromBlock(before);
    mobile.ConnectionType = kConnectionTypeMobile;
    mobile.APN = "internet.window";
    mobile.Username = "fielduser";
    mobile.Password = "pw19charsxxxxxxxxxx";
    TUnitSettingsBlock expected = before;
    ASSERT_TRUE(ApplyConnectionSettingsToBlock(mobile, expected));
    const TUnitSettingsBlock after = Block(vello.SettingsBlock());
    EXPECT_EQ(std::memcmp(&after, &expected, sizeof after), 0);
    EXPECT_TRUE(form->ConnectItem()->isEnabled());
    EXPECT_FALSE(form->tabBasicInfo->isEnabled());

    // Now an OSTRA: "Ethernet" is offered again.
    zsim::UnitSimulator &ostra = StartSim(zsim::Model::Ostra);
    ConnectTo(zsim::Model::Ostra);
    form->ConnectClick();
    ASSERT_TRUE(WaitFor([&] { return form->IsConnected() && Settled(); }, 30s)) << Diagnostics();
    ASSERT_EQ(form->cbConnectionType->count(), 2);
    EXPECT_EQ(form->cbConnectionType->itemText(1), QStringLiteral("Ethernet"));

    // The user switches to Ethernet: the labels follow.
    form->cbConnectionType->setFocus();
    form->cbConnectionType->setCurrentIndex(0);
    QTest::keyClick(form->cbConnectionType, Qt::Key_Down);
    ASSERT_EQ(form->cbConnectionType->currentIndex(), 1);
    EXPECT_EQ(form->lblConnectionSettings1->text(), QStringLiteral("Use DHCP"));
    EXPECT_EQ(form->lblConnectionSettings5->text(), QStringLiteral("DNS Server IP Address"));
    EXPECT_TRUE(form->edIPAddress->isVisibleTo(form.get()));
    EXPECT_FALSE(form->edAPN->isVisibleTo(form.get()));

    const TUnitSettingsBlock ostraBefore = Block(ostra.SettingsBlock());
    messages.clear();
    form->chkUseDHCP->setChecked(false);
    form->edIPAddress->setText(QStringLiteral("192.168.1.10"));
    form->edNetMask->setText(QStringLiteral("255.255.255.0"));
    form->edDefaultGateway->setText(QStringLiteral("192.168.1.1"));
    form->edDNSServerIP->setText(QStringLiteral("8.8.4.4"));
    Click(form->btnApplyConnectionSettings);
    ASSERT_TRUE(
        WaitFor([&] { return messages.contains(QStringLiteral("Zelvo disconnected")); }, 30s))
        << Diagnostics();
    TConnectionSettings ethernet = ConnectionSettingsFromBlock(ostraBefore);
    ethernet.ConnectionType = kConnectionTypeEthernet;
    ethernet.UseDHCP = false;
    ethernet.IPAddress = 0xC0A8010A;
    ethernet.NetMask = 0xFFFFFF00;
    ethernet.DefaultGateway = 0xC0A80101;
    ethernet.DNSServer = 0x08080404;
    expected = ostraBefore;
    ASSERT_TRUE(ApplyConnectionSettingsToBlock(ethernet, expected));
    const TUnitSettingsBlock ostraAfter = Block(ostra.SettingsBlock());
    EXPECT_EQ(std::memcmp(&ostraAfter, &expected, sizeof ostraAfter), 0);

    // Reconnected, the unit reports Ethernet: the view shows its fields.
    form->cbConnectionType->setCurrentIndex(0);
    form->cbConnectionTypeChange();
    ASSERT_EQ(form->lblConnectionSettings1->text(), QStringLiteral("Country"));
    form->ConnectClick();
    ASSERT_TRUE(WaitFor([&] { return form->IsConnected() && Settled(); }, 30s)) << Diagnostics();
    EXPECT_EQ(form->cbConnectionType->currentIndex(), 1);
    EXPECT_EQ(form->lblConnectionSettings2->text(), QStringLiteral("IP Address"));
    EXPECT_EQ(form->edIPAddress->text(), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(form->edDNSServerIP->text(), QStringLiteral("8.8.4.4"));
    EXPECT_FALSE(form->chkUseDHCP->isChecked());
}

// Closing the window while a job waits on a silent unit: the worker's
// exchange is broken off, so the window goes at once rather than after the
// frame time-outs and retries.
TEST_F(TForm1Test, Close_WhileJobWaitsOnSilentUnit_EndsAtOnce)
{
    pacing.ComFrameTimeout = 20s;
    pacing.UsbFrameTimeout = 20s;
    ShowAndConnect(zsim::Model::Vello);
    TSerialThread *engine = form->Engine();
    std::string error;
    ASSERT_TRUE(sims.back()->AddFault("silent", &error)) << error;
    form->PageControl1->setCurrentIndex(1);
    Click(form->btnActivateIOConfiguration);
    ASSERT_TRUE(WaitFor([&] { return engine->IsBusy() && engine->IsStepInProgress(); }, 10s));
    QElapsedTimer clock;
    clock.start();
    form->close();
    form.reset();
    // Far below one frame time-out; the bound leaves room for a loaded machine.
    EXPECT_LT(clock.elapsed(), 1000);
}

} // namespace
