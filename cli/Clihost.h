#pragma once

#include "engine/Headlesshost.h"
#include "unit/Connectionsettings.h"

#include <QString>

#include <cstdio>
#include <optional>

// The headless host of the command line: it keeps what the engine shows, as
// the headless host does, and reports status texts and messages on standard
// error while they come. On a terminal the status is one line rewritten in
// place (job text and store-and-forward state); otherwise each new status
// goes on a line of its own.
class TCliHost : public THeadlessHost
{
public:
    // `log` is the run's log, handed to the engine.
    explicit TCliHost(TErrorManager &log, std::FILE *err = stderr);

    void ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet) override;
    void LogonResult(bool accepted) override;
    void ClearSnapshot() override;
    void ShowStatusPanels(const QString &panel0, const QString &panel1) override;
    // Shows the statuses the engine set since the last poll, before a
    // decision that looks at them (the disconnect can come before the poll).
    void TakePendingStatus();
    void ShowMessage(const QString &text, TMessageKind kind) override;

    // The settings the unit reported when it connected.
    const std::optional<TConnectionSettings> &Settings() const { return FSettings; }
    // The outcome of the last logon, when one came.
    std::optional<bool> Logon() const { return FLogon; }
    // A good snapshot reply arrived (its decoding begins by clearing).
    bool SnapshotReceived() const { return FSnapshotReceived; }
    // Every message shown, in order, and whether one came since the mark.
    int MessageCount() const { return FMessageCount; }

    // Window-only status texts (tabs switched) are shown only when verbose.
    void SetVerbose(bool verbose) { FVerbose = verbose; }

    // Writes a line of the front end's own to standard error, ending a
    // progress line first.
    void Note(const QString &text);
    // The last note or message shown, for a JSON error object.
    const QString &LastProblem() const { return FLastProblem; }
    // Ends the progress line, so results start on a fresh line.
    void EndProgress();

private:
    // One status line (job text and store-and-forward state), unless it
    // repeats the last one.
    void ShowStatusLine(const QString &panel0, const QString &panel1);

    std::FILE *FErr;
    bool FTerminal;
    bool FVerbose = false;
    QString FLastProblem;
    bool FProgressOpen = false;
    QString FLastLine;
    std::optional<TConnectionSettings> FSettings;
    std::optional<bool> FLogon;
    bool FSnapshotReceived = false;
    int FMessageCount = 0;
};
