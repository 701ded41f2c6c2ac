#include "frontend/Linkoptions.h"
#include "link/Bridgelist.h"
#include "link/Portmap.h"
#include "link/Trace.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>
#include <utility>
#include <vector>

namespace
{

using TArgs = std::vector<std::pair<const char *, std::optional<QString>>>;

// Reads the options in order and finishes; the first error, or "" when they
// were all taken.
QString ReadAll(TLinkOptionReader &reader, const TArgs &args)
{
    for (const auto &[name, value] : args)
        if (!reader.Read(QLatin1String(name), value))
            return reader.Error();
    return reader.Finish() ? QString() : reader.Error();
}

// ---- reading, as zelvo-cli does ----

TEST(LinkOptions, CommandLine_ChoosesTheLinkAndKeepsTheMaps)
{
    TLinkOptionReader r(TLinkFlavour::CommandLine);
    ASSERT_EQ(
        ReadAll(r, {{"com", "3=/dev/ttyUSB0"}, {"com", "3=/dev/ttyUSB1"}, {"trace", "t.txt"}}),
        QString());
    const TLinkSettings &s = r.Settings();
    EXPECT_EQ(s.Link, TLinkChoice::Com);
    EXPECT_EQ(s.ComPort, 3);
    // A repeated mapping is kept in order: the last one is the one in force.
    ASSERT_EQ(s.ComPaths.size(), 2u);
    EXPECT_EQ(s.ComPaths[1].second, QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(s.TraceFile, QStringLiteral("t.txt"));

    TLinkOptionReader sim(TLinkFlavour::CommandLine);
    ASSERT_EQ(ReadAll(sim, {{"simulate", "VELLO"}, {"simulate", "Ostra"}}), QString());
    EXPECT_EQ(sim.Settings().Link, TLinkChoice::Simulate);
    EXPECT_EQ(sim.Settings().SimulateModel, QStringLiteral("ostra")); // the last one, lower case

    // --usb alone selects the bridge; with "auto" or a mapping it takes it.
    TLinkOptionReader usb(TLinkFlavour::CommandLine);
    EXPECT_FALSE(usb.NeedsValue(QStringLiteral("usb")));
    EXPECT_TRUE(usb.TakesNext(QStringLiteral("usb"), QStringLiteral("auto")));
    EXPECT_TRUE(usb.TakesNext(QStringLiteral("usb"), QStringLiteral("Zelvo A=/dev/pts/3")));
    EXPECT_FALSE(usb.TakesNext(QStringLiteral("usb"), QStringLiteral("info")));
    EXPECT_FALSE(usb.TakesNext(QStringLiteral("usb"), QStringLiteral("--count=3")));
    EXPECT_TRUE(usb.TakesNext(QStringLiteral("com"), QStringLiteral("--json")));
    ASSERT_EQ(ReadAll(usb, {{"com", "2=/dev/ttyACM0"}, {"usb", "auto"}}), QString());
    // COM maps beside --usb auto only name ports for the find: the link is the bridge.
    EXPECT_EQ(usb.Settings().Link, TLinkChoice::Usb);
    EXPECT_TRUE(usb.Settings().UsbAuto);
}

TEST(LinkOptions, CommandLine_RefusesWithTheReason)
{
    struct Row {
        TArgs Args;
        const char *Error;
    };
    const Row rows[] = {
        {{{"com", "0"}}, "--com takes a port number from 1 to 16 (optionally N=PATH), not \"0\""},
        {{{"com", "17=/dev/x"}}, "from 1 to 16"},
        {{{"com", "x=/dev/x"}}, "from 1 to 16"},
        {{{"com", "3="}}, "--com 3= needs a device path"},
        {{{"com", std::nullopt}}, "option --com needs a value"},
        {{{"usb", "=/dev/x"}}, "--usb takes DESCRIPTION=PATH, not \"=/dev/x\""},
        {{{"usb", "Zelvo="}}, "--usb takes DESCRIPTION=PATH"},
        {{{"simulate", "arlo"}}, "--simulate takes ostra or vello, not \"arlo\""},
        {{{"simulate", std::nullopt}}, "option --simulate needs a value"},
        {{{"trace", ""}}, "--trace needs a file name"},
        {{{"usb", std::nullopt}, {"com", "2"}}, "choose one link: --usb, --com or --simulate"},
        {{{"simulate", "vello"}, {"com", "2=/dev/x"}}, "choose one link"},
        {{{"usb", "auto"}, {"com", "2"}}, "choose one link"},
        {{{"usb", "auto"}, {"com", "auto"}}, "choose one link"},
    };
    for (const Row &row : rows) {
        TLinkOptionReader r(TLinkFlavour::CommandLine);
        const QString error = ReadAll(r, row.Args);
        EXPECT_TRUE(error.contains(QLatin1String(row.Error)))
            << row.Error << " -> \"" << error.toStdString() << '"';
    }
}

// ---- reading, as the window does ----

TEST(LinkOptions, Window_TakesMappingsOnly)
{
    TLinkOptionReader r(TLinkFlavour::Window);
    // The window chooses its link in the connect dialog: a simulated unit
    // and mappings go together.
    ASSERT_EQ(ReadAll(r, {{"simulate", "vello"},
                          {"com", "4=/tmp/a b"},
                          {"usb", "Zelvo A=/dev/pts/9"},
                          {"trace", "/tmp/one"},
                          {"trace", "/tmp/two"}}),
              QString());
    const TLinkSettings &s = r.Settings();
    EXPECT_EQ(s.SimulateModel, QStringLiteral("vello"));
    ASSERT_EQ(s.ComPaths.size(), 1u);
    EXPECT_EQ(s.ComPaths[0], std::make_pair(4, QStringLiteral("/tmp/a b")));
    EXPECT_EQ(s.ComPort, 0);
    ASSERT_EQ(s.UsbBridges.size(), 1u);
    EXPECT_EQ(s.UsbBridges[0].first, QStringLiteral("Zelvo A"));
    EXPECT_EQ(s.TraceFile, QStringLiteral("/tmp/two"));

    for (const char *com : {"3", "auto", "0=/dev/x", "17=/dev/x", "3="}) {
        TLinkOptionReader w(TLinkFlavour::Window);
        EXPECT_EQ(ReadAll(w, {{"com", QLatin1String(com)}}),
                  QStringLiteral("--com takes N=PATH, not \"%1\"").arg(QLatin1String(com)));
    }
    for (const char *usb : {"", "auto", "=/x"}) {
        TLinkOptionReader w(TLinkFlavour::Window);
        EXPECT_TRUE(ReadAll(w, {{"usb", QLatin1String(usb)}}).startsWith("--usb takes")) << usb;
    }
    TLinkOptionReader bad(TLinkFlavour::Window);
    EXPECT_EQ(ReadAll(bad, {{"simulate", "other"}}),
              QStringLiteral("--simulate takes ostra or vello, not \"other\""));
}

TEST(LinkOptions, Forms_TheWindowsAreTheMappingsAndEveryNameIsRead)
{
    for (const TLinkOptionForm &f : LinkOptionForms()) {
        EXPECT_TRUE(TLinkOptionReader::Declares(QLatin1String(f.Name))) << f.Name;
        EXPECT_FALSE(QString::fromLatin1(f.Help).contains('\n')) << f.Name;
    }
    QStringList window;
    for (const TLinkOptionForm &f : LinkOptionForms(TLinkFlavour::Window))
        window << f.Syntax();
    EXPECT_EQ(window, QStringList({"--usb DESC=PATH", "--com N=PATH", "--simulate ostra|vello",
                                   "--trace FILE"}));
    EXPECT_FALSE(TLinkOptionReader::Declares(QStringLiteral("json")));
}

// ---- applying ----

TEST(LinkOptions, Apply_MapsPortsAndBridges)
{
    ClearComPortMap();
    Ftd2xx::ClearVirtualBridges();
    TLinkSettings s;
    s.ComPaths = {{5, "/dev/ttyUSB3"}, {5, "/dev/ttyUSB4"}};
    s.UsbBridges = {{"Zelvo", "/dev/pts/9"}};
    TSimulatedLink none;
    const TLinkResult r = TLinkOptions(s).Apply(1, none);
    EXPECT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(ComPortPath(5), "/dev/ttyUSB4");
    const auto bridges = Ftd2xx::VirtualBridges();
    ASSERT_EQ(bridges.size(), 1u);
    EXPECT_EQ(bridges[0].DevicePath, "/dev/pts/9");
    EXPECT_EQ(none.Sim, nullptr); // no --simulate, no simulator
    ClearComPortMap();
    Ftd2xx::ClearVirtualBridges();
}

TEST(LinkOptions, Apply_FailuresCarryTheirExitCodeAndStopTheRest)
{
    ClearComPortMap();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TLinkSettings s;
    s.TraceFile = dir.filePath(QStringLiteral("no/such/dir/trace.txt"));
    s.ComPaths = {{6, "/dev/ttyUSB6"}};
    TSimulatedLink sim;
    TLinkResult r = TLinkOptions(s).Apply(1, sim);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.ExitCode, 2);
    EXPECT_TRUE(r.Error.startsWith(QLatin1String("the trace file could not be written: ")))
        << r.Error.toStdString();
    EXPECT_EQ(ComPortPath(6), PlatformComPortPath(6)); // nothing applied after the failure

    TLinkSettings unknown;
    unknown.SimulateModel = QStringLiteral("arlo");
    r = TLinkOptions(unknown).StartSimulation(1, sim);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.ExitCode, 3);
    EXPECT_TRUE(r.Error.startsWith(QLatin1String("the simulated unit could not be started: ")))
        << r.Error.toStdString();

    s.TraceFile = dir.filePath(QStringLiteral("trace.txt"));
    r = TLinkOptions(s).InstallTrace();
    EXPECT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_TRUE(linktrace::Active());
    linktrace::Uninstall();
}

TEST(LinkOptions, Apply_StartsTheSimulatedUnitWhereTheLinkLooks)
{
    TLinkSettings s;
    s.SimulateModel = QStringLiteral("vello");
    TSimulatedLink sim;
    const TLinkResult r = TLinkOptions(s).StartSimulation(10, sim);
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_NE(sim.Sim, nullptr);
    EXPECT_FALSE(sim.UseUsb);
    EXPECT_EQ(sim.ComPort, kSimulatedComPort);
}

TEST(LinkOptions, Pacing_FromTheEnvironment)
{
    const auto with = [](const char *divisor, const char *timeout) {
        divisor ? qputenv("ZELVO_PACING_DIVISOR", divisor) : qunsetenv("ZELVO_PACING_DIVISOR");
        timeout ? qputenv("ZELVO_FRAME_TIMEOUT_MS", timeout) : qunsetenv("ZELVO_FRAME_TIMEOUT_MS");
        return PacingFromEnvironment();
    };
    const QByteArray keptDivisor = qgetenv("ZELVO_PACING_DIVISOR");
    const QByteArray keptTimeout = qgetenv("ZELVO_FRAME_TIMEOUT_MS");

    TLinkPacing p = with(nullptr, nullptr);
    EXPECT_EQ(p.Divisor, 1);
    EXPECT_EQ(p.Pacing.WorkerStep, TPacing::Production().WorkerStep);
    EXPECT_EQ(p.Pacing.ComFrameTimeout, TPacing::Production().ComFrameTimeout);

    p = with("10", "3000");
    EXPECT_EQ(p.Divisor, 10);
    EXPECT_EQ(p.Pacing.WorkerStep, TPacing::ms(100));
    // The time-out is set after the divisor, not divided by it.
    EXPECT_EQ(p.Pacing.ComFrameTimeout, TPacing::ms(3000));
    EXPECT_EQ(p.Pacing.UsbFrameTimeout, TPacing::ms(3000));

    for (const char *ignored : {"1", "0", "-4", "fast"}) {
        p = with(ignored, nullptr);
        EXPECT_EQ(p.Divisor, 1) << ignored;
        EXPECT_EQ(p.Pacing.WorkerStep, TPacing::Production().WorkerStep) << ignored;
    }
    for (const char *ignored : {"0", "-4", "fast"}) {
        p = with("10", ignored);
        EXPECT_EQ(p.Pacing.UsbFrameTimeout, TPacing::ms(300)) << ignored; // the divided one
    }

    keptDivisor.isNull() ? qunsetenv("ZELVO_PACING_DIVISOR")
                         : qputenv("ZELVO_PACING_DIVISOR", keptDivisor);
    keptTimeout.isNull() ? qunsetenv("ZELVO_FRAME_TIMEOUT_MS")
                         : qputenv("ZELVO_FRAME_TIMEOUT_MS", keptTimeout);
}

} // namespace
