// The window and its dialogs with the keyboard alone, offscreen: Tab walks
// every page and dialog in the order it is drawn, and the menus open with
// their Alt letters.

#include "ui/Fm_main.h"

#include "FakeMainWindow.h"
#include "UiInspect.h"
#include "common/Errormanager.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Serversideio.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"
#include "ui/Findpanel.h"
#include "ui/Fm_about.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_report.h"
#include "unit/Zelvo.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using uiinspect::ExpectTabFollowsLayout;
using uiinspect::ShowActive;

std::unique_ptr<TForm1> MakeWindow(TErrorManager &log)
{
    return std::make_unique<TForm1>(
        log, TPacing::Shrunk(25),
        QString::fromStdString(zelvo::test::SourcePath("data/networks.xml")),
        [](const QString &, int) {});
}

// A record as the server sends it.
std::unique_ptr<TServerSideIO> Record(const char *tag, int type, int uom)
{
    // Logging flags 0: no log.
    const zelvo::test::TWireRecord raw = zelvo::test::TWireRecord().IOConfig(
        7, tag, type, static_cast<uint32_t>(uom), 0, "Outlet pressure", ' ');
    auto r = std::make_unique<TServerSideIO>();
    r->Populate(raw.Data(), raw.Size());
    return r;
}

// A unit offering two input types, one of them with two UOMs.
void FillUnit(TZelvo &unit)
{
    for (int id : {1, 2}) {
        auto type = std::make_unique<TAvailableInputType>(&unit.AvailableInputTypes());
        type->InputTypeID = static_cast<uint8_t>(id);
        type->UOMCategory = static_cast<uint8_t>(id);
        type->Selectable = true;
        type->Name = id == 1 ? QStringLiteral("Digital input") : QStringLiteral("4-20 mA");
        unit.AvailableInputTypes().Add(std::move(type));
    }
    for (int id : {9, 11, 12}) {
        auto uom = std::make_unique<TUOMDescription>(&unit.UOMDescriptions());
        uom->UOMID = id;
        uom->Category = id == 9 ? 1 : 2;
        uom->Name = QStringLiteral("UOM %1").arg(id);
        unit.UOMDescriptions().Add(std::move(uom));
    }
}

class Keyboard : public ::testing::Test
{
protected:
    TErrorManager errorLog{zelvo::test::FreshLogPath()};
};

TEST_F(Keyboard, WindowPages_TabVisitsEachPageAsDrawn_HiddenPageNeverReached)
{
    auto form = MakeWindow(errorLog);
    ASSERT_TRUE(ShowActive(form.get()));
    // Every control on: the order is the question here, not the state rules.
    for (QWidget *w : form->PageControl1->findChildren<QWidget *>())
        w->setEnabled(true);
    for (int page = 0; page < 6; ++page) {
        form->PageControl1->setCurrentIndex(page);
        ExpectTabFollowsLayout(form.get(), "page " + std::to_string(page));
        for (QWidget *w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget())
            ASSERT_NE(w, form->TabSheet3);
    }
    form->PageControl1->setCurrentIndex(0);
    form->cbConnectionType->setCurrentIndex(1);
    ExpectTabFollowsLayout(form.get(), "page 0, Ethernet");
    // The reading order puts the meter's column, whole, before the settings.
    EXPECT_TRUE(uiinspect::DrawnBefore(form->btnRefresh, form->cbConnectionType));
    form->cbConnectionType->setCurrentIndex(0);
    // The arrow keys on the tabs and Ctrl+Tab change pages, never to the
    // hidden one.
    form->PageControl1->setCurrentIndex(5);
    form->PageControl1->tabBar()->setFocus();
    QTest::keyClick(form->PageControl1->tabBar(), Qt::Key_Right);
    EXPECT_EQ(form->PageControl1->currentIndex(), 5);
    QTest::keyClick(form->PageControl1->tabBar(), Qt::Key_End);
    EXPECT_EQ(form->PageControl1->currentIndex(), 5);
    QTest::keyClick(form->PageControl1->tabBar(), Qt::Key_Left);
    EXPECT_EQ(form->PageControl1->currentIndex(), 4);
    form->PageControl1->setCurrentIndex(5);
    QTest::keyClick(form->PageControl1, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form->PageControl1->currentIndex(), 0);
    QTest::keyClick(form->PageControl1, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->PageControl1->currentIndex(), 5);
}

TEST_F(Keyboard, Dialogs_TabVisitsEachAsDrawn)
{
    TFakeMainWindow main;
    {
        TfmConnect connect(main);
        ASSERT_TRUE(ShowActive(&connect));
        ExpectTabFollowsLayout(&connect, "connect, OSTRA");
        connect.rbVello->setChecked(true);
        ExpectTabFollowsLayout(&connect, "connect, VELLO");
        // After a find: the list of ports above the buttons (its Find button
        // comes before Connect, as drawn).
        connect.setFixedSize(TFindPanel::ExpandedSize);
        connect.FindPanel->show();
        connect.FindPanel->lvFound->show();
        ExpectTabFollowsLayout(&connect, "connect, after a find");
        connect.hide();
    }
    {
        TfmLogon logon(main);
        ASSERT_TRUE(ShowActive(&logon));
        ExpectTabFollowsLayout(&logon, "logon");
        logon.hide();
    }
    {
        TZelvoCommsInterface comms;
        TZelvo unit{comms, &errorLog};
        FillUnit(unit);
        TfmEditIO edit(main);
        auto input = Record("AIN01", 2, 11);
        ASSERT_TRUE(edit.OpenEditor(input.get(), &unit));
        ASSERT_TRUE(ShowActive(&edit));
        ExpectTabFollowsLayout(&edit, "Edit I/O, an input");
        // An output's type list is off: Tab passes it by.
        auto output = Record("DO01", 1, 9);
        ASSERT_TRUE(edit.OpenEditor(output.get(), &unit));
        EXPECT_FALSE(edit.cbIOType->isEnabled());
        ExpectTabFollowsLayout(&edit, "Edit I/O, an output");
        edit.reject();
    }
    {
        TfmAbout about(nullptr, TfmAbout::TEnvironment{"1.2.3.4", {}, {}});
        ASSERT_TRUE(ShowActive(&about));
        // OK has the focus first, so Enter closes the box; the link is a stop.
        EXPECT_EQ(QApplication::focusWidget(), about.Button1);
        ExpectTabFollowsLayout(&about, "About");
        about.hide();
    }
    {
        TfmReport report;
        ASSERT_TRUE(ShowActive(&report));
        ExpectTabFollowsLayout(&report, "commissioning report");
        report.hide();
    }
}

TEST_F(Keyboard, AboutLink_EnterOrSpaceWithTheFocusOpensTheWebHost_EnterOnOkCloses)
{
    std::vector<QUrl> opened;
    TfmAbout::TEnvironment env{
        "1.2.3.4", {}, [&opened](const QUrl &url) { opened.push_back(url); }};
    TfmAbout about(nullptr, env);
    ASSERT_TRUE(ShowActive(&about));
    QTest::keyClick(about.Button1, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), about.lblURL1);
    QTest::keyClick(about.lblURL1, Qt::Key_Return);
    QTest::keyClick(about.lblURL1, Qt::Key_Space);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("https://www.zelvo.example")));
    EXPECT_TRUE(about.isVisible());
    QTest::keyClick(about.lblURL1, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), about.Button1);
    QTest::keyClick(about.Button1, Qt::Key_Return);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(opened.size(), 2u);
}

TEST_F(Keyboard, MenusOpenWithTheirAltLetters_BrandMenuKeepsItsOwn)
{
    auto form = MakeWindow(errorLog);
    ASSERT_TRUE(ShowActive(form.get()));
    // The brand's caption carries its marker and is still found by name.
    EXPECT_EQ(form->mnuBrand->title(), QStringLiteral("&Zelvo"));
    ASSERT_NE(form->ConnectItem(), nullptr);
    ASSERT_NE(form->LogonItem(), nullptr);

    const std::pair<Qt::Key, QMenu *> menus[] = {
        {Qt::Key_F, form->mnuFile}, {Qt::Key_Z, form->mnuBrand}, {Qt::Key_H, form->mnuHelp}};
    for (const auto &[key, menu] : menus) {
        SCOPED_TRACE(menu->title().toStdString());
        QTest::keyClick(form.get(), key, Qt::AltModifier);
        EXPECT_TRUE(zelvo::test::WaitFor([menu = menu] { return menu->isVisible(); },
                                         std::chrono::seconds(2)));
        // Its items by their letters too: the brand menu's Connect is first.
        if (menu == form->mnuBrand) {
            EXPECT_EQ(menu->actions().value(0), form->ConnectItem());
        }
        menu->close();
        EXPECT_TRUE(zelvo::test::WaitFor([menu = menu] { return !menu->isVisible(); },
                                         std::chrono::seconds(2)));
    }
}

TEST_F(Keyboard, EditIO_AltSSaves_AltCCancels)
{
    TFakeMainWindow main;
    TZelvoCommsInterface comms;
    TZelvo unit{comms, &errorLog};
    FillUnit(unit);
    TfmEditIO edit(main);

    auto saved = Record("AIN01", 2, 11);
    ASSERT_TRUE(edit.OpenEditor(saved.get(), &unit));
    ASSERT_TRUE(ShowActive(&edit));
    edit.LoggingGroup->button(2)->setChecked(true);
    // A button's letter presses it as a click drawn on screen, a moment later.
    QTest::keyClick(&edit, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(zelvo::test::WaitFor([&] { return !edit.isVisible(); }, std::chrono::seconds(5)));
    EXPECT_EQ(edit.result(), QDialog::Accepted);
    EXPECT_EQ(saved->LoggingMode(), 2);
    EXPECT_TRUE(saved->Changed());

    auto cancelled = Record("AIN02", 2, 11);
    ASSERT_TRUE(edit.OpenEditor(cancelled.get(), &unit));
    ASSERT_TRUE(ShowActive(&edit));
    edit.cbUOM->setCurrentIndex(1);
    ASSERT_EQ(cancelled->UOMID(), 12);
    QTest::keyClick(&edit, Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(zelvo::test::WaitFor([&] { return !edit.isVisible(); }, std::chrono::seconds(5)));
    EXPECT_EQ(edit.result(), QDialog::Rejected);
    EXPECT_EQ(cancelled->UOMID(), 11);
    EXPECT_FALSE(cancelled->Changed());
}

} // namespace
