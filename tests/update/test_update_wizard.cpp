// The update wizard page against an in-process virtual unit (its packet trace) and the unit's
// update tree on a real FTP server. The stage timer is stepped through OnTimer; each download
// dialog is ticked by a stepper instead of its one-second timer.

#include "UpdateTestKit.h"
#include "update/CPage_Update.h"
#include "update/VersionCatalogue.h"

#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

using namespace updatetest;
using namespace Qt::StringLiterals;

namespace {

constexpr int kStageTimer = CPage_Update::kStageTimer;
// Per kind, in the order DB, voice, image, firmware.
const int kStatusIds[] = {1210, 1212, 1214, 1216};
const int kIconIds[] = {1209, 1211, 1213, 1215};

// The tree's files on the wire, and the downloads of a run that needs all four.
const QString kDbStream = u"$WDS 00140000 1024 16 +16"_s;
const QString kVoiceStream = u"$WDS 00000000 640 10 +10"_s;
const QString kImageStream = u"$WDS 00340000 256 4 +4"_s;
const QString kFwStream = u"$WFE 00000000 65536 1024 +1024"_s;
const QStringList kAllFour{u"1 / 4 /DB/090115_EUROPE.tbn"_s, u"2 / 4 /Voice/090101_ENGLISH.vbn"_s,
                           u"3 / 4 /Image/090101_ENGLISH.ibn"_s, u"4 / 4 /FW/TavoFw.bin"_s};

// The unit's identity and the catalogue's firmware version: by default all current.
struct Unit
{
    int dbIndex = 0;
    int dbVersion = 90115;
    int voiceVersion = 90101;
    int imageIndex = 0;
    int imageVersion = 90101;
    int fwVersion = 8012;
    bool bootMode = false;
    QByteArray catalogueFw = "8012";
};
const Unit kStale{.dbVersion = 1, .voiceVersion = 1, .imageVersion = 1, .fwVersion = 1};

} // namespace

Q_DECLARE_METATYPE(ContentKind)
Q_DECLARE_METATYPE(Unit)

class TestUpdateWizard final : public PageFixture<CPage_Update>
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_tree.Start(&error), qPrintable(error));
        // Where the main sheet reads the catalogue.
        QVERIFY(QDir::setCurrent(m_tree.Root()));
        QVERIFY(ReadVersionCatalogue(m_served));
    }

    void init()
    {
        Init();
        m_catalogue = m_served;
        Apply({});
    }

    void cleanup() { Cleanup(); }

    void controls()
    {
        // More areas than the text names: GetSlashItem gives the last name again.
        m_catalogue.dbCount = "5";
        Apply({.dbIndex = 4});
        OpenPage();
        for (int id : {1161, 1162, 1163, 1165, 1167, 1169, 1081, 1035, 1049, 1177,
                       1178, 1179, 1180, 1209, 1210, 1211, 1212, 1213, 1214, 1215,
                       1216, 1205, 1206, 1207, 1208, 1171, 1023, 1176, 1181})
            QVERIFY2(Control(id), qPrintable(QString::number(id)));

        QStringList texts;
        for (int id : {1161, 1162, 1171, 1177, 1178, 1179, 1180}) {
            const auto* button = Control<QAbstractButton>(id);
            texts << (button ? button->text() : Control<QLabel>(id)->text());
        }
        QCOMPARE(texts, (QStringList{UiText(9), UiText(10), UiText(13), UiText(12) + u"090115"_s,
                                     UiText(16) + u"090101"_s, UiText(18) + u"090101"_s,
                                     UiText(20) + u"008012"_s}));
        // Automatic is the only mode: the manual button is there, disabled and never selected.
        QVERIFY(!Control<QRadioButton>(1162)->isEnabled());
        QTest::mouseClick(Control<QRadioButton>(1162), Qt::LeftButton);
        QVERIFY(Control<QRadioButton>(1161)->isChecked());
        QVERIFY(UpdateEnabled());

        // Each refresh fills the lists anew, not on top of what they hold.
        const auto lists = [this] {
            QStringList texts;
            for (int id : {1081, 1035, 1049}) {
                QStringList names;
                for (int i = 0; i < Control<QComboBox>(id)->count(); ++i)
                    names << Control<QComboBox>(id)->itemText(i);
                texts << names.join(u'/');
            }
            return texts;
        };
        const QStringList expected{u"EUROPE/FRANCE/CHINA/UNKNOWN/UNKNOWN"_s,
                                   u"ENGLISH-voice/FRENCH-woman voice"_s,
                                   u"ENGHISH-image/FRENCH-image"_s};
        QCOMPARE(lists(), expected);
        QCOMPARE(Control<QComboBox>(1081)->currentIndex(), 4);
        m_page->RefreshNow();
        QCOMPARE(lists(), expected);
        // No unit, no UPDATE.
        theApp().m_bConnected = 0;
        m_page->RefreshNow();
        QVERIFY(!UpdateEnabled());

        // The illustrations are four different pictures, the status icons 32 x 32.
        QList<QImage> pictures;
        for (int id : {1205, 1206, 1207, 1208}) {
            const QImage image = Control<QLabel>(id)->pixmap().toImage();
            QVERIFY(!image.isNull() && !pictures.contains(image));
            pictures << image;
        }
        QCOMPARE(Control<QLabel>(1209)->pixmap().size(), QSize(32, 32));
    }

    void versionStatus_data()
    {
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("shown");

        QTest::newRow("all current") << Unit{} << "CCCC";
        QTest::newRow("older database") << Unit{.dbVersion = 81021} << "NCCC";
        QTest::newRow("newer voice on the unit") << Unit{.voiceVersion = 90102} << "CNCC";
        QTest::newRow("image set past the count") << Unit{.imageIndex = 2} << "CCNC";
        QTest::newRow("area past the 50 entries") << Unit{.dbIndex = 60} << "NCCC";
        QTest::newRow("firmware 0102 against 102")
            << Unit{.fwVersion = 102, .catalogueFw = "0102"} << "CCCC";
        QTest::newRow("firmware 0102 against 103")
            << Unit{.fwVersion = 103, .catalogueFw = "0102"} << "CCCN";
    }
    void versionStatus()
    {
        QFETCH(Unit, unit);
        QFETCH(QString, shown);
        Apply(unit);
        OpenPage();
        QCOMPARE(Shown(), shown);
    }

    void oneKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("picked"); // another entry picked, or else an older unit version
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stream");

        QTest::newRow("only the DB differs") << 0 << false << "/DB/090115_EUROPE.tbn" << kDbStream;
        QTest::newRow("area picked") << 0 << true << "/DB/090115_FRANCE.tbn" << kDbStream;
        QTest::newRow("voice set picked")
            << 1 << true << "/Voice/090101_FRENCH.vbn" << kVoiceStream;
        QTest::newRow("image set picked")
            << 2 << true << "/Image/090101_FRENCH.ibn" << kImageStream;
    }
    void oneKind()
    {
        QFETCH(int, kind);
        QFETCH(bool, picked);
        QFETCH(QString, path);
        QFETCH(QString, stream);

        const int list = std::array{1081, 1035, 1049}[static_cast<std::size_t>(kind)];
        if (!picked)
            Apply({.dbVersion = 81021});
        OpenPage();
        if (picked) {
            Control<QComboBox>(list)->setCurrentIndex(1);
            // The choice survives the refreshes of later paints.
            m_page->RefreshNow();
            QCOMPARE(Control<QComboBox>(list)->currentIndex(), 1);
        }
        QString shown = u"CCCC"_s;
        shown[kind] = u'N';
        QCOMPARE(Shown(), shown);

        QStringList statuses;
        QCOMPARE(Update([&] { statuses << Status(); }), QStringList{u"1 / 1 "_s + path});
        // The run has started: link checked, busy, "OnUpdate" = 165, first tick in 100 ms.
        QCOMPARE(Describe(Sent()), QStringList{u"$BT"_s});
        QCOMPARE(m_state->m_bDeviceBusy.load(), 1);
        QCOMPARE(OnUpdateValue(), CPage_Update::kRunUnderWay);
        QCOMPARE(m_page->Timers().Interval(kStageTimer), 100);
        QCOMPARE(StepText(), u"0 / 1"_s);
        QTRY_VERIFY(!UpdateEnabled());

        // The stages before are skipped; the kind's stage programs it.
        RunUntilStage(ContentKind(kind));
        Tick();
        statuses << Status();
        QCOMPARE(statuses, (QStringList{UiText(28 + kind), UiText(32 + kind)}));
        QCOMPARE(m_page->Timers().Interval(kStageTimer), 500);
        QCOMPARE(StepText(), u"1 / 1"_s);

        // The later stages skipped, completion without firmware, then the end.
        RunStages();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(m_boxes->shown().at(0).caption, u" "_s);
        QVERIFY(m_boxes->shown().at(0).fromUiThread);
        QCOMPARE(Status(), QString());
        QCOMPARE(StepText(), u"1 / 1"_s);
        QCOMPARE(Control<QProgressBar>(1023)->value(), 100);
        QCOMPARE(OnUpdateValue(), 0);
        QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
        QCOMPARE(m_state->m_bReprogrammed.load(), 1);
        QTRY_VERIFY(!UpdateEnabled());
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), (QStringList{u"$BT"_s, stream}));
        QCOMPARE(StreamData(sent, 1), ReadFile(m_tree.Path(path)));
    }

    void noRun_data()
    {
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("missing"); // a file the server lacks, or a fault of the $BT
        QTest::addColumn<QStringList>("downloads");
        QTest::addColumn<QString>("box");

        const QStringList none;
        QTest::newRow("everything current") << Unit{} << QString() << none << UiText(27);
        QTest::newRow("unit in boot mode")
            << Unit{.dbVersion = 1, .bootMode = true} << QString() << none << u"Error[8001]"_s;
        // A failed download ends the plan: later kinds are not downloaded.
        QTest::newRow("database missing")
            << kStale << "/DB/090115_EUROPE.tbn" << kAllFour.mid(0, 1) << UiText(23);
        QTest::newRow("voice missing")
            << kStale << "/Voice/090101_ENGLISH.vbn" << kAllFour.mid(0, 2) << UiText(24);
        QTest::newRow("image missing")
            << kStale << "/Image/090101_ENGLISH.ibn" << kAllFour.mid(0, 3) << UiText(25);
        QTest::newRow("firmware missing") << kStale << "/FW/TavoFw.bin" << kAllFour << UiText(26);
        // An area without a catalogue name downloads an empty name, which the server lacks.
        const QStringList noName{u"1 / 1 /DB/.tbn"_s};
        QTest::newRow("area at the count")
            << Unit{.dbIndex = 3} << QString() << noName << UiText(23);
        QTest::newRow("area past the 50")
            << Unit{.dbIndex = 200} << QString() << noName << UiText(23);
        // The link check fails: the run never starts.
        QTest::newRow("$BT answered short")
            << Unit{.fwVersion = 1} << "short"
            << kAllFour.mid(3).replaceInStrings(u"4 / 4"_s, u"1 / 1"_s) << u"Error[9002]"_s;
    }
    void noRun()
    {
        QFETCH(Unit, unit);
        QFETCH(QString, missing);
        QFETCH(QStringList, downloads);
        QFETCH(QString, box);
        const bool linkFault = missing == u"short"_s;

        const QString path = m_tree.Path(missing);
        const auto restore = qScopeGuard([&] { QFile::rename(path + u".away"_s, path); });
        if (linkFault)
            m_unit->unit().injectFault(tavo::FaultKind::Short);
        else
            QVERIFY(missing.isEmpty() || QFile::rename(path, path + u".away"_s));
        Apply(unit);
        OpenPage();
        if (unit.dbIndex >= 3)
            QCOMPARE(Control<QComboBox>(1081)->currentIndex(), -1);

        QCOMPARE(Update(), downloads);
        QCOMPARE(m_boxes->texts(), QStringList{box});
        QCOMPARE(Describe(Sent()), linkFault ? QStringList{u"$BT"_s} : QStringList{});
        QCOMPARE(m_page->Progress()->error.load(), downloads.isEmpty() ? 0 : 1);
        QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
        QVERIFY(!m_page->Timers().IsActive(kStageTimer));
        QCOMPARE(OnUpdateValue(), -1);
        QVERIFY(UpdateEnabled());
    }

    void faultAtEachStage_data()
    {
        QTest::addColumn<ContentKind>("stage");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("wire"); // what the failing stage sent

        const QStringList nothing;
        QTest::newRow("db opening, unplugged") << ContentKind::Db << "unplug"
                                               << "Error[8005]" << nothing;
        QTest::newRow("db data, write failure")
            << ContentKind::Db << "write-fail"
            << "Error[8006]" << QStringList{u"$WDS 00140000 1024 16 +2"_s};
        QTest::newRow("voice opening, unplugged") << ContentKind::Voice << "unplug"
                                                  << "Error[8010]" << nothing;
        QTest::newRow("voice data, write failure")
            << ContentKind::Voice << "write-fail"
            << "Error[8011]" << QStringList{u"$WDS 00000000 640 10 +2"_s};
        QTest::newRow("image opening, unplugged") << ContentKind::Image << "unplug"
                                                  << "Error[8015]" << nothing;
        QTest::newRow("image data, write failure")
            << ContentKind::Image << "write-fail"
            << "Error[8016]" << QStringList{u"$WDS 00340000 256 4 +2"_s};
        // A failing $WB starts no firmware worker.
        QTest::newRow("$WB without acknowledge") << ContentKind::Firmware << "nak"
                                                 << "Error[9003]" << QStringList{u"$WB"_s};
        QTest::newRow("$WB to an unplugged unit") << ContentKind::Firmware << "unplug"
                                                  << "Error[9001]" << nothing;
        QTest::newRow("$WB answered short") << ContentKind::Firmware << "short"
                                            << "Error[9002]" << QStringList{u"$WB"_s};
        QTest::newRow("firmware data, write failure")
            << ContentKind::Firmware << "write-fail"
            << "Error[8021]" << QStringList{u"$WB"_s, u"$WFE 00000000 65536 1024 +1"_s};
    }
    void faultAtEachStage()
    {
        QFETCH(ContentKind, stage);
        QFETCH(QString, fault);
        QFETCH(QString, code);
        QFETCH(QStringList, wire);
        // From the voice stage on, the unit's content is being replaced.
        const bool reprogrammed = stage != ContentKind::Db;

        Apply(kStale);
        OpenPage();
        QCOMPARE(Update(), kAllFour);
        RunUntilStage(stage);
        const std::size_t before = Sent().size();
        if (fault == u"unplug"_s)
            m_unit->unit().unplug();
        else if (fault == u"nak"_s)
            m_unit->unit().injectFault(tavo::FaultKind::Nak);
        else if (fault == u"short"_s)
            m_unit->unit().injectFault(tavo::FaultKind::Short);
        else
            m_unit->unit().injectFault(tavo::FaultKind::WriteFail, 3);
        Tick();

        QCOMPARE(m_boxes->texts(), QStringList{code});
        QCOMPARE(m_state->m_bDeviceBusy.load(), 0);
        QCOMPARE(m_state->m_bReprogrammed.load(), reprogrammed ? 1 : 0);
        QCOMPARE(m_page->Progress()->error.load(), 1);
        QVERIFY(!m_page->Progress()->IsDone(stage));
        QCOMPARE(OnUpdateValue(), CPage_Update::kRunUnderWay);
        Packets sent = Sent();
        QCOMPARE(Describe(Packets(sent.begin() + static_cast<std::ptrdiff_t>(before), sent.end())),
                 wire);
        // From here on the timer only shows progress: nothing is started or shown again.
        m_unit->unit().plug();
        for (int i = 0; i < 3; ++i)
            Tick();
        QCOMPARE(Sent().size(), sent.size());
        QCOMPARE(m_boxes->texts().size(), 1);
        QCOMPARE(m_page->Timers().Interval(kStageTimer), 500);
        QCOMPARE(UpdateEnabled(), !reprogrammed);
        if (reprogrammed)
            return;
        // Nothing of the failed run stands in the way of a second one on the same page.
        m_unit->unit().unplug();
        m_unit->unit().plug();
        m_boxes->clear();
        QCOMPARE(Update(), kAllFour);
        RunStages();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(OnUpdateValue(), 0);
        QVERIFY(m_unit->unit().status().dbIntact);
    }

    void completionNotice_data()
    {
        QTest::addColumn<bool>("firmware"); // else only the DB is out of date
        QTest::addColumn<bool>("ticking");  // the stage timer ticks by itself, as for the user
        QTest::addColumn<bool>("pageGoes"); // the page is deleted while the notice is open

        QTest::newRow("firmware worker") << true << false << false;
        QTest::newRow("firmware worker, page gone") << true << false << true;
        // The user reads the notice for a while: meanwhile the timer ends the run, frees the link.
        QTest::newRow("firmware worker, timer ticking") << true << true << false;
        QTest::newRow("last tick without firmware, timer ticking") << false << true << false;
    }
    void completionNotice()
    {
        QFETCH(bool, firmware);
        QFETCH(bool, ticking);
        QFETCH(bool, pageGoes);
        // Unless the timer ticks meanwhile, the link stays busy and the timer set.
        const bool busyWhileOpen = !ticking;

        Apply(firmware ? Unit{.fwVersion = 1} : Unit{.dbVersion = 1});
        OpenPage();
        QCOMPARE(Update().size(), 1);
        RunUntilStage(ContentKind::Firmware);
        bool busy = !busyWhileOpen;
        bool timer = !busyWhileOpen;
        m_boxes->setOnShow([&](const platform::MessageBoxRecorder::Shown&) {
            const auto idle = [this] { return m_state->m_bDeviceBusy.load() == 0; };
            busy = ticking ? !QTest::qWaitFor(idle, 3000) : !idle();
            timer = m_page->Timers().IsActive(kStageTimer);
            if (pageGoes)
                delete m_page.data();
        });
        if (ticking)
            m_page->Timers().SetManual(false);
        else
            Tick();

        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->texts(), QStringList{UiText(37)}, 20000);
        QCOMPARE(m_boxes->shown().at(0).caption, u" "_s);
        QCOMPARE(busy, busyWhileOpen);
        QCOMPARE(timer, busyWhileOpen);
        // Once the notice is closed the run ends without another tick.
        QTRY_COMPARE(m_state->m_bDeviceBusy.load(), 0);
        QCOMPARE(m_page.isNull(), pageGoes);
        if (!pageGoes) {
            QTRY_VERIFY(!m_page->Timers().IsActive(kStageTimer));
            QTRY_COMPARE(Status(), firmware ? UiText(35) : QString());
        }
        QCOMPARE(OnUpdateValue(), 0);
        const Packets sent = Sent();
        if (firmware) {
            QCOMPARE(Describe(sent), (QStringList{u"$BT"_s, u"$WB"_s, kFwStream}));
            QCOMPARE(StreamData(sent, 2), ReadFile(m_tree.Path(u"/FW/TavoFw.bin"_s)));
        }
    }

    void interruptedRunIsRedoneInFull()
    {
        OpenUpdatePage();
        QCOMPARE(Update(), kAllFour);
        RunUntilStage(ContentKind::Voice);
        // The unit goes away in the middle of the voice stream.
        m_unit->unit().injectFault(tavo::FaultKind::Unplug, 4);
        Tick();
        QCOMPARE(m_boxes->texts(), QStringList{u"Error[8011]"_s});
        QCOMPARE(OnUpdateValue(), CPage_Update::kRunUnderWay);

        // The unit comes back: the sheet rebuilds its pages, and the page's new window offers
        // every kind again, whatever the unit now reports.
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Update));
        m_unit->unit().plug();
        m_boxes->clear();
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_unit->unit().clearTrace();
        m_sheet->SetActivePage(theApp().m_nPageUpdate);
        QVERIFY(m_page->IsResuming());
        QCOMPARE(Shown(), u"NNNN"_s);
        QCOMPARE(Update(), kAllFour);
        RunStages();
        QCOMPARE(Describe(Sent()), (QStringList{u"$BT"_s, kDbStream, kVoiceStream, kImageStream,
                                                u"$WB"_s, kFwStream}));
        QCOMPARE(StepText(), u"4 / 4"_s);
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(OnUpdateValue(), 0);
        // The resume flag belongs to the page's window: this window keeps it.
        QVERIFY(m_page->IsResuming());
    }

    void unitUnpluggedDuringADownload()
    {
        OpenUpdatePage();
        m_unit->unit().clearTrace();
        // While the first file downloads the unit is unplugged: the sheet takes the page's
        // window away, but the plan goes on and its link check reports the missing unit.
        const QPointer<CPage_Update> page = m_page;
        bool unplugged = false;
        const QStringList downloads = Update([&] {
            if (std::exchange(unplugged, true))
                return;
            m_unit->unit().unplug();
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        });
        QCOMPARE(downloads, kAllFour);
        QCOMPARE(page.data(), m_page.data());
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Update));
        QCOMPARE(m_boxes->texts(), QStringList{u"Error[9001]"_s});
        QCOMPARE(Describe(Sent()), QStringList{});
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QCOMPARE(OnUpdateValue(), -1);
        QVERIFY(!page->Timers().IsActive(kStageTimer));
    }

    void wholeRunThenReplug()
    {
        OpenUpdatePage();
        QCOMPARE(ToCount(m_sheet->m_catalogue.dbCount), 3);
        QCOMPARE(Shown(), u"NNNN"_s);
        QCOMPARE(Update(), kAllFour);

        // The progress bar moves while a stage runs, and the page keeps serving events.
        QList<int> barValues;
        connect(Control<QProgressBar>(1023), &QProgressBar::valueChanged, this,
                [&](int v) { barValues << v; });
        const QDeadlineTimer deadline(60000);
        while (m_page->Timers().IsActive(kStageTimer) && !deadline.hasExpired()) {
            m_page->OnTimer(kStageTimer);
            QTest::qWait(5);
        }
        QVERIFY(!m_page->Timers().IsActive(kStageTimer));
        QVERIFY2(barValues.size() >= 2, qPrintable(QString::number(barValues.size())));
        // A tick that sees the firmware done may end the run before the worker's notice shows.
        QTRY_COMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QTRY_VERIFY(!m_page->WorkerRunning());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QTRY_VERIFY(!UpdateEnabled());

        // Unplugged and plugged again: the sheet rebuilds its pages, the new page sees the unit's
        // new content, and UPDATE is usable again.
        m_unit->unit().unplug();
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Update));
        m_unit->unit().plug();
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_page = qobject_cast<CPage_Update*>(m_sheet->Page(CProptySheet::PageId::Update));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().m_nPageUpdate);
        QVERIFY(m_page->isVisible());
        QCOMPARE(m_sheet->m_identity.fwVersion, 8012);
        QCOMPARE(m_sheet->m_identity.dbVersion, 90115);
        QCOMPARE(Shown(), u"CCCC"_s);
        QTRY_VERIFY(UpdateEnabled());
        const tavo::UnitStatus status = m_unit->unit().status();
        QVERIFY(status.dbIntact && status.voiceIntact && status.imageIntact);
    }

private:
    void Apply(const Unit& unit)
    {
        DeviceIdentity& id = m_state->m_identity;
        id.dbIndex = unit.dbIndex;
        id.dbVersion = unit.dbVersion;
        id.voiceVersion = unit.voiceVersion;
        id.imageIndex = unit.imageIndex;
        id.imageVersion = unit.imageVersion;
        id.fwVersion = unit.fwVersion;
        id.bootMode = unit.bootMode;
        m_catalogue.fwVersion = unit.catalogueFw;
    }

    void OpenPage()
    {
        m_page = new CPage_Update(*m_state, m_catalogue);
        m_page->Timers().SetManual(true);
        m_page->show();
        QVERIFY(m_page->IsInitialised());
    }

    // The sheet shows its update page as m_page, whose timers then tick only when stepped.
    void OpenUpdatePage()
    {
        OpenSheet(CProptySheet::PageId::Update, &CTavoApp::m_nPageUpdate);
        if (m_page)
            m_page->Timers().SetManual(true);
    }

    QString Status() const { return Control<QLabel>(1181)->text(); }
    QString StepText() const { return Control<QLabel>(1176)->text(); }
    bool UpdateEnabled() const { return Control<QPushButton>(1171)->isEnabled(); }
    // Per kind, what its frame shows: C for current (UI text 36, green icon), N for needs
    // updating (UI text 147, orange icon), ? for anything else.
    QString Shown() const
    {
        QString shown;
        for (std::size_t k = 0; k < kContentKindCount; ++k) {
            const QString text = Control<QLabel>(kStatusIds[k])->text();
            const QImage icon = Control<QLabel>(kIconIds[k])->pixmap().toImage();
            const QColor colour = icon.isNull() ? QColor() : icon.pixelColor(16, 16);
            const bool current = text == UiText(36) && colour == QColor(0, 176, 80);
            const bool stale = text == UiText(147) && colour == QColor(255, 140, 0);
            shown += current ? u'C' : stale ? u'N' : u'?';
        }
        return shown;
    }

    // Clicks UPDATE, ticking each download dialog; returns the downloads as "1 / 4 <path below
    // the base>". onDialog runs as each dialog appears.
    static int OnUpdateValue()
    {
        return theApp().GetProfileInt(CTavoApp::kProfileSection, u"OnUpdate"_s, -1);
    }
    QStringList Update(const std::function<void()>& onDialog = {})
    {
        DownloadStepper stepper(m_tree.Base(), onDialog);
        m_page->OnUpdateButton();
        return stepper.m_seen;
    }
    // Ticks the stage timer once and waits for the worker it may have started.
    void Tick()
    {
        m_page->OnTimer(kStageTimer);
        QVERIFY(QTest::qWaitFor([this] { return !m_page || !m_page->WorkerRunning(); }, 20000));
        // Lets what the worker posted run (the firmware worker's last steps, the enable rule).
        QCoreApplication::processEvents();
    }

    // Ticks until the timer stops.
    void RunStages()
    {
        for (int ticks = 0; m_page && m_page->Timers().IsActive(kStageTimer); ++ticks) {
            QVERIFY2(ticks < 12, "the run does not end");
            Tick();
        }
    }

    // Ticks until kind's stage is about to start (the stages before it have ended).
    void RunUntilStage(ContentKind kind)
    {
        // Each tick starts a stage or skips it, and Tick waits for the stage's worker to end.
        for (std::size_t stage = 0; stage < KindIndex(kind); ++stage)
            Tick();
    }

    VersionCatalogue m_served;
    VersionCatalogue m_catalogue;
};

QTEST_MAIN(TestUpdateWizard)
#include "test_update_wizard.moc"
