#include "link/Portdevice.h"
#include "link/Portmap.h"

#include <map>
#include <mutex>
#include <set>

#include "common/Bytepipe.h"
#include "link/Linkabort.h"
#include "link/Portdiagnosis.h"

namespace
{

struct TPipeRegistry {
    std::mutex Lock;
    std::map<int, std::shared_ptr<TBytePipeEnd>> Com;
    std::map<std::string, std::shared_ptr<TBytePipeEnd>> Bridges;
    // Ends a port has open now: a second open is refused, as a held device.
    std::set<const TBytePipeEnd *> InUse;
};

TPipeRegistry &Registry()
{
    static TPipeRegistry registry;
    return registry;
}

// The line settings a pipe keeps: stored and given back, never applied.
struct TPipeLine {
    int32_t BaudRate = 9600;
    int32_t DataBits = 8;
    int32_t StopBits = 1;
    int32_t Parity = 0;
    int32_t FlowMode = 0;
};

class TPipePortDevice final : public TPortDevice
{
public:
    explicit TPipePortDevice(std::shared_ptr<TBytePipeEnd> end) : FEnd(std::move(end)) {}
    ~TPipePortDevice() override { Close(); }

    int32_t Open(const std::string & /*name*/) override
    {
        if (FOpen)
            Close();
        if (!FEnd || FEnd->IsHungUp())
            return PortErrorNotFound;
        {
            TPipeRegistry &r = Registry();
            std::lock_guard<std::mutex> guard(r.Lock);
            if (!r.InUse.insert(FEnd.get()).second)
                return PortErrorAccessDenied;
        }
        FOpen = true;
        FSaved = FLine;
        return PortOK;
    }

    void Close() override
    {
        if (!FOpen)
            return;
        FLine = FSaved;
        TPipeRegistry &r = Registry();
        std::lock_guard<std::mutex> guard(r.Lock);
        r.InUse.erase(FEnd.get());
        FOpen = false;
    }

    bool IsOpen() const override { return FOpen; }

    int32_t SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits, int32_t parity,
                              int32_t flowMode) override
    {
        if (!FOpen)
            return PortErrorIO;
        if ((dataBits != 7 && dataBits != 8) || (stopBits != 1 && stopBits != 2) || parity < 0 ||
            parity > 2 || (flowMode != 0 && flowMode != 1))
            return PortErrorParameter;
        FLine = TPipeLine{baudRate, dataBits, stopBits, parity, flowMode};
        return PortOK;
    }

    int32_t SetTimeouts(const TCommTimeouts &timeouts) override
    {
        FTimeouts = timeouts;
        return FOpen ? PortOK : PortErrorIO;
    }

    // What was written has already crossed; only the receive side holds bytes.
    int32_t Purge() override
    {
        if (!FOpen)
            return PortErrorIO;
        FEnd->DiscardInput();
        return PortOK;
    }

    int32_t DiscardInput(std::size_t &discarded) override
    {
        discarded = 0;
        if (!FOpen)
            return PortErrorIO;
        discarded = FEnd->DiscardInput();
        return PortOK;
    }

    int32_t Read(uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        return Transfer(done, [&](std::size_t &moved, const TBytePipeEnd::TCancel &cancel) {
            return FEnd->Read(buffer, count,
                              std::chrono::milliseconds(FTimeouts.ReadTotalTimeoutConstant), moved,
                              cancel);
        });
    }

    int32_t Write(const uint8_t *buffer, uint32_t count, uint32_t &done) override
    {
        return Transfer(done, [&](std::size_t &moved, const TBytePipeEnd::TCancel &cancel) {
            return FEnd->Write(buffer, count,
                               std::chrono::milliseconds(FTimeouts.WriteTotalTimeoutConstant),
                               moved, cancel);
        });
    }

private:
    template <typename Op> int32_t Transfer(uint32_t &done, Op op)
    {
        done = 0;
        if (!FOpen || (FAbort != nullptr && FAbort->IsSet()))
            return PortErrorIO;
        const TLinkAbort *abort = FAbort;
        TBytePipeEnd::TCancel cancel;
        if (abort != nullptr)
            cancel = [abort] { return abort->IsSet(); };
        std::size_t moved = 0;
        const TPipeResult r = op(moved, cancel);
        done = static_cast<uint32_t>(moved);
        return r == TPipeResult::Ok || r == TPipeResult::TimedOut ? PortOK : PortErrorIO;
    }

    std::shared_ptr<TBytePipeEnd> FEnd;
    bool FOpen = false;
    TPipeLine FLine;
    TPipeLine FSaved;
    TCommTimeouts FTimeouts{};
};

} // namespace

std::unique_ptr<TPortDevice> MakePipePortDevice(std::shared_ptr<TBytePipeEnd> end)
{
    return std::make_unique<TPipePortDevice>(std::move(end));
}

void RegisterPipeComPort(int number, std::shared_ptr<TBytePipeEnd> end)
{
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    if (end)
        r.Com[number] = std::move(end);
    else
        r.Com.erase(number);
}

void RegisterPipeBridge(const std::string &description, std::shared_ptr<TBytePipeEnd> end)
{
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    if (end)
        r.Bridges[description] = std::move(end);
    else
        r.Bridges.erase(description);
}

void ClearPipePorts()
{
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    r.Com.clear();
    r.Bridges.clear();
}

std::shared_ptr<TBytePipeEnd> PipeForPortName(const std::string &name)
{
    const int number = ComPortNumber(name);
    if (number < 1)
        return nullptr;
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    const auto it = r.Com.find(number);
    return it == r.Com.end() ? nullptr : it->second;
}

std::shared_ptr<TBytePipeEnd> PipeForBridge(const std::string &description)
{
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    const auto it = r.Bridges.find(description);
    return it == r.Bridges.end() ? nullptr : it->second;
}

uint32_t PipeBridgeCount()
{
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    return static_cast<uint32_t>(r.Bridges.size());
}

bool PipePortInUse(const std::shared_ptr<TBytePipeEnd> &end)
{
    TPipeRegistry &r = Registry();
    std::lock_guard<std::mutex> guard(r.Lock);
    return end && r.InUse.count(end.get()) > 0;
}

TPortDiagnosis DiagnosePipePort(const std::string &label, const std::shared_ptr<TBytePipeEnd> &end)
{
    TPortDiagnosis d;
    d.Path = label;
    if (!end || end->IsHungUp()) {
        d.Problem = TPortProblem::Missing;
        d.Line = label + ": the simulated unit behind it has stopped.";
    } else if (PipePortInUse(end)) {
        d.Problem = TPortProblem::Held;
        d.Line = label + ": the simulated unit is already connected through another port.";
    } else {
        d.Problem = TPortProblem::None;
        d.Line = label + ": the simulated unit answers the open now; it may have been busy for a "
                         "moment.";
    }
    return d;
}
