#include "ui/Findpanel.h"

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace
{

QString ResultText(const TProbeReport &r)
{
    if (r.Cancelled)
        return QStringLiteral("cancelled");
    switch (r.Result) {
    case TProbeResult::Zelvo:
        return QString::fromStdString(r.Model + " " + r.Firmware) +
               (r.FirmwareRecent ? QString() : QStringLiteral(" (too old)"));
    case TProbeResult::Busy:
        return r.HolderPid > 0 ? QStringLiteral("busy (PID %1)").arg(r.HolderPid)
                               : QStringLiteral("busy");
    default:
        return QString::fromLatin1(ProbeResultText(r.Result));
    }
}

// Devices under /dev are shown without that folder, so the column stays narrow.
QString DeviceText(const std::string &path)
{
    const QString p = QString::fromStdString(path);
    return p.startsWith(QStringLiteral("/dev/")) ? p.mid(5) : p;
}

} // namespace

TFindPanel::TFindPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("FindPanel"));
    btnFind = new QPushButton(QStringLiteral("Find"), this);
    btnFind->setObjectName(QStringLiteral("btnFind"));
    btnFind->setAutoDefault(false);
    btnFind->setToolTip(QStringLiteral("Look for the unit on every port; nothing connects"));

    lblFind = new QLabel(this);
    lblFind->setObjectName(QStringLiteral("lblFind"));
    pbFind = new QProgressBar(this);
    pbFind->setObjectName(QStringLiteral("pbFind"));
    pbFind->setTextVisible(false);
    pbFind->setMaximumHeight(8);
    lvFound = new QTreeWidget(this);
    lvFound->setObjectName(QStringLiteral("lvFound"));
    lvFound->setRootIsDecorated(false);
    lvFound->setUniformRowHeights(true);
    lvFound->setHeaderLabels(
        {QStringLiteral("Port"), QStringLiteral("Device"), QStringLiteral("Result")});
    lvFound->header()->setStretchLastSection(true);
    lvFound->setAccessibleName(QStringLiteral("Ports found"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(3);
    layout->addWidget(lblFind);
    layout->addWidget(pbFind);
    layout->addWidget(lvFound, 1);
    // Only the button shows until a find was asked for.
    lblFind->hide();
    pbFind->hide();
    lvFound->hide();
    hide();

    connect(btnFind, &QPushButton::clicked, this, [this] { btnFindClick(); });
}

TFindPanel::~TFindPanel()
{
    Cancel();
}

void TFindPanel::btnFindClick()
{
    if (IsFinding())
        Cancel();
    else
        Start();
}

void TFindPanel::Start()
{
    Join();
    FAbort.Clear();
    FFinished = false;
    const unsigned run = ++FRun;
    FReports.clear();
    const std::vector<TProbeCandidate> candidates = ListProbeCandidates(FRoots);
    FCount = candidates.size();
    FDone = 0;

    lvFound->clear();
    pbFind->setRange(0, static_cast<int>(FCount));
    pbFind->setValue(0);
    lblFind->setText(QStringLiteral("Looking on %1 ports...").arg(FCount));
    btnFind->setText(QStringLiteral("Cancel"));
    show();
    lblFind->show();
    pbFind->show();
    lvFound->show();
    emit Started();

    // The worker reaches the panel only through queued calls, which Qt drops
    // once the panel is gone; the destructor waits for the worker first.
    FWorker = std::thread([this, run, candidates, options = FOptions] {
        std::vector<TProbeReport> reports = ProbePorts(
            candidates, options, &FAbort, [this, run](std::size_t, const TProbeReport &r) {
                QMetaObject::invokeMethod(
                    this, [this, run, r] { PortDone(run, r); }, Qt::QueuedConnection);
            });
        const bool cancelled = FAbort.IsSet();
        QMetaObject::invokeMethod(
            this,
            [this, run, reports = std::move(reports), cancelled]() mutable {
                Done(run, std::move(reports), cancelled);
            },
            Qt::QueuedConnection);
    });
}

void TFindPanel::PortDone(unsigned run, const TProbeReport &)
{
    if (FFinished || run != FRun)
        return;
    ++FDone;
    pbFind->setValue(static_cast<int>(FDone));
    lblFind->setText(QStringLiteral("Looking on %1 ports... %2 done").arg(FCount).arg(FDone));
}

void TFindPanel::Done(unsigned run, std::vector<TProbeReport> reports, bool cancelled)
{
    if (FFinished || run != FRun)
        return;
    FFinished = true;
    Join();
    FReports = std::move(reports);
    btnFind->setText(QStringLiteral("Find"));
    pbFind->hide();

    // Units first, then the ports that hold something, then the rest.
    const auto rank = [](const TProbeReport &r) {
        switch (r.Result) {
        case TProbeResult::Zelvo:
            return 0;
        case TProbeResult::Busy:
        case TProbeResult::NotZelvo:
            return 1;
        default:
            return 2;
        }
    };
    std::vector<const TProbeReport *> shown;
    for (const TProbeReport &r : FReports)
        shown.push_back(&r);
    std::stable_sort(shown.begin(), shown.end(),
                     [&](const auto *a, const auto *b) { return rank(*a) < rank(*b); });
    lvFound->clear();
    for (const TProbeReport *r : shown) {
        auto *item = new QTreeWidgetItem(lvFound, {QString::fromStdString(r->Candidate.Port),
                                                   DeviceText(r->Candidate.Path), ResultText(*r)});
        const QString line = QString::fromStdString(ProbeReportLine(*r));
        for (int c = 0; c < 3; ++c)
            item->setToolTip(c, line);
    }
    lvFound->resizeColumnToContents(0);
    lvFound->resizeColumnToContents(1);

    const std::vector<TProbeReport> units = FoundUnits(FReports);
    if (cancelled) {
        lblFind->setText(QStringLiteral("Cancelled."));
    } else if (units.empty()) {
        lblFind->setText(QStringLiteral("No unit found on %1 ports.").arg(FReports.size()));
    } else {
        const TProbeReport &unit = units.front();
        TProbeSelection selection;
        const bool reachable = SelectFoundUnit(unit, FReports, selection);
        QString text = QStringLiteral("Found %1 on %2")
                           .arg(QString::fromStdString(unit.Model),
                                QString::fromStdString(unit.Candidate.Port));
        if (units.size() > 1)
            text += QStringLiteral(" (%1 units; the first is selected)").arg(units.size());
        if (!unit.FirmwareRecent)
            text += QStringLiteral("; its firmware needs an upgrade");
        if (!reachable)
            text += QStringLiteral("; no free COM number for it");
        lblFind->setText(text + QStringLiteral(". Press Connect."));
        lvFound->setCurrentItem(lvFound->topLevelItem(0));
        if (reachable && OnUnitFound)
            OnUnitFound(selection, unit);
    }
    emit Finished();
}

void TFindPanel::Cancel()
{
    if (!FWorker.joinable())
        return;
    FAbort.Set();
    Join();
    // The worker's last queued call may still be on its way; the panel says
    // now that the find is over.
    if (!FFinished) {
        FFinished = true;
        btnFind->setText(QStringLiteral("Find"));
        pbFind->hide();
        lblFind->setText(QStringLiteral("Cancelled."));
        emit Finished();
    }
}

void TFindPanel::Join()
{
    if (FWorker.joinable())
        FWorker.join();
}

void TFindPanel::hideEvent(QHideEvent *event)
{
    // Closing the dialog ends the find: the ports go back as they were.
    Cancel();
    QWidget::hideEvent(event);
}
