#pragma once

#include "tavo/ContentFile.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace tavo {

inline constexpr std::uint32_t kMemorySize = 0x400000;  // 4 MiB of content memory
inline constexpr std::uint32_t kFirmwareSize = 0x10000; // 64 KiB firmware area
inline constexpr std::uint32_t kPoiStore1Address = 0x3FC000;
inline constexpr std::uint32_t kPoiStore2Address = 0x3FD000;
inline constexpr std::uint32_t kPoiStoreSize = 1600;
inline constexpr std::uint32_t kSettingsAddress = 0x3FE000;
inline constexpr std::uint32_t kSettingsSize = 64;

// The parts of the unit's flash. The four memory regions cover the 4 MiB without a gap; the
// firmware area is separate. Each region is saved to a file of its own, so that a settings
// write does not rewrite megabytes of content.
enum class Region : std::uint8_t
{
    Voice,
    Db,
    Image,
    User, // POI stores and settings record
    Firmware,
};
inline constexpr int kRegionCount = 5;

struct RegionSpan
{
    std::uint32_t start; // memory address (0 for the firmware area)
    std::uint32_t size;
};

RegionSpan SpanOf(Region region);
// The memory region holding address (never Region::Firmware); address < kMemorySize.
Region RegionAt(std::uint32_t address);
// The kind of content file the region holds; the user region holds none.
std::optional<ContentFileKind> ContentKindOf(Region region);

// The unit's memory image and firmware area, with what was changed since the last save and
// cached results of the content check.
class UnitMemory
{
public:
    // All bytes erased (0xFF).
    UnitMemory();

    // Contents of a unit fresh from the factory: default settings, empty POI stores, and
    // content and firmware of known versions.
    void makeFresh();

    // Raw storage of a region, SpanOf(region).size bytes.
    std::uint8_t* regionBytes(Region region);
    const std::uint8_t* regionBytes(Region region) const;

    // Copies size bytes to memory at address; the range must lie inside the 4 MiB.
    void write(std::uint32_t address, const std::uint8_t* data, std::uint32_t size);
    // Copies size bytes from memory at address; the range must lie inside the 4 MiB.
    void read(std::uint32_t address, std::uint8_t* out, std::uint32_t size) const;
    // Sets size bytes of a region from offset to 0xFF, as flash erasing does.
    void erase(Region region, std::uint32_t offset, std::uint32_t size);
    // Copies size bytes into the firmware area at offset; the range must fit.
    void writeFirmware(std::uint32_t offset, const std::uint8_t* data, std::uint32_t size);

    // The header at the start of a content region, when it is readable and of the region's
    // own kind.
    std::optional<ContentHeader> header(Region region) const;
    // True when the region holds a whole file of its kind: header as above, payload inside
    // the region, payload CRC right. Cached until the region changes.
    bool intact(Region region) const;

    // Regions changed since clearDirty, one bit per Region value.
    std::uint32_t dirty() const { return m_dirty; }
    void markDirty(Region region) { m_dirty |= Bit(region); }
    void clearDirty() { m_dirty = 0; }

private:
    static std::uint32_t Bit(Region region) { return 1U << static_cast<unsigned>(region); }
    void touch(std::uint32_t address, std::uint32_t size);
    void touchRegion(Region region);

    std::vector<std::uint8_t> m_memory;
    std::vector<std::uint8_t> m_firmware;
    std::uint32_t m_dirty = 0;
    mutable std::uint32_t m_checked = 0; // bits whose result in m_intact is current
    mutable std::uint32_t m_intact = 0;
};

} // namespace tavo
