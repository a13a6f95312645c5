// The tavo-unit executable, serve and ctl, run as processes.
#include "UnitFixture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <grp.h>
#include <sys/stat.h>

using namespace testsupport;
using namespace Qt::StringLiterals;

namespace {

const QString kTool = QStringLiteral(TAVO_UNIT_EXECUTABLE);
constexpr uid_t kNobody = 65534;

// Runs the tool to its end: "CODE: " (-1 when it did not end normally), stdout, stderr.
QString Run(const QStringList& arguments)
{
    QProcess process;
    process.start(kTool, arguments);
    if (!process.waitForFinished(10000))
        process.kill();
    process.waitForFinished();
    return u"%1: %2%3"_s.arg(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1)
        .arg(QString::fromUtf8(process.readAllStandardOutput()),
             QString::fromUtf8(process.readAllStandardError()));
}

QString Control(const QString& socket, const QString& command)
{
    return Run(QStringList{u"ctl"_s, u"--socket"_s, socket} +
               command.split(u' ', Qt::SkipEmptyParts));
}

QJsonObject Status(const QString& socket)
{
    return QJsonDocument::fromJson(Control(socket, u"status"_s).mid(3).toUtf8()).object();
}

QString SocketIn(const QString& dir)
{
    return dir + u"/run/unit.sock"_s;
}

// Starts `tavo-unit serve` in dir, in a folder of its own making; returns its first line.
QString Serve(QProcess& process, const QString& dir)
{
    process.start(kTool,
                  {u"serve"_s, u"--socket"_s, SocketIn(dir), u"--state"_s, dir + u"/state"_s});
    process.waitForReadyRead(10000);
    return QString::fromUtf8(process.readLine());
}

int Mode(const QString& path)
{
    struct stat info;
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

} // namespace

class TestUnitCli final : public QObject
{
    Q_OBJECT

private slots:
    void serveAndControl()
    {
        QTemporaryDir dir;
        const QString socket = SocketIn(dir.path());
        const QString ok = u"0: ok\n"_s;
        qputenv("TAVO_UNIT_SOCKET", socket.toLocal8Bit());
        QProcess serve;
        QCOMPARE(Serve(serve, dir.path()),
                 u"tavo-unit: serving on %1 (state in %2/state)\n"_s.arg(socket, dir.path()));
        // Only its owner may enter the folder serve made, or connect to the socket.
        QCOMPARE((QList<int>{Mode(dir.filePath(u"run"_s)), Mode(socket)}),
                 (QList<int>{0700, 0600}));

        // Through the program's link.
        QVERIFY(Exchange("$BT"));
        QCOMPARE(Control(socket, u"unplug"_s) + Control(socket, u"boot on"_s) +
                     Control(socket, u"plug"_s) + Control(socket, u"fault write-fail"_s),
                 ok.repeated(4));
        QCOMPARE(Status(socket).value(u"bootMode"_s).toBool(), true);
        BuildCommand("$BT", 0, 0, 1);
        QVERIFY(!UsbWritePacket());
        QCOMPARE(Control(socket, u"fault bogus"_s), u"1: error: unknown fault 'bogus'\n"_s);
        QCOMPARE(Control(socket, u"fault nak 3"_s),
                 u"1: error: only unplug and write-fail take a count\n"_s);
        QVERIFY(Control(socket, QString()).startsWith(u"2: "_s));
        serve.terminate();
        QVERIFY(serve.waitForFinished(10000));
        QVERIFY(serve.exitStatus() == QProcess::NormalExit && serve.exitCode() == 0);
        QVERIFY(Control(socket, u"status"_s).startsWith(u"1: tavo-unit: no unit at "_s + socket));
        QCOMPARE(UsbProbe(), kInvalidHandle); // a unit that is gone is unplugged
        qunsetenv("TAVO_UNIT_SOCKET");
    }

    void stoppedUnitIsNoUnit()
    {
        // A unit whose process stops (suspended, or hung) keeps its socket but answers nothing:
        // the probe gives up within 200 ms and a pipe within 1 s, also once the unit's queue of
        // connections is full, so the window that polls for the unit goes on.
        QTemporaryDir dir;
        qputenv("TAVO_UNIT_SOCKET", SocketIn(dir.path()).toLocal8Bit());
        QProcess serve;
        QVERIFY(Serve(serve, dir.path()).startsWith(u"tavo-unit: serving"_s));
        const auto pid = static_cast<pid_t>(serve.processId());
        const auto resume = qScopeGuard([pid] { ::kill(pid, SIGCONT); });
        // Running, the unit is found: what fails below fails for the stop.
        QVERIFY(Exchange("$BT"));
        QCOMPARE(::kill(pid, SIGSTOP), 0);
        QTRY_VERIFY([pid] {
            QFile stat(u"/proc/%1/stat"_s.arg(pid));
            return stat.open(QIODevice::ReadOnly) && stat.readAll().contains(") T ");
        }());
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
        QVERIFY(failsWithin(1800, [] { return UsbTransact(false); }));
        // Connections the unit never accepts fill its queue; connecting then waits as well.
        std::vector<std::unique_ptr<RawClient>> queued;
        do
            queued.push_back(std::make_unique<RawClient>(SocketIn(dir.path()), true));
        while (queued.back()->connected() && queued.size() < 10000);
        QCOMPARE(errno, EAGAIN);
        QVERIFY(failsWithin(600, [] { return UsbProbe() != kInvalidHandle; }));
    }

    void onlyTheUserReachesTheUnit()
    {
        // Another user may create names in /tmp, sticky as it is.
        QCOMPARE(Run({u"serve"_s, u"--socket"_s, u"/tmp/unit.sock"_s, u"--state"_s, u"/tmp/-"_s}),
                 u"1: tavo-unit: socket /tmp/unit.sock: other users can write to its folder /tmp; "
                 "use a folder only you can write to\n"_s);
        if (::getuid() != 0)
            QSKIP("only root can serve a unit as another user");
        QTemporaryDir dir;
        const QString theirs = dir.filePath(u"theirs"_s);
        QVERIFY(::chmod(dir.path().toLocal8Bit().constData(), 0711) == 0 && QDir().mkdir(theirs) &&
                ::chown(theirs.toLocal8Bit().constData(), kNobody, kNobody) == 0);
        QCOMPARE(Run({u"serve"_s, u"--socket"_s, theirs + u"/unit.sock"_s, u"--state"_s, theirs}),
                 u"1: tavo-unit: socket %1/unit.sock: its folder %1 belongs to another user; use a "
                 "folder of your own\n"_s.arg(theirs));
        // Their unit serves (ctl reaches it, as root may), but the USB library sees no unit.
        QProcess serve;
        serve.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                ::_exit(9);
        });
        QVERIFY(Serve(serve, theirs).startsWith(u"tavo-unit: serving"_s));
        QVERIFY(Status(SocketIn(theirs)).value(u"plugged"_s).toBool());
        qputenv("TAVO_UNIT_SOCKET", SocketIn(theirs).toLocal8Bit());
        QCOMPARE(UsbProbe(), kInvalidHandle);
        qunsetenv("TAVO_UNIT_SOCKET");
    }
};

QTEST_GUILESS_MAIN(TestUnitCli)
#include "test_unit_cli.moc"
