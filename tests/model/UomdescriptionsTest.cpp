#include "model/Uomdescriptions.h"
#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

#include <gtest/gtest.h>

#include <QComboBox>

namespace
{

using zelvo::test::TWireRecord;
using TUOMDescriptionsTest = zelvo::test::TWithErrorLog;

QStringList ComboNames(const QComboBox &combo)
{
    QStringList names;
    for (int i = 0; i < combo.count(); ++i)
        names << combo.itemText(i);
    return names;
}

} // namespace

TEST_F(TUOMDescriptionsTest, Populate_ZeroCount_YieldsEmptyList)
{
    TUOMDescriptions list;
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
        TWireRecord().U16(3).UOMDescription(1, 1, "one").UOMDescription(2, 1, "two").Q();
    for (int cut = 0; cut <= full.size(); ++cut) {
        TUOMDescriptions list;
        EXPECT_FALSE(list.PopulateUOMDescriptions(full.left(cut)));
        const int expected = cut < 11 ? 0 : (cut < 20 ? 1 : 2);
        EXPECT_EQ(list.Count(), expected) << "cut " << cut;
    }
    EXPECT_TRUE(Log().startsWith("TUOMDescriptions::PopulateUOMDescriptions Exception - "));
}

TEST_F(TUOMDescriptionsTest, FillUOMCombo_CategoryAndCurrentIdDecideEntriesAndSelection)
{
    const QByteArray block = TWireRecord()
                                 .U16(5)
                                 .UOMDescription(10, 1, "bar")
                                 .UOMDescription(11, 2, "degC")
                                 .UOMDescription(12, 1, "psi")
                                 .UOMDescription(12, 1, "psi (again)")
                                 .UOMDescription(13, 1, "kPa")
                                 .Q();
    TUOMDescriptions list;
    ASSERT_TRUE(list.PopulateUOMDescriptions(block));
    QComboBox combo;

    struct Row {
        int32_t category;
        int32_t current;
        QStringList names;
        int selected;
    };
    const Row rows[] = {
        {1, 10, {"bar", "psi", "psi (again)", "kPa"}, 0},
        {1, 12, {"bar", "psi", "psi (again)", "kPa"}, 2},  // the last match wins
        {1, 11, {"bar", "psi", "psi (again)", "kPa"}, -1}, // not in the category
        {2, 11, {"degC"}, 0},
        {7, 10, {}, -1},
    };
    for (const Row &row : rows) {
        list.FillUOMCombo(row.category, &combo, row.current);
        EXPECT_EQ(ComboNames(combo), row.names) << row.category << "/" << row.current;
        EXPECT_EQ(combo.currentIndex(), row.selected) << row.category << "/" << row.current;
    }
    list.FillUOMCombo(1, &combo, 13);
    EXPECT_EQ(TUOMDescriptions::FromComboData(&combo, combo.currentIndex())->GetUOMID(), 13);
}
