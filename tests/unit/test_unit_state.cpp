// The unit's state folder and its socket.
#include "UnitFixture.h"
#include "UnitTestHelpers.h"

#include <QFile>
#include <QtTest>

using namespace unittest;
using namespace Qt::StringLiterals;
using tavo::ContentFileKind;

namespace {

bool WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

} // namespace

class TestUnitState final : public QObject
{
    Q_OBJECT

private slots:
    void stateSurvivesARestart()
    {
        testsupport::UnitFixture unit;
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
        QFile db(unit.stateDir() + u"/memory-db.bin"_s);
        QVERIFY(db.open(QIODevice::ReadOnly));
        QCOMPARE(db.read(64 * 41), ToQByteArray(unit->readMemory(0x140000, 64 * 41)));
        unit->plug();
        const auto checked = Exchange("$RC");
        QVERIFY(checked && unit->problems().empty());
        QCOMPARE(Slice(*checked, 60, 63), u"01 00 01 00"_s);
        unit->setBootButton(true);
        unit->setIdentityExtras(0x40, 1, 2, 3, 4, 5);

        QVERIFY(unit.restart());
        QCOMPARE(unit->readMemory(0x3FD000, 25 * 64), poi);
        const tavo::UnitStatus status = unit->status();
        QVERIFY(status.bootMode); // the button held down at the plug-in of the restart
        // Image, voice, database: 090115 #4, #2, #5; bytes 55 to 63 with boot mode, firmware
        // 80.11 and the extras.
        QCOMPARE(Slice(status.identityAnswer, 43, 63),
                 u"0f 01 d9 04 0f 01 d9 02 0f 01 d9 05 50 05 04 01 0b 03 02 01 40"_s);
    }

    void unusableStateFolderIsAnError_data()
    {
        QTest::addColumn<QString>("file");       // written into the state folder of a fresh unit
        QTest::addColumn<QByteArray>("content"); // empty: the file is removed
        QTest::addColumn<QString>("message");
        QTest::newRow("settings garbled")
            << u"unit.conf"_s << QByteArray("format=1\nboot-button=7\n")
            << u"unit.conf line 2: boot-button is 0 or 1"_s;
        QTest::newRow("memory file cut short")
            << u"memory-db.bin"_s << QByteArray(1000, '\0')
            << u"memory-db.bin holds 1000 bytes, expected 2097152"_s;
        QTest::newRow("firmware missing")
            << u"firmware.bin"_s << QByteArray() << u"firmware.bin is missing"_s;
        // Without the marker of a creation cut short, the memory files are not thrown away.
        QTest::newRow("settings missing")
            << u"unit.conf"_s << QByteArray() << u"unit.conf is missing"_s;
    }

    void unusableStateFolderIsAnError()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        testsupport::UnitFixture unit;
        unit->stop();
        const QString path = unit.stateDir() + QLatin1Char('/') + file;
        QVERIFY(content.isEmpty() ? QFile::remove(path) : WriteText(path, content));

        std::string error;
        QVERIFY(!unit->start(&error));
        QCOMPARE(QString::fromStdString(error),
                 u"state folder %1: %2"_s.arg(unit.stateDir(), message));
        // Nothing was served and nothing was overwritten.
        QVERIFY(!QFileInfo::exists(unit.socketPath()));
        QCOMPARE(QFileInfo::exists(path), !content.isEmpty());
    }

    void creationCutShortStartsAgain()
    {
        // What a crash while the folder was being filled leaves: the marker, a memory file cut
        // short, no unit.conf.
        testsupport::UnitFixture unit;
        unit->stop();
        QDir state(unit.stateDir());
        QVERIFY(state.remove(u"unit.conf"_s));
        QVERIFY(WriteText(state.filePath(u"unit.new"_s), QByteArray()));
        QVERIFY(WriteText(state.filePath(u"memory-voice.bin"_s), "\x01\x02"));

        std::string error;
        QVERIFY2(unit->start(&error), error.c_str());
        QVERIFY(unit->status().voiceIntact && unit->status().firmwareIntact);
        QCOMPARE(QFileInfo(state.filePath(u"memory-voice.bin"_s)).size(), 0x140000);
        QVERIFY(state.exists(u"unit.conf"_s) && !state.exists(u"unit.new"_s));
    }

    void busySocketIsAnError()
    {
        testsupport::UnitFixture first;
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
