// The tavo-unit executable: serve, ctl, make-content and make-server, run as processes.
#include "UnitTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <fcntl.h>

using namespace unittest;
using namespace Qt::StringLiterals;

namespace {

const QString kTool = QStringLiteral(TAVO_UNIT_EXECUTABLE);

// Runs the tool to its end: exit code (-1 when it did not end normally), stdout, stderr.
std::tuple<int, QString, QString> Run(const QStringList& arguments)
{
    QProcess process;
    process.start(kTool, arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

// `tavo-unit ctl --socket S <command>`: what it printed, prefixed with the exit code when
// that is not 0.
QString Control(const QString& socket, const QString& command)
{
    const auto [code, out, err] = Run(QStringList{u"ctl"_s, u"--socket"_s, socket} +
                                      command.split(QLatin1Char(' '), Qt::SkipEmptyParts));
    return code == 0 ? out : u"%1: %2%3"_s.arg(code).arg(out, err);
}

QJsonObject Status(const QString& socket)
{
    return QJsonDocument::fromJson(Control(socket, u"status"_s).toUtf8()).object();
}

// Starts `tavo-unit serve` in dir (stopped by its own PID when process goes) and returns its
// first line.
QString Serve(QProcess& process, const QTemporaryDir& dir)
{
    process.start(kTool, {u"serve"_s, u"--socket"_s, dir.filePath(u"unit.sock"_s), u"--state"_s,
                          dir.filePath(u"state"_s), u"--trace"_s, dir.filePath(u"trace.txt"_s)});
    process.waitForReadyRead(10000);
    return QString::fromUtf8(process.readLine());
}

// What the file at path holds: "db #2 90115, 1024 bytes, payload 960", or less when it has
// no header of ours or is not there.
QString Describe(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return u"no file"_s;
    QByteArray bytes = file.readAll();
    const QString size = u"%1 bytes"_s.arg(bytes.size());
    bytes.resize(std::max<qsizetype>(bytes.size(), 64));
    tavo::ContentHeader h;
    if (!tavo::DecodeContentHeader(reinterpret_cast<const std::uint8_t*>(bytes.constData()), h))
        return size;
    return u"%1 #%2 %3, %4, payload %5"_s.arg(QLatin1String(tavo::ContentKindName(h.kind)))
        .arg(h.index)
        .arg(h.version)
        .arg(size)
        .arg(h.payloadLength);
}

} // namespace

class TestUnitCli final : public QObject
{
    Q_OBJECT

private slots:
    void serveAndControl();
    void stoppedUnitIsNoUnit();
    void makeContent_data();
    void makeContent();
    void makeServer();
};

void TestUnitCli::serveAndControl()
{
    QTemporaryDir dir;
    const QString socket = dir.filePath(u"unit.sock"_s);
    const QString ok = u"ok\n"_s;
    qputenv("TAVO_UNIT_SOCKET", socket.toLocal8Bit());
    QProcess serve;
    QCOMPARE(Serve(serve, dir),
             u"tavo-unit: serving on %1 (state in %2)\n"_s.arg(socket, dir.filePath(u"state"_s)));
    const QJsonObject status = Status(socket);
    QCOMPARE(
        status.keys(),
        QStringLiteral("bootButton bootMode check dbIndex dbIndexByte dbVerHigh dbVerLow dbVerMid "
                       "dbVersion firmwareIntact fwMajor fwMinor fwVersion hwId idByte56 idByte57 "
                       "idByte60 idByte61 idByte62 imageIndex imageIndexByte imageVerHigh "
                       "imageVerLow imageVerMid imageVersion plugged poi voiceIndex voiceIndexByte "
                       "voiceVerHigh voiceVerLow voiceVerMid voiceVersion")
            .split(QLatin1Char(' ')));
    QCOMPARE(status.value(QStringLiteral("fwVersion")).toInt(), 8011);
    QCOMPARE(status.value(QStringLiteral("dbVersion")).toInt(), 81021);
    QCOMPARE(status.value(QStringLiteral("check")).toObject(),
             QJsonObject({{QStringLiteral("image"), true},
                          {QStringLiteral("db"), true},
                          {QStringLiteral("voice"), true}}));

    QCOMPARE(Control(socket, QStringLiteral("poi-seed 3")), ok);
    QCOMPARE(Status(socket).value(QStringLiteral("poi")).toObject(),
             QJsonObject({{QStringLiteral("store1"), 3}, {QStringLiteral("store2"), 3}}));

    // Through the program's link.
    QVERIFY(Exchange("$BT"));
    BuildCommand("$ZZ", 0, 0, 1);
    QVERIFY(UsbWritePacket());
    QCOMPARE(Control(socket, u"unplug"_s), ok);
    QCOMPARE(Status(socket).value(u"plugged"_s).toBool(), false);
    QCOMPARE(Control(socket, u"boot on"_s), ok);
    QCOMPARE(Control(socket, u"plug"_s), ok);
    QCOMPARE(Status(socket).value(u"bootMode"_s).toBool(), true);
    QCOMPARE(Control(socket, u"fault write-fail"_s), ok);
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(!UsbWritePacket());

    QCOMPARE(Control(socket, u"fault bogus"_s), u"1: error: unknown fault 'bogus'\n"_s);
    QCOMPARE(Control(socket, u"fault nak 3"_s),
             u"1: error: only unplug and write-fail take a count\n"_s);
    QVERIFY(Control(socket, QString()).startsWith(u"2: "_s));
    serve.terminate();
    QVERIFY(serve.waitForFinished(10000));
    QVERIFY(serve.exitStatus() == QProcess::NormalExit && serve.exitCode() == 0);
    // The trace: command bytes 0-19 as written, then 44 zero bytes; the answer: the
    // acknowledge, 56 zeros.
    QFile trace(dir.filePath(u"trace.txt"_s));
    QVERIFY(trace.open(QIODevice::ReadOnly));
    const QString tail = QString(88, QLatin1Char('0'));
    QCOMPARE(QString::fromLatin1(trace.readAll()).split(QLatin1Char('\n')).mid(0, 5),
             (QStringList{u"# plugged in"_s, u"> 2442540000000000000000000100000000000000"_s + tail,
                          u"< 0001020304050607"_s + QString(112, QLatin1Char('0')),
                          u"> 245a5a0000000000000000000100000000000000"_s + tail,
                          u"! bad unknown command"_s}));
    QVERIFY(Control(socket, u"status"_s).startsWith(u"1: tavo-unit: no unit at "_s + socket));
    // The button is part of the state that a restart keeps.
    Serve(serve, dir);
    QCOMPARE(Status(socket).value(u"bootButton"_s).toBool(), true);
    qunsetenv("TAVO_UNIT_SOCKET");
}

void TestUnitCli::stoppedUnitIsNoUnit()
{
    // A unit whose process stops (suspended, or hung) keeps its socket but answers nothing:
    // the probe gives up within 200 ms and a pipe within 1 s, also once the unit's queue of
    // connections is full, so the window that polls for the unit goes on.
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("unit.sock"));
    qputenv("TAVO_UNIT_SOCKET", socket.toLocal8Bit());
    QProcess serve;
    QVERIFY(Serve(serve, dir).startsWith(QStringLiteral("tavo-unit: serving")));
    const auto pid = static_cast<pid_t>(serve.processId());
    const auto resume = qScopeGuard([pid] { ::kill(pid, SIGCONT); });
    // Running, the unit is found: what fails below fails for the stop.
    const int handle = UsbProbe();
    QVERIFY(handle != kInvalidHandle);
    UsbCloseHandle(handle);
    QCOMPARE(::kill(pid, SIGSTOP), 0);
    const auto stopped = [pid] {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") T ");
    };
    QTRY_VERIFY(stopped());
    // True when call failed in time (the bound and a margin); a call that would hang is let go
    // by resuming the unit, so that the test fails instead of hanging.
    const auto failsWithin = [pid](int ms, auto call) {
        auto result = std::async(std::launch::async, call);
        const bool inTime =
            result.wait_for(std::chrono::milliseconds(ms)) == std::future_status::ready;
        if (!inTime)
            ::kill(pid, SIGCONT);
        return !result.get() && inTime;
    };
    QVERIFY(failsWithin(600, [] { return UsbProbe() != kInvalidHandle; }));
    BuildCommand("$BT", 0, 0, 1);
    QVERIFY(failsWithin(2500, [] { return UsbTransact(false); }));
    // Connections the unit never accepts fill its queue; connecting then waits as well.
    std::vector<int> queued;
    const auto closeQueued = qScopeGuard([&queued] {
        for (int fd : queued)
            ::close(fd);
    });
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socket.toLocal8Bit().constData(), sizeof address.sun_path - 1);
    for (int n = 0; n < 10000; ++n) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        queued.push_back(fd);
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            break;
    }
    QCOMPARE(errno, EAGAIN);
    QVERIFY(failsWithin(600, [] { return UsbProbe() != kInvalidHandle; }));
}

void TestUnitCli::makeContent_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("result"); // exit code: the file made
    const auto row = [](const char* name, const char* arguments, const char* result) {
        QTest::newRow(name) << QString::fromLatin1(arguments) << QString::fromLatin1(result);
    };
    row("rounded up to whole packets", "--kind db --index 2 --version 090115 --size 1000",
        "0: db #2 90115, 1024 bytes, payload 960");
    row("exact size", "--kind voice --version 090101 --size 1000 --exact-size",
        "0: voice #0 90101, 1000 bytes, payload 936");
    row("smaller than a header", "--kind db --version 090115 --size 10 --exact-size",
        "0: 10 bytes");
    row("one packet over the area", "--kind db --version 090115 --size 2097216", "1: no file");
    row("firmware longer than its area", "--kind firmware --version 8012 --size 70000 --exact-size",
        "0: firmware #0 8012, 70000 bytes, payload 65472");
    row("unknown kind", "--kind map --version 090115 --size 64", "2: no file");
    row("content version of four digits", "--kind db --version 8012 --size 64", "2: no file");
    row("content version of a first part over 47", "--kind voice --version 480000 --size 64",
        "2: no file");
}

void TestUnitCli::makeContent()
{
    QFETCH(QString, arguments);
    QFETCH(QString, result);
    QTemporaryDir dir;
    const QString output = dir.filePath(u"content.bin"_s);
    const auto [code, out, err] =
        Run(QStringList{u"make-content"_s} + arguments.split(QLatin1Char(' ')) +
            QStringList{u"-o"_s, output});
    QCOMPARE(u"%1: %2"_s.arg(code).arg(Describe(output)), result);
    if (code != 0)
        QVERIFY(err.startsWith(u"tavo-unit: make-content: "_s));
}

// What the catalogue and the files hold is what the update tests download; here: the folder
// and the sizes given are the ones used.
void TestUnitCli::makeServer()
{
    QTemporaryDir dir;
    QCOMPARE(std::get<0>(Run({u"make-server"_s, dir.path(), u"--db-size"_s, u"4096"_s})), 0);
    QVERIFY(QFile::exists(dir.filePath(u"Tavo_VersionInfo.txt"_s)));
    QCOMPARE(Describe(dir.filePath(u"down/fw/Tavo/DB/090115_FRANCE.tbn"_s)),
             u"db #1 90115, 4096 bytes, payload 4032"_s);
}

QTEST_GUILESS_MAIN(TestUnitCli)
#include "test_unit_cli.moc"
