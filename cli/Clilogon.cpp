// zelvo-cli, logon: logging the unit on to its server.

#include "cli/Clicommands.h"

#include "cli/Clisession.h"
#include "frontend/Unittext.h"

#include <QJsonObject>

using namespace unittext;

int RunLogon(TCliSession &s)
{
    const TCliOptions &o = s.Options();
    std::string password;
    if (const int r = s.AskPassword(password); r != EXIT_CLI_OK)
        return r;
    if (const int r = s.Open(); r != EXIT_CLI_OK)
        return r;
    const std::optional<bool> ran = s.RunLogon(ToLatin1(o.Email), password);
    if (!ran)
        return s.Usage(QStringLiteral("The e-mail address does not fit the logon message."));
    if (s.WasInterrupted())
        return s.Interrupted();
    const std::optional<bool> result = s.Host().Logon();
    if (o.Json)
        s.PrintJson(QJsonObject{{"email", o.Email}, {"loggedOn", result.value_or(false)}});
    if (!*ran || !result)
        return s.Failed(QStringLiteral("The logon did not complete."));
    if (!*result)
        return s.Failed(QStringLiteral("Logon failed."));
    if (!o.Json)
        s.Print(QStringLiteral("Logged on as %1.\n").arg(o.Email));
    return s.Outcome(EXIT_CLI_OK);
}
