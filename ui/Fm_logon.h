#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TMainWindowSeam;

// Takes the e-mail address and password with which the unit logs on to its
// server, and hands the logon job's e-mail field and password digest to the
// main window. The password itself never leaves this dialog.
class TfmLogon : public QDialog
{
    Q_OBJECT
public:
    static constexpr int EmailFieldSize = 128;
    static constexpr int DigestSize = 16;

    explicit TfmLogon(TMainWindowSeam &main, QWidget *parent = nullptr);

    // The 128-byte e-mail field (one byte per character, zero padded, no
    // terminator when the address fills it); false when the address does not
    // fit, `field` unchanged.
    static bool BuildEmailField(const QString &email, QByteArray &field);
    // The 16-byte password digest.
    static QByteArray BuildDigest(const QString &password);

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
