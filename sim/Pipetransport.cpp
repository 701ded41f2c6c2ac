#include "sim/Pipetransport.h"

#include "common/Bytepipe.h"

#include <atomic>

namespace zsim
{

namespace
{

class PipeTransport : public Transport
{
public:
    PipeTransport(std::shared_ptr<TBytePipeEnd> end, std::string name)
        : end(std::move(end)), name(std::move(name))
    {
    }
    // The unit going away is a hang-up for the tool.
    ~PipeTransport() override { end->Close(); }

    long Read(uint8_t *buf, size_t n, int timeoutMs) override
    {
        // Without a limit means: until woken or hung up.
        const auto timeout = std::chrono::milliseconds(timeoutMs < 0 ? 3600000 : timeoutMs);
        size_t done = 0;
        const TPipeResult r =
            end->ReadSome(buf, n, timeout, done, [this] { return woken.exchange(false); });
        if (done > 0)
            return long(done);
        // The tool's port borrows its end and never closes the pipe, so a
        // hang-up means the pipe itself is gone: nothing more to serve.
        return r == TPipeResult::Closed ? kFailed : kNothing;
    }

    long Write(const uint8_t *buf, size_t n, int timeoutMs) override
    {
        size_t done = 0;
        const TPipeResult r = end->Write(buf, n, std::chrono::milliseconds(timeoutMs), done);
        if (done == 0 && r == TPipeResult::Closed)
            return -1;
        return long(done);
    }

    void Wake() override { woken = true; }

    std::string PeerName() const override { return name; }

private:
    std::shared_ptr<TBytePipeEnd> end;
    std::string name;
    std::atomic<bool> woken{false};
};

} // namespace

std::unique_ptr<Transport> MakePipeTransport(std::shared_ptr<TBytePipeEnd> end,
                                             const std::string &peerName)
{
    if (!end)
        return nullptr;
    return std::make_unique<PipeTransport>(std::move(end), peerName);
}

} // namespace zsim
