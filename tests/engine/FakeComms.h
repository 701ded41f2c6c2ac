#pragma once

#include "link/Zelvocommsinterface.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// A link that answers from a script instead of a unit, for the engine's
// pure unit tests. Each exchange takes the next scripted answer for its
// command; an unscripted command fails as a silent unit would.
struct TFakeAnswer {
    bool Ok = true;
    std::vector<std::uint8_t> Data; // empty: ACK without data
};

class TFakeComms : public TZelvoCommsInterface
{
public:
    using TAnswer = TFakeAnswer;

    TFakeComms() : TZelvoCommsInterface(TPacing::Shrunk(1000)) {}

    void Script(std::uint8_t command, TAnswer answer) { FScript[command].push_back(answer); }
    // Every further exchange of the command gets this answer.
    void Always(std::uint8_t command, TAnswer answer)
    {
        FHasAlways[command] = true;
        FAlways[command] = answer;
    }

    struct TSent {
        std::uint8_t Command;
        std::vector<std::uint8_t> Payload;
    };
    const std::vector<TSent> &Sent() const { return FSent; }
    void ClearSent() { FSent.clear(); }
    // The store-and-forward requests sent (payloads of command 0x16), in order.
    std::vector<int> SFCommands() const
    {
        std::vector<int> out;
        for (const auto &s : FSent)
            if (s.Command == 0x16 && s.Payload.size() == 1)
                out.push_back(s.Payload[0]);
        return out;
    }
    int Count(std::uint8_t command) const
    {
        int n = 0;
        for (const auto &s : FSent)
            n += s.Command == command ? 1 : 0;
        return n;
    }
    int CountSent(std::uint8_t command, std::vector<std::uint8_t> payload) const
    {
        int n = 0;
        for (const auto &s : FSent)
            n += (s.Command == command && s.Payload == payload) ? 1 : 0;
        return n;
    }

    bool Open() override
    {
        ++OpenCount;
        return OpenResult;
    }
    void Close() override { ++CloseCount; }

    bool OpenResult = true;
    int OpenCount = 0;
    int CloseCount = 0;
    // Called with each exchange's command before it is answered: what the
    // other thread does while the worker is on the link.
    std::function<void(std::uint8_t command)> OnExchange;
    bool Query(std::uint8_t command, std::uint8_t *reply, std::int32_t &replyLength) override
    {
        return Exchange(command, nullptr, 0, reply, replyLength);
    }
    bool QueryWithPayload(std::uint8_t command, const std::uint8_t *payload,
                          std::uint32_t payloadLength, std::uint8_t *reply,
                          std::int32_t &replyLength) override
    {
        return Exchange(command, payload, payloadLength, reply, replyLength);
    }
    bool Send(std::uint8_t command, const std::uint8_t *payload,
              std::uint32_t payloadLength) override
    {
        std::int32_t ignored = 0;
        return Exchange(command, payload, payloadLength, nullptr, ignored);
    }

private:
    bool Exchange(std::uint8_t command, const std::uint8_t *payload, std::uint32_t length,
                  std::uint8_t *reply, std::int32_t &replyLength)
    {
        if (OnExchange)
            OnExchange(command);
        FSent.push_back({command, std::vector<std::uint8_t>(payload, payload + length)});
        TAnswer answer;
        auto &queue = FScript[command];
        if (!queue.empty()) {
            answer = queue.front();
            queue.pop_front();
        } else if (FHasAlways[command]) {
            answer = FAlways[command];
        } else {
            return false;
        }
        if (!answer.Ok)
            return false;
        if (!answer.Data.empty()) {
            if (reply == nullptr)
                return false; // Send wants an ACK without data
            for (std::size_t i = 0; i < answer.Data.size(); ++i)
                reply[i] = answer.Data[i];
            replyLength = static_cast<std::int32_t>(answer.Data.size());
        }
        return true;
    }

    std::deque<TAnswer> FScript[256];
    bool FHasAlways[256]{};
    TAnswer FAlways[256];
    std::vector<TSent> FSent;
};
