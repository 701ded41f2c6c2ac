#pragma once

// Shared pieces of the fuzz targets: a port that plays the unit's side of
// the wire from the fuzzer's bytes, and a comms interface that runs the real
// framing over it, so every exchange reads exactly the bytes given and never
// waits.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/Framing.h"
#include "link/Portresult.h"
#include "link/Zelvocommsinterface.h"

namespace zfuzz
{

// Reads hand out the next bytes of the input; a read that asks for more
// than is left takes what is left and reports a short transfer, as a silent
// unit would after its time-out. Writes always succeed.
class TScriptedPort
{
public:
    TScriptedPort(const uint8_t *data, std::size_t size) : Data(data), Size(size) {}

    int32_t WriteBytes(const uint8_t *, uint32_t, uint32_t) { return PortOK; }
    // The scripted replies stand for what the unit sends after each request,
    // so nothing is waiting to be discarded before one.
    int32_t DiscardInput() { return PortOK; }

    int32_t ReadBytes(uint8_t *buffer, uint32_t count, uint32_t)
    {
        const std::size_t left = Size - At;
        const std::size_t take = count <= left ? count : left;
        if (take > 0)
            std::memcpy(buffer, Data + At, take);
        At += take;
        return take == count ? PortOK : PortErrorShortTransfer;
    }

    bool Exhausted() const { return At >= Size; }

private:
    const uint8_t *Data;
    std::size_t Size;
    std::size_t At = 0;
};

// Pacing with no pauses: retries follow each other at once.
inline TPacing NoPauses()
{
    TPacing p = TPacing::Shrunk(1000);
    p.RetryPause = std::chrono::milliseconds(0);
    return p;
}

// The comms interface with its frames read from a scripted port. `usb`
// picks the USB framer's behaviour (a failed write fails the exchange).
class TScriptedComms : public TZelvoCommsInterface
{
public:
    TScriptedComms(const uint8_t *data, std::size_t size, bool usb)
        : TZelvoCommsInterface(NoPauses()), Port(data, size), Usb(usb)
    {
        SelectPort(usb, 1, kDefaultBaudRate);
    }

    // As the framers do: the USB one clears the length first and fails a
    // query at once when its request could not be written.
    bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength) override
    {
        if (Usb)
            replyLength = 0;
        return framing::Exchange(Port, 100, command, nullptr, 0, reply, replyLength, Usb);
    }

    bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                          uint8_t *reply, int32_t &replyLength) override
    {
        return framing::Exchange(Port, 100, command, payload, payloadLength, reply, replyLength,
                                 false);
    }

    bool Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength) override
    {
        return framing::Send(Port, 100, command, payload, payloadLength);
    }

    TScriptedPort Port;
    bool Usb;
};

} // namespace zfuzz
