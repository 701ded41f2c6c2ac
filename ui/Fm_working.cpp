#include "ui/Fm_working.h"

#include "common/Branding.h"
#include "ui/Dialoggeometry.h"
#include "ui/Dialogseam.h"
#include "engine/Serialthread.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
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

    // Made after the animation, so they lie over it.
    lblCancelState = new QLabel(this);
    lblCancelState->setObjectName(QStringLiteral("lblCancelState"));
    // Below the progress bar, in the caption's white, beside the button.
    lblCancelState->setGeometry(24, 140, 310, 38);
    lblCancelState->setWordWrap(true);
    lblCancelState->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lblCancelState->setPalette(text);
    lblCancelState->hide();

    btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setAccessibleName(QStringLiteral("Cancel"));
    btnCancel->setAccessibleDescription(
        QStringLiteral("Stops the running job; the link to the unit stays open"));
    btnCancel->setGeometry(342, 148, 85, 25);
    // Enter does not cancel: it may still be held from the dialog that
    // started the job. Esc and Space on the button do.
    btnCancel->setAutoDefault(false);
    btnCancel->setDefault(false);
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    setFocusProxy(btnCancel);

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

void TfmWorking::btnCancelClick()
{
    if (!btnCancel->isEnabled())
        return;
    ShowCancelState(FMain.CancelJob());
}

void TfmWorking::ShowCancelState(TCancelOutcome state)
{
    const QString brand = QString::fromLatin1(Branding::BrandName);
    QString caption = QStringLiteral("Working...");
    QString text;
    switch (state) {
    case CANCEL_NOTHING:
        // The job has just ended; the dialog closes at the next poll.
        return;
    case CANCEL_PENDING:
    case CANCEL_DONE:
        caption = QStringLiteral("Cancelling...");
        text = QStringLiteral("The job stops at the next step and the ") + brand +
               QStringLiteral(" is asked to go idle. The link stays open.");
        break;
    case CANCEL_TOO_LATE:
        caption = QStringLiteral("Waiting...");
        text = QStringLiteral("The changes have been sent: the server may still apply them. "
                              "Waiting for the outcome...");
        break;
    case CANCEL_SAVING:
        caption = QStringLiteral("Waiting...");
        text = QStringLiteral("The settings are being written to the ") + brand +
               QStringLiteral(" and cannot be cancelled. Waiting for the outcome...");
        break;
    default:
        break;
    }
    lblCaption->setText(caption);
    lblCancelState->setText(text);
    lblCancelState->setVisible(!text.isEmpty());
    const bool canCancel = text.isEmpty();
    if (btnCancel->isEnabled() != canCancel) {
        btnCancel->setEnabled(canCancel);
        // A disabled button loses the focus; Esc still reaches the dialog.
        if (canCancel && isActiveWindow())
            btnCancel->setFocus();
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
    // Each busy period starts with the plain display and Cancel available.
    ShowCancelState(CANCEL_NONE);
    btnCancel->setFocus();
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

void TfmWorking::reject()
{
    // Hiding is the main window's poll's, when the engine is no longer busy.
    btnCancelClick();
}

void TfmWorking::closeEvent(QCloseEvent *event)
{
    // Closing comes from the main window (hide); a close request from the
    // window manager cancels the job instead.
    if (event->spontaneous()) {
        event->ignore();
        btnCancelClick();
    } else {
        QDialog::closeEvent(event);
    }
}
