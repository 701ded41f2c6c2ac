#include "tests/support/Wirerecord.h"

#include <algorithm>
#include <cstring>

namespace zelvo::test
{

TWireRecord &TWireRecord::U8(int v)
{
    FBytes.push_back(static_cast<uint8_t>(v & 0xFF));
    return *this;
}

TWireRecord &TWireRecord::U16(int v)
{
    return U8(v).U8(v >> 8);
}

TWireRecord &TWireRecord::U32(uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        FBytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
    return *this;
}

TWireRecord &TWireRecord::I32(int32_t v)
{
    return U32(static_cast<uint32_t>(v));
}

TWireRecord &TWireRecord::F32(float v)
{
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return U32(bits);
}

TWireRecord &TWireRecord::Fixed(std::string_view text, std::size_t width, char pad)
{
    for (std::size_t i = 0; i < width; ++i)
        FBytes.push_back(static_cast<uint8_t>(i < text.size() ? text[i] : pad));
    return *this;
}

TWireRecord &TWireRecord::Text(std::string_view text)
{
    FBytes.insert(FBytes.end(), text.begin(), text.end());
    return *this;
}

TWireRecord &TWireRecord::Counted(std::string_view text)
{
    return U8(static_cast<int>(text.size())).Text(text);
}

TWireRecord &TWireRecord::Fill(std::size_t count, uint8_t byte)
{
    FBytes.insert(FBytes.end(), count, byte);
    return *this;
}

TWireRecord &TWireRecord::Append(const TBytes &bytes)
{
    FBytes.insert(FBytes.end(), bytes.begin(), bytes.end());
    return *this;
}

TWireRecord &TWireRecord::IOConfig(int32_t id, std::string_view tag, int inputType, uint32_t uomId,
                                   int flags, std::string_view name, char tagPad)
{
    return I32(id).Fixed(tag, 6, tagPad).U8(inputType).U32(uomId).U8(flags).Counted(name);
}

TWireRecord &TWireRecord::IOUpload(int32_t id, int inputType, uint32_t uomId, int flags,
                                   std::string_view name)
{
    return I32(id).U8(inputType).U32(uomId).U8(flags).Counted(name);
}

TWireRecord &TWireRecord::IOUOM(uint32_t uomId, int inputType)
{
    return U32(uomId).U8(inputType);
}

TWireRecord &TWireRecord::InputType(int id, float multiplier, float divisor, float offset, int kind,
                                    int flag)
{
    return U8(id).F32(multiplier).F32(divisor).F32(offset).U8(kind).U8(flag);
}

TWireRecord &TWireRecord::DigitalUOM(int32_t id, std::string_view off, std::string_view on)
{
    return I32(id).Fixed(off, 16).Fixed(on, 16);
}

TWireRecord &TWireRecord::AnalogueUOM(int32_t id, std::string_view units, int rule,
                                      const std::vector<std::pair<float, float>> &points)
{
    I32(id).Fixed(units, 16).U8(rule).U8(static_cast<int>(points.size()));
    for (const auto &[x, y] : points)
        F32(x).F32(y);
    return *this;
}

TWireRecord &TWireRecord::AvailableType(int selectable, int id, int category, int flag,
                                        std::string_view name, char filler)
{
    const auto fill = static_cast<uint8_t>(filler);
    return U8(selectable).U8(id).U8(category).U8(flag).Fill(4, fill).Fixed(name, 50).Fill(14, fill);
}

TWireRecord &TWireRecord::UOMDescription(int32_t id, int category, std::string_view name)
{
    return I32(id).U8(category).Counted(name);
}

QByteArray TWireRecord::Q() const
{
    return QByteArray(reinterpret_cast<const char *>(FBytes.data()),
                      static_cast<qsizetype>(FBytes.size()));
}

TBytes TWireRecord::Sealed() const
{
    return WithChecksum(FBytes);
}

TBytes WithChecksum(TBytes content)
{
    uint8_t sum = 0;
    for (uint8_t b : content)
        sum = static_cast<uint8_t>(sum + b);
    content.push_back(static_cast<uint8_t>(-sum));
    return content;
}

TBytes Envelope(uint16_t type, const TBytes &payload)
{
    const auto length = static_cast<uint32_t>(payload.empty() ? 0 : payload.size() + 1);
    TWireRecord m;
    m.U16(type).U32(length).U16(static_cast<int>(length));
    if (!payload.empty())
        m.Append(WithChecksum(payload));
    return m;
}

std::vector<TBytes> MessageBlocks(const TBytes &reply)
{
    std::vector<TBytes> blocks;
    std::size_t at = 0;
    do {
        const std::size_t take = std::min(kBlockBytes, reply.size() - at);
        TBytes block{static_cast<uint8_t>(blocks.size())};
        block.insert(block.end(), reply.begin() + static_cast<long>(at),
                     reply.begin() + static_cast<long>(at + take));
        blocks.push_back(std::move(block));
        at += take;
    } while (at < reply.size());
    return blocks;
}

uint16_t MessageTotal(const TBytes &reply)
{
    const std::size_t blocks = reply.empty() ? 1 : (reply.size() + kBlockBytes - 1) / kBlockBytes;
    return static_cast<uint16_t>(reply.size() + blocks);
}

namespace
{

TBytes WithXor(TBytes frame)
{
    uint8_t x = 0;
    for (uint8_t b : frame)
        x ^= b;
    frame.push_back(x);
    return frame;
}

TBytes Framed(uint8_t first, uint8_t code, const TBytes &data)
{
    TBytes f{first, static_cast<uint8_t>(data.size()), code};
    f.insert(f.end(), data.begin(), data.end());
    return WithXor(std::move(f));
}

} // namespace

TBytes RequestFrame(uint8_t command, const TBytes &payload)
{
    return Framed(0x0A, command, payload);
}

TBytes ReplyFrame(uint8_t code, const TBytes &data, uint8_t status)
{
    return Framed(status, code, data);
}

TBytes AckFrame()
{
    return {0x01};
}

TBytes NackFrame()
{
    return {0x00};
}

TBytes MessageFrames(const TBytes &reply)
{
    const uint16_t total = MessageTotal(reply);
    TBytes wire = ReplyFrame(0x18, TWireRecord().U16(total));
    for (const TBytes &block : MessageBlocks(reply)) {
        const TBytes f = ReplyFrame(0x19, block);
        wire.insert(wire.end(), f.begin(), f.end());
    }
    return wire;
}

} // namespace zelvo::test
