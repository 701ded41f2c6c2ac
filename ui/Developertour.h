#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class QTimer;
class TForm1;

// A developer's walk through the window for screenshots and measurements:
// answers the connect dialog that opens on start (the model's button, the
// first port, Connect; the screenshots get one of the window with the
// dialog on top), waits for the connection, loads the I/O configuration, fetches a
// snapshot, logs on, then grabs each page and each dialog (screenshots) or prints the
// resident size (measurement) and quits the application. Each stage waits
// for its condition with a deadline; a stage that times out ends the tour
// with exit code 1.
class TDeveloperTour : public QObject
{
public:
    // model: "ostra" or "vello", the simulated unit's (the connect dialog's
    // choice); empty keeps the dialog's own.
    TDeveloperTour(TForm1 &form, const QString &model, const QString &screenshotDir, bool measure,
                   const QElapsedTimer &sinceStart);

    // Called once the window is first shown.
    void Start();

private:
    struct TStage {
        QString Name;
        std::function<void()> Enter;
        std::function<bool()> Done;
        int DeadlineMs;
    };

    void Tick();
    bool Settled() const;
    void Grab(const QString &name);
    // Ends the tour with an error when a page title is out of view.
    void CheckPageTitlesInView();
    // The window with the active modal dialog drawn where it stands on it.
    void GrabWithDialog(const QString &name, QWidget *dialog);
    QWidget *ConnectDialog() const;
    void Add(const QString &name, std::function<void()> enter, std::function<bool()> done,
             int deadlineMs = 120000);
    // A stage that opens a modal dialog (`open`), waits for it by its title,
    // lets `fill` type into it, saves its picture as NAME.png and closes it.
    void AddDialogShot(const QString &title, const QString &name, std::function<void()> open,
                       std::function<void(QWidget *)> fill = {});
    void GrabWidget(const QString &name, QWidget *widget);

    TForm1 &FForm;
    QString FModel;
    QString FDir;
    bool FMeasure;
    QElapsedTimer FSinceStart;
    std::vector<TStage> FStages;
    std::size_t FStage = 0;
    bool FEntered = false;
    QElapsedTimer FStageClock;
    QTimer *FTimer;
    bool FWorkingShot = false;
};

// Resident set size of this process in kB (0 when unknown).
long ResidentKilobytes();
// Time since this process started, in ms (10 ms resolution; -1 unknown).
long ProcessAgeMilliseconds();
