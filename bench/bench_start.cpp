// The program's start as a user meets it: the real start-up with the web engine's browser
// control, the splash screen's hold of 3 s and the Connection page loading the product page
// (res/web) from a local HTTP server. Prints the time from the process's start until the
// sheet's window is shown and takes events ("start-to-usable-ms"), until the page has loaded,
// then, with the page loaded and the window idle, the memory of the program and its web
// engine processes together and their processor use over 10 s. Runs on the display it finds
// (the offscreen platform without one).
#include "ServerProcess.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "ui/CExplorer_con.h"
#include "ui/CProptySheet.h"
#include "ui/MainSheet.h"
#include "ui/WebEngineControl.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

constexpr int kIdleSeconds = 10;

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

// This process and every process below it, but the product page's server (not the program's).
QList<qint64> ProcessTree(qint64 server)
{
    QList<qint64> tree{getpid()};
    bool grew = true;
    while (grew) {
        grew = false;
        for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            bool isPid = false;
            const qint64 pid = entry.toLongLong(&isPid);
            if (!isPid || pid == server || tree.contains(pid))
                continue;
            if (tree.contains(StatFields(pid).value(1).toLongLong())) {
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

// Resident and proportional memory of the tree in MiB.
std::pair<double, double> Memory(const QList<qint64>& tree)
{
    double rss = 0;
    double pss = 0;
    for (qint64 pid : tree) {
        QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (parts.size() >= 2 && parts[0] == "Rss:")
                rss += parts[1].toDouble() / 1024.0;
            else if (parts.size() >= 2 && parts[0] == "Pss:")
                pss += parts[1].toDouble() / 1024.0;
        }
    }
    return {rss, pss};
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareWebEngine();
    QApplication application(argc, argv);
    CExplorer_con::RegisterControl(CreateWebEngineControl);

    QTemporaryDir profile;
    QTemporaryDir work;
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, profile.path());
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

    const double started = ProcessStartMs();
    double usable = 0;
    double loaded = 0;
    int result = 0;
    StartupOptions options;
    options.workingDirectory = work.path();
    options.profileApplication = QStringLiteral("bench_start");
    options.runSheet = [&](CTavoApp& app) {
        const std::unique_ptr<CProptySheet> sheet = CreateMainSheet(app);
        sheet->SetActivePage(app.m_nPageConnect);
        const auto report = [&] {
            // Settled first, then measured over the idle window.
            QTimer::singleShot(2000, sheet.get(), [&] {
                const QList<qint64> tree = ProcessTree(server.processId());
                const auto [rss, pss] = Memory(tree);
                const double ticks = CpuTicks(tree);
                QTimer::singleShot(kIdleSeconds * 1000, sheet.get(), [&, tree, rss, pss, ticks] {
                    const double cpu = (CpuTicks(tree) - ticks) /
                                       static_cast<double>(sysconf(_SC_CLK_TCK)) / kIdleSeconds *
                                       100.0;
                    std::printf("platform %s\n", qPrintable(QApplication::platformName()));
                    std::printf("start-to-usable-ms %.0f (splash hold %d)\n", usable,
                                CProptySheet::kSplashHoldMs);
                    std::printf("page-loaded-ms %.0f\n", loaded);
                    std::printf("processes %lld\n", static_cast<long long>(tree.size()));
                    std::printf("memory-rss-mib %.0f\n", rss);
                    std::printf("memory-pss-mib %.0f\n", pss);
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
                watching = true;
                QWebEngineView* engine = static_cast<WebEngineControl*>(view->Control())->View();
                QObject::connect(engine, &QWebEngineView::loadFinished, sheet.get(), [&](bool ok) {
                    if (loaded != 0)
                        return;
                    loaded = BootMs() - started;
                    result = ok ? 0 : 1;
                });
            }
            // The detection timer starts right after the splash's hold.
            if (usable == 0 && sheet->Timers().IsActive(CProptySheet::kDetectionTimer) &&
                sheet->windowHandle()->isExposed())
                usable = BootMs() - started;
            if (usable != 0 && loaded != 0) {
                look.stop();
                report();
            }
        });
        look.start();
        sheet->exec();
        app.m_pSheet = nullptr;
    };
    theApp().InitInstance(options);
    return result;
}
