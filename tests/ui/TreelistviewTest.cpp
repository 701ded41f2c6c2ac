// The model's lists shown in a real QTreeWidget through the window's list
// view, offscreen: columns, rows, selection, check boxes, double-clicks with
// the mouse, and either side going first.

#include "ui/Treelistview.h"

#include "model/Fixediolists.h"
#include "model/Ios.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"

#include <QHeaderView>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

// One server-side configuration record as the unit sends it.
std::vector<uint8_t> ConfigRecord(int32_t id, const char *tag, const std::string &name)
{
    std::vector<uint8_t> b(17 + name.size(), 0);
    std::memcpy(b.data(), &id, 4); // little-endian on every machine the tests run on
    std::memcpy(b.data() + 4, tag, 6);
    b[10] = 1;    // input type
    b[15] = 0x05; // log and display
    b[16] = static_cast<uint8_t>(name.size());
    std::memcpy(b.data() + 17, name.data(), name.size());
    return b;
}

// Double-clicks a row with the mouse: a click selects it first, as a user's
// double-click reaches an item view as press, release, then double-click.
void MouseDoubleClick(QTreeWidget &tree, QTreeWidgetItem *item)
{
    tree.scrollToItem(item);
    const QRect rect = tree.visualItemRect(item);
    ASSERT_TRUE(rect.isValid());
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, rect.center());
}

void ShowTree(QTreeWidget &tree)
{
    tree.resize(500, 300);
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
}

} // namespace

TEST(TTreeListView, SetColumns_FlatWholeRowListWithTheseColumnsAndNoOldRows)
{
    QTreeWidget tree;
    tree.setColumnCount(7);
    tree.setRootIsDecorated(true);
    tree.setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree.setHeaderHidden(true);
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{"stale"}));
    auto *view = new TTreeListView(&tree);
    EXPECT_EQ(view->parent(), &tree);
    EXPECT_EQ(view->Tree(), &tree);

    view->SetColumns({{"IO Name", 120}, {"IO Tag", 60}, {"Logging", 90}});
    ASSERT_EQ(tree.columnCount(), 3);
    const QStringList captions{"IO Name", "IO Tag", "Logging"};
    const int widths[] = {120, 60, 90};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(tree.headerItem()->text(c), captions[c]);
        EXPECT_EQ(tree.columnWidth(c), widths[c]);
    }
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    EXPECT_FALSE(tree.rootIsDecorated());
    EXPECT_FALSE(tree.itemsExpandable());
    EXPECT_FALSE(tree.isHeaderHidden());
    EXPECT_EQ(tree.selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(tree.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(tree.allColumnsShowFocus());
    EXPECT_FALSE(tree.header()->stretchLastSection());
}

TEST(TTreeListView, Rows_TextsRecordsOrderAndRemoval)
{
    QTreeWidget tree;
    TTreeListView view(&tree);
    view.SetColumns({{"A", 50}, {"B", 50}});
    int first = 0, second = 0;
    TListRow *a = view.AddRow(&first);
    TListRow *b = view.AddRow(&second);
    TListRow *empty = view.AddRow(nullptr);
    a->SetText(0, "one");
    a->SetText(1, "1");
    b->SetText(1, "2");

    ASSERT_EQ(view.RowCount(), 3);
    ASSERT_EQ(tree.topLevelItemCount(), 3);
    EXPECT_EQ(TTreeListView::Item(a), tree.topLevelItem(0));
    EXPECT_EQ(TTreeListView::Item(empty), tree.topLevelItem(2));
    EXPECT_EQ(view.Row(1), b);
    EXPECT_EQ(view.Row(3), nullptr);
    EXPECT_EQ(view.Row(-1), nullptr);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), "one");
    EXPECT_EQ(tree.topLevelItem(0)->text(1), "1");
    EXPECT_EQ(tree.topLevelItem(1)->text(0), "");
    EXPECT_EQ(tree.topLevelItem(1)->text(1), "2");
    // The record travels with the row, also where the window reads it.
    EXPECT_EQ(b->Record(), &second);
    EXPECT_EQ(tree.topLevelItem(1)->data(0, Qt::UserRole).value<void *>(), &second);
    EXPECT_EQ(empty->Record(), nullptr);
    EXPECT_FALSE(tree.topLevelItem(2)->data(0, Qt::UserRole).isValid());

    view.RemoveLastRow();
    ASSERT_EQ(tree.topLevelItemCount(), 2);
    EXPECT_EQ(tree.topLevelItem(1), TTreeListView::Item(b));
    // An item put there by someone else is no row of the model.
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{"foreign"}));
    EXPECT_EQ(view.Row(2), nullptr);
    view.Clear();
    view.RemoveLastRow(); // nothing left: nothing happens
    EXPECT_EQ(view.RowCount(), 0);
}

TEST(TTreeListView, SelectedRowAndCheckBox_FollowTheTree)
{
    QTreeWidget tree;
    TTreeListView view(&tree);
    view.SetColumns({{"A", 50}});
    int record = 0;
    TListRow *row = view.AddRow(&record);
    view.AddRow(nullptr);
    EXPECT_EQ(view.SelectedRow(), nullptr);
    tree.setCurrentItem(tree.topLevelItem(0));
    EXPECT_EQ(view.SelectedRow(), row);
    tree.setCurrentItem(tree.topLevelItem(1));
    EXPECT_EQ(view.SelectedRow(), view.Row(1));
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{"foreign"}));
    tree.setCurrentItem(tree.topLevelItem(2));
    EXPECT_EQ(view.SelectedRow(), nullptr);

    EXPECT_FALSE(row->IsUnchecked()) << "no check box shown";
    tree.topLevelItem(0)->setCheckState(0, Qt::Unchecked);
    EXPECT_TRUE(row->IsUnchecked());
    tree.topLevelItem(0)->setCheckState(0, Qt::Checked);
    EXPECT_FALSE(row->IsUnchecked());
}

// The unit's own list in the tree: its columns, rows and the edit a mouse
// double-click starts.
TEST(TTreeListView, LiveList_ColumnsRowsAndMouseDoubleClickEditsTheValue)
{
    QTreeWidget tree;
    tree.setColumnCount(7);
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{"stale"}));
    TIOs ios;
    BuildFixedIOList(ios, UNIT_TYPE_OSTRA);
    ios.AttachListView(new TTreeListView(&tree));

    ASSERT_EQ(tree.columnCount(), 4);
    const QStringList captions{"IO Name", "IO Tag", "IO Type", "Value"};
    const int widths[] = {120, 60, 110, 80};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(tree.headerItem()->text(c), captions[c]);
        EXPECT_EQ(tree.columnWidth(c), widths[c]);
    }
    ASSERT_EQ(tree.topLevelItemCount(), 48);
    EXPECT_EQ(tree.topLevelItem(0)->text(0), ios.At(0)->Name);
    EXPECT_EQ(tree.topLevelItem(8)->text(2), "Configurable");
    EXPECT_EQ(tree.topLevelItem(47)->text(0), "");
    ios.SetValue(ios.At(0)->Number, 1);
    EXPECT_EQ(tree.topLevelItem(0)->text(3), ios.At(0)->GetValueText());

    // A digital output toggles on a double-click of its row.
    TIO *output = nullptr;
    for (int i = 0; i < ios.Count() && output == nullptr; ++i)
        if (ios.At(i)->IOType == 1)
            output = ios.At(i);
    ASSERT_NE(output, nullptr);
    ios.SetEditable(true);
    std::vector<std::pair<uint8_t, int32_t>> edits;
    ios.OnValueEdited = [&](TIOs *, uint8_t number, int32_t value) {
        edits.emplace_back(number, value);
    };
    const int32_t toggled = output->Value == 0 ? 1 : 0;
    ShowTree(tree);
    MouseDoubleClick(tree, TTreeListView::Item(output->ListItem));
    ASSERT_EQ(edits.size(), 1u);
    EXPECT_EQ(edits[0], std::make_pair(output->Number, toggled));
    // The empty last row edits nothing.
    MouseDoubleClick(tree, tree.topLevelItem(47));
    EXPECT_EQ(edits.size(), 1u);
}

TEST(TTreeListView, TreeDestroyedFirst_ListForgetsItsRows)
{
    TIOs ios;
    BuildFixedIOList(ios, UNIT_TYPE_VELLO);
    {
        QTreeWidget tree;
        ios.AttachListView(new TTreeListView(&tree));
        ASSERT_NE(ios.ListView(), nullptr);
        ASSERT_NE(ios.At(0)->ListItem, nullptr);
    }
    EXPECT_EQ(ios.ListView(), nullptr);
    EXPECT_EQ(ios.At(0)->ListItem, nullptr);
    ios.SetValue(0, 1); // would write into a freed row without the guard
    ios.Refresh();
}

TEST(TTreeListView, ListDestroyedFirst_TreeEmptyAndItsDoubleClickReachesNothing)
{
    QTreeWidget tree;
    int edits = 0;
    {
        TIOs ios;
        ios.Add(std::make_unique<TIO>(7, "Output", "[X]", 1));
        ios.SetEditable(true);
        ios.OnValueEdited = [&edits](TIOs *, uint8_t, int32_t) { ++edits; };
        ios.AttachListView(new TTreeListView(&tree));
        ASSERT_EQ(tree.topLevelItemCount(), 2);
    }
    EXPECT_EQ(tree.topLevelItemCount(), 0);
    tree.addTopLevelItem(new QTreeWidgetItem(QStringList{"later"}));
    tree.setCurrentItem(tree.topLevelItem(0));
    emit tree.itemDoubleClicked(tree.topLevelItem(0), 0);
    EXPECT_EQ(edits, 0);
}

// The configuration list: a mouse double-click hands the row's record to
// the edit dialog; the empty last row opens nothing.
TEST(TTreeListView, ConfigList_MouseDoubleClickOpensTheRowsRecord)
{
    QTreeWidget config, external;
    TServerSideIOs list;
    list.AttachConfigView(new TTreeListView(&config));
    list.AttachExternalView(new TTreeListView(&external));
    std::vector<uint8_t> bytes = ConfigRecord(1, "IN01  ", "Level");
    const std::vector<uint8_t> more = ConfigRecord(2, "EXT002", "Flow");
    bytes.insert(bytes.end(), more.begin(), more.end());
    ASSERT_EQ(list.PopulateRecords(bytes.data(), bytes.size()), bytes.size());
    ASSERT_EQ(config.topLevelItemCount(), 3);
    ASSERT_EQ(external.columnCount(), 7);
    ASSERT_EQ(external.topLevelItemCount(), 1);
    EXPECT_EQ(external.headerItem()->text(5), "Slave Name");
    EXPECT_EQ(external.columnWidth(5), 165);
    EXPECT_EQ(external.topLevelItem(0)->text(0), "Flow");
    EXPECT_EQ(external.topLevelItem(0)->text(3), "<No data>");
    list.Item(1)->SetValue(12.5L);
    EXPECT_EQ(external.topLevelItem(0)->text(3), "12.50 ");

    std::vector<TServerSideIO *> opened;
    int logons = 0;
    list.SetEditHooks({[] { return true; },
                       [&opened](TServerSideIO *record, TZelvo *) { opened.push_back(record); },
                       [&logons] { ++logons; }});
    ShowTree(config);
    MouseDoubleClick(config, config.topLevelItem(1));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], list.Item(1));
    MouseDoubleClick(config, config.topLevelItem(2));
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_EQ(logons, 0);
}
