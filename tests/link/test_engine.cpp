// The content programming engine against the virtual unit: the bytes on the wire, the
// percents, the flags and the codes.

#include "UnitFixture.h"
#include "link/ContentWriter.h"
#include "link/DeviceIdentity.h"
#include "link/Packets.h"
#include "link/SheetState.h"
#include "link/UsbLink.h"
#include "link/WorkerThread.h"
#include "platform/MessageBoxRecorder.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <tavo/ContentFile.h>

using namespace Qt::StringLiterals;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes RandomBytes(std::size_t size, quint32 seed)
{
    Bytes bytes(size);
    QRandomGenerator generator(seed);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(generator.generate());
    return bytes;
}

// The 64 bytes of an opening packet, spelled out independently of the engine.
Bytes Opening(const char* command, std::uint32_t address, std::uint32_t length, std::uint32_t count)
{
    Bytes packet(64, 0);
    std::memcpy(packet.data(), command, 4);
    for (int i = 0; i < 4; ++i) {
        packet[4 + i] = static_cast<std::uint8_t>(address >> (8 * i));
        packet[8 + i] = static_cast<std::uint8_t>(length >> (8 * i));
        packet[12 + i] = static_cast<std::uint8_t>(count >> (8 * i));
    }
    return packet;
}

Bytes Concat(const std::vector<Bytes>& packets, std::size_t from)
{
    Bytes all;
    for (std::size_t i = from; i < packets.size(); ++i)
        all.insert(all.end(), packets[i].begin(), packets[i].end());
    return all;
}

// Byte vectors as QByteArray, so that a failed comparison shows both sides.
QByteArray Qb(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

using Percents = QList<quint32>;

} // namespace

class TestEngine final : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void contentWrite_data();
    void contentWrite();
    void firmwareWrite_data();
    void firmwareWrite();
    void failures_data();
    void failures();
    void shortRead();
    void programmedContentIsIntact();
    void workerOutlivesItsOwner();
    void failureAfterTheSheetIsGone();

private:
    QString WriteFile(const Bytes& bytes, const QString& name = u"content.bin"_s);
    TransferJob Job(ContentKind kind, const QString& path, TransferErrorCodes codes);
    // Runs procedure on a worker thread like a page does and waits for it.
    int Run(int (*procedure)(TransferJob), TransferJob job);
    // The packets the unit got, once it has taken at least expected of them: a write returns
    // when the packet is on its way, the unit may still be reading it.
    std::vector<Bytes> Sent(std::size_t expected);
    // Announces a firmware stream, as the update wizard does before its firmware worker.
    void AnnounceFirmware();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    SheetState m_sheet;
    std::shared_ptr<TransferProgress> m_progress;
    Percents m_percents;
    int m_completions = 0;
};

void TestEngine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_unit = std::make_unique<testsupport::UnitFixture>();
    m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    m_progress = std::make_shared<TransferProgress>();
    m_percents.clear();
    m_completions = 0;
    // A page sets the busy flag before it starts a worker.
    m_sheet.SetDeviceBusy(true);
}

void TestEngine::cleanup()
{
    m_boxes.reset();
    m_unit.reset();
    m_dir.reset();
}

QString TestEngine::WriteFile(const Bytes& bytes, const QString& name)
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) !=
            qint64(bytes.size()))
        qFatal("cannot write the test file");
    return path;
}

TransferJob TestEngine::Job(ContentKind kind, const QString& path, TransferErrorCodes codes)
{
    TransferJob job;
    job.filePath = path;
    job.kind = kind;
    job.codes = codes;
    job.progress = m_progress;
    job.sheetFlags = m_sheet.Flags();
    job.onPercent = [this](std::uint32_t percent) { m_percents.append(percent); };
    job.onComplete = [this] {
        // Counted only when it runs once the run is complete, not before.
        if (m_progress->IsDone(ContentKind::Firmware) && m_progress->percent.load() == 100)
            ++m_completions;
    };
    return job;
}

int TestEngine::Run(int (*procedure)(TransferJob), TransferJob job)
{
    std::atomic<int> result{-1};
    WorkerThread worker;
    worker.Start([&] { result.store(procedure(std::move(job))); });
    if (!worker.WaitFor(60000))
        qFatal("the worker did not end");
    return result.load();
}

std::vector<Bytes> TestEngine::Sent(std::size_t expected)
{
    m_unit->unit().waitForTrace(expected, 5000);
    return m_unit->sentPackets();
}

void TestEngine::AnnounceFirmware()
{
    BuildCommand("$WB", 0, 0, 1);
    QVERIFY(UsbTransact(false));
    m_unit->unit().clearTrace();
}

void TestEngine::contentWrite_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<Percents>("percents");

    QTest::newRow("DB of 1,000 bytes")
        << int(ContentKind::Db) << 1000 << 0x140000u
        << Percents{6, 13, 20, 26, 33, 40, 46, 53, 60, 66, 73, 80, 86, 93, 100};
    QTest::newRow("voice of 128 bytes")
        << int(ContentKind::Voice) << 128 << 0x000000u << Percents{50, 100};
    QTest::newRow("image of 10 bytes") << int(ContentKind::Image) << 10 << 0x340000u << Percents{};
    QTest::newRow("image of one block")
        << int(ContentKind::Image) << 64 << 0x340000u << Percents{100};
    QTest::newRow("DB of 127 bytes") << int(ContentKind::Db) << 127 << 0x140000u << Percents{100};
    QTest::newRow("empty voice file") << int(ContentKind::Voice) << 0 << 0x000000u << Percents{};
}

void TestEngine::contentWrite()
{
    QFETCH(int, kind);
    QFETCH(int, size);
    QFETCH(quint32, address);
    QFETCH(Percents, percents);
    const auto contentKind = ContentKind(kind);
    const Bytes file = RandomBytes(std::size_t(size), quint32(size));
    const auto count = std::uint32_t(size / 64);

    QCOMPARE(
        Run(&WriteContentFile, Job(contentKind, WriteFile(file), UpdateWizardCodes(contentKind))),
        1);

    const auto sent = Sent(1 + count);
    QCOMPARE(sent.size(), std::size_t(1 + count));
    QCOMPARE(testsupport::hexBytes(sent[0]),
             testsupport::hexBytes(Opening("$WDS", address, std::uint32_t(size), count)));
    const Bytes sentBlocks(file.begin(), file.begin() + count * 64);
    QCOMPARE(Qb(Concat(sent, 1)), Qb(sentBlocks));
    if (count > 0)
        QCOMPARE(Qb(m_unit->unit().readMemory(address, count * 64)), Qb(sentBlocks));

    QCOMPARE(m_percents, percents);
    QCOMPARE(m_progress->percent.load(), 100u);
    for (ContentKind k : kAllContentKinds)
        QCOMPARE(m_progress->IsDone(k), k == contentKind);
    QCOMPARE(int(m_progress->error.load()), 0);
    // Success leaves the link reserved: the page may go on with its next stage.
    QCOMPARE(int(m_sheet.m_bDeviceBusy.load()), 1);
    QCOMPARE(m_boxes->texts(), QStringList{});
    QCOMPARE(m_completions, 0);
}

void TestEngine::firmwareWrite_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("65,536 bytes") << 65536;
    QTest::newRow("1,000 bytes, padded with zeros") << 1000;
    QTest::newRow("70,000 bytes, first 65,536 sent") << 70000;
}

void TestEngine::firmwareWrite()
{
    QFETCH(int, size);
    AnnounceFirmware();
    const Bytes file = RandomBytes(std::size_t(size), quint32(size));

    QCOMPARE(Run(&WriteFirmwareFile, Job(ContentKind::Firmware, WriteFile(file),
                                         UpdateWizardCodes(ContentKind::Firmware))),
             1);

    // Whole 64-byte blocks of the file, then zeros, 65,536 bytes in all.
    Bytes image(65536, 0);
    const std::size_t whole = std::min<std::size_t>(file.size() / 64 * 64, image.size());
    std::copy(file.begin(), file.begin() + whole, image.begin());

    const auto sent = Sent(1025);
    QCOMPARE(sent.size(), std::size_t(1025));
    QCOMPARE(testsupport::hexBytes(sent[0]),
             testsupport::hexBytes(Opening("$WFE", 0, 65536, 1024)));
    QCOMPARE(Qb(Concat(sent, 1)), Qb(image));
    QCOMPARE(Qb(m_unit->unit().firmware()), Qb(image));

    QCOMPARE(m_percents.size(), 1024);
    QCOMPARE(m_percents[0], 0u);  // after packet 1
    QCOMPARE(m_percents[9], 0u);  // after packet 10
    QCOMPARE(m_percents[10], 1u); // after packet 11
    QCOMPARE(m_percents[511], 50u);
    QCOMPARE(m_percents[1022], 99u);
    QCOMPARE(m_percents[1023], 100u);
    QVERIFY(std::is_sorted(m_percents.begin(), m_percents.end()));
    QVERIFY(m_progress->IsDone(ContentKind::Firmware));
    QVERIFY(!m_progress->IsDone(ContentKind::Db));
    QCOMPARE(m_completions, 1);
    QCOMPARE(m_boxes->texts(), QStringList{});
}

void TestEngine::failures_data()
{
    QTest::addColumn<bool>("firmware");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("file"); // "missing", "folder", "" or a size in bytes
    QTest::addColumn<bool>("recoveryCodes");
    QTest::addColumn<int>("fault"); // -1 none, 0 unplugged, n: writes fail after n packets
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("packetsSent");

    const int db = int(ContentKind::Db);
    const int voice = int(ContentKind::Voice);
    const int image = int(ContentKind::Image);
    const int fw = int(ContentKind::Firmware);
    QTest::newRow("DB, no file") << false << db << QString() << false << -1 << u"Error[8003]"_s
                                 << 0;
    QTest::newRow("voice, file missing")
        << false << voice << u"missing"_s << false << -1 << u"Error[8009]"_s << 0;
    QTest::newRow("image, a folder")
        << false << image << u"folder"_s << false << -1 << u"Error[8014]"_s << 0;
    QTest::newRow("DB, unplugged before the opening packet")
        << false << db << u"1000"_s << false << 0 << u"Error[8005]"_s << 0;
    QTest::newRow("image, write fails mid-stream")
        << false << image << u"1000"_s << false << 5 << u"Error[8016]"_s << 5;
    QTest::newRow("voice, write fails at the first data packet")
        << false << voice << u"128"_s << false << 1 << u"Error[8011]"_s << 1;
    QTest::newRow("firmware, no file")
        << true << fw << QString() << false << -1 << u"Error[8018]"_s << 0;
    QTest::newRow("firmware, file missing")
        << true << fw << u"missing"_s << false << -1 << u"Error[8019]"_s << 0;
    QTest::newRow("firmware, unplugged before the opening packet")
        << true << fw << u"65536"_s << false << 0 << u"Error[8020]"_s << 0;
    QTest::newRow("firmware, write fails in the file's data")
        << true << fw << u"65536"_s << false << 10 << u"Error[8021]"_s << 10;
    QTest::newRow("firmware, write fails in the zero padding")
        << true << fw << u"1000"_s << false << 20 << u"Error[8022]"_s << 20;
    QTest::newRow("recovery page, no file")
        << true << fw << QString() << true << -1 << u"Error[7002]"_s << 0;
    QTest::newRow("recovery page, unplugged")
        << true << fw << u"1000"_s << true << 0 << u"Error[7004]"_s << 0;
    QTest::newRow("recovery page, zero padding not sent")
        << true << fw << u"1000"_s << true << 16 << u"Error[7006]"_s << 16;
}

void TestEngine::failures()
{
    QFETCH(bool, firmware);
    QFETCH(int, kind);
    QFETCH(QString, file);
    QFETCH(bool, recoveryCodes);
    QFETCH(int, fault);
    QFETCH(QString, box);
    QFETCH(int, packetsSent);

    QString path;
    if (file == u"missing"_s)
        path = m_dir->filePath(u"absent.tbn"_s);
    else if (file == u"folder"_s)
        path = m_dir->path();
    else if (!file.isEmpty())
        path = WriteFile(RandomBytes(file.toUInt(), 3));
    if (firmware)
        AnnounceFirmware();
    if (fault == 0)
        m_unit->unit().unplug();
    else if (fault > 0)
        m_unit->unit().injectFault(tavo::FaultKind::WriteFail, std::uint32_t(fault));
    const auto contentKind = ContentKind(kind);
    const TransferErrorCodes codes =
        recoveryCodes ? kRecoveryFirmwareCodes : UpdateWizardCodes(contentKind);

    // While the box is open the link stays reserved and the page sees no error yet: the page
    // must not move on, nor other pages start, before the user has read the code.
    std::atomic<int> busyWhileShown{-1};
    std::atomic<int> errorWhileShown{-1};
    m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
        busyWhileShown.store(m_sheet.m_bDeviceBusy.load());
        errorWhileShown.store(m_progress->error.load());
    });

    const int result =
        Run(firmware ? &WriteFirmwareFile : &WriteContentFile, Job(contentKind, path, codes));

    QCOMPARE(result, 0);
    QCOMPARE(m_boxes->texts(), QStringList{box});
    QCOMPARE(m_boxes->shown().at(0).fromUiThread, false);
    QCOMPARE(busyWhileShown.load(), 1);
    QCOMPARE(errorWhileShown.load(), 0);
    QCOMPARE(Sent(std::size_t(packetsSent)).size(), std::size_t(packetsSent));
    QCOMPARE(int(m_sheet.m_bDeviceBusy.load()), 0);
    QCOMPARE(int(m_progress->error.load()), 1);
    QVERIFY(!m_progress->IsDone(contentKind));
    QCOMPARE(m_completions, 0);
}

void TestEngine::shortRead()
{
    // The file loses its tail while it is being sent: a block inside the announced length
    // comes back short. The read buffer of the stream is far smaller than the part cut off.
    const Bytes file = RandomBytes(4096 * 64, 5);
    const QString path = WriteFile(file);
    TransferJob job = Job(ContentKind::Voice, path, UpdateWizardCodes(ContentKind::Voice));
    job.onPercent = [path, truncated = false](std::uint32_t) mutable {
        if (!std::exchange(truncated, true))
            QFile::resize(path, 2048 * 64 + 10);
    };

    QCOMPARE(Run(&WriteContentFile, std::move(job)), 0);

    QCOMPARE(m_boxes->texts(), QStringList{u"Error[8012]"_s});
    const auto sent = Sent(1 + 2048);
    QCOMPARE(sent.size(), std::size_t(1 + 2048));
    QCOMPARE(testsupport::hexBytes(sent[0]),
             testsupport::hexBytes(Opening("$WDS", 0, 4096 * 64, 4096)));
    QCOMPARE(Qb(Concat(sent, 1)), Qb(Bytes(file.begin(), file.begin() + 2048 * 64)));
    QCOMPARE(int(m_sheet.m_bDeviceBusy.load()), 0);
    QCOMPARE(int(m_progress->error.load()), 1);
    QVERIFY(!m_progress->IsDone(ContentKind::Voice));
}

void TestEngine::programmedContentIsIntact()
{
    // Real content files: the unit takes them as its new database and firmware.
    tavo::ContentFileSpec db;
    db.kind = tavo::ContentFileKind::Db;
    db.index = 1;
    db.version = 90115;
    db.size = 200 * 1024;
    tavo::ContentFileSpec fw;
    fw.kind = tavo::ContentFileKind::Firmware;
    fw.version = 8012;
    fw.size = 65536;
    const QString dbPath = m_dir->filePath(u"090115_FRANCE.tbn"_s);
    const QString fwPath = m_dir->filePath(u"TavoFw.bin"_s);
    std::string error;
    QVERIFY2(tavo::SaveContentFile(db, dbPath.toStdString(), &error), error.c_str());
    QVERIFY2(tavo::SaveContentFile(fw, fwPath.toStdString(), &error), error.c_str());

    QCOMPARE(
        Run(&WriteContentFile, Job(ContentKind::Db, dbPath, UpdateWizardCodes(ContentKind::Db))),
        1);
    AnnounceFirmware();
    QCOMPARE(Run(&WriteFirmwareFile,
                 Job(ContentKind::Firmware, fwPath, UpdateWizardCodes(ContentKind::Firmware))),
             1);

    QCOMPARE(Sent(1025).size(), std::size_t(1025));
    const tavo::UnitStatus status = m_unit->unit().status();
    QVERIFY(status.dbIntact);
    QVERIFY(status.firmwareIntact);
    DeviceIdentity identity;
    DecodeIdentity(status.identityAnswer, HwIdForm::TopThreeBits, identity);
    QCOMPARE(identity.dbIndex, 1);
    QCOMPARE(identity.dbVersion, 90115);
    QCOMPARE(identity.fwVersion, 8012);
    QCOMPARE(m_boxes->texts(), QStringList{});
}

void TestEngine::workerOutlivesItsOwner()
{
    // A page destroyed while its worker runs drops its WorkerThread at once; the worker goes
    // on with its shared progress and finishes. The hook holds the worker until the owner is
    // gone (or a while, so that a destructor that waited would show as slow, not hang).
    const QString path = WriteFile(RandomBytes(64 * 64, 8));
    std::atomic<bool> ownerGone{false};
    std::atomic<bool> completedOnWorker{false};
    const Qt::HANDLE testThread = QThread::currentThreadId();
    TransferJob job = Job(ContentKind::Firmware, path, UpdateWizardCodes(ContentKind::Firmware));
    job.onPercent = [&ownerGone](std::uint32_t) {
        QElapsedTimer waited;
        waited.start();
        while (!ownerGone.load() && waited.elapsed() < 3000)
            QThread::msleep(1);
    };
    job.onComplete = [&completedOnWorker, testThread] {
        completedOnWorker.store(QThread::currentThreadId() != testThread);
    };
    const std::weak_ptr<TransferProgress> watched = m_progress;
    AnnounceFirmware();

    QElapsedTimer destruction;
    {
        WorkerThread worker;
        worker.Start(&WriteFirmwareFile, std::move(job));
        QVERIFY(worker.Running());
        m_progress.reset(); // the page's share goes with it
        destruction.start();
    }
    QVERIFY(destruction.elapsed() < 1000);
    ownerGone.store(true);

    QVERIFY(QTest::qWaitFor([&] { return watched.expired(); }, 20000));
    QVERIFY(completedOnWorker.load());
    QCOMPARE(Sent(1025).size(), std::size_t(1025));
}

void TestEngine::failureAfterTheSheetIsGone()
{
    // The window closed during a transfer: the sheet is destroyed, and the worker's failure
    // still clears the busy flag, in the flags it shares.
    auto sheet = std::make_unique<SheetState>();
    sheet->SetDeviceBusy(true);
    TransferJob job = Job(ContentKind::Db, QString(), UpdateWizardCodes(ContentKind::Db));
    job.sheetFlags = sheet->Flags();
    const std::shared_ptr<SheetFlags> flags = sheet->Flags();
    sheet.reset();

    QCOMPARE(WriteContentFile(std::move(job)), 0);
    QCOMPARE(int(flags->deviceBusy.load()), 0);
    QCOMPARE(m_boxes->texts(), QStringList{QStringLiteral("Error[8003]")});
}

QTEST_GUILESS_MAIN(TestEngine)
#include "test_engine.moc"
