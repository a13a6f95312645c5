// The settings page in the real main sheet, against an in-process virtual unit: what goes on
// the wire (the unit's packet trace), what the unit then stores, the boxes shown and the
// page's lists.

#include "TempHome.h"
#include "UnitFixture.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "device/CPage_Language.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <tavo/ContentFile.h>

using namespace Qt::StringLiterals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kAddress = 0x3FE000;

QString UiText(int n)
{
    return u"ui-%1"_s.arg(n, 3, 10, QLatin1Char('0'));
}

// The unit's record before each test: every setting within its list, and the bytes the
// page carries without showing them filled.
Bytes UnitRecord()
{
    Bytes record{0, 1,  2, 0, 1, 2, 1, 0, 0,    20,   3, 2, 0, 5, 1, 1,
                 0, 11, 1, 0, 0, 1, 0, 1, 0xA5, 0x5A, 2, 2, 2, 2, 2, 1};
    for (std::size_t i = 32; i < 64; ++i)
        record.push_back(static_cast<std::uint8_t>(0xC0 + i));
    return record;
}

// A record whose bytes 0-7 look like the acknowledge pattern.
Bytes AckLikeRecord()
{
    Bytes record = UnitRecord();
    for (std::uint8_t i = 0; i < 8; ++i)
        record[i] = i;
    return record;
}

Bytes Defaults()
{
    Bytes record{0x00, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x06, 0x07,
                 0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x0C, 0x01, 0x01, 0x01, 0x01,
                 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x03, 0x07, 0x0B, 0x00};
    record.resize(64);
    return record;
}

// "a b c" as {"a", "b", "c"}.
QStringList Words(const char* spaced)
{
    return QString::fromLatin1(spaced).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

Q_DECLARE_METATYPE(Bytes)

class TestSettings final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CTavoApp& app = theApp();
        for (int n = 0; n < CTavoApp::kTextCount; ++n)
            app.m_strText[static_cast<std::size_t>(n)] = UiText(n);
        app.SetRegistryKey(CTavoApp::kRegistryKey);
        m_unit = std::make_unique<testsupport::UnitFixture>();
        m_unit->unit().writeMemory(kAddress, UnitRecord());
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
    }

    void cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
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
        QTest::addColumn<bool>("read");

        const QStringList none;
        QTest::newRow("8011: handshake first")
            << 8011 << false << QString() << Words("$BT $RD") << none << true;
        QTest::newRow("8012: read alone")
            << 8012 << false << QString() << Words("$RD") << none << true;
        QTest::newRow("busy sheet") << 8011 << true << QString() << none << none << false;
        QTest::newRow("handshake refused")
            << 8011 << false << u"fault nak"_s << Words("$BT") << Words("Error[9003]") << false;
        QTest::newRow("read cut short")
            << 8012 << false << u"fault short"_s << Words("$RD") << Words("Error[9002]") << false;
    }
    // The read at the page's creation: which packets, and the record and dirty flag it leaves.
    void initialRead()
    {
        QFETCH(int, firmware);
        QFETCH(bool, busy);
        QFETCH(QString, fault);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, boxes);
        QFETCH(bool, read);

        m_unit->unit().writeMemory(kAddress, AckLikeRecord());
        OpenPage(firmware, busy, fault);
        QCOMPARE(Commands(), sent);
        QCOMPARE(m_boxes->texts(), boxes);
        QCOMPARE(Record(), read ? AckLikeRecord() : Defaults());
        QCOMPARE(m_page->IsDirty(), !read);
        QCOMPARE(Button(1151)->isEnabled(), !read && !busy);
        QCOMPARE(Button(1149)->isEnabled(), !busy);
        QVERIFY(Button(1150)->isEnabled());

        // Save is offered once the link is free again.
        m_sheet->SetDeviceBusy(false);
        QTRY_COMPARE(Button(1151)->isEnabled(), !read);
    }

    void save_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::addColumn<Bytes>("written");

        // Nothing changed: the record goes back byte for byte, carried bytes included.
        QTest::newRow("as read") << false << UnitRecord();
        QTest::newRow("after Reset") << true << Defaults();
    }
    void save()
    {
        QFETCH(bool, reset);
        QFETCH(Bytes, written);

        OpenPage();
        m_unit->unit().clearTrace();
        if (reset) {
            QTest::mouseClick(Button(1150), Qt::LeftButton);
            QVERIFY(m_page->IsDirty());
            QCOMPARE(Commands(), QStringList{}); // Reset sends nothing
        }
        m_page->OnSave();
        QCOMPARE(m_boxes->texts(), QStringList{UiText(108)});
        QCOMPARE(Commands(), (Words("$BT $WD data")));
        QCOMPARE(testsupport::hexBytes(m_unit->sentPackets()[1], 16),
                 u"24 57 44 00 00 E0 3F 00 40 00 00 00 01 00 00 00"_s);
        QCOMPARE(m_unit->sentPackets()[2], written);
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), written);
        QCOMPARE(QString::fromStdString(m_unit->unit().control("settings")),
                 testsupport::hexBytes(written) + u"\n"_s);
        QVERIFY(!m_page->IsDirty());
        QTRY_VERIFY(!Button(1151)->isEnabled());
    }

    // The user's flow: change a setting, Save, unplug and plug the unit; the page made anew
    // reads the changed record back, and Load reads it too. Prints how long Load and Save take.
    void changeSaveReplugLoad()
    {
        OpenPage();
        List(1099)->setCurrentIndex(4); // volume 40 %
        QTRY_VERIFY(Button(1151)->isEnabled());
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(Button(1151), Qt::LeftButton);
        const double saveMs = timer.nsecsElapsed() / 1e6;
        Bytes expected = UnitRecord();
        expected[1] = 4;
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), expected);

        m_unit->unit().unplug();
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QVERIFY(!m_sheet->Page(CProptySheet::PageId::Language));
        m_unit->unit().plug();
        m_unit->unit().clearTrace();
        ShowPage();
        QCOMPARE(Commands(), (Words("$BT $RD")));
        QCOMPARE(List(1099)->currentText(), u"40 %"_s);
        QCOMPARE(Record(), expected);

        List(1099)->setCurrentIndex(9);
        timer.restart();
        QTest::mouseClick(Button(1149), Qt::LeftButton);
        const double loadMs = timer.nsecsElapsed() / 1e6;
        QCOMPARE(List(1099)->currentText(), u"40 %"_s);
        QVERIFY(!m_page->IsDirty());
        qInfo("Save %.2f ms, Load %.2f ms (message box answered at once)", saveMs, loadMs);
    }

    // The hour lists follow the time format; a byte beyond its list shows no selection and
    // is collected as 255.
    void listsFollowTheRecord()
    {
        Bytes record = UnitRecord();
        record[9] = 20;
        record[12] = 0;
        record[1] = 11; // beyond the 11 volume entries
        m_unit->unit().writeMemory(kAddress, record);
        OpenPage();
        QCOMPARE(List(1116)->currentText(), u"20:00"_s);
        QCOMPARE(List(1123)->currentText(), u"00:00"_s);
        QCOMPARE(List(1099)->currentIndex(), -1);

        List(1136)->setCurrentIndex(0); // 12h
        QTRY_COMPARE(List(1116)->currentText(), u"PM 08:00"_s);
        QCOMPARE(List(1123)->currentText(), u"AM 00:00"_s);
        QCOMPARE(List(1116)->count(), 24);
        List(1116)->setCurrentIndex(12);
        QTRY_COMPARE(List(1116)->currentText(), u"PM 12:00"_s);
        QCOMPARE(List(1099)->currentIndex(), -1);

        m_page->OnSave();
        record[18] = 0;
        record[9] = 12;
        record[1] = 255;
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), record);
    }

    void failures_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("bootMode");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QStringList>("sent");

        const QStringList none;
        QTest::newRow("Load, boot mode")
            << 1149 << true << QString() << Words("Error[4001]") << none;
        QTest::newRow("Reset, boot mode")
            << 1150 << true << QString() << Words("Error[4002]") << none;
        QTest::newRow("Save, boot mode")
            << 1151 << true << QString() << Words("Error[4003]") << none;
        QTest::newRow("Save, handshake refused")
            << 1151 << false << u"fault nak"_s << Words("Error[9003] Error[4004]") << Words("$BT");
        QTest::newRow("Save, handshake not written")
            << 1151 << false << u"fault write-fail"_s << Words("Error[9001] Error[4004]") << none;
        QTest::newRow("Save, $WD not written")
            << 1151 << false << u"fault write-fail 1"_s << Words("Error[4005]") << Words("$BT");
        QTest::newRow("Save, data not written")
            << 1151 << false << u"fault write-fail 2"_s << Words("Error[4006]") << Words("$BT $WD");
        QTest::newRow("Load, handshake refused")
            << 1149 << false << u"fault nak"_s << Words("Error[9003]") << Words("$BT");
        QTest::newRow("Load, read not written")
            << 1149 << false << u"fault write-fail 1"_s << Words("Error[9001]") << Words("$BT");
    }
    // A refused or failed action keeps the record the user has on screen, and the dirty flag,
    // and leaves the link free; the unit keeps what it had.
    void failures()
    {
        QFETCH(int, button);
        QFETCH(bool, bootMode);
        QFETCH(QString, fault);
        QFETCH(QStringList, boxes);
        QFETCH(QStringList, sent);

        OpenPage();
        List(1110)->setCurrentIndex(0); // smart mute on: the record differs from the unit's
        QVERIFY(m_page->IsDirty());
        const Bytes shown = Record();
        m_sheet->m_identity.bootMode = bootMode;
        if (!fault.isEmpty())
            QCOMPARE(m_unit->unit().control(fault.toStdString()), "ok\n");
        m_unit->unit().clearTrace();

        switch (button) {
        case 1149:
            m_page->OnLoad();
            break;
        case 1150:
            m_page->OnReset();
            break;
        default:
            m_page->OnSave();
        }
        QCOMPARE(m_boxes->texts(), boxes);
        QCOMPARE(Commands(), sent);
        QCOMPARE(Record(), shown);
        QVERIFY(m_page->IsDirty());
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        m_unit->unit().clearFaults();
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), UnitRecord());
        m_sheet->m_identity.bootMode = false;
    }

    void enableRule_data()
    {
        QTest::addColumn<int>("flag"); // 0 connected, 1 busy, 2 reprogrammed
        QTest::newRow("not connected") << 0;
        QTest::newRow("busy") << 1;
        QTest::newRow("reprogrammed") << 2;
    }
    // While the link is not free Load and Save are grey and start nothing; Reset and the lists
    // stay enabled, and no list greys another.
    void enableRule()
    {
        QFETCH(int, flag);
        OpenPage();
        List(1096)->setCurrentIndex(1);
        List(1143)->setCurrentIndex(1);
        QTRY_VERIFY(Button(1151)->isEnabled());
        if (flag == 0)
            theApp().m_bConnected = 0;
        else if (flag == 1)
            m_sheet->SetDeviceBusy(true);
        else
            m_sheet->SetReprogrammed(true);
        m_page->ApplyEnableRule();
        m_unit->unit().clearTrace();
        QVERIFY(!Button(1149)->isEnabled());
        QVERIFY(!Button(1151)->isEnabled());
        m_page->OnLoad();
        m_page->OnSave();
        QCOMPARE(Commands(), QStringList{});
        QVERIFY(Button(1150)->isEnabled());
        for (QComboBox* list : m_page->findChildren<QComboBox*>())
            QVERIFY2(list->isEnabled(), qPrintable(list->objectName()));
        theApp().m_bConnected = 1;
        m_sheet->SetDeviceBusy(false);
        m_sheet->SetReprogrammed(false);
    }

    // The controls by id: frames hold their lists (inner frames inside outer ones) and the
    // number entries read as the user sees them.
    void controls()
    {
        OpenPage();
        const auto frameOf = [](QWidget* w) {
            for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
                if (qobject_cast<QGroupBox*>(p))
                    return p->objectName();
            return QString();
        };
        QCOMPARE(m_page->findChildren<QComboBox*>().size(), 30);
        QCOMPARE(m_page->findChildren<QGroupBox*>().size(), 10);
        const QStringList placing{frameOf(List(1035)),    frameOf(List(1104)),
                                  frameOf(Control(1100)), frameOf(List(1125)),
                                  frameOf(Control(1121)), frameOf(List(1075)),
                                  frameOf(List(1148)),    frameOf(List(1152))};
        QCOMPARE(placing, (Words("1094 1100 1097 1121 1113 1139 1146 1187")));
        QCOMPARE(Control<QLabel>(1020)->text(), UiText(74));
        QCOMPARE(Control<QGroupBox>(1187)->title(), UiText(102));
        QCOMPARE(Button(1149)->text(), UiText(105));

        const QStringList entries{List(1035)->itemText(25), List(1099)->itemText(10),
                                  List(1073)->itemText(4),  List(1118)->itemText(0),
                                  List(1134)->itemText(0),  List(1134)->itemText(11),
                                  List(1134)->itemText(23), List(1076)->itemText(28),
                                  List(1120)->itemText(2),  List(1152)->itemText(1)};
        QCOMPARE(entries,
                 (QStringList{u"30 Sec"_s, u"100 %"_s, u"30"_s, u"30 %"_s, u"UTC -11"_s,
                              u"UTC +0"_s, u"UTC +12"_s, u"300"_s, UiText(93), UiText(104)}));
    }

    void fitsTheSheet_data()
    {
        QTest::addColumn<int>("language");
        QTest::newRow("English") << 0;
        QTest::newRow("French") << 1;
    }
    // With the shipped texts the page needs no more room than the sheet gives it.
    void fitsTheSheet()
    {
        QFETCH(int, language);
        theApp().m_strCurDir = QStringLiteral(TAVO_SOURCE_DIR "/res");
        QVERIFY(theApp().LoadUIText(language));
        OpenPage();
        m_page->RefreshNow();
        QCOMPARE(m_sheet->size(), QSize(760, 560));
        const QSize needed = m_page->minimumSizeHint();
        QVERIFY2(needed.width() <= m_page->width() && needed.height() <= m_page->height(),
                 qPrintable(u"needs %1x%2, has %3x%4"_s.arg(needed.width())
                                .arg(needed.height())
                                .arg(m_page->width())
                                .arg(m_page->height())));
    }

private:
    // The main sheet finds the unit (of this firmware version), reads its identity and shows
    // the settings page, with the fault armed (and the link busy, when asked) before the page
    // is first shown.
    void OpenPage(int firmware = 8011, bool busy = false, const QString& fault = {})
    {
        if (firmware != 8011)
            SetFirmware(firmware);
        theApp().m_bConnected = 0;
        m_sheet = std::make_unique<CProptySheet>(theApp());
        theApp().m_pSheet = m_sheet.get();
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
        ShowPage(busy, fault);
    }
    void ShowPage(bool busy = false, const QString& fault = {})
    {
        for (int tick = 0; tick < 2; ++tick) // connect, then read the identity
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        m_sheet->SetDeviceBusy(busy);
        if (!fault.isEmpty())
            QCOMPARE(m_unit->unit().control(fault.toStdString()), "ok\n");
        m_boxes->clear();
        m_unit->unit().clearTrace();
        m_page = qobject_cast<CPage_Language*>(m_sheet->Page(CProptySheet::PageId::Language));
        QVERIFY(m_page);
        m_sheet->SetActivePage(theApp().m_nPageLanguage);
        QVERIFY(m_page->isVisible());
    }
    // Power-cycles the unit with a firmware of that version in place.
    void SetFirmware(int version)
    {
        m_unit->unit().stop();
        const tavo::ContentFileSpec spec{tavo::ContentFileKind::Firmware, 0,
                                         static_cast<std::uint32_t>(version), 0x10000, true};
        const QString path = m_unit->stateDir() + u"/firmware.bin"_s;
        QVERIFY(tavo::SaveContentFile(spec, path.toStdString()));
        QVERIFY(m_unit->restart());
        QCOMPARE(QString::fromStdString(m_unit->unit().control("status"))
                     .contains(u"\"fwVersion\":%1"_s.arg(version)),
                 true);
    }
    // The packets the host sent: commands by their letters, data packets as "data".
    QStringList Commands() const
    {
        QStringList result;
        for (const Bytes& p : m_unit->sentPackets())
            result << (p[0] == '$' ? QString::fromLatin1(reinterpret_cast<const char*>(p.data()), 3)
                                   : u"data"_s);
        return result;
    }
    Bytes Record() const { return Bytes(m_page->Record().begin(), m_page->Record().end()); }
    template <typename T = QWidget> T* Control(int id) const
    {
        return m_page->findChild<T*>(QString::number(id));
    }
    QComboBox* List(int id) const { return Control<QComboBox>(id); }
    QPushButton* Button(int id) const { return Control<QPushButton>(id); }

    testsupport::TempHome m_home;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<CProptySheet> m_sheet;
    QPointer<CPage_Language> m_page;
};

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
