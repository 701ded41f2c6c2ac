#include "common/Errormanager.h"
#include "model/Availableinputtypes.h"
#include "model/Inputtypes.h"
#include "model/Uomdescriptions.h"
#include "tests/support/TestUtil.h"

#include <gtest/gtest.h>

#include <random>

// Random and truncated blocks for every reader: none may read past the
// bytes it was given (the sanitizer build checks every access), and what a
// reader keeps must fit in those bytes.

namespace
{

constexpr int kRuns = 3000;

class ReadersFuzz : public zelvo::test::TWithErrorLog
{
protected:
    // A block of random length whose leading count is often small, so both
    // complete and cut records occur. The bytes live in their own heap
    // allocation of exactly that size, so any over-read is caught.
    std::vector<uint8_t> RandomBlock(int maxLength)
    {
        std::uniform_int_distribution<int> length(0, maxLength);
        std::uniform_int_distribution<int> byte(0, 255);
        std::vector<uint8_t> block(static_cast<std::size_t>(length(rng)));
        for (auto &b : block)
            b = static_cast<uint8_t>(byte(rng));
        if (!block.empty() && byte(rng) < 192)
            block[0] = static_cast<uint8_t>(byte(rng) % 8);
        return block;
    }

    std::mt19937 rng{20261207};
};

} // namespace

TEST_F(ReadersFuzz, InputTypes_RandomBlocks_KeptRecordsFitInTheBytes)
{
    for (int run = 0; run < kRuns; ++run) {
        const auto block = RandomBlock(140);
        TInputTypes types(&Errors);
        std::size_t consumed = 0;
        const bool complete = types.PopulateInputTypes(block.data(), block.size(), consumed);
        ASSERT_LE(consumed, block.size());
        if (!block.empty()) {
            ASSERT_EQ(consumed, 1u + 15u * static_cast<unsigned>(types.Count()));
            ASSERT_EQ(complete, types.Count() == block[0]);
        }
        Errors.FlushLog();
    }
}

TEST_F(ReadersFuzz, AvailableInputTypes_RandomBlocks_KeptRecordsFitInTheBytes)
{
    for (int run = 0; run < kRuns; ++run) {
        const auto block = RandomBlock(600);
        TAvailableInputTypes types(&Errors);
        const bool complete = types.PopulateAvailableInputTypes(block.data(), block.size());
        ASSERT_LE(1u + 72u * static_cast<unsigned>(types.Count()),
                  std::max<std::size_t>(block.size(), 1));
        if (!block.empty()) {
            ASSERT_EQ(complete, types.Count() == block[0]);
        }
        for (int i = 0; i < types.Count(); ++i)
            ASSERT_LE(types.At(i)->Name.size(), 50);
        Errors.FlushLog();
    }
}

TEST_F(ReadersFuzz, UOMDescriptions_RandomBlocks_KeptRecordsFitInTheBytes)
{
    for (int run = 0; run < kRuns; ++run) {
        auto block = RandomBlock(400);
        if (block.size() >= 2)
            block[1] = static_cast<uint8_t>(run % 3 == 0 ? 0xFF : 0); // huge counts too
        TUOMDescriptions list(&Errors);
        list.PopulateUOMDescriptions(block.data(), block.size());
        std::size_t used = 2;
        for (int i = 0; i < list.Count(); ++i)
            used += 6 + static_cast<std::size_t>(list.At(i)->GetName().size());
        ASSERT_LE(list.Count() == 0 ? 0 : used, block.size());
        Errors.FlushLog();
    }
}
