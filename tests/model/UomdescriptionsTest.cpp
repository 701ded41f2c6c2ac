#include "model/Uomdescriptions.h"
#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

#include <gtest/gtest.h>

namespace
{

using zelvo::test::TWireRecord;
using TUOMDescriptionsTest = zelvo::test::TWithErrorLog;

} // namespace

TEST_F(TUOMDescriptionsTest, Populate_ZeroCount_YieldsEmptyList)
{
    TUOMDescriptions list(&Errors);
    list.PopulateUOMDescriptions(TWireRecord().U16(1).UOMDescription(1, 1, "x").Q());
    ASSERT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.PopulateUOMDescriptions(QByteArray(2, '\0')));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(TUOMDescriptionsTest, Populate_RecordsOfVaryingLength_IncludingEmptyName)
{
    const QByteArray block = TWireRecord()
                                 .U16(3)
                                 .UOMDescription(1001, 2, "bar")
                                 .UOMDescription(-1, 255, "") // takes 6 bytes
                                 .UOMDescription(0x01020304, 0, "m\xB3/h")
                                 .Q();
    ASSERT_EQ(block.size(), 2 + 9 + 6 + 10);
    TUOMDescriptions list(&Errors);
    ASSERT_TRUE(list.PopulateUOMDescriptions(block));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.At(0)->GetName(), "bar");
    EXPECT_EQ(list.At(0)->GetUOMID(), 1001);
    EXPECT_EQ(list.At(0)->GetCategory(), 2);
    EXPECT_EQ(list.At(1)->GetName(), "");
    EXPECT_EQ(list.At(1)->GetUOMID(), -1);
    EXPECT_EQ(list.At(1)->GetCategory(), 255);
    EXPECT_EQ(list.At(2)->GetName(), QString::fromLatin1("m\xB3/h"));
    EXPECT_EQ(list.At(2)->GetUOMID(), 0x01020304);
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(TUOMDescriptionsTest, Populate_CountPromisesMore_KeepsCompleteRecordsAndLogs)
{
    const QByteArray full =
        TWireRecord().U16(3).UOMDescription(1, 1, "one").UOMDescription(2, 1, "two").Q();
    for (int cut = 0; cut <= full.size(); ++cut) {
        TUOMDescriptions list(&Errors);
        EXPECT_FALSE(list.PopulateUOMDescriptions(full.left(cut)));
        const int expected = cut < 11 ? 0 : (cut < 20 ? 1 : 2);
        EXPECT_EQ(list.Count(), expected) << "cut " << cut;
    }
    EXPECT_TRUE(Log().startsWith("TUOMDescriptions::PopulateUOMDescriptions Exception - "));
}
