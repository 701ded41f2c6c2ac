#pragma once

// Named fault switches. Each one is written NAME[=ARG][,once][,from=N]:
// without "once" it acts every time its event comes, with "once" only the
// first time; "from=N" arms it from the N-th request frame on (frames are
// counted from 1 since the start).

#include <string>
#include <vector>

namespace zsim
{

enum class FaultKind {
    Nack,               // nack[=CMD]: refuse the request
    BadChecksum,        // bad-checksum[=CMD]: reply with a wrong checksum
    Silent,             // silent / silent-after=N: do not answer
    ShortReply,         // short-reply[=CMD]: a sound frame one data byte short
    CutReply,           // cut-reply[=CMD]: the frame stops half-way
    GarbageBeforeReply, // garbage-before-reply[=CMD]: noise bytes ahead of the reply
    DropBlock,          // drop-block=K: message block K in refused once per message
    DropReadBlock,      // drop-read-block=K: message block K out refused once per message
    SfError,            // sf-error[=STATE]: enter SF_ERROR at the next automatic step
    SfStuck,            // sf-stuck=STATE: stay in STATE whatever happens
    OldFirmware,        // old-firmware: report version 2.56
    LineSpeed,          // line-speed: pace bytes as 19200 baud 8N2 would
    ServerRefuses,      // server-refuses[=MSG]: one-byte error reply
    ServerBadChecksum,  // server-bad-checksum[=MSG]: reply with a wrong checksum
    LateReply,          // late-reply=MS: answer MS milliseconds after the request
};

struct Fault {
    FaultKind kind = FaultKind::Nack;
    std::string text; // as written
    int arg = -1;     // -1 = any
    bool once = false;
    long fromFrame = 1;
    bool spent = false;
};

bool ParseFault(const std::string &spec, Fault *out, std::string *error);

// A set of switches. Not thread-safe on its own; the simulator locks around it.
class FaultSet
{
public:
    bool Add(const std::string &spec, std::string *error);
    void Clear() { faults_.clear(); }

    // True when a switch of `kind` matches `arg` at frame `frame`; a "once"
    // switch is spent by the match when `consume` is set.
    bool Hit(FaultKind kind, int arg, long frame, bool consume = true);
    // Same as Hit but without consuming.
    bool Armed(FaultKind kind, int arg, long frame) { return Hit(kind, arg, frame, false); }
    // The argument of the first armed switch of `kind`, or -2 when none.
    int ArmedArg(FaultKind kind, long frame) const;

private:
    std::vector<Fault> faults_;
};

} // namespace zsim
