#include "model/Uom.h"
#include "model/Modelexceptions.h"

#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace
{

struct TPoint {
    long double X, Y;
};

std::unique_ptr<TUOM> MakeTable(const std::vector<TPoint> &points, int32_t rule)
{
    auto uom = std::make_unique<TUOM>();
    uom->SetOutOfRangeBehaviour(rule);
    uom->CreateXYArray(static_cast<int32_t>(points.size()));
    for (std::size_t i = 0; i < points.size(); ++i)
        uom->SetPoint(static_cast<int32_t>(i), points[i].X, points[i].Y);
    return uom;
}

const long double NaN = std::numeric_limits<long double>::quiet_NaN();

// One value scaled through a table under one rule; no expectation = rejected.
struct TScaleRow {
    const char *Name;
    std::vector<TPoint> Table;
    int32_t Rule;
    long double X;
    std::optional<long double> Expected;
};

// Readers log into the global error manager.
using TUOMTest = zelvo::test::TWithErrorLog;

class TUOMScaleTest : public ::testing::TestWithParam<TScaleRow>
{
};

TEST_P(TUOMScaleTest, Scale_GivesTableValueOrRejects)
{
    const TScaleRow &row = GetParam();
    auto uom = MakeTable(row.Table, row.Rule);
    if (row.Expected) {
        EXPECT_NEAR(static_cast<double>(uom->Scale(row.X)), static_cast<double>(*row.Expected),
                    1e-9);
    } else {
        try {
            uom->Scale(row.X);
            FAIL() << "value inside the table";
        } catch (const EDontInsertError &e) {
            EXPECT_STREQ(e.what(), "Value out of range - do not insert");
        }
    }
}

const std::vector<TPoint> Up = {{0, 0}, {10, 100}};
const std::vector<TPoint> Down = {{10, 0}, {0, 100}};

INSTANTIATE_TEST_SUITE_P(
    Tables, TUOMScaleTest,
    ::testing::Values(TScaleRow{"Up_Middle", Up, oorDoNotInsert, 5, 50},
                      TScaleRow{"Up_FirstPointIsInside", Up, oorDoNotInsert, 0, 0},
                      TScaleRow{"Up_LastPoint_Rejected", Up, oorDoNotInsert, 10, std::nullopt},
                      TScaleRow{"Up_LastPoint_Extrapolate", Up, oorExtrapolate, 10, 100},
                      TScaleRow{"Up_LastPoint_Clamp", Up, oorClamp, 10, 100},
                      TScaleRow{"Up_Above_Rejected", Up, oorDoNotInsert, 12, std::nullopt},
                      TScaleRow{"Up_Above_Extrapolate", Up, oorExtrapolate, 12, 120},
                      TScaleRow{"Up_Above_Clamp", Up, oorClamp, 12, 100},
                      TScaleRow{"Up_Below_Rejected", Up, oorDoNotInsert, -1, std::nullopt},
                      TScaleRow{"Up_Below_Extrapolate", Up, oorExtrapolate, -1, -10},
                      TScaleRow{"Up_Below_Clamp", Up, oorClamp, -1, 0},
                      TScaleRow{"Down_Middle", Down, oorDoNotInsert, 2.5, 75},
                      TScaleRow{"Down_AboveFirst_Extrapolate", Down, oorExtrapolate, 11, -10},
                      TScaleRow{"Down_AboveFirst_Clamp", Down, oorClamp, 11, 0},
                      TScaleRow{"Down_BelowLast_Extrapolate", Down, oorExtrapolate, -1, 110},
                      TScaleRow{"Down_BelowLast_Clamp", Down, oorClamp, -1, 100},
                      TScaleRow{"Up_NaN_Rejected", Up, oorDoNotInsert, NaN, std::nullopt},
                      // Too short for a segment: the value passes unscaled, even under "reject".
                      TScaleRow{"NoPoints_PassesThrough", {}, oorDoNotInsert, 7, 7},
                      TScaleRow{"OnePoint_PassesThrough", {{5, 50}}, oorDoNotInsert, 7, 7},
                      TScaleRow{"OnePoint_Clamp_PassesThrough", {{5, 50}}, oorClamp, -3, -3}),
    [](const ::testing::TestParamInfo<TScaleRow> &info) { return std::string(info.param.Name); });

TEST_F(TUOMTest, Scale_ThreePoints_WalksBackFromRememberedSegment)
{
    auto uom = MakeTable({{0, 0}, {10, 100}, {20, 0}}, oorDoNotInsert);
    EXPECT_NEAR(static_cast<double>(uom->Scale(15)), 50.0, 1e-9);
    EXPECT_EQ(uom->LastIndex(), 1);
    // One step back from the remembered point finds segment (1, 0).
    EXPECT_NEAR(static_cast<double>(uom->Scale(5)), 50.0, 1e-9);
    EXPECT_EQ(uom->LastIndex(), 1);
    EXPECT_NEAR(static_cast<double>(uom->Scale(19)), 10.0, 1e-9);
}

TEST_F(TUOMTest, Scale_FarValue_WalksSeveralPointsFromLastIndex)
{
    auto uom = MakeTable({{0, 0}, {10, 10}, {20, 40}, {30, 90}, {40, 160}}, oorDoNotInsert);
    EXPECT_NEAR(static_cast<double>(uom->Scale(35)), 125.0, 1e-9);
    EXPECT_EQ(uom->LastIndex(), 3);
    EXPECT_NEAR(static_cast<double>(uom->Scale(2)), 2.0, 1e-9);
    EXPECT_EQ(uom->LastIndex(), 1);
}

// A NaN is out of range: it walks to the far end of an ascending table and
// to the start of a descending one, and stays NaN under the clamp rule.
TEST_F(TUOMTest, Scale_NaN_WalksToTableEndAndStaysNaN)
{
    auto up = MakeTable({{0, 0}, {10, 100}, {20, 200}}, oorClamp);
    EXPECT_TRUE(std::isnan(up->Scale(NaN)));
    EXPECT_EQ(up->LastIndex(), 2);
    auto down = MakeTable({{20, 0}, {10, 100}, {0, 200}}, oorClamp);
    down->Scale(1); // remember the last segment
    EXPECT_TRUE(std::isnan(down->Scale(NaN)));
    EXPECT_EQ(down->LastIndex(), 0);
}

TEST_F(TUOMTest, Scale_UnknownRule_RaisesOnlyOutsideTable)
{
    auto uom = MakeTable(Up, 7);
    EXPECT_NEAR(static_cast<double>(uom->Scale(5)), 50.0, 1e-9);
    try {
        uom->Scale(11);
        FAIL() << "no exception";
    } catch (const EDontInsertError &) {
        FAIL() << "wrong exception";
    } catch (const std::runtime_error &e) {
        EXPECT_STREQ(e.what(), "Unkown OutOfRangeBehaviour - 7");
    }
}

TEST_F(TUOMTest, Scale_DigitalUom_PassesValueThrough)
{
    auto uom = MakeTable(Up, oorDoNotInsert);
    uom->SetIsDigital(true);
    EXPECT_EQ(uom->Scale(1234), 1234.0L);
}

TEST_F(TUOMTest, Scale_NaNInsideDescendingTable_EndsInsteadOfLooping)
{
    // The search would turn back and forth between the points around the NaN.
    auto uom = MakeTable({{10, 0}, {5, 50}, {NaN, 60}, {0, 100}}, oorClamp);
    EXPECT_THROW(uom->Scale(5), std::runtime_error);
    // The table is still usable for values away from the NaN.
    EXPECT_NEAR(static_cast<double>(uom->Scale(7.5)), 25.0, 1e-9);
}

TEST_F(TUOMTest, CreateXYArray_SmallerTable_RestartsSearchInsideIt)
{
    auto uom = MakeTable({{0, 0}, {10, 10}, {20, 20}, {30, 30}}, oorClamp);
    uom->Scale(25);
    ASSERT_EQ(uom->LastIndex(), 2);
    uom->CreateXYArray(2);
    uom->SetPoint(0, 0, 0);
    uom->SetPoint(1, 10, 100);
    EXPECT_EQ(uom->LastIndex(), 0);
    EXPECT_NEAR(static_cast<double>(uom->Scale(5)), 50.0, 1e-9);
}

TEST_F(TUOMTest, PopulateUOMData_WholeTable_ReadsFloatPairs)
{
    zelvo::test::TWireRecord b;
    b.U8(2).F32(0).F32(0).F32(10).F32(100).U8(0xEE); // one byte past the table
    TUOM uom(nullptr, &Errors);
    EXPECT_EQ(uom.PopulateUOMData(b.Bytes().data(), b.Bytes().size()), 17);
    ASSERT_EQ(uom.PointCount(), 2);
    EXPECT_EQ(uom.XValue(1), 10.0L);
    EXPECT_EQ(uom.YValue(1), 100.0L);
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(TUOMTest, PopulateUOMData_CutInsidePair_KeepsWholePairsAndLogs)
{
    zelvo::test::TWireRecord b;
    b.U8(3).F32(0).F32(0).F32(10).F32(100).F32(20); // third pair lacks its Y
    TUOM uom(nullptr, &Errors);
    EXPECT_EQ(uom.PopulateUOMData(b.Bytes().data(), b.Bytes().size()), 21);
    EXPECT_EQ(uom.PointCount(), 2);
    EXPECT_TRUE(Log().startsWith("TUOM::PopulateUOMData Exception - "));
}

TEST_F(TUOMTest, PopulateUOMData_DigitalUom_ReadsNothing)
{
    const uint8_t block[] = {2, 0, 0, 0, 0};
    TUOM uom(nullptr, &Errors);
    uom.SetIsDigital(true);
    EXPECT_EQ(uom.PopulateUOMData(block, sizeof block), 0);
    EXPECT_EQ(uom.PointCount(), 0);
}

} // namespace
