// The unit's state folder and its socket.
#include "TestFiles.h"
#include "UnitFixture.h"

#include <QtTest>

using namespace testsupport;
using namespace Qt::StringLiterals;
using tavo::ContentFileKind;
using testsupport::WriteFile;

class TestUnitState final : public QObject
{
    Q_OBJECT

private slots:
    void stateSurvivesARestart()
    {
        UnitFixture unit;
        // Of a write of several packets, only the stated length counts: the rest is padding.
        Bytes poi(25 * 64);
        for (std::size_t i = 0; i < poi.size(); ++i)
            poi[i] = static_cast<std::uint8_t>(0x31 + i * 7);
        QVERIFY(WriteCommand("$WD", 0x3FD000, 1596, 25, poi));
        std::fill(poi.end() - 4, poi.end(), 0xFF);
        QVERIFY(StreamContent(ContentFileKind::Voice, 2, 20000, 0));
        QVERIFY(StreamContent(ContentFileKind::Image, 4, 20000, 0x340000));
        // The header of a stream cut short comes through, so the unit names the new database,
        // but its check fails. What it holds is saved at the unplug.
        unit->injectFault(tavo::FaultKind::Unplug, 1 + 40);
        QVERIFY(!StreamContent(ContentFileKind::Db, 5, 6400, 0x140000));
        const QByteArray saved =
            testsupport::ReadFile(unit.stateDir() + u"/memory-db.bin"_s).left(64 * 41);
        QCOMPARE(Bytes(saved.begin(), saved.end()), unit->readMemory(0x140000, 64 * 41));
        unit->plug();
        QCOMPARE(Slice(Exchange("$RC").value_or(Packet{}), 60, 63), u"01 00 01 00"_s);
        QVERIFY(unit->problems().empty());
        unit->setBootButton(true);
        unit->setIdentityExtras(0x40, 1, 2, 3, 4, 5);

        QVERIFY(unit.restart());
        QCOMPARE(unit->readMemory(0x3FD000, 25 * 64), poi);
        // Image, voice, database: 090115 #4, #2, #5; bytes 55 to 63 with firmware 80.11, boot
        // mode (the button held down at the plug-in of the restart) and the extras.
        QCOMPARE(Slice(unit->status().identityAnswer, 43, 63),
                 u"0f 01 d9 04 0f 01 d9 02 0f 01 d9 05 50 05 04 01 0b 03 02 01 40"_s);
    }

    void stateFolderAtStart_data()
    {
        QTest::addColumn<QString>("file");       // written into the state folder of a fresh unit
        QTest::addColumn<QByteArray>("content"); // empty: the file is removed
        QTest::addColumn<bool>("cutShort");      // the marker of a creation cut short is left
        QTest::addColumn<QString>("message");    // empty: the unit starts
        QTest::newRow("settings garbled")
            << u"unit.conf"_s << QByteArray("format=1\nboot-button=7\n") << false
            << u"unit.conf line 2: boot-button is 0 or 1"_s;
        QTest::newRow("memory file cut short")
            << u"memory-db.bin"_s << QByteArray(1000, '\0') << false
            << u"memory-db.bin holds 1000 bytes, expected 2097152"_s;
        QTest::newRow("firmware missing")
            << u"firmware.bin"_s << QByteArray() << false << u"firmware.bin is missing"_s;
        // Without the marker, the memory files are not thrown away.
        QTest::newRow("settings missing")
            << u"unit.conf"_s << QByteArray() << false << u"unit.conf is missing"_s;
        // What a crash while the folder was being filled leaves: the marker, a memory file cut
        // short, no unit.conf. The folder is made afresh.
        QTest::newRow("creation cut short") << u"unit.conf"_s << QByteArray() << true << QString();
    }

    void stateFolderAtStart()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(bool, cutShort);
        QFETCH(QString, message);
        UnitFixture unit;
        unit->stop();
        QDir state(unit.stateDir());
        QVERIFY(content.isEmpty() ? state.remove(file) : WriteFile(state.filePath(file), content));
        if (cutShort)
            QVERIFY(WriteFile(state.filePath(u"unit.new"_s), {}) &&
                    WriteFile(state.filePath(u"memory-voice.bin"_s), "\x01\x02"));

        std::string error;
        QCOMPARE(unit->start(&error), message.isEmpty());
        if (cutShort) {
            QVERIFY(unit->status().voiceIntact && unit->status().firmwareIntact);
            QCOMPARE(QFileInfo(state.filePath(u"memory-voice.bin"_s)).size(), 0x140000);
            QVERIFY(state.exists(file) && !state.exists(u"unit.new"_s));
            return;
        }
        QCOMPARE(QString::fromStdString(error),
                 u"state folder %1: %2"_s.arg(unit.stateDir(), message));
        // Nothing was served and nothing was overwritten.
        QVERIFY(!QFileInfo::exists(unit.socketPath()));
        QCOMPARE(state.exists(file), !content.isEmpty());
    }

    void busySocketIsAnError()
    {
        UnitFixture first;
        const std::string socket = first.socketPath().toStdString();
        tavo::UnitOptions options;
        options.socketPath = socket;
        options.stateDir = socket + ".state";
        tavo::VirtualUnit second(options);
        std::string error;
        QVERIFY(!second.start(&error));
        QCOMPARE(error, "socket " + socket + ": another unit is serving there");

        // A socket left behind by a unit that is gone (bound, closed, not removed) is taken over.
        first->stop();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(second.start(&error));
    }
};

QTEST_GUILESS_MAIN(TestUnitState)
#include "test_unit_state.moc"
