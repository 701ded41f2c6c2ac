#include "engine/Headlesshost.h"

#include "common/Errormanager.h"
#include "unit/Connectionsettings.h"

void THeadlessHost::OnConnected()
{
    ++FConnected;
}

void THeadlessHost::OnDisconnected()
{
    ++FDisconnected;
    // The window disables its pages when the unit goes away; so does this.
    SetTabsEnabled(false);
}

void THeadlessHost::ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet)
{
    std::lock_guard<std::mutex> lock(FLock);
    FSettingsText = QStringLiteral("type=%1 apn=%2 user=%3 dhcp=%4 ip=%5")
                        .arg(settings.ConnectionType)
                        .arg(QString::fromStdString(settings.APN))
                        .arg(QString::fromStdString(settings.Username))
                        .arg(settings.UseDHCP ? 1 : 0)
                        .arg(settings.IPAddress, 8, 16, QLatin1Char('0'));
    FNoEthernet = noEthernet;
    FHasSettings = true;
}

void THeadlessHost::SetTabsEnabled(bool enabled)
{
    if (enabled)
        ++FTabsEnabled;
    FTabsOn = enabled;
    // Like the window: the change is a status text, logged and flushed at once.
    const QString text =
        enabled ? QStringLiteral("Tabs re-activated") : QStringLiteral("Tabs de-activated");
    FErrorLog.SetStatus(text);
    FErrorLog.AddLog(text);
    FErrorLog.FlushLog();
}

void THeadlessHost::LogonResult(bool accepted)
{
    ++FLogonResults;
    // A refusal logs the unit off; an error elsewhere does not.
    FLoggedOn = accepted;
}

void THeadlessHost::ClearSnapshot()
{
    std::lock_guard<std::mutex> lock(FLock);
    FSnapshot.clear();
}

void THeadlessHost::AddSnapshotLine(const QString &line)
{
    std::lock_guard<std::mutex> lock(FLock);
    FSnapshot.append(line);
}

void THeadlessHost::ShowStatusPanels(const QString &panel0, const QString &panel1)
{
    std::lock_guard<std::mutex> lock(FLock);
    if (FStatusHistory.isEmpty() || FStatusHistory.last() != panel0)
        FStatusHistory.append(panel0);
    if (FSFHistory.isEmpty() || FSFHistory.last() != panel1)
        FSFHistory.append(panel1);
    FPanel0 = panel0;
    FPanel1 = panel1;
}

void THeadlessHost::AddLogLine(const QString &line)
{
    std::lock_guard<std::mutex> lock(FLock);
    FLog.append(line);
}

void THeadlessHost::ShowMessage(const QString &text, TMessageKind kind)
{
    std::lock_guard<std::mutex> lock(FLock);
    FMessages.push_back({text, kind});
}

void THeadlessHost::ShowSignalLevel(std::uint8_t level)
{
    std::lock_guard<std::mutex> lock(FLock);
    FLevels.push_back(level);
}

void THeadlessHost::RefreshStatusLabels(const TReceivedFlags &flags)
{
    std::lock_guard<std::mutex> lock(FLock);
    FFlags = flags;
}

QString THeadlessHost::ConnectionSettingsText() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FSettingsText;
}

QStringList THeadlessHost::SnapshotLines() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FSnapshot;
}

QString THeadlessHost::Panel0() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FPanel0;
}

QString THeadlessHost::Panel1() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FPanel1;
}

QStringList THeadlessHost::StatusHistory() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FStatusHistory;
}

QStringList THeadlessHost::StoreForwardHistory() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FSFHistory;
}

QStringList THeadlessHost::LogLines() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FLog;
}

std::vector<THeadlessHost::TMessage> THeadlessHost::Messages() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FMessages;
}

std::vector<std::uint8_t> THeadlessHost::SignalLevels() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FLevels;
}

TReceivedFlags THeadlessHost::LastFlags() const
{
    std::lock_guard<std::mutex> lock(FLock);
    return FFlags;
}
