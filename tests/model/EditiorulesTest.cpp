// The Edit I/O rules on the model's own lists, without a dialog or a unit.

#include "model/Editiorules.h"
#include "Recordinglistview.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Serversideio.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "tests/support/Wirerecord.h"

#include <gtest/gtest.h>

namespace
{

using zelvo::test::TWireRecord;

template <typename T> QStringList Names(const editio::TChoices<T> &choices)
{
    QStringList names;
    for (const T *entry : choices.Entries)
        names << entry->Name;
    return names;
}

TEST(EditIORules, TypeChange_OnlyTagsWithCapitalIN)
{
    for (const char *tag : {"IN01", "AIN01", "DIN3", "[IN05]"})
        EXPECT_TRUE(editio::MayChangeInputType(tag)) << tag;
    for (const char *tag : {"DOUT1", "Din1", "in01", "AI01", "EXT001", ""})
        EXPECT_FALSE(editio::MayChangeInputType(tag)) << tag;
}

TEST(EditIORules, InputTypeChoices_OfferOnlyWhatTheCurrentTypeAllows)
{
    const QByteArray block = TWireRecord()
                                 .U8(5)
                                 .AvailableType(1, 1, 1, 0, "Voltage")
                                 .AvailableType(0, 2, 1, 0, "Fixed sensor")
                                 .AvailableType(1, 3, 1, 0, "Current")
                                 .AvailableType(0, 4, 1, 0, "Legacy")
                                 .AvailableType(1, 4, 1, 0, "Modern")
                                 .Q();
    TAvailableInputTypes types;
    ASSERT_TRUE(types.PopulateAvailableInputTypes(block));

    struct Row {
        uint8_t current;
        QStringList names;
        int selected;
    };
    const Row rows[] = {
        {3, {"Voltage", "Current", "Modern"}, 1}, // selectable: every selectable one
        {2, {"Fixed sensor"}, 0},                 // not selectable: only itself
        {99, {}, -1},                             // unknown: nothing
        {4, {"Voltage", "Current", "Modern"}, 2}, // the selectable record of that id
    };
    for (const Row &row : rows) {
        const auto choices = editio::InputTypeChoices(types, row.current);
        EXPECT_EQ(Names(choices), row.names) << "current " << int(row.current);
        EXPECT_EQ(choices.Current, row.selected) << "current " << int(row.current);
    }
    const auto choices = editio::InputTypeChoices(types, 3);
    EXPECT_EQ(choices.Entries[static_cast<std::size_t>(choices.Current)]->InputTypeID, 3);
}

// Categories: 1 offers several UOMs, 2 one, 3 none; 12 appears twice.
class EditIOUoms : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(types.PopulateAvailableInputTypes(TWireRecord()
                                                          .U8(4)
                                                          .AvailableType(1, 1, 1, 0, "4-20 mA")
                                                          .AvailableType(1, 2, 2, 0, "Digital")
                                                          .AvailableType(1, 3, 3, 0, "Counter")
                                                          .AvailableType(0, 3, 1, 0, "Shadow")
                                                          .Q()));
        ASSERT_TRUE(uoms.PopulateUOMDescriptions(TWireRecord()
                                                     .U16(5)
                                                     .UOMDescription(10, 1, "bar")
                                                     .UOMDescription(11, 2, "degC")
                                                     .UOMDescription(12, 1, "psi")
                                                     .UOMDescription(12, 1, "psi (again)")
                                                     .UOMDescription(13, 1, "kPa")
                                                     .Q()));
    }
    TAvailableInputTypes types;
    TUOMDescriptions uoms;
};

TEST_F(EditIOUoms, Choices_CategoryAndCurrentIdDecideEntriesAndSelection)
{
    struct Row {
        int32_t category;
        int32_t current;
        QStringList names;
        int selected;
    };
    const Row rows[] = {
        {1, 10, {"bar", "psi", "psi (again)", "kPa"}, 0},
        {1, 12, {"bar", "psi", "psi (again)", "kPa"}, 2},  // the last match wins
        {1, 11, {"bar", "psi", "psi (again)", "kPa"}, -1}, // not in the category
        {2, 11, {"degC"}, 0},
        {7, 10, {}, -1},
    };
    for (const Row &row : rows) {
        const auto choices = editio::UomChoices(uoms, row.category, row.current);
        EXPECT_EQ(Names(choices), row.names) << row.category << "/" << row.current;
        EXPECT_EQ(choices.Current, row.selected) << row.category << "/" << row.current;
    }
}

TEST_F(EditIOUoms, ChoicesForType_TheFirstRecordOfTheTypeGivesTheCategory_UnknownTypeSaysSo)
{
    editio::TChoices<TUOMDescription> choices;
    QString error;
    // Type 3 is listed twice; its first record (category 3) decides.
    ASSERT_TRUE(editio::UomChoicesForType(types, uoms, 3, 10, choices, error));
    EXPECT_TRUE(choices.Entries.empty());
    ASSERT_TRUE(editio::UomChoicesForType(types, uoms, 1, 13, choices, error));
    EXPECT_EQ(choices.Entries.size(), 4u);
    EXPECT_EQ(choices.Current, 3);
    EXPECT_TRUE(error.isEmpty());

    EXPECT_FALSE(editio::UomChoicesForType(types, uoms, 77, 10, choices, error));
    EXPECT_EQ(error, "GetAvailableInputType: Could not find InputType 77");
    EXPECT_TRUE(choices.Entries.empty());
}

TEST_F(EditIOUoms, AfterTypeChange_FirstOfSeveral_ElseTheSingleUomId)
{
    // None and one choice alike give id 5, never the one entry's own id.
    for (int32_t category : {3, 2}) {
        const auto choices = editio::UomChoices(uoms, category, 0);
        EXPECT_FALSE(editio::UomIsChosen(choices)) << category;
        EXPECT_EQ(editio::UomAfterTypeChange(choices), editio::SingleUomId) << category;
    }
    EXPECT_EQ(editio::SingleUomId, 5);
    const auto several = editio::UomChoices(uoms, 1, 13);
    EXPECT_TRUE(editio::UomIsChosen(several));
    EXPECT_EQ(editio::UomAfterTypeChange(several), 10);
}

TEST(EditIORules, NameFromField_AnUneditedLongNameStaysWhole_AnEditedOneIsCut)
{
    const QString shortName = QStringLiteral("Tank");
    const QString longName(70, 'w');
    struct Row {
        QString held, field;
        std::optional<QString> saved;
    };
    const Row rows[] = {
        {shortName, shortName, std::nullopt},
        {shortName, "Pump", QStringLiteral("Pump")},
        {shortName, "", QString()},
        // The field shows the first 64 characters of a longer name.
        {longName, longName.left(64), std::nullopt},
        {longName, longName, std::nullopt},
        {longName, longName.left(63), longName.left(63)},
        {longName, "Tank", shortName},
        // A field given more than it holds saves 64 characters.
        {shortName, QString(70, 'n'), QString(64, 'n')},
        {QString(64, 'x'), QString(64, 'x') + "y", std::nullopt},
    };
    for (const Row &row : rows)
        EXPECT_EQ(editio::NameFromField(row.held, row.field), row.saved)
            << row.held.size() << " / " << row.field.toStdString();
    EXPECT_EQ(editio::MaxNameLength, 64);
}

// Records and lists for PlanEdit: input types 1 and 2 (category 1, two
// UOMs), 3 (category 2, one UOM: 100), 4 not selectable, 5 (category 3, no
// UOM); a UOM name that is also in another category.
class EditIOPlan : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(types.PopulateAvailableInputTypes(TWireRecord()
                                                          .U8(5)
                                                          .AvailableType(1, 1, 1, 0, "4-20 mA")
                                                          .AvailableType(1, 2, 1, 0, "0-10 V")
                                                          .AvailableType(1, 3, 2, 0, "Digital")
                                                          .AvailableType(0, 4, 1, 0, "Fixed")
                                                          .AvailableType(1, 5, 3, 0, "Counter")
                                                          .Q()));
        ASSERT_TRUE(uoms.PopulateUOMDescriptions(TWireRecord()
                                                     .U16(4)
                                                     .UOMDescription(200, 1, "Pressure, bar")
                                                     .UOMDescription(201, 1, "Level, %")
                                                     .UOMDescription(100, 2, "Closed / Open")
                                                     .UOMDescription(300, 3, "Level, %")
                                                     .Q()));
    }
    editio::TPlan Plan(const editio::TRecord &now, const editio::TRequest &request) const
    {
        return editio::PlanEdit(now, request, types, uoms);
    }
    TAvailableInputTypes types;
    TUOMDescriptions uoms;
    const editio::TRecord inlet{"IN01", "Inlet", 1, 200, LOG_LOG_AND_DISPLAY};
};

TEST_F(EditIOPlan, TypeChange_TakesTheCategorysUoms)
{
    struct Row {
        int fromType, fromUom;
        const char *type;
        std::optional<QString> uom;
        int toType, toUom;
    };
    const Row rows[] = {
        {1, 200, "0-10 V", std::nullopt, 2, 200},          // several: the first
        {1, 201, "2", std::nullopt, 2, 200},               // by id; the first again
        {1, 200, " 0-10 v ", QString("level, %"), 2, 201}, // named, any case, in its category
        {1, 200, "2", QString("201"), 2, 201},
        {1, 200, "Digital", std::nullopt, 3, 5},       // one UOM: id 5
        {1, 200, "3", QString("5"), 3, 5},             // naming id 5 is fine
        {1, 200, "3", QString("Closed / Open"), 3, 5}, // so is naming the one UOM
        {1, 200, "Counter", std::nullopt, 5, 5},       // none: id 5
        {3, 5, "4-20 mA", std::nullopt, 1, 200},
    };
    for (const Row &row : rows) {
        editio::TRecord now = inlet;
        now.InputTypeId = row.fromType;
        now.UomId = row.fromUom;
        editio::TRequest request;
        request.InputType = row.type;
        request.Uom = row.uom;
        const editio::TPlan plan = Plan(now, request);
        ASSERT_TRUE(plan.Ok()) << row.type << ": " << plan.Refusals[0].Text.toStdString();
        EXPECT_EQ(plan.Target.InputTypeId, row.toType) << row.type;
        EXPECT_EQ(plan.Target.UomId, row.toUom) << row.type;
        EXPECT_EQ(plan.Target.Name, now.Name);
        EXPECT_EQ(plan.Target.Logging, now.Logging);
    }
}

TEST_F(EditIOPlan, WhatTheDialogWouldNotDo_IsRefusedWithItsRuleAndText)
{
    struct Row {
        editio::TRecord now;
        editio::TRequest request;
        editio::TRule rule;
        const char *text;
    };
    const auto request = [](std::optional<QString> name, std::optional<QString> type,
                            std::optional<QString> uom, std::optional<int> logging) {
        editio::TRequest r;
        r.Name = name;
        r.InputType = type;
        r.Uom = uom;
        r.Logging = logging;
        return r;
    };
    const editio::TRecord pump{"DO01", "Pump", 3, 100, 0};
    const editio::TRecord fixed{"IN03", "Fixed in", 4, 200, 0};
    const editio::TRecord odd{"IN04", "Odd", 9, 200, 0};
    const editio::TRecord digital{"IN06", "Door", 3, 100, 0};
    using R = editio::TRule;
    const Row rows[] = {
        {inlet, request(QString(65, 'x'), {}, {}, {}), R::NameTooLong,
         "the name is longer than 64 characters"},
        {inlet, request(QString::fromUtf8("Tank \u20ac"), {}, {}, {}), R::NameNotStorable,
         "the name holds characters the unit cannot store"},
        {inlet, request({}, "Thermocouple", {}, {}), R::NoSuchInputType,
         "the unit offers no input type \"Thermocouple\""},
        {pump, request({}, "4-20 mA", {}, {}), R::NotAnInput,
         "only inputs can change their input type"},
        {odd, request({}, "4-20 mA", {}, {}), R::InputTypeUnknown,
         "its input type 9 is not among the unit's input types"},
        {fixed, request({}, "4-20 mA", {}, {}), R::InputTypeFixed,
         "its input type \"Fixed\" cannot be changed"},
        {inlet, request({}, "Fixed", {}, {}), R::TypeNotSelectable,
         "the input type \"Fixed\" cannot be selected"},
        {inlet, request({}, "Digital", "Level, %", {}), R::SingleUom,
         "the input type \"Digital\" has a single UOM; the UOM is set to id 5, not \"Level, %\""},
        {inlet, request({}, "0-10 V", "Closed / Open", {}), R::UomNotOffered,
         "the UOM \"Closed / Open\" is not offered for the input type \"0-10 V\""},
        {inlet, request({}, {}, "300", {}), R::UomNotOffered,
         "the UOM \"300\" is not offered for the input type \"4-20 mA\""},
        {digital, request({}, {}, "201", {}), R::UomNotOffered,
         "the UOM \"201\" is not offered for the input type \"Digital\""},
        {odd, request({}, {}, "201", {}), R::InputTypeUnknown,
         "its input type 9 is not among the unit's input types"},
        {odd, request("Renamed", {}, {}, {}), R::RecordNotEditable,
         "its input type 9 is not among the unit's input types; the record cannot be edited"},
        {inlet, request({}, {}, {}, LOG_DISPLAY_ONLY), R::LoggingNotUploaded,
         "logging \"Display Only\" does not survive an upload (the unit reads it back as \"No "
         "Log\"); choose No Log or Log & Display"},
        {pump, request("Pump 2", {}, {}, LOG_LOG_ONLY), R::LoggingNotUploaded,
         "logging \"Log Only\" does not survive an upload (the unit reads it back as \"No "
         "Log\"); choose No Log or Log & Display"},
    };
    for (const Row &row : rows) {
        const editio::TPlan plan = Plan(row.now, row.request);
        ASSERT_EQ(plan.Refusals.size(), 1u) << row.text;
        EXPECT_EQ(plan.Refusals[0].Rule, row.rule) << row.text;
        EXPECT_EQ(plan.Refusals[0].Text, row.text);
    }

    // A name and a type refused at once are both told.
    const editio::TPlan both = Plan(pump, request(QString(65, 'x'), "4-20 mA", {}, {}));
    ASSERT_EQ(both.Refusals.size(), 2u);
    EXPECT_EQ(both.Refusals[0].Rule, R::NameTooLong);
    EXPECT_EQ(both.Refusals[1].Rule, R::NotAnInput);

    // A single UOM cannot be chosen for a record that keeps its type.
    editio::TRecord door = digital;
    door.UomId = 7;
    const editio::TPlan fixedUom = Plan(door, request({}, {}, "Closed / Open", {}));
    ASSERT_EQ(fixedUom.Refusals.size(), 1u);
    EXPECT_EQ(fixedUom.Refusals[0].Rule, R::UomFixed);
    EXPECT_EQ(fixedUom.Refusals[0].Text, "the UOM of the input type \"Digital\" cannot be changed");
}

TEST_F(EditIOPlan, WhatTheRecordHoldsAlready_IsNoChange)
{
    editio::TRecord held = inlet;
    held.Name = QString(70, 'n'); // longer than a new name may be
    held.Logging = LOG_DISPLAY_ONLY;
    editio::TRequest same;
    same.Name = held.Name;
    same.InputType = "4-20 MA";
    same.Uom = "Pressure, bar";
    same.Logging = LOG_DISPLAY_ONLY;
    editio::TPlan plan = Plan(held, same);
    EXPECT_TRUE(plan.Ok()) << plan.Refusals[0].Text.toStdString();
    EXPECT_FALSE(editio::Changes(held, plan.Target));

    // The record's own type and UOM by id, even when the unit lists neither.
    const editio::TRecord odd{"IN04", "Odd", 9, 999, 0};
    editio::TRequest ids;
    ids.InputType = "9";
    ids.Uom = "999";
    plan = Plan(odd, ids);
    EXPECT_TRUE(plan.Ok());
    EXPECT_FALSE(editio::Changes(odd, plan.Target));

    // Another field changes; the long name goes with it uncut.
    editio::TRequest logging;
    logging.Name = held.Name;
    logging.Logging = LOG_NONE;
    plan = Plan(held, logging);
    ASSERT_TRUE(plan.Ok());
    EXPECT_TRUE(editio::Changes(held, plan.Target));
    EXPECT_EQ(plan.Target.Name, held.Name);
    EXPECT_EQ(plan.Target.Logging, LOG_NONE);
}

TEST(EditIORules, ApplyEdit_WritesEveryFieldAndMarksTheRecord)
{
    const QByteArray raw =
        TWireRecord().I32(42).Fixed("IN01  ", 6).U8(1).I32(200).U8(0).U8(5).Text("Inlet").Q();
    TServerSideIO io;
    ASSERT_EQ(io.Populate(reinterpret_cast<const uint8_t *>(raw.constData()),
                          static_cast<std::size_t>(raw.size())),
              static_cast<std::size_t>(raw.size()));
    zelvo::test::TRecordingListView view;
    io.AttachListItem(view.AddRow(&io), false);
    const editio::TRecord before = editio::RecordOf(io);
    EXPECT_EQ(before.Tag, "IN01  ");
    EXPECT_EQ(before.Name, "Inlet");
    EXPECT_EQ(before.UomId, 200);
    ASSERT_FALSE(io.Changed());

    editio::ApplyEdit(io, {before.Tag, "Tank", 3, 5, LOG_LOG_AND_DISPLAY});
    EXPECT_EQ(io.FriendlyName(), "Tank");
    EXPECT_EQ(io.InputTypeID(), 3);
    EXPECT_EQ(io.UOMID(), 5);
    EXPECT_EQ(io.LoggingMode(), LOG_LOG_AND_DISPLAY);
    EXPECT_TRUE(io.Changed());
    // The configuration list shows the new name and mode at once.
    const QStringList row = view.At(0)->Texts;
    EXPECT_TRUE(row.contains("Tank")) << row.join('|').toStdString();
    EXPECT_TRUE(row.contains("Log & Display")) << row.join('|').toStdString();
}

} // namespace
