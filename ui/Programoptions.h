#pragma once

#include "frontend/Linkoptions.h"

#include <QString>
#include <QStringList>

// The command line of zelvo-marlune: the link options of the front-end layer
// (--usb DESC=PATH, --com N=PATH, --simulate ostra|vello, --trace FILE),
// --help and --version (both answered before any display is needed), and two
// developer switches left out of the help: --screenshot-tour DIR (connect,
// load, grab every page into DIR, quit) and --measure (print the time to the
// window shown and the resident size after connecting and loading, quit).
struct TProgramOptions {
    TLinkSettings Link;
    bool Help = false;
    bool Version = false;
    QString ScreenshotDir;
    bool Measure = false;
};

// Reads the arguments after the program name with QCommandLineParser; needs
// no application object. False with the reason in `error` for an unknown
// option, a missing or malformed value or a stray argument; `options` is then
// left as it was.
bool ParseProgramOptions(const QStringList &args, TProgramOptions &options, QString &error);

// The usage text of --help.
QString ProgramUsage();
