#include "engine/Signalstrengthrefresh.h"

#include "link/Zelvocommsinterface.h"
#include "protocol/Commands.h"

TSignalStrengthRefresh::TSignalStrengthRefresh(TZelvoCommsInterface *comms, const TPacing &pacing,
                                               TClock clock, QObject *parent)
    : QObject(parent), FComms(comms), FPacing(pacing), FClock(std::move(clock))
{
    if (!FClock)
        FClock = [] { return std::chrono::steady_clock::now(); };
}

bool TSignalStrengthRefresh::SwitchMonitoring(bool on)
{
    const std::uint8_t payload = on ? 0x01 : 0x00;
    return FComms->Send(CMD_SIGNAL_MONITOR, &payload, 1);
}

bool TSignalStrengthRefresh::ReadLevel()
{
    // A reply that acknowledges without data leaves the preset 0xFF.
    std::uint8_t reply[256];
    reply[0] = LevelNoData;
    std::int32_t length = 0;
    if (!FComms->Query(CMD_READ_SIGNAL, reply, length))
        return false;
    FLevel = reply[0];
    return true;
}

int TSignalStrengthRefresh::Tick()
{
    switch (FState.load()) {
    case SIG_START:
        // Stopped before it began: nothing was switched on, nothing to undo.
        if (FStopRequested.load()) {
            FState = SIG_DONE;
            break;
        }
        if (SwitchMonitoring(true)) {
            FSwitchedOnAt = FClock();
            FReadFailures = 0;
            FState = SIG_RUNNING;
        } else {
            FState = SIG_FAILED;
        }
        break;
    case SIG_RUNNING:
        if (ReadLevel()) {
            FReadFailures = 0;
        } else {
            ++FReadFailures;
            FLevel = LevelReadFailed;
            if (FReadFailures >= MaxReadFailures)
                FState = SIG_FAILED;
        }
        // The unit stops monitoring on its own after a while; switch it on
        // again before that. A failed repeat is tried again next tick.
        if (FState.load() == SIG_RUNNING && FClock() - FSwitchedOnAt > FPacing.SignalRepeat) {
            if (SwitchMonitoring(true))
                FSwitchedOnAt = FClock();
        }
        if (FState.load() == SIG_RUNNING && FStopRequested.load())
            FState = SIG_STOPPING;
        break;
    case SIG_STOPPING:
        FState = SwitchMonitoring(false) ? SIG_DONE : SIG_FAILED;
        break;
    case SIG_DONE:
        if (!FStopRequested.load())
            FState = SIG_START;
        break;
    case SIG_FAILED:
    default:
        break;
    }
    return FState.load();
}

void TSignalStrengthRefresh::Restart()
{
    FStopRequested = false;
    FReadFailures = 0;
    FState = SIG_DONE;
}

bool TSignalStrengthRefresh::HasFreshValue() const
{
    const int s = FState.load();
    return s != SIG_DONE && s != SIG_FAILED;
}
