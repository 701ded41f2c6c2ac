#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "common/Branding.h"
#include "link/Ftdipacket.h"
#include "link/Linkabort.h"
#include "link/Pacing.h"
#include "link/Serialpacket.h"

// The link to the unit: one framer per kind of port, and every open, close
// and exchange forwarded to the one that is selected (the USB bridge by
// default, else a numbered COM port).
class TUSBSerialInterface
{
public:
    explicit TUSBSerialInterface(const TPacing &pacing = TPacing{});
    virtual ~TUSBSerialInterface();
    TUSBSerialInterface(const TUSBSerialInterface &) = delete;
    TUSBSerialInterface &operator=(const TUSBSerialInterface &) = delete;

    // Stored for the next Open; neither closes nor opens anything.
    void SelectPort(bool useUsb, int32_t comPort, int32_t baudRate);
    bool IsUsbMode() const { return FUseUSB; }
    int32_t ComPort() const { return FComPort; }
    int32_t BaudRate() const { return FBaudRate; }

    // Frame time-outs of both framers and the retry pauses of descendants.
    void SetPacing(const TPacing &pacing);
    const TPacing &Pacing() const { return FPacing; }

    // Description tried first when opening the bridge; "Zelvo" is tried next.
    void SetBrandName(const std::string &brandName) { FBrandName = brandName; }
    const std::string &BrandName() const { return FBrandName; }

    virtual bool Open();
    virtual void Close();
    bool IsOpen() const;

    // Breaks off the link from any thread: an exchange blocked on the port
    // returns at once as failed, and every open, exchange and Pause fails
    // straight away until ClearAbort. For ending a worker that is waiting
    // on a silent unit.
    void Abort() { FAbort.Set(); }
    void ClearAbort() { FAbort.Clear(); }
    bool IsAborted() const { return FAbort.IsSet(); }

    // Waits `period` between the attempts of a retried operation. Returns
    // early with false once the link is aborted; true after the whole period.
    bool Pause(std::chrono::milliseconds period) const { return FAbort.Pause(period); }

    virtual bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength);
    virtual bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                                  uint8_t *reply, int32_t &replyLength);
    virtual bool Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength);

    // Bytes thrown away before requests on both framers since the interface
    // was made: replies that arrived after their exchange gave up.
    uint64_t DiscardedInputBytes() const;

    TFTDIPacket &UsbFramer() { return *FUsbFramer; }
    TSerialPacket &ComFramer() { return FComFramer; }

private:
    // Declared first: the framers keep a pointer to it.
    TLinkAbort FAbort;
    bool FUseUSB = true;
    std::unique_ptr<TFTDIPacket> FUsbFramer;
    TSerialPacket FComFramer;
    int32_t FComPort = 1;
    int32_t FBaudRate = kDefaultBaudRate;
    TPacing FPacing;
    std::string FBrandName = Branding::BrandName;
};
