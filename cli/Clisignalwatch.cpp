// zelvo-cli, signal: watching the mobile signal level.

#include "cli/Clirunner.h"

#include "cli/Clipassword.h"
#include "cli/Clitable.h"
#include "cli/Clivalueedit.h"
#include "engine/Serialthread.h"
#include "engine/Signalstrengthrefresh.h"
#include "frontend/Signalreading.h"
#include "frontend/Unittext.h"
#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Zelvocommsinterface.h"
#include "model/Availableinputtype.h"
#include "model/Availableinputtypes.h"
#include "model/Io.h"
#include "model/Ios.h"
#include "model/Serversideio.h"
#include "model/Serversideios.h"
#include "model/Uomdescription.h"
#include "model/Uomdescriptions.h"
#include "network/Ipaddress.h"
#include "network/Settingslimits.h"
#include "protocol/Commands.h"
#include "protocol/Passworddigest.h"
#include "unit/Commissioningdataparser.h"
#include "unit/Connectionsettings.h"
#include "unit/Zelvo.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

using namespace unittext;

int TCliRunner::Signal()
{
    TSignalStrengthRefresh *poll = FEngine->SignalPoll();
    FEngine->StartSignalChecking();

    QJsonArray readings;
    if (!O.Json)
        Print(QStringLiteral("Level  Bars  Band\n"));
    bool failed = false;
    // The tick that switches monitoring on reads no level yet; the first
    // level comes with the tick after it.
    Pump(
        [this, poll] {
            return Disconnected() || poll->State() == SIG_RUNNING || poll->State() == SIG_FAILED;
        },
        FPacing.SignalTimer * 4 + FrameTimeout() * 2);
    // Readings are taken half-way between ticks, so each one sees the level
    // of the tick before it and never races the tick itself.
    if (!FInterrupted && poll->State() == SIG_RUNNING)
        Pump([this] { return Disconnected(); }, FPacing.SignalTimer * 3 / 2);
    for (int n = 1; n <= O.Seconds; ++n) {
        if (n > 1)
            Pump([this] { return Disconnected(); }, FPacing.SignalTimer);
        if (FInterrupted)
            break;
        if (Disconnected() || poll->State() != SIG_RUNNING) {
            failed = true;
            break;
        }
        const std::uint8_t level = poll->SignalLevel();
        const TSignalReading r = ReadSignalLevel(level);
        if (O.Json)
            readings.append(QJsonObject{{"level", level}, {"bars", r.Bars}, {"band", r.Band}});
        else
            Print(QStringLiteral("%1  %2  %3\n").arg(level, 5).arg(r.Bars, 4).arg(r.Band));
    }
    if (FInterrupted) {
        if (O.Json)
            PrintJson(QJsonObject{{"readings", readings}});
        return Interrupted(); // the shutdown switches monitoring off
    }
    if (!failed) {
        // Stopping takes two ticks: one notices the request, one switches
        // monitoring off; the engine then rests with live readings again.
        FEngine->StopSignalChecking();
        Pump([this] { return Disconnected() || Resting(); },
             FPacing.SignalTimer * 6 + FrameTimeout() * 4 + FPacing.WorkerStep * 4);
        failed = Disconnected() || !Resting();
    }
    if (O.Json)
        PrintJson(QJsonObject{{"readings", readings}});
    if (FInterrupted)
        return Interrupted();
    if (failed)
        return Failed(QStringLiteral("Signal checking ended with an error."));
    return Outcome(EXIT_CLI_OK);
}
