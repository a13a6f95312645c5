// The UI text file loader: the header scan, the texts of languages 0 and 1, the language
// names the Connection page lists, and the name lists the update wizard splits.
#include "app/TavoApp.h"
#include "app/TextConvert.h"

#include <QFile>
#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    QFile file(dir.filePath(QLatin1String(CTavoApp::kUITextFile)));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size)) != qint64(size))
        return 0;
    file.close();
    CTavoApp app;
    app.m_strCurDir = dir.path();
    app.LoadUIHeader();
    for (const QByteArray& name : SplitSlashList(app.m_strLangItem))
        Utf8ToAnsi(name);
    for (int language : {0, 1}) {
        app.LoadUIText(language);
        for (int n = 38; n <= 40; ++n)
            app.GetSlashItem(app.m_strText[n], n - 39);
    }
    return 0;
}
