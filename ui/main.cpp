// zelvo-marlune: the commissioning window.

#include "common/Branding.h"
#include "common/Errormanager.h"
#include "common/Version.h"
#include "frontend/Datapaths.h"
#include "frontend/Linkoptions.h"
#include "link/Trace.h"
#include "ui/Closerequests.h"
#include "ui/Developertour.h"
#include "ui/Dialogseam.h"
#include "ui/Fm_main.h"
#include "ui/Programoptions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <memory>

int main(int argc, char **argv)
{
    QElapsedTimer sinceStart;
    sinceStart.start();
    // The options are read before the application object exists: --help,
    // --version and a usage error need no display.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    TProgramOptions options;
    QString error;
    if (!ParseProgramOptions(args, options, error)) {
        std::fprintf(stderr, "zelvo-marlune: %s\n\n%s", qPrintable(error),
                     qPrintable(ProgramUsage()));
        return 2;
    }
    if (options.Help) {
        std::fputs(qPrintable(ProgramUsage()), stdout);
        return 0;
    }
    if (options.Version) {
        std::printf("zelvo-marlune %s\n", ZELVO_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(Branding::BrandName) +
                                     QStringLiteral(" Marlune"));
    QApplication::setApplicationVersion(QStringLiteral(ZELVO_VERSION));

    const TLinkPacing pacing = PacingFromEnvironment();
    // Declared before the window, so it outlives the engine's link.
    TSimulatedLink simulated;
    if (const TLinkResult r = TLinkOptions(options.Link).Apply(pacing.Divisor, simulated); !r.Ok) {
        std::fprintf(stderr, "zelvo-marlune: %s\n", qPrintable(r.Error));
        return r.ExitCode;
    }

    // The program's one log: status texts, the log memo and Log.txt. Made
    // before the window, which hands it to the engine, and kept until after.
    TErrorManager log(LogFilePath());
    int status = 0;
    {
        const bool tour = !options.ScreenshotDir.isEmpty() || options.Measure;
        TForm1::TMessageSink sink;
        if (tour)
            sink = [](const QString &text, int) {
                std::fprintf(stderr, "message: %s\n", qPrintable(text));
            };
        TForm1 form(log, pacing.Pacing, DataFilePath(QStringLiteral("networks.xml")), sink);
        std::unique_ptr<TDialogSeam> dialogs = CreateDialogs(form);
        form.SetDialogs(dialogs.get());
        // The connect dialog opens on the simulated unit's model and port.
        if (!options.Link.SimulateModel.isEmpty())
            dialogs->PreselectConnection(simulated.UseUsb, simulated.ComPort);

        TDeveloperTour *developerTour = nullptr;
        if (tour)
            developerTour = new TDeveloperTour(form, options.Link.SimulateModel,
                                               options.ScreenshotDir, options.Measure, sinceStart);
        form.show();
        HonourCloseRequestsOutsideWindows(&form);
        if (developerTour)
            QTimer::singleShot(0, developerTour, [developerTour] { developerTour->Start(); });

        status = QApplication::exec();
        // The dialogs go before the window they point at.
        form.SetDialogs(nullptr);
        dialogs.reset();
    }
    linktrace::Uninstall();
    return status;
}
