#pragma once

#include <gtest/gtest.h>

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

// Makes the global error manager anew on a Log.txt in a fresh temporary
// directory; returns the log's path.
QString FreshErrorLog();

// A test with the global error manager on a fresh log of its own, so the log
// lines of the code under test can be checked.
class TWithErrorLog : public ::testing::Test
{
protected:
    void SetUp() override { FreshErrorLog(); }
    void TearDown() override;
    // The log lines not yet written to the file.
    static QString Log();
};

} // namespace zelvo::test
