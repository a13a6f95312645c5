// The program's start as a user meets it: the real start-up with the web engine's browser
// control (loaded as the program loads it), the splash screen's hold of 3 s and the
// Connection page loading the product page (res/web) from a local HTTP server. Prints the time
// from the process's start until the sheet's window is shown and takes events
// ("start-to-usable-ms"), until the page has loaded, then, with the page loaded and the window
// idle, the memory of the program and each of its web engine processes and their processor use
// over 10 s. Runs on the display it finds (the offscreen platform without one).
//
// The measured start is a process of its own (this program again, with "--start"), so that
// starting the HTTP server is not part of it.
#include "ServerProcess.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "ui/CExplorer_con.h"
#include "ui/CProptySheet.h"
#include "ui/MainSheet.h"
#include "ui/WebEngine.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

constexpr int kIdleSeconds = 10;
constexpr int kSettleMs = 2000;

// Milliseconds since boot, on the clock of the processes' start times.
double BootMs()
{
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) * 1000.0 + static_cast<double>(now.tv_nsec) / 1e6;
}

QStringList StatFields(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString line = QString::fromLatin1(file.readAll());
    // The command name may hold spaces: the fields after it start behind its ')'.
    return line.mid(line.lastIndexOf(QLatin1Char(')')) + 2).split(QLatin1Char(' '));
}

// Milliseconds since boot at which this process started (field 22, in clock ticks).
double ProcessStartMs()
{
    return StatFields(getpid()).value(19).toDouble() * 1000.0 /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// This process and every process below it.
QList<qint64> ProcessTree()
{
    QList<qint64> tree{getpid()};
    bool grew = true;
    while (grew) {
        grew = false;
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool isPid = false;
            const qint64 pid = entry.toLongLong(&isPid);
            if (isPid && !tree.contains(pid) &&
                tree.contains(StatFields(pid).value(1).toLongLong())) {
                tree << pid;
                grew = true;
            }
        }
    }
    return tree;
}

// Processor time of the tree in clock ticks (user and system).
double CpuTicks(const QList<qint64>& tree)
{
    double ticks = 0;
    for (qint64 pid : tree) {
        const QStringList fields = StatFields(pid);
        ticks += fields.value(11).toDouble() + fields.value(12).toDouble();
    }
    return ticks;
}

// Resident and proportional memory of a process in MiB.
std::pair<double, double> Memory(qint64 pid)
{
    double rss = 0;
    double pss = 0;
    QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 2 && parts[0] == "Rss:")
            rss = parts[1].toDouble() / 1024.0;
        else if (parts.size() >= 2 && parts[0] == "Pss:")
            pss = parts[1].toDouble() / 1024.0;
    }
    return {rss, pss};
}

// What a process of the tree is: "program", or the web engine's process type.
QByteArray ProcessKind(qint64 pid)
{
    if (pid == getpid())
        return "program";
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    for (const QByteArray& argument : file.readAll().split('\0'))
        if (argument.startsWith("--type="))
            return argument.mid(7);
    return "?";
}

// The physical pages resident in any process of the tree, each counted once, in MiB: memory
// the tree holds whatever else maps the same libraries (which lowers their share, PSS). Reads
// the page frame numbers of /proc/PID/pagemap, which only root sees; -1 otherwise.
double DistinctMemory(const QList<qint64>& tree)
{
    constexpr quint64 kPresent = 1ULL << 63;
    constexpr quint64 kFrameMask = (1ULL << 55) - 1;
    const qint64 pageSize = sysconf(_SC_PAGESIZE);
    QSet<quint64> frames;
    for (qint64 pid : tree) {
        QFile smaps(QStringLiteral("/proc/%1/smaps").arg(pid));
        QFile pagemap(QStringLiteral("/proc/%1/pagemap").arg(pid));
        if (!smaps.open(QIODevice::ReadOnly) || !pagemap.open(QIODevice::ReadOnly))
            continue;
        quint64 start = 0;
        quint64 end = 0;
        // Only the mappings with resident pages: the engine reserves gigabytes it never uses.
        for (const QByteArray& line : smaps.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.value(0).contains('-') && !parts.value(0).endsWith(':')) {
                const QList<QByteArray> range = parts[0].split('-');
                start = range.value(0).toULongLong(nullptr, 16);
                end = range.value(1).toULongLong(nullptr, 16);
            } else if (parts.value(0) == "Rss:" && parts.value(1) != "0") {
                pagemap.seek(static_cast<qint64>(start / pageSize * 8));
                const QByteArray entries =
                    pagemap.read(static_cast<qint64>((end - start) / pageSize * 8));
                for (qsizetype i = 0; i + 8 <= entries.size(); i += 8) {
                    quint64 entry = 0;
                    std::memcpy(&entry, entries.constData() + i, 8);
                    if ((entry & kPresent) && (entry & kFrameMask))
                        frames.insert(entry & kFrameMask);
                }
            }
        }
    }
    return frames.isEmpty() ? -1 : static_cast<double>(frames.size()) * pageSize / 1048576.0;
}

// Prints the memory of every process of the tree and of all together.
void PrintMemory(const QList<qint64>& tree)
{
    double rss = 0;
    double pss = 0;
    for (qint64 pid : tree) {
        const auto [processRss, processPss] = Memory(pid);
        std::printf("memory %-9s rss %4.0f MiB  pss %4.0f MiB\n", ProcessKind(pid).constData(),
                    processRss, processPss);
        rss += processRss;
        pss += processPss;
    }
    std::printf("processes %lld\n", static_cast<long long>(tree.size()));
    std::printf("memory-rss-mib %.0f\n", rss);
    std::printf("memory-pss-mib %.0f\n", pss);
    std::printf("memory-distinct-mib %.0f\n", DistinctMemory(tree));
}

// Notes when the web engine's view has loaded its page. The view is the engine's own class,
// reached through its meta-object: this program does not link the engine either.
class LoadWatch final : public QObject
{
    Q_OBJECT

public:
    double m_loadedMs = 0;
    bool m_ok = false;
    double m_started = 0;

public slots:
    void OnLoadFinished(bool ok)
    {
        if (m_loadedMs != 0)
            return;
        m_loadedMs = BootMs() - m_started;
        m_ok = ok;
    }
};

// The measured start, in a folder with the UI texts and a profile whose WebHost is the
// product page's server.
int RunStart(int argc, char* argv[], const QString& profileDir, const QString& workDir)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareWebEngine();
    QApplication application(argc, argv);
    CExplorer_con::RegisterControl(LoadWebEngineControl);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profileDir);

    LoadWatch watch;
    watch.m_started = ProcessStartMs();
    double usable = 0;
    StartupOptions options;
    options.workingDirectory = workDir;
    options.profileApplication = QStringLiteral("bench_start");
    options.runSheet = [&](CTavoApp& app) {
        const std::unique_ptr<CProptySheet> sheet = CreateMainSheet(app);
        sheet->SetActivePage(app.m_nPageConnect);
        const auto report = [&] {
            QTimer::singleShot(kSettleMs, sheet.get(), [&] {
                const QList<qint64> tree = ProcessTree();
                std::printf("platform %s\n", qPrintable(QApplication::platformName()));
                std::printf("start-to-usable-ms %.0f (splash hold %d)\n", usable,
                            CProptySheet::kSplashHoldMs);
                std::printf("page-loaded-ms %.0f%s\n", watch.m_loadedMs,
                            watch.m_ok ? "" : " (failed)");
                PrintMemory(tree);
                // Counted from here: reading the processes' memory maps takes time too.
                const double ticks = CpuTicks(tree);
                QTimer::singleShot(kIdleSeconds * 1000, sheet.get(), [&, tree, ticks] {
                    const double cpu = (CpuTicks(tree) - ticks) /
                                       static_cast<double>(sysconf(_SC_CLK_TCK)) / kIdleSeconds *
                                       100.0;
                    std::printf("idle-cpu-percent %.2f (over %d s)\n", cpu, kIdleSeconds);
                    sheet->close();
                });
            });
        };
        // Looks on every turn of the event loop (the splash's hold included) for the web
        // engine's view, then for the sheet's window shown and taking events.
        QTimer look;
        look.setInterval(0);
        bool watching = false;
        QObject::connect(&look, &QTimer::timeout, sheet.get(), [&] {
            auto* view = sheet->findChild<CExplorer_con*>(QStringLiteral("1031"));
            if (!watching && view && view->Control()) {
                for (QWidget* child : view->Control()->findChildren<QWidget*>())
                    if (child->inherits("QWebEngineView"))
                        watching = QObject::connect(child, SIGNAL(loadFinished(bool)), &watch,
                                                    SLOT(OnLoadFinished(bool)));
            }
            // The detection timer starts right after the splash's hold.
            if (usable == 0 && sheet->Timers().IsActive(CProptySheet::kDetectionTimer) &&
                sheet->windowHandle()->isExposed())
                usable = BootMs() - watch.m_started;
            if (usable != 0 && watch.m_loadedMs != 0) {
                look.stop();
                report();
            }
        });
        look.start();
        sheet->exec();
        app.m_pSheet = nullptr;
    };
    theApp().InitInstance(options);
    std::fflush(stdout);
    return watch.m_ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--start") == 0)
        return RunStart(1, argv, QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));

    QCoreApplication application(argc, argv);
    QTemporaryDir profile;
    QTemporaryDir work;
    QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Tavo_UIText.txt"),
                work.filePath(QStringLiteral("Tavo_UIText.txt")));
    testsupport::HttpServer server(QStringLiteral(TAVO_SOURCE_DIR "/res/web"));
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    {
        QSettings ini(profile.filePath(QStringLiteral("Ostrel updater/bench_start.ini")),
                      QSettings::IniFormat);
        ini.setValue(QStringLiteral("Tavo_Config/WebHost"), server.host());
    }
    QProcess start;
    start.setProcessChannelMode(QProcess::ForwardedChannels);
    start.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--start"), profile.path(), work.path()});
    if (!start.waitForFinished(-1) || start.exitStatus() != QProcess::NormalExit)
        return 1;
    return start.exitCode();
}

#include "bench_start.moc"
