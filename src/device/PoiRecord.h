#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The unit's points of interest as bytes and as the texts of the POI list. Pure code: bytes
// in, bytes out, no I/O.

inline constexpr std::size_t kPoiRecordSize = 16;
inline constexpr std::size_t kPoiSlots = 100;
inline constexpr std::size_t kPoiStoreSize = kPoiRecordSize * kPoiSlots; // 1600
// The unit keeps two copies of the store; the program writes both and reads the first
// unless it is empty.
inline constexpr std::uint32_t kPoiStore1Address = 0x3FC000;
inline constexpr std::uint32_t kPoiStore2Address = 0x3FD000;
// Marker byte of a slot in use; every other value means the slot is free.
inline constexpr std::uint8_t kPoiInUse = 0xA5;
// Byte of an erased slot, as the program writes it.
inline constexpr std::uint8_t kPoiErased = 0xFF;

// One POI as the unit stores it: 16 bytes, numbers little-endian.
//   0 marker, 1-2 angle, 3-6 latitude and 7-10 longitude (signed, 0.0001 degree),
//   11 day, 12 month, 13 year after 2000, 14 hour, 15 minute.
struct PoiRecord
{
    std::uint8_t marker = kPoiErased;
    std::uint16_t angle = 0;
    std::int32_t latitude = 0;
    std::int32_t longitude = 0;
    std::uint8_t day = 0;
    std::uint8_t month = 0;
    std::uint8_t year = 0;
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;

    bool InUse() const { return marker == kPoiInUse; }
    // Decodes the 16 bytes at bytes.
    static PoiRecord Decode(const std::uint8_t* bytes);
    // The 16 bytes of the record.
    std::array<std::uint8_t, kPoiRecordSize> Encode() const;

    bool operator==(const PoiRecord&) const = default;
};

// The six texts of a row of the POI list: number, date, time, latitude, longitude, angle.
inline constexpr int kPoiColumns = 6;
using PoiRow = std::array<QString, kPoiColumns>;

// The row View shows for a record: "%d" of number, "%04d/%02d/%02d", "%02d:%02d", "%0.4f" of
// the latitude and the longitude in degrees, "%d" of the angle.
PoiRow PoiRowOf(const PoiRecord& record, int number);

// The record Update POI builds from a row's texts. Each field is the leading number of its
// text (see LeadingNumber): the date without "/" gives the year from its first four
// characters, the month from characters five and six and the day from its last two; the time
// without ":" the hour from its first two and the minute from its last two; latitude and
// longitude without "." give 0.0001 degrees (right for four decimals, as the list shows
// them). Bytes keep the low bits of their numbers, the year byte is year - 2000 modulo 256,
// the angle keeps its low 16 bits.
PoiRecord PoiRecordOf(const PoiRow& row);

// The decimal value at the start of text as the C library's atol reads it: white space, an
// optional sign, then digits up to the first other character; 0 without digits. A value
// beyond 32 bits gives the nearest 32-bit limit.
std::int32_t LeadingNumber(const QString& text);

// One POI store: 100 slots of 16 bytes, slot k at byte 16 * k. Starts erased.
struct PoiStore
{
    std::array<std::uint8_t, kPoiStoreSize> bytes;

    PoiStore() { bytes.fill(kPoiErased); }

    PoiRecord Slot(std::size_t k) const { return PoiRecord::Decode(&bytes[kPoiRecordSize * k]); }
    // True when byte 0 is erased: View then takes the second store instead of the first.
    bool FirstByteErased() const { return bytes[0] == kPoiErased; }

    // The rows View lists: slots from 0 while their marker says in use, numbered from 1.
    std::vector<PoiRow> ListedRows() const;
    // The store Update POI writes: the records of rows packed from slot 0, every other byte
    // erased. Empty when there are more rows than slots.
    static std::optional<PoiStore> Of(const std::vector<PoiRow>& rows);
};
