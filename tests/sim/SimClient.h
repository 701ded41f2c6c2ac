#pragma once

// A test-side client that speaks to the simulated unit in raw frames, written
// apart from the tool's link code so the two can be checked against each other.

#include "sim/UnitSimulator.h"
#include "tests/support/Wirerecord.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zsimtest
{

using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;
// Request frames and message envelopes as the tool makes them.
using zelvo::test::Envelope;
using zelvo::test::RequestFrame;

// A reply as it came off the wire.
struct Answer {
    Bytes raw; // every byte read
    bool complete = false;
    bool ack() const { return !raw.empty() && (raw[0] & 1); }
    bool hasData() const { return !raw.empty() && (raw[0] & 2); }
    bool checksumOk() const;
    Bytes data() const; // the data bytes of a reply with data
};

class SimClient
{
public:
    explicit SimClient(const std::string &path);
    ~SimClient();
    bool ok() const { return fd_ >= 0; }

    void WriteRaw(const Bytes &b);
    // Reads one reply frame: the status byte, and when it announces data the
    // length, reply code, data and checksum. Stops at the deadline.
    Answer ReadAnswer(milliseconds deadline = milliseconds(2000));
    // Everything that arrives within `wait` (for checking silence or extra bytes).
    Bytes Drain(milliseconds wait);

    Answer Exchange(uint8_t cmd, const Bytes &payload = {},
                    milliseconds deadline = milliseconds(2000));

    int SfState();
    bool SfCommand(uint8_t state);
    // Waits until the unit reports `state`, asking every few milliseconds.
    bool WaitSf(int state, milliseconds deadline = milliseconds(3000),
                milliseconds every = milliseconds(2));

    // Message transfers as the tool's block transfers make them.
    bool WriteMessage(const Bytes &message, bool bare);
    bool ReadMessage(Bytes *out);

    // Runs one server message through the whole cycle from SF_IDLE: connect
    // with `connect`, upload, wait, download, and leave with `next` (9 logs
    // off, 1 keeps the unit online). Returns the server's reply.
    bool RunJob(uint16_t type, const Bytes &payload, Bytes *reply, uint8_t connect = 1,
                uint8_t next = 9);
    // The same from SF_WAITING_UPLOAD (a chained job).
    bool RunChained(uint16_t type, const Bytes &payload, Bytes *reply, uint8_t next = 9);

private:
    int fd_ = -1;
};

// Options for fast tests: tiny store-and-forward steps, a short restart.
zsim::Options FastOptions(zsim::Model m = zsim::Model::Vello);

// A started simulator with a client on its slave.
struct Running {
    explicit Running(const zsim::Options &o) : sim(o)
    {
        started = sim.Start(&error);
        client = std::make_unique<SimClient>(sim.SlavePath());
    }
    zsim::UnitSimulator sim;
    std::unique_ptr<SimClient> client;
    bool started = false;
    std::string error;
};

bool SumIsZero(const Bytes &reply);

} // namespace zsimtest
