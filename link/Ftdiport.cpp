#include "Ftdiport.h"

#include "Trace.h"
#include "Ttydevice.h"

#include <string>

TFTDIPort::~TFTDIPort()
{
    Close();
}

int32_t TFTDIPort::Open(const char *description)
{
    if (IsOpen())
        Close();

    FHandle = FT_W32_CreateFile(description, FT_GENERIC_READ | FT_GENERIC_WRITE, 0, nullptr,
                                FT_OPEN_EXISTING, FT_OPEN_BY_DESCRIPTION, nullptr);
    if (FHandle == FT_INVALID_HANDLE_VALUE) {
        const uint32_t error = FT_W32_GetLastError(FHandle);
        if (error == ttydevice::kErrorFileNotFound)
            return PortErrorNotFound;
        if (error == ttydevice::kErrorAccessDenied)
            return PortErrorAccessDenied;
        return PortErrorIO;
    }
    Ftd2xx::SetAbort(FHandle, FAbort);
    // The bridge's own settings, given back on Close.
    if (!FT_W32_GetCommState(FHandle, &FSavedSettings))
        return PortErrorIO;
    Purge();
    return SetLineParameters(9600, 8, 1, 0, 0);
}

void TFTDIPort::SetAbort(const TLinkAbort *abort)
{
    FAbort = abort;
    if (IsOpen())
        Ftd2xx::SetAbort(FHandle, FAbort);
}

void TFTDIPort::Close()
{
    if (!IsOpen())
        return;
    Purge();
    FT_W32_SetCommState(FHandle, &FSavedSettings);
    FT_W32_CloseHandle(FHandle);
    FHandle = FT_INVALID_HANDLE_VALUE;
}

int32_t TFTDIPort::SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits,
                                     int32_t parity, int32_t flowMode)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    FTDCB state{};
    if (!FT_W32_GetCommState(FHandle, &state))
        return PortErrorIO;
    if (!ttydevice::ApplyLineParameters(state, baudRate, dataBits, stopBits, parity, flowMode))
        return PortErrorParameter;
    if (!FT_W32_SetCommState(FHandle, &state))
        return PortErrorParameter;
    FBaudRate = baudRate;
    FFlowMode = flowMode;
    return PortOK;
}

int32_t TFTDIPort::Purge()
{
    linktrace::Event("purge");
    if (!IsOpen())
        return PortErrorNotOpen;
    return FT_W32_PurgeComm(FHandle, FT_PURGE_TX | FT_PURGE_RX) ? PortOK : PortErrorIO;
}

int32_t TFTDIPort::DiscardInput()
{
    if (!IsOpen())
        return PortErrorNotOpen;
    uint32_t waiting = 0;
    if (FT_GetQueueStatus(FHandle, &waiting) != FT_OK)
        waiting = 0;
    if (!FT_W32_PurgeComm(FHandle, FT_PURGE_RX))
        return PortErrorIO;
    FDiscardedInput += waiting;
    if (waiting > 0)
        linktrace::Event("discarded " + std::to_string(waiting) + " late byte(s) before a request");
    return PortOK;
}

int32_t TFTDIPort::WriteBytes(const uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    FTimeouts = FTTIMEOUTS{};
    FTimeouts.WriteTotalTimeoutConstant = timeoutMs;
    if (!FT_W32_SetCommTimeouts(FHandle, &FTimeouts))
        return PortErrorIO;
    uint32_t written = 0;
    const bool ok = FT_W32_WriteFile(FHandle, buffer, count, &written, nullptr);
    if (written != count)
        return PortErrorShortTransfer;
    return ok ? PortOK : PortErrorIO;
}

int32_t TFTDIPort::ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeoutMs)
{
    if (!IsOpen())
        return PortErrorNotOpen;
    FTimeouts = FTTIMEOUTS{};
    FTimeouts.ReadTotalTimeoutConstant = timeoutMs;
    if (!FT_W32_SetCommTimeouts(FHandle, &FTimeouts))
        return PortErrorIO;
    uint32_t read = 0;
    const bool ok = FT_W32_ReadFile(FHandle, buffer, count, &read, nullptr);
    if (read != count)
        return PortErrorShortTransfer;
    return ok ? PortOK : PortErrorIO;
}
