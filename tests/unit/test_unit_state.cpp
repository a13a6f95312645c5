// The unit's state folder, its content file format and its trace file.
#include "UnitFixture.h"
#include "UnitTestHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <tavo/ContentFile.h>
#include <unistd.h>

using namespace unittest;
using tavo::ContentFileKind;

Q_DECLARE_METATYPE(tavo::ContentFileKind)

namespace {

tavo::UnitOptions OptionsFor(const QTemporaryDir& dir)
{
    tavo::UnitOptions options;
    options.socketPath = dir.filePath(QStringLiteral("unit.sock")).toStdString();
    options.stateDir = dir.filePath(QStringLiteral("state")).toStdString();
    return options;
}

bool WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

// Binds a socket at path and closes it without removing it, as a killed unit leaves it.
void LeaveStaleSocket(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

} // namespace

class TestUnitState final : public QObject
{
    Q_OBJECT

private slots:
    void freshFolderHoldsAWholeUnit();
    void stateSurvivesARestart();
    void unusableStateFolderIsAnError_data();
    void unusableStateFolderIsAnError();
    void creationCutShortStartsAgain();
    void busySocketIsAnError();
    void contentFileHeader();
    void contentFileSizes_data();
    void contentFileSizes();
    void contentVersions_data();
    void contentVersions();
    void traceFileLines();
};

void TestUnitState::freshFolderHoldsAWholeUnit()
{
    testsupport::UnitFixture unit;
    const QDir state(unit.stateDir());
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("memory-voice.bin"))).size(), 0x140000);
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("memory-db.bin"))).size(), 0x200000);
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("memory-image.bin"))).size(), 0xBC000);
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("memory-user.bin"))).size(), 0x4000);
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("firmware.bin"))).size(), 0x10000);
    QVERIFY(QFileInfo::exists(state.filePath(QStringLiteral("unit.conf"))));

    const tavo::UnitStatus status = unit->status();
    QVERIFY(status.plugged);
    QVERIFY(!status.bootMode);
    QVERIFY(status.dbIntact && status.voiceIntact && status.imageIntact && status.firmwareIntact);
}

void TestUnitState::stateSurvivesARestart()
{
    testsupport::UnitFixture unit;
    BuildCommand("$WD", 0x3FE000, 64, 1);
    QVERIFY(UsbWritePacket());
    QVERIFY(WriteDataPackets(std::vector<std::uint8_t>(64, 0x05)));
    QVERIFY(StreamContent(ContentFile(ContentFileKind::Db, 1, 90115, 4096), 0x140000));
    QVERIFY(Settle());
    unit->setBootButton(true);
    unit->setIdentityExtras(0x40, 1, 2, 3, 4, 5);

    QVERIFY(unit.restart());
    QCOMPARE(unit->readMemory(0x3FE000, 64), std::vector<std::uint8_t>(64, 0x05));
    const tavo::UnitStatus status = unit->status();
    QVERIFY(status.bootButton);
    QVERIFY(status.bootMode); // held down at the plug-in of the restart
    QVERIFY(status.dbIntact);
    QCOMPARE(Slice(Packet(status.identityAnswer), 51, 54), QStringLiteral("0f 01 d9 01"));
    QCOMPARE(Slice(Packet(status.identityAnswer), 56, 63),
             QStringLiteral("05 04 01 0b 03 02 01 40"));
}

void TestUnitState::unusableStateFolderIsAnError_data()
{
    QTest::addColumn<QString>("file"); // written into the state folder of a fresh unit
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("settings garbled")
        << QStringLiteral("unit.conf") << QByteArray("format=1\nboot-button=7\n")
        << QStringLiteral("unit.conf line 2: boot-button is 0 or 1");
    QTest::newRow("settings of another format")
        << QStringLiteral("unit.conf") << QByteArray("format=9\n")
        << QStringLiteral("unit.conf line 1: unknown format '9'");
    QTest::newRow("settings of something else")
        << QStringLiteral("unit.conf") << QByteArray("hello\n")
        << QStringLiteral("unit.conf line 1: unknown line 'hello'");
    QTest::newRow("memory file cut short")
        << QStringLiteral("memory-db.bin") << QByteArray(1000, '\0')
        << QStringLiteral("memory-db.bin holds 1000 bytes, expected 2097152");
    QTest::newRow("settings missing")
        << QStringLiteral("unit.conf") << QByteArray() << QStringLiteral("unit.conf is missing");
    QTest::newRow("firmware missing") << QStringLiteral("firmware.bin") << QByteArray()
                                      << QStringLiteral("firmware.bin is missing");
}

void TestUnitState::unusableStateFolderIsAnError()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const tavo::UnitOptions options = OptionsFor(dir);
    {
        tavo::VirtualUnit fresh(options);
        QVERIFY(fresh.start());
    }
    const QString path = QDir(QString::fromStdString(options.stateDir)).filePath(file);
    QVERIFY(content.isEmpty() ? QFile::remove(path) : WriteText(path, content));

    tavo::VirtualUnit unit(options);
    std::string error;
    QVERIFY(!unit.start(&error));
    QCOMPARE(QString::fromStdString(error),
             QStringLiteral("state folder %1: %2")
                 .arg(QString::fromStdString(options.stateDir), message));
    // Nothing was served and nothing was overwritten.
    QVERIFY(!QFileInfo::exists(QString::fromStdString(options.socketPath)));
    QCOMPARE(QFileInfo::exists(path), !content.isEmpty());
}

void TestUnitState::creationCutShortStartsAgain()
{
    // What a crash while a new folder was being filled leaves: the marker, a memory file cut
    // short, no unit.conf.
    QTemporaryDir dir;
    const tavo::UnitOptions options = OptionsFor(dir);
    const QDir state(QString::fromStdString(options.stateDir));
    QVERIFY(state.mkpath(QStringLiteral(".")));
    QVERIFY(WriteText(state.filePath(QStringLiteral("unit.new")), QByteArray()));
    QVERIFY(WriteText(state.filePath(QStringLiteral("memory-voice.bin")), QByteArray(1000, '\0')));

    tavo::VirtualUnit unit(options);
    std::string error;
    QVERIFY2(unit.start(&error), error.c_str());
    const tavo::UnitStatus status = unit.status();
    QVERIFY(status.voiceIntact && status.firmwareIntact);
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("memory-voice.bin"))).size(), 0x140000);
    QVERIFY(QFileInfo::exists(state.filePath(QStringLiteral("unit.conf"))));
    QVERIFY(!QFileInfo::exists(state.filePath(QStringLiteral("unit.new"))));
}

void TestUnitState::busySocketIsAnError()
{
    QTemporaryDir dir;
    tavo::UnitOptions options = OptionsFor(dir);
    tavo::VirtualUnit first(options);
    QVERIFY(first.start());
    options.stateDir = dir.filePath(QStringLiteral("other")).toStdString();
    tavo::VirtualUnit second(options);
    std::string error;
    QVERIFY(!second.start(&error));
    QCOMPARE(error, "socket " + options.socketPath + ": another unit is serving there");

    // A socket left behind by a unit that is gone is taken over.
    first.stop();
    LeaveStaleSocket(options.socketPath);
    QVERIFY(second.start(&error));
    second.stop();

    QVERIFY(WriteText(QString::fromStdString(options.socketPath), QByteArray()));
    QVERIFY(!second.start(&error));
    QCOMPARE(error, "socket " + options.socketPath + ": exists and is not a socket");
}

void TestUnitState::contentFileHeader()
{
    const std::vector<std::uint8_t> file = ContentFile(ContentFileKind::Image, 3, 90101, 640);
    QCOMPARE(file.size(), std::size_t{640});
    tavo::ContentHeader header;
    QVERIFY(tavo::DecodeContentHeader(file.data(), header));
    QCOMPARE(header.kind, ContentFileKind::Image);
    QCOMPARE(header.index, std::uint8_t{3});
    QCOMPARE(header.version, 90101U);
    QCOMPARE(header.payloadLength, 640U - 64U);

    // The same file every time; another version gives another payload.
    QCOMPARE(ContentFile(ContentFileKind::Image, 3, 90101, 640), file);
    QVERIFY(ContentFile(ContentFileKind::Image, 3, 90102, 640) != file);

    // A changed header byte spoils the header's own check.
    std::vector<std::uint8_t> spoiled = file;
    spoiled[5] ^= 1;
    QVERIFY(!tavo::DecodeContentHeader(spoiled.data(), header));
}

void TestUnitState::contentFileSizes_data()
{
    QTest::addColumn<tavo::ContentFileKind>("kind");
    QTest::addColumn<quint32>("size");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<int>("fileSize"); // -1: refused
    QTest::addColumn<int>("payloadLength");
    QTest::newRow("rounded up") << ContentFileKind::Db << 1000U << false << 1024 << 960;
    QTest::newRow("exact odd size") << ContentFileKind::Db << 1000U << true << 1000 << 936;
    QTest::newRow("smaller than a header") << ContentFileKind::Db << 10U << true << 10 << 0;
    QTest::newRow("a whole database area")
        << ContentFileKind::Db << 0x200000U << false << 0x200000 << 0x200000 - 64;
    QTest::newRow("one packet over the area")
        << ContentFileKind::Db << 0x200040U << false << -1 << 0;
    QTest::newRow("firmware longer than its area")
        << ContentFileKind::Firmware << 70000U << true << 70000 << 65536 - 64;
    QTest::newRow("empty") << ContentFileKind::Voice << 0U << false << -1 << 0;
}

void TestUnitState::contentFileSizes()
{
    QFETCH(tavo::ContentFileKind, kind);
    QFETCH(quint32, size);
    QFETCH(bool, exact);
    QFETCH(int, fileSize);
    QFETCH(int, payloadLength);
    tavo::ContentFileSpec spec;
    spec.kind = kind;
    spec.version = kind == ContentFileKind::Firmware ? 8012 : 90101;
    spec.size = size;
    spec.exactSize = exact;
    std::vector<std::uint8_t> file;
    std::string error;
    QCOMPARE(tavo::MakeContentFile(spec, file, &error), fileSize >= 0);
    if (fileSize < 0)
        return;
    QCOMPARE(static_cast<int>(file.size()), fileSize);
    file.resize(std::max<std::size_t>(file.size(), 64));
    tavo::ContentHeader header;
    QCOMPARE(tavo::DecodeContentHeader(file.data(), header), size >= 64);
    if (size >= 64)
        QCOMPARE(static_cast<int>(header.payloadLength), payloadLength);
}

void TestUnitState::contentVersions_data()
{
    QTest::addColumn<tavo::ContentFileKind>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("version"); // -1: refused
    QTest::newRow("content") << ContentFileKind::Db << QStringLiteral("081021") << 81021;
    QTest::newRow("content, highest first part")
        << ContentFileKind::Db << QStringLiteral("479999") << 479999;
    QTest::newRow("content, first part too high")
        << ContentFileKind::Voice << QStringLiteral("480000") << -1;
    QTest::newRow("content, five digits")
        << ContentFileKind::Image << QStringLiteral("81021") << -1;
    QTest::newRow("firmware") << ContentFileKind::Firmware << QStringLiteral("8012") << 8012;
    QTest::newRow("firmware, six digits")
        << ContentFileKind::Firmware << QStringLiteral("008012") << -1;
    QTest::newRow("not digits") << ContentFileKind::Db << QStringLiteral("08102x") << -1;
}

void TestUnitState::contentVersions()
{
    QFETCH(tavo::ContentFileKind, kind);
    QFETCH(QString, text);
    QFETCH(int, version);
    std::uint32_t parsed = 0;
    QCOMPARE(tavo::ParseContentVersion(kind, text.toStdString(), parsed), version >= 0);
    if (version >= 0)
        QCOMPARE(static_cast<int>(parsed), version);
}

void TestUnitState::traceFileLines()
{
    QTemporaryDir dir;
    tavo::UnitOptions options = OptionsFor(dir);
    options.traceFile = dir.filePath(QStringLiteral("trace.txt")).toStdString();
    {
        tavo::VirtualUnit unit(options);
        QVERIFY(unit.start());
        qputenv("TAVO_UNIT_SOCKET", options.socketPath.c_str());
        QVERIFY(Exchange("$BT"));
        BuildCommand("$ZZ", 0, 0, 1);
        QVERIFY(UsbWritePacket());
        QVERIFY(Settle());
        qunsetenv("TAVO_UNIT_SOCKET");
    }
    QFile file(QString::fromStdString(options.traceFile));
    QVERIFY(file.open(QIODevice::ReadOnly));
    // Command bytes 0-19 as written, then 44 zero bytes; the answer: acknowledge, 56 zeros.
    const QString tail = QString(88, QLatin1Char('0'));
    const QString bt = QStringLiteral("> 2442540000000000000000000100000000000000") + tail;
    const QString ack = QStringLiteral("< 0001020304050607") + QString(112, QLatin1Char('0'));
    const QStringList expected = {
        QStringLiteral("# plugged in"),
        bt,
        ack,
        QStringLiteral("> 245a5a0000000000000000000100000000000000") + tail,
        QStringLiteral("! bad unknown command"),
        bt,
        ack,
    };
    QCOMPARE(QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             expected);
}

QTEST_GUILESS_MAIN(TestUnitState)
#include "test_unit_state.moc"
