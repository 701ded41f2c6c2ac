#pragma once

#include "engine/Enginehost.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

// A host without a window: it records what the engine shows so a front end
// on a terminal (or a test) can print or inspect it. The page is whatever
// SetShownLiveList chose; a logon is remembered when it was accepted.
// Readers on other threads get copies under the lock.
class THeadlessHost : public TEngineHost
{
public:
    struct TMessage {
        QString Text;
        int Kind = 0;
    };

    // `log` is handed to the engine and must outlive the host.
    explicit THeadlessHost(TErrorManager &log) : FErrorLog(log) {}

    TErrorManager &ErrorLog() override { return FErrorLog; }

    void OnConnected() override;
    void OnDisconnected() override;
    void ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet) override;
    void SetTabsEnabled(bool enabled) override;
    bool IsLoggedOn() const override { return FLoggedOn.load(); }
    void LogonResult(bool accepted) override;
    void LogonCancelled() override { ++FLogonCancels; }
    TLiveList ShownLiveList() const override { return FLiveList.load(); }

    void ClearSnapshot() override;
    void AddSnapshotLine(const QString &line) override;
    void ShowStatusPanels(const QString &panel0, const QString &panel1) override;
    void AddLogLine(const QString &line) override;
    void ShowMessage(const QString &text, TMessageKind kind) override;
    void ShowSignalLevel(std::uint8_t level) override;
    void RefreshStatusLabels(const TReceivedFlags &flags) override;

    void SetShownLiveList(TLiveList list) { FLiveList = list; }
    void SetLoggedOn(bool on) { FLoggedOn = on; }

    int ConnectedCount() const { return FConnected.load(); }
    int DisconnectedCount() const { return FDisconnected.load(); }
    int TabsEnabledCount() const { return FTabsEnabled.load(); }
    bool TabsEnabled() const { return FTabsOn.load(); }
    int LogonResults() const { return FLogonResults.load(); }
    int LogonCancels() const { return FLogonCancels.load(); }
    bool HasConnectionSettings() const { return FHasSettings.load(); }
    bool NoEthernet() const { return FNoEthernet.load(); }
    // Fields of the last settings shown, as text ("type=2 apn=... ").
    QString ConnectionSettingsText() const;

    QStringList SnapshotLines() const;
    QString Panel0() const;
    QString Panel1() const;
    // Every status text shown in panel 0, in order.
    QStringList StatusHistory() const;
    // Every panel-1 (store-and-forward) text shown, in order.
    QStringList StoreForwardHistory() const;
    QStringList LogLines() const;
    std::vector<TMessage> Messages() const;
    std::vector<std::uint8_t> SignalLevels() const;
    TReceivedFlags LastFlags() const;

private:
    TErrorManager &FErrorLog;
    mutable std::mutex FLock;
    std::atomic<TLiveList> FLiveList{LIVE_LIST_NONE};
    std::atomic<bool> FLoggedOn{false};
    std::atomic<int> FConnected{0};
    std::atomic<int> FDisconnected{0};
    std::atomic<int> FTabsEnabled{0};
    std::atomic<bool> FTabsOn{true};
    std::atomic<int> FLogonResults{0};
    std::atomic<int> FLogonCancels{0};
    std::atomic<bool> FHasSettings{false};
    std::atomic<bool> FNoEthernet{false};
    QString FSettingsText;
    QStringList FSnapshot;
    QString FPanel0;
    QString FPanel1;
    QStringList FStatusHistory;
    QStringList FSFHistory;
    QStringList FLog;
    std::vector<TMessage> FMessages;
    std::vector<std::uint8_t> FLevels;
    TReceivedFlags FFlags;
};
