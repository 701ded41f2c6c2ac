#pragma once

// The steps TSerialPort and TFTDIPort share over their device: the time-outs
// filled anew before every transfer, and a short transfer reported before
// the device's own result is looked at. Internal to the link library.

#include <atomic>
#include <cstdint>
#include <string>

#include "link/Portdevice.h"
#include "link/Trace.h"

namespace portops
{

inline int32_t Purge(TPortDevice *device, bool open)
{
    linktrace::Event("purge");
    if (!open)
        return PortErrorNotOpen;
    return device->Purge();
}

inline int32_t DiscardInput(TPortDevice *device, bool open, std::atomic<uint64_t> &total)
{
    if (!open)
        return PortErrorNotOpen;
    std::size_t discarded = 0;
    const int32_t r = device->DiscardInput(discarded);
    total += discarded;
    if (discarded > 0)
        linktrace::Event("discarded " + std::to_string(discarded) +
                         " late byte(s) before a request");
    return r == PortOK ? PortOK : PortErrorIO;
}

inline int32_t Write(TPortDevice *device, bool open, TCommTimeouts &timeouts, const uint8_t *buffer,
                     uint32_t count, uint32_t timeoutMs)
{
    if (!open)
        return PortErrorNotOpen;
    timeouts = TCommTimeouts{};
    timeouts.WriteTotalTimeoutConstant = timeoutMs;
    if (device->SetTimeouts(timeouts) != PortOK)
        return PortErrorIO;
    uint32_t written = 0;
    const int32_t r = device->Write(buffer, count, written);
    if (written != count)
        return PortErrorShortTransfer;
    return r == PortOK ? PortOK : PortErrorIO;
}

inline int32_t Read(TPortDevice *device, bool open, TCommTimeouts &timeouts, uint8_t *buffer,
                    uint32_t count, uint32_t timeoutMs)
{
    if (!open)
        return PortErrorNotOpen;
    timeouts = TCommTimeouts{};
    timeouts.ReadTotalTimeoutConstant = timeoutMs;
    if (device->SetTimeouts(timeouts) != PortOK)
        return PortErrorIO;
    uint32_t read = 0;
    const int32_t r = device->Read(buffer, count, read);
    if (read != count)
        return PortErrorShortTransfer;
    return r == PortOK ? PortOK : PortErrorIO;
}

} // namespace portops
