#include "ui/Avireader.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace
{

uint32_t U32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

bool IsFourCC(const uint8_t *p, const char *fourcc)
{
    return std::memcmp(p, fourcc, 4) == 0;
}

// One chunk inside a container [begin, end): its id, its data and where the
// next one starts (data padded to an even length).
struct TChunk {
    const uint8_t *Id = nullptr;
    const uint8_t *Data = nullptr;
    std::size_t Size = 0;
};

// Walks the chunks of one container. Every size is checked against the
// container's end before the chunk is handed out.
class TChunkWalker
{
public:
    TChunkWalker(const uint8_t *begin, const uint8_t *end) : FPos(begin), FEnd(end) {}

    // False at the end; sets Damaged when a chunk does not fit.
    bool Next(TChunk &chunk)
    {
        const std::size_t left = static_cast<std::size_t>(FEnd - FPos);
        if (left == 0)
            return false;
        if (left < 8) {
            Damaged = true;
            return false;
        }
        const std::size_t size = U32(FPos + 4);
        if (size > left - 8) {
            Damaged = true;
            return false;
        }
        chunk.Id = FPos;
        chunk.Data = FPos + 8;
        chunk.Size = size;
        // The pad byte of an odd chunk may be missing at the container's end.
        const std::size_t step = 8 + size + (size & 1U);
        FPos = step >= left ? FEnd : FPos + step;
        return true;
    }

    bool Damaged = false;

private:
    const uint8_t *FPos;
    const uint8_t *FEnd;
};

bool IsList(const TChunk &c, const char *type)
{
    return IsFourCC(c.Id, "LIST") && c.Size >= 4 && IsFourCC(c.Data, type);
}

// A compressed video frame of any stream: "##dc" or "##db".
bool IsFrameChunk(const TChunk &c)
{
    return (c.Id[2] == 'd' && (c.Id[3] == 'c' || c.Id[3] == 'b'));
}

} // namespace

void TAviReader::Reset()
{
    FFrames.clear();
    FIntervalUs = 0;
    FSize = QSize();
    FError.clear();
}

bool TAviReader::Fail(const QString &why)
{
    FFrames.clear();
    FIntervalUs = 0;
    FSize = QSize();
    FError = why;
    return false;
}

bool TAviReader::Open(const QString &path)
{
    Reset();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot open %1: %2").arg(path, file.errorString()));
    if (file.size() > MaxFileSize)
        return Fail(QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(MaxFileSize));
    const QByteArray data = file.readAll();
    return Parse(data);
}

bool TAviReader::Parse(const QByteArray &bytes)
{
    Reset();
    const auto *data = reinterpret_cast<const uint8_t *>(bytes.constData());
    const std::size_t length = static_cast<std::size_t>(bytes.size());
    if (length < 12 || !IsFourCC(data, "RIFF") || !IsFourCC(data + 8, "AVI "))
        return Fail(QStringLiteral("not an AVI file"));
    const std::size_t riffSize = U32(data + 4);
    if (riffSize < 4)
        return Fail(QStringLiteral("empty RIFF"));
    if (riffSize > length - 8)
        return Fail(QStringLiteral("truncated: RIFF holds %1 bytes, %2 present")
                        .arg(riffSize)
                        .arg(length - 8));

    bool haveHeader = false;
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<TChunk> frames;

    TChunkWalker top(data + 12, data + 8 + riffSize);
    TChunk chunk;
    while (top.Next(chunk)) {
        if (IsList(chunk, "hdrl")) {
            TChunkWalker hdrl(chunk.Data + 4, chunk.Data + chunk.Size);
            TChunk h;
            while (hdrl.Next(h)) {
                if (!IsFourCC(h.Id, "avih"))
                    continue;
                if (h.Size < 56)
                    return Fail(QStringLiteral("main header too short"));
                FIntervalUs = U32(h.Data);
                width = U32(h.Data + 32);
                height = U32(h.Data + 36);
                haveHeader = true;
            }
            if (hdrl.Damaged)
                return Fail(QStringLiteral("damaged header list"));
        } else if (IsList(chunk, "movi")) {
            TChunkWalker movi(chunk.Data + 4, chunk.Data + chunk.Size);
            TChunk m;
            while (movi.Next(m)) {
                if (IsList(m, "rec ")) {
                    TChunkWalker rec(m.Data + 4, m.Data + m.Size);
                    TChunk r;
                    while (rec.Next(r))
                        if (IsFrameChunk(r) && r.Size > 0)
                            frames.push_back(r);
                    if (rec.Damaged)
                        return Fail(QStringLiteral("damaged record list"));
                } else if (IsFrameChunk(m) && m.Size > 0) {
                    frames.push_back(m);
                }
                if (frames.size() > static_cast<std::size_t>(MaxFrames))
                    return Fail(QStringLiteral("more than %1 frames").arg(MaxFrames));
            }
            if (movi.Damaged)
                return Fail(QStringLiteral("damaged frame list"));
        }
    }
    if (top.Damaged)
        return Fail(QStringLiteral("damaged chunk"));
    if (!haveHeader)
        return Fail(QStringLiteral("no main header"));
    if (FIntervalUs == 0 || FIntervalUs > 10'000'000)
        return Fail(QStringLiteral("frame interval %1 us out of range").arg(FIntervalUs));
    if (width == 0 || height == 0 || width > MaxDimension || height > MaxDimension)
        return Fail(QStringLiteral("frame size %1 x %2 out of range").arg(width).arg(height));
    if (frames.empty())
        return Fail(QStringLiteral("no frames"));

    std::vector<QImage> decoded;
    decoded.reserve(frames.size());
    for (const TChunk &f : frames) {
        QImage image = QImage::fromData(f.Data, static_cast<int>(f.Size), "JPEG");
        if (image.isNull() || image.width() > MaxDimension || image.height() > MaxDimension)
            return Fail(QStringLiteral("frame %1 does not decode").arg(decoded.size()));
        decoded.push_back(std::move(image));
    }
    FFrames = std::move(decoded);
    FSize = QSize(static_cast<int>(width), static_cast<int>(height));
    return true;
}

// ---- writer ----

namespace
{

void PutU32(QByteArray &out, uint32_t v)
{
    const char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
    out.append(b, 4);
}

void PutU16(QByteArray &out, uint16_t v)
{
    const char b[2] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
    out.append(b, 2);
}

void PutId(QByteArray &out, const char *fourcc)
{
    out.append(fourcc, 4);
}

// A chunk with its size field and pad byte.
QByteArray Chunk(const char *id, const QByteArray &body)
{
    QByteArray out;
    PutId(out, id);
    PutU32(out, static_cast<uint32_t>(body.size()));
    out.append(body);
    if (body.size() & 1)
        out.append('\0');
    return out;
}

QByteArray List(const char *type, const QByteArray &body)
{
    QByteArray inner;
    PutId(inner, type);
    inner.append(body);
    return Chunk("LIST", inner);
}

} // namespace

QByteArray WriteMjpegAvi(const std::vector<QByteArray> &jpegFrames, int width, int height,
                         int framesPerSecond)
{
    const uint32_t count = static_cast<uint32_t>(jpegFrames.size());
    const uint32_t fps = framesPerSecond > 0 ? static_cast<uint32_t>(framesPerSecond) : 1;
    uint32_t largest = 0;
    for (const QByteArray &f : jpegFrames)
        largest = std::max(largest, static_cast<uint32_t>(f.size()));

    QByteArray avih;
    PutU32(avih, 1000000 / fps); // microseconds per frame
    PutU32(avih, largest * fps); // max bytes per second
    PutU32(avih, 0);             // padding granularity
    PutU32(avih, 0x10);          // flags: has index
    PutU32(avih, count);         // total frames
    PutU32(avih, 0);             // initial frames
    PutU32(avih, 1);             // streams
    PutU32(avih, largest);       // suggested buffer size
    PutU32(avih, static_cast<uint32_t>(width));
    PutU32(avih, static_cast<uint32_t>(height));
    for (int i = 0; i < 4; ++i)
        PutU32(avih, 0); // reserved

    QByteArray strh;
    PutId(strh, "vids");
    PutId(strh, "MJPG");
    PutU32(strh, 0); // flags
    PutU16(strh, 0); // priority
    PutU16(strh, 0); // language
    PutU32(strh, 0); // initial frames
    PutU32(strh, 1); // scale
    PutU32(strh, fps);
    PutU32(strh, 0); // start
    PutU32(strh, count);
    PutU32(strh, largest);
    PutU32(strh, 0xFFFFFFFF); // quality: default
    PutU32(strh, 0);          // sample size
    PutU16(strh, 0);          // frame rectangle
    PutU16(strh, 0);
    PutU16(strh, static_cast<uint16_t>(width));
    PutU16(strh, static_cast<uint16_t>(height));

    QByteArray strf; // BITMAPINFOHEADER
    PutU32(strf, 40);
    PutU32(strf, static_cast<uint32_t>(width));
    PutU32(strf, static_cast<uint32_t>(height));
    PutU16(strf, 1);  // planes
    PutU16(strf, 24); // bits per pixel
    PutId(strf, "MJPG");
    PutU32(strf, static_cast<uint32_t>(width * height * 3));
    PutU32(strf, 0);
    PutU32(strf, 0);
    PutU32(strf, 0);
    PutU32(strf, 0);

    const QByteArray hdrl =
        List("hdrl", Chunk("avih", avih) + List("strl", Chunk("strh", strh) + Chunk("strf", strf)));

    QByteArray movi;
    QByteArray idx1;
    uint32_t offset = 4; // from the "movi" type field
    for (const QByteArray &f : jpegFrames) {
        PutId(idx1, "00dc");
        PutU32(idx1, 0x10); // key frame
        PutU32(idx1, offset);
        PutU32(idx1, static_cast<uint32_t>(f.size()));
        const QByteArray c = Chunk("00dc", f);
        movi.append(c);
        offset += static_cast<uint32_t>(c.size());
    }

    QByteArray body;
    PutId(body, "AVI ");
    body.append(hdrl);
    body.append(List("movi", movi));
    body.append(Chunk("idx1", idx1));
    QByteArray out;
    PutId(out, "RIFF");
    PutU32(out, static_cast<uint32_t>(body.size()));
    out.append(body);
    return out;
}
