#include "ui/Fm_main.h"

#include "ui/Fm_report.h"
#include "ui/Networklists.h"
#include "ui/Treelistview.h"

#include "common/Branding.h"
#include "common/Errormanager.h"
#include "engine/Serialthread.h"
#include "frontend/Session.h"
#include "model/Ios.h"
#include "model/Serversideios.h"
#include "network/Ipaddress.h"
#include "network/Networksettings.h"
#include "network/Settingslimits.h"
#include "protocol/Commands.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace
{

const QString kBrand = QString::fromLatin1(Branding::BrandName);

const char *const kTabsOn = "Tabs re-activated";
const char *const kTabsOff = "Tabs de-activated";
const char *const kStartSignal = "Start Signal Checking...";
const char *const kStopSignal = "Stop Signal Checking...";
const char *const kUploadReminder =
    "Changes have been made to IOConfig, don't forget to upload them";
const char *const kNoChanges = "No changes to upload";
// The changes do not fit one upload: those that fit go now, the rest stay
// marked for the next "Save".
const char *const kPartialUpload =
    "Not all of the IO Configuration changes fit in one upload.\nThis upload sends those that "
    "fit; press \"Save\" again when it has finished to upload the rest.";
const char *const kPartialPending =
    "Changes have been made to IOConfig that need more than one upload.\nPress \"Save\" on the "
    "IO Configuration page once for each part until all of them are uploaded.";

// The design's font. On Windows Tahoma is the system's own; elsewhere Debian's
// fonts-wine ships a metric-compatible one; without it the platform's nearest
// face is used.
QFont DesignFont()
{
#ifndef _WIN32
    static const bool loaded = [] {
        const QString path = QStringLiteral("/usr/share/wine/fonts/tahoma.ttf");
        if (QFile::exists(path))
            QFontDatabase::addApplicationFont(path);
        const QString bold = QStringLiteral("/usr/share/wine/fonts/tahomabd.ttf");
        if (QFile::exists(bold))
            QFontDatabase::addApplicationFont(bold);
        return true;
    }();
    (void)loaded;
#endif
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSize(8);
    return font;
}

QString PlainCaption(QString caption)
{
    caption.remove(QLatin1Char('&'));
    return caption;
}

// The brand menu's caption keeps the design's Alt shortcut on its first
// letter; an '&' in the brand itself is shown, not taken for a marker.
QString BrandMenuCaption()
{
    QString caption = kBrand;
    caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QLatin1Char('&') + caption;
}

QLabel *ColouredBand(QWidget *parent, const QString &caption, const QColor &colour, int top,
                     int bottom)
{
    auto *band = new QLabel(caption, parent);
    band->setAlignment(Qt::AlignCenter);
    band->setAutoFillBackground(true);
    QPalette p = band->palette();
    p.setColor(QPalette::Window, colour);
    p.setColor(QPalette::WindowText, Qt::black);
    band->setPalette(p);
    band->setGeometry(22, top, 88, bottom - top);
    return band;
}

QTreeWidget *ListView(QWidget *parent)
{
    auto *view = new QTreeWidget(parent);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return view;
}

QLabel *StatusLabel(const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setProperty("Caption", caption);
    label->setText(caption + QStringLiteral(": No"));
    return label;
}

void SetYesNo(QLabel *label, bool yes)
{
    label->setText(label->property("Caption").toString() +
                   (yes ? QStringLiteral(": Yes") : QStringLiteral(": No")));
}

} // namespace

TForm1::TForm1(TErrorManager &log, const TPacing &pacing, const QString &catalogue,
               TMessageSink sink, QWidget *parent)
    : QMainWindow(parent), FLog(log), FPacing(pacing), FMessageSink(std::move(sink))
{
    // Before any widget is asked for its interface.
    InstallAccessibleFactories();
    if (!FMessageSink) {
        FMessageSink = [this](const QString &text, int kind) {
            if (kind == MK_ERROR)
                QMessageBox::critical(this, QStringLiteral("Error"), text);
            else
                QMessageBox::information(this, QStringLiteral("Information"), text);
        };
    }
    setFont(DesignFont());
    // Single border with the system menu and the iconify button only.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    BuildMenus();
    BuildPages();

    // Two 200-pixel panels: the status text and the store-and-forward state.
    statusBar()->setSizeGripEnabled(false);
    StatusPanel0 = new QLabel(this);
    StatusPanel0->setFixedWidth(200);
    StatusPanel1 = new QLabel(this);
    StatusPanel1->setFixedWidth(200);
    statusBar()->addWidget(StatusPanel0);
    statusBar()->addWidget(StatusPanel1);

    // The client area keeps the design's size; the menu bar sits above it.
    setFixedSize(ClientWidth(), menuBar()->sizeHint().height() + kClientHeight);

    FormCreate(catalogue);

    // The once-a-second poll of the job engine.
    TimerCheckSerialThread = new QTimer(this);
    TimerCheckSerialThread->setInterval(FPacing.WorkerStep);
    connect(TimerCheckSerialThread, &QTimer::timeout, this, &TForm1::CheckSerialThreadTimer);
    TimerCheckSerialThread->start();
}

TForm1::~TForm1()
{
    // FormDestroy. The engine goes first: its destructor aborts the link, so
    // a job or save in progress ends at once and the worker is waited for.
    if (TimerCheckSerialThread)
        TimerCheckSerialThread->stop();
    // Pages removed while the widgets are torn down must not reach the
    // handlers of a window that is already gone.
    disconnect(PageControl1, nullptr, this, nullptr);
    FEngine.reset();
    FCatalogue.reset();
}

void TForm1::SetMessageSink(TMessageSink sink)
{
    if (sink)
        FMessageSink = std::move(sink);
}

// ---- construction ----

void TForm1::BuildMenus()
{
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    connect(mnuFile->addAction(QStringLiteral("&Exit")), &QAction::triggered, this,
            &TForm1::Exit1Click);
    InstallReportAction(*this);
    // Design-time caption; FormCreate gives it the brand name.
    mnuBrand = menuBar()->addMenu(QStringLiteral("&Zelvo"));
    connect(mnuBrand->addAction(QStringLiteral("&Connect")), &QAction::triggered, this,
            &TForm1::ConnectClick);
    QAction *logon = mnuBrand->addAction(QStringLiteral("&Logon"));
    logon->setEnabled(false);
    connect(logon, &QAction::triggered, this, &TForm1::LogonClick);
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    connect(mnuHelp->addAction(QStringLiteral("&About")), &QAction::triggered, this,
            &TForm1::About1Click);
}

int TForm1::ClientWidth() const
{
    // The design's width, unless the page titles need more at this font and
    // style (Tahoma with the Windows style does): a tab bar with scroll
    // arrows would hide pages from view. The frame's few pixels stay beside
    // the last title.
    constexpr int kTabFrame = 4;
    return std::max(kClientWidth, PageControl1->tabBar()->sizeHint().width() + kTabFrame);
}

void TForm1::BuildPages()
{
    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControl1 = new QTabWidget(central);
    layout->addWidget(PageControl1);
    setCentralWidget(central);

    tabBasicInfo = BuildConnectionPage();
    tabIOConfiguration = BuildIOConfigurationPage();
    tabLiveReadings = BuildLiveReadingsPage();
    tabExternalDevices = BuildExternalDevicesPage();
    tabSnapshot = BuildSnapshotPage();
    TabSheet1 = BuildAdvancedPage();
    TabSheet3 = BuildSetOutputsPage();
    PageControl1->addTab(tabBasicInfo, QStringLiteral("Connections Settings"));
    PageControl1->addTab(tabIOConfiguration, QStringLiteral("IO Configuration"));
    PageControl1->addTab(tabLiveReadings, QStringLiteral("Live Values (Standard IO)"));
    PageControl1->addTab(tabExternalDevices, QStringLiteral("Live Values (External IO)"));
    PageControl1->addTab(tabSnapshot, QStringLiteral("Snapshot"));
    PageControl1->addTab(TabSheet1, QStringLiteral("Advanced"));
    PageControl1->addTab(TabSheet3, QStringLiteral("Set Outputs"));
    PageControl1->setTabVisible(6, false);
    // Off as well: the tab bar's arrow keys and wheel and the page control's
    // Ctrl+Tab pass over tabs that are off, but not over hidden ones.
    PageControl1->setTabEnabled(6, false);
    PageControl1->setCurrentIndex(0);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TForm1::OnTabPageChange);
}

QWidget *TForm1::BuildConnectionPage()
{
    auto *page = new QWidget;

    // The signal meter: absolute geometry, as the design gives it in pixels.
    gbSignalStrength = new QGroupBox(QStringLiteral("Signal Strength"), page);
    gbSignalStrength->setGeometry(6, 4, 184, 334);
    auto *title = new QLabel(QStringLiteral("Signal Strength Meter"), gbSignalStrength);
    title->setGeometry(14, 20, 160, 18);
    auto *frame = new QFrame(gbSignalStrength);
    frame->setFrameShape(QFrame::Box);
    frame->setGeometry(16, 42, 140, 227);
    ColouredBand(gbSignalStrength, QStringLiteral("Good"), QColor(0, 255, 0), 46, 172);
    ColouredBand(gbSignalStrength, QStringLiteral("OK"), QColor(183, 255, 0), 172, 200);
    ColouredBand(gbSignalStrength, QStringLiteral("Borderline"), QColor(255, 153, 102), 200, 221);
    ColouredBand(gbSignalStrength, QStringLiteral("Poor"), QColor(255, 0, 0), 221, 265);
    shapeSignal = new TSignalBar(gbSignalStrength);
    shapeSignal->setObjectName(QStringLiteral("shapeSignal"));
    shapeSignal->setAutoFillBackground(true);
    QPalette black = shapeSignal->palette();
    black.setColor(QPalette::Window, Qt::black);
    shapeSignal->setPalette(black);
    // Design-time place: top 249, height 16, so its bottom is the fixed 265.
    shapeSignal->setGeometry(120, kSignalBarBottom - 16, 24, 16);
    shapeSignal->setAccessibleName(SignalLevelText(0));
    btnRefresh = new QPushButton(QString::fromLatin1(kStartSignal), gbSignalStrength);
    btnRefresh->setGeometry(14, 290, 156, 26);
    btnRefresh->setProperty("Tag", 0);
    connect(btnRefresh, &QPushButton::clicked, this, &TForm1::btnRefreshClick);

    gbConnectionSettings = new QGroupBox(QStringLiteral("Connection Settings"), page);
    gbConnectionSettings->setGeometry(196, 4, 466, 334);
    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    grid->addWidget(new QLabel(QStringLiteral("Connection Type")), 0, 0);
    cbConnectionType = new QComboBox;
    cbConnectionType->addItem(QStringLiteral("Mobile (GPRS)"));
    cbConnectionType->addItem(QStringLiteral("Ethernet"));
    grid->addWidget(cbConnectionType, 0, 1);
    // State changes, not clicks: the keyboard and assistive technology
    // change a choice without a mouse click.
    connect(cbConnectionType, &QComboBox::currentIndexChanged, this,
            &TForm1::cbConnectionTypeChange);

    QLabel **labels[] = {&lblConnectionSettings1, &lblConnectionSettings2, &lblConnectionSettings3,
                         &lblConnectionSettings4, &lblConnectionSettings5};
    for (int i = 0; i < 5; ++i) {
        *labels[i] = new QLabel;
        grid->addWidget(*labels[i], i + 1, 0);
    }
    cbCountry = new QComboBox;
    cbNetwork = new QComboBox;
    edAPN = new QLineEdit;
    edUsername = new QLineEdit;
    edPassword = new QLineEdit; // shown in clear
    chkUseDHCP = new QCheckBox;
    edIPAddress = new QLineEdit;
    edNetMask = new QLineEdit;
    edDefaultGateway = new QLineEdit;
    edDNSServerIP = new QLineEdit;
    // The row labels change with the connection type; each field carries its
    // own name for assistive technology.
    cbConnectionType->setAccessibleName(QStringLiteral("Connection Type"));
    const std::pair<QWidget *, const char *> names[] = {{cbCountry, "Country"},
                                                        {cbNetwork, "Network"},
                                                        {edAPN, "APN"},
                                                        {edUsername, "Username"},
                                                        {edPassword, "Password"},
                                                        {chkUseDHCP, "Use DHCP"},
                                                        {edIPAddress, "IP Address"},
                                                        {edNetMask, "Net Mask"},
                                                        {edDefaultGateway, "Default Gateway"},
                                                        {edDNSServerIP, "DNS Server IP Address"}};
    for (const auto &[widget, name] : names)
        widget->setAccessibleName(QString::fromLatin1(name));
    QWidget *mobile[] = {cbCountry, cbNetwork, edAPN, edUsername, edPassword};
    QWidget *ethernet[] = {chkUseDHCP, edIPAddress, edNetMask, edDefaultGateway, edDNSServerIP};
    for (int i = 0; i < 5; ++i) {
        // Both field sets share the rows; one of them is hidden.
        auto *cell = new QWidget;
        auto *stack = new QHBoxLayout(cell);
        stack->setContentsMargins(0, 0, 0, 0);
        stack->addWidget(mobile[i]);
        stack->addWidget(ethernet[i]);
        cell->setFixedHeight(cbConnectionType->sizeHint().height());
        grid->addWidget(cell, i + 1, 1);
    }
    grid->setColumnStretch(1, 1);
    connect(cbCountry, &QComboBox::currentIndexChanged, this, &TForm1::cbCountryChange);
    connect(cbNetwork, &QComboBox::currentIndexChanged, this, &TForm1::cbNetworkChange);

    btnApplyConnectionSettings = new QPushButton(QStringLiteral("Save"));
    btnApplyConnectionSettings->setFixedWidth(90);
    connect(btnApplyConnectionSettings, &QPushButton::clicked, this,
            &TForm1::btnApplyConnectionSettingsClick);

    auto *important = new QLabel(QStringLiteral("Important"));
    QPalette red = important->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    important->setPalette(red);
    QFont f = important->font();
    f.setBold(true);
    f.setUnderline(true);
    important->setFont(f);

    auto *box = new QVBoxLayout(gbConnectionSettings);
    box->setSpacing(4);
    box->addLayout(grid);
    box->addSpacing(4);
    box->addWidget(btnApplyConnectionSettings, 0, Qt::AlignRight);
    box->addWidget(important);
    for (const char *note :
         {"If the saving of settings was successful the unit will reset (indicated by a double "
          "beep).",
          "You will need to re-connect the software to the unit (via the menus above).",
          "If connecting to a VELLO then the SYNC button needs to be held down and the unit "
          "reset again."}) {
        auto *label = new QLabel(QString::fromLatin1(note));
        label->setWordWrap(true);
        box->addWidget(label);
    }
    box->addStretch(1);

    ShowEthernetFields(false);
    ShowMobileFields(true);
    return page;
}

QWidget *TForm1::BuildIOConfigurationPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    lvIOConfig = ListView(page);
    // Enter and F2 on a row open it as a double-click does.
    lvIOConfig->installEventFilter(this);
    layout->addWidget(lvIOConfig);
    auto *row = new QHBoxLayout;
    auto *notes = new QVBoxLayout;
    notes->setSpacing(0);
    notes->addWidget(
        new QLabel(QStringLiteral("To be able to edit  the IO Configuration you must ")));
    notes->addWidget(new QLabel(QStringLiteral("be logged in.")));
    row->addLayout(notes);
    row->addStretch(1);
    btnActivateIOConfiguration = new QPushButton(QStringLiteral("Load"));
    btnUploadIOConfiguration = new QPushButton(QStringLiteral("Save"));
    row->addWidget(btnActivateIOConfiguration);
    row->addWidget(btnUploadIOConfiguration);
    layout->addLayout(row);
    connect(btnActivateIOConfiguration, &QPushButton::clicked, this,
            &TForm1::btnActivateIOConfigurationClick);
    connect(btnUploadIOConfiguration, &QPushButton::clicked, this,
            &TForm1::btnUploadIOConfigurationClick);
    return page;
}

QWidget *TForm1::BuildLiveReadingsPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    lvIOs = ListView(page);
    layout->addWidget(lvIOs);
    auto *row = new QHBoxLayout;
    row->addWidget(new QLabel(
        QStringLiteral("To use this feature you need to Activate Live Readings first.")));
    row->addStretch(1);
    btnActivateLiveReadings = new QPushButton(QStringLiteral("Activate Live Readings..."));
    row->addWidget(btnActivateLiveReadings);
    layout->addLayout(row);
    connect(btnActivateLiveReadings, &QPushButton::clicked, this,
            &TForm1::btnActivateLiveReadingsClick);
    return page;
}

QWidget *TForm1::BuildExternalDevicesPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    lvExternalIO = ListView(page);
    layout->addWidget(lvExternalIO);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    btnActivateExternalDevices = new QPushButton(QStringLiteral("Download External Devices..."));
    row->addWidget(btnActivateExternalDevices);
    layout->addLayout(row);
    // The same chain as "Load": the external I/O come with the configuration.
    connect(btnActivateExternalDevices, &QPushButton::clicked, this,
            &TForm1::btnActivateIOConfigurationClick);
    return page;
}

QWidget *TForm1::BuildSnapshotPage()
{
    auto *page = new QWidget;
    auto *layout = new QVBoxLayout(page);
    memoSnapshot = new QPlainTextEdit(page);
    memoSnapshot->setReadOnly(true);
    memoSnapshot->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoSnapshot->appendPlainText(
        QStringLiteral("Log flags need to be set for the I/O before getting a snapshot."));
    memoSnapshot->appendPlainText(
        QStringLiteral("Press \"Get new snapshot..\" to fetch a new snapshot."));
    layout->addWidget(memoSnapshot);
    auto *row = new QHBoxLayout;
    row->addStretch(1);
    btnGetSnapshot = new QPushButton(QStringLiteral("Get new snapshot..."));
    row->addWidget(btnGetSnapshot);
    layout->addLayout(row);
    connect(btnGetSnapshot, &QPushButton::clicked, this, &TForm1::btnGetSnapshotClick);
    return page;
}

void TForm1::ShowLogFileLocation(const TErrorManager &log)
{
    const QString path = QDir::toNativeSeparators(log.LogPath());
    const QString text = log.LogFileOpen()
                             ? QStringLiteral("Log file: %1").arg(path)
                             : QStringLiteral("Log file: none, %1 cannot be written").arg(path);
    // A long path is shortened in the middle; the tooltip has it whole.
    lblLogFile->setToolTip(text);
    lblLogFile->setText(lblLogFile->fontMetrics().elidedText(text, Qt::ElideMiddle, 480));
}

QWidget *TForm1::BuildAdvancedPage()
{
    auto *page = new QWidget;
    auto *layout = new QHBoxLayout(page);
    ErrorLogMemo = new QPlainTextEdit(page);
    ErrorLogMemo->setReadOnly(true);
    // Under the memo: the file the log is also appended to.
    auto *memoColumn = new QVBoxLayout;
    memoColumn->addWidget(ErrorLogMemo, 1);
    lblLogFile = new QLabel(page);
    lblLogFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    memoColumn->addWidget(lblLogFile);
    layout->addLayout(memoColumn, 1);
    auto *labels = new QVBoxLayout;
    lblStatusBasicInfo = StatusLabel(QStringLiteral("Basic Info"), page);
    lblStatusUOMs = StatusLabel(QStringLiteral("UOMs"), page);
    lblStatusLogon = StatusLabel(QStringLiteral("Logged On"), page);
    lblStatusIOConfiguration = StatusLabel(QStringLiteral("IO Configuration"), page);
    lblStatusUOMList = StatusLabel(QStringLiteral("UOM Lists"), page);
    lblStatusInputTypes = StatusLabel(QStringLiteral("Input Types"), page);
    lblStatusModbusInfo = StatusLabel(QStringLiteral("Modbus Data"), page);
    for (QLabel *l : {lblStatusBasicInfo, lblStatusUOMs, lblStatusLogon, lblStatusIOConfiguration,
                      lblStatusUOMList, lblStatusInputTypes, lblStatusModbusInfo}) {
        l->setMinimumWidth(130);
        labels->addWidget(l);
    }
    labels->addStretch(1);
    layout->addLayout(labels);
    return page;
}

QWidget *TForm1::BuildSetOutputsPage()
{
    auto *page = new QWidget;
    auto *layout = new QGridLayout(page);
    cbOutput = new QComboBox(page);
    for (const char *name : kOutputNames)
        cbOutput->addItem(QString::fromLatin1(name));
    cbOutput->addItem(QString());
    cbOutputState = new QComboBox(page);
    cbOutputState->addItems({QStringLiteral("Off"), QStringLiteral("On")});
    btnSetOutput = new QPushButton(QStringLiteral("Set Output"), page);
    layout->addWidget(cbOutput, 0, 0);
    layout->addWidget(cbOutputState, 0, 1);
    layout->addWidget(btnSetOutput, 0, 2);
    layout->addWidget(new QLabel(QStringLiteral("Feedback:"), page), 1, 0);
    layout->setRowStretch(2, 1);
    connect(btnSetOutput, &QPushButton::clicked, this, &TForm1::btnSetOutputClick);
    return page;
}

void TForm1::FormCreate(const QString &catalogue)
{
    // 1. Title and the brand menu's caption.
    setWindowTitle(kBrand + QStringLiteral(" Marlune"));
    for (QAction *a : menuBar()->actions())
        if (a->menu() &&
            PlainCaption(a->text()).compare(QStringLiteral("Zelvo"), Qt::CaseInsensitive) == 0)
            a->setText(BrandMenuCaption());

    // 2. Where the program's log is appended.
    ShowLogFileLocation(FLog);

    // 3. The job engine, with the three list views it fills (each through
    // an adapter that lives as long as its tree).
    FEngine = std::make_unique<TSerialThread>(this, FPacing);
    FEngine->AttachListViews(new TTreeListView(lvIOs), new TTreeListView(lvIOConfig),
                             new TTreeListView(lvExternalIO));
    WidenListColumns();
    TServerSideIOs::TEditHooks hooks;
    hooks.IsLoggedOn = [this] { return IsLoggedOn(); };
    hooks.EditIO = [this](TServerSideIO *record, TZelvo *unit) {
        if (FDialogs)
            FDialogs->EditIO(record, unit);
    };
    hooks.Logon = [this] { LogonClick(); };
    FEngine->Unit()->ServerSideIOs().SetEditHooks(std::move(hooks));
    // A double-clicked live value asks for its number in an input box of its
    // own, not over the window.
    FEngine->Unit()->IOs().SetInputQuery(
        [](const QString &caption, const QString &prompt, QString &text) {
            bool ok = false;
            const QString answer =
                QInputDialog::getText(nullptr, caption, prompt, QLineEdit::Normal, text, &ok);
            if (ok)
                text = answer;
            return ok;
        });

    // 4.
    FLoggedOn = FConnected = FWorkingShown = false;

    // 5. The network catalogue and the default country's networks. A file
    // that cannot be read leaves both lists empty; the window still opens.
    FCatalogue = std::make_unique<TNetworkSettings>();
    QString error;
    if (FCatalogue->TryLoadCatalogue(catalogue, &error)) {
        {
            const QSignalBlocker block(cbCountry);
            FillCountryList(*FCatalogue, cbCountry);
        }
        cbCountryChange();
    } else {
        ShowMessage(error, MK_ERROR);
    }

    // 6. Nothing to work on until a unit is connected.
    SetTabsEnabled(false);
}

void TForm1::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (FShownOnce)
        return;
    FShownOnce = true;
    // Centred on the desktop, then the connect dialog on top of it.
    if (QScreen *s = screen()) {
        const QRect desk = s->geometry();
        move(desk.left() + desk.width() / 2 - frameGeometry().width() / 2,
             desk.top() + desk.height() / 2 - frameGeometry().height() / 2);
    }
    QTimer::singleShot(0, this, &TForm1::ConnectClick);
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lvIOConfig && event->type() == QEvent::KeyPress && FEngine) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
            FEngine->Unit()->ServerSideIOs().ConfigViewDoubleClick();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

// ---- menus ----

QMenu *TForm1::FindBrandMenu() const
{
    for (QAction *a : menuBar()->actions())
        if (a->menu() && PlainCaption(a->text()).compare(kBrand, Qt::CaseInsensitive) == 0)
            return a->menu();
    return nullptr;
}

QAction *TForm1::ConnectItem() const
{
    QMenu *m = FindBrandMenu();
    return m && m->actions().size() > 0 ? m->actions().at(0) : nullptr;
}

QAction *TForm1::LogonItem() const
{
    QMenu *m = FindBrandMenu();
    return m && m->actions().size() > 1 ? m->actions().at(1) : nullptr;
}

void TForm1::Exit1Click()
{
    close();
}

void TForm1::ConnectClick()
{
    // One link at a time: while one is open or being opened, choosing a port
    // again would re-point the open link.
    if (FEngine->LinkState() != LINK_IDLE) {
        ShowMessage(QStringLiteral("The ") + kBrand +
                        QStringLiteral(" is already connected or being connected."),
                    MK_INFORMATION);
        return;
    }
    if (FDialogs)
        FDialogs->ShowConnect();
}

void TForm1::LogonClick()
{
    if (FDialogs)
        FDialogs->ShowLogon();
}

void TForm1::About1Click()
{
    if (FDialogs)
        FDialogs->ShowAbout();
}

// ---- operations for the engine and the dialogs ----

void TForm1::WidenListColumns()
{
    // The lists' own widths leave most of the window empty and cut names and
    // values; the window shares its width out instead, the last column
    // taking the rest.
    const auto widths = [](QTreeWidget *view, std::initializer_list<int> columns) {
        int i = 0;
        for (int w : columns)
            if (i < view->columnCount())
                view->setColumnWidth(i++, w);
        view->header()->setStretchLastSection(true);
    };
    widths(lvIOs, {170, 70, 110});
    widths(lvIOConfig, {230, 80});
    widths(lvExternalIO, {140, 70, 85, 80, 90, 140});
}

void TForm1::OnConnected()
{
    FConnected = true;
    UpdateReportAction(*this);
    // Reading the unit type rebuilt the unit's own list with its widths.
    WidenListColumns();
    if (FDialogs)
        FDialogs->CloseConnect();
    if (QAction *logon = LogonItem())
        logon->setEnabled(true);
    if (QAction *item = ConnectItem())
        item->setEnabled(false);
}

void TForm1::OnDisconnected()
{
    FConnected = false;
    UpdateReportAction(*this);
    if (QAction *logon = LogonItem())
        logon->setEnabled(false);
    if (QAction *item = ConnectItem())
        item->setEnabled(true);
    if (FDialogs)
        FDialogs->CloseConnect();
    SetTabsEnabled(false);
    ShowMessage(kBrand + QStringLiteral(" disconnected"), MK_INFORMATION);
    ResetSignalButton();
}

void TForm1::ResetSignalButton()
{
    btnRefresh->setText(QString::fromLatin1(kStartSignal));
    btnRefresh->setProperty("Tag", 0);
    gbConnectionSettings->setEnabled(true);
}

bool TForm1::IsSignalChecking() const
{
    return btnRefresh->property("Tag").toInt() != 0;
}

void TForm1::SetTabsEnabled(bool enable)
{
    const QString text = QString::fromLatin1(enable ? kTabsOn : kTabsOff);
    FLog.SetStatus(text);
    FLog.AddLog(text);
    FLog.FlushLog();

    for (QWidget *w :
         {tabBasicInfo, static_cast<QWidget *>(btnRefresh), tabLiveReadings,
          static_cast<QWidget *>(lvIOs), tabSnapshot, static_cast<QWidget *>(btnGetSnapshot),
          tabIOConfiguration, static_cast<QWidget *>(btnActivateIOConfiguration),
          static_cast<QWidget *>(btnUploadIOConfiguration), tabExternalDevices,
          static_cast<QWidget *>(btnActivateExternalDevices)})
        w->setEnabled(enable);

    // A button that fetches data is offered only while its data is missing.
    // The pages' own states count, not the window's: the poll may run this
    // while the window is still disabled for the job that just ended.
    const auto own = [this](QWidget *w) { return w->isEnabledTo(PageControl1); };
    btnActivateLiveReadings->setEnabled(own(tabLiveReadings) && !FEngine->HasUOMs());
    btnActivateIOConfiguration->setEnabled(
        own(tabIOConfiguration) &&
        !(FEngine->HasIOConfiguration() && FEngine->HasInputTypes() && FEngine->HasUOMLists()));
    btnUploadIOConfiguration->setEnabled(!own(btnActivateIOConfiguration) &&
                                         own(tabIOConfiguration) && FLoggedOn);
    btnActivateExternalDevices->setEnabled(
        own(tabExternalDevices) &&
        !(FEngine->HasIOConfiguration() && FEngine->HasModbusData() && FEngine->HasUOMs()));
    if (!FConnected) {
        btnActivateLiveReadings->setEnabled(false);
        btnActivateIOConfiguration->setEnabled(false);
        btnActivateExternalDevices->setEnabled(false);
    }
}

void TForm1::SetLoggedOn(bool value)
{
    if (value == FLoggedOn)
        return;
    FLoggedOn = value;
    if (FLoggedOn)
        if (QAction *logon = LogonItem())
            logon->setEnabled(false);
}

bool TForm1::RequestLogon(const std::string &email, const std::string &password)
{
    return TSession(*FEngine).PostLogon(email, password);
}

void TForm1::LogonResult(bool success)
{
    SetLoggedOn(success);
    if (!FDialogs)
        return;
    if (success)
        FDialogs->LogonSucceeded();
    else
        FDialogs->LogonFailed();
}

void TForm1::LogonCancelled()
{
    // Nothing reached the server: the logged-on state stays as it was.
    if (FDialogs)
        FDialogs->LogonCancelled();
}

TCancelOutcome TForm1::CancelJob()
{
    return FEngine->RequestCancel();
}

TLiveList TForm1::ShownLiveList() const
{
    QWidget *page = PageControl1->currentWidget();
    if (page == tabLiveReadings)
        return LIVE_LIST_OWN_IO;
    if (page == tabExternalDevices)
        return LIVE_LIST_EXTERNAL_IO;
    return LIVE_LIST_NONE;
}

void TForm1::ClearSnapshot()
{
    memoSnapshot->clear();
}

void TForm1::AddSnapshotLine(const QString &line)
{
    memoSnapshot->appendPlainText(line);
}

void TForm1::ShowStatusPanels(const QString &panel0, const QString &panel1)
{
    StatusPanel0->setText(panel0);
    StatusPanel1->setText(panel1);
}

void TForm1::AddLogLine(const QString &line)
{
    ErrorLogMemo->appendPlainText(line);
}

void TForm1::ShowMessage(const QString &text, TMessageKind kind)
{
    FMessageSink(text, kind);
}

void TForm1::ShowSignalLevel(std::uint8_t level)
{
    // 99 is "no signal"; anything above 31 is not a strength.
    int shown = level;
    if (shown == 99 || shown > 31)
        shown = 0;
    const int height = shown * kSignalPixelsPerLevel;
    // The value first: a screen reader told of the new name reads it too.
    shapeSignal->SetReading(shown, level);
    shapeSignal->setAccessibleName(SignalLevelText(shown));
    const QRect r = shapeSignal->geometry();
    shapeSignal->setGeometry(r.x(), kSignalBarBottom - height, r.width(), height);
}

QString TForm1::SignalLevelText(int level)
{
    // The band the bar's top reaches, as the meter's captions name them.
    const int top = kSignalBarBottom - level * kSignalPixelsPerLevel;
    const char *band = top < 172 ? "Good" : top < 200 ? "OK" : top < 221 ? "Borderline" : "Poor";
    return QStringLiteral("Signal level %1 of 31, %2").arg(level).arg(QString::fromLatin1(band));
}

void TForm1::RefreshStatusLabels(const TReceivedFlags &flags)
{
    SetYesNo(lblStatusBasicInfo, flags.BasicInfo);
    SetYesNo(lblStatusUOMs, flags.UOMs);
    SetYesNo(lblStatusLogon, flags.LoggedOn);
    SetYesNo(lblStatusIOConfiguration, flags.IOConfiguration);
    SetYesNo(lblStatusUOMList, flags.UOMLists);
    SetYesNo(lblStatusInputTypes, flags.InputTypes);
    SetYesNo(lblStatusModbusInfo, flags.ModbusData);
}

// ---- job-posting handlers ----

void TForm1::PostJobFromButton(TMessageType code, bool disableTabs)
{
    TSession(*FEngine).PostJob(code, {}, [this, disableTabs] {
        if (disableTabs)
            SetTabsEnabled(false);
    });
}

void TForm1::btnGetSnapshotClick()
{
    PostJobFromButton(MSG_READ_SNAPSHOT, true);
}

void TForm1::btnActivateLiveReadingsClick()
{
    PostJobFromButton(MSG_READ_UOM_INFO, true);
}

void TForm1::btnActivateIOConfigurationClick()
{
    PostJobFromButton(MSG_READ_IO_CONFIG, true);
}

void TForm1::btnUploadIOConfigurationClick()
{
    TSession(*FEngine).PostIOConfigUpload([this](TUploadPrepare found) {
        switch (found) {
        case UPLOAD_READY:
            SetTabsEnabled(false);
            break;
        case UPLOAD_PARTIAL:
            SetTabsEnabled(false);
            ShowMessage(QString::fromLatin1(kPartialUpload), MK_INFORMATION);
            break;
        case UPLOAD_NOTHING:
        default:
            ShowMessage(QString::fromLatin1(kNoChanges), MK_INFORMATION);
            break;
        }
    });
}

void TForm1::btnSetOutputClick()
{
    // The empty last item names no output: nothing is posted.
    const int output = cbOutput->currentIndex();
    const int state = cbOutputState->currentIndex();
    if (output < 0 || output >= static_cast<int>(kOutputNames.size()) || state < 0)
        return;
    TSession(*FEngine).PostJob(MSG_WRITE_OUTPUT, BuildWriteOutputPayload(output, state));
}

// ---- signal checking and page changes ----

void TForm1::btnRefreshClick()
{
    if (IsSignalChecking()) {
        StopSignalCheckingIfActive();
        return;
    }
    SetTabsEnabled(false);
    btnRefresh->setText(QString::fromLatin1(kStopSignal));
    btnRefresh->setProperty("Tag", 1);
    // The meter stays visible and checking can be stopped; a settings save
    // would meet the signal poll on the link, so that group stays off.
    tabBasicInfo->setEnabled(true);
    btnRefresh->setEnabled(true);
    gbConnectionSettings->setEnabled(false);
    FEngine->StartSignalChecking();
}

void TForm1::StopSignalCheckingIfActive()
{
    if (!IsSignalChecking())
        return;
    FEngine->StopSignalChecking();
    SetTabsEnabled(true);
    ResetSignalButton();
}

void TForm1::OnTabPageChange(int current)
{
    const int previous = FPreviousPage;
    // Only while no job is under way: preparing the upload replaces the job
    // payload.
    if (previous == 1 && current != 1 && FEngine->JobCode() == 0) {
        switch (FEngine->PrepareIOConfigUpload()) {
        case UPLOAD_READY:
            ShowMessage(QString::fromLatin1(kUploadReminder), MK_INFORMATION);
            break;
        case UPLOAD_PARTIAL:
            ShowMessage(QString::fromLatin1(kPartialPending), MK_INFORMATION);
            break;
        case UPLOAD_NOTHING:
        default:
            break;
        }
    }
    if (previous == 0 && current != 0)
        StopSignalCheckingIfActive();
    FPreviousPage = current;
}

// ---- connection settings ----

void TForm1::ShowMobileFields(bool show)
{
    for (QWidget *w : {static_cast<QWidget *>(cbCountry), static_cast<QWidget *>(cbNetwork),
                       static_cast<QWidget *>(edAPN), static_cast<QWidget *>(edUsername),
                       static_cast<QWidget *>(edPassword)})
        w->setVisible(show);
    if (!show)
        return;
    const char *captions[] = {"Country", "Network", "APN", "Username", "Password"};
    QLabel *labels[] = {lblConnectionSettings1, lblConnectionSettings2, lblConnectionSettings3,
                        lblConnectionSettings4, lblConnectionSettings5};
    for (int i = 0; i < 5; ++i) {
        labels[i]->setText(QString::fromLatin1(captions[i]));
        labels[i]->setVisible(true);
    }
}

void TForm1::ShowEthernetFields(bool show)
{
    for (QWidget *w : {static_cast<QWidget *>(chkUseDHCP), static_cast<QWidget *>(edIPAddress),
                       static_cast<QWidget *>(edNetMask), static_cast<QWidget *>(edDefaultGateway),
                       static_cast<QWidget *>(edDNSServerIP)})
        w->setVisible(show);
    if (!show)
        return;
    const char *captions[] = {"Use DHCP", "IP Address", "Net Mask", "Default Gateway",
                              "DNS Server IP Address"};
    QLabel *labels[] = {lblConnectionSettings1, lblConnectionSettings2, lblConnectionSettings3,
                        lblConnectionSettings4, lblConnectionSettings5};
    for (int i = 0; i < 5; ++i) {
        labels[i]->setText(QString::fromLatin1(captions[i]));
        labels[i]->setVisible(true);
    }
}

void TForm1::cbConnectionTypeChange()
{
    switch (cbConnectionType->currentIndex()) {
    case 0:
        ShowEthernetFields(false);
        ShowMobileFields(true);
        break;
    case 1:
        ShowMobileFields(false);
        ShowEthernetFields(true);
        break;
    default:
        ShowMessage(QStringLiteral("This type of Connection is invalid"), MK_ERROR);
        break;
    }
}

void TForm1::cbCountryChange()
{
    if (!FCatalogue)
        return;
    {
        // Refilled whole; its fields follow the final selection once.
        const QSignalBlocker block(cbNetwork);
        FillNetworkList(*FCatalogue, cbNetwork, SelectedCountryId(cbCountry));
    }
    cbNetworkChange();
}

void TForm1::cbNetworkChange()
{
    const TGPRSNetwork *network = SelectedNetwork(cbNetwork);
    if (!network)
        return;
    edAPN->setText(network->APN());
    edPassword->setText(network->Password());
    edUsername->setText(network->Username());
}

void TForm1::ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet)
{
    if (noEthernet) {
        if (cbConnectionType->count() > 1) {
            const QSignalBlocker block(cbConnectionType);
            cbConnectionType->removeItem(1);
        }
    } else if (cbConnectionType->count() == 1) {
        const QSignalBlocker block(cbConnectionType);
        cbConnectionType->addItem(QStringLiteral("Ethernet"));
    }

    {
        const QSignalBlocker blockCountry(cbCountry);
        const QSignalBlocker blockNetwork(cbNetwork);
        cbCountry->setCurrentIndex(cbCountry->count() > 0 ? 0 : -1);
        cbNetwork->setCurrentIndex(cbNetwork->count() > 0 ? 0 : -1);
    }

    if (settings.ConnectionType == kConnectionTypeEthernet) {
        const QSignalBlocker block(cbConnectionType);
        // A VELLO has no "Ethernet" item; the mobile view then stays.
        if (cbConnectionType->count() > 1) {
            cbConnectionType->setCurrentIndex(1);
            ShowMobileFields(false);
            ShowEthernetFields(true);
        }
    } else if (settings.ConnectionType == kConnectionTypeMobile) {
        const QSignalBlocker block(cbConnectionType);
        cbConnectionType->setCurrentIndex(0);
        ShowMobileFields(true);
        ShowEthernetFields(false);
    }

    // Every field, whatever the type: the hidden set holds the unit's values
    // too.
    edAPN->setText(
        QString::fromLatin1(settings.APN.data(), static_cast<qsizetype>(settings.APN.size())));
    edUsername->setText(QString::fromLatin1(settings.Username.data(),
                                            static_cast<qsizetype>(settings.Username.size())));
    edPassword->setText(QString::fromLatin1(settings.Password.data(),
                                            static_cast<qsizetype>(settings.Password.size())));
    chkUseDHCP->setChecked(settings.UseDHCP);
    edIPAddress->setText(FormatIPAddress(settings.IPAddress));
    edNetMask->setText(FormatIPAddress(settings.NetMask));
    edDefaultGateway->setText(FormatIPAddress(settings.DefaultGateway));
    edDNSServerIP->setText(FormatIPAddress(settings.DNSServer));
}

void TForm1::btnApplyConnectionSettingsClick()
{
    TConnectionSettings s;
    s.ConnectionType =
        cbConnectionType->currentIndex() == 1 ? kConnectionTypeEthernet : kConnectionTypeMobile;
    s.APN = edAPN->text().toLatin1().toStdString();
    s.Username = edUsername->text().toLatin1().toStdString();
    s.Password = edPassword->text().toLatin1().toStdString();
    s.UseDHCP = chkUseDHCP->isChecked();

    // All four addresses, for both types; the first failure shows its
    // message and nothing is saved.
    const auto show = [this](const QString &message) { ShowMessage(message, MK_ERROR); };
    if (!ParseIPAddress(edIPAddress->text(), s.IPAddress, show) ||
        !ParseIPAddress(edNetMask->text(), s.NetMask, show) ||
        !ParseIPAddress(edDefaultGateway->text(), s.DefaultGateway, show) ||
        !ParseIPAddress(edDNSServerIP->text(), s.DNSServer, show))
        return;

    // The unit's fields hold 124, 44 and 19 characters: longer texts are
    // refused rather than cut.
    if (s.IsMobile()) {
        const TSettingsTextField tooLong =
            FindTooLongSettingsText(edAPN->text(), edUsername->text(), edPassword->text());
        if (tooLong != STF_NONE) {
            ShowMessage(SettingsTextTooLongMessage(tooLong), MK_ERROR);
            return;
        }
    }

    FEngine->SaveConnectionSettings(s);
}

// ---- the poll ----

void TForm1::SetWindowInputEnabled(bool enabled)
{
    // The menu and the pages; dialogs the window owns stay usable.
    menuBar()->setEnabled(enabled);
    centralWidget()->setEnabled(enabled);
}

void TForm1::CheckSerialThreadTimer()
{
    TimerCheckSerialThread->stop();
    FEngine->Poll();
    if (FWorkingShown && !FEngine->IsBusy()) {
        FWorkingShown = false;
        SetWindowInputEnabled(true);
        if (FDialogs)
            FDialogs->CloseWorking();
    }
    if (!FWorkingShown && FEngine->IsBusy()) {
        FWorkingShown = true;
        SetWindowInputEnabled(false);
        if (FDialogs)
            FDialogs->ShowWorking();
    }
    // A refused cancel turns back into Cancel when the write's chain goes on
    // reading, so the dialog follows the engine's view.
    if (FWorkingShown && FDialogs)
        FDialogs->UpdateWorking(FEngine->CancelState());
    TimerCheckSerialThread->start();
}
