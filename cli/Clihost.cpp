#include "cli/Clihost.h"

#include "cli/Cliconsole.h"
#include "common/Errormanager.h"

TCliHost::TCliHost(TErrorManager &log, std::FILE *err)
    : THeadlessHost(log), FErr(err), FTerminal(IsTerminal(err))
{
}

void TCliHost::ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet)
{
    THeadlessHost::ShowConnectionSettings(settings, noEthernet);
    FSettings = settings;
}

void TCliHost::LogonResult(bool accepted)
{
    THeadlessHost::LogonResult(accepted);
    FLogon = accepted;
}

void TCliHost::ClearSnapshot()
{
    THeadlessHost::ClearSnapshot();
    FSnapshotReceived = true;
}

void TCliHost::ShowStatusPanels(const QString &panel0, const QString &panel1)
{
    // Every status the engine set since the last poll, in order, so a text
    // that lasted less than one poll (a step on a loaded machine) is still
    // reported; the latest pair alone when the error manager keeps no trail.
    TakePendingStatus();
    ShowStatusLine(panel0, panel1);
}

void TCliHost::TakePendingStatus()
{
    const TErrorManager::TStatusTrail trail = ErrorLog().TakeStatusTrail();
    for (const auto &[status, storeForward] : trail)
        ShowStatusLine(status, storeForward);
}

void TCliHost::ShowStatusLine(const QString &panel0, const QString &panel1)
{
    THeadlessHost::ShowStatusPanels(panel0, panel1);
    // The window's tab switching means nothing on the command line.
    if (!FVerbose && panel0.startsWith(QStringLiteral("Tabs ")) &&
        (panel0.endsWith(QStringLiteral("activated"))))
        return;
    QString line = panel0;
    if (!panel1.isEmpty())
        line += QStringLiteral("  [") + panel1 + ']';
    if (line == FLastLine)
        return;
    FLastLine = line;
    if (FTerminal) {
        // One line kept up to date: the job text and the unit's state, cut
        // to the terminal's width so rewriting it never leaves a wrapped rest.
        const int columns = TerminalColumns(FErr);
        if (columns > 1 && line.size() >= columns)
            line.truncate(columns - 1);
        std::fprintf(FErr, "\r\033[K%s", line.toLocal8Bit().constData());
        FProgressOpen = true;
    } else {
        std::fprintf(FErr, "%s\n", line.toLocal8Bit().constData());
    }
    std::fflush(FErr);
}

void TCliHost::ShowMessage(const QString &text, TMessageKind kind)
{
    THeadlessHost::ShowMessage(text, kind);
    ++FMessageCount;
    FLastProblem = text;
    EndProgress();
    std::fprintf(FErr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(FErr);
}

void TCliHost::Note(const QString &text)
{
    FLastProblem = text;
    EndProgress();
    std::fprintf(FErr, "%s\n", text.toLocal8Bit().constData());
    std::fflush(FErr);
}

void TCliHost::EndProgress()
{
    if (FProgressOpen) {
        std::fputc('\n', FErr);
        std::fflush(FErr);
        FProgressOpen = false;
    }
}
