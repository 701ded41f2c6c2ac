#include "ui/Fm_editio.h"

#include "common/Branding.h"
#include "model/Availableinputtype.h"
#include "model/Editiorules.h"
#include "model/Serversideio.h"
#include "model/Uomdescription.h"
#include "ui/Dialoggeometry.h"
#include "ui/Dialogseam.h"
#include "unit/Zelvo.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

TfmEditIO::TfmEditIO(TMainWindowSeam &main, QWidget *parent) : QDialog(parent), FMain(main)
{
    setObjectName(QStringLiteral("fmEditIO"));
    setWindowTitle(QStringLiteral("Edit I/O"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    UseOwnerFont(this);
    setFixedSize(404, 316);

    lblTag = new QLabel(QStringLiteral("tag text"), this);
    lblTag->setObjectName(QStringLiteral("lblTag"));
    QFont bold = lblTag->font();
    bold.setBold(true);
    lblTag->setFont(bold);
    edFriendlyName = new QLineEdit(this);
    edFriendlyName->setObjectName(QStringLiteral("edFriendlyName"));
    edFriendlyName->setMaxLength(editio::MaxNameLength);
    cbIOType = new QComboBox(this);
    cbIOType->setObjectName(QStringLiteral("cbIOType"));
    cbUOM = new QComboBox(this);
    cbUOM->setObjectName(QStringLiteral("cbUOM"));

    auto *fields = new QGridLayout;
    fields->setHorizontalSpacing(10);
    fields->setVerticalSpacing(8);
    fields->addWidget(new QLabel(QStringLiteral("Tag:"), this), 0, 0);
    fields->addWidget(lblTag, 0, 1);
    // Named by their labels, not by their contents, for assistive technology.
    edFriendlyName->setAccessibleName(QStringLiteral("Friendly Name"));
    cbIOType->setAccessibleName(QStringLiteral("I/O Type"));
    cbUOM->setAccessibleName(QStringLiteral("UOM"));
    fields->addWidget(new QLabel(QStringLiteral("Friendly Name:"), this), 1, 0);
    fields->addWidget(edFriendlyName, 1, 1);
    fields->addWidget(new QLabel(QStringLiteral("I/O Type:"), this), 2, 0);
    fields->addWidget(cbIOType, 2, 1);
    fields->addWidget(new QLabel(QStringLiteral("UOM:"), this), 3, 0);
    fields->addWidget(cbUOM, 3, 1);
    fields->setColumnStretch(1, 1);

    rgLogging = new QGroupBox(QStringLiteral("Logging"), this);
    rgLogging->setObjectName(QStringLiteral("rgLogging"));
    LoggingGroup = new QButtonGroup(this);
    for (int mode = LOG_NONE; mode <= LOG_LOG_ONLY; ++mode) {
        // "&" would be taken for a mnemonic marker ("Log & Display").
        QString text = TServerSideIO::LoggingModeText(mode);
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        auto *button = new QRadioButton(text, rgLogging);
        LoggingGroup->addButton(button, mode);
    }

    const QString brand = QString::fromLatin1(Branding::BrandName);
    auto *info1 =
        new QLabel(QStringLiteral("Info: Changes are only saved locally. To update on the ") +
                       brand + QStringLiteral(", please click"),
                   this);
    auto *info2 = new QLabel(QStringLiteral("\"Save\" on the main form."), this);
    info1->setWordWrap(true);

    btnSave = new QPushButton(QStringLiteral("&Save"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnSave->setAutoDefault(false);
    btnCancel->setAutoDefault(false);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(14, 12, 14, 10);
    layout->addLayout(fields);
    layout->addSpacing(6);
    layout->addWidget(rgLogging);
    layout->addSpacing(4);
    layout->addWidget(info1);
    layout->addWidget(info2);
    layout->addStretch(1);
    layout->addLayout(buttons);
    ArrangeLoggingChoices();

    // State changes, not clicks: the keyboard and assistive technology pick
    // an entry without a mouse click. Filling the lists is not a pick.
    connect(cbIOType, &QComboBox::currentIndexChanged, this, [this] { cbIOTypeChange(); });
    connect(cbUOM, &QComboBox::currentIndexChanged, this, [this] { cbUOMChange(); });
    connect(btnSave, &QPushButton::clicked, this, [this] { btnSaveClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });

    FError = [this](const QString &text) {
        QMessageBox::critical(isVisible() ? this : parentWidget(), windowTitle(), text);
    };
}

bool TfmEditIO::OpenEditor(TServerSideIO *record, TZelvo *unit)
{
    FRecord = record;
    FUnit = unit;
    if (record == nullptr || unit == nullptr)
        return false;
    FOriginalInputTypeID = record->InputTypeID();
    FOriginalUOMID = record->UOMID();
    FOriginalName = record->FriendlyName();

    lblTag->setText(record->Tag());
    edFriendlyName->setText(record->FriendlyName());
    const int32_t mode = record->LoggingMode();
    if (mode >= LOG_NONE && mode <= LOG_LOG_ONLY)
        LoggingGroup->button(mode)->setChecked(true);

    FillIOTypes();
    cbIOType->setEnabled(editio::MayChangeInputType(record->Tag()));
    return FillUOMs(false);
}

void TfmEditIO::FillIOTypes()
{
    if (FRecord == nullptr || FUnit == nullptr)
        return;
    const QSignalBlocker block(cbIOType);
    const auto choices =
        editio::InputTypeChoices(FUnit->AvailableInputTypes(), FRecord->InputTypeID());
    cbIOType->clear();
    for (const TAvailableInputType *type : choices.Entries)
        cbIOType->addItem(type->Name, int(type->InputTypeID));
    cbIOType->setCurrentIndex(choices.Current);
}

bool TfmEditIO::FillUOMs(bool changeUom)
{
    if (FRecord == nullptr || FUnit == nullptr)
        return false;
    editio::TChoices<TUOMDescription> choices;
    QString error;
    if (!editio::UomChoicesForType(FUnit->AvailableInputTypes(), FUnit->UOMDescriptions(),
                                   FRecord->InputTypeID(), FRecord->UOMID(), choices, error)) {
        const QSignalBlocker block(cbUOM);
        cbUOM->clear();
        if (FError)
            FError(error);
        return false;
    }
    {
        const QSignalBlocker block(cbUOM);
        cbUOM->clear();
        for (const TUOMDescription *uom : choices.Entries)
            cbUOM->addItem(uom->Name, uom->UOMID);
        // The record's UOM is selected, none when it is not in the list.
        cbUOM->setCurrentIndex(choices.Current);
        if (changeUom && editio::UomIsChosen(choices))
            cbUOM->setCurrentIndex(0);
    }
    cbUOM->setEnabled(editio::UomIsChosen(choices));
    if (changeUom)
        FRecord->SetUOMID(editio::UomAfterTypeChange(choices));
    return true;
}

void TfmEditIO::cbIOTypeChange()
{
    if (FRecord == nullptr || cbIOType->currentIndex() < 0)
        return;
    FRecord->SetInputTypeID(static_cast<uint8_t>(cbIOType->currentData().toInt()));
    FillUOMs(true);
}

void TfmEditIO::cbUOMChange()
{
    if (FRecord == nullptr || cbUOM->currentIndex() < 0)
        return;
    FRecord->SetUOMID(cbUOM->currentData().toInt());
}

void TfmEditIO::btnSaveClick()
{
    if (FRecord != nullptr) {
        editio::TRecord target = editio::RecordOf(*FRecord);
        const int checked = LoggingGroup->checkedId();
        target.Logging = checked < 0 ? LOG_NONE : checked;
        if (const auto name = editio::NameFromField(FOriginalName, edFriendlyName->text()))
            target.Name = *name;
        editio::ApplyEdit(*FRecord, target);
    }
    accept();
}

void TfmEditIO::btnCancelClick()
{
    reject();
}

void TfmEditIO::RestoreOriginal()
{
    if (FRecord == nullptr)
        return;
    FRecord->SetInputTypeID(FOriginalInputTypeID);
    FRecord->SetUOMID(FOriginalUOMID);
}

void TfmEditIO::reject()
{
    RestoreOriginal();
    QDialog::reject();
}

void TfmEditIO::ArrangeLoggingChoices()
{
    const auto arrange = [this](int columns) {
        // A new grid each time; the buttons stay children of the group. Each
        // choice is as wide as its text, at the left of its column: a button
        // stretched over its column would not take a click (or a reader's
        // point) on the empty part beyond its text.
        delete rgLogging->layout();
        auto *modes = new QGridLayout(rgLogging);
        for (int mode = LOG_NONE; mode <= LOG_LOG_ONLY; ++mode)
            modes->addWidget(LoggingGroup->button(mode), mode / columns, mode % columns,
                             Qt::AlignLeft | Qt::AlignVCenter);
    };
    arrange(4);
    const QMargins outer = layout()->contentsMargins();
    if (rgLogging->minimumSizeHint().width() > width() - outer.left() - outer.right())
        arrange(2);
}

void TfmEditIO::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) &&
        layout() != nullptr)
        ArrangeLoggingChoices();
}

void TfmEditIO::showEvent(QShowEvent *event)
{
    // The font may have changed since the last arrangement without an event
    // reaching the dialog (an application font set while it was hidden).
    ArrangeLoggingChoices();
    CentreOnWidget(this, parentWidget() ? parentWidget() : FMain.MainWidget());
    QDialog::showEvent(event);
}
