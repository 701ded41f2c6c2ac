// Runs the built zelvo-cli as a process against its simulated unit and
// checks what it prints and how it exits.

#include "tests/support/TestUtil.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

using namespace std::chrono_literals;

struct TRun {
    int Exit = -1;
    QString Out;
    QString Err;
    bool Finished = false;
};

// Every pause and time-out of the program divided by this, so a whole
// connection and job chain takes about a second.
const char *const kDivisor = "10";
// Frame time-outs stay long: they cost time only when the unit is silent, and
// a reply later than its time-out would be taken for the next request's on a
// loaded machine.
const char *const kFrameTimeoutMs = "3000";

QProcessEnvironment CliEnvironment(const QStringList &extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ZELVO_PACING_DIVISOR", kDivisor);
    env.insert("ZELVO_FRAME_TIMEOUT_MS", kFrameTimeoutMs);
    for (const QString &kv : extra) {
        const qsizetype eq = kv.indexOf('=');
        env.insert(kv.left(eq), kv.mid(eq + 1));
    }
    return env;
}

void Start(QProcess &p, const QStringList &args, const QStringList &env)
{
    p.setProgram(QStringLiteral(ZELVO_CLI_PATH));
    p.setArguments(args);
    p.setProcessEnvironment(CliEnvironment(env));
    // Log.txt is appended in the working directory.
    p.setWorkingDirectory(QString::fromStdString(zelvo::test::TempDir()));
    p.start();
}

TRun RunCli(const QStringList &args, const QByteArray &input = QByteArray(),
            const QStringList &env = {})
{
    QProcess p;
    Start(p, args, env);
    TRun r;
    if (!p.waitForStarted(10000))
        return r;
    if (!input.isNull())
        p.write(input);
    p.closeWriteChannel();
    r.Finished = p.waitForFinished(60000);
    if (!r.Finished)
        p.kill(), p.waitForFinished(5000);
    r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err = QString::fromUtf8(p.readAllStandardError());
#ifdef _WIN32
    // The program's text streams end lines in CR LF there.
    r.Out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    r.Err.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
#endif
    return r;
}

QJsonObject Json(const TRun &r)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(r.Out.toUtf8(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.Out.toStdString();
    EXPECT_TRUE(doc.isObject()) << r.Out.toStdString();
    return doc.object();
}

// A pseudo-terminal whose master this test holds; its slave is the device
// the program is pointed at. The master is closed with the object.
#ifndef _WIN32
struct TPty {
    TPty()
    {
        if (Master >= 0 && ::grantpt(Master) == 0 && ::unlockpt(Master) == 0)
            SlavePath = QString::fromLatin1(::ptsname(Master));
    }
    ~TPty()
    {
        if (Master >= 0)
            ::close(Master);
    }
    TPty(const TPty &) = delete;
    TPty &operator=(const TPty &) = delete;

    int Master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QString SlavePath; // empty when the pair could not be made
};

struct TInterrupt {
    bool Seen = false;  // `ready` held before the interrupt
    bool Ended = false; // the program ended after it
};

// Collects a started program's output as it arrives until `ready` holds (at
// most 30 s), interrupts it as Ctrl-C would and waits for it to end; what it
// printed meanwhile is appended to `out` and `err`.
TInterrupt InterruptWhen(QProcess &p, QByteArray &out, QByteArray &err,
                         const std::function<bool()> &ready)
{
    TInterrupt r;
    r.Seen = zelvo::test::WaitFor(
        [&] {
            p.waitForReadyRead(10);
            out += p.readAllStandardOutput();
            err += p.readAllStandardError();
            return ready();
        },
        30s);
    ::kill(static_cast<pid_t>(p.processId()), SIGINT);
    r.Ended = p.waitForFinished(30000);
    out += p.readAllStandardOutput();
    err += p.readAllStandardError();
    return r;
}

#endif

#define EXPECT_EXIT_CODE(run, code)                                                                \
    do {                                                                                           \
        EXPECT_TRUE((run).Finished);                                                               \
        EXPECT_EQ((run).Exit, (code)) << "stdout:\n"                                               \
                                      << (run).Out.toStdString() << "\nstderr:\n"                  \
                                      << (run).Err.toStdString();                                  \
    } while (0)

// ---- without a unit ----

TEST(CliProcess, Help_ListsEveryCommandAndEachCommandHasItsOwn)
{
    const TRun r = RunCli({"--help"});
    EXPECT_EXIT_CODE(r, 0);
    for (const char *cmd : {"info", "live", "external", "io-config", "snapshot", "logon", "signal",
                            "save-settings", "set-value"})
        EXPECT_TRUE(r.Out.contains(QLatin1String(cmd))) << cmd;

    const TRun live = RunCli({"live", "--help"});
    EXPECT_EXIT_CODE(live, 0);
    EXPECT_TRUE(live.Out.contains("--interval"));
    EXPECT_FALSE(live.Out.contains("set-value"));
}

TEST(CliProcess, UsageErrors_ExitTwoWithoutTouchingALink)
{
    const TRun unknown = RunCli({"--simulate", "vello", "reboot"});
    EXPECT_EXIT_CODE(unknown, 2);
    EXPECT_TRUE(unknown.Err.contains("unknown command"));

    // A password is never taken from the command line.
    const TRun password =
        RunCli({"--simulate", "vello", "save-settings", "--mobile", "--password", "x"});
    EXPECT_EXIT_CODE(password, 2);
}

TEST(CliProcess, BadAddresses_ExitTwoWithTheAddressMessage)
{
    struct Row {
        const char *address;
        const char *message;
    };
    const Row rows[] = {
        {"192.168.1", "An IP number must contain four integers (separated by a full stop) between "
                      "0 and 255."},
        {"192.168.1.10.5",
         "Too many integers. An IP number must contain four integers between 0 and 255."},
        {"192.168.1.256", "Each part of the IP number must be an integer between 0 and 255."},
    };
    for (const Row &row : rows) {
        const TRun r = RunCli({"--simulate", "ostra", "save-settings", "--ethernet", "--ip",
                               "10.0.0.2", "--mask", row.address});
        EXPECT_EXIT_CODE(r, 2);
        EXPECT_TRUE(r.Err.contains(QLatin1String(row.message))) << r.Err.toStdString();
        EXPECT_FALSE(r.Err.contains("Checking device")) << "connected before checking";
    }
}

TEST(CliProcess, NoDevice_ExitsThreeWithTheEnginesMessage)
{
    const TRun com = RunCli({"--com", "5=/nonexistent/zelvo-port", "info"});
    EXPECT_EXIT_CODE(com, 3);
    EXPECT_TRUE(com.Err.contains("Error connecting.\nPlease ensure the Zelvo is connected to the "
                                 "correct Comm port"))
        << com.Err.toStdString();
    EXPECT_TRUE(com.Out.isEmpty());

    const TRun usb = RunCli({"--usb", "NoSuchBridge=/nonexistent/zelvo-usb", "info"});
    EXPECT_EXIT_CODE(usb, 3);
    EXPECT_TRUE(usb.Err.contains("There are no devices found")) << usb.Err.toStdString();
}

// ---- against the simulated unit ----

TEST(CliProcess, Info_ReportsModelAndSettingsButNeverThePassword)
{
    for (const char *model : {"vello", "ostra"}) {
        const TRun r = RunCli({"--simulate", model, "--json", "info"});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonObject o = Json(r);
        EXPECT_EQ(o["model"].toString(), QString::fromLatin1(model).toUpper());
        EXPECT_EQ(o["unitType"].toInt(), QString(model) == "ostra" ? 2 : 3);
        EXPECT_FALSE(o["firmware"].toString().isEmpty());
        const QJsonObject c = o["connection"].toObject();
        EXPECT_TRUE(c.contains("passwordSet"));
        EXPECT_FALSE(c.contains("password"));
        for (const char *key : {"ipAddress", "netMask", "defaultGateway", "dnsServer"})
            EXPECT_EQ(c[key].toString().count('.'), 3) << key;
        // The engine's status texts went to standard error, not into the JSON.
        EXPECT_TRUE(r.Err.contains("Checking device")) << r.Err.toStdString();
    }

    const TRun text = RunCli({"--simulate", "vello", "info"});
    EXPECT_EXIT_CODE(text, 0);
    EXPECT_TRUE(text.Out.contains("Model:")) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.contains("VELLO"));
}

TEST(CliProcess, OldFirmware_IsRefusedWithExitOne)
{
    const TRun r =
        RunCli({"--simulate", "vello", "info"}, QByteArray(), {"ZELVO_SIM_VERSION=2.50"});
    EXPECT_EXIT_CODE(r, 1);
    EXPECT_TRUE(r.Err.contains("Firmware is not compatible. An upgrade is needed.\nPlease contact "
                               "support."))
        << r.Err.toStdString();
}

TEST(CliProcess, Live_ShowsEveryOwnIOOncePerReading)
{
    struct Row {
        const char *model;
        int ios;
    };
    for (const Row row : {Row{"vello", 41}, Row{"ostra", 47}}) {
        const TRun r = RunCli({"--simulate", row.model, "--json", "live", "--count", "2"});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonArray readings = Json(r)["readings"].toArray();
        ASSERT_EQ(readings.size(), 2) << row.model;
        for (const auto &reading : readings) {
            const QJsonArray ios = reading.toObject()["io"].toArray();
            EXPECT_EQ(ios.size(), row.ios) << row.model;
            ASSERT_FALSE(ios.isEmpty());
            const QJsonObject first = ios[0].toObject();
            EXPECT_TRUE(first["tag"].toString().startsWith('[')) << row.model;
            EXPECT_FALSE(first["type"].toString().isEmpty());
        }
    }

    const TRun text = RunCli({"--simulate", "vello", "live"});
    EXPECT_EXIT_CODE(text, 0);
    const QStringList lines = text.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 42); // header and 41 rows
    EXPECT_TRUE(lines[0].startsWith("Time"));
    // Every value column starts where the header's does.
    const qsizetype valueColumn = lines[0].indexOf("Value");
    for (const QString &l : lines.mid(1))
        EXPECT_GE(l.size(), valueColumn) << l.toStdString();
}

TEST(CliProcess, IOConfig_ListsTheServersRecords)
{
    for (const char *model : {"vello", "ostra"}) {
        const TRun r = RunCli({"--simulate", model, "--json", "io-config"});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonArray rows = Json(r)["io"].toArray();
        ASSERT_FALSE(rows.isEmpty()) << model;
        bool anyExternal = false;
        for (const auto &v : rows) {
            const QJsonObject io = v.toObject();
            EXPECT_FALSE(io["tag"].toString().isEmpty());
            EXPECT_TRUE(QStringList({"No Log", "Display Only", "Log & Display", "Log Only"})
                            .contains(io["logging"].toString()))
                << io["logging"].toString().toStdString();
            anyExternal = anyExternal || io["external"].toBool();
        }
        EXPECT_TRUE(anyExternal) << model;
        EXPECT_TRUE(r.Err.contains("Start reading the IO configuration."));
    }
}

TEST(CliProcess, External_ShowsValuesErrorsAndSlaves)
{
    for (const char *model : {"vello", "ostra"}) {
        const TRun r = RunCli({"--simulate", model, "--json", "external", "--count", "2"});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonArray cycles = Json(r)["cycles"].toArray();
        ASSERT_EQ(cycles.size(), 2) << model;
        const QJsonArray ios = cycles[1].toObject()["io"].toArray();
        ASSERT_FALSE(ios.isEmpty()) << model;
        for (const auto &v : ios) {
            const QJsonObject io = v.toObject();
            EXPECT_TRUE(io["tag"].toString().contains("EXT"));
            EXPECT_TRUE(io["value"].isDouble()) << model;
            EXPECT_TRUE(QStringList({"No Error", "Read Error", "Write Error", "Read/Write Error"})
                            .contains(io["errorState"].toString()));
            EXPECT_FALSE(io["slaveName"].toString().isEmpty());
        }
    }
}

TEST(CliProcess, Snapshot_PrintsTheSnapshotLines)
{
    for (const char *model : {"vello", "ostra"}) {
        const TRun r = RunCli({"--simulate", model, "--json", "snapshot"});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonArray lines = Json(r)["lines"].toArray();
        ASSERT_FALSE(lines.isEmpty()) << model;
        for (const auto &l : lines)
            EXPECT_TRUE(l.toString().contains(": ")) << l.toString().toStdString();
    }
}

TEST(CliProcess, Logon_AcceptedWithTheRightPasswordRefusedWithAWrongOne)
{
    const TRun good = RunCli({"--simulate", "vello", "--json", "logon", "installer@zelvo.example"},
                             "commission\n");
    EXPECT_EXIT_CODE(good, 0);
    EXPECT_TRUE(Json(good)["loggedOn"].toBool());
    // The password never shows anywhere.
    EXPECT_FALSE(good.Out.contains("commission"));
    EXPECT_FALSE(good.Err.contains("commission"));

    const TRun bad =
        RunCli({"--simulate", "ostra", "logon", "installer@zelvo.example"}, "wrong-password\n");
    EXPECT_EXIT_CODE(bad, 1);
    EXPECT_TRUE(bad.Err.contains("Logon failed.")) << bad.Err.toStdString();

    const TRun none = RunCli({"--simulate", "vello", "logon", "installer@zelvo.example"}, "");
    EXPECT_EXIT_CODE(none, 2);
}

TEST(CliProcess, Signal_ShowsLevelsWithTheirBands)
{
    for (const char *model : {"vello", "ostra"}) {
        const TRun r = RunCli({"--simulate", model, "--json", "signal", "--seconds", "3"});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonArray readings = Json(r)["readings"].toArray();
        ASSERT_EQ(readings.size(), 3) << model;
        for (const auto &v : readings) {
            const QJsonObject o = v.toObject();
            const int level = o["level"].toInt();
            const QString band = o["band"].toString();
            if (level <= 31) {
                EXPECT_TRUE(QStringList({"Good", "OK", "Borderline", "Poor"}).contains(band))
                    << level << " " << band.toStdString();
            }
        }
    }
}

TEST(CliProcess, SaveSettings_MobileAndEthernetEndWithTheUnitApplyingThem)
{
    const TRun mobile = RunCli({"--simulate", "vello", "--json", "save-settings", "--mobile",
                                "--apn", "internet.example", "--user", "web", "--password-stdin"},
                               "s3cret\n");
    EXPECT_EXIT_CODE(mobile, 0);
    EXPECT_TRUE(Json(mobile)["saved"].toBool());
    EXPECT_FALSE(mobile.Out.contains("s3cret"));

    const TRun ethernet = RunCli({"--simulate", "ostra", "save-settings", "--ethernet", "--no-dhcp",
                                  "--ip", "192.168.1.10", "--mask", "255.255.255.0", "--gateway",
                                  "192.168.1.1", "--dns", "192.168.1.1"});
    EXPECT_EXIT_CODE(ethernet, 0);
    EXPECT_TRUE(ethernet.Out.contains("Settings saved.")) << ethernet.Out.toStdString();

    // A VELLO has no Ethernet connection; nothing is written.
    const TRun vello = RunCli({"--simulate", "vello", "save-settings", "--ethernet", "--dhcp"});
    EXPECT_EXIT_CODE(vello, 2);
    EXPECT_TRUE(vello.Err.contains("no Ethernet"));

    const TRun longPassword =
        RunCli({"--simulate", "vello", "save-settings", "--mobile", "--password-stdin"},
               QByteArray(20, 'p') + "\n");
    EXPECT_EXIT_CODE(longPassword, 2);
}

TEST(CliProcess, SetValue_SendsWhatTheWindowsEditRulesGive)
{
    struct Row {
        const char *model;
        const char *tag;
        const char *text;
        int sent;
    };
    const Row rows[] = {
        {"ostra", "DO01", "on", 1},         // digital output: a state
        {"ostra", "[CNT01]", "1234", 1234}, // counter: a whole number
        {"vello", "PWM01", "50", 512},      // PWM: percent of 1024
        {"vello", "pwm01", "200", 1024},    // capped at full duty
        {"vello", "VAR02", "-7", -7},       // variable: signed whole number
        {"vello", "TMR01", "25", 2},        // 10 ms timer: divided by 10
    };
    for (const Row &row : rows) {
        const TRun r = RunCli({"--simulate", row.model, "--json", "set-value", row.tag, row.text});
        EXPECT_EXIT_CODE(r, 0);
        const QJsonObject o = Json(r);
        EXPECT_EQ(o["value"].toInt(), row.sent) << row.tag << " " << row.text;
        EXPECT_TRUE(o["accepted"].toBool()) << row.tag;
    }
}

TEST(CliProcess, SetValue_RefusesWhatTheWindowCannotSetWithExitTwo)
{
    struct Row {
        const char *model;
        const char *tag;
        const char *text;
        const char *reason;
    };
    const Row rows[] = {
        {"vello", "XX99", "1", "no I/O with the tag"},
        {"vello", "IN01", "5", "cannot be set"},
        {"ostra", "DO01", "half", "not a state"},
        {"vello", "PWM01", "half", "not a valid integer"},
    };
    for (const Row &row : rows) {
        const TRun r = RunCli({"--simulate", row.model, "set-value", row.tag, row.text});
        EXPECT_EXIT_CODE(r, 2);
        EXPECT_TRUE(r.Err.contains(QLatin1String(row.reason))) << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty());
    }
}

// From here on: interrupts, device permissions and the separate simulator
// program, which need POSIX signals and pseudo-terminals.
#ifndef _WIN32
TEST(CliProcess, Interrupt_EndsAnEndlessReadingCleanly)
{
    QProcess p;
    Start(p, {"--simulate", "vello", "live", "--count", "0"}, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray out;
    QByteArray err;
    // Wait for the first reading's table before interrupting.
    const TInterrupt r = InterruptWhen(p, out, err, [&] { return out.contains("IO Name"); });
    ASSERT_TRUE(r.Seen);
    ASSERT_TRUE(r.Ended);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(err.contains("asking the unit to go idle"));
}

TEST(CliProcess, Interrupt_DuringAJob_AsksTheUnitToGoIdleAndExits130)
{
    QProcess p;
    Start(p, {"--simulate", "ostra", "io-config"}, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray out;
    QByteArray err;
    const TInterrupt r = InterruptWhen(
        p, out, err, [&] { return err.contains("Start reading the IO configuration."); });
    ASSERT_TRUE(r.Seen);
    ASSERT_TRUE(r.Ended);
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 130) << err.toStdString();
    EXPECT_TRUE(err.contains("asking the unit to go idle")) << err.toStdString();
}

TEST(CliProcess, Interrupt_ExitsWith130_ExceptAnEndlessReadingWhichEndsWithZero)
{
    struct Row {
        QStringList args;
        QByteArray input;   // the password, for the commands that ask for one
        const char *marker; // interrupted once this has been printed
        bool onStdout;
        int exit;
    };
    const Row rows[] = {
        {{"--simulate", "vello", "info"}, {}, "Checking device", false, 130},
        {{"--simulate", "vello", "snapshot"},
         {},
         "Start retrieving the latest snapshot.",
         false,
         130},
        {{"--simulate", "ostra", "logon", "installer@example.com"},
         "secret\n",
         "Start logging on.",
         false,
         130},
        {{"--simulate", "vello", "signal", "--seconds", "60"}, {}, "Level", true, 130},
        {{"--simulate", "vello", "live", "--count", "1000"}, {}, "IO Name", true, 130},
        {{"--simulate", "vello", "external", "--count", "1000"}, {}, "\n", true, 130},
        {{"--simulate", "vello", "external", "--count", "0"}, {}, "\n", true, 0},
        {{"--simulate", "vello", "save-settings", "--mobile", "--apn", "x"},
         {},
         "Connected to",
         false,
         130},
        {{"--simulate", "ostra", "set-value", "DO01", "toggle"}, {}, "Connected to", false, 130},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QProcess p;
        Start(p, row.args, {});
        ASSERT_TRUE(p.waitForStarted(10000));
        if (!row.input.isEmpty())
            p.write(row.input);
        p.closeWriteChannel();
        QByteArray out;
        QByteArray err;
        const TInterrupt r = InterruptWhen(
            p, out, err, [&] { return (row.onStdout ? out : err).contains(row.marker); });
        EXPECT_TRUE(r.Seen) << err.toStdString();
        ASSERT_TRUE(r.Ended);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), row.exit) << err.toStdString();
    }
}

// A device the user may not open, and a log that can be written nowhere:
// each is said once, plainly. Root opens any device, so as root the program
// runs as the unprivileged user "nobody".
TEST(CliProcess, PermissionDenied_AndAnUnwritableLog_AreEachSaidOnce)
{
    const TPty pty;
    ASSERT_FALSE(pty.SlavePath.isEmpty());
    const QString &slavePath = pty.SlavePath;
    QProcess p;
    QStringList args{"--com", "2=" + slavePath, "info"};
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
        if (setpriv.isEmpty())
            GTEST_SKIP() << "running as root without setpriv to drop privileges";
        ASSERT_EQ(::chmod(slavePath.toLatin1().constData(), 0600), 0);
        p.setProgram(setpriv);
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups",
                           QStringLiteral(ZELVO_CLI_PATH)} +
               args;
    } else {
        ASSERT_EQ(::chmod(slavePath.toLatin1().constData(), 0), 0);
        p.setProgram(QStringLiteral(ZELVO_CLI_PATH));
    }
    p.setArguments(args);
    // Neither the working directory nor the user's data location takes a file.
    p.setProcessEnvironment(
        CliEnvironment({"XDG_DATA_HOME=/proc/zelvo-no-such-dir", "HOME=/proc/zelvo-no-such-dir"}));
    p.setWorkingDirectory(QStringLiteral("/proc"));
    p.start();
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    EXPECT_EQ(p.exitCode(), 3) << err.toStdString();
    EXPECT_TRUE(err.contains("Error opening comm port")) << err.toStdString();
    // The device's group may not open it: joining that group would not help.
    EXPECT_TRUE(err.contains(slavePath + ": permission denied; only its owner may open it."))
        << err.toStdString();
    EXPECT_FALSE(err.contains("usermod")) << err.toStdString();
    EXPECT_EQ(err.count("cannot be written; this run is not logged"), 1) << err.toStdString();
}

TEST(CliProcess, UnitOrServerFailures_AreReportedAsFailures)
{
    struct Row {
        const char *fault;
        QStringList args;
        int exit;
        const char *text;
    };
    const Row rows[] = {
        // A unit that never answers is not reachable.
        {"silent", {"--simulate", "vello", "info"}, 3, "Error communicating with Zelvo"},
        // Writing the settings block refused every time: the save failed.
        {"nack=0x02",
         {"--simulate", "vello", "save-settings", "--mobile", "--apn", "x"},
         1,
         "Saving the settings failed."},
        {"server-refuses=2", {"--simulate", "ostra", "snapshot"}, 1, "NACK recieved"},
        {"nack=0x06", {"--simulate", "vello", "set-value", "VAR01", "5"}, 1, "did not accept"},
        {"sf-error", {"--simulate", "ostra", "io-config"}, 1, "An error has occurred."},
    };
    for (const Row &row : rows) {
        const TRun r =
            RunCli(row.args, QByteArray(), {QStringLiteral("ZELVO_SIM_FAULTS=") + row.fault});
        EXPECT_EXIT_CODE(r, row.exit);
        EXPECT_TRUE(r.Err.contains(QLatin1String(row.text))) << row.fault << "\n"
                                                             << r.Err.toStdString();
    }
}

// ---- fresh values, port diagnostics, usage, templates ----

// A simulated unit in a process of its own, on a pseudo-terminal, so what one
// zelvo-cli run changes is still there for the next.
class TUnitProcess
{
public:
    explicit TUnitProcess(const QString &model)
        : FModel(model), FLink(QString::fromStdString(zelvo::test::TempDir()) +
                               QStringLiteral("/unit-%1-%2").arg(model).arg(::getpid()))
    {
        QFile::remove(FLink);
        FProcess.setProgram(QStringLiteral(ZELVO_UNIT_SIM_PATH));
        FProcess.setArguments(
            {"--model", model, "--sf-step", "30", "--apply-reset", "100", "--link", FLink});
        FProcess.start();
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

QString TempPath(const QString &name)
{
    return QString::fromStdString(zelvo::test::TempDir()) + '/' + name;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

TEST(CliProcess, Toggle_ReadsTheOutputFirst_AndRefusesWhenTheUnitDoesNotAnswer)
{
    TUnitProcess unit("ostra");
    ASSERT_TRUE(unit.Ready);
    const TRun on = RunCli(unit.Link() << "set-value"
                                       << "DO01"
                                       << "on");
    EXPECT_EXIT_CODE(on, 0);
    for (const int expected : {0, 1}) {
        const TRun t = RunCli(unit.Link() << "--json"
                                          << "set-value"
                                          << "DO01"
                                          << "toggle");
        EXPECT_EXIT_CODE(t, 0);
        const QJsonObject o = Json(t);
        EXPECT_EQ(o["before"].toInt(), 1 - expected);
        EXPECT_EQ(o["value"].toInt(), expected);
    }

    // Live reads refused: the state is unknown, so nothing is sent.
    const TRun silent = RunCli({"--simulate", "ostra", "set-value", "DO01", "toggle"}, QByteArray(),
                               {"ZELVO_SIM_FAULTS=nack=0x0A"});
    EXPECT_EXIT_CODE(silent, 1);
    EXPECT_TRUE(silent.Err.contains("could not be read from the unit, so it was not toggled"))
        << silent.Err.toStdString();
    EXPECT_TRUE(silent.Out.isEmpty());
}

TEST(CliProcess, Live_ShowsARoundOnlyWhenItWasRead_EachWithItsTime)
{
    // Three live reads are refused: those rounds say so, the later ones
    // carry fresh values; none repeats another.
    const QString faults = "ZELVO_SIM_FAULTS=nack=0x0A,once;nack=0x0A,once;nack=0x0A,once";
    const TRun r =
        RunCli({"--simulate", "vello", "--json", "live", "--count", "4"}, QByteArray(), {faults});
    EXPECT_EXIT_CODE(r, 1);
    const QJsonArray readings = Json(r)["readings"].toArray();
    ASSERT_EQ(readings.size(), 4);
    int silent = 0;
    for (const auto &v : readings) {
        const bool noReply = v.toObject()["noReply"].toBool();
        silent += noReply ? 1 : 0;
        EXPECT_NE(noReply, v.toObject().contains("io"));
    }
    EXPECT_GE(silent, 1);
    EXPECT_TRUE(readings[0].toObject()["noReply"].toBool());
    EXPECT_FALSE(readings[3].toObject()["noReply"].toBool());
    QDateTime last;
    for (const auto &v : readings) {
        const QDateTime at =
            QDateTime::fromString(v.toObject()["time"].toString(), Qt::ISODateWithMs);
        ASSERT_TRUE(at.isValid()) << v.toObject()["time"].toString().toStdString();
        if (last.isValid()) {
            EXPECT_GT(at, last);
        }
        last = at;
    }
    EXPECT_EQ(readings[3].toObject()["io"].toArray().size(), 41);

    const TRun text = RunCli({"--simulate", "vello", "live", "--count", "2"}, QByteArray(),
                             {"ZELVO_SIM_FAULTS=nack=0x0A"});
    EXPECT_EXIT_CODE(text, 1);
    EXPECT_TRUE(text.Out.contains("no reply from the unit")) << text.Out.toStdString();
    EXPECT_FALSE(text.Out.contains("Configurable Input 01")) << text.Out.toStdString();

    // An interval below the unit's live period is raised to it: two rounds
    // at least most of a period apart (1.1 s divided by 10).
    const TRun fast =
        RunCli({"--simulate", "vello", "--json", "live", "--count", "2", "--interval", "0.05"});
    EXPECT_EXIT_CODE(fast, 0);
    EXPECT_TRUE(fast.Err.contains("shorter than the unit's live period")) << fast.Err.toStdString();
    const QJsonArray two = Json(fast)["readings"].toArray();
    ASSERT_EQ(two.size(), 2);
    const auto time = [&two](int i) {
        return QDateTime::fromString(two[i].toObject()["time"].toString(), Qt::ISODateWithMs);
    };
    EXPECT_GE(time(0).msecsTo(time(1)), 55);
}

TEST(CliProcess, PortFailures_EachNameTheDeviceAndTheReason)
{
    const QString file = TempPath("not-a-port.txt");
    ASSERT_TRUE(WriteAll(file, "x"));
    const QString dir = TempPath("not-a-port-dir");
    QDir().mkpath(dir);
    struct Row {
        QString path;
        QString line;
    };
    const Row rows[] = {
        {"/nonexistent/zelvo-port",
         "/nonexistent/zelvo-port: the device does not exist. Serial devices present:"},
        {file, file + ": is a regular file, not a serial device."},
        {dir, dir + ": is a directory, not a serial device."},
    };
    for (const Row &row : rows) {
        const TRun r = RunCli({"--com", "2=" + row.path, "info"});
        EXPECT_EXIT_CODE(r, 3);
        // The engine's own texts come first, then the installer's line.
        EXPECT_TRUE(r.Err.contains("Error opening comm port")) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.contains(row.line)) << r.Err.toStdString();
    }

    // A pseudo-terminal this test holds locked, as another program would.
    const TPty pty;
    ASSERT_FALSE(pty.SlavePath.isEmpty());
    const QString &slavePath = pty.SlavePath;
    const int slave = ::open(slavePath.toLatin1().constData(), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);
    const TRun held = RunCli({"--com", "2=" + slavePath, "info"});
    EXPECT_EXIT_CODE(held, 3);
    EXPECT_TRUE(held.Err.contains(
        QStringLiteral("%1: held by another program (PID %2").arg(slavePath).arg(::getpid())))
        << held.Err.toStdString();
    ::close(slave);

    const TRun usb = RunCli({"--usb", "Other=/nonexistent/zelvo-usb", "info"});
    EXPECT_EXIT_CODE(usb, 3);
    EXPECT_TRUE(usb.Err.contains("No USB bridge described \"Zelvo\""));
    EXPECT_TRUE(usb.Err.contains("\"Other\" at /nonexistent/zelvo-usb")) << usb.Err.toStdString();
}

TEST(CliProcess, UsageThatNeedsNoUnit_IsRefusedBeforeConnecting)
{
    struct Row {
        QStringList args;
        const char *why;
    };
    const Row rows[] = {
        {{"--com", "1=/nonexistent/p", "set-value", "XX99", "1"}, "neither model has"},
        {{"--com", "1=/nonexistent/p", "set-value", "PWM01", "half"}, "is not a valid integer"},
        {{"--com", "1=/nonexistent/p", "set-value", "IN01", "5"}, "cannot be set"},
        {{"--com", "1=/nonexistent/p", "save-settings", "--ethernet", "--dhcp"},
         "has no Ethernet connection"},
        {{"--com", "1=/nonexistent/p", "io-config", "--apply", "/nonexistent/t.json", "--dry-run"},
         "cannot be read"},
    };
    for (const Row &row : rows) {
        const TRun r = RunCli(row.args);
        EXPECT_EXIT_CODE(r, 2);
        EXPECT_TRUE(r.Err.contains(QLatin1String(row.why))) << r.Err.toStdString();
        EXPECT_FALSE(r.Err.contains("Opening Comm Port")) << "connected before refusing";
    }

    // In JSON mode the error is an object on standard output too.
    const TRun json = RunCli({"--json", "--com", "1=/nonexistent/p", "set-value", "XX99", "1"});
    EXPECT_EXIT_CODE(json, 2);
    const QJsonObject o = Json(json);
    EXPECT_EQ(o["exitCode"].toInt(), 2);
    EXPECT_EQ(o["meaning"].toString(), "usage error");
    EXPECT_TRUE(o["error"].toString().contains("neither model has"));
    const TRun unreachable = RunCli({"--json", "--com", "1=/nonexistent/p", "info"});
    EXPECT_EXIT_CODE(unreachable, 3);
    EXPECT_EQ(Json(unreachable)["meaning"].toString(), "no unit reachable");
}

// The OSTRA simulator holds a name longer than a new name may be (IN13): the
// unit's own export, applied as it is, is no change and no refusal.
TEST(CliProcess, Template_TheUnitsOwnExport_AppliesAsNoChange)
{
    const QString exported = TempPath("template-ostra.json");
    EXPECT_EXIT_CODE(RunCli({"--simulate", "ostra", "io-config", "--export", exported}), 0);
    ASSERT_TRUE(ReadAll(exported).contains("\"tag\": \"IN13\""));
    const TRun dry = RunCli({"--simulate", "ostra", "io-config", "--apply", exported, "--dry-run"});
    EXPECT_EXIT_CODE(dry, 0);
    EXPECT_FALSE(dry.Err.contains("Refused")) << dry.Err.toStdString();
}

TEST(CliProcess, Template_ExportEditApply_AFreshExportEqualsTheEditedFile)
{
    TUnitProcess unit("vello");
    ASSERT_TRUE(unit.Ready);
    const QString original = TempPath("template-original.json");
    const QString edited = TempPath("template-edited.json");
    const QString after = TempPath("template-after.json");
    const QStringList link = unit.Link();
    const QByteArray password = "commission\n";
    const QString email = "installer@zelvo.example";

    EXPECT_EXIT_CODE(RunCli(QStringList(link) << "io-config"
                                              << "--export" << original),
                     0);
    QByteArray text = ReadAll(original);
    ASSERT_TRUE(text.contains("\"name\": \"Inlet pressure\"")) << text.toStdString();
    text.replace("\"name\": \"Inlet pressure\"", "\"name\": \"Pump room east\"");
    text.replace(
        "\"tag\": \"IN04\", \"name\": \"Supply voltage\",\n         \"inputType\": \"0-10 V "
        "voltage\", \"uom\": \"Voltage, V\"",
        "\"tag\": \"IN04\", \"name\": \"Supply voltage\",\n         \"inputType\": \"4-20 "
        "mA current loop\", \"uom\": \"Level, %\"");
    ASSERT_TRUE(text.contains("\"inputType\": \"4-20 mA current loop\", \"uom\": \"Level, %\", "
                              "\"logging\": \"No Log\""));
    ASSERT_TRUE(WriteAll(edited, text));

    const TRun dry = RunCli(QStringList(link) << "io-config"
                                              << "--apply" << edited << "--dry-run");
    EXPECT_EXIT_CODE(dry, 0);
    EXPECT_TRUE(dry.Out.contains("[IN01] name: \"Inlet pressure\" -> \"Pump room east\""))
        << dry.Out.toStdString();
    EXPECT_TRUE(
        dry.Out.contains("[IN04] input type: \"0-10 V voltage\" -> \"4-20 mA current loop\""));
    EXPECT_TRUE(dry.Out.contains("[IN04] UOM: \"Voltage, V\" -> \"Level, %\""));
    EXPECT_EXIT_CODE(RunCli(QStringList(link) << "io-config"
                                              << "--export" << after),
                     0);
    EXPECT_EQ(ReadAll(after), ReadAll(original)) << "a dry run changed the unit";

    const TRun apply = RunCli(QStringList(link) << "io-config"
                                                << "--apply" << edited << "--email" << email,
                              password);
    EXPECT_EXIT_CODE(apply, 0);
    EXPECT_TRUE(apply.Out.contains("Applied and read back: 2 entries changed."));
    EXPECT_EXIT_CODE(RunCli(QStringList(link) << "io-config"
                                              << "--export" << after),
                     0);
    EXPECT_EQ(ReadAll(after), ReadAll(edited));

    // One entry the unit does not offer: nothing at all is changed.
    QByteArray bad = ReadAll(edited);
    bad.replace("\"name\": \"Outlet flow\"", "\"name\": \"Outlet flow 2\"");
    bad.replace("\"uom\": \"Pressure, bar (0-10)\"", "\"uom\": \"Furlongs\"");
    const QString badPath = TempPath("template-bad.json");
    ASSERT_TRUE(WriteAll(badPath, bad));
    const TRun refused = RunCli(QStringList(link) << "io-config"
                                                  << "--apply" << badPath << "--email" << email,
                                password);
    EXPECT_EXIT_CODE(refused, 1);
    EXPECT_TRUE(refused.Err.contains("Refused: IN01: the UOM \"Furlongs\" is not offered"))
        << refused.Err.toStdString();
    EXPECT_EXIT_CODE(RunCli(QStringList(link) << "io-config"
                                              << "--export" << after),
                     0);
    EXPECT_EQ(ReadAll(after), ReadAll(edited));

    // One entry through io-config set.
    const TRun set = RunCli(QStringList(link) << "--json"
                                              << "io-config"
                                              << "set"
                                              << "IN03"
                                              << "--logging"
                                              << "2"
                                              << "--email" << email,
                            password);
    EXPECT_EXIT_CODE(set, 0);
    EXPECT_TRUE(Json(set)["verified"].toBool());
}

TEST(CliProcess, StreamingJson_IsOneObjectPerLineAsReadingsArrive)
{
    QProcess p;
    Start(p, {"--simulate", "vello", "--json", "live", "--count", "0"}, {});
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray out;
    QByteArray err;
    const TInterrupt r = InterruptWhen(p, out, err, [&] { return out.count('\n') >= 2; });
    ASSERT_TRUE(r.Seen);
    ASSERT_TRUE(r.Ended);
    EXPECT_EQ(p.exitCode(), 0);
    const QList<QByteArray> lines = out.split('\n');
    int n = 0;
    for (const QByteArray &line : lines) {
        if (line.isEmpty())
            continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        EXPECT_EQ(doc.object()["reading"].toInt(), ++n);
        EXPECT_EQ(doc.object()["io"].toArray().size(), 41);
    }
    EXPECT_GE(n, 2);
}

TEST(CliProcess, Catalogue_FillsTheSettingsBlock_ExplicitOptionsOverride)
{
    const QString catalogue = QString::fromStdString(zelvo::test::SourcePath("data/networks.xml"));
    const TRun list =
        RunCli({"--json", "networks", "--country", "united kingdom", "--catalogue", catalogue});
    EXPECT_EXIT_CODE(list, 0);
    const QJsonArray networks = Json(list)["networks"].toArray();
    ASSERT_FALSE(networks.isEmpty());
    bool sawEE = false;
    for (const auto &n : networks) {
        EXPECT_EQ(n.toObject()["country"].toString(), "United Kingdom");
        EXPECT_FALSE(n.toObject().contains("password"));
        sawEE = sawEE || (n.toObject()["network"].toString() == "EE" &&
                          n.toObject()["apn"].toString() == "everywhere");
    }
    EXPECT_TRUE(sawEE);

    const TRun unknown =
        RunCli({"--com", "1=/nonexistent/p", "save-settings", "--mobile", "--country",
                "United Kingdom", "--network", "Nope", "--catalogue", catalogue});
    EXPECT_EXIT_CODE(unknown, 2);
    EXPECT_TRUE(unknown.Err.contains("has no network \"Nope\"")) << unknown.Err.toStdString();

    TUnitProcess unit("vello");
    ASSERT_TRUE(unit.Ready);
    struct Row {
        QStringList extra;
        const char *apn;
    };
    for (const Row &row : {Row{{}, "everywhere"}, Row{{"--apn", "site.apn"}, "site.apn"}}) {
        const TRun save = RunCli(unit.Link() << "save-settings"
                                             << "--mobile"
                                             << "--country"
                                             << "United Kingdom"
                                             << "--network"
                                             << "ee"
                                             << "--catalogue" << catalogue << row.extra);
        EXPECT_EXIT_CODE(save, 0);
        const TRun info = RunCli(unit.Link() << "--json"
                                             << "info");
        EXPECT_EXIT_CODE(info, 0);
        const QJsonObject c = Json(info)["connection"].toObject();
        EXPECT_EQ(c["apn"].toString(), QLatin1String(row.apn));
        EXPECT_EQ(c["user"].toString(), "eesecure");
        EXPECT_TRUE(c["passwordSet"].toBool());
    }
}

#endif

} // namespace

// ---- find, --com auto, --usb auto ----

// Every COM number mapped to a path that does not exist, except those given,
// so a find never reaches a real device of this machine.
QStringList ComMaps(const QMap<int, QString> &ports)
{
    QStringList args;
    for (int n = 1; n <= 16; ++n)
        args << "--com"
             << QStringLiteral("%1=%2").arg(n).arg(
                    ports.value(n, TempPath(QStringLiteral("no-port-%1").arg(n))));
    return args;
}

// Empty /dev and /sys trees (and one holding an FTDI bridge "Zelvo" at
// `bridgeTarget` when given): the environment of a find.
QStringList FakeDeviceTree(const QString &name, const QString &bridgeTarget = {})
{
    const QString root = TempPath(name);
    QDir().mkpath(root + "/dev");
    QDir().mkpath(root + "/sys/class/tty");
    QDir().mkpath(root + "/sys/bus/usb-serial/devices");
    if (!bridgeTarget.isEmpty()) {
        const QString usb = root + "/sys/devices/usb1/1-1";
        const QString iface = usb + "/1-1:1.0";
        QDir().mkpath(iface + "/ttyUSB0");
        const auto write = [](const QString &file, const QByteArray &text) {
            QFile f(file);
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(text);
        };
        write(usb + "/idVendor", "0403\n");
        write(usb + "/product", "Zelvo\n");
        write(usb + "/bNumInterfaces", " 1\n");
        write(iface + "/bInterfaceNumber", "00\n");
        EXPECT_TRUE(QFile::link(iface + "/ttyUSB0", root + "/sys/bus/usb-serial/devices/ttyUSB0"));
        EXPECT_TRUE(QFile::link(bridgeTarget, root + "/dev/ttyUSB0"));
    }
    return {"ZELVO_DEV_ROOT=" + root + "/dev", "ZELVO_SYSFS_ROOT=" + root + "/sys",
            "ZELVO_PROBE_TIMEOUT_MS=1500"};
}

TEST(CliProcess, Find_Json_ReportsEachPortAndExitsZeroWhenAUnitIsFound)
{
    TUnitProcess vello("vello");
    TUnitProcess ostra("ostra");
    ASSERT_TRUE(vello.Ready && ostra.Ready);
    TPty silent;
    ASSERT_FALSE(silent.SlavePath.isEmpty());
    const QString velloLink = vello.Link()[1].mid(2); // "1=PATH" -> PATH
    const QString ostraLink = ostra.Link()[1].mid(6); // "Zelvo=PATH" -> PATH

    const TRun r = RunCli(ComMaps({{3, velloLink}, {5, silent.SlavePath}}) << "--json"
                                                                           << "find",
                          {}, FakeDeviceTree("find-json", ostraLink));
    EXPECT_EXIT_CODE(r, 0);
    const QJsonDocument doc = QJsonDocument::fromJson(r.Out.toUtf8());
    ASSERT_TRUE(doc.isArray()) << r.Out.toStdString();
    const QJsonArray ports = doc.array();
    ASSERT_EQ(ports.size(), 17); // COM1..16 and the bridge
    QMap<QString, QJsonObject> byPort;
    for (const auto &v : ports) {
        const QJsonObject o = v.toObject();
        byPort[o["port"].toString()] = o;
        EXPECT_TRUE(QStringList({"zelvo", "no answer", "not a zelvo", "busy", "cannot open"})
                        .contains(o["result"].toString()))
            << o["result"].toString().toStdString();
        const bool unit = o["result"] == "zelvo";
        EXPECT_EQ(o.contains("model"), unit);
        EXPECT_EQ(o.contains("firmware"), unit);
        EXPECT_EQ(o.contains("reason"), o["result"] == "busy" || o["result"] == "cannot open");
    }
    EXPECT_EQ(byPort["COM3"]["result"], "zelvo");
    EXPECT_EQ(byPort["COM3"]["model"], "VELLO");
    EXPECT_EQ(byPort["COM3"]["path"], velloLink);
    EXPECT_TRUE(byPort["COM3"]["firmware"].toString().startsWith("V2.61?"));
    EXPECT_EQ(byPort["COM3"]["firmwareRecent"], true);
    EXPECT_EQ(byPort["Zelvo"]["result"], "zelvo");
    EXPECT_EQ(byPort["Zelvo"]["model"], "OSTRA");
    EXPECT_EQ(byPort["COM5"]["result"], "no answer");
    EXPECT_EQ(byPort["COM1"]["result"], "cannot open");
    EXPECT_TRUE(byPort["COM1"]["reason"].toString().contains("does not exist"));
}

TEST(CliProcess, Find_NoUnit_OneLinePerPortAndExitThree)
{
    const TRun r = RunCli(ComMaps({}) << "find", {}, FakeDeviceTree("find-none"));
    EXPECT_EXIT_CODE(r, 3);
    const QStringList lines = r.Out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 16) << r.Out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("COM1  ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("no-port-1  cannot open: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines[15].startsWith("COM16  ")) << lines[15].toStdString();
    EXPECT_TRUE(r.Err.contains("No unit was found."));
}

TEST(CliProcess, ComAuto_UsesTheOneUnit_RefusesNoneAndSeveralWithTheList)
{
    TUnitProcess vello("vello");
    TUnitProcess ostra("ostra");
    ASSERT_TRUE(vello.Ready && ostra.Ready);
    const QString velloLink = vello.Link()[1].mid(2);
    const QString ostraLink = ostra.Link()[1].mid(6);

    const TRun one = RunCli(ComMaps({{9, velloLink}}) << "--com"
                                                      << "auto"
                                                      << "--json"
                                                      << "info",
                            {}, FakeDeviceTree("auto-one"));
    EXPECT_EXIT_CODE(one, 0);
    EXPECT_TRUE(one.Err.contains("--com auto: VELLO on COM9")) << one.Err.toStdString();
    EXPECT_TRUE(one.Out.contains("VELLO")) << one.Out.toStdString();

    const TRun none = RunCli(ComMaps({}) << "--com"
                                         << "auto"
                                         << "info",
                             {}, FakeDeviceTree("auto-none"));
    EXPECT_EXIT_CODE(none, 3);
    EXPECT_TRUE(none.Err.contains("--com auto: no unit was found")) << none.Err.toStdString();
    EXPECT_TRUE(none.Err.contains("COM16")) << none.Err.toStdString();

    const TRun two = RunCli(ComMaps({{2, velloLink}, {4, ostraLink}}) << "--com"
                                                                      << "auto"
                                                                      << "info",
                            {}, FakeDeviceTree("auto-two"));
    EXPECT_EXIT_CODE(two, 3);
    EXPECT_TRUE(two.Err.contains("2 units were found")) << two.Err.toStdString();

    // --usb auto looks at bridges only: the VELLO on COM9 is not one.
    const TRun usb = RunCli(ComMaps({{9, velloLink}}) << "--usb"
                                                      << "auto"
                                                      << "info",
                            {}, FakeDeviceTree("auto-usb", ostraLink));
    EXPECT_EXIT_CODE(usb, 0);
    EXPECT_TRUE(usb.Err.contains("--usb auto: OSTRA on Zelvo")) << usb.Err.toStdString();
}

TEST(CliProcess, Find_CtrlC_EndsEveryProbeAndLeavesThePortFree)
{
    TPty silent;
    ASSERT_FALSE(silent.SlavePath.isEmpty());
    QStringList env = FakeDeviceTree("find-interrupt");
    env.last() = "ZELVO_PROBE_TIMEOUT_MS=60000";
    ::fcntl(silent.Master, F_SETFL, ::fcntl(silent.Master, F_GETFL) | O_NONBLOCK);
    QProcess p;
    Start(p, ComMaps({{1, silent.SlavePath}}) << "find", env);
    ASSERT_TRUE(p.waitForStarted(10000));
    QByteArray out, err, wire;
    // Interrupted once the silent port was asked for the version.
    const TInterrupt i = InterruptWhen(p, out, err, [&] {
        char buf[16];
        const ssize_t n = ::read(silent.Master, buf, sizeof buf);
        if (n > 0)
            wire.append(buf, static_cast<int>(n));
        return wire.size() >= 4;
    });
    ASSERT_TRUE(i.Seen);
    EXPECT_TRUE(i.Ended);
    EXPECT_EQ(p.exitCode(), 130) << err.toStdString();
    EXPECT_EQ(wire, QByteArray::fromHex("0a00dfd5"));
    const int fd =
        ::open(silent.SlavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    ::close(fd);
}
