#pragma once

#include "UnitMemory.h"
#include "UnitPacket.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tavo {

// The identity bytes that no content decides: hardware id (byte 63, top three bits) and the
// bytes the program stores but does not use.
struct IdentityExtras
{
    std::uint8_t byte63 = 0x20; // hardware id 1
    std::uint8_t byte62 = 0;
    std::uint8_t byte61 = 0;
    std::uint8_t byte60 = 0;
    std::uint8_t byte57 = 0;
    std::uint8_t byte56 = 0;
};

// The "$RH" answer: acknowledge pattern, then bytes 43 to 63 from the headers the unit holds.
// An area without a readable header of its kind reports index and version bytes 0.
UnitPacket BuildIdentityAnswer(const UnitMemory& memory, bool bootMode,
                               const IdentityExtras& extras);

// One identity field as the program decodes it, by the program's field name.
struct IdentityField
{
    const char* name;
    long value;
    bool isBool;
};

// Every raw field (byte 63 downwards) and then every derived field of an identity answer.
std::vector<IdentityField> DecodeIdentityFields(const UnitPacket& answer);

} // namespace tavo
