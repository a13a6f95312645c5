#pragma once

#include "link/Packets.h"

#include <cstdint>

// The unit's identity record, decoded from bytes 43 to 63 of the "$RH" answer. Every field
// is 0 until the first successful read.
struct DeviceIdentity
{
    // Raw fields, one per answer byte from byte 63 downwards.
    std::uint32_t hwId = 0;
    std::uint32_t idByte62 = 0;
    std::uint32_t idByte61 = 0;
    std::uint32_t idByte60 = 0;
    std::uint32_t fwMinor = 0;
    bool bootMode = false;
    std::uint32_t idByte57 = 0;
    std::uint32_t idByte56 = 0;
    std::uint32_t fwMajor = 0;
    std::uint32_t dbIndexByte = 0;
    std::uint32_t dbVerHigh = 0;
    std::uint32_t dbVerMid = 0;
    std::uint32_t dbVerLow = 0;
    std::uint32_t voiceIndexByte = 0;
    std::uint32_t voiceVerHigh = 0;
    std::uint32_t voiceVerMid = 0;
    std::uint32_t voiceVerLow = 0;
    std::uint32_t imageIndexByte = 0;
    std::uint32_t imageVerHigh = 0;
    std::uint32_t imageVerMid = 0;
    std::uint32_t imageVerLow = 0;

    // Derived fields.
    std::int32_t fwVersion = 0;
    std::int32_t dbIndex = 0;
    std::int32_t dbVersion = 0;
    std::int32_t voiceIndex = 0;
    std::int32_t voiceVersion = 0;
    std::int32_t imageIndex = 0;
    std::int32_t imageVersion = 0;
};

// Which bits of byte 63 make hwId: the top three (the sheet's read after a connect) or all
// eight (the identity refresh).
enum class HwIdForm
{
    TopThreeBits,
    AllBits
};

// Decodes answer into identity: raw fields first, then the derived ones. Versions are
// ((high - 208) * 100 + mid) * 100 + low, with no range check, so a high byte below 208
// gives a negative version.
void DecodeIdentity(const Packet& answer, HwIdForm form, DeviceIdentity& identity);

// Sends "$RH" with UsbTransact (acknowledge tested) and, only when that succeeds, decodes
// g_ansPacket into identity. A failed read leaves identity untouched. Shows nothing.
bool ReadIdentity(HwIdForm form, DeviceIdentity& identity);
