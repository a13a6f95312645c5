#include "update/UpdateRules.h"

#include "link/DeviceIdentity.h"
#include "update/VersionCatalogue.h"

namespace {

std::int32_t UnitVersion(const DeviceIdentity& identity, ContentKind kind)
{
    switch (kind) {
    case ContentKind::Db:
        return identity.dbVersion;
    case ContentKind::Voice:
        return identity.voiceVersion;
    case ContentKind::Image:
        return identity.imageVersion;
    case ContentKind::Firmware:
        break;
    }
    return identity.fwVersion;
}

} // namespace

int CatalogueCount(const VersionCatalogue& catalogue, ContentKind kind)
{
    switch (kind) {
    case ContentKind::Db:
        return ToCount(catalogue.dbCount);
    case ContentKind::Voice:
        return ToCount(catalogue.voiceCount);
    case ContentKind::Image:
        return ToCount(catalogue.imageCount);
    case ContentKind::Firmware:
        break;
    }
    return 0;
}

QByteArray CatalogueName(const VersionCatalogue& catalogue, ContentKind kind, std::uint32_t index)
{
    // The unit reports numbers up to 255; the catalogue has room for 50 entries only, and a
    // number beyond them is a number without an entry.
    if (index >= static_cast<std::uint32_t>(VersionCatalogue::kMaxEntries))
        return {};
    switch (kind) {
    case ContentKind::Db:
        return catalogue.dbNames[index];
    case ContentKind::Voice:
        return catalogue.voiceNames[index];
    case ContentKind::Image:
        return catalogue.imageNames[index];
    case ContentKind::Firmware:
        break;
    }
    return {};
}

std::uint32_t UnitIndex(const DeviceIdentity& identity, ContentKind kind)
{
    switch (kind) {
    case ContentKind::Db:
        return static_cast<std::uint32_t>(identity.dbIndex);
    case ContentKind::Voice:
        return static_cast<std::uint32_t>(identity.voiceIndex);
    case ContentKind::Image:
        return static_cast<std::uint32_t>(identity.imageIndex);
    case ContentKind::Firmware:
        break;
    }
    return 0;
}

QString VersionLabelNumber(const DeviceIdentity& identity, ContentKind kind)
{
    return QString::asprintf("%06ld", static_cast<long>(UnitVersion(identity, kind)));
}

bool IsKindCurrent(ContentKind kind, const DeviceIdentity& identity,
                   const VersionCatalogue& catalogue, std::uint32_t chosen, bool resume)
{
    if (resume)
        return false;
    if (kind == ContentKind::Firmware)
        return QString::asprintf("%04d", identity.fwVersion).toLatin1() == catalogue.fwVersion;
    if (chosen != UnitIndex(identity, kind))
        return false;
    // A name shorter than six characters is compared whole, so it never equals a version.
    return CatalogueName(catalogue, kind, chosen).left(6) ==
           QString::asprintf("%06d", UnitVersion(identity, kind)).toLatin1();
}
