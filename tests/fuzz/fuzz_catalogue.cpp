// The version catalogue read from a file of these bytes, and one private-profile lookup with
// a caller's buffer size taken from the input's size. CR LF, CR and LF end a line alike, so
// turning every CR into an LF reads the same catalogue.
#include "platform/MessageBoxRecorder.h"
#include "platform/PrivateProfile.h"
#include "update/VersionCatalogue.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>

static VersionCatalogue Read(const QByteArray& bytes)
{
    static QTemporaryDir dir;
    static platform::MessageBoxRecorder boxes; // "Error[1001]" and friends, answered at once
    boxes.clear();
    VersionCatalogue catalogue;
    QFile file(dir.filePath(QStringLiteral("Tavo_VersionInfo.txt")));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush())
        ReadVersionCatalogue(catalogue, file.fileName());
    return catalogue;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (!(Read(bytes) == Read(QByteArray(bytes).replace('\r', '\n'))))
        std::abort();
    platform::PrivateProfile::FromText(bytes).value("FW", "VER_NUM", " x ",
                                                    static_cast<int>(size % 131) - 1);
    return 0;
}
