#include "ui/Treelistview.h"

#include <QHeaderView>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace
{

// A row of the tree that is also the model's row.
class TTreeRow final : public QTreeWidgetItem, public TListRow
{
public:
    explicit TTreeRow(void *record) : QTreeWidgetItem(UserType), TListRow(record)
    {
        // The empty row carries no record at all, as a plain item.
        if (record != nullptr)
            setData(0, Qt::UserRole, QVariant::fromValue(record));
    }

    void SetText(int column, const QString &text) override { setText(column, text); }

    bool IsUnchecked() const override
    {
        const QVariant check = data(0, Qt::CheckStateRole);
        return check.isValid() && check.toInt() == Qt::Unchecked;
    }
};

TListRow *RowOf(QTreeWidgetItem *item)
{
    // Items put into the tree by others are no rows of the model.
    return dynamic_cast<TTreeRow *>(item);
}

} // namespace

TTreeListView::TTreeListView(QTreeWidget *tree) : TListView(tree), FTree(tree)
{
    connect(tree, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *, int) { DoubleClicked(); });
}

QTreeWidgetItem *TTreeListView::Item(TListRow *row)
{
    return dynamic_cast<TTreeRow *>(row);
}

void TTreeListView::SetColumns(const QList<TColumn> &columns)
{
    FTree->clear();
    FTree->setColumnCount(0);
    FTree->setRootIsDecorated(false);
    FTree->setItemsExpandable(false);
    FTree->setHeaderHidden(false);
    FTree->setSelectionMode(QAbstractItemView::SingleSelection);
    FTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    FTree->setAllColumnsShowFocus(true);
    // Columns keep the widths given here, like a report list.
    FTree->header()->setStretchLastSection(false);
    QStringList captions;
    for (const TColumn &c : columns)
        captions << c.Caption;
    FTree->setHeaderLabels(captions);
    for (int i = 0; i < columns.size(); ++i)
        FTree->setColumnWidth(i, columns[i].Width);
}

void TTreeListView::Clear()
{
    FTree->clear();
}

TListRow *TTreeListView::AddRow(void *record)
{
    auto *row = new TTreeRow(record);
    FTree->addTopLevelItem(row);
    return row;
}

void TTreeListView::RemoveLastRow()
{
    const int count = FTree->topLevelItemCount();
    if (count > 0)
        delete FTree->takeTopLevelItem(count - 1);
}

int TTreeListView::RowCount() const
{
    return FTree->topLevelItemCount();
}

TListRow *TTreeListView::Row(int index) const
{
    return RowOf(FTree->topLevelItem(index));
}

TListRow *TTreeListView::SelectedRow() const
{
    const QList<QTreeWidgetItem *> selected = FTree->selectedItems();
    return selected.isEmpty() ? nullptr : RowOf(selected.first());
}
