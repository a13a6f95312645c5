// The virtual unit's answers to the program's commands through the program's own link, the
// faults it produces on demand, and input it must survive.
#include "PacketPacer.h"
#include "UnitFixture.h"
#include "UnitTestHelpers.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace unittest;
using tavo::ContentFileKind;

Q_DECLARE_METATYPE(tavo::ContentFileKind)

namespace {

constexpr std::uint32_t kSettings = 0x3FE000;
constexpr std::uint32_t kPoi1 = 0x3FC000;
const QString kAck = QStringLiteral("00 01 02 03 04 05 06 07");
const QString kSettingsStart = QStringLiteral("00 0a 00 00");

// n bytes as Slice spells them, each with a leading blank.
QString Repeat(const char* byte, int n)
{
    return (QLatin1Char(' ') + QLatin1String(byte)).repeated(n);
}

// Answer byte index of a command, or -1 when the exchange failed.
int AnswerByte(const char* command, std::size_t index)
{
    const auto answer = Exchange(command);
    return answer ? answer->at(index) : -1;
}

// An empty "$WD" (count 0): a packet that wants no answer and no data.
QByteArray EmptyWrite(int size = 64)
{
    return QByteArray("$WD").leftJustified(size, '\0');
}

} // namespace

class TestUnitProtocol final : public QObject
{
    Q_OBJECT

private slots:
    void freshUnitAnswers_data();
    void freshUnitAnswers();
    void memoryWriteRoundTrip_data();
    void memoryWriteRoundTrip();
    void refusedCommandsChangeNothing_data();
    void refusedCommandsChangeNothing();
    void contentStream_data();
    void contentStream();
    void checkTakesItsTimeWithoutBlockingTheUnit();
    void firmwareAndBootMode();
    void pacerAdmitsNineteenPacketsPerFrame();
    void pacedUnitTakesAWholeStream();
    void unplugEndsAWaitingRead();
    void badInputIsTracedAndServingGoesOn_data();
    void badInputIsTracedAndServingGoesOn();
};

void TestUnitProtocol::freshUnitAnswers_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<QString>("answer"); // all 64 bytes
    QTest::newRow("$BT") << QByteArray("$BT") << 0U << kAck + Repeat("00", 56);
    // Image 081001 #0, voice 081001 #0, database 081021 #0, firmware 80.11, hardware id 1.
    QTest::newRow("$RH") << QByteArray("$RH") << 0U
                         << kAck + Repeat("00", 35) +
                                QStringLiteral(" 01 0a d8 00 01 0a d8 00 15 0a d8 00 50 00 00 00 "
                                               "0b 00 00 00 20");
    QTest::newRow("$RD default settings")
        << QByteArray("$RD") << kSettings
        << QStringLiteral("00 0a 00 00 00 00 00 00 01 06 07 01 14 02 00 00 00 0c 01 01 01 01 01 "
                          "01 00 00 00 00 03 07 0b 00") +
               Repeat("00", 32);
    QTest::newRow("$RD empty POI store")
        << QByteArray("$RD") << kPoi1 + 1536 << QStringLiteral("ff") + Repeat("ff", 63);
}

void TestUnitProtocol::freshUnitAnswers()
{
    QFETCH(QByteArray, command);
    QFETCH(quint32, address);
    QFETCH(QString, answer);
    testsupport::UnitFixture unit;
    const auto got = Exchange(command.constData(), address, 64, command == "$RD");
    QVERIFY(got);
    QCOMPARE(Slice(*got, 0, 63), answer);
    QCOMPARE(unit->readMemory(kPoi1, 0x2000), Bytes(0x2000, 0xFF)); // both POI stores
}

void TestUnitProtocol::memoryWriteRoundTrip_data()
{
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("length");
    QTest::addColumn<quint32>("count");
    QTest::newRow("second POI store") << 0x3FD000U << 1600U << 25U;
    // Only the stated length is written; the rest of the last packet is padding.
    QTest::newRow("length short of the packets") << kSettings << 60U << 1U;
}

void TestUnitProtocol::memoryWriteRoundTrip()
{
    QFETCH(quint32, address);
    QFETCH(quint32, length);
    QFETCH(quint32, count);
    testsupport::UnitFixture unit;
    Bytes expected = unit->readMemory(address, count * 64);
    Bytes data(count * 64);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(0x31 + i * 7);

    QVERIFY(WriteHeader("$WD", address, length, count));
    QVERIFY(WriteData(data));
    std::copy_n(data.begin(), length, expected.begin());
    QVERIFY(Settle());
    QCOMPARE(unit->readMemory(address, count * 64), expected);
    QVERIFY(unit->problems().empty());
}

void TestUnitProtocol::refusedCommandsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("count");
    QTest::addColumn<QString>("problem");
    QTest::newRow("unknown") << QByteArray("$XY") << 0U << 1U << QStringLiteral("unknown command");
    QTest::newRow("fourth letter on a plain command")
        << QByteArray("$RHX") << 0U << 1U << QStringLiteral("unknown command");
    QTest::newRow("read past the end of memory")
        << QByteArray("$RD") << 0x3FFFC1U << 1U << QStringLiteral("$RD address out of range");
    // 0x3FC000 - 0x340000 bytes fit in the image area; one packet more does not.
    QTest::newRow("stream larger than its area")
        << QByteArray("$WDS") << 0x340000U << (0x3FC000U - 0x340000U) / 64 + 1
        << QStringLiteral("$WDS stream larger than its area");
    QTest::newRow("stream onto the POI stores")
        << QByteArray("$WDS") << kPoi1 << 3U
        << QStringLiteral("$WDS address outside the content areas");
}

void TestUnitProtocol::refusedCommandsChangeNothing()
{
    QFETCH(QByteArray, command);
    QFETCH(quint32, address);
    QFETCH(quint32, count);
    QFETCH(QString, problem);
    testsupport::UnitFixture unit;
    QVERIFY(WriteHeader(command.constData(), address, count * 64, count));
    QVERIFY(WriteData(Bytes(64 * 3, 0x24), command == "$WDS" ? 3 : 0));
    QVERIFY(!ReadWithin(100)); // no answer
    QCOMPARE(unit->problems(), std::vector<std::string>{problem.toStdString()});
    // Nothing was erased or written, and the unit goes on serving (a refused stream still
    // takes its data packets).
    QCOMPARE(unit->readMemory(kPoi1, 0x2000), Bytes(0x2000, 0xFF));
    QVERIFY(unit->status().imageIntact);
    if (command == "$WDS")
        Replug(unit.unit());
    QCOMPARE(SettingsStart(), kSettingsStart);
}

void TestUnitProtocol::contentStream_data()
{
    QTest::addColumn<tavo::ContentFileKind>("kind");
    QTest::addColumn<quint32>("address");
    QTest::addColumn<quint32>("size");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<int>("packets"); // taken before the unit unplugs itself; -1: all
    QTest::addColumn<int>("identityAt");
    QTest::addColumn<QString>("check"); // "$RC" bytes 60-62: image, database, voice
    QTest::newRow("database") << ContentFileKind::Db << 0x140000U << 20000U << false << -1 << 51
                              << QStringLiteral("01 01 01");
    QTest::newRow("voice") << ContentFileKind::Voice << 0U << 20000U << false << -1 << 47
                           << QStringLiteral("01 01 01");
    QTest::newRow("images") << ContentFileKind::Image << 0x340000U << 20000U << false << -1 << 43
                            << QStringLiteral("01 01 01");
    // The header came through, so the unit names the new database, but its check fails.
    QTest::newRow("database cut short") << ContentFileKind::Db << 0x140000U << 6400U << false << 40
                                        << 51 << QStringLiteral("01 00 01");
    // The last (size mod 64) bytes are never sent: such a file arrives without its tail.
    QTest::newRow("voice of an odd size")
        << ContentFileKind::Voice << 0U << 1000U << true << -1 << 47 << QStringLiteral("01 01 00");
}

void TestUnitProtocol::contentStream()
{
    QFETCH(tavo::ContentFileKind, kind);
    QFETCH(quint32, address);
    QFETCH(quint32, size);
    QFETCH(bool, exact);
    QFETCH(int, packets);
    QFETCH(int, identityAt);
    QFETCH(QString, check);
    testsupport::UnitFixture unit;
    const Bytes file = ContentFile(kind, 2, 90115, size, exact);
    if (packets >= 0)
        unit->injectFault(tavo::FaultKind::Unplug, 1 + std::uint32_t(packets));
    QCOMPARE(StreamContent(file, address), packets < 0);
    // Plugged in again after a cut, the unit waits for a command: the cut stream is over.
    unit->plug();

    const auto identity = Exchange("$RH");
    QVERIFY(identity);
    const auto at = std::size_t(identityAt);
    QCOMPARE(Slice(*identity, at, at + 3), QStringLiteral("0f 01 d9 02")); // 090115, index 2
    const auto checked = Exchange("$RC");
    QVERIFY(checked);
    QCOMPARE(Slice(*checked, 60, 62), check);
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
    const auto answer = check.get();
    QVERIFY(answer);
    QVERIFY(timer.elapsed() >= 300);
    QCOMPARE(Slice(*answer, 60, 63), QStringLiteral("01 01 01 00"));
}

void TestUnitProtocol::firmwareAndBootMode()
{
    testsupport::UnitFixture unit;
    const Bytes original = unit->firmware();
    const Bytes firmware = ContentFile(ContentFileKind::Firmware, 0, 8012, 65536);
    // In normal mode a firmware stream needs its announcement.
    QVERIFY(StreamFirmware(firmware));
    QVERIFY(Settle());
    QCOMPARE(unit->problems(), std::vector<std::string>{"firmware stream without $WB"});
    QCOMPARE(unit->firmware(), original);

    // Cut short, it leaves a unit that comes up in boot mode, whose boot code serves no
    // normal command but takes a firmware stream.
    QVERIFY(Exchange("$WB"));
    unit->injectFault(tavo::FaultKind::Unplug, 1 + 10);
    QVERIFY(!StreamFirmware(firmware));
    unit->plug();
    QCOMPARE(AnswerByte("$RH", 58), 1);
    QVERIFY(WriteHeader("$RD", kSettings, 64, 1));
    QVERIFY(StreamFirmware(firmware));
    QVERIFY(Settle());
    QCOMPARE(unit->problems().back(), "command not served in boot mode");
    QCOMPARE(unit->firmware(), firmware);
    const auto updated = Exchange("$RH");
    QVERIFY(updated);
    QCOMPARE(Slice(*updated, 55, 59), QStringLiteral("50 00 00 01 0c"));
    Replug(unit.unit());
    QCOMPARE(AnswerByte("$RH", 58), 0);

    // The boot button counts at the next plug-in only, and at every plug-in while held.
    unit->setBootButton(true);
    QCOMPARE(AnswerByte("$RH", 58), 0);
    Replug(unit.unit());
    QCOMPARE(AnswerByte("$RH", 58), 1);
    Replug(unit.unit());
    QCOMPARE(AnswerByte("$RH", 58), 1);
    unit->setBootButton(false);
    Replug(unit.unit());
    QCOMPARE(AnswerByte("$RH", 58), 0);
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
    tavo::UnitOptions options = OptionsIn(dir);
    options.paced = true;
    tavo::VirtualUnit unit(options);
    QVERIFY(unit.start());
    qputenv("TAVO_UNIT_SOCKET", options.socketPath.c_str());
    // Writers held back by the pace must be let in when the next frame starts.
    QVERIFY(StreamContent(ContentFile(ContentFileKind::Db, 0, 90115, 2000 * 64), 0x140000));
    QVERIFY(Settle());
    QVERIFY(unit.status().dbIntact);
    qunsetenv("TAVO_UNIT_SOCKET");
}

void TestUnitProtocol::unplugEndsAWaitingRead()
{
    testsupport::UnitFixture unit;
    unit->injectFault(tavo::FaultKind::Stall);
    BuildCommand("$RH", 0, 0, 1);
    QVERIFY(UsbWritePacket());
    // A read that is still waiting after 5 s gives up, so that a failure does not hang.
    auto reading = std::async(std::launch::async, [] { return ReadWithin(5000); });
    QCOMPARE(reading.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    unit->unplug();
    QCOMPARE(reading.wait_for(std::chrono::seconds(2)), std::future_status::ready);
    QVERIFY(!reading.get());
    // The stall held that one answer only.
    unit->plug();
    QVERIFY(Exchange("$RH"));
}

void TestUnitProtocol::badInputIsTracedAndServingGoesOn_data()
{
    QTest::addColumn<QByteArray>("hello");
    QTest::addColumn<QByteArray>("bytes"); // sent after the unit's 'Y'
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("tracedSize"); // of the packet put in the trace, 0 for none
    QTest::newRow("unknown channel")
        << QByteArray("JUNKJUNK") << QByteArray() << QStringLiteral("hello 4a554e4b4a554e4b") << 0;
    QTest::newRow("hello cut short")
        << QByteArray("PIP") << QByteArray() << QStringLiteral("hello cut short: 504950") << 0;
    QTest::newRow("writer vanishes mid-packet")
        << Hello("PIPE00") << QByteArray(10, 'x')
        << QStringLiteral("packet cut short: 10 of 64 bytes") << 10;
    QTest::newRow("writer sends too much")
        << Hello("PIPE00") << EmptyWrite(100)
        << QStringLiteral("more than 64 bytes on one PIPE00 connection") << 64;
    QTest::newRow("control line never ends")
        << Hello("CTL") << QByteArray("status")
        << QStringLiteral("control command without its line feed") << 0;
}

void TestUnitProtocol::badInputIsTracedAndServingGoesOn()
{
    QFETCH(QByteArray, hello);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QFETCH(int, tracedSize);
    testsupport::UnitFixture unit;
    {
        RawClient client(unit.socketPath());
        QVERIFY(client.send(hello));
        if (hello.startsWith("PIPE"))
            QCOMPARE(client.reply(), 'Y');
        QVERIFY(client.send(bytes));
    }
    QTRY_COMPARE(unit->problems(), std::vector<std::string>{problem.toStdString()});
    const std::vector<tavo::TracedPacket> trace = unit->trace();
    QCOMPARE(trace.empty() ? 0 : int(trace.front().bytes.size()), tracedSize);
    QCOMPARE(SettingsStart(), kSettingsStart);
}

QTEST_GUILESS_MAIN(TestUnitProtocol)
#include "test_unit_protocol.moc"
