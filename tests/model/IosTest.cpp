#include "model/Ios.h"
#include "Recordinglistview.h"
#include "model/Fixediolists.h"
#include "protocol/Commands.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <vector>

namespace
{

using zelvo::test::TRecordingListView;

// Answers the input box like a user would, and records what it was asked.
struct InputBoxAnswer {
    std::optional<QString> answer; // nullopt: the user presses Cancel
    int asked = 0;
    QString caption, prompt, initial;
    QStringList invalid;

    TIO::TInputQuery Query()
    {
        return [this](const QString &c, const QString &p, QString &t) {
            ++asked;
            caption = c;
            prompt = p;
            initial = t;
            if (!answer)
                return false;
            t = *answer;
            return true;
        };
    }
    TIO::TInvalidEntry Invalid()
    {
        return [this](const QString &m) { invalid << m; };
    }
    // Asks this box for the list's double-clicked values.
    void AnswerFor(TIOs &ios)
    {
        ios.SetInputQuery(Query());
        ios.SetInvalidEntryHandler(Invalid());
    }
};

struct Edit {
    uint8_t number;
    int32_t value;
};

// A list with one I/O of the given type, shown in a view, editable, with its
// edits recorded; `box` answers its questions.
struct OneIOList {
    TRecordingListView view;
    TIOs ios;
    std::vector<Edit> edits;

    explicit OneIOList(int32_t ioType, long double value = 0, InputBoxAnswer *box = nullptr)
    {
        auto io = std::make_unique<TIO>(7, "Output", "[X]", ioType);
        io->Value = value;
        ios.Add(std::move(io));
        ios.AttachListView(&view);
        ios.SetEditable(true);
        ios.OnValueEdited = [this](TIOs *sender, uint8_t number, int32_t v) {
            EXPECT_EQ(sender, &ios);
            edits.push_back({number, v});
        };
        if (box != nullptr)
            box->AnswerFor(ios);
    }
    TIO *io() { return ios.At(0); }
    void DoubleClickRow(int row)
    {
        view.Select(row);
        ios.ListViewDoubleClick();
    }
};

QString TagsOf(const TIOs &ios)
{
    QStringList tags;
    for (int i = 0; i < ios.Count(); ++i)
        tags << ios.At(i)->Tag;
    return tags.join(",");
}

} // namespace

// ---- Fixed per-model lists ----

TEST(FixedIOLists, BothModels_NumbersFollowTableOrderWithKnownLandmarks)
{
    struct Row {
        uint8_t unitType;
        int count;
        int buzzerNumber;
        const char *lastTag;
    };
    for (const Row &row :
         {Row{UNIT_TYPE_OSTRA, 47, 30, "[CNT04]"}, Row{UNIT_TYPE_VELLO, 41, 12, "[TMR08]"}}) {
        TIOs ios;
        ASSERT_EQ(BuildFixedIOList(ios, row.unitType), row.count);
        ASSERT_EQ(ios.Count(), row.count);
        std::set<QString> tags;
        for (int i = 0; i < ios.Count(); ++i) {
            EXPECT_EQ(ios.At(i)->Number, i) << "unit type " << int(row.unitType);
            tags.insert(ios.At(i)->Tag);
        }
        EXPECT_EQ(static_cast<int>(tags.size()), row.count) << "tags are unique";
        EXPECT_EQ(ios.FindIO(static_cast<uint8_t>(row.buzzerNumber))->Tag, "[BUZ1]");
        EXPECT_EQ(ios.At(row.count - 1)->Tag, row.lastTag);
    }
}

TEST(FixedIOLists, EachModel_HasOnlyItsOwnKindsOfIO)
{
    auto typesOf = [](uint8_t unitType) {
        std::set<int32_t> types;
        for (const auto &e : FixedIOTable(unitType))
            types.insert(e.IOType);
        return types;
    };
    EXPECT_EQ(typesOf(UNIT_TYPE_OSTRA), (std::set<int32_t>{1, 2, 4, 7, 8, 11, 12}));
    EXPECT_EQ(typesOf(UNIT_TYPE_VELLO), (std::set<int32_t>{2, 5, 7, 8, 11, 12, 14}));
    EXPECT_TRUE(FixedIOTable(0).empty());
    EXPECT_TRUE(FixedIOTable(4).empty());
}

TEST(FixedIOLists, SwitchingModel_RebuildsListAndViewFromScratch)
{
    TRecordingListView view;
    TIOs ios;
    ios.AttachListView(&view);
    BuildFixedIOList(ios, UNIT_TYPE_OSTRA);
    ios.SetValue(0, 1);
    BuildFixedIOList(ios, UNIT_TYPE_VELLO);

    EXPECT_EQ(ios.Count(), 41);
    EXPECT_FALSE(TagsOf(ios).contains("[DO01]"));
    EXPECT_EQ(view.RowCount(), 42);
    EXPECT_EQ(view.Text(0, 1), "[IN01]");
    EXPECT_EQ(view.Text(0, 3), "");

    BuildFixedIOList(ios, 9);
    EXPECT_EQ(ios.Count(), 0);
    EXPECT_EQ(view.RowCount(), 1);
}

// ---- Texts ----

TEST(TIO, ValueText_EveryTypeFormatsItsValue)
{
    struct Row {
        int32_t type;
        long double value;
        const char *units;
        bool isDigital;
        const char *expected;
    };
    const Row rows[] = {
        {0, 0.999L, "", false, "Off"},
        {0, 1, "", false, "On"},
        {1, 2, "", false, "On"},
        {2, 0, "", false, "Off"},
        {3, 12.5L, "V", false, "12.50 V"},
        {4, 1.5L, "V", false, "1.5000 V"},
        {5, 3, "", false, "3.00 "},
        {6, 150, "ignored", false, "150.000000 ms"},
        {7, 42.5L, "l", false, "42.50 l"},
        {8, 50, "Hz", false, "50.0000 Hz"},
        {9, 5, "x", false, ""},
        {10, 5, "x", false, ""},
        {11, 512, "%", false, "512 %"},
        {12, 2, "bar", true, "On"},
        {12, 0.5L, "bar", true, "Off"},
        {12, 3.14159L, "bar", false, "3.14 bar"},
        {13, 1, "x", false, ""},
        {14, 150, "", false, "1.5000 secs"},
        {14, -25, "", false, "-0.2500 secs"},
        {-1, 1, "x", false, ""},
        {99, 1, "x", false, ""},
    };
    for (const Row &row : rows) {
        TIO io(1, "n", "t", row.type);
        io.Value = row.value;
        io.UnitsText = row.units;
        io.IsDigital = row.isDigital;
        EXPECT_EQ(io.GetValueText(), row.expected) << "type " << row.type;
    }
}

TEST(TIO, ValueText_HugeOrNonNumberValues_FormatWithoutFailing)
{
    TIO analogue(1, "n", "t", 3);
    analogue.Value = 1e300L * 1e300L; // beyond double, still extended
    EXPECT_GT(analogue.GetValueText().size(), 600);
    TIO timer(1, "n", "t", 14);
    timer.Value = 1e300L;
    EXPECT_EQ(timer.GetValueText(), "inf secs");
    timer.Value = std::numeric_limits<long double>::quiet_NaN();
    EXPECT_TRUE(timer.GetValueText().endsWith(" secs"));
}

TEST(TIO, OnOffTexts_ComeFromSetUOMDisplayAtNextValueUpdate)
{
    TRecordingListView view;
    TIOs ios;
    ios.Add(std::make_unique<TIO>(3, "Pump", "[IN04]", 12));
    ios.AttachListView(&view);
    ios.SetValue(3, 1);
    EXPECT_EQ(view.Text(0, 3), "1.00 ");

    ios.SetUOMDisplay(3, true, "", "Running", "Stopped");
    ios.SetUOMDisplay(200, true, "", "x", "y"); // not in the list: nothing happens
    EXPECT_EQ(view.Text(0, 3), "1.00 ") << "rows are not rewritten at once";
    ios.SetValue(3, 0);
    EXPECT_EQ(view.Text(0, 3), "Stopped");
    ios.SetValue(200, 5);
    EXPECT_EQ(ios.At(0)->Value, 0);
}

TEST(TIO, TypeColumn_ShowsConfigurableSubTypeWhenSet)
{
    struct Row {
        int32_t ioType;
        int32_t sub;
        const char *expected;
    };
    const Row rows[] = {{12, -1, "Configurable"},
                        {12, 0, "Conf. 0-5V"},
                        {12, 1, "Conf. 0-10V"},
                        {12, 2, "Conf. 4-20mA"},
                        {12, 3, "Conf. 10K Therm."},
                        {12, 4, "Conf. Digital High"},
                        {12, 5, "Conf. Digital Low"},
                        {12, 6, "Configurable"},
                        {3, 2, "Conf. 4-20mA"},
                        {14, -1, "Timer"},
                        {6, -1, "Timer"},
                        {3, -1, "Analog Input"},
                        {4, -1, "Analog Output"},
                        {13, -1, "Alarm"},
                        {9, -1, ""}};
    for (const Row &row : rows) {
        TIO io(0, "n", "t", row.ioType);
        io.ConfigurableType = row.sub;
        TRecordingListView::TRow item(&io);
        io.AttachListItem(&item);
        EXPECT_EQ(item.Text(2), row.expected) << row.ioType << "/" << row.sub;
        io.ListItem = nullptr;
    }
}

// ---- View ----

TEST(TIOs, AttachListView_SetsColumnsAndOneRowPerIOPlusEmptyLastRow)
{
    TRecordingListView view;
    view.AddRow(nullptr)->SetText(0, "stale");
    TIOs ios;
    BuildFixedIOList(ios, UNIT_TYPE_OSTRA);
    ios.AttachListView(&view);

    ASSERT_EQ(view.Columns.size(), 4);
    const QStringList captions{"IO Name", "IO Tag", "IO Type", "Value"};
    const int widths[] = {120, 60, 110, 80};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(view.Columns[c].Caption, captions[c]);
        EXPECT_EQ(view.Columns[c].Width, widths[c]);
    }

    ASSERT_EQ(view.RowCount(), 48);
    for (int r = 0; r < 47; ++r) {
        EXPECT_EQ(TIO::FromItem(view.Row(r)), ios.At(r));
        EXPECT_EQ(ios.At(r)->ListItem, view.Row(r));
        EXPECT_EQ(view.Text(r, 0), ios.At(r)->Name);
        EXPECT_EQ(view.Text(r, 1), ios.At(r)->Tag);
        EXPECT_EQ(view.Text(r, 3), "") << "value empty until the first reading";
    }
    EXPECT_EQ(view.Text(8, 2), "Configurable");
    EXPECT_EQ(TIO::FromItem(view.Row(47)), nullptr);
    EXPECT_EQ(view.Text(47, 0), "");
}

TEST(TIOs, Clear_RemovesRowsWithRecordsAndAddAfterwardsShowsOnRefresh)
{
    TRecordingListView view;
    TIOs ios;
    BuildFixedIOList(ios, UNIT_TYPE_VELLO);
    ios.AttachListView(&view);
    ios.Clear();
    EXPECT_EQ(view.RowCount(), 0);
    EXPECT_EQ(ios.Count(), 0);
    ios.Add(std::make_unique<TIO>(1, "A", "[A]", 5));
    ios.Refresh();
    EXPECT_EQ(view.RowCount(), 2);
}

TEST(TIOs, ViewDestroyedFirst_LaterUpdatesTouchNoFreedRow)
{
    TIOs ios;
    BuildFixedIOList(ios, UNIT_TYPE_OSTRA);
    {
        TRecordingListView view;
        ios.AttachListView(&view);
        ios.SetValue(0, 1);
    }
    EXPECT_EQ(ios.ListView(), nullptr);
    EXPECT_EQ(ios.At(0)->ListItem, nullptr);
    ios.SetValue(0, 0); // would write into a freed row without the guard
    ios.Refresh();
    ios.Clear();
}

TEST(TIOs, ListDestroyedFirst_ViewKeepsNoRowPointingAtARecord)
{
    TRecordingListView view;
    {
        TIOs ios;
        BuildFixedIOList(ios, UNIT_TYPE_VELLO);
        ios.AttachListView(&view);
    }
    EXPECT_EQ(view.RowCount(), 0);
    // A double-click after the list is gone must not reach it.
    view.DoubleClicked();
}

TEST(TIOs, AttachToSecondView_FirstViewLosesItsRowsAndDoubleClicks)
{
    TRecordingListView first, second;
    TIOs ios;
    ios.Add(std::make_unique<TIO>(7, "Output", "[X]", 1));
    ios.SetEditable(true);
    int edits = 0;
    ios.OnValueEdited = [&edits](TIOs *, uint8_t, int32_t) { ++edits; };
    ios.AttachListView(&first);
    ios.AttachListView(&second);
    EXPECT_EQ(first.RowCount(), 0);
    EXPECT_EQ(second.RowCount(), 2);
    second.Select(0);
    first.DoubleClicked();
    EXPECT_EQ(edits, 0) << "the first view no longer reaches the list";
    second.DoubleClick(0);
    EXPECT_EQ(edits, 1);
}

// ---- Editing ----

TEST(TIOs, DoubleClickDigitalOutput_TogglesWithoutDialogAndSendsValue)
{
    for (int32_t type : {1, 2}) {
        InputBoxAnswer box;
        OneIOList list(type, 0, &box);
        list.DoubleClickRow(0);
        list.DoubleClickRow(0);
        EXPECT_EQ(box.asked, 0);
        ASSERT_EQ(list.edits.size(), 2u);
        EXPECT_EQ(list.edits[0].number, 7);
        EXPECT_EQ(list.edits[0].value, 1);
        EXPECT_EQ(list.edits[1].value, 0);
        EXPECT_EQ(list.view.Text(0, 3), "") << "the next reading shows it";
    }
}

TEST(TIOs, DoubleClickOnTheView_ReachesTheHandler)
{
    OneIOList list(1);
    list.view.DoubleClick(0);
    ASSERT_EQ(list.edits.size(), 1u);
    EXPECT_EQ(list.edits[0].value, 1);
}

TEST(TIOs, DoubleClick_EmptyLastRowNotEditableOrNoSelection_DoesNothing)
{
    InputBoxAnswer box;
    box.answer = "5";
    OneIOList list(5, 0, &box);
    list.DoubleClickRow(1);
    list.ios.SetEditable(false);
    list.DoubleClickRow(0);
    list.ios.SetEditable(true);
    list.view.Select(-1);
    list.ios.ListViewDoubleClick();
    EXPECT_EQ(box.asked, 0);
    EXPECT_TRUE(list.edits.empty());
}

TEST(TIOs, EditValue_CheckBoxRowUnchecked_RefusesEdit)
{
    OneIOList list(1);
    list.view.At(0)->Unchecked = true;
    EXPECT_FALSE(list.io()->EditValue({}));
    list.view.At(0)->Unchecked = false;
    EXPECT_TRUE(list.io()->EditValue({}));
}

TEST(TIOs, EditValue_InputBoxEntries_StoreTheUnitsValue)
{
    struct Row {
        int32_t type;
        const char *typed;
        long double stored;
        int32_t sent;
    };
    const Row rows[] = {
        {11, "50", 512, 512},     {11, "200", 1024, 1024},
        {11, "33", 337.92L, 337}, {11, "-10", 0, 0},
        {4, "12", 4095, 4095},    {4, "-3", 0, 0},
        {4, "5", 2048, 2048},     {4, "10", 4095, 4095},
        {4, "0.001", 0, 0},       {4, " 2.5 ", 1024, 1024},
        {4, "nan", 0, 0},         {14, "25", 2, 2},
        {14, "-25", -2, -2},      {14, "9", 0, 0},
        {5, "-7", -7, -7},        {6, "2147483647", 2147483647, 2147483647},
        {7, "+12", 12, 12},
    };
    for (const Row &row : rows) {
        InputBoxAnswer box;
        box.answer = QString::fromLatin1(row.typed);
        OneIOList list(row.type, 3, &box);
        list.DoubleClickRow(0);
        EXPECT_EQ(box.caption, "Edit Value");
        EXPECT_EQ(box.prompt, "Output");
        EXPECT_NEAR(static_cast<double>(list.io()->Value), static_cast<double>(row.stored), 1e-9)
            << "type " << row.type << " typed " << row.typed;
        ASSERT_EQ(list.edits.size(), 1u) << "type " << row.type << " typed " << row.typed;
        EXPECT_EQ(list.edits[0].value, row.sent);
    }
}

TEST(TIOs, EditValue_InitialTextShowsTheCurrentValue)
{
    struct Row {
        int32_t type;
        long double value;
        const char *initial;
    };
    for (const Row &row : {Row{5, 41.9L, "41"}, Row{11, 512, "512"}, Row{14, -7.5L, "-7"},
                           Row{4, 1.25L, "1.2500"}, Row{7, 4294967295.0L, "4294967295"}}) {
        InputBoxAnswer box; // Cancel
        OneIOList list(row.type, row.value, &box);
        list.DoubleClickRow(0);
        EXPECT_EQ(box.initial, row.initial) << "type " << row.type;
    }
}

TEST(TIOs, EditValue_CancelOrNotANumber_LeavesValueAndSendsNothing)
{
    struct Row {
        int32_t type;
        std::optional<QString> typed;
        const char *message;
    };
    const Row rows[] = {
        {5, std::nullopt, nullptr},
        {4, std::nullopt, nullptr},
        {5, QString("abc"), "'abc' is not a valid integer value"},
        {11, QString("1.5"), "'1.5' is not a valid integer value"},
        {14, QString(""), "'' is not a valid integer value"},
        {6, QString("99999999999"), "'99999999999' is not a valid integer value"},
        {4, QString("ten"), "'ten' is not a valid floating point value"},
    };
    for (const Row &row : rows) {
        InputBoxAnswer box;
        box.answer = row.typed;
        OneIOList list(row.type, 3, &box);
        list.DoubleClickRow(0);
        EXPECT_EQ(box.asked, 1);
        EXPECT_EQ(list.io()->Value, 3);
        EXPECT_TRUE(list.edits.empty());
        if (row.message)
            EXPECT_EQ(box.invalid, QStringList{row.message});
        else
            EXPECT_TRUE(box.invalid.isEmpty());
    }
}

TEST(TIOs, EditValue_ReadOnlyTypes_NeitherAskNorChange)
{
    for (int32_t type : {0, 3, 8, 9, 10, 12, 13, 15}) {
        InputBoxAnswer box;
        box.answer = "1";
        OneIOList list(type, 0, &box);
        list.DoubleClickRow(0);
        EXPECT_EQ(box.asked, 0) << "type " << type;
        EXPECT_TRUE(list.edits.empty()) << "type " << type;
    }
}

TEST(TIOs, EditValue_EachListAsksItsOwnQuestion_NoneLeavesNumbersAlone)
{
    InputBoxAnswer box;
    box.answer = "9";
    OneIOList asked(5, 3, &box);
    OneIOList bare(5, 3);
    // A list given no question cannot ask for a number: nothing changes.
    bare.DoubleClickRow(0);
    EXPECT_EQ(bare.io()->Value, 3);
    EXPECT_TRUE(bare.edits.empty());
    EXPECT_EQ(box.asked, 0) << "another list's question is not this list's";
    asked.DoubleClickRow(0);
    EXPECT_EQ(box.asked, 1);
    ASSERT_EQ(asked.edits.size(), 1u);
    EXPECT_EQ(asked.edits[0].value, 9);
    // Toggles need no question.
    OneIOList output(1, 0);
    output.DoubleClickRow(0);
    ASSERT_EQ(output.edits.size(), 1u);
    EXPECT_EQ(output.edits[0].value, 1);
}

TEST(TIOs, EditValue_RecordWithoutRow_RefusesEdit_ChangeValueDoesNot)
{
    TIO io(1, "n", "t", 1);
    EXPECT_FALSE(io.EditValue({}));
    EXPECT_EQ(io.Value, 0);
    // The same rules without a row (zelvo-cli's edit).
    EXPECT_TRUE(io.ChangeValue({}));
    EXPECT_EQ(io.Value, 1);
    TIO number(2, "n", "t", 5);
    QStringList invalid;
    EXPECT_FALSE(number.ChangeValue(
        [](const QString &, const QString &, QString &text) {
            text = "x";
            return true;
        },
        [&invalid](const QString &message) { invalid << message; }));
    EXPECT_EQ(invalid, QStringList{"'x' is not a valid integer value"});
}
