#include "link/Trace.h"

#include "link/Commandcodes.h"

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

// The calendar fields of `seconds` in UTC, without the platform's gmtime_r
// (which Windows lacks).
void UtcFields(std::time_t seconds, std::tm &tm)
{
    using namespace std::chrono;
    const sys_seconds at{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(at);
    const year_month_day ymd{day};
    const hh_mm_ss<std::chrono::seconds> time{at - day};
    tm = std::tm{};
    tm.tm_year = static_cast<int>(ymd.year()) - 1900;
    tm.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    tm.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    tm.tm_hour = static_cast<int>(time.hours().count());
    tm.tm_min = static_cast<int>(time.minutes().count());
    tm.tm_sec = static_cast<int>(time.seconds().count());
}

// "hh:mm:ss.mmm" in UTC; the file's first line carries the date.
void Stamp(char (&out)[16])
{
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    UtcFields(seconds, tm);
    std::snprintf(out, sizeof out, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms % 1000));
}

} // namespace

const char *CommandName(uint8_t command)
{
    switch (command) {
    case CMD_READ_SETTINGS_1:
        return "CMD_READ_SETTINGS_1";
    case CMD_READ_SETTINGS_2:
        return "CMD_READ_SETTINGS_2";
    case CMD_WRITE_SETTINGS_1:
        return "CMD_WRITE_SETTINGS_1";
    case CMD_WRITE_SETTINGS_2:
        return "CMD_WRITE_SETTINGS_2";
    case CMD_SET_IO_VALUE:
        return "CMD_SET_IO_VALUE";
    case CMD_READ_LIVE_VALUES:
        return "CMD_READ_LIVE_VALUES";
    case CMD_READ_UNIT_TYPE:
        return "CMD_READ_UNIT_TYPE";
    case CMD_APPLY_SETTINGS:
        return "CMD_APPLY_SETTINGS";
    case CMD_READ_SF_STATE:
        return "CMD_READ_SF_STATE";
    case CMD_WRITE_SF_COMMAND:
        return "CMD_WRITE_SF_COMMAND";
    case CMD_WRITE_MESSAGE_BLOCK:
        return "CMD_WRITE_MESSAGE_BLOCK";
    case CMD_READ_MESSAGE_LENGTH:
        return "CMD_READ_MESSAGE_LENGTH";
    case CMD_READ_MESSAGE_BLOCK:
        return "CMD_READ_MESSAGE_BLOCK";
    case CMD_SIGNAL_MONITOR:
        return "CMD_SIGNAL_MONITOR";
    case CMD_READ_SIGNAL:
        return "CMD_READ_SIGNAL";
    case CMD_EXT_START:
        return "CMD_EXT_START";
    case CMD_EXT_READ_VALUES:
        return "CMD_EXT_READ_VALUES";
    case CMD_EXT_READ_ERRORS:
        return "CMD_EXT_READ_ERRORS";
    case CMD_EXT_WRITE_ERRORS:
        return "CMD_EXT_WRITE_ERRORS";
    case CMD_READ_VERSION:
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
    UtcFields(now, tm);
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
