#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <utility>

// One row of a list view: its texts by column and the record it shows. The
// view that made the row owns it.
class TListRow
{
public:
    explicit TListRow(void *record) : FRecord(record) {}
    virtual ~TListRow() = default;
    TListRow(const TListRow &) = delete;
    TListRow &operator=(const TListRow &) = delete;

    // The record the row shows; null for an empty row.
    void *Record() const { return FRecord; }
    virtual void SetText(int column, const QString &text) = 0;
    // True when the row shows a check box and it is cleared.
    virtual bool IsUnchecked() const = 0;

private:
    void *const FRecord;
};

// A list the model shows its records in, one row per record in the order
// they are added. The front end implements it over its own list widget; the
// model writes rows through it only. It is a QObject so a list can tell when
// it goes (`destroyed`): its rows go with it.
class TListView : public QObject
{
public:
    struct TColumn {
        QString Caption;
        int Width;
    };

    using QObject::QObject;

    // Drops every row and shows these columns with these widths, as a flat
    // list in which one whole row at a time is selected.
    virtual void SetColumns(const QList<TColumn> &columns) = 0;
    // Drops every row.
    virtual void Clear() = 0;
    // Appends a row with empty texts for `record` (null: an empty row).
    virtual TListRow *AddRow(void *record) = 0;
    // Drops the last row, if there is one.
    virtual void RemoveLastRow() = 0;
    virtual int RowCount() const = 0;
    // The row at `index`, or null outside the rows.
    virtual TListRow *Row(int index) const = 0;
    // The selected row, or null.
    virtual TListRow *SelectedRow() const = 0;

    // What a double-click on a row does (the list's own handler); empty:
    // nothing.
    void SetDoubleClickHandler(std::function<void()> handler) { FDoubleClick = std::move(handler); }

protected:
    // The implementation reports a double-click on a row here.
    void DoubleClicked() const
    {
        // A copy: the handler may attach the list elsewhere while it runs.
        const std::function<void()> handler = FDoubleClick;
        if (handler)
            handler();
    }

private:
    std::function<void()> FDoubleClick;
};
