#pragma once

#include <QString>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

// Kinds of the queued message box; the tool uses error and information.
enum TMessageKind : uint8_t {
    MK_WARNING = 0,
    MK_ERROR = 1,
    MK_INFORMATION = 2,
    MK_CONFIRMATION = 3,
};

// Collects the texts that any thread produces for the user: the two status
// bar panels, a running log (memo and Log.txt) and one queued message box.
// Producers only store texts under the lock; the window's poll takes them out
// on the UI thread. The window side is reached through the hooks below, so
// the manager works (and is tested) without any widget. There is no global
// one: each program's main makes its manager and hands it to the front end,
// and the engine, the unit object and the model readers write to the one they
// are given.
class TErrorManager
{
public:
    // Panel 0 gets the status text, panel 1 the store-and-forward text.
    using TPanelsHook = std::function<void(const QString &panel0, const QString &panel1)>;
    // One flushed log line for the memo.
    using TMemoHook = std::function<void(const QString &line)>;
    // A modal message box with one OK button; returns when it is closed.
    using TMessageHook = std::function<void(const QString &text, TMessageKind kind)>;

    // Opens logPath for appending (by default Log.txt in the working directory,
    // or in the user's data location when that is not writable). If it cannot
    // be opened the manager keeps working without a file and says so once.
    explicit TErrorManager(const QString &logPath);
    ~TErrorManager();
    TErrorManager(const TErrorManager &) = delete;
    TErrorManager &operator=(const TErrorManager &) = delete;

    void SetStatus(const QString &text);
    void SetStoreForwardText(const QString &text);
    void AddLog(const QString &text);
    void QueueMessage(const QString &text, TMessageKind kind);

    bool HasNewStatus() const { return StatusChanged.load(); }

    // Status trail: when kept, every change of the two panel texts is also
    // recorded as (status, store-and-forward text), so a front end that
    // prints each one misses none that lasted less than a poll. Off by
    // default (the window shows the latest only); at most TrailLimit entries
    // are kept, the oldest dropped first.
    static constexpr std::size_t TrailLimit = 512;
    using TStatusTrail = std::vector<std::pair<QString, QString>>;
    void SetKeepStatusTrail(bool keep);
    // Takes the recorded changes, oldest first, and clears the record.
    TStatusTrail TakeStatusTrail();
    void ApplyStatus();
    void FlushLog();
    bool HasQueuedMessage() const { return MessagePending.load(); }
    void ShowQueuedMessage();
    void ShowMessageNow(const QString &text, TMessageKind kind);

    // Hooks to the window side; unset hooks are skipped.
    void SetPanelsHook(TPanelsHook hook);
    void SetMemoHook(TMemoHook hook);
    void SetMessageHook(TMessageHook hook);

    // Snapshots for the poll, the command-line front end and tests.
    QString StatusText() const;
    QString StoreForwardText() const;
    QString MessageText() const;
    TMessageKind MessageKind() const;
    QString PendingLog() const;
    bool LogFileOpen() const;
    QString LogPath() const;

private:
    mutable std::recursive_mutex Lock;
    QString Status;
    QString StoreForward;
    QString Message;
    TMessageKind Kind = MK_INFORMATION;
    QString CurrentEntry;
    QString PreviousEntry;
    QString Pending;
    QString Path;
    std::FILE *LogFile = nullptr;
    std::atomic<bool> StatusChanged{false};
    bool KeepTrail = false;
    TStatusTrail Trail;
    void RecordTrail();
    std::atomic<bool> MessagePending{false};
    TPanelsHook PanelsHook;
    TMemoHook MemoHook;
    TMessageHook MessageHook;
};

// Adds `text` to `log`'s running log; a part given no log (null) logs nowhere.
inline void AddLogTo(TErrorManager *log, const QString &text)
{
    if (log != nullptr)
        log->AddLog(text);
}
