#pragma once

// The unit's store-and-forward states: the byte CMD_READ_SF_STATE returns,
// and the states the tool asks for with CMD_WRITE_SF_COMMAND.

#include <cstdint>

enum TSFState : std::int8_t {
    SF_IDLE = 0,
    SF_CONNECTING = 1,
    SF_CONNECTING_WITH_SNAPSHOT = 2,
    SF_FORCE_SYNC = 3,
    SF_PROCESSING = 4,
    SF_WAITING_UPLOAD = 5,
    SF_UPLOADING = 6,
    SF_DOWNLOADING = 7,
    SF_WAITING_DOWNLOAD = 8,
    SF_LOGGING_OFF = 9,
    SF_ERROR = 10,
    SF_UNKNOWN = 11,
};

// Name of a store-and-forward state for status bar panel 1
// ("SF_DOWNLOADING", or "Unknown state" for a value outside 0..11).
const char *StoreForwardStateName(int state);
