// Nothing cut off: every label and button of the fixed-size dialogs and of
// the window's pages gets the room its text needs, at the font the running
// window gives them and at the platform's default font (a wider one here),
// which a dialog without an owner keeps.

#include "ui/Fm_main.h"

#include "FakeMainWindow.h"
#include "UiInspect.h"
#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "ui/Dialogs.h"
#include "ui/Fm_about.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_report.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QFontInfo>
#include <QTabBar>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <memory>

namespace
{

using uiinspect::ExpectTextsWhole;

class LayoutFit : public ::testing::Test
{
protected:
    TErrorManager errorLog{zelvo::test::FreshLogPath()};

    static void Look(QWidget *dialog, const std::string &what)
    {
        dialog->show();
        QApplication::processEvents();
        ExpectTextsWhole(dialog, what);
        dialog->hide();
    }

    // The logging choices' rows, top to bottom.
    static int LoggingRows(const TfmEditIO &edit)
    {
        QList<int> tops;
        for (QAbstractButton *b : edit.LoggingGroup->buttons())
            if (!tops.contains(b->y()))
                tops << b->y();
        return static_cast<int>(tops.size());
    }
};

TEST_F(LayoutFit, DialogsWithoutOwner_AtTheDefaultFont_EveryTextWhole)
{
    TFakeMainWindow main;
    {
        TfmEditIO edit(main);
        EXPECT_EQ(QFontInfo(edit.font()).family(), QFontInfo(QApplication::font()).family());
        Look(&edit, "Edit I/O");
        EXPECT_EQ(edit.size(), QSize(404, 316));
        // The choices are whole, in one row when they fit, else in two.
        const int rows = LoggingRows(edit);
        EXPECT_TRUE(rows == 1 || rows == 2) << rows;
    }
    {
        TfmConnect connect(main);
        Look(&connect, "connect");
        EXPECT_EQ(connect.size(), QSize(247, 175));
    }
    {
        TfmLogon logon(main);
        logon.LogonFailed();
        Look(&logon, "logon");
    }
    {
        TfmAbout about(nullptr, TfmAbout::TEnvironment{"1.2.3.4", {}, {}});
        Look(&about, "About");
    }
    {
        TfmReport report;
        Look(&report, "commissioning report");
    }
}

TEST_F(LayoutFit, RunningWindowAndItsDialogs_AtTheWindowsFont_EveryTextWhole)
{
    TForm1 form(errorLog, TPacing::Shrunk(25),
                QString::fromStdString(zelvo::test::SourcePath("data/networks.xml")),
                [](const QString &, int) {});
    if (QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"))) {
        EXPECT_EQ(QFontInfo(form.font()).family(), QStringLiteral("Tahoma"));
    }
    form.show();
    for (int page = 0; page < 6; ++page) {
        form.PageControl1->setCurrentIndex(page);
        QApplication::processEvents();
        ExpectTextsWhole(&form, "page " + std::to_string(page));
    }
    form.cbConnectionType->setCurrentIndex(1);
    QApplication::processEvents();
    ExpectTextsWhole(&form, "page 0, Ethernet");
    form.hide();

    // The dialogs as the program makes them, owned by the window: its font.
    std::unique_ptr<TDialogSeam> seam = CreateDialogs(form);
    auto *dialogs = static_cast<TDialogs *>(seam.get());
    const QString windowFont = QFontInfo(form.font()).family();
    for (QWidget *dialog : std::initializer_list<QWidget *>{dialogs->EditDialog(),
                                                            dialogs->Connect(), dialogs->Logon()}) {
        EXPECT_EQ(QFontInfo(dialog->font()).family(), windowFont)
            << dialog->objectName().toStdString();
        Look(dialog, dialog->objectName().toStdString());
    }
    // As designed: the four logging choices in one row.
    EXPECT_EQ(LoggingRows(*dialogs->EditDialog()), 1);
    TfmAbout about(&form, TfmAbout::TEnvironment{"1.2.3.4", {}, {}});
    Look(&about, "About");
    TfmReport report(&form);
    EXPECT_EQ(QFontInfo(report.font()).family(), windowFont);
    Look(&report, "commissioning report");
}

TEST_F(LayoutFit, EditIO_FontChangedAfterCreation_ChoicesRearrangedAndWhole)
{
    TFakeMainWindow main;
    QWidget owner;
    QFont narrow = QApplication::font();
    narrow.setPointSize(6);
    owner.setFont(narrow);
    TfmEditIO edit(main, &owner);
    Look(&edit, "Edit I/O, 6 pt");
    EXPECT_EQ(LoggingRows(edit), 1);
    // Back at the default font (wider here than four in a row allow at
    // 404 pixels): still whole.
    edit.setFont(QApplication::font());
    Look(&edit, "Edit I/O, default font");
}

TEST_F(LayoutFit, PageTitlesWiderThanTheDesign_WindowWidens_EveryTabInView)
{
    // Wider tabs than the design's width holds, as the Windows style draws
    // them at Tahoma.
    const QString before = qApp->styleSheet();
    qApp->setStyleSheet(
        QStringLiteral("QTabBar::tab { padding-left: 30px; padding-right: 30px; }"));
    {
        TForm1 form(errorLog, TPacing::Shrunk(25),
                    QString::fromStdString(zelvo::test::SourcePath("data/networks.xml")),
                    [](const QString &, int) {});
        form.show();
        QApplication::processEvents();
        QTabBar *bar = form.PageControl1->tabBar();
        ASSERT_GT(bar->sizeHint().width(), TForm1::kClientWidth) << "the tabs fit anyway";
        EXPECT_EQ(form.width(), form.ClientWidth());
        EXPECT_GT(form.width(), TForm1::kClientWidth);
        int last = -1;
        for (int i = 0; i < bar->count(); ++i)
            if (bar->isTabVisible(i))
                last = i;
        ASSERT_GE(last, 5);
        EXPECT_EQ(bar->tabRect(0).left(), 0) << "the tab bar is scrolled";
        EXPECT_LE(bar->tabRect(last).right(), bar->width()) << "the last page is out of view";
    }
    qApp->setStyleSheet(before);
}

} // namespace
