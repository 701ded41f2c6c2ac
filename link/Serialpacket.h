#pragma once

#include <cstdint>

#include "link/Pacing.h"
#include "link/Serialport.h"

// Request/reply framing on a COM port.
//
// Request: 0x0A, payload length N, command, N payload bytes, XOR of all
// bytes before it. Reply: status (bit 0 ACK, bit 1 data follows), then when
// data follows: length L, reply code, L data bytes, XOR of all bytes before.
class TSerialPacket : public TSerialPort
{
public:
    TSerialPacket() = default;
    explicit TSerialPacket(const TPacing &pacing) { SetPacing(pacing); }

    // Time-out of every single read and write: the pacing's COM frame time-out.
    void SetPacing(const TPacing &pacing)
    {
        Timeout = static_cast<int32_t>(pacing.ComFrameTimeout.count());
    }

    // Opens "COM<port>" and sets baudRate 8N2, no flow control. Refuses a port
    // that is already open.
    bool Connect(int32_t port, int32_t baudRate);
    void Disconnect() { Close(); }

    // `reply` must hold 255 bytes. On ACK without data `replyLength` is left
    // as the caller had it. The data and length of a reply whose checksum
    // does not match are handed over although the result is false.
    bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength);
    bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                          uint8_t *reply, int32_t &replyLength);
    // True only on an ACK without data; the rest of a reply with data stays
    // unread.
    bool Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength);

    int32_t Timeout = 5000;
};
