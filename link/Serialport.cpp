#include "Serialport.h"

#include <string>

#include "Portmap.h"
#include "Trace.h"
#include "Ttydevice.h"

TSerialPort::~TSerialPort()
{
    Close();
}

int32_t TSerialPort::Open(const char *deviceName)
{
    if (IsOpen())
        Close();

    uint32_t error = 0;
    const int fd = ttydevice::OpenExclusive(ResolvePortName(deviceName ? deviceName : ""), error);
    if (fd < 0) {
        if (error == ttydevice::kErrorFileNotFound)
            return PortErrorNotFound;
        if (error == ttydevice::kErrorAccessDenied)
            return PortErrorAccessDenied;
        return PortErrorIO;
    }
    FHandle = fd;

    // The device's own settings, given back on Close.
    if (!ttydevice::GetState(FHandle, FSavedSettings))
        return PortErrorIO;
    Purge();
    return SetLineParameters(9600, 8, 1, 0, 0);
}

void TSerialPort::Close()
{
    if (!IsOpen())
        return;
    Purge();
    ttydevice::SetState(FHandle, FSavedSettings);
    ttydevice::Close(FHandle);
    FHandle = -1;
}

int32_t TSerialPort::SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits,
                                       int32_t parity, int32_t flowMode)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    termios state{};
    if (!ttydevice::GetState(FHandle, state))
        return PortErrorIO;
    if (!ttydevice::ApplyLineParameters(state, baudRate, dataBits, stopBits, parity, flowMode))
        return PortErrorParameter;
    if (!ttydevice::SetState(FHandle, state))
        return PortErrorParameter;
    FBaudRate = baudRate;
    FFlowMode = flowMode;
    return PortOK;
}

int32_t TSerialPort::Purge()
{
    linktrace::Event("purge");
    if (!IsOpen())
        return PortErrorNotOpen;
    return ttydevice::Purge(FHandle) ? PortOK : PortErrorIO;
}

int32_t TSerialPort::DiscardInput()
{
    if (!IsOpen())
        return PortErrorNotOpen;
    std::size_t discarded = 0;
    const bool ok = ttydevice::DiscardInput(FHandle, discarded);
    FDiscardedInput += discarded;
    if (discarded > 0)
        linktrace::Event("discarded " + std::to_string(discarded) +
                         " late byte(s) before a request");
    return ok ? PortOK : PortErrorIO;
}

int32_t TSerialPort::WriteBytes(const uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    FTimeouts = TCommTimeouts{};
    FTimeouts.WriteTotalTimeoutConstant = timeoutMs;
    std::size_t done = 0;
    const bool ok = ttydevice::WriteTotal(FHandle, buffer, count,
                                          FTimeouts.WriteTotalTimeoutConstant, done, FAbort);
    if (done != count)
        return PortErrorShortTransfer;
    return ok ? PortOK : PortErrorIO;
}

int32_t TSerialPort::ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    FTimeouts = TCommTimeouts{};
    FTimeouts.ReadTotalTimeoutConstant = timeoutMs;
    std::size_t done = 0;
    const bool ok = ttydevice::ReadTotal(FHandle, buffer, count, FTimeouts.ReadTotalTimeoutConstant,
                                         done, FAbort);
    if (done != count)
        return PortErrorShortTransfer;
    return ok ? PortOK : PortErrorIO;
}
