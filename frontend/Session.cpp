#include "frontend/Session.h"

#include "link/Zelvocommsinterface.h"
#include "protocol/Commands.h"

#include <algorithm>

void TSession::PostJob(TMessageType code, const std::vector<std::uint8_t> &payload,
                       const std::function<void()> &whileHeld)
{
    FEngine.SetActive(false);
    if (whileHeld)
        whileHeld();
    if (!payload.empty())
        FEngine.SetJobPayload(payload.data(), static_cast<int>(payload.size()));
    FEngine.PostJob(code);
    FEngine.SetActive(true);
}

bool TSession::PostLogon(const std::string &email, const std::string &password)
{
    std::vector<std::uint8_t> payload;
    if (!BuildLogonPayload(email, password, payload))
        return false;
    PostJob(MSG_LOGON, payload);
    return true;
}

TUploadPrepare TSession::PostIOConfigUpload(const std::function<void(TUploadPrepare)> &whileHeld,
                                            TUploadScope scope)
{
    FEngine.SetActive(false);
    const TUploadPrepare found = FEngine.PrepareIOConfigUpload();
    if (whileHeld)
        whileHeld(found);
    if (found == UPLOAD_READY || (found == UPLOAD_PARTIAL && scope == TUploadScope::AllowPartial))
        FEngine.PostJob(MSG_WRITE_IO_CONFIG);
    FEngine.SetActive(true);
    return found;
}

void TSession::StartConnect()
{
    FEngine.SetActive(false);
    FEngine.StartConnect();
    FEngine.SetActive(true);
}

bool TSession::GoIdle(const TWaitFor &waitFor)
{
    const TPacing &pacing = FEngine.Pacing();
    const auto frame = std::max(pacing.ComFrameTimeout, pacing.UsbFrameTimeout);
    if (FEngine.LinkState() == LINK_SIGNAL) {
        FEngine.StopSignalChecking();
        waitFor([this] { return FEngine.LinkState() != LINK_SIGNAL; },
                pacing.SignalTimer * 4 + frame * 2);
    }
    // A step under way finishes its exchanges first (each bounded by its own
    // time-outs, a whole transfer at most a few minutes); no step starts
    // after it.
    FEngine.SetActive(false);
    waitFor([this] { return !FEngine.IsStepInProgress(); }, pacing.WorkerStep * 300 + frame * 20);
    return FEngine.RequestIdle();
}

void TSession::Close()
{
    FEngine.SetActive(false);
    FEngine.Poll();
}
