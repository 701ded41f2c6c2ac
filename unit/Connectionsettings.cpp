#include "unit/Connectionsettings.h"

TConnectionSettings ConnectionSettingsFromBlock(const TUnitSettingsBlock &block)
{
    TConnectionSettings s;
    s.ConnectionType = block.ConnectionType();
    s.APN = block.APN();
    s.Username = block.UserName();
    s.Password = block.Password();
    s.UseDHCP = block.UseDHCP();
    s.IPAddress = block.IPAddress();
    s.NetMask = block.NetMask();
    s.DefaultGateway = block.DefaultGateway();
    s.DNSServer = block.DNSServer();
    return s;
}

namespace
{

std::string TextProblem(const char *what, const std::string &text, std::size_t maxLength)
{
    if (text.find('\0') != std::string::npos)
        return std::string("The ") + what + " must not contain a zero character.";
    if (text.size() > maxLength)
        return std::string("The ") + what + " is too long: the unit holds at most " +
               std::to_string(maxLength) + " characters.";
    return {};
}

} // namespace

std::string ConnectionSettingsProblem(const TConnectionSettings &settings)
{
    // Only a mobile save writes the texts, so only then can they be too long.
    if (!settings.IsMobile())
        return {};
    for (auto problem : {TextProblem("APN", settings.APN, kMaxAPNLength),
                         TextProblem("username", settings.Username, kMaxUserNameLength),
                         TextProblem("password", settings.Password, kMaxPasswordLength)}) {
        if (!problem.empty())
            return problem;
    }
    return {};
}

bool ApplyConnectionSettingsToBlock(const TConnectionSettings &settings, TUnitSettingsBlock &block)
{
    if (!ConnectionSettingsProblem(settings).empty())
        return false;
    // Work on a copy so a refusal leaves the caller's block untouched.
    TUnitSettingsBlock out = block;
    out.SetConnectionType(static_cast<uint8_t>(settings.ConnectionType));
    if (settings.IsMobile()) {
        if (!out.SetUserName(settings.Username) || !out.SetPassword(settings.Password) ||
            !out.SetAPN(settings.APN))
            return false;
    } else {
        out.SetIPAddress(settings.IPAddress);
        out.SetNetMask(settings.NetMask);
        out.SetDefaultGateway(settings.DefaultGateway);
        out.SetDNSServer(settings.DNSServer);
        out.SetUseDHCP(settings.UseDHCP);
    }
    block = out;
    return true;
}
