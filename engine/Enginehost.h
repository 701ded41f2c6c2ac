#pragma once

#include "common/Errormanager.h"

#include <QString>

#include <cstdint>

struct TConnectionSettings;

// Which live list the front end shows: the live timer reads that one.
enum TLiveList : std::uint8_t {
    LIVE_LIST_NONE = 0,        // neither: the timer reads nothing
    LIVE_LIST_OWN_IO = 1,      // the unit's own I/O (live values)
    LIVE_LIST_EXTERNAL_IO = 2, // the external (Modbus) I/O
};

// The received flags of the data parser plus the window's own logon state,
// in the order the status labels show them.
struct TReceivedFlags {
    bool BasicInfo = false;
    bool UOMs = false;
    bool LoggedOn = false;
    bool IOConfiguration = false;
    bool UOMLists = false;
    bool InputTypes = false;
    bool ModbusData = false;
};

// The only way the job engine reaches the window (or a headless front end).
// Every call is made on the GUI thread: either from Poll() or from a worker
// step through TSerialThread::Synchronize while the worker waits.
class TEngineHost
{
public:
    virtual ~TEngineHost() = default;

    // Connection event 2: the connection sequence has completed.
    virtual void OnConnected() = 0;
    // Connection event 1: the link was closed or could not be opened.
    virtual void OnDisconnected() = 0;
    // After OnConnected: the settings read from the unit. noEthernet is true
    // for a VELLO unit, which offers only the mobile connection.
    virtual void ShowConnectionSettings(const TConnectionSettings &settings, bool noEthernet) = 0;

    // The worker flagged the end of a job, or a reply re-enabled the tabs.
    virtual void SetTabsEnabled(bool enabled) = 0;

    virtual bool IsLoggedOn() const = 0;
    // Outcome of a logon job (message 8).
    virtual void LogonResult(bool accepted) = 0;
    // The logon job was cancelled before its message went to the server:
    // no outcome follows and the logged-on state is unchanged.
    virtual void LogonCancelled() {}

    // The live list on screen now.
    virtual TLiveList ShownLiveList() const = 0;

    // Snapshot sink: the lines of a downloaded snapshot.
    virtual void ClearSnapshot() {}
    virtual void AddSnapshotLine(const QString &line) { (void)line; }

    // The log the engine writes its status texts, log lines and messages to.
    // The front end holds it (each program's main makes one) and it must
    // outlive the engine; the engine asks for it once, when it is made.
    virtual TErrorManager &ErrorLog() = 0;

    // Display of the error manager's texts.
    virtual void ShowStatusPanels(const QString &panel0, const QString &panel1)
    {
        (void)panel0;
        (void)panel1;
    }
    virtual void AddLogLine(const QString &line) { (void)line; }
    // One message box with an OK button (the engine uses error and information).
    virtual void ShowMessage(const QString &text, TMessageKind kind)
    {
        (void)text;
        (void)kind;
    }

    // A fresh signal level (0..31 strength, 99 no signal, 150 failed read,
    // 255 read without data).
    virtual void ShowSignalLevel(std::uint8_t level) { (void)level; }
    // Something changed during a poll: refresh the status labels.
    virtual void RefreshStatusLabels(const TReceivedFlags &flags) { (void)flags; }
};
