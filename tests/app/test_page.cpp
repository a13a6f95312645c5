// The page base class: initialisation once per page object, the refresh on showing and
// after Invalidate, and window timers stepped without the clock.
#include "app/PropertyPage.h"
#include "app/TimerSet.h"

#include <QTabWidget>
#include <QtTest>

namespace {

// A page that records which of its hooks ran, in order.
class RecordingPage final : public CPropertyPage
{
public:
    QStringList calls;
    std::function<void(int)> onTimer;

    void OnInitDialog() override { calls << QStringLiteral("init"); }
    void OnShowPage() override { calls << QStringLiteral("show"); }
    void OnRefresh() override { calls << QStringLiteral("refresh"); }
    void ApplyEnableRule() override { calls << QStringLiteral("enable"); }
    void OnTimer(int id) override
    {
        calls << QStringLiteral("timer %1").arg(id);
        if (onTimer)
            onTimer(id);
    }
};

} // namespace

class TestPage final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTabWidget> m_tabs;
    RecordingPage* m_first = nullptr;
    RecordingPage* m_second = nullptr;

private slots:
    void init()
    {
        m_tabs = std::make_unique<QTabWidget>();
        m_first = new RecordingPage;
        m_second = new RecordingPage;
        m_tabs->addTab(m_first, QStringLiteral("first"));
        m_tabs->addTab(m_second, QStringLiteral("second"));
    }

    void cleanup() { m_tabs.reset(); }

    void firstShowingRunsTheHooksInOrder()
    {
        QVERIFY(!m_first->IsInitialised());
        m_tabs->show();
        const QStringList expected{QStringLiteral("init"), QStringLiteral("show"),
                                   QStringLiteral("refresh"), QStringLiteral("enable")};
        QCOMPARE(m_first->calls, expected);
        QVERIFY(m_first->IsInitialised());
        // A page that was never shown was never initialised.
        QCOMPARE(m_second->calls, QStringList());
        QVERIFY(!m_second->IsInitialised());
    }

    void initialisationRunsOncePerObject()
    {
        m_tabs->show();
        m_tabs->setCurrentIndex(1);
        m_tabs->setCurrentIndex(0);
        m_tabs->setCurrentIndex(1);
        QCOMPARE(m_first->calls.count(QStringLiteral("init")), 1);
        QCOMPARE(m_first->calls.count(QStringLiteral("show")), 2);
        QCOMPARE(m_second->calls.count(QStringLiteral("init")), 1);
        QCOMPARE(m_second->calls.count(QStringLiteral("show")), 2);
    }

    void replacedPageInitialisesAgain()
    {
        m_tabs->show();
        m_tabs->removeTab(1);
        delete m_second;
        auto* again = new RecordingPage;
        m_tabs->addTab(again, QStringLiteral("second"));
        QVERIFY(!again->IsInitialised());
        m_tabs->setCurrentIndex(1);
        QCOMPARE(again->calls.count(QStringLiteral("init")), 1);
    }

    void invalidateIsQueuedAndCoalesced()
    {
        m_tabs->show();
        m_first->calls.clear();
        m_first->Invalidate();
        m_first->Invalidate();
        m_first->Invalidate();
        // Nothing runs inside the caller.
        QCOMPARE(m_first->calls, QStringList());
        QVERIFY(m_first->IsRefreshPending());
        QCoreApplication::sendPostedEvents();
        const QStringList once{QStringLiteral("refresh"), QStringLiteral("enable")};
        QCOMPARE(m_first->calls, once);
        QVERIFY(!m_first->IsRefreshPending());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_first->calls, once);
    }

    void hiddenPageRefreshesWhenShown()
    {
        m_tabs->show();
        m_second->Invalidate();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_second->calls, QStringList());
        m_tabs->setCurrentIndex(1);
        QCOMPARE(m_second->calls.count(QStringLiteral("refresh")), 1);
        // The request of the hidden time was served by the showing.
        QVERIFY(!m_second->IsRefreshPending());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_second->calls.count(QStringLiteral("refresh")), 1);
    }

    void refreshNowRunsAtOnce()
    {
        m_second->Invalidate();
        m_second->RefreshNow();
        const QStringList expected{QStringLiteral("refresh"), QStringLiteral("enable")};
        QCOMPARE(m_second->calls, expected);
        QVERIFY(!m_second->IsRefreshPending());
    }

    void timersAreSetKilledAndRestarted()
    {
        TimerSet& timers = m_first->Timers();
        timers.SetManual(true);
        QVERIFY(!timers.IsActive(10002));
        QCOMPARE(timers.Interval(10002), -1);
        m_first->SetTimer(10002, 100);
        QVERIFY(timers.IsActive(10002));
        QCOMPARE(timers.Interval(10002), 100);
        // Setting a running id gives it the new period.
        m_first->SetTimer(10002, 500);
        QCOMPARE(timers.Interval(10002), 500);
        m_first->SetTimer(11001, 1000);
        m_first->KillTimer(10002);
        QVERIFY(!timers.IsActive(10002));
        QVERIFY(timers.IsActive(11001));
        // Killing an id that does not run is harmless.
        m_first->KillTimer(4242);
        timers.KillAll();
        QVERIFY(!timers.IsActive(11001));
    }

    void manualTimersDoNotTick()
    {
        m_first->Timers().SetManual(true);
        m_first->SetTimer(7, 1);
        QTest::qWait(20);
        QCOMPARE(m_first->calls.count(QStringLiteral("timer 7")), 0);
    }

    void runningTimerTicksAndMayKillItself()
    {
        int ticks = 0;
        m_first->onTimer = [this, &ticks](int id) {
            if (++ticks == 2)
                m_first->KillTimer(id);
        };
        m_first->SetTimer(9, 1);
        QTRY_COMPARE(ticks, 2);
        QVERIFY(!m_first->Timers().IsActive(9));
        QTest::qWait(20);
        QCOMPARE(ticks, 2);
    }

    void leavingManualModeStartsSetTimers()
    {
        int ticks = 0;
        m_first->onTimer = [&ticks](int) { ++ticks; };
        m_first->Timers().SetManual(true);
        m_first->SetTimer(3, 1);
        m_first->Timers().SetManual(false);
        QTRY_VERIFY(ticks > 0);
    }
};

QTEST_MAIN(TestPage)
#include "test_page.moc"
