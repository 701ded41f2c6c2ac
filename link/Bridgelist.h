#pragma once

// The USB bridges the tool can open by description, on every platform:
// virtual bridges (description -> device path) registered by the front ends
// (--usb DESC=PATH) and the simulator mode, and the bridges the platform's
// bridge layer reports.

#include <string>
#include <vector>

namespace Ftd2xx
{

// Virtual bridges, matched before the platform's, in registration order.
// Registering an existing description replaces its path. On Windows the path
// is a COM device name (COM5, \\.\COM5).
void RegisterVirtualBridge(const std::string &description, const std::string &path);
void UnregisterVirtualBridge(const std::string &description);
void ClearVirtualBridges();

struct TBridge {
    std::string Description;
    std::string DevicePath;
};

// The virtual bridges alone, in registration order.
std::vector<TBridge> VirtualBridges();

// Every bridge found now: virtual ones first, then the platform's.
std::vector<TBridge> ListBridges();

} // namespace Ftd2xx
