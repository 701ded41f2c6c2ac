#pragma once

#include "engine/Enginehost.h"
#include "link/Pacing.h"
#include "protocol/Commands.h"
#include "ui/Accessibility.h"
#include "ui/Dialogseam.h"

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TErrorManager;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTimer;
class QTreeWidget;
class TNetworkSettings;
class TSerialThread;

// The main window: owns the job engine and the network catalogue, turns every
// user action into a job for the engine, and shows what the engine's
// once-a-second poll carries back. It never talks to the unit itself.
class TForm1 : public QMainWindow, public TEngineHost, public TMainWindowSeam
{
    Q_OBJECT
public:
    // Shows one message box with one OK button; kind as TMessageKind
    // (1 error, 2 information).
    using TMessageSink = std::function<void(const QString &text, int kind)>;

    // Runs FormCreate. `log` is the program's log, which the engine writes to
    // and the window shows; it must outlive the window. `catalogue` is the
    // network catalogue file (networks.xml in the working directory by
    // default); `pacing` is the engine's and the poll's (tests shrink it);
    // `sink` shows messages (a modal box when empty).
    explicit TForm1(TErrorManager &log, const TPacing &pacing = TPacing::Production(),
                    const QString &catalogue = QStringLiteral("networks.xml"),
                    TMessageSink sink = {}, QWidget *parent = nullptr);
    // FormDestroy: the engine first (its worker is stopped even in the
    // middle of a job), then the catalogue.
    ~TForm1() override;

    // The dialogs the window opens; not owned, set once after construction.
    void SetDialogs(TDialogSeam *dialogs) { FDialogs = dialogs; }
    // Replaces the modal message box (tests record messages instead).
    void SetMessageSink(TMessageSink sink);

    // ---- TMainWindowSeam ----
    QWidget *MainWidget() override { return this; }
    TSerialThread *Engine() override { return FEngine.get(); }
    bool RequestLogon(const std::string &email, const std::string &password) override;
    TCancelOutcome CancelJob() override;

    // ---- TEngineHost ----
    TErrorManager &ErrorLog() override { return FLog; }
    void OnConnected() override;
    void OnDisconnected() override;
    void ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet) override;
    void SetTabsEnabled(bool enable) override;
    bool IsLoggedOn() const override { return FLoggedOn; }
    void LogonResult(bool success) override;
    void LogonCancelled() override;
    TLiveList ShownLiveList() const override;
    void ClearSnapshot() override;
    void AddSnapshotLine(const QString &line) override;
    void ShowStatusPanels(const QString &panel0, const QString &panel1) override;
    void AddLogLine(const QString &line) override;
    void ShowMessage(const QString &text, TMessageKind kind) override;
    void ShowSignalLevel(std::uint8_t level) override;
    void RefreshStatusLabels(const TReceivedFlags &flags) override;
    // The signal meter's accessible text: "Signal level n of 31, <band>".
    static QString SignalLevelText(int level);

    void SetLoggedOn(bool value);
    bool IsConnected() const { return FConnected; }
    // The progress dialog is up and the window ignores input.
    bool IsWorkingShown() const { return FWorkingShown; }
    bool IsSignalChecking() const;
    // The brand menu's Connect and Logon items (null when the menu is not
    // found by its caption).
    QAction *ConnectItem() const;
    QAction *LogonItem() const;

    // ---- handlers ----
    void Exit1Click();
    // Opens the connect dialog, unless a link is open or being opened (one
    // link at a time).
    void ConnectClick();
    void LogonClick();
    void About1Click();
    void btnGetSnapshotClick();
    void btnActivateLiveReadingsClick();
    void btnActivateIOConfigurationClick();
    void btnUploadIOConfigurationClick();
    void btnSetOutputClick();
    void btnRefreshClick();
    void StopSignalCheckingIfActive();
    void OnTabPageChange(int current);
    void cbConnectionTypeChange();
    void cbCountryChange();
    void cbNetworkChange();
    void btnApplyConnectionSettingsClick();
    void CheckSerialThreadTimer();

    // ---- controls (named as the design names them) ----
    QMenu *mnuFile = nullptr;
    QMenu *mnuBrand = nullptr;
    QMenu *mnuHelp = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *tabBasicInfo = nullptr;
    QWidget *tabIOConfiguration = nullptr;
    QWidget *tabLiveReadings = nullptr;
    QWidget *tabExternalDevices = nullptr;
    QWidget *tabSnapshot = nullptr;
    QWidget *TabSheet1 = nullptr; // Advanced
    QWidget *TabSheet3 = nullptr; // Set Outputs (hidden)

    // Page 0: signal strength.
    QGroupBox *gbSignalStrength = nullptr;
    TSignalBar *shapeSignal = nullptr;
    QPushButton *btnRefresh = nullptr;
    // Page 0: connection settings.
    QGroupBox *gbConnectionSettings = nullptr;
    QComboBox *cbConnectionType = nullptr;
    QLabel *lblConnectionSettings1 = nullptr;
    QLabel *lblConnectionSettings2 = nullptr;
    QLabel *lblConnectionSettings3 = nullptr;
    QLabel *lblConnectionSettings4 = nullptr;
    QLabel *lblConnectionSettings5 = nullptr;
    QComboBox *cbCountry = nullptr;
    QComboBox *cbNetwork = nullptr;
    QLineEdit *edAPN = nullptr;
    QLineEdit *edUsername = nullptr;
    QLineEdit *edPassword = nullptr;
    QCheckBox *chkUseDHCP = nullptr;
    QLineEdit *edIPAddress = nullptr;
    QLineEdit *edNetMask = nullptr;
    QLineEdit *edDefaultGateway = nullptr;
    QLineEdit *edDNSServerIP = nullptr;
    QPushButton *btnApplyConnectionSettings = nullptr;

    // Page 1.
    QTreeWidget *lvIOConfig = nullptr;
    QPushButton *btnActivateIOConfiguration = nullptr;
    QPushButton *btnUploadIOConfiguration = nullptr;
    // Page 2.
    QTreeWidget *lvIOs = nullptr;
    QPushButton *btnActivateLiveReadings = nullptr;
    // Page 3.
    QTreeWidget *lvExternalIO = nullptr;
    QPushButton *btnActivateExternalDevices = nullptr;
    // Page 4.
    QPlainTextEdit *memoSnapshot = nullptr;
    QPushButton *btnGetSnapshot = nullptr;
    // Page 5.
    QPlainTextEdit *ErrorLogMemo = nullptr;
    QLabel *lblLogFile = nullptr;
    QLabel *lblStatusBasicInfo = nullptr;
    QLabel *lblStatusUOMs = nullptr;
    QLabel *lblStatusLogon = nullptr;
    QLabel *lblStatusIOConfiguration = nullptr;
    QLabel *lblStatusUOMList = nullptr;
    QLabel *lblStatusInputTypes = nullptr;
    QLabel *lblStatusModbusInfo = nullptr;
    // Page 6.
    QComboBox *cbOutput = nullptr;
    QComboBox *cbOutputState = nullptr;
    QPushButton *btnSetOutput = nullptr;
    // Status bar panels 0 and 1.
    QLabel *StatusPanel0 = nullptr;
    QLabel *StatusPanel1 = nullptr;

    QTimer *TimerCheckSerialThread = nullptr;

    // The meter's geometry inside the "Signal Strength" group: the bar's
    // fixed bottom edge and pixels per signal level.
    static constexpr int kSignalBarBottom = 265;
    static constexpr int kSignalPixelsPerLevel = 7;
    // The window's client area (below the menu bar).
    static constexpr int kClientWidth = 674;
    static constexpr int kClientHeight = 407;
    // The client area's width: the design's, or what the page titles need
    // at the window's font and style when that is more.
    int ClientWidth() const;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void BuildMenus();
    void BuildPages();
    QWidget *BuildConnectionPage();
    QWidget *BuildIOConfigurationPage();
    QWidget *BuildLiveReadingsPage();
    QWidget *BuildExternalDevicesPage();
    QWidget *BuildSnapshotPage();
    QWidget *BuildAdvancedPage();
    void ShowLogFileLocation(const TErrorManager &log);
    QWidget *BuildSetOutputsPage();
    void FormCreate(const QString &catalogue);

    void ShowMobileFields(bool show);
    void ShowEthernetFields(bool show);
    QMenu *FindBrandMenu() const;
    // The job-posting bracket: hold the worker, post, release.
    void PostJobFromButton(TMessageType code, bool disableTabs);
    void ResetSignalButton();
    void WidenListColumns();
    void SetWindowInputEnabled(bool enabled);

    TErrorManager &FLog;
    TPacing FPacing;
    std::unique_ptr<TSerialThread> FEngine;
    std::unique_ptr<TNetworkSettings> FCatalogue;
    TDialogSeam *FDialogs = nullptr;
    TMessageSink FMessageSink;
    bool FLoggedOn = false;
    bool FConnected = false;
    bool FWorkingShown = false;
    bool FShownOnce = false;
    int FPreviousPage = 0;
};
