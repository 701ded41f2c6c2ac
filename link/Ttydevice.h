#pragma once

// termios plumbing shared by the COM port and the USB bridge layer: both end
// up as a tty device opened exclusively, with a total time-out per transfer.

#include <cstddef>
#include <cstdint>
#include <string>

#include <termios.h>

class TLinkAbort;

namespace ttydevice
{

// Error codes reported for a failed open, as the port layers expect them.
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorGeneral = 31;

// Opens `path` for reading and writing as an existing device, exclusively
// (an advisory lock that fails when another program holds it, plus TIOCEXCL).
// Returns the descriptor, or -1 with `error` set to one of the codes above.
int OpenExclusive(const std::string &path, uint32_t &error);

// Releases the exclusive use and closes the descriptor.
void Close(int fd);

bool GetState(int fd, termios &state);
bool SetState(int fd, const termios &state);

// Discards both queues.
bool Purge(int fd);

// Discards the receive queue only; `discarded` is the count of bytes that
// were waiting in it.
bool DiscardInput(int fd, std::size_t &discarded);

// Fills `state` for the given line parameters in raw mode. Returns false for
// a value out of range, leaving `state` as it was.
bool ApplyLineParameters(termios &state, int32_t baud, int32_t dataBits, int32_t stopBits,
                         int32_t parity, int32_t flow);

// Moves exactly `n` bytes, waiting at most `timeoutMs` in total. `done` is
// the count actually moved; the result is false when the device failed or
// `abort` (when given) was set before or during the transfer.
bool ReadTotal(int fd, uint8_t *buffer, std::size_t n, uint32_t timeoutMs, std::size_t &done,
               const TLinkAbort *abort = nullptr);
bool WriteTotal(int fd, const uint8_t *buffer, std::size_t n, uint32_t timeoutMs, std::size_t &done,
                const TLinkAbort *abort = nullptr);

} // namespace ttydevice
