// The POI page in the main sheet against an in-process virtual unit: its packet trace and its
// memory, with message boxes and file dialogs answered by recorders.

#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "device/CPage_Poi.h"
#include "platform/FileDialogRecorder.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>

using namespace Qt::StringLiterals;
using platform::MsgAnswer;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kStore1 = 0x3FC000;
constexpr std::uint32_t kStore2 = 0x3FD000;

// Stores holding the virtual unit's seeded POIs 0 to count - 1, erased after them; made once,
// before any test's own unit exists (a unit fixture owns the socket variable).
std::map<int, Bytes> g_seeded;

Bytes SeededStore(int count)
{
    return g_seeded.at(count);
}

// The slots of store, packed from slot 0, erased after them.
Bytes Packed(const Bytes& store, std::initializer_list<int> kept)
{
    Bytes packed(1600, 0xFF);
    int next = 0;
    for (int slot : kept)
        std::copy_n(store.begin() + 16 * slot, 16, packed.begin() + 16 * next++);
    return packed;
}

} // namespace

class TestPoiPage final : public QObject
{
    Q_OBJECT

    testsupport::TempHome m_home;
    QTemporaryDir m_work;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<CPage_Poi> m_page;

    // The main sheet finds the unit, reads its identity and shows the POI page.
    void OpenPage()
    {
        theApp().m_bConnected = 0; // the sheet detects the unit itself
        m_sheet = std::make_unique<CProptySheet>(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
        for (int tick = 0; tick < 2; ++tick)
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_page = qobject_cast<CPage_Poi*>(m_sheet->Page(CProptySheet::PageId::Poi));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().m_nPagePoi);
        m_unit->unit().clearTrace();
    }
    template <typename T = QPushButton> T* Control(int id) const
    {
        return m_page->findChild<T*>(QString::number(id));
    }
    // Loads a POI file holding bytes through Load.
    void Load(const QByteArray& bytes)
    {
        const QString path = m_work.filePath(u"load.txt"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        m_dialogs->setNextFileName(path);
        Click(1153);
    }
    QTableWidget* List() const { return Control<QTableWidget>(1152); }
    void Click(int id) { QTest::mouseClick(Control(id), Qt::LeftButton); }
    void Tick(std::initializer_list<int> rows)
    {
        for (int row : rows)
            List()->item(row, 0)->setCheckState(Qt::Checked);
    }
    QString Ticks() const
    {
        QString ticks;
        for (int r = 0; r < List()->rowCount(); ++r)
            ticks += List()->item(r, 0)->checkState() == Qt::Checked ? u'x' : u'-';
        return ticks;
    }
    bool UpdateEnabled()
    {
        QCoreApplication::processEvents(); // the queued refresh after a tick
        return Control(1150)->isEnabled();
    }
    void SetStores(const Bytes& first, const Bytes& second)
    {
        m_unit->unit().writeMemory(kStore1, first);
        m_unit->unit().writeMemory(kStore2, second);
    }
    Bytes Store(std::uint32_t address) const { return m_unit->unit().readMemory(address, 1600); }
    // The host's packets as the protocol frames them, runs of the same kind counted:
    // "$BT", "$RD 3fc000 x25", "$WD 3fd000", "data x25".
    QStringList Wire() const
    {
        QStringList wire;
        int dataLeft = 0;
        QString last;
        int run = 0;
        const auto flush = [&] {
            if (run > 0)
                wire << (run > 1 ? u"%1 x%2"_s.arg(last).arg(run) : last);
        };
        for (const Bytes& p : m_unit->sentPackets()) {
            QString kind = u"data"_s;
            if (dataLeft > 0) {
                --dataLeft;
            } else {
                kind = QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 3);
                const std::uint32_t address = p[4] | p[5] << 8 | p[6] << 16;
                if (kind != u"$BT"_s)
                    kind += u" %1"_s.arg(address & ~0xFFFU, 0, 16);
                if (kind.startsWith(u"$WD"_s))
                    dataLeft = p[12];
            }
            if (kind != last) {
                flush();
                last = kind;
                run = 0;
            }
            ++run;
        }
        flush();
        return wire;
    }

private slots:
    void initTestCase()
    {
        testsupport::UnitFixture unit;
        for (int count : {3, 4, 5, 100}) {
            unit->control("poi-seed " + std::to_string(count));
            g_seeded[count] = unit->readMemory(kStore1, 1600);
        }
    }

    void init()
    {
        CTavoApp& app = theApp();
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            app.m_strText[static_cast<std::size_t>(n)] = u"ui-%1"_s.arg(n, 3, 10, QLatin1Char('0'));
        app.m_strText[114] = u"Del/Date/Time/Latitude/Longitude/Angle"_s;
        app.SetRegistryKey(CTavoApp::kRegistryKey);
        QSettings(app.ProfileFilePath(), QSettings::IniFormat).clear();
        m_unit = std::make_unique<testsupport::UnitFixture>();
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        m_dialogs = std::make_unique<platform::FileDialogRecorder>();
    }
    void cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        m_dialogs.reset();
        m_boxes.reset();
        m_unit.reset();
    }

    void controls()
    {
        OpenPage();
        QHeaderView* header = List()->horizontalHeader();
        QStringList titles;
        for (int column = 0; column < List()->columnCount(); ++column)
            titles << List()->horizontalHeaderItem(column)->text() + u' ' +
                          QString::number(header->sectionSize(column));
        QCOMPARE(titles, (QStringList{u"Del 40"_s, u"Date 80"_s, u"Time 80"_s, u"Latitude 120"_s,
                                      u"Longitude 120"_s, u"Angle 120"_s}));
        QCOMPARE((QStringList{Control(1154)->text(), Control(1150)->text(), Control(1151)->text(),
                              Control(1153)->text()}),
                 (QStringList{u"ui-110"_s, u"ui-111"_s, u"ui-112"_s, u"ui-113"_s}));
        QVERIFY(List()->showGrid());
        QCOMPARE(Control<QLineEdit>(1021)->text(), QString());
        QVERIFY(Control(1154)->isEnabled() && !UpdateEnabled());
        m_sheet->SetDeviceBusy(true);
        QTRY_VERIFY(!Control(1154)->isEnabled());
        QVERIFY(Control(1151)->isEnabled() && Control(1153)->isEnabled());
        m_sheet->SetDeviceBusy(false);
    }

    void view_data()
    {
        QTest::addColumn<Bytes>("first");
        QTest::addColumn<Bytes>("second");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("wire");
        const QString bt = u"$BT"_s, rd1 = u"$RD 3fc000 x25"_s, rd2 = u"$RD 3fd000 x25"_s;
        Bytes slot0Free = SeededStore(5);
        slot0Free[0] = 0x00;
        QTest::newRow("first store, second ignored")
            << SeededStore(3) << SeededStore(5) << 3 << QStringList{bt, rd1};
        QTest::newRow("first store empty: the second")
            << Bytes(1600, 0xFF) << SeededStore(5) << 5 << QStringList{bt, rd1, rd2};
        QTest::newRow("slot 0 not in use: nothing")
            << slot0Free << SeededStore(5) << 0 << QStringList{bt, rd1};
        QTest::newRow("100 records")
            << SeededStore(100) << Bytes(1600, 0xFF) << 100 << QStringList{bt, rd1};
        QTest::newRow("100 records in the second")
            << Bytes(1600, 0xFF) << SeededStore(100) << 100 << QStringList{bt, rd1, rd2};
    }
    void view()
    {
        QFETCH(Bytes, first);
        QFETCH(Bytes, second);
        QFETCH(int, rows);
        QFETCH(QStringList, wire);
        SetStores(first, second);
        OpenPage();
        QElapsedTimer timer;
        timer.start();
        m_page->OnView();
        qInfo("View: %d exchanges in %.2f ms", static_cast<int>(m_unit->sentPackets().size()),
              timer.nsecsElapsed() / 1e6);
        QCOMPARE(Wire(), wire);
        QCOMPARE(List()->rowCount(), rows);
        QCOMPARE(Control<QLineEdit>(1021)->text(), QString::number(rows));
        QCOMPARE(m_boxes->texts(), QStringList());
    }

    // As a new user would: View, Save, delete two, Load the backup and restore them.
    void deleteBackUpAndRestore()
    {
        // Slot 0: latitude -0.1234 degree, 21/05/2008.
        Bytes original = SeededStore(5);
        const QByteArray slot0 = QByteArray::fromHex("a56701"
                                                     "2efbffff"
                                                     "225c0000"
                                                     "1505080c22");
        std::copy(slot0.begin(), slot0.end(), original.begin());
        SetStores(original, Bytes(1600, 0xFF));
        OpenPage();
        Click(1154);
        QCOMPARE(m_page->RowAt(0)[1] + u' ' + m_page->RowAt(0)[3], u"2008/05/21 -0.1234"_s);

        const QString file = m_work.filePath(u"Poi.txt"_s);
        m_dialogs->setNextFileName(file);
        Click(1151);
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], "1,2008/05/21,12:34,-0.1234,2.3586,359\r"_ba);

        Tick({1, 3});
        QVERIFY(UpdateEnabled());
        m_unit->unit().clearTrace();
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        Click(1150);
        QCOMPARE(m_boxes->texts(), (QStringList{u"ui-115"_s, u"ui-108"_s}));
        QCOMPARE(m_boxes->shown().first().caption, u"ui-111"_s);
        QCOMPARE(Wire(), (QStringList{u"$BT"_s, u"$WD 3fc000"_s, u"data x25"_s, u"$WD 3fd000"_s,
                                      u"data x25"_s, u"$BT"_s, u"$RD 3fc000 x25"_s}));
        const Bytes kept = Packed(original, {0, 2, 4});
        QCOMPARE(Store(kStore1), kept);
        QCOMPARE(Store(kStore2), kept);
        QCOMPARE(List()->rowCount(), 3);
        QVERIFY(!UpdateEnabled());

        m_dialogs->setNextFileName(file);
        Click(1153);
        QCOMPARE(List()->rowCount(), 5);
        QCOMPARE(Ticks(), u"-----"_s);
        QVERIFY(UpdateEnabled()); // a loaded file needs no tick
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        Click(1150);
        QCOMPARE(Store(kStore1), original);
        QCOMPARE(Store(kStore2), original);
        QVERIFY(!UpdateEnabled()); // until a row is ticked again
        QCOMPARE(m_unit->unit().status().poiSlotsInUse, (std::array<std::uint32_t, 2>{5, 5}));
    }

    void updateWrites_data()
    {
        QTest::addColumn<bool>("load"); // an empty file instead of View
        QTest::addColumn<QString>("ticks");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<bool>("written");
        QTest::newRow("every row ticked: all erased") << false << "xxxxx" << MsgAnswer::Yes << true;
        QTest::newRow("No: nothing written, ticks cleared")
            << false << "x-x-x" << MsgAnswer::No << false;
        QTest::newRow("an empty file erases every POI") << true << "" << MsgAnswer::Yes << true;
    }
    void updateWrites()
    {
        QFETCH(bool, load);
        QFETCH(QString, ticks);
        QFETCH(MsgAnswer, answer);
        QFETCH(bool, written);
        SetStores(SeededStore(5), SeededStore(5));
        OpenPage();
        if (load)
            Load({});
        else
            Click(1154);
        for (int r = 0; r < ticks.size(); ++r)
            if (ticks[r] == u'x')
                Tick({r});
        m_unit->unit().clearTrace();
        m_boxes->setNextAnswer(answer);
        QVERIFY(UpdateEnabled());
        Click(1150);
        QCOMPARE(Store(kStore1), written ? Bytes(1600, 0xFF) : SeededStore(5));
        QCOMPARE(Store(kStore2), Store(kStore1));
        QCOMPARE(Wire().isEmpty(), !written);
        QCOMPARE(Ticks(), written ? QString() : u"-----"_s);
    }

    // Every refusal and failure shows its codes, frees the link and leaves the list as it was;
    // a refusal sends nothing.
    void failures_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<int>("passing"); // packets that pass before writes fail; -1: none fail
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("boxes");
        const QString asked = u"ui-115"_s;
        QTest::newRow("View in boot mode")
            << 4 << true << -1 << 1154 << QStringList{u"Error[5001]"_s};
        QTest::newRow("Update POI in boot mode")
            << 4 << true << -1 << 1150 << QStringList{u"Error[5002]"_s};
        QTest::newRow("101 rows left")
            << 102 << false << -1 << 1150 << QStringList{u"Error[5011]"_s};
        QTest::newRow("$BT") << 4 << false << 0 << 1150
                             << QStringList{asked, u"Error[9001]"_s, u"Error[5003]"_s};
        QTest::newRow("$WD of store 1")
            << 4 << false << 1 << 1150 << QStringList{asked, u"Error[5004]"_s};
        QTest::newRow("first data of store 1")
            << 4 << false << 2 << 1150 << QStringList{asked, u"Error[5005]"_s};
        QTest::newRow("last data of store 1")
            << 4 << false << 26 << 1150 << QStringList{asked, u"Error[5005]"_s};
        QTest::newRow("$WD of store 2")
            << 4 << false << 27 << 1150 << QStringList{asked, u"Error[5006]"_s};
        QTest::newRow("data of store 2")
            << 4 << false << 28 << 1150 << QStringList{asked, u"Error[5007]"_s};
    }
    void failures()
    {
        QFETCH(int, rows);
        QFETCH(bool, bootMode);
        QFETCH(int, passing);
        QFETCH(int, button);
        QFETCH(QStringList, boxes);
        OpenPage();
        QByteArray file;
        for (int n = 1; n <= rows; ++n)
            file += u"%1,2009/01/01,00:00,1.0000,2.0000,3\n"_s.arg(n).toLatin1();
        Load(file);
        Tick({2});
        m_sheet->m_identity.bootMode = bootMode;
        m_sheet->SetDeviceBusy(true); // a failure frees the link, whoever held it
        if (passing >= 0)
            m_unit->unit().injectFault(tavo::FaultKind::WriteFail,
                                       static_cast<std::uint32_t>(passing));
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        if (button == 1154)
            m_page->OnView();
        else
            m_page->OnUpdatePoi();
        QCOMPARE(m_boxes->texts(), boxes);
        QCOMPARE(m_unit->sentPackets().size(), static_cast<std::size_t>(std::max(passing, 0)));
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), passing >= 0 ? 0 : 1);
        m_sheet->SetDeviceBusy(false);
        QCOMPARE(List()->rowCount(), rows);
        QCOMPARE(Ticks(), u"--x"_s + QString(rows - 3, u'-'));
    }

    void fileErrors()
    {
        OpenPage();
        m_dialogs->setNextFileName(m_work.filePath(u"no/such/folder/Poi.txt"_s));
        Click(1151);
        m_dialogs->setNextFileName(m_work.filePath(u"missing.txt"_s));
        Click(1153);
        QStringList boxes{u"Error[5008]"_s, u"Error[5009]"_s};
        // A file that yields fewer bytes than its length says (a kernel attribute file).
        const QString shortFile = u"/sys/kernel/mm/transparent_hugepage/enabled"_s;
        if (QFileInfo(shortFile).size() == 4096) {
            m_dialogs->setNextFileName(shortFile);
            Click(1153);
            boxes << u"Error[5010]"_s;
        }
        QCOMPARE(m_boxes->texts(), boxes);
        for (const platform::FileDialogRequest& r : m_dialogs->requests()) {
            QCOMPARE(r.filter, u"POI File(*.txt) |*.txt||"_s);
            QCOMPARE(r.defaultName, u"Poi.txt"_s);
            QCOMPARE(r.fileMustExist, r.mode == platform::FileDialogMode::Open);
        }
    }

    void headerAndDoubleClick()
    {
        SetStores(SeededStore(3), Bytes(1600, 0xFF));
        OpenPage();
        Click(1154);
        QHeaderView* header = List()->horizontalHeader();
        QStringList seen;
        for (int column : {1, 0, 5, 0}) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 10, 5));
            seen << Ticks();
        }
        QCOMPARE(seen, (QStringList{u"---"_s, u"xxx"_s, u"xxx"_s, u"---"_s}));

        m_unit->unit().clearTrace();
        const QRect cell = List()->visualItemRect(List()->item(1, 1));
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        // An item view takes a double click only on the index that the press before it hit.
        for (QPoint at : {cell.center(), cell.center() + QPoint(0, 3 * cell.height())}) {
            QTest::mousePress(List()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
        }
        const PoiRow row = m_page->RowAt(1);
        QCOMPARE(
            m_boxes->texts(),
            (QStringList{u"   Lat : %1 \n   Lon : %2\n   Angle : %3"_s.arg(row[3], row[4], row[5]),
                         u"ui-122"_s}));
        QCOMPARE(m_boxes->shown().first().caption, u"Send Poi"_s);
        QCOMPARE(Wire(), QStringList());
    }
};

QTEST_MAIN(TestPoiPage)
#include "test_poi_page.moc"
