#include "ui/Programoptions.h"

#include <gtest/gtest.h>

namespace
{

TEST(ProgramOptions, LinkChoices_ReadInAnyOrderAndRepeatable)
{
    TProgramOptions o;
    QString error;
    ASSERT_TRUE(ParseProgramOptions({"--com", "3=/dev/ttyUSB0", "--simulate=VELLO",
                                     "--com=4=/tmp/a b", "--usb", "Zelvo A=/dev/pts/9"},
                                    o, error))
        << error.toStdString();
    EXPECT_EQ(o.Link.SimulateModel, QStringLiteral("vello"));
    ASSERT_EQ(o.Link.ComPaths.size(), 2u);
    EXPECT_EQ(o.Link.ComPaths[0].first, 3);
    EXPECT_EQ(o.Link.ComPaths[0].second, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(o.Link.ComPaths[1].second, QStringLiteral("/tmp/a b"));
    ASSERT_EQ(o.Link.UsbBridges.size(), 1u);
    EXPECT_EQ(o.Link.UsbBridges[0].first, QStringLiteral("Zelvo A"));
    EXPECT_FALSE(o.Help);
}

TEST(ProgramOptions, Malformed_RefusedWithReasonAndOptionsUntouched)
{
    struct Row {
        QStringList Args;
        const char *Error;
    };
    const Row rows[] = {
        {{"--simulate", "other"}, "--simulate takes ostra or vello, not \"other\""},
        {{"--simulate"}, "Missing value after '--simulate'"},
        {{"--com", "0=/dev/x"}, "--com takes N=PATH, not \"0=/dev/x\""},
        {{"--com", "3"}, "--com takes N=PATH, not \"3\""},
        {{"--usb", "=/x"}, "--usb takes DESCRIPTION=PATH"},
        {{"--frobnicate"}, "Unknown option 'frobnicate'"},
        {{"stray"}, "unknown argument \"stray\""},
        {{"--screenshot-tour="}, "--screenshot-tour needs a directory"},
        {{"--trace"}, "Missing value after '--trace'"},
        {{"--trace="}, "--trace needs a file name"},
    };
    for (const Row &row : rows) {
        TProgramOptions o;
        o.Link.SimulateModel = QStringLiteral("kept");
        QString error;
        EXPECT_FALSE(ParseProgramOptions(row.Args, o, error)) << row.Args.join(' ').toStdString();
        EXPECT_TRUE(error.contains(QLatin1String(row.Error))) << error.toStdString();
        EXPECT_EQ(o.Link.SimulateModel, QStringLiteral("kept"));
    }
}

TEST(ProgramOptions, HelpAndDeveloperSwitches)
{
    TProgramOptions o;
    QString error;
    ASSERT_TRUE(
        ParseProgramOptions({"--help", "--screenshot-tour", "/tmp/shots", "--measure"}, o, error));
    EXPECT_TRUE(o.Help);
    EXPECT_TRUE(o.Measure);
    EXPECT_EQ(o.ScreenshotDir, QStringLiteral("/tmp/shots"));
    ASSERT_TRUE(ParseProgramOptions({"-h"}, o, error));
    EXPECT_TRUE(o.Help);
    ASSERT_TRUE(ParseProgramOptions({"--version"}, o, error));
    EXPECT_TRUE(o.Version);
    EXPECT_FALSE(o.Help);

    // The help names the program, lists every link option with its value and
    // keeps the developer switches to itself.
    const QString usage = ProgramUsage();
    EXPECT_TRUE(usage.startsWith(QLatin1String("Usage: zelvo-marlune "))) << usage.toStdString();
    for (const char *option : {"--simulate <ostra|vello>", "--com <N=PATH>", "--usb <DESC=PATH>",
                               "--trace <FILE>", "--help", "--version"})
        EXPECT_TRUE(usage.contains(QLatin1String(option))) << option;
    EXPECT_FALSE(usage.contains(QLatin1String("screenshot-tour")));
    EXPECT_FALSE(usage.contains(QLatin1String("--measure")));
}

TEST(ProgramOptions, TraceFile_BothSpellingsTheLastOneWins)
{
    TProgramOptions o;
    QString error;
    ASSERT_TRUE(
        ParseProgramOptions({"--simulate", "vello", "--trace", "/tmp/a trace.txt"}, o, error));
    EXPECT_EQ(o.Link.TraceFile, QStringLiteral("/tmp/a trace.txt"));
    EXPECT_EQ(o.Link.SimulateModel, QStringLiteral("vello"));
    ASSERT_TRUE(ParseProgramOptions({"--trace=/tmp/one", "--trace=/tmp/two"}, o, error));
    EXPECT_EQ(o.Link.TraceFile, QStringLiteral("/tmp/two"));
    ASSERT_TRUE(ParseProgramOptions({}, o, error));
    EXPECT_TRUE(o.Link.TraceFile.isEmpty());
}

} // namespace
