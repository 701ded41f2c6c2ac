#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "link/Portresult.h"

class TLinkAbort;
class TPortDevice;

// A COM port. Open takes exclusive use of the device, saves its line
// settings and restores them on Close. Every read and write waits at most
// its time-out in total for all of its bytes. The device behind it is the
// platform's (termios, Win32 COM) or an in-process pipe registered under the
// port's number (Portdevice.h).
class TSerialPort
{
public:
    TSerialPort();
    virtual ~TSerialPort();
    TSerialPort(const TSerialPort &) = delete;
    TSerialPort &operator=(const TSerialPort &) = delete;

    // `deviceName` is "COMn" (resolved through the port map) or a path.
    // Ends with 9600 baud 8N1, no flow control.
    int32_t Open(const char *deviceName);
    void Close();
    bool IsOpen() const;

    // data bits 7 or 8, stop bits 1 or 2, parity 0 none / 1 odd / 2 even,
    // flow 0 none / 1 hardware. Out of range returns PortErrorParameter and
    // writes nothing to the device.
    int32_t SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits, int32_t parity,
                              int32_t flowMode);
    int32_t Purge();
    // Throws away whatever waits in the receive queue (bytes of a reply that
    // came too late); they are added to DiscardedInputBytes.
    int32_t DiscardInput();
    uint64_t DiscardedInputBytes() const { return FDiscardedInput.load(); }
    int32_t WriteBytes(const uint8_t *buffer, uint32_t count, uint32_t timeoutMs);
    int32_t ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeoutMs);

    int32_t BaudRate() const { return FBaudRate; }
    int32_t FlowMode() const { return FFlowMode; }

    // Reads and writes end at once, as failed, while `abort` is set. The
    // abort must outlive the port (or be replaced with nullptr first).
    void SetAbort(const TLinkAbort *abort);

protected:
    const TLinkAbort *FAbort = nullptr;
    int32_t FBaudRate = 0;
    int32_t FFlowMode = 0;
    std::unique_ptr<TPortDevice> FDevice;
    TCommTimeouts FTimeouts{};
    std::atomic<uint64_t> FDiscardedInput{0};
};
