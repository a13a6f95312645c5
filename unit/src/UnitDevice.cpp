#include "UnitDevice.h"

#include "PoiStores.h"

#include <algorithm>
#include <utility>

namespace tavo {
namespace {

// What the nak fault puts in place of the acknowledge pattern: one byte off.
constexpr std::uint8_t kNakPattern[8] = {0, 1, 2, 3, 4, 5, 6, 8};

} // namespace

UnitDevice::UnitDevice(std::string stateDir, int checkDelayMs)
    : m_store(std::move(stateDir)), m_engine(m_memory, m_settings.extras),
      m_checkDelayMs(std::max(0, checkDelayMs))
{
}

bool UnitDevice::load(std::string* error)
{
    return m_store.load(m_memory, m_settings, error);
}

bool UnitDevice::openTrace(const std::string& path, std::string* error)
{
    return m_trace.openFile(path, error);
}

void UnitDevice::saveState()
{
    std::string error;
    if (m_store.save(m_memory, m_settings, m_settingsDirty, &error)) {
        m_settingsDirty = false;
        m_stateError.clear();
    } else if (error != m_stateError) {
        m_stateError = error;
        m_trace.event("state not saved: " + error);
    }
}

bool UnitDevice::bootModeAtPlugIn() const
{
    return m_settings.bootButton || !m_memory.intact(Region::Firmware);
}

void UnitDevice::plug()
{
    if (m_plugged)
        return;
    m_plugged = true;
    m_engine.reset(bootModeAtPlugIn());
    m_trace.event(m_engine.bootMode() ? "plugged in, boot mode" : "plugged in");
}

void UnitDevice::unplug()
{
    if (!m_plugged)
        return;
    m_plugged = false;
    ++m_linkGeneration;
    m_answers.clear();
    m_discardAnswers = 0;
    m_unplugAfter.reset();
    m_writeFailed = false;
    if (m_engine.inDataPhase())
        m_trace.event("unplugged during a write: the rest of it never came");
    m_engine.reset(false);
    m_trace.event("unplugged");
    saveState();
}

void UnitDevice::seedPois(std::uint32_t count)
{
    SeedPoiStores(m_memory, count);
    saveState();
}

void UnitDevice::setBootButton(bool held)
{
    if (m_settings.bootButton == held)
        return;
    m_settings.bootButton = held;
    m_settingsDirty = true;
    saveState();
}

void UnitDevice::setIdentityExtras(const IdentityExtras& extras)
{
    m_settings.extras = extras;
    m_settingsDirty = true;
    saveState();
}

namespace {

// The byte that damage and repair invert: the first of the area's payload.
std::uint32_t DamageAddress(Region region)
{
    return SpanOf(region).start + static_cast<std::uint32_t>(kContentHeaderSize);
}

void InvertByte(UnitMemory& memory, std::uint32_t address)
{
    std::uint8_t byte = 0;
    memory.read(address, &byte, 1);
    byte = static_cast<std::uint8_t>(~byte);
    memory.write(address, &byte, 1);
}

} // namespace

bool UnitDevice::damage(Region region, std::string* why)
{
    const std::optional<ContentHeader> h = m_memory.header(region);
    if (!h || h->payloadLength == 0) {
        *why = "the area holds no content";
        return false;
    }
    if (m_memory.intact(region)) {
        InvertByte(m_memory, DamageAddress(region));
        saveState();
    }
    return true;
}

bool UnitDevice::repair(Region region, std::string* why)
{
    if (m_memory.intact(region))
        return true;
    if (m_memory.header(region)) {
        InvertByte(m_memory, DamageAddress(region));
        if (m_memory.intact(region)) {
            saveState();
            return true;
        }
        InvertByte(m_memory, DamageAddress(region));
    }
    *why = "the area is damaged beyond what damage did; program it again";
    return false;
}

void UnitDevice::injectFault(FaultKind kind, std::uint32_t afterPackets)
{
    switch (kind) {
    case FaultKind::Unplug:
        if (afterPackets == 0)
            unplug();
        else
            m_unplugAfter = afterPackets;
        break;
    case FaultKind::WriteFail:
        if (afterPackets == 0)
            m_writeFailed = true;
        else
            m_writeFailAfter = afterPackets;
        break;
    case FaultKind::Nak:
        m_nakNext = true;
        break;
    case FaultKind::Short:
        m_shortNext = true;
        break;
    case FaultKind::Stall:
        m_stallNext = true;
        break;
    }
}

void UnitDevice::clearFaults()
{
    m_unplugAfter.reset();
    m_writeFailAfter.reset();
    m_writeFailed = false;
    m_nakNext = m_shortNext = m_stallNext = false;
}

void UnitDevice::takePacket(const std::uint8_t* packet)
{
    m_trace.record(Direction::ToUnit, packet, kUnitPacketSize);
    UnitPacket answer;
    const EngineStep step = m_engine.take(packet, answer);
    if (step.problem)
        m_trace.problem(step.problem);
    if (step.reply != Reply::None)
        queueAnswer(answer, step.reply);
    if (step.finishedWrite)
        saveState();
    countPacketForFaults();
}

void UnitDevice::takeBrokenPacket(const std::uint8_t* bytes, std::size_t size,
                                  std::string_view problem)
{
    m_trace.record(Direction::ToUnit, bytes, size);
    m_trace.problem(problem);
}

void UnitDevice::queueAnswer(const UnitPacket& answer, Reply reply)
{
    if (m_discardAnswers > 0) {
        --m_discardAnswers;
        m_trace.event("answer dropped: its reader had gone");
        return;
    }
    Answer a;
    a.bytes = answer;
    a.readyAt = Clock::now();
    if (reply == Reply::AfterCheck) {
        a.readyAt += std::chrono::milliseconds(m_checkDelayMs);
        if (m_checkOverride)
            std::copy(m_checkOverride->begin(), m_checkOverride->end(), a.bytes.begin() + 60);
    }
    if (std::exchange(m_nakNext, false))
        std::copy(std::begin(kNakPattern), std::end(kNakPattern), a.bytes.begin());
    if (std::exchange(m_shortNext, false))
        a.size = kUnitPacketSize - 1;
    a.stalled = std::exchange(m_stallNext, false);
    m_answers.push_back(a);
}

void UnitDevice::countPacketForFaults()
{
    if (m_writeFailAfter && --*m_writeFailAfter == 0) {
        m_writeFailAfter.reset();
        m_writeFailed = true;
    }
    if (m_unplugAfter && --*m_unplugAfter == 0) {
        m_unplugAfter.reset();
        unplug();
    }
}

const UnitDevice::Answer* UnitDevice::readyAnswer(Clock::time_point now) const
{
    if (m_answers.empty())
        return nullptr;
    const Answer& head = m_answers.front();
    if (head.stalled || head.readyAt > now)
        return nullptr;
    return &head;
}

void UnitDevice::answerDelivered(std::size_t sentSize)
{
    const Answer& head = m_answers.front();
    if (sentSize == head.size)
        m_trace.record(Direction::ToHost, head.bytes.data(), head.size);
    else
        m_trace.event("answer lost: its reader went away");
    m_answers.pop_front();
}

std::optional<UnitDevice::Clock::time_point> UnitDevice::nextAnswerDue() const
{
    if (m_answers.empty() || m_answers.front().stalled)
        return std::nullopt;
    return m_answers.front().readyAt;
}

void UnitDevice::readerLeft(std::size_t position, bool packetInFlight)
{
    if (position < m_answers.size()) {
        m_answers.erase(m_answers.begin() + static_cast<std::ptrdiff_t>(position));
        m_trace.event("answer dropped: its reader went away");
    } else if (packetInFlight) {
        ++m_discardAnswers;
    }
}

UnitStatus UnitDevice::status() const
{
    UnitStatus s;
    s.plugged = m_plugged;
    s.bootMode = m_plugged ? m_engine.bootMode() : bootModeAtPlugIn();
    s.bootButton = m_settings.bootButton;
    s.identityAnswer = BuildIdentityAnswer(m_memory, s.bootMode, m_settings.extras);
    s.imageIntact = m_memory.intact(Region::Image);
    s.dbIntact = m_memory.intact(Region::Db);
    s.voiceIntact = m_memory.intact(Region::Voice);
    s.firmwareIntact = m_memory.intact(Region::Firmware);
    s.stateError = m_stateError;
    s.poiSlotsInUse = {PoiSlotsInUse(m_memory, kPoiStore1Address),
                       PoiSlotsInUse(m_memory, kPoiStore2Address)};
    return s;
}

} // namespace tavo
