#include "model/Serversideios.h"

#include "Recordinglistview.h"
#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

#include <cmath>

namespace
{

using zelvo::test::TRecordingListView;
using zelvo::test::TWireRecord;

TWireRecord ConfigRecord(int32_t id, const std::string &tag, const std::string &name,
                         int flags = 0x05)
{
    return TWireRecord().IOConfig(id, tag, 1, static_cast<uint32_t>(100 + id), flags, name);
}

TServerSideIO *RecordOf(const TListRow *row)
{
    return static_cast<TServerSideIO *>(row->Record());
}

class TServerSideIOsTest : public zelvo::test::TWithErrorLog
{
protected:
    void SetUp() override
    {
        TWithErrorLog::SetUp();
        List.AttachConfigView(&Config);
        List.AttachExternalView(&External);
    }
    // Records 1 "Level" (IN01), 2 "Flow" (EXT002), 3 "Alarm" (DI01).
    void LoadThree()
    {
        TWireRecord b;
        b.Append(ConfigRecord(1, "IN01  ", "Level"))
            .Append(ConfigRecord(2, "EXT002", "Flow", 0x06))
            .Append(ConfigRecord(3, "DI01  ", "Alarm", 0x00));
        ASSERT_EQ(List.PopulateRecords(b.Bytes().data(), b.Bytes().size()), b.Bytes().size());
    }
    TRecordingListView Config;
    TRecordingListView External;
    TServerSideIOs List{nullptr, &Errors};
};

TEST_F(TServerSideIOsTest, AttachViews_SetsColumnsAndWidths)
{
    const std::vector<std::pair<QString, int>> config = {
        {"IO Name", 120}, {"IO Tag", 60}, {"Logging", 90}};
    ASSERT_EQ(Config.Columns.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Config.Columns[i].Caption, config[i].first);
        EXPECT_EQ(Config.Columns[i].Width, config[i].second);
    }
    const std::vector<std::pair<QString, int>> external = {
        {"IO Name", 120}, {"IO Tag", 60},      {"Logging", 90}, {"Value", 80},
        {"Error", 70},    {"Slave Name", 165}, {"ID", 30}};
    ASSERT_EQ(External.Columns.size(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(External.Columns[i].Caption, external[i].first);
        EXPECT_EQ(External.Columns[i].Width, external[i].second);
    }
    // With no records the configuration view still has its empty last row.
    EXPECT_EQ(Config.RowCount(), 1);
    EXPECT_EQ(External.RowCount(), 0);
}

TEST_F(TServerSideIOsTest, Refresh_ThreeRecordsOneExternal_RowsInBothViews)
{
    LoadThree();
    ASSERT_EQ(Config.RowCount(), 4);
    ASSERT_EQ(External.RowCount(), 1);
    EXPECT_EQ(List.ExternalCount(), 1);
    EXPECT_EQ(Config.Text(0, 0), "Level");
    EXPECT_EQ(Config.Text(1, 1), "[EXT002]");
    EXPECT_EQ(Config.Text(1, 2), "Display Only");
    EXPECT_EQ(Config.Text(2, 2), "No Log");
    EXPECT_EQ(RecordOf(Config.Row(2)), List.Item(2));
    EXPECT_EQ(RecordOf(Config.Row(3)), nullptr);
    EXPECT_EQ(Config.Text(3, 0), "");
    TRecordingListView::TRow *ext = External.At(0);
    EXPECT_EQ(ext->Text(0), "Flow");
    EXPECT_EQ(ext->Text(3), "<No data>");
    EXPECT_EQ(ext->Text(4), "<Unknown>");
    EXPECT_EQ(RecordOf(ext), List.Item(1));
}

TEST_F(TServerSideIOsTest, PopulateRecords_CutLastRecord_KeepsCompleteOnesAndLogs)
{
    TWireRecord b;
    b.Append(ConfigRecord(1, "IN01  ", "Level")).Append(ConfigRecord(2, "EXT002", "Flow"));
    const std::size_t whole = b.Bytes().size();
    b.Append(ConfigRecord(3, "EXT003", "Cut short"));
    b.Bytes().resize(b.Bytes().size() - 2);
    EXPECT_EQ(List.PopulateRecords(b.Bytes().data(), b.Bytes().size()), whole);
    EXPECT_EQ(List.Count(), 2);
    EXPECT_TRUE(Log().contains("TServerSideIOs::PopulateRecords Exception - "));
    EXPECT_EQ(Config.RowCount(), 3);
}

// The list hands its log to the records it reads, so a record's complaint
// (a tag naming no external number) goes where the list's own go; a list
// without a log reads the same and tells nobody.
TEST_F(TServerSideIOsTest, PopulateRecords_RecordsComplainOnTheListsLogOnly)
{
    TWireRecord b;
    b.Append(ConfigRecord(1, "EXTABC", "No number")).Append(ConfigRecord(2, "EXT002", "Flow"));
    TErrorManager otherLog(zelvo::test::FreshLogPath());
    TServerSideIOs other(nullptr, &otherLog);
    TServerSideIOs silent;
    for (TServerSideIOs *list : {&List, &other, &silent}) {
        ASSERT_EQ(list->PopulateRecords(b.Bytes().data(), b.Bytes().size()), b.Bytes().size());
        ASSERT_EQ(list->Count(), 2);
        EXPECT_FALSE(list->Item(0)->IsExternal());
        EXPECT_TRUE(list->Item(1)->IsExternal());
    }
    EXPECT_TRUE(Log().contains("TServerSideIO::Populate Exception - tag EXTABC"))
        << Log().toStdString();
    EXPECT_EQ(otherLog.PendingLog(), Log());

    // A cut record read by the other list is told on its log alone.
    Errors.FlushLog();
    otherLog.FlushLog();
    b.Bytes().resize(b.Bytes().size() - 1);
    other.PopulateRecords(b.Bytes().data(), b.Bytes().size());
    silent.PopulateRecords(b.Bytes().data(), b.Bytes().size());
    EXPECT_TRUE(otherLog.PendingLog().contains("TServerSideIOs::PopulateRecords Exception - "));
    EXPECT_TRUE(Log().isEmpty()) << Log().toStdString();
}

TEST_F(TServerSideIOsTest, ExternalValuesAndModbusInfo_ShownInExternalRow)
{
    LoadThree();
    List.SetModbusInfo(2, 2, 5, "Flowmeter");
    List.SetModbusInfo(99, 4, 6, "Nobody"); // no record, no effect
    TRecordingListView::TRow *ext = External.At(0);
    EXPECT_EQ(ext->Text(5), "Flowmeter");
    EXPECT_EQ(ext->Text(6), "5");

    std::vector<std::pair<uint32_t, int32_t>> calls;
    const auto convert = [&](uint32_t raw, int32_t number) {
        calls.emplace_back(raw, number);
        return static_cast<long double>(raw) / 100;
    };
    const uint8_t slot[] = {0x34, 0x12, 0xFF, 0xFF};
    // Type 2: two bytes.
    EXPECT_EQ(List.ApplyExternalValue(slot, 4, 1, convert), 4);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], std::make_pair(0x1234u, 2));
    EXPECT_EQ(ext->Text(3), "46.60 ");
    // Type 4: four bytes.
    List.SetModbusInfo(2, 4, 5, "Flowmeter");
    List.ApplyExternalValue(slot, 4, 1, convert);
    EXPECT_EQ(calls.back().first, 0xFFFF1234u);
    // No external I/O number 1: the slot is skipped.
    EXPECT_EQ(List.ApplyExternalValue(slot, 4, 0, convert), 4);
    EXPECT_EQ(calls.size(), 2u);
    // A slot cut short by the end of the stream leaves the value alone.
    EXPECT_EQ(List.ApplyExternalValue(slot, 3, 1, convert), 4);
    EXPECT_EQ(calls.size(), 2u);

    // A refresh shows the placeholders again but keeps the slave details.
    List.Refresh();
    ext = External.At(0);
    EXPECT_EQ(ext->Text(3), "<No data>");
    EXPECT_EQ(ext->Text(5), "Flowmeter");
}

TEST_F(TServerSideIOsTest, SetValue_HugeValue_ShownWholeNotCut)
{
    LoadThree();
    // 2^240 has 73 digits before the point: a cut text would show a number
    // many orders of magnitude too small.
    const long double huge = std::ldexp(1.0L, 240);
    List.Item(1)->SetValue(huge);
    const QString text = External.Text(0, 3);
    EXPECT_EQ(text.size(), 73 + 4) << text.toStdString();
    EXPECT_TRUE(text.endsWith(".00 ")) << text.toStdString();
    bool ok = false;
    EXPECT_DOUBLE_EQ(text.trimmed().toDouble(&ok), static_cast<double>(huge));
    EXPECT_TRUE(ok);
    List.Item(1)->SetValue(1e4000L);
    EXPECT_GT(External.Text(0, 3).size(), 4000);
}

TEST_F(TServerSideIOsTest, ApplyErrorBit_ByExternalNumber)
{
    LoadThree();
    List.ApplyErrorBit(true, 2, true);
    List.ApplyErrorBit(false, 2, true);
    List.ApplyErrorBit(true, 7, true); // no such I/O
    EXPECT_EQ(External.Text(0, 4), "Read/Write Error");
    EXPECT_EQ(List.Item(0)->ErrorState(), 0);
}

TEST_F(TServerSideIOsTest, BuildUpload_ChangedRecordsInOrder_OrTooLargeWithoutWriting)
{
    LoadThree();
    std::vector<uint8_t> dst(64, 0xAA);
    std::size_t length = 5;
    EXPECT_EQ(List.BuildUpload(dst.data(), dst.size(), length), TUploadResult::NoChanges);
    EXPECT_EQ(length, 0u);

    List.Item(2)->SetChanged(true); // "Alarm": 11 + 5
    List.Item(0)->SetChanged(true); // "Level": 11 + 5
    ASSERT_EQ(List.BuildUpload(dst.data(), dst.size(), length), TUploadResult::Built);
    ASSERT_EQ(length, 32u);
    EXPECT_EQ(dst[0], 1);  // IOID of the first record in list order
    EXPECT_EQ(dst[16], 3); // then the third
    EXPECT_EQ(dst[32], 0xAA);

    std::vector<uint8_t> small(31, 0xAA);
    EXPECT_EQ(List.BuildUpload(small.data(), small.size(), length), TUploadResult::TooLarge);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(small, std::vector<uint8_t>(31, 0xAA));

    List.ClearChanged();
    EXPECT_EQ(List.BuildUpload(dst.data(), dst.size(), length), TUploadResult::NoChanges);
    EXPECT_EQ(Config.RowCount(), 4);
}

TEST_F(TServerSideIOsTest, BuildUploadPart_RecordsThatFitInOrder_OnlyThoseUnmarked)
{
    LoadThree();
    for (int i = 0; i < 3; ++i)
        List.Item(i)->SetChanged(true); // 16, 15 and 16 bytes
    std::vector<uint8_t> dst(40, 0xAA);
    std::size_t length = 0;
    std::vector<int32_t> sent{99};
    // 16 + 15 fit in 40; the third does not, and stays for the next upload.
    ASSERT_EQ(List.BuildUploadPart(dst.data(), dst.size(), length, sent), TUploadResult::Partial);
    EXPECT_EQ(length, 31u);
    EXPECT_EQ(sent, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(dst[16], 2);
    EXPECT_EQ(dst[31], 0xAA);

    List.ClearChanged(sent);
    EXPECT_FALSE(List.Item(0)->Changed());
    EXPECT_FALSE(List.Item(1)->Changed());
    EXPECT_TRUE(List.Item(2)->Changed());
    ASSERT_EQ(List.BuildUploadPart(dst.data(), dst.size(), length, sent), TUploadResult::Built);
    EXPECT_EQ(sent, std::vector<int32_t>{3});
    EXPECT_EQ(length, 16u);

    // Not even one record fits: nothing is written.
    std::vector<uint8_t> tiny(10, 0xAA);
    EXPECT_EQ(List.BuildUploadPart(tiny.data(), tiny.size(), length, sent),
              TUploadResult::TooLarge);
    EXPECT_EQ(length, 0u);
    EXPECT_TRUE(sent.empty());
    EXPECT_EQ(tiny, std::vector<uint8_t>(10, 0xAA));
    List.ClearChanged(std::vector<int32_t>{3});
    EXPECT_EQ(List.BuildUploadPart(dst.data(), dst.size(), length, sent), TUploadResult::NoChanges);
}

TEST_F(TServerSideIOsTest, Clear_RemovesRowsWithRecords)
{
    LoadThree();
    List.Clear();
    EXPECT_EQ(List.Count(), 0);
    EXPECT_EQ(List.ExternalCount(), 0);
    ASSERT_EQ(Config.RowCount(), 1);
    EXPECT_EQ(RecordOf(Config.Row(0)), nullptr);
    EXPECT_EQ(External.RowCount(), 0);
}

TEST_F(TServerSideIOsTest, Destroy_LeavesNoRowPointingAtRecords)
{
    TRecordingListView config, external;
    {
        TServerSideIOs list;
        list.AttachConfigView(&config);
        list.AttachExternalView(&external);
        const TWireRecord b = ConfigRecord(2, "EXT002", "Flow");
        list.PopulateRecords(b.Bytes().data(), b.Bytes().size());
        ASSERT_EQ(external.RowCount(), 1);
    }
    EXPECT_EQ(config.RowCount(), 0);
    EXPECT_EQ(external.RowCount(), 0);
}

TEST_F(TServerSideIOsTest, ViewsDestroyedFirst_LaterUpdatesTouchNoFreedRow)
{
    TServerSideIOs list;
    {
        TRecordingListView config, external;
        list.AttachConfigView(&config);
        list.AttachExternalView(&external);
        const TWireRecord b = ConfigRecord(2, "EXT002", "Flow");
        list.PopulateRecords(b.Bytes().data(), b.Bytes().size());
        ASSERT_NE(list.Item(0)->ExternalItem(), nullptr);
    }
    TServerSideIO *record = list.Item(0);
    EXPECT_EQ(record->ConfigItem(), nullptr);
    EXPECT_EQ(record->ExternalItem(), nullptr);
    // Each of these would write into a freed row without the guard.
    const uint8_t slot[4] = {7, 0, 0, 0};
    list.ApplyExternalValue(slot, sizeof slot, 1, nullptr);
    list.ApplyErrorBit(true, 2, true);
    record->SetFriendlyName("Renamed");
    record->SetLoggingMode(LOG_LOG_ONLY);
    record->SetSlaveName("Meter");
    EXPECT_EQ(record->Value(), 7);
    EXPECT_EQ(record->ErrorState(), 1);

    // A view attached later is not affected when an earlier one goes.
    TRecordingListView config, external;
    list.AttachExternalView(&external);
    {
        TRecordingListView old;
        list.AttachConfigView(&old);
        list.AttachConfigView(&config);
        ASSERT_NE(record->ConfigItem(), nullptr);
    }
    ASSERT_NE(record->ConfigItem(), nullptr);
    record->SetFriendlyName("Shown");
    EXPECT_EQ(config.Text(0, 0), "Shown");
}

TEST_F(TServerSideIOsTest, ExternalCount_CountedWithoutViews)
{
    TServerSideIOs headless;
    TWireRecord b;
    b.Append(ConfigRecord(2, "EXT002", "A")).Append(ConfigRecord(3, "EXT003", "B"));
    headless.PopulateRecords(b.Bytes().data(), b.Bytes().size());
    EXPECT_EQ(headless.ExternalCount(), 2);
}

// The double-click goes to the edit dialog for a logged-on user, otherwise
// to the logon dialog; the empty last row opens nothing.
TEST_F(TServerSideIOsTest, DoubleClick_HandsRecordToDialogs)
{
    LoadThree();
    TZelvo *const unit = reinterpret_cast<TZelvo *>(0x1000);
    TServerSideIOs list(unit);
    bool loggedOn = false;
    std::vector<std::pair<TServerSideIO *, TZelvo *>> edits;
    int logons = 0;
    List.SetEditHooks({[&] { return loggedOn; },
                       [&](TServerSideIO *io, TZelvo *z) { edits.emplace_back(io, z); },
                       [&] { ++logons; }});

    // No selection: nothing.
    Config.DoubleClicked();
    EXPECT_EQ(logons, 0);

    Config.DoubleClick(1);
    EXPECT_EQ(logons, 1);
    EXPECT_TRUE(edits.empty());

    loggedOn = true;
    Config.DoubleClicked();
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0].first, List.Item(1));
    EXPECT_EQ(edits[0].second, nullptr); // this list was made without a unit

    Config.DoubleClick(3);
    EXPECT_EQ(edits.size(), 1u);
    EXPECT_EQ(logons, 1);

    // The unit object given at creation travels with the record.
    TRecordingListView c2, e2;
    list.AttachConfigView(&c2);
    list.AttachExternalView(&e2);
    const TWireRecord b = ConfigRecord(9, "IN09  ", "X");
    list.PopulateRecords(b.Bytes().data(), b.Bytes().size());
    list.SetEditHooks({[] { return true; },
                       [&](TServerSideIO *io, TZelvo *z) { edits.emplace_back(io, z); },
                       {}});
    c2.Select(0);
    list.ConfigViewDoubleClick();
    ASSERT_EQ(edits.size(), 2u);
    EXPECT_EQ(edits[1].second, unit);
}

} // namespace

TEST_F(TServerSideIOsTest, SecondReply_AppendsRowsBelowAndKeepsShownValues)
{
    LoadThree();
    const TListRow *firstRow = Config.Row(0);
    External.At(0)->SetText(3, "12.50 ");
    TWireRecord b;
    b.Append(ConfigRecord(4, "EXT003", "Pressure")).Append(ConfigRecord(5, "DO01  ", "Pump"));
    ASSERT_EQ(List.PopulateRecords(b.Bytes().data(), b.Bytes().size()), b.Bytes().size());

    ASSERT_EQ(Config.RowCount(), 6);
    ASSERT_EQ(External.RowCount(), 2);
    EXPECT_EQ(List.ExternalCount(), 2);
    // Rows of the first reply stay as they were; the new ones follow in order.
    EXPECT_EQ(Config.Row(0), firstRow);
    EXPECT_EQ(External.Text(0, 3), "12.50 ");
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(RecordOf(Config.Row(i)), List.Item(i)) << i;
    EXPECT_EQ(Config.Text(3, 0), "Pressure");
    EXPECT_EQ(RecordOf(External.Row(1)), List.Item(3));
    EXPECT_EQ(RecordOf(Config.Row(5)), nullptr);
    EXPECT_EQ(Config.Text(5, 0), "");
}

TEST_F(TServerSideIOsTest, ReplyAfterRowsWereRemovedByHand_RebuildsAllRows)
{
    LoadThree();
    Config.Clear();
    TWireRecord b;
    b.Append(ConfigRecord(4, "IN02  ", "Temp"));
    List.PopulateRecords(b.Bytes().data(), b.Bytes().size());
    ASSERT_EQ(Config.RowCount(), 5);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(RecordOf(Config.Row(i)), List.Item(i)) << i;
}
