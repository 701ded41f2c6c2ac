// zelvo-cli: scripted commissioning of a Zelvo unit on the window's engine.

#include "cli/Cliconsole.h"
#include "cli/Clioptions.h"
#include "cli/Clirunner.h"
#include "cli/Clisession.h"
#include "common/Errormanager.h"
#include "common/Version.h"
#include "frontend/Datapaths.h"
#include "frontend/Linkoptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char **argv)
{
    // The report draws its PDF with Qt Gui, which needs a GUI application,
    // on a platform that needs no display.
    std::unique_ptr<QCoreApplication> application;
    if (std::any_of(argv + 1, argv + argc,
                    [](const char *a) { return std::strcmp(a, "report") == 0; })) {
        PrepareReportPlatform();
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("zelvo-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZELVO_VERSION));

    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    const TCliParseResult parsed = ParseCommandLine(args);
    if (!parsed.Ok) {
        std::fprintf(stderr, "zelvo-cli: %s\nTry 'zelvo-cli --help'.\n",
                     parsed.Error.toLocal8Bit().constData());
        if (args.contains(QStringLiteral("--json")))
            std::printf("%s\n", QJsonDocument(QJsonObject{{"error", parsed.Error},
                                                          {"exitCode", EXIT_CLI_USAGE},
                                                          {"meaning", ExitMeaning(EXIT_CLI_USAGE)}})
                                    .toJson(QJsonDocument::Compact)
                                    .constData());
        return EXIT_CLI_USAGE;
    }
    const TCliOptions &o = parsed.Options;
    if (o.Help) {
        const QString help = CommandHelp(o.Command);
        std::fputs(help.toLocal8Bit().constData(), stdout);
        return EXIT_CLI_OK;
    }
    if (o.Version) {
        std::printf("zelvo-cli %s\n", ZELVO_VERSION);
        // Where this run finds the shipped data and appends its log.
        std::printf("Network catalogue: %s\nLog: %s\n",
                    QFile::encodeName(DataFilePath(QStringLiteral("networks.xml"))).constData(),
                    QFile::encodeName(LogFilePath()).constData());
        return EXIT_CLI_OK;
    }

    InstallInterruptHandler(&TCliSession::RequestInterrupt, EXIT_CLI_INTERRUPTED);
    // The run's one log, handed to the engine through the session.
    TErrorManager log(LogFilePath());
    const int code = RunCliCommand(o, PacingFromEnvironment(), log);
    // The last log entries wait for a flush in the window; here the run is
    // over, so they go to Log.txt before the log is closed.
    log.FlushLog();
    return code;
}
