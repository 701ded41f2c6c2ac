#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QButtonGroup;
class QComboBox;
class QEvent;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TMainWindowSeam;
class TServerSideIO;
class TZelvo;

// Edits one entry of the I/O configuration as the server holds it: friendly
// name, input type, unit of measure and logging mode, by the Edit I/O rules
// (model/Editiorules.h). Type and UOM are written to the record as they are
// picked and undone by Cancel; name and mode only by Save, which also marks
// the record changed. Closing the window any other way (close button, Esc)
// is Cancel.
class TfmEditIO : public QDialog
{
    Q_OBJECT
public:
    // Shows an error text; a message box unless a test puts its own.
    using TErrorSink = std::function<void(const QString &)>;

    explicit TfmEditIO(TMainWindowSeam &main, QWidget *parent = nullptr);

    void SetErrorSink(TErrorSink sink) { FError = std::move(sink); }

    // Loads the dialog for `record` of `unit` (neither owned); the caller then
    // shows it modally. False, after the error was shown, when the record's
    // input type is not among the unit's available input types: the dialog
    // must not be shown.
    bool OpenEditor(TServerSideIO *record, TZelvo *unit);

    void FillIOTypes();
    // False when the record's input type is unknown (error shown).
    bool FillUOMs(bool changeUom);
    void cbIOTypeChange();
    void cbUOMChange();
    void btnSaveClick();
    void btnCancelClick();

    TServerSideIO *Record() const { return FRecord; }

    QLabel *lblTag = nullptr;
    QLineEdit *edFriendlyName = nullptr;
    QComboBox *cbIOType = nullptr;
    QComboBox *cbUOM = nullptr;
    QGroupBox *rgLogging = nullptr;
    QButtonGroup *LoggingGroup = nullptr;
    QPushButton *btnSave = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

public:
    // The window's close button and Esc end here: they behave like Cancel.
    void reject() override;

private:
    void RestoreOriginal();
    // The four logging choices in one row when they fit the dialog's width
    // at its font, else in two rows of two.
    void ArrangeLoggingChoices();

    TMainWindowSeam &FMain;
    TServerSideIO *FRecord = nullptr;
    TZelvo *FUnit = nullptr;
    uint8_t FOriginalInputTypeID = 0;
    int32_t FOriginalUOMID = 0;
    QString FOriginalName;
    TErrorSink FError;
};
