// The settings, POI and diagnosis pages in the real main sheet, against an in-process virtual
// unit: the packets on the wire, what the unit then stores, the boxes shown and the pages'
// lists. Faults of the unit are the fault matrix's.

#include "UpdateTestKit.h"
#include "device/CPage_Diagnosis.h"
#include "device/CPage_Language.h"
#include "device/CPage_Poi.h"
#include "link/CCrcCheck.h"
#include "platform/FileDialogRecorder.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <numeric>
#include <tuple>

using namespace Qt::StringLiterals;
using platform::MsgAnswer;
using Bytes = std::vector<std::uint8_t>;
using Id = CProptySheet::PageId;

namespace {

constexpr std::uint32_t kSettings = 0x3FE000;
constexpr std::uint32_t kStore1 = 0x3FC000;
constexpr std::uint32_t kStore2 = 0x3FD000;
const Bytes kErased(1600, 0xFF);

// Buttons of the settings page, of the POI page and of the diagnosis page.
constexpr int kLoad = 1149, kReset = 1150, kSave = 1151;
constexpr int kUpdatePoi = 1150, kSaveFile = 1151, kLoadFile = 1153, kView = 1154,
              kDiagnosis = 1156;

// Every setting inside its list; bytes 24, 25 and 32 to 63 are carried, not shown.
Bytes UnitRecord()
{
    Bytes record{0, 1,  2, 0, 1, 2, 1, 0, 0,    20,   3, 2, 0, 5, 1, 1,
                 0, 11, 1, 0, 0, 1, 0, 1, 0xA5, 0x5A, 2, 2, 2, 2, 2, 1};
    for (std::uint8_t i = 32; i < 64; ++i)
        record.push_back(0xC0 + i);
    return record;
}

// Stores holding the virtual unit's seeded POIs 0 to count - 1; made before any test's own
// unit exists (a unit fixture owns the socket variable). g_seeded[0]: five POIs, the first at
// latitude -0.1234 degree on 2008/05/21.
std::map<int, Bytes> g_seeded;

// The result lines of sound, database and images, each "Not Checked." (text 121).
const QString kNotChecked = u"ui-118ui-121 ui-119ui-121 ui-120ui-121"_s;

} // namespace

class TestDevicePages final : public testsupport::SheetFixture<CPropertyPage>
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testsupport::UnitFixture unit;
        for (int count : {5, 100}) {
            unit->control("poi-seed " + std::to_string(count));
            g_seeded[count] = unit->readMemory(kStore1, 1600);
        }
        g_seeded[0] = g_seeded[5];
        const QByteArray slot0 = QByteArray::fromHex("a567012efbffff225c00001505080c22");
        std::copy(slot0.begin(), slot0.end(), g_seeded[0].begin());
    }
    void init()
    {
        Init(100);
        m_dialogs = std::make_unique<platform::FileDialogRecorder>();
        m_defaults = m_unit->unit().readMemory(kSettings, 64); // what a fresh unit holds
    }
    void cleanup()
    {
        Cleanup();
        m_dialogs.reset();
    }

    void bootMode_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("box");
        QTest::newRow("settings Load") << int(Id::Language) << kLoad << u"Error[4001]"_s;
        QTest::newRow("settings Reset") << int(Id::Language) << kReset << u"Error[4002]"_s;
        QTest::newRow("settings Save") << int(Id::Language) << kSave << u"Error[4003]"_s;
        QTest::newRow("POI View") << int(Id::Poi) << kView << u"Error[5001]"_s;
        QTest::newRow("POI Update") << int(Id::Poi) << kUpdatePoi << u"Error[5002]"_s;
        QTest::newRow("Diagnosis") << int(Id::Diagnosis) << kDiagnosis << u"Error[6001]"_s;
    }
    // A unit in boot mode: the action shows its code, sends nothing and leaves the page as it
    // was.
    void bootMode()
    {
        QFETCH(int, page);
        QFETCH(int, button);
        QFETCH(QString, box);
        m_unit->unit().control("poi-seed 5");
        OpenSheet(Id(page));
        if (Settings()) {
            auto* list = Control<QComboBox>(1110);
            list->setCurrentIndex(1 - list->currentIndex());
        } else if (Poi()) {
            Click(kView);
            TickRows({1, 3});
        }
        QTRY_VERIFY(Button(button)->isEnabled());
        const QByteArray before = PageState();
        m_sheet->m_identity.bootMode = true;
        m_boxes->clear();
        Click(button);
        QCOMPARE(m_boxes->texts().filter(u"Error"_s), QStringList{box});
        QCOMPARE(Commands(), QStringList{});
        QCOMPARE(PageState(), before);
    }

    void settingsRead_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("sent");
        QTest::newRow("8011") << 8011 << false << u"$BT $RD"_s;
        QTest::newRow("8012") << 8012 << false << u"$RD"_s;
        QTest::newRow("link busy") << 8011 << true << QString();
    }
    // The read at the page's first showing takes the answer as the record even when it opens
    // with the acknowledge pattern; without it the page shows the defaults and offers Save.
    void settingsRead()
    {
        QFETCH(int, firmware);
        QFETCH(bool, busy);
        QFETCH(QString, sent);
        Bytes ackLike = UnitRecord();
        std::iota(ackLike.begin(), ackLike.begin() + 8, 0);
        m_unit->unit().writeMemory(kSettings, ackLike);
        OpenSettings(firmware, busy);
        QCOMPARE(Commands().join(u' '), sent);
        QCOMPARE(Record(), busy ? m_defaults : ackLike);
        QTRY_COMPARE(Button(kLoad)->isEnabled(), !busy);
        m_sheet->SetDeviceBusy(false);
        QTRY_COMPARE(Button(kSave)->isEnabled(), busy);
    }

    // As a user: the time format switches both hour lists; Save sends both packets, carried
    // bytes as read and a byte beyond its list (volume 11 of 11 entries: an empty list) as 255;
    // Load reads back what was saved; after Reset, which sends nothing, the carried bytes go
    // out as the defaults have them.
    void settingsUserFlow()
    {
        Bytes record = UnitRecord();
        record[1] = 11;
        m_unit->unit().writeMemory(kSettings, record);
        OpenSettings();
        QCOMPARE(Texts(), u"20:00|00:00|"_s);
        List(1136)->setCurrentIndex(0); // 12h
        QTRY_COMPARE(Texts(), u"PM 08:00|AM 00:00|"_s);
        List(1116)->setCurrentIndex(12);
        QTRY_COMPARE(Texts(), u"PM 12:00|AM 00:00|"_s);
        Click(kSave);
        record[1] = 255;
        record[9] = 12;
        record[18] = 0;
        Saved(record);
        List(1134)->setCurrentIndex(0);
        Click(kLoad);
        QCOMPARE(Record(), record);
        Click(kReset);
        QCOMPARE(Commands(), QStringList{});
        QTRY_VERIFY(Button(kSave)->isEnabled());
        Click(kSave);
        Saved(m_defaults);
    }

    // With the shipped (longer, French) texts the page fits the sheet, inner frames sit in
    // their outer ones.
    void settingsLayout()
    {
        theApp().m_strCurDir = QStringLiteral(TAVO_SOURCE_DIR "/res");
        QVERIFY(theApp().LoadUIText(1));
        OpenSettings();
        QCOMPARE(m_sheet->size(), QSize(760, 560));
        const QSize needed = m_page->minimumSizeHint();
        QVERIFY(needed.width() <= m_page->width() && needed.height() <= m_page->height());
        QStringList frames;
        for (int id : {1100, 1104, 1121, 1125})
            frames << Control<QWidget>(id)->parentWidget()->objectName();
        QCOMPARE(frames.join(u' '), u"1097 1100 1113 1121"_s);
    }

    void poiView_data()
    {
        QTest::addColumn<Bytes>("first");
        QTest::addColumn<Bytes>("second");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("exchanges");
        Bytes slot0Free = g_seeded[5];
        slot0Free[0] = 0x00;
        QTest::newRow("first store empty: the second") << kErased << g_seeded[5] << 5 << 51;
        QTest::newRow("slot 0 not in use: nothing") << slot0Free << g_seeded[5] << 0 << 26;
        QTest::newRow("100 records") << g_seeded[100] << kErased << 100 << 26;
    }
    void poiView()
    {
        QFETCH(Bytes, first);
        QFETCH(Bytes, second);
        QFETCH(int, rows);
        QFETCH(int, exchanges);
        OpenPoi(first, second);
        Click(kView);
        QCOMPARE(Sent().size(), std::size_t(exchanges));
        QCOMPARE(PoiList()->rowCount(), rows);
        QCOMPARE(Control<QLineEdit>(1021)->text(), QString::number(rows));
    }

    // As a new user would: View, try the header and a double click, Save, delete two, Load
    // the backup and restore them, then Load an empty file.
    void poiDeleteBackUpAndRestore()
    {
        OpenPoi(g_seeded[0]);
        Click(kView);
        QStringList seen;
        QHeaderView* header = PoiList()->horizontalHeader();
        for (int column : {1, 0, 5, 0}) { // only the Del header toggles the ticks
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 10, 5));
            seen << Ticks();
        }
        QCOMPARE(seen.join(u' '), u"----- xxxxx xxxxx -----"_s);
        // An item view takes a double click only on the index that the press before it hit.
        const QPoint at = PoiList()->visualItemRect(PoiList()->item(0, 1)).center();
        QTest::mousePress(PoiList()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(PoiList()->viewport(), Qt::LeftButton, {}, at);
        const QString file = m_work.filePath(u"Poi.txt"_s);
        m_dialogs->setNextFileName(file);
        Click(kSaveFile);
        QCOMPARE(updatetest::ReadFile(file).split('\n').first(),
                 "1,2008/05/21,12:34,-0.1234,2.3586,359\r"_ba);
        TickRows({1, 3});
        m_boxes->setNextAnswer(MsgAnswer::No);
        Click(kUpdatePoi);
        QCOMPARE(Ticks(), u"-----"_s);
        QCOMPARE(Sent().size(), 0U);
        TickRows({1, 3});
        Click(kUpdatePoi);
        QCOMPARE(
            m_boxes->texts().join(u'|'),
            u"   Lat : -0.1234 \n   Lon : 2.3586\n   Angle : 359|ui-122|ui-115|ui-115|ui-108"_s);
        Bytes kept(1600, 0xFF);
        for (int slot : {0, 2, 4})
            std::copy_n(g_seeded[0].begin() + 16 * slot, 16, kept.begin() + 16 * (slot / 2));
        QVERIFY(StoresHold(kept));
        m_dialogs->setNextFileName(file);
        Click(kLoadFile);
        QCOMPARE(Ticks(), u"-----"_s);
        QTRY_VERIFY(Button(kUpdatePoi)->isEnabled()); // a loaded file needs no tick
        Click(kUpdatePoi);
        QVERIFY(StoresHold(g_seeded[0]));
        QCoreApplication::processEvents();
        QVERIFY(!Button(kUpdatePoi)->isEnabled()); // until a row is ticked again
        Load({});                                  // an empty file erases every POI
        Click(kUpdatePoi);
        QVERIFY(StoresHold(kErased));
    }

    // Files that cannot be written or read; Update POI that would leave more than 100 rows
    // sends nothing and keeps the ticks.
    void poiRefusals()
    {
        OpenPoi();
        m_dialogs->setNextFileName(m_work.filePath(u"no/such/folder/Poi.txt"_s));
        Click(kSaveFile);
        m_dialogs->setNextFileName(m_work.filePath(u"missing.txt"_s));
        Click(kLoadFile);
        QStringList boxes{u"Error[5008]"_s, u"Error[5009]"_s};
        // A file that yields fewer bytes than its length says (a kernel attribute file).
        if (const QString file = u"/sys/kernel/mm/transparent_hugepage/enabled"_s;
            QFileInfo(file).size() == 4096) {
            m_dialogs->setNextFileName(file);
            Click(kLoadFile);
            boxes << u"Error[5010]"_s;
        }
        QByteArray file;
        for (int n = 1; n <= 102; ++n)
            file += u"%1,2009/01/01,00:00,1.0000,2.0000,3\n"_s.arg(n).toLatin1();
        Load(file);
        TickRows({2});
        Click(kUpdatePoi);
        QCOMPARE(m_boxes->texts().filter(u"Error"_s), boxes << u"Error[5011]"_s);
        QCOMPARE(Sent().size(), 0U);
        QCOMPARE(Ticks(), u"--x"_s + QString(99, u'-'));
    }

    // The unit's flags read as damaged sound and database, intact images; the link is held
    // while the dialog is up, which closes within a tick of the answer. A unit detected again
    // shows no result of an earlier check; the identity zero-padded.
    void diagnosis()
    {
        OpenSheet(Id::Diagnosis);
        // Bytes 60, 61, 62 of the "$RC" answer.
        m_unit->unit().overrideCheckAnswer(std::array<std::uint8_t, 3>{1, 0, 2});
        m_unit->unit().clearTrace();
        RunModal<CCrcCheck>(kDiagnosis, [&](CCrcCheck& check) {
            QCOMPARE(m_sheet->m_bDeviceBusy.load(), 1);
            QVERIFY(check.Timer().isActive());
            check.Timer().stop(); // stepped from here: the tick after the answer closes it
            check.OnTimer(CCrcCheck::kTimerId);
            QVERIFY(QTest::qWaitFor([&check] { return check.Done(); }, 5000));
            QVERIFY(check.isVisible());
            check.OnTimer(CCrcCheck::kTimerId);
            QVERIFY(!check.isVisible());
        });
        QCOMPARE(Commands().join(u' '), u"$BT $RC"_s);
        QCOMPARE(m_boxes->texts(), QStringList{});
        QTRY_COMPARE(ResultLines(), u"ui-118ui-123 ui-119ui-123 ui-120ui-122"_s); // 123 "Damaged."
        m_unit->unit().unplug();
        Tick();
        m_unit->unit().plug();
        Detect(Id::Diagnosis);
        QCOMPARE(ResultLines(), kNotChecked);
        QCOMPARE(Labels(1200, 4),
                 u"HW_ID - 01 DB Ver - 081021 Voice Ver - 081001 Image Ver - 081001"_s);
    }

    void diagnosisEarlyEnd_data()
    {
        QTest::addColumn<bool>("sheetCloses"); // a 10 s check, else an answer that never comes
        QTest::newRow("never answers, Enter") << false;
        QTest::newRow("10 s check, the sheet closes") << true;
    }
    // Ended before an answer: no results, the link free at once and the worker soon gone, and
    // the unit's late answer kept out of the next exchange.
    void diagnosisEarlyEnd()
    {
        QFETCH(bool, sheetCloses);
        OpenSheet(Id::Diagnosis);
        m_unit->unit().setCheckDelayMs(sheetCloses ? 10000 : 0);
        std::weak_ptr<const CrcCheckState> worker;
        RunModal<CCrcCheck>(kDiagnosis, [&](CCrcCheck& check) {
            if (!sheetCloses)
                m_unit->unit().control("fault stall");
            m_unit->unit().clearTrace();
            check.Timer().stop();
            check.OnTimer(CCrcCheck::kTimerId);
            worker = check.State();
            QVERIFY(m_unit->unit().waitForTrace(1, 5000)); // the unit has the "$RC"
            QTest::qWait(50);
            QCOMPARE(check.findChild<QLabel*>(u"1160"_s)->text(), u"ui-125"_s);
            QVERIFY(check.isVisible());
            if (sheetCloses)
                m_sheet->close();
            else
                QTest::keyClick(&check, Qt::Key_Return);
        });
        QCOMPARE(m_boxes->texts(), QStringList());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QCOMPARE(ResultLines(), kNotChecked);
        QTRY_VERIFY_WITH_TIMEOUT(worker.expired(), 1000);
        QCOMPARE(testsupport::SettingsStart(), u"00 0a 00 00"_s); // not the "$RC" answer
    }

    // Diagnosis only while a unit is connected and the link is neither busy nor reprogrammed.
    void diagnosisEnableRule()
    {
        OpenSheet(Id::Diagnosis);
        for (auto [connected, busy, reprogrammed] :
             {std::tuple{1, 1, 0}, {1, 0, 1}, {0, 0, 0}, {1, 0, 0}}) {
            theApp().m_bConnected = connected;
            m_sheet->SetDeviceBusy(busy);
            m_sheet->SetReprogrammed(reprogrammed);
            QTRY_COMPARE(Button(kDiagnosis)->isEnabled(), connected && !busy && !reprogrammed);
        }
    }

private:
    CPage_Language* Settings() const { return qobject_cast<CPage_Language*>(m_page.data()); }
    CPage_Poi* Poi() const { return qobject_cast<CPage_Poi*>(m_page.data()); }
    QPushButton* Button(int id) const { return Control<QPushButton>(id); }
    QComboBox* List(int id) const { return Control<QComboBox>(id); }
    QTableWidget* PoiList() const { return Control<QTableWidget>(1152); }
    // What a refused action leaves as it was: the settings record and dirty flag, the POI
    // ticks or the results.
    QByteArray PageState() const
    {
        if (const CPage_Language* page = Settings())
            return QByteArray::fromRawData(reinterpret_cast<const char*>(page->Record().data()), 64)
                       .toHex() +
                   (page->IsDirty() ? " dirty" : "");
        return (Poi() ? Ticks() : ResultLines()).toLatin1();
    }
    // Clicks a button once the refresh queued by a tick has enabled it, with the unit's trace
    // cleared. Questions are answered Yes unless a test says otherwise.
    void Click(int id)
    {
        QCoreApplication::processEvents();
        m_unit->unit().clearTrace();
        QTest::mouseClick(Button(id), Qt::LeftButton);
    }

    // The main sheet finds the unit, takes its firmware as that version and shows the settings
    // page; busy is set before the page is first shown.
    void OpenSettings(int firmware = 8011, bool busy = false)
    {
        OpenSheet(Id::Language, [&] {
            m_sheet->m_identity.fwVersion = firmware;
            m_sheet->SetDeviceBusy(busy);
            m_unit->unit().clearTrace();
        });
    }
    // The last action saved written.
    void Saved(const Bytes& written)
    {
        QCOMPARE(Commands().join(u' '), u"$BT $WD data"_s);
        QCOMPARE(m_unit->unit().readMemory(kSettings, 64), written);
        QVERIFY(!Settings()->IsDirty());
    }
    Bytes Record() const { return Bytes(Settings()->Record().begin(), Settings()->Record().end()); }
    // The day and night hours and the volume, as shown.
    QString Texts() const
    {
        return QStringList{List(1116)->currentText(), List(1123)->currentText(),
                           List(1099)->currentText()}
            .join(u'|');
    }

    void OpenPoi(const Bytes& first = kErased, const Bytes& second = kErased)
    {
        m_unit->unit().writeMemory(kStore1, first);
        m_unit->unit().writeMemory(kStore2, second);
        OpenSheet(Id::Poi);
    }
    void Load(const QByteArray& bytes)
    {
        const QString path = m_work.filePath(u"load.txt"_s);
        QVERIFY(updatetest::WriteFile(path, bytes));
        m_dialogs->setNextFileName(path);
        Click(kLoadFile);
    }
    void TickRows(std::initializer_list<int> rows)
    {
        for (int row : rows) {
            QVERIFY(PoiList()->item(row, 0));
            PoiList()->item(row, 0)->setCheckState(Qt::Checked);
        }
    }
    bool StoresHold(const Bytes& bytes) const
    {
        return m_unit->unit().readMemory(kStore1, 1600) == bytes &&
               m_unit->unit().readMemory(kStore2, 1600) == bytes;
    }

    QTemporaryDir m_work;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;
    Bytes m_defaults;
};

QTEST_MAIN(TestDevicePages)
#include "test_device_pages.moc"
