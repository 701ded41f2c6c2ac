#pragma once

#include "engine/Serialthread.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the window and zelvo-cli do with the job engine, written once:
// posting a job while the worker is held, the logon, the I/O configuration
// upload, connecting and its outcome, and asking the unit to go idle on the
// way out. The session does not own the engine; it is cheap to make and
// holds no state of its own. GUI thread only.
class TSession
{
public:
    // Waits (pumping the front end's events) until `done` holds or `limit`
    // has passed; true when it held.
    using TWaitFor =
        std::function<bool(const std::function<bool()> &done, std::chrono::milliseconds limit)>;

    explicit TSession(TSerialThread &engine) : FEngine(engine) {}

    TSerialThread &Engine() const { return FEngine; }

    // Posts `code`, with `payload` when it is not empty. The worker is held
    // while the job and its payload are replaced, so no step sees half of
    // the change; `whileHeld` runs inside that bracket, before the job is
    // posted (the window turns its tabs off there).
    void PostJob(TMessageType code, const std::vector<std::uint8_t> &payload = {},
                 const std::function<void()> &whileHeld = {});

    // The logon job for `email` (one byte per character) and `password`.
    // False, and nothing posted, for an address the message cannot hold.
    bool PostLogon(const std::string &email, const std::string &password);

    // Whether an upload that cannot carry every changed record in one
    // message is sent in part (the window, which asks the installer to save
    // again for the rest) or not at all (zelvo-cli, which must apply a
    // template whole or say that it did not).
    enum class TUploadScope : std::uint8_t { AllowPartial, WholeOnly };

    // Prepares the upload of the configuration records marked changed and
    // posts it when there is something to send within `scope`. `whileHeld`
    // gets what was found before the job is posted, with the worker still
    // held (a message box shown there keeps the upload from starting under
    // it).
    TUploadPrepare PostIOConfigUpload(const std::function<void(TUploadPrepare)> &whileHeld = {},
                                      TUploadScope scope = TUploadScope::AllowPartial);

    // Starts the connection sequence on the selected port.
    void StartConnect();
    // How it ended: CONNECT_PENDING while it runs, then opened, no device,
    // firmware too old or no answer.
    TConnectOutcome ConnectOutcome() const { return FEngine.ConnectOutcome(); }

    // The way out of a connected session that is not at rest: signal
    // monitoring is switched off when it is on, the worker is held, the step
    // under way is let finish, and the unit is asked to go idle. Each wait is
    // bounded by the engine's pacing. True when the idle request was written.
    bool GoIdle(const TWaitFor &waitFor);

    // The last step before the engine is destroyed: the worker is held for
    // good, so no step starts while the link closes, and the texts it queued
    // last are delivered to the front end.
    void Close();

private:
    TSerialThread &FEngine;
};
