#include "CommandEngine.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tavo {
namespace {

bool IsCommand(const std::uint8_t* packet, const char (&name)[5])
{
    return std::memcmp(packet, name, 4) == 0;
}

void Acknowledge(UnitPacket& answer)
{
    answer.fill(0);
    std::copy(kAckPattern.begin(), kAckPattern.end(), answer.begin());
}

} // namespace

CommandEngine::CommandEngine(UnitMemory& memory, const IdentityExtras& extras)
    : m_memory(memory), m_extras(extras)
{
}

void CommandEngine::reset(bool bootMode)
{
    m_bootMode = bootMode;
    m_firmwareAnnounced = false;
    m_phase = Phase::Command;
    m_remaining = 0;
}

EngineStep CommandEngine::take(const std::uint8_t* packet, UnitPacket& answer)
{
    if (m_phase != Phase::Command)
        return takeData(packet);
    // "$WB" opens the way for a firmware stream in normal mode, for the very next command only.
    const bool announced = std::exchange(m_firmwareAnnounced, false);
    return takeCommand(packet, answer, announced);
}

EngineStep CommandEngine::takeCommand(const std::uint8_t* packet, UnitPacket& answer,
                                      bool firmwareAnnounced)
{
    const std::uint32_t address = ReadU32(packet + 4);
    const std::uint32_t length = ReadU32(packet + 8);
    const std::uint32_t count = ReadU32(packet + 12);
    EngineStep step;

    // The boot code knows only what firmware recovery needs.
    if (IsCommand(packet, "$BT\0")) {
        Acknowledge(answer);
        step.reply = Reply::Now;
    } else if (IsCommand(packet, "$RH\0")) {
        answer = BuildIdentityAnswer(m_memory, m_bootMode, m_extras);
        step.reply = Reply::Now;
    } else if (IsCommand(packet, "$WB\0")) {
        Acknowledge(answer);
        m_firmwareAnnounced = true;
        step.reply = Reply::Now;
    } else if (IsCommand(packet, "$WFE")) {
        if (!m_bootMode && !firmwareAnnounced)
            return refuseData(count, "firmware stream without $WB");
        return startFirmwareStream(address, count);
    } else if (IsCommand(packet, "$RC\0") || IsCommand(packet, "$RD\0") ||
               IsCommand(packet, "$WD\0") || IsCommand(packet, "$WDS")) {
        const bool stream = packet[3] != 0;
        if (m_bootMode) {
            if (stream || packet[2] == 'W')
                return refuseData(count, "command not served in boot mode");
            step.problem = "command not served in boot mode";
        } else if (IsCommand(packet, "$RC\0")) {
            fillCheckAnswer(answer);
            step.reply = Reply::AfterCheck;
        } else if (IsCommand(packet, "$RD\0")) {
            if (address > kMemorySize - kUnitPacketSize) {
                step.problem = "$RD address out of range";
            } else {
                m_memory.read(address, answer.data(), kUnitPacketSize);
                step.reply = Reply::Now;
            }
        } else if (stream) {
            return startContentStream(address, count);
        } else {
            return startMemoryWrite(address, length, count);
        }
    } else {
        step.problem = "unknown command";
    }
    return step;
}

EngineStep CommandEngine::takeData(const std::uint8_t* packet)
{
    EngineStep step;
    switch (m_phase) {
    case Phase::MemoryWrite: {
        const std::uint32_t n = std::min<std::uint32_t>(m_bytesLeft, kUnitPacketSize);
        m_memory.write(m_address, packet, n);
        m_bytesLeft -= n;
        break;
    }
    case Phase::ContentStream:
        m_memory.write(m_address, packet, kUnitPacketSize);
        break;
    case Phase::FirmwareStream:
        m_memory.writeFirmware(m_address, packet, kUnitPacketSize);
        break;
    case Phase::Discard:
    case Phase::Command:
        break;
    }
    m_address += kUnitPacketSize;
    if (--m_remaining == 0) {
        step.finishedWrite = m_phase != Phase::Discard;
        m_phase = Phase::Command;
    }
    return step;
}

EngineStep CommandEngine::startMemoryWrite(std::uint32_t address, std::uint32_t length,
                                           std::uint32_t count)
{
    // Only the stated length is written: the rest of the last packet is padding.
    const std::uint64_t bytes = std::min<std::uint64_t>(length, std::uint64_t{count} * 64);
    if (address > kMemorySize || bytes > kMemorySize - address)
        return refuseData(count, "$WD range outside memory");
    EngineStep step;
    if (count == 0)
        return step;
    m_phase = Phase::MemoryWrite;
    m_address = address;
    m_remaining = count;
    m_bytesLeft = static_cast<std::uint32_t>(bytes);
    return step;
}

EngineStep CommandEngine::startContentStream(std::uint32_t address, std::uint32_t count)
{
    if (address >= kMemorySize)
        return refuseData(count, "$WDS address outside memory");
    const Region region = RegionAt(address);
    // Streams carry content files; the POI stores and the settings record are written with
    // "$WD" only, and a stream there would erase them.
    if (!ContentKindOf(region))
        return refuseData(count, "$WDS address outside the content areas");
    const RegionSpan span = SpanOf(region);
    const std::uint32_t offset = address - span.start;
    if (std::uint64_t{count} * kUnitPacketSize > span.size - offset)
        return refuseData(count, "$WDS stream larger than its area");
    // Flash is erased before it is programmed: a stream cut short leaves the area damaged,
    // never with its old content looking intact.
    m_memory.erase(region, offset, span.size - offset);
    EngineStep step;
    step.finishedWrite = count == 0;
    if (count == 0)
        return step;
    m_phase = Phase::ContentStream;
    m_address = address;
    m_remaining = count;
    return step;
}

EngineStep CommandEngine::startFirmwareStream(std::uint32_t address, std::uint32_t count)
{
    if (address != 0 || std::uint64_t{count} * kUnitPacketSize > kFirmwareSize)
        return refuseData(count, "$WFE stream outside the firmware area");
    m_memory.erase(Region::Firmware, 0, kFirmwareSize);
    EngineStep step;
    step.finishedWrite = count == 0;
    if (count == 0)
        return step;
    m_phase = Phase::FirmwareStream;
    m_address = 0;
    m_remaining = count;
    return step;
}

EngineStep CommandEngine::refuseData(std::uint32_t count, const char* problem)
{
    // The data packets still come; taking them as commands would make things worse.
    EngineStep step;
    step.problem = problem;
    if (count > 0) {
        m_phase = Phase::Discard;
        m_remaining = count;
    }
    return step;
}

void CommandEngine::fillCheckAnswer(UnitPacket& answer) const
{
    Acknowledge(answer);
    answer[60] = m_memory.intact(Region::Image) ? 1 : 0;
    answer[61] = m_memory.intact(Region::Db) ? 1 : 0;
    answer[62] = m_memory.intact(Region::Voice) ? 1 : 0;
}

} // namespace tavo
