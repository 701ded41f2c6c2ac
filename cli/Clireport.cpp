// zelvo-cli, report: a commissioning report of the unit as found.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "common/Version.h"

#include "engine/Serialthread.h"
#include "report/Report.h"
#include "report/Reportgatherer.h"
#include "report/Reportwriter.h"

#include <QFile>

namespace
{

// What the gatherer reads from the command line's host.
TReportSources HostSources(TCliHost &host)
{
    TReportSources sources;
    sources.Settings = [&host]() -> std::optional<TConnectionSettings> { return host.Settings(); };
    sources.SnapshotReplies = [&host] { return host.SnapshotReceived() ? 1 : 0; };
    sources.SnapshotLines = [&host] { return host.SnapshotLines(); };
    sources.LogLines = [&host] { return host.LogLines(); };
    return sources;
}

} // namespace

int RunReport(TCliSession &s)
{
    const TCliOptions &o = s.Options();
    const std::optional<TReportFormat> format = ReportFormatFromPath(o.ReportPath);
    if (!format)
        return EXIT_CLI_USAGE; // the parser refused it already
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;

    TReportRequest request;
    request.Site = o.Site;
    request.Installer = o.Installer;
    request.ToolVersion = QStringLiteral(ZELVO_VERSION);
    request.SignalSeconds = o.SignalSeconds;
    request.LoadIOConfig = !o.NoIOConfig;

    TCliHost &host = s.Host();
    TReportGatherer gatherer(s.Engine(), request, HostSources(host));
    QObject::connect(&gatherer, &TReportGatherer::Progress,
                     [&host](const QString &text) { host.Note(text); });
    gatherer.Start();
    // The gatherer gives each of its jobs the command line's job limit; this
    // only ends a run whose unit never lets it finish.
    s.Pump([&gatherer] { return gatherer.IsDone(); }, s.JobLimit() * 4);
    if (s.WasInterrupted()) {
        // Nothing is written for an interrupted run; the shutdown switches
        // signal monitoring off and asks the unit to go idle.
        gatherer.Cancel();
        return s.Interrupted();
    }
    if (!gatherer.IsDone()) {
        gatherer.Cancel();
        s.Pump([&gatherer] { return gatherer.IsDone(); }, s.JobLimit());
    }

    TCommissioningReport report = gatherer.Report();
    if (o.Link == TLinkChoice::Simulate)
        report.Port =
            QStringLiteral("simulated %1 unit, %2").arg(o.SimulateModel.toUpper(), report.Port);
    QString error;
    if (!SaveReport(report, o.ReportPath, *format, &error))
        return s.Failed(
            QStringLiteral("%1: the report could not be written (%2).").arg(o.ReportPath, error));
    host.Note(QStringLiteral("Report written to %1.").arg(o.ReportPath));
    const QStringList missing = report.UnavailableSections();
    if (!missing.isEmpty())
        return s.Failed(QStringLiteral("Not available in the report: %1.").arg(missing.join(", ")));
    if (s.Disconnected())
        return s.Failed(QStringLiteral("The unit stopped answering."));
    return s.Outcome(EXIT_CLI_OK);
}
