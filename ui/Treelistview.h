#pragma once

#include "model/Listview.h"

class QTreeWidget;
class QTreeWidgetItem;

// A model list shown in a QTreeWidget: a flat list whose columns, headers
// and widths the list sets, one whole row selected at a time, a double-click
// on a row going to the list's handler. It is made as a child of its tree
// and goes with it; the tree's rows carry their record under Qt::UserRole of
// column 0.
class TTreeListView final : public TListView
{
public:
    explicit TTreeListView(QTreeWidget *tree);

    QTreeWidget *Tree() const { return FTree; }
    // The item that shows `row` (a row of a TTreeListView), or null.
    static QTreeWidgetItem *Item(TListRow *row);

    void SetColumns(const QList<TColumn> &columns) override;
    void Clear() override;
    TListRow *AddRow(void *record) override;
    void RemoveLastRow() override;
    int RowCount() const override;
    TListRow *Row(int index) const override;
    TListRow *SelectedRow() const override;

private:
    QTreeWidget *const FTree;
};
