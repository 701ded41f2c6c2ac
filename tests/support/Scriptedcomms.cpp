#include "tests/support/Scriptedcomms.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>

#include "link/Framing.h"
#include "link/Portresult.h"
#include "link/Trace.h"

namespace zelvo::test
{

int32_t TScriptedPort::ReadBytes(uint8_t *buffer, uint32_t count, uint32_t)
{
    const std::size_t left = FData.size() - FAt;
    const std::size_t take = count <= left ? count : left;
    if (take > 0)
        std::memcpy(buffer, FData.data() + FAt, take);
    FAt += take;
    return take == count ? PortOK : PortErrorShortTransfer;
}

TScriptedComms::TScriptedComms(bool usb, TUnscriptedSend unscriptedSend, const TPacing &pacing)
    : TZelvoCommsInterface(pacing), UnscriptedSend(unscriptedSend)
{
    SelectPort(usb, 1, kDefaultBaudRate);
}

namespace
{

TPacing NoPauses()
{
    TPacing p = TPacing::Shrunk(1000);
    p.RetryPause = std::chrono::milliseconds(0);
    return p;
}

} // namespace

TScriptedComms::TScriptedComms(const uint8_t *stream, std::size_t size, bool usb)
    : TZelvoCommsInterface(NoPauses()), UnscriptedSend(TUnscriptedSend::NoAnswer), FStream(true),
      FPort(stream, size)
{
    SelectPort(usb, 1, kDefaultBaudRate);
}

void TScriptedComms::QueueMessage(const TBytes &reply)
{
    Queue(CMD_READ_MESSAGE_LENGTH, TWireRecord().U16(MessageTotal(reply)).Bytes());
    FMessageBlocks = MessageBlocks(reply);
}

namespace
{

[[noreturn]] void BadSwitch(const std::string &faultSwitch, const std::string &why)
{
    throw std::invalid_argument("fault \"" + faultSwitch + "\": " + why);
}

bool ParseNumber(const std::string &text, long &out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    out = std::strtol(text.c_str(), &end, 0);
    return *end == '\0' && out >= 0;
}

int ParseCommand(const std::string &faultSwitch, const std::string &text)
{
    long n = 0;
    if (ParseNumber(text, n) && n <= 0xFF)
        return static_cast<int>(n);
    for (int c = 0; c <= 0xFF; ++c)
        if (text == linktrace::CommandName(static_cast<uint8_t>(c)))
            return c;
    BadSwitch(faultSwitch, "no command \"" + text + "\"");
}

} // namespace

void TScriptedComms::Fault(const std::string &faultSwitch)
{
    std::vector<std::string> parts;
    std::stringstream in(faultSwitch);
    for (std::string p; std::getline(in, p, ',');)
        parts.push_back(p);
    if (parts.empty() || parts[0].empty())
        BadSwitch(faultSwitch, "empty");
    std::string name = parts[0];
    std::string arg;
    const auto eq = name.find('=');
    const bool hasArg = eq != std::string::npos;
    if (hasArg) {
        arg = name.substr(eq + 1);
        name.resize(eq);
    }

    TFault f;
    f.SwitchedAt = FOnWire;
    if (name == "nack" || name == "bad-checksum" || name == "short-reply") {
        f.Kind = name == "nack"           ? TFaultKind::Nack
                 : name == "bad-checksum" ? TFaultKind::BadChecksum
                                          : TFaultKind::ShortReply;
        if (hasArg)
            f.Command = ParseCommand(faultSwitch, arg);
    } else if (name == "silent") {
        if (hasArg)
            BadSwitch(faultSwitch, "takes no argument");
        f.Kind = TFaultKind::Silent;
    } else if (name == "silent-after") {
        long n = 0;
        if (!hasArg || !ParseNumber(arg, n))
            BadSwitch(faultSwitch, "needs a request count");
        f.Kind = TFaultKind::Silent;
        f.From = n + 1;
    } else {
        BadSwitch(faultSwitch, "not a switch of the scripted unit");
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        long n = 0;
        if (parts[i] == "once")
            f.Once = true;
        else if (parts[i].rfind("from=", 0) == 0 && ParseNumber(parts[i].substr(5), n) && n >= 1)
            f.From = std::max(f.From, n);
        else
            BadSwitch(faultSwitch, "bad modifier \"" + parts[i] + "\"");
    }
    FFaults.push_back(f);
}

bool TScriptedComms::Hit(TFaultKind kind, int command)
{
    for (TFault &f : FFaults) {
        if (f.Kind != kind || f.Spent || FOnWire - f.SwitchedAt < f.From)
            continue;
        if (f.Command != -1 && f.Command != command)
            continue;
        if (f.Once)
            f.Spent = true;
        return true;
    }
    return false;
}

std::vector<TScriptedComms::TRequest> TScriptedComms::Sends() const
{
    std::vector<TRequest> out;
    for (const TRequest &r : FRequests)
        if (r.IsSend)
            out.push_back(r);
    return out;
}

int TScriptedComms::Count(uint8_t command) const
{
    int n = 0;
    for (const TRequest &r : FRequests)
        n += r.Command == command ? 1 : 0;
    return n;
}

int TScriptedComms::Count(uint8_t command, const TBytes &payload) const
{
    int n = 0;
    for (const TRequest &r : FRequests)
        n += (r.Command == command && r.Payload == payload) ? 1 : 0;
    return n;
}

std::vector<int> TScriptedComms::SFCommands() const
{
    std::vector<int> out;
    for (const TRequest &r : FRequests)
        if (r.Command == CMD_WRITE_SF_COMMAND && r.Payload.size() == 1)
            out.push_back(r.Payload[0]);
    return out;
}

bool TScriptedComms::Open()
{
    ++OpenCount;
    return OpenResult;
}

void TScriptedComms::Close()
{
    ++CloseCount;
}

bool TScriptedComms::Begin(uint8_t command, const uint8_t *payload, uint32_t payloadLength,
                           bool isSend)
{
    FLast.Command = command;
    FLast.Payload.assign(payload, payload ? payload + payloadLength : payload);
    FLast.IsSend = isSend;
    if (KeepRequests)
        FRequests.push_back(FLast);
    if (OnRequest)
        OnRequest(command);
    // As the link: nothing goes out on an aborted link, nor a payload
    // that one frame cannot carry.
    if (IsAborted() || payloadLength > framing::kMaxPayload)
        return false;
    if (!FStream)
        FPort.Load(Answer());
    return true;
}

TReply TScriptedComms::Scripted(const TRequest &request)
{
    if (auto it = FQueued.find(request.Command); it != FQueued.end() && !it->second.empty()) {
        TReply r = std::move(it->second.front());
        it->second.pop_front();
        return r;
    }
    if (request.Command == CMD_READ_MESSAGE_BLOCK && request.Payload.size() == 1 &&
        request.Payload[0] < FMessageBlocks.size())
        return FMessageBlocks[request.Payload[0]];
    if (FResponder)
        if (std::optional<TReply> r = FResponder(request))
            return *r;
    if (auto it = FStanding.find(request.Command); it != FStanding.end())
        return it->second;
    return request.IsSend && UnscriptedSend == TUnscriptedSend::Ack ? TReply::Ack()
                                                                    : TReply::Silent();
}

// In the order the simulator applies its switches to a request frame.
TBytes TScriptedComms::Answer()
{
    ++FOnWire;
    const uint8_t command = FLast.Command;
    if (Hit(TFaultKind::Silent, -1))
        return {};
    if (Hit(TFaultKind::Nack, command))
        return NackFrame();
    const TReply reply = Scripted(FLast);
    switch (reply.Kind()) {
    case TReply::TKind::Silent:
        return {};
    case TReply::TKind::Refused:
        return NackFrame();
    case TReply::TKind::Ack:
        return AckFrame();
    case TReply::TKind::Data:
        break;
    }
    TBytes data = reply.Bytes();
    if (data.size() > framing::kMaxPayload)
        throw std::length_error("a scripted reply of more than 255 bytes fits no frame");
    if (!data.empty() && Hit(TFaultKind::ShortReply, command))
        data.pop_back();
    TBytes frame = ReplyFrame(command, data);
    if (Hit(TFaultKind::BadChecksum, command))
        frame.back() = static_cast<uint8_t>(~frame.back());
    return frame;
}

bool TScriptedComms::Query(uint8_t command, uint8_t *reply, int32_t &replyLength)
{
    if (!Begin(command, nullptr, 0, false))
        return false;
    const bool usb = IsUsbMode();
    if (usb)
        replyLength = 0;
    return framing::Exchange(FPort, 0, command, nullptr, 0, reply, replyLength, usb);
}

bool TScriptedComms::QueryWithPayload(uint8_t command, const uint8_t *payload,
                                      uint32_t payloadLength, uint8_t *reply, int32_t &replyLength)
{
    if (!Begin(command, payload, payloadLength, false))
        return false;
    return framing::Exchange(FPort, 0, command, payload, payloadLength, reply, replyLength, false);
}

bool TScriptedComms::Send(uint8_t command, const uint8_t *payload, uint32_t payloadLength)
{
    if (!Begin(command, payload, payloadLength, true))
        return false;
    return framing::Send(FPort, 0, command, payload, payloadLength);
}

} // namespace zelvo::test
