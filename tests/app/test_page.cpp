// The page base class: initialisation once per window at its first showing, the refresh on
// every showing and after Invalidate, and window timers.
#include "app/PropertyPage.h"
#include "app/TimerSet.h"

#include <QTabWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

// A page that records which of its hooks ran, in order, and kills its timer at the second tick.
class RecordingPage final : public CPropertyPage
{
public:
    QStringList calls;
    int ticks = 0;

    void OnInitDialog() override { calls << u"init"_s; }
    void OnShowPage() override { calls << u"show"_s; }
    void OnRefresh() override { calls << u"refresh"_s; }
    void ApplyEnableRule() override { calls << u"enable"_s; }
    void OnTimer(int id) override
    {
        if (++ticks == 2)
            KillTimer(id);
    }
    // The calls so far as one line, then forgotten.
    QString Take() { return std::exchange(calls, {}).join(u' '); }
};

} // namespace

class TestPage final : public QObject
{
    Q_OBJECT

private slots:
    void showingAndInvalidate()
    {
        QTabWidget tabs;
        auto* first = new RecordingPage;
        auto* second = new RecordingPage;
        tabs.addTab(first, u"first"_s);
        tabs.addTab(second, u"second"_s);
        tabs.show();
        QCOMPARE(first->Take(), u"init show refresh enable"_s);
        QCOMPARE(second->Take(), QString());
        tabs.setCurrentIndex(1);
        tabs.setCurrentIndex(0);
        QCOMPARE(first->Take(), u"show refresh enable"_s);
        QCOMPARE(second->Take(), u"init show refresh enable"_s);

        // Nothing runs inside the caller; requests are coalesced; a hidden page's request is
        // served by its next showing.
        first->Invalidate();
        first->Invalidate();
        second->Invalidate();
        QCOMPARE(first->Take(), QString());
        QCoreApplication::sendPostedEvents();
        QCOMPARE(first->Take(), u"refresh enable"_s);
        QCOMPARE(second->Take(), QString());
        tabs.setCurrentIndex(1);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(second->Take(), u"show refresh enable"_s);
    }

    void timers()
    {
        RecordingPage page;
        page.SetTimer(9, 60000);
        QTest::qWait(20);
        QCOMPARE(page.ticks, 0);
        // Setting a running id gives it the new period: two ticks long before a minute, the
        // second of which kills the timer from inside its own tick.
        page.SetTimer(9, 1);
        QTRY_COMPARE_WITH_TIMEOUT(page.ticks, 2, 1000);
        QTest::qWait(20);
        QCOMPARE(page.ticks, 2);
        // In manual mode a set timer only waits for the test to step it.
        page.Timers().SetManual(true);
        page.SetTimer(9, 1);
        QTest::qWait(20);
        QCOMPARE(page.ticks, 2);
    }
};

QTEST_MAIN(TestPage)
#include "test_page.moc"
