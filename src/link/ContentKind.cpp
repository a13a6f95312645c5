#include "link/ContentKind.h"

namespace {

constexpr std::array<ContentKindInfo, kContentKindCount> kKinds{{
    {".tbn", 0x00140000, "$WDS", "Tavo_DB"},
    {".vbn", 0x00000000, "$WDS", "Tavo_VO"},
    {".ibn", 0x00340000, "$WDS", "Tavo_IMG"},
    {".bin", 0x00000000, "$WFE", "Tavo_Fw"},
}};

} // namespace

const ContentKindInfo& KindInfo(ContentKind kind)
{
    return kKinds[KindIndex(kind)];
}
