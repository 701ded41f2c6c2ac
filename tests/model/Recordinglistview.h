#pragma once

#include "model/Listview.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace zelvo::test
{

// A list view that keeps what a list writes into it: the columns, the rows
// with their texts and records, and a selection the test sets. A test plays
// the user's double-click with DoubleClick or DoubleClicked.
class TRecordingListView final : public TListView
{
public:
    class TRow final : public TListRow
    {
    public:
        using TListRow::TListRow;
        void SetText(int column, const QString &text) override
        {
            if (column >= Texts.size())
                Texts.resize(column + 1);
            Texts[column] = text;
        }
        bool IsUnchecked() const override { return Unchecked; }
        QString Text(int column) const { return Texts.value(column); }

        QStringList Texts;
        bool Unchecked = false; // a check box shown and cleared
    };

    QList<TColumn> Columns;

    void SetColumns(const QList<TColumn> &columns) override
    {
        Clear();
        Columns = columns;
    }
    void Clear() override
    {
        Selected = nullptr;
        Rows.clear();
    }
    TListRow *AddRow(void *record) override
    {
        Rows.push_back(std::make_unique<TRow>(record));
        return Rows.back().get();
    }
    void RemoveLastRow() override
    {
        if (Rows.empty())
            return;
        if (Selected == Rows.back().get())
            Selected = nullptr;
        Rows.pop_back();
    }
    int RowCount() const override { return static_cast<int>(Rows.size()); }
    TListRow *Row(int index) const override { return At(index); }
    TListRow *SelectedRow() const override { return Selected; }

    // The row at `index`, or null.
    TRow *At(int index) const
    {
        return index >= 0 && index < RowCount() ? Rows[static_cast<std::size_t>(index)].get()
                                                : nullptr;
    }
    // The text in a cell; empty outside the rows.
    QString Text(int row, int column) const
    {
        const TRow *r = At(row);
        return r ? r->Text(column) : QString();
    }
    // The text in a cell of a row of this kind of view.
    static QString TextOf(const TListRow *row, int column)
    {
        return static_cast<const TRow *>(row)->Text(column);
    }
    void *RecordAt(int row) const { return At(row) ? At(row)->Record() : nullptr; }
    // Selects the row at `index`; outside the rows, none.
    void Select(int index) { Selected = At(index); }
    // The user double-clicks the row at `index`: it is selected first.
    void DoubleClick(int index)
    {
        Select(index);
        DoubleClicked();
    }
    using TListView::DoubleClicked;

private:
    std::vector<std::unique_ptr<TRow>> Rows;
    TRow *Selected = nullptr;
};

} // namespace zelvo::test
