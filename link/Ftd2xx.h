#pragma once

// The USB bridge layer: the bridge library's calls that the tool uses, over
// the kernel's FTDI serial driver. A bridge is a tty under
// <sysfs>/bus/usb-serial/devices/ whose USB device has idVendor 0403; its
// description is that device's `product` string, with " A", " B", ... for
// the channels of a multi-channel chip. Virtual bridges (description -> tty
// path) can be registered for the simulator and for --usb DESC=PATH.
//
// On Windows the bridge is the vendor's library (Portdevice_win32.cpp); there
// this header only offers the bridge list.

#include "link/Bridgelist.h"

#if !defined(_WIN32)

#include <cstdint>
#include <string>
#include <vector>

#include <termios.h>

#include "link/Portresult.h"

class TLinkAbort;

using FT_STATUS = uint32_t;
using FT_HANDLE = std::intptr_t;
using FTDCB = termios;
using FTTIMEOUTS = TCommTimeouts;

constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_OTHER_ERROR = 18;

// All bits set, like the platform's invalid handle.
constexpr FT_HANDLE FT_INVALID_HANDLE_VALUE = -1;

constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000;
constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;

constexpr uint32_t FT_GENERIC_READ = 0x80000000;
constexpr uint32_t FT_GENERIC_WRITE = 0x40000000;
constexpr uint32_t FT_OPEN_EXISTING = 3;

constexpr uint32_t FT_PURGE_TX = 0x04; // PURGE_TXCLEAR
constexpr uint32_t FT_PURGE_RX = 0x08; // PURGE_RXCLEAR

// With FT_LIST_NUMBER_ONLY, `arg1` points to a uint32_t that receives the
// number of bridges (kernel and virtual); `arg2` is unused.
FT_STATUS FT_ListDevices(void *arg1, void *arg2, uint32_t flags);

// Opens the bridge whose description equals `name` exactly
// (FT_OPEN_BY_DESCRIPTION). Returns FT_INVALID_HANDLE_VALUE on failure, with
// the reason from FT_W32_GetLastError: 2 not found, 5 in use or no access.
FT_HANDLE FT_W32_CreateFile(const char *name, uint32_t access, uint32_t shareMode, void *security,
                            uint32_t create, uint32_t flagsAndAttributes, void *templateFile);
bool FT_W32_CloseHandle(FT_HANDLE handle);
bool FT_W32_ReadFile(FT_HANDLE handle, void *buffer, uint32_t toRead, uint32_t *read,
                     void *overlapped);
bool FT_W32_WriteFile(FT_HANDLE handle, const void *buffer, uint32_t toWrite, uint32_t *written,
                      void *overlapped);
bool FT_W32_GetCommState(FT_HANDLE handle, FTDCB *state);
bool FT_W32_SetCommState(FT_HANDLE handle, const FTDCB *state);
bool FT_W32_SetCommTimeouts(FT_HANDLE handle, const FTTIMEOUTS *timeouts);
// FT_PURGE_RX alone flushes the receive queue only; otherwise both queues.
bool FT_W32_PurgeComm(FT_HANDLE handle, uint32_t flags);
// Bytes waiting in the receive queue.
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t *rxBytes);
// The last error of this thread's most recent call.
uint32_t FT_W32_GetLastError(FT_HANDLE handle);

namespace Ftd2xx
{

// Where the layer looks for bridges; "/sys" and "/dev" by default. Tests
// point them at a fake tree.
void SetRoots(const std::string &sysfsRoot, const std::string &devRoot);
void ResetRoots();

// Reads and writes on `handle` end at once, as failed, while `abort` is set
// (nullptr: never). False for an unknown handle.
bool SetAbort(FT_HANDLE handle, const TLinkAbort *abort);

// Number of FT_W32_CreateFile calls so far (for diagnostics and tests).
uint64_t CreateFileCalls();

} // namespace Ftd2xx

#endif // !_WIN32
