#pragma once

#include "ui/Avireader.h"

#include <QDialog>
#include <QString>

#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;
class TMainWindowSeam;
enum TCancelOutcome : std::int8_t;

// Shown while the job engine is busy; plays the progress animation, or shows
// the static picture when the animation file cannot be read. Opened and
// closed only by the main window's poll. Its Cancel (also Esc and the window
// manager's close) asks the main window to cancel the job; the dialog stays
// until the engine is no longer busy.
class TfmWorking : public QDialog
{
    Q_OBJECT
public:
    // animationFile: read once, here; relative paths from the working
    // directory.
    TfmWorking(TMainWindowSeam &main, const QString &animationFile, QWidget *parent = nullptr);

    // Whether the animation file was read; otherwise the static picture shows.
    bool HasAnimation() const { return FAvi.FrameCount() > 0; }
    const QString &AnimationError() const { return FAvi.Error(); }
    int CurrentFrame() const { return FFrame; }
    bool IsAnimating() const;
    // Steps the animation by one frame (the timer's tick).
    void NextFrame();

    // Cancel: asks for the job to end and shows where that stands.
    void btnCancelClick();
    // Shows a cancel's state: CANCEL_NONE is the plain progress display.
    void ShowCancelState(TCancelOutcome state);

    QLabel *lblCaption = nullptr;
    QLabel *imgBackground = nullptr;
    QLabel *Animate1 = nullptr;
    // Over the animation: what a cancel has come to, and the button.
    QLabel *lblCancelState = nullptr;
    QPushButton *btnCancel = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // Esc is Cancel; the dialog itself stays.
    void reject() override;
    // The window manager's close is Cancel too.
    void closeEvent(QCloseEvent *event) override;

private:
    TMainWindowSeam &FMain;
    TAviReader FAvi;
    QTimer *FTimer = nullptr;
    int FFrame = 0;
};
