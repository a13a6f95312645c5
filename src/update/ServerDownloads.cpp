#include "update/ServerDownloads.h"

#include "app/TavoApp.h"
#include "platform/DocumentsFolder.h"
#include "update/DnProgress.h"

#include <QPointer>

QString UpdateServerBase()
{
    return theApp().GetProfileString(CTavoApp::kProfileSection, QStringLiteral("UpdateServer"),
                                     QStringLiteral("ftp://update.ostrel.invalid/down/fw/Tavo"));
}

QString ServerUrl(ContentKind kind, const QString& base, const QString& catalogueName)
{
    switch (kind) {
    case ContentKind::Db:
        return QStringLiteral("%1/DB/%2.tbn").arg(base, catalogueName);
    case ContentKind::Voice:
        return QStringLiteral("%1/Voice/%2.vbn").arg(base, catalogueName);
    case ContentKind::Image:
        return QStringLiteral("%1/Image/%2.ibn").arg(base, catalogueName);
    case ContentKind::Firmware:
        break;
    }
    return QStringLiteral("%1/FW/TavoFw.bin").arg(base);
}

QString LocalDownloadName(ContentKind kind, const platform::LocalTime& time)
{
    const ContentKindInfo& info = KindInfo(kind);
    return QString::asprintf("%s%d%d%d%d%d%s", info.localNamePrefix, time.year, time.month,
                             time.day, time.minute, time.millisecond, info.extension);
}

int ServerDownloads::DownloadFromServer(ContentKind kind, std::uint32_t ordinal,
                                        std::uint32_t total, const QString& catalogueName,
                                        QWidget* owner)
{
    // On the heap and guarded: if the owner goes away while the dialog runs, it takes the
    // dialog with it, and nothing of this object is touched after the dialog has run.
    const QPointer<DnProgress> dialog = new DnProgress(owner);
    const QString documents = platform::DocumentsFolder();
    const QString localPath =
        documents + QLatin1Char('/') + LocalDownloadName(kind, platform::GetLocalTime());
    const QString base = m_baseOverride.isEmpty() ? UpdateServerBase() : m_baseOverride;
    m_fileToProgram[KindIndex(kind)] = localPath;
    m_url[KindIndex(kind)] = ServerUrl(kind, base, catalogueName);

    dialog->SetDownload(m_url[KindIndex(kind)], localPath, ordinal, total);
    dialog->SetMaxReceiveRate(m_maxBytesPerSecond);
    dialog->exec();
    if (!dialog)
        return 0;
    const bool failed = dialog->Failed();
    delete dialog.data();
    return failed ? 0 : 1;
}
