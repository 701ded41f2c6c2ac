// zelvo-cli, report: a commissioning report of the unit as found.

#include "cli/Clirunner.h"
#include "common/Version.h"

#include "engine/Serialthread.h"
#include "report/Report.h"
#include "report/Reportgatherer.h"
#include "report/Reportwriter.h"

#include <QFile>

int TCliRunner::Report()
{
    const std::optional<TReportFormat> format = ReportFormatFromPath(O.ReportPath);
    if (!format)
        return EXIT_CLI_USAGE; // the parser refused it already

    TReportRequest request;
    request.Site = O.Site;
    request.Installer = O.Installer;
    request.ToolVersion = QStringLiteral(ZELVO_VERSION);
    request.SignalSeconds = O.SignalSeconds;
    request.LoadIOConfig = !O.NoIOConfig;

    TReportSources sources;
    sources.Settings = [this]() -> std::optional<TConnectionSettings> { return FHost.Settings(); };
    sources.SnapshotReplies = [this] { return FHost.SnapshotReceived() ? 1 : 0; };
    sources.SnapshotLines = [this] { return FHost.SnapshotLines(); };
    sources.LogLines = [this] { return FHost.LogLines(); };

    TReportGatherer gatherer(*FEngine, request, sources);
    QObject::connect(&gatherer, &TReportGatherer::Progress,
                     [this](const QString &text) { FHost.Note(text); });
    gatherer.Start();
    // The gatherer gives each of its jobs the command line's job limit; this
    // only ends a run whose unit never lets it finish.
    Pump([&gatherer] { return gatherer.IsDone(); }, JobLimit() * 4);
    if (FInterrupted) {
        // Nothing is written for an interrupted run; the shutdown switches
        // signal monitoring off and asks the unit to go idle.
        gatherer.Cancel();
        return Interrupted();
    }
    if (!gatherer.IsDone()) {
        gatherer.Cancel();
        Pump([&gatherer] { return gatherer.IsDone(); }, JobLimit());
    }

    TCommissioningReport report = gatherer.Report();
    if (O.Link == TLinkChoice::Simulate)
        report.Port =
            QStringLiteral("simulated %1 unit, %2").arg(O.SimulateModel.toUpper(), report.Port);
    QString error;
    if (!SaveReport(report, O.ReportPath, *format, &error))
        return Failed(
            QStringLiteral("%1: the report could not be written (%2).").arg(O.ReportPath, error));
    FHost.Note(QStringLiteral("Report written to %1.").arg(O.ReportPath));
    const QStringList missing = report.UnavailableSections();
    if (!missing.isEmpty())
        return Failed(QStringLiteral("Not available in the report: %1.").arg(missing.join(", ")));
    if (Disconnected())
        return Failed(QStringLiteral("The unit stopped answering."));
    return Outcome(EXIT_CLI_OK);
}
