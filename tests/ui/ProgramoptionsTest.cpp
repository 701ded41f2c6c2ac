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
    EXPECT_EQ(o.Simulate, QStringLiteral("vello"));
    ASSERT_EQ(o.ComPaths.size(), 2u);
    EXPECT_EQ(o.ComPaths[0].first, 3);
    EXPECT_EQ(o.ComPaths[0].second, QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(o.ComPaths[1].second, QStringLiteral("/tmp/a b"));
    ASSERT_EQ(o.UsbBridges.size(), 1u);
    EXPECT_EQ(o.UsbBridges[0].first, QStringLiteral("Zelvo A"));
    EXPECT_FALSE(o.Help);
}

TEST(ProgramOptions, Malformed_RefusedWithReasonAndOptionsUntouched)
{
    const QStringList bad[] = {{"--simulate", "other"}, {"--simulate"},   {"--com", "0=/dev/x"},
                               {"--com", "3"},          {"--usb", "=/x"}, {"--frobnicate"},
                               {"--screenshot-tour="},  {"--trace"},      {"--trace="}};
    for (const QStringList &args : bad) {
        TProgramOptions o;
        o.Simulate = QStringLiteral("kept");
        QString error;
        EXPECT_FALSE(ParseProgramOptions(args, o, error)) << args.join(' ').toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(o.Simulate, QStringLiteral("kept"));
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
    EXPECT_TRUE(ProgramUsage().contains(QStringLiteral("--simulate ostra|vello")));
}

TEST(ProgramOptions, TraceFile_BothSpellingsTheLastOneWins)
{
    TProgramOptions o;
    QString error;
    ASSERT_TRUE(
        ParseProgramOptions({"--simulate", "vello", "--trace", "/tmp/a trace.txt"}, o, error));
    EXPECT_EQ(o.TraceFile, QStringLiteral("/tmp/a trace.txt"));
    EXPECT_EQ(o.Simulate, QStringLiteral("vello"));
    ASSERT_TRUE(ParseProgramOptions({"--trace=/tmp/one", "--trace=/tmp/two"}, o, error));
    EXPECT_EQ(o.TraceFile, QStringLiteral("/tmp/two"));
    ASSERT_TRUE(ParseProgramOptions({}, o, error));
    EXPECT_TRUE(o.TraceFile.isEmpty());
    EXPECT_TRUE(ProgramUsage().contains(QStringLiteral("--trace FILE")));
}

} // namespace
