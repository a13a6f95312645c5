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

// The read or exchange under way, so that another thread can end it. The mutex keeps a cancel
// from shutting down a descriptor number that was closed and reused.
std::mutex g_pendingMutex;
bool g_pending = false;               // a read or exchange runs
int g_pendingReadFd = kInvalidHandle; // the descriptor its read is blocked on, once open
bool g_cancelled = false;
UsbCancelToken* g_pendingToken = nullptr; // the token of the thread whose exchange runs

// The token the calling thread's exchanges are bound to (UsbCancelScope).
thread_local UsbCancelToken* t_cancelToken = nullptr;

// How a read ended.
enum class ReadResult
{
    Answer,    // 64 bytes arrived; they are in g_ansPacket
    Failed,    // no pipe, or fewer than 64 bytes
    Cancelled, // a UsbCancelToken ended it
};

// Marks a read or exchange as under way for its lifetime, so that a cancel that comes while
// its command is still being written is not lost.
class PendingScope
{
public:
    PendingScope()
    {
        std::lock_guard lock(g_pendingMutex);
        g_pending = true;
        g_pendingToken = t_cancelToken;
        // Checked under the same lock as UsbCancelToken::Cancel, so a cancel that comes just
        // before the exchange is not lost.
        g_cancelled = t_cancelToken && t_cancelToken->Cancelled();
    }
    ~PendingScope()
    {
        std::lock_guard lock(g_pendingMutex);
        g_pending = false;
        g_pendingToken = nullptr;
        g_pendingReadFd = kInvalidHandle;
    }
    // True when the exchange was given up before it wrote anything.
    static bool CancelledAtStart()
    {
        std::lock_guard lock(g_pendingMutex);
        return g_cancelled;
    }
    PendingScope(const PendingScope&) = delete;
    PendingScope& operator=(const PendingScope&) = delete;
};

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

// Any negative descriptor from the library is the invalid handle.
int ValidOrInvalid(int fd)
{
    return fd < 0 ? kInvalidHandle : fd;
}

int OpenPipe(const char* pipe)
{
    auto openFile = reinterpret_cast<OpenFileFn>(ResolveExport("open_file"));
    if (!openFile)
        return kInvalidHandle;
    return ValidOrInvalid(openFile(pipe));
}

// A unit that went away must fail the write, not raise SIGPIPE, so sockets are written with
// MSG_NOSIGNAL; a backend that hands out another kind of descriptor gets a plain write.
ssize_t WriteSome(int fd, const std::uint8_t* data, std::size_t size)
{
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == ENOTSOCK)
        return ::write(fd, data, size);
    return n;
}

// Writes all of buffer, retrying writes that a signal cut short.
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

// The read of UsbReadPacket, inside a PendingScope.
ReadResult ReadAnswer()
{
    const int fd = OpenPipe("PIPE01");
    if (fd == kInvalidHandle)
        return ReadResult::Failed;
    {
        std::lock_guard lock(g_pendingMutex);
        if (g_cancelled) {
            // Opened and closed at once: the unit sees the reader go and drops the answer,
            // which must not reach a later read.
            ::close(fd);
            return ReadResult::Cancelled;
        }
        g_pendingReadFd = fd;
    }
    // The answer is read into a local buffer and copied only when complete, so a read that
    // was cut short leaves g_ansPacket as the last whole answer left it.
    Packet answer{};
    const std::size_t got = ReadAll(fd, answer.data(), answer.size());
    bool cancelled = false;
    {
        std::lock_guard lock(g_pendingMutex);
        g_pendingReadFd = kInvalidHandle;
        cancelled = g_cancelled;
    }
    ::close(fd);
    if (cancelled)
        return ReadResult::Cancelled;
    if (got != answer.size())
        return ReadResult::Failed;
    g_ansPacket = answer;
    return ReadResult::Answer;
}

} // namespace

int UsbProbe()
{
    auto openDev = reinterpret_cast<OpenDevFn>(ResolveExport("open_dev"));
    if (!openDev)
        return kInvalidHandle;
    return ValidOrInvalid(openDev());
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
    const PendingScope pending;
    return !PendingScope::CancelledAtStart() && ReadAnswer() == ReadResult::Answer;
}

namespace {

// Ends the exchange under way; the caller holds g_pendingMutex.
void CancelPendingLocked()
{
    g_cancelled = true;
    if (g_pendingReadFd != kInvalidHandle)
        ::shutdown(g_pendingReadFd, SHUT_RDWR);
}

} // namespace

void UsbCancelToken::Cancel()
{
    std::lock_guard lock(g_pendingMutex);
    m_cancelled.store(true);
    if (g_pending && g_pendingToken == this)
        CancelPendingLocked();
}

bool UsbCancelToken::Cancelled() const
{
    return m_cancelled.load();
}

UsbCancelScope::UsbCancelScope(UsbCancelToken& token) : m_previous(t_cancelToken)
{
    t_cancelToken = &token;
}

UsbCancelScope::~UsbCancelScope()
{
    t_cancelToken = m_previous;
}

bool UsbTransact(bool skipAck)
{
    const PendingScope pending;
    if (PendingScope::CancelledAtStart() || !UsbWritePacket() || ReadAnswer() != ReadResult::Answer)
        return false;
    return skipAck || HasAckPattern(g_ansPacket);
}

bool UsbTransactReport(bool skipAck)
{
    const PendingScope pending;
    if (PendingScope::CancelledAtStart())
        return false;
    if (!UsbWritePacket()) {
        platform::ShowErrorCode(9001);
        return false;
    }
    switch (ReadAnswer()) {
    case ReadResult::Answer:
        break;
    case ReadResult::Failed:
        platform::ShowErrorCode(9002);
        return false;
    case ReadResult::Cancelled:
        // The caller gave up waiting; there is nobody left to tell.
        return false;
    }
    if (!skipAck && !HasAckPattern(g_ansPacket)) {
        platform::ShowErrorCode(9003);
        return false;
    }
    return true;
}
