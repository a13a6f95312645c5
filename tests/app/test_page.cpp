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

    void timers()
    {
        int ticks = 0;
        m_first->onTimer = [this, &ticks](int id) {
            // Killed from inside its own tick.
            if (++ticks == 2)
                m_first->KillTimer(id);
        };
        m_first->SetTimer(9, 1000);
        // Setting a running id gives it the new period.
        m_first->SetTimer(9, 1);
        QCOMPARE(m_first->Timers().Interval(9), 1);
        QTRY_COMPARE(ticks, 2);
        QVERIFY(!m_first->Timers().IsActive(9));
        QCOMPARE(m_first->Timers().Interval(9), -1);

        // In manual mode a set timer only waits for the test to step it.
        m_first->Timers().SetManual(true);
        m_first->SetTimer(9, 1);
        QVERIFY(m_first->Timers().IsActive(9));
        QTest::qWait(20);
        QCOMPARE(ticks, 2);
    }
};

QTEST_MAIN(TestPage)
#include "test_page.moc"
