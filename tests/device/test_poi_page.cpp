// The POI page in the main sheet against an in-process virtual unit (its packets and memory),
// with message boxes and file dialogs answered by recorders.

#include "UpdateTestKit.h"
#include "device/CPage_Poi.h"
#include "platform/FileDialogRecorder.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

using namespace Qt::StringLiterals;
using platform::MsgAnswer;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kStore1 = 0x3FC000;
constexpr std::uint32_t kStore2 = 0x3FD000;
const Bytes kErased(1600, 0xFF);

// Stores holding the virtual unit's seeded POIs 0 to count - 1; made before any test's own
// unit exists (a unit fixture owns the socket variable). g_seeded[0]: five POIs, the first at
// latitude -0.1234 degree on 2008/05/21.
std::map<int, Bytes> g_seeded;

} // namespace

class TestPoiPage final : public testsupport::SheetFixture<CPage_Poi>
{
    Q_OBJECT

    QTemporaryDir m_work;
    std::unique_ptr<platform::FileDialogRecorder> m_dialogs;

    void OpenPage(const Bytes& first = kErased, const Bytes& second = kErased)
    {
        m_unit->unit().writeMemory(kStore1, first);
        m_unit->unit().writeMemory(kStore2, second);
        OpenSheet(CProptySheet::PageId::Poi);
        m_unit->unit().clearTrace();
    }
    QTableWidget* List() const { return Control<QTableWidget>(1152); }
    // Clicks a button once the refresh queued by a tick has enabled it. Questions are answered
    // Yes unless a test says otherwise.
    void Click(int id)
    {
        QCoreApplication::processEvents();
        QTest::mouseClick(Control<QPushButton>(id), Qt::LeftButton);
    }
    bool UpdateEnabled()
    {
        QCoreApplication::processEvents();
        return Control<QPushButton>(1150)->isEnabled();
    }
    void Load(const QByteArray& bytes)
    {
        const QString path = m_work.filePath(u"load.txt"_s);
        QVERIFY(updatetest::WriteFile(path, bytes));
        m_dialogs->setNextFileName(path);
        Click(1153);
    }
    void TickRows(std::initializer_list<int> rows)
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
    void ClickHeader(int column)
    {
        QHeaderView* header = List()->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 10, 5));
    }
    bool StoresHold(const Bytes& bytes) const
    {
        return m_unit->unit().readMemory(kStore1, 1600) == bytes &&
               m_unit->unit().readMemory(kStore2, 1600) == bytes;
    }

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
        Init();
        m_dialogs = std::make_unique<platform::FileDialogRecorder>();
    }
    void cleanup()
    {
        Cleanup();
        m_dialogs.reset();
    }

    void view_data()
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
    void view()
    {
        QFETCH(Bytes, first);
        QFETCH(Bytes, second);
        QFETCH(int, rows);
        QFETCH(int, exchanges);
        OpenPage(first, second);
        m_page->OnView();
        QCOMPARE(Sent().size(), std::size_t(exchanges));
        QCOMPARE(List()->rowCount(), rows);
        QCOMPARE(Control<QLineEdit>(1021)->text(), QString::number(rows));
    }

    // As a new user would: View, try the header and a double click, Save, delete two, tick
    // all, Load the backup and restore them, then Load an empty file.
    void deleteBackUpAndRestore()
    {
        OpenPage(g_seeded[0]);
        Click(1154);
        QStringList seen;
        for (int column : {1, 0, 5, 0}) { // only the Del header toggles the ticks
            ClickHeader(column);
            seen << Ticks();
        }
        QCOMPARE(seen, (QStringList{u"-----"_s, u"xxxxx"_s, u"xxxxx"_s, u"-----"_s}));
        // An item view takes a double click only on the index that the press before it hit.
        const QPoint at = List()->visualItemRect(List()->item(0, 1)).center();
        QTest::mousePress(List()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(List()->viewport(), Qt::LeftButton, {}, at);
        const QString file = m_work.filePath(u"Poi.txt"_s);
        m_dialogs->setNextFileName(file);
        Click(1151);
        QCOMPARE(updatetest::ReadFile(file).split('\n').first(),
                 "1,2008/05/21,12:34,-0.1234,2.3586,359\r"_ba);

        TickRows({1, 3});
        m_unit->unit().clearTrace();
        m_boxes->setNextAnswer(MsgAnswer::No);
        Click(1150);
        QCOMPARE(Ticks(), u"-----"_s);
        QCOMPARE(Sent().size(), 0U);

        TickRows({1, 3});
        Click(1150);
        QCOMPARE(
            m_boxes->texts().join(u'|'),
            u"   Lat : -0.1234 \n   Lon : 2.3586\n   Angle : 359|ui-122|ui-115|ui-115|ui-108"_s);
        QCOMPARE(Sent().size(), 1U + 2 * 26 + 26); // $BT, two stores, then View
        Bytes kept(1600, 0xFF);
        for (int slot : {0, 2, 4})
            std::copy_n(g_seeded[0].begin() + 16 * slot, 16, kept.begin() + 16 * (slot / 2));
        QVERIFY(StoresHold(kept));
        QCOMPARE(List()->rowCount(), 3);
        QVERIFY(!UpdateEnabled());

        ClickHeader(0); // every row ticked
        Click(1150);
        QVERIFY(StoresHold(kErased));

        m_dialogs->setNextFileName(file);
        Click(1153);
        QCOMPARE(Ticks(), u"-----"_s);
        QVERIFY(UpdateEnabled()); // a loaded file needs no tick
        Click(1150);
        QVERIFY(StoresHold(g_seeded[0]));
        QVERIFY(!UpdateEnabled()); // until a row is ticked again

        Load({}); // an empty file erases every POI
        Click(1150);
        QVERIFY(StoresHold(kErased));
    }

    // Every refusal shows its code, sends nothing and leaves the list as it was. Faults of the
    // unit are the fault matrix's.
    void refusals_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("box");
        QTest::newRow("View, boot mode") << 4 << true << 1154 << u"Error[5001]"_s;
        QTest::newRow("Update, boot mode") << 4 << true << 1150 << u"Error[5002]"_s;
        QTest::newRow("101 rows left") << 102 << false << 1150 << u"Error[5011]"_s;
    }
    void refusals()
    {
        QFETCH(int, rows);
        QFETCH(bool, bootMode);
        QFETCH(int, button);
        QFETCH(QString, box);
        OpenPage();
        QByteArray file;
        for (int n = 1; n <= rows; ++n)
            file += u"%1,2009/01/01,00:00,1.0000,2.0000,3\n"_s.arg(n).toLatin1();
        Load(file);
        TickRows({2});
        m_sheet->m_identity.bootMode = bootMode;
        button == 1154 ? m_page->OnView() : m_page->OnUpdatePoi();
        QCOMPARE(m_boxes->texts().filter(u"Error"_s), QStringList{box});
        QCOMPARE(Sent().size(), 0U);
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
        if (const QString file = u"/sys/kernel/mm/transparent_hugepage/enabled"_s;
            QFileInfo(file).size() == 4096) {
            m_dialogs->setNextFileName(file);
            Click(1153);
            boxes << u"Error[5010]"_s;
        }
        QCOMPARE(m_boxes->texts(), boxes);
    }
};

QTEST_MAIN(TestPoiPage)
#include "test_poi_page.moc"
