// Where the front ends look for their data and put Log.txt.

#include "frontend/Datapaths.h"
#include "tests/support/TestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace
{

QString NewDir(const QString &name)
{
    const QString path = QString::fromStdString(zelvo::test::TempDir()) + QLatin1Char('/') + name;
    QDir().mkpath(path);
    return path;
}

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(DatapathsTest, FindDataFile_WorkingDirectoryFirstThenInstalledElseWorkingPath)
{
    const QString work = NewDir("find-work");
    const QString installed = NewDir("find-share");
    WriteFile(installed + "/networks.xml", "<root/>");
    WriteFile(installed + "/Images/working_generic.avi", "RIFF");

    // Only the installed copy exists: it is used, nested paths included.
    EXPECT_EQ(FindDataFile("networks.xml", work, installed), installed + "/networks.xml");
    EXPECT_EQ(FindDataFile("Images/working_generic.avi", work, installed),
              installed + "/Images/working_generic.avi");

    // A catalogue in the working directory wins over the installed one.
    WriteFile(work + "/networks.xml", "<root/>");
    EXPECT_EQ(FindDataFile("networks.xml", work, installed), work + "/networks.xml");

    // Found nowhere: the working-directory path, which messages then name.
    EXPECT_EQ(FindDataFile("missing.xml", work, installed), work + "/missing.xml");
    EXPECT_EQ(FindDataFile("missing.xml", work, QString()), work + "/missing.xml");
}

#ifdef _WIN32
TEST(DatapathsTest, InstalledDataDir_IsTheExecutablesOwnFolder)
{
    // Installed and portable trees hold networks.xml and Images\ beside the
    // program.
    EXPECT_EQ(InstalledDataDir(), QCoreApplication::applicationDirPath());
}

TEST(DatapathsTest, UserDataDir_IsUnderLocalAppData)
{
    const QByteArray saved = qgetenv("LOCALAPPDATA");
    const QString local = NewDir("local-app-data");
    qputenv("LOCALAPPDATA", QDir::toNativeSeparators(local).toLocal8Bit());
    EXPECT_EQ(UserDataDir(), local + "/zelvo-marlune");
    qunsetenv("LOCALAPPDATA");
    EXPECT_EQ(UserDataDir(), QString());
    if (!saved.isNull())
        qputenv("LOCALAPPDATA", saved);
}

TEST(DatapathsTest, CanAppendTo_TheCheckLeavesNothingBehind_ADirectoryIsRefused)
{
    const QString dir = NewDir("append-check");
    EXPECT_TRUE(CanAppendTo(dir + "/Log.txt"));
    EXPECT_FALSE(QFileInfo::exists(dir + "/Log.txt"));
    WriteFile(dir + "/Log.txt", "kept\n");
    EXPECT_TRUE(CanAppendTo(dir + "/Log.txt"));
    EXPECT_EQ(ReadFile(dir + "/Log.txt"), QByteArray("kept\n"));
    QDir().mkpath(dir + "/blocked/Log.txt");
    EXPECT_FALSE(CanAppendTo(dir + "/blocked/Log.txt"));
}
#else
TEST(DatapathsTest, InstalledDataDir_IsShareNextToTheExecutablesPrefix)
{
    // The test program runs from the build tree: <dir>/../share/zelvo-marlune.
    const QString expected =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../share/zelvo-marlune");
    EXPECT_EQ(InstalledDataDir(), expected);
}
#endif

TEST(DatapathsTest, ChooseLogFilePath_WritableWorkingDirectory_LeavesNothingBehind)
{
    const QString work = NewDir("log-writable");
    const QString user = NewDir("log-user-unused") + "/zelvo-marlune";
    EXPECT_EQ(ChooseLogFilePath(work, user), work + "/Log.txt");
    // The check itself neither creates Log.txt nor the user directory.
    EXPECT_FALSE(QFileInfo::exists(work + "/Log.txt"));
    EXPECT_FALSE(QFileInfo::exists(user));
}

TEST(DatapathsTest, ChooseLogFilePath_ExistingLogIsKeptUnchanged)
{
    const QString work = NewDir("log-existing");
    WriteFile(work + "/Log.txt", "earlier run\n");
    EXPECT_EQ(ChooseLogFilePath(work, NewDir("log-user-2")), work + "/Log.txt");
    EXPECT_EQ(ReadFile(work + "/Log.txt"), QByteArray("earlier run\n"));
}

TEST(DatapathsTest, ChooseLogFilePath_UnwritableWorkingDirectory_UsesUserDirAndCreatesIt)
{
    // Cases that hold for root too: a working directory that is gone, and a
    // Log.txt that cannot be opened for writing (a directory of that name).
    const QString user = NewDir("log-user-3") + "/nested/zelvo-marlune";
    const QString gone = NewDir("log-gone") + "/no-such-dir";
    EXPECT_EQ(ChooseLogFilePath(gone, user), user + "/Log.txt");
    EXPECT_TRUE(QFileInfo(user).isDir());
    EXPECT_FALSE(QFileInfo::exists(gone));

    const QString blocked = NewDir("log-blocked");
    QDir().mkpath(blocked + "/Log.txt");
    EXPECT_EQ(ChooseLogFilePath(blocked, user), user + "/Log.txt");
}

TEST(DatapathsTest, ChooseLogFilePath_NoUserDir_StaysInWorkingDirectory)
{
    // Without a home there is nowhere better; the error manager then reports
    // that the file could not be opened.
    const QString gone = NewDir("log-nohome") + "/no-such-dir";
    EXPECT_EQ(ChooseLogFilePath(gone, QString()), gone + "/Log.txt");
}

#ifndef _WIN32
TEST(DatapathsTest, UserDataDir_FollowsXdgDataHome)
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    const QString xdg = NewDir("xdg-data");
    qputenv("XDG_DATA_HOME", QFile::encodeName(xdg));
    EXPECT_EQ(UserDataDir(), xdg + "/zelvo-marlune");
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}
#endif
