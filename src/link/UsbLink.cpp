#include "link/UsbLink.h"

#include "link/Packets.h"
#include "platform/MessageBox.h"

#include <cerrno>
#include <dlfcn.h>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using OpenDevFn = int (*)();
using OpenFileFn = int (*)(const char*);

// The descriptor a read is blocked on, so that another thread can end that read. The mutex
// keeps a cancel from shutting down a descriptor number that was closed and reused.
std::mutex g_pendingReadMutex;
int g_pendingReadFd = kInvalidHandle;
bool g_readCancelled = false;

// Loads the library by name, resolves one export and frees the library again. RTLD_NODELETE
// keeps the code mapped after the close, so the returned pointer stays callable and every
// later load is only a reference count.
void* ResolveExport(const char* name)
{
    void* library = dlopen(kUsbLibraryName, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!library)
        return nullptr;
    void* symbol = dlsym(library, name);
    dlclose(library);
    return symbol;
}

int OpenPipe(const char* pipe)
{
    auto openFile = reinterpret_cast<OpenFileFn>(ResolveExport("open_file"));
    if (!openFile)
        return kInvalidHandle;
    return openFile(pipe);
}

// Writes all of buffer, retrying writes that a signal cut short. A unit that went away must
// fail the write, not raise SIGPIPE, so sockets are written with MSG_NOSIGNAL.
ssize_t WriteSome(int fd, const std::uint8_t* data, std::size_t size)
{
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK)
        return ::write(fd, data, size);
    return n;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = WriteSome(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads until size bytes came or the peer closed; returns the count read.
std::size_t ReadAll(int fd, std::uint8_t* data, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, data + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

} // namespace

int UsbProbe()
{
    auto openDev = reinterpret_cast<OpenDevFn>(ResolveExport("open_dev"));
    if (!openDev)
        return kInvalidHandle;
    return openDev();
}

void UsbCloseHandle(int handle)
{
    if (handle != kInvalidHandle)
        ::close(handle);
}

bool UsbWritePacket()
{
    const int fd = OpenPipe("PIPE00");
    if (fd == kInvalidHandle)
        return false;
    const bool ok = WriteAll(fd, g_cmdPacket.data(), g_cmdPacket.size());
    ::close(fd);
    return ok;
}

bool UsbReadPacket()
{
    const int fd = OpenPipe("PIPE01");
    if (fd == kInvalidHandle)
        return false;
    // The answer is read into a local buffer and copied only when complete, so a read that
    // was cut short leaves g_ansPacket as the last whole answer left it.
    Packet answer{};
    {
        std::lock_guard lock(g_pendingReadMutex);
        g_pendingReadFd = fd;
        g_readCancelled = false;
    }
    const std::size_t got = ReadAll(fd, answer.data(), answer.size());
    bool cancelled = false;
    {
        std::lock_guard lock(g_pendingReadMutex);
        g_pendingReadFd = kInvalidHandle;
        cancelled = g_readCancelled;
    }
    ::close(fd);
    if (cancelled || got != answer.size())
        return false;
    g_ansPacket = answer;
    return true;
}

void UsbCancelPendingRead()
{
    std::lock_guard lock(g_pendingReadMutex);
    if (g_pendingReadFd != kInvalidHandle) {
        g_readCancelled = true;
        ::shutdown(g_pendingReadFd, SHUT_RDWR);
    }
}

bool UsbTransact(bool skipAck)
{
    if (!UsbWritePacket() || !UsbReadPacket())
        return false;
    return skipAck || HasAckPattern(g_ansPacket);
}

bool UsbTransactReport(bool skipAck)
{
    if (!UsbWritePacket()) {
        platform::ShowErrorCode(9001);
        return false;
    }
    if (!UsbReadPacket()) {
        platform::ShowErrorCode(9002);
        return false;
    }
    if (!skipAck && !HasAckPattern(g_ansPacket)) {
        platform::ShowErrorCode(9003);
        return false;
    }
    return true;
}
