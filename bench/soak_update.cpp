// The long run of the update wizard: many update runs of the real main sheet against a virtual
// unit served by its own process (tavo-unit serve) and an update tree on a local FTP server,
// with a random fault in most runs. scripts/soak.sh starts the unit and the server and runs
// this program (make soak).
//
//   soak_update --server-root DIR --server-url URL [--runs N] [--seed S]
//
// The unit is the one at TAVO_UNIT_SOCKET. Each run picks a fault (none, unplug after N
// packets, nak, short, stall then unplug, write-fail after N packets), arms it on the unit's
// control line, picks a database area, voice set and image set in the page's lists and presses
// UPDATE; the message boxes are answered by the recorder. Then the unit is unplugged and
// plugged in again (a unit that a cut firmware stream left in boot mode is first recovered
// through the recovery page) and the run is judged:
//  - completed (the completion notice, no error): the unit's own content check reports every
//    area intact, its areas and versions are the ones picked from the catalogue, "OnUpdate" is
//    0, and the next showing of the update page shows every kind current;
//  - cut (an error after the link check): "OnUpdate" is still 165, and the next showing
//    offers every kind again with the resume flag set, never one as current;
//  - refused (the link check failed): nothing was written, every kind is still offered.
// After each completed run the server moves to the other of two generations of content, so
// that every kind differs at the start of the next. The resident size of this process is read
// after every run; at the end it must be within 10 % of the size after run 10.
#include "TempHome.h"
#include "UpdateTestKit.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "platform/Delay.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"
#include "ui/MainSheet.h"
#include "update/CPage_Reset.h"
#include "update/CPage_Update.h"
#include "update/VersionCatalogue.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <tavo/ContentFile.h>
#include <tavo/UnitControl.h>
#include <thread>

namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

constexpr int kRunTimeoutMs = 60000;
constexpr int kPlugTimeoutMs = 20000;
constexpr int kDetectionEveryMs = 50;
// A user-interface thread that has not come back for this long has hung for good.
constexpr int kHungMs = 30000;

// The served content is small, so that a run's packets take well under a second.
constexpr std::uint32_t kDbSize = 64 * 1024;
constexpr std::uint32_t kVoiceSize = 32 * 1024;
constexpr std::uint32_t kImageSize = 16 * 1024;
constexpr std::uint32_t kFirmwareSize = 64 * 1024;
// Packets of a run that needs all four kinds: "$BT", the three streams with their opening
// packets, "$WB", and the firmware's opening packet and 1,024 data packets.
constexpr std::uint32_t kRunPackets =
    1 + (kDbSize + kVoiceSize + kImageSize) / 64 + 3 + 1 + 1 + kFirmwareSize / 64;

const std::array<const char*, 3> kDbAreas{"EUROPE", "FRANCE", "CHINA"};
const std::array<const char*, 2> kSets{"ENGLISH", "FRENCH"};
// Status labels of the update page per kind, in the order DB, voice, image, firmware.
constexpr std::array kStatusIds{1210, 1212, 1214, 1216};
constexpr std::array kListIds{1081, 1035, 1049};
constexpr int kUpdateButton = 1171;
constexpr int kRecoverButton = 1059;
constexpr int kTextCompleted = 37;
constexpr int kTextCurrent = 36;
constexpr int kTextNeedsUpdate = 147;

// Content versions of generation g: 090101 or 090201 for the three content kinds, firmware
// 8012 or 8013.
int ContentVersion(int generation)
{
    return 90101 + 100 * generation;
}
int FirmwareVersion(int generation)
{
    return 8012 + generation;
}
QString EntryName(int generation, const char* name)
{
    return QString::asprintf("%06d_%s", ContentVersion(generation), name);
}

enum class Fault
{
    None,
    Unplug,
    Nak,
    Short,
    Stall,
    WriteFail
};
constexpr std::array kFaultNames{"none", "unplug", "nak", "short", "stall", "write-fail"};

struct FaultPlan
{
    Fault kind = Fault::None;
    std::uint32_t afterPackets = 0; // unplug, write-fail: sets in after this many packets
    bool onWb = false;              // nak, short, stall: hits "$WB" rather than "$BT"

    const char* Name() const { return kFaultNames[static_cast<std::size_t>(kind)]; }
    bool OnAnswer() const
    {
        return kind == Fault::Nak || kind == Fault::Short || kind == Fault::Stall;
    }
    QString Describe() const
    {
        if (kind == Fault::Unplug || kind == Fault::WriteFail)
            return QStringLiteral("%1@%2").arg(QLatin1String(Name())).arg(afterPackets);
        if (OnAnswer())
            return QStringLiteral("%1@%2").arg(QLatin1String(Name()), onWb ? QStringLiteral("$WB")
                                                                           : QStringLiteral("$BT"));
        return QLatin1String(Name());
    }
};

enum class Outcome
{
    Completed,
    Cut,
    Refused
};

// Resident size of this process in KiB.
long ResidentKiB()
{
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

bool SendToUnit(const std::string& socket, const std::string& command,
                std::string* answer = nullptr)
{
    std::string text;
    std::string error;
    if (!tavo::SendControlLine(socket, command, text, &error)) {
        std::fprintf(stderr, "unit: %s: %s\n", command.c_str(), error.c_str());
        return false;
    }
    if (answer)
        *answer = text;
    return answer != nullptr || text.rfind("ok", 0) == 0;
}

// Pulls the cable of a unit whose answer the user-interface thread waits for in vain (the stall
// fault), as a user would; ends the program when that thread hangs for good. The thread beats
// through a timer of its event loop, which stops while it blocks in a read.
class Watchdog
{
public:
    explicit Watchdog(std::string socket)
        : m_socket(std::move(socket)), m_thread([this](std::stop_token stop) { Loop(stop); })
    {
    }
    void Beat() { m_lastBeat.store(NowMs()); }
    // Unplugs the unit once the thread has not beaten for ms.
    void ArmStall(int ms) { m_stallMs.store(ms); }
    void Disarm() { m_stallMs.store(-1); }

private:
    static qint64 NowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   SteadyClock::now().time_since_epoch())
            .count();
    }
    void Loop(const std::stop_token& stop)
    {
        while (!stop.stop_requested()) {
            std::this_thread::sleep_for(10ms);
            const qint64 silent = NowMs() - m_lastBeat.load();
            int stall = m_stallMs.load();
            if (stall >= 0 && silent > stall && m_stallMs.compare_exchange_strong(stall, -1))
                SendToUnit(m_socket, "unplug");
            if (silent > kHungMs) {
                std::fprintf(stderr, "FAIL: the user-interface thread hung for %d s\n",
                             kHungMs / 1000);
                std::_Exit(2);
            }
        }
    }

    std::string m_socket;
    std::atomic<qint64> m_lastBeat{NowMs()};
    std::atomic<int> m_stallMs{-1};
    std::jthread m_thread;
};

class Soak
{
public:
    Soak(QString serverRoot, QString serverUrl, std::uint64_t seed)
        : m_serverRoot(std::move(serverRoot)), m_serverUrl(std::move(serverUrl)), m_random(seed),
          m_socket(tavo::DefaultUnitSocketPath()), m_watchdog(m_socket)
    {
        QObject::connect(&m_beat, &QTimer::timeout, [this] { m_watchdog.Beat(); });
        m_beat.start(10);
    }
    ~Soak()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
    }
    Soak(const Soak&) = delete;
    Soak& operator=(const Soak&) = delete;

    bool Start();
    // One update run and its judgement; false on a failure (already reported).
    bool Run(int run);
    // The table of runs per fault and outcome, the failures and the memory; true when the
    // soak passed.
    bool Summary(int runs, std::uint64_t seed, double seconds) const;

private:
    bool Fail(const QString& what);
    bool Pump(const std::function<bool()>& done, int timeoutMs);
    bool WriteTree();
    bool Publish(int generation);
    FaultPlan PickFault();
    bool Arm(const FaultPlan& fault);
    bool CheckUnit();
    bool Replug();
    bool Recover();
    bool ShowUpdatePage();
    QString Shown() const;
    int OnUpdateValue() const;
    QPushButton* Button(CPropertyPage* page, int id) const;

    QString m_serverRoot;
    QString m_serverUrl;
    std::mt19937_64 m_random;
    std::string m_socket;
    Watchdog m_watchdog;
    QTimer m_beat;

    testsupport::TempHome m_home;
    QTemporaryDir m_work;
    platform::InstantDelay m_instantSplash;
    platform::MessageBoxRecorder m_boxes;
    // Ticks each download dialog every few milliseconds instead of every second.
    updatetest::DownloadStepper m_downloads;
    std::unique_ptr<CProptySheet> m_sheet;
    CPage_Update* m_update = nullptr;
    CPage_Reset* m_reset = nullptr;

    int m_generation = 0;
    std::array<int, 3> m_chosen{};
    // The stage timer's period in this run: its own 500 ms, or shorter, so that a stage may
    // start as soon as the previous one is done.
    int m_stagePeriodMs = 0;
    QString m_runName;

    // Runs per fault kind, by outcome.
    std::array<std::array<int, 3>, kFaultNames.size()> m_counts{};
    int m_recoveries = 0;
    int m_failures = 0;
    std::vector<long> m_resident;
};

bool Soak::Fail(const QString& what)
{
    ++m_failures;
    std::fprintf(stderr, "FAIL %s: %s\n", qPrintable(m_runName), qPrintable(what));
    return false;
}

// Runs the event loop until done, stepping the page's stage timer every m_stagePeriodMs and
// the sheet's detection timer every 50 ms, as their window timers would.
bool Soak::Pump(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    qint64 lastDetection = -kDetectionEveryMs;
    qint64 lastStage = 0;
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (m_update->Timers().IsActive(CPage_Update::kStageTimer) &&
            clock.elapsed() - lastStage >= m_stagePeriodMs) {
            lastStage = clock.elapsed();
            m_update->OnTimer(CPage_Update::kStageTimer);
        }
        if (clock.elapsed() - lastDetection >= kDetectionEveryMs) {
            lastDetection = clock.elapsed();
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// Both generations of every file; the firmware of each under its own name, since the server
// offers one firmware file only (Publish puts the current one in place).
bool Soak::WriteTree()
{
    const QDir tree(m_serverRoot + QStringLiteral("/down/fw/Tavo"));
    for (const char* folder : {"DB", "Voice", "Image", "FW"})
        if (!tree.mkpath(QLatin1String(folder)))
            return false;
    std::vector<std::pair<tavo::ContentFileSpec, QString>> files;
    for (int g = 0; g < 2; ++g) {
        const auto version = static_cast<std::uint32_t>(ContentVersion(g));
        for (std::size_t i = 0; i < kDbAreas.size(); ++i)
            files.push_back(
                {{tavo::ContentFileKind::Db, static_cast<std::uint8_t>(i), version, kDbSize, false},
                 QStringLiteral("DB/%1.tbn").arg(EntryName(g, kDbAreas[i]))});
        for (std::size_t i = 0; i < kSets.size(); ++i) {
            const auto index = static_cast<std::uint8_t>(i);
            files.push_back({{tavo::ContentFileKind::Voice, index, version, kVoiceSize, false},
                             QStringLiteral("Voice/%1.vbn").arg(EntryName(g, kSets[i]))});
            files.push_back({{tavo::ContentFileKind::Image, index, version, kImageSize, false},
                             QStringLiteral("Image/%1.ibn").arg(EntryName(g, kSets[i]))});
        }
        files.push_back({{tavo::ContentFileKind::Firmware, 0,
                          static_cast<std::uint32_t>(FirmwareVersion(g)), kFirmwareSize, false},
                         QStringLiteral("FW/TavoFw-%1.bin").arg(FirmwareVersion(g))});
    }
    for (const auto& [spec, path] : files) {
        std::string error;
        if (!tavo::SaveContentFile(spec, tree.filePath(path).toStdString(), &error)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), error.c_str());
            return false;
        }
    }
    return true;
}

// Offers generation g: its firmware on the server, its catalogue beside the program, read
// into the sheet as the sheet reads it at its start.
bool Soak::Publish(int generation)
{
    const QDir fw(m_serverRoot + QStringLiteral("/down/fw/Tavo/FW"));
    const QString served = fw.filePath(QStringLiteral("TavoFw.bin"));
    QFile::remove(served);
    if (!QFile::copy(fw.filePath(QStringLiteral("TavoFw-%1.bin").arg(FirmwareVersion(generation))),
                     served))
        return false;

    QString text = QStringLiteral("[FW]\nVER_NUM=%1\n\n[DB]\nDB_NUM=%2\n")
                       .arg(FirmwareVersion(generation))
                       .arg(kDbAreas.size());
    for (std::size_t i = 0; i < kDbAreas.size(); ++i)
        text += QString::asprintf("DB_FNAME%02zu=", i) + EntryName(generation, kDbAreas[i]) + u'\n';
    for (const char* section : {"VOICE", "IMAGE"}) {
        text += QStringLiteral("\n[%1]\n%1_NUM=%2\n").arg(QLatin1String(section)).arg(kSets.size());
        for (std::size_t i = 0; i < kSets.size(); ++i)
            text += QString::asprintf("%s_FNAME%02zu=", section, i) +
                    EntryName(generation, kSets[i]) + u'\n';
    }
    text += QStringLiteral("\n[LAGNUAGE]\nLANGUAGE_NUM=0\n");
    if (!updatetest::WriteFile(QLatin1String(kVersionCatalogueFileName), text.toLatin1()))
        return false;
    m_generation = generation;
    return !m_sheet || ReadVersionCatalogue(m_sheet->m_catalogue);
}

bool Soak::Start()
{
    if (!m_work.isValid() || !QDir::setCurrent(m_work.path()) || !WriteTree() || !Publish(0)) {
        std::fprintf(stderr, "cannot write the update tree under %s\n", qPrintable(m_serverRoot));
        return false;
    }
    updatetest::PrepareApp();
    updatetest::SetUpdateServer(m_serverUrl);

    m_runName = QStringLiteral("start");
    theApp().m_bConnected = 0;
    m_sheet = CreateMainSheet(theApp());
    m_sheet->Timers().SetManual(true);
    m_update = qobject_cast<CPage_Update*>(m_sheet->PageObject(CProptySheet::PageId::Update));
    m_reset = qobject_cast<CPage_Reset*>(m_sheet->PageObject(CProptySheet::PageId::Reset));
    m_update->Timers().SetManual(true);
    m_sheet->show();
    if (!Pump([this] { return theApp().m_bConnected && !m_sheet->m_bIdentityPending; },
              kPlugTimeoutMs))
        return Fail(QStringLiteral("the sheet does not find the unit"));
    return ShowUpdatePage() &&
           (Shown() == QLatin1String("NNNN") || Fail(QStringLiteral("shown ") + Shown()));
}

FaultPlan Soak::PickFault()
{
    FaultPlan fault;
    fault.kind = static_cast<Fault>(m_random() % kFaultNames.size());
    fault.afterPackets = 1 + static_cast<std::uint32_t>(m_random() % kRunPackets);
    fault.onWb = m_random() % 2 != 0;
    return fault;
}

// Arms the fault on the unit; an answer fault meant for "$WB" is armed only once the link
// check is behind (Run calls this again then).
bool Soak::Arm(const FaultPlan& fault)
{
    std::string command = std::string("fault ") + fault.Name();
    if (fault.kind == Fault::Unplug || fault.kind == Fault::WriteFail)
        command += ' ' + std::to_string(fault.afterPackets);
    if (fault.kind == Fault::Stall)
        m_watchdog.ArmStall(300 + static_cast<int>(m_random() % 300));
    return fault.kind == Fault::None || SendToUnit(m_socket, command) ||
           Fail(QStringLiteral("the unit refuses ") + QString::fromStdString(command));
}

QPushButton* Soak::Button(CPropertyPage* page, int id) const
{
    return page->findChild<QPushButton*>(QString::number(id));
}

int Soak::OnUpdateValue() const
{
    return theApp().GetProfileInt(CTavoApp::kProfileSection, QStringLiteral("OnUpdate"), -1);
}

// Each kind's status as shown: C current, N needs updating, ? neither text.
QString Soak::Shown() const
{
    QString shown;
    for (int id : kStatusIds) {
        const auto* label = m_update->findChild<QLabel*>(QString::number(id));
        const QString text = label ? label->text() : QString();
        shown += text == AppText(kTextCurrent)       ? u'C'
                 : text == AppText(kTextNeedsUpdate) ? u'N'
                                                     : u'?';
    }
    return shown;
}

// The unit's own view after a completed run: every area intact, and the areas and versions
// picked.
bool Soak::CheckUnit()
{
    std::string answer;
    if (!SendToUnit(m_socket, "status", &answer))
        return Fail(QStringLiteral("no status from the unit"));
    const QJsonObject status = QJsonDocument::fromJson(QByteArray::fromStdString(answer)).object();
    const QJsonObject check = status.value(QLatin1String("check")).toObject();
    const auto is = [&status](const char* key, int value) {
        return status.value(QLatin1String(key)).toInt(-1) == value;
    };
    const int version = ContentVersion(m_generation);
    if (!check.value(QLatin1String("db")).toBool() ||
        !check.value(QLatin1String("voice")).toBool() ||
        !check.value(QLatin1String("image")).toBool() ||
        !status.value(QLatin1String("firmwareIntact")).toBool() || !is("dbIndex", m_chosen[0]) ||
        !is("voiceIndex", m_chosen[1]) || !is("imageIndex", m_chosen[2]) ||
        !is("dbVersion", version) || !is("voiceVersion", version) || !is("imageVersion", version) ||
        !is("fwVersion", FirmwareVersion(m_generation)))
        return Fail(QStringLiteral("completed, but the unit reports ") +
                    QString::fromStdString(answer));
    return true;
}

// Out and in again: the sheet sees the unit go, then finds it and reads its identity.
bool Soak::Replug()
{
    if (!SendToUnit(m_socket, "fault clear") || !SendToUnit(m_socket, "unplug"))
        return Fail(QStringLiteral("the unit does not take unplug"));
    if (!Pump([] { return !theApp().m_bConnected; }, kPlugTimeoutMs))
        return Fail(QStringLiteral("the sheet does not see the unit unplugged"));
    if (!SendToUnit(m_socket, "plug"))
        return Fail(QStringLiteral("the unit does not take plug"));
    if (!Pump([this] { return theApp().m_bConnected && !m_sheet->m_bIdentityPending; },
              kPlugTimeoutMs))
        return Fail(QStringLiteral("the sheet does not find the unit again"));
    return true;
}

// A unit in boot mode gets its firmware back through the recovery page (Auto: from the server).
bool Soak::Recover()
{
    ++m_recoveries;
    m_sheet->SetActivePage(theApp().m_nPageReset);
    QCoreApplication::processEvents();
    QPushButton* button = Button(m_reset, kRecoverButton);
    if (!button || !button->isEnabled())
        return Fail(QStringLiteral("boot mode, and the recovery page's Update is not usable"));
    m_boxes.clear();
    button->click();
    if (!Pump([this] { return !m_sheet->m_bDeviceBusy.load() && !m_reset->WorkerRunning(); },
              kRunTimeoutMs))
        return Fail(QStringLiteral("the recovery does not end"));
    if (m_boxes.texts() != QStringList{AppText(kTextCompleted)})
        return Fail(QStringLiteral("the recovery shows ") +
                    m_boxes.texts().join(QStringLiteral(", ")));
    if (!Replug())
        return false;
    return !m_sheet->m_identity.bootMode ||
           Fail(QStringLiteral("still in boot mode after the recovery"));
}

bool Soak::ShowUpdatePage()
{
    if (theApp().m_nPageUpdate == CTavoApp::kNoPage)
        return Fail(QStringLiteral("no update page for the unit"));
    m_sheet->SetActivePage(theApp().m_nPageUpdate);
    QCoreApplication::processEvents();
    return m_update->isVisible() || Fail(QStringLiteral("the update page is not shown"));
}

bool Soak::Run(int run)
{
    const FaultPlan fault = PickFault();
    m_stagePeriodMs = std::array{0, 100, CPage_Update::kStagePeriodMs}[m_random() % 3];
    m_runName =
        QStringLiteral("run %1 (%2, %3 ms)").arg(run).arg(fault.Describe()).arg(m_stagePeriodMs);
    for (std::size_t i = 0; i < kListIds.size(); ++i) {
        m_chosen[i] = static_cast<int>(m_random() % (i == 0 ? kDbAreas.size() : kSets.size()));
        if (auto* list = m_update->findChild<QComboBox*>(QString::number(kListIds[i])))
            list->setCurrentIndex(m_chosen[i]);
    }
    if (Shown() != QLatin1String("NNNN"))
        return Fail(QStringLiteral("before UPDATE the page shows ") + Shown());

    m_boxes.clear();
    m_downloads.m_seen.clear();
    if (!(fault.OnAnswer() && fault.onWb) && !Arm(fault))
        return false;
    QPushButton* update = Button(m_update, kUpdateButton);
    if (!update || !update->isEnabled())
        return Fail(QStringLiteral("UPDATE is not usable"));
    const int onUpdateBefore = OnUpdateValue();
    update->click();
    const bool started = m_update->Timers().IsActive(CPage_Update::kStageTimer);
    if (started && fault.OnAnswer() && fault.onWb && !Arm(fault))
        return false;
    const bool ended = Pump(
        [this] {
            return !m_sheet->m_bDeviceBusy.load() && !m_update->WorkerRunning() &&
                   (m_update->Progress()->error.load() ||
                    !m_update->Timers().IsActive(CPage_Update::kStageTimer));
        },
        kRunTimeoutMs);
    m_watchdog.Disarm();
    if (!ended)
        return Fail(QStringLiteral("the run does not end"));

    const QStringList boxes = m_boxes.texts();
    const bool error = std::any_of(boxes.begin(), boxes.end(), [](const QString& text) {
        return text.startsWith(QLatin1String("Error["));
    });
    const bool notice = boxes.contains(AppText(kTextCompleted));
    if (!error && !(started && notice))
        return Fail(QStringLiteral("neither completed nor failed: ") +
                    boxes.join(QStringLiteral(", ")));
    const Outcome outcome = !started ? Outcome::Refused : error ? Outcome::Cut : Outcome::Completed;
    ++m_counts[static_cast<std::size_t>(fault.kind)][static_cast<std::size_t>(outcome)];

    const int onUpdate =
        theApp().GetProfileInt(CTavoApp::kProfileSection, QStringLiteral("OnUpdate"), -1);
    if (outcome == Outcome::Completed && onUpdate != 0)
        return Fail(QStringLiteral("completed with OnUpdate %1").arg(onUpdate));
    if (outcome == Outcome::Completed && !CheckUnit())
        return false;
    if (outcome == Outcome::Cut && onUpdate != CPage_Update::kRunUnderWay)
        return Fail(QStringLiteral("cut with OnUpdate %1").arg(onUpdate));
    if (outcome == Outcome::Refused && onUpdate != onUpdateBefore)
        return Fail(QStringLiteral("refused, and OnUpdate went from %1 to %2")
                        .arg(onUpdateBefore)
                        .arg(onUpdate));

    // The next showing of the page, as the user meets it after plugging the unit in again.
    if (!Replug() || (m_sheet->m_identity.bootMode && !Recover()) || !ShowUpdatePage())
        return false;
    const QString expected =
        outcome == Outcome::Completed ? QStringLiteral("CCCC") : QStringLiteral("NNNN");
    // A refused run changed nothing: the flag stays as an earlier cut run left it.
    const bool resumeRight =
        outcome == Outcome::Refused || m_update->IsResuming() == (outcome == Outcome::Cut);
    if (Shown() != expected || !resumeRight)
        return Fail(QStringLiteral("after the run (%1) the page shows %2, resume flag %3")
                        .arg(boxes.join(QStringLiteral(", ")), Shown())
                        .arg(m_update->IsResuming() ? 1 : 0));
    if (outcome == Outcome::Completed) {
        if (!Publish(1 - m_generation))
            return Fail(QStringLiteral("cannot publish the next generation"));
        m_update->RefreshNow();
    }

    for (const QFileInfo& file :
         QDir(testsupport::TempHome::documents()).entryInfoList(QDir::Files))
        QFile::remove(file.filePath());
    m_resident.push_back(ResidentKiB());
    std::printf("%-36s %-9s %-30s rss %ld KiB\n", qPrintable(m_runName),
                outcome == Outcome::Completed ? "completed"
                : outcome == Outcome::Cut     ? "cut"
                                              : "refused",
                qPrintable(boxes.join(QLatin1Char(' ')).left(30)), m_resident.back());
    std::fflush(stdout);
    return true;
}

bool Soak::Summary(int runs, std::uint64_t seed, double seconds) const
{
    std::printf("\nsoak: %d runs, seed %llu, %.0f s\n", runs, static_cast<unsigned long long>(seed),
                seconds);
    std::printf("%-12s %5s %10s %5s %8s\n", "fault", "runs", "completed", "cut", "refused");
    std::array<int, 3> total{};
    for (std::size_t f = 0; f < kFaultNames.size(); ++f) {
        const auto& c = m_counts[f];
        std::printf("%-12s %5d %10d %5d %8d\n", kFaultNames[f], c[0] + c[1] + c[2], c[0], c[1],
                    c[2]);
        for (std::size_t o = 0; o < total.size(); ++o)
            total[o] += c[o];
    }
    std::printf("%-12s %5d %10d %5d %8d\n", "all", total[0] + total[1] + total[2], total[0],
                total[1], total[2]);
    std::printf("recoveries through the recovery page: %d\n", m_recoveries);
    std::printf("failures: %d\n", m_failures);
    if (m_resident.empty())
        return false;
    const std::size_t early = std::min<std::size_t>(10, m_resident.size()) - 1;
    const double ratio =
        static_cast<double>(m_resident.back()) / static_cast<double>(m_resident[early]);
    std::printf("rss run %zu: %ld KiB, run %zu: %ld KiB, ratio %.3f (at most 1.10)\n", early + 1,
                m_resident[early], m_resident.size(), m_resident.back(), ratio);
    return m_failures == 0 && static_cast<int>(m_resident.size()) == runs && ratio <= 1.10;
}

// Drops the offscreen platform's notes on what it cannot do (size hints, masks, raising).
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    qInstallMessageHandler(QuietHandler);
    const QStringList args = QCoreApplication::arguments();
    const auto option = [&args](const QString& name, const QString& fallback) {
        const qsizetype at = args.indexOf(name);
        return at > 0 && at + 1 < args.size() ? args[at + 1] : fallback;
    };
    const QString root = option(QStringLiteral("--server-root"), {});
    const QString url = option(QStringLiteral("--server-url"), {});
    const int runs = option(QStringLiteral("--runs"), QStringLiteral("200")).toInt();
    const std::uint64_t seed =
        option(QStringLiteral("--seed"),
               QString::number(SteadyClock::now().time_since_epoch().count() % 1000000))
            .toULongLong();
    if (root.isEmpty() || url.isEmpty() || runs < 1) {
        std::fprintf(stderr, "usage: soak_update --server-root DIR --server-url URL [--runs N] "
                             "[--seed S]\n");
        return 2;
    }
    std::printf("soak: seed %llu, %d runs (repeat with --seed %llu)\n",
                static_cast<unsigned long long>(seed), runs, static_cast<unsigned long long>(seed));

    const auto started = SteadyClock::now();
    Soak soak(root, url, seed);
    if (!soak.Start())
        return 1;
    for (int run = 1; run <= runs; ++run)
        if (!soak.Run(run))
            break;
    const std::chrono::duration<double> seconds = SteadyClock::now() - started;
    return soak.Summary(runs, seed, seconds.count()) ? 0 : 1;
}
