#include "link/Serialpacket.h"

#include <string>

#include "link/Framing.h"

bool TSerialPacket::Connect(int32_t port, int32_t baudRate)
{
    if (IsOpen())
        return false;
    const std::string name = "COM" + std::to_string(port);
    if (Open(name.c_str()) != PortOK || SetLineParameters(baudRate, 8, 2, 0, 0) != PortOK) {
        // Release a device that was opened but not configured, so the next
        // attempt is not refused as "already open".
        Close();
        return false;
    }
    return true;
}

bool TSerialPacket::Query(uint8_t command, uint8_t *reply, int32_t &replyLength)
{
    return framing::Exchange(*this, Timeout, command, nullptr, 0, reply, replyLength, false);
}

bool TSerialPacket::QueryWithPayload(uint8_t command, const uint8_t *payload,
                                     uint32_t payloadLength, uint8_t *reply, int32_t &replyLength)
{
    return framing::Exchange(*this, Timeout, command, payload, payloadLength, reply, replyLength,
                             false);
}

bool TSerialPacket::Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength)
{
    return framing::Send(*this, Timeout, command, payload, payloadLength);
}
