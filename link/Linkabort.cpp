#include "link/Linkabort.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;

// Without an event descriptor a wait looks at the flag this often.
constexpr int kFallbackSliceMs = 20;

} // namespace

TLinkAbort::TLinkAbort() : FFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

TLinkAbort::~TLinkAbort()
{
    if (FFd >= 0)
        ::close(FFd);
}

void TLinkAbort::Set()
{
    FSet = true;
    if (FFd >= 0) {
        const std::uint64_t one = 1;
        // The counter only has to be non-zero; a full counter already is.
        [[maybe_unused]] const ssize_t n = ::write(FFd, &one, sizeof one);
    }
}

void TLinkAbort::Clear()
{
    FSet = false;
    if (FFd >= 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(FFd, &count, sizeof count);
    }
}

bool TLinkAbort::Pause(std::chrono::milliseconds period) const
{
    const auto deadline = Clock::now() + period;
    while (!IsSet()) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return true;
        if (FFd < 0) {
            ::poll(nullptr, 0, static_cast<int>(std::min<long long>(left, kFallbackSliceMs)));
            continue;
        }
        pollfd p{FFd, POLLIN, 0};
        const int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 1 << 30)));
        // A poll that cannot wait on the descriptor still keeps the pause.
        if (r < 0 && errno != EINTR)
            ::poll(nullptr, 0, static_cast<int>(std::min<long long>(left, kFallbackSliceMs)));
    }
    return false;
}
