#include "link/Ftdipacket.h"

#include "link/Framing.h"

bool TFTDIPacket::Connect(const std::string &description, int32_t baudRate)
{
    if (IsOpen())
        return false;
    if (DeviceCount() < 1)
        return false;
    if (Open(description.c_str()) != PortOK || SetLineParameters(baudRate, 8, 2, 0, 0) != PortOK) {
        // Release a bridge that was opened but not configured, so the next
        // attempt is not refused as "already open".
        Close();
        return false;
    }
    return true;
}

bool TFTDIPacket::Query(uint8_t command, uint8_t *reply, int32_t &replyLength)
{
    replyLength = 0;
    return framing::Exchange(*this, Timeout, command, nullptr, 0, reply, replyLength, true);
}

bool TFTDIPacket::QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                                   uint8_t *reply, int32_t &replyLength)
{
    return framing::Exchange(*this, Timeout, command, payload, payloadLength, reply, replyLength,
                             false);
}

bool TFTDIPacket::Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength)
{
    return framing::Send(*this, Timeout, command, payload, payloadLength);
}
