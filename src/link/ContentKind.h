#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The four kinds of content the unit holds, in the order an update run programs them.
enum class ContentKind : std::uint8_t
{
    Db,
    Voice,
    Image,
    Firmware
};

inline constexpr std::size_t kContentKindCount = 4;
inline constexpr std::array<ContentKind, kContentKindCount> kAllContentKinds{
    ContentKind::Db, ContentKind::Voice, ContentKind::Image, ContentKind::Firmware};

// The fixed properties of one kind.
struct ContentKindInfo
{
    const char* extension;       // ".tbn", ".vbn", ".ibn", ".bin"
    std::uint32_t unitAddress;   // where its stream starts in unit memory (0 for firmware)
    const char* openingCommand;  // "$WDS" for content, "$WFE" for firmware
    const char* localNameFormat; // "Tavo_DB%d%d%d%d%d.tbn" ...: the name of a download in the
                                 // documents folder, from year, month, day, minute, millisecond
};

// The properties of kind.
const ContentKindInfo& KindInfo(ContentKind kind);

// Position of kind in per-kind arrays (0 to 3).
constexpr std::size_t KindIndex(ContentKind kind)
{
    return static_cast<std::size_t>(kind);
}
