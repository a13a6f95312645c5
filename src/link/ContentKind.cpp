#include "link/ContentKind.h"

namespace {

constexpr std::array<ContentKindInfo, kContentKindCount> kKinds{{
    {".tbn", 0x00140000, "$WDS", "Tavo_DB%d%d%d%d%d.tbn"},
    {".vbn", 0x00000000, "$WDS", "Tavo_VO%d%d%d%d%d.vbn"},
    {".ibn", 0x00340000, "$WDS", "Tavo_IMG%d%d%d%d%d.ibn"},
    {".bin", 0x00000000, "$WFE", "Tavo_Fw%d%d%d%d%d.bin"},
}};

} // namespace

const ContentKindInfo& KindInfo(ContentKind kind)
{
    return kKinds[KindIndex(kind)];
}
