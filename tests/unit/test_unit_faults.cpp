// Faults the virtual unit produces on demand, and input it must survive.
#include "UnitFixture.h"
#include "UnitTestHelpers.h"
#include "platform/MessageBoxRecorder.h"

#include <QtTest>
#include <atomic>
#include <cstring>
#include <future>

using namespace unittest;
using tavo::FaultKind;

Q_DECLARE_METATYPE(tavo::FaultKind)

namespace {

// Whether the last answer the unit sent (in its trace) had size bytes.
std::size_t LastAnswerSize(const tavo::VirtualUnit& unit)
{
    const std::vector<tavo::TracedPacket> trace = unit.trace();
    for (auto it = trace.rbegin(); it != trace.rend(); ++it) {
        if (it->direction == tavo::Direction::ToHost)
            return it->bytes.size();
    }
    return 0;
}

std::vector<std::uint8_t> BtPacket()
{
    std::vector<std::uint8_t> packet(64, 0);
    std::memcpy(packet.data(), "$BT", 3);
    packet[12] = 1;
    return packet;
}

} // namespace

class TestUnitFaults final : public QObject
{
    Q_OBJECT

private slots:
    void faultOnTheNextAnswer_data();
    void faultOnTheNextAnswer();
    void unplugAfterPackets();
    void unplugEndsAWaitingRead();
    void writeFailAfterPackets_data();
    void writeFailAfterPackets();
    void cancelledReadNeverGetsItsLateAnswer();
    void cancelDuringTheWriteEndsTheExchangeQuietly();
    void unpluggedUnitRefusesEveryPipe();
    void writersAreLetInOneAtATime();
    void badInputIsTracedAndServingGoesOn_data();
    void badInputIsTracedAndServingGoesOn();
};

void TestUnitFaults::faultOnTheNextAnswer_data()
{
    QTest::addColumn<tavo::FaultKind>("fault");
    QTest::addColumn<bool>("readSucceeds");
    QTest::addColumn<QString>("firstBytes");
    QTest::addColumn<int>("tracedSize"); // of the answer, 0 when none went out
    QTest::newRow("nak") << FaultKind::Nak << true << QStringLiteral("00 01 02 03 04 05 06 08")
                         << 64;
    QTest::newRow("short") << FaultKind::Short << false << QString() << 63;
    QTest::newRow("stall") << FaultKind::Stall << false << QString() << 0;
}

void TestUnitFaults::faultOnTheNextAnswer()
{
    QFETCH(tavo::FaultKind, fault);
    QFETCH(bool, readSucceeds);
    QFETCH(QString, firstBytes);
    QFETCH(int, tracedSize);
    testsupport::UnitFixture unit;
    unit->injectFault(fault);

    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(UsbWritePacket());
    QCOMPARE(ReadWithin(300), readSucceeds);
    if (readSucceeds) {
        QCOMPARE(Slice(g_ansPacket, 0, 7), firstBytes);
        QVERIFY(!HasAckPattern(g_ansPacket));
    }
    QCOMPARE(LastAnswerSize(unit.unit()), static_cast<std::size_t>(tracedSize));

    // The fault hits one answer only.
    const auto next = ExchangeWithin("$BT");
    QVERIFY(next);
    QCOMPARE(Slice(*next, 0, 7), QStringLiteral("00 01 02 03 04 05 06 07"));
}

void TestUnitFaults::unplugAfterPackets()
{
    testsupport::UnitFixture unit;
    unit->injectFault(FaultKind::Unplug, 3);
    const std::vector<std::uint8_t> data(64 * 4, 0x11);
    QVERIFY(WriteStreamHeader("$WD", 0x3FC000, 256, 4));
    QVERIFY(WriteDataPackets(data, 2));
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbWritePacket());
    QCOMPARE(UsbProbe(), kInvalidHandle);
    QVERIFY(!unit->status().plugged);

    // Plugged in again, the unit waits for a command: the cut write is over.
    unit->plug();
    QVERIFY(Exchange("$BT"));
    QCOMPARE(unit->readMemory(0x3FC000, 128), std::vector<std::uint8_t>(128, 0x11));
    QCOMPARE(unit->readMemory(0x3FC080, 64), std::vector<std::uint8_t>(64, 0xFF));
}

void TestUnitFaults::unplugEndsAWaitingRead()
{
    testsupport::UnitFixture unit;
    unit->injectFault(FaultKind::Stall);
    BuildCommand("$RH", 0, 0, 1);
    QVERIFY(UsbWritePacket());
    auto reading = std::async(std::launch::async, [] { return UsbReadPacket(); });
    QCOMPARE(reading.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    unit->unplug();
    QCOMPARE(reading.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    QVERIFY(!reading.get());
}

void TestUnitFaults::writeFailAfterPackets_data()
{
    QTest::addColumn<quint32>("after");
    QTest::newRow("now") << 0U;
    QTest::newRow("after two packets") << 2U;
}

void TestUnitFaults::writeFailAfterPackets()
{
    QFETCH(quint32, after);
    testsupport::UnitFixture unit;
    unit->injectFault(FaultKind::WriteFail, after);
    BuildCommand("$WD", 0x3FE000, 64, 1);
    for (quint32 i = 0; i < after; ++i)
        QVERIFY(UsbWritePacket());
    QVERIFY(!UsbWritePacket());
    QVERIFY(!UsbWritePacket());

    // Still plugged in: the probe and reads work, only writes fail.
    const int probe = UsbProbe();
    QVERIFY(probe != kInvalidHandle);
    UsbCloseHandle(probe);
    QVERIFY(unit->status().plugged);

    // A new plug-in ends the failure.
    unit->unplug();
    unit->plug();
    QVERIFY(Exchange("$BT"));
}

void TestUnitFaults::cancelledReadNeverGetsItsLateAnswer()
{
    testsupport::UnitFixture unit(true, 200);
    BuildCommand("$RC", 0, 0, 1);
    QVERIFY(UsbWritePacket());
    QVERIFY(!ReadWithin(50));
    QTest::qWait(250); // the check has finished by now

    const auto answer = ExchangeWithin("$BT");
    QVERIFY(answer);
    // "$BT" answers with zeros where "$RC" reports its results.
    QCOMPARE(Slice(*answer, 60, 62), QStringLiteral("00 00 00"));
}

void TestUnitFaults::cancelDuringTheWriteEndsTheExchangeQuietly()
{
    testsupport::UnitFixture unit;
    platform::MessageBoxRecorder boxes;
    // A writer of our own holds the unit's PIPE00 turn, so the exchange waits in its write.
    RawClient holder(unit.socketPath());
    QVERIFY(holder.hello("PIPE00"));
    QCOMPARE(holder.reply(), 'Y');

    std::atomic<bool> started{false};
    auto exchange = std::async(std::launch::async, [&started] {
        BuildCommand("$BT", 0, 0, 1);
        started = true;
        return UsbTransactReport(false);
    });
    QTRY_VERIFY(started.load());
    QTest::qWait(50);
    // The cancel comes before the read has begun: it must not be lost.
    UsbCancelPendingRead();
    std::vector<std::uint8_t> emptyWrite(64, 0); // "$WD" with count 0: no answer, no data
    std::memcpy(emptyWrite.data(), "$WD", 3);
    QVERIFY(holder.send(emptyWrite.data(), emptyWrite.size()));
    holder.close();

    QVERIFY(!exchange.get());
    QCOMPARE(boxes.texts(), QStringList());
    // The "$BT" went out, yet its answer does not land in the next exchange.
    const auto next = Exchange("$RD", 0x3FE000, 64, 1, true);
    QVERIFY(next);
    QCOMPARE(Slice(*next, 0, 3), QStringLiteral("00 0a 00 00"));
}

void TestUnitFaults::unpluggedUnitRefusesEveryPipe()
{
    testsupport::UnitFixture unit(false);
    for (const char* channel : {"PROBE", "PIPE00", "PIPE01"}) {
        RawClient client(unit.socketPath());
        QVERIFY(client.hello(channel));
        QCOMPARE(client.reply(), 'N');
    }
    // The control channel works unplugged.
    QCOMPARE(unit->control("plug"), std::string("ok\n"));
    RawClient probe(unit.socketPath());
    QVERIFY(probe.hello("PROBE"));
    QCOMPARE(probe.reply(), 'Y');
}

void TestUnitFaults::writersAreLetInOneAtATime()
{
    testsupport::UnitFixture unit;
    RawClient first(unit.socketPath());
    RawClient second(unit.socketPath());
    QVERIFY(first.hello("PIPE00"));
    QCOMPARE(first.reply(), 'Y');
    QVERIFY(second.hello("PIPE00"));
    QCOMPARE(second.reply(100), '\0'); // waits while the first writer's packet is due

    const std::vector<std::uint8_t> packet = BtPacket();
    QVERIFY(first.send(packet.data(), packet.size()));
    first.close();
    QCOMPARE(second.reply(), 'Y');
    QVERIFY(second.send(packet.data(), packet.size()));
    second.close();

    QVERIFY(UsbReadPacket());
    QVERIFY(UsbReadPacket());
    QVERIFY(unit->problems().empty());
}

void TestUnitFaults::badInputIsTracedAndServingGoesOn_data()
{
    QTest::addColumn<QByteArray>("hello");
    QTest::addColumn<QByteArray>("bytes"); // sent after the unit's 'Y'
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("tracedSize"); // of the packet put in the trace, 0 for none

    const QByteArray pipe00("PIPE00\0\0", 8);
    QTest::newRow("unknown channel")
        << QByteArray("JUNKJUNK") << QByteArray() << QStringLiteral("hello 4a554e4b4a554e4b") << 0;
    QTest::newRow("hello cut short")
        << QByteArray("PIP") << QByteArray() << QStringLiteral("hello cut short: 504950") << 0;
    QTest::newRow("writer vanishes mid-packet")
        << pipe00 << QByteArray(10, 'x') << QStringLiteral("packet cut short: 10 of 64 bytes")
        << 10;
    QTest::newRow("writer sends nothing")
        << pipe00 << QByteArray() << QStringLiteral("PIPE00 closed without a packet") << 0;
    // An empty "$WD" (count 0): a packet that wants no answer and no data.
    QByteArray emptyWrite(100, '\0');
    emptyWrite.replace(0, 3, "$WD");
    QTest::newRow("writer sends too much")
        << pipe00 << emptyWrite << QStringLiteral("more than 64 bytes on one PIPE00 connection")
        << 64;
    QTest::newRow("reader writes") << QByteArray("PIPE01\0\0", 8) << QByteArray("?")
                                   << QStringLiteral("PIPE01 reader wrote to the unit") << 0;
    QTest::newRow("control line never ends")
        << QByteArray("CTL\0\0\0\0\0", 8) << QByteArray("status")
        << QStringLiteral("control command without its line feed") << 0;
}

void TestUnitFaults::badInputIsTracedAndServingGoesOn()
{
    QFETCH(QByteArray, hello);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    QFETCH(int, tracedSize);
    testsupport::UnitFixture unit;
    {
        RawClient client(unit.socketPath());
        QVERIFY(client.send(hello.constData(), static_cast<std::size_t>(hello.size())));
        if (hello.size() == 8 && !hello.startsWith("JUNK") && !hello.startsWith("CTL"))
            QCOMPARE(client.reply(), 'Y');
        if (!bytes.isEmpty())
            QVERIFY(client.send(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    QTRY_COMPARE(unit->problems(), std::vector<std::string>{problem.toStdString()});
    const std::vector<tavo::TracedPacket> trace = unit->trace();
    QCOMPARE(trace.empty() ? 0 : static_cast<int>(trace.front().bytes.size()), tracedSize);

    const auto answer = Exchange("$RD", 0x3FE000, 64, 1, true);
    QVERIFY(answer);
    QCOMPARE(Slice(*answer, 0, 3), QStringLiteral("00 0a 00 00"));
    QVERIFY(unit->status().plugged);
}

QTEST_GUILESS_MAIN(TestUnitFaults)
#include "test_unit_faults.moc"
