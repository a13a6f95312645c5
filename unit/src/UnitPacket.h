#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tavo {

// One packet on the link: every command, data packet and answer is 64 bytes.
inline constexpr std::size_t kUnitPacketSize = 64;
using UnitPacket = std::array<std::uint8_t, kUnitPacketSize>;

// Answer bytes 0 to 7 of an acknowledged command.
inline constexpr std::array<std::uint8_t, 8> kAckPattern{0, 1, 2, 3, 4, 5, 6, 7};

inline std::uint32_t ReadU32(const std::uint8_t* in)
{
    return std::uint32_t{in[0]} | std::uint32_t{in[1]} << 8 | std::uint32_t{in[2]} << 16 |
           std::uint32_t{in[3]} << 24;
}

} // namespace tavo
