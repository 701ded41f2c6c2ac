#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <thread>
#include <vector>

namespace
{

// Log.txt is a text file of the system: lines end in CR LF on Windows, where
// the C runtime's text mode writes "\n" so.
QByteArray Lines(QByteArray text)
{
#ifdef _WIN32
    text.replace("\n", "\r\n");
#endif
    return text;
}

QString TempLogPath()
{
    return QString::fromStdString(zelvo::test::TempDir()) + QStringLiteral("/Log.txt");
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray();
    return f.readAll();
}

// A manager on a fresh log file with its window side recorded.
struct Recorded {
    QString path = TempLogPath();
    TErrorManager manager{path};
    QStringList memo;
    QStringList panels;
    QStringList messages;

    Recorded()
    {
        manager.SetMemoHook([this](const QString &line) { memo << line; });
        manager.SetPanelsHook(
            [this](const QString &p0, const QString &p1) { panels << p0 + "|" + p1; });
        manager.SetMessageHook([this](const QString &text, TMessageKind kind) {
            messages << QString::number(kind) + ":" + text;
        });
    }
};

} // namespace

TEST(TErrorManager, Status_SameTextTwice_FlagsOnceAndPanelsWrittenOnce)
{
    Recorded r;
    r.manager.SetStatus("Connecting");
    EXPECT_TRUE(r.manager.HasNewStatus());
    r.manager.ApplyStatus();
    EXPECT_FALSE(r.manager.HasNewStatus());

    r.manager.SetStatus("Connecting");
    EXPECT_FALSE(r.manager.HasNewStatus());
    r.manager.ApplyStatus();
    EXPECT_EQ(r.panels, QStringList{"Connecting|"});
}

TEST(TErrorManager, StoreForwardChangeAlone_RewritesBothPanels)
{
    Recorded r;
    r.manager.SetStatus("Loading");
    r.manager.ApplyStatus();
    r.manager.SetStoreForwardText("SF_UPLOADING");
    EXPECT_TRUE(r.manager.HasNewStatus());
    r.manager.ApplyStatus();
    EXPECT_EQ(r.panels, (QStringList{"Loading|", "Loading|SF_UPLOADING"}));
}

TEST(TErrorManager, StatusTrail_KeptOnlyWhenAsked_EveryChangeInOrder_Bounded)
{
    using TPair = std::pair<QString, QString>;
    Recorded r;
    // Off by default: the window shows the latest texts only.
    r.manager.SetStatus("Opening Comm Port");
    EXPECT_TRUE(r.manager.TakeStatusTrail().empty());

    // Texts that change faster than any poll are all kept, in order; a
    // repeated text is no change.
    r.manager.SetKeepStatusTrail(true);
    r.manager.SetStatus("Checking device");
    r.manager.SetStatus("Checking device");
    r.manager.SetStatus("Reading unit type");
    r.manager.SetStoreForwardText("SF_IDLE");
    EXPECT_EQ(r.manager.TakeStatusTrail(), (std::vector<TPair>{{"Checking device", ""},
                                                               {"Reading unit type", ""},
                                                               {"Reading unit type", "SF_IDLE"}}));
    EXPECT_TRUE(r.manager.TakeStatusTrail().empty());

    // Nobody taking them: the oldest go first, the newest are kept.
    for (std::size_t i = 0; i < TErrorManager::TrailLimit + 3; ++i)
        r.manager.SetStatus(QString::number(i));
    const auto trail = r.manager.TakeStatusTrail();
    ASSERT_EQ(trail.size(), TErrorManager::TrailLimit);
    EXPECT_EQ(trail.front().first, "3");
    EXPECT_EQ(trail.back().first, QString::number(TErrorManager::TrailLimit + 2));
}

TEST(TErrorManager, AddLog_RepeatedText_LoggedOnceJoinedWithCommaInMemoAndFile)
{
    Recorded r;
    r.manager.AddLog("first");
    r.manager.AddLog("first");
    r.manager.AddLog("second");
    r.manager.FlushLog();
    // The same text again after the flush is still a repeat of the last one.
    r.manager.AddLog("second");
    r.manager.FlushLog();
    // Comparison is case-sensitive.
    r.manager.AddLog("Second");
    r.manager.FlushLog();

    EXPECT_EQ(r.memo, (QStringList{"first, second", "Second"}));
    EXPECT_EQ(ReadFile(r.path), Lines("first, second\nSecond\n"));
}

TEST(TErrorManager, FlushLog_NothingPending_WritesNothing)
{
    Recorded r;
    r.manager.FlushLog();
    EXPECT_TRUE(r.memo.isEmpty());
    EXPECT_TRUE(ReadFile(r.path).isEmpty());
    EXPECT_TRUE(r.manager.LogFileOpen());
}

TEST(TErrorManager, LogFile_SecondRun_AppendsToEarlierLines)
{
    const QString path = TempLogPath();
    {
        TErrorManager run1(path);
        run1.AddLog("run one");
        run1.FlushLog();
    }
    {
        TErrorManager run2(path);
        run2.AddLog("run two");
        run2.FlushLog();
    }
    EXPECT_EQ(ReadFile(path), Lines("run one\nrun two\n"));
}

TEST(TErrorManager, LogFile_CannotBeOpened_KeepsWorkingAndSaysSoOnceInMemo)
{
    const QString path = TempLogPath() + QStringLiteral("/missing-dir/Log.txt");
    TErrorManager manager(path);
    QStringList memo;
    manager.SetMemoHook([&memo](const QString &line) { memo << line; });
    EXPECT_FALSE(manager.LogFileOpen());

    manager.AddLog("Ready");
    manager.FlushLog();
    manager.AddLog("Done");
    manager.FlushLog();

    ASSERT_EQ(memo.size(), 2);
    EXPECT_TRUE(memo[0].startsWith("Could not open " + path)) << memo[0].toStdString();
    EXPECT_TRUE(memo[0].endsWith(", Ready"));
    EXPECT_EQ(memo[1], "Done");
    EXPECT_FALSE(QFile::exists(path));
}

TEST(TErrorManager, QueueMessage_ThreeBeforePoll_OnlyLastShownWithItsKind)
{
    Recorded r;
    EXPECT_FALSE(r.manager.HasQueuedMessage());
    r.manager.QueueMessage("one", MK_INFORMATION);
    r.manager.QueueMessage("two", MK_INFORMATION);
    r.manager.QueueMessage("three", MK_ERROR);
    EXPECT_TRUE(r.manager.HasQueuedMessage());
    r.manager.ShowQueuedMessage();
    EXPECT_FALSE(r.manager.HasQueuedMessage());
    EXPECT_EQ(r.messages, QStringList{"1:three"});
}

TEST(TErrorManager, MessageHook_CallsBackIntoManager_DoesNotDeadlock)
{
    // The box is shown under the lock; the same thread may use the manager.
    TErrorManager manager(TempLogPath());
    QString seen;
    manager.SetMessageHook([&](const QString &, TMessageKind) {
        manager.SetStatus("while the box is open");
        seen = manager.StatusText();
    });
    manager.QueueMessage("hello", MK_INFORMATION);
    manager.ShowQueuedMessage();
    EXPECT_EQ(seen, "while the box is open");
}

TEST(TErrorManager, AddLog_FromManyThreads_EveryDistinctTextReachesTheFile)
{
    Recorded r;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&r, t]() {
            for (int i = 0; i < kPerThread; ++i) {
                r.manager.AddLog(QStringLiteral("t%1-%2").arg(t).arg(i));
                r.manager.SetStatus(QStringLiteral("s%1").arg(i));
            }
        });
    // The UI side flushes while producers run.
    for (int i = 0; i < 50; ++i) {
        r.manager.FlushLog();
        r.manager.ApplyStatus();
    }
    for (auto &w : workers)
        w.join();
    r.manager.FlushLog();

    const QStringList entries = QString::fromLatin1(ReadFile(r.path))
                                    .split(QRegularExpression("[\n]|, "), Qt::SkipEmptyParts);
    EXPECT_EQ(entries.size(), kThreads * kPerThread);
    EXPECT_EQ(r.memo.join(", ").split(", ").size(), kThreads * kPerThread);
}

// No manager is shared behind the scenes: two side by side keep their own
// texts, show them through their own hooks and write their own files.
TEST(TErrorManager, TwoManagers_EachKeepsItsOwnTextsHooksAndFile)
{
    Recorded a;
    Recorded b;
    a.manager.SetStatus("a status");
    a.manager.AddLog("reader failed");
    a.manager.QueueMessage("a message", MK_ERROR);
    b.manager.AddLog("other line");
    EXPECT_EQ(a.manager.PendingLog(), "reader failed");
    EXPECT_EQ(b.manager.PendingLog(), "other line");
    EXPECT_TRUE(b.manager.StatusText().isEmpty());
    EXPECT_FALSE(b.manager.HasNewStatus());
    EXPECT_FALSE(b.manager.HasQueuedMessage());

    for (Recorded *r : {&a, &b}) {
        r->manager.ApplyStatus();
        r->manager.FlushLog();
        if (r->manager.HasQueuedMessage())
            r->manager.ShowQueuedMessage();
    }
    EXPECT_EQ(a.panels, QStringList{"a status|"});
    EXPECT_TRUE(b.panels.isEmpty());
    EXPECT_EQ(a.memo, QStringList{"reader failed"});
    EXPECT_EQ(b.memo, QStringList{"other line"});
    EXPECT_EQ(a.messages, QStringList{"1:a message"});
    EXPECT_TRUE(b.messages.isEmpty());
    EXPECT_EQ(ReadFile(a.path), Lines("reader failed\n"));
    EXPECT_EQ(ReadFile(b.path), Lines("other line\n"));
}
