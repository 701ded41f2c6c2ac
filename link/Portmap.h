#pragma once

// Which device a COM port number means. "COMn" is /dev/ttyS(n-1) on Linux and
// \\.\COMn on Windows unless the front end mapped it from its command line
// (--com n=PATH). The map is process-wide and safe to use from any thread.

#include <string>

// Maps COM port `number` (1 or more) to a device path; false for a bad number
// or an empty path.
bool MapComPort(int number, const std::string &path);
void ClearComPortMap();

// The device path of COM port `number`; empty when the number is below 1.
std::string ComPortPath(int number);
// The platform's own device for COM port `number` (1 or more), unmapped.
std::string PlatformComPortPath(int number);

// The n of a port name "COMn" (n at least 1); 0 for any other name.
int ComPortNumber(const std::string &name);

// The device path for a port name: "COMn" through the map, anything else is
// taken as a path as it is.
std::string ResolvePortName(const std::string &name);

// Parses "n=PATH" (the value of --com). False, outputs unchanged, when the
// text is not of that form or n is below 1.
bool ParsePortOption(const std::string &text, int &number, std::string &path);

// Parses "DESC=PATH" (the value of --usb), split at the first '='; both parts
// must be non-empty.
bool ParseUsbOption(const std::string &text, std::string &description, std::string &path);

// Parses and applies one --com value (to the COM map) or --usb value (a
// virtual bridge of Ftd2xx); false when it does not parse.
bool ApplyComOption(const std::string &text);
bool ApplyUsbOption(const std::string &text);
