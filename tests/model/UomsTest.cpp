#include "model/Uoms.h"
#include "model/Inputtypes.h"
#include "model/Modelexceptions.h"
#include "model/Uommanager.h"

#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

namespace
{

using zelvo::test::TWireRecord;

TWireRecord InputType(int id, float mul, float div, float off, int kind)
{
    return TWireRecord().InputType(id, mul, div, off, kind);
}

TWireRecord DigitalUom(int32_t id, const std::string &off, const std::string &on)
{
    return TWireRecord().DigitalUOM(id, off, on);
}

TWireRecord AnalogueUom(int32_t id, const std::string &units, int rule,
                        const std::vector<std::pair<float, float>> &points)
{
    return TWireRecord().AnalogueUOM(id, units, rule, points);
}

// Input types, then the digital and the analogue UOMs, as one block.
TWireRecord Block(const std::vector<TWireRecord> &types, const std::vector<TWireRecord> &digital,
                  const std::vector<TWireRecord> &analogue)
{
    TWireRecord b;
    b.U8(static_cast<int>(types.size()));
    for (const auto &t : types)
        b.Append(t);
    b.U8(static_cast<int>(digital.size()));
    for (const auto &d : digital)
        b.Append(d);
    b.U8(static_cast<int>(analogue.size()));
    for (const auto &a : analogue)
        b.Append(a);
    return b;
}

class TUOMManagerTest : public zelvo::test::TWithErrorLog
{
protected:
    void Load(const TWireRecord &block)
    {
        Manager.PopulateUOMInformation(block.Bytes().data(), block.Bytes().size());
    }
    TUOMManager Manager{&Errors};
};

TEST_F(TUOMManagerTest, PopulateUOMInformation_OneDigitalOneAnalogue_Reads77ByteBlock)
{
    const TWireRecord block = Block({}, {DigitalUom(3, "Closed", "Open")},
                                    {AnalogueUom(9, "bar", oorClamp, {{0, 0}, {10, 100}})});
    ASSERT_EQ(block.Bytes().size(), 77u);
    Load(block);
    TUOMs &uoms = *Manager.UOMs();
    ASSERT_EQ(uoms.Count(), 2);
    const TUOM *digital = uoms.GetUOM(3);
    EXPECT_TRUE(digital->IsDigital());
    EXPECT_EQ(digital->OffText(), "Closed");
    EXPECT_EQ(digital->OnText(), "Open");
    EXPECT_TRUE(digital->UnitsText().isEmpty());
    const TUOM *analogue = uoms.GetUOM(9);
    EXPECT_FALSE(analogue->IsDigital());
    EXPECT_EQ(analogue->UnitsText(), "bar");
    EXPECT_EQ(analogue->OutOfRangeBehaviour(), oorClamp);
    EXPECT_EQ(analogue->PointCount(), 2);
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(TUOMManagerTest, PopulateUOMInformation_SixteenCharTexts_KeptWhole)
{
    Load(Block({}, {DigitalUom(1, "ABCDEFGHIJKLMNOP", "on")}, {}));
    EXPECT_EQ(Manager.UOMs()->GetUOM(1)->OffText(), "ABCDEFGHIJKLMNOP");
}

TEST_F(TUOMManagerTest, PopulateUOMInformation_AnalogueWithoutPoints_HasEmptyTable)
{
    Load(Block({}, {}, {AnalogueUom(4, "V", oorDoNotInsert, {})}));
    TUOM *uom = Manager.UOMs()->GetUOM(4);
    EXPECT_EQ(uom->PointCount(), 0);
    EXPECT_EQ(uom->Scale(42), 42.0L);
}

TEST_F(TUOMManagerTest, PopulateUOMInformation_SecondBlock_ReplacesList)
{
    Load(Block({}, {DigitalUom(1, "a", "b"), DigitalUom(2, "c", "d")}, {}));
    Load(Block({}, {DigitalUom(5, "e", "f")}, {}));
    ASSERT_EQ(Manager.UOMs()->Count(), 1);
    EXPECT_EQ(Manager.UOMs()->Item(0)->UOMID(), 5);
}

TEST_F(TUOMManagerTest, GetUOM_UnknownId_RaisesItemNotFound)
{
    Load(Block({}, {DigitalUom(1, "a", "b")}, {}));
    try {
        Manager.UOMs()->GetUOM(99);
        FAIL() << "found";
    } catch (const EItemNotFound &e) {
        EXPECT_STREQ(e.what(), "GetUOM: Could not find UOMID 99");
    }
}

// Cutting a block anywhere keeps exactly the records that are complete.
TEST_F(TUOMManagerTest, PopulateUOMInformation_EveryCut_KeepsCompleteRecordsOnly)
{
    const TWireRecord block =
        Block({InputType(1, 1, 1, 0, 0)}, {DigitalUom(1, "off", "on"), DigitalUom(2, "lo", "hi")},
              {AnalogueUom(3, "m", oorClamp, {{0, 0}, {1, 1}}),
               AnalogueUom(4, "s", oorClamp, {{0, 0}, {1, 1}, {2, 4}})});
    const std::size_t types = 1 + 15;
    const std::size_t digitalEnd = types + 1 + 2 * 36;
    const std::size_t firstAnalogueEnd = digitalEnd + 1 + 22 + 16;
    for (std::size_t cut = 0; cut <= block.Bytes().size(); ++cut) {
        SCOPED_TRACE(cut);
        // Exactly `cut` bytes on the heap, so any read past them is caught.
        std::vector<uint8_t> bytes(block.Bytes().begin(),
                                   block.Bytes().begin() + static_cast<long>(cut));
        Errors.FlushLog();
        // The log drops a line equal to the one before: mark each round.
        Errors.AddLog(QStringLiteral("cut %1").arg(cut));
        Manager.PopulateUOMInformation(bytes.data(), bytes.size());
        int expected = 0;
        if (cut >= types + 1 + 36)
            expected = 1;
        if (cut >= digitalEnd)
            expected = 2;
        if (cut >= firstAnalogueEnd)
            expected = 3;
        if (cut == block.Bytes().size())
            expected = 4;
        EXPECT_EQ(Manager.UOMs()->Count(), expected);
        for (int i = 0; i < Manager.UOMs()->Count(); ++i)
            EXPECT_EQ(Manager.UOMs()->Item(i)->UOMID(), i + 1);
        if (cut >= types && cut < block.Bytes().size()) {
            EXPECT_TRUE(Log().contains("TUOMs::PopulateUOMs Exception - ")) << Log().toStdString();
        }
    }
}

// The manager hands its log to the readers it owns: the input types, the
// UOM list and each UOM's table. Two managers keep to their own logs, and one
// without a log reads the same block alike and tells nobody.
TEST_F(TUOMManagerTest, PopulateUOMInformation_CutBlocks_LoggedOnTheManagersOwnLog)
{
    const TWireRecord block = Block({InputType(1, 1, 1, 0, 0)}, {},
                                    {AnalogueUom(3, "m", oorClamp, {{0, 0}, {1, 1}, {2, 4}})});
    const std::vector<uint8_t> &whole = block.Bytes();
    // Cut inside the input type's record, and inside the UOM's last point.
    const std::vector<uint8_t> inTypes(whole.begin(), whole.begin() + 10);
    const std::vector<uint8_t> inTable(whole.begin(), whole.end() - 3);
    TErrorManager otherLog(zelvo::test::FreshLogPath());
    TUOMManager other(&otherLog);
    TUOMManager silent;

    Manager.PopulateUOMInformation(inTable.data(), inTable.size());
    other.PopulateUOMInformation(whole.data(), whole.size());
    silent.PopulateUOMInformation(inTable.data(), inTable.size());
    EXPECT_TRUE(Log().contains("TUOM::PopulateUOMData Exception - ")) << Log().toStdString();
    EXPECT_TRUE(Log().contains("TUOMs::PopulateUOMs Exception - ")) << Log().toStdString();
    EXPECT_TRUE(otherLog.PendingLog().isEmpty()) << otherLog.PendingLog().toStdString();
    EXPECT_EQ(Manager.UOMs()->Count(), 0);
    EXPECT_EQ(silent.UOMs()->Count(), 0);
    EXPECT_EQ(other.UOMs()->Count(), 1);

    Errors.FlushLog();
    other.PopulateUOMInformation(inTypes.data(), inTypes.size());
    silent.PopulateUOMInformation(inTypes.data(), inTypes.size());
    EXPECT_TRUE(otherLog.PendingLog().startsWith("TInputTypes::PopulateInputTypes Exception - "))
        << otherLog.PendingLog().toStdString();
    EXPECT_TRUE(Log().isEmpty()) << Log().toStdString();
    EXPECT_EQ(other.InputTypes()->Count(), 0);
    EXPECT_EQ(silent.InputTypes()->Count(), 0);
}

// Conversion: input type 1 doubles, UOM 10 scales x10 over 0..100 and rejects
// values outside, UOM 11 has an unknown rule.
class TUOMManagerConvertTest : public TUOMManagerTest
{
protected:
    void SetUp() override
    {
        TUOMManagerTest::SetUp();
        Load(Block({InputType(1, 2, 1, 0, 0)}, {DigitalUom(20, "off", "on")},
                   {AnalogueUom(10, "l", oorDoNotInsert, {{0, 0}, {100, 1000}}),
                    AnalogueUom(11, "l", 9, {{0, 0}, {100, 1000}})}));
    }
};

TEST_F(TUOMManagerConvertTest, ConvertValue_KnownTypeAndUom_AppliesBoth)
{
    EXPECT_NEAR(static_cast<double>(Manager.ConvertValue(1, 10, 30)), 600.0, 1e-9);
}

TEST_F(TUOMManagerConvertTest, ConvertValue_UnknownInputType_ScalesRawValue)
{
    EXPECT_NEAR(static_cast<double>(Manager.ConvertValue(77, 10, 30)), 300.0, 1e-9);
}

TEST_F(TUOMManagerConvertTest, ConvertValue_UnknownUom_ReturnsInputTypeResult)
{
    EXPECT_NEAR(static_cast<double>(Manager.ConvertValue(1, 77, 30)), 60.0, 1e-9);
}

TEST_F(TUOMManagerConvertTest, ConvertValue_RejectedOrUnknownRule_ReturnsRawValue)
{
    // 60 doubles to 120, outside the table.
    EXPECT_EQ(Manager.ConvertValue(1, 10, 60), 60.0L);
    EXPECT_EQ(Manager.ConvertValue(1, 11, 60), 60.0L);
}

TEST_F(TUOMManagerConvertTest, ConvertValue_HighestRawValue_ReadUnsigned)
{
    EXPECT_EQ(Manager.ConvertValue(77, 20, 0xFFFFFFFFu), 4294967295.0L);
}

TEST_F(TUOMManagerConvertTest, GetUOMDisplay_ByKindOfUom)
{
    bool digital = false;
    QString units = "keep", on = "keep", off = "keep";
    Manager.GetUOMDisplay(0, digital, units, on, off);
    EXPECT_FALSE(digital);
    EXPECT_EQ(units, "");
    EXPECT_EQ(on, "ON");
    EXPECT_EQ(off, "OFF");

    Manager.GetUOMDisplay(20, digital, units, on, off);
    EXPECT_TRUE(digital);
    EXPECT_EQ(on, "on");
    EXPECT_EQ(off, "off");

    Manager.GetUOMDisplay(10, digital, units, on, off);
    EXPECT_FALSE(digital);
    EXPECT_EQ(units, "l");

    // Unknown id: the texts stay as they came in.
    units = "u";
    on = "1";
    off = "0";
    digital = true;
    Manager.GetUOMDisplay(999, digital, units, on, off);
    EXPECT_TRUE(digital);
    EXPECT_EQ(units, "u");
    EXPECT_EQ(on, "1");
    EXPECT_EQ(off, "0");
}

} // namespace
