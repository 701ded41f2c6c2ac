#include "ui/Programoptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>

#include <vector>

namespace
{

constexpr char kProgram[] = "zelvo-marlune";

#ifdef _WIN32
constexpr char kDescription[] =
    "The commissioning window. networks.xml and Images\\ are taken from the working\n"
    "directory, else from the program's own folder. Log.txt is appended in the\n"
    "working directory, or in %LOCALAPPDATA%\\zelvo-marlune when that is not\n"
    "writable; the Advanced page shows which.";
#else
constexpr char kDescription[] =
    "The commissioning window. networks.xml and Images/ are taken from the working\n"
    "directory, else from the installed share/zelvo-marlune. Log.txt is appended in\n"
    "the working directory, or in ~/.local/share/zelvo-marlune when that is not\n"
    "writable; the Advanced page shows which.";
#endif

// Every option of the program, declared to a parser.
struct TDeclaration {
    TDeclaration()
    {
        Parser.setApplicationDescription(QString::fromLatin1(kDescription));
        for (const TLinkOptionForm &f : LinkOptionForms(TLinkFlavour::Window)) {
            Parser.addOption(QCommandLineOption(QString::fromLatin1(f.Name),
                                                QString::fromLatin1(f.Help),
                                                QString::fromLatin1(f.Value)));
            LinkNames.push_back(QString::fromLatin1(f.Name));
        }
        QCommandLineOption tour(QStringLiteral("screenshot-tour"),
                                QStringLiteral("grab every page into DIR, then quit"),
                                QStringLiteral("DIR"));
        QCommandLineOption measure(QStringLiteral("measure"),
                                   QStringLiteral("print start-up time and resident size, quit"));
        tour.setFlags(QCommandLineOption::HiddenFromHelp);
        measure.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(tour);
        Parser.addOption(measure);
        Parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                            QStringLiteral("show this help")));
        Parser.addOption(
            QCommandLineOption(QStringLiteral("version"), QStringLiteral("the program's version")));
    }

    QCommandLineParser Parser;
    std::vector<QString> LinkNames;
};

} // namespace

bool ParseProgramOptions(const QStringList &args, TProgramOptions &options, QString &error)
{
    TDeclaration d;
    QCommandLineParser &p = d.Parser;
    if (!p.parse(QStringList{QLatin1String(kProgram)} + args)) {
        error = p.errorText();
        return false;
    }
    if (!p.positionalArguments().isEmpty()) {
        error = QStringLiteral("unknown argument \"%1\"").arg(p.positionalArguments().first());
        return false;
    }
    TLinkOptionReader link(TLinkFlavour::Window);
    for (const QString &name : d.LinkNames)
        for (const QString &value : p.values(name))
            if (!link.Read(name, value)) {
                error = link.Error();
                return false;
            }
    if (!link.Finish()) {
        error = link.Error();
        return false;
    }

    TProgramOptions o;
    o.Link = link.Settings();
    o.Help = p.isSet(QStringLiteral("help"));
    o.Version = p.isSet(QStringLiteral("version"));
    o.Measure = p.isSet(QStringLiteral("measure"));
    if (p.isSet(QStringLiteral("screenshot-tour"))) {
        o.ScreenshotDir = p.value(QStringLiteral("screenshot-tour"));
        if (o.ScreenshotDir.isEmpty()) {
            error = QStringLiteral("--screenshot-tour needs a directory");
            return false;
        }
    }
    options = o;
    return true;
}

QString ProgramUsage()
{
    // The parser names the program by the application object's arguments,
    // or not at all without one: the first line is ours.
    const QString help = TDeclaration().Parser.helpText();
    return QStringLiteral("Usage: %1 [options]").arg(QLatin1String(kProgram)) +
           help.mid(help.indexOf(QLatin1Char('\n')));
}
