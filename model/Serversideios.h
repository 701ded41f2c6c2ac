#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "model/Listview.h"
#include "model/Serversideio.h"

class TErrorManager;
class TZelvo;

// Outcome of building the upload payload.
enum class TUploadResult {
    NoChanges, // no record is changed; nothing written
    Built,     // the payload of all changed records is in the buffer
    TooLarge,  // the changed records do not fit the buffer; nothing written
    Partial,   // the changed records that fit are written; the others are not
};

// The I/O configuration as the server holds it, shown in the configuration
// view (every record plus an empty last row) and the external I/O view (the
// external records). Runs on the UI thread only.
class TServerSideIOs : public QObject
{
public:
    // Converts the raw value of external I/O `externalNumber`; the unit
    // object applies the I/O's input type and UOM.
    using TExternalConverter = std::function<long double(uint32_t raw, int32_t externalNumber)>;
    // The window side of a double-click on the configuration view.
    struct TEditHooks {
        std::function<bool()> IsLoggedOn;                      // user logged on?
        std::function<void(TServerSideIO *, TZelvo *)> EditIO; // modal edit dialog
        std::function<void()> Logon;                           // modal logon dialog
    };

    // Records cut short are logged on `log`, and so are the records' own
    // complaints; null logs nothing.
    explicit TServerSideIOs(TZelvo *unit = nullptr, TErrorManager *log = nullptr,
                            QObject *parent = nullptr);
    ~TServerSideIOs() override;

    TZelvo *Unit() const { return FUnit; }

    // Deletes every record together with the rows that show them.
    void Clear();
    // Appends and takes ownership; shown from the next Refresh.
    void Add(std::unique_ptr<TServerSideIO> record);
    int Count() const { return static_cast<int>(FItems.size()); }
    TServerSideIO *Item(int index) const
    {
        return FItems.at(static_cast<std::size_t>(index)).get();
    }

    // Reads the records of one I/O-configuration reply (at most `length`
    // bytes), adds each complete one, refreshes the views and returns the
    // bytes consumed. A record cut short ends the reading and is logged.
    std::size_t PopulateRecords(const uint8_t *data, std::size_t length);

    void AttachConfigView(TListView *view);
    void AttachExternalView(TListView *view);
    TListView *ConfigView() const { return FConfigView; }
    TListView *ExternalView() const { return FExternalView; }
    // Rebuilds the rows of both views; nothing until both are attached.
    void Refresh();
    int16_t ExternalCount() const { return FExternalCount; }

    // Takes the value of external I/O index + 1 from the 4-byte slot at data
    // (at most `length` bytes there), converts it with `unit` and shows it.
    // Always returns 4, the size of a slot.
    int ApplyExternalValue(const uint8_t *data, std::size_t length, int index,
                           const TExternalConverter &unit);
    // Modbus details of the first record with that id; no record, no effect.
    void SetModbusInfo(int32_t ioId, int32_t dataType, int32_t slaveId, const QString &slaveName);
    // Error bit of the first record with that external number.
    void ApplyErrorBit(bool isRead, int32_t externalNumber, bool set);

    // The upload payload: the upload records of every changed record in list
    // order, written to dst only when all of them fit in capacity.
    TUploadResult BuildUpload(uint8_t *dst, std::size_t capacity, std::size_t &length) const;
    // As many changed records as fit in capacity, in list order up to the
    // first that does not fit; `sentIds` receives the IOIDs of those written.
    // Built when all of them fit, Partial when some are left over, TooLarge
    // when not even the first fits.
    TUploadResult BuildUploadPart(uint8_t *dst, std::size_t capacity, std::size_t &length,
                                  std::vector<int32_t> &sentIds) const;
    // Clears every Changed flag (after a successful upload), then Refresh.
    void ClearChanged();
    // Clears the Changed flag of the records with these IOIDs only (after a
    // successful upload of part of the changes), then Refresh.
    void ClearChanged(const std::vector<int32_t> &ioIds);

    // Double-click on the configuration view: the edit dialog for a logged-on
    // user, otherwise the logon dialog. Nothing for the empty last row.
    void SetEditHooks(TEditHooks hooks) { FHooks = std::move(hooks); }
    void ConfigViewDoubleClick();

    TServerSideIO *FindByIOID(int32_t ioId) const;
    TServerSideIO *FindExternal(int32_t externalNumber) const;

private:
    void RemoveRows();
    // Adds rows for the records from index `first` on (those read from the
    // latest reply) below the rows already shown; rebuilds when the views
    // do not match the records before `first`.
    void AppendRows(std::size_t first);
    void CountExternal();
    // Records forget the rows of a view that is destroyed before the list.
    QMetaObject::Connection WatchView(TListView *view, bool external);

    TZelvo *FUnit;
    TErrorManager *FLog;
    QPointer<TListView> FConfigView;
    QPointer<TListView> FExternalView;
    std::vector<std::unique_ptr<TServerSideIO>> FItems;
    int16_t FExternalCount = 0;
    TEditHooks FHooks;
    QMetaObject::Connection FConfigDestroyed;
    QMetaObject::Connection FExternalDestroyed;
};
