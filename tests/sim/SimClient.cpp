#include "SimClient.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace zsimtest
{

using Clock = std::chrono::steady_clock;

bool Answer::checksumOk() const
{
    if (!complete || raw.size() < 4)
        return false;
    uint8_t x = 0;
    for (size_t i = 0; i + 1 < raw.size(); ++i)
        x ^= raw[i];
    return x == raw.back();
}

Bytes Answer::data() const
{
    if (!hasData() || raw.size() < 4)
        return {};
    return Bytes(raw.begin() + 3, raw.end() - 1);
}

SimClient::SimClient(const std::string &path)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        return;
    termios t{};
    ::tcgetattr(fd_, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd_, TCSANOW, &t);
    ::tcflush(fd_, TCIOFLUSH);
}

SimClient::~SimClient()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void SimClient::WriteRaw(const Bytes &b)
{
    size_t done = 0;
    while (done < b.size()) {
        ssize_t w = ::write(fd_, b.data() + done, b.size() - done);
        if (w > 0) {
            done += size_t(w);
        } else {
            pollfd p{fd_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return;
        }
    }
}

static bool ReadSome(int fd, Bytes &into, size_t want, Clock::time_point end)
{
    while (into.size() < want) {
        auto left = std::chrono::duration_cast<milliseconds>(end - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            return false;
        uint8_t b[300];
        ssize_t n = ::read(fd, b, want - into.size());
        if (n > 0)
            into.insert(into.end(), b, b + n);
    }
    return true;
}

Answer SimClient::ReadAnswer(milliseconds deadline)
{
    Answer a;
    auto end = Clock::now() + deadline;
    if (!ReadSome(fd_, a.raw, 1, end))
        return a;
    if (!(a.raw[0] & 2) || !(a.raw[0] & 1)) {
        a.complete = true;
        return a;
    }
    if (!ReadSome(fd_, a.raw, 2, end))
        return a;
    a.complete = ReadSome(fd_, a.raw, size_t(a.raw[1]) + 4, end);
    return a;
}

Bytes SimClient::Drain(milliseconds wait)
{
    Bytes b;
    ReadSome(fd_, b, 100000, Clock::now() + wait);
    return b;
}

Answer SimClient::Exchange(uint8_t cmd, const Bytes &payload, milliseconds deadline)
{
    WriteRaw(RequestFrame(cmd, payload));
    return ReadAnswer(deadline);
}

int SimClient::SfState()
{
    Answer a = Exchange(0x15);
    return a.checksumOk() && a.data().size() == 1 ? a.data()[0] : -1;
}

bool SimClient::SfCommand(uint8_t state)
{
    Answer a = Exchange(0x16, {state});
    return a.complete && a.raw == Bytes{0x01};
}

bool SimClient::WaitSf(int state, milliseconds deadline, milliseconds every)
{
    auto end = Clock::now() + deadline;
    while (Clock::now() < end) {
        if (SfState() == state)
            return true;
        std::this_thread::sleep_for(every);
    }
    return false;
}

bool SimClient::WriteMessage(const Bytes &m, bool bare)
{
    size_t sent = 0;
    for (uint8_t block = 0; sent < m.size(); ++block) {
        size_t n = std::min<size_t>(254, m.size() - sent);
        Bytes p;
        if (!bare || block == 0)
            p.push_back(block);
        for (size_t i = sent; i < sent + n; ++i)
            p.push_back(m[i]);
        Answer a = Exchange(0x17, p);
        if (!(a.complete && a.raw == Bytes{0x01}))
            return false;
        sent += n;
    }
    return true;
}

bool SimClient::ReadMessage(Bytes *out)
{
    Answer len = Exchange(0x18);
    if (!len.checksumOk() || len.data().size() != 2)
        return false;
    size_t total = size_t(len.data()[0] | len.data()[1] << 8);
    if (total == 0)
        return false;
    out->clear();
    size_t received = 0;
    int failures = 0;
    for (uint8_t block = 0; received < total && failures < 50;) {
        Answer a = Exchange(0x19, {block});
        if (!a.checksumOk() || a.data().empty()) {
            ++failures;
            continue;
        }
        Bytes d = a.data();
        out->insert(out->end(), d.begin() + 1, d.end());
        received += d.size();
        ++block;
    }
    return received == total;
}

bool SimClient::RunJob(uint16_t type, const Bytes &payload, Bytes *reply, uint8_t connect,
                       uint8_t next)
{
    if (SfState() != 0 || !SfCommand(connect) || !WaitSf(5))
        return false;
    return RunChained(type, payload, reply, next);
}

bool SimClient::RunChained(uint16_t type, const Bytes &payload, Bytes *reply, uint8_t next)
{
    if (!WriteMessage(Envelope(type, payload), type == 13))
        return false;
    if (!SfCommand(6) || !WaitSf(8))
        return false;
    if (!ReadMessage(reply))
        return false;
    return SfCommand(next);
}

zsim::Options FastOptions(zsim::Model m)
{
    zsim::Options o;
    o.model = m;
    o.sfStepMs = 3;
    o.applyResetMs = 60;
    o.frameGapMs = 100;
    return o;
}

bool SumIsZero(const Bytes &reply)
{
    uint8_t s = 0;
    for (uint8_t b : reply)
        s = uint8_t(s + b);
    return reply.size() > 1 && s == 0;
}

} // namespace zsimtest
