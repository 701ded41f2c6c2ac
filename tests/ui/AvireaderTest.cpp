#include "ui/Avireader.h"

#include "tests/support/TestUtil.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace
{

QByteArray Jpeg(const QColor &colour, int w = 16, int h = 8)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

// A small three-frame file made by our writer.
QByteArray SmallAvi()
{
    return WriteMjpegAvi({Jpeg(Qt::red), Jpeg(Qt::green), Jpeg(Qt::blue)}, 16, 8, 10);
}

// Parses from a heap block of exactly the given bytes, so any read past the
// end lands outside the allocation (and the sanitizer build reports it).
bool ParseExact(TAviReader &reader, const char *data, std::size_t length)
{
    std::unique_ptr<char[]> block(new char[length == 0 ? 1 : length]);
    std::memcpy(block.get(), data, length);
    const QByteArray view = QByteArray::fromRawData(block.get(), static_cast<qsizetype>(length));
    return reader.Parse(view);
}

void PutU32(QByteArray &bytes, int at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

TEST(TAviReader, ShippedAnimation_ReadsAtTenFramesASecondOrMore_UnderOneMegabyte)
{
    const QString path =
        QString::fromStdString(zelvo::test::SourcePath("data/Images/working_generic.avi"));
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_LT(QFileInfo(path).size(), 1024 * 1024);
    TAviReader reader;
    ASSERT_TRUE(reader.Open(path)) << reader.Error().toStdString();
    EXPECT_GE(reader.FrameCount(), 10);
    EXPECT_LE(reader.FrameIntervalUs(), 100000u);
    EXPECT_EQ(reader.Size(), QSize(444, 212));
    for (int i = 0; i < reader.FrameCount(); ++i)
        EXPECT_EQ(reader.Frame(i).size(), QSize(444, 212)) << "frame " << i;
    // The frames differ: it moves.
    EXPECT_NE(reader.Frame(0), reader.Frame(reader.FrameCount() / 2));
}

TEST(TAviReader, WrittenFile_ReadsBackFramesInOrderWithTheirRate)
{
    TAviReader reader;
    ASSERT_TRUE(reader.Parse(SmallAvi())) << reader.Error().toStdString();
    ASSERT_EQ(reader.FrameCount(), 3);
    EXPECT_EQ(reader.FrameIntervalUs(), 100000u);
    EXPECT_EQ(reader.Size(), QSize(16, 8));
    const QColor first = reader.Frame(0).pixelColor(8, 4);
    const QColor third = reader.Frame(2).pixelColor(8, 4);
    EXPECT_GT(first.red(), 200);
    EXPECT_LT(first.blue(), 60);
    EXPECT_GT(third.blue(), 200);
    EXPECT_LT(third.red(), 60);
}

TEST(TAviReader, OddSizedFrameWithoutPadAtTheEnd_StillReads)
{
    QByteArray odd = Jpeg(Qt::red);
    if (odd.size() % 2 == 0)
        odd.append('\0'); // JPEG decoders ignore bytes after the end marker
    QByteArray avi = WriteMjpegAvi({odd}, 16, 8, 12);
    TAviReader reader;
    ASSERT_TRUE(reader.Parse(avi)) << reader.Error().toStdString();
    EXPECT_EQ(reader.FrameCount(), 1);
}

TEST(TAviReader, EveryTruncation_FailsWithoutReadingPastTheData)
{
    const QByteArray avi = SmallAvi();
    for (int n = 0; n < avi.size(); ++n) {
        TAviReader reader;
        EXPECT_FALSE(ParseExact(reader, avi.constData(), static_cast<std::size_t>(n)))
            << "accepted the first " << n << " of " << avi.size() << " bytes";
        EXPECT_EQ(reader.FrameCount(), 0);
    }
    TAviReader whole;
    EXPECT_TRUE(ParseExact(whole, avi.constData(), static_cast<std::size_t>(avi.size())));
}

TEST(TAviReader, DamagedStructure_Refused)
{
    const QByteArray good = SmallAvi();
    const int avih = good.indexOf("avih");
    const int movi = good.indexOf("movi");
    const int frame = good.indexOf("00dc");
    ASSERT_GT(avih, 0);
    ASSERT_GT(movi, 0);
    ASSERT_GT(frame, 0);

    struct TCase {
        const char *Name;
        QByteArray Bytes;
    };
    std::vector<TCase> cases;
    QByteArray b = good;
    b.replace(8, 4, "WAVE");
    cases.push_back({"not AVI", b});
    b = good;
    PutU32(b, 4, 0xFFFFFFF0u);
    cases.push_back({"RIFF size beyond the file", b});
    b = good;
    PutU32(b, frame + 4, 0x7FFFFFFFu);
    cases.push_back({"frame chunk beyond its list", b});
    b = good;
    PutU32(b, avih + 8, 0);
    cases.push_back({"zero frame interval", b});
    b = good;
    PutU32(b, avih + 8 + 32, 100000);
    cases.push_back({"absurd width", b});
    b = good;
    b.replace(avih, 4, "xxxx");
    cases.push_back({"no main header", b});
    b = good;
    b.replace(movi, 4, "junk");
    cases.push_back({"no frame list", b});
    b = good;
    b[frame + 8] = 0; // the frame's JPEG start marker
    b[frame + 9] = 0;
    cases.push_back({"frame that does not decode", b});

    for (const TCase &c : cases) {
        TAviReader reader;
        EXPECT_FALSE(
            ParseExact(reader, c.Bytes.constData(), static_cast<std::size_t>(c.Bytes.size())))
            << c.Name;
        EXPECT_FALSE(reader.Error().isEmpty()) << c.Name;
        EXPECT_EQ(reader.FrameCount(), 0) << c.Name;
    }
}

TEST(TAviReader, RandomBytesAndMutatedFiles_NeverCrash)
{
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> byte(0, 255);
    const QByteArray good = SmallAvi();

    for (int round = 0; round < 1500; ++round) {
        // Pure noise, sometimes behind a valid RIFF/AVI header.
        std::vector<char> noise(static_cast<std::size_t>(random() % 2048));
        for (char &c : noise)
            c = static_cast<char>(byte(random));
        if (round % 2 == 1 && noise.size() >= 12) {
            std::memcpy(noise.data(), good.constData(), 12);
        }
        TAviReader reader;
        if (reader.Parse(QByteArray(noise.data(), static_cast<qsizetype>(noise.size())))) {
            EXPECT_GT(reader.FrameCount(), 0);
        }
    }

    int accepted = 0;
    for (int round = 0; round < 1500; ++round) {
        QByteArray bytes = good;
        const int flips = 1 + static_cast<int>(random() % 6);
        for (int f = 0; f < flips; ++f)
            bytes[static_cast<int>(random() % static_cast<unsigned>(bytes.size()))] =
                static_cast<char>(byte(random));
        TAviReader reader;
        if (ParseExact(reader, bytes.constData(), static_cast<std::size_t>(bytes.size()))) {
            ++accepted;
            ASSERT_GT(reader.FrameCount(), 0);
            ASSERT_LE(reader.FrameCount(), TAviReader::MaxFrames);
            for (int i = 0; i < reader.FrameCount(); ++i)
                ASSERT_FALSE(reader.Frame(i).isNull());
        }
    }
    // Flips in the index, the stream header or inside the picture data leave
    // a readable file; the run must have met both outcomes.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 1500);
}

TEST(TAviReader, MissingFile_FailsWithReason)
{
    TAviReader reader;
    EXPECT_FALSE(reader.Open(QStringLiteral("/nonexistent/working_generic.avi")));
    EXPECT_TRUE(reader.Error().contains(QStringLiteral("cannot open")));
}

} // namespace
