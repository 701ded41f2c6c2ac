#pragma once

#include "link/Linkabort.h"
#include "link/Portprobe.h"

#include <QSize>
#include <QWidget>

#include <functional>
#include <thread>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// The connect dialog's "Find": probes every port on a worker thread while
// the dialog stays usable, shows how far it got and what answered, and
// hands the unit it found (the first of several) to its owner, which selects
// its model and port. It never connects.
class TFindPanel : public QWidget
{
    Q_OBJECT
public:
    // The connect dialog's size once a find has shown its list.
    static constexpr QSize ExpandedSize{430, 330};

    explicit TFindPanel(QWidget *parent = nullptr);
    // Breaks off a find in progress and waits for its probes to close.
    ~TFindPanel() override;

    // Placed by the owner next to its own buttons: "Find", "Cancel" while
    // a find runs.
    QPushButton *btnFind = nullptr;
    QProgressBar *pbFind = nullptr;
    QLabel *lblFind = nullptr;
    QTreeWidget *lvFound = nullptr;

    // GUI thread, after a find that found a unit: how the link reaches it.
    std::function<void(const TProbeSelection &selection, const TProbeReport &unit)> OnUnitFound;

    // Starts a find, or cancels the one in progress.
    void btnFindClick();
    // Ends a find in progress: every probe returns at once and closes its
    // port with its settings restored. Returns when they have.
    void Cancel();
    bool IsFinding() const { return FWorker.joinable() && !FFinished; }
    const std::vector<TProbeReport> &Reports() const { return FReports; }

    // For tests: the probe's time-outs and where devices are looked for.
    void SetProbeOptions(const TProbeOptions &options) { FOptions = options; }
    void SetProbeRoots(const TProbeRoots &roots) { FRoots = roots; }

signals:
    void Started();
    void Finished();

protected:
    void hideEvent(QHideEvent *event) override;

private:
    void Start();
    void PortDone(unsigned run, const TProbeReport &report);
    void Done(unsigned run, std::vector<TProbeReport> reports, bool cancelled);
    void Join();

    TProbeOptions FOptions;
    TProbeRoots FRoots;
    TLinkAbort FAbort;
    std::thread FWorker;
    bool FFinished = true;
    // Which find a queued call belongs to: one from a cancelled find is
    // dropped when it arrives after the next has started.
    unsigned FRun = 0;
    std::size_t FCount = 0;
    std::size_t FDone = 0;
    std::vector<TProbeReport> FReports;
};
