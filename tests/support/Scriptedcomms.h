#pragma once

// A unit that answers from a script instead of a serial port: the comms
// interface with every exchange run through the link's real frame exchange
// over an in-memory port. Each request takes the reply scripted for its
// command, turned into the bytes a unit would send; fault switches named as
// the simulator's (--fault) damage those bytes the way the simulator does.
// Written apart from the simulator, which it must not share code with.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "link/Zelvocommsinterface.h"
#include "tests/support/Wirerecord.h"

namespace zelvo::test
{

// What the scripted unit answers to one request.
class TReply
{
public:
    enum class TKind { Ack, Data, Refused, Silent };

    static TReply Ack() { return TReply(TKind::Ack, {}); } // accepted, no data
    static TReply Data(TBytes data) { return TReply(TKind::Data, std::move(data)); }
    static TReply Refused() { return TReply(TKind::Refused, {}); } // NACK
    static TReply Silent() { return TReply(TKind::Silent, {}); }   // no answer at all
    // Data bytes stand for a reply with data.
    TReply(TBytes data) : TReply(TKind::Data, std::move(data)) {}
    TReply(const TWireRecord &record) : TReply(TKind::Data, record.Bytes()) {}

    TKind Kind() const { return FKind; }
    const TBytes &Bytes() const { return FData; }

private:
    TReply(TKind kind, TBytes data) : FKind(kind), FData(std::move(data)) {}
    TKind FKind;
    TBytes FData;
};

// The unit's side of an in-memory wire: reads hand out the loaded bytes in
// order; a read that asks for more than is left takes what is left and
// reports a short transfer, as a silent unit does after the time-out.
// Writes always succeed and nothing waits to be discarded.
class TScriptedPort
{
public:
    TScriptedPort() = default;
    TScriptedPort(const uint8_t *data, std::size_t size) : FData(data, data + size) {}

    void Load(TBytes bytes)
    {
        FData = std::move(bytes);
        FAt = 0;
    }
    void Rewind() { FAt = 0; }
    bool Exhausted() const { return FAt >= FData.size(); }

    int32_t WriteBytes(const uint8_t *, uint32_t, uint32_t) { return 0; }
    int32_t DiscardInput() { return 0; }
    int32_t ReadBytes(uint8_t *buffer, uint32_t count, uint32_t timeout);

private:
    TBytes FData;
    std::size_t FAt = 0;
};

// What a Send gets that the script has no reply for.
enum class TUnscriptedSend { NoAnswer, Ack };

class TScriptedComms : public TZelvoCommsInterface
{
public:
    // `usb` selects the port kind, whose framer's behaviour the exchanges
    // have (the USB one clears the length first and fails a query whose
    // request could not be written); the interface's pacing is `pacing`.
    explicit TScriptedComms(bool usb = true,
                            TUnscriptedSend unscriptedSend = TUnscriptedSend::NoAnswer,
                            const TPacing &pacing = TPacing::Shrunk(1000));
    // A unit whose wire carries exactly these bytes, read in order whatever
    // is asked (a fuzz input); no scripts or faults apply, and retries follow
    // each other without a pause.
    TScriptedComms(const uint8_t *stream, std::size_t size, bool usb);

    struct TRequest {
        uint8_t Command = 0;
        TBytes Payload;
        bool IsSend = false; // Send, as opposed to Query / QueryWithPayload
    };

    // Replies. A request takes the first reply queued for its command, else
    // the block it asks for of the server reply queued, else the responder's,
    // else the command's standing reply; without any it gets no answer (a
    // Send gets what UnscriptedSend says).
    void Queue(uint8_t command, TReply reply) { FQueued[command].push_back(std::move(reply)); }
    void Always(uint8_t command, TReply reply) { FStanding.insert_or_assign(command, reply); }
    // A server reply ready for download: its total is given once, its
    // blocks by number until the next reply is queued (the unit keeps the
    // reply it holds).
    void QueueMessage(const TBytes &reply);
    // Replies computed from the request; nullopt passes to the standing reply.
    using TResponder = std::function<std::optional<TReply>(const TRequest &)>;
    void AnswerWith(TResponder responder) { FResponder = std::move(responder); }
    TUnscriptedSend UnscriptedSend;

    // Fault switches, written as the simulator's --fault NAME[=ARG][,once][,from=N]:
    //   nack[=CMD]          the request is refused
    //   bad-checksum[=CMD]  a reply with data comes with a wrong checksum
    //   short-reply[=CMD]   a reply with data is one data byte short, its frame sound
    //   silent              no request is answered
    //   silent-after=N      N requests are answered, none after them
    // CMD is a number or a CMD_ name. Requests are counted from 1 from the
    // switch on (the simulator counts from its start, where its switches are
    // set). A refused or unanswered request does not use up its scripted
    // reply. Throws std::invalid_argument on a switch it does not know.
    void Fault(const std::string &faultSwitch);
    void ClearFaults() { FFaults.clear(); }

    // Every request made, in order, whether or not it reached the wire
    // (none kept while KeepRequests is off, as in a timing loop).
    bool KeepRequests = true;
    const std::vector<TRequest> &Requests() const { return FRequests; }
    void ClearRequests() { FRequests.clear(); }
    std::vector<TRequest> Sends() const;
    int Count(uint8_t command) const;
    int Count(uint8_t command, const TBytes &payload) const;
    // The store-and-forward commands sent (the payloads of command 0x16), in order.
    std::vector<int> SFCommands() const;
    // Called with each request's command before it is answered.
    std::function<void(uint8_t command)> OnRequest;

    // Opening and closing touch no port.
    bool Open() override;
    void Close() override;
    bool OpenResult = true;
    int OpenCount = 0;
    int CloseCount = 0;

    bool Query(uint8_t command, uint8_t *reply, int32_t &replyLength) override;
    bool QueryWithPayload(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                          uint8_t *reply, int32_t &replyLength) override;
    bool Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength) override;

    TScriptedPort &Port() { return FPort; }

private:
    enum class TFaultKind { Nack, BadChecksum, ShortReply, Silent };
    struct TFault {
        TFaultKind Kind = TFaultKind::Nack;
        int Command = -1; // -1: any
        bool Once = false;
        long From = 1;       // armed from this request on, counted from the switch on
        long SwitchedAt = 0; // requests on the wire before the switch on
        bool Spent = false;
    };

    // Records the request; false when it cannot reach the wire.
    bool Begin(uint8_t command, const uint8_t *payload, uint32_t payloadLength, bool isSend);
    // The bytes the unit answers the last request with.
    TBytes Answer();
    TReply Scripted(const TRequest &request);
    bool Hit(TFaultKind kind, int command);

    bool FStream = false;
    TScriptedPort FPort;
    std::map<uint8_t, std::deque<TReply>> FQueued;
    std::map<uint8_t, TReply> FStanding;
    TResponder FResponder;
    std::vector<TBytes> FMessageBlocks;
    std::vector<TFault> FFaults;
    std::vector<TRequest> FRequests;
    TRequest FLast;
    long FOnWire = 0;
};

} // namespace zelvo::test
