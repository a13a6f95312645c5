// The USB link against a virtual unit, through libVexaUSB.so exactly as the program reaches it.
#include "UnitFixture.h"
#include "link/DeviceIdentity.h"
#include "platform/MessageBoxRecorder.h"

#include <QProcess>
#include <QtTest>

using namespace testsupport;
using namespace Qt::StringLiterals;

class TestLink final : public QObject
{
    Q_OBJECT

private slots:
    void exchange_data()
    {
        QTest::addColumn<int>("fault"); // a tavo::FaultKind on the answer, -1 for none
        QTest::addColumn<bool>("skipAck");
        QTest::addColumn<QString>("answer"); // its first bytes in the answer buffer
        QTest::addColumn<QString>("box");    // empty: the exchange succeeds
        const int nak = int(tavo::FaultKind::Nak);
        const QString nakAnswer = u"00 01 02 03 04 05 06 08"_s;
        QTest::newRow("acknowledged") << -1 << false << u"00 01 02 03 04 05 06 07"_s << "";
        QTest::newRow("nak") << nak << false << nakAnswer << u"Error[9003]"_s;
        QTest::newRow("nak, acknowledge not tested") << nak << true << nakAnswer << "";
        // A partial answer never lands in the answer buffer.
        QTest::newRow("63 bytes") << int(tavo::FaultKind::Short) << false
                                  << u"5a 5a 5a 5a 5a 5a 5a 5a"_s << u"Error[9002]"_s;
    }

    void exchange()
    {
        QFETCH(int, fault);
        QFETCH(bool, skipAck);
        QFETCH(QString, answer);
        QFETCH(QString, box);
        UnitFixture fixture;
        platform::MessageBoxRecorder boxes;
        if (fault >= 0)
            fixture->injectFault(tavo::FaultKind(fault));
        BuildCommand("$BT", 0, 0, 1);
        g_ansPacket.fill(0x5A);
        QCOMPARE(UsbTransactReport(skipAck), box.isEmpty());
        QCOMPARE(boxes.texts().join(u'|'), box);
        QCOMPARE(Slice(g_ansPacket, 0, 7), answer);
        QCOMPARE(fixture.sentPackets().back(), Bytes(g_cmdPacket.begin(), g_cmdPacket.end()));
        QCOMPARE(fixture->trace().back().bytes.size(), answer.startsWith(u"5a") ? 63u : 64u);
    }

    void decodeIdentity()
    {
        // Image 090101 #4, voice with a first part of 0 (so negative) #3, database 081021 #2,
        // firmware 80.11 in boot mode (any non-zero byte 58), byte 63 = 0xE5.
        Packet answer{0, 1, 2, 3, 4, 5, 6, 7};
        const std::uint8_t identity[] = {1, 1,  217,  4,    2,    1,  0,    3,    21,   10,  216,
                                         2, 80, 0x56, 0x57, 0xFF, 11, 0x60, 0x61, 0x62, 0xE5};
        std::copy(std::begin(identity), std::end(identity), answer.begin() + 43);
        // The hardware id from the top three bits, or from all eight; the fields the pages read.
        for (const auto& [form, hwId] :
             {std::pair{HwIdForm::TopThreeBits, 7}, {HwIdForm::AllBits, 229}}) {
            DeviceIdentity d;
            DecodeIdentity(answer, form, d);
            QCOMPARE((QList<qint64>{d.hwId, d.bootMode, d.fwVersion, d.dbIndex, d.dbVersion,
                                    d.voiceIndex, d.voiceVersion, d.imageIndex, d.imageVersion}),
                     (QList<qint64>{hwId, 1, 8011, 2, 81021, 3, -2079898, 4, 90101}));
        }
    }

    // A token ends only the exchange of the thread bound to it, quietly, and stops every later
    // one of that thread before anything is written.
    void cancel_data()
    {
        QTest::addColumn<bool>("duringWrite");
        QTest::addColumn<bool>("bound");
        // "$RC" answers after the check delay; the wait is given up before that.
        QTest::newRow("during the read") << false << true;
        // A writer of our own holds the unit's PIPE00 turn, so the exchange waits in its
        // write: the cancel comes before the read has begun and must not be lost.
        QTest::newRow("during the write") << true << true;
        QTest::newRow("another thread's exchange") << false << false;
    }

    void cancel()
    {
        QFETCH(bool, duringWrite);
        QFETCH(bool, bound);
        UnitFixture fixture(true, 300);
        platform::MessageBoxRecorder boxes;
        RawClient holder(fixture.socketPath());
        if (duringWrite) {
            QVERIFY(holder.send(kPipe00Hello));
            QCOMPARE(holder.reply(), 'Y');
        }
        std::atomic<bool> started{false};
        UsbCancelToken token;
        const auto transact = [&](bool inScope, const char* command) {
            return std::async(std::launch::async, [&, inScope, command] {
                std::optional<UsbCancelScope> scope;
                if (inScope)
                    scope.emplace(token);
                BuildCommand(command, 0, 0, 1);
                started = true;
                return UsbTransactReport(false);
            });
        };
        auto exchange = transact(bound, duringWrite ? "$BT" : "$RC");
        QTRY_VERIFY(started.load());
        QTest::qWait(50);
        token.Cancel();
        if (duringWrite) // an empty "$WD": no answer, no data
            QVERIFY(holder.send(QByteArray("$WD").leftJustified(64, '\0')));
        holder.close();

        QCOMPARE(exchange.get(), !bound);
        // The command went out, yet its answer does not land in the next exchange.
        QCOMPARE(SettingsStart(), u"00 0a 00 00"_s);
        const std::size_t sent = fixture.sentPackets().size();
        QVERIFY(!transact(true, "$BT").get());
        QCOMPARE(fixture.sentPackets().size(), sent);
        QCOMPARE(boxes.texts(), QStringList());
    }

    // With no usable library (none in the program's run path, or one without its exports),
    // every entry point fails as with no unit.
    void missingLibraryMeansNoUnit()
    {
        UnitFixture fixture;
        for (const char* program : {LINK_PROBE_NO_LIBRARY, LINK_PROBE_NO_EXPORTS}) {
            QProcess probe;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.remove(u"LD_LIBRARY_PATH"_s);
            probe.setProcessEnvironment(environment);
            probe.start(QString::fromLatin1(program), {});
            QVERIFY(probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit);
            QCOMPARE(probe.readAllStandardOutput().trimmed(), "probe=-1 write=0 read=0 transact=0");
        }
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "test_link.moc"
