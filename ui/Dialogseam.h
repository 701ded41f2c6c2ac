#pragma once

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <string>

class QWidget;
class TSerialThread;
class TServerSideIO;
class TZelvo;
// Where a cancel of the running job stands (Serialthread.h).
enum TCancelOutcome : std::int8_t;

// What the dialogs need of the main window: where to centre, the job engine
// they drive (port choice, connect), the logon request and the progress
// dialog's Cancel.
class TMainWindowSeam
{
public:
    virtual ~TMainWindowSeam() = default;
    virtual QWidget *MainWidget() = 0;
    virtual TSerialThread *Engine() = 0;
    // Posts the logon job: `email` one byte per character, `password` as
    // typed. False (nothing posted) for an address the message cannot hold.
    virtual bool RequestLogon(const std::string &email, const std::string &password) = 0;
    // Asks the job engine to cancel the running job; returns where that stands.
    virtual TCancelOutcome CancelJob() = 0;
};

// What the main window asks of its dialogs. The dialogs module implements it
// with the real forms; window tests put a recording fake in its place.
class TDialogSeam
{
public:
    virtual ~TDialogSeam() = default;
    // Connect dialog: modal; returns when it closes (connection outcome or
    // the user closing it).
    virtual void ShowConnect() = 0;
    virtual void CloseConnect() = 0;
    // Chooses the model and port the connect dialog starts with (the
    // simulated unit of --simulate: an OSTRA on the USB bridge, a VELLO on
    // COM port `comPort`).
    virtual void PreselectConnection(bool useUsb, int comPort)
    {
        (void)useUsb;
        (void)comPort;
    }
    // Logon dialog: modal. The logon job's outcome closes it on success and
    // puts it into its failure state otherwise.
    virtual void ShowLogon() = 0;
    virtual void LogonSucceeded() = 0;
    virtual void LogonFailed() = 0;
    // The logon job was cancelled before it reached the server.
    virtual void LogonCancelled() = 0;
    // Progress dialog: non-modal, shown and closed by the window's poll.
    virtual void ShowWorking() = 0;
    virtual void CloseWorking() = 0;
    // Each poll while it is shown: where a cancel of the job stands.
    virtual void UpdateWorking(TCancelOutcome cancel) = 0;
    // Edit I/O dialog for one configuration record: modal.
    virtual void EditIO(TServerSideIO *record, TZelvo *unit) = 0;
    // About box: created for each showing, modal.
    virtual void ShowAbout() = 0;
};

// The real dialogs, created once, in start-up order (logon, edit I/O,
// connect, progress), after the main window.
std::unique_ptr<TDialogSeam> CreateDialogs(TMainWindowSeam &main);
