// The virtual unit's answers to the program's commands, through the program's own link:
// link -> dlopen("libVexaUSB.so") -> socket -> a unit in this process.
#include "PacketPacer.h"
#include "UnitFixture.h"
#include "UnitTestHelpers.h"

#include <QElapsedTimer>
#include <QtTest>
#include <future>

using namespace unittest;
using tavo::ContentFileKind;

Q_DECLARE_METATYPE(tavo::ContentFileKind)

namespace {

constexpr std::uint32_t kSettings = 0x3FE000;
constexpr std::uint32_t kPoi1 = 0x3FC000;
constexpr std::uint32_t kPoi2 = 0x3FD000;

QString Ack()
{
    return QStringLiteral("00 01 02 03 04 05 06 07");
}

// One byte of the answer to a command, or -1 when the exchange failed.
int AnswerByte(const char* command, std::size_t index)
{
    const auto answer = Exchange(command);
    return answer ? answer->at(index) : -1;
}

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    return bytes;
}

// Reads length bytes from the unit with consecutive "$RD" exchanges, as the program does.
std::vector<std::uint8_t> ReadBack(std::uint32_t address, std::uint32_t length)
{
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t offset = 0; offset < length; offset += 64) {
        const auto answer = Exchange("$RD", address + offset, 64, 1, true);
        if (!answer)
            return {};
        bytes.insert(bytes.end(), answer->begin(), answer->end());
    }
    bytes.resize(length);
    return bytes;
}

} // namespace

class TestUnitProtocol final : public QObject
{
    Q_OBJECT

private slots:
    void acknowledgedCommands_data();
    void acknowledgedCommands();
    void identityOfAFreshUnit();
    void freshUnitHoldsDefaultSettingsAndEmptyPoiStores();
    void memoryWriteRoundTrip_data();
    void memoryWriteRoundTrip();
    void answersComeInCommandOrder();
    void refusedCommandsGetNoAnswer_data();
    void refusedCommandsGetNoAnswer();
    void contentStreamChangesIdentity_data();
    void contentStreamChangesIdentity();
    void cutStreamLeavesAreaDamaged();
    void oddSizedFileArrivesDamaged();
    void misplacedStreamIsRefused_data();
    void misplacedStreamIsRefused();
    void checkTakesItsTimeWithoutBlockingTheUnit();
    void bootModeTakesFirmwareThenStartsNormally();
    void firmwareStreamInNormalModeNeedsAnnouncement();
    void damagedFirmwareComesUpInBootMode();
    void pacerAdmitsNineteenPacketsPerFrame();
    void pacedUnitTakesAWholeStream();
};

void TestUnitProtocol::acknowledgedCommands_data()
{
    QTest::addColumn<QString>("command");
    QTest::newRow("$BT") << QStringLiteral("$BT");
    QTest::newRow("$WB") << QStringLiteral("$WB");
}

void TestUnitProtocol::acknowledgedCommands()
{
    QFETCH(QString, command);
    testsupport::UnitFixture unit;
    const auto answer = Exchange(command.toLatin1().constData());
    QVERIFY(answer);
    QCOMPARE(Slice(*answer, 0, 7), Ack());
    QCOMPARE(Slice(*answer, 8, 63), Slice(Packet{}, 8, 63));
}

void TestUnitProtocol::identityOfAFreshUnit()
{
    testsupport::UnitFixture unit;
    const auto answer = Exchange("$RH");
    QVERIFY(answer);
    QCOMPARE(Slice(*answer, 0, 7), Ack());
    // Image 081001 #0, voice 081001 #0, database 081021 #0, firmware 80.11, hardware id 1.
    QCOMPARE(Slice(*answer, 43, 46), QStringLiteral("01 0a d8 00"));
    QCOMPARE(Slice(*answer, 47, 50), QStringLiteral("01 0a d8 00"));
    QCOMPARE(Slice(*answer, 51, 54), QStringLiteral("15 0a d8 00"));
    QCOMPARE(Slice(*answer, 55, 59), QStringLiteral("50 00 00 00 0b"));
    QCOMPARE(Slice(*answer, 60, 63), QStringLiteral("00 00 00 20"));

    unit->setIdentityExtras(0xE5, 0x62, 0x61, 0x60, 0x57, 0x56);
    const auto changed = Exchange("$RH");
    QVERIFY(changed);
    QCOMPARE(Slice(*changed, 55, 63), QStringLiteral("50 56 57 00 0b 60 61 62 e5"));
}

void TestUnitProtocol::freshUnitHoldsDefaultSettingsAndEmptyPoiStores()
{
    testsupport::UnitFixture unit;
    const auto settings = Exchange("$RD", kSettings, 64, 1, true);
    QVERIFY(settings);
    QCOMPARE(Slice(*settings, 0, 31), QStringLiteral("00 0a 00 00 00 00 00 00 01 06 07 01 14 02 00 "
                                                     "00 00 0c 01 01 01 01 01 01 00 00 00 00 03 "
                                                     "07 0b 00"));
    QCOMPARE(Slice(*settings, 32, 63), Slice(Packet{}, 32, 63));
    QCOMPARE(ReadBack(kPoi1, 1600), std::vector<std::uint8_t>(1600, 0xFF));
    QCOMPARE(ReadBack(kPoi2, 1600), std::vector<std::uint8_t>(1600, 0xFF));
}

void TestUnitProtocol::memoryWriteRoundTrip_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("length");
    QTest::addColumn<quint32>("count");
    QTest::newRow("settings record") << kSettings << 64U << 1U;
    QTest::newRow("first POI store") << kPoi1 << 1600U << 25U;
    QTest::newRow("second POI store") << kPoi2 << 1600U << 25U;
    // Only the stated length is written; the rest of the last packet is padding.
    QTest::newRow("length short of the packets") << kSettings << 60U << 1U;
}

void TestUnitProtocol::memoryWriteRoundTrip()
{
    QFETCH(quint32, address);
    QFETCH(quint32, length);
    QFETCH(quint32, count);
    testsupport::UnitFixture unit;
    const std::vector<std::uint8_t> before = unit->readMemory(address, count * 64);
    const std::vector<std::uint8_t> data = Pattern(count * 64, 0x31);

    BuildCommand("$WD", address, length, count);
    QVERIFY(UsbWritePacket());
    QVERIFY(WriteDataPackets(data));

    std::vector<std::uint8_t> expected = before;
    std::copy_n(data.begin(), length, expected.begin());
    QCOMPARE(ReadBack(address, count * 64), expected);
    QVERIFY(unit->problems().empty());
}

void TestUnitProtocol::answersComeInCommandOrder()
{
    testsupport::UnitFixture unit;
    BuildCommand("$RD", kSettings, 64, 1);
    QVERIFY(UsbWritePacket());
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(UsbWritePacket());

    QVERIFY(UsbReadPacket());
    QCOMPARE(Slice(g_ansPacket, 0, 3), QStringLiteral("00 0a 00 00")); // the settings record
    QVERIFY(UsbReadPacket());
    QCOMPARE(Slice(g_ansPacket, 0, 7), Ack());
}

void TestUnitProtocol::refusedCommandsGetNoAnswer_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QString>("problem");
    QTest::newRow("unknown") << QByteArray("$XY") << 0U << QStringLiteral("unknown command");
    QTest::newRow("fourth letter on a plain command")
        << QByteArray("$RHX") << 0U << QStringLiteral("unknown command");
    QTest::newRow("read past the end of memory")
        << QByteArray("$RD") << 0x3FFFC1U << QStringLiteral("$RD address out of range");
}

void TestUnitProtocol::refusedCommandsGetNoAnswer()
{
    QFETCH(QByteArray, command);
    QFETCH(quint32, address);
    QFETCH(QString, problem);
    testsupport::UnitFixture unit;
    BuildCommand(command.constData(), address, 64, 1);
    g_cmdPacket[3] = command.size() > 3 ? static_cast<std::uint8_t>(command[3]) : 0;
    QVERIFY(UsbWritePacket());
    QVERIFY(!ReadWithin(100));

    QCOMPARE(unit->problems(), std::vector<std::string>{problem.toStdString()});
    // The unit goes on, and no stray answer lands in the next exchange.
    const auto next = Exchange("$RD", kSettings, 64, 1, true);
    QVERIFY(next);
    QCOMPARE(Slice(*next, 0, 3), QStringLiteral("00 0a 00 00"));
}

void TestUnitProtocol::contentStreamChangesIdentity_data()
{
    QTest::addColumn<tavo::ContentFileKind>("kind");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<int>("firstByte"); // of the area's four identity bytes
    QTest::addColumn<int>("checkByte");
    QTest::newRow("database") << ContentFileKind::Db << 0x140000U << 51 << 61;
    QTest::newRow("voice") << ContentFileKind::Voice << 0x000000U << 47 << 62;
    QTest::newRow("images") << ContentFileKind::Image << 0x340000U << 43 << 60;
}

void TestUnitProtocol::contentStreamChangesIdentity()
{
    QFETCH(tavo::ContentFileKind, kind);
    QFETCH(quint32, address);
    QFETCH(int, firstByte);
    QFETCH(int, checkByte);
    testsupport::UnitFixture unit;
    QVERIFY(StreamContent(ContentFile(kind, 2, 90115, 20000), address));

    const auto identity = Exchange("$RH");
    QVERIFY(identity);
    const auto at = static_cast<std::size_t>(firstByte);
    QCOMPARE(Slice(*identity, at, at + 3), QStringLiteral("0f 01 d9 02")); // 090115, index 2
    const auto check = Exchange("$RC");
    QVERIFY(check);
    QCOMPARE(Slice(*check, 60, 62), QStringLiteral("01 01 01"));
    QCOMPARE(static_cast<int>(check->at(static_cast<std::size_t>(checkByte))), 1);
}

void TestUnitProtocol::cutStreamLeavesAreaDamaged()
{
    testsupport::UnitFixture unit;
    const std::vector<std::uint8_t> file = ContentFile(ContentFileKind::Db, 1, 90115, 64 * 100);
    QVERIFY(WriteStreamHeader("$WDS", 0x140000, 6400, 100));
    QVERIFY(WriteDataPackets(file, 40));
    QVERIFY(unit->waitForTrace(1 + 40, 2000));
    unit->unplug();
    unit->plug();

    const auto identity = Exchange("$RH");
    QVERIFY(identity);
    // The header came through, so the unit names the new database, but its check fails.
    QCOMPARE(Slice(*identity, 51, 54), QStringLiteral("0f 01 d9 01"));
    const auto check = Exchange("$RC");
    QVERIFY(check);
    QCOMPARE(Slice(*check, 60, 62), QStringLiteral("01 00 01"));
    QVERIFY(!unit->status().dbIntact);
}

void TestUnitProtocol::oddSizedFileArrivesDamaged()
{
    // The program never sends the last (size mod 64) bytes of a file; a file made with an
    // exact odd size therefore arrives without its tail.
    testsupport::UnitFixture unit;
    QVERIFY(StreamContent(ContentFile(ContentFileKind::Voice, 0, 90101, 1000, true), 0));
    QVERIFY(unit->waitForTrace(1 + 15, 2000));
    QVERIFY(!unit->status().voiceIntact);
    QVERIFY(StreamContent(ContentFile(ContentFileKind::Voice, 0, 90101, 1000), 0));
    QVERIFY(Settle());
    QVERIFY(unit->status().voiceIntact);
}

void TestUnitProtocol::misplacedStreamIsRefused_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("count");
    QTest::addColumn<QString>("problem");
    // 0x3FC000 - 0x340000 bytes fit in the image area; one packet more does not.
    QTest::newRow("larger than its area") << 0x340000U << (0x3FC000U - 0x340000U) / 64 + 1
                                          << QStringLiteral("$WDS stream larger than its area");
    QTest::newRow("onto the POI stores")
        << kPoi1 << 3U << QStringLiteral("$WDS address outside the content areas");
}

void TestUnitProtocol::misplacedStreamIsRefused()
{
    QFETCH(quint32, address);
    QFETCH(quint32, count);
    QFETCH(QString, problem);
    testsupport::UnitFixture unit;
    const std::vector<std::uint8_t> before = unit->readMemory(address, 4096);
    QVERIFY(WriteStreamHeader("$WDS", address, count * 64, count));
    QVERIFY(WriteDataPackets(std::vector<std::uint8_t>(64 * 3, 0x24), 3));
    QVERIFY(unit->waitForTrace(4, 2000));
    QCOMPARE(unit->problems(), std::vector<std::string>{problem.toStdString()});
    // Nothing was erased or written.
    QCOMPARE(unit->readMemory(address, 4096), before);
    QVERIFY(unit->status().imageIntact);
}

void TestUnitProtocol::checkTakesItsTimeWithoutBlockingTheUnit()
{
    testsupport::UnitFixture unit(true, 300);
    QElapsedTimer timer;
    timer.start();
    auto check = std::async(std::launch::async, [] { return Exchange("$RC"); });
    QTest::qWait(50);
    const int probe = UsbProbe();
    QVERIFY(probe != kInvalidHandle);
    UsbCloseHandle(probe);
    QCOMPARE(check.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    const auto answer = check.get();
    QVERIFY(answer);
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(Slice(*answer, 60, 63), QStringLiteral("01 01 01 00"));
}

void TestUnitProtocol::bootModeTakesFirmwareThenStartsNormally()
{
    testsupport::UnitFixture unit;
    unit->setBootButton(true);
    QCOMPARE(AnswerByte("$RH", 58), 0); // the button counts at the next plug-in only
    unit->unplug();
    unit->plug();
    const auto boot = Exchange("$RH");
    QVERIFY(boot);
    QCOMPARE(boot->at(58), std::uint8_t{1});

    // The boot code does not serve the normal commands.
    BuildCommand("$RD", kSettings, 64, 1);
    QVERIFY(UsbWritePacket());
    QVERIFY(Settle());
    QCOMPARE(unit->problems(), std::vector<std::string>{"command not served in boot mode"});

    const std::vector<std::uint8_t> firmware =
        ContentFile(ContentFileKind::Firmware, 0, 8012, 65536);
    QVERIFY(StreamFirmware(firmware));
    QVERIFY(Settle());
    QCOMPARE(unit->firmware(), firmware);
    const auto updated = Exchange("$RH");
    QVERIFY(updated);
    QCOMPARE(Slice(*updated, 55, 59), QStringLiteral("50 00 00 01 0c"));

    // Still held down at the next plug-in: boot mode again; released: normal.
    unit->unplug();
    unit->plug();
    QCOMPARE(AnswerByte("$RH", 58), 1);
    unit->setBootButton(false);
    unit->unplug();
    unit->plug();
    QCOMPARE(AnswerByte("$RH", 58), 0);
}

void TestUnitProtocol::firmwareStreamInNormalModeNeedsAnnouncement()
{
    testsupport::UnitFixture unit;
    const std::vector<std::uint8_t> original = unit->firmware();
    const std::vector<std::uint8_t> firmware =
        ContentFile(ContentFileKind::Firmware, 0, 8012, 4096);

    QVERIFY(StreamFirmware(firmware));
    QVERIFY(Settle());
    QCOMPARE(unit->problems(), std::vector<std::string>{"firmware stream without $WB"});
    QCOMPARE(unit->firmware(), original);

    QVERIFY(Exchange("$WB"));
    QVERIFY(StreamFirmware(firmware));
    QVERIFY(Settle());
    QCOMPARE(unit->problems().size(), std::size_t{1});
    QVERIFY(unit->status().firmwareIntact);
    QCOMPARE(AnswerByte("$RH", 59), 12);
}

void TestUnitProtocol::damagedFirmwareComesUpInBootMode()
{
    testsupport::UnitFixture unit;
    QVERIFY(Exchange("$WB"));
    unit->injectFault(tavo::FaultKind::Unplug, 1 + 10);
    QVERIFY(!StreamFirmware(ContentFile(ContentFileKind::Firmware, 0, 8012, 65536)));
    QVERIFY(!unit->status().firmwareIntact);
    QVERIFY(!unit->status().bootButton);

    unit->plug();
    QVERIFY(unit->status().bootMode);
    QCOMPARE(AnswerByte("$RH", 58), 1);
}

void TestUnitProtocol::pacerAdmitsNineteenPacketsPerFrame()
{
    using namespace std::chrono_literals;
    tavo::PacketPacer pacer;
    const auto start = tavo::PacketPacer::Clock::time_point{} + 10s;
    // Microseconds after start at which the current frame ends.
    const auto frameEnd = [&] {
        return std::chrono::duration_cast<std::chrono::microseconds>(pacer.frameEnd() - start)
            .count();
    };
    for (int i = 0; i < 19; ++i)
        QVERIFY(pacer.admit(start + i * 10us));
    QVERIFY(!pacer.admit(start + 999us));
    QCOMPARE(frameEnd(), 1000);
    QVERIFY(pacer.admit(start + 1ms));
    QCOMPARE(frameEnd(), 2000);
    // A late packet falls into the frame of its time: frames do not drift.
    QVERIFY(pacer.admit(start + 2500us));
    QCOMPARE(frameEnd(), 3000);
}

void TestUnitProtocol::pacedUnitTakesAWholeStream()
{
    QTemporaryDir dir;
    tavo::UnitOptions options;
    options.socketPath = dir.filePath(QStringLiteral("unit.sock")).toStdString();
    options.stateDir = dir.filePath(QStringLiteral("state")).toStdString();
    options.paced = true;
    tavo::VirtualUnit unit(options);
    QVERIFY(unit.start());
    qputenv("TAVO_UNIT_SOCKET", options.socketPath.c_str());

    // Writers held back by the pace must be let in when the next frame starts.
    QElapsedTimer timer;
    timer.start();
    QVERIFY(StreamContent(ContentFile(ContentFileKind::Db, 0, 90115, 2000 * 64), 0x140000));
    QVERIFY(Settle());
    QVERIFY(timer.elapsed() >= 2000 / 19 - 1);
    QVERIFY(unit.status().dbIntact);
    qunsetenv("TAVO_UNIT_SOCKET");
}

QTEST_GUILESS_MAIN(TestUnitProtocol)
#include "test_unit_protocol.moc"
