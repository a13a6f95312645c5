// The content programming engine against the virtual unit: the bytes on the wire, the
// percents, the flags and the codes.
#include "TestFiles.h"
#include "UnitFixture.h"
#include "link/ContentWriter.h"
#include "link/SheetState.h"
#include "link/WorkerThread.h"
#include "platform/MessageBoxRecorder.h"

#include <QtTest>

using namespace Qt::StringLiterals;
using Percents = QList<quint32>;
using testsupport::PatternBytes;

Q_DECLARE_METATYPE(ContentKind)

namespace {

// An opening packet from the hex of its first 16 bytes (command, then address, length and
// count little-endian), spelled out independently of the engine.
QByteArray Opening(const char* hex)
{
    return QByteArray::fromHex(hex).leftJustified(64, '\0');
}

// The kind's procedure, as the pages pick it.
auto Procedure(ContentKind kind)
{
    return kind == ContentKind::Firmware ? &WriteFirmwareFile : &WriteContentFile;
}

} // namespace

class TestEngine final : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    platform::MessageBoxRecorder m_boxes;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::shared_ptr<SheetFlags> m_flags;
    std::shared_ptr<TransferProgress> m_progress;
    Percents m_percents;
    int m_completions = 0;

    // A job for the file holding bytes, with the update wizard's codes, reporting to this
    // test; a firmware stream is announced first, as the update wizard does.
    TransferJob Job(ContentKind kind, const QByteArray& bytes)
    {
        TransferJob job;
        job.filePath = m_dir.filePath(u"content.bin"_s);
        if (!testsupport::WriteFile(job.filePath, bytes))
            qFatal("cannot write the test file");
        job.kind = kind;
        job.codes = UpdateWizardCodes(kind);
        job.progress = m_progress;
        job.sheetFlags = m_flags;
        job.onPercent = [this](std::uint32_t percent) { m_percents.append(percent); };
        job.onComplete = [this] {
            // Counted only when it runs once the run is complete, not before.
            if (m_progress->IsDone(ContentKind::Firmware) && m_progress->percent.load() == 100)
                ++m_completions;
        };
        if (kind == ContentKind::Firmware && !(BuildCommand("$WB", 0, 0, 1), UsbTransact(false)))
            qFatal("no $WB");
        m_unit->unit().clearTrace();
        return job;
    }

    // All the unit got, once it has taken count packets: a write returns when the packet is
    // on its way, the unit may still be reading it.
    QByteArray Sent(std::size_t count)
    {
        m_unit->unit().waitForTrace(count, 5000);
        QByteArray all;
        for (const auto& packet : m_unit->sentPackets())
            all +=
                QByteArray(reinterpret_cast<const char*>(packet.data()), qsizetype(packet.size()));
        return all;
    }

private slots:
    void init()
    {
        m_unit = std::make_unique<testsupport::UnitFixture>();
        m_boxes.clear();
        m_boxes.setOnShow({});
        m_progress = std::make_shared<TransferProgress>();
        m_percents = {}; // unallocated, as the rows' empty list: Qt 6.4 would memcmp a null
        m_completions = 0;
        // A page sets the busy flag before it starts a worker. The window may close during a
        // transfer: the worker holds only the flags, which outlive the sheet.
        SheetState sheet;
        sheet.SetDeviceBusy(true);
        m_flags = sheet.Flags();
    }

    void cleanup() { m_unit.reset(); }

    void write_data()
    {
        QTest::addColumn<ContentKind>("kind");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("opening");
        QTest::addColumn<Percents>("percents");
        // The last (size mod 64) bytes are never sent; the opening packet states the exact size.
        QTest::newRow("DB of 1,000 bytes")
            << ContentKind::Db << 1000 << Opening("2457445300001400e80300000f000000")
            << Percents{6, 13, 20, 26, 33, 40, 46, 53, 60, 66, 73, 80, 86, 93, 100};
        QTest::newRow("voice of 128 bytes")
            << ContentKind::Voice << 128 << Opening("24574453000000008000000002000000")
            << Percents{50, 100};
        QTest::newRow("image of 10 bytes")
            << ContentKind::Image << 10 << Opening("24574453000034000a00000000000000")
            << Percents{};
        // Always 1,024 packets: whole 64-byte blocks of the file, then zeros; 100 k / 1,024
        // percent after packet k, rounded down.
        Percents firmware;
        for (quint32 k = 1; k <= 1024; ++k)
            firmware.append(100 * k / 1024);
        const QByteArray wfe = Opening("24574645000000000000010000040000");
        for (const int size : {65536, 1000, 70000})
            QTest::addRow("firmware of %d bytes", size)
                << ContentKind::Firmware << size << wfe << firmware;
    }

    void write()
    {
        QFETCH(ContentKind, kind);
        QFETCH(int, size);
        QFETCH(QByteArray, opening);
        const bool firmware = kind == ContentKind::Firmware;
        const QByteArray file = PatternBytes(size, 7);
        QByteArray sent = file.left(size / 64 * 64);
        if (firmware)
            sent = sent.left(65536).leftJustified(65536, '\0');

        QCOMPARE(std::async(std::launch::async, Procedure(kind), Job(kind, file)).get(), 1);

        QCOMPARE(Sent(1 + sent.size() / 64), opening + sent);
        QTEST(m_percents, "percents");
        QCOMPARE(m_progress->percent.load(), 100u);
        for (ContentKind k : kAllContentKinds)
            QCOMPARE(m_progress->IsDone(k), k == kind);
        // Success leaves the link reserved: the page may go on with its next stage.
        QCOMPARE(int(m_flags->DeviceBusy().load()), 1);
        QCOMPARE(m_completions, firmware ? 1 : 0);
    }

    void failures_data()
    {
        QTest::addColumn<ContentKind>("kind");
        QTest::addColumn<QString>("file"); // "none", "shrinking" or a size in bytes
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("sent"); // packets the unit got; with a size, writes fail after them
        const auto row = [](const char* name, ContentKind kind, const char* file, int code,
                            int sent) {
            QTest::newRow(name) << kind << QString::fromLatin1(file) << platform::ErrorText(code)
                                << sent;
        };
        using enum ContentKind;
        // The codes of the update wizard's table that the fault matrix cannot reach through the
        // wizard: no file chosen, a file cut short while sent, a failure in the zero padding.
        row("DB, no file", Db, "none", 8003, 0);
        // A block inside the announced length comes back short: the file lost its tail while
        // it was sent. The stream's read buffer is far smaller than the part cut off.
        row("DB, file cut short while sent", Db, "shrinking", 8007, 1 + 2048);
        row("voice, no file", Voice, "none", 8008, 0);
        row("voice, file cut short while sent", Voice, "shrinking", 8012, 1 + 2048);
        row("image, no file", Image, "none", 8013, 0);
        row("image, file cut short while sent", Image, "shrinking", 8017, 1 + 2048);
        row("firmware, no file", Firmware, "none", 8018, 0);
        row("firmware, write fails in the zero padding", Firmware, "1000", 8022, 20);
    }

    void failures()
    {
        QFETCH(ContentKind, kind);
        QFETCH(QString, file);
        QFETCH(int, sent);
        TransferJob job =
            Job(kind, PatternBytes(file == u"shrinking"_s ? 4096 * 64 : file.toInt(), 3));
        if (file == u"none"_s)
            job.filePath.clear();
        else if (file == u"shrinking"_s)
            job.onPercent = [path = job.filePath, truncated = false](std::uint32_t) mutable {
                if (!std::exchange(truncated, true))
                    QFile::resize(path, 2048 * 64 + 10);
            };
        if (file.toInt() > 0)
            m_unit->unit().injectFault(tavo::FaultKind::WriteFail, std::uint32_t(sent));
        // While the box is open the link stays reserved and the page sees no error yet: the
        // page must not move on, nor other pages start, before the user has read the code.
        std::atomic<int> busyWhileShown{-1};
        std::atomic<int> errorWhileShown{-1};
        m_boxes.setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
            busyWhileShown.store(m_flags->DeviceBusy().load());
            errorWhileShown.store(m_progress->error.load());
        });

        QCOMPARE(std::async(std::launch::async, Procedure(kind), std::move(job)).get(), 0);

        QTEST(m_boxes.texts().join(u'|'), "box");
        QCOMPARE((std::pair{busyWhileShown.load(), errorWhileShown.load()}), (std::pair{1, 0}));
        QCOMPARE(Sent(std::size_t(sent)).size(), qsizetype(64 * sent)); // and nothing after
        QCOMPARE((std::pair{int(m_flags->DeviceBusy().load()), int(m_progress->error.load())}),
                 (std::pair{0, 1}));
    }

    void stoppedByItsOwner_data()
    {
        QTest::addColumn<ContentKind>("kind");
        QTest::newRow("content") << ContentKind::Db;
        QTest::newRow("firmware") << ContentKind::Firmware;
    }

    void stoppedByItsOwner()
    {
        // The owner of a worker goes (the window closed during a transfer): the worker is told
        // to stop after its first data packet, while the hook holds it, and the owner waits.
        QFETCH(ContentKind, kind);
        std::promise<void> midStream;
        std::promise<void> stopped;
        TransferJob job = Job(kind, PatternBytes(64 * 64, 8));
        job.onPercent = [&midStream, go = stopped.get_future().share()](std::uint32_t) {
            if (go.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
                midStream.set_value();
                go.wait_for(std::chrono::seconds(10));
            }
        };
        const std::weak_ptr<TransferProgress> watched = m_progress;
        {
            WorkerThread worker;
            worker.Start(Procedure(kind), std::move(job));
            QCOMPARE(midStream.get_future().wait_for(std::chrono::seconds(10)),
                     std::future_status::ready);
            worker.RequestStop();
            stopped.set_value();
            m_progress.reset(); // the owner's share goes with it
        }
        // Joined: nothing of the job is left, nothing more is sent, and nobody is told.
        QVERIFY(watched.expired());
        QCOMPARE(Sent(2).size(), qsizetype(2 * 64));
        QCOMPARE(m_boxes.texts(), QStringList{});
        QCOMPARE(m_completions, 0);
    }
};

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
