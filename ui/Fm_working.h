#pragma once

#include "ui/Avireader.h"

#include <QDialog>
#include <QString>

class QLabel;
class QTimer;
class TMainWindowSeam;

// Shown, without a way to close it, while the job engine is busy; plays the
// progress animation, or shows the static picture when the animation file
// cannot be read. Opened and closed only by the main window's poll.
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

    QLabel *lblCaption = nullptr;
    QLabel *imgBackground = nullptr;
    QLabel *Animate1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    // The user cannot close it: Esc and the window manager's close are ignored.
    void reject() override {}
    void closeEvent(QCloseEvent *event) override;

private:
    TMainWindowSeam &FMain;
    TAviReader FAvi;
    QTimer *FTimer = nullptr;
    int FFrame = 0;
};
