#include "ui/Fm_working.h"

#include "ui/Dialoggeometry.h"
#include "ui/Dialogseam.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QTimer>

#include <algorithm>

TfmWorking::TfmWorking(TMainWindowSeam &main, const QString &animationFile, QWidget *parent)
    : QDialog(parent), FMain(main)
{
    setObjectName(QStringLiteral("fmWorking"));
    setWindowTitle(QStringLiteral("Working..."));
    // A dialog border without system menu or close button.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(437, 181);
    setAutoFillBackground(true);
    QPalette moneyGreen = palette();
    moneyGreen.setColor(QPalette::Window, QColor(0xC0, 0xDC, 0xC0));
    setPalette(moneyGreen);

    imgBackground = new QLabel(this);
    imgBackground->setObjectName(QStringLiteral("imgBackground"));
    imgBackground->setGeometry(0, 0, 437, 181);
    imgBackground->setPixmap(QPixmap(QStringLiteral(":/art/working_background.jpg")));

    lblCaption = new QLabel(QStringLiteral("Working..."), this);
    lblCaption->setObjectName(QStringLiteral("lblCaption"));
    QFont big(QStringLiteral("Tahoma"));
    big.setPixelSize(33);
    lblCaption->setFont(big);
    QPalette text = lblCaption->palette();
    text.setColor(QPalette::WindowText, Qt::white);
    lblCaption->setPalette(text);
    lblCaption->setGeometry(24, 20, 300, 44);

    Animate1 = new QLabel(this);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(0, 0, 444, 212);
    Animate1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    FTimer = new QTimer(this);
    connect(FTimer, &QTimer::timeout, this, [this] { NextFrame(); });

    if (FAvi.Open(animationFile)) {
        FTimer->setInterval(
            static_cast<int>(std::max<uint32_t>(FAvi.FrameIntervalUs() / 1000, 10)));
        Animate1->setPixmap(QPixmap::fromImage(FAvi.Frame(0)));
    } else {
        // No animation: the background picture and the caption show.
        Animate1->hide();
    }
}

bool TfmWorking::IsAnimating() const
{
    return FTimer->isActive();
}

void TfmWorking::NextFrame()
{
    if (!HasAnimation())
        return;
    FFrame = (FFrame + 1) % FAvi.FrameCount();
    Animate1->setPixmap(QPixmap::fromImage(FAvi.Frame(FFrame)));
}

void TfmWorking::showEvent(QShowEvent *event)
{
    CentreOnWidget(this, FMain.MainWidget());
    if (HasAnimation()) {
        FFrame = 0;
        Animate1->setPixmap(QPixmap::fromImage(FAvi.Frame(0)));
        FTimer->start();
    }
    QDialog::showEvent(event);
}

void TfmWorking::hideEvent(QHideEvent *event)
{
    FTimer->stop();
    QDialog::hideEvent(event);
}

void TfmWorking::closeEvent(QCloseEvent *event)
{
    // Closing comes from the main window (hide); a close request from the
    // window manager is refused.
    if (event->spontaneous())
        event->ignore();
    else
        QDialog::closeEvent(event);
}
