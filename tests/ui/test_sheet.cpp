// The main sheet: detection with timer 10001 stepped by hand against an in-process virtual
// unit, the page set, the key chord, retitling after a language change, the page life cycle,
// and the whole start-up with its modal sheet.
#include "UnitFixture.h"
#include "app/PropertyPage.h"
#include "app/TavoApp.h"
#include "app/TimerSet.h"
#include "platform/MessageBoxRecorder.h"
#include "ui/CProptySheet.h"
#include "ui/MainSheet.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>
#include <thread>

using PageId = CProptySheet::PageId;

namespace {

const QString kTitleX = QStringLiteral("Tavo V0.9 [USB : X]");
const QString kTitleOk = QStringLiteral("Tavo V0.9 [USB : OK]");

QStringList Titles(std::initializer_list<const char*> titles)
{
    QStringList list;
    for (const char* title : titles)
        list << QString::fromUtf8(title);
    return list;
}

const QStringList kNoUnitTabs = Titles({"Connection", "Reset"});
const QStringList kUnitTabs = Titles({"Connection", "Update", "Setup", "POI", "Reset"});
const QStringList kUnlockedTabs =
    Titles({"Connection", "Update", "Setup", "POI", "Diagnosis", "Reset"});

// A page of the test's own, put into the sheet's tab set to watch the enable rule.
class WatchingPage final : public CPropertyPage
{
public:
    int enableRuns = 0;
    bool offUiThread = false;
    void ApplyEnableRule() override
    {
        ++enableRuns;
        offUiThread = offUiThread || QThread::currentThread() != qApp->thread();
    }
};

} // namespace

class TestSheet final : public QObject
{
    Q_OBJECT

private:
    std::optional<QTemporaryDir> m_profileDir;
    std::optional<QTemporaryDir> m_workDir;
    std::unique_ptr<testsupport::UnitFixture> m_unit;
    std::unique_ptr<platform::MessageBoxRecorder> m_boxes;
    std::unique_ptr<CProptySheet> m_sheet;

    // The application object as a start-up in English leaves it.
    void ResetApp()
    {
        CTavoApp& app = theApp();
        app.m_strCurDir = m_workDir->path();
        app.m_strLangItem.clear();
        QVERIFY(app.LoadUIHeader());
        app.m_nLanguage = 0;
        QVERIFY(app.LoadUIText(0));
        app.SetRegistryKey(CTavoApp::kRegistryKey);
        app.m_bConnected = 0;
        app.m_bCheckDone = 0;
        app.m_nPageConnect = app.m_nPageUpdate = app.m_nPageReset = CTavoApp::kNoPage;
        app.m_nPageLanguage = app.m_nPagePoi = app.m_nPageDiagnosis = CTavoApp::kNoPage;
    }

    // The sheet as the start-up builds it, shown, with its timers stepped by hand only.
    void OpenSheet(bool plugged)
    {
        m_unit = std::make_unique<testsupport::UnitFixture>(plugged);
        m_sheet = CreateMainSheet(theApp());
        m_sheet->Timers().SetManual(true);
        m_sheet->SetActivePage(0);
        m_sheet->show();
    }

    void Tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QCoreApplication::sendPostedEvents();
    }

    // Plugged in from the start: the connect tick, then the identity tick.
    void Connect()
    {
        Tick(2);
        QCOMPARE(Tabs(), kUnitTabs);
    }

    QStringList Tabs() const
    {
        QStringList titles;
        for (int i = 0; i < m_sheet->TabControl()->count(); ++i)
            titles << m_sheet->TabControl()->tabText(i);
        return titles;
    }

    void PressChord(QWidget* target, bool f7First)
    {
        if (f7First) {
            QTest::keyPress(target, Qt::Key_F7);
            QTest::keyPress(target, Qt::Key_Control, Qt::ControlModifier);
            QTest::keyRelease(target, Qt::Key_Control, Qt::ControlModifier);
            QTest::keyRelease(target, Qt::Key_F7);
        } else {
            QTest::keyPress(target, Qt::Key_Control, Qt::ControlModifier);
            QTest::keyPress(target, Qt::Key_F7, Qt::ControlModifier);
            QTest::keyRelease(target, Qt::Key_F7, Qt::ControlModifier);
            QTest::keyRelease(target, Qt::Key_Control);
        }
        QCoreApplication::sendPostedEvents();
    }

    QWidget* Control(CPropertyPage* page, int id) const
    {
        return page->findChild<QWidget*>(QString::number(id));
    }

    int StoredLanguage() const
    {
        return theApp().GetProfileInt(CTavoApp::kProfileSection, QStringLiteral("Language"), -99);
    }

    // Host packets that the unit received, by their three command letters.
    QStringList Commands() const
    {
        QStringList commands;
        for (const auto& packet : m_unit->sentPackets())
            commands << QString::fromLatin1(reinterpret_cast<const char*>(packet.data()), 3);
        return commands;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_profileDir.emplace();
        m_workDir.emplace();
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_profileDir->path());
        QVERIFY(QFile::copy(QStringLiteral(TAVO_RES_DIR "/Tavo_UIText.txt"),
                            m_workDir->filePath(QStringLiteral("Tavo_UIText.txt"))));
        m_boxes = std::make_unique<platform::MessageBoxRecorder>();
        ResetApp();
    }

    void cleanup()
    {
        m_sheet.reset();
        theApp().m_pSheet = nullptr;
        m_unit.reset();
        m_boxes.reset();
    }

    void startsWithoutUnit()
    {
        OpenSheet(false);
        QCOMPARE(m_sheet->windowTitle(), kTitleX);
        QCOMPARE(Tabs(), kNoUnitTabs);
        QCOMPARE(m_sheet->ActivePosition(), 0);
        QCOMPARE(m_sheet->Timers().Interval(CProptySheet::kDetectionTimer), 500);
        Tick(3);
        QCOMPARE(m_sheet->windowTitle(), kTitleX);
        QCOMPARE(Tabs(), kNoUnitTabs);
        QCOMPARE(theApp().m_bConnected.load(), 0);
    }

    void plugNormalUnit()
    {
        OpenSheet(false);
        m_sheet->SetDeviceBusy(true);
        m_sheet->SetReprogrammed(true);
        theApp().m_bCheckDone = 1;
        m_unit->unit().plug();
        Tick();
        QCOMPARE(m_sheet->windowTitle(), kTitleOk);
        QCOMPARE(theApp().m_bConnected.load(), 1);
        // A newly seen unit starts with no operation and no check results.
        QCOMPARE(m_sheet->m_bDeviceBusy.load(), 0);
        QCOMPARE(m_sheet->m_bReprogrammed.load(), 0);
        QCOMPARE(theApp().m_bCheckDone.load(), 0);
        QVERIFY(m_sheet->m_bIdentityPending);
        // The probe alone sends nothing; the page set waits for the identity.
        QCOMPARE(Commands(), QStringList());
        QCOMPARE(Tabs(), kNoUnitTabs);

        m_sheet->SetActivePage(1);
        Tick();
        QCOMPARE(Commands(), QStringList{QStringLiteral("$RH")});
        QVERIFY(!m_sheet->m_bIdentityPending);
        QCOMPARE(Tabs(), kUnitTabs);
        QCOMPARE(m_sheet->ActivePosition(), 0);
        const CTavoApp& app = theApp();
        QCOMPARE(app.m_nPageConnect, 0);
        QCOMPARE(app.m_nPageUpdate, 1);
        QCOMPARE(app.m_nPageLanguage, 2);
        QCOMPARE(app.m_nPagePoi, 3);
        QCOMPARE(app.m_nPageDiagnosis, 255);
        QCOMPARE(app.m_nPageReset, 4);

        // Connected and identified: ticks only probe.
        Tick(3);
        QCOMPARE(Commands().size(), 1);
        QCOMPARE(Tabs(), kUnitTabs);
    }

    void bootModeUnitGetsTheRecoveryPage()
    {
        OpenSheet(true);
        m_unit->unit().setBootButton(true);
        m_unit->unit().unplug();
        m_unit->unit().plug();
        Tick(2);
        QVERIFY(m_sheet->m_identity.bootMode);
        QCOMPARE(m_sheet->windowTitle(), kTitleOk);
        QCOMPARE(Tabs(), kNoUnitTabs);
        QCOMPARE(m_sheet->ActivePosition(), 1);
        QCOMPARE(theApp().m_nPageReset, 1);
        QCOMPARE(theApp().m_nPageUpdate, 255);
    }

    void unplugShrinksThePageSet()
    {
        OpenSheet(true);
        Connect();
        m_sheet->SetActivePage(3);
        m_unit->unit().unplug();
        Tick();
        QCOMPARE(m_sheet->windowTitle(), kTitleX);
        QCOMPARE(theApp().m_bConnected.load(), 0);
        QCOMPARE(Tabs(), kNoUnitTabs);
        // The removed active page handed over to its left neighbours, down to Connection.
        QCOMPARE(m_sheet->ActivePosition(), 0);
        QCOMPARE(theApp().m_nPageUpdate, 255);
        QCOMPARE(theApp().m_nPageReset, 1);
    }

    void unplugWhileBusyKeepsOk()
    {
        OpenSheet(true);
        Connect();
        m_sheet->SetDeviceBusy(true);
        m_unit->unit().unplug();
        Tick(3);
        QCOMPARE(m_sheet->windowTitle(), kTitleOk);
        QCOMPARE(Tabs(), kUnitTabs);
        QCOMPARE(theApp().m_bConnected.load(), 1);
        m_sheet->SetDeviceBusy(false);
        Tick();
        QCOMPARE(m_sheet->windowTitle(), kTitleX);
        QCOMPARE(Tabs(), kNoUnitTabs);
    }

    void unitGoneBeforeItsIdentityIsRead()
    {
        OpenSheet(true);
        Tick();
        m_unit->unit().unplug();
        Tick();
        // The failed read is silent and the pages come from the identity as it was.
        QCOMPARE(m_boxes->texts(), QStringList());
        QCOMPARE(Tabs(), kUnitTabs);
        QCOMPARE(m_sheet->m_identity.fwVersion, 0);
        Tick();
        QCOMPARE(Tabs(), kNoUnitTabs);
    }

    void identityForms()
    {
        OpenSheet(true);
        m_unit->unit().setIdentityExtras(0xB5, 0, 0, 0, 0, 0);
        Connect();
        // After a connect the hardware id is the top three bits of byte 63 ...
        QCOMPARE(m_sheet->m_identity.hwId, 0xB5u >> 5);
        QVERIFY(m_sheet->m_identity.fwVersion != 0);
        // ... the identity refresh takes all eight, and leaves the pages alone.
        const QPointer<CPropertyPage> update = m_sheet->Page(PageId::Update);
        m_sheet->OnRefreshIdentity();
        QCOMPARE(m_sheet->m_identity.hwId, 0xB5u);
        QCOMPARE(m_sheet->Page(PageId::Update), update.data());
        QCOMPARE(Commands(), (QStringList{QStringLiteral("$RH"), QStringLiteral("$RH")}));
    }

    void chord_data()
    {
        QTest::addColumn<bool>("f7First");
        QTest::addColumn<bool>("toChild");
        QTest::newRow("Ctrl held, then F7") << false << false;
        QTest::newRow("F7 held, then Ctrl") << true << false;
        QTest::newRow("Ctrl+F7 in the language list") << false << true;
    }

    void chord()
    {
        QFETCH(bool, f7First);
        QFETCH(bool, toChild);
        OpenSheet(true);
        Connect();
        QWidget* target = toChild ? Control(m_sheet->Page(PageId::Connect), 1008)
                                  : static_cast<QWidget*>(m_sheet.get());
        QVERIFY(target);
        PressChord(target, f7First);
        QVERIFY(m_sheet->m_bDiagnosisUnlocked);
        QCOMPARE(Tabs(), kUnlockedTabs);
        QCOMPARE(theApp().m_nPageDiagnosis, 4);
        QCOMPARE(theApp().m_nPageReset, 5);

        // Again: nothing changes, not even the page objects.
        const QPointer<CPropertyPage> update = m_sheet->Page(PageId::Update);
        PressChord(target, !f7First);
        QCOMPARE(Tabs(), kUnlockedTabs);
        QVERIFY(update);
    }

    void notAChord_data()
    {
        QTest::addColumn<bool>("ctrlAfterF7");
        QTest::newRow("F7 alone") << false;
        QTest::newRow("F7 released before Ctrl") << true;
    }

    void notAChord()
    {
        QFETCH(bool, ctrlAfterF7);
        OpenSheet(true);
        Connect();
        QTest::keyClick(m_sheet.get(), Qt::Key_F7);
        if (ctrlAfterF7)
            QTest::keyClick(m_sheet.get(), Qt::Key_Control, Qt::ControlModifier);
        QCoreApplication::sendPostedEvents();
        QVERIFY(!m_sheet->m_bDiagnosisUnlocked);
        QCOMPARE(Tabs(), kUnitTabs);
    }

    void chordBeforeConnectWaitsForTheUnit()
    {
        OpenSheet(false);
        PressChord(m_sheet.get(), false);
        QVERIFY(m_sheet->m_bDiagnosisUnlocked);
        QCOMPARE(Tabs(), kNoUnitTabs);
        m_unit->unit().plug();
        Tick(2);
        QCOMPARE(Tabs(), kUnlockedTabs);
        // The unlock outlives unplugging and plugging in again.
        m_unit->unit().unplug();
        Tick();
        QCOMPARE(Tabs(), kNoUnitTabs);
        m_unit->unit().plug();
        Tick(2);
        QCOMPARE(Tabs(), kUnlockedTabs);
    }

    void removedPageInitialisesAgain()
    {
        OpenSheet(true);
        Connect();
        const QPointer<CPropertyPage> connect = m_sheet->Page(PageId::Connect);
        m_sheet->SetActivePage(theApp().m_nPageLanguage);
        const QPointer<CPropertyPage> settings = m_sheet->Page(PageId::Language);
        QVERIFY(settings->IsInitialised());

        m_sheet->RebuildPages();
        // The page left the sheet with its window state ...
        QVERIFY(!settings);
        CPropertyPage* again = m_sheet->Page(PageId::Language);
        QVERIFY(again);
        // ... and the new one initialises when it is next shown, not before.
        QVERIFY(!again->IsInitialised());
        m_sheet->SetActivePage(theApp().m_nPageLanguage);
        QVERIFY(again->IsInitialised());
        // The Connection page never leaves.
        QCOMPARE(m_sheet->Page(PageId::Connect), connect.data());
        QCOMPARE(Tabs(), kUnitTabs);
    }

    void removedActivePageShowsNoOtherPage()
    {
        OpenSheet(true);
        Connect();
        // A page right of the recovery page, outside the sheet's own set.
        auto* right = new WatchingPage;
        m_sheet->TabControl()->addTab(right, QStringLiteral("right"));
        m_sheet->SetActivePage(theApp().m_nPageReset);
        m_unit->unit().unplug();
        Tick();
        // Leaving the removed pages went left, to Connection, never through the right.
        QVERIFY(!right->IsInitialised());
        QCOMPARE(m_sheet->ActivePosition(), 0);
    }

    // A page's box is open (its handler waits in a nested event loop) when the detection
    // takes the page out of the sheet: the page must outlive its handler and its box.
    void pageRemovedWhileItsBoxIsOpen()
    {
        OpenSheet(false);
        m_sheet->SetActivePage(theApp().m_nPageReset);
        const QPointer<CPropertyPage> reset = m_sheet->Page(PageId::Reset);
        // The real boxes, so that the box runs its own event loop as the user sees it.
        m_boxes.reset();
        bool keptWhileOpen = false;
        bool boxStillShown = false;
        QStringList tabsWhileOpen;
        QTimer::singleShot(0, this, [&] {
            m_unit->unit().plug();
            Tick(2);
            tabsWhileOpen = Tabs();
            keptWhileOpen = !reset.isNull() && reset != m_sheet->Page(PageId::Reset);
            QWidget* box = QApplication::activeModalWidget();
            boxStillShown = box && box->isVisible();
            if (box)
                box->close();
        });
        platform::MessageBox(QStringLiteral("Error[9002]"), {}, platform::MsgButtons::Ok, reset);
        QCOMPARE(tabsWhileOpen, kUnitTabs);
        QVERIFY(keptWhileOpen);
        QVERIFY(boxStillShown);
        // Back from the box, the next tick lets the page go.
        QVERIFY(reset);
        Tick();
        QVERIFY(!reset);
        QCOMPARE(Tabs(), kUnitTabs);
    }

    void languageChangeRetitlesTheTabs()
    {
        OpenSheet(true);
        Connect();
        PressChord(m_sheet.get(), false);
        CPropertyPage* page = m_sheet->Page(PageId::Connect);
        auto* list = qobject_cast<QComboBox*>(Control(page, 1008));
        auto* apply = qobject_cast<QPushButton*>(Control(page, 1016));
        QVERIFY(list && apply);
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->itemText(1), QStringLiteral("Français"));
        QCOMPARE(apply->text(), QStringLiteral("Apply"));

        list->setCurrentIndex(1);
        apply->click();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(Tabs(), Titles({"Connexion", "Mise à jour", "Réglages", "POI", "Diagnostic",
                                 "Restauration"}));
        QCOMPARE(m_sheet->ActivePosition(), 0);
        QCOMPARE(theApp().m_nLanguage, 1);
        QCOMPARE(StoredLanguage(), 1);
        QCOMPARE(apply->text(), QStringLiteral("Appliquer"));
        QCOMPARE(list->currentIndex(), 1);
        // The title is not a UI text.
        QCOMPARE(m_sheet->windowTitle(), kTitleOk);
        // Retitling brings the first tab to the front whichever page was active.
        m_sheet->SetActivePage(theApp().m_nPagePoi);
        m_sheet->OnRetitle();
        QCOMPARE(m_sheet->ActivePosition(), 0);
    }

    void languageChangeWithoutUnitRetitlesTheVisibleTabs()
    {
        OpenSheet(false);
        auto* list = qobject_cast<QComboBox*>(Control(m_sheet->Page(PageId::Connect), 1008));
        list->setCurrentIndex(1);
        qobject_cast<QPushButton*>(Control(m_sheet->Page(PageId::Connect), 1016))->click();
        QCOMPARE(Tabs(), Titles({"Connexion", "Restauration"}));
        // Pages added later take the new language too.
        m_unit->unit().plug();
        Tick(2);
        QCOMPARE(Tabs(), Titles({"Connexion", "Mise à jour", "Réglages", "POI", "Restauration"}));
    }

    void choiceWithoutApplyIsUndone()
    {
        OpenSheet(false);
        CPropertyPage* page = m_sheet->Page(PageId::Connect);
        auto* list = qobject_cast<QComboBox*>(Control(page, 1008));
        list->setCurrentIndex(1);
        page->RefreshNow();
        QCOMPARE(list->currentIndex(), 0);
        QCOMPARE(theApp().m_nLanguage, 0);
        QCOMPARE(StoredLanguage(), -99);
        QCOMPARE(Tabs(), kNoUnitTabs);
    }

    void applyWithEmptyListStoresMinusOne()
    {
        theApp().m_strLangItem = "//";
        OpenSheet(false);
        CPropertyPage* page = m_sheet->Page(PageId::Connect);
        auto* list = qobject_cast<QComboBox*>(Control(page, 1008));
        QCOMPARE(list->count(), 0);
        qobject_cast<QPushButton*>(Control(page, 1016))->click();
        QCOMPARE(theApp().m_nLanguage, -1);
        QCOMPARE(StoredLanguage(), -1);
        // No section for -1: the texts stay as they were.
        QCOMPARE(Tabs(), kNoUnitTabs);
    }

    void flagChangesReapplyTheEnableRule()
    {
        OpenSheet(true);
        Connect();
        auto* watching = new WatchingPage;
        m_sheet->TabControl()->addTab(watching, QStringLiteral("watching"));
        m_sheet->TabControl()->setCurrentWidget(watching);
        watching->enableRuns = 0;

        std::thread worker([this] { m_sheet->SetDeviceBusy(true); });
        worker.join();
        // Queued to the user-interface thread, never run on the worker.
        QCOMPARE(watching->enableRuns, 0);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(watching->enableRuns, 1);

        std::thread other([this] { m_sheet->SetReprogrammed(true); });
        other.join();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(watching->enableRuns, 2);
        QVERIFY(!watching->offUiThread);

        // A change of the connection counts as well.
        m_sheet->SetDeviceBusy(false);
        QCoreApplication::sendPostedEvents();
        const int before = watching->enableRuns;
        m_unit->unit().unplug();
        m_sheet->TabControl()->setCurrentWidget(watching);
        m_sheet->OnTimer(CProptySheet::kDetectionTimer);
        QCoreApplication::sendPostedEvents();
        QVERIFY(watching->enableRuns > before);
    }

    void startupRunsTheSheetModally()
    {
        m_unit = std::make_unique<testsupport::UnitFixture>(false);
        QString title;
        QStringList tabs;
        bool sheetRecorded = false;
        QTimer::singleShot(0, this, [&] {
            auto* sheet = qobject_cast<CProptySheet*>(QApplication::activeModalWidget());
            QVERIFY(sheet);
            title = sheet->windowTitle();
            for (int i = 0; i < sheet->TabControl()->count(); ++i)
                tabs << sheet->TabControl()->tabText(i);
            sheetRecorded = theApp().m_pSheet == sheet && sheet->ActivePosition() == 0;
            sheet->close();
        });
        StartupOptions options;
        options.runSheet = RunMainSheet;
        options.workingDirectory = m_workDir->path();
        options.systemLanguageId = 0x0409;
        QVERIFY(!theApp().InitInstance(options));
        QCOMPARE(title, kTitleX);
        QCOMPARE(tabs, kNoUnitTabs);
        QVERIFY(sheetRecorded);
        QCOMPARE(theApp().m_pSheet, nullptr);
        QCOMPARE(m_boxes->texts(), QStringList());
    }

    void startupWithoutUITextShowsNoWindow()
    {
        QVERIFY(QFile::remove(m_workDir->filePath(QStringLiteral("Tavo_UIText.txt"))));
        bool windowShown = false;
        QTimer::singleShot(0, this, [&] { windowShown = QApplication::activeModalWidget(); });
        StartupOptions options;
        options.runSheet = RunMainSheet;
        options.workingDirectory = m_workDir->path();
        QVERIFY(!theApp().InitInstance(options));
        QCOMPARE(m_boxes->texts(), QStringList{QStringLiteral("Error[0001]")});
        QCoreApplication::processEvents();
        QVERIFY(!windowShown);
        QCOMPARE(theApp().m_pSheet, nullptr);
        for (QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY(!widget->isVisible());
    }
};

QTEST_MAIN(TestSheet)
#include "test_sheet.moc"
