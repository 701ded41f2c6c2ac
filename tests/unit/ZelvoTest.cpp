#include "unit/Zelvo.h"

#include <gtest/gtest.h>

#include <chrono>

#include "common/Errormanager.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "protocol/Commands.h"
#include "tests/model/Recordinglistview.h"
#include "tests/support/Scriptedcomms.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

using namespace zelvo::test;

namespace
{

using Bytes = std::vector<uint8_t>;
using TZelvoTest = TWithErrorLog;
// The unit here acknowledges every write it has no script for.
constexpr TUnscriptedSend kAcked = TUnscriptedSend::Ack;

// An OSTRA unit whose type has been read and whose UOM table holds
// `records` records without input types or UOMs.
void GiveUOMTable(TZelvo &unit, int records, uint32_t uomId = 0);

void MakeOstra(TScriptedComms &comms, TZelvo &unit, int records = 120)
{
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_OSTRA});
    ASSERT_TRUE(unit.ReadUnitType());
    GiveUOMTable(unit, records);
}

void GiveUOMTable(TZelvo &unit, int records, uint32_t uomId)
{
    TWireRecord rec;
    for (int i = 0; i < records; ++i)
        rec.IOUOM(uomId, 0);
    const Bytes rest{0, 0, 0};
    unit.ApplyUOMInformation(records, rec.Bytes().data(), rest.data(), 3);
}

// Adds external records EXT001.. with the given numbers.
void AddExternals(TZelvo &unit, std::initializer_list<int> numbers)
{
    TWireRecord cfg{0};
    int id = 1;
    for (int n : numbers) {
        char tag[7];
        std::snprintf(tag, sizeof tag, "EXT%03d", n);
        cfg.IOConfig(id++, tag, 0, 0, 0, "x");
    }
    const Bytes sealed = cfg.Sealed();
    unit.LoadIOConfiguration(sealed.data(), static_cast<int>(sealed.size()));
}

long double ValueOf(TZelvo &unit, int number)
{
    TIO *io = unit.IOs().FindIO(static_cast<uint8_t>(number));
    return io ? io->Value : -1;
}

Bytes Ramp(int n, uint8_t start = 0)
{
    Bytes v;
    for (int i = 0; i < n; ++i)
        v.push_back(static_cast<uint8_t>(start + i));
    return v;
}

} // namespace

TEST_F(TZelvoTest, Construction_LinkModeChoosesListBeforeAnyCommand)
{
    TScriptedComms usb(true), com(false);
    TZelvo onUsb(usb, &Errors), onCom(com, &Errors);
    EXPECT_EQ(onUsb.IOs().Count(), 47);
    EXPECT_EQ(onUsb.IOs().At(30)->Tag, QStringLiteral("[BUZ1]"));
    EXPECT_EQ(onCom.IOs().Count(), 41);
    EXPECT_EQ(onCom.IOs().At(40)->Tag, QStringLiteral("[TMR08]"));
    EXPECT_TRUE(usb.Requests().empty());
    EXPECT_TRUE(com.Requests().empty());
    EXPECT_EQ(onUsb.GetUnitType(), 0);
}

TEST_F(TZelvoTest, ReadUnitType_RebuildsListForTheTypeRead)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_VELLO});
    ASSERT_TRUE(unit.ReadUnitType());
    EXPECT_TRUE(unit.IsVelloUnit());
    EXPECT_EQ(unit.IOs().Count(), 41);
    EXPECT_EQ(unit.IOs().FindIO(12)->Tag, QStringLiteral("[BUZ1]"));

    // An unknown type empties the list and nothing is decoded.
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{5});
    ASSERT_TRUE(unit.ReadUnitType());
    EXPECT_EQ(unit.IOs().Count(), 0);
    GiveUOMTable(unit, 60);
    comms.Queue(CMD_READ_LIVE_VALUES, Ramp(186));
    EXPECT_TRUE(unit.PollLiveValues());

    comms.Queue(CMD_READ_UNIT_TYPE, TReply::Silent());
    EXPECT_FALSE(unit.ReadUnitType());
}

TEST_F(TZelvoTest, ReadUnitType_DamagedReply_KeepsTypeAndList)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    MakeOstra(comms, unit);
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_VELLO});
    comms.Fault("bad-checksum=CMD_READ_UNIT_TYPE,once");
    EXPECT_FALSE(unit.ReadUnitType());
    EXPECT_EQ(unit.GetUnitType(), UNIT_TYPE_OSTRA);
    EXPECT_EQ(unit.IOs().Count(), 47);

    // Live values are still decoded with the OSTRA layout: mask first.
    TWireRecord r;
    r.U16(0x0001);
    for (int n = 8; n < 54; ++n)
        r.U32(7);
    comms.Queue(CMD_READ_LIVE_VALUES, r);
    ASSERT_TRUE(unit.PollLiveValues());
    EXPECT_EQ(ValueOf(unit, 0), 1);
    EXPECT_EQ(ValueOf(unit, 8), 7);
}

TEST_F(TZelvoTest, CheckFirmware_SetsConnectedStatusAndKeepsVersionUnlessNoAnswer)
{
    struct Row {
        TReply reply;
        int result;
        const char *status;
        const char *kept;
    };
    const Row rows[] = {
        {Bytes{'Z', 'V', '2', '.', '6', '0', '?', 0, 'x'}, 0, "Connected to ZV2.60?", "ZV2.60?"},
        {Bytes{'V', '2', '.', '5', '6', '?'}, 2, "Connected to V2.56?", "V2.56?"},
        {TReply::Silent(), 1, "unchanged", ""},
    };
    for (const auto &row : rows) {
        TScriptedComms comms(true, kAcked);
        TZelvo unit(comms, &Errors);
        Errors.SetStatus(QStringLiteral("unchanged"));
        comms.Queue(CMD_READ_VERSION, row.reply);
        EXPECT_EQ(unit.CheckFirmware(), row.result);
        EXPECT_EQ(Errors.StatusText(), QString::fromLatin1(row.status));
        EXPECT_EQ(unit.FirmwareVersion(), row.kept);
    }
}

// Each unit object writes to the log it was given and hands it to the lists
// it owns; a unit without a log does the same work and tells nobody.
TEST_F(TZelvoTest, Log_EachUnitWritesToItsOwnLog_NoLogIsSafe)
{
    TErrorManager otherLog(FreshLogPath());
    TScriptedComms comms(true, kAcked), otherComms(true, kAcked), silentComms(true, kAcked);
    TZelvo unit(comms, &Errors);
    TZelvo other(otherComms, &otherLog);
    TZelvo silent(silentComms, nullptr);

    // The status of a firmware check.
    const Bytes version{'Z', 'V', '2', '.', '6', '0', '?', 0};
    comms.Queue(CMD_READ_VERSION, version);
    silentComms.Queue(CMD_READ_VERSION, version);
    EXPECT_EQ(unit.CheckFirmware(), 0);
    EXPECT_EQ(silent.CheckFirmware(), 0);
    EXPECT_EQ(Errors.StatusText(), QStringLiteral("Connected to ZV2.60?"));
    EXPECT_TRUE(otherLog.StatusText().isEmpty());
    EXPECT_EQ(silent.FirmwareVersion(), "ZV2.60?");

    // An owned list's complaint: an input-type reply cut short (two records
    // announced, a few bytes of one, then the checksum byte).
    const Bytes cut{2, 1, 2, 3, 0};
    other.LoadInputTypes(cut.data(), static_cast<int>(cut.size()));
    silent.LoadInputTypes(cut.data(), static_cast<int>(cut.size()));
    EXPECT_TRUE(otherLog.PendingLog().startsWith(
        "TAvailableInputTypes::PopulateAvailableInputTypes Exception - "))
        << otherLog.PendingLog().toStdString();
    EXPECT_FALSE(Log().contains("TAvailableInputTypes")) << Log().toStdString();

    // A live value typed that is no number: the message box of the unit's
    // own log; the unit is sent nothing.
    for (TZelvo *u : {&unit, &silent}) {
        TRecordingListView view;
        u->AttachIOListView(&view);
        u->IOs().SetEditable(true);
        u->IOs().SetInputQuery([](const QString &, const QString &, QString &text) {
            text = QStringLiteral("abc");
            return true;
        });
        int pwm = -1;
        for (int i = 0; i < u->IOs().Count() && pwm < 0; ++i)
            if (u->IOs().At(i)->IOType == 11)
                pwm = i;
        ASSERT_GE(pwm, 0);
        view.DoubleClick(pwm);
        u->AttachIOListView(nullptr);
    }
    EXPECT_TRUE(Errors.HasQueuedMessage());
    EXPECT_EQ(Errors.MessageText(), QStringLiteral("'abc' is not a valid integer value"));
    EXPECT_EQ(Errors.MessageKind(), MK_ERROR);
    EXPECT_FALSE(otherLog.HasQueuedMessage());
    EXPECT_EQ(comms.Count(CMD_SET_IO_VALUE), 0);
    EXPECT_EQ(silentComms.Count(CMD_SET_IO_VALUE), 0);
}

TEST_F(TZelvoTest, CheckFirmware_NoAnswerAfterAnAnswer_ForgetsTheOldVersion)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    comms.Queue(CMD_READ_VERSION, Bytes{'V', '2', '.', '6', '1', '?'});
    ASSERT_EQ(unit.CheckFirmware(), 0);
    ASSERT_EQ(unit.FirmwareVersion(), "V2.61?");
    // Perhaps another unit by now: its version is not known.
    EXPECT_EQ(unit.CheckFirmware(), 1);
    EXPECT_EQ(unit.FirmwareVersion(), "");
}

TEST_F(TZelvoTest, PollLiveValues_AnyFiveFailuresEndLiveReading)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    const bool script[] = {false, true, false, true, false, false, true};
    for (bool ok : script)
        comms.Queue(CMD_READ_LIVE_VALUES, ok ? TReply::Data({}) : TReply::Silent());
    for (std::size_t i = 0; i < std::size(script); ++i)
        EXPECT_TRUE(unit.PollLiveValues()) << i;
    EXPECT_EQ(unit.LiveFailureCount(), 4);
    comms.Queue(CMD_READ_LIVE_VALUES, TReply::Silent());
    EXPECT_FALSE(unit.PollLiveValues());
    EXPECT_EQ(unit.LiveFailureCount(), 0);
    comms.Queue(CMD_READ_LIVE_VALUES, TReply::Silent());
    EXPECT_TRUE(unit.PollLiveValues());
}

TEST_F(TZelvoTest, LiveValues_OstraMaskThenRawValues)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    MakeOstra(comms, unit);
    TWireRecord r;
    r.U16(0x0005);
    for (int n = 8; n < 54; ++n)
        r.U32(1000u + static_cast<uint32_t>(n));
    ASSERT_EQ(r.Size(), 186u);
    comms.Queue(CMD_READ_LIVE_VALUES, r);
    ASSERT_TRUE(unit.PollLiveValues());
    const long double expectedBits[] = {1, 0, 1, 0, 0, 0, 0, 0};
    for (int n = 0; n < 8; ++n)
        EXPECT_EQ(ValueOf(unit, n), expectedBits[n]) << n;
    EXPECT_EQ(ValueOf(unit, 8), 1008);
    EXPECT_EQ(ValueOf(unit, 46), 1046);
}

TEST_F(TZelvoTest, LiveValues_VelloShortReply_DecodesOnlyCompleteValues)
{
    TScriptedComms comms(false, kAcked);
    TZelvo unit(comms, &Errors);
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_VELLO});
    ASSERT_TRUE(unit.ReadUnitType());
    GiveUOMTable(unit, 41);
    TWireRecord r;
    r.U32(7).U32(8).U8(9).U8(9); // and half of value 2
    unit.DecodeLiveValues(r.Data(), static_cast<int>(r.Size()));
    EXPECT_EQ(ValueOf(unit, 0), 7);
    EXPECT_EQ(ValueOf(unit, 1), 8);
    EXPECT_EQ(ValueOf(unit, 2), 0);
}

TEST_F(TZelvoTest, LiveValues_BeforeUOMInformation_NothingTouched)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_OSTRA});
    ASSERT_TRUE(unit.ReadUnitType());
    Bytes r(186, 0xFF);
    unit.DecodeLiveValues(r.data(), 186);
    EXPECT_EQ(ValueOf(unit, 0), 0);
    EXPECT_EQ(ValueOf(unit, 20), 0);
}

TEST_F(TZelvoTest, UOMDisplay_ShortTableAndUnknownUOM_ShowNoUOM)
{
    TScriptedComms comms(false, kAcked);
    TZelvo unit(comms, &Errors);
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_VELLO});
    ASSERT_TRUE(unit.ReadUnitType());
    EXPECT_FALSE(unit.IOs().IsEditable());
    GiveUOMTable(unit, 3, 999); // three records, an unknown UOM id
    EXPECT_TRUE(unit.IOs().IsEditable());
    for (int n : {0, 2, 3, 40}) {
        const TIO *io = unit.IOs().FindIO(static_cast<uint8_t>(n));
        EXPECT_EQ(io->OnText, QStringLiteral("ON")) << n;
        EXPECT_EQ(io->OffText, QStringLiteral("OFF")) << n;
        EXPECT_TRUE(io->UnitsText.isEmpty()) << n;
        EXPECT_FALSE(io->IsDigital) << n;
    }
    // Values of I/O without a record pass unscaled.
    TWireRecord r;
    for (int n = 0; n < 41; ++n)
        r.U32(500u + static_cast<uint32_t>(n));
    unit.DecodeLiveValues(r.Data(), static_cast<int>(r.Size()));
    EXPECT_EQ(ValueOf(unit, 40), 540);
}

TEST_F(TZelvoTest, ConvertRaw_ExternalRecordIndexPerModel)
{
    EXPECT_EQ(TZelvo::ExternalRecordIndex(UNIT_TYPE_OSTRA, 1), 82);
    EXPECT_EQ(TZelvo::ExternalRecordIndex(UNIT_TYPE_VELLO, 1), 44);
    EXPECT_EQ(TZelvo::ExternalRecordIndex(0, 1), 0);

    // External 1 on OSTRA uses record 82: a table of 82 records lacks it.
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    comms.Queue(CMD_READ_UNIT_TYPE, Bytes{UNIT_TYPE_OSTRA});
    ASSERT_TRUE(unit.ReadUnitType());
    TWireRecord rec;
    for (int i = 0; i < 83; ++i)
        rec.IOUOM(i == 82 ? 5 : 0, 0);
    // No input types or digital UOMs; one analogue UOM, clamped.
    TWireRecord rest{0, 0, 1};
    rest.AnalogueUOM(5, "", 2, {{0, 0}, {10, 1}});
    unit.ApplyUOMInformation(82, rec.Data(), rest.Data(), static_cast<int>(rest.Size()));
    EXPECT_EQ(unit.ConvertRaw(4, 1), 4); // record missing: raw
    unit.ApplyUOMInformation(83, rec.Data(), rest.Data(), static_cast<int>(rest.Size()));
    EXPECT_NEAR(static_cast<double>(unit.ConvertRaw(4, 1)), 0.4, 1e-9);
}

TEST_F(TZelvoTest, ExternalCycle_ChunksJoinedErrorsFlagged)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    MakeOstra(comms, unit);
    AddExternals(unit, {1, 2, 8});
    ASSERT_EQ(unit.ServerSideIOs().ExternalCount(), 3);

    comms.Queue(CMD_EXT_READ_VALUES, Bytes{0x34, 0x12, 0xAA});
    comms.Queue(CMD_EXT_READ_VALUES, Bytes{0xBB, 0x78, 0x56, 0xCC, 0xDD, 0x01});
    comms.Queue(CMD_EXT_READ_VALUES, TReply::Silent());
    Bytes readErrors(32, 0);
    readErrors[0] = 0x81;
    comms.Queue(CMD_EXT_READ_ERRORS, readErrors);
    Bytes writeErrors(32, 0);
    writeErrors[0] = 0x02;
    comms.Queue(CMD_EXT_WRITE_ERRORS, writeErrors);

    const int phases[] = {1, 1, 1, 2, 3, 0};
    for (int expected : phases) {
        EXPECT_TRUE(unit.PollExternalIO());
        EXPECT_EQ(unit.ExternalReadPhase(), expected);
    }
    // Start told the unit how many external I/Os there are.
    ASSERT_FALSE(comms.Sends().empty());
    EXPECT_EQ(comms.Sends().front().Command, CMD_EXT_START);
    EXPECT_EQ(comms.Sends().front().Payload, (Bytes{3, 0}));
    EXPECT_EQ(unit.ExternalReceived(), 9);

    auto &ios = unit.ServerSideIOs();
    // Data type 0: 2-byte values. I/O 1 from bytes 0..1, I/O 2 from 4..5;
    // slot 3 (I/O 8 is not number 3) arrived incomplete.
    EXPECT_EQ(ios.FindExternal(1)->Value(), 0x1234);
    EXPECT_EQ(ios.FindExternal(2)->Value(), 0x5678);
    EXPECT_EQ(ios.FindExternal(1)->ErrorState(), 1);
    EXPECT_EQ(ios.FindExternal(2)->ErrorState(), 2);
    EXPECT_EQ(ios.FindExternal(8)->ErrorState(), 1);
}

TEST_F(TZelvoTest, ExternalCycle_NoExternalIO_SendsNothing)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    EXPECT_TRUE(unit.PollExternalIO());
    EXPECT_EQ(unit.ExternalReadPhase(), 0);
    EXPECT_TRUE(comms.Requests().empty());
}

TEST_F(TZelvoTest, ExternalCycle_FailedStepsStayInTheirPhase)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    AddExternals(unit, {1});
    comms.Queue(CMD_EXT_START, TReply::Silent());
    unit.PollExternalIO();
    EXPECT_EQ(unit.ExternalReadPhase(), 0);
    unit.PollExternalIO(); // start succeeds
    unit.PollExternalIO(); // no value reply: end of stream
    EXPECT_EQ(unit.ExternalReadPhase(), 2);
    unit.PollExternalIO(); // error flags fail
    EXPECT_EQ(unit.ExternalReadPhase(), 2);
    // Without a UOM table the values were not touched.
    EXPECT_EQ(unit.ServerSideIOs().FindExternal(1)->Value(), 0);
}

TEST_F(TZelvoTest, ExternalCycle_StreamLongerThanAreaIsCutAtItsEnd)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    MakeOstra(comms, unit);
    AddExternals(unit, {1});
    comms.Always(CMD_EXT_READ_VALUES, Bytes(255, 0x11));
    unit.PollExternalIO();
    const int reads = TZelvo::kExternalAreaSize / 255 + 3;
    for (int i = 0; i < reads; ++i)
        unit.PollExternalIO();
    EXPECT_EQ(unit.ExternalReceived(), TZelvo::kExternalAreaSize);
    comms.Always(CMD_EXT_READ_VALUES, TReply::Silent());
    unit.PollExternalIO();
    EXPECT_EQ(unit.ExternalReadPhase(), 2);
    EXPECT_EQ(unit.ServerSideIOs().FindExternal(1)->Value(), 0x1111);
}

TEST_F(TZelvoTest, ErrorFlags_ShortReplyAppliesOnlyBytesReceived)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    AddExternals(unit, {1, 9});
    const Bytes all(32, 0xFF);
    unit.ApplyErrorFlags(true, all.data(), 32);
    const Bytes one{0x00};
    unit.ApplyErrorFlags(true, one.data(), 1);
    EXPECT_EQ(unit.ServerSideIOs().FindExternal(1)->ErrorState(), 0);
    EXPECT_EQ(unit.ServerSideIOs().FindExternal(9)->ErrorState(), 1);
}

TEST_F(TZelvoTest, SetIOValue_SendsNumberAndLittleEndianValue_ReportsTheUnitsAnswer)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    EXPECT_TRUE(unit.SetIOValue(35, -2));
    // A user's edit in the list goes the same way.
    unit.IOs().OnValueEdited(&unit.IOs(), 1, 0x01020304);
    comms.Queue(CMD_SET_IO_VALUE, TReply::Silent());
    EXPECT_FALSE(unit.SetIOValue(2, 7));
    ASSERT_EQ(comms.Sends().size(), 3u);
    EXPECT_EQ(comms.Sends()[0].Command, CMD_SET_IO_VALUE);
    EXPECT_EQ(comms.Sends()[0].Payload, (Bytes{35, 0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(comms.Sends()[1].Payload, (Bytes{1, 4, 3, 2, 1}));
    EXPECT_EQ(comms.Sends()[2].Payload, (Bytes{2, 7, 0, 0, 0}));
}

namespace
{

void QueueBlock(TScriptedComms &comms, const TUnitSettingsBlock &b)
{
    comms.Queue(CMD_READ_SETTINGS_1, Bytes(b.Bytes.begin(), b.Bytes.begin() + 255));
    comms.Queue(CMD_READ_SETTINGS_2, Bytes(b.Bytes.begin() + 255, b.Bytes.end()));
}

} // namespace

TEST_F(TZelvoTest, LoadSettings_RetriesUpToTenTimes)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    EXPECT_FALSE(unit.LoadSettings());
    EXPECT_EQ(comms.Count(CMD_READ_SETTINGS_1), 10);

    TUnitSettingsBlock b;
    b.Bytes[5] = 2;
    b.Bytes[312] = 0x5A;
    for (int i = 0; i < 9; ++i)
        comms.Queue(CMD_READ_SETTINGS_1, TReply::Silent());
    QueueBlock(comms, b);
    EXPECT_TRUE(unit.LoadSettings());
    EXPECT_EQ(unit.SettingsBlock(), b);
}

TEST_F(TZelvoTest, LoadAndSaveSettings_AbortedLink_EndAtOnceAndWriteNothing)
{
    TScriptedComms comms(true, kAcked);
    // Pauses long enough that ten of them would be noticed.
    TPacing slow = comms.Pacing();
    slow.RetryPause = std::chrono::milliseconds(60000);
    TZelvo unit(comms, slow, &Errors);
    QueueBlock(comms, TUnitSettingsBlock{});
    comms.Abort();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(unit.LoadSettings());
    EXPECT_FALSE(unit.SaveSettings(TConnectionSettings{}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(comms.Count(CMD_READ_SETTINGS_1), 0);
    EXPECT_TRUE(comms.Sends().empty());

    comms.ClearAbort();
    slow.RetryPause = std::chrono::milliseconds(1);
    TZelvo again(comms, slow, &Errors);
    EXPECT_TRUE(again.LoadSettings());
}

TEST_F(TZelvoTest, SaveSettings_FailuresSendNothingOrReportFalse)
{
    TConnectionSettings s;
    {
        // The re-read fails: not one byte goes to the unit.
        TScriptedComms comms(true, kAcked);
        TZelvo unit(comms, &Errors);
        EXPECT_FALSE(unit.SaveSettings(s));
        EXPECT_TRUE(comms.Sends().empty());
    }
    {
        // A text too long for its field is refused before anything is sent.
        TScriptedComms comms(true, kAcked);
        TZelvo unit(comms, &Errors);
        QueueBlock(comms, TUnitSettingsBlock{});
        TConnectionSettings longApn;
        longApn.APN = std::string(200, 'a');
        EXPECT_FALSE(unit.SaveSettings(longApn));
        EXPECT_TRUE(comms.Sends().empty());
    }
    {
        // Ten refused writes fail the save; nothing is applied.
        TScriptedComms comms(true, kAcked);
        TZelvo unit(comms, &Errors);
        QueueBlock(comms, TUnitSettingsBlock{});
        comms.Fault("nack=CMD_WRITE_SETTINGS_1");
        EXPECT_FALSE(unit.SaveSettings(s));
        EXPECT_EQ(comms.Count(CMD_WRITE_SETTINGS_1), 10);
        EXPECT_EQ(comms.Count(CMD_APPLY_SETTINGS), 0);
    }
    {
        // The apply step decides the outcome.
        TScriptedComms comms(true, kAcked);
        TZelvo unit(comms, &Errors);
        QueueBlock(comms, TUnitSettingsBlock{});
        comms.Queue(CMD_APPLY_SETTINGS, TReply::Silent());
        EXPECT_FALSE(unit.SaveSettings(s));
    }
}

TEST_F(TZelvoTest, IOConfigUpload_ChangedRecordsOnlyThenCommitted)
{
    TScriptedComms comms(true, kAcked);
    TZelvo unit(comms, &Errors);
    AddExternals(unit, {1, 2});
    std::vector<uint8_t> upload;
    EXPECT_FALSE(unit.BuildIOConfigUpload(upload));
    EXPECT_TRUE(upload.empty());

    unit.ServerSideIOs().Item(1)->SetChanged(true);
    ASSERT_TRUE(unit.BuildIOConfigUpload(upload));
    EXPECT_EQ(upload.size(), 12u); // 11 + one name byte
    EXPECT_EQ(upload[0], 2);       // IOID of the second record

    uint8_t small[4];
    std::size_t length = 99;
    EXPECT_EQ(unit.BuildIOConfigUpload(small, sizeof small, length), TUploadResult::TooLarge);
    EXPECT_EQ(length, 0u);

    unit.CommitIOConfig();
    EXPECT_FALSE(unit.BuildIOConfigUpload(upload));
    unit.ClearIOConfig();
    EXPECT_EQ(unit.ServerSideIOs().Count(), 0);
}
