// Downloads from a real FTP server through the download dialog.

#include "TempHome.h"
#include "UpdateTestKit.h"
#include "app/TavoApp.h"
#include "platform/MessageBoxRecorder.h"
#include "update/DnProgress.h"
#include "update/ServerDownloads.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QtTest>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace updatetest;
using namespace Qt::StringLiterals;
using testsupport::TempHome;

namespace {

constexpr platform::LocalTime kNewYear2009{2009, 1, 1, 0, 5, 0, 7};

// A file that takes 16 s at the slow rate: closing the dialog always comes first.
constexpr int kSlowSize = 4 * 1024 * 1024;
constexpr qint64 kSlowRate = 256 * 1024;

QStringList Documents()
{
    return QDir(TempHome::documents()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

Q_DECLARE_METATYPE(platform::LocalTime)
Q_DECLARE_METATYPE(ContentKind)

class TestDownload final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_tree.Start(&error, 100'000, 50'048, 20'000), qPrintable(error));
        QVERIFY(WriteFile(m_tree.Path(u"/DB/slow.tbn"_s), PatternBytes(kSlowSize, 99)));
    }

    void init()
    {
        PrepareApp();
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        QDir documents(TempHome::documents());
        QVERIFY(documents.removeRecursively() && documents.mkpath(u"."_s));
    }

    void cleanup()
    {
        // The download dialog shows nothing itself, whatever happens.
        QCOMPARE(m_boxes->texts(), QStringList{});
        m_boxes.reset();
    }

    void failedRule_data()
    {
        QTest::addColumn<bool>("transferOk");
        QTest::addColumn<quint32>("progress");
        QTest::addColumn<quint32>("maximum");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<quint32>("percent");

        QTest::newRow("complete") << true << 5000u << 5000u << false << 100u;
        QTest::newRow("never reported") << true << 0u << DownloadState::kNoReport << true << 0u;
        QTest::newRow("below the maximum") << true << 4999u << 5000u << true << 99u;
        QTest::newRow("transfer failed") << false << 5000u << 5000u << true << 100u;
        QTest::newRow("total 0") << true << 300u << 0u << true << 0u;
        QTest::newRow("large file does not wrap")
            << true << 2'000'000'000u << 4'000'000'000u << true << 50u;
    }
    void failedRule()
    {
        QFETCH(bool, transferOk);
        QFETCH(quint32, progress);
        QFETCH(quint32, maximum);
        QFETCH(bool, failed);
        QFETCH(quint32, percent);
        QCOMPARE(DownloadFailed(transferOk, progress, maximum), failed);
        QCOMPARE(ProgressPercent(progress, maximum), percent);
    }

    void download_data()
    {
        QTest::addColumn<QString>("base"); // empty: the served tree
        QTest::addColumn<ContentKind>("kind");
        QTest::addColumn<QByteArray>("name"); // the catalogue's
        QTest::addColumn<platform::LocalTime>("time");
        QTest::addColumn<QString>("url");  // below the base
        QTest::addColumn<QString>("file"); // in the documents folder, kept when fetched
        QTest::addColumn<bool>("fetched");
        const QString none;
        // The local name has no leading zeros (the DB's is named by the failing rows).
        QTest::newRow("voice") << none << ContentKind::Voice << "090101_ENGLISH"_ba << kNewYear2009
                               << u"/Voice/090101_ENGLISH.vbn"_s << u"Tavo_VO20091157.vbn"_s
                               << true;
        QTest::newRow("firmware, hour and second left out")
            << none << ContentKind::Firmware << "unused"_ba
            << platform::LocalTime{2008, 5, 3, 14, 9, 27, 45} << u"/FW/TavoFw.bin"_s
            << u"Tavo_Fw200853945.bin"_s << true;
        // The account has no documents folder yet: it is created.
        QTest::newRow("image, widest numbers, no documents folder")
            << none << ContentKind::Image << "090101_FRENCH"_ba
            << platform::LocalTime{2010, 12, 31, 23, 59, 59, 999} << u"/Image/090101_FRENCH.ibn"_s
            << u"Tavo_IMG2010123159999.ibn"_s << true;
        // Missing on the server; the name's bytes reach the server as they are, percent-encoded
        // where an address needs it.
        QTest::newRow("missing, a name of any bytes")
            << none << ContentKind::Db << "09 \xC3\xA9t\xE9%#?;/x"_ba << kNewYear2009
            << u"/DB/09%20%C3%A9t%E9%25%23%3F%3B/x.tbn"_s << u"Tavo_DB20091157.tbn"_s << false;
        QTest::newRow("nothing listening")
            << u"ftp://127.0.0.1:1/down/fw/Tavo"_s << ContentKind::Db << "090115_EUROPE"_ba
            << kNewYear2009 << u"/DB/090115_EUROPE.tbn"_s << u"Tavo_DB20091157.tbn"_s << false;
    }
    void download()
    {
        QFETCH(QString, base);
        QFETCH(ContentKind, kind);
        QFETCH(QByteArray, name);
        QFETCH(platform::LocalTime, time);
        QFETCH(QString, url);
        QFETCH(QString, file);
        QFETCH(bool, fetched);
        if (kind == ContentKind::Image) // its row: no documents folder yet
            QVERIFY(QDir(TempHome::documents()).removeRecursively());
        base = base.isEmpty() ? m_tree.Base() : base;
        SetUpdateServer(base);
        const platform::FixedClock clock(time);
        DownloadStepper stepper(base);
        ServerDownloads downloads; // the base address comes from the profile
        QCOMPARE(downloads.DownloadFromServer(kind, 1, 1, name, nullptr), int(fetched));
        QCOMPARE(stepper.m_seen, QStringList{u"1 / 1 "_s + url});
        QCOMPARE(downloads.Url(kind), base + url);
        // The file it writes is named even when the download fails.
        QCOMPARE(downloads.FileToProgram(kind), TempHome::documents() + u'/' + file);
        QCOMPARE(Documents().join(u' '), fetched ? file : QString());
        if (fetched)
            QCOMPARE(ReadFile(downloads.FileToProgram(kind)), ReadFile(m_tree.Path(url)));
    }

    void closedEarly_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<bool>("ownerGoes");
        QTest::newRow("closed before the first tick") << false << false;
        QTest::newRow("closed mid-transfer") << true << false;
        QTest::newRow("owner destroyed mid-transfer") << true << true;
    }
    void closedEarly()
    {
        QFETCH(bool, started);
        QFETCH(bool, ownerGoes);
        auto owner = std::make_unique<QWidget>();
        std::shared_ptr<const DownloadState> state;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<DnProgress*>(QApplication::activeModalWidget());
            if (!dialog || !owner)
                return;
            if (!state) {
                state = dialog->State();
                if (started)
                    dialog->OnTimer(DnProgress::kTimerId);
            }
            if (started && state->m_progress.load() == 0)
                return;
            if (ownerGoes) {
                owner.reset(); // takes the dialog along
                return;
            }
            QTest::keyClick(dialog, Qt::Key_Escape);
            dialog->OnTimer(DnProgress::kTimerId); // a tick that was already queued starts nothing
        });
        closer.start(5);
        ServerDownloads downloads;
        downloads.SetBaseUrl(m_tree.Base());
        downloads.SetMaxReceiveRate(kSlowRate);

        QCOMPARE(downloads.DownloadFromServer(ContentKind::Db, 1, 1, "slow", owner.get()), 0);
        QCOMPARE(state->m_bStarted.load() != 0, started);
        // The worker has stopped with its dialog, and kept nothing.
        QCOMPARE(state->m_bFinished.load() != 0, started);
        QCOMPARE(int(state->m_bFailed.load()), 1);
        QVERIFY(state->m_progress.load() < std::uint32_t(kSlowSize));
        QCOMPARE(Documents(), QStringList{});
    }

    // A named pipe read through file:// announces no size: no percentage, the bar stays at 0
    // while the data arrives, and the dialog stays up until its next tick after the end.
    void streamWithoutSize()
    {
        QTemporaryDir pipeDir;
        const QByteArray fifo = QFile::encodeName(pipeDir.filePath(u"stream"_s));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const QString local = TempHome::documents() + u"/stream.tbn"_s;
        DnProgress dialog;
        dialog.SetDownload(u"file://"_s + QFile::decodeName(fifo), local, 2, 3);
        dialog.show();
        auto* bar = dialog.findChild<QProgressBar*>(u"1023"_s);
        // Held open for reading and writing, so that neither side waits for the other.
        int fd = ::open(fifo.constData(), O_RDWR | O_NONBLOCK);
        const auto closePipe = qScopeGuard([&] { ::close(fd); });
        const QByteArray payload = PatternBytes(300'000, 7);
        qsizetype written = 0;
        const auto feed = [&](qsizetype until) {
            return QTest::qWaitFor(
                [&] {
                    written += std::max<ssize_t>(
                        ::write(fd, payload.constData() + written, until - written), 0);
                    return written == until;
                },
                10000);
        };
        dialog.OnTimer(DnProgress::kTimerId);
        QVERIFY(feed(payload.size() / 2));
        QVERIFY(QTest::qWaitFor([&] { return dialog.State()->m_progress.load() > 0; }, 10000));
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);
        QVERIFY(feed(payload.size()));
        ::close(std::exchange(fd, -1));
        QVERIFY(QTest::qWaitFor([&] { return dialog.State()->m_bFinished.load() != 0; }, 10000));
        QVERIFY(dialog.isVisible());
        dialog.OnTimer(DnProgress::kTimerId);
        QVERIFY(!dialog.isVisible() && !dialog.Failed());
        QCOMPARE(bar->value(), 100);
        QCOMPARE(ReadFile(local), payload);
    }

private:
    TempHome m_home;
    ServedTree m_tree;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
};

QTEST_MAIN(TestDownload)
#include "test_download.moc"
