#pragma once

#include "ui/Dialogseam.h"

#include <QPointer>

class TfmConnect;
class TfmEditIO;
class TfmLogon;
class TfmWorking;

// The real dialogs behind the window's seam. Created once, parented to the
// main window (so they stay over it); destroyed with this object or with
// the window, whichever goes first.
class TDialogs : public TDialogSeam
{
public:
    // animationFile: the progress animation (relative to the working
    // directory unless absolute).
    TDialogs(TMainWindowSeam &main, const QString &animationFile);
    ~TDialogs() override;

    void ShowConnect() override;
    void CloseConnect() override;
    void PreselectConnection(bool useUsb, int comPort) override;
    void ShowLogon() override;
    void LogonSucceeded() override;
    void LogonFailed() override;
    void LogonCancelled() override;
    void ShowWorking() override;
    void CloseWorking() override;
    void UpdateWorking(TCancelOutcome cancel) override;
    void EditIO(TServerSideIO *record, TZelvo *unit) override;
    void ShowAbout() override;

    // The forms, for the window's tests and the screenshots.
    TfmLogon *Logon() const;
    TfmEditIO *EditDialog() const;
    TfmConnect *Connect() const;
    TfmWorking *Working() const;

private:
    TMainWindowSeam &FMain;
    QPointer<TfmLogon> fmLogon;
    QPointer<TfmEditIO> fmEditIO;
    QPointer<TfmConnect> fmConnect;
    QPointer<TfmWorking> fmWorking;
};
