// The tavo-unit executable: serve, ctl, make-content and make-server, run as processes.
#include "UnitTestHelpers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <tavo/ContentFile.h>

using namespace unittest;

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result Run(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(TAVO_UNIT_EXECUTABLE), arguments);
    Result result;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QJsonObject Status(const QString& socket)
{
    const Result r =
        Run({QStringLiteral("ctl"), QStringLiteral("--socket"), socket, QStringLiteral("status")});
    return r.exitCode == 0 ? QJsonDocument::fromJson(r.out.toUtf8()).object() : QJsonObject();
}

bool Control(const QString& socket, const QString& command)
{
    QStringList arguments = {QStringLiteral("ctl"), QStringLiteral("--socket"), socket};
    arguments += command.split(QLatin1Char(' '));
    const Result r = Run(arguments);
    return r.exitCode == 0 && r.out == QStringLiteral("ok\n");
}

// A `tavo-unit serve` process, stopped with SIGTERM by its own PID when the test ends.
class ServeProcess
{
public:
    ServeProcess(const QString& socket, const QString& state, const QString& trace)
    {
        m_process.start(QStringLiteral(TAVO_UNIT_EXECUTABLE),
                        {QStringLiteral("serve"), QStringLiteral("--socket"), socket,
                         QStringLiteral("--state"), state, QStringLiteral("--trace"), trace,
                         QStringLiteral("--check-delay"), QStringLiteral("0")});
        m_process.waitForReadyRead(10000);
        m_greeting = QString::fromUtf8(m_process.readLine());
    }
    ~ServeProcess() { stop(); }
    ServeProcess(const ServeProcess&) = delete;
    ServeProcess& operator=(const ServeProcess&) = delete;

    QString greeting() const { return m_greeting; }
    // Sends SIGTERM; the exit code, or -1 when it did not end normally.
    int stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitCode();
        m_process.terminate();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished();
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

private:
    QProcess m_process;
    QString m_greeting;
};

} // namespace

class TestUnitCli final : public QObject
{
    Q_OBJECT

private slots:
    void serveAndControl();
    void controlFailures_data();
    void controlFailures();
    void makeContent_data();
    void makeContent();
    void makeServer();
};

void TestUnitCli::serveAndControl()
{
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("unit.sock"));
    const QString state = dir.filePath(QStringLiteral("state"));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    qputenv("TAVO_UNIT_SOCKET", socket.toLocal8Bit());
    {
        ServeProcess serve(socket, state, trace);
        QCOMPARE(serve.greeting(),
                 QStringLiteral("tavo-unit: serving on %1 (state in %2)\n").arg(socket, state));

        const QJsonObject status = Status(socket);
        for (const char* key :
             {"hwId",         "idByte62",    "idByte61",       "idByte60",       "fwMinor",
              "bootMode",     "idByte57",    "idByte56",       "fwMajor",        "dbIndexByte",
              "dbVerHigh",    "dbVerMid",    "dbVerLow",       "voiceIndexByte", "voiceVerHigh",
              "voiceVerMid",  "voiceVerLow", "imageIndexByte", "imageVerHigh",   "imageVerMid",
              "imageVerLow",  "fwVersion",   "dbIndex",        "dbVersion",      "voiceIndex",
              "voiceVersion", "imageIndex",  "imageVersion",   "plugged"})
            QVERIFY2(status.contains(QLatin1String(key)), key);
        QCOMPARE(status.value(QStringLiteral("plugged")).toBool(), true);
        QCOMPARE(status.value(QStringLiteral("hwId")).toInt(), 1);
        QCOMPARE(status.value(QStringLiteral("fwVersion")).toInt(), 8011);
        QCOMPARE(status.value(QStringLiteral("dbVersion")).toInt(), 81021);
        QCOMPARE(status.value(QStringLiteral("voiceVersion")).toInt(), 81001);
        QCOMPARE(status.value(QStringLiteral("check")).toObject(),
                 QJsonObject({{QStringLiteral("image"), true},
                              {QStringLiteral("db"), true},
                              {QStringLiteral("voice"), true}}));

        // Through the program's link.
        QVERIFY(Exchange("$BT"));
        QVERIFY(Control(socket, QStringLiteral("unplug")));
        QCOMPARE(UsbProbe(), kInvalidHandle);
        QCOMPARE(Status(socket).value(QStringLiteral("plugged")).toBool(), false);
        QVERIFY(Control(socket, QStringLiteral("boot on")));
        QVERIFY(Control(socket, QStringLiteral("plug")));
        QCOMPARE(Status(socket).value(QStringLiteral("bootMode")).toBool(), true);
        const auto identity = Exchange("$RH");
        QVERIFY(identity);
        QCOMPARE(identity->at(58), std::uint8_t{1});

        QVERIFY(Control(socket, QStringLiteral("fault write-fail")));
        BuildCommand("$BT", 0, 0, 1);
        QVERIFY(!UsbWritePacket());
        QCOMPARE(serve.stop(), 0);
    }
    QFile traceFile(trace);
    QVERIFY(traceFile.open(QIODevice::ReadOnly));
    QVERIFY(traceFile.readAll().contains("> 24425400"));

    // The button is part of the state that a restart keeps.
    ServeProcess again(socket, state, trace);
    QCOMPARE(Status(socket).value(QStringLiteral("bootButton")).toBool(), true);
    qunsetenv("TAVO_UNIT_SOCKET");
}

void TestUnitCli::controlFailures_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("serving");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown fault") << QStringLiteral("fault bogus") << true << 1
                                   << QStringLiteral("error: unknown fault 'bogus'\n");
    QTest::newRow("count on a one-shot fault")
        << QStringLiteral("fault nak 3") << true << 1
        << QStringLiteral("error: only unplug and write-fail take a count\n");
    QTest::newRow("unknown command")
        << QStringLiteral("jump") << true << 1 << QStringLiteral("error: unknown command 'jump'\n");
    QTest::newRow("no unit") << QStringLiteral("status") << false << 1 << QString();
    QTest::newRow("nothing to do") << QString() << true << 2 << QString();
}

void TestUnitCli::controlFailures()
{
    QFETCH(QString, command);
    QFETCH(bool, serving);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("unit.sock"));
    std::unique_ptr<ServeProcess> serve;
    if (serving)
        serve = std::make_unique<ServeProcess>(socket, dir.filePath(QStringLiteral("state")),
                                               dir.filePath(QStringLiteral("trace.txt")));
    QStringList arguments = {QStringLiteral("ctl"), QStringLiteral("--socket"), socket};
    if (!command.isEmpty())
        arguments += command.split(QLatin1Char(' '));
    const Result r = Run(arguments);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, QString());
    if (!message.isEmpty())
        QCOMPARE(r.err, message);
    if (!serving)
        QVERIFY(r.err.startsWith(QStringLiteral("tavo-unit: no unit at ") + socket));
}

void TestUnitCli::makeContent_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("fileSize");
    QTest::newRow("database") << QStringLiteral("--kind db --index 2 --version 090115 --size 1000")
                              << 0 << 1024;
    QTest::newRow("exact size") << QStringLiteral(
                                       "--kind voice --version 090101 --size 1000 --exact-size")
                                << 0 << 1000;
    QTest::newRow("firmware") << QStringLiteral("--kind firmware --version 8012 --size 65536") << 0
                              << 65536;
    QTest::newRow("unknown kind") << QStringLiteral("--kind map --version 090115 --size 64") << 2
                                  << -1;
    QTest::newRow("content version of four digits")
        << QStringLiteral("--kind db --version 8012 --size 64") << 2 << -1;
    QTest::newRow("index out of range")
        << QStringLiteral("--kind db --index 256 --version 090115 --size 64") << 2 << -1;
    QTest::newRow("larger than the image area")
        << QStringLiteral("--kind image --version 090101 --size 800000") << 1 << -1;
    QTest::newRow("size missing") << QStringLiteral("--kind db --version 090115") << 2 << -1;
}

void TestUnitCli::makeContent()
{
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(int, fileSize);
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("content.bin"));
    const Result r =
        Run(QStringList{QStringLiteral("make-content")} + arguments.split(QLatin1Char(' ')) +
            QStringList{QStringLiteral("-o"), output});
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(QFileInfo(output).exists() ? QFileInfo(output).size() : -1, qint64{fileSize});
    if (exitCode != 0)
        QVERIFY(r.err.startsWith(QStringLiteral("tavo-unit: make-content: ")));
}

void TestUnitCli::makeServer()
{
    QTemporaryDir dir;
    const Result r =
        Run({QStringLiteral("make-server"), dir.path(), QStringLiteral("--db-size"),
             QStringLiteral("4096"), QStringLiteral("--image-size"), QStringLiteral("1000")});
    QCOMPARE(r.exitCode, 0);

    QFile catalogue(dir.filePath(QStringLiteral("Tavo_VersionInfo.txt")));
    QVERIFY(catalogue.open(QIODevice::ReadOnly));
    const QByteArray text = catalogue.readAll();
    for (const char* line :
         {"[FW]\nVER_NUM=8012\n", "DB_NUM=3\n", "DB_FNAME01=090115_FRANCE\n", "VOICE_NUM=2\n",
          "IMAGE_FNAME00=090101_ENGLISH\n", "[LAGNUAGE]\n", "LANGUAGE_01_VO=090101_FRENCH\n"})
        QVERIFY2(text.contains(line), line);

    struct Expected
    {
        const char* path;
        tavo::ContentFileKind kind;
        int index;
        quint32 version;
        qint64 size;
    };
    const Expected files[] = {
        {"FW/TavoFw.bin", tavo::ContentFileKind::Firmware, 0, 8012, 65536},
        {"DB/090115_EUROPE.tbn", tavo::ContentFileKind::Db, 0, 90115, 4096},
        {"DB/090115_FRANCE.tbn", tavo::ContentFileKind::Db, 1, 90115, 4096},
        {"DB/090115_CHINA.tbn", tavo::ContentFileKind::Db, 2, 90115, 4096},
        {"Voice/090101_ENGLISH.vbn", tavo::ContentFileKind::Voice, 0, 90101, 128 * 1024},
        {"Voice/090101_FRENCH.vbn", tavo::ContentFileKind::Voice, 1, 90101, 128 * 1024},
        {"Image/090101_ENGLISH.ibn", tavo::ContentFileKind::Image, 0, 90101, 1024},
        {"Image/090101_FRENCH.ibn", tavo::ContentFileKind::Image, 1, 90101, 1024},
    };
    const QDir root(dir.filePath(QStringLiteral("down/fw/Tavo")));
    for (const Expected& e : files) {
        QFile file(root.filePath(QLatin1String(e.path)));
        QVERIFY2(file.open(QIODevice::ReadOnly), e.path);
        const QByteArray bytes = file.readAll();
        QCOMPARE(bytes.size(), e.size);
        tavo::ContentHeader header;
        QVERIFY(tavo::DecodeContentHeader(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                          header));
        QCOMPARE(header.kind, e.kind);
        QCOMPARE(int{header.index}, e.index);
        QCOMPARE(header.version, e.version);
    }
}

QTEST_GUILESS_MAIN(TestUnitCli)
#include "test_unit_cli.moc"
