// The update wizard page against an in-process virtual unit (its packet trace) and a real FTP
// server on 127.0.0.1. The stage timer is stepped through OnTimer; each download dialog is
// ticked by a stepper instead of its one-second timer.

#include "FtpServer.h"
#include "PageTestKit.h"
#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "link/DeviceIdentity.h"
#include "link/SheetState.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"
#include "update/CPage_Update.h"
#include "update/VersionCatalogue.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <tavo/ContentFile.h>

using namespace pagetest;
using namespace Qt::StringLiterals;

namespace {

constexpr int kStageTimer = CPage_Update::kStageTimer;
const QColor kGreen(0, 176, 80);
const QColor kOrange(255, 140, 0);

// The files the test server offers, by their path under the base directory.
struct Served
{
    const char* path;
    int size;
};
const Served kServed[] = {
    {"/DB/090115_EUROPE.tbn", 1000},   {"/DB/090115_FRANCE.tbn", 1280},
    {"/DB/090115_CHINA.tbn", 640},     {"/Voice/090101_ENGLISH.vbn", 640},
    {"/Voice/090101_FRENCH.vbn", 704}, {"/Image/090101_ENGLISH.ibn", 200},
    {"/Image/090101_FRENCH.ibn", 256}, {"/FW/TavoFw.bin", 2000},
};

VersionCatalogue DefaultCatalogue()
{
    VersionCatalogue c;
    c.fwVersion = QStringLiteral("8012");
    c.dbCount = QStringLiteral("3");
    c.dbNames[0] = QStringLiteral("090115_EUROPE");
    c.dbNames[1] = QStringLiteral("090115_FRANCE");
    c.dbNames[2] = QStringLiteral("090115_CHINA");
    c.voiceCount = QStringLiteral("2");
    c.voiceNames[0] = QStringLiteral("090101_ENGLISH");
    c.voiceNames[1] = QStringLiteral("090101_FRENCH");
    c.imageCount = QStringLiteral("2");
    c.imageNames[0] = QStringLiteral("090101_ENGLISH");
    c.imageNames[1] = QStringLiteral("090101_FRENCH");
    return c;
}

// A unit in agreement with DefaultCatalogue for all four kinds.
DeviceIdentity CurrentIdentity()
{
    DeviceIdentity id;
    id.dbIndex = 0;
    id.dbVersion = 90115;
    id.voiceIndex = 0;
    id.voiceVersion = 90101;
    id.imageIndex = 0;
    id.imageVersion = 90101;
    id.fwVersion = 8012;
    return id;
}

// Per kind, in the order DB, voice, image, firmware.
const int kStatusIds[] = {1210, 1212, 1214, 1216};
const int kIconIds[] = {1209, 1211, 1213, 1215};

// The update tree and catalogue of the virtual unit's own tool, served for real, with content
// newer than a fresh unit holds. While it lives the working directory is the tree's root,
// where the main sheet reads the catalogue.
class ServedTree
{
public:
    ServedTree() : m_server(m_root.path()) {}
    ~ServedTree()
    {
        if (!m_previousDir.isEmpty())
            QDir::setCurrent(m_previousDir);
    }
    ServedTree(const ServedTree&) = delete;
    ServedTree& operator=(const ServedTree&) = delete;

    // Writes the tree, starts its server, points "UpdateServer" at it and enters the root.
    bool Start(QString* error)
    {
        tavo::UpdateServerSizes sizes;
        sizes.db = 16 * 1024;
        sizes.voice = 8 * 1024;
        sizes.image = 4 * 1024;
        std::string written;
        if (!tavo::WriteUpdateServer(m_root.path().toStdString(), sizes, &written)) {
            *error = QString::fromStdString(written);
            return false;
        }
        if (!m_server.start(error))
            return false;
        SetUpdateServer(m_server.url(QStringLiteral("/down/fw/Tavo")));
        m_previousDir = QDir::currentPath();
        return QDir::setCurrent(m_root.path());
    }

private:
    QTemporaryDir m_root;
    testsupport::FtpServer m_server;
    QString m_previousDir;
};

} // namespace

Q_DECLARE_METATYPE(ContentKind)

class TestUpdateWizard final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void controls();
    void versionStatus_data();
    void versionStatus();
    void refusedRun_data();
    void refusedRun();
    void onlyDbDiffers();
    void otherEntryPicked_data();
    void otherEntryPicked();
    void entryWithoutCatalogueName_data();
    void entryWithoutCatalogueName();
    void downloadFailureStopsThePlan_data();
    void downloadFailureStopsThePlan();
    void firmwareStage();
    void faultAtEachStage_data();
    void faultAtEachStage();
    void interruptedRunIsRedoneInFull();
    void pageGoneBeforeFirmwareEnds();
    void runEndsWhileTheNoticeIsOpen_data();
    void runEndsWhileTheNoticeIsOpen();
    void pageRemovedDuringADownload();
    void wholeRunThenReplug();

private:
    void OpenPage();
    QString BaseDir() const { return m_serverRoot.filePath(QStringLiteral("down/fw/Tavo")); }
    QByteArray ServedBytes(const QString& path) const;
    template <typename T = QWidget> T* Control(int id) const
    {
        return m_page->findChild<T*>(QString::number(id));
    }
    QString Status() const { return Control<QLabel>(1181)->text(); }
    QString StepText() const { return Control<QLabel>(1176)->text(); }
    bool UpdateEnabled() const { return Control<QPushButton>(1171)->isEnabled(); }
    // Ticks the stage timer once and waits for the worker it may have started.
    void Tick();
    // Ticks until the timer stops or maxTicks ticks; returns the number of ticks.
    int RunStages(int maxTicks = 12);
    // Ticks until kind's stage is about to start (the stages before it have ended).
    void RunUntilStage(ContentKind kind);
    // Lets the sheet find the unit and read its identity, and shows its update page, whose
    // timers then only tick when a test steps them.
    static CPage_Update* ConnectSheet(CProptySheet& sheet);
    Packets Sent() const { return m_unit->sentPackets(); }

    std::unique_ptr<testsupport::TempHome> m_home;
    QTemporaryDir m_serverRoot;
    std::unique_ptr<testsupport::FtpServer> m_server;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<SheetState> m_state;
    VersionCatalogue m_catalogue;
    QPointer<CPage_Update> m_page;
};

void TestUpdateWizard::initTestCase()
{
    m_home = std::make_unique<testsupport::TempHome>();
    for (const char* folder : {"DB", "Voice", "Image", "FW"})
        QVERIFY(QDir(BaseDir()).mkpath(QLatin1String(folder)));
    std::uint32_t seed = 1;
    for (const Served& f : kServed)
        QVERIFY(WriteFile(BaseDir() + QLatin1String(f.path), PatternBytes(f.size, seed++)));
    m_server = std::make_unique<testsupport::FtpServer>(m_serverRoot.path());
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
}

void TestUpdateWizard::init()
{
    PrepareApp();
    SetUpdateServer(m_server->url(QStringLiteral("/down/fw/Tavo")));
    m_unit = std::make_unique<testsupport::UnitFixture>();
    m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    m_state = std::make_unique<SheetState>();
    m_state->m_identity = CurrentIdentity();
    // What the main sheet does: every flag change re-applies the enable rule on the
    // user-interface thread.
    m_state->SetFlagsChangedHandler([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_page)
                    m_page->ApplyEnableRule();
            },
            Qt::QueuedConnection);
    });
    m_catalogue = DefaultCatalogue();
}

void TestUpdateWizard::cleanup()
{
    if (m_page) {
        QVERIFY(QTest::qWaitFor([this] { return !m_page->WorkerRunning(); }, 20000));
        delete m_page.data();
    }
    // Work a worker posted to the user-interface thread runs before the state goes.
    QCoreApplication::processEvents();
    m_state->SetFlagsChangedHandler({});
    m_state.reset();
    m_boxes.reset();
    m_unit.reset();
}

void TestUpdateWizard::OpenPage()
{
    m_page = new CPage_Update(*m_state, m_catalogue);
    m_page->Timers().SetManual(true);
    m_page->show();
    QVERIFY(m_page->IsInitialised());
}

QByteArray TestUpdateWizard::ServedBytes(const QString& path) const
{
    QFile file(BaseDir() + path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TestUpdateWizard::Tick()
{
    m_page->OnTimer(kStageTimer);
    QVERIFY(QTest::qWaitFor([this] { return !m_page || !m_page->WorkerRunning(); }, 20000));
    // Lets what the worker posted run (the firmware worker's last steps, the enable rule).
    QCoreApplication::processEvents();
}

int TestUpdateWizard::RunStages(int maxTicks)
{
    int ticks = 0;
    while (m_page && m_page->Timers().IsActive(kStageTimer) && ticks < maxTicks) {
        Tick();
        ++ticks;
    }
    return ticks;
}

void TestUpdateWizard::RunUntilStage(ContentKind kind)
{
    for (int ticks = 0; ticks < 12; ++ticks) {
        bool before = true;
        for (ContentKind earlier : kAllContentKinds) {
            if (earlier == kind)
                break;
            before = before && m_page->Progress()->IsDone(earlier);
        }
        if (before)
            return;
        Tick();
    }
    QFAIL("the stages before the one asked for did not end");
}

CPage_Update* TestUpdateWizard::ConnectSheet(CProptySheet& sheet)
{
    sheet.Timers().SetManual(true);
    sheet.show();
    // Connect, then read the identity and build the page set.
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    auto* page = qobject_cast<CPage_Update*>(sheet.Page(CProptySheet::PageId::Update));
    if (!page)
        return nullptr;
    page->Timers().SetManual(true);
    sheet.SetActivePage(theApp().m_nPageUpdate);
    return page->isVisible() ? page : nullptr;
}

void TestUpdateWizard::controls()
{
    // More areas than the text names: GetSlashItem gives the last name again.
    m_catalogue.dbCount = QStringLiteral("5");
    m_state->m_identity.dbIndex = 4;
    OpenPage();
    const int ids[] = {1161, 1162, 1163, 1165, 1167, 1169, 1081, 1035, 1049, 1177,
                       1178, 1179, 1180, 1209, 1210, 1211, 1212, 1213, 1214, 1215,
                       1216, 1205, 1206, 1207, 1208, 1171, 1023, 1176, 1181};
    for (int id : ids)
        QVERIFY2(Control(id), qPrintable(QString::number(id)));

    // Automatic is the only mode: the manual button is there, disabled and never selected.
    QCOMPARE(Control<QRadioButton>(1161)->text(), UiText(9));
    QVERIFY(Control<QRadioButton>(1161)->isChecked());
    QCOMPARE(Control<QRadioButton>(1162)->text(), UiText(10));
    QVERIFY(!Control<QRadioButton>(1162)->isEnabled());
    QTest::mouseClick(Control<QRadioButton>(1162), Qt::LeftButton);
    QVERIFY(!Control<QRadioButton>(1162)->isChecked());
    QVERIFY(Control<QRadioButton>(1161)->isChecked());

    const auto items = [this](int id) {
        auto* list = Control<QComboBox>(id);
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        return texts;
    };
    QCOMPARE(items(1081),
             (QStringList{u"EUROPE"_s, u"FRANCE"_s, u"CHINA"_s, u"UNKNOWN"_s, u"UNKNOWN"_s}));
    QCOMPARE(Control<QComboBox>(1081)->currentIndex(), 4);
    QCOMPARE(items(1035), (QStringList{u"ENGLISH-voice"_s, u"FRENCH-woman voice"_s}));
    QCOMPARE(items(1049), (QStringList{u"ENGHISH-image"_s, u"FRENCH-image"_s}));
    // Each refresh fills the lists anew, not on top of what they hold.
    m_page->RefreshNow();
    QCOMPARE(Control<QComboBox>(1081)->count(), 5);

    QCOMPARE(Control<QPushButton>(1171)->text(), UiText(13));
    QVERIFY(UpdateEnabled());
    QCOMPARE(Control<QLabel>(1178)->text(), UiText(16) + QStringLiteral("090101"));
    QCOMPARE(Control<QLabel>(1179)->text(), UiText(18) + QStringLiteral("090101"));
    QCOMPARE(Control<QLabel>(1180)->text(), UiText(20) + QStringLiteral("008012"));

    // The illustrations are four different pictures, the status icons 32 x 32.
    QList<QImage> pictures;
    for (int id : {1205, 1206, 1207, 1208}) {
        const QImage image = Control<QLabel>(id)->pixmap().toImage();
        QVERIFY(!image.isNull());
        for (const QImage& other : pictures)
            QVERIFY(image != other);
        pictures << image;
    }
    QCOMPARE(Control<QLabel>(1209)->pixmap().size(), QSize(32, 32));
}

void TestUpdateWizard::versionStatus_data()
{
    QTest::addColumn<int>("dbIndex");
    QTest::addColumn<int>("dbVersion");
    QTest::addColumn<int>("voiceVersion");
    QTest::addColumn<int>("imageIndex");
    QTest::addColumn<int>("fwVersion");
    QTest::addColumn<QString>("catalogueFw");
    QTest::addColumn<QString>("catalogueDb0");
    // Per kind, DB, voice, image, firmware: C current, N needs updating.
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("dbLabel");

    const QString fw = QStringLiteral("8012");
    const QString db0 = QStringLiteral("090115_EUROPE");
    QTest::newRow("all current") << 0 << 90115 << 90101 << 0 << 8012 << fw << db0 << "CCCC"
                                 << "090115";
    QTest::newRow("older database") << 0 << 81021 << 90101 << 0 << 8012 << fw << db0 << "NCCC"
                                    << "081021";
    QTest::newRow("newer voice on the unit")
        << 0 << 90115 << 90102 << 0 << 8012 << fw << db0 << "CNCC"
        << "090115";
    QTest::newRow("image set past the count")
        << 0 << 90115 << 90101 << 2 << 8012 << fw << db0 << "CCNC"
        << "090115";
    QTest::newRow("area past the 50 entries")
        << 60 << 90115 << 90101 << 0 << 8012 << fw << db0 << "NCCC"
        << "090115";
    QTest::newRow("firmware 0102 against 102")
        << 0 << 90115 << 90101 << 0 << 102 << "0102" << db0 << "CCCC"
        << "090115";
    QTest::newRow("firmware 0102 against 103")
        << 0 << 90115 << 90101 << 0 << 103 << "0102" << db0 << "CCCN"
        << "090115";
    QTest::newRow("name shorter than a version") << 0 << 901 << 90101 << 0 << 8012 << fw << "0901"
                                                 << "NCCC"
                                                 << "000901";
    QTest::newRow("negative version") << 0 << -2080000 << 90101 << 0 << 8012 << fw << db0 << "NCCC"
                                      << "-2080000";
}

void TestUpdateWizard::versionStatus()
{
    QFETCH(int, dbIndex);
    QFETCH(int, dbVersion);
    QFETCH(int, voiceVersion);
    QFETCH(int, imageIndex);
    QFETCH(int, fwVersion);
    QFETCH(QString, catalogueFw);
    QFETCH(QString, catalogueDb0);
    QFETCH(QString, expected);
    QFETCH(QString, dbLabel);

    DeviceIdentity& id = m_state->m_identity;
    id.dbIndex = dbIndex;
    id.dbVersion = dbVersion;
    id.voiceVersion = voiceVersion;
    id.imageIndex = imageIndex;
    id.fwVersion = fwVersion;
    m_catalogue.fwVersion = catalogueFw;
    m_catalogue.dbNames[0] = catalogueDb0;
    OpenPage();

    QCOMPARE(Control<QLabel>(1177)->text(), UiText(12) + dbLabel);
    QString shown;
    for (std::size_t k = 0; k < kContentKindCount; ++k) {
        const bool current = Control<QLabel>(kStatusIds[k])->text() == UiText(36);
        const QColor colour = PixmapColour(Control(kIconIds[k]));
        QCOMPARE(Control<QLabel>(kStatusIds[k])->text(), UiText(current ? 36 : 147));
        QCOMPARE(colour, current ? kGreen : kOrange);
        shown += current ? QLatin1Char('C') : QLatin1Char('N');
    }
    QCOMPARE(shown, expected);
}

void TestUpdateWizard::refusedRun_data()
{
    QTest::addColumn<bool>("bootMode");
    QTest::addColumn<int>("dbVersion");
    QTest::addColumn<QString>("box");

    QTest::newRow("everything current") << false << 90115 << UiText(27);
    QTest::newRow("unit in boot mode") << true << 1 << QStringLiteral("Error[8001]");
}

void TestUpdateWizard::refusedRun()
{
    QFETCH(bool, bootMode);
    QFETCH(int, dbVersion);
    QFETCH(QString, box);

    m_state->m_identity.bootMode = bootMode;
    m_state->m_identity.dbVersion = dbVersion;
    OpenPage();
    DownloadStepper stepper;
    m_page->OnUpdateButton();

    QCOMPARE(m_boxes->texts(), QStringList{box});
    QVERIFY(stepper.seen().isEmpty());
    QVERIFY(Sent().empty());
    QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
    QVERIFY(!m_page->Timers().IsActive(kStageTimer));
    QCOMPARE(OnUpdateValue(), -1);
    QVERIFY(UpdateEnabled());
}

void TestUpdateWizard::onlyDbDiffers()
{
    m_state->m_identity.dbVersion = 81021;
    OpenPage();
    DownloadStepper stepper([this] { return Status(); });
    m_page->OnUpdateButton();

    // The plan: one download, counted 1 / 1, while the status says the DB is downloading.
    QCOMPARE(stepper.counters(), QStringList{QStringLiteral("1 / 1")});
    QCOMPARE(stepper.seen().at(0).pageStatus, UiText(28));
    QCOMPARE(stepper.urls(),
             QStringList{m_server->url(QStringLiteral("/down/fw/Tavo/DB/090115_EUROPE.tbn"))});
    // The run has started: link checked, busy, "OnUpdate" = 165, first tick in 100 ms.
    QCOMPARE(Describe(Sent()), QStringList{QStringLiteral("$BT")});
    QCOMPARE(m_state->m_bDeviceBusy.load(), 1);
    QCOMPARE(OnUpdateValue(), CPage_Update::kRunUnderWay);
    QCOMPARE(m_page->Timers().Interval(kStageTimer), 100);
    QCOMPARE(StepText(), QStringLiteral("0 / 1"));
    QTRY_VERIFY(!UpdateEnabled());

    Tick();
    QCOMPARE(m_page->Timers().Interval(kStageTimer), 500);
    QCOMPARE(Status(), UiText(32));
    QCOMPARE(StepText(), QStringLiteral("1 / 1"));
    QVERIFY(m_page->Progress()->IsDone(ContentKind::Db));

    const int ticks = RunStages();
    // DB done, voice and image skipped, completion without firmware, then the end.
    QCOMPARE(ticks, 4);
    QVERIFY(!m_page->Timers().IsActive(kStageTimer));
    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QCOMPARE(m_boxes->shown().at(0).caption, QStringLiteral(" "));
    QVERIFY(m_boxes->shown().at(0).fromUiThread);
    QCOMPARE(Status(), QString());
    QCOMPARE(StepText(), QStringLiteral("1 / 1"));
    QCOMPARE(Control<QProgressBar>(1023)->value(), 100);
    QCOMPARE(OnUpdateValue(), 0);
    QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
    QCOMPARE(m_state->m_bReprogrammed.load(), 1);
    QTRY_VERIFY(!UpdateEnabled());

    // On the wire: the link check and the database stream, whole blocks only.
    const Packets sent = Sent();
    QCOMPARE(Describe(sent),
             (QStringList{QStringLiteral("$BT"), QStringLiteral("$WDS 00140000 1000 15 +15")}));
    QCOMPARE(StreamData(sent, 1), ServedBytes(QStringLiteral("/DB/090115_EUROPE.tbn")).left(960));
}

void TestUpdateWizard::otherEntryPicked_data()
{
    QTest::addColumn<int>("listId");
    QTest::addColumn<int>("kindSlot");
    QTest::addColumn<QString>("servedPath");
    QTest::addColumn<QString>("stream");

    QTest::newRow("database area") << 1081 << 0 << "/DB/090115_FRANCE.tbn"
                                   << "$WDS 00140000 1280 20 +20";
    QTest::newRow("voice set") << 1035 << 1 << "/Voice/090101_FRENCH.vbn"
                               << "$WDS 00000000 704 11 +11";
    QTest::newRow("image set") << 1049 << 2 << "/Image/090101_FRENCH.ibn"
                               << "$WDS 00340000 256 4 +4";
}

void TestUpdateWizard::otherEntryPicked()
{
    QFETCH(int, listId);
    QFETCH(int, kindSlot);
    QFETCH(QString, servedPath);
    QFETCH(QString, stream);

    OpenPage();
    QCOMPARE(PixmapColour(Control(kIconIds[kindSlot])), kGreen);
    Control<QComboBox>(listId)->setCurrentIndex(1);
    QCOMPARE(Control<QLabel>(kStatusIds[kindSlot])->text(), UiText(147));
    QCOMPARE(PixmapColour(Control(kIconIds[kindSlot])), kOrange);
    // The choice survives the refreshes of later paints.
    m_page->RefreshNow();
    QCOMPARE(Control<QComboBox>(listId)->currentIndex(), 1);
    QCOMPARE(PixmapColour(Control(kIconIds[kindSlot])), kOrange);

    DownloadStepper stepper;
    m_page->OnUpdateButton();
    QCOMPARE(stepper.urls(),
             QStringList{m_server->url(QStringLiteral("/down/fw/Tavo") + servedPath)});
    RunStages();
    const Packets sent = Sent();
    QCOMPARE(Describe(sent), (QStringList{QStringLiteral("$BT"), stream}));
    const QByteArray served = ServedBytes(servedPath);
    QCOMPARE(StreamData(sent, 1), served.left(served.size() / 64 * 64));
}

void TestUpdateWizard::entryWithoutCatalogueName_data()
{
    QTest::addColumn<int>("dbIndex");
    QTest::newRow("at the count") << 3;
    QTest::newRow("last of the 50") << 49;
    QTest::newRow("past the 50") << 200;
}

void TestUpdateWizard::entryWithoutCatalogueName()
{
    QFETCH(int, dbIndex);
    m_state->m_identity.dbIndex = dbIndex;
    OpenPage();
    QCOMPARE(Control<QComboBox>(1081)->currentIndex(), -1);
    QCOMPARE(Control<QLabel>(1210)->text(), UiText(147));

    DownloadStepper stepper;
    m_page->OnUpdateButton();
    // An empty name: the address ends in "/DB/.tbn", which the server does not have.
    QCOMPARE(stepper.urls(), QStringList{m_server->url(QStringLiteral("/down/fw/Tavo/DB/.tbn"))});
    QCOMPARE(m_boxes->texts(), QStringList{UiText(23)});
    QVERIFY(Sent().empty());
    QCOMPARE(m_page->Progress()->error.load(), 1);
    QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
    QVERIFY(!m_page->Timers().IsActive(kStageTimer));
}

void TestUpdateWizard::downloadFailureStopsThePlan_data()
{
    QTest::addColumn<QString>("missing");
    QTest::addColumn<int>("failureText");
    QTest::addColumn<QStringList>("counters");

    QTest::newRow("database") << "/DB/090115_EUROPE.tbn" << 23 << QStringList{u"1 / 4"_s};
    QTest::newRow("voice") << "/Voice/090101_ENGLISH.vbn" << 24
                           << QStringList{u"1 / 4"_s, u"2 / 4"_s};
    QTest::newRow("image") << "/Image/090101_ENGLISH.ibn" << 25
                           << QStringList{u"1 / 4"_s, u"2 / 4"_s, u"3 / 4"_s};
    QTest::newRow("firmware") << "/FW/TavoFw.bin" << 26
                              << QStringList{u"1 / 4"_s, u"2 / 4"_s, u"3 / 4"_s, u"4 / 4"_s};
}

void TestUpdateWizard::downloadFailureStopsThePlan()
{
    QFETCH(QString, missing);
    QFETCH(int, failureText);
    QFETCH(QStringList, counters);

    const QString path = BaseDir() + missing;
    QVERIFY(QFile::rename(path, path + QStringLiteral(".away")));
    const auto restore = qScopeGuard([&] { QFile::rename(path + QStringLiteral(".away"), path); });

    DeviceIdentity& id = m_state->m_identity;
    id.dbVersion = id.voiceVersion = id.imageVersion = 1;
    id.fwVersion = 1;
    OpenPage();
    DownloadStepper stepper;
    m_page->OnUpdateButton();

    QCOMPARE(stepper.counters(), counters);
    QCOMPARE(m_boxes->texts(), QStringList{UiText(failureText)});
    QVERIFY(Sent().empty());
    QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
    QCOMPARE(OnUpdateValue(), -1);
    QVERIFY(UpdateEnabled());
}

void TestUpdateWizard::firmwareStage()
{
    m_state->m_identity.fwVersion = 8011;
    OpenPage();
    DownloadStepper stepper;
    m_page->OnUpdateButton();
    QCOMPARE(stepper.urls(),
             QStringList{m_server->url(QStringLiteral("/down/fw/Tavo/FW/TavoFw.bin"))});

    // While the notice is open the run is not over yet: busy, timer still set.
    bool busyWhileOpen = false;
    bool timerWhileOpen = false;
    m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
        busyWhileOpen = m_state->m_bDeviceBusy.load() != 0;
        timerWhileOpen = m_page->Timers().IsActive(kStageTimer);
    });
    // Three skipped stages, then $WB and the firmware worker.
    for (int i = 0; i < 4; ++i)
        m_page->OnTimer(kStageTimer);
    QCOMPARE(Status(), UiText(35));
    QCOMPARE(StepText(), QStringLiteral("1 / 1"));
    QCOMPARE(m_state->m_bReprogrammed.load(), 1);
    // The worker's completion stops the timer and frees the link, without another tick.
    QTRY_COMPARE(m_state->m_bDeviceBusy.load(), 0);
    QTRY_VERIFY(!m_page->Timers().IsActive(kStageTimer));
    QVERIFY(busyWhileOpen);
    QVERIFY(timerWhileOpen);
    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QCOMPARE(m_boxes->shown().at(0).caption, QStringLiteral(" "));
    QCOMPARE(OnUpdateValue(), 0);
    QVERIFY(m_page->Progress()->IsDone(ContentKind::Firmware));

    const Packets sent = Sent();
    QCOMPARE(Describe(sent), (QStringList{QStringLiteral("$BT"), QStringLiteral("$WB"),
                                          QStringLiteral("$WFE 00000000 65536 1024 +1024")}));
    QByteArray expected = ServedBytes(QStringLiteral("/FW/TavoFw.bin")).left(1984);
    expected.append(65536 - expected.size(), '\0');
    QCOMPARE(StreamData(sent, 2), expected);
}

void TestUpdateWizard::faultAtEachStage_data()
{
    QTest::addColumn<ContentKind>("stage");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("reprogrammed");

    QTest::newRow("db opening, unplugged") << ContentKind::Db << "unplug"
                                           << "Error[8005]" << false;
    QTest::newRow("db data, write failure") << ContentKind::Db << "write-fail"
                                            << "Error[8006]" << false;
    QTest::newRow("voice opening, unplugged") << ContentKind::Voice << "unplug"
                                              << "Error[8010]" << true;
    QTest::newRow("voice data, write failure") << ContentKind::Voice << "write-fail"
                                               << "Error[8011]" << true;
    QTest::newRow("image opening, unplugged") << ContentKind::Image << "unplug"
                                              << "Error[8015]" << true;
    QTest::newRow("image data, write failure") << ContentKind::Image << "write-fail"
                                               << "Error[8016]" << true;
    QTest::newRow("$WB without acknowledge") << ContentKind::Firmware << "nak"
                                             << "Error[9003]" << true;
    QTest::newRow("$WB to an unplugged unit") << ContentKind::Firmware << "unplug"
                                              << "Error[9001]" << true;
    QTest::newRow("firmware data, write failure") << ContentKind::Firmware << "write-fail"
                                                  << "Error[8021]" << true;
}

void TestUpdateWizard::faultAtEachStage()
{
    QFETCH(ContentKind, stage);
    QFETCH(QString, fault);
    QFETCH(QString, code);
    QFETCH(bool, reprogrammed);

    DeviceIdentity& id = m_state->m_identity;
    id.dbVersion = id.voiceVersion = id.imageVersion = 1;
    id.fwVersion = 1;
    OpenPage();
    {
        DownloadStepper stepper;
        m_page->OnUpdateButton();
    }
    QCOMPARE(m_page->Total(), 4U);
    RunUntilStage(stage);
    const std::size_t before = Sent().size();
    if (fault == QStringLiteral("unplug"))
        m_unit->unit().unplug();
    else if (fault == QStringLiteral("nak"))
        m_unit->unit().injectFault(tavo::FaultKind::Nak);
    else
        m_unit->unit().injectFault(tavo::FaultKind::WriteFail, 3);
    Tick();

    QCOMPARE(m_boxes->texts(), QStringList{code});
    QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
    QCOMPARE(m_state->m_bReprogrammed.load(), reprogrammed ? 1 : 0);
    QCOMPARE(m_page->Progress()->error.load(), 1);
    QVERIFY(!m_page->Progress()->IsDone(stage));
    QCOMPARE(OnUpdateValue(), CPage_Update::kRunUnderWay);
    const Packets sent = Sent();
    if (stage == ContentKind::Firmware)
        QCOMPARE(FindStream(sent, "$WFE"),
                 fault == QStringLiteral("write-fail") ? before + 1 : sent.size());
    // From here on the timer only shows progress: nothing is started or shown again.
    m_unit->unit().plug();
    for (int i = 0; i < 3; ++i)
        Tick();
    QCOMPARE(Sent().size(), sent.size());
    QCOMPARE(m_boxes->texts().size(), 1);
    QCOMPARE(m_page->Timers().Interval(kStageTimer), 500);
    QCOMPARE(UpdateEnabled(), !reprogrammed);
}

void TestUpdateWizard::interruptedRunIsRedoneInFull()
{
    DeviceIdentity& id = m_state->m_identity;
    id.dbVersion = id.voiceVersion = 1;
    OpenPage();
    {
        DownloadStepper stepper;
        m_page->OnUpdateButton();
    }
    RunUntilStage(ContentKind::Voice);
    // The unit goes away in the middle of the voice stream.
    m_unit->unit().injectFault(tavo::FaultKind::Unplug, 4);
    Tick();
    QCOMPARE(m_boxes->texts(), QStringList{QStringLiteral("Error[8011]")});
    QCOMPARE(OnUpdateValue(), CPage_Update::kRunUnderWay);

    // The unit comes back; the sheet clears the flags and creates the page anew.
    delete m_page.data();
    m_unit->unit().plug();
    m_unit->unit().clearTrace();
    m_boxes->clear();
    m_state->SetReprogrammed(false);
    m_state->m_identity = CurrentIdentity();
    OpenPage();
    QVERIFY(m_page->IsResuming());
    for (int id : kStatusIds)
        QCOMPARE(Control<QLabel>(id)->text(), UiText(147));
    for (int id : kIconIds)
        QCOMPARE(PixmapColour(Control(id)), kOrange);

    DownloadStepper stepper;
    m_page->OnUpdateButton();
    QCOMPARE(stepper.counters(), (QStringList{QStringLiteral("1 / 4"), QStringLiteral("2 / 4"),
                                              QStringLiteral("3 / 4"), QStringLiteral("4 / 4")}));
    QVERIFY(RunStages() < 12);
    QCOMPARE(Describe(Sent()),
             (QStringList{QStringLiteral("$BT"), QStringLiteral("$WDS 00140000 1000 15 +15"),
                          QStringLiteral("$WDS 00000000 640 10 +10"),
                          QStringLiteral("$WDS 00340000 200 3 +3"), QStringLiteral("$WB"),
                          QStringLiteral("$WFE 00000000 65536 1024 +1024")}));
    QCOMPARE(StepText(), QStringLiteral("4 / 4"));
    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QCOMPARE(OnUpdateValue(), 0);
    // The resume flag belongs to the page's window: this page keeps it.
    QVERIFY(m_page->IsResuming());
}

void TestUpdateWizard::pageGoneBeforeFirmwareEnds()
{
    m_state->m_identity.fwVersion = 1;
    OpenPage();
    {
        DownloadStepper stepper;
        m_page->OnUpdateButton();
    }
    // The notice is answered only once the page is gone.
    bool pageGoneWhileOpen = false;
    m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
        delete m_page.data();
        pageGoneWhileOpen = m_page.isNull();
    });
    for (int i = 0; i < 4; ++i)
        m_page->OnTimer(kStageTimer);
    QTRY_COMPARE(m_state->m_bDeviceBusy.load(), 0);
    QVERIFY(pageGoneWhileOpen);
    QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QCOMPARE(OnUpdateValue(), 0);
    QCOMPARE(Describe(Sent()).last(), QStringLiteral("$WFE 00000000 65536 1024 +1024"));
}

void TestUpdateWizard::runEndsWhileTheNoticeIsOpen_data()
{
    QTest::addColumn<bool>("firmware");
    QTest::newRow("notice of the last tick, without firmware") << false;
    QTest::newRow("notice of the firmware worker") << true;
}

void TestUpdateWizard::runEndsWhileTheNoticeIsOpen()
{
    QFETCH(bool, firmware);

    if (firmware)
        m_state->m_identity.fwVersion = 8011;
    else
        m_state->m_identity.dbVersion = 81021;
    OpenPage();
    {
        DownloadStepper stepper;
        m_page->OnUpdateButton();
    }
    RunUntilStage(ContentKind::Firmware);

    // From the firmware stage on the stage timer ticks by itself, as it does for the user, who
    // reads the notice for a while: meanwhile the timer ends the run and frees the link.
    bool busyWhileOpen = true;
    bool timerWhileOpen = true;
    m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
        busyWhileOpen =
            !QTest::qWaitFor([this] { return m_state->m_bDeviceBusy.load() == 0; }, 3000);
        timerWhileOpen = m_page->Timers().IsActive(kStageTimer);
    });
    m_page->Timers().SetManual(false);
    QTRY_COMPARE_WITH_TIMEOUT(m_boxes->texts(), QStringList{UiText(37)}, 20000);
    QVERIFY(!busyWhileOpen);
    QVERIFY(!timerWhileOpen);
    QTRY_COMPARE(Status(), firmware ? UiText(35) : QString());
    QCOMPARE(OnUpdateValue(), 0);
}

void TestUpdateWizard::pageRemovedDuringADownload()
{
    ServedTree tree;
    QString error;
    QVERIFY2(tree.Start(&error), qPrintable(error));
    theApp().m_bConnected = 0;
    CProptySheet sheet(theApp());
    theApp().m_pSheet = &sheet;
    const auto noSheet = qScopeGuard([] { theApp().m_pSheet = nullptr; });
    const QPointer<CPage_Update> page = ConnectSheet(sheet);
    QVERIFY(page);
    m_unit->unit().clearTrace();

    // While the first file downloads, the unit is unplugged and plugged in again: the sheet
    // takes the page out of its tab set and builds a new one.
    bool replugged = false;
    DownloadStepper stepper([&] {
        if (!replugged) {
            replugged = true;
            m_unit->unit().unplug();
            sheet.OnTimer(CProptySheet::kDetectionTimer);
            m_unit->unit().plug();
            sheet.OnTimer(CProptySheet::kDetectionTimer);
            sheet.OnTimer(CProptySheet::kDetectionTimer);
        }
        return QString();
    });
    page->OnUpdateButton();

    // The removed page's plan ends with that download: no further download, no run.
    QVERIFY(replugged);
    QCOMPARE(stepper.counters(), QStringList{QStringLiteral("1 / 4")});
    QVERIFY(page);
    QVERIFY(sheet.Page(CProptySheet::PageId::Update) != page.data());
    QCOMPARE(Describe(Sent()), QStringList{QStringLiteral("$RH")});
    QVERIFY(m_boxes->texts().isEmpty());
    QCOMPARE(sheet.m_bDeviceBusy.load(), 0);
    QCOMPARE(OnUpdateValue(), -1);
    QVERIFY(!page->Timers().IsActive(kStageTimer));
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    QVERIFY(page.isNull());
}

void TestUpdateWizard::wholeRunThenReplug()
{
    ServedTree tree;
    QString error;
    QVERIFY2(tree.Start(&error), qPrintable(error));
    theApp().m_bConnected = 0;
    CProptySheet sheet(theApp());
    theApp().m_pSheet = &sheet;
    const auto noSheet = qScopeGuard([] { theApp().m_pSheet = nullptr; });
    auto* page = ConnectSheet(sheet);
    QVERIFY(page);
    QCOMPARE(ToCount(sheet.m_catalogue.dbCount), 3);
    for (int id : kStatusIds)
        QCOMPARE(page->findChild<QLabel*>(QString::number(id))->text(), UiText(147));

    {
        DownloadStepper stepper;
        page->OnUpdateButton();
        QCOMPARE(stepper.counters(),
                 (QStringList{QStringLiteral("1 / 4"), QStringLiteral("2 / 4"),
                              QStringLiteral("3 / 4"), QStringLiteral("4 / 4")}));
    }
    // The progress bar moves while a stage runs, and the page keeps serving events.
    QList<int> barValues;
    connect(page->findChild<QProgressBar*>(QStringLiteral("1023")), &QProgressBar::valueChanged,
            this, [&](int v) { barValues << v; });
    const QDeadlineTimer deadline(60000);
    while (page->Timers().IsActive(kStageTimer) && !deadline.hasExpired()) {
        page->OnTimer(kStageTimer);
        QTest::qWait(5);
    }
    QVERIFY(!page->Timers().IsActive(kStageTimer));
    QVERIFY2(barValues.size() >= 2, qPrintable(QString::number(barValues.size())));
    // A tick that sees the firmware done may end the run before the worker's notice shows.
    QTRY_COMPARE(m_boxes->texts(), QStringList{UiText(37)});
    QTRY_VERIFY(!page->WorkerRunning());
    QCOMPARE(sheet.m_bDeviceBusy.load(), 0);
    QTRY_VERIFY(!page->findChild<QPushButton*>(QStringLiteral("1171"))->isEnabled());

    // Unplugged and plugged again: the sheet rebuilds its pages, the new page sees the unit's
    // new content, and UPDATE is usable again.
    m_unit->unit().unplug();
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    QVERIFY(!sheet.Page(CProptySheet::PageId::Update));
    m_unit->unit().plug();
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    sheet.OnTimer(CProptySheet::kDetectionTimer);
    page = qobject_cast<CPage_Update*>(sheet.Page(CProptySheet::PageId::Update));
    QVERIFY(page);
    sheet.SetActivePage(theApp().m_nPageUpdate);
    QVERIFY(page->isVisible());
    QCOMPARE(sheet.m_identity.fwVersion, 8012);
    QCOMPARE(sheet.m_identity.dbVersion, 90115);
    for (std::size_t k = 0; k < kContentKindCount; ++k) {
        QCOMPARE(page->findChild<QLabel*>(QString::number(kStatusIds[k]))->text(), UiText(36));
        QCOMPARE(PixmapColour(page->findChild<QLabel*>(QString::number(kIconIds[k]))), kGreen);
    }
    QTRY_VERIFY(page->findChild<QPushButton*>(QStringLiteral("1171"))->isEnabled());
    const tavo::UnitStatus status = m_unit->unit().status();
    QVERIFY(status.dbIntact && status.voiceIntact && status.imageIntact);
}

QTEST_MAIN(TestUpdateWizard)
#include "test_update_wizard.moc"
