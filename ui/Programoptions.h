#pragma once

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

// The command line of zelvo-marlune:
//   zelvo-marlune [--simulate ostra|vello] [--com N=PATH]... [--usb DESC=PATH]...
//                 [--trace FILE]
// plus --help and --version (both answered before any display is needed), and two hidden developer
// switches: --screenshot-tour DIR (connect, load, grab every page into DIR, quit) and --measure
// (print the time to the window shown and the resident size after connecting and loading, quit).
struct TProgramOptions {
    QString Simulate; // "", "ostra" or "vello"
    std::vector<std::pair<int, QString>> ComPaths;
    std::vector<std::pair<QString, QString>> UsbBridges;
    QString TraceFile; // the link trace for support; empty: none
    bool Help = false;
    bool Version = false;
    QString ScreenshotDir;
    bool Measure = false;
};

// Reads the arguments after the program name. False with the reason in
// `error` for an unknown switch or a malformed value.
bool ParseProgramOptions(const QStringList &args, TProgramOptions &options, QString &error);

// The usage text of --help.
QString ProgramUsage();
