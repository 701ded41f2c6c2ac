#include "protocol/Storeforward.h"

namespace
{

const char *const kSFStateNames[] = {
    "SF_IDLE",        "SF_CONNECTING",  "SF_CONNECTING_WITH_SNAPSHOT",
    "SF_FORCE_SYNC",  "SF_PROCESSING",  "SF_WAITING_UPLOAD",
    "SF_UPLOADING",   "SF_DOWNLOADING", "SF_WAITING_DOWNLOAD",
    "SF_LOGGING_OFF", "SF_ERROR",       "SF_UNKNOWN",
};

} // namespace

const char *StoreForwardStateName(int state)
{
    if (state < 0 || state > SF_UNKNOWN)
        return "Unknown state";
    return kSFStateNames[state];
}
