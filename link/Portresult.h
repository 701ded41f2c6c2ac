#pragma once

#include <cstdint>

// Results of the port operations of TSerialPort and TFTDIPort. 0 is success.
enum : int32_t {
    PortOK = 0,
    PortErrorParameter = 4353,     // line parameter out of range, or refused by the device
    PortErrorIO = 4354,            // a platform call failed
    PortErrorNotFound = 4355,      // no such device
    PortErrorAccessDenied = 4356,  // in use by another program, or no permission
    PortErrorNotOpen = 4357,       // the operation needs an open port
    PortErrorShortTransfer = 4358, // fewer bytes moved than asked within the time-out
};

// The five time-out values filled anew before every read and write. Only the
// total constants are used: a call waits at most that long for all its bytes.
struct TCommTimeouts {
    uint32_t ReadIntervalTimeout = 0;
    uint32_t ReadTotalTimeoutMultiplier = 0;
    uint32_t ReadTotalTimeoutConstant = 0;
    uint32_t WriteTotalTimeoutMultiplier = 0;
    uint32_t WriteTotalTimeoutConstant = 0;
};

// Line-speed defaults of the link to the unit.
constexpr int32_t kDefaultBaudRate = 19200;
