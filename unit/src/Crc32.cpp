#include "Crc32.h"

#include <array>

namespace tavo {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

// Slicing by eight: the check runs over megabytes of unit memory, and eight table lookups per
// eight bytes are several times faster than one lookup per byte.
constexpr Tables MakeTables()
{
    Tables tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1U) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
        tables[0][i] = c;
    }
    for (std::uint32_t i = 0; i < 256; ++i) {
        for (std::size_t t = 1; t < 8; ++t)
            tables[t][i] = (tables[t - 1][i] >> 8) ^ tables[0][tables[t - 1][i] & 0xFFU];
    }
    return tables;
}

constexpr Tables kTables = MakeTables();

} // namespace

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc)
{
    crc = ~crc;
    while (size >= 8) {
        const std::uint32_t one =
            crc ^ (std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                   std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24);
        crc = kTables[7][one & 0xFFU] ^ kTables[6][(one >> 8) & 0xFFU] ^
              kTables[5][(one >> 16) & 0xFFU] ^ kTables[4][one >> 24] ^ kTables[3][data[4]] ^
              kTables[2][data[5]] ^ kTables[1][data[6]] ^ kTables[0][data[7]];
        data += 8;
        size -= 8;
    }
    while (size-- > 0)
        crc = kTables[0][(crc ^ *data++) & 0xFFU] ^ (crc >> 8);
    return ~crc;
}

} // namespace tavo
