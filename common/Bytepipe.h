#pragma once

// An in-process two-way byte pipe: what one end writes, the other end reads,
// in order, like the two ends of a serial cable. It stands in for a
// pseudo-terminal where the platform has none, so a simulated unit can run in
// the same process as the tool. It knows nothing of frames or the unit.
//
// Usage:
//
//   auto [toolEnd, unitEnd] = MakeBytePipe();
//   // The unit side, on a thread of its own:
//   uint8_t buf[256];
//   std::size_t n = 0;
//   while (unitEnd->ReadSome(buf, sizeof buf, 100ms, n) != TPipeResult::Closed) {
//       if (n > 0) { /* ... */ unitEnd->Write(reply, replyLength, 1s, n); }
//   }
//   // The tool side hands `toolEnd` to its link; to stop, either end calls
//   // Close() (hang-up): the other end still reads what was queued before,
//   // then sees Closed, and its writes fail.
//
// Semantics:
// - Read waits at most `timeout` in total for all `n` bytes; ReadSome waits
//   at most `timeout` for the first byte and takes what is queued then (a
//   zero time-out does not wait). Write queues at once while the peer's
//   queue has room (`capacity` bytes per direction) and waits at most
//   `timeout` in total for room for the rest.
// - `done` is always the count moved, also when the call ends early.
// - `cancelled`, when given, is asked before and every few milliseconds
//   while a call waits; once it returns true the call ends as Cancelled.
// - Every call is safe from any thread; a Close() from another thread wakes
//   the calls blocked on either end.
// - The ends are shared pointers; the last holder letting an end go closes
//   it (hang-up) like Close().

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

enum class TPipeResult : std::uint8_t {
    Ok,        // all bytes moved (ReadSome: at least one, or none asked for)
    TimedOut,  // the time-out passed first
    Closed,    // hung up (either end closed) and nothing more is queued
    Cancelled, // the cancel predicate returned true
};

class TBytePipeEnd
{
public:
    using TCancel = std::function<bool()>;

    ~TBytePipeEnd();
    TBytePipeEnd(const TBytePipeEnd &) = delete;
    TBytePipeEnd &operator=(const TBytePipeEnd &) = delete;

    TPipeResult Read(std::uint8_t *buffer, std::size_t n, std::chrono::milliseconds timeout,
                     std::size_t &done, const TCancel &cancelled = {});
    TPipeResult ReadSome(std::uint8_t *buffer, std::size_t n, std::chrono::milliseconds timeout,
                         std::size_t &done, const TCancel &cancelled = {});
    TPipeResult Write(const std::uint8_t *buffer, std::size_t n, std::chrono::milliseconds timeout,
                      std::size_t &done, const TCancel &cancelled = {});

    // Bytes queued for this end to read.
    std::size_t Available() const;
    // Throws away the bytes queued for this end; returns their count.
    std::size_t DiscardInput();

    // Hangs up (both directions). Idempotent.
    void Close();
    // True once either end was closed.
    bool IsHungUp() const;

private:
    struct TShared;
    friend std::pair<std::shared_ptr<TBytePipeEnd>, std::shared_ptr<TBytePipeEnd>>
    MakeBytePipe(std::size_t capacity);

    TBytePipeEnd(std::shared_ptr<TShared> shared, int side);

    std::shared_ptr<TShared> FShared;
    int FSide; // 0 or 1: reads queue FSide, writes queue 1 - FSide
};

// A connected pair of ends.
std::pair<std::shared_ptr<TBytePipeEnd>, std::shared_ptr<TBytePipeEnd>>
MakeBytePipe(std::size_t capacity = 64 * 1024);
