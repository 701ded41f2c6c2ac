#pragma once

#include <gtest/gtest.h>

#include "common/Errormanager.h"

#include <QString>

#include <chrono>
#include <functional>
#include <string>

namespace zelvo::test
{

// Waits until cond() holds or the deadline passes, processing Qt events
// meanwhile so queued and blocking-queued calls from other threads run.
// Returns whether the condition held.
bool WaitFor(const std::function<bool()> &cond,
             std::chrono::milliseconds deadline = std::chrono::seconds(10));

// Path of a file in the source tree (ZELVO_SOURCE_DIR set by CTest).
std::string SourcePath(const std::string &relative);

// A fresh temporary directory, removed at process exit.
std::string TempDir();

// The path of a Log.txt in a fresh temporary directory, for a test's own
// error manager.
QString FreshLogPath();

// A test with an error manager of its own on a fresh log, handed to the code
// under test, so its log lines and status texts can be checked.
class TWithErrorLog : public ::testing::Test
{
protected:
    // The log lines not yet written to the file.
    QString Log() const { return Errors.PendingLog(); }

    // The log the code under test is given.
    TErrorManager Errors{FreshLogPath()};
};

} // namespace zelvo::test
