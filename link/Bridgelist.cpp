#include "link/Bridgelist.h"

#include <algorithm>
#include <mutex>

namespace
{

std::mutex &Lock()
{
    static std::mutex lock;
    return lock;
}

std::vector<Ftd2xx::TBridge> &Virtual()
{
    static std::vector<Ftd2xx::TBridge> bridges;
    return bridges;
}

} // namespace

namespace Ftd2xx
{

void RegisterVirtualBridge(const std::string &description, const std::string &path)
{
    std::lock_guard<std::mutex> guard(Lock());
    for (TBridge &b : Virtual()) {
        if (b.Description == description) {
            b.DevicePath = path;
            return;
        }
    }
    Virtual().push_back({description, path});
}

void UnregisterVirtualBridge(const std::string &description)
{
    std::lock_guard<std::mutex> guard(Lock());
    std::erase_if(Virtual(), [&](const TBridge &b) { return b.Description == description; });
}

void ClearVirtualBridges()
{
    std::lock_guard<std::mutex> guard(Lock());
    Virtual().clear();
}

std::vector<TBridge> VirtualBridges()
{
    std::lock_guard<std::mutex> guard(Lock());
    return Virtual();
}

} // namespace Ftd2xx
