#include "PageTestKit.h"

#include "app/TavoApp.h"
#include "link/Packets.h"
#include "update/DnProgress.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QRandomGenerator>
#include <QSettings>

namespace pagetest {

namespace {

const QString kOnUpdate = QStringLiteral("OnUpdate");

bool IsStreamHeader(const std::vector<std::uint8_t>& packet, const char* command)
{
    return packet.size() == kPacketSize && std::equal(command, command + 4, packet.begin());
}

std::uint32_t U32At(const std::vector<std::uint8_t>& packet, std::size_t offset)
{
    return static_cast<std::uint32_t>(packet[offset]) |
           static_cast<std::uint32_t>(packet[offset + 1]) << 8 |
           static_cast<std::uint32_t>(packet[offset + 2]) << 16 |
           static_cast<std::uint32_t>(packet[offset + 3]) << 24;
}

} // namespace

void PrepareApp()
{
    CTavoApp& app = theApp();
    for (int n = 0; n < CTavoApp::kTextCount; ++n)
        app.m_strText[static_cast<std::size_t>(n)] = UiText(n);
    app.m_bConnected = 1;
    app.SetRegistryKey(CTavoApp::kRegistryKey);
    QSettings(app.ProfileFilePath(), QSettings::IniFormat).clear();
}

QString UiText(int n)
{
    switch (n) {
    case 38:
        return QStringLiteral("EUROPE/FRANCE/CHINA/UNKNOWN");
    case 39:
        return QStringLiteral("ENGLISH-voice/FRENCH-woman voice/UNKNOWN");
    case 40:
        return QStringLiteral("ENGHISH-image/FRENCH-image/UNKNOWN");
    default:
        return QStringLiteral("ui-%1").arg(n, 3, 10, QLatin1Char('0'));
    }
}

int OnUpdateValue()
{
    return theApp().GetProfileInt(CTavoApp::kProfileSection, kOnUpdate, -1);
}

void SetUpdateServer(const QString& base)
{
    theApp().WriteProfileString(CTavoApp::kProfileSection, QStringLiteral("UpdateServer"), base);
}

DownloadStepper::DownloadStepper(std::function<QString()> probe) : m_probe(std::move(probe))
{
    connect(&m_timer, &QTimer::timeout, this, [this] { Step(); });
    m_timer.start(5);
}

void DownloadStepper::Step()
{
    auto* dialog = qobject_cast<DnProgress*>(QApplication::activeModalWidget());
    if (!dialog)
        return;
    if (dialog != m_current) {
        m_current = dialog;
        const auto* counter = dialog->findChild<QLabel*>(QStringLiteral("1028"));
        m_seen.append(
            {QString(), counter ? counter->text() : QString(), m_probe ? m_probe() : QString()});
    }
    dialog->OnTimer(DnProgress::kTimerId);
    // The dialog learns its address when it initialises; the state carries it from then on.
    if (m_seen.last().url.isEmpty())
        m_seen.last().url = QString::fromStdString(dialog->State()->m_url);
}

QStringList DownloadStepper::urls() const
{
    QStringList result;
    for (const Seen& s : m_seen)
        result << s.url;
    return result;
}

QStringList DownloadStepper::counters() const
{
    QStringList result;
    for (const Seen& s : m_seen)
        result << s.counter;
    return result;
}

QStringList Describe(const Packets& sent)
{
    QStringList result;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const std::vector<std::uint8_t>& p = sent[i];
        if (IsStreamHeader(p, "$WDS") || IsStreamHeader(p, "$WFE")) {
            const std::uint32_t count = U32At(p, 12);
            const std::size_t data = std::min<std::size_t>(count, sent.size() - i - 1);
            result << QStringLiteral("%1 %2 %3 %4 +%5")
                          .arg(QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 4))
                          .arg(U32At(p, 4), 8, 16, QLatin1Char('0'))
                          .arg(U32At(p, 8))
                          .arg(count)
                          .arg(data);
            i += data;
        } else if (p.size() >= 3) {
            result << QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 3);
        }
    }
    return result;
}

QByteArray StreamData(const Packets& sent, std::size_t header)
{
    QByteArray data;
    if (header >= sent.size())
        return data;
    const std::uint32_t count = U32At(sent[header], 12);
    for (std::size_t i = header + 1; i < sent.size() && i <= header + count; ++i)
        data.append(reinterpret_cast<const char*>(sent[i].data()),
                    static_cast<qsizetype>(sent[i].size()));
    return data;
}

std::size_t FindStream(const Packets& sent, const char* command, std::size_t from)
{
    for (std::size_t i = from; i < sent.size(); ++i) {
        if (IsStreamHeader(sent[i], command))
            return i;
    }
    return sent.size();
}

QByteArray PatternBytes(int size, std::uint32_t seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& b : bytes)
        b = static_cast<char>(generator.bounded(256));
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QColor PixmapColour(const QWidget* widget)
{
    const auto* label = qobject_cast<const QLabel*>(widget);
    if (!label)
        return {};
    const QImage image = label->pixmap().toImage();
    if (image.isNull())
        return {};
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace pagetest
