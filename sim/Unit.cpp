#include "sim/Unit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace zsim
{

namespace
{

constexpr uint16_t kMaxExternal = 256; // the error bitmaps cover 256 external I/O

// Sizes of the successive value chunks of the external stream, an empty one
// among them, as a unit that hands out what its Modbus poll has ready.
constexpr size_t kChunks[] = {7, 13, 0, 4, 25, 1, 16, 9};

void PutAddress(Bytes &b, size_t at, uint8_t a, uint8_t b1, uint8_t c, uint8_t d)
{
    // The first dotted octet is the most significant byte, stored little-endian.
    b[at] = d;
    b[at + 1] = c;
    b[at + 2] = b1;
    b[at + 3] = a;
}

void PutText(Bytes &b, size_t at, const std::string &s)
{
    std::copy(s.begin(), s.end(), b.begin() + long(at));
    b[at + s.size()] = 0;
}

int Automatic(int s)
{
    switch (s) {
    case sf::Connecting:
    case sf::ConnectingWithSnapshot:
    case sf::ForceSync:
        return sf::WaitingUpload;
    case sf::Uploading:
        return sf::Processing;
    case sf::Processing:
        return sf::Downloading;
    case sf::Downloading:
        return sf::WaitingDownload;
    case sf::LoggingOff:
        return sf::Idle;
    default:
        return -1; // waits for the tool
    }
}

} // namespace

Bytes Reply::Encode() const
{
    if (!(status & kHasData))
        return Bytes{status};
    Bytes b{status, uint8_t(data.size()), code};
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(Xor(b.data(), b.size()));
    return b;
}

Bytes Unit::DefaultSettings(Model m)
{
    // Opaque bytes hold the low byte of their offset, so a tool that writes
    // back anything but what it read is easy to spot.
    Bytes b(kSettingsSize);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = uint8_t(i);
    b[5] = 2; // mobile
    PutAddress(b, 6, 192, 168, 1, 50);
    PutAddress(b, 10, 255, 255, 255, 0);
    PutAddress(b, 14, 192, 168, 1, 1);
    PutText(b, 38, m == Model::Ostra ? "ostra" : "vello");
    PutText(b, 83, "telemetry");
    PutText(b, 103, "iot.zelvo.example");
    PutAddress(b, 228, 192, 168, 1, 1);
    b[295] = 1;
    return b;
}

Unit::Unit(const Options &o, FaultSet &faults, Note note, Clock::time_point start)
    : opt_(o), faults_(faults), note_(std::move(note)), start_(start), plant_(BuildPlant(o.model)),
      server_(plant_, o.account), settings_(DefaultSettings(o.model)), enteredAt_(start),
      now_(start)
{
}

bool Unit::Init(std::string *error)
{
    if (opt_.settingsFile.empty())
        return true;
    std::ifstream f(opt_.settingsFile, std::ios::binary);
    if (!f)
        return true; // created at the first apply
    Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (b.size() != kSettingsSize) {
        // Never overwrite a file that is not ours.
        if (error)
            *error = "settings file " + opt_.settingsFile + " holds " + std::to_string(b.size()) +
                     " bytes, not " + std::to_string(kSettingsSize);
        return false;
    }
    settings_ = b;
    return true;
}

bool Unit::SaveSettings(std::string *error) const
{
    if (opt_.settingsFile.empty())
        return true;
    // Write a temporary file and rename it, so a crash never leaves half a block.
    std::string tmp = opt_.settingsFile + ".tmp";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char *>(settings_.data()),
                std::streamsize(settings_.size()));
        if (!f) {
            if (error)
                *error = "cannot write " + tmp;
            return false;
        }
    }
    if (std::rename(tmp.c_str(), opt_.settingsFile.c_str()) != 0) {
        if (error)
            *error = "cannot replace " + opt_.settingsFile;
        return false;
    }
    return true;
}

double Unit::Seconds(Clock::time_point now) const
{
    return std::chrono::duration<double>(now - start_).count();
}

void Unit::Enter(int s, Clock::time_point at)
{
    if (s == state_)
        return;
    note_(SfStateName(state_) + " -> " + SfStateName(s));
    state_ = s;
    enteredAt_ = at;
    if (s == sf::WaitingUpload) {
        upload_.clear();
        uploading_ = false;
        nextBlock_ = 0;
        droppedIn_.clear();
    }
    if (s == sf::WaitingDownload)
        droppedOut_.clear();
    if (s == sf::Idle || s == sf::Error) {
        reply_.clear();
        forwarded_.reset();
        uploading_ = false;
    }
}

void Unit::ForceSfState(int s, Clock::time_point now)
{
    Enter(s, now);
}

void Unit::Advance(Clock::time_point now, long frame)
{
    now_ = std::max(now_, now);
    const auto step = std::chrono::milliseconds(std::max(0, opt_.sfStepMs));
    for (int guard = 0; guard < 64; ++guard) {
        int next = Automatic(state_);
        if (next < 0 || now < enteredAt_ + step)
            return;
        if (faults_.Armed(FaultKind::SfStuck, state_, frame))
            return;
        Clock::time_point at = enteredAt_ + step;
        if (faults_.Hit(FaultKind::SfError, next, frame)) {
            Enter(sf::Error, at);
            return;
        }
        if (next == sf::Processing)
            Forward(frame);
        Enter(next, at);
    }
}

// The message goes to the server; its answer waits for the download.
void Unit::Forward(long frame)
{
    ServerMessage m = forwarded_.value_or(ServerMessage{});
    forwarded_.reset();
    Bytes r = server_.Handle(m, *this);
    if (m.valid && faults_.Hit(FaultKind::ServerRefuses, m.type, frame))
        r = Refusal(refusal::Forced);
    if (m.valid && r.size() > 1 && faults_.Hit(FaultKind::ServerBadChecksum, m.type, frame))
        r.back() = uint8_t(r.back() + 1);
    note_("server " + MessageName(m.type) + (m.valid ? "" : " (incomplete)") + ": reply of " +
          std::to_string(r.size()) + (r.size() == 1 ? " byte (refused)" : " bytes"));
    reply_ = r;
}

Reply Unit::Handle(uint8_t c, const Bytes &p, long frame, Clock::time_point now)
{
    Advance(now, frame);
    const double t = Seconds(now);
    auto needs = [&](size_t n) { return p.size() == n; };
    switch (c) {
    case cmd::ReadSettings1:
        if (!needs(0))
            break;
        return Reply::Data(c, Bytes(settings_.begin(), settings_.begin() + kSettingsPart1));
    case cmd::ReadSettings2:
        if (!needs(0))
            break;
        return Reply::Data(c, Bytes(settings_.begin() + kSettingsPart1, settings_.end()));
    case cmd::WriteSettings1:
        if (!needs(kSettingsPart1))
            break;
        staged1_ = p;
        return Reply::Ack(c);
    case cmd::WriteSettings2:
        if (!needs(kSettingsPart2))
            break;
        // The block changes whole: the first part only together with the second.
        if (staged1_)
            std::copy(staged1_->begin(), staged1_->end(), settings_.begin());
        std::copy(p.begin(), p.end(), settings_.begin() + kSettingsPart1);
        staged1_.reset();
        return Reply::Ack(c);
    case cmd::SetIoValue: {
        if (!needs(5) || p[0] >= plant_.own.size() || plant_.own[p[0]].tag.empty())
            break;
        overrides_[p[0]] = {GetU32(&p[1]), t};
        return Reply::Ack(c);
    }
    case cmd::ReadLiveValues:
        if (!needs(0))
            break;
        return LiveValues(now);
    case cmd::ReadUnitType:
        if (!needs(0))
            break;
        return Reply::Data(c, {plant_.unitType});
    case cmd::ApplySettings:
        if (!needs(0))
            break;
        ApplyAndReset(now);
        return Reply::Ack(c);
    case cmd::ReadSfState:
        if (!needs(0))
            break;
        return Reply::Data(c, {uint8_t(state_)});
    case cmd::WriteSfCommand:
        return HandleSfCommand(p, frame, now);
    case cmd::WriteMessageBlock:
        return HandleBlockIn(p, frame);
    case cmd::ReadMessageLength: {
        if (!needs(0))
            break;
        Bytes d;
        size_t total = 0;
        if (state_ == sf::WaitingDownload && !reply_.empty())
            total = reply_.size() + (reply_.size() + kBlockBytes - 1) / kBlockBytes;
        PutU16(d, uint32_t(total));
        return Reply::Data(c, d);
    }
    case cmd::ReadMessageBlock:
        return HandleBlockOut(p, frame);
    case cmd::SignalMonitor:
        if (!needs(1) || p[0] > 1)
            break;
        monitoring_ = p[0] == 1;
        return Reply::Ack(c);
    case cmd::ReadSignal: {
        if (!needs(0))
            break;
        if (monitoring_) {
            // The level wanders a little from one reading to the next.
            level_ = std::clamp(level_ + int(rng_() % 5) - 2, 0, 31);
        }
        return Reply::Data(c, {uint8_t(SignalLevel())});
    }
    case cmd::ExtStart:
        return ExtStart(p, now);
    case cmd::ExtReadValues:
        if (!needs(0))
            break;
        return ExtValues();
    case cmd::ExtReadErrors:
        if (!needs(0))
            break;
        return Reply::Data(c, ReadErrorBits(now));
    case cmd::ExtWriteErrors:
        if (!needs(0))
            break;
        return Reply::Data(c, WriteErrorBits());
    case cmd::ReadVersion: {
        if (!needs(0))
            break;
        std::string v = VersionText(frame);
        return Reply::Data(c, Bytes(v.begin(), v.end()));
    }
    default:
        break;
    }
    return Reply::Nack(c);
}

std::string Unit::VersionText(long frame)
{
    bool old = faults_.Hit(FaultKind::OldFirmware, -1, frame);
    if (!opt_.versionText.empty() && !old)
        return opt_.versionText;
    std::string number = old ? "2.56" : (opt_.version.empty() ? "2.61" : opt_.version);
    return "V" + number + "?Zelvo " + (opt_.model == Model::Ostra ? "OSTRA" : "VELLO") +
           " build 1043";
}

Reply Unit::HandleSfCommand(const Bytes &p, long frame, Clock::time_point now)
{
    const uint8_t c = cmd::WriteSfCommand;
    if (p.size() != 1)
        return Reply::Nack(c);
    int want = p[0];
    if (want != sf::Idle && want != sf::Connecting && want != sf::ConnectingWithSnapshot &&
        want != sf::ForceSync && want != sf::Uploading && want != sf::LoggingOff)
        return Reply::Nack(c);
    if (faults_.Armed(FaultKind::SfStuck, state_, frame)) {
        note_("stuck in " + SfStateName(state_) + ", request " + SfStateName(want) + " ignored");
        return Reply::Ack(c);
    }
    int before = state_;
    switch (want) {
    case sf::Idle:
        Enter(sf::Idle, now);
        break;
    case sf::Connecting:
    case sf::ConnectingWithSnapshot:
    case sf::ForceSync:
        if (state_ == sf::Idle) {
            server_.NewSession();
            Enter(want, now);
        } else if (state_ == sf::WaitingDownload && want != sf::ForceSync) {
            // A chained job: the unit stays online and waits for the next message.
            reply_.clear();
            Enter(sf::WaitingUpload, now);
        }
        break;
    case sf::Uploading:
        if (state_ == sf::WaitingUpload) {
            ServerMessage m;
            if (!upload_.empty()) {
                m.type = GetU16(&upload_[0]);
                bool complete = uploading_ && upload_.size() == expected_;
                size_t n = expected_ - 8;
                if (complete && n > 0)
                    m.payload.assign(upload_.begin() + 8, upload_.end() - 1);
                m.valid = complete && (n == 0 || NegSum(upload_.data() + 8, n) == 0);
                messages_.push_back(m);
            }
            forwarded_ = m;
            uploading_ = false;
            Enter(sf::Uploading, now);
        }
        break;
    case sf::LoggingOff:
        if (state_ != sf::Idle)
            Enter(sf::LoggingOff, now);
        break;
    }
    if (state_ == before && want != before)
        note_("request " + SfStateName(want) + " ignored in " + SfStateName(before));
    return Reply::Ack(c);
}

Reply Unit::HandleBlockIn(const Bytes &p, long frame)
{
    const uint8_t c = cmd::WriteMessageBlock;
    if (state_ != sf::WaitingUpload || p.empty())
        return Reply::Nack(c);
    bool first = !uploading_ || upload_.size() == expected_ || (!bare_ && p[0] == 0);
    if (!first && !bare_ && p[0] != uint8_t(nextBlock_))
        return Reply::Nack(c);
    int block = first ? 0 : nextBlock_;
    if (faults_.Armed(FaultKind::DropBlock, block, frame) && !droppedIn_.count(block)) {
        faults_.Hit(FaultKind::DropBlock, block, frame);
        droppedIn_.insert(block);
        note_("message block " + std::to_string(block) + " refused (drop-block)");
        return Reply::Nack(c);
    }
    if (first) {
        // The first block carries the header byte 0 and the whole envelope.
        if (p[0] != 0 || p.size() < 9)
            return Reply::Nack(c);
        uint32_t n32 = GetU32(&p[3]);
        uint16_t n16 = GetU16(&p[7]);
        if (n32 != n16 || 8 + size_t(n32) > kMaxMessage)
            return Reply::Nack(c);
        expected_ = 8 + n32;
        if (p.size() - 1 > expected_)
            return Reply::Nack(c);
        upload_.assign(p.begin() + 1, p.end());
        bare_ = GetU16(&p[1]) == msg::WriteIoConfig;
        uploading_ = true;
        nextBlock_ = 1;
        return Reply::Ack(c);
    }
    size_t skip = bare_ ? 0 : 1;
    if (upload_.size() + p.size() - skip > expected_)
        return Reply::Nack(c); // more than the envelope announced
    upload_.insert(upload_.end(), p.begin() + long(skip), p.end());
    ++nextBlock_;
    return Reply::Ack(c);
}

Reply Unit::HandleBlockOut(const Bytes &p, long frame)
{
    const uint8_t c = cmd::ReadMessageBlock;
    if (p.size() != 1 || state_ != sf::WaitingDownload || reply_.empty())
        return Reply::Nack(c);
    size_t k = p[0];
    size_t blocks = (reply_.size() + kBlockBytes - 1) / kBlockBytes;
    if (k >= blocks)
        return Reply::Nack(c);
    if (faults_.Armed(FaultKind::DropReadBlock, int(k), frame) && !droppedOut_.count(int(k))) {
        faults_.Hit(FaultKind::DropReadBlock, int(k), frame);
        droppedOut_.insert(int(k));
        note_("reply block " + std::to_string(k) + " refused (drop-read-block)");
        return Reply::Nack(c);
    }
    Bytes d{uint8_t(k)};
    size_t from = k * kBlockBytes, to = std::min(reply_.size(), from + kBlockBytes);
    d.insert(d.end(), reply_.begin() + long(from), reply_.begin() + long(to));
    return Reply::Data(c, d);
}

void Unit::ApplyAndReset(Clock::time_point now)
{
    std::string err;
    if (!SaveSettings(&err))
        note_("settings not saved: " + err);
    note_("settings applied; restarting for " + std::to_string(opt_.applyResetMs) + " ms");
    resetUntil_ = now + std::chrono::milliseconds(std::max(0, opt_.applyResetMs));
    // A restart forgets the link's session: idle, monitoring off, no external cycle.
    Enter(sf::Idle, resetUntil_);
    staged1_.reset();
    monitoring_ = false;
    extActive_ = false;
}

uint32_t Unit::OwnRaw(int number, double t) const
{
    const Channel &ch = plant_.own[size_t(number)];
    auto natural = [&](double at) { return RawFor(ch.inputType, ch.uomId, EngineeringAt(ch, at)); };
    auto o = overrides_.find(number);
    if (o == overrides_.end())
        return natural(t);
    // A counter keeps counting from the value it was given.
    if (ch.wave == Wave::Count)
        return o->second.first + (natural(t) - natural(o->second.second));
    return o->second.first;
}

uint32_t Unit::ExternalRaw(const Channel &c, double t) const
{
    bool slaveKnown = false;
    for (const auto &s : ModbusSlaves())
        slaveKnown = slaveKnown || s.id == c.slave;
    if (!slaveKnown)
        return 0; // nothing answers at that address
    uint32_t max = c.modbusType >= 3 && c.modbusType <= 9 ? 0xFFFFFFFFu : 0xFFFFu;
    return RawFor(c.inputType, c.uomId, EngineeringAt(c, t), max);
}

Reply Unit::LiveValues(Clock::time_point now)
{
    const double t = Seconds(now);
    Bytes d;
    if (plant_.model == Model::Ostra) {
        uint16_t mask = 0;
        for (int n = 0; n < 8; ++n)
            if (OwnRaw(n, t) != 0)
                mask = uint16_t(mask | (1u << n));
        PutU16(d, mask);
        for (int n = 8; n < plant_.ownRecords; ++n)
            PutU32(d, OwnRaw(n, t));
    } else {
        for (int n = 0; n < plant_.ownRecords; ++n)
            PutU32(d, OwnRaw(n, t));
    }
    return Reply::Data(cmd::ReadLiveValues, d);
}

Reply Unit::ExtStart(const Bytes &p, Clock::time_point now)
{
    const uint8_t c = cmd::ExtStart;
    if (p.size() != 2)
        return Reply::Nack(c);
    uint16_t n = GetU16(p.data());
    if (n == 0 || n > kMaxExternal)
        return Reply::Nack(c);
    const double t = Seconds(now);
    extStream_.clear();
    for (int e = 1; e <= n; ++e) {
        uint32_t raw = 0;
        if (e <= int(plant_.external.size()))
            raw = ExternalRaw(plant_.external[size_t(e - 1)], t);
        PutU32(extStream_, raw); // a 16-bit register fills the low two bytes
    }
    extPos_ = 0;
    chunkIndex_ = 0;
    extActive_ = true;
    return Reply::Ack(c);
}

Reply Unit::ExtValues()
{
    const uint8_t c = cmd::ExtReadValues;
    if (!extActive_ || extPos_ >= extStream_.size()) {
        // The refused exchange marks the end of the stream.
        extActive_ = false;
        return Reply::Nack(c);
    }
    size_t n = kChunks[chunkIndex_++ % std::size(kChunks)];
    n = std::min(n, extStream_.size() - extPos_);
    Bytes d(extStream_.begin() + long(extPos_), extStream_.begin() + long(extPos_ + n));
    extPos_ += n;
    return Reply::Data(c, d);
}

Bytes Unit::ReadErrorBits(Clock::time_point now) const
{
    Bytes b(32, 0);
    auto set = [&](int e) { b[size_t((e - 1) / 8)] |= uint8_t(1u << ((e - 1) % 8)); };
    for (const auto &c : plant_.external) {
        bool known = false;
        for (const auto &s : ModbusSlaves())
            known = known || s.id == c.slave;
        if (!known)
            set(c.number);
    }
    // The flow meter drops off the bus now and then.
    if (std::fmod(Seconds(now), 60.0) >= 50.0)
        set(6);
    return b;
}

Bytes Unit::WriteErrorBits() const
{
    Bytes b(32, 0);
    b[1] |= 0x02; // external I/O 10: its slave is missing
    b[1] |= 0x08; // external I/O 12: the inverter refuses set-point writes
    return b;
}

double Unit::OwnEngineering(int number)
{
    if (number < 0 || number >= int(plant_.own.size()))
        return 0;
    const Channel &ch = plant_.own[size_t(number)];
    double v = Convert(ch.inputType, ch.uomId, OwnRaw(number, Seconds(now_)));
    return std::isfinite(v) ? v : 0;
}

double Unit::ExternalEngineering(int number)
{
    if (number < 1 || number > int(plant_.external.size()))
        return 0;
    const Channel &ch = plant_.external[size_t(number - 1)];
    double v = Convert(ch.inputType, ch.uomId, ExternalRaw(ch, Seconds(now_)));
    return std::isfinite(v) ? v : 0;
}

void Unit::SetOutput(int number, double engineering)
{
    if (number < 0 || number >= int(plant_.own.size()))
        return;
    const Channel &ch = plant_.own[size_t(number)];
    overrides_[number] = {RawFor(ch.inputType, ch.uomId, engineering), Seconds(now_)};
}

} // namespace zsim
