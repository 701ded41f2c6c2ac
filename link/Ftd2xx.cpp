#include "link/Ftd2xx.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include <sys/ioctl.h>

#include "link/Ttydevice.h"

namespace fs = std::filesystem;

namespace
{

struct TDevice {
    int Fd = -1;
    FTTIMEOUTS Timeouts{};
    const TLinkAbort *Abort = nullptr;
};

struct TState {
    std::mutex Lock;
    std::string SysfsRoot = "/sys";
    std::string DevRoot = "/dev";
    std::map<FT_HANDLE, TDevice> Devices;
    FT_HANDLE NextHandle = 1;
};

TState &State()
{
    static TState state;
    return state;
}

std::atomic<uint64_t> g_createFileCalls{0};
thread_local uint32_t t_lastError = 0;

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorIO = 1117;

// First line of a sysfs attribute, without its line end; empty if missing.
std::string ReadAttribute(const fs::path &file)
{
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

std::string Trim(const std::string &s)
{
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return {};
    const auto e = s.find_last_not_of(" \t");
    return s.substr(b, e - b + 1);
}

// A numeric sysfs attribute in the given base; `fallback` if missing or not
// a number.
int ReadNumberAttribute(const fs::path &file, int base, int fallback)
{
    try {
        return std::stoi(Trim(ReadAttribute(file)), nullptr, base);
    } catch (...) {
        return fallback;
    }
}

std::vector<Ftd2xx::TBridge> KernelBridges(const std::string &sysfsRoot, const std::string &devRoot)
{
    std::vector<Ftd2xx::TBridge> bridges;
    std::error_code ec;
    const fs::path dir = fs::path(sysfsRoot) / "bus" / "usb-serial" / "devices";
    std::vector<std::string> names;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());

    for (const std::string &name : names) {
        // devices/<ttyUSBn> links to .../<usb device>/<interface>/<ttyUSBn>.
        const fs::path port = fs::canonical(dir / name, ec);
        if (ec)
            continue;
        const fs::path interfaceDir = port.parent_path();
        const fs::path usbDir = interfaceDir.parent_path();
        if (Trim(ReadAttribute(usbDir / "idVendor")) != "0403")
            continue;
        // The product string exactly as the device reports it.
        std::string description = ReadAttribute(usbDir / "product");
        if (ReadNumberAttribute(usbDir / "bNumInterfaces", 10, 1) > 1) {
            const int channel = ReadNumberAttribute(interfaceDir / "bInterfaceNumber", 16, 0);
            if (channel >= 0 && channel < 26)
                description += std::string(" ") + static_cast<char>('A' + channel);
        }
        bridges.push_back({description, (fs::path(devRoot) / name).string()});
    }
    return bridges;
}

// Runs `edit` on the table entry of `handle` under the table's lock; false
// (and the invalid-handle error) for an unknown handle.
template <typename Edit> bool EditDevice(FT_HANDLE handle, Edit edit)
{
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    const auto it = s.Devices.find(handle);
    if (it == s.Devices.end()) {
        t_lastError = kErrorInvalidHandle;
        return false;
    }
    edit(s.Devices, it);
    return true;
}

// Copies the device of `handle` out of the table; false for an unknown one.
bool Lookup(FT_HANDLE handle, TDevice &device)
{
    return EditDevice(handle, [&device](auto &, auto it) { device = it->second; });
}

// Runs `op` on the device's descriptor; a failing op sets the I/O error.
template <typename Op> bool OnDevice(FT_HANDLE handle, Op op)
{
    TDevice d;
    if (!Lookup(handle, d))
        return false;
    if (!op(d.Fd)) {
        t_lastError = kErrorIO;
        return false;
    }
    return true;
}

} // namespace

FT_STATUS FT_ListDevices(void *arg1, void * /*arg2*/, uint32_t flags)
{
    if (!(flags & FT_LIST_NUMBER_ONLY) || arg1 == nullptr)
        return FT_INVALID_PARAMETER;
    *static_cast<uint32_t *>(arg1) = static_cast<uint32_t>(Ftd2xx::ListBridges().size());
    return FT_OK;
}

FT_HANDLE FT_W32_CreateFile(const char *name, uint32_t /*access*/, uint32_t /*shareMode*/,
                            void * /*security*/, uint32_t /*create*/, uint32_t flagsAndAttributes,
                            void * /*templateFile*/)
{
    ++g_createFileCalls;
    if (name == nullptr || !(flagsAndAttributes & FT_OPEN_BY_DESCRIPTION)) {
        t_lastError = kErrorInvalidParameter;
        return FT_INVALID_HANDLE_VALUE;
    }
    const std::string description(name);
    std::string path;
    for (const Ftd2xx::TBridge &b : Ftd2xx::ListBridges()) {
        if (b.Description == description) {
            path = b.DevicePath;
            break;
        }
    }
    if (path.empty()) {
        t_lastError = ttydevice::kErrorFileNotFound;
        return FT_INVALID_HANDLE_VALUE;
    }
    uint32_t error = 0;
    const int fd = ttydevice::OpenExclusive(path, error);
    if (fd < 0) {
        t_lastError = error;
        return FT_INVALID_HANDLE_VALUE;
    }
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    const FT_HANDLE handle = s.NextHandle++;
    s.Devices[handle] = TDevice{fd, {}, nullptr};
    t_lastError = 0;
    return handle;
}

bool FT_W32_CloseHandle(FT_HANDLE handle)
{
    int fd = -1;
    const bool known = EditDevice(handle, [&fd](auto &devices, auto it) {
        fd = it->second.Fd;
        devices.erase(it);
    });
    if (known)
        ttydevice::Close(fd);
    return known;
}

namespace
{

// One whole read or write on an open handle: the count done is reported even
// when the transfer stops short, and a short transfer sets the last error.
template <typename Transfer>
bool TransferTotal(FT_HANDLE handle, uint32_t *count, Transfer transfer)
{
    if (count)
        *count = 0;
    TDevice d;
    if (!Lookup(handle, d))
        return false;
    std::size_t done = 0;
    const bool ok = transfer(d, done);
    if (count)
        *count = static_cast<uint32_t>(done);
    if (!ok)
        t_lastError = kErrorIO;
    return ok;
}

} // namespace

bool FT_W32_ReadFile(FT_HANDLE handle, void *buffer, uint32_t toRead, uint32_t *read,
                     void * /*overlapped*/)
{
    return TransferTotal(handle, read, [&](const TDevice &d, std::size_t &done) {
        return ttydevice::ReadTotal(d.Fd, static_cast<uint8_t *>(buffer), toRead,
                                    d.Timeouts.ReadTotalTimeoutConstant, done, d.Abort);
    });
}

bool FT_W32_WriteFile(FT_HANDLE handle, const void *buffer, uint32_t toWrite, uint32_t *written,
                      void * /*overlapped*/)
{
    return TransferTotal(handle, written, [&](const TDevice &d, std::size_t &done) {
        return ttydevice::WriteTotal(d.Fd, static_cast<const uint8_t *>(buffer), toWrite,
                                     d.Timeouts.WriteTotalTimeoutConstant, done, d.Abort);
    });
}

bool FT_W32_GetCommState(FT_HANDLE handle, FTDCB *state)
{
    return state != nullptr &&
           OnDevice(handle, [state](int fd) { return ttydevice::GetState(fd, *state); });
}

bool FT_W32_SetCommState(FT_HANDLE handle, const FTDCB *state)
{
    return state != nullptr &&
           OnDevice(handle, [state](int fd) { return ttydevice::SetState(fd, *state); });
}

bool FT_W32_SetCommTimeouts(FT_HANDLE handle, const FTTIMEOUTS *timeouts)
{
    return timeouts != nullptr &&
           EditDevice(handle, [timeouts](auto &, auto it) { it->second.Timeouts = *timeouts; });
}

bool FT_W32_PurgeComm(FT_HANDLE handle, uint32_t flags)
{
    // The receive queue alone is flushed between exchanges; anything else
    // flushes both.
    const bool inputOnly = (flags & (FT_PURGE_RX | FT_PURGE_TX)) == FT_PURGE_RX;
    return OnDevice(handle, [inputOnly](int fd) {
        std::size_t discarded = 0;
        return inputOnly ? ttydevice::DiscardInput(fd, discarded) : ttydevice::Purge(fd);
    });
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t *rxBytes)
{
    TDevice d;
    if (rxBytes == nullptr || !Lookup(handle, d))
        return FT_INVALID_PARAMETER;
    int waiting = 0;
    if (::ioctl(d.Fd, FIONREAD, &waiting) != 0)
        return FT_OTHER_ERROR;
    *rxBytes = waiting > 0 ? static_cast<uint32_t>(waiting) : 0;
    return FT_OK;
}

uint32_t FT_W32_GetLastError(FT_HANDLE /*handle*/)
{
    return t_lastError;
}

namespace Ftd2xx
{

void SetRoots(const std::string &sysfsRoot, const std::string &devRoot)
{
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.SysfsRoot = sysfsRoot;
    s.DevRoot = devRoot;
}

void ResetRoots()
{
    SetRoots("/sys", "/dev");
}

std::vector<TBridge> ListBridges()
{
    std::vector<TBridge> bridges = VirtualBridges();
    std::string sysfsRoot, devRoot;
    {
        TState &s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        sysfsRoot = s.SysfsRoot;
        devRoot = s.DevRoot;
    }
    const auto kernel = KernelBridges(sysfsRoot, devRoot);
    bridges.insert(bridges.end(), kernel.begin(), kernel.end());
    return bridges;
}

bool SetAbort(FT_HANDLE handle, const TLinkAbort *abort)
{
    TState &s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    const auto it = s.Devices.find(handle);
    if (it == s.Devices.end())
        return false;
    it->second.Abort = abort;
    return true;
}

uint64_t CreateFileCalls()
{
    return g_createFileCalls.load();
}

} // namespace Ftd2xx
