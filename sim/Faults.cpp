#include "sim/Faults.h"

#include "sim/Wire.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace zsim
{

namespace
{

enum class ArgKind { None, Optional, Required };
enum class ArgType { Command, Message, State, Count };

struct Switch {
    const char *name;
    FaultKind kind;
    ArgKind argKind;
    ArgType argType;
};

constexpr Switch kSwitches[] = {
    {"nack", FaultKind::Nack, ArgKind::Optional, ArgType::Command},
    {"bad-checksum", FaultKind::BadChecksum, ArgKind::Optional, ArgType::Command},
    {"silent", FaultKind::Silent, ArgKind::None, ArgType::Count},
    {"silent-after", FaultKind::Silent, ArgKind::Required, ArgType::Count},
    {"short-reply", FaultKind::ShortReply, ArgKind::Optional, ArgType::Command},
    {"cut-reply", FaultKind::CutReply, ArgKind::Optional, ArgType::Command},
    {"garbage-before-reply", FaultKind::GarbageBeforeReply, ArgKind::Optional, ArgType::Command},
    {"drop-block", FaultKind::DropBlock, ArgKind::Required, ArgType::Count},
    {"drop-read-block", FaultKind::DropReadBlock, ArgKind::Required, ArgType::Count},
    {"sf-error", FaultKind::SfError, ArgKind::Optional, ArgType::State},
    {"sf-stuck", FaultKind::SfStuck, ArgKind::Required, ArgType::State},
    {"old-firmware", FaultKind::OldFirmware, ArgKind::None, ArgType::Count},
    {"line-speed", FaultKind::LineSpeed, ArgKind::None, ArgType::Count},
    {"server-refuses", FaultKind::ServerRefuses, ArgKind::Optional, ArgType::Message},
    {"server-bad-checksum", FaultKind::ServerBadChecksum, ArgKind::Optional, ArgType::Message},
    {"late-reply", FaultKind::LateReply, ArgKind::Required, ArgType::Count},
};

bool ParseCount(const std::string &text, long *out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || v < 0)
        return false;
    *out = v;
    return true;
}

} // namespace

bool ParseFault(const std::string &spec, Fault *out, std::string *error)
{
    auto fail = [&](const std::string &why) {
        if (error)
            *error = "fault \"" + spec + "\": " + why;
        return false;
    };
    std::vector<std::string> parts;
    std::stringstream ss(spec);
    for (std::string p; std::getline(ss, p, ',');)
        parts.push_back(p);
    if (parts.empty() || parts[0].empty())
        return fail("empty");

    Fault f;
    f.text = spec;
    std::string head = parts[0], name = head, arg;
    bool hasArg = false;
    if (auto eq = head.find('='); eq != std::string::npos) {
        name = head.substr(0, eq);
        arg = head.substr(eq + 1);
        hasArg = true;
    }
    const Switch *sw = nullptr;
    for (const auto &s : kSwitches)
        if (name == s.name)
            sw = &s;
    if (!sw)
        return fail("unknown switch \"" + name + "\"");
    f.kind = sw->kind;
    if (sw->argKind == ArgKind::None && hasArg)
        return fail("takes no argument");
    if (sw->argKind == ArgKind::Required && !hasArg)
        return fail("needs an argument");
    if (hasArg) {
        int v = -1;
        long n = 0;
        bool ok = false;
        switch (sw->argType) {
        case ArgType::Command:
            ok = ParseCommand(arg, &v);
            break;
        case ArgType::Message:
            ok = ParseMessageType(arg, &v);
            break;
        case ArgType::State:
            ok = ParseSfState(arg, &v);
            break;
        case ArgType::Count:
            ok = ParseCount(arg, &n) && n <= 0x7FFFFFFF;
            v = int(n);
            break;
        }
        if (!ok)
            return fail("bad argument \"" + arg + "\"");
        f.arg = v;
    }
    // silent-after=N answers N frames and is silent from frame N + 1 on.
    if (name == "silent-after") {
        f.fromFrame = long(f.arg) + 1;
        f.arg = -1;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string &m = parts[i];
        if (m == "once") {
            f.once = true;
        } else if (m.rfind("from=", 0) == 0) {
            long n = 0;
            if (!ParseCount(m.substr(5), &n) || n < 1)
                return fail("bad frame count in \"" + m + "\"");
            f.fromFrame = std::max(f.fromFrame, n);
        } else {
            return fail("unknown modifier \"" + m + "\"");
        }
    }
    *out = f;
    return true;
}

bool FaultSet::Add(const std::string &spec, std::string *error)
{
    Fault f;
    if (!ParseFault(spec, &f, error))
        return false;
    faults_.push_back(f);
    return true;
}

bool FaultSet::Hit(FaultKind kind, int arg, long frame, bool consume)
{
    for (auto &f : faults_) {
        if (f.kind != kind || f.spent || frame < f.fromFrame)
            continue;
        if (f.arg != -1 && f.arg != arg)
            continue;
        if (consume && f.once)
            f.spent = true;
        return true;
    }
    return false;
}

int FaultSet::ArmedArg(FaultKind kind, long frame) const
{
    for (const auto &f : faults_)
        if (f.kind == kind && !f.spent && frame >= f.fromFrame)
            return f.arg;
    return -2;
}

} // namespace zsim
