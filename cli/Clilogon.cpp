// zelvo-cli, logon: logging the unit on to its server.

#include "Clirunner.h"

#include "Availableinputtype.h"
#include "Availableinputtypes.h"
#include "Clipassword.h"
#include "Clisignal.h"
#include "Clitable.h"
#include "Clitext.h"
#include "Clivalueedit.h"
#include "Commands.h"
#include "Commissioningdataparser.h"
#include "Connectionsettings.h"
#include "Ftd2xx.h"
#include "Io.h"
#include "Ios.h"
#include "Ipaddress.h"
#include "Passworddigest.h"
#include "Portmap.h"
#include "Serialthread.h"
#include "Serversideio.h"
#include "Serversideios.h"
#include "Settingslimits.h"
#include "Signalstrengthrefresh.h"
#include "UnitSimulator.h"
#include "Uomdescription.h"
#include "Uomdescriptions.h"
#include "Zelvo.h"
#include "Zelvocommsinterface.h"

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

using namespace clitext;

int TCliRunner::Logon()
{
    std::vector<std::uint8_t> payload;
    if (!BuildLogonPayload(ToLatin1(O.Email), FPassword, payload)) {
        FHost.Note(QStringLiteral("The e-mail address does not fit the logon message."));
        return EXIT_CLI_USAGE;
    }
    const bool ran = RunJob(MSG_LOGON, payload);
    if (FInterrupted)
        return Interrupted();
    const std::optional<bool> result = FHost.Logon();
    if (O.Json)
        PrintJson(QJsonObject{{"email", O.Email}, {"loggedOn", result.value_or(false)}});
    if (!ran || !result)
        return Failed(QStringLiteral("The logon did not complete."));
    if (!*result)
        return Failed(QStringLiteral("Logon failed."));
    if (!O.Json)
        Print(QStringLiteral("Logged on as %1.\n").arg(O.Email));
    return Outcome(EXIT_CLI_OK);
}
