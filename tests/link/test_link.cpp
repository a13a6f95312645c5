// The USB link against a virtual unit, through libVexaUSB.so exactly as the program reaches it.
#include "UnitFixture.h"
#include "link/DeviceIdentity.h"
#include "link/Packets.h"
#include "link/UsbLink.h"
#include "platform/MessageBoxRecorder.h"

#include <QProcess>
#include <QtTest>
#include <thread>

using testsupport::UnitFixture;

namespace {

std::vector<std::uint8_t> commandBytes()
{
    return {g_cmdPacket.begin(), g_cmdPacket.end()};
}

Packet answerWith(std::initializer_list<std::pair<int, std::uint8_t>> bytes)
{
    Packet answer{};
    std::copy(AckPattern.begin(), AckPattern.end(), answer.begin());
    for (const auto& [index, value] : bytes)
        answer[static_cast<std::size_t>(index)] = value;
    return answer;
}

} // namespace

class TestLink final : public QObject
{
    Q_OBJECT

private slots:
    void buildCommandLaysOutLittleEndianArguments();
    void buildCommandClearsThePreviousCommand();
    void acknowledgeNeedsAllEightBytes();
    void exchangeReachesTheUnit();
    void nakFailsOnlyTheAcknowledgedExchange();
    void shortAnswerIsAReadFailure();
    void failedWriteReportsOnlyTheWrite();
    void probeFollowsThePlug();
    void decodeIdentity_data();
    void decodeIdentity();
    void failedIdentityReadChangesNothing();
    void cancelledReadDoesNotLeakItsAnswer();
    void missingLibraryMeansNoUnit_data();
    void missingLibraryMeansNoUnit();
};

void TestLink::buildCommandLaysOutLittleEndianArguments()
{
    BuildCommand("$RD", 0x3FC040, 64, 1);
    std::vector<std::uint8_t> expected = {0x24, 0x52, 0x44, 0x00, 0x40, 0xC0, 0x3F, 0x00,
                                          0x40, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00};
    expected.resize(64, 0);
    QCOMPARE(testsupport::hexBytes(commandBytes()), testsupport::hexBytes(expected));
}

void TestLink::buildCommandClearsThePreviousCommand()
{
    g_cmdPacket.fill(0xAA);
    BuildCommand("$BTX", 0, 0, 1);
    std::vector<std::uint8_t> expected = {0x24, 0x42, 0x54, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
    expected.resize(64, 0);
    QCOMPARE(testsupport::hexBytes(commandBytes()), testsupport::hexBytes(expected));
}

void TestLink::acknowledgeNeedsAllEightBytes()
{
    Packet answer{};
    std::copy(AckPattern.begin(), AckPattern.end(), answer.begin());
    QVERIFY(HasAckPattern(answer));
    answer[7] = 8;
    QVERIFY(!HasAckPattern(answer));
    answer[7] = 7;
    answer[0] = 1;
    QVERIFY(!HasAckPattern(answer));
}

void TestLink::exchangeReachesTheUnit()
{
    UnitFixture fixture;
    platform::MessageBoxRecorder boxes;
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(UsbTransactReport(false));
    QVERIFY(HasAckPattern(g_ansPacket));
    QCOMPARE(boxes.texts(), QStringList());

    // The settings record read back with "$RD" is the payload itself, no acknowledge.
    const std::vector<std::uint8_t> settings = fixture->readMemory(0x3FE000, 64);
    BuildCommand("$RD", 0x3FE000, 64, 1);
    QVERIFY(UsbTransactReport(true));
    QCOMPARE(testsupport::hexBytes({g_ansPacket.begin(), g_ansPacket.end()}),
             testsupport::hexBytes(settings));

    const auto sent = fixture.sentPackets();
    QCOMPARE(sent.size(), std::size_t(2));
    QCOMPARE(testsupport::hexBytes(sent[1], 16),
             QStringLiteral("24 52 44 00 00 E0 3F 00 40 00 00 00 01 00 00 00"));
}

void TestLink::nakFailsOnlyTheAcknowledgedExchange()
{
    UnitFixture fixture;
    platform::MessageBoxRecorder boxes;

    fixture->injectFault(tavo::FaultKind::Nak);
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbTransact(false));

    fixture->injectFault(tavo::FaultKind::Nak);
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(UsbTransact(true));

    fixture->injectFault(tavo::FaultKind::Nak);
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbTransactReport(false));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Error[9003]")});
}

void TestLink::shortAnswerIsAReadFailure()
{
    UnitFixture fixture;
    platform::MessageBoxRecorder boxes;
    g_ansPacket.fill(0x5A);

    fixture->injectFault(tavo::FaultKind::Short);
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbTransactReport(false));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Error[9002]")});
    // A partial answer never lands in the answer buffer.
    QCOMPARE(g_ansPacket[0], std::uint8_t(0x5A));

    // The next exchange is whole again.
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(UsbTransact(false));
}

void TestLink::failedWriteReportsOnlyTheWrite()
{
    UnitFixture fixture;
    platform::MessageBoxRecorder boxes;
    fixture->unplug();
    fixture->clearTrace();

    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbWritePacket());
    QVERIFY(!UsbReadPacket());
    QVERIFY(!UsbTransactReport(false));
    QCOMPARE(boxes.texts(), QStringList{QStringLiteral("Error[9001]")});
    QCOMPARE(fixture->trace().size(), std::size_t(0));

    // A write-fail fault after one packet: the first write goes through, the later ones fail.
    fixture->plug();
    fixture->injectFault(tavo::FaultKind::WriteFail, 1);
    BuildCommand("$RD", 0x3FE000, 64, 1);
    QVERIFY(UsbWritePacket());
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbWritePacket());
    QVERIFY(!UsbTransactReport(false));
    QCOMPARE(boxes.texts(), QStringList(2, QStringLiteral("Error[9001]")));

    // No failed write was followed by a read: the answer to "$RD" still waits for its reader.
    fixture->clearFaults();
    QVERIFY(UsbReadPacket());
    QCOMPARE(g_ansPacket[1], std::uint8_t(0x0A));
}

void TestLink::probeFollowsThePlug()
{
    UnitFixture fixture(false);
    QCOMPARE(UsbProbe(), kInvalidHandle);
    fixture->plug();
    const int handle = UsbProbe();
    QVERIFY(handle != kInvalidHandle);
    UsbCloseHandle(handle);
    fixture->unplug();
    QCOMPARE(UsbProbe(), kInvalidHandle);
}

void TestLink::decodeIdentity_data()
{
    QTest::addColumn<Packet>("answer");
    QTest::addColumn<bool>("allBits");
    QTest::addColumn<QString>("field");
    QTest::addColumn<qint64>("expected");

    const Packet db = answerWith({{53, 216}, {52, 10}, {51, 21}});
    QTest::newRow("db version 081021") << db << false << "dbVersion" << qint64(81021);
    const Packet fw = answerWith({{55, 80}, {59, 11}});
    QTest::newRow("firmware 8011") << fw << false << "fwVersion" << qint64(8011);
    QTest::newRow("firmware 8012")
        << answerWith({{55, 80}, {59, 12}}) << false << "fwVersion" << qint64(8012);
    const Packet hw = answerWith({{63, 0xE5}});
    QTest::newRow("hwId top bits") << hw << false << "hwId" << qint64(7);
    QTest::newRow("hwId all bits") << hw << true << "hwId" << qint64(229);
    QTest::newRow("boot 0x01") << answerWith({{58, 0x01}}) << false << "bootMode" << qint64(1);
    QTest::newRow("boot 0xFF") << answerWith({{58, 0xFF}}) << false << "bootMode" << qint64(1);
    QTest::newRow("normal mode") << answerWith({{58, 0x00}}) << false << "bootMode" << qint64(0);
    QTest::newRow("negative voice") << answerWith({{49, 0}, {48, 1}, {47, 2}}) << false
                                    << "voiceVersion" << qint64(-2080000 + 102);
    QTest::newRow("image version")
        << answerWith({{45, 217}, {44, 1}, {43, 1}}) << false << "imageVersion" << qint64(90101);
    QTest::newRow("indexes") << answerWith({{54, 2}, {50, 3}, {46, 4}}) << false << "indexes"
                             << qint64(234);
}

void TestLink::decodeIdentity()
{
    QFETCH(Packet, answer);
    QFETCH(bool, allBits);
    QFETCH(QString, field);
    QFETCH(qint64, expected);

    DeviceIdentity id;
    DecodeIdentity(answer, allBits ? HwIdForm::AllBits : HwIdForm::TopThreeBits, id);
    const QMap<QString, qint64> values = {
        {QStringLiteral("dbVersion"), id.dbVersion},
        {QStringLiteral("fwVersion"), id.fwVersion},
        {QStringLiteral("hwId"), id.hwId},
        {QStringLiteral("bootMode"), id.bootMode ? 1 : 0},
        {QStringLiteral("voiceVersion"), id.voiceVersion},
        {QStringLiteral("imageVersion"), id.imageVersion},
        {QStringLiteral("indexes"), id.dbIndex * 100 + id.voiceIndex * 10 + id.imageIndex},
    };
    QCOMPARE(values.value(field), expected);
}

void TestLink::failedIdentityReadChangesNothing()
{
    UnitFixture fixture;
    DeviceIdentity id;
    QVERIFY(ReadIdentity(HwIdForm::TopThreeBits, id));
    const DeviceIdentity before = id;
    QVERIFY(before.fwVersion != 0);

    fixture->injectFault(tavo::FaultKind::Nak);
    id.fwVersion = 1234;
    id.dbVersion = 5678;
    QVERIFY(!ReadIdentity(HwIdForm::TopThreeBits, id));
    QCOMPARE(id.fwVersion, 1234);
    QCOMPARE(id.dbVersion, 5678);
}

void TestLink::cancelledReadDoesNotLeakItsAnswer()
{
    UnitFixture fixture(true, 300);
    // "$RC" answers after the check delay; the wait is given up before that.
    BuildCommand("$RC", 0, 0, 1);
    QVERIFY(UsbWritePacket());
    bool readResult = true;
    std::thread reader([&] { readResult = UsbReadPacket(); });
    QTest::qWait(50);
    UsbCancelPendingRead();
    reader.join();
    QVERIFY(!readResult);

    // Once the check is over, the next exchange gets its own answer, not the check's.
    QTest::qWait(400);
    BuildCommand("$RH", 0, 0, 1);
    QVERIFY(UsbTransact(false));
    DeviceIdentity id;
    DecodeIdentity(g_ansPacket, HwIdForm::TopThreeBits, id);
    QVERIFY(id.fwVersion != 0);
}

void TestLink::missingLibraryMeansNoUnit_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("library absent") << QStringLiteral(LINK_PROBE_NO_LIBRARY);
    QTest::newRow("exports absent") << QStringLiteral(LINK_PROBE_NO_EXPORTS);
}

void TestLink::missingLibraryMeansNoUnit()
{
    QFETCH(QString, program);
    UnitFixture fixture;
    QProcess probe;
    // Only the program's own run path may lead to a library.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("LD_LIBRARY_PATH"));
    probe.setProcessEnvironment(environment);
    probe.start(program, {});
    QVERIFY(probe.waitForFinished(10000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(QString::fromLatin1(probe.readAllStandardOutput()).trimmed(),
             QStringLiteral("probe=-1 write=0 read=0 transact=0"));
}

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
