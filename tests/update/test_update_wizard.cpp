// The update wizard page against an in-process virtual unit (its packet trace) and the unit's
// update tree on a real FTP server. The stage timer is stepped through OnTimer; each download
// dialog is ticked by a stepper instead of its one-second timer. Faults of the unit are the
// fault matrix's.

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

// The tree's area on the wire, and the downloads of a run that needs all four.
const QString kDbStream = u"$WDS 00140000 1024 16 +16"_s;
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

Q_DECLARE_METATYPE(Unit)

class TestUpdateWizard final : public testsupport::SheetFixture<CPage_Update>
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QString error;
        QVERIFY2(m_tree.Start(&error), qPrintable(error));
        QVERIFY(QDir::setCurrent(m_tree.Root())); // where the main sheet reads the catalogue
        QVERIFY(ReadVersionCatalogue(m_served));
    }
    void init()
    {
        Init();
        SetUpdateServer(m_tree.Base());
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
        QStringList texts;
        for (int id : {1161, 1162, 1171, 1177, 1178, 1179, 1180}) {
            const auto* button = Control<QAbstractButton>(id);
            texts << (button ? button->text() : Control<QLabel>(id)->text());
        }
        QCOMPARE(texts, (QStringList{UiText(9), UiText(10), UiText(13), UiText(12) + u"090115"_s,
                                     UiText(16) + u"090101"_s, UiText(18) + u"090101"_s,
                                     UiText(20) + u"008012"_s}));
        // Automatic is the only mode: the manual button is there, disabled and never selected.
        QTest::mouseClick(Control<QRadioButton>(1162), Qt::LeftButton);
        QVERIFY(Control<QRadioButton>(1161)->isChecked() && UpdateEnabled());

        // Each refresh fills the lists anew, not on top of what they hold.
        m_page->RefreshNow();
        texts.clear();
        for (int id : {1081, 1035, 1049}) {
            QStringList names;
            for (int i = 0; i < Control<QComboBox>(id)->count(); ++i)
                names << Control<QComboBox>(id)->itemText(i);
            texts << names.join(u'/');
        }
        QCOMPARE(texts, (QStringList{u"EUROPE/FRANCE/CHINA/UNKNOWN/UNKNOWN"_s,
                                     u"ENGLISH-voice/FRENCH-woman voice"_s,
                                     u"ENGHISH-image/FRENCH-image"_s}));
        QCOMPARE(Control<QComboBox>(1081)->currentIndex(), 4);
        theApp().m_bConnected = 0; // no unit, no UPDATE
        m_page->RefreshNow();
        QVERIFY(!UpdateEnabled());
    }

    void versionStatus_data()
    {
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("shown");
        QTest::newRow("older database") << Unit{.dbVersion = 81021} << "NCCC";
        QTest::newRow("newer voice on the unit") << Unit{.voiceVersion = 90102} << "CNCC";
        QTest::newRow("image set past the count") << Unit{.imageIndex = 2} << "CCNC";
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
        QTest::addColumn<int>("kind"); // its entry picked in the list
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("stream");
        QTest::newRow("area") << 0 << "/DB/090115_FRANCE.tbn" << kDbStream;
        QTest::newRow("voice set") << 1 << "/Voice/090101_FRENCH.vbn"
                                   << "$WDS 00000000 640 10 +10";
        QTest::newRow("image set") << 2 << "/Image/090101_FRENCH.ibn"
                                   << "$WDS 00340000 256 4 +4";
    }
    void oneKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, path);
        QFETCH(QString, stream);
        OpenPage();
        auto* list = Control<QComboBox>(std::array{1081, 1035, 1049}[std::size_t(kind)]);
        list->setCurrentIndex(1);
        m_page->RefreshNow(); // the choice survives the refreshes of later paints
        QStringList statuses;
        QCOMPARE(Update(m_page, [&] { statuses << Status(); }), QStringList{u"1 / 1 "_s + path});
        // The run has started: the link busy, first tick in 100 ms.
        QCOMPARE(m_page->Timers().Interval(kStageTimer), 100);
        QCOMPARE(StepText(), u"0 / 1"_s);
        QTRY_VERIFY(!UpdateEnabled());

        // The stages before are skipped; the kind's stage programs it, ticking every 500 ms.
        for (int stage = 0; stage <= kind; ++stage)
            StageTick(m_page);
        statuses << Status();
        QCOMPARE(statuses, (QStringList{UiText(28 + kind), UiText(32 + kind)}));
        QCOMPARE(m_page->Timers().Interval(kStageTimer), 500);
        QCOMPARE(StepText(), u"1 / 1"_s);

        // The later stages skipped, completion without firmware, then the end.
        for (int ticks = 0; m_page->Timers().IsActive(kStageTimer); ++ticks) {
            QVERIFY2(ticks < 12, "the run does not end");
            StageTick(m_page);
        }
        QCOMPARE(m_boxes->texts(), QStringList{UiText(37)});
        QCOMPARE(Control<QProgressBar>(1023)->value(), 100);
        QTRY_VERIFY(!UpdateEnabled()); // the link free again, the unit reprogrammed
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), (QStringList{u"$BT"_s, stream}));
        QCOMPARE(StreamData(sent, 1), ReadFile(m_tree.Path(path)));
    }

    void noRun_data()
    {
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<QString>("missing"); // a file the server lacks
        QTest::addColumn<QStringList>("downloads");
        QTest::addColumn<QString>("box");
        const QStringList none;
        QTest::newRow("everything current") << Unit{} << QString() << none << UiText(27);
        QTest::newRow("unit in boot mode")
            << Unit{.dbVersion = 1, .bootMode = true} << QString() << none << u"Error[8001]"_s;
        // A failed download ends the plan: later kinds are not downloaded.
        for (int kind = 0; kind < 4; ++kind)
            QTest::addRow("kind %d missing", kind)
                << kStale << kAllFour[kind].section(u' ', 3) << kAllFour.mid(0, kind + 1)
                << UiText(23 + kind);
        // An area past the catalogue's 50 is not current; without a name it downloads an empty
        // name, which the server lacks.
        QTest::newRow("area past the 50")
            << Unit{.dbIndex = 200} << QString() << QStringList{u"1 / 1 /DB/.tbn"_s} << UiText(23);
    }
    void noRun()
    {
        QFETCH(Unit, unit);
        QFETCH(QString, missing);
        QFETCH(QStringList, downloads);
        QFETCH(QString, box);
        const QString path = m_tree.Path(missing);
        const auto restore = qScopeGuard([&] { QFile::rename(path + u".away"_s, path); });
        QVERIFY(missing.isEmpty() || QFile::rename(path, path + u".away"_s));
        Apply(unit);
        OpenPage();
        QCOMPARE(Update(m_page), downloads);
        QCOMPARE(m_boxes->texts(), QStringList{box});
        QCOMPARE(Sent().size(), 0U);
        QVERIFY(UpdateEnabled());
    }

    void run_data()
    {
        QTest::addColumn<Unit>("unit");
        QTest::addColumn<bool>("ticking");     // the stage timer ticks by itself, as for the user
        QTest::addColumn<bool>("pageGoes");    // the page is deleted while the notice is open
        QTest::addColumn<QStringList>("wire"); // after "$BT"
        const Unit firmware{.fwVersion = 1};
        const QStringList fwWire{u"$WB"_s, u"$WFE 00000000 65536 1024 +1024"_s};
        QTest::newRow("firmware worker") << firmware << false << false << fwWire;
        QTest::newRow("firmware worker, page gone") << firmware << false << true << fwWire;
        // The user reads the notice for a while: meanwhile the timer ends the run, frees the link.
        QTest::newRow("firmware worker, timer ticking") << firmware << true << false << fwWire;
        QTest::newRow("last tick without firmware, timer ticking")
            << Unit{.dbVersion = 1} << true << false << QStringList{kDbStream};
        QTest::newRow("every stage in turn")
            << kStale << false << false
            << QStringList{kDbStream, u"$WDS 00000000 640 10 +10"_s, u"$WDS 00340000 256 4 +4"_s} +
                   fwWire;
    }
    void run()
    {
        QFETCH(Unit, unit);
        QFETCH(bool, ticking);
        QFETCH(bool, pageGoes);
        QFETCH(QStringList, wire);
        Apply(unit);
        OpenPage();
        Update(m_page);
        for (int stage = 0; stage < 3; ++stage)
            StageTick(m_page);
        // Unless the timer ticks meanwhile, the link stays busy and the timer set.
        bool busy = ticking;
        bool timer = ticking;
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
            StageTick(m_page);
        QTRY_COMPARE_WITH_TIMEOUT(m_boxes->texts(), QStringList{UiText(37)}, 20000);
        QCOMPARE(busy, !ticking);
        QCOMPARE(timer, !ticking);
        // Once the notice is closed the run ends without another tick (and frees the link, which
        // the fixture checks).
        if (m_page) {
            QTRY_VERIFY(!m_page->Timers().IsActive(kStageTimer));
            QTRY_COMPARE(Status(), unit.fwVersion == 1 ? UiText(35) : QString());
        }
        const Packets sent = Sent();
        QCOMPARE(Describe(sent), QStringList{u"$BT"_s} + wire);
        if (unit.fwVersion == 1)
            QCOMPARE(StreamData(sent, sent.size() - 1025),
                     ReadFile(m_tree.Path(u"/FW/TavoFw.bin"_s)));
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

    QString Status() const { return Control<QLabel>(1181)->text(); }
    QString StepText() const { return Control<QLabel>(1176)->text(); }
    bool UpdateEnabled() const { return Control<QPushButton>(1171)->isEnabled(); }
    // Per kind, what its frame shows: C for current (UI text 36, green icon), N for needs
    // updating (UI text 147, orange icon), ? for anything else.
    QString Shown() const
    {
        QString shown;
        for (int status : {1210, 1212, 1214, 1216}) {
            const QString text = Control<QLabel>(status)->text();
            const QImage icon = Control<QLabel>(status - 1)->pixmap().toImage();
            const QColor colour = icon.isNull() ? QColor() : icon.pixelColor(16, 16);
            const bool current = text == UiText(36) && colour == QColor(0, 176, 80);
            const bool stale = text == UiText(147) && colour == QColor(255, 140, 0);
            shown += current ? u'C' : stale ? u'N' : u'?';
        }
        return shown;
    }

    ServedTree m_tree;
    VersionCatalogue m_served;
    VersionCatalogue m_catalogue;
};

QTEST_MAIN(TestUpdateWizard)
#include "test_update_wizard.moc"
