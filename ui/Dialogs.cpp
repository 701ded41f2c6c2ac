#include "ui/Dialogs.h"

#include "common/Branding.h"
#include "frontend/Datapaths.h"
#include "ui/Fm_about.h"
#include "ui/Fm_connect.h"
#include "ui/Fm_editio.h"
#include "ui/Fm_logon.h"
#include "ui/Fm_working.h"

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

void TDialogs::ShowWorking()
{
    if (fmWorking && !fmWorking->isVisible())
        fmWorking->show();
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
