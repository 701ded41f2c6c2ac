#include "ui/Fm_logon.h"

#include "protocol/Commands.h"
#include "ui/Dialoggeometry.h"
#include "ui/Dialogseam.h"

#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <string>

namespace
{

QLabel *Banner(QWidget *parent, const char *name, const QString &resource)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(0, 0, 444, 71);
    label->setPixmap(QPixmap(resource));
    return label;
}

} // namespace

TfmLogon::TfmLogon(TMainWindowSeam &main, QWidget *parent) : QDialog(parent), FMain(main)
{
    setObjectName(QStringLiteral("fmLogon"));
    setWindowTitle(QStringLiteral("Logon"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    UseOwnerFont(this);
    setFixedSize(443, 188);

    // Three banners stacked in one place; only one shows.
    Image1 = Banner(this, "Image1", QStringLiteral(":/art/logon_zelvo.jpg"));
    Image_generic = Banner(this, "Image_generic", QStringLiteral(":/art/logon_generic.jpg"));
    Image_Orvane = Banner(this, "Image_Orvane", QStringLiteral(":/art/logon_orvane.jpg"));

    auto *lblEmail = new QLabel(QStringLiteral("Email Address:"), this);
    edEmailAddress = new QLineEdit(this);
    edEmailAddress->setObjectName(QStringLiteral("edEmailAddress"));
    auto *lblPassword = new QLabel(QStringLiteral("Password:"), this);
    edPassword = new QLineEdit(this);
    edPassword->setObjectName(QStringLiteral("edPassword"));
    edPassword->setEchoMode(QLineEdit::Password);
    edPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;")); // '*'
    edPassword->installEventFilter(this);

    lblUserMessage = new QLabel(this);
    lblUserMessage->setObjectName(QStringLiteral("lblUserMessage"));
    QFont messageFont = lblUserMessage->font();
    messageFont.setPointSize(10);
    lblUserMessage->setFont(messageFont);
    QPalette red = lblUserMessage->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    lblUserMessage->setPalette(red);
    lblUserMessage->setWordWrap(true);

    btnLogin = new QPushButton(QStringLiteral("Login"), this);
    btnLogin->setObjectName(QStringLiteral("btnLogin"));
    btnLogin->setAutoDefault(false);
    // Enter anywhere in the dialog logs in; the password box's own Enter
    // finds the button already disabled and does not log in twice.
    btnLogin->setDefault(true);
    lblEmail->setBuddy(edEmailAddress);
    lblPassword->setBuddy(edPassword);
    edEmailAddress->setAccessibleName(QStringLiteral("Email Address"));
    edPassword->setAccessibleName(QStringLiteral("Password"));

    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(12, 71 + 10, 12, 10);
    grid->setVerticalSpacing(6);
    grid->addWidget(lblEmail, 0, 0);
    grid->addWidget(edEmailAddress, 0, 1, 1, 2);
    grid->addWidget(lblPassword, 1, 0);
    grid->addWidget(edPassword, 1, 1, 1, 2);
    grid->addWidget(lblUserMessage, 2, 0, 1, 2);
    grid->addWidget(btnLogin, 2, 2, Qt::AlignRight);
    grid->setColumnStretch(1, 1);

    connect(btnLogin, &QPushButton::clicked, this, [this] { btnLoginClick(); });
}

void TfmLogon::showEvent(QShowEvent *event)
{
    Image1->setVisible(false);
    Image_generic->setVisible(false);
    Image_Orvane->setVisible(true);
    CentreOnWidget(this, FMain.MainWidget());
    QDialog::showEvent(event);
}

bool TfmLogon::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in the password box logs in, like the button.
    if (watched == edPassword && event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && btnLogin->isEnabled()) {
            btnLoginClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfmLogon::btnLoginClick()
{
    // One byte per character; characters outside Latin-1 become '?'.
    const QByteArray email = edEmailAddress->text().toLatin1();
    if (static_cast<std::size_t>(email.size()) > kMaxEmailLength) {
        lblUserMessage->setText(QStringLiteral("The e-mail address is longer than %1 characters.")
                                    .arg(kMaxEmailLength));
        return;
    }
    lblUserMessage->clear();
    QByteArray latin = edPassword->text().toLatin1();
    std::string password(latin.constData(), static_cast<std::size_t>(latin.size()));
    FMain.RequestLogon(email.toStdString(), password);
    // Leave no copy of the password behind in these buffers.
    std::fill(password.begin(), password.end(), '\0');
    latin.fill('\0');
    btnLogin->setEnabled(false);
    btnLogin->setText(QStringLiteral("Logging in..."));
}

void TfmLogon::LogonSucceeded()
{
    btnLogin->setEnabled(true);
    btnLogin->setText(QStringLiteral("Login"));
    accept();
}

void TfmLogon::LogonFailed()
{
    lblUserMessage->setText(QStringLiteral("Logon failed."));
    btnLogin->setEnabled(true);
    btnLogin->setText(QStringLiteral("Login"));
}
