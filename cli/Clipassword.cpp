#include "Clipassword.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace
{

// The terminal's settings while echo is off, so an interrupt can put them
// back before the program ends.
struct termios gSaved;
volatile sig_atomic_t gEchoOff = 0;

extern "C" void RestoreEchoAndDie(int sig)
{
    if (gEchoOff)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
    const char nl = '\n';
    (void)!write(STDERR_FILENO, &nl, 1);
    signal(sig, SIG_DFL);
    raise(sig);
}

bool ReadLine(std::string &line)
{
    line.clear();
    bool any = false;
    for (;;) {
        const int c = std::fgetc(stdin);
        if (c == EOF)
            return any;
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

bool ReadPassword(const QString &prompt, std::string &password)
{
    std::string line;
    if (!isatty(STDIN_FILENO)) {
        if (!ReadLine(line))
            return false;
        password = line;
        return true;
    }

    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    bool echoOff = false;
    struct sigaction old {
    };
    if (tcgetattr(STDIN_FILENO, &gSaved) == 0) {
        struct termios quiet = gSaved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        struct sigaction sa {
        };
        sa.sa_handler = RestoreEchoAndDie;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &old);
        gEchoOff = 1;
        echoOff = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    const bool ok = ReadLine(line);
    if (echoOff || gEchoOff) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &gSaved);
        gEchoOff = 0;
        sigaction(SIGINT, &old, nullptr);
    }
    if (!ok)
        return false;
    password = line;
    return true;
}
