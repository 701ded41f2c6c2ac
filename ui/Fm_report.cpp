#include "ui/Fm_report.h"
#include "common/Version.h"

#include "engine/Serialthread.h"
#include "frontend/Session.h"
#include "report/Reportwriter.h"
#include "ui/Fm_main.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace
{

const char *const kActionName = "actSaveCommissioningReport";

TReportUiHooks &Hooks()
{
    static TReportUiHooks hooks;
    return hooks;
}

QString ChooseFileDefault(QWidget *parent)
{
    // The overwrite question is the flow's own, so it is asked the same way
    // whatever the platform's dialog does.
    return QFileDialog::getSaveFileName(
        parent, QStringLiteral("Save Commissioning Report"),
        QStringLiteral("commissioning-report.pdf"),
        QStringLiteral("PDF document (*.pdf);;HTML page (*.html);;JSON data (*.json)"), nullptr,
        QFileDialog::DontConfirmOverwrite);
}

bool ConfirmOverwriteDefault(QWidget *parent, const QString &path)
{
    return QMessageBox::question(parent, QStringLiteral("Save Commissioning Report"),
                                 QStringLiteral("%1 already exists.\nDo you want to replace it?")
                                     .arg(QFileInfo(path).fileName()),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void TellDefault(QWidget *parent, const QString &text, bool failed)
{
    if (failed)
        QMessageBox::warning(parent, QStringLiteral("Save Commissioning Report"), text);
    else
        QMessageBox::information(parent, QStringLiteral("Save Commissioning Report"), text);
}

QString LoggedOnEmail(const TForm1 &form)
{
    if (!form.IsLoggedOn())
        return QString();
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("fmLogon"))
            if (auto *ed = w->findChild<QLineEdit *>(QStringLiteral("edEmailAddress")))
                return ed->text().trimmed();
    return QString();
}

} // namespace

TfmReport::TfmReport(QWidget *parent) : QDialog(parent)
{
    // The window's font, as its other dialogs have it.
    if (parent != nullptr)
        setFont(parent->font());
    setObjectName(QStringLiteral("fmReport"));
    setWindowTitle(QStringLiteral("Save Commissioning Report"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    edSite = new QLineEdit(this);
    edSite->setObjectName(QStringLiteral("edSite"));
    edInstaller = new QLineEdit(this);
    edInstaller->setObjectName(QStringLiteral("edInstaller"));
    form->addRow(QStringLiteral("Site"), edSite);
    form->addRow(QStringLiteral("Installer"), edInstaller);
    layout->addLayout(form);

    auto *include = new QGroupBox(QStringLiteral("Include"), this);
    auto *grid = new QFormLayout(include);
    const auto check = [include](const char *name, const QString &caption) {
        auto *c = new QCheckBox(caption, include);
        c->setObjectName(QLatin1String(name));
        c->setChecked(true);
        return c;
    };
    chkSignal = check("chkSignal", QStringLiteral("Signal strength, sampled for"));
    spinSignalSeconds = new QSpinBox(include);
    spinSignalSeconds->setObjectName(QStringLiteral("spinSignalSeconds"));
    spinSignalSeconds->setRange(1, 600);
    spinSignalSeconds->setValue(20);
    spinSignalSeconds->setSuffix(QStringLiteral(" s"));
    grid->addRow(chkSignal, spinSignalSeconds);
    connect(chkSignal, &QCheckBox::toggled, spinSignalSeconds, &QWidget::setEnabled);
    chkIOConfig = check("chkIOConfig", QStringLiteral("I/O configuration (read when not loaded)"));
    chkLive = check("chkLive", QStringLiteral("Live values (standard I/O)"));
    chkExternal = check("chkExternal", QStringLiteral("Live values (external I/O)"));
    chkSnapshot = check("chkSnapshot", QStringLiteral("Latest snapshot"));
    chkLog = check("chkLog", QStringLiteral("Session log"));
    for (QCheckBox *c : {chkIOConfig, chkLive, chkExternal, chkSnapshot, chkLog})
        grid->addRow(c);
    layout->addWidget(include);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Gather and Save..."));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

TReportRequest TfmReport::Request() const
{
    TReportRequest r;
    r.Site = edSite->text().trimmed();
    r.Installer = edInstaller->text().trimmed();
    r.ToolVersion = QStringLiteral(ZELVO_VERSION);
    r.IncludeSignal = chkSignal->isChecked();
    r.SignalSeconds = spinSignalSeconds->value();
    r.IncludeIOConfig = chkIOConfig->isChecked();
    r.LoadIOConfig = chkIOConfig->isChecked() || chkExternal->isChecked();
    r.IncludeLive = chkLive->isChecked();
    r.IncludeExternal = chkExternal->isChecked();
    r.IncludeSnapshot = chkSnapshot->isChecked();
    r.IncludeLog = chkLog->isChecked();
    return r;
}

TReportUiHooks SetReportUiHooks(TReportUiHooks hooks)
{
    TReportUiHooks old = Hooks();
    Hooks() = std::move(hooks);
    return old;
}

QAction *InstallReportAction(TForm1 &form)
{
    auto *action = new QAction(QStringLiteral("Save Commissioning &Report..."), &form);
    action->setObjectName(QLatin1String(kActionName));
    action->setEnabled(false);
    const QList<QAction *> items = form.mnuFile->actions();
    form.mnuFile->insertAction(items.isEmpty() ? nullptr : items.first(), action);
    form.mnuFile->insertSeparator(items.isEmpty() ? nullptr : items.first());
    QObject::connect(action, &QAction::triggered, &form,
                     [&form] { SaveCommissioningReport(form); });
    QObject::connect(form.mnuFile, &QMenu::aboutToShow, &form,
                     [&form] { UpdateReportAction(form); });
    return action;
}

void UpdateReportAction(TForm1 &form)
{
    if (auto *action = form.findChild<QAction *>(QLatin1String(kActionName)))
        action->setEnabled(form.IsConnected() && form.Engine() && !form.Engine()->IsBusy());
}

void SaveCommissioningReport(TForm1 &form)
{
    TSerialThread *engine = form.Engine();
    if (!form.IsConnected() || !engine)
        return;
    const TReportUiHooks &hooks = Hooks();
    TfmReport dialog(&form);
    const bool ok = hooks.Ask ? hooks.Ask(dialog) : dialog.exec() == QDialog::Accepted;
    if (!ok)
        return;
    TReportRequest request = dialog.Request();
    request.Email = LoggedOnEmail(form);

    // Signal checking the user left on would fight the report's own.
    form.StopSignalCheckingIfActive();

    int snapshotChanges = 0;
    const QMetaObject::Connection watch = QObject::connect(
        form.memoSnapshot, &QPlainTextEdit::textChanged, [&snapshotChanges] { ++snapshotChanges; });
    TReportSources sources;
    sources.PostJob = [&form, engine](TMessageType code) {
        // As the page buttons post their jobs.
        TSession(*engine).PostJob(code, {}, [&form] { form.SetTabsEnabled(false); });
    };
    sources.SnapshotReplies = [&snapshotChanges] { return snapshotChanges; };
    sources.SnapshotLines = [&form] {
        return form.memoSnapshot->toPlainText().split('\n', Qt::SkipEmptyParts);
    };
    sources.LogLines = [&form] {
        return form.ErrorLogMemo->toPlainText().split('\n', Qt::SkipEmptyParts);
    };

    // Jobs show the window's own progress dialog; the reads and the signal
    // sampling in between, which are no jobs, show this one.
    QProgressDialog progress(QStringLiteral("Gathering the commissioning report..."),
                             QStringLiteral("Cancel"), 0, 0, &form);
    progress.setObjectName(QStringLiteral("fmReportProgress"));
    progress.setWindowTitle(QStringLiteral("Save Commissioning Report"));
    progress.setMinimumDuration(0);
    progress.setWindowModality(Qt::WindowModal);

    TReportGatherer gatherer(*engine, request, sources);
    QEventLoop loop;
    QObject::connect(&gatherer, &TReportGatherer::Progress, &progress,
                     &QProgressDialog::setLabelText);
    QObject::connect(&gatherer, &TReportGatherer::Finished, &loop, &QEventLoop::quit);
    QObject::connect(&progress, &QProgressDialog::canceled, &gatherer, &TReportGatherer::Cancel);
    gatherer.Start();
    if (!gatherer.IsDone()) {
        progress.show();
        loop.exec();
    }
    progress.reset();
    progress.hide();
    QObject::disconnect(watch);
    if (gatherer.WasCancelled())
        return;

    const QString path = hooks.ChooseFile ? hooks.ChooseFile(&form) : ChooseFileDefault(&form);
    if (path.isEmpty())
        return;
    const auto format = ReportFormatFromPath(path);
    const auto tell = hooks.Tell ? hooks.Tell : TellDefault;
    if (!format) {
        tell(&form, QStringLiteral("A report is saved as .pdf, .html or .json."), true);
        return;
    }
    if (QFileInfo::exists(path)) {
        const bool replace = hooks.ConfirmOverwrite ? hooks.ConfirmOverwrite(&form, path)
                                                    : ConfirmOverwriteDefault(&form, path);
        if (!replace)
            return;
    }
    QString error;
    if (!SaveReport(gatherer.Report(), path, *format, &error)) {
        tell(&form, QStringLiteral("The report could not be saved:\n%1").arg(error), true);
        return;
    }
    const QStringList missing = gatherer.Report().UnavailableSections();
    tell(&form,
         missing.isEmpty() ? QStringLiteral("The report was saved to %1.").arg(path)
                           : QStringLiteral("The report was saved to %1.\nNot available: %2.")
                                 .arg(path, missing.join(QStringLiteral(", "))),
         !missing.isEmpty());
}
