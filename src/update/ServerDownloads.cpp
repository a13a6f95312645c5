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

QString ServerUrl(ContentKind kind, const QString& base, const QByteArray& catalogueName)
{
    const QByteArray b = base.toUtf8();
    // Kept as they are: what a path may hold, the folder separator included, but not ';',
    // which would start an FTP address's ";type=" suffix.
    const QByteArray name = catalogueName.toPercentEncoding("/!$&'()*+,=:@");
    switch (kind) {
    case ContentKind::Db:
        return QString::asprintf("%s/DB/%s.tbn", b.constData(), name.constData());
    case ContentKind::Voice:
        return QString::asprintf("%s/Voice/%s.vbn", b.constData(), name.constData());
    case ContentKind::Image:
        return QString::asprintf("%s/Image/%s.ibn", b.constData(), name.constData());
    case ContentKind::Firmware:
        break;
    }
    return QString::asprintf("%s/FW/TavoFw.bin", b.constData());
}

QString LocalDownloadName(ContentKind kind, const platform::LocalTime& time)
{
    return QString::asprintf(KindInfo(kind).localNameFormat, time.year, time.month, time.day,
                             time.minute, time.millisecond);
}

int ServerDownloads::DownloadFromServer(ContentKind kind, std::uint32_t ordinal,
                                        std::uint32_t total, const QByteArray& catalogueName,
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
