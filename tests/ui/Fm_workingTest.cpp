#include "ui/Fm_working.h"

#include "ui/Dialogs.h"
#include "ui/Fm_logon.h"

#include "FakeMainWindow.h"
#include "TestUtil.h"

#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

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

TEST(WorkingDialog, ShippedAnimation_PlaysWhileShown_StopsWhenHidden)
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

TEST(WorkingDialog, MissingTruncatedOrMalformedAnimation_ShowsStaticPicture)
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
TEST(DialogSeam, WorkingFollowsCalls_LogonOutcomeReachesDialog_BannersHaveTheirSize)
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

TEST(DialogSeam, MainWindowDestroyedFirst_DialogsGoWithItOnce)
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
