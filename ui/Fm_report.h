#pragma once

// File -> "Save Commissioning Report...": a small dialog (site, installer,
// what to include, signal sampling time), the report gathered through the
// engine, then saved where the user chooses.

#include "report/Reportgatherer.h"

#include <QDialog>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QLineEdit;
class QSpinBox;
class TForm1;

class TfmReport : public QDialog
{
    Q_OBJECT
public:
    explicit TfmReport(QWidget *parent = nullptr);

    // The request the fields describe.
    TReportRequest Request() const;

    QLineEdit *edSite = nullptr;
    QLineEdit *edInstaller = nullptr;
    QCheckBox *chkSignal = nullptr;
    QSpinBox *spinSignalSeconds = nullptr;
    QCheckBox *chkIOConfig = nullptr;
    QCheckBox *chkLive = nullptr;
    QCheckBox *chkExternal = nullptr;
    QCheckBox *chkSnapshot = nullptr;
    QCheckBox *chkLog = nullptr;
};

// Where the flow asks the user; tests answer instead.
struct TReportUiHooks {
    // Shows the dialog modally; true for OK. Default: exec().
    std::function<bool(TfmReport &dialog)> Ask;
    // The file to write; empty for Cancel. Default: a save file dialog.
    std::function<QString(QWidget *parent)> ChooseFile;
    // True to replace an existing file. Default: a question box.
    std::function<bool(QWidget *parent, const QString &path)> ConfirmOverwrite;
    // The outcome (saved, or why not). Default: a message box.
    std::function<void(QWidget *parent, const QString &text, bool failed)> Tell;
};
// Replaces the hooks; returns the previous ones.
TReportUiHooks SetReportUiHooks(TReportUiHooks hooks);

// Adds "Save Commissioning Report..." to the File menu, above Exit, enabled
// only while a unit is connected.
QAction *InstallReportAction(TForm1 &form);
// Re-evaluates the item's state (connected and no job running).
void UpdateReportAction(TForm1 &form);
// The whole flow; returns when the report was saved, refused or cancelled.
void SaveCommissioningReport(TForm1 &form);
