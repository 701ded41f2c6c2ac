#include "report/Reportgatherer.h"

#include "common/Errormanager.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Session.h"
#include "protocol/Commands.h"
#include "unit/Zelvo.h"

#include <algorithm>

namespace
{

// Tries of a live read that got no answer before the section is given up.
constexpr int kLiveAttempts = 3;
// Steps of the external reading cycle that may pass without it starting.
constexpr int kExternalStartAttempts = 5;

} // namespace

TReportGatherer::TReportGatherer(TSerialThread &engine, TReportRequest request,
                                 TReportSources sources, QObject *parent)
    : QObject(parent), FEngine(engine), FRequest(std::move(request)), FSources(std::move(sources)),
      FPacing(engine.Pacing())
{
    FReport.ToolName = ReportToolName();
    FReport.ToolVersion = FRequest.ToolVersion;
    FReport.Site = FRequest.Site;
    FReport.Installer = FRequest.Installer;
    FReport.Email = FRequest.Email;
    FReport.SignalSeconds = std::max(1, FRequest.SignalSeconds);
    if (!FRequest.IncludeSignal)
        FReport.Signal.MarkNotIncluded(QStringLiteral("not asked for"));
    if (!FRequest.IncludeIOConfig)
        FReport.IOConfig.MarkNotIncluded(QStringLiteral("not asked for"));
    if (!FRequest.IncludeLive)
        FReport.Live.MarkNotIncluded(QStringLiteral("not asked for"));
    if (!FRequest.IncludeExternal)
        FReport.External.MarkNotIncluded(QStringLiteral("not asked for"));
    if (!FRequest.IncludeSnapshot)
        FReport.Snapshot.MarkNotIncluded(QStringLiteral("not asked for"));
    if (!FRequest.IncludeLog)
        FReport.Log.MarkNotIncluded(QStringLiteral("not asked for"));

    FTick.setInterval(std::max(ms(5), FPacing.WorkerStep / 4));
    connect(&FTick, &QTimer::timeout, this, &TReportGatherer::Advance);
    FSampleTimer.setSingleShot(true);
    FSampleTimer.setTimerType(Qt::PreciseTimer);
    connect(&FSampleTimer, &QTimer::timeout, this, &TReportGatherer::Sample);
    connect(&FEngine, &TSerialThread::Stepped, this, &TReportGatherer::Advance);
}

TReportGatherer::ms TReportGatherer::JobLimit() const
{
    // As long as the command line gives a whole job chain.
    return FPacing.WorkerStep * 300 +
           std::max(FPacing.ComFrameTimeout, FPacing.UsbFrameTimeout) * 20;
}

void TReportGatherer::Start()
{
    FReport.Created = QDateTime::currentDateTime();
    FTick.start();
    Enter(Phase::Settle, JobLimit());
    Advance();
}

void TReportGatherer::Cancel()
{
    FCancelled = true;
    Advance();
}

bool TReportGatherer::Resting() const
{
    return FEngine.LinkState() == LINK_LIVE && !FEngine.IsBusy() && FEngine.JobCode() == 0;
}

bool TReportGatherer::Disconnected() const
{
    const int s = FEngine.LinkState();
    return s == LINK_IDLE || s == LINK_CLOSING || s == LINK_ERROR;
}

void TReportGatherer::Enter(Phase phase, ms limit)
{
    FPhase = phase;
    FDeadline = Clock::now() + limit;
    FJobPosted = false;
    FAttempts = 0;
    FExternalLeft = false;
}

void TReportGatherer::PostJob(TMessageType code)
{
    if (FSources.PostJob)
        FSources.PostJob(code);
    else
        TSession(FEngine).PostJob(code);
    FJobPosted = true;
}

void TReportGatherer::NextPhase()
{
    static constexpr Phase order[] = {Phase::Settle,      Phase::Uoms, Phase::IOConfig,
                                      Phase::Snapshot,    Phase::Live, Phase::External,
                                      Phase::SignalStart, Phase::Done};
    const auto needed = [this](Phase p) {
        switch (p) {
        case Phase::Uoms:
            return FRequest.IncludeLive && !FEngine.HasUOMs();
        case Phase::IOConfig:
            return (FRequest.IncludeIOConfig || FRequest.IncludeExternal) &&
                   FRequest.LoadIOConfig &&
                   !(FEngine.HasIOConfiguration() && FEngine.HasInputTypes() &&
                     FEngine.HasUOMLists() && FEngine.HasModbusData());
        case Phase::Snapshot:
            return FRequest.IncludeSnapshot;
        case Phase::Live:
            return FRequest.IncludeLive;
        case Phase::External:
            return FRequest.IncludeExternal;
        case Phase::SignalStart:
            return FRequest.IncludeSignal;
        default:
            return true;
        }
    };
    const auto *at = std::find(std::begin(order), std::end(order), FPhase);
    for (++at; at != std::end(order); ++at) {
        if (!needed(*at))
            continue;
        switch (*at) {
        case Phase::Uoms:
            emit Progress(QStringLiteral("Reading the UOM information..."));
            break;
        case Phase::IOConfig:
            emit Progress(QStringLiteral("Reading the I/O configuration..."));
            break;
        case Phase::Snapshot:
            emit Progress(QStringLiteral("Retrieving the latest snapshot..."));
            break;
        case Phase::Live:
            emit Progress(QStringLiteral("Reading the live values..."));
            break;
        case Phase::External:
            emit Progress(QStringLiteral("Reading the external I/O..."));
            break;
        case Phase::SignalStart:
            emit Progress(QStringLiteral("Sampling the signal strength for %1 s...")
                              .arg(FReport.SignalSeconds));
            break;
        default:
            break;
        }
        if (*at == Phase::Done) {
            Finish();
        } else {
            Enter(*at, JobLimit());
        }
        return;
    }
    Finish();
}

void TReportGatherer::AbandonRemaining(const QString &why)
{
    for (TReportSection *s :
         {&FReport.Signal, &FReport.IOConfig, &FReport.Live, &FReport.External, &FReport.Snapshot})
        if (s->Included && !s->Available && s->Reason.isEmpty())
            s->MarkUnavailable(why);
    Finish();
}

void TReportGatherer::Advance()
{
    if (FPhase == Phase::Idle || FPhase == Phase::Done)
        return;
    if (FCancelled && FPhase != Phase::SignalSample && FPhase != Phase::SignalStop) {
        if (FPhase == Phase::SignalStart && FEngine.LinkState() == LINK_SIGNAL) {
            FEngine.StopSignalChecking();
            Enter(Phase::SignalStop, JobLimit());
            return;
        }
        AbandonRemaining(QStringLiteral("The report was cancelled."));
        return;
    }
    if (Disconnected()) {
        AbandonRemaining(QStringLiteral("The unit was disconnected."));
        return;
    }
    switch (FPhase) {
    case Phase::Settle:
        if (Resting())
            NextPhase();
        else if (TimedOut())
            AbandonRemaining(QStringLiteral("The unit did not become ready."));
        return;
    case Phase::Uoms:
    case Phase::IOConfig:
    case Phase::Snapshot:
        StepJobPhase();
        return;
    case Phase::Live:
        StepLive();
        return;
    case Phase::External:
        StepExternal();
        return;
    case Phase::SignalStart:
    case Phase::SignalSample:
    case Phase::SignalStop:
        StepSignal();
        return;
    case Phase::Idle:
    case Phase::Done:
        return;
    }
}

void TReportGatherer::StepJobPhase()
{
    if (!FJobPosted) {
        if (!Resting())
            return;
        if (FPhase == Phase::Snapshot)
            FSnapshotMark = FSources.SnapshotReplies ? FSources.SnapshotReplies() : 0;
        PostJob(FPhase == Phase::Uoms       ? MSG_READ_UOM_INFO
                : FPhase == Phase::IOConfig ? MSG_READ_IO_CONFIG
                                            : MSG_READ_SNAPSHOT);
        return;
    }
    const bool ended = Resting();
    if (!ended && !TimedOut())
        return;
    if (FPhase == Phase::Uoms) {
        if (!FEngine.HasUOMs())
            FReport.Live.MarkUnavailable(QStringLiteral("The UOM information could not be read."));
    } else if (FPhase == Phase::IOConfig) {
        if (!FEngine.HasIOConfiguration()) {
            FReport.IOConfig.MarkUnavailable(
                QStringLiteral("The server did not answer the I/O configuration."));
            FReport.External.MarkUnavailable(
                QStringLiteral("The I/O configuration could not be read."));
        } else if (!FEngine.HasModbusData()) {
            FReport.External.MarkUnavailable(QStringLiteral("The Modbus data could not be read."));
        }
    } else {
        const int now = FSources.SnapshotReplies ? FSources.SnapshotReplies() : 0;
        if (ended && now != FSnapshotMark) {
            FReport.SnapshotLines =
                FSources.SnapshotLines ? FSources.SnapshotLines() : QStringList();
            FReport.Snapshot.MarkAvailable();
        } else {
            FReport.Snapshot.MarkUnavailable(
                QStringLiteral("The snapshot could not be retrieved."));
        }
    }
    if (!ended) {
        AbandonRemaining(QStringLiteral("A job did not finish in time."));
        return;
    }
    NextPhase();
}

void TReportGatherer::StepLive()
{
    if (!Resting())
        return;
    if (!FReport.Live.Reason.isEmpty() || !FEngine.HasUOMs()) {
        if (FReport.Live.Reason.isEmpty())
            FReport.Live.MarkUnavailable(QStringLiteral("The UOM information could not be read."));
        NextPhase();
        return;
    }
    TZelvo *unit = FEngine.Unit();
    // The same read as the live page's timer makes; the worker does not
    // touch the link while the engine rests with live readings.
    const std::uint32_t answered = unit->LiveReadsAnswered();
    unit->PollLiveValues();
    if (unit->LiveReadsAnswered() != answered) {
        FReport.LiveReadAt = QDateTime::currentDateTime();
        CollectLive(FEngine, FReport);
        FReport.Live.MarkAvailable();
        NextPhase();
    } else if (++FAttempts >= kLiveAttempts) {
        FReport.Live.MarkUnavailable(QStringLiteral("The unit did not answer the live read."));
        NextPhase();
    }
}

void TReportGatherer::StepExternal()
{
    if (!Resting())
        return;
    if (!FReport.External.Reason.isEmpty()) {
        NextPhase();
        return;
    }
    if (!FEngine.HasIOConfiguration()) {
        if (FRequest.LoadIOConfig)
            FReport.External.MarkUnavailable(
                QStringLiteral("The I/O configuration could not be read."));
        else
            FReport.External.MarkNotIncluded(
                QStringLiteral("The I/O configuration has not been loaded."));
        NextPhase();
        return;
    }
    TZelvo *unit = FEngine.Unit();
    if (unit->ServerSideIOs().ExternalCount() == 0) {
        FReport.ExternalReadAt = QDateTime::currentDateTime();
        CollectExternal(FEngine, FReport);
        FReport.External.MarkAvailable();
        NextPhase();
        return;
    }
    // One step of the external devices page's reading cycle per turn, so the
    // window stays responsive; the cycle is over when it is back at its start.
    unit->PollExternalIO();
    const int phase = unit->ExternalReadPhase();
    if (phase != 0) {
        FExternalLeft = true;
    } else if (FExternalLeft) {
        FReport.ExternalReadAt = QDateTime::currentDateTime();
        CollectExternal(FEngine, FReport);
        FReport.External.MarkAvailable();
        NextPhase();
        return;
    } else if (++FAttempts >= kExternalStartAttempts) {
        FReport.External.MarkUnavailable(
            QStringLiteral("The unit did not start the external reading."));
        NextPhase();
        return;
    }
    if (TimedOut()) {
        FReport.External.MarkUnavailable(
            QStringLiteral("The external I/O could not be read in time."));
        NextPhase();
    }
}

void TReportGatherer::StepSignal()
{
    TSignalStrengthRefresh *poll = FEngine.SignalPoll();
    switch (FPhase) {
    case Phase::SignalStart:
        if (!FJobPosted) {
            if (!Resting())
                return;
            FEngine.StartSignalChecking();
            FJobPosted = true;
            return;
        }
        if (poll->State() == SIG_RUNNING) {
            // Readings are taken half-way between ticks, so each sees the
            // level of the tick before it.
            FReport.SignalSamples.clear();
            FPhase = Phase::SignalSample;
            FSampleTimer.start(FPacing.SignalTimer * 3 / 2);
        } else if (poll->State() == SIG_FAILED || FEngine.LinkState() != LINK_SIGNAL ||
                   TimedOut()) {
            FReport.Signal.MarkUnavailable(
                QStringLiteral("The unit's signal monitoring could not be switched on."));
            if (FEngine.LinkState() == LINK_SIGNAL)
                FEngine.StopSignalChecking();
            Enter(Phase::SignalStop, JobLimit());
        }
        return;
    case Phase::SignalSample:
        return; // the sample timer drives this phase
    case Phase::SignalStop:
        if (Resting()) {
            Finish();
        } else if (TimedOut()) {
            if (FReport.Signal.Reason.isEmpty() && !FReport.Signal.Available)
                FReport.Signal.MarkUnavailable(QStringLiteral("Signal checking did not stop."));
            Finish();
        }
        return;
    default:
        return;
    }
}

void TReportGatherer::Sample()
{
    if (FPhase != Phase::SignalSample)
        return;
    TSignalStrengthRefresh *poll = FEngine.SignalPoll();
    const bool running = FEngine.LinkState() == LINK_SIGNAL && poll->State() == SIG_RUNNING;
    if (running)
        FReport.SignalSamples.push_back(poll->SignalLevel());
    const bool complete = static_cast<int>(FReport.SignalSamples.size()) >= FReport.SignalSeconds;
    if (!running || complete || FCancelled) {
        if (complete)
            FReport.Signal.MarkAvailable();
        else if (FCancelled)
            FReport.Signal.MarkUnavailable(QStringLiteral("The report was cancelled."));
        else
            FReport.Signal.MarkUnavailable(QStringLiteral("Signal checking ended with an error."));
        if (FEngine.LinkState() == LINK_SIGNAL)
            FEngine.StopSignalChecking();
        Enter(Phase::SignalStop, JobLimit());
        Advance();
        return;
    }
    FSampleTimer.start(FPacing.SignalTimer);
}

void TReportGatherer::Finish()
{
    FTick.stop();
    FSampleTimer.stop();
    CollectUnit(FEngine, FReport);
    std::optional<TConnectionSettings> settings;
    if (FSources.Settings)
        settings = FSources.Settings();
    if (!settings && FEngine.Unit())
        settings = FEngine.Unit()->GetSettings();
    if (settings)
        CollectConnection(*settings, FReport);
    else
        FReport.Connection.MarkUnavailable(QStringLiteral("The unit's settings were not read."));

    if (FReport.IOConfig.Included) {
        if (FEngine.HasIOConfiguration()) {
            CollectIOConfig(FEngine, FReport);
            FReport.IOConfig.MarkAvailable();
        } else if (FReport.IOConfig.Reason.isEmpty()) {
            if (FRequest.LoadIOConfig)
                FReport.IOConfig.MarkUnavailable(
                    QStringLiteral("The I/O configuration could not be read."));
            else
                FReport.IOConfig.MarkNotIncluded(
                    QStringLiteral("The I/O configuration has not been loaded."));
        }
    }
    if (FReport.Log.Included) {
        FEngine.ErrorLog().FlushLog();
        FReport.LogLines = FSources.LogLines ? FSources.LogLines() : QStringList();
        FReport.Log.MarkAvailable();
    }
    FPhase = Phase::Done;
    emit Finished();
}
