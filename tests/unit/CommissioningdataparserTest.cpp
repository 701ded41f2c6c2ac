#include "unit/Commissioningdataparser.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include "common/Errormanager.h"
#include "model/Serversideios.h"
#include "model/Uommanager.h"
#include "protocol/Commands.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"
#include "unit/Zelvo.h"

using namespace zelvo::test;

namespace
{

// The parser alone, and decoding into a unit object: the I/O configuration,
// the Modbus mapping and the UOM information.
class TCommissioningDataParserTest : public TWithErrorLog
{
protected:
    void SetUp() override
    {
        TWithErrorLog::SetUp();
        Parser.SetSnapshotSink([this] { Lines.clear(); },
                               [this](const QString &line) { Lines << line; });
        Parser.SetEnableTabsHook([this] { ++TabsEnabled; });
    }

    bool Parse(int16_t type, const std::vector<uint8_t> &reply, TZelvo *unit = nullptr)
    {
        Parser.SetType(type);
        return Parser.ParseReply(reply.data(), static_cast<int>(reply.size()), unit);
    }

    QString Status() const { return Errors.StatusText(); }

    TCommissioningDataParser Parser{&Errors};
    QStringList Lines;
    int TabsEnabled = 0;
    TScriptedComms Comms{false};
    TZelvo Unit{Comms, &Errors};
};

std::vector<uint8_t> Built(TCommissioningDataParser &p)
{
    const int n = p.BuildMessage();
    return {p.Message(), p.Message() + n};
}

} // namespace

TEST_F(TCommissioningDataParserTest, BuildMessage_BasicInfoWithoutPayload_IsEightHeaderBytes)
{
    Parser.SetType(MSG_READ_BASIC_INFO);
    EXPECT_EQ(Built(Parser), (std::vector<uint8_t>{0x01, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(TCommissioningDataParserTest, BuildMessage_OutputPayload_EnvelopeAndChecksum)
{
    Parser.SetType(MSG_WRITE_OUTPUT);
    Parser.SetPayload(BuildWriteOutputPayload(16, 1)); // AO04 on: 0x21
    EXPECT_EQ(Built(Parser),
              (std::vector<uint8_t>{0x03, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x00, 0x21, 0xDF}));
}

TEST_F(TCommissioningDataParserTest, BuildMessage_PayloadIsUsedOnce)
{
    Parser.SetType(MSG_WRITE_OUTPUT);
    Parser.SetPayload(std::vector<uint8_t>{0x21});
    EXPECT_EQ(Parser.BuildMessage(), 10);
    EXPECT_EQ(Parser.PayloadLength(), 0);
    Parser.SetType(MSG_READ_SNAPSHOT);
    EXPECT_EQ(Built(Parser), (std::vector<uint8_t>{0x02, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(TCommissioningDataParserTest, BuildMessage_LongPayload_LengthFieldsLittleEndianAndSumIsZero)
{
    Parser.SetType(MSG_BUFFER_TEST);
    Parser.SetPayload(BuildBufferTestPayload());
    const auto msg = Built(Parser);
    ASSERT_EQ(msg.size(), 8u + 500u + 1u);
    // n = 501 = 0x01F5, once as u32 and once as u16.
    EXPECT_EQ(std::vector<uint8_t>(msg.begin(), msg.begin() + 8),
              (std::vector<uint8_t>{0x07, 0x00, 0xF5, 0x01, 0x00, 0x00, 0xF5, 0x01}));
    uint8_t sum = 0;
    for (std::size_t i = 8; i < msg.size(); ++i)
        sum = static_cast<uint8_t>(sum + msg[i]);
    EXPECT_EQ(sum, 0);
}

TEST_F(TCommissioningDataParserTest, SendMessage_UploadUsesHeaderOnFirstBlockOnly)
{
    const std::vector<uint8_t> payload(300, 0x11);
    struct Row {
        int16_t type;
        std::vector<std::size_t> frameSizes;
        uint8_t secondHeader;
    };
    // 309-byte message: blocks of 254 and 55 message bytes.
    const Row rows[] = {{MSG_WRITE_IO_CONFIG, {255, 55}, 0x11}, {MSG_LOGON, {255, 56}, 0x01}};
    for (const auto &row : rows) {
        TScriptedComms comms(true, TUnscriptedSend::Ack);
        Parser.SetType(row.type);
        Parser.SetPayload(payload);
        ASSERT_TRUE(Parser.SendMessage(comms));
        ASSERT_EQ(comms.Sends().size(), row.frameSizes.size()) << row.type;
        for (std::size_t i = 0; i < comms.Sends().size(); ++i) {
            EXPECT_EQ(comms.Sends()[i].Command, CMD_WRITE_MESSAGE_BLOCK);
            EXPECT_EQ(comms.Sends()[i].Payload.size(), row.frameSizes[i]) << row.type;
        }
        EXPECT_EQ(comms.Sends()[0].Payload[0], 0x00);
        EXPECT_EQ(comms.Sends()[0].Payload[1], static_cast<uint8_t>(row.type));
        EXPECT_EQ(comms.Sends()[1].Payload[0], row.secondHeader) << row.type;
    }
}

TEST_F(TCommissioningDataParserTest, SendMessage_RefusedBlock_ReturnsFalseEnvelopeStaysBuilt)
{
    TScriptedComms comms;
    comms.Fault("nack=CMD_WRITE_MESSAGE_BLOCK");
    Parser.SetType(MSG_READ_UOM_LIST);
    EXPECT_FALSE(Parser.SendMessage(comms));
    EXPECT_EQ(Parser.MessageLength(), 8);
}

TEST_F(TCommissioningDataParserTest, ParseReply_ErrorReplies_ReportTextAndFail)
{
    struct Row {
        std::vector<uint8_t> reply;
        const char *status;
    };
    const Row rows[] = {
        {{}, "NACK recieved"},
        {{0x05}, "NACK recieved"},
        {{0xFF}, "NACK recieved"},
        {{0x05, 0xFA}, "Checksum error"},
        {{0x01, 0x02, 0x03, 0x00}, "Checksum error"},
    };
    for (const auto &row : rows) {
        Errors.SetStatus(QStringLiteral("before"));
        EXPECT_FALSE(Parse(MSG_READ_BASIC_INFO, row.reply)) << row.status;
        EXPECT_EQ(Status(), QString::fromLatin1(row.status));
        EXPECT_FALSE(Parser.HasBasicInfo());
    }
}

// A refused reply is told on the log of the parser that read it, and written
// to that log's file at once; a parser without a log refuses it alike.
TEST_F(TCommissioningDataParserTest, ParseReply_ErrorReply_ToldOnTheParsersOwnLogOnly)
{
    const QString otherPath = FreshLogPath();
    {
        TErrorManager otherLog(otherPath);
        TCommissioningDataParser other(&otherLog);
        TCommissioningDataParser silent(nullptr);
        const std::vector<uint8_t> damaged{0x05, 0xFA};
        for (TCommissioningDataParser *p : {&other, &silent}) {
            p->SetType(MSG_READ_BASIC_INFO);
            EXPECT_FALSE(p->ParseReply(damaged.data(), static_cast<int>(damaged.size()), nullptr));
            EXPECT_FALSE(p->HasBasicInfo());
        }
        EXPECT_EQ(otherLog.StatusText(), QStringLiteral("Checksum error"));
        EXPECT_TRUE(Status().isEmpty()) << Status().toStdString();

        EXPECT_FALSE(Parse(MSG_READ_BASIC_INFO, {0x05}));
        EXPECT_EQ(Status(), QStringLiteral("NACK recieved"));
        EXPECT_EQ(otherLog.StatusText(), QStringLiteral("Checksum error"));
    }
    QFile file(otherPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLatin1(file.readAll()).trimmed(), QStringLiteral("Checksum error"));
}

TEST_F(TCommissioningDataParserTest, ParseReply_GoodChecksum_Passes)
{
    EXPECT_TRUE(Parse(MSG_WRITE_OUTPUT, {0x05, 0xFB}));
}

TEST_F(TCommissioningDataParserTest, ParseReply_LogonReply_ChangesNoFlag)
{
    EXPECT_TRUE(Parse(MSG_LOGON, WithChecksum({0x00, 0x01})));
    EXPECT_FALSE(Parser.HasBasicInfo() || Parser.HasUOMs() || Parser.HasIOConfiguration() ||
                 Parser.HasUOMLists() || Parser.HasInputTypes() || Parser.HasModbusData());
    EXPECT_EQ(TabsEnabled, 0);
}

TEST_F(TCommissioningDataParserTest, BasicInfo_KeepsFirst21BytesAndZerosWhatDidNotArrive)
{
    std::vector<uint8_t> full;
    for (int i = 1; i <= 25; ++i)
        full.push_back(static_cast<uint8_t>(i));
    ASSERT_TRUE(Parse(MSG_READ_BASIC_INFO, WithChecksum(full)));
    EXPECT_TRUE(Parser.HasBasicInfo());
    EXPECT_EQ(Parser.BasicInfo()[20], 21);

    ASSERT_TRUE(Parse(MSG_READ_BASIC_INFO, WithChecksum({9, 8, 7})));
    EXPECT_EQ(Parser.BasicInfo()[2], 7);
    EXPECT_EQ(Parser.BasicInfo()[3], 0); // the checksum is not basic information
    EXPECT_EQ(Parser.BasicInfo()[20], 0);
}

TEST_F(TCommissioningDataParserTest, Snapshot_TwoItems_GivesNamedLinesAndEnablesTabs)
{
    TWireRecord r;
    r.U16(2).U8(1).U16(3).U8(6).U16(12).F32(1.5f).U8(1);
    Lines << "old line";
    ASSERT_TRUE(Parse(MSG_READ_SNAPSHOT, r.Sealed()));
    EXPECT_EQ(Lines, (QStringList{"IN03: 1.50", "DO12: 1"}));
    EXPECT_EQ(TabsEnabled, 1);
}

TEST_F(TCommissioningDataParserTest, Snapshot_EveryTypeHasItsPrefixAndValueWidth)
{
    // One item of each valid type, number = type; 4-byte values hold 2.25.
    TWireRecord r;
    r.U16(19);
    for (int t = 0; t <= 18; ++t)
        r.U8(t).U16(t + 5);
    for (int t = 0; t <= 18; ++t) {
        if (TCommissioningDataParser::SnapshotValueSize(t) == 4)
            r.F32(2.25f);
        else
            r.U8(200);
    }
    ASSERT_TRUE(Parse(MSG_READ_SNAPSHOT, r.Sealed()));
    const QStringList expected = {
        "ERR05: 200",  "IN06: 2.25",  "IN07: 200",   "EXT08: 2.25", "EXT09: 200",
        "PWM10: 2.25", "DO11: 200",   "EXT12: 2.25", "EXT13: 200",  "VAR14: 2.25",
        "ALM15: 200",  "AO16: 2.25",  "BUZ17: 200",  "RI18: 200",   "RL19: 200",
        "CNT20: 2.25", "TMR21: 2.25", "RTC22: 2.25", "FRQ23: 2.25",
    };
    EXPECT_EQ(Lines, expected);
}

TEST_F(TCommissioningDataParserTest, Snapshot_InvalidType_StopsReportsAndKeepsEarlierLines)
{
    TWireRecord r;
    r.U16(3).U8(6).U16(1).U8(19).U16(2).U8(6).U16(3).Fill(3, 1);
    EXPECT_TRUE(Parse(MSG_READ_SNAPSHOT, r.Sealed()));
    EXPECT_EQ(Lines, (QStringList{"DO01: 1"}));
    EXPECT_EQ(Status(), QStringLiteral("type is not valid - 19"));
    EXPECT_EQ(TabsEnabled, 1);
}

TEST_F(TCommissioningDataParserTest, Snapshot_CutShort_DecodesOnlyCompleteItems)
{
    TWireRecord r;
    r.U16(3);
    for (int i = 1; i <= 3; ++i)
        r.U8(1).U16(i);
    r.F32(1.0f).F32(2.0f).Fill(2, 0); // and half of the third value
    ASSERT_TRUE(Parse(MSG_READ_SNAPSHOT, r.Sealed()));
    EXPECT_EQ(Lines, (QStringList{"IN01: 1.00", "IN02: 2.00"}));

    // A table that announces more items than arrived: nothing past the reply.
    ASSERT_TRUE(Parse(MSG_READ_SNAPSHOT, TWireRecord().U16(30000).U8(1).Sealed()));
    EXPECT_TRUE(Lines.isEmpty());
}

TEST_F(TCommissioningDataParserTest, JobText_EachTypeHasItsText)
{
    const std::pair<int, const char *> rows[] = {
        {0, "Command Unknown"},
        {1, "Start Reading Basic Information."},
        {2, "Start retrieving the latest snapshot."},
        {6, "Start reading the UOM information."},
        {8, "Start logging on."},
        {9, "Start reading the IO configuration."},
        {12, "Start reading modbus data."},
        {13, "Start writing IO configuration."},
        {14, "Command Unknown"},
        {-1, "Command Unknown"},
    };
    for (const auto &[type, text] : rows)
        EXPECT_EQ(TCommissioningDataParser::JobText(type), QString::fromLatin1(text)) << type;
}

TEST_F(TCommissioningDataParserTest, Modbus_MappingToMissingSlave_GetsUnknownName)
{
    TWireRecord cfg{1}; // more to follow
    cfg.IOConfig(100, "EXT001", 0, 0, 5, "Pump").IOConfig(101, "EXT002", 0, 0, 5, "Tank");
    ASSERT_TRUE(Parse(MSG_READ_IO_CONFIG, cfg.Sealed(), &Unit));
    EXPECT_TRUE(Parser.HasIOConfiguration());
    EXPECT_TRUE(Unit.MoreIOConfigToFollow());
    ASSERT_EQ(Unit.ServerSideIOs().Count(), 2);

    TWireRecord r{1, 7}; // one slave, id 7
    r.Fixed("Flow meter", 50);
    r.U8(2); // two mappings
    r.U32(100).U8(4).U8(7);
    r.U32(101).U8(2).U8(9); // no slave 9
    ASSERT_TRUE(Parse(MSG_READ_MODBUS_DATA, r.Sealed(), &Unit));
    EXPECT_TRUE(Parser.HasModbusData());
    EXPECT_EQ(TabsEnabled, 1);
    const auto *pump = Unit.ServerSideIOs().FindByIOID(100);
    const auto *tank = Unit.ServerSideIOs().FindByIOID(101);
    EXPECT_EQ(pump->SlaveName(), QStringLiteral("Flow meter"));
    EXPECT_EQ(pump->SlaveID(), 7);
    EXPECT_EQ(pump->ModbusDataType(), 4);
    EXPECT_EQ(tank->SlaveName(), QStringLiteral("<unknown>"));
    EXPECT_EQ(tank->SlaveID(), 9);
}

TEST_F(TCommissioningDataParserTest, Modbus_SlaveNameWithoutTerminatorIs50Characters)
{
    ASSERT_TRUE(Parse(MSG_READ_IO_CONFIG,
                      TWireRecord{0}.IOConfig(5, "EXT003", 0, 0, 0, "X").Sealed(), &Unit));
    TWireRecord r{1, 3};
    r.Fill(50, 'n').U8(1).U32(5).U8(0).U8(3);
    ASSERT_TRUE(Parse(MSG_READ_MODBUS_DATA, r.Sealed(), &Unit));
    EXPECT_EQ(Unit.ServerSideIOs().FindByIOID(5)->SlaveName(), QString(50, 'n'));
}

TEST_F(TCommissioningDataParserTest, IOConfig_FlagAndChecksumOnly_AddsNoRecord)
{
    ASSERT_TRUE(Parse(MSG_READ_IO_CONFIG, WithChecksum({1}), &Unit));
    EXPECT_EQ(Unit.ServerSideIOs().Count(), 0);
    EXPECT_TRUE(Unit.MoreIOConfigToFollow());
    ASSERT_TRUE(Parse(MSG_READ_IO_CONFIG, WithChecksum({0}), &Unit));
    EXPECT_FALSE(Unit.MoreIOConfigToFollow());
}

TEST_F(TCommissioningDataParserTest, UOMInformation_RecordsThenLists)
{
    TWireRecord r{2};
    r.IOUOM(0, 0).IOUOM(17, 4);
    r.U8(0); // no input types
    r.U8(0); // no digital UOMs
    r.U8(1); // one analogue UOM, extrapolated
    r.AnalogueUOM(17, "bar", 1, {{0, 0}, {10, 100}});
    ASSERT_TRUE(Parse(MSG_READ_UOM_INFO, r.Sealed(), &Unit));
    EXPECT_TRUE(Parser.HasUOMs());
    EXPECT_EQ(TabsEnabled, 1);
    ASSERT_EQ(Unit.IOUOMRecordCount(), 2);
    TIOUOMRecord rec;
    ASSERT_TRUE(Unit.IOUOMRecordAt(1, rec));
    EXPECT_EQ(rec.UOMID, 17u);
    EXPECT_EQ(rec.InputTypeID, 4);
    EXPECT_FALSE(Unit.IOUOMRecordAt(2, rec));
    // Record 1 scales through UOM 17 (input type 4 is unknown: raw passes).
    EXPECT_DOUBLE_EQ(static_cast<double>(Unit.UOMManager().ConvertValue(4, 17, 5)), 50.0);
}

TEST_F(TCommissioningDataParserTest, UOMInformation_TableCutShort_KeepsCompleteRecords)
{
    TWireRecord r{10};
    r.IOUOM(1, 0).IOUOM(2, 0).U8(3).U8(0); // and part of a third record
    ASSERT_TRUE(Parse(MSG_READ_UOM_INFO, r.Sealed(), &Unit));
    EXPECT_EQ(Unit.IOUOMRecordCount(), 2);
}
