#include "link/Ttydevice.h"

#include "link/Linkabort.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ttydevice
{

namespace
{

uint32_t OpenErrorFromErrno(int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
        return kErrorFileNotFound;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return kErrorAccessDenied;
    default:
        return kErrorGeneral;
    }
}

bool SpeedFor(int32_t baud, speed_t &speed)
{
    struct Entry {
        int32_t Baud;
        speed_t Speed;
    };
    static const Entry table[] = {
        {50, B50},         {75, B75},         {110, B110},         {134, B134},
        {150, B150},       {200, B200},       {300, B300},         {600, B600},
        {1200, B1200},     {1800, B1800},     {2400, B2400},       {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},     {57600, B57600},
        {115200, B115200}, {230400, B230400}, {460800, B460800},   {500000, B500000},
        {576000, B576000}, {921600, B921600}, {1000000, B1000000},
    };
    for (const Entry &e : table) {
        if (e.Baud == baud) {
            speed = e.Speed;
            return true;
        }
    }
    return false;
}

using Clock = std::chrono::steady_clock;

// Milliseconds left until `deadline`, rounded up so a wait never ends
// before it; 0 once it has passed.
int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events`, the time left runs out or the
// abort is set. False when the transfer must end as failed: the device
// failed, hung up without data, or the abort was set.
bool WaitReady(int fd, short events, int timeoutMs, const TLinkAbort *abort)
{
    pollfd p[2] = {{fd, events, 0}, {-1, POLLIN, 0}};
    nfds_t count = 1;
    if (abort != nullptr && abort->Fd() >= 0) {
        p[1].fd = abort->Fd();
        count = 2;
    } else if (abort != nullptr) {
        // Only the flag to go by: look at it every few milliseconds.
        timeoutMs = std::min(timeoutMs, 20);
    }
    const int r = ::poll(p, count, timeoutMs);
    if (r < 0 && errno != EINTR)
        return false;
    if (abort != nullptr && abort->IsSet())
        return false;
    // A hung-up line without data will not bring any more bytes.
    if (r > 0 && !(p[0].revents & events) && (p[0].revents & (POLLHUP | POLLERR | POLLNVAL)))
        return false;
    return true;
}

} // namespace

int OpenExclusive(const std::string &path, uint32_t &error)
{
    if (path.empty()) {
        error = kErrorFileNotFound;
        return -1;
    }
    // Non-blocking stays on for the descriptor's life: every transfer waits
    // in poll against its own deadline, so no read or write can outlast it.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = OpenErrorFromErrno(errno);
        return -1;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        error = kErrorFileNotFound;
        return -1;
    }
    // The lock is what refuses a second program: root ignores TIOCEXCL.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        error = OpenErrorFromErrno(err == EWOULDBLOCK ? EBUSY : err);
        return -1;
    }
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

void Close(int fd)
{
    if (fd < 0)
        return;
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

bool GetState(int fd, termios &state)
{
    return fd >= 0 && ::tcgetattr(fd, &state) == 0;
}

bool SetState(int fd, const termios &state)
{
    if (fd < 0 || ::tcsetattr(fd, TCSANOW, &state) != 0)
        return false;
    // DTR on; RTS follows the flow mode: off without hardware handshake (the
    // driver then leaves it alone). Lines a device lacks (a pty) are ignored.
    int dtr = TIOCM_DTR;
    ::ioctl(fd, TIOCMBIS, &dtr);
    if (!(state.c_cflag & CRTSCTS)) {
        int rts = TIOCM_RTS;
        ::ioctl(fd, TIOCMBIC, &rts);
    }
    return true;
}

bool Purge(int fd)
{
    return fd >= 0 && ::tcflush(fd, TCIOFLUSH) == 0;
}

bool DiscardInput(int fd, std::size_t &discarded)
{
    discarded = 0;
    if (fd < 0)
        return false;
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0)
        discarded = static_cast<std::size_t>(waiting);
    return ::tcflush(fd, TCIFLUSH) == 0;
}

bool ApplyLineParameters(termios &state, int32_t baud, int32_t dataBits, int32_t stopBits,
                         int32_t parity, int32_t flow)
{
    if (dataBits != 7 && dataBits != 8)
        return false;
    if (stopBits != 1 && stopBits != 2)
        return false;
    if (parity < 0 || parity > 2)
        return false;
    if (flow != 0 && flow != 1)
        return false;

    termios t = state;
    // Raw bytes both ways: no echo, no line editing, no CR/LF translation,
    // no software flow control, break and parity errors not turned into bytes.
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD | CRTSCTS);
    t.c_cflag |= CREAD | CLOCAL | (dataBits == 7 ? CS7 : CS8);
    if (stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (parity != 0)
        t.c_cflag |= PARENB | (parity == 1 ? PARODD : 0);
    if (flow == 1)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;

    speed_t speed{};
    if (SpeedFor(baud, speed)) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    } else {
        // A speed the line cannot take: the device refuses the settings.
        return false;
    }
    state = t;
    return true;
}

namespace
{

// Moves n bytes with `step` (one read or write at an offset), waiting for
// `events` between partial transfers, until done, the deadline or an abort.
template <typename Step>
bool TransferTotal(int fd, std::size_t n, uint32_t timeoutMs, std::size_t &done,
                   const TLinkAbort *abort, short events, Step step)
{
    done = 0;
    if (fd < 0 || (abort != nullptr && abort->IsSet()))
        return false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (done < n) {
        const ssize_t moved = step(done);
        if (moved > 0) {
            done += static_cast<std::size_t>(moved);
            continue;
        }
        if (moved < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return false;
        const int left = RemainingMs(deadline);
        if (left == 0)
            return true;
        if (!WaitReady(fd, events, left, abort))
            return false;
    }
    return true;
}

} // namespace

bool ReadTotal(int fd, uint8_t *buffer, std::size_t n, uint32_t timeoutMs, std::size_t &done,
               const TLinkAbort *abort)
{
    return TransferTotal(fd, n, timeoutMs, done, abort, POLLIN,
                         [&](std::size_t at) { return ::read(fd, buffer + at, n - at); });
}

bool WriteTotal(int fd, const uint8_t *buffer, std::size_t n, uint32_t timeoutMs, std::size_t &done,
                const TLinkAbort *abort)
{
    return TransferTotal(fd, n, timeoutMs, done, abort, POLLOUT,
                         [&](std::size_t at) { return ::write(fd, buffer + at, n - at); });
}

} // namespace ttydevice
