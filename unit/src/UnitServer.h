#pragma once

#include "PacketPacer.h"
#include "UnitDevice.h"

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct epoll_event;

namespace tavo {

// Serves the unit's socket (the channels PROBE, PIPE00, PIPE01 and CTL; protocol in
// unit/README.md) with one epoll loop on the thread that calls run(). Every touch of the
// device happens under the owner's mutex; the loop lets go of it only while it waits.
//
// A writer's packet is read when the loop next has a reason to look: the next connection
// (which must wait for that packet anyway), or a short timer. A writer that behaves is never
// registered with epoll, so a packet costs the loop one wake-up instead of two.
class UnitServer
{
public:
    using Clock = std::chrono::steady_clock;
    // How long the loop keeps polling after activity before it sleeps.
    static constexpr Clock::duration kSpinAfterActivity = std::chrono::microseconds(100);

    // traceChanged is notified whenever the trace may have grown.
    UnitServer(UnitDevice& device, std::mutex& mutex, std::condition_variable& traceChanged,
               bool paced);
    ~UnitServer();
    UnitServer(const UnitServer&) = delete;
    UnitServer& operator=(const UnitServer&) = delete;

    // True when only this user could have placed, or could replace, a socket at path: its
    // folder is the user's and writable by nobody else (a sticky folder such as /tmp still
    // lets others create names). A missing folder is made for the user alone. False with the
    // reason in error.
    static bool safeFolder(const std::string& path, std::string* error);
    // Binds the socket at path (replacing a stale one). False with a reason in error, also
    // when another unit already serves there.
    bool listen(const std::string& path, std::string* error);
    // Serves until stop(); closes every connection before it returns. Call without the lock.
    void run();
    // Ends run() from another thread. Call without the lock.
    void stop();
    // Call with the lock held before looking at or changing the device from outside the
    // loop: takes a packet that has arrived whole but was not read yet, and hands out
    // answers that are due.
    void settle();
    // Call with the lock held after changing the device from outside the loop: drops the
    // connections of a link that was unplugged and lets the loop see new timings.
    void deviceChanged();

private:
    enum class Phase : std::uint8_t
    {
        Free,
        Hello,         // waiting for the 8-byte channel name
        WriterQueued,  // PIPE00 waiting for its turn
        WriterReading, // PIPE00 let in, its packet arriving
        ReaderWaiting, // PIPE01 waiting for an answer
        Control,       // CTL, its command line arriving
    };

    struct Connection
    {
        int fd = -1;
        std::uint32_t generation = 0;
        Phase phase = Phase::Free;
        std::uint32_t watched = 0; // epoll events registered; 0: not in the epoll set
        bool patient = false;      // a writer whose packet is looked for only now and then
        std::uint8_t got = 0;
        std::array<std::uint8_t, 65> bytes{}; // hello, or a packet and one byte more
        std::string line;                     // control command
        std::optional<Clock::time_point> deadline;
    };

    // epoll_pwait2 with a nanosecond timeout, or epoll_wait in whole milliseconds where the
    // kernel lacks it; wait empty: no timeout.
    int waitForEvents(epoll_event* events, int maxEvents, std::optional<Clock::duration> wait);
    void acceptOne(Clock::time_point now);
    void handle(std::uint64_t tag, std::uint32_t events, Clock::time_point now);
    void readHello(std::uint32_t slot, Clock::time_point now);
    bool readPacket(std::uint32_t slot);
    void readReader(std::uint32_t slot);
    void readControl(std::uint32_t slot);
    // Takes the packet of the writer at the head when it has come, and lets the next writer
    // in (pace permitting); repeats while it can.
    void letWritersIn(Clock::time_point now);
    void letNextWriterIn(Clock::time_point now);
    void deliverAnswers(Clock::time_point now);
    void expireDeadlines(Clock::time_point now);
    void syncLink();
    // How long the loop may sleep; nothing while it has no timer running.
    std::optional<Clock::duration> waitTime(Clock::time_point now) const;
    // Registers the connection with epoll for what its phase needs to hear about.
    void watch(std::uint32_t slot);
    bool sendByte(std::uint32_t slot, char byte);
    enum class Closing : std::uint8_t
    {
        Now,
        Later, // once the next writer has been let in
    };
    void close(std::uint32_t slot, Closing when = Closing::Now);
    std::uint32_t allocate(int fd);
    std::uint64_t tagOf(std::uint32_t slot) const;

    UnitDevice& m_device;
    std::mutex& m_mutex;
    std::condition_variable& m_traceChanged;
    const bool m_paced;

    std::string m_path;
    int m_listen = -1;
    int m_epoll = -1;
    int m_wake = -1;
    bool m_stopping = false;
    bool m_millisecondWaits = false; // the kernel has no epoll_pwait2
    std::uint64_t m_link = 0;        // the device's link generation the connections belong to

    std::vector<Connection> m_connections;
    std::vector<std::uint32_t> m_free;
    std::deque<std::uint32_t> m_writers; // PIPE00 connections in the order they came
    std::deque<std::uint32_t> m_readers; // PIPE01 connections in the order they came
    std::vector<int> m_finished;         // descriptors of writers done with, to close

    PacketPacer m_pacer;
    bool m_paceBlocked = false; // a writer waits for the next frame
};

} // namespace tavo
