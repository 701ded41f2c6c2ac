// The abort on Windows: the flag alone. There is no descriptor for a blocked
// wait to wake on, so every wait that watches the abort (a port transfer,
// a pause) looks at the flag between short slices.

#include "link/Linkabort.h"

#include <algorithm>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kSlice{10};

} // namespace

TLinkAbort::TLinkAbort() = default;

TLinkAbort::~TLinkAbort() = default;

void TLinkAbort::Set()
{
    FSet = true;
}

void TLinkAbort::Clear()
{
    FSet = false;
}

bool TLinkAbort::Pause(std::chrono::milliseconds period) const
{
    const auto deadline = Clock::now() + period;
    while (!IsSet()) {
        const auto now = Clock::now();
        if (now >= deadline)
            return true;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(deadline - now, Clock::duration(kSlice)));
    }
    return false;
}
