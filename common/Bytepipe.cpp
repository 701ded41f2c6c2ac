#include "common/Bytepipe.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace
{

using Clock = std::chrono::steady_clock;

// How often a wait looks at its cancel predicate.
constexpr std::chrono::milliseconds kCancelSlice{5};

} // namespace

struct TBytePipeEnd::TShared {
    explicit TShared(std::size_t capacity) : Capacity(std::max<std::size_t>(capacity, 1)) {}

    std::mutex Lock;
    std::condition_variable Changed;
    std::deque<std::uint8_t> Queue[2]; // Queue[s]: bytes for side s to read
    bool HungUp = false;
    const std::size_t Capacity;

    // Waits on `guard` until `ready()` holds, the pipe hangs up, `deadline`
    // passes or `cancelled` says so. The caller looks at the state after.
    template <typename Ready>
    TPipeResult Wait(std::unique_lock<std::mutex> &guard, Clock::time_point deadline,
                     const TCancel &cancelled, Ready ready)
    {
        while (!ready() && !HungUp) {
            if (cancelled) {
                guard.unlock();
                const bool stop = cancelled();
                guard.lock();
                if (stop)
                    return TPipeResult::Cancelled;
                if (ready() || HungUp)
                    break;
            }
            const auto now = Clock::now();
            if (now >= deadline)
                return TPipeResult::TimedOut;
            auto until = deadline;
            if (cancelled)
                until = std::min(deadline, now + kCancelSlice);
            Changed.wait_until(guard, until);
        }
        return TPipeResult::Ok;
    }
};

TBytePipeEnd::TBytePipeEnd(std::shared_ptr<TShared> shared, int side)
    : FShared(std::move(shared)), FSide(side)
{
}

TBytePipeEnd::~TBytePipeEnd()
{
    Close();
}

std::pair<std::shared_ptr<TBytePipeEnd>, std::shared_ptr<TBytePipeEnd>>
MakeBytePipe(std::size_t capacity)
{
    auto shared = std::make_shared<TBytePipeEnd::TShared>(capacity);
    return {std::shared_ptr<TBytePipeEnd>(new TBytePipeEnd(shared, 0)),
            std::shared_ptr<TBytePipeEnd>(new TBytePipeEnd(shared, 1))};
}

TPipeResult TBytePipeEnd::Read(std::uint8_t *buffer, std::size_t n,
                               std::chrono::milliseconds timeout, std::size_t &done,
                               const TCancel &cancelled)
{
    done = 0;
    const auto deadline = Clock::now() + timeout;
    TShared &s = *FShared;
    std::unique_lock<std::mutex> guard(s.Lock);
    std::deque<std::uint8_t> &in = s.Queue[FSide];
    while (done < n) {
        const std::size_t take = std::min(n - done, in.size());
        std::copy_n(in.begin(), take, buffer + done);
        in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(take));
        done += take;
        if (take > 0)
            s.Changed.notify_all(); // room for the writer
        if (done == n)
            break;
        if (s.HungUp)
            return TPipeResult::Closed;
        const TPipeResult r = s.Wait(guard, deadline, cancelled, [&] { return !in.empty(); });
        if (r != TPipeResult::Ok)
            return r;
    }
    return TPipeResult::Ok;
}

TPipeResult TBytePipeEnd::ReadSome(std::uint8_t *buffer, std::size_t n,
                                   std::chrono::milliseconds timeout, std::size_t &done,
                                   const TCancel &cancelled)
{
    done = 0;
    if (n == 0)
        return TPipeResult::Ok;
    const auto deadline = Clock::now() + timeout;
    TShared &s = *FShared;
    std::unique_lock<std::mutex> guard(s.Lock);
    std::deque<std::uint8_t> &in = s.Queue[FSide];
    const TPipeResult r = s.Wait(guard, deadline, cancelled, [&] { return !in.empty(); });
    if (in.empty())
        return r == TPipeResult::Ok ? TPipeResult::Closed : r;
    done = std::min(n, in.size());
    std::copy_n(in.begin(), done, buffer);
    in.erase(in.begin(), in.begin() + static_cast<std::ptrdiff_t>(done));
    s.Changed.notify_all();
    return TPipeResult::Ok;
}

TPipeResult TBytePipeEnd::Write(const std::uint8_t *buffer, std::size_t n,
                                std::chrono::milliseconds timeout, std::size_t &done,
                                const TCancel &cancelled)
{
    done = 0;
    const auto deadline = Clock::now() + timeout;
    TShared &s = *FShared;
    std::unique_lock<std::mutex> guard(s.Lock);
    std::deque<std::uint8_t> &out = s.Queue[1 - FSide];
    while (done < n) {
        if (s.HungUp)
            return TPipeResult::Closed;
        const std::size_t room = s.Capacity > out.size() ? s.Capacity - out.size() : 0;
        const std::size_t put = std::min(n - done, room);
        out.insert(out.end(), buffer + done, buffer + done + put);
        done += put;
        if (put > 0)
            s.Changed.notify_all(); // bytes for the reader
        if (done == n)
            break;
        const TPipeResult r =
            s.Wait(guard, deadline, cancelled, [&] { return out.size() < s.Capacity; });
        if (r != TPipeResult::Ok)
            return r;
    }
    return TPipeResult::Ok;
}

std::size_t TBytePipeEnd::Available() const
{
    std::lock_guard<std::mutex> guard(FShared->Lock);
    return FShared->Queue[FSide].size();
}

std::size_t TBytePipeEnd::DiscardInput()
{
    std::lock_guard<std::mutex> guard(FShared->Lock);
    const std::size_t n = FShared->Queue[FSide].size();
    FShared->Queue[FSide].clear();
    FShared->Changed.notify_all();
    return n;
}

void TBytePipeEnd::Close()
{
    std::lock_guard<std::mutex> guard(FShared->Lock);
    FShared->HungUp = true;
    FShared->Changed.notify_all();
}

bool TBytePipeEnd::IsHungUp() const
{
    std::lock_guard<std::mutex> guard(FShared->Lock);
    return FShared->HungUp;
}
