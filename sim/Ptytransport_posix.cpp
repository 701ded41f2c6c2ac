#include "sim/Transport.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace zsim
{

namespace
{

class PtyTransport : public Transport
{
public:
    ~PtyTransport() override
    {
        if (!linkPath.empty()) {
            struct stat st {
            };
            if (::lstat(linkPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
                ::unlink(linkPath.c_str());
        }
        for (int fd : {master, wake[0], wake[1]})
            if (fd >= 0)
                ::close(fd);
    }

    long Read(uint8_t *buf, size_t n, int timeoutMs) override
    {
        // With no tool on the slave the master reports a hang-up without end;
        // then look again every 20 ms instead of spinning.
        pollfd fds[2] = {{wake[0], POLLIN, 0}, {master, short(hup ? 0 : POLLIN), 0}};
        int r = ::poll(fds, 2, hup ? 20 : timeoutMs);
        if (r < 0)
            return errno == EINTR ? kNothing : kFailed;
        if (fds[0].revents & POLLIN) {
            char drain[16];
            while (::read(wake[0], drain, sizeof drain) > 0) {
            }
            return kNothing;
        }
        if (hup) {
            pollfd probe{master, POLLIN, 0};
            if (::poll(&probe, 1, 0) > 0 && (probe.revents & POLLHUP) && !(probe.revents & POLLIN))
                return kNothing;
            hup = false;
            return kNothing;
        }
        if (fds[1].revents & POLLIN) {
            ssize_t got = ::read(master, buf, n);
            if (got > 0)
                return long(got);
            if (got < 0 && errno != EAGAIN && errno != EINTR) {
                hup = true; // EIO: the slave was closed
                return kHangUp;
            }
            return kNothing;
        }
        if (fds[1].revents & (POLLHUP | POLLERR)) {
            hup = true;
            return kHangUp;
        }
        return kNothing;
    }

    long Write(const uint8_t *buf, size_t n, int timeoutMs) override
    {
        for (;;) {
            ssize_t w = ::write(master, buf, n);
            if (w >= 0)
                return long(w);
            if (errno != EAGAIN && errno != EINTR)
                return -1;
            pollfd p{master, POLLOUT, 0};
            if (::poll(&p, 1, timeoutMs) == 0)
                return 0;
        }
    }

    void Wake() override
    {
        char c = 1;
        [[maybe_unused]] ssize_t w = ::write(wake[1], &c, 1);
    }

    std::string PeerName() const override { return slave; }

    int master = -1;
    int wake[2] = {-1, -1};
    bool hup = false;
    std::string slave;
    std::string linkPath;
};

} // namespace

std::unique_ptr<Transport> OpenPtyTransport(const std::string &linkPath, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return nullptr;
    };
    int m = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m < 0)
        return fail(std::string("posix_openpt: ") + std::strerror(errno));
    auto t = std::make_unique<PtyTransport>();
    t->master = m;
    char name[128];
    if (::grantpt(m) != 0 || ::unlockpt(m) != 0 || ::ptsname_r(m, name, sizeof name) != 0)
        return fail(std::string("pseudo-terminal: ") + std::strerror(errno));
    // Raw mode for the pair, so nothing is echoed or translated; the line
    // settings of a real unit for a tool that reads them back.
    termios tio{};
    if (::tcgetattr(m, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cflag |= CSTOPB | CLOCAL | CREAD;
        ::cfsetispeed(&tio, B19200);
        ::cfsetospeed(&tio, B19200);
        ::tcsetattr(m, TCSANOW, &tio);
    }
    ::fcntl(m, F_SETFL, ::fcntl(m, F_GETFL) | O_NONBLOCK);
    if (::pipe(t->wake) != 0)
        return fail("pipe failed");
    ::fcntl(t->wake[0], F_SETFL, O_NONBLOCK);
    t->slave = name;
    if (!linkPath.empty()) {
        struct stat st {
        };
        // Replace an old link of ours, never a real file.
        if (::lstat(linkPath.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                return fail(linkPath + " exists and is not a symbolic link");
            ::unlink(linkPath.c_str());
        }
        if (::symlink(name, linkPath.c_str()) != 0)
            return fail("symlink: " + std::string(std::strerror(errno)));
        t->linkPath = linkPath;
    }
    return t;
}

} // namespace zsim
