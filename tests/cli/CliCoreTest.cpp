#include "cli/Clioptions.h"
#include "cli/Clitable.h"
#include "frontend/Signalreading.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace
{

TCliParseResult Parse(const char *line)
{
    return ParseCommandLine(QString::fromLatin1(line).split(' ', Qt::SkipEmptyParts));
}

// ---- command line ----

TEST(CliOptions, LinkChoices_AreReadWithTheirMappings)
{
    auto r = Parse("--com 3=/dev/ttyUSB0 info");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.Link, TLinkChoice::Com);
    EXPECT_EQ(r.Options.ComPort, 3);
    ASSERT_EQ(r.Options.ComPaths.size(), 1u);
    EXPECT_EQ(r.Options.ComPaths[0].second, "/dev/ttyUSB0");

    // "--usb" followed by a command does not take the command as a mapping.
    r = Parse("--usb info");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.Link, TLinkChoice::Usb);
    EXPECT_TRUE(r.Options.UsbBridges.empty());
    EXPECT_EQ(r.Options.Command, TCliCommand::Info);

    r = Parse("--usb Zelvo=/dev/pts/7 --json live --count 3 --interval 0.5");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    ASSERT_EQ(r.Options.UsbBridges.size(), 1u);
    EXPECT_EQ(r.Options.UsbBridges[0].first, "Zelvo");
    EXPECT_EQ(r.Options.UsbBridges[0].second, "/dev/pts/7");
    EXPECT_TRUE(r.Options.Json);
    EXPECT_EQ(r.Options.Count, 3);
    ASSERT_TRUE(r.Options.IntervalSeconds.has_value());
    EXPECT_DOUBLE_EQ(*r.Options.IntervalSeconds, 0.5);

    r = Parse("--simulate OSTRA snapshot");
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Options.Link, TLinkChoice::Simulate);
    EXPECT_EQ(r.Options.SimulateModel, "ostra");
}

TEST(CliOptions, Auto_AndFind_AreReadWithTheMapsAFindLooksAt)
{
    auto r = Parse("--com auto info");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_TRUE(r.Options.ComAuto);
    EXPECT_EQ(r.Options.Link, TLinkChoice::Com);
    EXPECT_EQ(r.Options.Command, TCliCommand::Info);

    // "auto" after --usb is the choice, not the command; COM maps may come
    // with it, a chosen COM port may not.
    r = Parse("--com 2=/dev/ttyACM0 --usb auto live");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_TRUE(r.Options.UsbAuto);
    EXPECT_EQ(r.Options.Link, TLinkChoice::Usb);
    EXPECT_EQ(r.Options.Command, TCliCommand::Live);
    EXPECT_EQ(r.Options.ComPaths.size(), 1u);
    r = Parse("--usb=auto --com 2 info");
    EXPECT_FALSE(r.Ok);
    r = Parse("--usb --com 2=/dev/ttyACM0 info");
    EXPECT_FALSE(r.Ok);

    r = Parse("--com 5=/dev/ttyUSB0 --json find");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.Command, TCliCommand::Find);
    EXPECT_TRUE(r.Options.Json);
    EXPECT_FALSE(Parse("find COM3").Ok);
}

TEST(CliOptions, CommandArguments_AreTakenPerCommand)
{
    auto r = Parse("set-value DO01 -25");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.Tag, "DO01");
    EXPECT_EQ(r.Options.Value, "-25"); // a negative number is a value, not an option

    r = Parse("save-settings --ethernet --no-dhcp --ip 10.0.0.2 --dns=8.8.8.8");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.Connection, TCliConnection::Ethernet);
    ASSERT_TRUE(r.Options.UseDHCP.has_value());
    EXPECT_FALSE(*r.Options.UseDHCP);
    EXPECT_EQ(r.Options.IPAddress.value_or(""), "10.0.0.2");
    EXPECT_EQ(r.Options.DNSServer.value_or(""), "8.8.8.8");
    EXPECT_FALSE(r.Options.NetMask.has_value()); // not given: the unit's value stays

    r = Parse("logon installer@zelvo.example");
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Options.Email, "installer@zelvo.example");

    r = Parse("live --help");
    ASSERT_TRUE(r.Ok);
    EXPECT_TRUE(r.Options.Help);
    EXPECT_EQ(r.Options.Command, TCliCommand::Live);
    EXPECT_TRUE(CommandHelp(r.Options.Command).contains("--interval"));
}

// A help line that lost its line break runs into the next one: every line of
// the program's and each command's help fits a terminal and every command
// starts a line of its own.
TEST(CliOptions, HelpTexts_KeepOneEntryPerLine)
{
    const QString help = ProgramHelp();
    for (const QString &line : help.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
    for (const char *command :
         {"  info ", "  live ", "  external ", "  io-config ", "  snapshot ", "  logon ",
          "  signal ", "  save-settings ", "  set-value ", "  networks "})
        EXPECT_TRUE(help.contains(QString("\n") + command)) << command;
    for (int c = 0; c <= static_cast<int>(TCliCommand::Networks); ++c)
        for (const QString &line : CommandHelp(static_cast<TCliCommand>(c)).split('\n'))
            EXPECT_LE(line.size(), 80) << line.toStdString();
}

// The help and the parser are made from one table: every option a command's
// help names is one the parser takes for that command (or a global one), and
// the program help lists every command's options in its synopses.
TEST(CliOptions, HelpTexts_NameOnlyOptionsTheParserTakes)
{
    const QRegularExpression option(QStringLiteral("(?<![\\w-])--[a-z][a-z-]*[a-z]"));
    const QString program = ProgramHelp();
    for (const char *name : {"info", "live", "external", "io-config", "snapshot", "logon", "signal",
                             "save-settings", "set-value", "networks", "find", "report"}) {
        const TCliCommand command = CommandFromName(name);
        ASSERT_NE(command, TCliCommand::None) << name;
        auto it = option.globalMatch(CommandHelp(command));
        while (it.hasNext()) {
            const QString o = it.next().captured();
            const TCliParseResult r = ParseCommandLine({name, o, "x"});
            EXPECT_FALSE(r.Error.contains("has no option") || r.Error.contains("unknown option"))
                << name << ' ' << o.toStdString() << ": " << r.Error.toStdString();
            EXPECT_TRUE(program.contains(o)) << o.toStdString();
        }
    }
    // Link options, wherever they are given.
    for (const char *line : {"--trace t.txt info", "info --trace=t.txt", "live --simulate vello"})
        EXPECT_TRUE(Parse(line).Ok) << line;
    EXPECT_EQ(Parse("--trace t.txt info").Options.TraceFile, "t.txt");
}

TEST(CliOptions, WrongLines_AreRefusedWithAReason)
{
    struct Row {
        const char *line;
        const char *reason;
    };
    const Row rows[] = {
        {"", "no command"},
        {"frobnicate", "unknown command"},
        {"--com 0 info", "1 to 16"},
        {"--com 17 info", "1 to 16"},
        {"--com 3= info", "needs a device path"},
        {"--usb =/dev/x info", "DESCRIPTION=PATH"},
        {"--simulate arlo info", "ostra or vello"},
        {"--simulate vello --com 2 info", "choose one link"},
        {"--usb --com 2 info", "choose one link"},
        {"info extra", "unexpected argument"},
        {"live --count", "needs a value"},
        {"live --count -1", "whole number"},
        {"live --interval 0", "--interval"},
        {"info --count 2", "has no option --count"},
        {"logon", "needs an e-mail"},
        {"set-value DO01", "a tag and a value"},
        {"signal --seconds 0", "whole number"},
        {"save-settings", "--mobile or --ethernet"},
        {"save-settings --mobile --ethernet", "choose one"},
        {"save-settings --mobile --ip 1.2.3.4", "belong to --ethernet"},
        {"save-settings --ethernet --apn x", "belong to --mobile"},
        {"save-settings --mobile --password secret", "never taken from the command line"},
    };
    for (const Row &row : rows) {
        const auto r = Parse(row.line);
        EXPECT_FALSE(r.Ok) << row.line;
        EXPECT_TRUE(r.Error.contains(QLatin1String(row.reason)))
            << row.line << " -> " << r.Error.toStdString();
    }
}

TEST(CliOptions, TextsLongerThanTheUnitsFields_AreRefused)
{
    const QString apn125(125, 'a');
    const QString user45(45, 'u');
    const QString email129 = QString(120, 'e') + "@zelvo.ex"; // 129 characters
    auto r = ParseCommandLine({"save-settings", "--mobile", "--apn", apn125});
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains("124"));
    r = ParseCommandLine({"save-settings", "--mobile", "--apn", apn125.left(124)});
    EXPECT_TRUE(r.Ok) << r.Error.toStdString();
    r = ParseCommandLine({"save-settings", "--mobile", "--user", user45});
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains("44"));
    r = ParseCommandLine({"logon", email129});
    EXPECT_FALSE(r.Ok);
    EXPECT_TRUE(r.Error.contains("128"));
    r = ParseCommandLine({"logon", email129.right(128)});
    EXPECT_TRUE(r.Ok) << r.Error.toStdString();
    // Texts the unit's single-byte fields cannot carry.
    r = ParseCommandLine({"save-settings", "--mobile", "--apn", QString::fromUtf8("\xe2\x82\xac")});
    EXPECT_FALSE(r.Ok);
}

// ---- signal meter ----

TEST(CliSignal, Levels_FallInTheMetersBands)
{
    struct Row {
        int level;
        int bars;
        const char *band;
    };
    // The bar's top edge decides the band: 7 pixels per level from 265, with
    // band edges at 221, 200 and 172.
    const Row rows[] = {
        {0, 0, "Poor"},       {6, 6, "Poor"},       {7, 7, "Borderline"},    {9, 9, "Borderline"},
        {10, 10, "OK"},       {13, 13, "OK"},       {14, 14, "Good"},        {31, 31, "Good"},
        {32, 0, "No signal"}, {99, 0, "No signal"}, {150, 0, "Read failed"}, {255, 0, "No data"},
    };
    for (const Row &row : rows) {
        const TSignalReading r = ReadSignalLevel(static_cast<std::uint8_t>(row.level));
        EXPECT_EQ(r.Bars, row.bars) << row.level;
        EXPECT_EQ(r.Band, QLatin1String(row.band)) << row.level;
    }
}

// ---- output ----

TEST(TCliTable, Columns_AreAlignedToTheirWidestCell)
{
    TCliTable t({"IO Name", "Tag", "Value"});
    t.AddRow({"Digital Output 1", "[DO01]", "On"});
    t.AddRow({"AI", "[AI1]"}); // short row is padded
    const QStringList lines = t.Format().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], "IO Name           Tag     Value");
    EXPECT_EQ(lines[1], "Digital Output 1  [DO01]  On");
    EXPECT_EQ(lines[2], "AI                [AI1]"); // no trailing blanks
}

} // namespace
