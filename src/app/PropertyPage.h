#pragma once

#include <QPointer>
#include <QWidget>
#include <vector>

class TimerSet;

// Base class of every page of the main sheet: a QWidget with the life cycle of a property
// page. Derived pages override the hooks below; they are public so that the sheet and tests
// can drive them.
//
// Object and window. A page object lives as long as the sheet that owns it; its members (a
// chosen path, a progress block) keep their values for all that time. What the sheet adds to
// and takes out of its tab set is the page's window: the controls, built by CreateControls()
// inside a container of their own. DestroyWindowState() (the page leaves the tab set) stops
// the page's timers and retires the controls; the next showing creates them afresh and runs
// OnInitDialog() again.
//  - Every time the page becomes visible: the window is created if it has none, then
//    OnInitDialog() (first showing of that window only), OnShowPage() and the refresh
//    (OnRefresh() followed by ApplyEnableRule()), all before the page is painted.
//  - Invalidate() asks for the refresh again. Requests are coalesced and run from the event
//    loop, only while the page is visible; a request made while the page is hidden is served
//    by the refresh of its next showing. Widgets are never changed inside paintEvent.
//  - ApplyEnableRule() alone is called again by the sheet whenever a shared flag (connected,
//    busy, reprogrammed) changes.
// A handler of the page may be waiting in a modal dialog when its window is retired: the old
// controls stay alive (hidden, out of the page's children) until a modal dialog no longer
// stands above the page's top-level window, so the handler never touches a deleted control;
// the member pointers move to the new controls when they are built.
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

    // The page's dialog initialisation: once per window, at its first showing.
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

    // Creates the page's window (its controls) when it has none; the next showing then runs
    // OnInitDialog. Showing the page calls it; callers only need it to reach the controls of
    // a page that has not been shown yet.
    void CreateWindowState();
    // The page leaves the tab set: stops its timers, hides it and retires its controls.
    void DestroyWindowState();
    // True while the page has a window.
    bool HasWindowState() const { return m_window != nullptr; }
    // True once OnInitDialog has run for the current window.
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
    // Builds the page's controls, laid out on window (which fills the page), and points the
    // page's control members at them. Runs once per window.
    virtual void CreateControls(QWidget* window);
    void showEvent(QShowEvent* event) override;

private:
    void RunQueuedRefresh();
    void DeleteRetiredWindows();

    TimerSet* m_timers;
    QWidget* m_window = nullptr;
    // Windows taken away while a handler may still use their controls.
    std::vector<QPointer<QWidget>> m_retired;
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
