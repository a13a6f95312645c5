// The unit's state folder and its socket.
#include "UnitFixture.h"
#include "UnitTestHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace unittest;
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
    void stateSurvivesARestart();
    void unusableStateFolderIsAnError_data();
    void unusableStateFolderIsAnError();
    void creationCutShortStartsAgain();
    void busySocketIsAnError();
};

void TestUnitState::stateSurvivesARestart()
{
    testsupport::UnitFixture unit;
    QVERIFY(WriteHeader("$WD", 0x3FE000, 64, 1));
    QVERIFY(WriteData(Bytes(64, 0x05)));
    QVERIFY(StreamContent(ContentFile(ContentFileKind::Db, 1, 90115, 4096), 0x140000));
    QVERIFY(Settle());
    unit->setBootButton(true);
    unit->setIdentityExtras(0x40, 1, 2, 3, 4, 5);

    QVERIFY(unit.restart());
    QCOMPARE(unit->readMemory(0x3FE000, 64), Bytes(64, 0x05));
    const tavo::UnitStatus status = unit->status();
    QVERIFY(status.bootMode); // the button held down at the plug-in of the restart
    QVERIFY(status.dbIntact);
    // Database 090115 #1; bytes 56 to 63 with boot mode and firmware 80.11.
    QCOMPARE(Slice(status.identityAnswer, 51, 63),
             QStringLiteral("0f 01 d9 01 50 05 04 01 0b 03 02 01 40"));
}

void TestUnitState::unusableStateFolderIsAnError_data()
{
    QTest::addColumn<QString>("file");       // written into the state folder of a fresh unit
    QTest::addColumn<QByteArray>("content"); // empty: the file is removed
    QTest::addColumn<QString>("message");
    QTest::newRow("settings garbled")
        << QStringLiteral("unit.conf") << QByteArray("format=1\nboot-button=7\n")
        << QStringLiteral("unit.conf line 2: boot-button is 0 or 1");
    QTest::newRow("memory file cut short")
        << QStringLiteral("memory-db.bin") << QByteArray(1000, '\0')
        << QStringLiteral("memory-db.bin holds 1000 bytes, expected 2097152");
    QTest::newRow("firmware missing") << QStringLiteral("firmware.bin") << QByteArray()
                                      << QStringLiteral("firmware.bin is missing");
}

void TestUnitState::unusableStateFolderIsAnError()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const tavo::UnitOptions options = OptionsIn(dir);
    QVERIFY(tavo::VirtualUnit(options).start());
    const QString state = QString::fromStdString(options.stateDir);
    const QString path = state + QLatin1Char('/') + file;
    QVERIFY(content.isEmpty() ? QFile::remove(path) : WriteText(path, content));

    tavo::VirtualUnit unit(options);
    std::string error;
    QVERIFY(!unit.start(&error));
    QCOMPARE(QString::fromStdString(error),
             QStringLiteral("state folder %1: %2").arg(state, message));
    // Nothing was served and nothing was overwritten.
    QVERIFY(!QFileInfo::exists(QString::fromStdString(options.socketPath)));
    QCOMPARE(QFileInfo::exists(path), !content.isEmpty());
}

void TestUnitState::creationCutShortStartsAgain()
{
    // What a crash while a new folder was being filled leaves: the marker, a memory file cut
    // short, no unit.conf.
    QTemporaryDir dir;
    const tavo::UnitOptions options = OptionsIn(dir);
    const QDir state(QString::fromStdString(options.stateDir));
    QVERIFY(state.mkpath(QStringLiteral(".")));
    QVERIFY(WriteText(state.filePath(QStringLiteral("unit.new")), QByteArray()));
    QVERIFY(WriteText(state.filePath(QStringLiteral("memory-voice.bin")), QByteArray(1000, '\0')));

    tavo::VirtualUnit unit(options);
    std::string error;
    QVERIFY2(unit.start(&error), error.c_str());
    QVERIFY(unit.status().voiceIntact && unit.status().firmwareIntact);
    QCOMPARE(QFileInfo(state.filePath(QStringLiteral("memory-voice.bin"))).size(), 0x140000);
    QVERIFY(QFileInfo::exists(state.filePath(QStringLiteral("unit.conf"))));
    QVERIFY(!QFileInfo::exists(state.filePath(QStringLiteral("unit.new"))));
}

void TestUnitState::busySocketIsAnError()
{
    QTemporaryDir dir;
    tavo::UnitOptions options = OptionsIn(dir);
    tavo::VirtualUnit first(options);
    QVERIFY(first.start());
    options.stateDir = dir.filePath(QStringLiteral("other")).toStdString();
    tavo::VirtualUnit second(options);
    std::string error;
    QVERIFY(!second.start(&error));
    QCOMPARE(error, "socket " + options.socketPath + ": another unit is serving there");

    // A socket left behind by a unit that is gone (bound, closed, not removed) is taken over.
    first.stop();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, options.socketPath.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    QVERIFY(second.start(&error));
}

QTEST_GUILESS_MAIN(TestUnitState)
#include "test_unit_state.moc"
