#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The two packet buffers of the link. Every packet written to the unit is built in
// g_cmdPacket; every answer arrives in g_ansPacket. One operation uses the link at a time.
inline constexpr std::size_t kPacketSize = 64;
using Packet = std::array<std::uint8_t, kPacketSize>;

extern Packet g_cmdPacket;
extern Packet g_ansPacket;

// Answer bytes 0 to 7 of an acknowledged command: 00 01 02 03 04 05 06 07.
inline constexpr std::array<std::uint8_t, 8> AckPattern{0, 1, 2, 3, 4, 5, 6, 7};

// True when the first eight bytes of answer are AckPattern.
bool HasAckPattern(const Packet& answer);

// Clears g_cmdPacket, puts the first three characters of command in bytes 0-2 and the three
// numbers little-endian in bytes 4-15.
void BuildCommand(const char* command, std::uint32_t address, std::uint32_t length,
                  std::uint32_t count);

// Writes value little-endian at packet[offset .. offset+3].
void PutU32(Packet& packet, std::size_t offset, std::uint32_t value);
// Reads the little-endian value at packet[offset .. offset+3].
std::uint32_t GetU32(const Packet& packet, std::size_t offset);
