#pragma once

#include <QDialog>
#include <QString>
#include <QUrl>

#include <functional>

class QLabel;
class QPushButton;

// The About box: title, the build's version, the notice line and a link to
// the web site. Created for each showing.
class TfmAbout : public QDialog
{
    Q_OBJECT
public:
    // What the box takes from its surroundings; tests put their own.
    struct TEnvironment {
        // The version compiled into the build ("W.X.Y.Z"), or null.
        const char *Version = nullptr;
        // Shows the message of a failed version read (a message box).
        std::function<void(const QWidget *parent, const QString &text)> ShowError;
        // Opens a web address in the desktop's browser.
        std::function<void(const QUrl &url)> OpenUrl;
    };
    // The build's version, a message box and the desktop's browser.
    static TEnvironment DefaultEnvironment();

    explicit TfmAbout(QWidget *parent = nullptr, TEnvironment env = DefaultEnvironment());

    // "%d.%d.%d.%d" of a version text of one to four numbers of 0..65535
    // (missing ones are 0); false for anything else.
    static bool FormatVersion(const char *version, QString &text);

    void lblURL1Click();
    void lblURL2Click();
    void Button1Click();

    QLabel *lblTitle = nullptr;
    QLabel *lblSoftwareVersion = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *lblAddress1 = nullptr;
    QLabel *lblAddress2 = nullptr;
    QLabel *lblAddress3 = nullptr;
    QLabel *lblAddress4 = nullptr;
    QLabel *lblAddress5 = nullptr;
    QLabel *lblTelephone = nullptr;
    QLabel *lblURL1 = nullptr;
    QLabel *lblURL2 = nullptr;
    QPushButton *Button1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void OpenWebHost();
    TEnvironment FEnv;
};
