#pragma once

// A pseudo-terminal whose slave end the code under test opens as its device,
// and a scripted unit on the master end: every request frame it reads is
// recorded and answered with whatever the script returns (frames from
// tests/support/Wirerecord.h).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zelvo::test
{

struct TRequest {
    uint8_t Command = 0;
    std::vector<uint8_t> Payload;
    std::vector<uint8_t> Raw;
};

class TPtyPeer
{
public:
    // Bytes to write back for a request; empty means stay silent.
    using TScript = std::function<std::vector<uint8_t>(const TRequest &)>;

    TPtyPeer();
    ~TPtyPeer();
    TPtyPeer(const TPtyPeer &) = delete;
    TPtyPeer &operator=(const TPtyPeer &) = delete;

    const std::string &SlavePath() const { return FSlavePath; }
    int MasterFd() const { return FMaster; }

    // Starts answering requests with `script` on a thread of its own.
    void Start(TScript script);
    void Stop();

    std::vector<TRequest> Requests() const;
    std::size_t CountOf(uint8_t command) const;

    // Raw access to the wire, without the script running.
    void WriteRaw(const std::vector<uint8_t> &bytes);
    // Reads up to `n` bytes, waiting at most `deadline` for them.
    std::vector<uint8_t> ReadRaw(std::size_t n, std::chrono::milliseconds deadline);

private:
    void Run();

    int FMaster = -1;
    std::string FSlavePath;
    TScript FScript;
    std::thread FThread;
    std::atomic<bool> FStop{false};
    mutable std::mutex FLock;
    std::vector<TRequest> FRequests;
};

} // namespace zelvo::test
