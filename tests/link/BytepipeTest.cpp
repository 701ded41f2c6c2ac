// The in-process byte pipe: order and both directions, the total time-out,
// hang-up from either end waking a blocked call, back-pressure and cancel.

#include <atomic>
#include <chrono>
#include <future>
#include <vector>

#include <gtest/gtest.h>

#include "common/Bytepipe.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

namespace
{

template <typename T> bool ReadyWithin(std::future<T> &f, std::chrono::milliseconds deadline)
{
    return f.wait_for(deadline) == std::future_status::ready;
}

TEST(TBytePipe, BytesCrossInOrderBothWays_ReadWaitsForAllOfThem)
{
    auto [a, b] = MakeBytePipe();
    std::size_t done = 0;
    const Bytes ab{1, 2, 3}, ba{9, 8};
    EXPECT_EQ(a->Write(ab.data(), ab.size(), 0ms, done), TPipeResult::Ok);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(b->Write(ba.data(), ba.size(), 0ms, done), TPipeResult::Ok);
    EXPECT_EQ(b->Available(), 3u);
    EXPECT_EQ(a->Available(), 2u);

    // Four asked, three there: the read waits until the fourth is written.
    auto reader = std::async(std::launch::async, [&b] {
        Bytes got(4);
        std::size_t n = 0;
        b->Read(got.data(), 4, 10s, n);
        return got;
    });
    EXPECT_FALSE(ReadyWithin(reader, 20ms));
    const uint8_t four = 4;
    EXPECT_EQ(a->Write(&four, 1, 0ms, done), TPipeResult::Ok);
    EXPECT_EQ(reader.get(), (Bytes{1, 2, 3, 4}));

    Bytes got(2);
    EXPECT_EQ(a->Read(got.data(), 2, 0ms, done), TPipeResult::Ok);
    EXPECT_EQ(got, ba);
}

TEST(TBytePipe, ShortRead_TimesOutAfterTheTotalWithTheBytesThatCame)
{
    auto [a, b] = MakeBytePipe();
    const Bytes three{1, 2, 3};
    std::size_t done = 0;
    a->Write(three.data(), 3, 0ms, done);
    Bytes got(4);
    const auto start = Clock::now();
    EXPECT_EQ(b->Read(got.data(), 4, 60ms, done), TPipeResult::TimedOut);
    EXPECT_GE(Clock::now() - start, 60ms);
    EXPECT_EQ(done, 3u);

    // ReadSome takes what is there; with nothing there and no wait, none.
    a->Write(three.data(), 3, 0ms, done);
    EXPECT_EQ(b->ReadSome(got.data(), got.size(), 0ms, done), TPipeResult::Ok);
    EXPECT_EQ(done, 3u);
    EXPECT_EQ(b->ReadSome(got.data(), got.size(), 0ms, done), TPipeResult::TimedOut);
    EXPECT_EQ(done, 0u);
}

TEST(TBytePipe, HangUp_WakesBlockedReaderOnEitherEnd_QueuedBytesStillRead)
{
    for (const bool closePeer : {true, false}) {
        SCOPED_TRACE(closePeer ? "peer closes" : "own end closed from another thread");
        auto [a, b] = MakeBytePipe();
        const uint8_t one = 7;
        std::size_t done = 0;
        a->Write(&one, 1, 0ms, done);
        auto blocked = std::async(std::launch::async, [&b] {
            Bytes got(2);
            std::size_t n = 0;
            const TPipeResult r = b->Read(got.data(), 2, 600s, n);
            return std::make_pair(r, n);
        });
        EXPECT_FALSE(ReadyWithin(blocked, 20ms));
        (closePeer ? a : b)->Close();
        ASSERT_TRUE(ReadyWithin(blocked, 10s));
        const auto [r, n] = blocked.get();
        EXPECT_EQ(r, TPipeResult::Closed);
        EXPECT_EQ(n, 1u);
        EXPECT_TRUE(a->IsHungUp());
        EXPECT_EQ(b->Write(&one, 1, 0ms, done), TPipeResult::Closed);
        EXPECT_EQ(done, 0u);
    }
    // The last holder letting an end go hangs up too.
    auto [a, b] = MakeBytePipe();
    a.reset();
    EXPECT_TRUE(b->IsHungUp());
}

TEST(TBytePipe, FullQueue_WriterWaitsForRoomThenTimesOutWithWhatFitted)
{
    auto [a, b] = MakeBytePipe(4);
    const Bytes six{1, 2, 3, 4, 5, 6};
    std::size_t done = 0;
    EXPECT_EQ(a->Write(six.data(), 6, 30ms, done), TPipeResult::TimedOut);
    EXPECT_EQ(done, 4u);
    EXPECT_EQ(b->DiscardInput(), 4u);
    EXPECT_EQ(b->Available(), 0u);

    // A reader making room lets the whole write through.
    auto reader = std::async(std::launch::async, [&b] {
        Bytes got(6);
        std::size_t n = 0;
        b->Read(got.data(), 6, 10s, n);
        return got;
    });
    EXPECT_EQ(a->Write(six.data(), 6, 10s, done), TPipeResult::Ok);
    EXPECT_EQ(reader.get(), six);
}

TEST(TBytePipe, Cancel_EndsBlockedCallSoon_AndAtOnceWhenAlreadySet)
{
    auto [a, b] = MakeBytePipe();
    std::atomic<bool> stop{false};
    auto cancelled = [&stop] { return stop.load(); };
    auto blocked = std::async(std::launch::async, [&] {
        uint8_t byte = 0;
        std::size_t n = 0;
        return b->Read(&byte, 1, 600s, n, cancelled);
    });
    EXPECT_FALSE(ReadyWithin(blocked, 20ms));
    stop = true;
    ASSERT_TRUE(ReadyWithin(blocked, 10s));
    EXPECT_EQ(blocked.get(), TPipeResult::Cancelled);

    uint8_t byte = 0;
    std::size_t n = 0;
    const auto start = Clock::now();
    EXPECT_EQ(b->Read(&byte, 1, 600s, n, cancelled), TPipeResult::Cancelled);
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_FALSE(a->IsHungUp());
}

} // namespace
