#pragma once

#include <cstddef>
#include <cstdint>

namespace tavo {

// CRC-32 as zlib and most archivers compute it (reflected polynomial 0xEDB88320, initial
// and final value inverted). Pass the previous result as crc to continue over more bytes.
std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0);

} // namespace tavo
