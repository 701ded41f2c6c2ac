// Configuration templates: the file format and the plan that applies one
// with the Edit I/O dialog's rules, without a unit.

#include "cli/Clitemplate.h"
#include "cli/Clioptions.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

// Two categories: 1 offers several UOMs, 2 a single one; 3 none.
struct TUnitLists {
    TAvailableInputTypes types;
    TUOMDescriptions uoms;

    TUnitLists()
    {
        AddType(1, "4-20 mA", true, 1);
        AddType(2, "0-10 V", true, 1);
        AddType(3, "Digital", true, 2);
        AddType(4, "Fixed", false, 1);
        AddType(5, "Counter", true, 3);
        AddUom(200, "Pressure, bar", 1);
        AddUom(201, "Level, %", 1);
        AddUom(100, "Closed / Open", 2);
        // The same name in another category.
        AddUom(300, "Level, %", 3);
    }
    void AddType(int id, const char *name, bool selectable, int category)
    {
        auto t = std::make_unique<TAvailableInputType>();
        t->InputTypeID = static_cast<uint8_t>(id);
        t->Name = QString::fromLatin1(name);
        t->Selectable = selectable;
        t->UOMCategory = static_cast<uint8_t>(category);
        types.Add(std::move(t));
    }
    void AddUom(int id, const char *name, int category)
    {
        auto u = std::make_unique<TUOMDescription>();
        u->UOMID = id;
        u->Name = QString::fromLatin1(name);
        u->Category = category;
        uoms.Add(std::move(u));
    }
};

const TUnitLists &Lists()
{
    static const TUnitLists lists;
    return lists;
}
const TAvailableInputTypes &kTypes = Lists().types;
const TUOMDescriptions &kUoms = Lists().uoms;

std::vector<editio::TRecord> Records()
{
    return {{"IN01  ", "Inlet", 1, 200, 2}, {"IN02  ", "Tank", 2, 201, 0},
            {"DO01  ", "Pump", 3, 100, 0},  {"IN03  ", "Fixed in", 4, 200, 0},
            {"IN04  ", "Odd", 9, 200, 0},   {"IN05  ", "Spare", 1, 200, 0}};
}

TTemplateEntry Entry(const char *tag)
{
    TTemplateEntry e;
    e.Tag = tag;
    return e;
}

TEST(CliTemplate, ExportedFile_ReadsBackAsNoChange_AndNamesItsFields)
{
    const QByteArray file = WriteTemplate("VELLO", Records(), kTypes, kUoms);
    EXPECT_TRUE(file.contains("\"tag\": \"IN01\"")) << file.toStdString();
    EXPECT_TRUE(file.contains("\"inputType\": \"4-20 mA\""));
    EXPECT_TRUE(file.contains("\"logging\": \"Log & Display\""));
    // An input type the unit does not list is written by its id.
    EXPECT_TRUE(file.contains("\"inputType\": 9"));

    std::vector<TTemplateEntry> entries;
    QString error;
    ASSERT_TRUE(ParseTemplate(file, entries, error)) << error.toStdString();
    ASSERT_EQ(entries.size(), 6u);
    EXPECT_EQ(entries[0].Tag, "IN01");
    EXPECT_EQ(*entries[0].Logging, 2);
    const TTemplatePlan plan = PlanTemplate(Records(), kTypes, kUoms, entries);
    EXPECT_TRUE(plan.Changes.empty());
    EXPECT_TRUE(plan.Refusals.isEmpty()) << plan.Refusals.join('\n').toStdString();
}

TEST(CliTemplate, ANameLongerThanANewOneMayBe_GoesBackUncut)
{
    // The unit may hold a name longer than the 64 characters a new one may
    // have; exporting and applying the file unchanged must not refuse it.
    std::vector<editio::TRecord> records = Records();
    const QString longName = QString(70, 'n');
    records[0].Name = longName;
    const QByteArray file = WriteTemplate("OSTRA", records, kTypes, kUoms);
    std::vector<TTemplateEntry> entries;
    QString error;
    ASSERT_TRUE(ParseTemplate(file, entries, error)) << error.toStdString();
    TTemplatePlan plan = PlanTemplate(records, kTypes, kUoms, entries);
    EXPECT_TRUE(plan.Changes.empty());
    EXPECT_TRUE(plan.Refusals.isEmpty()) << plan.Refusals.join('\n').toStdString();

    // Another field of that record changes; the name stays whole.
    entries[0].Logging = 0;
    plan = PlanTemplate(records, kTypes, kUoms, entries);
    ASSERT_EQ(plan.Changes.size(), 1u) << plan.Refusals.join('\n').toStdString();
    EXPECT_EQ(plan.Changes[0].Target.Name, longName);
    EXPECT_EQ(plan.Changes[0].Target.Logging, 0);

    // A new name that long is still refused.
    entries[0].Name = longName + QStringLiteral("x");
    plan = PlanTemplate(records, kTypes, kUoms, entries);
    ASSERT_EQ(plan.Refusals.size(), 1);
    EXPECT_TRUE(plan.Refusals[0].contains(QLatin1String("longer than 64")));
}

TEST(CliTemplate, BadFiles_AreRefusedWithWhereAndWhy)
{
    std::vector<TTemplateEntry> entries;
    QString error;
    EXPECT_FALSE(ParseTemplate("{\"format\": \"zelvo-io-config\"", entries, error));
    EXPECT_TRUE(error.contains("not valid JSON"));
    EXPECT_FALSE(
        ParseTemplate("{\"format\": \"other\", \"version\": 1, \"io\": []}", entries, error));
    EXPECT_FALSE(ParseTemplate("{\"format\": \"zelvo-io-config\", \"version\": 2, \"io\": []}",
                               entries, error));
    EXPECT_TRUE(error.contains("version 2"));
    EXPECT_FALSE(ParseTemplate("{\"format\": \"zelvo-io-config\", \"version\": 1, \"io\": "
                               "[{\"tag\": \"IN01\", \"logging\": 7}]}",
                               entries, error));
    EXPECT_TRUE(error.contains("entry 1 (IN01)")) << error.toStdString();
    EXPECT_FALSE(ParseTemplate("{\"format\": \"zelvo-io-config\", \"version\": 1, \"io\": "
                               "[{\"name\": \"x\"}]}",
                               entries, error));
    EXPECT_TRUE(error.contains("no tag"));
}

TEST(CliTemplate, TypeChange_TakesTheCategorysUoms_AsTheDialogDoes)
{
    // Several UOMs: the first of the category unless one is named.
    TTemplateEntry e = Entry("in02");
    e.InputType = "4-20 mA";
    TTemplatePlan plan = PlanTemplate(Records(), kTypes, kUoms, {e});
    ASSERT_EQ(plan.Changes.size(), 1u);
    EXPECT_EQ(plan.Changes[0].Target.InputTypeId, 1);
    EXPECT_EQ(plan.Changes[0].Target.UomId, 200);
    EXPECT_TRUE(plan.Changes[0].Differences.join('|').contains("\"0-10 V\" -> \"4-20 mA\""));

    e.Uom = "level, %"; // by name, within the type's category, any case
    plan = PlanTemplate(Records(), kTypes, kUoms, {e});
    ASSERT_EQ(plan.Changes.size(), 1u);
    EXPECT_EQ(plan.Changes[0].Target.UomId, 201);

    // A single-UOM category gives UOM id 5.
    TTemplateEntry d = Entry("[IN01]");
    d.InputType = "3";
    plan = PlanTemplate(Records(), kTypes, kUoms, {d});
    ASSERT_EQ(plan.Changes.size(), 1u) << plan.Refusals.join('\n').toStdString();
    EXPECT_EQ(plan.Changes[0].Target.UomId, 5);
    EXPECT_EQ(plan.Changes[0].Target.Logging, 2);
}

TEST(CliTemplate, WhatTheUnitDoesNotOffer_RefusesTheWholeTemplate)
{
    struct Row {
        TTemplateEntry entry;
        const char *why;
    };
    std::vector<Row> rows;
    auto add = [&rows](TTemplateEntry e, const char *why) { rows.push_back({e, why}); };
    TTemplateEntry e = Entry("IN01");
    e.InputType = "Thermocouple";
    add(e, "offers no input type");
    e = Entry("IN01");
    e.Uom = "Closed / Open";
    add(e, "is not offered for the input type");
    e = Entry("IN01");
    e.Name = QString(65, 'x');
    add(e, "longer than 64");
    e = Entry("DO01");
    e.InputType = "4-20 mA";
    add(e, "only inputs");
    e = Entry("IN03");
    e.InputType = "4-20 mA";
    add(e, "cannot be changed");
    e = Entry("IN02");
    e.InputType = "Fixed";
    add(e, "cannot be selected");
    e = Entry("IN04");
    e.Name = "Renamed";
    add(e, "cannot be edited");
    e = Entry("XX01");
    add(e, "no I/O with this tag");
    e = Entry("IN02");
    e.Logging = 1;
    add(e, "does not survive an upload");

    for (const Row &row : rows) {
        TTemplateEntry good = Entry("IN05");
        good.Name = "Fine";
        const TTemplatePlan plan = PlanTemplate(Records(), kTypes, kUoms, {good, row.entry});
        ASSERT_EQ(plan.Refusals.size(), 1) << row.why;
        EXPECT_TRUE(plan.Refusals[0].contains(QLatin1String(row.why)))
            << plan.Refusals[0].toStdString();
        // Each refusal names the entry by the tag it was given.
        EXPECT_TRUE(plan.Refusals[0].startsWith(row.entry.Tag + QStringLiteral(": ")))
            << plan.Refusals[0].toStdString();
    }

    TTemplateEntry twice = Entry("IN02");
    const TTemplatePlan plan = PlanTemplate(Records(), kTypes, kUoms, {twice, twice});
    EXPECT_EQ(plan.Refusals.size(), 1);
}

TEST(CliTemplate, LoggingModes_ByTextOrNumber_AndBackToText)
{
    const char *const texts[] = {"No Log", "Display Only", "Log & Display", "Log Only"};
    for (int mode = 0; mode < 4; ++mode) {
        EXPECT_EQ(LoggingText(mode), texts[mode]);
        EXPECT_EQ(ParseLoggingMode(texts[mode]), mode);
        EXPECT_EQ(ParseLoggingMode(QString(texts[mode]).toUpper()), mode);
        EXPECT_EQ(ParseLoggingMode(QString::number(mode)), mode);
    }
    EXPECT_EQ(LoggingText(7), "7");
    EXPECT_EQ(ParseLoggingMode(" log & display "), 2);
    for (const char *bad : {"4", "-1", "Log", ""})
        EXPECT_FALSE(ParseLoggingMode(bad)) << bad;
}

TEST(CliTemplate, IOConfigCommandLine_ChoosesOneActionAndNeedsALogonToChange)
{
    const auto parse = [](const char *line) {
        return ParseCommandLine(QString::fromLatin1(line).split(' ', Qt::SkipEmptyParts));
    };
    auto r = parse("io-config --apply t.json --dry-run");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.IOAction, TCliIOAction::Apply);
    EXPECT_TRUE(r.Options.DryRun);

    r = parse("io-config set IN01 --type 2 --logging 2 --email a@b.c");
    ASSERT_TRUE(r.Ok) << r.Error.toStdString();
    EXPECT_EQ(r.Options.IOAction, TCliIOAction::Set);
    EXPECT_EQ(r.Options.Tag, "IN01");
    EXPECT_EQ(*r.Options.SetLogging, 2);

    EXPECT_FALSE(parse("io-config --apply t.json").Ok); // no --email
    EXPECT_FALSE(parse("io-config --export a --apply b").Ok);
    EXPECT_FALSE(parse("io-config set IN01 --dry-run").Ok); // nothing to set
    EXPECT_FALSE(parse("io-config set IN01 --logging 4 --dry-run").Ok);
    EXPECT_FALSE(parse("io-config --name x").Ok);
    EXPECT_FALSE(parse("io-config --export").Ok);
}

} // namespace
