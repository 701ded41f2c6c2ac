#include "ui/Dialogs.h"

#include "common/Branding.h"
#include "frontend/Datapaths.h"
#include "ui/Fm_about.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_working.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>

TDialogs::TDialogs(TMainWindowSeam &main, const QString &animationFile) : FMain(main)
{
    QWidget *owner = main.MainWidget();
    fmLogon = new TfmLogon(main, owner);
    fmEditIO = new TfmEditIO(main, owner);
    fmConnect = new TfmConnect(main, owner);
    fmWorking = new TfmWorking(main, animationFile, owner);
}

TDialogs::~TDialogs()
{
    // Those the window has not destroyed yet.
    delete fmWorking.data();
    delete fmConnect.data();
    delete fmEditIO.data();
    delete fmLogon.data();
}

TfmLogon *TDialogs::Logon() const
{
    return fmLogon.data();
}
TfmEditIO *TDialogs::EditDialog() const
{
    return fmEditIO.data();
}
TfmConnect *TDialogs::Connect() const
{
    return fmConnect.data();
}
TfmWorking *TDialogs::Working() const
{
    return fmWorking.data();
}

void TDialogs::ShowConnect()
{
    if (fmConnect && !fmConnect->isVisible())
        fmConnect->exec();
}

void TDialogs::PreselectConnection(bool useUsb, int comPort)
{
    if (!fmConnect)
        return;
    fmConnect->Preselect(useUsb, comPort);
}

void TDialogs::CloseConnect()
{
    if (fmConnect && fmConnect->isVisible())
        fmConnect->done(QDialog::Accepted);
}

void TDialogs::ShowLogon()
{
    if (fmLogon && !fmLogon->isVisible())
        fmLogon->exec();
}

void TDialogs::LogonSucceeded()
{
    if (fmLogon)
        fmLogon->LogonSucceeded();
}

void TDialogs::LogonFailed()
{
    if (fmLogon)
        fmLogon->LogonFailed();
}

void TDialogs::LogonCancelled()
{
    if (!fmLogon)
        return;
    // Back to its idle state, with the reason in its message line.
    fmLogon->LogonFailed();
    fmLogon->lblUserMessage->setText(QStringLiteral("Logon cancelled."));
}

void TDialogs::ShowWorking()
{
    if (!fmWorking || fmWorking->isVisible())
        return;
    // Over a modal dialog (the logon dialog while its job runs) the progress
    // dialog must be modal too, or its Cancel could not be reached. Alone it
    // stays modeless, so the main window's own close still works.
    fmWorking->setWindowModality(QApplication::activeModalWidget() != nullptr ? Qt::ApplicationModal
                                                                              : Qt::NonModal);
    fmWorking->show();
    // Esc reaches its Cancel at once.
    fmWorking->raise();
    fmWorking->activateWindow();
}

void TDialogs::UpdateWorking(TCancelOutcome cancel)
{
    if (fmWorking && fmWorking->isVisible())
        fmWorking->ShowCancelState(cancel);
}

void TDialogs::CloseWorking()
{
    if (fmWorking)
        fmWorking->hide();
}

void TDialogs::EditIO(TServerSideIO *record, TZelvo *unit)
{
    if (fmEditIO && !fmEditIO->isVisible() && fmEditIO->OpenEditor(record, unit))
        fmEditIO->exec();
}

void TDialogs::ShowAbout()
{
    TfmAbout about(FMain.MainWidget());
    about.exec();
}

std::unique_ptr<TDialogSeam> CreateDialogs(TMainWindowSeam &main)
{
    return std::make_unique<TDialogs>(main,
                                      DataFilePath(QString::fromLatin1(Branding::AnimationPath)));
}
