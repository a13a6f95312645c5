#include "PoiStores.h"

#include "UnitMemory.h"

#include <array>

namespace tavo {
namespace {

struct Place
{
    std::int32_t latitude; // 0.0001 degree
    std::int32_t longitude;
};

// Cities on both sides of the equator and of the Greenwich meridian, so the list shows
// negative coordinates too.
constexpr std::array<Place, 10> kPlaces{{{488566, 23522},
                                         {457640, 48357},
                                         {472184, -15536},
                                         {508503, 43517},
                                         {404168, -37038},
                                         {525200, 134050},
                                         {419028, 124964},
                                         {387223, -91393},
                                         {523676, 49041},
                                         {-346037, -583816}}};

void PutLe(std::uint8_t* out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::array<std::uint8_t, kPoiSlotSize> SeedRecord(std::uint32_t i)
{
    const Place& place = kPlaces[i % kPlaces.size()];
    // Each round of places lies a few hundred metres further north-east.
    const auto shift = static_cast<std::int32_t>(i / kPlaces.size()) * 37;
    std::array<std::uint8_t, kPoiSlotSize> r{};
    r[0] = 0xA5;
    PutLe(&r[1], (i * 37) % 360, 2);
    PutLe(&r[3], static_cast<std::uint32_t>(place.latitude + shift), 4);
    PutLe(&r[7], static_cast<std::uint32_t>(place.longitude + shift), 4);
    r[11] = static_cast<std::uint8_t>(1 + (i * 7) % 28);
    r[12] = static_cast<std::uint8_t>(1 + (i * 5) % 12);
    r[13] = static_cast<std::uint8_t>(8 + i % 2);
    r[14] = static_cast<std::uint8_t>((i * 3) % 24);
    r[15] = static_cast<std::uint8_t>((i * 11) % 60);
    return r;
}

} // namespace

void SeedPoiStores(UnitMemory& memory, std::uint32_t count)
{
    std::array<std::uint8_t, kPoiSlots * kPoiSlotSize> store;
    store.fill(0xFF);
    for (std::uint32_t i = 0; i < count && i < kPoiSlots; ++i) {
        const auto record = SeedRecord(i);
        std::copy(record.begin(), record.end(), store.begin() + i * kPoiSlotSize);
    }
    for (std::uint32_t address : {kPoiStore1Address, kPoiStore2Address})
        memory.write(address, store.data(), kPoiStoreSize);
}

std::uint32_t PoiSlotsInUse(const UnitMemory& memory, std::uint32_t storeAddress)
{
    std::uint32_t inUse = 0;
    for (std::uint32_t k = 0; k < kPoiSlots; ++k) {
        std::uint8_t marker = 0;
        memory.read(storeAddress + k * kPoiSlotSize, &marker, 1);
        inUse += marker == 0xA5 ? 1 : 0;
    }
    return inUse;
}

} // namespace tavo
