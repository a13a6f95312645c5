#include "link/Packets.h"

#include <QtEndian>
#include <algorithm>

Packet g_cmdPacket{};
Packet g_ansPacket{};

bool HasAckPattern(const Packet& answer)
{
    return std::equal(AckPattern.begin(), AckPattern.end(), answer.begin());
}

void PutU32(Packet& packet, std::size_t offset, std::uint32_t value)
{
    qToLittleEndian(value, packet.data() + offset);
}

std::uint32_t GetU32(const Packet& packet, std::size_t offset)
{
    return qFromLittleEndian<std::uint32_t>(packet.data() + offset);
}

void BuildCommand(const char* command, std::uint32_t address, std::uint32_t length,
                  std::uint32_t count)
{
    g_cmdPacket.fill(0);
    for (std::size_t i = 0; i < 3 && command[i] != '\0'; ++i)
        g_cmdPacket[i] = static_cast<std::uint8_t>(command[i]);
    PutU32(g_cmdPacket, 4, address);
    PutU32(g_cmdPacket, 8, length);
    PutU32(g_cmdPacket, 12, count);
}
