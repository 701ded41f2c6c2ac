#include "cli/Clirunner.h"

#include "cli/Clicommands.h"
#include "cli/Clisession.h"

namespace
{

using TCommandFunction = int (*)(TCliSession &);

struct TCommandEntry {
    TCliCommand Command;
    TCommandFunction Run;
};

constexpr TCommandEntry kCommands[] = {
    {TCliCommand::Info, RunInfo},         {TCliCommand::Live, RunLive},
    {TCliCommand::External, RunExternal}, {TCliCommand::IOConfig, RunIOConfig},
    {TCliCommand::Snapshot, RunSnapshot}, {TCliCommand::Logon, RunLogon},
    {TCliCommand::Signal, RunSignal},     {TCliCommand::SaveSettings, RunSaveSettings},
    {TCliCommand::SetValue, RunSetValue}, {TCliCommand::Networks, RunNetworks},
    {TCliCommand::Find, RunFind},         {TCliCommand::Report, RunReport},
};

TCommandFunction CommandFunction(TCliCommand command)
{
    for (const TCommandEntry &e : kCommands)
        if (e.Command == command)
            return e.Run;
    return nullptr;
}

} // namespace

int RunCliCommand(const TCliOptions &options, const TLinkPacing &pacing, TErrorManager &log)
{
    TCliSession session(options, pacing, log);
    const TCommandFunction run = CommandFunction(options.Command);
    const int code = run ? run(session) : EXIT_CLI_USAGE;
    // A command that reached the unit leaves it before its failure is told;
    // one that never got there has nothing to close yet.
    if (session.Opened())
        session.Shutdown();
    return session.Finish(code);
}
