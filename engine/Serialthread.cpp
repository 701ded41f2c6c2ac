#include "engine/Serialthread.h"

#include "common/Branding.h"
#include "common/Errormanager.h"
#include "engine/Enginehost.h"
#include "engine/Signalstrengthrefresh.h"
#include "link/Portdiagnosis.h"
#include "link/Zelvocommsinterface.h"
#include "model/Serversideio.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QCoreApplication>
#include <QTimer>

#include <condition_variable>

namespace
{

const QString kBrandName = QString::fromLatin1(Branding::BrandName);
const QString kSupportSuffix = QString::fromLatin1(Branding::SupportSuffix);

// The job chains, in one place: what follows the reply to each job. A
// chained job keeps the unit connected (request 1); where the chain ends the
// job is finished and the unit may log off (request 9). A job missing here
// (2, 4, 5, 7 and unknown codes) ends its chain.
constexpr int kChainEnds = 0;
constexpr int kMoreIOConfigOrInputTypes = -1; // 9 again while more is to follow, else 11
constexpr int kReloadOrEnd = -2;              // 9 when reloading after a write, else the end
constexpr int kReloadUnlessPart = -3;         // 6 after a whole upload; a part upload ends

struct TChainLink {
    int Job;
    int AfterGood;          // after a reply that was read and parsed
    int AfterBad;           // after a failed download or parse
    const char *GoodStatus; // status reported after a good reply, or none
    const char *BadStatus;  // status reported after a failed one, or none
};

constexpr TChainLink kJobChain[] = {
    {MSG_READ_BASIC_INFO, MSG_READ_UOM_INFO, kChainEnds, nullptr, nullptr},
    {MSG_WRITE_OUTPUT, kChainEnds, kChainEnds, nullptr, nullptr},
    {MSG_READ_UOM_INFO, kReloadOrEnd, kReloadOrEnd, "UOM Info read complete",
     "UOM Info read error"},
    {MSG_LOGON, kChainEnds, kChainEnds, nullptr, nullptr},
    {MSG_READ_IO_CONFIG, kMoreIOConfigOrInputTypes, kChainEnds, "IOConfig read OK",
     "IOConfig read error"},
    {MSG_READ_INPUT_TYPES, MSG_READ_UOM_LIST, MSG_READ_UOM_LIST, nullptr, nullptr},
    {MSG_READ_UOM_LIST, MSG_READ_MODBUS_DATA, MSG_READ_MODBUS_DATA, nullptr, nullptr},
    {MSG_READ_MODBUS_DATA, kChainEnds, kChainEnds, nullptr, nullptr},
    {MSG_WRITE_IO_CONFIG, kReloadUnlessPart, kChainEnds, nullptr, nullptr},
};

// Jobs that change the unit's or the server's state. Once such a job's
// message has been uploaded the server may act on it, so it is no longer
// cancelled. A logon counts: the server logs the account on, and the
// window's logged-on state follows only from its answer.
bool IsWriteJob(int job)
{
    return job == MSG_WRITE_OUTPUT || job == MSG_LOGON || job == MSG_WRITE_IO_CONFIG;
}

const TChainLink *FindChainLink(int job)
{
    for (const TChainLink &link : kJobChain)
        if (link.Job == job)
            return &link;
    return nullptr;
}

} // namespace

// One call handed to the GUI thread. The worker waits for `Done`; when the
// engine is being destroyed before the call started, the worker gives up and
// the call is skipped, so shutting down never waits on the GUI thread.
struct TSerialThread::TSyncCall {
    std::mutex Lock;
    std::condition_variable Cond;
    bool Started = false;
    bool Done = false;
    bool Cancelled = false;
};

TSerialThread::TSerialThread(TEngineHost *host, const TPacing &pacing, QObject *parent)
    : QThread(parent), FHost(host), FLog(host->ErrorLog()), FPacing(pacing),
      FReplyBuffer(ReplyBufferSize, 0), FSettings(std::make_unique<TConnectionSettings>())
{
    Init(std::make_unique<TZelvoCommsInterface>(FPacing));
    // Names the OS thread too, for debuggers.
    setObjectName(QStringLiteral("SerialThread"));
    start();
}

TSerialThread::TSerialThread(TEngineHost *host, const TPacing &pacing,
                             std::unique_ptr<TZelvoCommsInterface> comms, QObject *parent)
    : QThread(parent), FHost(host), FLog(host->ErrorLog()), FPacing(pacing),
      FReplyBuffer(ReplyBufferSize, 0), FSettings(std::make_unique<TConnectionSettings>())
{
    Init(std::move(comms));
}

void TSerialThread::Init(std::unique_ptr<TZelvoCommsInterface> comms)
{
    TEngineHost *host = FHost;
    FLog.SetPanelsHook(
        [host](const QString &p0, const QString &p1) { host->ShowStatusPanels(p0, p1); });
    FLog.SetMemoHook([host](const QString &line) { host->AddLogLine(line); });
    FLog.SetMessageHook(
        [host](const QString &text, TMessageKind kind) { host->ShowMessage(text, kind); });

    ReportStatus(QStringLiteral("Waiting..."));

    FComms = std::move(comms);
    FSignal = std::make_unique<TSignalStrengthRefresh>(FComms.get(), FPacing);
    FUnit = std::make_unique<TZelvo>(*FComms, FPacing, &FLog);
    FParser = std::make_unique<TCommissioningDataParser>(&FLog);
    FParser->SetSnapshotSink([host] { host->ClearSnapshot(); },
                             [host](const QString &line) { host->AddSnapshotLine(line); });
    FParser->SetEnableTabsHook([host] { host->SetTabsEnabled(true); });

    FLiveTimer = new QTimer(this);
    FLiveTimer->setSingleShot(true);
    FLiveTimer->setInterval(FPacing.LiveTimer);
    connect(FLiveTimer, &QTimer::timeout, this, [this] { LiveTick(); });
    FSignalTimer = new QTimer(this);
    FSignalTimer->setSingleShot(true);
    FSignalTimer->setInterval(FPacing.SignalTimer);
    connect(FSignalTimer, &QTimer::timeout, this, [this] { SignalTick(); });
}

bool TSerialThread::IsLiveTimerActive() const
{
    return FLiveTimer->isActive();
}

bool TSerialThread::IsSignalTimerActive() const
{
    return FSignalTimer->isActive();
}

TSerialThread::~TSerialThread()
{
    FLiveTimer->stop();
    FSignalTimer->stop();
    {
        std::lock_guard<std::mutex> lock(FWakeLock);
        FEnding = true;
    }
    requestInterruption();
    FWake.notify_all();
    // A blocked exchange or retry pause returns at once and every exchange
    // after it fails straight away, so the worker's step ends promptly.
    FComms->Abort();
    wait();

    FUnit.reset();
    delete FLiveTimer;
    FLiveTimer = nullptr;
    delete FSignalTimer;
    FSignalTimer = nullptr;
    FComms.reset();
    FSignal.reset();
    FParser.reset();
    FSettings.reset();
    FLog.SetPanelsHook({});
    FLog.SetMemoHook({});
    FLog.SetMessageHook({});
}

void TSerialThread::run()
{
    while (!FEnding.load()) {
        // Raised before FActive is looked at: whoever clears FActive and then
        // sees no step in progress knows that no step will start.
        FStepInProgress = true;
        if (FActive.load()) {
            Step();
            FStepInProgress = false;
            emit Stepped();
        } else {
            FStepInProgress = false;
        }
        PauseFor(FPacing.WorkerStep);
    }
}

void TSerialThread::PauseFor(std::chrono::milliseconds period)
{
    std::unique_lock<std::mutex> lock(FWakeLock);
    FWake.wait_for(lock, period, [this] { return FEnding.load(); });
}

void TSerialThread::Synchronize(const std::function<void()> &fn)
{
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    auto call = std::make_shared<TSyncCall>();
    QMetaObject::invokeMethod(
        this,
        [call, &fn] {
            {
                std::lock_guard<std::mutex> lock(call->Lock);
                if (call->Cancelled)
                    return;
                call->Started = true;
            }
            fn();
            {
                std::lock_guard<std::mutex> lock(call->Lock);
                call->Done = true;
            }
            call->Cond.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> lock(call->Lock);
    while (!call->Done) {
        if (FEnding.load() && !call->Started) {
            call->Cancelled = true;
            return;
        }
        call->Cond.wait_for(lock, std::chrono::milliseconds(10));
    }
}

// ---- operations called on the GUI thread ----

void TSerialThread::SetActive(bool active)
{
    FActive = active;
}

void TSerialThread::SetJob(int code)
{
    FWriteUploaded = false;
    FParser->SetType(static_cast<std::int16_t>(code));
    FJobCode = code;
    ReportStatus(FParser->JobText());
}

void TSerialThread::FinishJob()
{
    FParser->SetType(0);
    FJobCode = 0;
    FWriteUploaded = false;
    // A reload after a write belongs to the chain that ends here, however
    // it ends; it must not ride on the next job the user asks for.
    FReloadAfterWrite = false;
    FJobFinished = true;
}

void TSerialThread::AbandonJob()
{
    // A configuration read cut off between its parts leaves a partial list:
    // it goes, so that nothing shows records as if they were all.
    if (FJobCode.load() == MSG_READ_IO_CONFIG)
        Synchronize([this] {
            FUnit->ClearIOConfig();
            FParser->ForgetReceived(MSG_READ_IO_CONFIG);
        });
    FCycleAbandoned = true;
    FinishJob();
}

TMessageType TSerialThread::JobCode() const
{
    return static_cast<TMessageType>(FJobCode.load());
}

void TSerialThread::PostJob(TMessageType code)
{
    if (code == MSG_READ_IO_CONFIG)
        FUnit->ClearIOConfig();
    // What the job fetches is "No" until its reply has come in whole.
    FParser->ForgetReceived(code);
    FCancel = CANCEL_NONE;
    SetJob(code);
    if (FLinkState.load() == LINK_IDLE) {
        SetLinkState(LINK_OPENING);
        ReportStatus(QStringLiteral("Opening Comm Port"));
    } else {
        SetLinkState(LINK_JOB);
    }
}

void TSerialThread::StartConnect()
{
    FCancel = CANCEL_NONE;
    FConnectOutcome = CONNECT_PENDING;
    SetJob(MSG_READ_BASIC_INFO);
    if (FLinkState.load() == LINK_IDLE) {
        SetLinkState(LINK_OPENING);
        ReportStatus(QStringLiteral("Opening Comm Port"));
    }
}

void TSerialThread::SetJobPayload(const std::uint8_t *bytes, int length)
{
    FParser->SetPayload(bytes, length);
}

TUploadPrepare TSerialThread::PrepareIOConfigUpload()
{
    static_assert(static_cast<std::size_t>(ReplyBufferSize) >=
                      TServerSideIO::UploadHeaderSize +
                          static_cast<std::size_t>(TServerSideIO::MaxUploadNameLength),
                  "one changed record always fits one upload");
    std::vector<std::uint8_t> upload(ReplyBufferSize);
    std::size_t length = 0;
    std::vector<std::int32_t> ids;
    const TUploadResult result =
        FUnit->BuildIOConfigUploadPart(upload.data(), upload.size(), length, ids);
    if (result != TUploadResult::Built && result != TUploadResult::Partial)
        return UPLOAD_NOTHING;
    // The records that do not fit stay marked changed for the next upload.
    SetJobPayload(upload.data(), static_cast<int>(length));
    FUploadIds = std::move(ids);
    FUploadIsPart = result == TUploadResult::Partial;
    return FUploadIsPart ? UPLOAD_PARTIAL : UPLOAD_READY;
}

void TSerialThread::SaveConnectionSettings(const TConnectionSettings &settings)
{
    {
        std::lock_guard<std::mutex> lock(FSettingsLock);
        *FSettings = settings;
    }
    FSaveOutcome = SAVE_IN_PROGRESS;
    FCancel = CANCEL_NONE;
    FBusy = true;
    SetLinkState(LINK_SAVE_SETTINGS);
}

TCancelOutcome TSerialThread::RequestCancel()
{
    switch (FLinkState.load()) {
    case LINK_JOB:
        break;
    case LINK_SAVE_SETTINGS:
        // The settings go to the unit in one step, block after block:
        // breaking it off could leave half of them written.
        FCancel = CANCEL_SAVING;
        return CANCEL_SAVING;
    default:
        // No job step is to come (the job has ended, or the link is being
        // opened or closed).
        return CANCEL_NOTHING;
    }
    // Every way into a job resets the state, so anything but NONE is this
    // job's earlier request.
    std::int8_t state = CANCEL_NONE;
    if (!FCancel.compare_exchange_strong(state, CANCEL_PENDING))
        return static_cast<TCancelOutcome>(state);
    // The worker raises FWriteUploaded before it looks at the request and
    // uploads: whichever thread sees the other's mark first decides, and
    // both decide the same way.
    if (FWriteUploaded.load()) {
        state = CANCEL_PENDING;
        if (FCancel.compare_exchange_strong(state, CANCEL_TOO_LATE))
            return CANCEL_TOO_LATE;
        return static_cast<TCancelOutcome>(state);
    }
    return CANCEL_PENDING;
}

std::string TSerialThread::FirmwareVersion() const
{
    return FUnit->FirmwareVersion();
}

void TSerialThread::StartSignalChecking()
{
    // A poll that failed last time starts afresh rather than failing again
    // at once.
    if (FSignal->State() == SIG_FAILED)
        FSignal->Restart();
    else
        FSignal->ClearStopRequest();
    SetLinkState(LINK_SIGNAL);
    FSignalTimer->start(FPacing.SignalTimer);
}

void TSerialThread::StopSignalChecking()
{
    FSignal->RequestStop();
}

void TSerialThread::SelectPort(bool useUsb, int port, int baudRate)
{
    FComms->SelectPort(useUsb, port, baudRate);
}

bool TSerialThread::IsUsbMode() const
{
    return FComms->IsUsbMode();
}

void TSerialThread::AttachListViews(TListView *lvIOs, TListView *lvIOConfig,
                                    TListView *lvExternalIO)
{
    FUnit->AttachIOListView(lvIOs);
    FUnit->AttachConfigView(lvIOConfig);
    FUnit->AttachExternalView(lvExternalIO);
}

bool TSerialThread::HasBasicInfo() const
{
    return FParser->HasBasicInfo();
}
bool TSerialThread::HasUOMs() const
{
    return FParser->HasUOMs();
}
bool TSerialThread::HasIOConfiguration() const
{
    return FParser->HasIOConfiguration();
}
bool TSerialThread::HasUOMLists() const
{
    return FParser->HasUOMLists();
}
bool TSerialThread::HasInputTypes() const
{
    return FParser->HasInputTypes();
}
bool TSerialThread::HasModbusData() const
{
    return FParser->HasModbusData();
}

void TSerialThread::Poll()
{
    bool acted = false;

    if (FLog.HasNewStatus()) {
        FLog.ApplyStatus();
        acted = true;
    }

    const std::uint8_t event = FConnectionEvent.exchange(CONN_EVENT_NONE);
    if (event == CONN_EVENT_DISCONNECTED) {
        FHost->OnDisconnected();
        acted = true;
    } else if (event == CONN_EVENT_CONNECTED) {
        FHost->OnConnected();
        TConnectionSettings shown;
        {
            std::lock_guard<std::mutex> lock(FSettingsLock);
            FUnit->GetSettings(*FSettings);
            shown = *FSettings;
        }
        FHost->ShowConnectionSettings(shown, FUnit->IsVelloUnit());
        acted = true;
    }

    // Only a status set during the steps above is flushed here; the rest
    // waits for the next flush (every SetTabsEnabled does one).
    if (FLog.HasNewStatus())
        FLog.FlushLog();

    if (FLog.HasQueuedMessage()) {
        FLog.ShowQueuedMessage();
        acted = true;
    }

    if (FSignal->HasFreshValue()) {
        FHost->ShowSignalLevel(FSignal->SignalLevel());
        acted = true;
    }

    if (FJobFinished.exchange(false)) {
        FHost->SetTabsEnabled(true);
        acted = true;
    }

    if (acted) {
        TReceivedFlags flags;
        flags.BasicInfo = HasBasicInfo();
        flags.UOMs = HasUOMs();
        flags.LoggedOn = FHost->IsLoggedOn();
        flags.IOConfiguration = HasIOConfiguration();
        flags.UOMLists = HasUOMLists();
        flags.InputTypes = HasInputTypes();
        flags.ModbusData = HasModbusData();
        FHost->RefreshStatusLabels(flags);
    }
}

// ---- reporting ----

void TSerialThread::ReportStatus(const QString &text)
{
    FLog.SetStatus(text);
    FLog.AddLog(text);
}

void TSerialThread::ReportMessage(const QString &text, TMessageKind kind)
{
    FLog.QueueMessage(text, kind);
}

bool TSerialThread::RequestIdle()
{
    if (FActive.load() || FStepInProgress.load() || !FComms->IsOpen())
        return false;
    return FComms->WriteSFCommand(SF_IDLE);
}

void TSerialThread::DropConnection()
{
    ReportStatus(QStringLiteral("Disconnected. Waiting..."));
    SetLinkState(LINK_IDLE);
    FComms->Close();
    FConnectionEvent = CONN_EVENT_DISCONNECTED;
}

// ---- worker steps ----

void TSerialThread::Step()
{
    switch (FLinkState.load()) {
    case LINK_IDLE:
        FBusy = false;
        SetStoreForwardState(SF_UNKNOWN);
        break;
    case LINK_OPENING:
        StepOpening();
        break;
    case LINK_CHECKING:
        StepChecking();
        break;
    case LINK_READ_TYPE:
        StepReadType();
        break;
    case LINK_READ_SETTINGS:
        StepReadSettings();
        break;
    case LINK_SAVE_SETTINGS:
        StepSaveSettings();
        break;
    case LINK_LIVE:
    case LINK_SIGNAL:
        // The GUI thread's timers do the work.
        FBusy = false;
        break;
    case LINK_JOB:
        StepJob();
        break;
    case LINK_CLOSING:
        FBusy = false;
        DropConnection();
        break;
    case LINK_ERROR:
        // The closing step raises the disconnected event; raising it here as
        // well would show the window's disconnected message twice when a
        // poll falls between the two steps.
        SetLinkState(LINK_CLOSING);
        FBusy = false;
        break;
    default:
        break;
    }
}

void TSerialThread::StepOpening()
{
    if (FComms->Open()) {
        SetLinkState(LINK_CHECKING);
        ReportStatus(QStringLiteral("Checking device"));
        return;
    }
    ReportStatus(QStringLiteral("Error opening comm port"));
    FConnectOutcome = CONNECT_NO_DEVICE;
    // The installer's line: which device, and why it would not open.
    FLog.AddLog(QString::fromStdString(DiagnoseLinkOpen(*FComms).Line));
    if (FComms->IsUsbMode())
        ReportMessage(QStringLiteral("There are no devices found.\nPlease ensure the ") +
                          kBrandName + QStringLiteral(" is plugged into a USB port and powered up"),
                      MK_INFORMATION);
    else
        ReportMessage(QStringLiteral("Error connecting.\nPlease ensure the ") + kBrandName +
                          QStringLiteral(" is connected to the correct Comm port"),
                      MK_INFORMATION);
    SetLinkState(LINK_IDLE);
    FConnectionEvent = CONN_EVENT_DISCONNECTED;
}

void TSerialThread::StepChecking()
{
    switch (FUnit->CheckFirmware()) {
    case FIRMWARE_OK:
        SetLinkState(LINK_READ_TYPE);
        break;
    case FIRMWARE_TOO_OLD:
        FConnectOutcome = CONNECT_FIRMWARE_OLD;
        ReportMessage(QStringLiteral("Firmware is not compatible. An upgrade is needed.") +
                          kSupportSuffix,
                      MK_INFORMATION);
        SetLinkState(LINK_CLOSING);
        break;
    default:
        FConnectOutcome = CONNECT_NO_ANSWER;
        SetLinkState(LINK_CLOSING);
        ReportStatus(QStringLiteral("Error communicating with ") + kBrandName);
        break;
    }
}

void TSerialThread::StepReadType()
{
    // The unit type rebuilds the I/O list that the window shows.
    bool ok = false;
    Synchronize([this, &ok] { ok = FUnit->ReadUnitType(); });
    if (ok) {
        SetLinkState(LINK_READ_SETTINGS);
    } else {
        FConnectOutcome = CONNECT_NO_ANSWER;
        SetLinkState(LINK_ERROR);
        ReportStatus(QStringLiteral("Error communicating with ") + kBrandName);
    }
}

void TSerialThread::StepReadSettings()
{
    if (FUnit->LoadSettings()) {
        FIdleConfirmed = false;
        FSFReadFailures = 0;
        FCycleWatched = false;
        FReloadAfterWrite = false;
        SetLinkState(LINK_JOB);
        FConnectOutcome = CONNECT_OPENED;
        FConnectionEvent = CONN_EVENT_CONNECTED;
    } else {
        FConnectOutcome = CONNECT_NO_ANSWER;
        SetLinkState(LINK_ERROR);
        ReportStatus(QStringLiteral("Error communicating with ") + kBrandName);
    }
}

void TSerialThread::StepSaveSettings()
{
    TConnectionSettings settings;
    {
        std::lock_guard<std::mutex> lock(FSettingsLock);
        settings = *FSettings;
    }
    // On success the unit applies its new settings and the tool lets go.
    const bool saved = FUnit->SaveSettings(settings);
    FSaveOutcome = saved ? SAVE_SUCCEEDED : SAVE_FAILED;
    SetLinkState(saved ? LINK_CLOSING : LINK_ERROR);
}

void TSerialThread::StepJob()
{
    FBusy = true;
    FCycleAbandoned = false;
    if (TakeCancelRequest())
        CancelJob();
    else if (!PollStoreForward())
        return;
    FCycleWatched = false;
    SetLinkState(LINK_LIVE);
    // A job given up leaves its reason as the last status, not "Ready".
    if (!FCycleAbandoned)
        ReportStatus(QStringLiteral("Ready to take live readings."));
    Synchronize([this] { LiveTick(); });
}

// ---- store and forward ----

void TSerialThread::SetStoreForwardState(int state)
{
    if (FSFState.load() == state)
        return;
    FSFState = static_cast<std::int8_t>(state);
    FLog.SetStoreForwardText(QString::fromLatin1(StoreForwardStateName(state)));
}

bool TSerialThread::PollStoreForward()
{
    std::uint8_t raw = 0;
    if (!FComms->ReadSFState(raw)) {
        // A unit that has stopped answering must not keep the window
        // disabled for good: give up on the job and close the link.
        if (++FSFReadFailures < MaxSFReadFailures)
            return false;
        FSFReadFailures = 0;
        ReportStatus(QStringLiteral("No answer from the ") + kBrandName);
        ReportMessage(QStringLiteral("The ") + kBrandName +
                          QStringLiteral(" has stopped answering and the connection has been "
                                         "closed.\nPlease check the ") +
                          kBrandName + QStringLiteral(" to PC connection and connect again."),
                      MK_ERROR);
        AbandonJob();
        FForceSyncPending = false;
        SetLinkState(LINK_ERROR);
        return false;
    }
    FSFReadFailures = 0;
    const int s = static_cast<std::int8_t>(raw);
    SetStoreForwardState(s);
    if (GiveUpStalledCycle(s))
        return true;

    // After every new connection the unit must once be seen idle before a
    // job runs.
    if (!FIdleConfirmed) {
        if (s != SF_IDLE) {
            FComms->WriteSFCommand(SF_IDLE);
            ReportStatus(QStringLiteral("Waiting for ") + kBrandName + QStringLiteral(" to Idle"));
            return false;
        }
        FIdleConfirmed = true;
    }

    switch (s) {
    case SF_IDLE:
        if (FForceSyncPending.load()) {
            FComms->WriteSFCommand(SF_FORCE_SYNC);
        } else if (FJobCode.load() == 0) {
            ReportStatus(kBrandName + QStringLiteral(" idle"));
            return true;
        } else {
            FComms->WriteSFCommand(
                FJobCode.load() == MSG_READ_SNAPSHOT ? SF_CONNECTING_WITH_SNAPSHOT : SF_CONNECTING);
        }
        FForceSyncPending = false;
        ReportStatus(kBrandName + QStringLiteral(" idle."));
        break;
    case SF_CONNECTING:
    case SF_CONNECTING_WITH_SNAPSHOT:
        ReportStatus(QStringLiteral("Connecting to Server."));
        break;
    case SF_FORCE_SYNC:
        ReportStatus(QStringLiteral("Forcing sync with server"));
        break;
    case SF_PROCESSING:
        ReportStatus(QStringLiteral("Processing commands."));
        break;
    case SF_WAITING_UPLOAD:
        if (IsWriteJob(FJobCode.load()) && !FWriteUploaded.load()) {
            // From here on the server may act on the message. A cancel asked
            // for before the mark was raised still wins: nothing has gone.
            FWriteUploaded = true;
            std::int8_t asked = CANCEL_PENDING;
            if (FCancel.compare_exchange_strong(asked, CANCEL_DONE)) {
                CancelJob();
                return true;
            }
        }
        if (FJobCode.load() != 0) {
            // A lost upload shows up later as a server error or a bad reply.
            FParser->SendMessage(*FComms);
            FComms->WriteSFCommand(SF_UPLOADING);
        } else {
            FComms->WriteSFCommand(SF_LOGGING_OFF);
        }
        break;
    case SF_UPLOADING:
        ReportStatus(QStringLiteral("Uploading to server."));
        break;
    case SF_DOWNLOADING:
        ReportStatus(QStringLiteral("Downloading from server."));
        break;
    case SF_WAITING_DOWNLOAD:
        DownloadReply();
        break;
    case SF_LOGGING_OFF:
        ReportStatus(QStringLiteral("Logging off."));
        break;
    case SF_ERROR:
    case SF_UNKNOWN:
        ReportMessage(
            QStringLiteral("An error has occurred.") +
                QStringLiteral("\nThis could be due to poor signal. Please check that the signal "
                               "and online LED's are both on") +
                QStringLiteral("\nIf Signal and online are both on and Server is flashing then "
                               "please try again."),
            MK_INFORMATION);
        ReportStatus(kBrandName + QStringLiteral(" reported an error: the job was stopped"));
        AbandonJob();
        FForceSyncPending = false;
        FComms->WriteSFCommand(SF_IDLE);
        break;
    default:
        break;
    }
    // A job posted while the unit logs off waits for it to be idle and then
    // starts its own cycle, rather than being left set with the cycle over.
    return s == SF_ERROR || (s == SF_LOGGING_OFF && FJobCode.load() == 0);
}

bool TSerialThread::TakeCancelRequest()
{
    std::int8_t asked = CANCEL_PENDING;
    if (FWriteUploaded.load()) {
        // The server has the message: the job runs to its outcome.
        FCancel.compare_exchange_strong(asked, CANCEL_TOO_LATE);
        return false;
    }
    return FCancel.compare_exchange_strong(asked, CANCEL_DONE);
}

void TSerialThread::CancelJob()
{
    const int job = FJobCode.load();
    // A reload after a write that is cut short still leaves the unit to sync
    // with its server at the next idle poll, as the whole chain would have.
    const bool reloading = FReloadAfterWrite.load();
    ReportStatus(QStringLiteral("Job cancelled: ") + kBrandName +
                 QStringLiteral(" asked to go idle"));
    AbandonJob();
    if (reloading)
        FForceSyncPending = true;
    // A logon is cancelled only before its message went: nothing changed on
    // the server, and the logon dialog gets its button back.
    if (job == MSG_LOGON)
        Synchronize([this] { FHost->LogonCancelled(); });
    // The next job first sees the unit idle again.
    FIdleConfirmed = false;
    FCycleWatched = false;
    FComms->WriteSFCommand(SF_IDLE);
}

bool TSerialThread::GiveUpStalledCycle(int s)
{
    const auto now = std::chrono::steady_clock::now();
    if (!FCycleWatched || s != FWatchedState) {
        FCycleWatched = true;
        FWatchedState = s;
        FWatchedSince = now;
        return false;
    }
    if (now - FWatchedSince <= FPacing.StoreForwardStall)
        return false;
    // A unit that answers but never moves on (no coverage, server down)
    // must not keep the window disabled: the job ends, the link stays open.
    const QString state = QString::fromLatin1(StoreForwardStateName(s));
    ReportStatus(kBrandName + QStringLiteral(" stuck in ") + state +
                 QStringLiteral(": the job was stopped"));
    ReportMessage(QStringLiteral("The ") + kBrandName + QStringLiteral(" has stayed in ") + state +
                      QStringLiteral(" without progress and the job has been stopped.\nThe "
                                     "connection is still open. Please check that the signal "
                                     "and online LED's are both on, then try again."),
                  MK_INFORMATION);
    AbandonJob();
    FForceSyncPending = false;
    // The next job first sees the unit idle again.
    FIdleConfirmed = false;
    FCycleWatched = false;
    FComms->WriteSFCommand(SF_IDLE);
    return true;
}

void TSerialThread::DownloadReply()
{
    ReportStatus(QStringLiteral("Waiting for download."));
    FParseResult = false;
    FReplyLength = 0;
    // The read is bounded by the buffer: a longer reply fails like a bad one.
    if (FComms->ReadMessage(FReplyBuffer.data(), ReplyBufferSize, FReplyLength) &&
        FReplyLength <= ReplyBufferSize) {
        bool parsed = false;
        Synchronize([this, &parsed] {
            parsed = FParser->ParseReply(FReplyBuffer.data(), FReplyLength, FUnit.get());
            // A configuration with more parts to follow is not in yet.
            if (parsed && FJobCode.load() == MSG_READ_IO_CONFIG && FUnit->MoreIOConfigToFollow())
                FParser->ForgetReceived(MSG_READ_IO_CONFIG);
        });
        FParseResult = parsed;
    }

    FForceSyncPending = false;
    const bool good = FParseResult;
    const int job = FJobCode.load();

    if (const TChainLink *link = FindChainLink(job)) {
        const char *status = good ? link->GoodStatus : link->BadStatus;
        if (status != nullptr)
            ReportStatus(QString::fromLatin1(status));
    }
    ActOnReply(job, good);

    int next = SF_LOGGING_OFF;
    const int nextJob = NextJob(job, good);
    if (nextJob == kChainEnds) {
        FinishJob();
    } else {
        // A read of the I/O configuration chained from another job starts
        // from an empty list, as a posted one does; its own repeats append.
        if (nextJob == MSG_READ_IO_CONFIG && job != MSG_READ_IO_CONFIG)
            Synchronize([this] { FUnit->ClearIOConfig(); });
        // The next job's data, and a configuration with more to follow,
        // count as not received until their last reply is in.
        Synchronize([this, nextJob] { FParser->ForgetReceived(nextJob); });
        next = SF_CONNECTING;
        SetJob(nextJob);
        // The write's outcome is in and the chain goes on reading: a cancel
        // refused for the write may now be asked for again.
        std::int8_t refused = CANCEL_TOO_LATE;
        FCancel.compare_exchange_strong(refused, CANCEL_NONE);
    }

    FComms->WriteSFCommand(static_cast<std::uint8_t>(next));
    PauseFor(FPacing.AfterDownload);
}

int TSerialThread::NextJob(int job, bool good) const
{
    const TChainLink *link = FindChainLink(job);
    if (link == nullptr)
        return kChainEnds;
    switch (good ? link->AfterGood : link->AfterBad) {
    case kMoreIOConfigOrInputTypes:
        return FUnit->MoreIOConfigToFollow() ? MSG_READ_IO_CONFIG : MSG_READ_INPUT_TYPES;
    case kReloadOrEnd:
        return FReloadAfterWrite.load() ? MSG_READ_IO_CONFIG : kChainEnds;
    case kReloadUnlessPart:
        return FUploadIsPart ? kChainEnds : MSG_READ_UOM_INFO;
    default:
        return good ? link->AfterGood : link->AfterBad;
    }
}

void TSerialThread::ActOnReply(int job, bool good)
{
    switch (job) {
    case MSG_READ_BASIC_INFO:
        if (!good) {
            ReportMessage(QStringLiteral("An error has occurred.") +
                              QStringLiteral("\nCommunication with the ") + kBrandName +
                              QStringLiteral(" failed. Please restart the software"),
                          MK_INFORMATION);
            FComms->WriteSFCommand(SF_IDLE);
        }
        break;
    case MSG_WRITE_OUTPUT:
        FForceSyncPending = true;
        break;
    case MSG_LOGON:
        Synchronize([this, good] { FHost->LogonResult(good); });
        break;
    case MSG_READ_IO_CONFIG:
        if (good)
            ReportStatus(FUnit->MoreIOConfigToFollow()
                             ? QStringLiteral("More IO Config to follow...")
                             : QStringLiteral("All IO Config has been read"));
        break;
    case MSG_READ_MODBUS_DATA:
        // The end of the reload after a write: the unit syncs at its next idle.
        if (FReloadAfterWrite.load())
            FForceSyncPending = true;
        break;
    case MSG_WRITE_IO_CONFIG:
        if (!good) {
            ReportMessage(QStringLiteral("Uploading of the IO Configuration changes has "
                                         "failed.\nPlease check that the signal and online LED's "
                                         "are still on then try again."),
                          MK_INFORMATION);
        } else if (FUploadIsPart) {
            // Only the records that went are unmarked; the list stays as it
            // is so that the next Save sends the rest.
            Synchronize([this] { FUnit->CommitIOConfig(FUploadIds); });
            ReportStatus(QStringLiteral("Part of the IO Configuration changes has been uploaded."));
        } else {
            Synchronize([this] {
                if (FUploadIds.empty())
                    FUnit->CommitIOConfig();
                else
                    FUnit->CommitIOConfig(FUploadIds);
                FUnit->ClearIOConfig();
            });
            FReloadAfterWrite = true;
        }
        break;
    default:
        break;
    }
}

// ---- GUI-thread ticks ----

void TSerialThread::LiveTick()
{
    LiveTickBody();
    emit Stepped();
}

void TSerialThread::LiveTickBody()
{
    FLiveTimer->stop();
    FLiveTimer->setInterval(FPacing.LiveTimer);
    if (FLinkState.load() != LINK_LIVE)
        return;
    switch (FHost->ShownLiveList()) {
    case LIVE_LIST_EXTERNAL_IO:
        ReportStatus(QStringLiteral("Reading External IO..."));
        FUnit->PollExternalIO();
        FLiveTimer->start();
        break;
    case LIVE_LIST_OWN_IO:
        ReportStatus(QStringLiteral("Reading Internal IO..."));
        if (FUnit->PollLiveValues())
            FLiveTimer->start();
        else
            DropConnection();
        break;
    default:
        FLiveTimer->start();
        break;
    }
}

void TSerialThread::SignalTick()
{
    SignalTickBody();
    emit Stepped();
}

void TSerialThread::SignalTickBody()
{
    FSignalTimer->stop();
    FSignalTimer->setInterval(FPacing.SignalTimer);
    if (FLinkState.load() != LINK_SIGNAL)
        return;
    switch (FSignal->Tick()) {
    case SIG_DONE:
        // One store-and-forward poll, which ends at once for an idle unit.
        FCancel = CANCEL_NONE;
        SetLinkState(LINK_JOB);
        break;
    case SIG_FAILED: {
        SetLinkState(LINK_ERROR);
        const QString text =
            QStringLiteral("Refreshing signal strength failed. Please check your ") + kBrandName +
            QStringLiteral(" to PC connection");
        ReportStatus(text);
        ReportMessage(text, MK_ERROR);
        DropConnection();
        break;
    }
    default:
        FSignalTimer->start();
        break;
    }
}
