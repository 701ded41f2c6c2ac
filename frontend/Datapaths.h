#pragma once

#include <QString>

// Where the front ends find their shipped data (networks.xml, Images/) and
// where they append Log.txt. One place for the window and zelvo-cli, so an
// installed tool behaves the same whichever front end is started.

// The shipped data directory of an installed tool: share/zelvo-marlune under
// the prefix the executable runs from (<prefix>/bin/../share/zelvo-marlune);
// on Windows the executable's own directory, where the installer puts it.
QString InstalledDataDir();

// The data file at the relative path (for example "networks.xml" or
// "Images/working_generic.avi"): in workDir when it is there, else in
// installedDir when it is there, else the workDir path, so that a message
// about a missing file names the first place looked at.
QString FindDataFile(const QString &relativePath, const QString &workDir,
                     const QString &installedDir);
// FindDataFile with the working directory and InstalledDataDir().
QString DataFilePath(const QString &relativePath);

// Log.txt in workDir when it can be appended to there (an existing file that
// is writable, or a directory in which one can be created); otherwise in
// userDataDir, which is created when missing. Nothing is left behind by the
// check itself.
QString ChooseLogFilePath(const QString &workDir, const QString &userDataDir);
// The user's data location shared by both front ends:
// $XDG_DATA_HOME/zelvo-marlune (normally ~/.local/share/zelvo-marlune);
// on Windows %LOCALAPPDATA%\zelvo-marlune.
QString UserDataDir();
// True when the file can be appended to (tried with the system's own open
// call, because permission bits say nothing for an administrator or a
// read-only medium); a file created for the check is removed again.
bool CanAppendTo(const QString &path);
// ChooseLogFilePath with the working directory and UserDataDir().
QString LogFilePath();
