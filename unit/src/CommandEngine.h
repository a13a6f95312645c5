#pragma once

#include "Identity.h"
#include "UnitMemory.h"
#include "UnitPacket.h"

#include <cstdint>

namespace tavo {

// How the unit answers a packet it took.
enum class Reply : std::uint8_t
{
    None,       // no answer: data packets, "$WD", the stream headers, refused packets
    Now,        // the answer is ready at once
    AfterCheck, // the answer of "$RC": ready when the content check has run its time
};

struct EngineStep
{
    Reply reply = Reply::None;
    const char* problem = nullptr; // set when the packet was refused: why (for the trace)
    bool finishedWrite = false;    // a write or stream has just ended: time to save
};

// The unit's side of the packet protocol, as pure logic: packets in, answers and memory
// changes out. It knows whether a command or a data packet comes next and keeps the state
// of the write or stream in progress. Not thread-safe; the owner serialises calls.
class CommandEngine
{
public:
    CommandEngine(UnitMemory& memory, const IdentityExtras& extras);

    // Forgets any write or stream in progress and runs the normal or the boot code; called
    // at every plug-in and unplug.
    void reset(bool bootMode);
    bool bootMode() const { return m_bootMode; }

    // Takes one 64-byte packet. When the step has a reply, answer holds it.
    EngineStep take(const std::uint8_t* packet, UnitPacket& answer);

    // True while the packets to come are data of a write or stream.
    bool inDataPhase() const { return m_phase != Phase::Command; }

private:
    enum class Phase : std::uint8_t
    {
        Command,
        MemoryWrite,    // "$WD"
        ContentStream,  // "$WDS"
        FirmwareStream, // "$WFE"
        Discard,        // data of a refused write or stream
    };

    EngineStep takeCommand(const std::uint8_t* packet, UnitPacket& answer, bool firmwareAnnounced);
    EngineStep takeData(const std::uint8_t* packet);
    EngineStep startMemoryWrite(std::uint32_t address, std::uint32_t length, std::uint32_t count);
    EngineStep startContentStream(std::uint32_t address, std::uint32_t count);
    EngineStep startFirmwareStream(std::uint32_t address, std::uint32_t count);
    EngineStep refuseData(std::uint32_t count, const char* problem);
    void fillCheckAnswer(UnitPacket& answer) const;

    UnitMemory& m_memory;
    const IdentityExtras& m_extras;
    bool m_bootMode = false;
    bool m_firmwareAnnounced = false; // the last command was "$WB"
    Phase m_phase = Phase::Command;
    std::uint32_t m_remaining = 0; // data packets still to come
    std::uint32_t m_address = 0;   // where the next data packet goes
    std::uint32_t m_bytesLeft = 0; // of "$WD": bytes of the stated length not yet written
};

} // namespace tavo
