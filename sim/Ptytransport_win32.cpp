#include "sim/Transport.h"

namespace zsim
{

// Windows has no pseudo-terminals: there the simulator serves an in-process
// byte pipe handed to UnitSimulator::Start.
std::unique_ptr<Transport> OpenPtyTransport(const std::string &, std::string *error)
{
    if (error)
        *error = "pseudo-terminals are not available on this system";
    return nullptr;
}

} // namespace zsim
