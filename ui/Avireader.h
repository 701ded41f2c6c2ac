#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <vector>

// A small reader of RIFF/AVI files whose video stream holds Motion-JPEG
// frames (the progress animation). The whole file is read into memory and
// every chunk is checked against the bytes actually present before it is
// looked at, so a truncated or damaged file fails cleanly.
class TAviReader
{
public:
    // Files larger than this are refused without being read.
    static constexpr qint64 MaxFileSize = 16 * 1024 * 1024;
    // More frames than this are refused (memory for the decoded pictures).
    static constexpr int MaxFrames = 1000;
    // Frame sizes above this are refused.
    static constexpr int MaxDimension = 4096;

    // Reads and decodes the file; false (with Error()) when it cannot be
    // opened, is damaged or holds no decodable frame.
    bool Open(const QString &path);
    // The same on bytes already in memory.
    bool Parse(const QByteArray &data);

    int FrameCount() const { return static_cast<int>(FFrames.size()); }
    const QImage &Frame(int index) const { return FFrames.at(static_cast<std::size_t>(index)); }
    // Time per frame from the main header, in microseconds (never 0 after a
    // successful Parse).
    uint32_t FrameIntervalUs() const { return FIntervalUs; }
    QSize Size() const { return FSize; }
    const QString &Error() const { return FError; }

private:
    bool Fail(const QString &why);
    void Reset();

    std::vector<QImage> FFrames;
    uint32_t FIntervalUs = 0;
    QSize FSize;
    QString FError;
};

// Wraps JPEG pictures into an AVI file with one Motion-JPEG video stream,
// header, frames and index, as TAviReader and common players read it.
QByteArray WriteMjpegAvi(const std::vector<QByteArray> &jpegFrames, int width, int height,
                         int framesPerSecond);
