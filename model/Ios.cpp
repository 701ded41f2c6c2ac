#include "model/Ios.h"

TIOs::~TIOs()
{
    // Rows of a view that outlives the list must not point at freed records.
    Clear();
    DetachView();
}

void TIOs::ForgetRows()
{
    for (const auto &record : Records)
        record->ListItem = nullptr;
}

void TIOs::DetachView()
{
    if (View)
        View->SetDoubleClickHandler({});
    QObject::disconnect(DestroyedConnection);
    View = nullptr;
}

void TIOs::Clear()
{
    // The rows go first, so none is left referring to a deleted record.
    if (View)
        View->Clear();
    ForgetRows();
    Records.clear();
}

void TIOs::Add(TIO *io)
{
    if (io != nullptr)
        Records.emplace_back(io);
}

void TIOs::AttachListView(TListView *view)
{
    if (View && View != view)
        View->Clear();
    ForgetRows();
    DetachView();
    View = view;
    if (view == nullptr)
        return;

    view->SetColumns({{QStringLiteral("IO Name"), 120},
                      {QStringLiteral("IO Tag"), 60},
                      {QStringLiteral("IO Type"), 110},
                      {QStringLiteral("Value"), 80}});
    view->SetDoubleClickHandler([this]() { ListViewDoubleClick(); });
    // Rows die with their view; records must then forget them.
    DestroyedConnection = QObject::connect(view, &QObject::destroyed, [this]() { ForgetRows(); });
    Refresh();
}

void TIOs::Refresh()
{
    if (!View)
        return;
    View->Clear();
    ForgetRows();
    for (const auto &record : Records)
        record->AttachListItem(View->AddRow(record.get()));
    // The trailing empty row carries no record.
    View->AddRow(nullptr);
}

TIO *TIOs::FindIO(uint8_t number) const
{
    for (const auto &record : Records)
        if (record->Number == number)
            return record.get();
    return nullptr;
}

void TIOs::SetValue(uint8_t number, long double value)
{
    if (TIO *io = FindIO(number)) {
        io->Value = value;
        io->UpdateValueText();
    }
}

void TIOs::SetUOMDisplay(uint8_t number, bool isDigital, const QString &unitsText,
                         const QString &onText, const QString &offText)
{
    for (const auto &record : Records) {
        if (record->Number != number)
            continue;
        record->UnitsText = unitsText;
        record->OnText = onText;
        record->OffText = offText;
        record->IsDigital = isDigital;
    }
}

void TIOs::ListViewDoubleClick()
{
    if (!Editable || !View)
        return;
    TIO *io = TIO::FromItem(View->SelectedRow());
    if (io == nullptr)
        return;
    if (io->EditValue(InputQuery, InvalidEntry) && OnValueEdited)
        OnValueEdited(this, io->Number, TruncToInt32(io->Value));
}
