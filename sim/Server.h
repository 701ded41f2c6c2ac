#pragma once

// The unit's server, as far as the tool can see it: it answers each server
// message the unit forwards with a reply whose last byte makes the 8-bit sum
// of the reply 0, or refuses it with a one-byte error code.

#include "sim/Content.h"
#include "sim/UnitSimulator.h"
#include "sim/Wire.h"

#include <string>
#include <vector>

namespace zsim
{

// Error codes of a refusal (a one-byte reply).
namespace refusal
{
constexpr uint8_t Unsupported = 0x01; // message type the server does not serve
constexpr uint8_t Malformed = 0x02;   // envelope, length or checksum wrong, or message incomplete
constexpr uint8_t Rejected = 0x03;    // payload refused (unknown id, output the model lacks, ...)
constexpr uint8_t LogonFailed = 0x04;
constexpr uint8_t BufferTestFailed = 0x05;
constexpr uint8_t Forced = 0x06; // the server-refuses fault
} // namespace refusal

// What the server needs from the unit.
class UnitHooks
{
public:
    virtual ~UnitHooks() = default;
    virtual double OwnEngineering(int number) = 0;
    virtual double ExternalEngineering(int number) = 0;
    virtual void SetOutput(int number, double engineering) = 0;
};

class Server
{
public:
    Server(const Plant &plant, const std::string &account);

    // Answers one message.
    Bytes Handle(const ServerMessage &m, UnitHooks &hooks);

    // A new connection to the server: an I/O configuration read starts at its first part.
    void NewSession() { ioCursor_ = 0; }

    std::vector<IoConfigRecord> IoConfiguration() const { return config_; }
    UomTables Uoms() const;

    static constexpr size_t kRecordsPerPart = 20;

private:
    Bytes BasicInfo() const;
    Bytes Snapshot(UnitHooks &hooks) const;
    Bytes WriteOutput(const Bytes &p, UnitHooks &hooks) const;
    Bytes UomInformation() const;
    Bytes BufferTest(const Bytes &p) const;
    Bytes Logon(const Bytes &p) const;
    Bytes ReadIoConfig();
    Bytes UomList() const;
    Bytes InputTypes() const;
    Bytes ModbusData() const;
    Bytes WriteIoConfig(const Bytes &p);

    const Plant &plant_;
    std::string email_, password_;
    std::vector<IoConfigRecord> config_;
    size_t ioCursor_ = 0;
};

Bytes Refusal(uint8_t code);

} // namespace zsim
