#include "Trace.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace linktrace
{

namespace
{

std::mutex Lock;
std::FILE *File = nullptr;
std::atomic<bool> On{false};

// "hh:mm:ss.mmm" in UTC; the file's first line carries the date.
void Stamp(char (&out)[16])
{
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    std::snprintf(out, sizeof out, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
}

} // namespace

const char *CommandName(uint8_t command)
{
    switch (command) {
    case 0x00:
        return "CMD_READ_SETTINGS_1";
    case 0x01:
        return "CMD_READ_SETTINGS_2";
    case 0x02:
        return "CMD_WRITE_SETTINGS_1";
    case 0x03:
        return "CMD_WRITE_SETTINGS_2";
    case 0x06:
        return "CMD_SET_IO_VALUE";
    case 0x0A:
        return "CMD_READ_LIVE_VALUES";
    case 0x0D:
        return "CMD_READ_UNIT_TYPE";
    case 0x14:
        return "CMD_APPLY_SETTINGS";
    case 0x15:
        return "CMD_READ_SF_STATE";
    case 0x16:
        return "CMD_WRITE_SF_COMMAND";
    case 0x17:
        return "CMD_WRITE_MESSAGE_BLOCK";
    case 0x18:
        return "CMD_READ_MESSAGE_LENGTH";
    case 0x19:
        return "CMD_READ_MESSAGE_BLOCK";
    case 0x1A:
        return "CMD_SIGNAL_MONITOR";
    case 0x1B:
        return "CMD_READ_SIGNAL";
    case 0x1C:
        return "CMD_EXT_START";
    case 0x1D:
        return "CMD_EXT_READ_VALUES";
    case 0x1E:
        return "CMD_EXT_READ_ERRORS";
    case 0x1F:
        return "CMD_EXT_WRITE_ERRORS";
    case 0xDF:
        return "CMD_READ_VERSION";
    default:
        return "unknown command";
    }
}

bool Install(const std::string &path, std::string *error)
{
    std::FILE *f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        if (error)
            *error = "cannot write " + path;
        return false;
    }
    std::lock_guard<std::mutex> g(Lock);
    if (File)
        std::fclose(File);
    File = f;
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%d", &tm);
    std::fprintf(File, "# zelvo link trace, %s, times UTC\n", date);
    std::fflush(File);
    On = true;
    return true;
}

void Uninstall()
{
    std::lock_guard<std::mutex> g(Lock);
    On = false;
    if (File)
        std::fclose(File);
    File = nullptr;
}

bool Active()
{
    return On.load(std::memory_order_relaxed);
}

void Frame(const char *direction, uint8_t command, const uint8_t *bytes, std::size_t count,
           const char *note)
{
    if (!Active())
        return;
    char stamp[16];
    Stamp(stamp);
    std::string hex;
    hex.reserve(count * 3 + 40);
    static const char digits[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < count; ++i) {
        if (i)
            hex += ' ';
        hex += digits[bytes[i] >> 4];
        hex += digits[bytes[i] & 15];
    }
    // Same columns as the simulator's trace: short frames line up.
    if (hex.size() < 36)
        hex.resize(36, ' ');
    std::lock_guard<std::mutex> g(Lock);
    if (!File)
        return;
    std::fprintf(File, "%s %s %s  %s%s%s\n", stamp, direction, hex.c_str(), CommandName(command),
                 note ? " " : "", note ? note : "");
    std::fflush(File);
}

void Event(const std::string &text)
{
    if (!Active())
        return;
    char stamp[16];
    Stamp(stamp);
    std::lock_guard<std::mutex> g(Lock);
    if (!File)
        return;
    std::fprintf(File, "%s ** %s\n", stamp, text.c_str());
    std::fflush(File);
}

} // namespace linktrace
