// The POI page in the main sheet against an in-process virtual unit (its packets and memory),
// with message boxes and file dialogs answered by recorders.

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
const Bytes kErased(1600, 0xFF);

// Stores holding the virtual unit's seeded POIs 0 to count - 1; made before any test's own
// unit exists (a unit fixture owns the socket variable).
std::map<int, Bytes> g_seeded;

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
    void OpenPage(const Bytes& first = kErased, const Bytes& second = kErased)
    {
        m_unit->unit().writeMemory(kStore1, first);
        m_unit->unit().writeMemory(kStore2, second);
        theApp().m_bConnected = 0;
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
    QTableWidget* List() const { return Control<QTableWidget>(1152); }
    // Clicks a button once the refresh queued by a tick has enabled it.
    void Click(int id)
    {
        QCoreApplication::processEvents();
        QTest::mouseClick(Control(id), Qt::LeftButton);
    }
    bool UpdateEnabled()
    {
        QCoreApplication::processEvents();
        return Control(1150)->isEnabled();
    }
    void Load(const QByteArray& bytes)
    {
        const QString path = m_work.filePath(u"load.txt"_s);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        m_dialogs->setNextFileName(path);
        Click(1153);
    }
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
    std::size_t Sent() const { return m_unit->sentPackets().size(); }
    Bytes Store(std::uint32_t address) const { return m_unit->unit().readMemory(address, 1600); }

private slots:
    void initTestCase()
    {
        testsupport::UnitFixture unit;
        for (int count : {3, 5, 100}) {
            unit->control("poi-seed " + std::to_string(count));
            g_seeded[count] = unit->readMemory(kStore1, 1600);
        }
    }
    void init()
    {
        CTavoApp& app = theApp();
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            app.m_strText[static_cast<std::size_t>(n)] = u"ui-"_s + QString::number(n);
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
        QStringList shown;
        for (int column = 0; column < List()->columnCount(); ++column)
            shown << List()->horizontalHeaderItem(column)->text() + u' ' +
                         QString::number(List()->columnWidth(column));
        for (int id : {1154, 1150, 1151, 1153})
            shown << Control(id)->text() + u' ' + QString::number(Control(id)->isEnabled());
        QCOMPARE(shown, (QStringList{u"Del 40"_s, u"Date 80"_s, u"Time 80"_s, u"Latitude 120"_s,
                                     u"Longitude 120"_s, u"Angle 120"_s, u"ui-110 1"_s,
                                     u"ui-111 0"_s, u"ui-112 1"_s, u"ui-113 1"_s}));
        m_sheet->SetDeviceBusy(true);
        QTRY_VERIFY(!Control(1154)->isEnabled());
        m_sheet->SetDeviceBusy(false);
    }

    void view_data()
    {
        QTest::addColumn<Bytes>("first");
        QTest::addColumn<Bytes>("second");
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("exchanges");
        Bytes slot0Free = g_seeded[5];
        slot0Free[0] = 0x00;
        QTest::newRow("first store") << g_seeded[3] << g_seeded[5] << 3 << 26;
        QTest::newRow("first store empty: the second") << kErased << g_seeded[5] << 5 << 51;
        QTest::newRow("slot 0 not in use: nothing") << slot0Free << g_seeded[5] << 0 << 26;
        QTest::newRow("100 records") << g_seeded[100] << kErased << 100 << 26;
    }
    void view()
    {
        QFETCH(Bytes, first);
        QFETCH(Bytes, second);
        QFETCH(int, rows);
        QFETCH(int, exchanges);
        OpenPage(first, second);
        QElapsedTimer timer;
        timer.start();
        m_page->OnView();
        qInfo("View: %d exchanges in %.2f ms", exchanges, timer.nsecsElapsed() / 1e6);
        QCOMPARE(Sent(), std::size_t(exchanges));
        QCOMPARE(List()->rowCount(), rows);
        QCOMPARE(Control<QLineEdit>(1021)->text(), QString::number(rows));
    }

    // As a new user would: View, Save, delete two, Load the backup and restore them.
    void deleteBackUpAndRestore()
    {
        Bytes original = g_seeded[5]; // slot 0: latitude -0.1234 degree, 21/05/2008
        const QByteArray slot0 = QByteArray::fromHex("a567012efbffff225c00001505080c22");
        std::copy(slot0.begin(), slot0.end(), original.begin());
        OpenPage(original);
        Click(1154);
        const QString file = m_work.filePath(u"Poi.txt"_s);
        m_dialogs->setNextFileName(file);
        Click(1151);
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = saved.readAll().split('\n');
        QCOMPARE(lines.size(), 6);
        QCOMPARE(lines[0], "1,2008/05/21,12:34,-0.1234,2.3586,359\r"_ba);

        // No writes nothing and clears the ticks.
        Tick({1, 3});
        m_unit->unit().clearTrace();
        m_boxes->setNextAnswer(MsgAnswer::No);
        Click(1150);
        QCOMPARE(Ticks(), u"-----"_s);
        QCOMPARE(Sent(), 0U);

        Tick({1, 3});
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        Click(1150);
        QCOMPARE(m_boxes->texts(), (QStringList{u"ui-115"_s, u"ui-115"_s, u"ui-108"_s}));
        QCOMPARE(m_boxes->shown().first().caption, u"ui-111"_s);
        QCOMPARE(Sent(), 1U + 2 * 26 + 26); // $BT, two stores, then View
        Bytes kept(1600, 0xFF);
        for (int slot : {0, 2, 4})
            std::copy_n(original.begin() + 16 * slot, 16, kept.begin() + 16 * (slot / 2));
        QCOMPARE(Store(kStore1), kept);
        QCOMPARE(Store(kStore2), kept);
        QCOMPARE(List()->rowCount(), 3);
        QVERIFY(!UpdateEnabled());

        m_dialogs->setNextFileName(file);
        Click(1153);
        QCOMPARE(Ticks(), u"-----"_s);
        QVERIFY(UpdateEnabled()); // a loaded file needs no tick
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        Click(1150);
        QCOMPARE(Store(kStore1), original);
        QCOMPARE(Store(kStore2), original);
        QVERIFY(!UpdateEnabled()); // until a row is ticked again
        QCOMPARE(m_unit->unit().status().poiSlotsInUse, (std::array<std::uint32_t, 2>{5, 5}));

        // An empty file erases every POI.
        Load({});
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        Click(1150);
        QCOMPARE(Store(kStore1), kErased);
        QCOMPARE(Store(kStore2), kErased);
    }

    // Every refusal and failure shows its codes and leaves the list as it was; a failure
    // frees the link, a refusal sends nothing.
    void failures_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<int>("passing"); // packets that pass before writes fail; -1: none fail
        QTest::addColumn<int>("button");
        QTest::addColumn<QStringList>("boxes");
        const QString asked = u"ui-115"_s;
        QTest::newRow("View, boot mode")
            << 4 << true << -1 << 1154 << QStringList{u"Error[5001]"_s};
        QTest::newRow("Update, boot mode")
            << 4 << true << -1 << 1150 << QStringList{u"Error[5002]"_s};
        QTest::newRow("101 rows left")
            << 102 << false << -1 << 1150 << QStringList{u"Error[5011]"_s};
        QTest::newRow("$BT") << 4 << false << 0 << 1150
                             << QStringList{asked, u"Error[9001]"_s, u"Error[5003]"_s};
        QTest::newRow("$WD 1") << 4 << false << 1 << 1150 << QStringList{asked, u"Error[5004]"_s};
        QTest::newRow("data 1, first")
            << 4 << false << 2 << 1150 << QStringList{asked, u"Error[5005]"_s};
        QTest::newRow("$WD 2") << 4 << false << 27 << 1150 << QStringList{asked, u"Error[5006]"_s};
        QTest::newRow("data 2") << 4 << false << 28 << 1150 << QStringList{asked, u"Error[5007]"_s};
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
            m_unit->unit().injectFault(tavo::FaultKind::WriteFail, std::uint32_t(passing));
        m_boxes->setNextAnswer(MsgAnswer::Yes);
        if (button == 1154)
            m_page->OnView();
        else
            m_page->OnUpdatePoi();
        QCOMPARE(m_boxes->texts(), boxes);
        QCOMPARE(Sent(), std::size_t(std::max(passing, 0)));
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), passing >= 0 ? 0 : 1);
        m_sheet->SetDeviceBusy(false);
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
        OpenPage(g_seeded[3]);
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
        QCOMPARE(Sent(), 0U);
    }
};

QTEST_MAIN(TestPoiPage)
#include "test_poi_page.moc"
