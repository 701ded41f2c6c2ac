#include "common/Errormanager.h"

#include <QFile>

#include <utility>

TErrorManager::TErrorManager(const QString &logPath) : Path(logPath)
{
    LogFile = std::fopen(QFile::encodeName(Path).constData(), "a");
    // Without a log file the tool still runs; the memo tells the user once.
    if (LogFile == nullptr)
        AddLog(QStringLiteral("Could not open %1 for appending - the log is shown here only")
                   .arg(Path));
}

TErrorManager::~TErrorManager()
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (LogFile != nullptr) {
        std::fclose(LogFile);
        LogFile = nullptr;
    }
}

void TErrorManager::SetStatus(const QString &text)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (text != Status) {
        Status = text;
        StatusChanged = true;
        RecordTrail();
    }
}

void TErrorManager::SetStoreForwardText(const QString &text)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (text != StoreForward) {
        StoreForward = text;
        StatusChanged = true;
        RecordTrail();
    }
}

void TErrorManager::RecordTrail()
{
    if (!KeepTrail)
        return;
    if (Trail.size() >= TrailLimit)
        Trail.erase(Trail.begin());
    Trail.emplace_back(Status, StoreForward);
}

void TErrorManager::SetKeepStatusTrail(bool keep)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    KeepTrail = keep;
    if (!keep)
        Trail.clear();
}

TErrorManager::TStatusTrail TErrorManager::TakeStatusTrail()
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    TStatusTrail taken;
    taken.swap(Trail);
    return taken;
}

void TErrorManager::AddLog(const QString &text)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    PreviousEntry = CurrentEntry;
    CurrentEntry = text;
    // A text repeated by consecutive calls is logged once.
    if (PreviousEntry != CurrentEntry) {
        if (!Pending.isEmpty())
            Pending += QStringLiteral(", ");
        Pending += text;
    }
}

void TErrorManager::QueueMessage(const QString &text, TMessageKind kind)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    Kind = kind;
    Message = text;
    MessagePending = true;
}

void TErrorManager::ApplyStatus()
{
    if (!StatusChanged.load())
        return;
    std::lock_guard<std::recursive_mutex> guard(Lock);
    // Both panels are rewritten together, so they never disagree.
    if (PanelsHook)
        PanelsHook(Status, StoreForward);
    StatusChanged = false;
}

void TErrorManager::FlushLog()
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (Pending.isEmpty())
        return;
    if (MemoHook)
        MemoHook(Pending);
    if (LogFile != nullptr) {
        std::fprintf(LogFile, "%s\n", Pending.toLatin1().constData());
        // Flushed at once, so the lines written before a crash survive.
        std::fflush(LogFile);
    }
    Pending.clear();
}

void TErrorManager::ShowQueuedMessage()
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    ShowMessageNow(Message, Kind);
    MessagePending = false;
}

void TErrorManager::ShowMessageNow(const QString &text, TMessageKind kind)
{
    // The lock stays held while the box is open: producers wait for the user.
    std::lock_guard<std::recursive_mutex> guard(Lock);
    if (MessageHook)
        MessageHook(text, kind);
}

void TErrorManager::SetPanelsHook(TPanelsHook hook)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    PanelsHook = std::move(hook);
}

void TErrorManager::SetMemoHook(TMemoHook hook)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    MemoHook = std::move(hook);
}

void TErrorManager::SetMessageHook(TMessageHook hook)
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    MessageHook = std::move(hook);
}

QString TErrorManager::StatusText() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return Status;
}

QString TErrorManager::StoreForwardText() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return StoreForward;
}

QString TErrorManager::MessageText() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return Message;
}

TMessageKind TErrorManager::MessageKind() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return Kind;
}

QString TErrorManager::PendingLog() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return Pending;
}

bool TErrorManager::LogFileOpen() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return LogFile != nullptr;
}

QString TErrorManager::LogPath() const
{
    std::lock_guard<std::recursive_mutex> guard(Lock);
    return Path;
}
