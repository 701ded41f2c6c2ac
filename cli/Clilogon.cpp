// zelvo-cli, logon: logging the unit on to its server.

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
