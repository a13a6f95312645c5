// The POI file reader, the unit records Update POI makes of its rows, and Save: saving the
// rows read and reading them again gives the same rows.
#include "device/PoiFile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<PoiRow> rows =
        ReadPoiFile(QByteArrayView(data, static_cast<qsizetype>(size)));
    if (const std::optional<PoiStore> store = PoiStore::Of(rows))
        store->ListedRows();
    if (ReadPoiFile(PoiFileOf(rows)) != rows)
        std::abort();
    return 0;
}
