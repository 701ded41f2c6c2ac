#pragma once

// The console as the command line uses it, where POSIX and Windows differ:
// what a standard stream is, the interrupt key, and echo while a password is
// typed. One implementation per system (Cliconsole_posix.cpp,
// Cliconsole_win32.cpp).

#include <QObject>

#include <cstdio>

// True when the stream is an interactive terminal (a console window).
bool IsTerminal(std::FILE *stream);
// The terminal's width in columns; 0 when it cannot be told.
int TerminalColumns(std::FILE *stream);

// Before the report's GUI application starts: the platform it draws on
// without a display. Linux: the offscreen platform (its fonts from
// fontconfig). Windows: the system's own platform, which opens no window for
// a PDF and finds the fonts the system has, wherever they are installed
// (the offscreen platform reads one folder only, and under Wine the system's
// fonts are not in %WINDIR%\Fonts).
void PrepareReportPlatform();

// Ctrl-C (and a request to terminate): the first one calls onFirst, which
// must be safe from a signal handler and from another thread; a second one
// ends the program at once with exitCode.
void InstallInterruptHandler(void (*onFirst)(), int exitCode);

// Wakes the command's event loop when an interrupt comes. Wake() is safe from
// a signal handler (POSIX) and from the console's handler thread (Windows);
// Woken is emitted on the thread the one instance lives on. Without an
// instance Wake() does nothing.
class TInterruptWake : public QObject
{
    Q_OBJECT
public:
    TInterruptWake();
    ~TInterruptWake() override;
    TInterruptWake(const TInterruptWake &) = delete;
    TInterruptWake &operator=(const TInterruptWake &) = delete;

    static void Wake();

signals:
    void Woken();

private:
    struct TImpl;
    TImpl *FImpl;
};

// Standard input's echo off while it lives, so a typed password is not shown;
// an interrupt meanwhile puts the echo back before the program ends (with
// the interrupt's exit status). Inactive when the input is no terminal or its
// echo cannot be changed. The line end typed last is still shown.
class TEchoOff
{
public:
    TEchoOff();
    ~TEchoOff();
    TEchoOff(const TEchoOff &) = delete;
    TEchoOff &operator=(const TEchoOff &) = delete;

    bool Active() const { return FActive; }

private:
    bool FActive = false;
};
