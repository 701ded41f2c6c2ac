#pragma once

// Bytes as the unit and its server put them on the wire, built from the
// wire's description alone (never from the readers under test): the fields
// and records of the server's replies, the checksums, the envelope of a
// server message and the frames of the serial link. Shared by the tests, the
// fuzz seed tool and the benchmarks.

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

namespace zelvo::test
{

using TBytes = std::vector<uint8_t>;

// A record or a whole reply, field by field, little-endian.
class TWireRecord
{
public:
    TWireRecord() = default;
    TWireRecord(std::initializer_list<uint8_t> bytes) : FBytes(bytes) {}

    TWireRecord &U8(int v);
    TWireRecord &U16(int v);
    TWireRecord &U32(uint32_t v);
    TWireRecord &I32(int32_t v);
    TWireRecord &F32(float v); // IEEE-754 single
    // A text field of `width` bytes: cut to the width, padded with `pad`
    // (no terminator when the text fills it).
    TWireRecord &Fixed(std::string_view text, std::size_t width, char pad = '\0');
    // The text's bytes alone: no length, no terminator.
    TWireRecord &Text(std::string_view text);
    // A length byte, then the text.
    TWireRecord &Counted(std::string_view text);
    TWireRecord &Fill(std::size_t count, uint8_t byte);
    TWireRecord &Append(const TBytes &bytes);
    TWireRecord &Append(const TWireRecord &other) { return Append(other.FBytes); }

    // The records of the server's replies.
    // I/O configuration: id, 6-byte tag (padded with `tagPad`), input type,
    // UOM id, logging flags, counted name (17 bytes and the name).
    TWireRecord &IOConfig(int32_t id, std::string_view tag, int inputType, uint32_t uomId,
                          int flags, std::string_view name, char tagPad = '\0');
    // The same record as the tool uploads it: without the tag (11 bytes and
    // the name).
    TWireRecord &IOUpload(int32_t id, int inputType, uint32_t uomId, int flags,
                          std::string_view name);
    // Per-I/O record of the UOM information: UOM id, input type (5 bytes).
    TWireRecord &IOUOM(uint32_t uomId, int inputType);
    // Input type of the UOM information: id, multiplier, divisor, offset,
    // conversion kind, flag (15 bytes).
    TWireRecord &InputType(int id, float multiplier, float divisor, float offset, int kind,
                           int flag = 0);
    // Digital UOM: id, the off and the on text (16 bytes each).
    TWireRecord &DigitalUOM(int32_t id, std::string_view off, std::string_view on);
    // Analogue UOM: id, 16-byte units text, out-of-table rule, point count,
    // then the (x, y) pairs.
    TWireRecord &AnalogueUOM(int32_t id, std::string_view units, int rule,
                             const std::vector<std::pair<float, float>> &points);
    // Available input type (72 bytes): selectable, id, category, flag, four
    // bytes not read, a 50-byte name, fourteen bytes not read (`filler`).
    TWireRecord &AvailableType(int selectable, int id, int category, int flag,
                               std::string_view name, char filler = '\0');
    // UOM list entry: id, category, counted name.
    TWireRecord &UOMDescription(int32_t id, int category, std::string_view name);

    const TBytes &Bytes() const { return FBytes; }
    TBytes &Bytes() { return FBytes; }
    operator const TBytes &() const { return FBytes; }
    QByteArray Q() const;
    std::size_t Size() const { return FBytes.size(); }
    const uint8_t *Data() const { return FBytes.data(); }
    // The bytes and the checksum that makes them add up to 0 modulo 256, as
    // a server reply or message content ends.
    TBytes Sealed() const;

private:
    TBytes FBytes;
};

// `content` and the byte that makes its sum 0 modulo 256.
TBytes WithChecksum(TBytes content);

// A server message as the tool uploads it: type (u16), length (u32 and u16,
// the payload and its checksum), the payload and its checksum. An empty
// payload has length 0 and no checksum.
TBytes Envelope(uint16_t type, const TBytes &payload);

// Message bytes carried by one block frame after its header byte.
constexpr std::size_t kBlockBytes = 254;
// A server reply as block frame data: each block is its number, then up to
// 254 bytes of the reply. An empty reply is one empty block.
std::vector<TBytes> MessageBlocks(const TBytes &reply);
// The total the unit reports for a reply: its bytes and one header per block.
uint16_t MessageTotal(const TBytes &reply);

// Frames of the serial link: a request (start byte 0x0A, payload length,
// command, payload, XOR of everything before), and the unit's replies: a
// bare status (ACK 0x01, refusal 0x00) or a reply with data (status 0x03,
// length, reply code, data, XOR of everything before).
TBytes RequestFrame(uint8_t command, const TBytes &payload = {});
// `status` other than 0x03 makes a frame the unit never sends but the framer
// reads the same way when it has both low bits set.
TBytes ReplyFrame(uint8_t code, const TBytes &data, uint8_t status = 0x03);
TBytes AckFrame();
TBytes NackFrame();
// A server reply as the unit hands it out: the frame of its total (reply
// code 0x18), then every block's frame (0x19).
TBytes MessageFrames(const TBytes &reply);

} // namespace zelvo::test
