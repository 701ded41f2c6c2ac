#include "model/Ios.h"

#include <QHeaderView>

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
    QObject::disconnect(DoubleClickConnection);
    QObject::disconnect(DestroyedConnection);
    View = nullptr;
}

void TIOs::Clear()
{
    // The rows go first, so none is left referring to a deleted record.
    if (View)
        View->clear();
    ForgetRows();
    Records.clear();
}

void TIOs::Add(TIO *io)
{
    if (io != nullptr)
        Records.emplace_back(io);
}

void TIOs::AttachListView(QTreeWidget *view)
{
    if (View && View != view)
        View->clear();
    ForgetRows();
    DetachView();
    View = view;
    if (view == nullptr)
        return;

    view->clear();
    view->setColumnCount(0);
    view->setRootIsDecorated(false);
    view->setItemsExpandable(false);
    view->setHeaderHidden(false);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setAllColumnsShowFocus(true);
    view->setColumnCount(4);
    view->setHeaderLabels({QStringLiteral("IO Name"), QStringLiteral("IO Tag"),
                           QStringLiteral("IO Type"), QStringLiteral("Value")});
    view->header()->setStretchLastSection(false);
    const int widths[] = {120, 60, 110, 80};
    for (int i = 0; i < 4; ++i)
        view->setColumnWidth(i, widths[i]);

    DoubleClickConnection =
        QObject::connect(view, &QTreeWidget::itemDoubleClicked,
                         [this](QTreeWidgetItem *, int) { ListViewDoubleClick(); });
    // Rows die with their view; records must then forget them.
    DestroyedConnection = QObject::connect(view, &QObject::destroyed, [this]() {
        ForgetRows();
        QObject::disconnect(DoubleClickConnection);
    });
    Refresh();
}

void TIOs::Refresh()
{
    if (!View)
        return;
    View->clear();
    ForgetRows();
    for (const auto &record : Records)
        record->AttachListItem(new QTreeWidgetItem(View.data()));
    // The trailing empty row carries no record.
    new QTreeWidgetItem(View.data());
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
    const QList<QTreeWidgetItem *> selected = View->selectedItems();
    QTreeWidgetItem *row = selected.isEmpty() ? nullptr : selected.first();
    TIO *io = TIO::FromItem(row);
    if (io == nullptr)
        return;
    if (io->EditValue(InputQuery, InvalidEntry) && OnValueEdited)
        OnValueEdited(this, io->Number, TruncToInt32(io->Value));
}
