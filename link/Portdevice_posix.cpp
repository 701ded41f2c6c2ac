// The Linux devices: a COM port over termios, and the USB bridge over our own
// bridge layer (Ftd2xx), which is termios too.

#include "link/Portdevice.h"

#include <termios.h>

#include "link/Ftd2xx.h"
#include "link/Portmap.h"
#include "link/Ttydevice.h"

namespace
{

class TTermiosDevice final : public TPortDevice
{
public:
    ~TTermiosDevice() override { Close(); }

    int32_t Open(const std::string &name) override
    {
        Close();
        uint32_t error = 0;
        const int fd = ttydevice::OpenExclusive(name, error);
        if (fd < 0) {
            if (error == ttydevice::kErrorFileNotFound)
                return PortErrorNotFound;
            if (error == ttydevice::kErrorAccessDenied)
                return PortErrorAccessDenied;
            return PortErrorIO;
        }
        FFd = fd;
        // The device's own settings, given back on Close.
        return ttydevice::GetState(FFd, FSaved) ? PortOK : PortErrorIO;
    }

    void Close() override
    {
        if (FFd < 0)
            return;
        ttydevice::SetState(FFd, FSaved);
        ttydevice::Close(FFd);
        FFd = -1;
    }

    bool IsOpen() const override { return FFd >= 0; }

    int32_t SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits, int32_t parity,
                              int32_t flowMode) override
    {
        termios state{};
        if (!ttydevice::GetState(FFd, state))
            return PortErrorIO;
        if (!ttydevice::ApplyLineParameters(state, baudRate, dataBits, stopBits, parity, flowMode))
            return PortErrorParameter;
        return ttydevice::SetState(FFd, state) ? PortOK : PortErrorParameter;
    }

    int32_t SetTimeouts(const TCommTimeouts &timeouts) override
    {
        FTimeouts = timeouts;
        return PortOK;
    }

    int32_t Purge() override { return ttydevice::Purge(FFd) ? PortOK : PortErrorIO; }

    int32_t DiscardInput(std::size_t &discarded) override
    {
        return ttydevice::DiscardInput(FFd, discarded) ? PortOK : PortErrorIO;
    }

    int32_t Read(uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        std::size_t moved = 0;
        const bool ok = ttydevice::ReadTotal(FFd, buffer, count, FTimeouts.ReadTotalTimeoutConstant,
                                             moved, FAbort);
        done = static_cast<uint32_t>(moved);
        return ok ? PortOK : PortErrorIO;
    }

    int32_t Write(const uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        std::size_t moved = 0;
        const bool ok = ttydevice::WriteTotal(FFd, buffer, count,
                                              FTimeouts.WriteTotalTimeoutConstant, moved, FAbort);
        done = static_cast<uint32_t>(moved);
        return ok ? PortOK : PortErrorIO;
    }

private:
    int FFd = -1;
    termios FSaved{};
    TCommTimeouts FTimeouts{};
};

class TBridgeLayerDevice final : public TPortDevice
{
public:
    ~TBridgeLayerDevice() override { Close(); }

    int32_t Open(const std::string &description) override
    {
        Close();
        FHandle = FT_W32_CreateFile(description.c_str(), FT_GENERIC_READ | FT_GENERIC_WRITE, 0,
                                    nullptr, FT_OPEN_EXISTING, FT_OPEN_BY_DESCRIPTION, nullptr);
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
        return FT_W32_GetCommState(FHandle, &FSaved) ? PortOK : PortErrorIO;
    }

    void Close() override
    {
        if (FHandle == FT_INVALID_HANDLE_VALUE)
            return;
        FT_W32_SetCommState(FHandle, &FSaved);
        FT_W32_CloseHandle(FHandle);
        FHandle = FT_INVALID_HANDLE_VALUE;
    }

    bool IsOpen() const override { return FHandle != FT_INVALID_HANDLE_VALUE; }

    void SetAbort(const TLinkAbort *abort) override
    {
        FAbort = abort;
        if (IsOpen())
            Ftd2xx::SetAbort(FHandle, FAbort);
    }

    int32_t SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits, int32_t parity,
                              int32_t flowMode) override
    {
        FTDCB state{};
        if (!FT_W32_GetCommState(FHandle, &state))
            return PortErrorIO;
        if (!ttydevice::ApplyLineParameters(state, baudRate, dataBits, stopBits, parity, flowMode))
            return PortErrorParameter;
        return FT_W32_SetCommState(FHandle, &state) ? PortOK : PortErrorParameter;
    }

    int32_t SetTimeouts(const TCommTimeouts &timeouts) override
    {
        return FT_W32_SetCommTimeouts(FHandle, &timeouts) ? PortOK : PortErrorIO;
    }

    int32_t Purge() override
    {
        return FT_W32_PurgeComm(FHandle, FT_PURGE_TX | FT_PURGE_RX) ? PortOK : PortErrorIO;
    }

    int32_t DiscardInput(std::size_t &discarded) override
    {
        uint32_t waiting = 0;
        if (FT_GetQueueStatus(FHandle, &waiting) != FT_OK)
            waiting = 0;
        discarded = 0;
        if (!FT_W32_PurgeComm(FHandle, FT_PURGE_RX))
            return PortErrorIO;
        discarded = waiting;
        return PortOK;
    }

    int32_t Read(uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        done = 0;
        return FT_W32_ReadFile(FHandle, buffer, count, &done, nullptr) ? PortOK : PortErrorIO;
    }

    int32_t Write(const uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        done = 0;
        return FT_W32_WriteFile(FHandle, buffer, count, &done, nullptr) ? PortOK : PortErrorIO;
    }

private:
    FT_HANDLE FHandle = FT_INVALID_HANDLE_VALUE;
    FTDCB FSaved{};
};

} // namespace

std::unique_ptr<TPortDevice> MakeComPortDevice()
{
    return std::make_unique<TTermiosDevice>();
}

std::unique_ptr<TPortDevice> MakeBridgeDevice(const std::string & /*description*/)
{
    return std::make_unique<TBridgeLayerDevice>();
}

bool CountPlatformBridges(uint32_t &count)
{
    count = 0;
    return FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) == FT_OK;
}

bool BridgeLibraryUsable(std::string *problem)
{
    if (problem != nullptr)
        problem->clear();
    return true;
}

std::string PlatformComPortPath(int number)
{
    return "/dev/ttyS" + std::to_string(number - 1);
}
