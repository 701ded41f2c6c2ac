#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMainWindowSeam;

// Takes the e-mail address and password with which the unit logs on to its
// server, and hands them to the main window's logon job, whose message carries
// only the password's digest. The dialog's own copies are wiped after use.
class TfmLogon : public QDialog
{
    Q_OBJECT
public:
    explicit TfmLogon(TMainWindowSeam &main, QWidget *parent = nullptr);

    void btnLoginClick();
    // The logon job's outcome, through the main window.
    void LogonSucceeded();
    void LogonFailed();

    QLabel *Image1 = nullptr;
    QLabel *Image_generic = nullptr;
    QLabel *Image_Orvane = nullptr;
    QLineEdit *edEmailAddress = nullptr;
    QLineEdit *edPassword = nullptr;
    QLabel *lblUserMessage = nullptr;
    QPushButton *btnLogin = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    TMainWindowSeam &FMain;
};
