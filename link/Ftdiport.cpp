#include "link/Ftdiport.h"

#include <string>

#include "link/Portdevice.h"
#include "link/Portops.h"

TFTDIPort::TFTDIPort() = default;

TFTDIPort::~TFTDIPort()
{
    Close();
}

int32_t TFTDIPort::Open(const char *description)
{
    if (IsOpen())
        Close();
    const std::string name = description ? description : "";
    std::shared_ptr<TBytePipeEnd> pipe = PipeForBridge(name);
    FDevice = pipe ? MakePipePortDevice(std::move(pipe)) : MakeBridgeDevice(name);
    FDevice->SetAbort(FAbort);
    const int32_t opened = FDevice->Open(name);
    if (opened != PortOK)
        return opened;
    Purge();
    return SetLineParameters(9600, 8, 1, 0, 0);
}

void TFTDIPort::SetAbort(const TLinkAbort *abort)
{
    FAbort = abort;
    if (FDevice)
        FDevice->SetAbort(abort);
}

void TFTDIPort::Close()
{
    if (!IsOpen())
        return;
    Purge();
    FDevice->Close();
}

bool TFTDIPort::IsOpen() const
{
    return FDevice != nullptr && FDevice->IsOpen();
}

uint32_t TFTDIPort::DeviceCount()
{
    uint32_t platform = 0;
    if (!CountPlatformBridges(platform))
        platform = 0;
    return PipeBridgeCount() + platform;
}

int32_t TFTDIPort::SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits,
                                     int32_t parity, int32_t flowMode)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    const int32_t r = FDevice->SetLineParameters(baudRate, dataBits, stopBits, parity, flowMode);
    if (r != PortOK)
        return r;
    FBaudRate = baudRate;
    FFlowMode = flowMode;
    return PortOK;
}

int32_t TFTDIPort::Purge()
{
    return portops::Purge(FDevice.get(), IsOpen());
}

int32_t TFTDIPort::DiscardInput()
{
    return portops::DiscardInput(FDevice.get(), IsOpen(), FDiscardedInput);
}

int32_t TFTDIPort::WriteBytes(const uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    return portops::Write(FDevice.get(), IsOpen(), FTimeouts, buffer, count, timeoutMs);
}

int32_t TFTDIPort::ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    return portops::Read(FDevice.get(), IsOpen(), FTimeouts, buffer, count, timeoutMs);
}
