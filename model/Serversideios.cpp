#include "model/Serversideios.h"

#include <algorithm>

#include "common/Errormanager.h"

#include <limits>

namespace
{

const QList<TListView::TColumn> ConfigColumns = {{QStringLiteral("IO Name"), 120},
                                                 {QStringLiteral("IO Tag"), 60},
                                                 {QStringLiteral("Logging"), 90}};
const QList<TListView::TColumn> ExternalColumns = {
    {QStringLiteral("IO Name"), 120}, {QStringLiteral("IO Tag"), 60},
    {QStringLiteral("Logging"), 90},  {QStringLiteral("Value"), 80},
    {QStringLiteral("Error"), 70},    {QStringLiteral("Slave Name"), 165},
    {QStringLiteral("ID"), 30}};

} // namespace

TServerSideIOs::TServerSideIOs(TZelvo *unit, TErrorManager *log, QObject *parent)
    : QObject(parent), FUnit(unit), FLog(log)
{
}

TServerSideIOs::~TServerSideIOs()
{
    // The views belong to the window and may outlive the list: no row may be
    // left pointing at a deleted record.
    RemoveRows();
    if (FConfigView)
        FConfigView->SetDoubleClickHandler({});
    disconnect(FConfigDestroyed);
    disconnect(FExternalDestroyed);
}

QMetaObject::Connection TServerSideIOs::WatchView(TListView *view, bool external)
{
    return connect(view, &QObject::destroyed, this, [this, external]() {
        for (const auto &record : FItems)
            record->DetachListItem(external);
    });
}

void TServerSideIOs::RemoveRows()
{
    for (const auto &record : FItems)
        record->DetachListItems();
    if (FConfigView)
        FConfigView->Clear();
    if (FExternalView)
        FExternalView->Clear();
}

void TServerSideIOs::Clear()
{
    RemoveRows();
    FItems.clear();
    Refresh();
}

void TServerSideIOs::Add(std::unique_ptr<TServerSideIO> record)
{
    if (record)
        FItems.push_back(std::move(record));
}

std::size_t TServerSideIOs::PopulateRecords(const uint8_t *data, std::size_t length)
{
    if (data == nullptr)
        length = 0;
    const std::size_t shown = FItems.size();
    std::size_t position = 0;
    while (position < length) {
        auto record = std::make_unique<TServerSideIO>(FLog);
        const std::size_t used = record->Populate(data + position, length - position);
        if (used == 0) {
            AddLogTo(FLog,
                     QStringLiteral("TServerSideIOs::PopulateRecords Exception - record at byte %1 "
                                    "is cut short, %2 bytes left")
                         .arg(position)
                         .arg(length - position));
            break;
        }
        Add(std::move(record));
        position += used;
    }
    AppendRows(shown);
    return position;
}

void TServerSideIOs::AppendRows(std::size_t first)
{
    // Only when the views show exactly the records before `first` plus the
    // empty last row can the new rows go below them; otherwise rebuild.
    const TListRow *last =
        FConfigView && first <= FItems.size() ? FConfigView->Row(static_cast<int>(first)) : nullptr;
    const bool rowsMatch = FExternalView && last != nullptr && last->Record() == nullptr &&
                           FConfigView->RowCount() == static_cast<int>(first) + 1 &&
                           (first == 0 || FItems[first - 1]->ConfigItem() != nullptr);
    if (!rowsMatch) {
        Refresh();
        return;
    }
    CountExternal();
    FConfigView->RemoveLastRow();
    for (std::size_t i = first; i < FItems.size(); ++i) {
        TServerSideIO *record = FItems[i].get();
        record->AttachListItem(FConfigView->AddRow(record), false);
        if (record->IsExternal())
            record->AttachListItem(FExternalView->AddRow(record), true);
    }
    FConfigView->AddRow(nullptr);
}

void TServerSideIOs::CountExternal()
{
    // The count is kept up to date even without views, so a front end
    // without windows still polls the external I/O.
    int external = 0;
    for (const auto &record : FItems)
        if (record->IsExternal())
            ++external;
    FExternalCount =
        static_cast<int16_t>(std::min(external, int{std::numeric_limits<int16_t>::max()}));
}

void TServerSideIOs::AttachConfigView(TListView *view)
{
    RemoveRows();
    if (FConfigView)
        FConfigView->SetDoubleClickHandler({});
    disconnect(FConfigDestroyed);
    FConfigView = view;
    if (view == nullptr)
        return;
    FConfigDestroyed = WatchView(view, false);
    view->SetColumns(ConfigColumns);
    view->SetDoubleClickHandler([this]() { ConfigViewDoubleClick(); });
    Refresh();
}

void TServerSideIOs::AttachExternalView(TListView *view)
{
    RemoveRows();
    disconnect(FExternalDestroyed);
    FExternalView = view;
    if (view == nullptr)
        return;
    FExternalDestroyed = WatchView(view, true);
    view->SetColumns(ExternalColumns);
    Refresh();
}

void TServerSideIOs::Refresh()
{
    CountExternal();

    if (!FConfigView || !FExternalView)
        return;
    RemoveRows();
    for (const auto &record : FItems) {
        record->AttachListItem(FConfigView->AddRow(record.get()), false);
        if (record->IsExternal())
            record->AttachListItem(FExternalView->AddRow(record.get()), true);
    }
    // The empty last row of the configuration view carries no record.
    FConfigView->AddRow(nullptr);
}

TServerSideIO *TServerSideIOs::FindByIOID(int32_t ioId) const
{
    for (const auto &record : FItems)
        if (record->IOID() == ioId)
            return record.get();
    return nullptr;
}

TServerSideIO *TServerSideIOs::FindExternal(int32_t externalNumber) const
{
    for (const auto &record : FItems)
        if (record->IsExternal() && record->ExternalNumber() == externalNumber)
            return record.get();
    return nullptr;
}

int TServerSideIOs::ApplyExternalValue(const uint8_t *data, std::size_t length, int index,
                                       const TExternalConverter &unit)
{
    constexpr int SlotSize = 4;
    TServerSideIO *record = FindExternal(index + 1);
    if (record == nullptr)
        return SlotSize;
    const std::size_t bytes = static_cast<std::size_t>(record->ValueByteLength());
    // A slot cut short by the end of the stream keeps the last value shown.
    if (data == nullptr || length < bytes)
        return SlotSize;
    uint32_t raw = 0;
    for (std::size_t i = 0; i < bytes; ++i)
        raw |= static_cast<uint32_t>(data[i]) << (8 * i);
    const long double value =
        unit ? unit(raw, record->ExternalNumber()) : static_cast<long double>(raw);
    record->SetValue(value);
    return SlotSize;
}

void TServerSideIOs::SetModbusInfo(int32_t ioId, int32_t dataType, int32_t slaveId,
                                   const QString &slaveName)
{
    TServerSideIO *record = FindByIOID(ioId);
    if (record == nullptr)
        return;
    record->SetModbusDataType(dataType);
    record->SetSlaveName(slaveName);
    record->SetSlaveID(slaveId);
}

void TServerSideIOs::ApplyErrorBit(bool isRead, int32_t externalNumber, bool set)
{
    if (TServerSideIO *record = FindExternal(externalNumber))
        record->SetErrorBit(isRead, set);
}

TUploadResult TServerSideIOs::BuildUpload(uint8_t *dst, std::size_t capacity,
                                          std::size_t &length) const
{
    length = 0;
    std::size_t total = 0;
    for (const auto &record : FItems)
        total += record->UploadRecordSize();
    if (total == 0)
        return TUploadResult::NoChanges;
    // Check the whole payload first, so nothing is written past the buffer
    // and a half payload is never sent.
    if (dst == nullptr || total > capacity)
        return TUploadResult::TooLarge;
    std::vector<int32_t> sent;
    return BuildUploadPart(dst, capacity, length, sent);
}

TUploadResult TServerSideIOs::BuildUploadPart(uint8_t *dst, std::size_t capacity,
                                              std::size_t &length,
                                              std::vector<int32_t> &sentIds) const
{
    length = 0;
    sentIds.clear();
    bool leftOver = false;
    for (const auto &record : FItems) {
        const std::size_t size = record->UploadRecordSize();
        if (size == 0)
            continue;
        // Records go in list order: the first that does not fit ends the
        // part, so the next upload carries the rest in order.
        if (leftOver || dst == nullptr || size > capacity - length) {
            leftOver = true;
            continue;
        }
        std::size_t n = 0;
        if (record->BuildUploadRecord(dst + length, capacity - length, n)) {
            length += n;
            sentIds.push_back(record->IOID());
        }
    }
    if (!leftOver)
        return sentIds.empty() ? TUploadResult::NoChanges : TUploadResult::Built;
    return sentIds.empty() ? TUploadResult::TooLarge : TUploadResult::Partial;
}

void TServerSideIOs::ClearChanged()
{
    for (const auto &record : FItems)
        record->SetChanged(false);
    Refresh();
}

void TServerSideIOs::ClearChanged(const std::vector<int32_t> &ioIds)
{
    for (const auto &record : FItems)
        if (std::find(ioIds.begin(), ioIds.end(), record->IOID()) != ioIds.end())
            record->SetChanged(false);
    Refresh();
}

void TServerSideIOs::ConfigViewDoubleClick()
{
    if (!FConfigView)
        return;
    const TListRow *selected = FConfigView->SelectedRow();
    if (selected == nullptr)
        return;
    void *data = selected->Record();
    TServerSideIO *record = nullptr;
    // Only a row that shows one of this list's records opens a dialog.
    for (const auto &r : FItems)
        if (r.get() == data)
            record = r.get();
    if (record == nullptr)
        return;
    if (FHooks.IsLoggedOn && FHooks.IsLoggedOn()) {
        if (FHooks.EditIO)
            FHooks.EditIO(record, FUnit);
    } else if (FHooks.Logon) {
        FHooks.Logon();
    }
}
