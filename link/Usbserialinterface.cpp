#include "link/Usbserialinterface.h"

#include <string>

#include "link/Trace.h"

TUSBSerialInterface::TUSBSerialInterface(const TPacing &pacing)
    : FUsbFramer(std::make_unique<TFTDIPacket>())
{
    FUsbFramer->SetAbort(&FAbort);
    FComFramer.SetAbort(&FAbort);
    SetPacing(pacing);
}

TUSBSerialInterface::~TUSBSerialInterface()
{
    // The framers close their ports as they go; the trace still shows it.
    if (IsOpen())
        linktrace::Event("close");
}

void TUSBSerialInterface::SelectPort(bool useUsb, int32_t comPort, int32_t baudRate)
{
    FUseUSB = useUsb;
    FComPort = comPort;
    FBaudRate = baudRate;
}

void TUSBSerialInterface::SetPacing(const TPacing &pacing)
{
    FPacing = pacing;
    FUsbFramer->SetPacing(pacing);
    FComFramer.SetPacing(pacing);
}

bool TUSBSerialInterface::Open()
{
    if (IsAborted())
        return false;
    bool opened = false;
    if (!FUseUSB)
        opened = FComFramer.Connect(FComPort, FBaudRate);
    else
        opened =
            FUsbFramer->Connect(FBrandName, FBaudRate) || FUsbFramer->Connect("Zelvo", FBaudRate);
    if (linktrace::Active()) {
        const std::string port = FUseUSB ? "USB bridge" : "COM" + std::to_string(FComPort);
        linktrace::Event((opened ? "open " : "open failed ") + port + " at " +
                         std::to_string(FBaudRate) + " baud");
    }
    return opened;
}

void TUSBSerialInterface::Close()
{
    if (IsOpen())
        linktrace::Event("close");
    // Both, so a port selected away from while open is not left held.
    FUsbFramer->Disconnect();
    FComFramer.Disconnect();
}

bool TUSBSerialInterface::IsOpen() const
{
    return FUseUSB ? FUsbFramer->IsOpen() : FComFramer.IsOpen();
}

uint64_t TUSBSerialInterface::DiscardedInputBytes() const
{
    return FUsbFramer->DiscardedInputBytes() + FComFramer.DiscardedInputBytes();
}

bool TUSBSerialInterface::Query(uint8_t command, uint8_t *reply, int32_t &replyLength)
{
    if (IsAborted())
        return false;
    return FUseUSB ? FUsbFramer->Query(command, reply, replyLength)
                   : FComFramer.Query(command, reply, replyLength);
}

bool TUSBSerialInterface::QueryWithPayload(uint8_t command, const uint8_t *payload,
                                           uint32_t payloadLength, uint8_t *reply,
                                           int32_t &replyLength)
{
    if (IsAborted())
        return false;
    return FUseUSB
               ? FUsbFramer->QueryWithPayload(command, payload, payloadLength, reply, replyLength)
               : FComFramer.QueryWithPayload(command, payload, payloadLength, reply, replyLength);
}

bool TUSBSerialInterface::Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength)
{
    if (IsAborted())
        return false;
    return FUseUSB ? FUsbFramer->Send(command, payload, payloadLength)
                   : FComFramer.Send(command, payload, payloadLength);
}
