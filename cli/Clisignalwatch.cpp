// zelvo-cli, signal: watching the mobile signal level.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Signalreading.h"

#include <QJsonArray>
#include <QJsonObject>

namespace
{

// Waits for the first level once monitoring was switched on: the tick that
// switches it on reads no level yet, the first level comes with the tick
// after it. Readings are then taken half-way between ticks, so each one sees
// the level of the tick before it and never races the tick itself.
void WaitForFirstLevel(TCliSession &s, TSignalStrengthRefresh *poll)
{
    const TPacing &pacing = s.Pacing();
    s.Pump(
        [&s, poll] {
            return s.Disconnected() || poll->State() == SIG_RUNNING || poll->State() == SIG_FAILED;
        },
        pacing.SignalTimer * 4 + s.FrameTimeout() * 2);
    if (!s.WasInterrupted() && poll->State() == SIG_RUNNING)
        s.Pump([&s] { return s.Disconnected(); }, pacing.SignalTimer * 3 / 2);
}

// Stopping takes two ticks: one notices the request, one switches
// monitoring off; the engine then rests with live readings again. False
// when it did not.
bool StopWatching(TCliSession &s)
{
    const TPacing &pacing = s.Pacing();
    s.Engine().StopSignalChecking();
    s.Pump([&s] { return s.Disconnected() || s.Resting(); },
           pacing.SignalTimer * 6 + s.FrameTimeout() * 4 + pacing.WorkerStep * 4);
    return !s.Disconnected() && s.Resting();
}

} // namespace

int RunSignal(TCliSession &s)
{
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    const TCliOptions &o = s.Options();
    TSignalStrengthRefresh *poll = s.Engine().SignalPoll();
    s.Engine().StartSignalChecking();
    if (!o.Json)
        s.Print(QStringLiteral("Level  Bars  Band\n"));
    WaitForFirstLevel(s, poll);

    QJsonArray readings;
    bool failed = false;
    for (int n = 1; n <= o.Seconds; ++n) {
        if (n > 1)
            s.Pump([&s] { return s.Disconnected(); }, s.Pacing().SignalTimer);
        if (s.WasInterrupted())
            break;
        if (s.Disconnected() || poll->State() != SIG_RUNNING) {
            failed = true;
            break;
        }
        const std::uint8_t level = poll->SignalLevel();
        const TSignalReading r = ReadSignalLevel(level);
        if (o.Json)
            readings.append(QJsonObject{{"level", level}, {"bars", r.Bars}, {"band", r.Band}});
        else
            s.Print(QStringLiteral("%1  %2  %3\n").arg(level, 5).arg(r.Bars, 4).arg(r.Band));
    }
    if (s.WasInterrupted()) {
        if (o.Json)
            s.PrintJson(QJsonObject{{"readings", readings}});
        return s.Interrupted(); // the shutdown switches monitoring off
    }
    if (!failed)
        failed = !StopWatching(s);
    if (o.Json)
        s.PrintJson(QJsonObject{{"readings", readings}});
    if (s.WasInterrupted())
        return s.Interrupted();
    if (failed)
        return s.Failed(QStringLiteral("Signal checking ended with an error."));
    return s.Outcome(EXIT_CLI_OK);
}
