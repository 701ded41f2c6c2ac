#pragma once

// A comms interface that answers from a script instead of a port, so the
// unit object and the parser run synchronously on the test thread.

#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "link/Zelvocommsinterface.h"

class TFakeComms : public TZelvoCommsInterface
{
public:
    // One scripted answer: data, or a failed exchange (nullopt / default).
    struct Reply {
        Reply() = default;
        Reply(std::nullopt_t) {}
        Reply(std::vector<uint8_t> data) : Ok(true), Data(std::move(data)) {}
        bool Ok = false;
        std::vector<uint8_t> Data;
    };

    // A reply whose checksum did not match: the framer hands over its data
    // and length but the exchange fails.
    static Reply Damaged(std::vector<uint8_t> data)
    {
        Reply r(std::move(data));
        r.Ok = false;
        return r;
    }

    struct Frame {
        uint8_t Command;
        std::vector<uint8_t> Payload;
    };

    explicit TFakeComms(bool usb = true) : TZelvoCommsInterface(TPacing::Shrunk(1000))
    {
        SelectPort(usb, 1, 19200);
    }

    // Replies queued for a command, used in order; when the queue is empty
    // the command's standing reply is used (a failure if none is set).
    void Queue(uint8_t command, Reply reply) { Queued[command].push_back(std::move(reply)); }
    void Always(uint8_t command, Reply reply) { Standing[command] = std::move(reply); }

    std::vector<Frame> Sent;       // every Send and QueryWithPayload, in order
    std::vector<uint8_t> Commands; // every command exchanged, in order
    bool SendsSucceed = true;

    int CountOf(uint8_t command) const
    {
        int n = 0;
        for (auto c : Commands)
            n += c == command;
        return n;
    }

    bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength) override
    {
        Commands.push_back(command);
        const Reply r = Next(command);
        if (!r.Ok && r.Data.empty())
            return false;
        if (!r.Data.empty())
            std::memcpy(reply, r.Data.data(), r.Data.size());
        replyLength = static_cast<int32_t>(r.Data.size());
        return r.Ok;
    }

    bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                          uint8_t *reply, int32_t &replyLength) override
    {
        Sent.push_back({command, std::vector<uint8_t>(payload, payload + payloadLength)});
        return Query(command, reply, replyLength);
    }

    bool Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength) override
    {
        Commands.push_back(command);
        Sent.push_back({command, std::vector<uint8_t>(payload, payload + payloadLength)});
        if (auto it = Queued.find(command); it != Queued.end() && !it->second.empty()) {
            const bool ok = it->second.front().Ok;
            it->second.pop_front();
            return ok;
        }
        return SendsSucceed;
    }

private:
    Reply Next(uint8_t command)
    {
        if (auto it = Queued.find(command); it != Queued.end() && !it->second.empty()) {
            Reply r = it->second.front();
            it->second.pop_front();
            return r;
        }
        if (auto it = Standing.find(command); it != Standing.end())
            return it->second;
        return Reply();
    }

    std::map<uint8_t, std::deque<Reply>> Queued;
    std::map<uint8_t, Reply> Standing;
};

// Reply-building helpers for the server message decoders.
namespace replybytes
{

inline void U16(std::vector<uint8_t> &v, uint16_t x)
{
    v.push_back(static_cast<uint8_t>(x));
    v.push_back(static_cast<uint8_t>(x >> 8));
}

inline void U32(std::vector<uint8_t> &v, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

inline void F32(std::vector<uint8_t> &v, float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    U32(v, bits);
}

// Appends the checksum that makes every byte add up to 0 modulo 256.
inline std::vector<uint8_t> WithChecksum(std::vector<uint8_t> v)
{
    uint8_t sum = 0;
    for (auto b : v)
        sum = static_cast<uint8_t>(sum + b);
    v.push_back(static_cast<uint8_t>(-sum));
    return v;
}

// One I/O-configuration record as the server sends it.
inline void IOConfigRecord(std::vector<uint8_t> &v, int32_t id, const char (&tag)[7],
                           uint8_t inputType, uint32_t uomId, uint8_t flags,
                           const std::string &name)
{
    U32(v, static_cast<uint32_t>(id));
    v.insert(v.end(), tag, tag + 6);
    v.push_back(inputType);
    U32(v, uomId);
    v.push_back(flags);
    v.push_back(static_cast<uint8_t>(name.size()));
    v.insert(v.end(), name.begin(), name.end());
}

} // namespace replybytes
