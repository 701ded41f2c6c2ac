#include "sim/Wire.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zsim
{

namespace
{

struct Named {
    int code;
    const char *name;
};

constexpr Named kCommands[] = {
    {0x00, "CMD_READ_SETTINGS_1"},     {0x01, "CMD_READ_SETTINGS_2"},
    {0x02, "CMD_WRITE_SETTINGS_1"},    {0x03, "CMD_WRITE_SETTINGS_2"},
    {0x06, "CMD_SET_IO_VALUE"},        {0x0A, "CMD_READ_LIVE_VALUES"},
    {0x0D, "CMD_READ_UNIT_TYPE"},      {0x14, "CMD_APPLY_SETTINGS"},
    {0x15, "CMD_READ_SF_STATE"},       {0x16, "CMD_WRITE_SF_COMMAND"},
    {0x17, "CMD_WRITE_MESSAGE_BLOCK"}, {0x18, "CMD_READ_MESSAGE_LENGTH"},
    {0x19, "CMD_READ_MESSAGE_BLOCK"},  {0x1A, "CMD_SIGNAL_MONITOR"},
    {0x1B, "CMD_READ_SIGNAL"},         {0x1C, "CMD_EXT_START"},
    {0x1D, "CMD_EXT_READ_VALUES"},     {0x1E, "CMD_EXT_READ_ERRORS"},
    {0x1F, "CMD_EXT_WRITE_ERRORS"},    {0xDF, "CMD_READ_VERSION"},
};

constexpr Named kStates[] = {
    {0, "SF_IDLE"},        {1, "SF_CONNECTING"},  {2, "SF_CONNECTING_WITH_SNAPSHOT"},
    {3, "SF_FORCE_SYNC"},  {4, "SF_PROCESSING"},  {5, "SF_WAITING_UPLOAD"},
    {6, "SF_UPLOADING"},   {7, "SF_DOWNLOADING"}, {8, "SF_WAITING_DOWNLOAD"},
    {9, "SF_LOGGING_OFF"}, {10, "SF_ERROR"},      {11, "SF_UNKNOWN"},
};

constexpr Named kMessages[] = {
    {1, "MSG_READ_BASIC_INFO"},   {2, "MSG_READ_SNAPSHOT"},
    {3, "MSG_WRITE_OUTPUT"},      {4, "MSG_READ_NEXT_BLOCK"},
    {5, "MSG_WRITE_NEXT_BLOCK"},  {6, "MSG_READ_UOM_INFO"},
    {7, "MSG_BUFFER_TEST"},       {8, "MSG_LOGON"},
    {9, "MSG_READ_IO_CONFIG"},    {10, "MSG_READ_UOM_LIST"},
    {11, "MSG_READ_INPUT_TYPES"}, {12, "MSG_READ_MODBUS_DATA"},
    {13, "MSG_WRITE_IO_CONFIG"},
};

template <size_t N> std::string NameOf(const Named (&table)[N], int code, const char *fallback)
{
    for (const auto &n : table)
        if (n.code == code)
            return n.name;
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s 0x%02X", fallback, unsigned(code));
    return buf;
}

std::string Upper(std::string s)
{
    for (auto &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    std::replace(s.begin(), s.end(), '-', '_');
    return s;
}

bool ParseNumber(const std::string &text, int *out)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (*end != '\0' || v < 0 || v > 0xFFFF)
        return false;
    *out = int(v);
    return true;
}

// Accepts a number or a table name, with or without its prefix.
template <size_t N>
bool ParseNamed(const Named (&table)[N], const std::string &prefix, const std::string &text,
                int *out)
{
    if (ParseNumber(text, out))
        return true;
    std::string up = Upper(text);
    for (const auto &n : table) {
        std::string name = n.name;
        if (up == name || prefix + up == name) {
            *out = n.code;
            return true;
        }
    }
    return false;
}

} // namespace

std::string CommandName(uint8_t code)
{
    return NameOf(kCommands, code, "unknown command");
}
std::string SfStateName(int state)
{
    return NameOf(kStates, state, "unknown state");
}
std::string MessageName(uint16_t type)
{
    return NameOf(kMessages, type, "unknown message");
}

bool ParseCommand(const std::string &text, int *out)
{
    return ParseNamed(kCommands, "CMD_", text, out) && *out <= 0xFF;
}
bool ParseMessageType(const std::string &text, int *out)
{
    return ParseNamed(kMessages, "MSG_", text, out);
}
bool ParseSfState(const std::string &text, int *out)
{
    return ParseNamed(kStates, "SF_", text, out) && *out <= 0xFF;
}

uint8_t Xor(const uint8_t *p, size_t n)
{
    uint8_t x = 0;
    for (size_t i = 0; i < n; ++i)
        x ^= p[i];
    return x;
}

uint8_t NegSum(const uint8_t *p, size_t n)
{
    uint8_t s = 0;
    for (size_t i = 0; i < n; ++i)
        s = uint8_t(s + p[i]);
    return uint8_t(-s);
}

Bytes SealReply(Bytes body)
{
    uint8_t c = NegSum(body.data(), body.size());
    body.push_back(c);
    return body;
}

Bytes BuildEnvelope(uint16_t type, const Bytes &payload)
{
    Bytes m;
    uint32_t n = payload.empty() ? 0 : uint32_t(payload.size() + 1);
    PutU16(m, type);
    PutU32(m, n);
    PutU16(m, n);
    if (!payload.empty()) {
        m.insert(m.end(), payload.begin(), payload.end());
        m.push_back(NegSum(payload.data(), payload.size()));
    }
    return m;
}

std::string Hex(const uint8_t *p, size_t n)
{
    std::string s;
    s.reserve(n * 3);
    char buf[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", p[i]);
        if (i)
            s += ' ';
        s += buf;
    }
    return s;
}

void PutF32(Bytes &b, float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    PutU32(b, u);
}

void PutFixed(Bytes &b, const std::string &s, size_t width)
{
    for (size_t i = 0; i < width; ++i)
        b.push_back(i < s.size() ? uint8_t(s[i]) : 0);
}

} // namespace zsim
