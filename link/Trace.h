#pragma once

// The link trace for support: every frame written and read, with a
// millisecond time stamp, its direction, its bytes in hex and the command's
// name, and every link event (open, close, time-out, purge). Off unless a
// front end installs it; then safe from any thread.

#include <cstddef>
#include <cstdint>
#include <string>

namespace linktrace
{

// Starts tracing into `path` (replaced). False with the reason when the file
// cannot be written. Installing again switches to the new file.
bool Install(const std::string &path, std::string *error = nullptr);
// Ends tracing and closes the file.
void Uninstall();
bool Active();

// A frame: "->" written to the unit, "<-" read from it. `command` names the
// exchange the bytes belong to; `note` is appended when given.
void Frame(const char *direction, uint8_t command, const uint8_t *bytes, std::size_t count,
           const char *note = nullptr);
// A link event, e.g. "open COM5", "time-out", "purge".
void Event(const std::string &text);

// The name of a command code, e.g. "CMD_READ_SF_STATE".
const char *CommandName(uint8_t command);

} // namespace linktrace
