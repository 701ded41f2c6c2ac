#pragma once

// The exchange shapes shared by both framers, written once over any port
// with WriteBytes/ReadBytes. Internal to the link library.

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "link/Trace.h"

namespace framing
{

constexpr uint8_t kStartByte = 0x0A;
constexpr uint8_t kStatusAck = 0x01;
constexpr uint8_t kStatusData = 0x02;
constexpr uint32_t kMaxPayload = 255;
constexpr std::size_t kFrameBuffer = 300;

// Builds the request in `frame`; returns its length (payload + 4), or 0
// when the payload cannot travel in one frame.
inline uint32_t BuildRequest(std::array<uint8_t, kFrameBuffer> &frame, uint8_t command,
                             const uint8_t *payload, uint32_t payloadLength)
{
    // The length travels in one byte; a longer payload would be cut.
    if (payloadLength > kMaxPayload || (payloadLength > 0 && payload == nullptr))
        return 0;
    uint8_t checksum = 0;
    uint32_t at = 0;
    auto put = [&](uint8_t b) {
        frame[at++] = b;
        checksum ^= b;
    };
    put(kStartByte);
    put(static_cast<uint8_t>(payloadLength));
    put(command);
    for (uint32_t i = 0; i < payloadLength; ++i)
        put(payload[i]);
    frame[at++] = checksum;
    return at;
}

// Query / QueryWithPayload. `checkWrite`: fail at once when the request
// could not be written (otherwise a failed write shows as a read time-out).
// Reads `count` bytes into `at`; with the trace on, they are also kept in
// `seen` so the whole reply is written as one line.
template <typename Port>
int32_t ReadTraced(Port &port, uint8_t *at, uint32_t count, uint32_t ms, uint8_t *seen,
                   uint32_t &seenLength)
{
    const int32_t r = port.ReadBytes(at, count, ms);
    if (r == 0 && linktrace::Active() && seenLength + count <= kFrameBuffer) {
        std::memcpy(seen + seenLength, at, count);
        seenLength += count;
    }
    return r;
}

// Writes the reply bytes read so far to the trace, with a note when the
// reply did not arrive whole.
inline void TraceReply(uint8_t command, const uint8_t *seen, uint32_t seenLength,
                       int32_t readResult)
{
    if (!linktrace::Active())
        return;
    if (seenLength > 0 || readResult == 0)
        linktrace::Frame("<-", command, seen, seenLength,
                         readResult != 0
                             ? "(incomplete)"
                             : (seenLength == 1 && seen[0] == 0 ? "(refused)" : nullptr));
    if (readResult != 0)
        linktrace::Event(std::string("time-out waiting for ") + linktrace::CommandName(command));
}

// Query / QueryWithPayload. `checkWrite`: fail at once when the request
// could not be written (otherwise a failed write shows as a read time-out).
template <typename Port>
bool Exchange(Port &port, int32_t timeout, uint8_t command, const uint8_t *payload,
              uint32_t payloadLength, uint8_t *reply, int32_t &replyLength, bool checkWrite)
{
    std::array<uint8_t, kFrameBuffer> frame{};
    const uint32_t length = BuildRequest(frame, command, payload, payloadLength);
    if (length == 0)
        return false;
    const auto ms = static_cast<uint32_t>(timeout > 0 ? timeout : 0);
    // The unit speaks only when spoken to: whatever waits now is a reply
    // that came after its exchange gave up, and must not answer this one.
    port.DiscardInput();
    linktrace::Frame("->", command, frame.data(), length);
    const int32_t written = port.WriteBytes(frame.data(), length, ms);
    if (checkWrite && written != 0)
        return false;

    std::array<uint8_t, kFrameBuffer> seen{};
    uint32_t seenLength = 0;
    int32_t r = ReadTraced(port, frame.data(), 1, ms, seen.data(), seenLength);
    if (r != 0) {
        TraceReply(command, seen.data(), seenLength, r);
        return false;
    }
    uint8_t checksum = frame[0];
    const uint8_t status = frame[0];
    if (!(status & kStatusAck) || !(status & kStatusData)) {
        TraceReply(command, seen.data(), seenLength, r);
        return (status & kStatusAck) != 0;
    }

    r = ReadTraced(port, frame.data(), 1, ms, seen.data(), seenLength);
    if (r != 0) {
        TraceReply(command, seen.data(), seenLength, r);
        return false;
    }
    const uint32_t dataLength = frame[0];
    checksum ^= frame[0];
    // Reply code, data, checksum: at most 257 bytes, inside the frame buffer.
    r = ReadTraced(port, frame.data(), dataLength + 2, ms, seen.data(), seenLength);
    TraceReply(command, seen.data(), seenLength, r);
    if (r != 0)
        return false;

    // Handed over before the checksum is compared: a caller that gets false
    // may still look at a damaged reply.
    if (reply != nullptr)
        std::memcpy(reply, frame.data() + 1, dataLength);
    replyLength = static_cast<int32_t>(dataLength);

    for (uint32_t i = 0; i < dataLength + 1; ++i)
        checksum ^= frame[i];
    return checksum == frame[dataLength + 1];
}

// Send: true only on an ACK that carries no data. A reply with data fails
// and the rest of it stays unread.
template <typename Port>
bool Send(Port &port, int32_t timeout, uint8_t command, const uint8_t *payload,
          uint32_t payloadLength)
{
    std::array<uint8_t, kFrameBuffer> frame{};
    const uint32_t length = BuildRequest(frame, command, payload, payloadLength);
    if (length == 0)
        return false;
    const auto ms = static_cast<uint32_t>(timeout > 0 ? timeout : 0);
    port.DiscardInput(); // a late reply, as above
    linktrace::Frame("->", command, frame.data(), length);
    port.WriteBytes(frame.data(), length, ms);
    const int32_t r = port.ReadBytes(frame.data(), 1, ms);
    TraceReply(command, frame.data(), r == 0 ? 1 : 0, r);
    if (r != 0)
        return false;
    const uint8_t status = frame[0];
    return (status & kStatusAck) && !(status & kStatusData);
}

} // namespace framing
