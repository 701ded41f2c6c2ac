#include "Availableinputtypes.h"
#include "CoreBlocks.h"
#include "Errormanager.h"
#include "Inputtypes.h"
#include "TestUtil.h"
#include "Uomdescriptions.h"

#include <gtest/gtest.h>

#include <random>

// Random and truncated blocks for every reader: none may read past the
// bytes it was given (the sanitizer build checks every access), and what a
// reader keeps must fit in those bytes.

namespace
{

constexpr int kRuns = 3000;

class ReadersFuzz : public ::testing::Test
{
protected:
    void SetUp() override
    {
        DestroyErrorManager();
        CreateErrorManager(QString::fromStdString(zelvo::test::TempDir()) + "/Log.txt");
    }
    void TearDown() override { DestroyErrorManager(); }

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
        TInputTypes types;
        std::size_t consumed = 0;
        const bool complete = types.PopulateInputTypes(block.data(), block.size(), consumed);
        ASSERT_LE(consumed, block.size());
        if (!block.empty()) {
            ASSERT_EQ(consumed, 1u + 15u * static_cast<unsigned>(types.Count()));
            ASSERT_EQ(complete, types.Count() == block[0]);
        }
        ErrorManager()->FlushLog();
    }
}

TEST_F(ReadersFuzz, AvailableInputTypes_RandomBlocks_KeptRecordsFitInTheBytes)
{
    for (int run = 0; run < kRuns; ++run) {
        const auto block = RandomBlock(600);
        TAvailableInputTypes types;
        const bool complete = types.PopulateAvailableInputTypes(block.data(), block.size());
        ASSERT_LE(1u + 72u * static_cast<unsigned>(types.Count()),
                  std::max<std::size_t>(block.size(), 1));
        if (!block.empty()) {
            ASSERT_EQ(complete, types.Count() == block[0]);
        }
        for (int i = 0; i < types.Count(); ++i)
            ASSERT_LE(types.At(i)->Name.size(), 50);
        ErrorManager()->FlushLog();
    }
}

TEST_F(ReadersFuzz, UOMDescriptions_RandomBlocks_KeptRecordsFitInTheBytes)
{
    for (int run = 0; run < kRuns; ++run) {
        auto block = RandomBlock(400);
        if (block.size() >= 2)
            block[1] = static_cast<uint8_t>(run % 3 == 0 ? 0xFF : 0); // huge counts too
        TUOMDescriptions list;
        list.PopulateUOMDescriptions(block.data(), block.size());
        std::size_t used = 2;
        for (int i = 0; i < list.Count(); ++i)
            used += 6 + static_cast<std::size_t>(list.At(i)->GetName().size());
        ASSERT_LE(list.Count() == 0 ? 0 : used, block.size());
        ErrorManager()->FlushLog();
    }
}

TEST_F(ReadersFuzz, EveryTruncationOfValidBlocks_KeepsAPrefixOfTheRecords)
{
    const QByteArray inputTypes = TBlockWriter()
                                      .U8(3)
                                      .InputType(1, 1, 2, 3, 0)
                                      .InputType(2, 4, 5, 6, 1)
                                      .InputType(3, 7, 8, 9, 2)
                                      .bytes;
    const QByteArray available =
        TBlockWriter().U8(2).AvailableType(1, 5, 1, 0, "a").AvailableType(0, 6, 2, 1, "b").bytes;
    const QByteArray descriptions = TBlockWriter()
                                        .U16(3)
                                        .Description(1, 1, "ab")
                                        .Description(2, 2, "")
                                        .Description(3, 3, "cde")
                                        .bytes;

    for (int cut = 0; cut <= inputTypes.size(); ++cut) {
        std::vector<uint8_t> bytes(inputTypes.begin(), inputTypes.begin() + cut);
        TInputTypes t;
        std::size_t consumed = 0;
        t.PopulateInputTypes(bytes.data(), bytes.size(), consumed);
        ASSERT_EQ(t.Count(), cut == 0 ? 0 : (cut - 1) / 15);
        for (int i = 0; i < t.Count(); ++i)
            ASSERT_EQ(t.At(i)->InputTypeID, i + 1);
    }
    for (int cut = 0; cut <= available.size(); ++cut) {
        std::vector<uint8_t> bytes(available.begin(), available.begin() + cut);
        TAvailableInputTypes t;
        t.PopulateAvailableInputTypes(bytes.data(), bytes.size());
        ASSERT_EQ(t.Count(), cut == 0 ? 0 : (cut - 1) / 72);
    }
    const int ends[] = {10, 16, 25};
    for (int cut = 0; cut <= descriptions.size(); ++cut) {
        std::vector<uint8_t> bytes(descriptions.begin(), descriptions.begin() + cut);
        TUOMDescriptions d;
        d.PopulateUOMDescriptions(bytes.data(), bytes.size());
        int expected = 0;
        for (int end : ends)
            expected += cut >= end ? 1 : 0;
        ASSERT_EQ(d.Count(), expected) << "cut " << cut;
        for (int i = 0; i < d.Count(); ++i)
            ASSERT_EQ(d.At(i)->GetUOMID(), i + 1);
    }
}
