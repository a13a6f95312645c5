#include "UnitServer.h"

#include "ControlLine.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tavo {
namespace {

constexpr std::size_t kHelloSize = 8;
constexpr std::size_t kLongestControlLine = 1024;
// A client that stops half-way through its hello, packet or command line is dropped after
// this long, so that it cannot hold up the writers behind it for ever.
constexpr auto kIdleLimit = std::chrono::seconds(2);
// How long a writer's packet may sit unread when nothing else wakes the loop. In a stream the
// next connection comes much sooner and brings the packet in with it.
constexpr auto kPatience = std::chrono::microseconds(200);

constexpr std::uint64_t kListenTag = ~std::uint64_t{0};
constexpr std::uint64_t kWakeTag = ~std::uint64_t{0} - 1;

std::string HexOf(const std::uint8_t* bytes, std::size_t size)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text.push_back(kHex[bytes[i] >> 4]);
        text.push_back(kHex[bytes[i] & 0x0F]);
    }
    return text;
}

bool IsChannel(const std::uint8_t* hello, const char* name)
{
    std::uint8_t expected[kHelloSize] = {};
    std::memcpy(expected, name, std::strlen(name));
    return std::memcmp(hello, expected, kHelloSize) == 0;
}

bool SendAll(int fd, const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// recv that retries interrupted calls; 0 at end of stream, -1 with errno otherwise.
ssize_t Receive(int fd, void* buffer, std::size_t size)
{
    ssize_t n;
    do {
        n = ::recv(fd, buffer, size, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n;
}

bool WouldBlock(ssize_t n)
{
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

} // namespace

UnitServer::UnitServer(UnitDevice& device, std::mutex& mutex, std::condition_variable& traceChanged,
                       bool paced)
    : m_device(device), m_mutex(mutex), m_traceChanged(traceChanged), m_paced(paced)
{
}

UnitServer::~UnitServer()
{
    for (std::uint32_t slot = 0; slot < m_connections.size(); ++slot) {
        if (m_connections[slot].phase != Phase::Free)
            close(slot);
    }
    for (int fd : m_finished)
        ::close(fd);
    if (m_listen >= 0) {
        ::close(m_listen);
        ::unlink(m_path.c_str());
    }
    if (m_wake >= 0)
        ::close(m_wake);
    if (m_epoll >= 0)
        ::close(m_epoll);
}

bool UnitServer::safeFolder(const std::string& path, std::string* error)
{
    const auto unsafe = [&](const std::string& why) {
        if (error)
            *error = "socket " + path + ": " + why;
        return false;
    };
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    ::mkdir(folder.c_str(), 0700);
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0)
        return unsafe("its folder " + folder + ": " + std::strerror(errno));
    // A link owned by another user could be pointed elsewhere by that user.
    if (S_ISLNK(info.st_mode) && info.st_uid != ::geteuid() && info.st_uid != 0)
        return unsafe("its folder " + folder + " is a link of another user");
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return unsafe("its folder " + folder + " is not a folder");
    if (info.st_uid != ::geteuid())
        return unsafe("its folder " + folder +
                      " belongs to another user; use a folder of your own");
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return unsafe("other users can write to its folder " + folder +
                      "; use a folder only you can write to");
    return true;
}

bool UnitServer::listen(const std::string& path, std::string* error)
{
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = "socket " + path + ": " + why;
        return false;
    };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path)
        return fail("the path must have 1 to " + std::to_string(sizeof address.sun_path - 1) +
                    " characters");
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);

    struct stat info;
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode))
            return fail("exists and is not a socket");
        // A socket that still accepts belongs to a running unit; a dead one is left over.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool alive =
            probe >= 0 &&
            ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (alive)
            return fail("another unit is serving there");
        ::unlink(path.c_str());
    }

    m_listen = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listen < 0)
        return fail(std::strerror(errno));
    // Only the owner may connect. bind() gives the socket the mode the umask leaves, so the
    // umask keeps it from being wider than 0600 even for an instant.
    const mode_t umask = ::umask(0177);
    const bool bound =
        ::bind(m_listen, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::umask(umask);
    if (!bound || ::chmod(path.c_str(), 0600) != 0 || ::listen(m_listen, 128) != 0) {
        const std::string why = std::strerror(errno);
        ::close(m_listen);
        m_listen = -1;
        if (bound)
            ::unlink(path.c_str());
        return fail(why);
    }
    m_path = path;
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (m_epoll < 0 || m_wake < 0)
        return fail(std::strerror(errno));
    epoll_event listenEvent{};
    listenEvent.events = EPOLLIN;
    listenEvent.data.u64 = kListenTag;
    epoll_event wakeEvent{};
    wakeEvent.events = EPOLLIN;
    wakeEvent.data.u64 = kWakeTag;
    if (::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_listen, &listenEvent) != 0 ||
        ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, m_wake, &wakeEvent) != 0)
        return fail(std::strerror(errno));
    m_link = m_device.linkGeneration();
    return true;
}

void UnitServer::run()
{
    constexpr int kMaxEvents = 32;
    epoll_event events[kMaxEvents];
    std::unique_lock lock(m_mutex);
    Clock::time_point lastActivity{};
    while (!m_stopping) {
        const Clock::time_point start = Clock::now();
        const std::optional<Clock::duration> wait = waitTime(start);
        lock.unlock();
        // A host that streams packets opens the next connection within microseconds, while
        // waking a sleeping thread costs far more. So right after activity the loop polls
        // for a short while (never past its own deadline) before it sleeps.
        Clock::time_point spinUntil = lastActivity + kSpinAfterActivity;
        if (wait)
            spinUntil = std::min(spinUntil, start + *wait);
        int n = 0;
        Clock::time_point polled = start;
        while (polled < spinUntil &&
               (n = waitForEvents(events, kMaxEvents, Clock::duration::zero())) == 0)
            polled = Clock::now();
        if (n == 0) {
            std::optional<Clock::duration> rest = wait;
            if (rest)
                rest = std::max(Clock::duration::zero(), *rest - (polled - start));
            n = waitForEvents(events, kMaxEvents, rest);
        }
        if (n > 0)
            lastActivity = Clock::now();
        lock.lock();
        if (m_stopping)
            break;
        const std::size_t traced = m_device.trace().size();
        const Clock::time_point now = Clock::now();
        for (int i = 0; i < n; ++i)
            handle(events[i].data.u64, events[i].events, now);
        expireDeadlines(now);
        letWritersIn(now);
        deliverAnswers(now);
        if (const auto due = m_device.trace().flushDue(); due && *due <= now)
            m_device.trace().flush();
        if (m_device.trace().size() != traced)
            m_traceChanged.notify_all();
    }
    // A packet that has arrived whole is taken before the unit goes away.
    if (!m_writers.empty() && m_connections[m_writers.front()].phase == Phase::WriterReading)
        readPacket(m_writers.front());
    for (int fd : m_finished)
        ::close(fd);
    m_finished.clear();
    for (std::uint32_t slot = 0; slot < m_connections.size(); ++slot) {
        if (m_connections[slot].phase != Phase::Free)
            close(slot);
    }
    m_device.trace().flush();
}

int UnitServer::waitForEvents(epoll_event* events, int maxEvents,
                              std::optional<Clock::duration> wait)
{
    using std::chrono::nanoseconds;
    if (!m_millisecondWaits) {
        // Nanosecond timeouts: the pace works in fractions of a millisecond.
        timespec timeout{};
        if (wait) {
            const auto ns = std::chrono::duration_cast<nanoseconds>(*wait).count();
            timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
            timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
        }
        const int n =
            ::epoll_pwait2(m_epoll, events, maxEvents, wait ? &timeout : nullptr, nullptr);
        if (n >= 0 || errno != ENOSYS)
            return n;
        // A kernel older than 5.11: without this fallback the loop would spin and serve nothing.
        m_millisecondWaits = true;
    }
    int timeoutMs = -1;
    if (wait) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*wait).count();
        timeoutMs = static_cast<int>(std::min<decltype(ms)>(ms, 24 * 3600 * 1000));
    }
    return ::epoll_wait(m_epoll, events, maxEvents, timeoutMs);
}

void UnitServer::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void UnitServer::settle()
{
    const Clock::time_point now = Clock::now();
    const std::size_t traced = m_device.trace().size();
    letWritersIn(now);
    deliverAnswers(now);
    // Another thread may be waiting for exactly these packets.
    if (m_device.trace().size() != traced)
        m_traceChanged.notify_all();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void UnitServer::deviceChanged()
{
    syncLink();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
}

void UnitServer::handle(std::uint64_t tag, std::uint32_t events, Clock::time_point now)
{
    if (tag == kListenTag) {
        acceptOne(now);
        return;
    }
    if (tag == kWakeTag) {
        std::uint64_t count;
        [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
        return;
    }
    const auto slot = static_cast<std::uint32_t>(tag);
    const auto generation = static_cast<std::uint32_t>(tag >> 32);
    // A connection closed earlier in this round may have left an event behind; its slot
    // has a new generation by now.
    if (slot >= m_connections.size() || m_connections[slot].generation != generation)
        return;
    switch (m_connections[slot].phase) {
    case Phase::Hello:
        readHello(slot, now);
        break;
    case Phase::WriterQueued:
        if (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
            m_device.noteProblem("writer left before it was let in");
            close(slot);
        }
        break;
    case Phase::WriterReading:
        // Only the writer at the head of the queue may be taken; a later one that is already
        // let in cannot exist, as writers are let in one at a time.
        readPacket(slot);
        break;
    case Phase::ReaderWaiting:
        readReader(slot);
        break;
    case Phase::Control:
        readControl(slot);
        break;
    case Phase::Free:
        break;
    }
    if (m_connections[slot].generation == generation)
        watch(slot);
}

void UnitServer::acceptOne(Clock::time_point now)
{
    // One connection per readiness event: the listening socket stays ready while more wait,
    // and a second accept would only find none in the usual case of one client.
    int fd;
    do {
        fd = ::accept4(m_listen, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    } while (fd < 0 && (errno == EINTR || errno == ECONNABORTED));
    if (fd < 0)
        return;
    const std::uint32_t slot = allocate(fd);
    const std::uint32_t generation = m_connections[slot].generation;
    m_connections[slot].phase = Phase::Hello;
    m_connections[slot].deadline = now + kIdleLimit;
    // The client writes its hello right after connecting; it is usually here already, and
    // then a writer never needs to join the epoll set.
    readHello(slot, now);
    if (m_connections[slot].generation == generation)
        watch(slot);
}

void UnitServer::readHello(std::uint32_t slot, Clock::time_point now)
{
    Connection& c = m_connections[slot];
    const ssize_t n = Receive(c.fd, c.bytes.data() + c.got, kHelloSize - c.got);
    if (WouldBlock(n))
        return;
    if (n <= 0) {
        if (c.got > 0)
            m_device.noteProblem("hello cut short: " + HexOf(c.bytes.data(), c.got));
        close(slot);
        return;
    }
    c.got = static_cast<std::uint8_t>(c.got + n);
    if (c.got < kHelloSize)
        return;

    const bool plugged = m_device.plugged();
    c.got = 0;
    c.deadline.reset();
    if (IsChannel(c.bytes.data(), "PROBE")) {
        sendByte(slot, plugged ? 'Y' : 'N');
        close(slot);
    } else if (IsChannel(c.bytes.data(), "PIPE00")) {
        if (!plugged) {
            sendByte(slot, 'N');
            close(slot);
            return;
        }
        c.phase = Phase::WriterQueued;
        m_writers.push_back(slot);
        letWritersIn(now);
    } else if (IsChannel(c.bytes.data(), "PIPE01")) {
        if (!plugged) {
            sendByte(slot, 'N');
            close(slot);
            return;
        }
        if (!sendByte(slot, 'Y')) {
            close(slot);
            return;
        }
        c.phase = Phase::ReaderWaiting;
        m_readers.push_back(slot);
        // The command this reader waits for may still sit unread with its writer.
        letWritersIn(now);
        deliverAnswers(now);
    } else if (IsChannel(c.bytes.data(), "CTL")) {
        c.phase = Phase::Control;
        c.deadline = now + kIdleLimit;
        readControl(slot);
    } else {
        m_device.noteProblem("hello " + HexOf(c.bytes.data(), kHelloSize));
        close(slot);
    }
}

bool UnitServer::readPacket(std::uint32_t slot)
{
    Connection& c = m_connections[slot];
    // One byte more than a packet, to notice a client that writes too much.
    ssize_t n = 0;
    while (c.got < kUnitPacketSize) {
        n = Receive(c.fd, c.bytes.data() + c.got, c.bytes.size() - c.got);
        if (n <= 0)
            break;
        c.got = static_cast<std::uint8_t>(c.got + n);
    }
    if (c.got >= kUnitPacketSize) {
        const bool tooLong = c.got > kUnitPacketSize;
        m_device.takePacket(c.bytes.data());
        if (tooLong)
            m_device.noteProblem("more than 64 bytes on one PIPE00 connection");
    } else if (WouldBlock(n)) {
        return false;
    } else if (c.got == 0) {
        m_device.noteProblem("PIPE00 closed without a packet");
    } else {
        m_device.takeBrokenPacket(c.bytes.data(), c.got,
                                  "packet cut short: " + std::to_string(c.got) + " of 64 bytes");
    }
    close(slot, Closing::Later);
    syncLink();
    return true;
}

void UnitServer::readReader(std::uint32_t slot)
{
    Connection& c = m_connections[slot];
    std::uint8_t byte;
    const ssize_t n = Receive(c.fd, &byte, 1);
    if (WouldBlock(n))
        return;
    if (n > 0)
        m_device.noteProblem("PIPE01 reader wrote to the unit");
    const auto at = std::find(m_readers.begin(), m_readers.end(), slot);
    const auto position = static_cast<std::size_t>(at - m_readers.begin());
    m_device.readerLeft(position, !m_writers.empty());
    close(slot);
}

void UnitServer::readControl(std::uint32_t slot)
{
    Connection& c = m_connections[slot];
    char buffer[256];
    const ssize_t n = Receive(c.fd, buffer, sizeof buffer);
    if (WouldBlock(n))
        return;
    if (n <= 0) {
        m_device.noteProblem("control command without its line feed");
        close(slot);
        return;
    }
    c.line.append(buffer, static_cast<std::size_t>(n));
    const std::size_t end = c.line.find('\n');
    if (end == std::string::npos) {
        if (c.line.size() > kLongestControlLine) {
            m_device.noteProblem("control command too long");
            close(slot);
        }
        return;
    }
    // Packets that have arrived count before the command: "status" sees them, and a fault
    // counts packets from here on.
    letWritersIn(Clock::now());
    const std::string answer = RunControlLine(m_device, std::string_view(c.line).substr(0, end));
    SendAll(c.fd, answer.data(), answer.size());
    close(slot);
    syncLink();
}

void UnitServer::letWritersIn(Clock::time_point now)
{
    m_paceBlocked = false;
    letNextWriterIn(now);
    // Closing a socket takes a while; the next writer is let in first.
    for (int fd : m_finished)
        ::close(fd);
    m_finished.clear();
}

void UnitServer::letNextWriterIn(Clock::time_point now)
{
    while (!m_writers.empty()) {
        const std::uint32_t slot = m_writers.front();
        Connection& c = m_connections[slot];
        if (c.phase == Phase::WriterReading) {
            if (!readPacket(slot))
                return;
            continue;
        }
        if (!m_device.acceptsWrites()) {
            sendByte(slot, 'N');
            close(slot);
            continue;
        }
        if (m_paced && !m_pacer.admit(now)) {
            m_paceBlocked = true;
            return;
        }
        if (!sendByte(slot, 'Y')) {
            m_device.noteProblem("writer left before it was let in");
            close(slot);
            continue;
        }
        c.phase = Phase::WriterReading;
        c.got = 0;
        c.patient = true;
        c.deadline = now + kPatience;
        return;
    }
}

void UnitServer::deliverAnswers(Clock::time_point now)
{
    while (!m_readers.empty()) {
        const UnitDevice::Answer* answer = m_device.readyAnswer(now);
        if (!answer)
            return;
        const std::uint32_t slot = m_readers.front();
        m_readers.pop_front();
        const bool sent = SendAll(m_connections[slot].fd, answer->bytes.data(), answer->size);
        m_device.answerDelivered(sent ? answer->size : 0);
        close(slot);
    }
}

void UnitServer::expireDeadlines(Clock::time_point now)
{
    for (std::uint32_t slot = 0; slot < m_connections.size(); ++slot) {
        Connection& c = m_connections[slot];
        if (c.phase == Phase::Free || !c.deadline || *c.deadline > now)
            continue;
        switch (c.phase) {
        case Phase::Hello:
            m_device.noteProblem("no hello within 2 s");
            break;
        case Phase::WriterReading:
            if (c.patient) {
                // Nothing brought the packet in; look for it now, and if it is not whole
                // yet, wait for it the ordinary way.
                c.patient = false;
                if (readPacket(slot))
                    continue;
                c.deadline = now + kIdleLimit;
                watch(slot);
                continue;
            }
            if (c.got > 0)
                m_device.takeBrokenPacket(c.bytes.data(), c.got,
                                          "packet cut short: " + std::to_string(c.got) +
                                              " of 64 bytes");
            else
                m_device.noteProblem("no packet within 2 s");
            break;
        case Phase::Control:
            m_device.noteProblem("no control command within 2 s");
            break;
        default:
            break;
        }
        close(slot);
    }
}

void UnitServer::syncLink()
{
    if (m_device.linkGeneration() == m_link)
        return;
    m_link = m_device.linkGeneration();
    // Pulling the cable ends every transfer at once: readers get less than 64 bytes.
    for (std::uint32_t slot = 0; slot < m_connections.size(); ++slot) {
        const Phase phase = m_connections[slot].phase;
        if (phase == Phase::WriterQueued || phase == Phase::WriterReading ||
            phase == Phase::ReaderWaiting)
            close(slot);
    }
}

std::optional<UnitServer::Clock::duration> UnitServer::waitTime(Clock::time_point now) const
{
    std::optional<Clock::time_point> next = m_device.trace().flushDue();
    const auto consider = [&next](Clock::time_point t) {
        if (!next || t < *next)
            next = t;
    };
    if (!m_readers.empty())
        if (const auto due = m_device.nextAnswerDue())
            consider(*due);
    if (m_paceBlocked)
        consider(m_pacer.frameEnd());
    for (const Connection& c : m_connections) {
        if (c.phase != Phase::Free && c.deadline)
            consider(*c.deadline);
    }
    if (!next)
        return std::nullopt;
    return std::max(*next - now, Clock::duration::zero());
}

void UnitServer::watch(std::uint32_t slot)
{
    Connection& c = m_connections[slot];
    std::uint32_t wanted = EPOLLIN | EPOLLRDHUP;
    if (c.phase == Phase::WriterQueued)
        wanted = EPOLLRDHUP; // must not be read before its turn; only its hang-up matters
    else if (c.phase == Phase::WriterReading && c.patient)
        wanted = 0; // read when the loop next looks
    if (wanted == 0 || wanted == c.watched)
        return;
    epoll_event event{};
    event.events = wanted;
    event.data.u64 = tagOf(slot);
    if (::epoll_ctl(m_epoll, c.watched == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD, c.fd, &event) == 0)
        c.watched = wanted;
}

bool UnitServer::sendByte(std::uint32_t slot, char byte)
{
    return SendAll(m_connections[slot].fd, &byte, 1);
}

void UnitServer::close(std::uint32_t slot, Closing when)
{
    Connection& c = m_connections[slot];
    if (c.phase == Phase::Free)
        return;
    if (c.phase == Phase::WriterQueued || c.phase == Phase::WriterReading) {
        const auto at = std::find(m_writers.begin(), m_writers.end(), slot);
        if (at != m_writers.end())
            m_writers.erase(at);
    } else if (c.phase == Phase::ReaderWaiting) {
        const auto at = std::find(m_readers.begin(), m_readers.end(), slot);
        if (at != m_readers.end())
            m_readers.erase(at);
    }
    // Closing also takes the descriptor out of the epoll set; until then its events carry
    // the old generation and are ignored.
    if (when == Closing::Later)
        m_finished.push_back(c.fd);
    else
        ::close(c.fd);
    c.fd = -1;
    c.phase = Phase::Free;
    c.watched = 0;
    c.patient = false;
    c.got = 0;
    c.line.clear();
    c.deadline.reset();
    ++c.generation;
    m_free.push_back(slot);
}

std::uint32_t UnitServer::allocate(int fd)
{
    std::uint32_t slot;
    if (!m_free.empty()) {
        slot = m_free.back();
        m_free.pop_back();
    } else {
        slot = static_cast<std::uint32_t>(m_connections.size());
        m_connections.emplace_back();
    }
    m_connections[slot].fd = fd;
    return slot;
}

std::uint64_t UnitServer::tagOf(std::uint32_t slot) const
{
    return std::uint64_t{m_connections[slot].generation} << 32 | slot;
}

} // namespace tavo
