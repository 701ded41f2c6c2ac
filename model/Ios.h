#pragma once

#include "model/Io.h"
#include "model/Listview.h"

#include <QMetaObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

// The unit's own I/O list, shown in the live-values list view. Owns its
// records; rows exist only while a view is attached.
class TIOs
{
public:
    // (sender, I/O number, new value): the user edited a value that must go
    // to the unit.
    using TValueEdited = std::function<void(TIOs *sender, uint8_t number, int32_t value)>;

    TIOs() = default;
    ~TIOs();
    TIOs(const TIOs &) = delete;
    TIOs &operator=(const TIOs &) = delete;

    TValueEdited OnValueEdited;

    // Deletes every record together with the rows that show them.
    void Clear();
    // Appends a record and takes ownership.
    void Add(TIO *io);
    void Add(std::unique_ptr<TIO> io) { Add(io.release()); }
    void AttachListView(TListView *view);
    TListView *ListView() const { return View.data(); }
    void Refresh();

    TIO *FindIO(uint8_t number) const;
    void SetValue(uint8_t number, long double value);
    void SetUOMDisplay(uint8_t number, bool isDigital, const QString &unitsText,
                       const QString &onText, const QString &offText);
    void SetEditable(bool flag) { Editable = flag; }
    bool IsEditable() const { return Editable; }

    // How a double-click asks for a number (the window opens its input box
    // here); without one only the outputs that toggle can be edited.
    void SetInputQuery(TIO::TInputQuery query) { InputQuery = std::move(query); }
    // Told when the number typed is none (the unit object queues the message
    // on its log); without one nobody is told.
    void SetInvalidEntryHandler(TIO::TInvalidEntry handler) { InvalidEntry = std::move(handler); }

    // The view's double-click handler: edits the selected row's record.
    void ListViewDoubleClick();

    int Count() const { return static_cast<int>(Records.size()); }
    TIO *At(int index) const { return Records.at(static_cast<std::size_t>(index)).get(); }

private:
    void ForgetRows();
    void DetachView();

    std::vector<std::unique_ptr<TIO>> Records;
    QPointer<TListView> View;
    QMetaObject::Connection DestroyedConnection;
    TIO::TInputQuery InputQuery;
    TIO::TInvalidEntry InvalidEntry;
    bool Editable = false;
};
