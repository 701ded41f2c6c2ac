#pragma once

// The simulated unit on one end of an in-process byte pipe (common/Bytepipe),
// for a tool that runs the unit in its own process where there are no
// pseudo-terminals. The pipe is neutral ground: it knows no frames.

#include "sim/Transport.h"

#include <memory>
#include <string>

class TBytePipeEnd;

namespace zsim
{

// The unit serves `end`; `peerName` is what the tool opens to reach the
// other end (for SlavePath and messages). Null when `end` is null.
std::unique_ptr<Transport> MakePipeTransport(std::shared_ptr<TBytePipeEnd> end,
                                             const std::string &peerName);

} // namespace zsim
