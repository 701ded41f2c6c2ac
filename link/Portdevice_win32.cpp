// The Windows devices: a COM port through the Win32 serial calls, and the USB
// bridge through the vendor's D2XX library, loaded at run time. Both take the
// same arguments and structures (the library's FTDCB is the DCB, its
// FTTIMEOUTS the COMMTIMEOUTS), so one device class serves both over a table
// of calls.
//
// Transfers: a read or write waits at most its total time-out, as one call
// with ReadTotalTimeoutConstant would, but is made of calls of at most
// kSliceMs each, with the abort looked at between them. So an abort ends a
// read blocked on a silent unit within one slice, without overlapped I/O.

#include "link/Portdevice.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <mutex>

#include "link/Bridgelist.h"
#include "link/Linkabort.h"

namespace
{

using Clock = std::chrono::steady_clock;

constexpr DWORD kSliceMs = 50;

// The D2XX library's own values.
using FT_HANDLE = void *;
using FT_STATUS = ULONG;
constexpr FT_STATUS FT_OK = 0;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr DWORD FT_LIST_BY_INDEX = 0x40000000;

// The library's functions, declared from their published signatures.
struct TD2xx {
    FT_STATUS(WINAPI *ListDevices)(PVOID, PVOID, DWORD) = nullptr;
    FT_HANDLE(WINAPI *W32_CreateFile)
    (LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) = nullptr;
    BOOL(WINAPI *W32_CloseHandle)(FT_HANDLE) = nullptr;
    BOOL(WINAPI *W32_ReadFile)(FT_HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = nullptr;
    BOOL(WINAPI *W32_WriteFile)(FT_HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = nullptr;
    BOOL(WINAPI *W32_GetCommState)(FT_HANDLE, LPDCB) = nullptr;
    BOOL(WINAPI *W32_SetCommState)(FT_HANDLE, LPDCB) = nullptr;
    BOOL(WINAPI *W32_SetCommTimeouts)(FT_HANDLE, LPCOMMTIMEOUTS) = nullptr;
    BOOL(WINAPI *W32_PurgeComm)(FT_HANDLE, DWORD) = nullptr;
    DWORD(WINAPI *W32_GetLastError)(FT_HANDLE) = nullptr;
    FT_STATUS(WINAPI *GetQueueStatus)(FT_HANDLE, LPDWORD) = nullptr; // optional
};

template <typename F> bool Bind(HMODULE module, const char *name, F &to)
{
    to = reinterpret_cast<F>(reinterpret_cast<void *>(::GetProcAddress(module, name)));
    return to != nullptr;
}

// The library once it is loaded whole; null with `problem` set otherwise.
// Loading is tried again on each call until it works, so a driver installed
// while the tool runs is found at the next connect.
const TD2xx *Library(std::string *problem)
{
    static std::mutex lock;
    static TD2xx calls;
    static bool loaded = false;
    std::lock_guard<std::mutex> guard(lock);
    if (loaded)
        return &calls;
    HMODULE module = ::LoadLibraryA("FTD2XX.DLL");
    if (module == nullptr) {
        if (problem)
            *problem = "FTD2XX.DLL is not installed";
        return nullptr;
    }
    TD2xx c;
    const char *missing = nullptr;
    if (!Bind(module, "FT_ListDevices", c.ListDevices))
        missing = "FT_ListDevices";
    else if (!Bind(module, "FT_W32_CreateFile", c.W32_CreateFile))
        missing = "FT_W32_CreateFile";
    else if (!Bind(module, "FT_W32_CloseHandle", c.W32_CloseHandle))
        missing = "FT_W32_CloseHandle";
    else if (!Bind(module, "FT_W32_ReadFile", c.W32_ReadFile))
        missing = "FT_W32_ReadFile";
    else if (!Bind(module, "FT_W32_WriteFile", c.W32_WriteFile))
        missing = "FT_W32_WriteFile";
    else if (!Bind(module, "FT_W32_GetCommState", c.W32_GetCommState))
        missing = "FT_W32_GetCommState";
    else if (!Bind(module, "FT_W32_SetCommState", c.W32_SetCommState))
        missing = "FT_W32_SetCommState";
    else if (!Bind(module, "FT_W32_SetCommTimeouts", c.W32_SetCommTimeouts))
        missing = "FT_W32_SetCommTimeouts";
    else if (!Bind(module, "FT_W32_PurgeComm", c.W32_PurgeComm))
        missing = "FT_W32_PurgeComm";
    else if (!Bind(module, "FT_W32_GetLastError", c.W32_GetLastError))
        missing = "FT_W32_GetLastError";
    if (missing != nullptr) {
        ::FreeLibrary(module);
        if (problem)
            *problem = std::string("FTD2XX.DLL lacks ") + missing;
        return nullptr;
    }
    Bind(module, "FT_GetQueueStatus", c.GetQueueStatus);
    calls = c;
    loaded = true; // kept loaded for the rest of the run
    return &calls;
}

// The calls one Win32-style device makes.
class TCommCalls
{
public:
    virtual ~TCommCalls() = default;
    // Whether the device itself refuses a second open (share mode 0). Wine's
    // COM ports do not, so ours are held by a named lock as well.
    virtual bool RefusesSecondOpen() const { return true; }
    virtual HANDLE Create(const std::string &name) const = 0;
    virtual DWORD LastError(HANDLE h) const = 0;
    virtual bool Close(HANDLE h) const = 0;
    virtual bool GetState(HANDLE h, DCB &dcb) const = 0;
    virtual bool SetState(HANDLE h, DCB &dcb) const = 0;
    virtual bool SetTimeouts(HANDLE h, COMMTIMEOUTS &t) const = 0;
    virtual bool Purge(HANDLE h, DWORD flags) const = 0;
    virtual bool Read(HANDLE h, void *buffer, DWORD n, DWORD &done) const = 0;
    virtual bool Write(HANDLE h, const void *buffer, DWORD n, DWORD &done) const = 0;
    virtual bool QueueStatus(HANDLE h, DWORD &waiting) const = 0;
};

class TKernelCalls final : public TCommCalls
{
public:
    bool RefusesSecondOpen() const override { return false; }
    // A bare name (COM12, CNCA0) is a device in the \\.\ namespace, which is
    // the only way COM10 and above open at all.
    HANDLE Create(const std::string &name) const override
    {
        const std::string path =
            name.find_first_of("\\/:") == std::string::npos ? "\\\\.\\" + name : name;
        return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             0, nullptr);
    }
    DWORD LastError(HANDLE) const override { return ::GetLastError(); }
    bool Close(HANDLE h) const override { return ::CloseHandle(h); }
    bool GetState(HANDLE h, DCB &dcb) const override
    {
        dcb.DCBlength = sizeof dcb;
        return ::GetCommState(h, &dcb);
    }
    bool SetState(HANDLE h, DCB &dcb) const override { return ::SetCommState(h, &dcb); }
    bool SetTimeouts(HANDLE h, COMMTIMEOUTS &t) const override { return ::SetCommTimeouts(h, &t); }
    bool Purge(HANDLE h, DWORD flags) const override { return ::PurgeComm(h, flags); }
    bool Read(HANDLE h, void *buffer, DWORD n, DWORD &done) const override
    {
        return ::ReadFile(h, buffer, n, &done, nullptr);
    }
    bool Write(HANDLE h, const void *buffer, DWORD n, DWORD &done) const override
    {
        return ::WriteFile(h, buffer, n, &done, nullptr);
    }
    bool QueueStatus(HANDLE h, DWORD &waiting) const override
    {
        COMSTAT stat{};
        DWORD errors = 0;
        if (!::ClearCommError(h, &errors, &stat))
            return false;
        waiting = stat.cbInQue;
        return true;
    }
};

class TD2xxCalls final : public TCommCalls
{
public:
    explicit TD2xxCalls(const TD2xx &lib) : FLib(lib) {}
    HANDLE Create(const std::string &description) const override
    {
        return FLib.W32_CreateFile(description.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, FT_OPEN_BY_DESCRIPTION, nullptr);
    }
    DWORD LastError(HANDLE h) const override { return FLib.W32_GetLastError(h); }
    bool Close(HANDLE h) const override { return FLib.W32_CloseHandle(h); }
    bool GetState(HANDLE h, DCB &dcb) const override
    {
        dcb.DCBlength = sizeof dcb;
        return FLib.W32_GetCommState(h, &dcb);
    }
    bool SetState(HANDLE h, DCB &dcb) const override { return FLib.W32_SetCommState(h, &dcb); }
    bool SetTimeouts(HANDLE h, COMMTIMEOUTS &t) const override
    {
        return FLib.W32_SetCommTimeouts(h, &t);
    }
    bool Purge(HANDLE h, DWORD flags) const override { return FLib.W32_PurgeComm(h, flags); }
    bool Read(HANDLE h, void *buffer, DWORD n, DWORD &done) const override
    {
        return FLib.W32_ReadFile(h, buffer, n, &done, nullptr);
    }
    bool Write(HANDLE h, const void *buffer, DWORD n, DWORD &done) const override
    {
        // The library's signature takes a non-const buffer; it only reads it.
        return FLib.W32_WriteFile(h, const_cast<void *>(buffer), n, &done, nullptr);
    }
    bool QueueStatus(HANDLE h, DWORD &waiting) const override
    {
        return FLib.GetQueueStatus != nullptr && FLib.GetQueueStatus(h, &waiting) == FT_OK;
    }

private:
    const TD2xx &FLib;
};

class TWin32Device final : public TPortDevice
{
public:
    // `fixedName`, when given, is opened whatever name Open is handed (a
    // virtual bridge's COM device).
    TWin32Device(std::unique_ptr<TCommCalls> calls, std::string fixedName = {})
        : FCalls(std::move(calls)), FFixedName(std::move(fixedName))
    {
    }
    ~TWin32Device() override { Close(); }

    int32_t Open(const std::string &name) override
    {
        Close();
        if (!FCalls)
            return PortErrorNotFound;
        const std::string device = FFixedName.empty() ? name : FFixedName;
        if (!FCalls->RefusesSecondOpen() && !TakeLock(device))
            return PortErrorAccessDenied;
        FHandle = FCalls->Create(device);
        if (FHandle == INVALID_HANDLE_VALUE) {
            const DWORD error = FCalls->LastError(FHandle);
            ReleaseLock();
            switch (error) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return PortErrorNotFound;
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
                return PortErrorAccessDenied;
            default:
                return PortErrorIO;
            }
        }
        // The device's own settings, given back on Close.
        return FCalls->GetState(FHandle, FSaved) ? PortOK : PortErrorIO;
    }

    void Close() override
    {
        if (FHandle == INVALID_HANDLE_VALUE)
            return;
        FCalls->SetState(FHandle, FSaved);
        FCalls->Close(FHandle);
        FHandle = INVALID_HANDLE_VALUE;
        ReleaseLock();
    }

    bool IsOpen() const override { return FHandle != INVALID_HANDLE_VALUE; }

    int32_t SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits, int32_t parity,
                              int32_t flowMode) override
    {
        DCB dcb{};
        if (!FCalls->GetState(FHandle, dcb))
            return PortErrorIO;
        dcb.BaudRate = static_cast<DWORD>(baudRate);
        if (dataBits != 7 && dataBits != 8)
            return PortErrorParameter;
        dcb.ByteSize = static_cast<BYTE>(dataBits);
        if (stopBits == 1)
            dcb.StopBits = ONESTOPBIT;
        else if (stopBits == 2)
            dcb.StopBits = TWOSTOPBITS;
        else
            return PortErrorParameter;
        if (parity < 0 || parity > 2)
            return PortErrorParameter;
        dcb.fParity = parity != 0;
        dcb.Parity = parity == 0 ? NOPARITY : (parity == 1 ? ODDPARITY : EVENPARITY);
        if (flowMode != 0 && flowMode != 1)
            return PortErrorParameter;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fOutxCtsFlow = flowMode == 1;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fRtsControl = flowMode == 1 ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_DISABLE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fBinary = TRUE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        return FCalls->SetState(FHandle, dcb) ? PortOK : PortErrorParameter;
    }

    int32_t SetTimeouts(const TCommTimeouts &timeouts) override
    {
        // Applied slice by slice in Read and Write.
        FTimeouts = timeouts;
        return IsOpen() ? PortOK : PortErrorIO;
    }

    int32_t Purge() override
    {
        return FCalls->Purge(FHandle, PURGE_TXCLEAR | PURGE_RXCLEAR) ? PortOK : PortErrorIO;
    }

    int32_t DiscardInput(std::size_t &discarded) override
    {
        discarded = 0;
        DWORD waiting = 0;
        if (!FCalls->QueueStatus(FHandle, waiting))
            waiting = 0;
        if (!FCalls->Purge(FHandle, PURGE_RXCLEAR))
            return PortErrorIO;
        discarded = waiting;
        return PortOK;
    }

    int32_t Read(uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        return Transfer(count, FTimeouts.ReadTotalTimeoutConstant, done,
                        [&](DWORD sliceMs, DWORD &moved) {
                            COMMTIMEOUTS t{};
                            if (sliceMs == 0)
                                t.ReadIntervalTimeout = MAXDWORD; // return with what is there
                            else
                                t.ReadTotalTimeoutConstant = sliceMs;
                            return FCalls->SetTimeouts(FHandle, t) &&
                                   FCalls->Read(FHandle, buffer + done, count - done, moved);
                        });
    }

    int32_t Write(const uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        return Transfer(count, FTimeouts.WriteTotalTimeoutConstant, done,
                        [&](DWORD sliceMs, DWORD &moved) {
                            COMMTIMEOUTS t{};
                            // A zero write constant would mean no time-out.
                            t.WriteTotalTimeoutConstant = std::max<DWORD>(sliceMs, 1);
                            return FCalls->SetTimeouts(FHandle, t) &&
                                   FCalls->Write(FHandle, buffer + done, count - done, moved);
                        });
    }

private:
    // A named mutex per device, held while open: a second open of the same
    // device, in this program or another of ours, finds it taken.
    bool TakeLock(const std::string &device)
    {
        std::string key = device.rfind("\\\\.\\", 0) == 0 ? device.substr(4) : device;
        for (char &c : key)
            c = c == '\\' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        FLock = ::CreateMutexA(nullptr, FALSE, ("Local\\zelvo-marlune-port-" + key).c_str());
        if (FLock != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS) {
            ReleaseLock();
            return false;
        }
        return true;
    }
    void ReleaseLock()
    {
        if (FLock != nullptr)
            ::CloseHandle(FLock);
        FLock = nullptr;
    }

    template <typename Step>
    int32_t Transfer(uint32_t count, uint32_t totalMs, uint32_t &done, Step step)
    {
        done = 0;
        if (!IsOpen())
            return PortErrorIO;
        const auto deadline = Clock::now() + std::chrono::milliseconds(totalMs);
        while (done < count) {
            if (FAbort != nullptr && FAbort->IsSet())
                return PortErrorIO;
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            const DWORD slice =
                left > 0 ? static_cast<DWORD>(std::min<long long>(left, kSliceMs)) : 0;
            DWORD moved = 0;
            const bool ok = step(slice, moved);
            done += moved;
            if (!ok)
                return PortErrorIO;
            if (slice == 0 || Clock::now() >= deadline)
                break;
        }
        return PortOK;
    }

    std::unique_ptr<TCommCalls> FCalls;
    std::string FFixedName;
    HANDLE FHandle = INVALID_HANDLE_VALUE;
    HANDLE FLock = nullptr;
    DCB FSaved{};
    TCommTimeouts FTimeouts{};
};

std::string VirtualBridgePath(const std::string &description)
{
    for (const Ftd2xx::TBridge &b : Ftd2xx::VirtualBridges())
        if (b.Description == description)
            return b.DevicePath;
    return {};
}

} // namespace

std::unique_ptr<TPortDevice> MakeComPortDevice()
{
    return std::make_unique<TWin32Device>(std::make_unique<TKernelCalls>());
}

std::unique_ptr<TPortDevice> MakeBridgeDevice(const std::string &description)
{
    const std::string path = VirtualBridgePath(description);
    if (!path.empty())
        return std::make_unique<TWin32Device>(std::make_unique<TKernelCalls>(), path);
    const TD2xx *lib = Library(nullptr);
    // Without the library no bridge can be found: the open reports not found.
    return std::make_unique<TWin32Device>(lib ? std::make_unique<TD2xxCalls>(*lib) : nullptr);
}

bool CountPlatformBridges(uint32_t &count)
{
    count = static_cast<uint32_t>(Ftd2xx::VirtualBridges().size());
    const TD2xx *lib = Library(nullptr);
    if (lib == nullptr)
        return count > 0;
    DWORD attached = 0;
    if (lib->ListDevices(&attached, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
        return count > 0;
    count += attached;
    return true;
}

bool BridgeLibraryUsable(std::string *problem)
{
    if (problem != nullptr)
        problem->clear();
    return Library(problem) != nullptr;
}

std::string PlatformComPortPath(int number)
{
    return "\\\\.\\COM" + std::to_string(number);
}

namespace Ftd2xx
{

std::vector<TBridge> ListBridges()
{
    std::vector<TBridge> bridges = VirtualBridges();
    const TD2xx *lib = Library(nullptr);
    DWORD attached = 0;
    if (lib == nullptr || lib->ListDevices(&attached, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
        return bridges;
    for (DWORD i = 0; i < attached && i < 64; ++i) {
        char description[64] = {};
        if (lib->ListDevices(reinterpret_cast<PVOID>(static_cast<uintptr_t>(i)), description,
                             FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) == FT_OK) {
            description[sizeof description - 1] = 0;
            bridges.push_back({description, "USB bridge " + std::to_string(i) + " (D2XX)"});
        }
    }
    return bridges;
}

} // namespace Ftd2xx
