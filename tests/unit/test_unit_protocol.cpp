// The virtual unit's answers to the program's commands through the program's own link, the
// faults it produces on demand, and input it must survive.
#include "UnitFixture.h"

#include <QElapsedTimer>
#include <QtTest>

using namespace testsupport;
using namespace Qt::StringLiterals;
using tavo::ContentFileKind;

constexpr std::uint32_t kPoi1 = 0x3FC000;

class TestUnitProtocol final : public QObject
{
    Q_OBJECT

private slots:
    void checkDoesNotBlockTheUnit()
    {
        UnitFixture unit(true, 300);
        QElapsedTimer timer;
        timer.start();
        auto check = std::async(std::launch::async, [] { return Exchange("$RC"); });
        QTest::qWait(50);
        const int probe = UsbProbe();
        QVERIFY(probe != kInvalidHandle && timer.elapsed() < 300);
        UsbCloseHandle(probe);
        QVERIFY(check.get()); // that it waits its delay shows in the link test's cancel
    }

    void firmwareAndBootMode()
    {
        UnitFixture unit;
        const Bytes original = unit->firmware();
        Bytes firmware;
        tavo::MakeContentFile({ContentFileKind::Firmware, 0, 8012, 65536}, firmware);
        const auto stream = [&] { return WriteCommand("$WFE", 0, 65536, 1024, firmware); };
        const auto bootMode = [] { // byte 58 of the identity, -1 when the exchange failed
            const auto answer = Exchange("$RH");
            return answer ? answer->at(58) : -1;
        };
        // In normal mode a firmware stream needs its announcement. The unit takes packets in
        // order: once "$BT" is answered, it has acted on the stream.
        QVERIFY(stream() && Exchange("$BT"));
        QCOMPARE(unit->problems(), std::vector<std::string>{"firmware stream without $WB"});
        QCOMPARE(unit->firmware(), original);

        // Cut short, it leaves a unit that comes up in boot mode, whose boot code serves no
        // normal command but takes a firmware stream.
        QVERIFY(Exchange("$WB"));
        unit->injectFault(tavo::FaultKind::Unplug, 1 + 10);
        QVERIFY(!stream());
        unit->plug();
        QCOMPARE(bootMode(), 1);
        QVERIFY(WriteCommand("$RD", 0x3FE000, 64, 1));
        QVERIFY(stream() && Exchange("$BT"));
        QCOMPARE(unit->problems().back(), "command not served in boot mode");
        QCOMPARE(unit->firmware(), firmware);
        QCOMPARE(Slice(Exchange("$RH").value_or(Packet{}), 55, 59), u"50 00 00 01 0c"_s);

        // With its firmware whole, the unit comes up normally; the boot button counts at the
        // next plug-in only, and at every plug-in while held.
        int expected = 1;
        for (const int held : {0, 1, 1, 0}) {
            unit->setBootButton(held == 1);
            QCOMPARE(bootMode(), expected);
            unit->unplug();
            unit->plug();
            QCOMPARE(bootMode(), expected = held);
        }
    }

    // Bad input is refused with its reason, changes nothing, and the unit goes on serving.
    void badInputChangesNothing_data()
    {
        QTest::addColumn<QByteArray>("hello"); // of a raw client; empty: a command of the link
        QTest::addColumn<QByteArray>("bytes"); // what the client sends next, or the command
        QTest::addColumn<quint32>("address");
        QTest::addColumn<quint32>("count");
        QTest::addColumn<QString>("problem");
        const auto command = [](const char* command, quint32 address, quint32 count,
                                const char* why) {
            QTest::addRow("%s: %s", command, why) << QByteArray() << QByteArray(command) << address
                                                  << count << QString::fromLatin1(why);
        };
        command("$XY", 0, 1, "unknown command");
        command("$RHX", 0, 1, "unknown command"); // a fourth letter on a plain command
        command("$RD", 0x3FFFC1, 1, "$RD address out of range");
        // 0x3FC000 - 0x340000 bytes fit in the image area; one packet more does not.
        command("$WDS", 0x340000, (0x3FC000 - 0x340000) / 64 + 1,
                "$WDS stream larger than its area");
        command("$WDS", kPoi1, 3, "$WDS address outside the content areas");
        const auto raw = [](const char* name, const QByteArray& hello, const QByteArray& bytes,
                            const char* why) {
            QTest::newRow(name) << hello << bytes << 0u << 0u << QString::fromLatin1(why);
        };
        raw("unknown channel", "JUNKJUNK", {}, "hello 4a554e4b4a554e4b");
        raw("hello cut short", "PIP", {}, "hello cut short: 504950");
        raw("writer vanishes mid-packet", kPipe00Hello, QByteArray(10, 'x'),
            "packet cut short: 10 of 64 bytes");
        // An empty "$WD" (count 0) wants no answer and no data.
        raw("writer sends too much", kPipe00Hello, QByteArray("$WD").leftJustified(100, '\0'),
            "more than 64 bytes on one PIPE00 connection");
        raw("control line never ends", QByteArray("CTL\0\0\0\0\0", 8), "status",
            "control command without its line feed");
    }

    void badInputChangesNothing()
    {
        QFETCH(QByteArray, hello);
        QFETCH(QByteArray, bytes);
        QFETCH(quint32, address);
        QFETCH(quint32, count);
        QFETCH(QString, problem);
        UnitFixture unit;
        const bool stream = bytes == "$WDS";
        if (hello.isEmpty()) {
            QVERIFY(WriteCommand(bytes.constData(), address, count * 64, count, Bytes(64 * 3, 0x24),
                                 stream ? 3 : 0));
            QVERIFY(!ReadWithin(100)); // no answer
        } else {
            RawClient client(unit.socketPath());
            QVERIFY(client.send(hello));
            if (hello.startsWith("PIPE"))
                QCOMPARE(client.reply(), 'Y');
            QVERIFY(client.send(bytes));
        }
        QTRY_COMPARE(unit->problems(), std::vector<std::string>{problem.toStdString()});
        QCOMPARE(unit->readMemory(kPoi1, 0x2000), Bytes(0x2000, 0xFF)); // both POI stores
        QVERIFY(unit->status().imageIntact);
        if (stream) { // a refused stream still waits for its data packets
            unit->unplug();
            unit->plug();
        }
        QCOMPARE(SettingsStart(), u"00 0a 00 00"_s);
    }
};

QTEST_GUILESS_MAIN(TestUnitProtocol)
#include "test_unit_protocol.moc"
