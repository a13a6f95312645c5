#include "update/Bitmaps.h"

#include <QString>

// The bitmaps live in a static library, whose resources are not registered by themselves.
// The macro must be used outside any namespace.
static void InitBitmapResources()
{
    Q_INIT_RESOURCE(tavo_bitmaps);
}

QPixmap LoadBitmap(int id)
{
    static const bool registered = (InitBitmapResources(), true);
    Q_UNUSED(registered)
    return QPixmap(QStringLiteral(":/bitmaps/%1.png").arg(id));
}
