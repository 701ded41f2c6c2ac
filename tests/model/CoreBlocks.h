#pragma once

// Builds blocks as the unit sends them (little-endian, IEEE-754 singles),
// written independently of the readers under test.

#include <QByteArray>

#include <cstdint>
#include <cstring>

struct TBlockWriter {
    QByteArray bytes;

    TBlockWriter &U8(int v)
    {
        bytes.append(static_cast<char>(v & 0xFF));
        return *this;
    }
    TBlockWriter &U16(int v) { return U8(v).U8(v >> 8); }
    TBlockWriter &I32(int32_t v)
    {
        const uint32_t u = static_cast<uint32_t>(v);
        return U8(u).U8(u >> 8).U8(u >> 16).U8(u >> 24);
    }
    TBlockWriter &F32(float f)
    {
        int32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        return I32(bits);
    }
    // A text field of `width` bytes, NUL-padded (no NUL when it fills it).
    TBlockWriter &Fixed(const char *text, int width)
    {
        QByteArray field(text);
        field = field.left(width);
        field.append(QByteArray(width - field.size(), '\0'));
        bytes.append(field);
        return *this;
    }
    TBlockWriter &Raw(const QByteArray &raw)
    {
        bytes.append(raw);
        return *this;
    }

    // One 15-byte input-type record.
    TBlockWriter &InputType(int id, float mul, float div, float off, int kind, int flag = 0)
    {
        return U8(id).F32(mul).F32(div).F32(off).U8(kind).U8(flag);
    }
    // One 72-byte available-input-type record; `filler` fills the unread bytes.
    TBlockWriter &AvailableType(int selectable, int id, int category, int flag, const char *name,
                                char filler = '\x5A')
    {
        U8(selectable).U8(id).U8(category).U8(flag);
        bytes.append(QByteArray(4, filler));
        Fixed(name, 50);
        bytes.append(QByteArray(14, filler));
        return *this;
    }
    // One UOM-list record.
    TBlockWriter &Description(int32_t id, int category, const QByteArray &name)
    {
        I32(id).U8(category).U8(static_cast<int>(name.size()));
        bytes.append(name);
        return *this;
    }
};
