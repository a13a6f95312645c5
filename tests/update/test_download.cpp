// Downloads from a real FTP server through the download dialog.

#include "FtpServer.h"
#include "TempHome.h"
#include "app/TavoApp.h"
#include "platform/Clock.h"
#include "platform/MessageBoxRecorder.h"
#include "update/DnProgress.h"
#include "update/ServerDownloads.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr platform::LocalTime kNewYear2009{2009, 1, 1, 0, 5, 0, 7};

QByteArray RandomBytes(int size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList FilesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// Stands in for the dialog's timer while a dialog runs modally: records each download
// dialog's counter and ticks timer 11001 every few milliseconds until the dialog closes.
// That it gets to run at all shows that the event loop is not blocked by the transfer.
class DialogStepper final : public QObject
{
public:
    DialogStepper()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { Step(); });
        m_timer.start(5);
    }
    QStringList m_counters;

private:
    void Step()
    {
        auto* dialog = qobject_cast<DnProgress*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (dialog != m_current) {
            m_current = dialog;
            m_counters << dialog->findChild<QLabel*>(u"1028"_s)->text();
        }
        dialog->OnTimer(DnProgress::kTimerId);
    }

    QTimer m_timer;
    QPointer<DnProgress> m_current;
};

struct ServedFile
{
    ContentKind kind;
    const char* catalogueName;
    const char* path; // under the base directory
    int size;
};

const ServedFile kServed[] = {
    {ContentKind::Db, "090115_EUROPE", "/DB/090115_EUROPE.tbn", 100'000},
    {ContentKind::Voice, "090101_ENGLISH", "/Voice/090101_ENGLISH.vbn", 50'048},
    {ContentKind::Image, "090101_FRENCH", "/Image/090101_FRENCH.ibn", 20'000},
    {ContentKind::Firmware, "", "/FW/TavoFw.bin", 65'536},
};

constexpr int kSlowFileSize = 4 * 1024 * 1024;

} // namespace

Q_DECLARE_METATYPE(platform::LocalTime)

class TestDownload final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void localNames_data();
    void localNames();
    void failedRule_data();
    void failedRule();
    void updateServerBaseFromProfile();
    void wholeFile_data();
    void wholeFile();
    void failedDownloadLeavesNoFile_data();
    void failedDownloadLeavesNoFile();
    void countersOfASeries();
    void dialogLifecycle();
    void closedMidTransfer();
    void closedBeforeStart();
    void ownerDestroyedDuringDownload();
    void serverWithoutSize();

private:
    // Points the profile's "UpdateServer" at the test server.
    void UseProfileBase();
    QString Base() const { return m_server->url(u"/down/fw/Tavo"_s); }
    QString BaseDir() const { return m_serverRoot.filePath(u"down/fw/Tavo"_s); }

    std::unique_ptr<testsupport::TempHome> m_home;
    QTemporaryDir m_serverRoot;
    std::unique_ptr<testsupport::FtpServer> m_server;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
};

void TestDownload::initTestCase()
{
    m_home = std::make_unique<testsupport::TempHome>();
    for (const char* folder : {"DB", "Voice", "Image", "FW"})
        QVERIFY(QDir(BaseDir()).mkpath(QLatin1String(folder)));
    quint32 seed = 1;
    for (const ServedFile& f : kServed)
        QVERIFY(WriteFile(BaseDir() + QLatin1String(f.path), RandomBytes(f.size, seed++)));
    QVERIFY(WriteFile(BaseDir() + u"/DB/slow.tbn"_s, RandomBytes(kSlowFileSize, 99)));

    m_server = std::make_unique<testsupport::FtpServer>(m_serverRoot.path());
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
}

void TestDownload::init()
{
    m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    QDir documents(m_home->documents());
    QVERIFY(documents.removeRecursively());
    QVERIFY(documents.mkpath(u"."_s));
}

void TestDownload::cleanup()
{
    // The download dialog shows nothing itself, whatever happens.
    QCOMPARE(m_boxes->texts(), QStringList{});
    m_boxes.reset();
}

void TestDownload::cleanupTestCase()
{
    m_server.reset();
    m_home.reset();
}

void TestDownload::localNames_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<platform::LocalTime>("time");
    QTest::addColumn<QString>("name");

    const platform::LocalTime may2008{2008, 5, 3, 14, 9, 27, 45};
    const platform::LocalTime lastMoment{2010, 12, 31, 23, 59, 59, 999};
    QTest::newRow("DB, no leading zeros")
        << int(ContentKind::Db) << kNewYear2009 << u"Tavo_DB20091157.tbn"_s;
    QTest::newRow("firmware, hour and second left out")
        << int(ContentKind::Firmware) << may2008 << u"Tavo_Fw200853945.bin"_s;
    QTest::newRow("voice") << int(ContentKind::Voice) << kNewYear2009 << u"Tavo_VO20091157.vbn"_s;
    QTest::newRow("image, widest numbers")
        << int(ContentKind::Image) << lastMoment << u"Tavo_IMG2010123159999.ibn"_s;
}

void TestDownload::localNames()
{
    QFETCH(int, kind);
    QFETCH(platform::LocalTime, time);
    QFETCH(QString, name);
    QCOMPARE(LocalDownloadName(ContentKind(kind), time), name);
}

void TestDownload::failedRule_data()
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
    QTest::newRow("total 0 leaves the bar at 0") << true << 300u << 0u << true << 0u;
    QTest::newRow("empty file") << true << 0u << 0u << false << 0u;
    QTest::newRow("large file does not wrap")
        << true << 2'000'000'000u << 4'000'000'000u << true << 50u;
}

void TestDownload::failedRule()
{
    QFETCH(bool, transferOk);
    QFETCH(quint32, progress);
    QFETCH(quint32, maximum);
    QFETCH(bool, failed);
    QFETCH(quint32, percent);
    QCOMPARE(DownloadFailed(transferOk, progress, maximum), failed);
    QCOMPARE(ProgressPercent(progress, maximum), percent);
}

void TestDownload::UseProfileBase()
{
    theApp().SetRegistryKey(u"Ostrel updater"_s);
    // The test-mode profile lies in the temporary home, not in the user's own.
    QVERIFY(theApp().ProfileFilePath().startsWith(m_home->path()));
    QVERIFY(theApp().WriteProfileString(u"Tavo_Config"_s, u"UpdateServer"_s, Base()));
}

void TestDownload::updateServerBaseFromProfile()
{
    UseProfileBase();
    QCOMPARE(UpdateServerBase(), Base());
    QSettings(theApp().ProfileFilePath(), QSettings::IniFormat)
        .remove(u"Tavo_Config/UpdateServer"_s);
    QCOMPARE(UpdateServerBase(), u"ftp://update.ostrel.invalid/down/fw/Tavo"_s);
}

void TestDownload::wholeFile_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("DB") << 0;
    QTest::newRow("voice") << 1;
    QTest::newRow("image") << 2;
    QTest::newRow("firmware") << 3;
}

void TestDownload::wholeFile()
{
    QFETCH(int, index);
    const ServedFile& served = kServed[index];
    UseProfileBase();
    const platform::FixedClock clock(kNewYear2009);
    DialogStepper stepper;
    ServerDownloads downloads; // the base address comes from the profile

    QCOMPARE(downloads.DownloadFromServer(served.kind, 1, 1, QLatin1String(served.catalogueName),
                                          nullptr),
             1);

    const QString local = m_home->documents() + u'/' + LocalDownloadName(served.kind, kNewYear2009);
    QCOMPARE(downloads.FileToProgram(served.kind), local);
    QCOMPARE(downloads.Url(served.kind), Base() + QLatin1String(served.path));
    QCOMPARE(ReadFile(local), ReadFile(BaseDir() + QLatin1String(served.path)));
    QCOMPARE(FilesIn(m_home->documents()), QStringList{QFileInfo(local).fileName()});
    QCOMPARE(stepper.m_counters, QStringList{u"1 / 1"_s});
}

void TestDownload::failedDownloadLeavesNoFile_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<bool>("documentsFolder");
    QTest::newRow("missing on the server") << QString() << true;
    QTest::newRow("nothing listening") << u"ftp://127.0.0.1:1/down/fw/Tavo"_s << true;
    QTest::newRow("documents folder missing") << QString() << false;
}

void TestDownload::failedDownloadLeavesNoFile()
{
    QFETCH(QString, base);
    QFETCH(bool, documentsFolder);
    if (!documentsFolder)
        QVERIFY(QDir(m_home->documents()).removeRecursively());
    const platform::FixedClock clock(kNewYear2009);
    DialogStepper stepper;
    ServerDownloads downloads;
    downloads.SetBaseUrl(base.isEmpty() ? Base() : base);

    const QString name = documentsFolder ? u"000000_NONE"_s : u"090115_EUROPE"_s;
    QCOMPARE(downloads.DownloadFromServer(ContentKind::Db, 1, 1, name, nullptr), 0);

    // The routine still names the file it would have written; the documents folder is not
    // created for it.
    QCOMPARE(downloads.FileToProgram(ContentKind::Db),
             m_home->documents() + u"/Tavo_DB20091157.tbn"_s);
    QCOMPARE(QFileInfo::exists(m_home->documents()), documentsFolder);
    QCOMPARE(FilesIn(m_home->documents()), QStringList{});
}

void TestDownload::countersOfASeries()
{
    const platform::FixedClock clock(kNewYear2009);
    DialogStepper stepper;
    ServerDownloads downloads;
    downloads.SetBaseUrl(Base());
    for (std::uint32_t k = 1; k <= 3; ++k) {
        const ServedFile& served = kServed[k - 1];
        QCOMPARE(downloads.DownloadFromServer(served.kind, k, 3,
                                              QLatin1String(served.catalogueName), nullptr),
                 1);
    }
    QCOMPARE(stepper.m_counters, (QStringList{u"1 / 3"_s, u"2 / 3"_s, u"3 / 3"_s}));
    QCOMPARE(FilesIn(m_home->documents()).size(), 3);
}

void TestDownload::dialogLifecycle()
{
    const QString local = m_home->documents() + u"/fw.bin"_s;
    DnProgress dialog;
    dialog.SetDownload(Base() + u"/FW/TavoFw.bin"_s, local, 2, 3);
    QCOMPARE(dialog.windowTitle(), u"DOWNLOAD"_s);
    dialog.show();

    auto* bar = dialog.findChild<QProgressBar*>(u"1023"_s);
    QVERIFY(bar);
    QCOMPARE(dialog.windowTitle(), u"Download"_s);
    QCOMPARE(dialog.findChild<QLabel*>(u"1028"_s)->text(), u"2 / 3"_s);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);
    const std::shared_ptr<const DownloadState> state = dialog.State();
    QCOMPARE(state->m_progressMax.load(), DownloadState::kNoReport);

    dialog.OnTimer(10002); // not this dialog's timer
    QCOMPARE(int(state->m_bStarted.load()), 0);
    dialog.OnTimer(DnProgress::kTimerId);
    QCOMPARE(int(state->m_bStarted.load()), 1);
    QVERIFY(QTest::qWaitFor([&] { return state->m_bFinished.load() != 0; }, 10000));
    // The dialog stays up until its next tick.
    QVERIFY(dialog.isVisible());
    dialog.OnTimer(DnProgress::kTimerId);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.Failed());
    QCOMPARE(state->m_progress.load(), 65536u);
    QCOMPARE(state->m_progressMax.load(), 65536u);
    QCOMPARE(bar->value(), 100);
    QCOMPARE(ReadFile(local).size(), 65536);
}

void TestDownload::closedMidTransfer()
{
    const QString local = m_home->documents() + u"/slow.tbn"_s;
    std::shared_ptr<const DownloadState> state;
    {
        DnProgress dialog;
        dialog.SetDownload(Base() + u"/DB/slow.tbn"_s, local, 1, 1);
        dialog.SetMaxReceiveRate(256 * 1024); // 16 s for the whole file
        dialog.show();
        state = dialog.State();
        dialog.OnTimer(DnProgress::kTimerId);
        auto* bar = dialog.findChild<QProgressBar*>(u"1023"_s);
        QVERIFY(QTest::qWaitFor([&] { return bar->value() > 0; }, 10000));

        QTest::keyClick(&dialog, Qt::Key_Escape);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(dialog.Failed());
    } // the dialog is gone; its worker carries on alone

    QVERIFY(QTest::qWaitFor([&] { return state->m_bFinished.load() != 0; }, 10000));
    QCOMPARE(int(state->m_bFailed.load()), 1);
    QVERIFY(state->m_progress.load() < std::uint32_t(kSlowFileSize));
    QCOMPARE(FilesIn(m_home->documents()), QStringList{});
}

void TestDownload::closedBeforeStart()
{
    DnProgress dialog;
    dialog.SetDownload(Base() + u"/FW/TavoFw.bin"_s, m_home->documents() + u"/fw.bin"_s, 1, 1);
    dialog.show();
    dialog.close();
    QVERIFY(dialog.Failed());
    QCOMPARE(int(dialog.State()->m_bStarted.load()), 0);
    dialog.OnTimer(DnProgress::kTimerId); // a tick that was already queued starts nothing
    QCOMPARE(int(dialog.State()->m_bStarted.load()), 0);
    QCOMPARE(FilesIn(m_home->documents()), QStringList{});
}

void TestDownload::ownerDestroyedDuringDownload()
{
    // The page that runs the download goes away while the transfer is under way.
    auto* owner = new QWidget;
    std::shared_ptr<const DownloadState> state;
    QTimer killer;
    connect(&killer, &QTimer::timeout, this, [&] {
        auto* dialog = qobject_cast<DnProgress*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (!state) {
            state = dialog->State();
            dialog->OnTimer(DnProgress::kTimerId);
        } else if (owner && state->m_progress.load() > 0) {
            delete std::exchange(owner, nullptr);
        }
    });
    killer.start(5);
    ServerDownloads downloads;
    downloads.SetBaseUrl(Base());
    downloads.SetMaxReceiveRate(256 * 1024);

    QCOMPARE(downloads.DownloadFromServer(ContentKind::Db, 1, 1, u"slow"_s, owner), 0);

    QVERIFY(!owner);
    QVERIFY(QTest::qWaitFor([&] { return state->m_bFinished.load() != 0; }, 10000));
    QCOMPARE(int(state->m_bFailed.load()), 1);
    QCOMPARE(FilesIn(m_home->documents()), QStringList{});
}

void TestDownload::serverWithoutSize()
{
    // A named pipe read through file:// announces no size: the data simply arrives.
    QTemporaryDir pipeDir;
    const QByteArray fifo = QFile::encodeName(pipeDir.filePath(u"stream"_s));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const QByteArray payload = RandomBytes(300'000, 7);
    std::atomic<bool> release{false};
    std::atomic<bool> giveUp{false};
    std::thread writer([&] {
        // Non-blocking open until the reader is there, so a failing test cannot hang here.
        int fd = -1;
        while (fd < 0 && !giveUp.load()) {
            fd = ::open(fifo.constData(), O_WRONLY | O_NONBLOCK);
            if (fd < 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (fd < 0)
            return;
        ::fcntl(fd, F_SETFL, 0);
        const qsizetype half = payload.size() / 2;
        bool ok = ::write(fd, payload.constData(), half) == half;
        while (ok && !release.load() && !giveUp.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (ok && !giveUp.load())
            ok = ::write(fd, payload.constData() + half, payload.size() - half) ==
                 payload.size() - half;
        ::close(fd);
    });
    const auto joinWriter = qScopeGuard([&] {
        giveUp.store(true);
        writer.join();
    });

    const QString local = m_home->documents() + u"/stream.tbn"_s;
    DnProgress dialog;
    dialog.SetDownload(u"file://"_s + QFile::decodeName(fifo), local, 1, 1);
    dialog.show();
    auto* bar = dialog.findChild<QProgressBar*>(u"1023"_s);
    dialog.OnTimer(DnProgress::kTimerId);

    // Half the data is in, the size unknown: the bar runs as a busy indicator.
    QVERIFY(QTest::qWaitFor([&] { return bar->maximum() == 0; }, 10000));
    QCOMPARE(dialog.State()->m_progressMax.load(), 0u);
    QVERIFY(dialog.State()->m_progress.load() > 0);
    release.store(true);

    QVERIFY(QTest::qWaitFor([&] { return dialog.State()->m_bFinished.load() != 0; }, 10000));
    dialog.OnTimer(DnProgress::kTimerId);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.Failed());
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 100);
    QCOMPARE(ReadFile(local), payload);
}

QTEST_MAIN(TestDownload)
#include "test_download.moc"
