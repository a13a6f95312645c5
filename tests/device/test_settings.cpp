// The settings page in the real main sheet, against an in-process virtual unit: the packets
// on the wire, what the unit then stores, the boxes shown and the page's lists.

#include "SheetFixture.h"
#include "device/CPage_Language.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>
#include <numeric>
#include <tavo/ContentFile.h>

using namespace Qt::StringLiterals;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::uint32_t kAddress = 0x3FE000;
enum Action
{
    FirstShowing = 0,
    Load = 1149,
    Reset = 1150,
    Save = 1151
};

// Every setting inside its list; bytes 24, 25 and 32 to 63 are carried, not shown.
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

class TestSettings final : public testsupport::SheetFixture<CPage_Language>
{
    Q_OBJECT

private slots:
    void init()
    {
        Init();
        m_defaults = m_unit->unit().readMemory(kAddress, 64); // what a fresh unit holds
    }
    void cleanup() { Cleanup(); }

    void exchanges_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<QString>("fault"); // "busy": another transfer; "boot": boot mode
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("boxes");
        const auto row = [](const char* tag, Action action, int firmware, const QString& fault,
                            const char* sent, const char* boxes) {
            QTest::newRow(tag) << +action << firmware << fault << Words(sent) << Words(boxes);
        };
        row("read, 8011", FirstShowing, 8011, {}, "$BT $RD", "");
        row("read, 8012", FirstShowing, 8012, {}, "$RD", "");
        row("read, busy", FirstShowing, 8011, u"busy"_s, "", "");
        row("Load, boot", Load, 8011, u"boot"_s, "", "Error[4001]");
        row("Reset, boot", Reset, 8011, u"boot"_s, "", "Error[4002]");
        row("Save, boot", Save, 8011, u"boot"_s, "", "Error[4003]");
    }
    // The read at the page's first showing takes the answer as the record even when it opens
    // with the acknowledge pattern; without it the page shows the defaults and offers Save.
    // A refused action keeps the record on screen and the dirty flag. The unit keeps what it
    // had. Faults of the unit are the fault matrix's.
    void exchanges()
    {
        QFETCH(int, action);
        QFETCH(int, firmware);
        QFETCH(QString, fault);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, boxes);
        Bytes ackLike = UnitRecord();
        std::iota(ackLike.begin(), ackLike.begin() + 8, 0);
        m_unit->unit().writeMemory(kAddress, ackLike);
        const bool first = action == FirstShowing;
        OpenPage(firmware, fault == "busy"_L1);
        Bytes shown;
        if (!first) {
            List(1110)->setCurrentIndex(0);
            QTRY_VERIFY(Button(Save)->isEnabled());
            shown = Record();
            m_sheet->m_identity.bootMode = true;
            Click(static_cast<Action>(action));
        }
        QCOMPARE(Commands(), sent);
        QCOMPARE(m_boxes->texts(), boxes);
        const bool read = first && boxes.isEmpty() && fault != "busy"_L1;
        QCOMPARE(Record(), read ? ackLike : first ? m_defaults : shown);
        QCOMPARE(m_page->IsDirty(), !read);
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), fault == "busy"_L1 ? 1 : 0);
        QTRY_COMPARE(Button(Load)->isEnabled(), fault != "busy"_L1);
        m_sheet->m_identity.bootMode = false;
        m_sheet->SetDeviceBusy(false);
        QTRY_COMPARE(Button(Save)->isEnabled(), !read);
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), ackLike);
    }

    // As a user: an unchanged record still goes out in both packets, carried bytes as read and
    // a byte beyond its list (volume 11 of 11 entries: an empty list) as 255; the time format
    // switches both hour lists; Load reads back what was saved; after Reset, which sends
    // nothing, the carried bytes go out as the defaults have them.
    void userFlow()
    {
        Bytes record = UnitRecord();
        record[1] = 11;
        m_unit->unit().writeMemory(kAddress, record);
        OpenPage();
        QCOMPARE(Texts(), u"20:00|00:00|"_s);
        QVERIFY(!Button(Save)->isEnabled());
        m_unit->unit().clearTrace();
        m_page->OnSave();
        record[1] = 255;
        Saved(record);

        List(1136)->setCurrentIndex(0); // 12h
        QTRY_COMPARE(Texts(), u"PM 08:00|AM 00:00|"_s);
        List(1116)->setCurrentIndex(12);
        QTRY_COMPARE(Texts(), u"PM 12:00|AM 00:00|"_s);
        Click(Save);
        record[9] = 12;
        record[18] = 0;
        Saved(record);

        List(1134)->setCurrentIndex(0);
        Click(Load);
        QCOMPARE(Record(), record);
        QVERIFY(!m_page->IsDirty());

        Click(Reset);
        QCOMPARE(Commands(), QStringList{});
        QTRY_VERIFY(Button(Save)->isEnabled());
        Click(Save);
        Saved(m_defaults);
    }

    // With the shipped (longer, French) texts the page fits the sheet, inner frames sit in
    // their outer ones.
    void layout()
    {
        theApp().m_strCurDir = QStringLiteral(TAVO_SOURCE_DIR "/res");
        QVERIFY(theApp().LoadUIText(1));
        OpenPage();
        QCOMPARE(m_sheet->size(), QSize(760, 560));
        const QSize needed = m_page->minimumSizeHint();
        QVERIFY(needed.width() <= m_page->width() && needed.height() <= m_page->height());
        QStringList frames;
        for (int id : {1100, 1104, 1121, 1125})
            frames << Control<QWidget>(id)->parentWidget()->objectName();
        QCOMPARE(frames, Words("1097 1100 1113 1121"));
    }

private:
    // The main sheet finds the unit (firmware of that version), reads its identity and shows
    // the settings page; busy is set before the page is first shown.
    void OpenPage(int firmware = 8011, bool busy = false)
    {
        if (firmware != 8011) {
            m_unit->unit().stop();
            const tavo::ContentFileSpec spec{tavo::ContentFileKind::Firmware, 0,
                                             static_cast<std::uint32_t>(firmware), 0x10000};
            QVERIFY(tavo::SaveContentFile(spec,
                                          (m_unit->stateDir() + u"/firmware.bin"_s).toStdString()));
            QVERIFY(m_unit->restart());
        }
        OpenSheet(CProptySheet::PageId::Language, [&] {
            QCOMPARE(m_sheet->m_identity.fwVersion, firmware);
            m_sheet->SetDeviceBusy(busy);
            m_boxes->clear();
            m_unit->unit().clearTrace();
        });
    }
    // The last action saved written, and said so.
    void Saved(const Bytes& written)
    {
        QCOMPARE(Commands(), Words("$BT $WD data"));
        QCOMPARE(m_unit->unit().readMemory(kAddress, 64), written);
        QCOMPARE(m_boxes->texts(), QStringList{u"ui-108"_s});
        QVERIFY(!m_page->IsDirty());
    }
    Bytes Record() const { return Bytes(m_page->Record().begin(), m_page->Record().end()); }
    QComboBox* List(int id) const { return Control<QComboBox>(id); }
    QPushButton* Button(Action id) const { return Control<QPushButton>(id); }
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

    Bytes m_defaults;
};

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
