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

namespace tavo {

// Serves the unit's socket (the channels PROBE, PIPE00, PIPE01 and CTL; protocol in
// unit/README.md) with one epoll loop on the thread that calls run(). Every touch of the
// device happens under the owner's mutex; the loop lets go of it only while it waits.
class UnitServer
{
public:
    using Clock = std::chrono::steady_clock;

    // traceChanged is notified whenever the trace may have grown.
    UnitServer(UnitDevice& device, std::mutex& mutex, std::condition_variable& traceChanged,
               bool paced);
    ~UnitServer();
    UnitServer(const UnitServer&) = delete;
    UnitServer& operator=(const UnitServer&) = delete;

    // Binds the socket at path (replacing a stale one). False with a reason in error, also
    // when another unit already serves there.
    bool listen(const std::string& path, std::string* error);
    // Serves until stop(); closes every connection before it returns. Call without the lock.
    void run();
    // Ends run() from another thread. Call without the lock.
    void stop();
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
        bool watchingInput = true; // registered for input, not only for hang-up
        std::uint8_t got = 0;
        std::array<std::uint8_t, 65> bytes{}; // hello, or a packet and one byte more
        std::string line;                     // control command
        std::optional<Clock::time_point> deadline;
    };

    void acceptOne(Clock::time_point now);
    void handle(std::uint64_t tag, std::uint32_t events, Clock::time_point now);
    void readHello(std::uint32_t slot, Clock::time_point now);
    void readPacket(std::uint32_t slot);
    void readReader(std::uint32_t slot);
    void readControl(std::uint32_t slot);
    void letWritersIn(Clock::time_point now);
    void deliverAnswers(Clock::time_point now);
    void expireIdle(Clock::time_point now);
    void syncLink();
    // How long the loop may sleep; nothing while it has no timer running.
    std::optional<Clock::duration> waitTime(Clock::time_point now) const;
    void watch(std::uint32_t slot, bool input);
    bool sendByte(std::uint32_t slot, char byte);
    void close(std::uint32_t slot);
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
    std::uint64_t m_link = 0; // the device's link generation the connections belong to

    std::vector<Connection> m_connections;
    std::vector<std::uint32_t> m_free;
    std::deque<std::uint32_t> m_writers; // PIPE00 connections in the order they came
    std::deque<std::uint32_t> m_readers; // PIPE01 connections in the order they came

    PacketPacer m_pacer;
    bool m_paceBlocked = false; // a writer waits for the next frame
};

} // namespace tavo
