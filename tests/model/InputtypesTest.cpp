#include "model/Inputtypes.h"
#include "common/Errormanager.h"
#include "model/Availableinputtypes.h"
#include "model/Modelexceptions.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{

using zelvo::test::TWireRecord;

// The bytes of an available input type that are not read.
constexpr char kNoise = '\x5A';

} // namespace

// A global error manager for the readers to log into.
using TInputTypeTest = zelvo::test::TWithErrorLog;
using TAvailableInputTypesTest = zelvo::test::TWithErrorLog;

TEST_F(TInputTypeTest, Convert_EachKindWithTheUnitsGroupings)
{
    struct Row {
        int kind;
        float mul, div, off;
        long double x, expected;
    };
    const Row rows[] = {
        {ckLinear, 10, 4095, 0, 4095, 10}, {ckLinear, 10, 4095, 0, 0, 0},
        {ckLinear, 2, 4, 1.5f, 6, 4.5L},   {ckReciprocal, 1000000, 1, 0, 500, 2000},
        {ckReciprocal, 100, 2, 3, 5, 13},  {ckRatio, 10000, 4095, 0, 2047.5L, 10000},
        {ckRatio, 1, 10, 99, 5, 1}, // no offset in the ratio formula
        {5, 3, 3, 3, 1234.5L, 1234.5L},    {-1, 3, 3, 3, 7, 7},
    };
    for (const Row &row : rows) {
        TInputType t;
        t.ConversionKind = row.kind;
        t.Multiplier = row.mul;
        t.Divisor = row.div;
        t.Offset = row.off;
        EXPECT_NEAR(static_cast<double>(t.Convert(row.x)), static_cast<double>(row.expected), 1e-9)
            << "kind " << row.kind << " x " << static_cast<double>(row.x);
    }
}

TEST_F(TInputTypeTest, Convert_ZeroDenominators_GiveFloatingPointResultsNotACrash)
{
    TInputType t;
    t.Multiplier = 1;
    t.Divisor = 0;
    t.ConversionKind = ckLinear;
    EXPECT_TRUE(std::isinf(t.Convert(5)));
    t.ConversionKind = ckReciprocal;
    t.Divisor = 1;
    EXPECT_TRUE(std::isinf(t.Convert(0)));
    t.ConversionKind = ckRatio;
    t.Divisor = 5;
    EXPECT_TRUE(std::isinf(t.Convert(5)));
    t.Multiplier = 0;
    t.Divisor = 0;
    EXPECT_TRUE(std::isnan(t.Convert(0)));
}

TEST_F(TInputTypeTest, Populate_CountZero_IsOneByteAndEmpty)
{
    TInputTypes types(&Errors);
    types.Add(std::make_unique<TInputType>());
    std::size_t consumed = 99;
    const QByteArray block = TWireRecord().U8(0).U8(7).U8(7).Q(); // UOM part follows
    EXPECT_TRUE(types.PopulateInputTypes(block, consumed));
    EXPECT_EQ(consumed, 1u);
    EXPECT_EQ(types.Count(), 0);
}

TEST_F(TInputTypeTest, Populate_TwoRecords_ReadsFieldsAndStopsAtTheirEnd)
{
    const QByteArray block = TWireRecord()
                                 .U8(2)
                                 .InputType(3, 10.f, 4095.f, -1.25f, ckLinear, 1)
                                 .InputType(200, 1e6f, 1.f, 0.5f, ckReciprocal, 0)
                                 .U8(1) // the digital UOM count that follows
                                 .Q();
    TInputTypes types(&Errors);
    std::size_t consumed = 0;
    ASSERT_TRUE(types.PopulateInputTypes(block, consumed));
    EXPECT_EQ(consumed, 31u);
    ASSERT_EQ(types.Count(), 2);
    const TInputType *a = types.At(0);
    EXPECT_EQ(a->InputTypeID, 3);
    EXPECT_EQ(a->Multiplier, 10.f);
    EXPECT_EQ(a->Divisor, 4095.f);
    EXPECT_EQ(a->Offset, -1.25f);
    EXPECT_EQ(a->ConversionKind, ckLinear);
    EXPECT_TRUE(a->Flag);
    EXPECT_EQ(a->Owner, &types);
    EXPECT_EQ(types.At(1)->InputTypeID, 200);
    EXPECT_FALSE(types.At(1)->Flag);
    EXPECT_EQ(types.GetInputType(200), types.At(1));
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(TInputTypeTest, Populate_CountPromisesMoreThanBlockHolds_KeepsCompleteRecordsAndLogs)
{
    const QByteArray full = TWireRecord()
                                .U8(3)
                                .InputType(1, 1, 1, 0, 0)
                                .InputType(2, 1, 1, 0, 0)
                                .InputType(3, 1, 1, 0, 0)
                                .Q();
    // Every cut inside the third record keeps two records.
    for (int cut = 31; cut < full.size(); ++cut) {
        TInputTypes types(&Errors);
        std::size_t consumed = 0;
        EXPECT_FALSE(types.PopulateInputTypes(full.left(cut), consumed));
        EXPECT_EQ(types.Count(), 2) << "cut " << cut;
        EXPECT_EQ(consumed, 31u);
    }
    EXPECT_TRUE(Log().startsWith("TInputTypes::PopulateInputTypes Exception - "))
        << Log().toStdString();
}

TEST_F(TInputTypeTest, Populate_EmptyBlock_ConsumesNothingAndLogs)
{
    TInputTypes types(&Errors);
    std::size_t consumed = 5;
    EXPECT_FALSE(types.PopulateInputTypes(nullptr, 0, consumed));
    EXPECT_EQ(consumed, 0u);
    EXPECT_EQ(types.Count(), 0);
    EXPECT_TRUE(Log().startsWith("TInputTypes::PopulateInputTypes Exception - "));
}

TEST_F(TInputTypeTest, GetInputType_UnknownRaisesWithIdAndDuplicatesGiveFirst)
{
    const QByteArray block =
        TWireRecord().U8(2).InputType(4, 1, 1, 0, 0).InputType(4, 2, 1, 0, 0).Q();
    TInputTypes types(&Errors);
    std::size_t consumed = 0;
    types.PopulateInputTypes(block, consumed);
    EXPECT_EQ(types.GetInputType(4)->Multiplier, 1.f);
    try {
        types.GetInputType(17);
        FAIL() << "no exception";
    } catch (const EItemNotFound &e) {
        EXPECT_STREQ(e.what(), "GetInputType: Could not find InputTypeID 17");
    }
}

TEST_F(TAvailableInputTypesTest, Populate_ReadsFieldsAndNameUpToNul)
{
    const QByteArray block = TWireRecord()
                                 .U8(2)
                                 .AvailableType(1, 10, 3, 0, "4-20mA Pressure", kNoise)
                                 .AvailableType(0, 11, 4, 7, "Pulse", kNoise)
                                 .Q();
    ASSERT_EQ(block.size(), 1 + 2 * 72);
    TAvailableInputTypes types(&Errors);
    ASSERT_TRUE(types.PopulateAvailableInputTypes(block));
    ASSERT_EQ(types.Count(), 2);
    const TAvailableInputType *a = types.At(0);
    EXPECT_TRUE(a->Selectable);
    EXPECT_EQ(a->InputTypeID, 10);
    EXPECT_EQ(a->UOMCategory, 3);
    EXPECT_FALSE(a->SecondFlag);
    EXPECT_EQ(a->Name, "4-20mA Pressure");
    EXPECT_FALSE(types.At(1)->Selectable);
    EXPECT_TRUE(types.At(1)->SecondFlag);
    EXPECT_EQ(types.At(1)->Name, "Pulse");
    EXPECT_EQ(types.GetAvailableInputType(11), types.At(1));
}

TEST_F(TAvailableInputTypesTest, Populate_NameWithoutNul_IsFiftyCharactersOfItsField)
{
    const QByteArray name(60, 'N');
    const QByteArray block =
        TWireRecord().U8(1).AvailableType(1, 1, 1, 0, name.constData(), kNoise).Q();
    TAvailableInputTypes types(&Errors);
    ASSERT_TRUE(types.PopulateAvailableInputTypes(block));
    EXPECT_EQ(types.At(0)->Name, QString(50, 'N'));
}

TEST_F(TAvailableInputTypesTest, Populate_TruncatedOrEmpty_KeepsCompleteRecordsAndLogs)
{
    const QByteArray full = TWireRecord()
                                .U8(3)
                                .AvailableType(1, 1, 1, 0, "one", kNoise)
                                .AvailableType(1, 2, 1, 0, "two", kNoise)
                                .AvailableType(1, 3, 1, 0, "three", kNoise)
                                .Q();
    for (int cut : {0, 1, 72, 73, 145, 146, 200, 216}) {
        TAvailableInputTypes types(&Errors);
        EXPECT_FALSE(types.PopulateAvailableInputTypes(full.left(cut)));
        EXPECT_EQ(types.Count(), cut <= 1 ? 0 : (cut - 1) / 72) << "cut " << cut;
    }
    EXPECT_TRUE(Log().startsWith("TAvailableInputTypes::PopulateAvailableInputTypes Exception - "));
}

TEST_F(TAvailableInputTypesTest, GetAvailableInputType_Unknown_RaisesWithId)
{
    TAvailableInputTypes types(&Errors);
    try {
        types.GetAvailableInputType(250);
        FAIL() << "no exception";
    } catch (const EItemNotFound &e) {
        EXPECT_STREQ(e.what(), "GetAvailableInputType: Could not find InputType 250");
    }
}
