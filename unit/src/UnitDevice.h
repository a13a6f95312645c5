#pragma once

#include "CommandEngine.h"
#include "PacketTrace.h"
#include "StateStore.h"
#include "tavo/VirtualUnit.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace tavo {

// The unit itself, apart from its sockets: memory and state folder, the protocol engine,
// the plug and the POI button, the faults it was told to produce, the answers waiting for a
// reader, and the trace. Not thread-safe: its owner calls it under one lock.
class UnitDevice
{
public:
    using Clock = std::chrono::steady_clock;

    struct Answer
    {
        UnitPacket bytes{};
        std::uint8_t size = 64;    // 63 with the short fault
        Clock::time_point readyAt; // later than now while the content check runs
        bool stalled = false;      // never delivered (the stall fault)
    };

    UnitDevice(std::string stateDir, int checkDelayMs);

    // Loads the state folder (see StateStore::load).
    bool load(std::string* error);
    bool openTrace(const std::string& path, std::string* error);
    // Saves what changed since the last save. A failure is kept for the status and traced;
    // the unit goes on serving.
    void saveState();

    bool plugged() const { return m_plugged; }
    // Connecting the cable: the unit starts its boot code when the POI button is held or its
    // firmware is not intact, else its normal code.
    void plug();
    // Pulling the cable: drops the answers not yet read, abandons a write in progress and
    // saves the state.
    void unplug();
    // Grows at every unplug, so the server can tell connections of an earlier plug-in.
    std::uint64_t linkGeneration() const { return m_linkGeneration; }
    // False while unplugged or once a write failure has set in: PIPE00 is refused.
    bool acceptsWrites() const { return m_plugged && !m_writeFailed; }

    void setBootButton(bool held);
    // Fills both POI stores with count plausible POIs (at most 100), the other slots erased.
    void seedPois(std::uint32_t count);
    void setIdentityExtras(const IdentityExtras& extras);
    void injectFault(FaultKind kind, std::uint32_t afterPackets);
    void clearFaults();
    void setCheckDelayMs(int ms) { m_checkDelayMs = ms < 0 ? 0 : ms; }
    // Spoils a content area so that the content check reports it damaged, by inverting the
    // first byte of its payload; an area already damaged is left alone. False, with the
    // reason in why, for an area without content.
    bool damage(Region region, std::string* why);
    // Undoes damage: inverts that byte back when this makes the area intact again. False,
    // with the reason in why, when the area is damaged otherwise (program it again).
    bool repair(Region region, std::string* why);
    // Makes "$RC" answer these bytes 60, 61 and 62 instead of the check's own; nullopt ends
    // it. For tests of values the check itself never gives.
    void overrideCheckAnswer(std::optional<std::array<std::uint8_t, 3>> bytes60to62)
    {
        m_checkOverride = bytes60to62;
    }

    // Takes one whole packet from the host.
    void takePacket(const std::uint8_t* packet);
    // Records a packet that did not arrive whole, and why; it is not acted on.
    void takeBrokenPacket(const std::uint8_t* bytes, std::size_t size, std::string_view problem);
    void noteProblem(std::string_view problem) { m_trace.problem(problem); }
    void noteEvent(std::string_view event) { m_trace.event(event); }

    // The next answer in command order, when it may go out now.
    const Answer* readyAnswer(Clock::time_point now) const;
    // Removes the answer readyAnswer gave; traced when it was sent (sentSize bytes).
    void answerDelivered(std::size_t sentSize);
    // When the next answer becomes ready, if one is waiting for its time.
    std::optional<Clock::time_point> nextAnswerDue() const;
    // The reader at position (0 = oldest) went away before its answer came: its answer must
    // never reach a later reader. When that answer is already queued it is dropped; when the
    // command behind it is still arriving (packetInFlight) the next answer is dropped.
    void readerLeft(std::size_t position, bool packetInFlight);

    UnitStatus status() const;
    PacketTrace& trace() { return m_trace; }
    const PacketTrace& trace() const { return m_trace; }
    UnitMemory& memory() { return m_memory; }
    const UnitMemory& memory() const { return m_memory; }

private:
    bool bootModeAtPlugIn() const;
    void queueAnswer(const UnitPacket& answer, Reply reply);
    void countPacketForFaults();

    StateStore m_store;
    UnitMemory m_memory;
    UnitSettings m_settings;
    bool m_settingsDirty = false;
    std::string m_stateError;
    CommandEngine m_engine;
    PacketTrace m_trace;
    int m_checkDelayMs;
    std::optional<std::array<std::uint8_t, 3>> m_checkOverride;

    bool m_plugged = false;
    std::uint64_t m_linkGeneration = 0;
    std::deque<Answer> m_answers;
    std::uint32_t m_discardAnswers = 0;

    std::optional<std::uint32_t> m_unplugAfter;
    std::optional<std::uint32_t> m_writeFailAfter;
    bool m_writeFailed = false;
    bool m_nakNext = false;
    bool m_shortNext = false;
    bool m_stallNext = false;
};

} // namespace tavo
