// Time and memory of writing the commissioning report of an OSTRA: its 59
// configured I/O, the 54 own I/O of the live list, external I/O, a snapshot
// and a session log, as PDF, HTML and JSON into memory.
//
// Memory: the peak resident size after one PDF was written, minus the peak
// before it (the application, fonts not yet loaded), is printed as
// "pdf_extra_peak_rss_mb" before the timings.

#include "report/Report.h"
#include "report/Reportwriter.h"

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

namespace
{

TCommissioningReport OstraReport()
{
    TCommissioningReport r;
    r.Created = QDateTime::currentDateTime();
    r.ToolName = ReportToolName();
    r.ToolVersion = QStringLiteral("0.1.0.0");
    r.Site = QStringLiteral("Pumping station 4, Weir Road");
    r.Installer = QStringLiteral("A. Builder");
    r.Model = QStringLiteral("OSTRA");
    r.UnitType = 2;
    r.Firmware = QStringLiteral("V2.61?Zelvo OSTRA build 1043");
    r.FirmwareVersion = QStringLiteral("2.61");
    r.Port = QStringLiteral("USB bridge \"Zelvo\"");
    r.Unit.MarkAvailable();
    r.ConnectionTypeText = QStringLiteral("Mobile (GPRS)");
    r.ConnectionType = 2;
    r.Apn = QStringLiteral("iot.zelvo.example");
    r.User = QStringLiteral("ostra");
    r.PasswordSet = true;
    r.IpAddress = r.NetMask = r.DefaultGateway = r.DnsServer = QStringLiteral("192.168.1.1");
    r.Connection.MarkAvailable();
    r.SignalSeconds = 20;
    for (int i = 0; i < 20; ++i)
        r.SignalSamples.push_back(static_cast<std::uint8_t>(12 + i % 9));
    r.Signal.MarkAvailable();
    for (int i = 0; i < 59; ++i)
        r.ConfigRows.push_back({10400 + i, QStringLiteral("IN%1").arg(i, 2, 10, QChar('0')),
                                QStringLiteral("Raw water storage tank %1, north side").arg(i),
                                QStringLiteral("4-20 mA current loop"),
                                QStringLiteral("Pressure, bar (0-10)"),
                                QStringLiteral("Log & Display"), i >= 45});
    r.IOConfig.MarkAvailable();
    r.LiveReadAt = r.Created;
    for (int i = 0; i < 54; ++i)
        r.LiveRows.push_back({i + 1, QStringLiteral("Analogue input %1").arg(i),
                              QStringLiteral("[AI%1]").arg(i, 2, 10, QChar('0')),
                              QStringLiteral("Analogue Input"), QStringLiteral("4.25 bar"),
                              QStringLiteral("bar")});
    r.Live.MarkAvailable();
    r.ExternalReadAt = r.Created;
    for (int i = 0; i < 14; ++i)
        r.ExternalRows.push_back({QStringLiteral("Mains voltage L%1").arg(i),
                                  QStringLiteral("EXT%1").arg(i, 3, 10, QChar('0')),
                                  QStringLiteral("234.00"), QStringLiteral("Log & Display"),
                                  QStringLiteral("No Error"), QStringLiteral("Energy meter EM-340"),
                                  1});
    r.External.MarkAvailable();
    for (int i = 0; i < 59; ++i)
        r.SnapshotLines << QStringLiteral("Analogue %1 : %2").arg(i).arg(i * 0.25);
    r.Snapshot.MarkAvailable();
    for (int i = 0; i < 60; ++i)
        r.LogLines << QStringLiteral("Zelvo idle, Ready to take live readings., Start reading "
                                     "the IO configuration., Waiting for download., Tabs "
                                     "re-activated");
    r.Log.MarkAvailable();
    return r;
}

long PeakRssKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void BM_WritePdf(benchmark::State &state)
{
    const TCommissioningReport r = OstraReport();
    std::size_t bytes = 0;
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString error;
        if (!WriteReportPdf(r, out, &error))
            state.SkipWithError("the PDF was not written");
        bytes = static_cast<std::size_t>(out.size());
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WritePdf)->Unit(benchmark::kMillisecond);

void BM_WriteHtml(benchmark::State &state)
{
    const TCommissioningReport r = OstraReport();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReportToHtml(r));
}
BENCHMARK(BM_WriteHtml)->Unit(benchmark::kMillisecond);

void BM_WriteJson(benchmark::State &state)
{
    const TCommissioningReport r = OstraReport();
    for (auto _ : state)
        benchmark::DoNotOptimize(ReportToJson(r));
}
BENCHMARK(BM_WriteJson)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const long before = PeakRssKb();
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString error;
        if (!WriteReportPdf(OstraReport(), out, &error) || out.size() < 1000) {
            std::fprintf(stderr, "the PDF was not written\n");
            return 1;
        }
    }
    std::printf("pdf_extra_peak_rss_mb %.1f\n", static_cast<double>(PeakRssKb() - before) / 1024);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
