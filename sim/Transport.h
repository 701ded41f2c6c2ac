#pragma once

// The simulated unit's end of the wire: a pseudo-terminal's master side, or
// one end of an in-process byte pipe. The unit's logic is the same over
// either; only this small interface differs.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace zsim
{

class Transport
{
public:
    virtual ~Transport() = default;

    // Read results besides a positive byte count.
    static constexpr long kNothing = 0; // time-out or Wake()
    static constexpr long kHangUp = -1; // the tool closed its end; what was half received is void
    static constexpr long kFailed = -2; // the wire is unusable: the simulator stops serving

    // Waits at most timeoutMs (-1: without limit) for bytes and reads up to
    // n of them. Returns the count, kNothing, kHangUp or kFailed.
    virtual long Read(uint8_t *buf, size_t n, int timeoutMs) = 0;
    // Writes up to n bytes, waiting at most timeoutMs for room. Returns the
    // count written (0 when nobody takes them in that time) or a negative
    // value when the wire is gone.
    virtual long Write(const uint8_t *buf, size_t n, int timeoutMs) = 0;
    // Ends a Read that is waiting now or the next one, from any thread.
    virtual void Wake() = 0;
    // What the tool opens to reach the unit (the pty's slave path), if anything.
    virtual std::string PeerName() const { return std::string(); }
};

// A pseudo-terminal pair in raw mode at the unit's line settings, served from
// its master. When linkPath is not empty a symbolic link to the slave is made
// there (an old link replaced, never a real file) and removed with the
// transport. Null with a reason in `error` where that is not possible (no
// pseudo-terminals on this system).
std::unique_ptr<Transport> OpenPtyTransport(const std::string &linkPath, std::string *error);

} // namespace zsim
