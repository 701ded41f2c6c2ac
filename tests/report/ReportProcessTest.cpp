// zelvo-cli report run as a process against the simulated unit of both
// models, its files read back in all three formats.

#include "ReportTestUtil.h"
#include "tests/support/TestUtil.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <algorithm>

#include <unistd.h>

using namespace reporttest;
using namespace std::chrono_literals;

namespace
{

struct TRun {
    int Exit = -1;
    QString Out;
    QString Err;
};

QString Dir()
{
    return QString::fromStdString(zelvo::test::TempDir());
}

QString Temp(const QString &name)
{
    return Dir() + QStringLiteral("/report-cli-%1-%2").arg(::getpid()).arg(name);
}

TRun RunCli(const QStringList &args, const QStringList &env = {},
            const QByteArray &input = QByteArray())
{
    QProcess p;
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    // Every pause divided by 10; frame time-outs stay long for a busy machine.
    e.insert("ZELVO_PACING_DIVISOR", "10");
    e.insert("ZELVO_FRAME_TIMEOUT_MS", "3000");
    // The report needs no display: zelvo-cli renders offscreen by itself.
    e.remove("QT_QPA_PLATFORM");
    e.remove("DISPLAY");
    for (const QString &kv : env)
        e.insert(kv.section('=', 0, 0), kv.section('=', 1));
    p.setProcessEnvironment(e);
    p.setWorkingDirectory(Dir());
    p.start(QStringLiteral(ZELVO_CLI_PATH), args);
    TRun r;
    if (!p.waitForStarted(10000))
        return r;
    if (!input.isNull())
        p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(90000))
        p.kill(), p.waitForFinished(5000);
    r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

#define EXPECT_EXIT_CODE(run, code) EXPECT_EQ((run).Exit, (code)) << (run).Err.toStdString()

// The simulated unit in a process of its own, so settings one run saves are
// there for the next.
class TUnitProcess
{
public:
    explicit TUnitProcess(const QString &model) : FModel(model), FLink(Temp("unit-" + model))
    {
        QFile::remove(FLink);
        FProcess.start(
            QStringLiteral(ZELVO_UNIT_SIM_PATH),
            {"--model", model, "--sf-step", "30", "--apply-reset", "100", "--link", FLink});
        Ready = FProcess.waitForStarted(10000) &&
                zelvo::test::WaitFor([this] { return QFileInfo::exists(FLink); }, 10s);
    }
    ~TUnitProcess()
    {
        FProcess.terminate();
        if (!FProcess.waitForFinished(5000))
            FProcess.kill(), FProcess.waitForFinished(5000);
        QFile::remove(FLink);
    }
    QStringList Link() const
    {
        return FModel == "vello" ? QStringList{"--com", "1=" + FLink}
                                 : QStringList{"--usb", "Zelvo=" + FLink};
    }
    bool Ready = false;

private:
    QString FModel;
    QString FLink;
    QProcess FProcess;
};

QJsonObject JsonOut(const TRun &r)
{
    return QJsonDocument::fromJson(r.Out.toUtf8()).object();
}

} // namespace

TEST(ReportCli, UsageErrors_ExitTwoBeforeAnyUnitIsAsked)
{
    for (const QStringList &args :
         {QStringList{"--simulate", "vello", "report", Temp("r.txt")},
          QStringList{"--simulate", "vello", "report"},
          QStringList{"--simulate", "vello", "report", Temp("noext")},
          QStringList{"--simulate", "vello", "report", Temp("r.pdf"), "--signal-seconds", "0"},
          QStringList{"--simulate", "vello", "report", Temp("r.pdf"), "--count", "2"}}) {
        const TRun r = RunCli(args);
        EXPECT_EXIT_CODE(r, 2);
        EXPECT_FALSE(r.Err.contains("Opening Comm Port")) << r.Err.toStdString();
    }
    EXPECT_FALSE(QFileInfo::exists(Temp("r.txt")));
    const TRun help = RunCli({"report", "--help"});
    EXPECT_EXIT_CODE(help, 0);
    EXPECT_TRUE(help.Out.contains("--signal-seconds"));
}

TEST(ReportCli, BothModels_EveryFormatHoldsTheSimulatorsValues)
{
    for (const QString model : {"ostra", "vello"}) {
        SCOPED_TRACE(model.toStdString());
        // What the other commands show of the same simulated unit.
        const TRun info = RunCli({"--simulate", model, "--json", "info"});
        const TRun config = RunCli({"--simulate", model, "--json", "io-config"});
        ASSERT_EQ(info.Exit, 0);
        ASSERT_EQ(config.Exit, 0);
        const QJsonObject unit = JsonOut(info);
        QStringList tags;
        QStringList externalTags;
        for (const QJsonValue &v : JsonOut(config)["io"].toArray()) {
            tags << v["tag"].toString().trimmed();
            if (v["external"].toBool())
                externalTags << v["tag"].toString().trimmed();
        }
        ASSERT_FALSE(tags.isEmpty());
        ASSERT_FALSE(externalTags.isEmpty());

        const QString json = Temp(model + ".json");
        const QString html = Temp(model + ".html");
        const QString pdf = Temp(model + ".pdf");
        for (const QString &file : {json, html, pdf}) {
            QFile::remove(file);
            const TRun r = RunCli({"--simulate", model, "report", file, "--site", "Weir 7",
                                   "--installer", "A. Builder", "--signal-seconds", "2"});
            EXPECT_EXIT_CODE(r, 0);
            EXPECT_TRUE(r.Err.contains("Report written to")) << r.Err.toStdString();
        }

        // JSON.
        QString error;
        const QJsonObject o = ParseJson(ReadFile(json), &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();
        EXPECT_EQ(o["header"]["site"].toString(), "Weir 7");
        EXPECT_EQ(o["header"]["installer"].toString(), "A. Builder");
        EXPECT_TRUE(
            QDateTime::fromString(o["header"]["created"].toString(), Qt::ISODate).isValid());
        EXPECT_EQ(o["unit"]["model"].toString(), unit["model"].toString());
        EXPECT_EQ(o["unit"]["unitType"].toInt(), unit["unitType"].toInt());
        EXPECT_EQ(o["unit"]["firmware"].toString(), unit["firmware"].toString());
        EXPECT_EQ(o["unit"]["firmwareVersion"].toString(), unit["firmwareVersion"].toString());
        EXPECT_FALSE(o["unit"]["port"].toString().isEmpty());
        const QJsonObject conn = unit["connection"].toObject();
        for (const char *key :
             {"type", "apn", "user", "dhcp", "ipAddress", "netMask", "defaultGateway", "dnsServer"})
            EXPECT_EQ(o["connection"][key], conn[key]) << key;
        EXPECT_EQ(o["connection"]["password"].toString(),
                  conn["passwordSet"].toBool() ? "set" : "not set");
        EXPECT_EQ(o["signal"]["readings"].toInt(), 2);
        const QSet<QString> bands{"Good", "OK", "Borderline", "Poor"};
        for (const char *key : {"minimum", "mean", "maximum"})
            EXPECT_TRUE(bands.contains(o["signal"][key]["band"].toString())) << key;
        QStringList reportTags;
        for (const QJsonValue &v : o["ioConfiguration"]["io"].toArray())
            reportTags << v["tag"].toString();
        EXPECT_EQ(reportTags, tags);
        const QJsonArray live = o["liveValues"]["io"].toArray();
        EXPECT_GE(live.size(), 40);
        for (const QJsonValue &v : live)
            EXPECT_TRUE(v["tag"].toString().startsWith('[') && !v["value"].toString().isEmpty());
        EXPECT_FALSE(o["liveValues"]["readAt"].toString().isEmpty());
        QStringList reportExternal;
        for (const QJsonValue &v : o["externalIO"]["io"].toArray()) {
            reportExternal << v["tag"].toString();
            EXPECT_FALSE(v["slaveName"].toString().isEmpty());
            EXPECT_FALSE(v["errorState"].toString().isEmpty());
            EXPECT_NE(v["value"].toString(), "<No data>");
        }
        EXPECT_EQ(reportExternal, externalTags);
        EXPECT_FALSE(o["snapshot"]["lines"].toArray().isEmpty());
        const QJsonArray log = o["log"]["lines"].toArray();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const QJsonValue &l) {
            return l.toString().contains("Ready to take live readings.");
        }));
        EXPECT_TRUE(o["unavailable"].toArray().isEmpty());

        // HTML.
        const THtmlReport h = ParseHtml(ReadFile(html));
        ASSERT_TRUE(h.WellFormed) << h.Error.toStdString();
        EXPECT_FALSE(h.HasExternalReference);
        EXPECT_TRUE(h.Sections["header"].contains("Weir 7"));
        EXPECT_TRUE(h.Sections["unit"].contains(unit["firmware"].toString()));
        EXPECT_TRUE(h.Sections["connection"].contains(conn["apn"].toString()));
        EXPECT_EQ(h.Rows["io-configuration"].size(), tags.size());
        for (int i = 0; i < tags.size() && i < h.Rows["io-configuration"].size(); ++i)
            EXPECT_EQ(h.Rows["io-configuration"][i].section('|', 1, 1), tags[i]);
        EXPECT_EQ(h.Rows["external-io"].size(), externalTags.size());
        EXPECT_EQ(h.Rows["live-values"].size(), live.size());
        for (const char *id : {"signal", "snapshot", "log"})
            EXPECT_FALSE(h.Sections[id].contains("Not available")) << id;

        // PDF.
        const QString text = PdfText(pdf);
        ASSERT_FALSE(text.isEmpty()) << "pdftotext failed";
        for (const QString &t :
             {unit["model"].toString(), unit["firmware"].toString(), conn["apn"].toString(),
              QStringLiteral("Weir 7"), QStringLiteral("Page 1 of")})
            EXPECT_TRUE(text.contains(t)) << t.toStdString();
        for (const QString &tag : tags)
            EXPECT_TRUE(text.contains(QRegularExpression("\\b" + tag + "\\b")))
                << tag.toStdString();
        EXPECT_FALSE(text.contains("Not available"));
    }
}

TEST(ReportCli, ThePasswordAppearsInNoFormat)
{
    TUnitProcess unit("ostra");
    ASSERT_TRUE(unit.Ready);
    const QByteArray password = "Zq7-hidden-pw";
    const TRun saved = RunCli(unit.Link() << "save-settings"
                                          << "--mobile"
                                          << "--password-stdin",
                              {}, password + "\n");
    ASSERT_EQ(saved.Exit, 0) << saved.Err.toStdString();
    for (const QString ext : {"json", "html", "pdf"}) {
        const QString file = Temp("secret." + ext);
        const TRun r = RunCli(unit.Link() << "report" << file << "--signal-seconds"
                                          << "1");
        EXPECT_EXIT_CODE(r, 0);
        const QByteArray bytes = ReadFile(file);
        ASSERT_FALSE(bytes.isEmpty());
        EXPECT_FALSE(bytes.contains(password)) << ext.toStdString();
        if (ext == "pdf")
            EXPECT_FALSE(PdfText(file).contains(QString::fromLatin1(password)));
        else
            EXPECT_TRUE(bytes.contains("\"set\"") || bytes.contains(">set<")) << ext.toStdString();
        EXPECT_FALSE(r.Err.contains(QString::fromLatin1(password)));
    }
}

TEST(ReportCli, ASectionWhoseJobFails_IsMarked_TheReportIsStillWritten_AndExitIsOne)
{
    // The server does not answer the I/O configuration.
    for (const QString ext : {"json", "pdf"}) {
        const QString file = Temp("fault." + ext);
        QFile::remove(file);
        const TRun r = RunCli({"--simulate", "vello", "report", file, "--signal-seconds", "1"},
                              {"ZELVO_SIM_FAULTS=server-refuses=9"});
        EXPECT_EXIT_CODE(r, 1);
        EXPECT_TRUE(r.Err.contains("ioConfiguration")) << r.Err.toStdString();
        ASSERT_TRUE(QFileInfo::exists(file));
        if (ext == "json") {
            const QJsonObject o = ParseJson(ReadFile(file));
            EXPECT_FALSE(o["ioConfiguration"]["available"].toBool());
            EXPECT_FALSE(o["ioConfiguration"]["reason"].toString().isEmpty());
            EXPECT_FALSE(o["externalIO"]["available"].toBool());
            // What did not need the server is all there.
            EXPECT_TRUE(o["unit"]["available"].toBool());
            EXPECT_TRUE(o["connection"]["available"].toBool());
            EXPECT_TRUE(o["liveValues"]["available"].toBool());
            EXPECT_TRUE(o["signal"]["available"].toBool());
            EXPECT_EQ(o["unavailable"].toArray(), (QJsonArray{"ioConfiguration", "externalIO"}));
        } else {
            const QString text = PdfText(file);
            EXPECT_TRUE(text.contains("Not available: The server did not answer the I/O "
                                      "configuration."))
                << text.toStdString();
        }
    }
    // Without the I/O configuration asked for, its absence is no failure.
    const QString file = Temp("noconfig.json");
    const TRun r =
        RunCli({"--simulate", "vello", "report", file, "--signal-seconds", "1", "--no-io-config"});
    EXPECT_EXIT_CODE(r, 0);
    const QJsonObject o = ParseJson(ReadFile(file));
    EXPECT_FALSE(o["ioConfiguration"]["included"].toBool());
    EXPECT_FALSE(o["externalIO"]["included"].toBool());
    EXPECT_TRUE(o["snapshot"]["available"].toBool());
}
