#include "cli/Cliconsole.h"

#include <QSocketNotifier>
#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

bool IsTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) != 0;
}

int TerminalColumns(std::FILE *stream)
{
    struct winsize ws {
    };
    if (ioctl(fileno(stream), TIOCGWINSZ, &ws) == 0)
        return ws.ws_col;
    return 0;
}

// ---- interrupts ----

namespace
{

volatile std::sig_atomic_t gInterrupts = 0;
void (*gOnFirst)() = nullptr;
int gExitCode = 1;

extern "C" void OnInterrupt(int)
{
    // The first Ctrl-C lets the command stop cleanly (the unit is asked to
    // go idle and the link closed); a second one quits at once.
    gInterrupts = gInterrupts + 1;
    if (gInterrupts > 1)
        _exit(gExitCode);
    if (gOnFirst)
        gOnFirst();
}

// The wake's self-pipe: the signal handler writes a byte, the notifier
// wakes the event loop on it. -1 while no instance exists.
volatile std::sig_atomic_t gWakeRead = -1;
volatile std::sig_atomic_t gWakeWrite = -1;

} // namespace

void PrepareReportPlatform()
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

void InstallInterruptHandler(void (*onFirst)(), int exitCode)
{
    gOnFirst = onFirst;
    gExitCode = exitCode;
    struct sigaction sa {
    };
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

struct TInterruptWake::TImpl {
    QSocketNotifier *Notifier = nullptr;
};

TInterruptWake::TInterruptWake() : FImpl(new TImpl)
{
    int fds[2] = {-1, -1};
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    gWakeRead = fds[0];
    gWakeWrite = fds[1];
    FImpl->Notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
    connect(FImpl->Notifier, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        const int fd = gWakeRead;
        while (fd >= 0 && ::read(fd, buf, sizeof buf) > 0) {
        }
        emit Woken();
    });
}

TInterruptWake::~TInterruptWake()
{
    delete FImpl->Notifier;
    const int readFd = gWakeRead;
    const int writeFd = gWakeWrite;
    // The handler stops using the pipe before it is closed.
    gWakeWrite = -1;
    gWakeRead = -1;
    if (writeFd >= 0)
        ::close(writeFd);
    if (readFd >= 0)
        ::close(readFd);
    delete FImpl;
}

void TInterruptWake::Wake()
{
    const int saved = errno;
    const int fd = gWakeWrite;
    if (fd >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

// ---- echo ----

namespace
{

// The terminal's settings while echo is off, so an interrupt can put them
// back before the program ends.
struct termios gSaved;
volatile sig_atomic_t gEchoOff = 0;
struct sigaction gOldInterrupt {
};

extern "C" void RestoreEchoAndDie(int sig)
{
    if (gEchoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
    const char nl = '\n';
    (void)!write(STDERR_FILENO, &nl, 1);
    signal(sig, SIG_DFL);
    raise(sig);
}

} // namespace

TEchoOff::TEchoOff()
{
    if (tcgetattr(STDIN_FILENO, &gSaved) != 0)
        return;
    struct termios quiet = gSaved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    struct sigaction sa {
    };
    sa.sa_handler = RestoreEchoAndDie;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &gOldInterrupt);
    gEchoOff = 1;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    FActive = true;
}

TEchoOff::~TEchoOff()
{
    if (!FActive)
        return;
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
    gEchoOff = 0;
    sigaction(SIGINT, &gOldInterrupt, nullptr);
}
