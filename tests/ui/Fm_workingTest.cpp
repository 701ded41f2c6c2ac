#include "ui/Fm_working.h"

#include "ui/Dialogs.h"
#include "ui/Fm_logon.h"

#include "FakeMainWindow.h"
#include "tests/support/TestUtil.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QtTest/qtestspontaneevent.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace
{

QString Shipped()
{
    return QString::fromStdString(zelvo::test::SourcePath("data/Images/working_generic.avi"));
}

// The first `bytes` of the shipped animation in a file of its own.
QString CutCopy(qint64 bytes)
{
    QFile in(Shipped());
    if (!in.open(QIODevice::ReadOnly))
        return {};
    const QString path = QString::fromStdString(zelvo::test::TempDir() + "/cut.avi");
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return {};
    out.write(in.read(bytes));
    return path;
}

TEST(TfmWorking, ShippedAnimation_PlaysWhileShown_StopsWhenHidden)
{
    TFakeMainWindow main;
    TfmWorking dialog(main, Shipped());
    ASSERT_TRUE(dialog.HasAnimation()) << dialog.AnimationError().toStdString();
    EXPECT_EQ(dialog.windowTitle(), "Working...");
    EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);

    dialog.show();
    EXPECT_TRUE(dialog.IsAnimating());
    EXPECT_TRUE(dialog.Animate1->isVisible());
    // The frames advance on the timer.
    EXPECT_TRUE(zelvo::test::WaitFor([&] { return dialog.CurrentFrame() >= 2; }));

    // Neither Esc nor a close request from outside ends it.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());

    dialog.hide();
    EXPECT_FALSE(dialog.IsAnimating());
    dialog.show();
    EXPECT_EQ(dialog.CurrentFrame(), 0);
    EXPECT_TRUE(dialog.IsAnimating());
}

// What assistive technology does to the button: its press action, no mouse.
void PressAccessibly(QWidget *w)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(w);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->text(QAccessible::Name), "Cancel");
    QAccessibleActionInterface *actions = iface->actionInterface();
    ASSERT_NE(actions, nullptr);
    ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
    actions->doAction(QAccessibleActionInterface::pressAction());
}

// A close request as the window manager sends it.
void WindowManagerClose(QWidget *w)
{
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(w, &event);
}

TEST(TfmWorking, CancelByButtonEscOrWindowClose_AsksOnce_DialogStaysUntilClosedByPoll)
{
    struct Row {
        const char *name;
        std::function<void(TfmWorking &)> cancel;
    } rows[] = {
        {"accessible press", [](TfmWorking &d) { PressAccessibly(d.btnCancel); }},
        {"Esc", [](TfmWorking &d) { QTest::keyClick(&d, Qt::Key_Escape); }},
        {"window manager's close", [](TfmWorking &d) { WindowManagerClose(&d); }},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        TFakeMainWindow main;
        TfmWorking dialog(main, Shipped());
        dialog.show();
        ASSERT_TRUE(dialog.btnCancel->isVisible());
        EXPECT_TRUE(dialog.btnCancel->isEnabled());
        EXPECT_FALSE(dialog.lblCancelState->isVisible());
        // Enter is not Cancel: it may still be held from the dialog that
        // started the job.
        QTest::keyClick(dialog.btnCancel, Qt::Key_Return);
        EXPECT_EQ(main.CancelRequests, 0);

        row.cancel(dialog);
        // An accessible press is animated: it lands a moment later.
        ASSERT_TRUE(zelvo::test::WaitFor([&] { return main.CancelRequests == 1; }));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_EQ(dialog.lblCaption->text(), "Cancelling...");
        EXPECT_TRUE(dialog.lblCancelState->isVisible());
        EXPECT_TRUE(dialog.lblCancelState->text().contains("asked to go idle"));
        EXPECT_FALSE(dialog.btnCancel->isEnabled());
        // Asked once: Esc and a second close do nothing more.
        QTest::keyClick(&dialog, Qt::Key_Escape);
        WindowManagerClose(&dialog);
        EXPECT_EQ(main.CancelRequests, 1);
        EXPECT_TRUE(dialog.isVisible());
    }
}

TEST(TfmWorking, CancelOutcomes_RefusedTextsDisableCancel_NextShowStartsPlain)
{
    struct Row {
        TCancelOutcome answer;
        const char *caption;
        const char *text; // part of the explanation, or none
        bool enabledAfter;
    } rows[] = {
        {CANCEL_TOO_LATE, "Waiting...", "the server may still apply them", false},
        {CANCEL_SAVING, "Waiting...", "cannot be cancelled", false},
        {CANCEL_DONE, "Cancelling...", "asked to go idle", false},
        {CANCEL_NOTHING, "Working...", nullptr, true},
    };
    TFakeMainWindow main;
    TfmWorking dialog(main, QStringLiteral("/nonexistent/working_generic.avi"));
    for (const auto &row : rows) {
        SCOPED_TRACE(row.caption);
        main.CancelAnswer = row.answer;
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_EQ(dialog.lblCaption->text(), row.caption);
        EXPECT_EQ(dialog.btnCancel->isEnabled(), row.enabledAfter);
        if (row.text != nullptr)
            EXPECT_TRUE(dialog.lblCancelState->text().contains(row.text))
                << dialog.lblCancelState->text().toStdString();
        else
            EXPECT_FALSE(dialog.lblCancelState->isVisible());
        dialog.hide();
    }
    // A refused cancel turns back into Cancel when the engine says so.
    main.CancelAnswer = CANCEL_TOO_LATE;
    dialog.show();
    dialog.btnCancelClick();
    ASSERT_FALSE(dialog.btnCancel->isEnabled());
    dialog.ShowCancelState(CANCEL_NONE);
    EXPECT_TRUE(dialog.btnCancel->isEnabled());
    EXPECT_EQ(dialog.lblCaption->text(), "Working...");
    EXPECT_FALSE(dialog.lblCancelState->isVisible());
}

TEST(TfmWorking, MissingTruncatedOrMalformedAnimation_ShowsStaticPicture)
{
    const QString garbage = QString::fromStdString(zelvo::test::TempDir() + "/garbage.avi");
    {
        QFile f(garbage);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("RIFF\x10\0\0\0AVI LIST\x04\0\0\0movi", 24));
    }
    const QString files[] = {QStringLiteral("/nonexistent/working_generic.avi"), CutCopy(5000),
                             garbage};
    for (const QString &file : files) {
        TFakeMainWindow main;
        TfmWorking dialog(main, file);
        EXPECT_FALSE(dialog.HasAnimation()) << file.toStdString();
        dialog.show();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.Animate1->isVisible());
        EXPECT_FALSE(dialog.IsAnimating());
        ASSERT_TRUE(dialog.imgBackground->isVisible());
        EXPECT_EQ(dialog.imgBackground->pixmap().size(), QSize(437, 181));
        EXPECT_TRUE(dialog.lblCaption->isVisible());
        dialog.NextFrame(); // harmless without frames
        dialog.hide();
        EXPECT_FALSE(dialog.isVisible());
    }
}

} // namespace

namespace
{

// The seam the window uses: progress shown and hidden, logon outcome routed.
TEST(TDialogSeam, WorkingFollowsCalls_LogonOutcomeReachesDialog_BannersHaveTheirSize)
{
    TFakeMainWindow main;
    TDialogs dialogs(main, Shipped());
    dialogs.CloseConnect(); // not shown: nothing happens
    dialogs.ShowWorking();
    EXPECT_TRUE(dialogs.Working()->isVisible());
    EXPECT_TRUE(dialogs.Working()->IsAnimating());
    dialogs.ShowWorking();
    dialogs.CloseWorking();
    EXPECT_FALSE(dialogs.Working()->isVisible());

    dialogs.LogonFailed();
    EXPECT_EQ(dialogs.Logon()->lblUserMessage->text(), "Logon failed.");
    for (QLabel *banner :
         {dialogs.Logon()->Image1, dialogs.Logon()->Image_generic, dialogs.Logon()->Image_Orvane})
        EXPECT_EQ(banner->pixmap().size(), QSize(444, 71)) << banner->objectName().toStdString();

    // The dialogs belong to the main window and may go with it first.
    EXPECT_EQ(dialogs.Working()->parentWidget(), main.MainWidget());
}

} // namespace

namespace
{

TEST(TDialogSeam, MainWindowDestroyedFirst_DialogsGoWithItOnce)
{
    auto main = std::make_unique<TFakeMainWindow>();
    auto dialogs = std::make_unique<TDialogs>(*main, Shipped());
    QPointer<TfmWorking> working = dialogs->Working();
    main.reset();
    EXPECT_TRUE(working.isNull());
    EXPECT_EQ(dialogs->Logon(), nullptr);
    dialogs.reset(); // must not delete them a second time
}

} // namespace
