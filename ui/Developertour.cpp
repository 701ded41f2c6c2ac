#include "ui/Developertour.h"

#include "engine/Serialthread.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "protocol/Commands.h"
#include "ui/Fm_main.h"
#include "ui/Fm_report.h"
#include "unit/Zelvo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

#include <memory>
#ifdef _WIN32
// Without the OLE headers, whose SF_ names clash with the unit's states.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <time.h>
#include <unistd.h>
#endif

long ResidentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

#ifdef _WIN32
long ProcessAgeMilliseconds()
{
    FILETIME created{}, exited{}, kernel{}, user{}, now{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME &t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<long>((ticks(now) - ticks(created)) / 10000);
}

long CpuMilliseconds()
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    const auto ticks = [](const FILETIME &t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<long>((ticks(kernel) + ticks(user)) / 10000);
}
#else
long CpuMilliseconds()
{
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return static_cast<long>(cpu.tv_sec * 1000 + cpu.tv_nsec / 1000000);
}

long ProcessAgeMilliseconds()
{
    // Field 22 of /proc/self/stat: start time in clock ticks after boot.
    QFile stat(QStringLiteral("/proc/self/stat"));
    QFile uptime(QStringLiteral("/proc/uptime"));
    if (!stat.open(QIODevice::ReadOnly) || !uptime.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // Fields after the command name start at field 3.
    if (fields.size() < 20)
        return -1;
    const double startTicks = fields.at(19).toDouble();
    const double now = uptime.readAll().split(' ').value(0).toDouble();
    return static_cast<long>((now - startTicks / static_cast<double>(sysconf(_SC_CLK_TCK))) *
                             1000.0);
}
#endif

TDeveloperTour::TDeveloperTour(TForm1 &form, const QString &model, const QString &screenshotDir,
                               bool measure, const QElapsedTimer &sinceStart)
    : QObject(&form), FForm(form), FModel(model.toUpper()), FDir(screenshotDir), FMeasure(measure),
      FSinceStart(sinceStart), FTimer(new QTimer(this))
{
    FTimer->setInterval(20);
    connect(FTimer, &QTimer::timeout, this, [this] { Tick(); });

    TSerialThread *engine = FForm.Engine();
    // The connect dialog opens modal on start; the tour's timer keeps running
    // inside its loop and answers it as a user would.
    Add(
        QStringLiteral("connect-dialog"), {}, [this] { return ConnectDialog() != nullptr; }, 30000);
    Add(
        QStringLiteral("connect"),
        [this] {
            QWidget *dialog = ConnectDialog();
            if (dialog == nullptr)
                return;
            const bool shots = !FMeasure && !FDir.isEmpty();
            if (shots)
                GrabWithDialog(QStringLiteral("startup-connect"), dialog);
            for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
                if (!FModel.isEmpty() && b->text() == FModel)
                    b->click();
            if (shots)
                GrabWidget(QStringLiteral("dialog-connect"), dialog);
            for (QAbstractButton *b : dialog->findChildren<QAbstractButton *>())
                if (b->text() == QLatin1String("Connect"))
                    b->click();
            // "Connecting...": the dialog stays up until the link answers.
            if (shots)
                GrabWidget(QStringLiteral("dialog-connect-connecting"), dialog);
        },
        [this] { return FForm.IsConnected() && Settled(); });
    Add(
        QStringLiteral("load"), [this] { FForm.btnActivateIOConfigurationClick(); },
        [this, engine] {
            // The progress dialog, once, while the chain runs.
            if (!FMeasure && !FDir.isEmpty() && !FWorkingShot) {
                for (QWidget *w : QApplication::topLevelWidgets())
                    if (w->objectName() == QLatin1String("fmWorking") && w->isVisible() &&
                        FStageClock.elapsed() > 800) {
                        GrabWidget(QStringLiteral("dialog-working"), w);
                        FWorkingShot = true;
                    }
            }
            return Settled() && engine->HasIOConfiguration() && engine->HasInputTypes() &&
                   engine->HasUOMLists() && engine->HasModbusData();
        });
    if (FMeasure) {
        Add(
            QStringLiteral("measure"),
            [] {
                std::printf("resident after connect and load: %ld kB\n", ResidentKilobytes());
                std::fflush(stdout);
            },
            [] { return true; });
        return;
    }
    Add(
        QStringLiteral("logon"),
        [this] {
            // The simulated server's account.
            FForm.RequestLogon("installer@zelvo.example", "commission");
        },
        [this] { return FForm.IsLoggedOn() && Settled(); });
    Add(
        QStringLiteral("snapshot"), [this] { FForm.btnGetSnapshotClick(); },
        [this] { return Settled() && FForm.memoSnapshot->blockCount() > 2; });
    // The meter with a level.
    Add(
        QStringLiteral("signal"),
        [this] {
            FForm.PageControl1->setCurrentIndex(0);
            FForm.btnRefreshClick();
        },
        [this] { return FForm.shapeSignal->height() > 0 && FForm.shapeSignal->y() < 249; });
    Add(
        QStringLiteral("signal-off"), [this] { FForm.StopSignalCheckingIfActive(); },
        [this, engine] { return engine->LinkState() == LINK_LIVE; });
    Add(
        QStringLiteral("page0"),
        [this] {
            Grab(QStringLiteral("0-connection-settings"));
            CheckPageTitlesInView();
        },
        [] { return true; });
    Add(
        QStringLiteral("page1"),
        [this] {
            FForm.PageControl1->setCurrentIndex(1);
            Grab(QStringLiteral("1-io-configuration"));
        },
        [] { return true; });
    // Live pages: wait for values read on them.
    for (int page : {2, 3}) {
        auto *view = page == 2 ? FForm.lvIOs : FForm.lvExternalIO;
        auto seen = std::make_shared<int>(0);
        Add(
            QStringLiteral("page%1").arg(page),
            [this, page] { FForm.PageControl1->setCurrentIndex(page); },
            [this, seen, view] {
                // Two full reading rounds after the page showed.
                if (view->topLevelItemCount() > 0 && FStageClock.elapsed() > 2600)
                    ++*seen;
                return *seen > 0;
            },
            30000);
        Add(
            QStringLiteral("grab%1").arg(page),
            [this, page] {
                Grab(page == 2 ? QStringLiteral("2-live-values-standard")
                               : QStringLiteral("3-live-values-external"));
            },
            [] { return true; });
    }
    for (int page : {4, 5}) {
        Add(
            QStringLiteral("page%1").arg(page),
            [this, page] {
                FForm.PageControl1->setCurrentIndex(page);
                Grab(page == 4 ? QStringLiteral("4-snapshot") : QStringLiteral("5-advanced"));
            },
            [] { return true; });
    }
    // The dialogs as the running window opens them, at the fonts it gives
    // them. Each opens modal as its stage begins; the tour's timer keeps
    // ticking in the dialog's own loop, takes the picture once the dialog has
    // been up a moment and closes it.
    AddDialogShot(QStringLiteral("Edit I/O"), QStringLiteral("dialog-editio"), [this] {
        FForm.PageControl1->setCurrentIndex(1);
        TServerSideIOs &ios = FForm.Engine()->Unit()->ServerSideIOs();
        // An input, whose type list is open (the first row otherwise).
        FForm.lvIOConfig->setCurrentItem(FForm.lvIOConfig->topLevelItem(0));
        for (int i = 0; i < FForm.lvIOConfig->topLevelItemCount(); ++i) {
            QTreeWidgetItem *row = FForm.lvIOConfig->topLevelItem(i);
            const auto *record =
                static_cast<const TServerSideIO *>(row->data(0, Qt::UserRole).value<void *>());
            if (record != nullptr && record->Tag().contains(QLatin1String("IN"))) {
                FForm.lvIOConfig->setCurrentItem(row);
                break;
            }
        }
        ios.ConfigViewDoubleClick();
    });
    AddDialogShot(
        QStringLiteral("Logon"), QStringLiteral("dialog-logon"), [this] { FForm.LogonClick(); },
        [](QWidget *dialog) {
            const QList<QLineEdit *> fields = dialog->findChildren<QLineEdit *>();
            for (QLineEdit *field : fields)
                field->setText(field->echoMode() == QLineEdit::Password
                                   ? QStringLiteral("commission")
                                   : QStringLiteral("installer@zelvo.example"));
        });
    AddDialogShot(QStringLiteral("About"), QStringLiteral("dialog-about"),
                  [this] { FForm.About1Click(); });
    AddDialogShot(QStringLiteral("Save Commissioning Report"), QStringLiteral("dialog-report"),
                  [this] { SaveCommissioningReport(FForm); });
}

void TDeveloperTour::AddDialogShot(const QString &title, const QString &name,
                                   std::function<void()> open, std::function<void(QWidget *)> fill)
{
    auto shot = std::make_shared<bool>(false);
    auto seen = std::make_shared<QElapsedTimer>();
    Add(
        name,
        [this, open = std::move(open), shot] {
            *shot = false;
            // Opened from its own call, not from inside the tour's timer:
            // Qt does not fire a timer again while its handler runs, and the
            // tour must tick on in the dialog's loop.
            QTimer::singleShot(0, this, open);
        },
        [this, title, name, fill = std::move(fill), shot, seen] {
            QWidget *modal = QApplication::activeModalWidget();
            const bool up = modal != nullptr && modal->isVisible() && modal->windowTitle() == title;
            if (*shot)
                return !up;
            if (!up)
                return false;
            if (!seen->isValid()) {
                if (fill)
                    fill(modal);
                seen->start();
                return false;
            }
            if (seen->elapsed() < 300)
                return false;
            GrabWidget(name, modal);
            *shot = true;
            modal->close();
            return false;
        },
        30000);
}

void TDeveloperTour::Add(const QString &name, std::function<void()> enter,
                         std::function<bool()> done, int deadlineMs)
{
    FStages.push_back({name, std::move(enter), std::move(done), deadlineMs});
}

void TDeveloperTour::Start()
{
    if (FMeasure) {
        std::printf("window shown %lld ms after main() began, %ld ms after the process started, "
                    "%ld ms of CPU time\n",
                    static_cast<long long>(FSinceStart.elapsed()), ProcessAgeMilliseconds(),
                    CpuMilliseconds());
        std::fflush(stdout);
    }
    FTimer->start();
}

bool TDeveloperTour::Settled() const
{
    const TSerialThread *engine = FForm.Engine();
    return engine->LinkState() == LINK_LIVE && engine->JobCode() == 0 && !engine->IsBusy() &&
           !FForm.IsWorkingShown();
}

void TDeveloperTour::CheckPageTitlesInView()
{
    // Every page's title in view at the font and style the window really
    // got, without the tab bar's scroll arrows.
    const QTabBar *bar = FForm.PageControl1->tabBar();
    for (int i = 0; i < bar->count(); ++i) {
        if (!bar->isTabVisible(i))
            continue;
        const QRect r = bar->tabRect(i);
        if (r.left() < 0 || r.right() > bar->width()) {
            std::fprintf(stderr,
                         "tour: the page title \"%s\" is out of view (tab bar %d px wide)\n",
                         qPrintable(bar->tabText(i)), bar->width());
            FTimer->stop();
            QApplication::exit(1);
            return;
        }
    }
}

void TDeveloperTour::Grab(const QString &name)
{
    QDir().mkpath(FDir);
    const QString path = QDir(FDir).filePath(name + QStringLiteral(".png"));
    if (!FForm.grab().save(path))
        std::fprintf(stderr, "tour: could not write %s\n", qPrintable(path));
}

void TDeveloperTour::GrabWidget(const QString &name, QWidget *widget)
{
    QDir().mkpath(FDir);
    const QString path = QDir(FDir).filePath(name + QStringLiteral(".png"));
    if (!widget->grab().save(path))
        std::fprintf(stderr, "tour: could not write %s\n", qPrintable(path));
}

QWidget *TDeveloperTour::ConnectDialog() const
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible())
        return nullptr;
    for (QAbstractButton *b : modal->findChildren<QAbstractButton *>())
        if (b->text() == QLatin1String("Connect") && b->isEnabled())
            return modal;
    return nullptr;
}

void TDeveloperTour::GrabWithDialog(const QString &name, QWidget *dialog)
{
    QDir().mkpath(FDir);
    const QString path = QDir(FDir).filePath(name + QStringLiteral(".png"));
    QPixmap shot = FForm.grab();
    {
        QPainter painter(&shot);
        const QPoint at = dialog->mapToGlobal(QPoint(0, 0)) - FForm.mapToGlobal(QPoint(0, 0));
        painter.drawPixmap(at, dialog->grab());
    }
    if (!shot.save(path))
        std::fprintf(stderr, "tour: could not write %s\n", qPrintable(path));
}

void TDeveloperTour::Tick()
{
    if (FStage >= FStages.size()) {
        FTimer->stop();
        QApplication::exit(0);
        return;
    }
    TStage &stage = FStages[FStage];
    if (!FEntered) {
        FEntered = true;
        FStageClock.start();
        if (stage.Enter)
            stage.Enter();
        return;
    }
    if (stage.Done()) {
        ++FStage;
        FEntered = false;
        return;
    }
    if (FStageClock.elapsed() > stage.DeadlineMs) {
        std::fprintf(stderr, "tour: stage %s did not finish in time\n", qPrintable(stage.Name));
        // What was in the way, for a run that cannot be watched.
        if (const QWidget *modal = QApplication::activeModalWidget())
            std::fprintf(stderr, "tour: a modal window was up: \"%s\" (%s)\n",
                         qPrintable(modal->windowTitle()), modal->isVisible() ? "shown" : "hidden");
        std::fprintf(stderr, "tour: link %d, job %d, busy %d, logged on %d, working shown %d\n",
                     static_cast<int>(FForm.Engine()->LinkState()),
                     static_cast<int>(FForm.Engine()->JobCode()), FForm.Engine()->IsBusy() ? 1 : 0,
                     FForm.IsLoggedOn() ? 1 : 0, FForm.IsWorkingShown() ? 1 : 0);
        FTimer->stop();
        QApplication::exit(1);
    }
}
