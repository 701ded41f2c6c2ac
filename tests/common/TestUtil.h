#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace zelvo::test {

// Waits until cond() holds or the deadline passes, processing Qt events
// meanwhile so queued and blocking-queued calls from other threads run.
// Returns whether the condition held.
bool WaitFor(const std::function<bool()> &cond,
             std::chrono::milliseconds deadline = std::chrono::seconds(10));

// Path of a file in the source tree (ZELVO_SOURCE_DIR set by CTest).
std::string SourcePath(const std::string &relative);

// A fresh temporary directory, removed at process exit.
std::string TempDir();

} // namespace zelvo::test
