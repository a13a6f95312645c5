#include "UpdateTestKit.h"

#include "app/TavoApp.h"
#include "update/CPage_Update.h"
#include "update/DnProgress.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QtEndian>
#include <tavo/ContentFile.h>

namespace updatetest {

namespace {

std::uint32_t U32At(const std::vector<std::uint8_t>& p, std::size_t offset)
{
    return qFromLittleEndian<std::uint32_t>(p.data() + offset);
}

} // namespace

void SetUpdateServer(const QString& base)
{
    theApp().WriteProfileString(CTavoApp::kProfileSection, QStringLiteral("UpdateServer"), base);
}

bool ServedTree::Start(QString* error, std::uint32_t db, std::uint32_t voice, std::uint32_t image)
{
    std::string written;
    if (!tavo::WriteUpdateServer(Root().toStdString(), {db, voice, image}, &written)) {
        *error = QString::fromStdString(written);
        return false;
    }
    return m_server.start(error);
}

QString ServedTree::Path(const QString& file) const
{
    return m_root.filePath(QStringLiteral("down/fw/Tavo") + file);
}

DownloadStepper::DownloadStepper(QString base, std::function<void()> onDialog)
    : m_base(std::move(base)), m_onDialog(std::move(onDialog))
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        auto* dialog = qobject_cast<DnProgress*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (dialog != m_current) {
            m_current = dialog;
            QString url = QString::fromStdString(dialog->State()->m_url);
            if (!m_base.isEmpty() && url.startsWith(m_base))
                url.remove(0, m_base.size());
            m_seen << dialog->findChild<QLabel*>(QStringLiteral("1028"))->text() + u' ' + url;
            if (m_onDialog)
                m_onDialog();
        }
        dialog->OnTimer(DnProgress::kTimerId);
    });
    m_timer.start(5);
}

QStringList Update(CPage_Update* page, const std::function<void()>& onDialog)
{
    DownloadStepper stepper(
        theApp().GetProfileString(CTavoApp::kProfileSection, QStringLiteral("UpdateServer"), {}),
        onDialog);
    page->OnUpdateButton();
    return stepper.m_seen;
}

void StageTick(CPage_Update* page)
{
    const QPointer<CPage_Update> alive(page);
    page->OnTimer(CPage_Update::kStageTimer);
    QVERIFY(QTest::qWaitFor([&alive] { return !alive || !alive->WorkerRunning(); }, 20000));
    QCoreApplication::processEvents();
}

QStringList Describe(const Packets& sent)
{
    QStringList result;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const std::vector<std::uint8_t>& p = sent[i];
        const QByteArray command(reinterpret_cast<const char*>(p.data()),
                                 std::min<qsizetype>(4, qsizetype(p.size())));
        if (p.size() != 64 || (command != "$WDS" && command != "$WFE")) {
            result << QString::fromLatin1(command.left(3));
            continue;
        }
        const std::size_t data = std::min<std::size_t>(U32At(p, 12), sent.size() - i - 1);
        result << QStringLiteral("%1 %2 %3 %4 +%5")
                      .arg(QString::fromLatin1(command))
                      .arg(U32At(p, 4), 8, 16, QLatin1Char('0'))
                      .arg(U32At(p, 8))
                      .arg(U32At(p, 12))
                      .arg(data);
        i += data;
    }
    return result;
}

QByteArray StreamData(const Packets& sent, std::size_t header)
{
    QByteArray data;
    for (std::size_t i = header + 1; i < sent.size() && i <= header + U32At(sent[header], 12); ++i)
        data.append(reinterpret_cast<const char*>(sent[i].data()),
                    static_cast<qsizetype>(sent[i].size()));
    return data;
}

} // namespace updatetest
