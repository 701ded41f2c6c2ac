#pragma once

#include "cli/Clioptions.h"
#include "frontend/Linkoptions.h"

class TErrorManager;

// Runs one command of zelvo-cli: makes the session, hands it to the
// command's function, closes the link the command opened and tells a
// failure in JSON mode. The exit code of the command. The engine writes to
// `log`.
int RunCliCommand(const TCliOptions &options, const TLinkPacing &pacing, TErrorManager &log);
