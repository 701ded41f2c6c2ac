#include "model/Uomdescriptions.h"
#include "CoreBlocks.h"
#include "TestUtil.h"
#include "common/Errormanager.h"

#include <gtest/gtest.h>

namespace
{

class TUOMDescriptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DestroyErrorManager();
        CreateErrorManager(QString::fromStdString(zelvo::test::TempDir()) + "/Log.txt");
    }
    void TearDown() override { DestroyErrorManager(); }
    static QString Log() { return ErrorManager()->PendingLog(); }
};

} // namespace

TEST_F(TUOMDescriptionsTest, Populate_ZeroCount_YieldsEmptyList)
{
    TUOMDescriptions list;
    list.PopulateUOMDescriptions(TBlockWriter().U16(1).Description(1, 1, "x").bytes);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.PopulateUOMDescriptions(QByteArray(2, '\0')));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(TUOMDescriptionsTest, Populate_RecordsOfVaryingLength_IncludingEmptyName)
{
    const QByteArray block = TBlockWriter()
                                 .U16(3)
                                 .Description(1001, 2, "bar")
                                 .Description(-1, 255, "") // takes 6 bytes
                                 .Description(0x01020304, 0, QByteArray("m\xB3/h"))
                                 .bytes;
    ASSERT_EQ(block.size(), 2 + 9 + 6 + 10);
    TUOMDescriptions list;
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
        TBlockWriter().U16(3).Description(1, 1, "one").Description(2, 1, "two").bytes;
    for (int cut = 0; cut <= full.size(); ++cut) {
        TUOMDescriptions list;
        EXPECT_FALSE(list.PopulateUOMDescriptions(full.left(cut)));
        const int expected = cut < 11 ? 0 : (cut < 20 ? 1 : 2);
        EXPECT_EQ(list.Count(), expected) << "cut " << cut;
    }
    EXPECT_TRUE(Log().startsWith("TUOMDescriptions::PopulateUOMDescriptions Exception - "));
}
