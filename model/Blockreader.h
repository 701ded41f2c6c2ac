#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <stdexcept>

// Raised when a block ends before the bytes a record needs.
class EBlockTooShort : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Reads little-endian fields from a block the unit delivered, never past the
// length actually received: a read that would cross the end raises
// EBlockTooShort and leaves the position where it was.
class TBlockReader
{
public:
    TBlockReader(const uint8_t *data, std::size_t length, std::size_t position = 0)
        : Data(data), Size(data == nullptr ? 0 : length), Pos(position)
    {
    }

    std::size_t Position() const { return Pos; }
    std::size_t Length() const { return Size; }
    std::size_t Remaining() const { return Pos < Size ? Size - Pos : 0; }

    // Fails unless n more bytes are there.
    void Require(std::size_t n) const;
    void Skip(std::size_t n);

    uint8_t ReadU8();
    uint16_t ReadU16();
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    float ReadF32();
    // A fixed-width text field of `width` bytes, ending at its first NUL.
    QString ReadFixedText(std::size_t width);
    // Exactly n bytes of text, no terminator.
    QString ReadText(std::size_t n);

private:
    const uint8_t *Data;
    std::size_t Size;
    std::size_t Pos;
};
