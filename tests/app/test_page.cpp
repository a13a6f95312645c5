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
    void OnTimer(int id) override { onTimer(id); }
    // The calls so far as one line, then forgotten.
    QString Take() { return std::exchange(calls, {}).join(QLatin1Char(' ')); }
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
        m_tabs->show();
    }

    void cleanup() { m_tabs.reset(); }

    void initialisationRunsOncePerObjectAtItsFirstShowing()
    {
        QCOMPARE(m_first->Take(), QStringLiteral("init show refresh enable"));
        QVERIFY(!m_second->IsInitialised());
        m_tabs->setCurrentIndex(1);
        m_tabs->setCurrentIndex(0);
        m_tabs->setCurrentIndex(1);
        QCOMPARE(m_first->Take(), QStringLiteral("show refresh enable"));
        QCOMPARE(m_second->Take(), QStringLiteral("init show refresh enable show refresh enable"));
    }

    void invalidateIsQueuedCoalescedAndServedByTheNextShowing()
    {
        m_first->Take();
        m_first->Invalidate();
        m_first->Invalidate();
        m_second->Invalidate();
        // Nothing runs inside the caller.
        QCOMPARE(m_first->Take(), QString());
        QVERIFY(m_first->IsRefreshPending());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_first->Take(), QStringLiteral("refresh enable"));
        QVERIFY(!m_first->IsRefreshPending());
        // The hidden page waits for its showing, which serves the request.
        QCOMPARE(m_second->Take(), QString());
        m_tabs->setCurrentIndex(1);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_second->Take(), QStringLiteral("init show refresh enable"));
    }

    void timers()
    {
        int ticks = 0;
        m_first->onTimer = [this, &ticks](int id) {
            // Killed from inside its own tick.
            if (++ticks == 2)
                m_first->KillTimer(id);
        };
        m_first->SetTimer(9, 60000);
        QTest::qWait(20);
        QCOMPARE(ticks, 0);
        // Setting a running id gives it the new period: two ticks long before a minute.
        m_first->SetTimer(9, 1);
        QTRY_COMPARE_WITH_TIMEOUT(ticks, 2, 1000);
        QCOMPARE(m_first->Timers().Interval(9), -1);
        // In manual mode a set timer only waits for the test to step it.
        m_first->Timers().SetManual(true);
        m_first->SetTimer(9, 1);
        QCOMPARE(m_first->Timers().Interval(9), 1);
        QTest::qWait(20);
        QCOMPARE(ticks, 2);
    }
};

QTEST_MAIN(TestPage)
#include "test_page.moc"
