#include "Fm_working.h"

#include "FakeMainWindow.h"
#include "TestUtil.h"

#include <QFile>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

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
