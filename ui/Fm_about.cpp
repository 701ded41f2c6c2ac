#include "ui/Fm_about.h"
#include "common/Version.h"

#include "common/Branding.h"
#include "ui/Dialoggeometry.h"

#include <QDesktopServices>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace
{

#ifdef ZELVO_VERSION
constexpr const char *kCompiledVersion = ZELVO_VERSION;
#else
constexpr const char *kCompiledVersion = nullptr;
#endif

const QString kNoVersion = QStringLiteral("<could not access version info>");

QLabel *Text(QWidget *parent, const char *name, const QString &text, int x, int y, int w, int h)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(x, y, w, h);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setWordWrap(true);
    return label;
}

void MakeLink(QLabel *label)
{
    QPalette blue = label->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(blue);
    QFont underlined = label->font();
    underlined.setUnderline(true);
    label->setFont(underlined);
    label->setCursor(Qt::PointingHandCursor);
}

// A label that reports clicks, and Enter or Space while it has the keyboard
// focus; a dotted frame shows that focus.
class TClickFilter : public QObject
{
public:
    TClickFilter(QObject *parent, std::function<void()> onClick)
        : QObject(parent), FOnClick(std::move(onClick))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Taking the press makes the label receive the release.
        if (event->type() == QEvent::MouseButtonPress)
            return true;
        if (event->type() == QEvent::MouseButtonRelease) {
            FOnClick();
            return true;
        }
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
                FOnClick();
                return true;
            }
        }
        if (auto *label = qobject_cast<QLabel *>(watched)) {
            if (event->type() == QEvent::FocusIn)
                label->setFrameStyle(QFrame::Box | QFrame::Plain);
            else if (event->type() == QEvent::FocusOut)
                label->setFrameStyle(QFrame::NoFrame);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> FOnClick;
};

} // namespace

TfmAbout::TEnvironment TfmAbout::DefaultEnvironment()
{
    TEnvironment env;
    env.Version = kCompiledVersion;
    env.ShowError = [](const QWidget *parent, const QString &text) {
        QMessageBox::critical(const_cast<QWidget *>(parent), QStringLiteral("About"), text);
    };
    env.OpenUrl = [](const QUrl &url) { QDesktopServices::openUrl(url); };
    return env;
}

bool TfmAbout::FormatVersion(const char *version, QString &text)
{
    if (version == nullptr)
        return false;
    const QStringList parts = QString::fromLatin1(version).split(QLatin1Char('.'));
    if (parts.isEmpty() || parts.size() > 4)
        return false;
    int numbers[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const int value = parts[i].toInt(&ok, 10);
        if (!ok || value < 0 || value > 0xFFFF || parts[i].startsWith(QLatin1Char('+')))
            return false;
        numbers[i] = value;
    }
    text = QString::asprintf("%d.%d.%d.%d", numbers[0], numbers[1], numbers[2], numbers[3]);
    return true;
}

TfmAbout::TfmAbout(QWidget *parent, TEnvironment env) : QDialog(parent), FEnv(std::move(env))
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    UseOwnerFont(this);
    setFixedSize(332, 320);

    auto *shape1 = new QFrame(this);
    shape1->setObjectName(QStringLiteral("Shape1"));
    shape1->setFrameShape(QFrame::Box);
    shape1->setFrameShadow(QFrame::Plain);
    shape1->setGeometry(12, 12, 308, 250);

    const QString brand = QString::fromLatin1(Branding::BrandName);
    lblTitle = Text(this, "lblTitle", QString(), 20, 36, 292, 34);
    QFont title(QStringLiteral("Tahoma"));
    title.setPixelSize(21);
    lblTitle->setFont(title);

    lblSoftwareVersion = Text(this, "lblSoftwareVersion", QString(), 20, 80, 292, 22);
    QFont version(QStringLiteral("Tahoma"));
    version.setPixelSize(13);
    version.setBold(true);
    lblSoftwareVersion->setFont(version);

    Label3 = Text(this, "Label3", QString::fromLatin1(Branding::NoticeLine), 28, 118, 276, 40);

    lblAddress1 = Text(this, "lblAddress1", QStringLiteral("Zelvo Telemetry"), 20, 150, 292, 16);
    lblAddress2 = Text(this, "lblAddress2", QStringLiteral("Harbour Road 12"), 20, 166, 292, 16);
    lblAddress3 =
        Text(this, "lblAddress3", QStringLiteral("Marlune Business Park"), 20, 182, 292, 16);
    lblAddress4 = Text(this, "lblAddress4", QStringLiteral("Northport"), 20, 198, 292, 16);
    lblAddress5 = Text(this, "lblAddress5", QStringLiteral("NP1 2ZV"), 20, 214, 292, 16);
    lblTelephone =
        Text(this, "lblTelephone", QStringLiteral("Support: +00 100 200 300"), 20, 230, 292, 16);

    lblURL1 = Text(this, "lblURL1", QString(), 20, 200, 292, 20);
    lblURL2 = Text(this, "lblURL2", QString::fromLatin1(Branding::WebHost), 20, 224, 292, 20);
    MakeLink(lblURL1);
    MakeLink(lblURL2);
    lblURL1->installEventFilter(new TClickFilter(lblURL1, [this] { lblURL1Click(); }));
    lblURL2->installEventFilter(new TClickFilter(lblURL2, [this] { lblURL2Click(); }));
    // The link is reached with Tab too; the box opens with OK focused, so
    // Enter still closes it.
    lblURL1->setFocusPolicy(Qt::TabFocus);
    lblURL2->setFocusPolicy(Qt::TabFocus);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(332 / 2 - 40, 276, 80, 28);
    Button1->setDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });

    // Version first: a failed read shows its message box before the box opens.
    QString versionText;
    if (!FormatVersion(FEnv.Version, versionText)) {
        if (FEnv.ShowError)
            FEnv.ShowError(parent, QStringLiteral("The version number of this build could not be "
                                                  "read."));
        versionText = kNoVersion;
    }
    lblSoftwareVersion->setText(QStringLiteral("Software Version ") + versionText);
    lblURL1->setText(QString::fromLatin1(Branding::WebURL));
    lblTitle->setText(brand + QLatin1Char(' ') + QString::fromLatin1(Branding::ProductName));
    for (QLabel *hidden :
         {lblAddress1, lblAddress2, lblAddress3, lblAddress4, lblAddress5, lblTelephone, lblURL2})
        hidden->setVisible(false);
}

void TfmAbout::OpenWebHost()
{
    // The host is opened, not the address shown; the outcome is not checked.
    if (FEnv.OpenUrl)
        FEnv.OpenUrl(QUrl(QString::fromLatin1(Branding::WebHost)));
}

void TfmAbout::lblURL1Click()
{
    OpenWebHost();
}
void TfmAbout::lblURL2Click()
{
    OpenWebHost();
}
void TfmAbout::Button1Click()
{
    accept();
}

void TfmAbout::showEvent(QShowEvent *event)
{
    CentreOnWidget(this, parentWidget());
    QDialog::showEvent(event);
}
