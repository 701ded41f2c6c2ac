#pragma once

// Gathers a commissioning report through the job engine: runs the read jobs
// whose data is missing, reads the live and external values once, samples the
// signal strength, and fills the report. Nothing is written to the unit.
// Runs on the GUI thread, driven by the event loop; both front ends use it.

#include "link/Pacing.h"
#include "protocol/Commands.h"
#include "report/Report.h"
#include "unit/Connectionsettings.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class TSerialThread;

struct TReportRequest {
    QString Site;
    QString Installer;
    QString Email;
    QString ToolVersion;
    int SignalSeconds = 20; // one reading per signal tick, one tick a second
    bool IncludeSignal = true;
    // The I/O configuration is read when it has not been loaded; without
    // LoadIOConfig it is reported only when it has.
    bool IncludeIOConfig = true;
    bool LoadIOConfig = true;
    bool IncludeLive = true;
    bool IncludeExternal = true;
    bool IncludeSnapshot = true;
    bool IncludeLog = true;
};

// What only the front end knows. Every member may be left empty.
struct TReportSources {
    // Posts a job as the front end's own buttons do; by default the
    // session's PostJob over the engine.
    std::function<void(TMessageType code)> PostJob;
    // The settings the unit reported when it connected; by default the unit
    // object's copy.
    std::function<std::optional<TConnectionSettings>()> Settings;
    // Counts good snapshot replies (any change means one came).
    std::function<int()> SnapshotReplies;
    std::function<QStringList()> SnapshotLines;
    std::function<QStringList()> LogLines;
};

class TReportGatherer : public QObject
{
    Q_OBJECT
public:
    TReportGatherer(TSerialThread &engine, TReportRequest request, TReportSources sources,
                    QObject *parent = nullptr);

    void Start();
    // Ends at the next step; what is missing is marked not available.
    void Cancel();
    bool IsDone() const { return FPhase == Phase::Done; }
    bool WasCancelled() const { return FCancelled; }
    const TCommissioningReport &Report() const { return FReport; }

signals:
    // What is being done now, for a progress display.
    void Progress(const QString &text);
    void Finished();

private:
    enum class Phase {
        Idle,
        Settle,
        Uoms,
        IOConfig,
        Snapshot,
        Live,
        External,
        SignalStart,
        SignalSample,
        SignalStop,
        Done
    };
    using ms = std::chrono::milliseconds;
    using Clock = std::chrono::steady_clock;

    void Advance();
    void Enter(Phase phase, ms limit);
    bool Resting() const;
    bool Disconnected() const;
    bool TimedOut() const { return Clock::now() >= FDeadline; }
    void PostJob(TMessageType code);
    // Moves to the next phase that is asked for.
    void NextPhase();
    void Finish();
    void AbandonRemaining(const QString &why);
    void StepJobPhase();
    void StepLive();
    void StepExternal();
    void StepSignal();
    void Sample();
    ms JobLimit() const;

    TSerialThread &FEngine;
    TReportRequest FRequest;
    TReportSources FSources;
    TPacing FPacing;
    TCommissioningReport FReport;
    Phase FPhase = Phase::Idle;
    bool FJobPosted = false;
    bool FCancelled = false;
    Clock::time_point FDeadline{};
    int FSnapshotMark = 0;
    std::uint32_t FLiveMark = 0;
    int FAttempts = 0;
    bool FExternalLeft = false;
    QTimer FTick;
    QTimer FSampleTimer;
};
