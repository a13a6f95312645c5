// The main sheet: detection with timer 10001 stepped by hand against an in-process virtual
// unit, the page set, the key chord, the page life cycle, the language switch with the product
// page, the whole start-up with its splash and modal sheet; the splash's bitmap and shape.
#include "ShellDirs.h"
#include "UnitFixture.h"
#include "app/PropertyPage.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "platform/Delay.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CExplorer_con.h"
#include "ui/CProptySheet.h"
#include "ui/CSplashScreenEx.h"
#include "ui/MainSheet.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>
#include <QWindow>
#include <QtTest>
#include <optional>
#include <thread>

using namespace Qt::StringLiterals;

using PageId = CProptySheet::PageId;

namespace {

// A page of the test's own that counts its enable rule runs and takes every key, as a web
// view does (the chord counts all the same).
class WatchingPage final : public CPropertyPage
{
public:
    using CPropertyPage::CPropertyPage;
    int enableRuns = 0;
    void ApplyEnableRule() override { ++enableRuns; }
    void keyPressEvent(QKeyEvent* event) override { event->accept(); }
};

// A browser control that only records where it was sent.
class RecordingControl final : public BrowserControl
{
public:
    using BrowserControl::BrowserControl;
    static inline QStringList visited;
    void Navigate(const QUrl& url) override { visited << url.toString(); }
};

} // namespace

class TestSheet final : public QObject
{
    Q_OBJECT

private:
    std::optional<testsupport::ShellDirs> m_dirs;
    StartupOptions m_options;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<CProptySheet> m_sheet;
    WatchingPage* m_keys = nullptr;

    // The sheet as the start-up builds it, shown, with its timers stepped by hand only.
    void OpenSheet(bool plugged = true)
    {
        m_unit = std::make_unique<testsupport::UnitFixture>(plugged);
        m_sheet = CreateMainSheet(theApp());
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
        m_keys = new WatchingPage(m_sheet.get());
    }

    // Runs the steps of a script, each followed by the events it posted.
    void Run(const QString& script)
    {
        CProptySheet& sheet = *m_sheet;
        const std::map<QByteArray, std::function<void()>> actions{
            {"tick", [&] { sheet.OnTimer(CProptySheet::kDetectionTimer); }},
            {"plug", [&] { m_unit->unit().plug(); }},
            {"unplug", [&] { m_unit->unit().unplug(); }},
            {"busy", [&] { sheet.SetDeviceBusy(true); }},
            {"idle", [&] { sheet.SetDeviceBusy(false); }},
            {"dirty", [&] {
                 sheet.SetDeviceBusy(true), sheet.SetReprogrammed(true), theApp().m_bCheckDone = 1;
             }}};
        for (const QString& word : script.split(u' ')) {
            const QByteArray step = word.toLatin1();
            if (actions.contains(step)) {
                actions.at(step)();
            } else if (step.startsWith("page")) {
                sheet.SetActivePage(step.mid(4).toInt());
            } else { // keys, each held until the last is pressed
                const QList<QByteArray> keys = step.split('+');
                Qt::KeyboardModifiers held;
                for (const QByteArray& key : keys) {
                    held |= key == "ctrl" ? Qt::ControlModifier : Qt::NoModifier;
                    QTest::keyPress(m_keys, key == "ctrl" ? Qt::Key_Control : Qt::Key_F7, held);
                }
                for (auto key = keys.rbegin(); key != keys.rend(); ++key)
                    QTest::keyRelease(m_keys, *key == "ctrl" ? Qt::Key_Control : Qt::Key_F7, held);
            }
            QCoreApplication::sendPostedEvents();
        }
    }

    // Title's end, tab titles, active position, the page positions (Connection, Update, Setup,
    // POI, Diagnosis, Reset), the unit's commands, the flags busy, reprogrammed and check done.
    QString State(const CProptySheet* sheet = nullptr) const
    {
        sheet = sheet ? sheet : m_sheet.get();
        const CTavoApp& app = theApp();
        QStringList tabs, commands;
        for (int i = 0; i < sheet->TabControl()->count(); ++i)
            tabs << sheet->TabControl()->tabText(i);
        for (const auto& packet : m_unit->sentPackets())
            commands << QString::fromLatin1(reinterpret_cast<const char*>(packet.data()), 3);
        return QString::asprintf(
            "%s|%s|%d|%d %d %d %d %d %d|%s|%d%d%d",
            qUtf8Printable(sheet->windowTitle().remove(u"Tavo V0.9 [USB : "_s)),
            qUtf8Printable(tabs.join(u',')), sheet->ActivePosition(), app.m_nPageConnect,
            app.m_nPageUpdate, app.m_nPageLanguage, app.m_nPagePoi, app.m_nPageDiagnosis,
            app.m_nPageReset, qUtf8Printable(commands.join(u' ')), int(sheet->m_bDeviceBusy),
            int(sheet->m_bReprogrammed), int(app.m_bCheckDone));
    }

    int StoredLanguage() const
    {
        return theApp().GetProfileInt(CTavoApp::kProfileSection, u"Language"_s, -99);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The application as a start-up in English leaves it; the product page from a local host
    // into a recording control.
    void init()
    {
        m_dirs.emplace(QStringLiteral(TAVO_RES_DIR "/Tavo_UIText.txt"));
        QVERIFY(m_dirs->Ready());
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        m_options = {};
        m_options.workingDirectory = m_dirs->work.path();
        m_options.systemLanguageId = 0x0409;
        QVERIFY(!theApp().InitInstance(m_options));
        theApp().m_bCheckDone = 0;
        theApp().WriteProfileString(CTavoApp::kProfileSection, u"WebHost"_s, u"127.0.0.1:8080"_s);
        RecordingControl::visited.clear();
        CExplorer_con::RegisterControl(
            [](QWidget* parent) -> BrowserControl* { return new RecordingControl(parent); });
    }

    void cleanup()
    {
        CExplorer_con::RegisterControl(nullptr);
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        m_unit.reset();
        m_boxes.reset();
    }

    void detection_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("state");

        const QString gone = u"X]|Connection,Reset|0|0 255 255 255 255 1|$RH|000"_s;
        const QString unit = u"OK]|Connection,Update,Setup,POI,Reset|0|0 1 2 3 255 4|$RH|000"_s;
        const QString busy = QString(unit).replace(u"000"_s, u"100"_s);
        const QString unlocked =
            u"OK]|Connection,Update,Setup,POI,Diagnosis,Reset|0|0 1 2 3 4 5|$RH|000"_s;
        // The probe alone sends nothing; the pages wait for the identity on the next tick.
        QTest::newRow("a new unit clears the flags")
            << "dirty tick tick plug tick" << u"OK]|Connection,Reset|0|0 255 255 255 255 1||000"_s;
        QTest::newRow("pages after the identity, Connection active, ticks only probe, F7 alone")
            << "plug tick page1 tick tick tick f7 ctrl" << unit;
        // Rebuilding deletes the pages: while a page holds the link neither the chord nor an
        // unplugging rebuilds them.
        QTest::newRow("busy: the chord waits, unplugging keeps OK")
            << "plug tick tick busy ctrl+f7 unplug tick tick tick" << busy;
        QTest::newRow("the chord, once the link is free")
            << "plug tick tick busy ctrl+f7 idle" << unlocked;
        // The removed active page hands over to its left neighbours, down to Connection.
        QTest::newRow("unplugged, once the flag clears")
            << "plug tick tick page3 busy unplug tick idle tick" << gone;
        QTest::newRow("F7 held, then Ctrl, twice") << "plug tick tick f7+ctrl f7+ctrl" << unlocked;
        QTest::newRow("Ctrl held, then F7, before the connect, outliving unplugging")
            << "ctrl+f7 plug tick tick unplug tick plug tick tick"
            << QString(unlocked).replace(u"$RH"_s, u"$RH $RH"_s);
    }

    void detection()
    {
        QFETCH(QString, script);
        QFETCH(QString, state);
        OpenSheet(false);
        Run(script);
        QCOMPARE(State(), state);
        QCOMPARE(m_boxes->texts(), QStringList());
    }

    // A rebuild by detection keeps each page object but gives it a new window, initialised when
    // it is next shown; the identity refresh (the hardware id with all eight bits) rebuilds
    // nothing.
    void pageLifetime()
    {
        OpenSheet();
        m_unit->unit().setIdentityExtras(0xB5, 0, 0, 0, 0, 0);
        Run(u"tick tick page2"_s);
        CPropertyPage* settings = m_sheet->Page(PageId::Language);
        const QPointer<QWidget> oldControl = settings->findChild<QWidget*>();
        QCOMPARE(m_sheet->m_identity.hwId, 0xB5u >> 5);
        m_sheet->OnRefreshIdentity();
        QCOMPARE(m_sheet->m_identity.hwId, 0xB5u);
        QVERIFY(oldControl && settings->IsInitialised());
        Run(u"unplug tick plug tick tick"_s);
        QCOMPARE(m_sheet->Page(PageId::Language), settings);
        QVERIFY(!oldControl && !settings->IsInitialised());
        Run(u"page2"_s);
        QVERIFY(settings->IsInitialised());

        // Flags changed on any thread re-apply the shown page's enable rule, on this thread.
        auto* right = new WatchingPage;
        m_sheet->TabControl()->addTab(right, u"right"_s);
        m_sheet->TabControl()->setCurrentWidget(right);
        right->enableRuns = 0;
        std::thread([this] { m_sheet->SetDeviceBusy(true); }).join();
        QCOMPARE(right->enableRuns, 0);
        Run(u"idle"_s);
        QCOMPARE(right->enableRuns, 2);
        // Leaving removed pages goes left, to Connection, never through a page right of them.
        Run(u"page4 unplug tick"_s);
        QCOMPARE(right->enableRuns, 2);

        // A handler waits in its page's box when detection takes the page's window away: the
        // old controls outlive the box and go at the page's next showing.
        CPropertyPage* reset = m_sheet->Page(PageId::Reset);
        Run(u"page%1"_s.arg(theApp().m_nPageReset));
        const QPointer<QWidget> resetControl = reset->findChild<QWidget*>();
        m_boxes.reset(); // the real boxes
        bool keptWhileOpen = false;
        QTimer::singleShot(0, this, [&] {
            Run(u"plug tick tick"_s);
            if (QWidget* box = QApplication::activeModalWidget()) {
                keptWhileOpen = resetControl && box->isVisible();
                box->close();
            }
        });
        platform::MessageBox(u"Error[9002]"_s, {}, platform::MsgButtons::Ok, reset);
        QVERIFY(keptWhileOpen);
        Run(u"page0 page%1"_s.arg(theApp().m_nPageReset));
        QVERIFY(!resetControl);
    }

    // Apply takes the chosen language: its texts, every visible tab (Diagnosis included, then
    // Connection at the front), the profile and the product page, which every refresh loads
    // again. A choice without Apply changes nothing.
    void languageSwitch()
    {
        OpenSheet();
        Run(u"tick tick ctrl+f7"_s);
        CPropertyPage* connect = m_sheet->Page(PageId::Connect);
        auto* list = connect->findChild<QComboBox*>(u"1008"_s);
        const auto apply = [&](int choice) {
            list->setCurrentIndex(choice);
            connect->findChild<QPushButton*>(u"1016"_s)->click();
            QCoreApplication::sendPostedEvents();
        };
        const QString page = u"http://127.0.0.1:8080/pc_soft_hardware.asp?lang=%1&model=Tavo"_s;
        QCOMPARE(list->itemText(1), u"Français"_s);
        list->setCurrentIndex(1);
        connect->RefreshNow();
        QCOMPARE(StoredLanguage(), 0);
        QCOMPARE(RecordingControl::visited, QStringList({page.arg(u"EN"_s), page.arg(u"EN"_s)}));

        Run(u"page3"_s);
        apply(1);
        const QString french = QStringLiteral(
            "OK]|Connexion,Mise à jour,Réglages,POI,Diagnostic,Restauration|0|0 1 2 3 4 5|$RH|000");
        QCOMPARE(State(), french);
        QCOMPARE(StoredLanguage(), 1);
        QCOMPARE(list->currentIndex(), 1);
        QCOMPARE(RecordingControl::visited.last(), page.arg(u"FR"_s));
        // Pages added later take the new language too.
        Run(u"unplug tick plug tick tick"_s);
        QCOMPARE(State(), QString(french).replace(u"$RH"_s, u"$RH $RH"_s));

        // A language without a section, and none (an empty list): stored, the texts stay, the
        // product page is the English one.
        for (const auto& [items, choice] :
             {std::pair<QByteArray, int>{"English/French/German", 2}, {"//", -1}}) {
            theApp().m_strLangItem = items;
            connect->RefreshNow();
            apply(choice);
            QCOMPARE(StoredLanguage(), choice);
            QCOMPARE(m_sheet->TabControl()->tabText(0), u"Connexion"_s);
            QCOMPARE(RecordingControl::visited.last(), page.arg(u"EN"_s));
        }
    }

    // The whole start-up: the splash is on screen and painted through the hold of 3 s before
    // the sheet's window appears and the unit is looked for; then the sheet runs modally as
    // the application's sheet, looking for the unit every 500 ms.
    void startup()
    {
        m_unit = std::make_unique<testsupport::UnitFixture>(false);
        QStringList seen;
        platform::InstantDelay delay([&](qint64 now) {
            CProptySheet* sheet = theApp().m_pSheet;
            const auto* splash = sheet->findChild<CSplashScreenEx*>();
            seen << u"%1 %2 %3 %4"_s.arg(splash && splash->isVisible() && splash->IsPainted())
                        .arg(sheet->windowHandle() && sheet->windowHandle()->isVisible())
                        .arg(sheet->Timers().IsActive(CProptySheet::kDetectionTimer))
                        .arg(now >= CProptySheet::kSplashHoldMs);
        });
        QString state;
        QTimer look; // finds the sheet once it runs modally, then closes it
        connect(&look, &QTimer::timeout, this, [&] {
            auto* sheet = qobject_cast<CProptySheet*>(QApplication::activeModalWidget());
            if (!sheet)
                return;
            const auto* splash = sheet->findChild<CSplashScreenEx*>();
            if (sheet == theApp().m_pSheet && !(splash && splash->isVisible()) &&
                sheet->Timers().Interval(CProptySheet::kDetectionTimer) == 500)
                state = State(sheet);
            look.stop();
            sheet->close();
        });
        look.start(0);
        m_options.runSheet = RunMainSheet;
        QVERIFY(!theApp().InitInstance(m_options));
        seen.removeDuplicates();
        QCOMPARE(seen, QStringList({u"1 0 0 0"_s, u"1 0 0 1"_s}));
        QCOMPARE(state, u"X]|Connection,Reset|0|0 255 255 255 255 1||000"_s);
        QCOMPARE(theApp().m_pSheet, nullptr);
    }

    // The splash's shape: exactly the pixels that are not the key colour, and nothing outside
    // the bitmap. Rows separated by '/': '.' a shown pixel, 'K' a key pixel, 'a' the key colour
    // with another alpha (only the colour counts).
    void keyColourRegion()
    {
        // Holes, runs open at the last column, a keyed row, a row without a key pixel.
        const QStringList rows = u"K..../.aK../KKKKK/..K.K/KK.../....."_s.split(u'/');
        const QHash<QChar, QRgb> colours{
            {u'.', qRgb(20, 40, 60)}, {u'K', qRgb(255, 0, 255)}, {u'a', qRgba(255, 0, 255, 10)}};
        QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, colours[rows[y][x]]);
        const QRegion shape = KeyColourRegion(image, qRgb(255, 0, 255));
        QVERIFY(image.rect().contains(shape.boundingRect()));
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(shape.contains(QPoint(x, y)), rows[y][x] == u'.');
    }

    // Splash.bmp from the working folder when it can be read, else the built-in bitmap.
    void splashBitmap()
    {
        const QString path = m_dirs->work.filePath(u"Splash.bmp"_s);
        const auto shown = [this] {
            CSplashScreenEx splash;
            SetSplashBitmap(splash, m_dirs->work.path());
            return splash.Bitmap().size();
        };
        QVERIFY(QFile::copy(m_dirs->UiTextFile(), path)); // not a bitmap
        QCOMPARE(shown(), QSize(420, 240));
        QImage image(12, 8, QImage::Format_RGB32);
        image.fill(Qt::darkBlue);
        QVERIFY(image.save(path, "BMP"));
        QCOMPARE(shown(), QSize(12, 8));
    }
};

QTEST_MAIN(TestSheet)
#include "test_sheet.moc"
