#include "PtyPeer.h"

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace zelvo::test
{

TPtyPeer::TPtyPeer()
{
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128] = {};
    if (::ptsname_r(FMaster, name, sizeof name) != 0)
        throw std::runtime_error("no pseudo-terminal name");
    FSlavePath = name;
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);
}

TPtyPeer::~TPtyPeer()
{
    Stop();
    ::close(FMaster);
}

void TPtyPeer::Start(TScript script)
{
    Stop();
    FScript = std::move(script);
    FStop = false;
    FThread = std::thread([this] { Run(); });
}

void TPtyPeer::Stop()
{
    FStop = true;
    if (FThread.joinable())
        FThread.join();
}

std::vector<TRequest> TPtyPeer::Requests() const
{
    std::lock_guard<std::mutex> guard(FLock);
    return FRequests;
}

std::size_t TPtyPeer::CountOf(uint8_t command) const
{
    std::lock_guard<std::mutex> guard(FLock);
    std::size_t n = 0;
    for (const TRequest &r : FRequests)
        n += r.Command == command ? 1 : 0;
    return n;
}

void TPtyPeer::WriteRaw(const std::vector<uint8_t> &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(FMaster, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return;
        } else {
            pollfd p{FMaster, POLLOUT, 0};
            ::poll(&p, 1, 50);
        }
    }
}

std::vector<uint8_t> TPtyPeer::ReadRaw(std::size_t n, std::chrono::milliseconds deadline)
{
    std::vector<uint8_t> out;
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (out.size() < n && std::chrono::steady_clock::now() < end) {
        uint8_t buf[512];
        const ssize_t got = ::read(FMaster, buf, std::min(sizeof buf, n - out.size()));
        if (got > 0) {
            out.insert(out.end(), buf, buf + got);
            continue;
        }
        pollfd p{FMaster, POLLIN, 0};
        if (::poll(&p, 1, 5) > 0 && !(p.revents & POLLIN)) {
            // Slave not open: nothing can arrive until it is.
            pollfd none{-1, 0, 0};
            ::poll(&none, 1, 2);
        }
    }
    return out;
}

void TPtyPeer::Run()
{
    std::vector<uint8_t> pending;
    while (!FStop) {
        pollfd p{FMaster, POLLIN, 0};
        const int r = ::poll(&p, 1, 10);
        if (r <= 0)
            continue;
        if (!(p.revents & POLLIN)) {
            // The slave is closed; wait a moment for it to be opened again.
            pollfd none{-1, 0, 0};
            ::poll(&none, 1, 2);
            continue;
        }
        uint8_t buf[1024];
        const ssize_t got = ::read(FMaster, buf, sizeof buf);
        if (got <= 0)
            continue;
        pending.insert(pending.end(), buf, buf + got);
        // Take every complete request frame; drop bytes before a start byte.
        for (;;) {
            while (!pending.empty() && pending[0] != 0x0A)
                pending.erase(pending.begin());
            if (pending.size() < 2 || pending.size() < pending[1] + 4u)
                break;
            const std::size_t length = pending[1] + 4u;
            TRequest req;
            req.Raw.assign(pending.begin(), pending.begin() + static_cast<long>(length));
            req.Command = pending[2];
            req.Payload.assign(pending.begin() + 3,
                               pending.begin() + static_cast<long>(length) - 1);
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(length));
            {
                std::lock_guard<std::mutex> guard(FLock);
                FRequests.push_back(req);
            }
            const std::vector<uint8_t> reply = FScript ? FScript(req) : std::vector<uint8_t>{};
            if (!reply.empty())
                WriteRaw(reply);
        }
    }
}

} // namespace zelvo::test
