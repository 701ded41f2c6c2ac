#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "link/Portresult.h"

class TLinkAbort;
class TPortDevice;

// The USB bridge port: the twin of TSerialPort, opened by the bridge's
// description. The device behind it is the platform's bridge layer (our own
// on Linux, the vendor's library on Windows) or an in-process pipe
// registered under the description (Portdevice.h).
class TFTDIPort
{
public:
    TFTDIPort();
    virtual ~TFTDIPort();
    TFTDIPort(const TFTDIPort &) = delete;
    TFTDIPort &operator=(const TFTDIPort &) = delete;

    // Ends with 9600 baud 8N1, no flow control.
    int32_t Open(const char *description);
    // Does nothing on a closed port.
    void Close();
    bool IsOpen() const;

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

    // Bridges attached now (in-process pipes, virtual bridges and the
    // platform's); 0 when the bridge library is missing or cannot be asked.
    static uint32_t DeviceCount();

protected:
    const TLinkAbort *FAbort = nullptr;
    int32_t FBaudRate = 0;
    int32_t FFlowMode = 0;
    std::unique_ptr<TPortDevice> FDevice;
    TCommTimeouts FTimeouts{};
    std::atomic<uint64_t> FDiscardedInput{0};
};
