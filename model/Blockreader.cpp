#include "model/Blockreader.h"

#include <QtEndian>

#include <cstring>

void TBlockReader::Require(std::size_t n) const
{
    if (n > Remaining())
        throw EBlockTooShort(
            QStringLiteral("Block ends at byte %1, %2 more bytes needed at byte %3")
                .arg(Size)
                .arg(n)
                .arg(Pos)
                .toStdString());
}

void TBlockReader::Skip(std::size_t n)
{
    Require(n);
    Pos += n;
}

uint8_t TBlockReader::ReadU8()
{
    Require(1);
    return Data[Pos++];
}

uint16_t TBlockReader::ReadU16()
{
    Require(2);
    const uint16_t v = qFromLittleEndian<quint16>(Data + Pos);
    Pos += 2;
    return v;
}

uint32_t TBlockReader::ReadU32()
{
    Require(4);
    const uint32_t v = qFromLittleEndian<quint32>(Data + Pos);
    Pos += 4;
    return v;
}

float TBlockReader::ReadF32()
{
    const uint32_t bits = ReadU32();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

QString TBlockReader::ReadFixedText(std::size_t width)
{
    Require(width);
    const char *start = reinterpret_cast<const char *>(Data + Pos);
    const void *nul = std::memchr(start, 0, width);
    const std::size_t n = nul ? static_cast<const char *>(nul) - start : width;
    Pos += width;
    return QString::fromLatin1(start, static_cast<qsizetype>(n));
}

QString TBlockReader::ReadText(std::size_t n)
{
    Require(n);
    const char *start = reinterpret_cast<const char *>(Data + Pos);
    Pos += n;
    return QString::fromLatin1(start, static_cast<qsizetype>(n));
}
