#pragma once

// The unit itself: answers one request at a time, keeps the settings block,
// runs the store-and-forward cycle and carries server messages to the server.
// It knows nothing of pseudo-terminals; time comes in with every call.

#include "sim/Content.h"
#include "sim/Faults.h"
#include "sim/Server.h"
#include "sim/UnitSimulator.h"
#include "sim/Wire.h"

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>

namespace zsim
{

using Clock = std::chrono::steady_clock;

struct Reply {
    bool answer = true; // false: the unit says nothing
    uint8_t status = 0; // 0x00 refused, 0x01 accepted, 0x03 accepted with data
    uint8_t code = 0;   // reply code byte, the request's command
    Bytes data;

    static Reply Nack(uint8_t code) { return {true, 0x00, code, {}}; }
    static Reply Ack(uint8_t code) { return {true, kAck, code, {}}; }
    static Reply Data(uint8_t code, Bytes d) { return {true, kAck | kHasData, code, std::move(d)}; }
    Bytes Encode() const;
};

class Unit : public UnitHooks
{
public:
    using Note = std::function<void(const std::string &)>;

    Unit(const Options &o, FaultSet &faults, Note note, Clock::time_point start);

    // Loads the settings file when one is named.
    bool Init(std::string *error);

    Reply Handle(uint8_t command, const Bytes &payload, long frame, Clock::time_point now);

    // Runs the automatic store-and-forward steps that are due.
    void Advance(Clock::time_point now, long frame);

    // True while the unit restarts after applying its settings.
    bool Resetting(Clock::time_point now) const { return now < resetUntil_; }

    // Inspection.
    const Bytes &Settings() const { return settings_; }
    int SfState() const { return state_; }
    void ForceSfState(int s, Clock::time_point now);
    void SetSfStepMs(int ms) { opt_.sfStepMs = ms; }
    const Bytes &LastExternalStream() const { return extStream_; }
    Bytes ReadErrorBits(Clock::time_point now) const;
    Bytes WriteErrorBits() const;
    const std::vector<ServerMessage> &Messages() const { return messages_; }
    bool Monitoring() const { return monitoring_; }
    int SignalLevel() const { return monitoring_ ? level_ : 99; }
    const Plant &GetPlant() const { return plant_; }
    const Server &GetServer() const { return server_; }
    std::string VersionText(long frame);

    // UnitHooks.
    double OwnEngineering(int number) override;
    double ExternalEngineering(int number) override;
    void SetOutput(int number, double engineering) override;

    static Bytes DefaultSettings(Model m);

private:
    Reply HandleSfCommand(const Bytes &p, long frame, Clock::time_point now);
    Reply HandleBlockIn(const Bytes &p, long frame);
    Reply HandleBlockOut(const Bytes &p, long frame);
    Reply LiveValues(Clock::time_point now);
    Reply ExtStart(const Bytes &p, Clock::time_point now);
    Reply ExtValues();
    void Enter(int s, Clock::time_point at);
    void Forward(long frame);
    void ApplyAndReset(Clock::time_point now);
    double Seconds(Clock::time_point now) const;
    uint32_t OwnRaw(int number, double t) const;
    uint32_t ExternalRaw(const Channel &c, double t) const;
    bool SaveSettings(std::string *error) const;

    Options opt_;
    FaultSet &faults_;
    Note note_;
    Clock::time_point start_;
    Plant plant_;
    Server server_;

    Bytes settings_;
    std::optional<Bytes> staged1_; // first part written, waiting for the second

    int state_ = sf::Idle;
    Clock::time_point enteredAt_;
    Clock::time_point resetUntil_{};
    Clock::time_point now_{};

    // Message coming in from the tool.
    Bytes upload_;
    int nextBlock_ = 0;
    bool bare_ = false;
    size_t expected_ = 0;
    bool uploading_ = false;
    std::set<int> droppedIn_, droppedOut_;
    std::optional<ServerMessage> forwarded_;
    Bytes reply_; // the server's reply, offered while waiting for download

    std::vector<ServerMessage> messages_;

    // Values set by the tool or by a write-output message: raw value and when.
    std::map<int, std::pair<uint32_t, double>> overrides_;

    bool extActive_ = false;
    Bytes extStream_;
    size_t extPos_ = 0;
    size_t chunkIndex_ = 0;

    bool monitoring_ = false;
    int level_ = 18;
    std::mt19937 rng_{20240611u};
};

} // namespace zsim
