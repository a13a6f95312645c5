#pragma once

#include <cstdint>

namespace tavo {

class UnitMemory;

// The unit's two POI stores as the unit's own menu fills them: 100 slots of 16 bytes, a slot
// in use marked 0xA5 in its first byte, then angle (16 bits), latitude and longitude (signed
// 32 bits, 0.0001 degree), day, month, year after 2000, hour and minute.
inline constexpr std::uint32_t kPoiSlots = 100;
inline constexpr std::uint32_t kPoiSlotSize = 16;

// Stores count plausible POIs (at most 100) in slots 0 to count - 1 of both stores and erases
// every other slot, as if the driver had pressed the POI button count times.
void SeedPoiStores(UnitMemory& memory, std::uint32_t count);

// Slots of the store at address whose marker says in use, wherever they stand.
std::uint32_t PoiSlotsInUse(const UnitMemory& memory, std::uint32_t storeAddress);

} // namespace tavo
