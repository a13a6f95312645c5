// The program's decoders of unit answers. The first byte picks one, the rest is the answer:
// 0 the "$RH" identity in both forms, with what the update wizard makes of its numbers; 1 the
// "$RD" answers that make a POI store, as View lists them.
#include "device/PoiRecord.h"
#include "link/DeviceIdentity.h"
#include "update/UpdateRules.h"
#include "update/VersionCatalogue.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    if (data[0] % 2 == 0) {
        Packet packet{};
        std::copy_n(data + 1, std::min(size - 1, packet.size()), packet.begin());
        DeviceIdentity identity;
        DecodeIdentity(packet, HwIdForm::TopThreeBits, identity);
        DecodeIdentity(packet, HwIdForm::AllBits, identity);
        static VersionCatalogue catalogue;
        catalogue.dbNames.fill("081021_EUROPE");
        for (ContentKind kind :
             {ContentKind::Db, ContentKind::Voice, ContentKind::Image, ContentKind::Firmware}) {
            VersionLabelNumber(identity, kind);
            IsKindCurrent(kind, identity, catalogue, UnitIndex(identity, kind), false);
        }
    } else {
        PoiStore store;
        std::copy_n(data + 1, std::min(size - 1, store.bytes.size()), store.bytes.begin());
        for (const PoiRow& row : store.ListedRows())
            PoiRecordOf(row);
    }
    return 0;
}
