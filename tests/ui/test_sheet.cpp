// The main sheet: detection with timer 10001 stepped by hand against an in-process virtual
// unit, the page set, the key chord, retitling after a language change, the page life cycle,
// and the whole start-up with its modal sheet.
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
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWindow>
#include <QtTest>
#include <optional>
#include <thread>

using PageId = CProptySheet::PageId;

namespace {

// A page of the test's own, put into the sheet's tab set to count its enable rule runs. It
// takes every key, as a web view does.
class WatchingPage final : public CPropertyPage
{
public:
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

BrowserControl* CreateRecordingControl(QWidget* parent)
{
    return new RecordingControl(parent);
}

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

    // The sheet as the start-up builds it, shown, with its timers stepped by hand only.
    void OpenSheet(bool plugged = true)
    {
        m_unit = std::make_unique<testsupport::UnitFixture>(plugged);
        m_sheet = CreateMainSheet(theApp());
        m_sheet->Timers().SetManual(true);
        m_sheet->show();
    }

    void PressChord(QWidget* target, bool f7First)
    {
        const Qt::Key first = f7First ? Qt::Key_F7 : Qt::Key_Control;
        const Qt::Key second = f7First ? Qt::Key_Control : Qt::Key_F7;
        QTest::keyPress(target, first, f7First ? Qt::NoModifier : Qt::ControlModifier);
        QTest::keyPress(target, second, Qt::ControlModifier);
        QTest::keyRelease(target, second, Qt::ControlModifier);
        QTest::keyRelease(target, first);
    }

    // Runs the steps of a script, each followed by the events it posted.
    void Run(const QString& script)
    {
        for (const QString& word : script.split(QLatin1Char(' '))) {
            const QByteArray step = word.toLatin1();
            if (step == "tick")
                m_sheet->OnTimer(CProptySheet::kDetectionTimer);
            else if (step == "plug" || step == "unplug")
                step == "plug" ? m_unit->unit().plug() : m_unit->unit().unplug();
            else if (step == "boot")
                m_unit->unit().setBootButton(true);
            else if (step == "busy" || step == "idle")
                m_sheet->SetDeviceBusy(step == "busy");
            else if (step == "dirty") {
                m_sheet->SetDeviceBusy(true);
                m_sheet->SetReprogrammed(true);
                theApp().m_bCheckDone = 1;
            } else if (step.startsWith("page"))
                m_sheet->SetActivePage(step.mid(4).toInt());
            else if (step == "ctrl+f7" || step == "f7+ctrl")
                PressChord(m_sheet.get(), step == "f7+ctrl");
            else if (step == "f7")
                QTest::keyClick(m_sheet.get(), Qt::Key_F7);
            else if (step == "ctrl")
                QTest::keyClick(m_sheet.get(), Qt::Key_Control, Qt::ControlModifier);
            else
                QFAIL(step.constData());
            QCoreApplication::sendPostedEvents();
        }
    }

    // Title ("X" or "OK"), tab titles, active position, the page positions (Connection,
    // Update, Setup, POI, Diagnosis, Reset), the commands the unit received and the flags
    // busy, reprogrammed and check done, in one line.
    QString State(const CProptySheet* sheet = nullptr) const
    {
        sheet = sheet ? sheet : m_sheet.get();
        const CTavoApp& app = theApp();
        QStringList tabs, positions, commands;
        for (int i = 0; i < sheet->TabControl()->count(); ++i)
            tabs << sheet->TabControl()->tabText(i);
        for (int p : {app.m_nPageConnect, app.m_nPageUpdate, app.m_nPageLanguage, app.m_nPagePoi,
                      app.m_nPageDiagnosis, app.m_nPageReset})
            positions << QString::number(p);
        for (const auto& packet : m_unit->sentPackets())
            commands << QString::fromLatin1(reinterpret_cast<const char*>(packet.data()), 3);
        return QStringLiteral("%1|%2|%3|%4|%5|%6%7%8")
            .arg(QString(sheet->windowTitle())
                     .replace(QStringLiteral("Tavo V0.9 [USB : OK]"), QStringLiteral("OK"))
                     .replace(QStringLiteral("Tavo V0.9 [USB : X]"), QStringLiteral("X")),
                 tabs.join(QLatin1Char(',')), QString::number(sheet->ActivePosition()),
                 positions.join(QLatin1Char(' ')), commands.join(QLatin1Char(' ')),
                 QString::number(sheet->m_bDeviceBusy), QString::number(sheet->m_bReprogrammed),
                 QString::number(app.m_bCheckDone));
    }

    int StoredLanguage() const
    {
        return theApp().GetProfileInt(CTavoApp::kProfileSection, QStringLiteral("Language"), -99);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The application object as a start-up in English leaves it, without its sheet.
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
    }

    void cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        m_unit.reset();
        m_boxes.reset();
    }

    void detection_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("state");

        const QString none = QStringLiteral("X|Connection,Reset|0|0 255 255 255 255 1||000");
        const QString gone = QStringLiteral("X|Connection,Reset|0|0 255 255 255 255 1|$RH|000");
        const QString unit =
            QStringLiteral("OK|Connection,Update,Setup,POI,Reset|0|0 1 2 3 255 4|$RH|000");
        const QString unlocked =
            QStringLiteral("OK|Connection,Update,Setup,POI,Diagnosis,Reset|0|0 1 2 3 4 5|$RH|000");
        QTest::newRow("no unit") << "tick tick tick" << none;
        // The probe alone sends nothing; the pages wait for the identity on the next tick.
        QTest::newRow("a new unit clears the flags")
            << "dirty plug tick"
            << "OK|Connection,Reset|0|0 255 255 255 255 1||000";
        QTest::newRow("pages after the identity, Connection active")
            << "plug tick page1 tick" << unit;
        QTest::newRow("then ticks only probe") << "plug tick tick tick tick tick" << unit;
        QTest::newRow("boot mode, Reset active")
            << "boot plug tick tick"
            << "OK|Connection,Reset|1|0 255 255 255 255 1|$RH|000";
        // The removed active page hands over to its left neighbours, down to Connection.
        QTest::newRow("unplugged") << "plug tick tick page3 unplug tick" << gone;
        QTest::newRow("unplugged while busy keeps OK")
            << "plug tick tick busy unplug tick tick tick"
            << "OK|Connection,Update,Setup,POI,Reset|0|0 1 2 3 255 4|$RH|100";
        QTest::newRow("until the flag clears")
            << "plug tick tick busy unplug tick idle tick" << gone;
        // The failed identity read is silent; the pages come from the identity as it was.
        QTest::newRow("gone before its identity is read")
            << "plug tick unplug tick"
            << "OK|Connection,Update,Setup,POI,Reset|0|0 1 2 3 255 4||000";
        QTest::newRow("Ctrl held, then F7") << "plug tick tick ctrl+f7" << unlocked;
        QTest::newRow("F7 held, then Ctrl") << "plug tick tick f7+ctrl" << unlocked;
        QTest::newRow("chord again") << "plug tick tick ctrl+f7 f7+ctrl" << unlocked;
        // Rebuilding deletes the pages: while a page holds the link the rebuild waits.
        QTest::newRow("chord while busy waits")
            << "plug tick tick busy ctrl+f7"
            << "OK|Connection,Update,Setup,POI,Reset|0|0 1 2 3 255 4|$RH|100";
        QTest::newRow("until the link is free") << "plug tick tick busy ctrl+f7 idle" << unlocked;
        QTest::newRow("F7 alone") << "plug tick tick f7" << unit;
        QTest::newRow("F7 released before Ctrl") << "plug tick tick f7 ctrl" << unit;
        QTest::newRow("chord before the connect, outliving unplugging")
            << "ctrl+f7 plug tick tick unplug tick plug tick tick"
            << "OK|Connection,Update,Setup,POI,Diagnosis,Reset|0|0 1 2 3 4 5|$RH $RH|000";
    }

    void detection()
    {
        QFETCH(QString, script);
        QFETCH(QString, state);
        OpenSheet(false);
        QCOMPARE(m_sheet->Timers().Interval(CProptySheet::kDetectionTimer), 500);
        Run(script);
        QCOMPARE(State(), state);
        QCOMPARE(m_boxes->texts(), QStringList());
    }

    void chordFromAnyControlAndIdentityRefresh()
    {
        OpenSheet();
        m_unit->unit().setIdentityExtras(0xB5, 0, 0, 0, 0, 0);
        Run(QStringLiteral("tick tick"));
        // The chord counts whichever control has the focus, even one that takes every key.
        auto* keyTaker = new WatchingPage;
        m_sheet->TabControl()->addTab(keyTaker, QStringLiteral("keys"));
        PressChord(keyTaker, false);
        QCoreApplication::sendPostedEvents();
        QVERIFY(m_sheet->m_bDiagnosisUnlocked);
        // After a connect the hardware id is the top three bits of byte 63; the identity
        // refresh takes all eight. Neither it nor a second chord touches the pages.
        QCOMPARE(m_sheet->m_identity.hwId, 0xB5u >> 5);
        const QPointer<CPropertyPage> update = m_sheet->Page(PageId::Update);
        m_sheet->OnRefreshIdentity();
        Run(QStringLiteral("ctrl+f7"));
        QCOMPARE(m_sheet->m_identity.hwId, 0xB5u);
        QVERIFY(update);
        QCOMPARE(m_sheet->Page(PageId::Update), update.data());
    }

    void pagesKeepTheirObjectButNotTheirWindow()
    {
        OpenSheet();
        Run(QStringLiteral("tick tick page2"));
        const QPointer<CPropertyPage> settings = m_sheet->Page(PageId::Language);
        const QPointer<QWidget> oldControl = settings->findChild<QWidget*>();
        QVERIFY(settings->IsInitialised());
        QVERIFY(oldControl);
        m_sheet->RebuildPages();
        // The same object, with a new window that initialises when it is next shown.
        QCOMPARE(m_sheet->Page(PageId::Language), settings.data());
        QVERIFY(!settings->IsInitialised());
        QVERIFY(!oldControl);
        Run(QStringLiteral("page2"));
        QVERIFY(settings->IsInitialised());

        // Leaving removed pages goes left, to Connection, never through a page right of them.
        auto* right = new WatchingPage;
        m_sheet->TabControl()->addTab(right, QStringLiteral("right"));
        Run(QStringLiteral("page4 unplug tick"));
        QVERIFY(!right->IsInitialised());
        QCOMPARE(m_sheet->ActivePosition(), 0);
        QVERIFY(!m_sheet->Page(PageId::Language));
        QCOMPARE(m_sheet->PageObject(PageId::Language), settings.data());
    }

    // A page's box is open (its handler waits in a nested event loop) when the detection
    // takes the page's window away: the controls the handler may use outlive its box.
    void pageRemovedWhileItsBoxIsOpen()
    {
        OpenSheet(false);
        Run(QStringLiteral("page1"));
        CPropertyPage* reset = m_sheet->Page(PageId::Reset);
        const QPointer<QWidget> oldControl = reset->findChild<QWidget*>();
        // The real boxes, so that the box runs its own event loop as the user sees it.
        m_boxes.reset();
        QString whileOpen;
        QTimer::singleShot(0, this, [&] {
            Run(QStringLiteral("plug tick tick"));
            QWidget* box = QApplication::activeModalWidget();
            whileOpen = QStringLiteral("kept %1, box shown %2")
                            .arg(!oldControl.isNull())
                            .arg(box && box->isVisible());
            if (box)
                box->close();
        });
        platform::MessageBox(QStringLiteral("Error[9002]"), {}, platform::MsgButtons::Ok, reset);
        QCOMPARE(whileOpen, QStringLiteral("kept 1, box shown 1"));
        // Back from the box, the old controls go at the page's next showing.
        Run(QStringLiteral("page0 page%1").arg(theApp().m_nPageReset));
        QVERIFY(!oldControl);
    }

    void flagChangesReapplyTheEnableRule()
    {
        OpenSheet();
        Run(QStringLiteral("tick tick"));
        auto* watching = new WatchingPage;
        m_sheet->TabControl()->addTab(watching, QStringLiteral("watching"));
        m_sheet->TabControl()->setCurrentWidget(watching);
        watching->enableRuns = 0;
        std::thread([this] {
            m_sheet->SetDeviceBusy(true);
            m_sheet->SetReprogrammed(true);
        }).join();
        // Queued to the user-interface thread, never run on the worker.
        QCOMPARE(watching->enableRuns, 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(watching->enableRuns, 2);
        // A change of the connection counts as well.
        Run(QStringLiteral("idle unplug tick"));
        QCOMPARE(watching->enableRuns, 4);
    }

    void languageChangeRetitlesTheTabs()
    {
        OpenSheet();
        Run(QStringLiteral("tick tick ctrl+f7"));
        CPropertyPage* connect = m_sheet->Page(PageId::Connect);
        auto* list = connect->findChild<QComboBox*>(QStringLiteral("1008"));
        auto* apply = connect->findChild<QPushButton*>(QStringLiteral("1016"));
        QCOMPARE(list->itemText(1), QStringLiteral("Français"));
        QCOMPARE(apply->text(), QStringLiteral("Apply"));
        // A choice without Apply changes nothing, and the next refresh undoes it.
        list->setCurrentIndex(1);
        connect->RefreshNow();
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(StoredLanguage(), 0);

        list->setCurrentIndex(1);
        Run(QStringLiteral("page3"));
        apply->click();
        QCoreApplication::sendPostedEvents();
        // Every visible tab, Diagnosis included, then Connection at the front; the window's
        // title is not a UI text.
        const QString french = QStringLiteral(
            "OK|Connexion,Mise à jour,Réglages,POI,Diagnostic,Restauration|0|0 1 2 3 4 5|$RH|000");
        QCOMPARE(State(), french);
        QCOMPARE(StoredLanguage(), 1);
        QCOMPARE(apply->text(), QStringLiteral("Appliquer"));
        QCOMPARE(list->currentIndex(), 1);
        // Pages added later take the new language too.
        Run(QStringLiteral("unplug tick plug tick tick"));
        QCOMPARE(State(),
                 QString(french).replace(QStringLiteral("$RH"), QStringLiteral("$RH $RH")));

        // With the list empty Apply stores -1, which has no section: the texts stay.
        theApp().m_strLangItem = "//";
        connect->RefreshNow();
        apply->click();
        QCOMPARE(theApp().m_nLanguage, -1);
        QCOMPARE(StoredLanguage(), -1);
        QCOMPARE(m_sheet->TabControl()->tabText(0), QStringLiteral("Connexion"));
    }

    void productPageFollowsTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("query");
        QTest::newRow("English") << 0 << "lang=EN";
        QTest::newRow("French") << 1 << "lang=FR";
        QTest::newRow("a third language") << 2 << "lang=EN";
        QTest::newRow("none") << -1 << "lang=EN";
    }

    // Every refresh of the Connection page loads the page of the current language again, from
    // the profile's host; the control comes from the event loop and loads what was asked.
    void productPageFollowsTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QString, query);
        theApp().WriteProfileString(CTavoApp::kProfileSection, QStringLiteral("WebHost"),
                                    QStringLiteral("127.0.0.1:8080"));
        theApp().m_nLanguage = language;
        RecordingControl::visited.clear();
        CExplorer_con::RegisterControl(CreateRecordingControl);
        OpenSheet(false);
        CExplorer_con::RegisterControl(nullptr);
        auto* view = m_sheet->findChild<CExplorer_con*>(QStringLiteral("1031"));
        // Started while the splash held the start.
        QVERIFY(view && view->Control());
        m_sheet->Page(PageId::Connect)->RefreshNow();
        const QString page =
            QStringLiteral("http://127.0.0.1:8080/pc_soft_hardware.asp?%1&model=Tavo").arg(query);
        QCOMPARE(RecordingControl::visited, QStringList({page, page}));
    }

    // The splash is on screen, painted, through the whole hold of 3 s, before the sheet's own
    // window appears; its bitmap is Splash.bmp from the working folder when that can be read.
    void splashHeldBeforeTheSheet_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QSize>("size");
        QTest::newRow("built-in") << QByteArray() << QSize(420, 240);
        QTest::newRow("Splash.bmp") << QByteArray("BMP") << QSize(12, 8);
        QTest::newRow("unreadable Splash.bmp") << QByteArray("not a bitmap") << QSize(420, 240);
    }

    void splashHeldBeforeTheSheet()
    {
        QFETCH(QByteArray, file);
        QFETCH(QSize, size);
        const QString path = m_dirs->work.filePath(QStringLiteral("Splash.bmp"));
        if (file == "BMP") {
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::darkBlue);
            QVERIFY(image.save(path, "BMP"));
        } else if (!file.isEmpty()) {
            QFile out(path);
            QVERIFY(out.open(QIODevice::WriteOnly));
            out.write(file);
        }
        QStringList seen;
        QPointer<CSplashScreenEx> splash;
        platform::InstantDelay delay([&](qint64 now) {
            if (!splash && m_sheet)
                splash = m_sheet->findChild<CSplashScreenEx*>();
            const bool sheetShown = m_sheet->windowHandle() && m_sheet->windowHandle()->isVisible();
            seen << QStringLiteral("%1 %2 %3")
                        .arg(splash && splash->isVisible() && splash->IsPainted())
                        .arg(sheetShown)
                        .arg(now >= CProptySheet::kSplashHoldMs);
        });
        OpenSheet(false);
        QVERIFY(splash);
        QCOMPARE(splash->Bitmap().size(), size);
        // Through the hold the splash shows and the sheet does not; then the hold ends.
        seen.removeDuplicates();
        QCOMPARE(seen, QStringList({QStringLiteral("1 0 0"), QStringLiteral("1 0 1")}));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!splash);
        QVERIFY(m_sheet->isVisible());
        QVERIFY(m_sheet->Timers().IsActive(CProptySheet::kDetectionTimer));
    }

    void startupRunsTheSheetModally()
    {
        m_unit = std::make_unique<testsupport::UnitFixture>(false);
        QString seen;
        // Looks until the sheet runs modally (the splash's hold comes first), then closes it.
        QTimer look;
        look.setInterval(0);
        connect(&look, &QTimer::timeout, this, [&] {
            auto* sheet = qobject_cast<CProptySheet*>(QApplication::activeModalWidget());
            if (!sheet)
                return;
            // Recorded as the application's sheet while it runs, and gone afterwards.
            if (sheet == theApp().m_pSheet)
                seen = State(sheet);
            look.stop();
            sheet->close();
        });
        look.start();
        m_options.runSheet = RunMainSheet;
        QVERIFY(!theApp().InitInstance(m_options));
        QCOMPARE(seen, QStringLiteral("X|Connection,Reset|0|0 255 255 255 255 1||000"));
        QCOMPARE(theApp().m_pSheet, nullptr);
    }
};

QTEST_MAIN(TestSheet)
#include "test_sheet.moc"
