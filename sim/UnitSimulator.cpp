#include "sim/UnitSimulator.h"

#include "sim/Faults.h"
#include "sim/Transport.h"
#include "sim/Unit.h"
#include "sim/Wire.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <map>
#include <mutex>
#include <thread>

namespace zsim
{

namespace
{

// 19200 baud, 8 data bits, 2 stop bits, no parity: 11 bits a byte.
constexpr auto kByteTime = std::chrono::nanoseconds(11 * 1000000000LL / 19200);
const uint8_t kGarbage[] = {0xFF, 0x00, 0xA5};

} // namespace

class UnitSimulator::Impl
{
public:
    explicit Impl(Options o) : opt(std::move(o)), start(Clock::now()) {}

    Options opt;
    Clock::time_point start;
    mutable std::mutex mu; // guards the unit, the faults and the inspection copies
    FaultSet faults;
    std::unique_ptr<Unit> unit;
    std::map<uint8_t, Bytes> lastReply;
    long frames = 0;

    std::unique_ptr<Transport> wire;
    std::string slave; // what the tool opens, kept after Stop
    std::thread thread;
    std::atomic<bool> stopping{false};
    bool running = false;
    std::mutex traceMu;

    void Trace(const std::string &line)
    {
        if (!opt.trace)
            return;
        std::lock_guard<std::mutex> g(traceMu);
        std::ostream &out = opt.traceOut ? *opt.traceOut : std::cerr;
        out << line << '\n';
        out.flush();
    }

    void TraceFrame(long frame, const char *dir, const Bytes &b, const std::string &what)
    {
        if (!opt.trace)
            return;
        char head[24];
        std::snprintf(head, sizeof head, "%5ld %s ", frame, dir);
        std::string hex = Hex(b);
        if (hex.size() < 36)
            hex.resize(36, ' ');
        Trace(head + hex + "  " + what);
    }

    void Run();
    void OnFrame(const Bytes &frame, Clock::time_point firstByte);
    void Write(const Bytes &b, bool paced, Clock::time_point from);
};

void UnitSimulator::Impl::Run()
{
    Bytes rx;
    Clock::time_point firstByte{}, lastByte{};
    const auto gap = std::chrono::milliseconds(std::max(1, opt.frameGapMs));
    while (!stopping.load()) {
        int timeout = -1;
        if (!rx.empty()) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(lastByte + gap -
                                                                              Clock::now());
            timeout = int(std::max<long long>(1, left.count() + 1));
        }
        uint8_t buf[512];
        const long n = wire->Read(buf, sizeof buf, timeout);
        if (n == Transport::kFailed)
            break;
        if (n == Transport::kHangUp) {
            rx.clear();
            continue;
        }
        if (n > 0) {
            auto now = Clock::now();
            if (rx.empty())
                firstByte = now;
            lastByte = now;
            rx.insert(rx.end(), buf, buf + n);
        }
        // Take whole frames out of what arrived.
        for (;;) {
            // A unit listens for the start byte; anything else before it is noise.
            auto s = std::find(rx.begin(), rx.end(), kStartByte);
            if (s != rx.begin()) {
                Bytes noise(rx.begin(), s);
                TraceFrame(frames, "??", noise, "(noise before start byte, ignored)");
                rx.erase(rx.begin(), s);
            }
            if (rx.size() < 2 || rx.size() < size_t(rx[1]) + 4)
                break;
            size_t len = size_t(rx[1]) + 4;
            Bytes frame(rx.begin(), rx.begin() + long(len));
            rx.erase(rx.begin(), rx.begin() + long(len));
            OnFrame(frame, firstByte);
            firstByte = Clock::now();
        }
        if (!rx.empty() && Clock::now() - lastByte >= gap) {
            TraceFrame(frames, "??", rx, "(incomplete request, discarded)");
            rx.clear();
        }
    }
}

void UnitSimulator::Impl::OnFrame(const Bytes &frame, Clock::time_point firstByte)
{
    const uint8_t command = frame[2];
    const std::string name = CommandName(command);
    Bytes out;
    bool paced = false;
    int lateMs = 0;
    long n = 0;
    {
        std::lock_guard<std::mutex> g(mu);
        n = ++frames;
        auto now = Clock::now();
        TraceFrame(n, "->", frame, name);
        if (unit->Resetting(now)) {
            Trace("        (restarting after apply: no answer)");
            return;
        }
        if (faults.Hit(FaultKind::Silent, -1, n)) {
            Trace("        (silent)");
            return;
        }
        paced = faults.Armed(FaultKind::LineSpeed, -1, n);
        if (const int late = faults.ArmedArg(FaultKind::LateReply, n);
            late >= 0 && faults.Hit(FaultKind::LateReply, late, n))
            lateMs = late;
        Reply r;
        if (Xor(frame.data(), frame.size() - 1) != frame.back()) {
            r = Reply::Nack(command);
            Trace("        (request checksum wrong: refused)");
        } else if (faults.Hit(FaultKind::Nack, command, n)) {
            r = Reply::Nack(command);
        } else {
            Bytes payload(frame.begin() + 3, frame.end() - 1);
            r = unit->Handle(command, payload, n, now);
        }
        if ((r.status & kHasData) && !r.data.empty() &&
            faults.Hit(FaultKind::ShortReply, command, n))
            r.data.pop_back();
        out = r.Encode();
        if ((r.status & kHasData) && faults.Hit(FaultKind::BadChecksum, command, n))
            out.back() = uint8_t(~out.back());
        if (out.size() > 1 && faults.Hit(FaultKind::CutReply, command, n))
            out.resize(out.size() / 2);
        if (faults.Hit(FaultKind::GarbageBeforeReply, command, n))
            out.insert(out.begin(), std::begin(kGarbage), std::end(kGarbage));
        if (r.status & kHasData)
            lastReply[command] = r.data;
    }
    std::string what = name;
    if (out.size() == 1 && out[0] == 0x00)
        what += " (refused)";
    if (lateMs > 0) {
        // Answers after the given delay, as a slow unit does; the tool may
        // have given up on this request and sent the next one meanwhile.
        Trace("        (answer held back " + std::to_string(lateMs) + " ms)");
        const auto until = Clock::now() + std::chrono::milliseconds(lateMs);
        while (!stopping.load() && Clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        firstByte = Clock::now();
    }
    TraceFrame(n, "<-", out, what);
    // A real line needs time for the request to arrive before the unit answers.
    Write(out, paced, firstByte + kByteTime * long(frame.size()));
}

void UnitSimulator::Impl::Write(const Bytes &b, bool paced, Clock::time_point from)
{
    size_t done = 0;
    auto due = std::max(from, Clock::now());
    while (done < b.size() && !stopping.load()) {
        size_t chunk = b.size() - done;
        if (paced) {
            std::this_thread::sleep_until(due);
            chunk = 1;
            due += kByteTime;
        }
        const long w = wire->Write(b.data() + done, chunk, 200);
        if (w <= 0)
            return; // nobody reads, or the wire is gone: drop the rest
        done += size_t(w);
    }
}

UnitSimulator::UnitSimulator(Options o) : d(std::make_unique<Impl>(std::move(o))) {}

UnitSimulator::~UnitSimulator()
{
    Stop();
}

bool UnitSimulator::Start(std::string *error)
{
    if (d->running) {
        if (error)
            *error = "already started";
        return false;
    }
    std::unique_ptr<Transport> pty = OpenPtyTransport(d->opt.linkPath, error);
    if (!pty)
        return false;
    return Start(std::move(pty), error);
}

bool UnitSimulator::Start(std::unique_ptr<Transport> wire, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (d->running)
        return fail("already started");
    if (!wire)
        return fail("no wire to serve");
    {
        std::lock_guard<std::mutex> g(d->mu);
        for (const auto &f : d->opt.faults)
            if (!d->faults.Add(f, error))
                return false;
        d->unit = std::make_unique<Unit>(
            d->opt, d->faults, [this](const std::string &s) { d->Trace("        " + s); },
            d->start);
        if (!d->unit->Init(error))
            return false;
    }
    d->wire = std::move(wire);
    d->slave = d->wire->PeerName();
    d->stopping = false;
    d->running = true;
    d->thread = std::thread([this] { d->Run(); });
    return true;
}

void UnitSimulator::Stop()
{
    if (d->running) {
        d->stopping = true;
        d->wire->Wake();
        if (d->thread.joinable())
            d->thread.join();
        d->running = false;
    }
    d->wire.reset();
}

std::string UnitSimulator::SlavePath() const
{
    return d->slave;
}

bool UnitSimulator::AddFault(const std::string &spec, std::string *error)
{
    std::lock_guard<std::mutex> g(d->mu);
    bool ok = d->faults.Add(spec, error);
    if (ok)
        d->Trace("        fault switched on: " + spec);
    return ok;
}

void UnitSimulator::ClearFaults()
{
    std::lock_guard<std::mutex> g(d->mu);
    d->faults.Clear();
}

// Inspection before Start sees the unit as it would start.
#define ZSIM_UNIT_OR(value)                                                                        \
    std::lock_guard<std::mutex> g(d->mu);                                                          \
    if (!d->unit)                                                                                  \
        return value;                                                                              \
    d->unit->Advance(Clock::now(), d->frames)

std::vector<uint8_t> UnitSimulator::SettingsBlock() const
{
    ZSIM_UNIT_OR(Unit::DefaultSettings(d->opt.model));
    return d->unit->Settings();
}

int UnitSimulator::SfState() const
{
    ZSIM_UNIT_OR(sf::Idle);
    return d->unit->SfState();
}

void UnitSimulator::SetSfStepMs(int ms)
{
    ZSIM_UNIT_OR();
    d->unit->SetSfStepMs(ms);
}

void UnitSimulator::SetSfState(int state)
{
    ZSIM_UNIT_OR();
    d->unit->ForceSfState(state, Clock::now());
}

std::vector<uint8_t> UnitSimulator::LastReplyData(uint8_t cmd) const
{
    std::lock_guard<std::mutex> g(d->mu);
    auto it = d->lastReply.find(cmd);
    return it == d->lastReply.end() ? Bytes{} : it->second;
}

std::vector<uint8_t> UnitSimulator::LastLiveValues() const
{
    return LastReplyData(cmd::ReadLiveValues);
}

std::vector<uint8_t> UnitSimulator::LastExternalStream() const
{
    ZSIM_UNIT_OR(Bytes{});
    return d->unit->LastExternalStream();
}

std::vector<uint8_t> UnitSimulator::ExternalReadErrors() const
{
    ZSIM_UNIT_OR(Bytes(32, 0));
    return d->unit->ReadErrorBits(Clock::now());
}

std::vector<uint8_t> UnitSimulator::ExternalWriteErrors() const
{
    ZSIM_UNIT_OR(Bytes(32, 0));
    return d->unit->WriteErrorBits();
}

std::vector<IoConfigRecord> UnitSimulator::IoConfiguration() const
{
    ZSIM_UNIT_OR({});
    return d->unit->GetServer().IoConfiguration();
}

UomTables UnitSimulator::ServedUoms() const
{
    ZSIM_UNIT_OR({});
    return d->unit->GetServer().Uoms();
}

std::vector<ServerMessage> UnitSimulator::ServerMessages() const
{
    ZSIM_UNIT_OR({});
    return d->unit->Messages();
}

bool UnitSimulator::SignalMonitoring() const
{
    ZSIM_UNIT_OR(false);
    return d->unit->Monitoring();
}

int UnitSimulator::SignalLevel() const
{
    ZSIM_UNIT_OR(99);
    return d->unit->SignalLevel();
}

long UnitSimulator::FramesReceived() const
{
    std::lock_guard<std::mutex> g(d->mu);
    return d->frames;
}

uint8_t UnitSimulator::UnitType() const
{
    return d->opt.model == Model::Ostra ? 2 : 3;
}

#undef ZSIM_UNIT_OR

bool ParseModel(const std::string &text, Model *out)
{
    std::string t;
    for (char c : text)
        t.push_back(char(std::tolower(static_cast<unsigned char>(c))));
    if (t == "ostra")
        *out = Model::Ostra;
    else if (t == "vello")
        *out = Model::Vello;
    else
        return false;
    return true;
}

} // namespace zsim
