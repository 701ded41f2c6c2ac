#pragma once

// The byte-level device behind TSerialPort and TFTDIPort: one small interface
// with an implementation per platform and kind of port (termios and our own
// bridge layer on Linux, Win32 COM and the vendor's bridge library on
// Windows) and one over an in-process byte pipe. The port classes keep the
// results' order of evaluation; a device only reports what happened.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "link/Portresult.h"

class TBytePipeEnd;
class TLinkAbort;

class TPortDevice
{
public:
    virtual ~TPortDevice() = default;

    // Opens the device for exclusive use and keeps its line settings for
    // Close. A port result: PortErrorNotFound, PortErrorAccessDenied or
    // PortErrorIO; when only reading the settings failed (PortErrorIO) the
    // device stays open.
    virtual int32_t Open(const std::string &name) = 0;
    // Writes the kept settings back and releases the device; harmless when
    // closed.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Values checked as TSerialPort::SetLineParameters states: PortErrorIO
    // when the settings cannot be read, PortErrorParameter when a value is
    // out of range (nothing written) or the device refuses them.
    virtual int32_t SetLineParameters(int32_t baudRate, int32_t dataBits, int32_t stopBits,
                                      int32_t parity, int32_t flowMode) = 0;
    // The time-outs of the following reads and writes; PortErrorIO when the
    // device refuses them.
    virtual int32_t SetTimeouts(const TCommTimeouts &timeouts) = 0;
    // Both queues; PortErrorIO on failure.
    virtual int32_t Purge() = 0;
    // The receive queue only; `discarded` is the count of bytes that waited.
    virtual int32_t DiscardInput(std::size_t &discarded) = 0;

    // Move up to `count` bytes within the total time-out last set; `done` is
    // the count moved. PortOK when the device did not fail (also when the
    // time ran out), PortErrorIO when it failed, hung up or was aborted.
    virtual int32_t Read(uint8_t *buffer, uint32_t count, uint32_t &done) = 0;
    virtual int32_t Write(const uint8_t *buffer, uint32_t count, uint32_t &done) = 0;

    // Transfers end at once, as failed, while `abort` is set.
    virtual void SetAbort(const TLinkAbort *abort) { FAbort = abort; }

protected:
    const TLinkAbort *FAbort = nullptr;
};

// The platform's COM port device (termios / Win32 COM). It opens names as
// ResolvePortName gives them.
std::unique_ptr<TPortDevice> MakeComPortDevice();

// The platform's USB bridge device for a bridge of this description, opened
// by the description (our own bridge layer / the vendor's library, or on
// Windows a virtual bridge's COM device).
std::unique_ptr<TPortDevice> MakeBridgeDevice(const std::string &description);

// Bridges the platform's bridge layer sees now (0 when its library is
// missing); false when it cannot be asked.
bool CountPlatformBridges(uint32_t &count);

// A device over one end of an in-process byte pipe. The end is shared: the
// port only borrows it while open, so it can be opened again after Close.
std::unique_ptr<TPortDevice> MakePipePortDevice(std::shared_ptr<TBytePipeEnd> end);

// Pipe ends reachable by name, for an in-process simulated unit: COM port
// `number` ("COMn" opened by TSerialPort) or a bridge description (opened by
// TFTDIPort, counted as an attached bridge). A registration replaces an
// earlier one of the same number or description; a null end removes it.
void RegisterPipeComPort(int number, std::shared_ptr<TBytePipeEnd> end);
void RegisterPipeBridge(const std::string &description, std::shared_ptr<TBytePipeEnd> end);
void ClearPipePorts();

// The registered end for a port name "COMn" or a bridge description; null
// when none is.
std::shared_ptr<TBytePipeEnd> PipeForPortName(const std::string &name);
std::shared_ptr<TBytePipeEnd> PipeForBridge(const std::string &description);
uint32_t PipeBridgeCount();
// Whether a port has the pipe end open now.
bool PipePortInUse(const std::shared_ptr<TBytePipeEnd> &end);

// Whether the platform's bridge library can be used; when not, `problem`
// says what is missing. Always true on Linux, where the layer is our own.
bool BridgeLibraryUsable(std::string *problem = nullptr);
