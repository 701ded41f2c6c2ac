#pragma once

#include "link/Pacing.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

class TZelvoCommsInterface;

// States of the signal-strength poll.
enum TSignalState : std::int32_t {
    SIG_START = 0,
    SIG_RUNNING = 1,
    SIG_STOPPING = 2,
    SIG_DONE = 3,
    SIG_FAILED = 4,
};

// Switches the unit's signal monitoring on, reads the level once per tick
// while checking runs, repeats the switch-on before the unit's monitoring
// lapses, and switches it off again when asked. Every operation runs on the
// GUI thread (the engine's signal timer and poll).
class TSignalStrengthRefresh : public QObject
{
    Q_OBJECT
public:
    using TClock = std::function<std::chrono::steady_clock::time_point()>;

    // Level stored when a read fails, and preset before each read so that a
    // reply without data leaves 255.
    static constexpr std::uint8_t LevelReadFailed = 150;
    static constexpr std::uint8_t LevelNoData = 255;
    static constexpr int MaxReadFailures = 5;

    // comms is not owned. `clock` defaults to the steady clock; tests pass
    // their own to cross the switch-on repeat without waiting for it.
    explicit TSignalStrengthRefresh(TZelvoCommsInterface *comms,
                                    const TPacing &pacing = TPacing::Production(),
                                    TClock clock = {}, QObject *parent = nullptr);

    // One step of the state machine; returns the new state.
    int Tick();
    // A stop asked for before monitoring was switched on ends the poll at its
    // next tick without switching it on; ClearStopRequest arms it again.
    void RequestStop() { FStopRequested = true; }
    void ClearStopRequest() { FStopRequested = false; }
    // Starts afresh from SIG_DONE (used when checking starts again after a
    // failure, which would otherwise keep the poll failed for good).
    void Restart();

    bool HasFreshValue() const;
    std::uint8_t SignalLevel() const { return FLevel.load(); }
    int State() const { return FState.load(); }
    int ReadFailures() const { return FReadFailures; }

private:
    bool SwitchMonitoring(bool on);
    bool ReadLevel();

    std::atomic<std::uint8_t> FLevel{0};
    std::atomic<std::int32_t> FState{SIG_DONE};
    TZelvoCommsInterface *FComms;
    std::chrono::steady_clock::time_point FSwitchedOnAt{};
    std::atomic<bool> FStopRequested{false};
    int FReadFailures = 0;
    TPacing FPacing;
    TClock FClock;
};
