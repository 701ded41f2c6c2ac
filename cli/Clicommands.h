#pragma once

#include <optional>
#include <string>

class TCliSession;

// The commands of zelvo-cli, one function each over the session. Each does
// its own checks and reads (template, password, addresses) before it opens
// the link, and returns the command's exit code.

// info, live, external, snapshot (Clireadcommands.cpp)
int RunInfo(TCliSession &s);
int RunLive(TCliSession &s);
int RunExternal(TCliSession &s);
int RunSnapshot(TCliSession &s);
// io-config: list, --export, --apply, set (Cliioconfig.cpp)
int RunIOConfig(TCliSession &s);
// logon (Clilogon.cpp)
int RunLogon(TCliSession &s);
// signal (Clisignalwatch.cpp)
int RunSignal(TCliSession &s);
// save-settings (Clisavesettings.cpp)
int RunSaveSettings(TCliSession &s);
// set-value (Clisetvalue.cpp)
int RunSetValue(TCliSession &s);
// networks (Clicatalogue.cpp); needs no unit
int RunNetworks(TCliSession &s);
// find (Clifind.cpp); needs no unit
int RunFind(TCliSession &s);
// report FILE (Clireport.cpp)
int RunReport(TCliSession &s);

// What the commands and the session share across files.

// --com auto / --usb auto, before the link is opened (Clifind.cpp): the one
// unit found on the kind of port asked for. `bridge` gets the description of
// the bridge it was found on ("" = the brand's).
int AutoSelectPort(TCliSession &s, bool &useUsb, int &comPort, std::string &bridge);

// save-settings --country --network: the network's fields from the catalogue
// (Clicatalogue.cpp).
struct TCatalogueNetwork {
    std::optional<std::string> APN;
    std::optional<std::string> User;
    std::optional<std::string> Password;
};
// EXIT_CLI_OK, and `network` filled, when the options name no network or the
// catalogue has it; else EXIT_CLI_USAGE, its reason told.
int FindCatalogueNetwork(TCliSession &s, TCatalogueNetwork &network);
