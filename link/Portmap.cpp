#include "link/Portmap.h"

#include <charconv>
#include <map>
#include <mutex>

#include "link/Ftd2xx.h"

namespace
{

std::mutex &MapLock()
{
    static std::mutex lock;
    return lock;
}

std::map<int, std::string> &ComMap()
{
    static std::map<int, std::string> map;
    return map;
}

// A whole decimal number of at least 1, nothing else.
bool ParsePortNumber(const std::string &text, int &number)
{
    int value = 0;
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || value < 1)
        return false;
    number = value;
    return true;
}

} // namespace

bool MapComPort(int number, const std::string &path)
{
    if (number < 1 || path.empty())
        return false;
    std::lock_guard<std::mutex> guard(MapLock());
    ComMap()[number] = path;
    return true;
}

void ClearComPortMap()
{
    std::lock_guard<std::mutex> guard(MapLock());
    ComMap().clear();
}

std::string ComPortPath(int number)
{
    if (number < 1)
        return {};
    {
        std::lock_guard<std::mutex> guard(MapLock());
        const auto it = ComMap().find(number);
        if (it != ComMap().end())
            return it->second;
    }
    return PlatformComPortPath(number);
}

int ComPortNumber(const std::string &name)
{
    int number = 0;
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0 &&
        ParsePortNumber(name.substr(3), number))
        return number;
    return 0;
}

std::string ResolvePortName(const std::string &name)
{
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0) {
        const int number = ComPortNumber(name);
        return number > 0 ? ComPortPath(number) : std::string();
    }
    return name;
}

bool ParsePortOption(const std::string &text, int &number, std::string &path)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq + 1 >= text.size())
        return false;
    int n = 0;
    if (!ParsePortNumber(text.substr(0, eq), n))
        return false;
    number = n;
    path = text.substr(eq + 1);
    return true;
}

bool ParseUsbOption(const std::string &text, std::string &description, std::string &path)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 >= text.size())
        return false;
    description = text.substr(0, eq);
    path = text.substr(eq + 1);
    return true;
}

bool ApplyComOption(const std::string &text)
{
    int number = 0;
    std::string path;
    return ParsePortOption(text, number, path) && MapComPort(number, path);
}

bool ApplyUsbOption(const std::string &text)
{
    std::string description, path;
    if (!ParseUsbOption(text, description, path))
        return false;
    Ftd2xx::RegisterVirtualBridge(description, path);
    return true;
}
