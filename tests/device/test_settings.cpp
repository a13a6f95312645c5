// The settings page in the real main sheet, against an in-process virtual unit: the packets
// on the wire, what the unit then stores, the boxes shown and the page's lists.

#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "device/CPage_Language.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QPushButton>
#include <QtTest>
#include <numeric>
#include <tavo/ContentFile.h>

using namespace Qt::StringLiterals;
using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

constexpr std::uint32_t kAddress = 0x3FE000;
enum Action
{
    Load = 1149,
    Reset = 1150,
    Save = 1151
};

// The unit's record in each test: every setting inside its list, and the bytes that the page
// carries without showing them filled.
Bytes UnitRecord()
{
    Bytes record{0, 1,  2, 0, 1, 2, 1, 0, 0,    20,   3, 2, 0, 5, 1, 1,
                 0, 11, 1, 0, 0, 1, 0, 1, 0xA5, 0x5A, 2, 2, 2, 2, 2, 1};
    for (std::uint8_t i = 32; i < 64; ++i)
        record.push_back(0xC0 + i);
    return record;
}

// "a b c" as {"a", "b", "c"}.
QStringList Words(const char* spaced)
{
    return QString::fromLatin1(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestSettings final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            theApp().m_strText[static_cast<std::size_t>(n)] = u"ui-%1"_s.arg(n);
        theApp().SetRegistryKey(CTavoApp::kRegistryKey);
        m_unit = std::make_unique<testsupport::UnitFixture>();
        m_defaults = m_unit->unit().readMemory(kAddress, 64); // what a fresh unit holds
        m_unit->unit().writeMemory(kAddress, UnitRecord());
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    }
    void cleanup()
    {
        m_sheet.reset();
        QCOMPARE(m_unit->unit().problems(), std::vector<std::string>{});
        m_boxes.reset();
        m_unit.reset();
    }

    void initialRead_data()
    {
        QTest::addColumn<int>("firmware");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("boxes");
        const QStringList none;
        QTest::newRow("8011") << 8011 << false << QString() << Words("$BT $RD") << none;
        QTest::newRow("8012") << 8012 << false << QString() << Words("$RD") << none;
        QTest::newRow("busy") << 8011 << true << QString() << none << none;
        QTest::newRow("nak") << 8011 << false << u"nak"_s << Words("$BT") << Words("Error[9003]");
        QTest::newRow("short") << 8012 << false << u"short"_s << Words("$RD")
                               << Words("Error[9002]");
    }
    // The read at the page's creation. The answer is the record even when it opens with the
    // acknowledge pattern; without it the page shows the defaults and offers Save.
    void initialRead()
    {
        QFETCH(int, firmware);
        QFETCH(bool, busy);
        QFETCH(QString, fault);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, boxes);
        Bytes ackLike = UnitRecord();
        std::iota(ackLike.begin(), ackLike.begin() + 8, 0);
        m_unit->unit().writeMemory(kAddress, ackLike);

        OpenPage(firmware, busy, fault);
        QCOMPARE(Commands(), sent);
        QCOMPARE(m_boxes->texts(), boxes);
        const bool read = boxes.isEmpty() && !busy;
        QCOMPARE(Record(), read ? ackLike : m_defaults);
        QCOMPARE(m_page->IsDirty(), !read);
        QCOMPARE(Button(Load)->isEnabled(), !busy);
        m_sheet->SetDeviceBusy(false);
        QTRY_COMPARE(Button(Save)->isEnabled(), !read);
    }

    // Both packets go out even for an unchanged record, whose carried bytes go back as read;
    // after Reset, which sends nothing, they go out as the defaults have them.
    void save()
    {
        OpenPage();
        for (const Bytes& written : {UnitRecord(), m_defaults}) {
            m_unit->unit().clearTrace();
            m_page->OnSave();
            QCOMPARE(Commands(), Words("$BT $WD data"));
            QCOMPARE(testsupport::hexBytes(m_unit->sentPackets()[1], 16),
                     u"24 57 44 00 00 E0 3F 00 40 00 00 00 01 00 00 00"_s);
            QCOMPARE(m_unit->sentPackets()[2], written);
            QCOMPARE(m_unit->unit().control("settings"),
                     testsupport::hexBytes(written).toStdString() + "\n");
            QCOMPARE(m_boxes->texts(), QStringList{u"ui-108"_s});
            QVERIFY(!m_page->IsDirty());
            Click(Reset);
            QCOMPARE(Commands(), QStringList{});
        }
    }

    // As a user: the time format switches both hour lists, a byte beyond its list shows an
    // empty list and is saved as 255, and after a re-plug the page reads the saved record.
    // Prints how long Save and Load take.
    void userFlow()
    {
        Bytes record = UnitRecord();
        record[1] = 11; // beyond the volume's 11 entries
        m_unit->unit().writeMemory(kAddress, record);
        OpenPage();
        QCOMPARE(Texts(), u"20:00|00:00|"_s);
        QVERIFY(!Button(Save)->isEnabled());
        List(1136)->setCurrentIndex(0); // 12h
        QTRY_COMPARE(Texts(), u"PM 08:00|AM 00:00|"_s);
        List(1116)->setCurrentIndex(12);
        QTRY_COMPARE(Texts(), u"PM 12:00|AM 00:00|"_s);
        QVERIFY(Button(Save)->isEnabled());

        QElapsedTimer timer;
        timer.start();
        Click(Save);
        const double saveMs = timer.nsecsElapsed() / 1e6;
        record[1] = 255;
        record[9] = 12;
        record[18] = 0;
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), record);

        m_unit->unit().unplug();
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Language));
        m_unit->unit().plug();
        ShowPage();
        QCOMPARE(Record(), record);
        QCOMPARE(Texts(), u"PM 12:00|AM 00:00|"_s);

        List(1134)->setCurrentIndex(0);
        timer.restart();
        Click(Load);
        qInfo("Save %.2f ms, Load %.2f ms", saveMs, timer.nsecsElapsed() / 1e6);
        QCOMPARE(Record(), record);
        QVERIFY(!m_page->IsDirty());
    }

    void failures_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("fault"); // "boot": the unit is in boot mode
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("sent");
        const QStringList none;
        QTest::newRow("Load, boot") << +Load << u"boot"_s << Words("Error[4001]") << none;
        QTest::newRow("Reset, boot") << +Reset << u"boot"_s << Words("Error[4002]") << none;
        QTest::newRow("Save, boot") << +Save << u"boot"_s << Words("Error[4003]") << none;
        QTest::newRow("Save, nak")
            << +Save << u"nak"_s << Words("Error[9003] Error[4004]") << Words("$BT");
        QTest::newRow("Save, $BT unwritten")
            << +Save << u"write-fail"_s << Words("Error[9001] Error[4004]") << none;
        QTest::newRow("Save, $WD unwritten")
            << +Save << u"write-fail 1"_s << Words("Error[4005]") << Words("$BT");
        QTest::newRow("Save, data unwritten")
            << +Save << u"write-fail 2"_s << Words("Error[4006]") << Words("$BT $WD");
        QTest::newRow("Load, nak") << +Load << u"nak"_s << Words("Error[9003]") << Words("$BT");
        QTest::newRow("Load, $RD unwritten")
            << +Load << u"write-fail 1"_s << Words("Error[9001]") << Words("$BT");
    }
    // A refused or failed action keeps the record on screen and the dirty flag, leaves the
    // link free, and the unit keeps what it had.
    void failures()
    {
        QFETCH(int, action);
        QFETCH(QString, fault);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, sent);
        OpenPage();
        List(1110)->setCurrentIndex(0);
        QTRY_VERIFY(Button(Save)->isEnabled());
        const Bytes shown = Record();
        m_sheet->m_identity.bootMode = fault == "boot"_L1;
        if (!m_sheet->m_identity.bootMode)
            QCOMPARE(m_unit->unit().control("fault " + fault.toStdString()), "ok\n");

        Click(static_cast<Action>(action));
        QCOMPARE(m_boxes->texts(), boxes);
        QCOMPARE(Commands(), sent);
        QCOMPARE(Record(), shown);
        QVERIFY(m_page->IsDirty());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        m_unit->unit().clearFaults();
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), UnitRecord());
    }

    void layout_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << 0;
        QTest::newRow("French") << 1;
    }
    // With the shipped texts the page fits the sheet; the frames hold their lists (the inner
    // frames inside their outer ones) and the number entries read as the user sees them.
    void layout()
    {
        QFETCH(int, language);
        theApp().m_strCurDir = QStringLiteral(TAVO_SOURCE_DIR "/res");
        QVERIFY(theApp().LoadUIText(language));
        OpenPage();
        QCOMPARE(m_sheet->size(), QSize(760, 560));
        const QSize needed = m_page->minimumSizeHint();
        QVERIFY(needed.width() <= m_page->width() && needed.height() <= m_page->height());

        QStringList frames;
        for (int id : {1035, 1104, 1100, 1125, 1121, 1075, 1148, 1152})
            frames << Frame(id);
        QCOMPARE(frames, Words("1094 1100 1097 1121 1113 1139 1146 1187"));
        QStringList entries;
        for (auto [id, i] : {std::pair{1035, 25},
                             {1099, 10},
                             {1073, 4},
                             {1118, 0},
                             {1134, 0},
                             {1134, 11},
                             {1134, 23},
                             {1076, 28}})
            entries << List(id)->itemText(i);
        QCOMPARE(entries.join(u'|'), u"30 Sec|100 %|30|30 %|UTC -11|UTC +0|UTC +12|300"_s);
    }

private:
    // The main sheet finds the unit (firmware of that version), reads its identity and shows
    // the settings page; busy and the fault are set before the page is first shown.
    void OpenPage(int firmware = 8011, bool busy = false, const QString& fault = {})
    {
        if (firmware != 8011) {
            m_unit->unit().stop();
            const tavo::ContentFileSpec spec{tavo::ContentFileKind::Firmware, 0,
                                             static_cast<std::uint32_t>(firmware), 0x10000};
            QVERIFY(tavo::SaveContentFile(spec,
                                          (m_unit->stateDir() + u"/firmware.bin"_s).toStdString()));
            QVERIFY(m_unit->restart());
        }
        theApp().m_bConnected = 0;
        m_sheet = std::make_unique<CProptySheet>(theApp());
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
        ShowPage(busy, fault);
        QCOMPARE(m_sheet->m_identity.fwVersion, firmware);
    }
    void ShowPage(bool busy = false, const QString& fault = {})
    {
        for (int tick = 0; tick < 2; ++tick) // connect, then read the identity
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_sheet->SetDeviceBusy(busy);
        if (!fault.isEmpty())
            m_unit->unit().control("fault " + fault.toStdString());
        m_boxes->clear();
        m_unit->unit().clearTrace();
        m_page = qobject_cast<CPage_Language*>(m_sheet->Page(CProptySheet::PageId::Language));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().m_nPageLanguage);
        QVERIFY(m_page->isVisible());
    }
    // The packets sent since the page was shown: commands by their letters, else "data".
    QStringList Commands() const
    {
        QStringList result;
        for (const Bytes& p : m_unit->sentPackets())
            result << (p[0] == '$' ? QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 3)
                                   : u"data"_s);
        return result;
    }
    Bytes Record() const { return Bytes(m_page->Record().begin(), m_page->Record().end()); }
    QComboBox* List(int id) const { return m_page->findChild<QComboBox*>(QString::number(id)); }
    QPushButton* Button(Action id) const
    {
        return m_page->findChild<QPushButton*>(QString::number(id));
    }
    void Click(Action id)
    {
        m_unit->unit().clearTrace();
        m_boxes->clear();
        QTest::mouseClick(Button(id), Qt::LeftButton);
    }
    // The day and night hours and the volume, as shown.
    QString Texts() const
    {
        return QStringList{List(1116)->currentText(), List(1123)->currentText(),
                           List(1099)->currentText()}
            .join(u'|');
    }
    // The id of the frame that holds control id.
    QString Frame(int id) const
    {
        QWidget* w = m_page->findChild<QWidget*>(QString::number(id))->parentWidget();
        while (!qobject_cast<QGroupBox*>(w))
            w = w->parentWidget();
        return w->objectName();
    }

    testsupport::TempHome m_home;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<CPage_Language> m_page;
    Bytes m_defaults;
};

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
