#include "link/Serialport.h"

#include <string>

#include "link/Portdevice.h"
#include "link/Portmap.h"
#include "link/Portops.h"

TSerialPort::TSerialPort() = default;

TSerialPort::~TSerialPort()
{
    Close();
}

int32_t TSerialPort::Open(const char *deviceName)
{
    if (IsOpen())
        Close();
    const std::string name = deviceName ? deviceName : "";
    std::shared_ptr<TBytePipeEnd> pipe = PipeForPortName(name);
    FDevice = pipe ? MakePipePortDevice(std::move(pipe)) : MakeComPortDevice();
    FDevice->SetAbort(FAbort);
    const int32_t opened = FDevice->Open(ResolvePortName(name));
    if (opened != PortOK)
        return opened;
    Purge();
    return SetLineParameters(9600, 8, 1, 0, 0);
}

void TSerialPort::Close()
{
    if (!IsOpen())
        return;
    Purge();
    FDevice->Close();
}

bool TSerialPort::IsOpen() const
{
    return FDevice != nullptr && FDevice->IsOpen();
}

void TSerialPort::SetAbort(const TLinkAbort *abort)
{
    FAbort = abort;
    if (FDevice)
        FDevice->SetAbort(abort);
}

int32_t TSerialPort::SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits,
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

int32_t TSerialPort::Purge()
{
    return portops::Purge(FDevice.get(), IsOpen());
}

int32_t TSerialPort::DiscardInput()
{
    return portops::DiscardInput(FDevice.get(), IsOpen(), FDiscardedInput);
}

int32_t TSerialPort::WriteBytes(const uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    return portops::Write(FDevice.get(), IsOpen(), FTimeouts, buffer, count, timeoutMs);
}

int32_t TSerialPort::ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    return portops::Read(FDevice.get(), IsOpen(), FTimeouts, buffer, count, timeoutMs);
}
