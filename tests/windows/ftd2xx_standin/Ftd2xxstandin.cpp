// A test-only stand-in for the USB bridge library: the same exported names
// and calling convention, serving the Win32-style calls over COM1 and
// reporting one bridge described "Zelvo". Lets the tests load the library at
// run time and drive the bridge path against a unit on COM1.

#include <windows.h>

#include <cstring>

#define STANDIN_EXPORT extern "C" __declspec(dllexport)

namespace
{

constexpr ULONG kOk = 0;
constexpr ULONG kInvalidParameter = 6;
constexpr DWORD kOpenByDescription = 2;
constexpr DWORD kListNumberOnly = 0x80000000;
constexpr DWORD kListByIndex = 0x40000000;
constexpr const char *kDescription = "Zelvo";

} // namespace

STANDIN_EXPORT ULONG WINAPI FT_ListDevices(PVOID arg1, PVOID arg2, DWORD flags)
{
    if (flags & kListNumberOnly) {
        if (arg1 == nullptr)
            return kInvalidParameter;
        *static_cast<DWORD *>(arg1) = 1;
        return kOk;
    }
    if ((flags & kListByIndex) && (flags & kOpenByDescription) && arg2 != nullptr &&
        reinterpret_cast<uintptr_t>(arg1) == 0) {
        std::strcpy(static_cast<char *>(arg2), kDescription);
        return kOk;
    }
    return kInvalidParameter;
}

STANDIN_EXPORT HANDLE WINAPI FT_W32_CreateFile(LPCSTR name, DWORD access, DWORD share,
                                               LPSECURITY_ATTRIBUTES security, DWORD create,
                                               DWORD flags, HANDLE templateFile)
{
    if (!(flags & kOpenByDescription) || name == nullptr || std::strcmp(name, kDescription) != 0) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileA("\\\\.\\COM1", access, share, security, create, 0, templateFile);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_CloseHandle(HANDLE h)
{
    return ::CloseHandle(h);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_ReadFile(HANDLE h, LPVOID buffer, DWORD n, LPDWORD done,
                                           LPOVERLAPPED overlapped)
{
    return ::ReadFile(h, buffer, n, done, overlapped);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_WriteFile(HANDLE h, LPVOID buffer, DWORD n, LPDWORD done,
                                            LPOVERLAPPED overlapped)
{
    return ::WriteFile(h, buffer, n, done, overlapped);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_GetCommState(HANDLE h, LPDCB dcb)
{
    return ::GetCommState(h, dcb);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_SetCommState(HANDLE h, LPDCB dcb)
{
    return ::SetCommState(h, dcb);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_SetCommTimeouts(HANDLE h, LPCOMMTIMEOUTS timeouts)
{
    return ::SetCommTimeouts(h, timeouts);
}

STANDIN_EXPORT BOOL WINAPI FT_W32_PurgeComm(HANDLE h, DWORD flags)
{
    return ::PurgeComm(h, flags);
}

STANDIN_EXPORT DWORD WINAPI FT_W32_GetLastError(HANDLE)
{
    return ::GetLastError();
}

STANDIN_EXPORT ULONG WINAPI FT_GetQueueStatus(HANDLE h, LPDWORD waiting)
{
    COMSTAT stat{};
    DWORD errors = 0;
    if (waiting == nullptr || !::ClearCommError(h, &errors, &stat))
        return kInvalidParameter;
    *waiting = stat.cbInQue;
    return kOk;
}
