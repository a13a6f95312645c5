#include "Identity.h"

namespace tavo {
namespace {

constexpr int kVersionBias = 208;

// Puts a six-digit content version as three two-digit parts, the first biased by 208, at
// bytes low, low+1, low+2, and the index at low+3.
void PutContent(UnitPacket& answer, std::size_t low, const std::optional<ContentHeader>& header)
{
    if (!header)
        return;
    const std::uint32_t v = header->version;
    answer[low] = static_cast<std::uint8_t>(v % 100);
    answer[low + 1] = static_cast<std::uint8_t>(v / 100 % 100);
    answer[low + 2] = static_cast<std::uint8_t>(v / 10000 + kVersionBias);
    answer[low + 3] = header->index;
}

long ComposeVersion(long high, long mid, long low)
{
    return ((high - kVersionBias) * 100 + mid) * 100 + low;
}

} // namespace

UnitPacket BuildIdentityAnswer(const UnitMemory& memory, bool bootMode,
                               const IdentityExtras& extras)
{
    UnitPacket answer{};
    std::copy(kAckPattern.begin(), kAckPattern.end(), answer.begin());
    PutContent(answer, 43, memory.header(Region::Image));
    PutContent(answer, 47, memory.header(Region::Voice));
    PutContent(answer, 51, memory.header(Region::Db));
    if (const std::optional<ContentHeader> fw = memory.header(Region::Firmware)) {
        answer[55] = static_cast<std::uint8_t>(fw->version / 100);
        answer[59] = static_cast<std::uint8_t>(fw->version % 100);
    }
    answer[56] = extras.byte56;
    answer[57] = extras.byte57;
    answer[58] = bootMode ? 1 : 0;
    answer[60] = extras.byte60;
    answer[61] = extras.byte61;
    answer[62] = extras.byte62;
    answer[63] = extras.byte63;
    return answer;
}

std::vector<IdentityField> DecodeIdentityFields(const UnitPacket& a)
{
    const auto b = [&a](std::size_t i) { return static_cast<long>(a[i]); };
    return {
        {"hwId", b(63) >> 5, false},
        {"idByte62", b(62), false},
        {"idByte61", b(61), false},
        {"idByte60", b(60), false},
        {"fwMinor", b(59), false},
        {"bootMode", b(58) != 0 ? 1 : 0, true},
        {"idByte57", b(57), false},
        {"idByte56", b(56), false},
        {"fwMajor", b(55), false},
        {"dbIndexByte", b(54), false},
        {"dbVerHigh", b(53), false},
        {"dbVerMid", b(52), false},
        {"dbVerLow", b(51), false},
        {"voiceIndexByte", b(50), false},
        {"voiceVerHigh", b(49), false},
        {"voiceVerMid", b(48), false},
        {"voiceVerLow", b(47), false},
        {"imageIndexByte", b(46), false},
        {"imageVerHigh", b(45), false},
        {"imageVerMid", b(44), false},
        {"imageVerLow", b(43), false},
        {"fwVersion", b(55) * 100 + b(59), false},
        {"dbIndex", b(54), false},
        {"dbVersion", ComposeVersion(b(53), b(52), b(51)), false},
        {"voiceIndex", b(50), false},
        {"voiceVersion", ComposeVersion(b(49), b(48), b(47)), false},
        {"imageIndex", b(46), false},
        {"imageVersion", ComposeVersion(b(45), b(44), b(43)), false},
    };
}

} // namespace tavo
