#pragma once

// The USB link: a presence probe and 64-byte packets on the pipes "PIPE00" (to the unit) and
// "PIPE01" (from the unit), reached through libVexaUSB.so. The library is loaded by name on
// every probe, write and read; when it is missing or lacks an export the probe reports no
// unit and the packet functions fail. All functions may be called from any thread, one
// operation on the link at a time.

#include <atomic>

// The invalid handle: no unit.
inline constexpr int kInvalidHandle = -1;

// File name the link loads for every call.
inline constexpr const char* kUsbLibraryName = "libVexaUSB.so";

// Probes for a unit: the handle from "open_dev", or kInvalidHandle (also when the library or
// its export is missing). The caller closes a valid handle with UsbCloseHandle.
int UsbProbe();
// Closes a handle from UsbProbe; kInvalidHandle is ignored.
void UsbCloseHandle(int handle);

// Writes the 64 bytes of g_cmdPacket to "PIPE00". False when the pipe cannot be opened or
// the write fails.
bool UsbWritePacket();

// Reads the unit's next answer from "PIPE01" into g_ansPacket. True only when exactly 64
// bytes arrived. Blocks until the answer comes, the unit goes away, or the exchange is
// cancelled through its UsbCancelToken.
bool UsbReadPacket();

// Write then read; false as soon as either fails, or (unless skipAck) when the answer lacks
// AckPattern. Shows nothing.
bool UsbTransact(bool skipAck);

// As UsbTransact, but shows "Error[9001]" for a failed write (no read is attempted),
// "Error[9002]" for a failed read and "Error[9003]" for a missing acknowledge, and returns
// false once the box is closed. A read ended by a cancel shows nothing.
bool UsbTransactReport(bool skipAck);

// Lets one thread give up the exchanges of a worker without racing it. The worker runs its
// exchanges inside a UsbCancelScope bound to the token; Cancel() from any other thread ends
// the exchange under way and makes every exchange the worker
// starts afterwards return false at once, without a message and before anything is written.
// Whether the cancel comes before, during or after the exchange, the answer to an abandoned
// command never reaches a later read.
class UsbCancelToken
{
public:
    UsbCancelToken() = default;
    UsbCancelToken(const UsbCancelToken&) = delete;
    UsbCancelToken& operator=(const UsbCancelToken&) = delete;

    void Cancel();
    bool Cancelled() const;

private:
    std::atomic<bool> m_cancelled{false};
};

// Binds the exchanges of the calling thread to token for the scope's lifetime. The token
// must outlive the scope.
class UsbCancelScope
{
public:
    explicit UsbCancelScope(UsbCancelToken& token);
    ~UsbCancelScope();
    UsbCancelScope(const UsbCancelScope&) = delete;
    UsbCancelScope& operator=(const UsbCancelScope&) = delete;

private:
    UsbCancelToken* m_previous;
};
