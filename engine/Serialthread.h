#pragma once

#include "common/Errormanager.h"
#include "link/Pacing.h"
#include "protocol/Commands.h"
#include "protocol/Storeforward.h"

#include <QThread>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class QTimer;
class TListView;
class TCommissioningDataParser;
class TEngineHost;
class TSignalStrengthRefresh;
class TZelvo;
class TZelvoCommsInterface;
struct TConnectionSettings;

// Where the connection stands; one worker step acts on each.
enum TLinkState : std::int8_t {
    LINK_IDLE = 0,
    LINK_OPENING = 1,
    LINK_CHECKING = 2,
    LINK_READ_TYPE = 3,
    LINK_READ_SETTINGS = 4,
    LINK_SAVE_SETTINGS = 5,
    LINK_LIVE = 6,
    LINK_SIGNAL = 7,
    LINK_JOB = 8,
    LINK_CLOSING = 9,
    LINK_ERROR = 10,
};

// Connection events carried to the window by Poll().
enum TConnectionEvent : std::uint8_t {
    CONN_EVENT_NONE = 0,
    CONN_EVENT_DISCONNECTED = 1,
    CONN_EVENT_CONNECTED = 2,
};

// Outcome of the last connection-settings save.
enum TSaveOutcome : std::int8_t {
    SAVE_NONE = 0,        // no save since the engine was made
    SAVE_IN_PROGRESS = 1, // asked for; the save step has not ended yet
    SAVE_SUCCEEDED = 2,   // written and applied: the unit resets
    SAVE_FAILED = 3,      // not written, or not applied
};

// What PrepareIOConfigUpload found among the configuration records.
enum TUploadPrepare : std::int8_t {
    UPLOAD_NOTHING = 0, // no record is marked changed
    UPLOAD_READY = 1,   // every changed record is in the job payload
    UPLOAD_PARTIAL = 2, // the changes do not fit one upload: those that fit are
                        // in the job payload, the rest stay marked changed for
                        // a further upload
};

// How the last connect ended (TSerialThread::ConnectOutcome).
enum TConnectOutcome : std::int8_t {
    CONNECT_NONE = 0,         // no connect asked for yet
    CONNECT_PENDING = 1,      // asked: the connection sequence runs
    CONNECT_OPENED = 2,       // the unit answered, its type and settings are read
    CONNECT_NO_DEVICE = 3,    // the port or bridge would not open
    CONNECT_FIRMWARE_OLD = 4, // the unit answered with firmware too old to use
    CONNECT_NO_ANSWER = 5,    // the port opened but the unit did not answer (or broke off)
};

// Where a cancel of the running job stands (TSerialThread::RequestCancel).
enum TCancelOutcome : std::int8_t {
    CANCEL_NONE = 0,     // no cancel asked for the job that runs now
    CANCEL_NOTHING = 1,  // nothing runs that could be cancelled
    CANCEL_PENDING = 2,  // asked: the worker ends the job at its next step
    CANCEL_DONE = 3,     // the job was ended; the unit was asked to go idle, the link is open
    CANCEL_TOO_LATE = 4, // a write whose message is with the server: it runs to its outcome
    CANCEL_SAVING = 5,   // connection settings are being written: the save runs to its end
};

// The job engine: a worker thread that owns everything that talks to the
// unit and advances one link state machine by one step per pacing period.
// Public operations are called on the GUI thread; the live and signal ticks
// run there from timers; the worker only writes flags that Poll() carries
// to the host.
class TSerialThread : public QThread
{
    Q_OBJECT
public:
    // Consecutive failed store-and-forward reads after which a job is
    // abandoned and the connection dropped: each costs a frame time-out and
    // a step, so about 30 s of silence on the USB bridge, 50 s on COM.
    static constexpr int MaxSFReadFailures = 8;
    static constexpr int ReplyBufferSize = 8000;

    // Created on the GUI thread; the worker starts at once and idles until
    // SetActive(true). `host` must outlive the engine; the engine, its unit
    // object and its data parser write to the host's ErrorLog().
    explicit TSerialThread(TEngineHost *host, const TPacing &pacing = TPacing::Production(),
                           QObject *parent = nullptr);
    // An engine over a given link whose worker thread is not started: the
    // caller drives it with StepOnce() on the GUI thread. For tests and tools
    // that script the unit.
    TSerialThread(TEngineHost *host, const TPacing &pacing,
                  std::unique_ptr<TZelvoCommsInterface> comms, QObject *parent = nullptr);
    // Ends the worker and waits for it before the owned objects go. The link
    // is aborted first, so an exchange or retry pause in progress returns at
    // once instead of running out its time-out.
    ~TSerialThread() override;

    TSerialThread(const TSerialThread &) = delete;
    TSerialThread &operator=(const TSerialThread &) = delete;

    void SetActive(bool active);
    void PostJob(TMessageType code);
    void StartConnect();
    void SetJobPayload(const std::uint8_t *bytes, int length);
    TUploadPrepare PrepareIOConfigUpload();
    void SaveConnectionSettings(const TConnectionSettings &settings);
    void StartSignalChecking();
    void StopSignalChecking();
    void SelectPort(bool useUsb, int port, int baudRate);
    bool IsUsbMode() const;
    void AttachListViews(TListView *lvIOs, TListView *lvIOConfig, TListView *lvExternalIO);
    bool IsBusy() const { return FBusy.load(); }
    // Asks for the running job to end (GUI thread). A read, or a write whose
    // message has not been uploaded, ends at the worker's next step
    // (CANCEL_PENDING, then CANCEL_DONE); a write already uploaded is not
    // cancelled (CANCEL_TOO_LATE) nor is a settings save (CANCEL_SAVING).
    // Asking again returns where the first request stands.
    TCancelOutcome RequestCancel();
    // Where the last request stands: CANCEL_NONE until one is made for the
    // job under way; a refused one goes back to CANCEL_NONE when the write's
    // outcome is in and its chain goes on reading (that part may be cancelled).
    TCancelOutcome CancelState() const { return static_cast<TCancelOutcome>(FCancel.load()); }
    // True while the worker is inside a step (it may be on the link). After
    // SetActive(false), once this reads false no further step starts until
    // SetActive(true).
    bool IsStepInProgress() const { return FStepInProgress.load(); }
    // Set to SAVE_IN_PROGRESS by SaveConnectionSettings, to the result by
    // the save step.
    TSaveOutcome SaveOutcome() const { return static_cast<TSaveOutcome>(FSaveOutcome.load()); }
    // The version text the unit reported at its last firmware check.
    std::string FirmwareVersion() const;

    bool HasBasicInfo() const;
    bool HasUOMs() const;
    bool HasIOConfiguration() const;
    bool HasUOMLists() const;
    bool HasInputTypes() const;
    bool HasModbusData() const;

    // Carries the worker's results to the host; GUI thread, once a second.
    void Poll();

    // One worker step on the calling thread (engines without a worker).
    void StepOnce() { Step(); }
    // Fires the live or signal timer's tick now (engines without a worker).
    void LiveTickNow() { LiveTick(); }
    void SignalTickNow() { SignalTick(); }

    // Runs fn on the GUI thread while the caller waits (directly when the
    // caller is already there).
    void Synchronize(const std::function<void()> &fn);

    // State for front ends and tests.
    TLinkState LinkState() const { return static_cast<TLinkState>(FLinkState.load()); }
    TSFState StoreForwardState() const { return static_cast<TSFState>(FSFState.load()); }
    TMessageType JobCode() const;
    // How the last StartConnect ended; CONNECT_PENDING while it runs.
    TConnectOutcome ConnectOutcome() const
    {
        return static_cast<TConnectOutcome>(FConnectOutcome.load());
    }
    // Asks the unit to go idle (SF_IDLE) on the way out: GUI thread, only
    // while the worker is held (SetActive(false)) and no step is under way,
    // and only with the link open. False when it could not be asked.
    bool RequestIdle();
    bool IsActive() const { return FActive.load(); }
    bool IsLiveTimerActive() const;
    bool IsSignalTimerActive() const;
    bool ForceSyncPending() const { return FForceSyncPending.load(); }
    bool ReloadAfterWrite() const { return FReloadAfterWrite.load(); }
    const TPacing &Pacing() const { return FPacing; }
    TZelvo *Unit() const { return FUnit.get(); }
    TZelvoCommsInterface *Comms() const { return FComms.get(); }
    TCommissioningDataParser *Parser() const { return FParser.get(); }
    TSignalStrengthRefresh *SignalPoll() const { return FSignal.get(); }
    // The host's log, which this engine writes to.
    TErrorManager &ErrorLog() const { return FLog; }

signals:
    // A worker step or a live or signal tick has just run: the moment for a
    // front end to look at the engine's state again. Emitted on the worker
    // thread for steps (queued to receivers on the GUI thread).
    void Stepped();

protected:
    void run() override;

private:
    struct TSyncCall;

    void Init(std::unique_ptr<TZelvoCommsInterface> comms);

    void Step();
    void StepOpening();
    void StepChecking();
    void StepReadType();
    void StepReadSettings();
    void StepSaveSettings();
    void StepJob();

    bool PollStoreForward();
    // A cancel asked for by the GUI thread, taken at the start of a job step:
    // true when the job is to end now; a write already uploaded is refused.
    bool TakeCancelRequest();
    // Ends the job the user cancelled; the cycle is over, the link stays open.
    void CancelJob();
    // Gives the cycle up when the unit has stayed in state `s` for longer
    // than the pacing's StoreForwardStall; true when it did.
    bool GiveUpStalledCycle(int s);
    void DownloadReply();
    // Side effects of the reply to `job` beyond the chain table.
    void ActOnReply(int job, bool good);
    // The job that follows a reply to `job` (0: the chain ends there).
    int NextJob(int job, bool good) const;
    void SetStoreForwardState(int state);

    void LiveTick();
    void SignalTick();
    void LiveTickBody();
    void SignalTickBody();

    void ReportStatus(const QString &text);
    void ReportMessage(const QString &text, TMessageKind kind);
    void SetLinkState(int state) { FLinkState = static_cast<std::int8_t>(state); }
    void SetJob(int code);
    void FinishJob();
    // FinishJob for a job given up before its chain ended.
    void AbandonJob();
    void DropConnection();
    // Sleeps up to `period`, waking early when the engine is being ended.
    void PauseFor(std::chrono::milliseconds period);

    TEngineHost *FHost;
    TErrorManager &FLog;
    TPacing FPacing;

    std::unique_ptr<TZelvoCommsInterface> FComms;
    std::unique_ptr<TSignalStrengthRefresh> FSignal;
    std::atomic<std::int8_t> FLinkState{LINK_IDLE};
    std::atomic<std::int8_t> FSFState{SF_UNKNOWN};
    QTimer *FLiveTimer = nullptr;
    QTimer *FSignalTimer = nullptr;
    std::unique_ptr<TZelvo> FUnit;
    std::vector<std::uint8_t> FReplyBuffer;
    std::uint16_t FReplyLength = 0;
    std::unique_ptr<TCommissioningDataParser> FParser;
    bool FIdleConfirmed = false;
    bool FParseResult = false;
    std::atomic<bool> FActive{false};
    std::atomic<bool> FForceSyncPending{false};
    std::atomic<bool> FJobFinished{false};
    std::atomic<bool> FBusy{false};
    std::atomic<bool> FStepInProgress{false};
    std::atomic<std::int8_t> FSaveOutcome{SAVE_NONE};
    std::atomic<bool> FReloadAfterWrite{false};
    std::atomic<std::uint8_t> FConnectionEvent{CONN_EVENT_NONE};
    std::unique_ptr<TConnectionSettings> FSettings;
    // The settings are written by the GUI thread (save, connect event) and
    // read by the worker's save step.
    mutable std::mutex FSettingsLock;
    // Mirrors the parser's job code for readers on the other thread.
    std::atomic<int> FJobCode{0};
    // A TCancelOutcome: moved NONE -> PENDING by the GUI thread, PENDING ->
    // DONE by the worker, PENDING -> TOO_LATE by either (whichever sees the
    // upload first), TOO_LATE -> NONE by the worker when a read follows.
    std::atomic<std::int8_t> FCancel{CANCEL_NONE};
    std::atomic<std::int8_t> FConnectOutcome{CONNECT_NONE};
    // The current job changes the unit's or the server's state and its
    // message has been uploaded. Raised by the worker; lowered whenever a
    // job is set or finished.
    std::atomic<bool> FWriteUploaded{false};
    int FSFReadFailures = 0;
    // The current cycle's job was given up (stalled, or an error state).
    bool FCycleAbandoned = false;
    // The state the unit reported last in this cycle and since when; a cycle
    // that sees no new state for StoreForwardStall is given up.
    bool FCycleWatched = false;
    int FWatchedState = SF_UNKNOWN;
    std::chrono::steady_clock::time_point FWatchedSince{};
    // The IOIDs in the last upload payload (GUI thread only: set by
    // PrepareIOConfigUpload, used by the synchronised commit after the
    // write), and whether it carried only part of the changes.
    std::vector<std::int32_t> FUploadIds;
    std::atomic<bool> FUploadIsPart{false};
    // Set when the engine is being destroyed; wakes the worker's pauses.
    std::atomic<bool> FEnding{false};
    std::mutex FWakeLock;
    std::condition_variable FWake;
};
