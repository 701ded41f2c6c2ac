#include "protocol/Commands.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

uint32_t TUnitSettingsBlock::GetU32(std::size_t at) const
{
    return qFromLittleEndian<quint32>(&Bytes[at]);
}

void TUnitSettingsBlock::PutU32(std::size_t at, uint32_t v)
{
    for (std::size_t i = 0; i < 4; ++i)
        Bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::string TUnitSettingsBlock::GetText(std::size_t at, std::size_t maxLength) const
{
    std::size_t n = 0;
    while (n < maxLength && Bytes[at + n] != 0)
        ++n;
    return std::string(reinterpret_cast<const char *>(&Bytes[at]), n);
}

bool TUnitSettingsBlock::PutText(std::size_t at, std::size_t maxLength, const std::string &text)
{
    // An embedded zero would silently shorten the text on the unit.
    if (text.size() > maxLength || text.find('\0') != std::string::npos)
        return false;
    std::memcpy(&Bytes[at], text.data(), text.size());
    Bytes[at + text.size()] = 0;
    return true;
}

const std::array<const char *, 17> kOutputNames = {
    "DO01",  "DO02",  "DO03",  "DO04",  "RL01", "RL02", "RL03", "RL04", "Buzzer",
    "PWM01", "PWM02", "PWM03", "PWM04", "AO01", "AO02", "AO03", "AO04",
};

int OutputIndex(const std::string &name)
{
    for (std::size_t i = 0; i < kOutputNames.size(); ++i)
        if (name == kOutputNames[i])
            return static_cast<int>(i);
    return -1;
}

std::vector<uint8_t> BuildWriteOutputPayload(int outputIndex, int state)
{
    return {static_cast<uint8_t>(outputIndex * 2 + state)};
}

std::vector<uint8_t> BuildBufferTestPayload()
{
    std::vector<uint8_t> payload(kBufferTestLength);
    for (std::size_t j = 0; j < payload.size(); ++j)
        payload[j] = static_cast<uint8_t>(j % 251);
    return payload;
}

bool BuildLogonPayload(const std::string &email, const std::string &password,
                       std::vector<uint8_t> &payload)
{
    if (email.size() > kMaxEmailLength)
        return false;
    std::vector<uint8_t> out(kLogonPayloadLength, 0);
    std::copy(email.begin(), email.end(), out.begin());
    const auto digest = PasswordDigest(password);
    std::copy(digest.begin(), digest.end(), out.begin() + kMaxEmailLength);
    payload = std::move(out);
    return true;
}
