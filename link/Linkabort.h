#pragma once

#include <atomic>
#include <chrono>

// A way to break off the link's waits from another thread. Once set, every
// wait that watches it (a transfer's poll, a retry pause) returns at once and
// every new one fails straight away, until it is cleared. The flag is for
// cheap checks between steps; the event descriptor is what a blocked poll()
// wakes on.
class TLinkAbort
{
public:
    TLinkAbort();
    ~TLinkAbort();
    TLinkAbort(const TLinkAbort &) = delete;
    TLinkAbort &operator=(const TLinkAbort &) = delete;

    // Safe from any thread.
    void Set();
    void Clear();
    bool IsSet() const { return FSet.load(); }

    // Readable while set; -1 when no descriptor could be made (then only
    // the flag is checked, between the slices of a wait).
    int Fd() const { return FFd; }

    // Waits `period`, or less when set meanwhile. True when the whole period
    // passed without an abort.
    bool Pause(std::chrono::milliseconds period) const;

private:
    std::atomic<bool> FSet{false};
    int FFd = -1;
};
