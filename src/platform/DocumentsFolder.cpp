#include "platform/DocumentsFolder.h"

#include <QDir>
#include <QStandardPaths>

namespace platform {

QString DocumentsFolder()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    // A folder that cannot be made leaves the download to fail.
    QDir().mkpath(folder);
    return folder;
}

} // namespace platform
