// The report's three formats written from one report, read back as a
// customer's tools would read them.

#include "report/Reportwriter.h"
#include "ReportTestUtil.h"
#include "report/Report.h"
#include "tests/support/TestUtil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace reporttest;

namespace
{

QString Temp(const QString &name)
{
    return QString::fromStdString(zelvo::test::TempDir()) + QStringLiteral("/report-writer-") +
           name;
}

TCommissioningReport Sample(int configRows)
{
    TCommissioningReport r;
    r.Created = QDateTime(QDate(2026, 3, 4), QTime(9, 15, 30), QTimeZone(3600));
    r.ToolName = ReportToolName();
    r.ToolVersion = QStringLiteral("1.2.3.4");
    r.Site = QStringLiteral("Weir <North> & Co");
    r.Installer = QStringLiteral("A. Builder");
    r.Model = QStringLiteral("OSTRA");
    r.UnitType = 2;
    r.Firmware = QStringLiteral("V2.61?Zelvo OSTRA build 1043");
    r.FirmwareVersion = QStringLiteral("2.61");
    r.Port = QStringLiteral("USB bridge \"Zelvo\"");
    r.Unit.MarkAvailable();
    r.ConnectionType = 2;
    r.ConnectionTypeText = QStringLiteral("Mobile (GPRS)");
    r.Apn = QStringLiteral("iot.zelvo.example");
    r.User = QStringLiteral("ostra");
    r.PasswordSet = true;
    r.IpAddress = QStringLiteral("192.168.1.50");
    r.NetMask = QStringLiteral("255.255.255.0");
    r.DefaultGateway = QStringLiteral("192.168.1.1");
    r.DnsServer = QStringLiteral("192.168.1.2");
    r.Connection.MarkAvailable();
    r.SignalSeconds = 4;
    r.SignalSamples = {6, 14, 150, 10};
    r.Signal.MarkAvailable();
    for (int i = 0; i < configRows; ++i)
        r.ConfigRows.push_back({10400 + i, QStringLiteral("IN%1").arg(i, 2, 10, QChar('0')),
                                QStringLiteral("Input %1").arg(i), QStringLiteral("0-10 V voltage"),
                                QStringLiteral("Voltage, V"), QStringLiteral("Log & Display"),
                                false});
    r.IOConfig.MarkAvailable();
    r.LiveReadAt = r.Created;
    r.LiveRows.push_back({1, QStringLiteral("Digital output 1"), QStringLiteral("DO01"),
                          QStringLiteral("Digital Output"), QStringLiteral("On"), QString()});
    r.LiveRows.push_back({9, QStringLiteral("Analogue input 1"), QStringLiteral("AI01"),
                          QStringLiteral("Analogue Input"), QStringLiteral("4.25 bar"),
                          QStringLiteral("bar")});
    r.Live.MarkAvailable();
    r.External.MarkUnavailable(QStringLiteral("The Modbus data could not be read."));
    r.SnapshotLines = {QStringLiteral("AI01 : 4.25")};
    r.Snapshot.MarkAvailable();
    r.Log.MarkNotIncluded(QStringLiteral("not asked for"));
    return r;
}

} // namespace

TEST(ReportSignal, StatsUseTheMetersBands_AndLeaveFailedReadsOut)
{
    struct Row {
        std::uint8_t level;
        const char *band;
    };
    // Bands follow the meter's bar: 7 pixels a level from the bottom edge.
    for (const Row &row :
         {Row{0, "Poor"}, Row{6, "Poor"}, Row{7, "Borderline"}, Row{9, "Borderline"}, Row{10, "OK"},
          Row{13, "OK"}, Row{14, "Good"}, Row{31, "Good"}}) {
        const TSignalStats s = ComputeSignalStats({row.level});
        EXPECT_EQ(s.Minimum.Band, QLatin1String(row.band)) << int(row.level);
        EXPECT_EQ(s.Maximum.Level, row.level);
    }
    const TSignalStats s = ComputeSignalStats({6, 14, 150, 255, 10});
    EXPECT_EQ(s.Readings, 5);
    EXPECT_EQ(s.Levels, 3);
    EXPECT_EQ(s.NoLevel, 2);
    EXPECT_EQ(s.Minimum.Level, 6);
    EXPECT_EQ(s.Maximum.Level, 14);
    EXPECT_DOUBLE_EQ(s.Mean, 10.0);
    EXPECT_EQ(s.MeanPoint.Band, QStringLiteral("OK"));
    // No signal is the meter's empty bar.
    const TSignalStats none = ComputeSignalStats({99, 20});
    EXPECT_EQ(none.Minimum.Level, 0);
    EXPECT_EQ(none.Minimum.Band, QStringLiteral("Poor"));
    EXPECT_EQ(ComputeSignalStats({150, 150}).Levels, 0);
}

TEST(ReportFormat, ChosenByTheExtensionOnly)
{
    EXPECT_EQ(ReportFormatFromPath("a/b.PDF"), TReportFormat::Pdf);
    EXPECT_EQ(ReportFormatFromPath("r.html"), TReportFormat::Html);
    EXPECT_EQ(ReportFormatFromPath("r.htm"), TReportFormat::Html);
    EXPECT_EQ(ReportFormatFromPath("r.Json"), TReportFormat::Json);
    EXPECT_FALSE(ReportFormatFromPath("r.txt"));
    EXPECT_FALSE(ReportFormatFromPath("pdf"));
    EXPECT_FALSE(ReportFormatFromPath("r.pdf.bak"));
}

TEST(ReportWriter, Json_CarriesEverySectionUnderItsDocumentedKeys)
{
    QString error;
    const QJsonObject o = ParseJson(ReportToJson(Sample(3)), &error);
    ASSERT_TRUE(error.isEmpty()) << error.toStdString();
    EXPECT_EQ(o["format"].toString(), "zelvo-commissioning-report");
    const QJsonObject h = o["header"].toObject();
    EXPECT_EQ(h["created"].toString(), "2026-03-04T09:15:30+01:00");
    EXPECT_EQ(h["site"].toString(), "Weir <North> & Co");
    EXPECT_EQ(h["toolVersion"].toString(), "1.2.3.4");
    EXPECT_EQ(o["unit"]["model"].toString(), "OSTRA");
    EXPECT_EQ(o["unit"]["firmwareVersion"].toString(), "2.61");
    EXPECT_EQ(o["connection"]["password"].toString(), "set");
    EXPECT_EQ(o["connection"]["dnsServer"].toString(), "192.168.1.2");
    EXPECT_EQ(o["signal"]["minimum"]["band"].toString(), "Poor");
    EXPECT_EQ(o["signal"]["maximum"]["level"].toInt(), 14);
    EXPECT_DOUBLE_EQ(o["signal"]["mean"]["level"].toDouble(), 10.0);
    EXPECT_EQ(o["signal"]["samples"].toArray().size(), 4);
    EXPECT_EQ(o["ioConfiguration"]["io"].toArray().size(), 3);
    EXPECT_EQ(o["ioConfiguration"]["io"][1]["tag"].toString(), "IN01");
    EXPECT_EQ(o["liveValues"]["io"][1]["units"].toString(), "bar");
    EXPECT_FALSE(o["externalIO"]["available"].toBool());
    EXPECT_EQ(o["externalIO"]["reason"].toString(), "The Modbus data could not be read.");
    EXPECT_FALSE(o["log"]["included"].toBool());
    // Only what was asked for and failed counts as unavailable.
    EXPECT_EQ(o["unavailable"].toArray(), QJsonArray{"externalIO"});
}

TEST(ReportWriter, Html_IsOneWellFormedFileWithEverySection)
{
    const QByteArray bytes = ReportToHtml(Sample(3)).toUtf8();
    const THtmlReport h = ParseHtml(bytes);
    ASSERT_TRUE(h.WellFormed) << h.Error.toStdString();
    EXPECT_FALSE(h.HasExternalReference);
    for (const char *id : {"unit", "connection", "signal", "io-configuration", "live-values",
                           "external-io", "snapshot", "log"})
        EXPECT_TRUE(h.Sections.contains(QLatin1String(id))) << id;
    EXPECT_TRUE(h.Sections["header"].contains("Weir <North> & Co"));
    EXPECT_TRUE(h.Sections["header"].contains("2026-03-04T09:15:30+01:00"));
    EXPECT_TRUE(h.Sections["signal"].contains("14 (Good)"));
    EXPECT_TRUE(h.Sections["signal"].contains("10.0 (OK)"));
    EXPECT_EQ(h.HeaderRows["io-configuration"], "ID|Tag|Name|Input type|UOM|Logging");
    EXPECT_TRUE(h.Rows["io-configuration"].contains(
        "10402|IN02|Input 2|0-10 V voltage|Voltage, V|Log & Display"));
    EXPECT_TRUE(h.Rows["live-values"].contains("9|Analogue input 1|AI01|Analogue Input|4.25 bar"));
    EXPECT_TRUE(
        h.Sections["external-io"].contains("Not available: The Modbus data could not be read."));
    EXPECT_TRUE(h.Sections["log"].contains("Not included"));
}

TEST(ReportWriter, Pdf_IsA4_NumbersItsPages_AndRepeatsTableHeadersOnEveryPage)
{
    const QString path = Temp("long.pdf");
    QString error;
    ASSERT_TRUE(SaveReport(Sample(150), path, TReportFormat::Pdf, &error)) << error.toStdString();
    const int pages = PdfPages(path);
    ASSERT_GE(pages, 3);
    const QString first = PdfText(path, 1, 1);
    EXPECT_TRUE(first.contains("Zelvo Marlune"));
    EXPECT_TRUE(first.contains("Weir <North> & Co"));
    EXPECT_TRUE(first.contains("iot.zelvo.example"));
    EXPECT_TRUE(first.contains(QStringLiteral("Page 1 of %1").arg(pages)));
    // A page in the middle of the long table starts with its header row and
    // holds no row twice.
    const QString second = PdfText(path, 2, 2);
    EXPECT_TRUE(second.contains(QRegularExpression("ID +Tag +Name +Input type +UOM +Logging")))
        << second.toStdString();
    EXPECT_TRUE(second.contains(QStringLiteral("Page 2 of %1").arg(pages)));
    const QString all = PdfText(path);
    for (int i = 0; i < 150; ++i)
        EXPECT_EQ(all.count(QStringLiteral("Input %1 ").arg(i)), 1) << i;
    QProcess info;
    info.start("pdfinfo", {path});
    ASSERT_TRUE(info.waitForFinished(30000));
    EXPECT_TRUE(QString::fromUtf8(info.readAllStandardOutput()).contains("(A4)"));
}

TEST(ReportWriter, Save_ReplacesAGoodReportOnlyWithACompleteOne)
{
    const QString path = Temp("kept.json");
    QFile::remove(path);
    QString error;
    ASSERT_TRUE(SaveReport(Sample(1), path, TReportFormat::Json, &error));
    const QByteArray good = ReadFile(path);
    ASSERT_FALSE(good.isEmpty());

    // A save that cannot be made leaves the file as it was and no temporary
    // file beside it.
    const QString dir = Temp("dir.pdf");
    QDir().mkpath(dir);
    EXPECT_FALSE(SaveReport(Sample(1), dir, TReportFormat::Pdf, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(dir).isDir());
    EXPECT_FALSE(SaveReport(Sample(1), Temp("missing/dir/r.html"), TReportFormat::Html, &error));
    EXPECT_FALSE(QFileInfo::exists(Temp("missing")));

    TCommissioningReport other = Sample(2);
    other.Site = QStringLiteral("Second site");
    ASSERT_TRUE(SaveReport(other, path, TReportFormat::Json, &error));
    EXPECT_TRUE(ReadFile(path).contains("Second site"));
    const QStringList leftovers =
        QFileInfo(path).dir().entryList({QStringLiteral("report-writer-kept*")}, QDir::Files);
    EXPECT_EQ(leftovers, QStringList{QStringLiteral("report-writer-kept.json")});
}
