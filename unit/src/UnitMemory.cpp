#include "UnitMemory.h"

#include "Crc32.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tavo {
namespace {

constexpr RegionSpan kSpans[kRegionCount] = {
    {0x000000, 0x140000}, // voice
    {0x140000, 0x200000}, // camera database
    {0x340000, 0x0BC000}, // screen images
    {0x3FC000, 0x004000}, // POI stores and settings record
    {0, kFirmwareSize},   // firmware, in its own area
};

// The settings record a new unit holds.
constexpr std::array<std::uint8_t, kSettingsSize> kDefaultSettings = {
    0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x06, 0x07, 0x01, 0x14, 0x02, 0x00, 0x00,
    0x00, 0x0C, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03, 0x07, 0x0B, 0x00};

struct FactoryContent
{
    Region region;
    ContentFileKind kind;
    std::uint32_t version;
    std::uint32_t size;
};

// Small payloads keep a new state folder quick to create; the firmware fills its area.
constexpr FactoryContent kFactoryContent[] = {
    {Region::Db, ContentFileKind::Db, 81021, 8192},
    {Region::Voice, ContentFileKind::Voice, 81001, 8192},
    {Region::Image, ContentFileKind::Image, 81001, 8192},
    {Region::Firmware, ContentFileKind::Firmware, 8011, kFirmwareSize},
};

} // namespace

RegionSpan SpanOf(Region region)
{
    return kSpans[static_cast<int>(region)];
}

Region RegionAt(std::uint32_t address)
{
    if (address < kSpans[1].start)
        return Region::Voice;
    if (address < kSpans[2].start)
        return Region::Db;
    if (address < kSpans[3].start)
        return Region::Image;
    return Region::User;
}

std::optional<ContentFileKind> ContentKindOf(Region region)
{
    switch (region) {
    case Region::Voice:
        return ContentFileKind::Voice;
    case Region::Db:
        return ContentFileKind::Db;
    case Region::Image:
        return ContentFileKind::Image;
    case Region::Firmware:
        return ContentFileKind::Firmware;
    case Region::User:
        break;
    }
    return std::nullopt;
}

UnitMemory::UnitMemory() : m_memory(kMemorySize, 0xFF), m_firmware(kFirmwareSize, 0xFF) {}

void UnitMemory::makeFresh()
{
    std::fill(m_memory.begin(), m_memory.end(), 0xFF);
    std::fill(m_firmware.begin(), m_firmware.end(), 0xFF);
    std::copy(kDefaultSettings.begin(), kDefaultSettings.end(),
              m_memory.begin() + kSettingsAddress);
    for (const FactoryContent& c : kFactoryContent) {
        ContentFileSpec spec;
        spec.kind = c.kind;
        spec.version = c.version;
        spec.size = c.size;
        std::vector<std::uint8_t> file;
        MakeContentFile(spec, file);
        std::copy(file.begin(), file.end(), regionBytes(c.region));
    }
    m_dirty = (1U << kRegionCount) - 1;
    m_checked = 0;
}

std::uint8_t* UnitMemory::regionBytes(Region region)
{
    if (region == Region::Firmware)
        return m_firmware.data();
    return m_memory.data() + SpanOf(region).start;
}

const std::uint8_t* UnitMemory::regionBytes(Region region) const
{
    if (region == Region::Firmware)
        return m_firmware.data();
    return m_memory.data() + SpanOf(region).start;
}

void UnitMemory::write(std::uint32_t address, const std::uint8_t* data, std::uint32_t size)
{
    // An empty copy may come with a null pointer (an empty vector's data()).
    if (size == 0)
        return;
    std::memcpy(m_memory.data() + address, data, size);
    touch(address, size);
}

void UnitMemory::read(std::uint32_t address, std::uint8_t* out, std::uint32_t size) const
{
    if (size == 0)
        return;
    std::memcpy(out, m_memory.data() + address, size);
}

void UnitMemory::erase(Region region, std::uint32_t offset, std::uint32_t size)
{
    std::memset(regionBytes(region) + offset, 0xFF, size);
    touchRegion(region);
}

void UnitMemory::writeFirmware(std::uint32_t offset, const std::uint8_t* data, std::uint32_t size)
{
    std::memcpy(m_firmware.data() + offset, data, size);
    touchRegion(Region::Firmware);
}

std::optional<ContentHeader> UnitMemory::header(Region region) const
{
    const std::optional<ContentFileKind> kind = ContentKindOf(region);
    ContentHeader h;
    if (!kind || !DecodeContentHeader(regionBytes(region), h) || h.kind != *kind)
        return std::nullopt;
    return h;
}

bool UnitMemory::intact(Region region) const
{
    const std::uint32_t bit = Bit(region);
    if (!(m_checked & bit)) {
        const std::optional<ContentHeader> h = header(region);
        const bool ok =
            h && h->payloadLength <= SpanOf(region).size - kContentHeaderSize &&
            Crc32(regionBytes(region) + kContentHeaderSize, h->payloadLength) == h->payloadCrc;
        m_intact = ok ? (m_intact | bit) : (m_intact & ~bit);
        m_checked |= bit;
    }
    return (m_intact & bit) != 0;
}

void UnitMemory::touch(std::uint32_t address, std::uint32_t size)
{
    if (size == 0)
        return;
    // A write spans at most a few regions; walk them from the first to the last byte's.
    const auto first = static_cast<int>(RegionAt(address));
    const auto last = static_cast<int>(RegionAt(address + size - 1));
    for (int r = first; r <= last; ++r)
        touchRegion(static_cast<Region>(r));
}

void UnitMemory::touchRegion(Region region)
{
    m_dirty |= Bit(region);
    m_checked &= ~Bit(region);
}

} // namespace tavo
