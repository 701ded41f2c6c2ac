#include "model/Serversideios.h"
#include "model/Uommanager.h"
#include "model/Uoms.h"

#include "Recordinglistview.h"
#include "common/Errormanager.h"
#include "tests/support/TestUtil.h"
#include "tests/support/Wirerecord.h"

#include <random>

namespace
{

using zelvo::test::TWireRecord;

// A well-formed UOM-information block to mutate: two input types, two
// digital and three analogue UOMs.
std::vector<uint8_t> SeedUomBlock()
{
    TWireRecord b;
    b.U8(2);
    b.InputType(1, 10, 4095, 0, 0, 0);
    b.InputType(2, 1000, 1, 0, 1, 1);
    b.U8(2);
    b.DigitalUOM(1, "Off", "On");
    b.DigitalUOM(2, "Shut", "Open");
    b.U8(3);
    b.AnalogueUOM(3, "bar", 0, {{0, 0}, {10, 100}});
    b.AnalogueUOM(4, "m", 1, {{20, 0}, {10, 5}, {0, 9}});
    b.AnalogueUOM(5, "C", 2, {});
    return b.Bytes();
}

std::vector<uint8_t> SeedConfigBlock()
{
    TWireRecord b;
    b.IOConfig(1, "IN01  ", 1, 3, 5, "Level");
    b.IOConfig(2, "EXT002", 2, 4, 6, "Flow");
    b.IOConfig(3, "EXT003", 1, 9, 4, "");
    return b.Bytes();
}

// Random bytes, or the seed cut short and with a few bytes changed.
std::vector<uint8_t> Mutate(const std::vector<uint8_t> &seed, std::mt19937 &rng)
{
    std::uniform_int_distribution<int> byte(0, 255);
    std::vector<uint8_t> out;
    if (rng() % 4 == 0) {
        out.resize(rng() % 300);
        for (auto &b : out)
            b = static_cast<uint8_t>(byte(rng));
        return out;
    }
    out = seed;
    const int flips = static_cast<int>(rng() % 4);
    for (int i = 0; i < flips && !out.empty(); ++i)
        out[rng() % out.size()] = static_cast<uint8_t>(byte(rng));
    out.resize(rng() % (out.size() + 1));
    return out;
}

TEST(TScalingFuzzTest, PopulateUOMInformation_RandomBlocks_StayInsideBlockAndScale)
{
    std::mt19937 rng(20240611);
    const std::vector<uint8_t> seed = SeedUomBlock();
    TUOMManager manager;
    for (int round = 0; round < 3000; ++round) {
        // The exact size on the heap, so the sanitizer sees any read past it.
        const std::vector<uint8_t> block = Mutate(seed, rng);
        manager.PopulateUOMInformation(block.data(), block.size());
        const TUOMs &uoms = *manager.UOMs();
        // Each UOM is at least a 22-byte analogue header or a 36-byte record.
        ASSERT_LE(static_cast<std::size_t>(uoms.Count()) * 22, block.size()) << round;
        for (int i = 0; i < uoms.Count(); ++i) {
            TUOM *uom = uoms.Item(i);
            // The table holds exactly the points it claims.
            if (uom->PointCount() > 0) {
                ASSERT_NO_THROW(uom->XValue(uom->PointCount() - 1));
                ASSERT_NO_THROW(uom->YValue(uom->PointCount() - 1));
            }
            // Conversion never raises, whatever table came in.
            ASSERT_NO_THROW(
                manager.ConvertValue(static_cast<int32_t>(rng() % 4), uom->UOMID(), rng()));
            float x;
            const uint32_t bits = rng();
            std::memcpy(&x, &bits, sizeof x);
            try {
                uom->Scale(x);
            } catch (const std::runtime_error &) {
                // Rejected or unknown rule: reported, never a crash.
            }
        }
    }
}

TEST(TScalingFuzzTest, ServerSideRecords_RandomBlocks_ConsumeOnlyWholeRecords)
{
    std::mt19937 rng(777);
    const std::vector<uint8_t> seed = SeedConfigBlock();
    zelvo::test::TRecordingListView config, external;
    TServerSideIOs list;
    list.AttachConfigView(&config);
    list.AttachExternalView(&external);
    std::vector<uint8_t> upload(8000);
    for (int round = 0; round < 3000; ++round) {
        list.Clear();
        const std::vector<uint8_t> block = Mutate(seed, rng);
        const std::size_t used = list.PopulateRecords(block.data(), block.size());
        ASSERT_LE(used, block.size());
        ASSERT_LE(static_cast<std::size_t>(list.Count()) * 17, used);
        ASSERT_EQ(config.RowCount(), list.Count() + 1);
        ASSERT_EQ(external.RowCount(), list.ExternalCount());

        // Every record changed: the payload fits the buffer exactly as sized.
        std::size_t expected = 0;
        for (int i = 0; i < list.Count(); ++i) {
            list.Item(i)->SetChanged(true);
            expected += list.Item(i)->UploadRecordSize();
        }
        std::size_t length = 0;
        const TUploadResult result = list.BuildUpload(upload.data(), upload.size(), length);
        ASSERT_EQ(result, list.Count() == 0 ? TUploadResult::NoChanges : TUploadResult::Built);
        ASSERT_EQ(length, expected);

        // External values from a stream shorter than the slots it promises.
        std::vector<uint8_t> stream(rng() % 12);
        for (auto &b : stream)
            b = static_cast<uint8_t>(rng());
        for (int index = 0; index < 4; ++index) {
            const std::size_t at =
                std::min<std::size_t>(4 * static_cast<std::size_t>(index), stream.size());
            list.ApplyExternalValue(
                stream.data() + at, stream.size() - at, index,
                [](uint32_t raw, int32_t) { return static_cast<long double>(raw); });
            list.ApplyErrorBit(index % 2 == 0, index + 1, rng() % 2 == 0);
        }
    }
}

} // namespace
