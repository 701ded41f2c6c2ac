// File -> "Save Commissioning Report..." driven in the real window, offscreen,
// against the unit simulator; the dialogs' answers come from the test.

#include "ui/Fm_main.h"
#include "ui/Fm_report.h"

#include "ReportTestUtil.h"
#include "common/Branding.h"
#include "common/Errormanager.h"
#include "engine/Serialthread.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "sim/UnitSimulator.h"
#include "tests/support/TestUtil.h"
#include "ui/Dialogseam.h"
#include "unit/Zelvo.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QJsonArray>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace reporttest;
using zelvo::test::WaitFor;

namespace
{

constexpr int kComPort = 7;

class TQuietDialogs : public TDialogSeam
{
public:
    std::function<void()> Connect;
    void ShowConnect() override
    {
        if (Connect)
            Connect();
    }
    void CloseConnect() override {}
    void ShowLogon() override {}
    void LogonSucceeded() override {}
    void LogonFailed() override {}
    void LogonCancelled() override {}
    void ShowWorking() override { ++WorkingShown; }
    void CloseWorking() override {}
    void UpdateWorking(TCancelOutcome) override {}
    void EditIO(TServerSideIO *, TZelvo *) override {}
    void ShowAbout() override {}
    int WorkingShown = 0;
};

QAction *ReportItem(TForm1 &form)
{
    for (QAction *a : form.mnuFile->actions())
        if (a->text() == QStringLiteral("Save Commissioning &Report..."))
            return a;
    return nullptr;
}

} // namespace

TEST(ReportWindow, FileMenuItem_GathersThroughTheEngine_AsksBeforeReplacing_AndSaves)
{
    TPacing pacing = TPacing::Shrunk(25);
    pacing.UsbFrameTimeout = 3000ms;
    pacing.ComFrameTimeout = 3000ms;
    const QString dir = QString::fromStdString(zelvo::test::TempDir());
    TErrorManager errorLog(dir + "/Log.txt");
    zsim::Options o;
    o.model = zsim::Model::Ostra;
    o.sfStepMs = static_cast<int>(pacing.WorkerStep.count());
    zsim::UnitSimulator sim(o);
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    Ftd2xx::RegisterVirtualBridge(Branding::BrandName, sim.SlavePath());

    QStringList told;
    int asked = 0;
    QStringList overwriteAsked;
    bool replace = false;
    const QString path = dir + "/window-report.json";
    QFile::remove(path);
    {
        TQuietDialogs dialogs;
        TForm1 form(errorLog, pacing,
                    QString::fromStdString(zelvo::test::SourcePath("data/networks.xml")),
                    [](const QString &, int) {});
        form.SetDialogs(&dialogs);
        QAction *item = ReportItem(form);
        ASSERT_NE(item, nullptr);
        // Above Exit, and off until a unit is connected.
        EXPECT_EQ(form.mnuFile->actions().first(), item);
        EXPECT_FALSE(item->isEnabled());

        dialogs.Connect = [&form] {
            form.Engine()->SelectPort(true, kComPort, 19200);
            form.Engine()->SetActive(false);
            form.Engine()->StartConnect();
            form.Engine()->SetActive(true);
        };
        form.show();
        ASSERT_TRUE(WaitFor(
            [&] {
                return form.IsConnected() && form.Engine()->LinkState() == LINK_LIVE &&
                       !form.Engine()->IsBusy() && !form.IsWorkingShown();
            },
            30s));
        EXPECT_TRUE(item->isEnabled());
        // The I/O configuration has not been loaded yet: the report reads it.
        EXPECT_FALSE(form.Engine()->HasIOConfiguration());

        TReportUiHooks hooks;
        hooks.Ask = [&](TfmReport &d) {
            ++asked;
            QTest::keyClicks(d.edSite, QStringLiteral("Weir 7"));
            QTest::keyClicks(d.edInstaller, QStringLiteral("A. Builder"));
            d.spinSignalSeconds->setValue(2);
            d.chkLog->setChecked(false);
            return true;
        };
        hooks.ChooseFile = [&](QWidget *) { return path; };
        hooks.ConfirmOverwrite = [&](QWidget *, const QString &p) {
            overwriteAsked << p;
            return replace;
        };
        hooks.Tell = [&](QWidget *, const QString &text, bool) { told << text; };
        const TReportUiHooks old = SetReportUiHooks(hooks);

        item->trigger();
        ASSERT_EQ(asked, 1);
        ASSERT_EQ(told.size(), 1);
        EXPECT_TRUE(told[0].startsWith("The report was saved to")) << told[0].toStdString();
        EXPECT_TRUE(overwriteAsked.isEmpty());
        // The read jobs went through the window's own progress dialog.
        EXPECT_GT(dialogs.WorkingShown, 0);
        EXPECT_TRUE(form.Engine()->HasIOConfiguration());

        const QJsonObject r = ParseJson(ReadFile(path));
        EXPECT_EQ(r["header"]["site"].toString(), "Weir 7");
        EXPECT_EQ(r["header"]["installer"].toString(), "A. Builder");
        EXPECT_EQ(r["unit"]["model"].toString(), "OSTRA");
        EXPECT_EQ(r["connection"]["apn"].toString(), form.edAPN->text());
        EXPECT_EQ(r["signal"]["readings"].toInt(), 2);
        EXPECT_EQ(r["ioConfiguration"]["io"].toArray().size(),
                  form.Engine()->Unit()->ServerSideIOs().Count());
        EXPECT_FALSE(r["liveValues"]["io"].toArray().isEmpty());
        EXPECT_FALSE(r["externalIO"]["io"].toArray().isEmpty());
        EXPECT_FALSE(r["snapshot"]["lines"].toArray().isEmpty());
        EXPECT_FALSE(r["log"]["included"].toBool());
        EXPECT_TRUE(r["unavailable"].toArray().isEmpty());

        // The same file again: asked first; "No" keeps the report there.
        const QByteArray first = ReadFile(path);
        item->trigger();
        ASSERT_EQ(overwriteAsked, QStringList{path});
        EXPECT_EQ(ReadFile(path), first);
        EXPECT_EQ(told.size(), 1);
        replace = true;
        item->trigger();
        EXPECT_EQ(told.size(), 2);
        EXPECT_NE(ReadFile(path), first); // a new report, made later
        // The window is back to normal: live again, usable.
        EXPECT_TRUE(WaitFor([&] { return form.Engine()->LinkState() == LINK_LIVE; }, 10s));
        EXPECT_TRUE(form.isEnabled());

        SetReportUiHooks(old);
        form.SetDialogs(nullptr);
    }
    Ftd2xx::ClearVirtualBridges();
}
