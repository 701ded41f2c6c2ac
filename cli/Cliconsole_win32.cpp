#include "cli/Cliconsole.h"

#include <QByteArray>
#include <QMetaObject>
#include <QtGlobal>

#include <atomic>
#include <io.h>
#include <mutex>
#include <windows.h>

namespace
{

HANDLE ConsoleOf(std::FILE *stream)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

} // namespace

bool IsTerminal(std::FILE *stream)
{
    // A console handle answers GetConsoleMode; a pipe or file does not.
    DWORD mode = 0;
    const HANDLE h = ConsoleOf(stream);
    return h != INVALID_HANDLE_VALUE && GetConsoleMode(h, &mode) != 0;
}

int TerminalColumns(std::FILE *stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(ConsoleOf(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

// ---- interrupts ----

namespace
{

std::atomic<int> gInterrupts{0};
void (*gOnFirst)() = nullptr;
int gExitCode = 1;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        break;
    default:
        return FALSE;
    }
    // The first interrupt lets the command stop cleanly (the unit is asked to
    // go idle and the link closed); a second one quits at once.
    if (++gInterrupts > 1)
        ExitProcess(static_cast<UINT>(gExitCode));
    if (gOnFirst)
        gOnFirst();
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // A closing console ends the process as soon as this returns: give the
    // command a few seconds to stop the unit and end by itself first.
    for (int i = 0; i < 80; ++i)
        Sleep(50);
    return TRUE;
}

// The one instance, guarded so that the handler thread never wakes one that
// is being destroyed.
std::mutex gWakeLock;
TInterruptWake *gWake = nullptr;

} // namespace

void PrepareReportPlatform()
{
    // Also over a QT_QPA_PLATFORM that names another (a test run's offscreen).
    qputenv("QT_QPA_PLATFORM", "windows");
}

void InstallInterruptHandler(void (*onFirst)(), int exitCode)
{
    gOnFirst = onFirst;
    gExitCode = exitCode;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

struct TInterruptWake::TImpl {
};

TInterruptWake::TInterruptWake() : FImpl(nullptr)
{
    std::lock_guard<std::mutex> lock(gWakeLock);
    gWake = this;
}

TInterruptWake::~TInterruptWake()
{
    std::lock_guard<std::mutex> lock(gWakeLock);
    if (gWake == this)
        gWake = nullptr;
}

void TInterruptWake::Wake()
{
    std::lock_guard<std::mutex> lock(gWakeLock);
    if (gWake != nullptr) {
        TInterruptWake *wake = gWake;
        QMetaObject::invokeMethod(
            wake, [wake] { emit wake->Woken(); }, Qt::QueuedConnection);
    }
}

// ---- echo ----

namespace
{

HANDLE gInput = INVALID_HANDLE_VALUE;
DWORD gSavedMode = 0;
std::atomic<bool> gEchoOff{false};

BOOL WINAPI RestoreEchoAndExit(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (gEchoOff.exchange(false))
        SetConsoleMode(gInput, gSavedMode);
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), "\n", 1, &written, nullptr);
    ExitProcess(static_cast<UINT>(gExitCode));
    return TRUE;
}

} // namespace

TEchoOff::TEchoOff()
{
    gInput = GetStdHandle(STD_INPUT_HANDLE);
    if (gInput == INVALID_HANDLE_VALUE || !GetConsoleMode(gInput, &gSavedMode))
        return;
    // Handlers added last are asked first: this one takes an interrupt while
    // the password is typed.
    SetConsoleCtrlHandler(RestoreEchoAndExit, TRUE);
    gEchoOff = true;
    if (!SetConsoleMode(gInput, gSavedMode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT))) {
        gEchoOff = false;
        SetConsoleCtrlHandler(RestoreEchoAndExit, FALSE);
        return;
    }
    FActive = true;
}

TEchoOff::~TEchoOff()
{
    if (!FActive)
        return;
    if (gEchoOff.exchange(false))
        SetConsoleMode(gInput, gSavedMode);
    SetConsoleCtrlHandler(RestoreEchoAndExit, FALSE);
    // The console does not show the line end of an unechoed line.
    std::fputc('\n', stderr);
    std::fflush(stderr);
}
