#pragma once

#include <cstdint>
#include <string>

#include "link/Ftdiport.h"
#include "link/Pacing.h"

// Request/reply framing on the USB bridge; the same frames as TSerialPacket.
// Differences: a shorter time-out, a device count check before opening,
// Query sets the reply length to 0 first and fails at once when the request
// could not be written.
class TFTDIPacket : public TFTDIPort
{
public:
    TFTDIPacket() = default;
    explicit TFTDIPacket(const TPacing &pacing) { SetPacing(pacing); }

    void SetPacing(const TPacing &pacing)
    {
        Timeout = static_cast<int32_t>(pacing.UsbFrameTimeout.count());
    }

    // Fails before any open when no bridge is attached; then opens the
    // bridge with this description and sets baudRate 8N2, no flow control.
    bool Connect(const std::string &description, int32_t baudRate);
    void Disconnect() { Close(); }

    bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength);
    bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                          uint8_t *reply, int32_t &replyLength);
    bool Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength);

    int32_t Timeout = 3000;
};
