#include "model/Serversideio.h"

#include "Recordinglistview.h"
#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

namespace
{

using zelvo::test::TRecordingListView;
using zelvo::test::TWireRecord;

TWireRecord ConfigRecord(int32_t id, const std::string &tag, int type, int32_t uom, int flags,
                         const std::string &name)
{
    return TWireRecord().IOConfig(id, tag, type, static_cast<uint32_t>(uom), flags, name);
}

class TServerSideIOTest : public zelvo::test::TWithErrorLog
{
};

TEST_F(TServerSideIOTest, Populate_ExternalRecord_ReadsEveryField)
{
    TWireRecord b = ConfigRecord(7, "EXT012", 3, 12, 0x05, "Tank");
    b.U8(0x99); // start of the next record
    TServerSideIO io(&Errors);
    EXPECT_EQ(io.Populate(b.Bytes().data(), b.Bytes().size()), 21u);
    EXPECT_EQ(io.IOID(), 7);
    EXPECT_EQ(io.Tag(), "EXT012");
    EXPECT_EQ(io.InputTypeID(), 3);
    EXPECT_EQ(io.UOMID(), 12);
    EXPECT_EQ(io.LoggingMode(), LOG_LOG_AND_DISPLAY);
    EXPECT_EQ(io.FriendlyName(), "Tank");
    EXPECT_TRUE(io.IsExternal());
    EXPECT_EQ(io.ExternalNumber(), 12);
    EXPECT_FALSE(io.Changed());
    EXPECT_EQ(io.SlaveName(), "<Unknown>");
}

TEST_F(TServerSideIOTest, Populate_EveryCut_ConsumesNothingAndKeepsRecord)
{
    const TWireRecord b = ConfigRecord(7, "EXT012", 3, 12, 0x05, "Tank");
    for (std::size_t cut = 0; cut < b.Bytes().size(); ++cut) {
        std::vector<uint8_t> bytes(b.Bytes().begin(), b.Bytes().begin() + static_cast<long>(cut));
        TServerSideIO io(&Errors);
        EXPECT_EQ(io.Populate(bytes.data(), bytes.size()), 0u) << cut;
        EXPECT_EQ(io.IOID(), 0) << cut;
        EXPECT_FALSE(io.IsExternal()) << cut;
    }
}

// Tags: external or not, and the number taken from characters 4 to 6.
struct TTagRow {
    const char *Tag;
    bool External;
    int32_t Number;
    bool Logged;
};

TEST_F(TServerSideIOTest, Populate_Tags_ExternalOnlyWithNumber)
{
    const TTagRow rows[] = {
        {"EXT012", true, 12, false}, {"EXT001", true, 1, false}, {"IN01  ", false, 0, false},
        {"EXTABC", false, 0, true},  {"EXT", false, 0, true},    {"EXT 7 ", false, 0, true},
        {"EXT  7", true, 7, false},  {"AEXT12", false, 0, true}, {"DO01EX", false, 0, false},
    };
    for (const TTagRow &row : rows) {
        SCOPED_TRACE(row.Tag);
        Errors.FlushLog();
        const TWireRecord b = ConfigRecord(1, row.Tag, 0, 0, 0, "n");
        TServerSideIO io(&Errors);
        ASSERT_EQ(io.Populate(b.Bytes().data(), b.Bytes().size()), 18u);
        EXPECT_EQ(io.IsExternal(), row.External);
        EXPECT_EQ(io.ExternalNumber(), row.Number);
        EXPECT_EQ(Log().contains("TServerSideIO::Populate Exception - "), row.Logged);
    }
}

TEST_F(TServerSideIOTest, LoggingFlags_DecodedAndEncodedAsTheServerUsesThem)
{
    const std::pair<uint8_t, int32_t> received[] = {{0x05, LOG_LOG_AND_DISPLAY},
                                                    {0x07, LOG_LOG_AND_DISPLAY},
                                                    {0x06, LOG_DISPLAY_ONLY},
                                                    {0x04, LOG_NONE},
                                                    {0x01, LOG_NONE},
                                                    {0x03, LOG_NONE},
                                                    {0x00, LOG_NONE}};
    for (const auto &[flags, mode] : received)
        EXPECT_EQ(TServerSideIO::DecodeLoggingFlags(flags), mode) << int(flags);

    const std::pair<int32_t, uint8_t> sent[] = {{LOG_NONE, 0x00},
                                                {LOG_DISPLAY_ONLY, 0x04},
                                                {LOG_LOG_AND_DISPLAY, 0x05},
                                                {LOG_LOG_ONLY, 0x01}};
    for (const auto &[mode, flags] : sent)
        EXPECT_EQ(TServerSideIO::EncodeLoggingFlags(mode), flags) << mode;
}

TEST_F(TServerSideIOTest, BuildUploadRecord_Tank_Writes15Bytes)
{
    TServerSideIO io;
    const TWireRecord b = ConfigRecord(7, "IN01  ", 3, 12, 0x00, "Tank");
    ASSERT_GT(io.Populate(b.Bytes().data(), b.Bytes().size()), 0u);
    io.SetLoggingMode(LOG_LOG_AND_DISPLAY);
    std::size_t length = 99;
    uint8_t dst[32] = {};
    EXPECT_FALSE(io.BuildUploadRecord(dst, sizeof dst, length));
    EXPECT_EQ(length, 0u);

    io.SetChanged(true);
    ASSERT_TRUE(io.BuildUploadRecord(dst, sizeof dst, length));
    const std::vector<uint8_t> expected = {0x07, 0,    0,    0,   0x03, 0x0C, 0,  0,
                                           0,    0x05, 0x04, 'T', 'a',  'n',  'k'};
    EXPECT_EQ(std::vector<uint8_t>(dst, dst + length), expected);
    EXPECT_EQ(dst[15], 0); // nothing past the record

    // One byte short of the record: refused, nothing written.
    uint8_t small[14];
    std::fill(std::begin(small), std::end(small), 0xAA);
    EXPECT_FALSE(io.BuildUploadRecord(small, sizeof small, length));
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(small[0], 0xAA);
}

TEST_F(TServerSideIOTest, BuildUploadRecord_NameOver255_CutTo255NotWrapped)
{
    TServerSideIO io;
    io.SetFriendlyName(QString(300, QChar('x')));
    io.SetChanged(true);
    std::vector<uint8_t> dst(400);
    std::size_t length = 0;
    ASSERT_TRUE(io.BuildUploadRecord(dst.data(), dst.size(), length));
    EXPECT_EQ(length, 11u + 255u);
    EXPECT_EQ(dst[10], 255);
    EXPECT_EQ(dst[11 + 254], 'x');
}

TEST_F(TServerSideIOTest, SetErrorBit_Sequence_ShowsCombinedState)
{
    TRecordingListView view;
    TServerSideIO io;
    io.AttachListItem(view.AddRow(&io), true);
    const auto text = [&] { return TRecordingListView::TextOf(io.ExternalItem(), 4); };

    io.SetErrorBit(true, true);
    io.SetErrorBit(true, true);
    EXPECT_EQ(io.ErrorState(), 1);
    EXPECT_EQ(text(), "Read Error");
    io.SetErrorBit(false, true);
    EXPECT_EQ(text(), "Read/Write Error");
    io.SetErrorBit(false, true);
    EXPECT_EQ(io.ErrorState(), 3);
    io.SetErrorBit(true, false);
    EXPECT_EQ(text(), "Write Error");
    io.SetErrorBit(true, false);
    EXPECT_EQ(io.ErrorState(), 2);
    io.SetErrorBit(false, false);
    EXPECT_EQ(text(), "No Error");
    io.SetErrorBit(false, false);
    EXPECT_EQ(io.ErrorState(), 0);
}

TEST_F(TServerSideIOTest, Setters_RewriteBothRows)
{
    TRecordingListView config, external;
    TServerSideIO io;
    const TWireRecord b = ConfigRecord(4, "EXT003", 1, 2, 0x06, "Pump");
    ASSERT_GT(io.Populate(b.Bytes().data(), b.Bytes().size()), 0u);
    io.AttachListItem(config.AddRow(&io), false);
    io.AttachListItem(external.AddRow(&io), true);
    ASSERT_EQ(io.ConfigItem(), config.Row(0));
    ASSERT_EQ(io.ExternalItem(), external.Row(0));
    const TRecordingListView::TRow *c = config.At(0);
    const TRecordingListView::TRow *e = external.At(0);
    EXPECT_EQ(c->Text(0), "Pump");
    EXPECT_EQ(c->Text(1), "[EXT003]");
    EXPECT_EQ(c->Text(2), "Display Only");
    EXPECT_EQ(e->Text(3), "<No data>");
    EXPECT_EQ(e->Text(4), "<Unknown>");
    EXPECT_EQ(e->Text(5), "<Unknown>");
    EXPECT_EQ(e->Text(6), "0");

    io.SetLoggingMode(LOG_LOG_ONLY);
    EXPECT_EQ(c->Text(2), "Log Only");
    EXPECT_EQ(e->Text(2), "Log Only");
    io.SetLoggingMode(9); // stored, rows left alone
    EXPECT_EQ(io.LoggingMode(), 9);
    EXPECT_EQ(c->Text(2), "Log Only");

    io.SetFriendlyName("Well pump");
    EXPECT_EQ(c->Text(0), "Well pump");
    EXPECT_EQ(e->Text(0), "Well pump");
    io.SetValue(12.5L);
    EXPECT_EQ(e->Text(3), "12.50 ");
    EXPECT_EQ(io.Value(), 12.5L);
    io.SetSlaveName("Meter");
    io.SetSlaveID(17);
    EXPECT_EQ(e->Text(5), "Meter");
    EXPECT_EQ(e->Text(6), "17");
    EXPECT_EQ(c->Text(3), ""); // the configuration view has no value column
}

} // namespace
