#pragma once

#include <QWidget>

class TimerSet;

// Base class of every page of the main sheet: a QWidget with the life cycle of a property
// page. Derived pages override the hooks below; they are public so that the sheet and tests
// can drive them.
//
// Life cycle. The sheet constructs a page when it adds it to its tab set and deletes it when
// it removes it, so a page that is added again is a new object with fresh state.
//  - OnInitDialog() runs once per object, the first time the page is shown (the page's
//    "dialog initialisation"; create child controls in the constructor, fill them here).
//  - Every time the page becomes visible: OnInitDialog() (first time only), then
//    OnShowPage(), then the refresh (OnRefresh() followed by ApplyEnableRule()), all before
//    the page is painted.
//  - Invalidate() asks for the refresh again. Requests are coalesced and run from the event
//    loop, only while the page is visible; a request made while the page is hidden is served
//    by the refresh of its next showing. Widgets are never changed inside paintEvent.
//  - ApplyEnableRule() alone is called again by the sheet whenever a shared flag (connected,
//    busy, reprogrammed) changes.
//
// Timers. SetTimer(id, ms) / KillTimer(id) give the page window timers with ids; every tick
// calls OnTimer(id), an ordinary method that tests call directly to step a timer. Timers()
// exposes the set, e.g. Timers().SetManual(true) in tests so nothing ticks by itself.
class CPropertyPage : public QWidget
{
    Q_OBJECT

public:
    explicit CPropertyPage(QWidget* parent = nullptr);
    ~CPropertyPage() override;
    Q_DISABLE_COPY_MOVE(CPropertyPage)

    // The page's dialog initialisation: once per page object, at its first showing.
    virtual void OnInitDialog() {}
    // Runs each time the page becomes visible, after OnInitDialog on the first showing.
    virtual void OnShowPage() {}
    // Re-applies texts, lists and labels from the UI texts and shared state (the paint-time
    // refresh). Runs on every showing and after Invalidate().
    virtual void OnRefresh() {}
    // Enables or disables the page's action buttons from the shared flags.
    virtual void ApplyEnableRule() {}
    // Handles a tick of timer id. The default does nothing.
    virtual void OnTimer(int id);

    // True once OnInitDialog has run for this object.
    bool IsInitialised() const { return m_initialised; }

    // Queues a refresh (coalesced; see the class comment).
    void Invalidate();
    // True while a refresh was asked for and has not run yet.
    bool IsRefreshPending() const { return m_refreshPending; }
    // Runs OnRefresh and ApplyEnableRule now, visible or not, and drops any pending request.
    void RefreshNow();

    // Starts timer id (or gives it a new period); each tick calls OnTimer(id).
    void SetTimer(int id, int ms);
    // Stops timer id.
    void KillTimer(int id);
    TimerSet& Timers() { return *m_timers; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RunQueuedRefresh();

    TimerSet* m_timers;
    bool m_initialised = false;
    bool m_refreshPending = false;
    bool m_refreshQueued = false;
};

// Gives a control its numeric id, as its object name in decimal ("1171"), and returns it.
template <typename Widget> Widget* WithId(Widget* widget, int id)
{
    widget->setObjectName(QString::number(id));
    return widget;
}
