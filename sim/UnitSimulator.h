#pragma once

// A Zelvo unit and its server on a pseudo-terminal (or another wire), written from the unit's
// side of the wire. It shares no code with the tool: every constant it needs
// is its own, so it can disagree with the tool where the tool is wrong.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace zsim
{

enum class Model { Ostra, Vello };

struct Options {
    Model model = Model::Vello;
    std::string version;      // version number text, "" = the default (above 2.57)
    std::string versionText;  // whole version reply text; overrides `version` when set
    int sfStepMs = 1500;      // delay between automatic store-and-forward state changes
    int applyResetMs = 2000;  // silence after CMD_APPLY_SETTINGS
    int frameGapMs = 500;     // a request that stalls this long mid-frame is discarded
    std::string settingsFile; // optional persistence of the 313-byte block
    std::string account = "installer@zelvo.example:commission"; // EMAIL:PASSWORD for the logon
    std::vector<std::string> faults; // same syntax as --fault, e.g. "nack=0x15", "silent-after=40"
    bool trace = false;
    std::ostream *traceOut = nullptr; // trace destination; nullptr = std::cerr
    std::string linkPath;             // optional symbolic link to the slave
};

// One I/O configuration record as the server holds it.
struct IoConfigRecord {
    int32_t id = 0;
    std::string tag; // 6 characters, blank padded
    uint8_t inputType = 0;
    int32_t uomId = 0;
    uint8_t loggingFlags = 0; // the byte as stored and sent back
    std::string name;
};

// A conversion formula of the UOM information block.
struct InputTypeFormula {
    uint8_t id = 0;
    float multiplier = 0, divisor = 1, offset = 0;
    uint8_t kind = 0; // 0 linear, 1 reciprocal, 2 ratio
    bool flag = false;
};

struct DigitalUom {
    int32_t id = 0;
    std::string offText, onText;
};

struct AnalogueUom {
    int32_t id = 0;
    std::string units;
    uint8_t outOfRange = 0; // 0 do not insert, 1 extrapolate, 2 clamp
    std::vector<std::pair<float, float>> points;
};

// One record of the per-I/O UOM table (5 bytes on the wire).
struct UomAssignment {
    uint32_t uomId = 0;
    uint8_t inputType = 0;
};

// The UOM information the server serves now.
struct UomTables {
    std::vector<UomAssignment> records; // own I/O first, then gap, then external I/O
    std::vector<InputTypeFormula> inputTypes;
    std::vector<DigitalUom> digital;
    std::vector<AnalogueUom> analogue;
};

// A server message as the unit received it from the tool.
struct ServerMessage {
    uint16_t type = 0;
    std::vector<uint8_t> payload; // without envelope and checksum
    bool valid = false;           // envelope and checksum were sound
};

class Transport;

class UnitSimulator
{
public:
    explicit UnitSimulator(Options o);
    ~UnitSimulator(); // stops

    UnitSimulator(const UnitSimulator &) = delete;
    UnitSimulator &operator=(const UnitSimulator &) = delete;

    // Opens a pty pair and serves the master on its own thread.
    bool Start(std::string *error = nullptr);
    // Serves the given wire (for example one end of an in-process byte pipe)
    // on its own thread instead; SlavePath() is then the wire's PeerName().
    bool Start(std::unique_ptr<Transport> wire, std::string *error = nullptr);
    void Stop();
    std::string SlavePath() const;

    // Fault switches, thread-safe, at any time. Syntax: NAME[=ARG][,once][,from=N].
    bool AddFault(const std::string &spec, std::string *error = nullptr);
    void ClearFaults();

    // Inspection (thread-safe).
    std::vector<uint8_t> SettingsBlock() const; // the 313 bytes as the unit holds them
    int SfState() const;                        // current store-and-forward state code
    void SetSfState(int state);                 // puts the unit in a state (tests)
    void SetSfStepMs(int ms); // changes the automatic step time from now on (tests)
    std::vector<uint8_t> LastReplyData(uint8_t cmd) const; // data bytes of the last reply to cmd
    std::vector<uint8_t> LastLiveValues() const;      // data of the last CMD_READ_LIVE_VALUES reply
    std::vector<uint8_t> LastExternalStream() const;  // the whole value stream of the last cycle
    std::vector<uint8_t> ExternalReadErrors() const;  // 32 bytes as last sent or as they stand
    std::vector<uint8_t> ExternalWriteErrors() const; // 32 bytes as last sent or as they stand
    std::vector<IoConfigRecord> IoConfiguration() const;
    UomTables ServedUoms() const;
    std::vector<ServerMessage> ServerMessages() const; // every message received, in order
    bool SignalMonitoring() const;
    int SignalLevel() const; // the level the next read would report
    long FramesReceived() const;
    uint8_t UnitType() const;

    class Impl;

private:
    std::unique_ptr<Impl> d;
};

// Parses a model name ("ostra", "vello", any case).
bool ParseModel(const std::string &text, Model *out);

} // namespace zsim
