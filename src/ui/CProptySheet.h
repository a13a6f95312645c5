#pragma once

#include "link/SheetState.h"
#include "update/VersionCatalogue.h"

#include <QDialog>
#include <array>

class CPropertyPage;
class CTavoApp;
class QTabWidget;
class TimerSet;

// The main property sheet: the program's only window. It owns every page, polls for the
// unit with timer 10001, reads the unit's identity after a connect, and decides which pages
// are in its tab set. Through SheetState it holds what every page shares: the busy flags,
// the identity and the diagnosis unlock; it also holds the version catalogue.
//
// The page objects are created with the sheet and live as long as it. A page that leaves the
// tab set loses its window (its timers stop and its controls go, see CPropertyPage); added
// again, its window is created afresh and its OnInitDialog runs again when it is next shown,
// while the page object keeps its members. Whenever a busy flag changes (from any thread) and
// whenever the connection changes, every visible page applies its enable rule again, on the
// user-interface thread.
//
// The sheet has no OK, Cancel, Help or Apply button; closing it ends the program.
class CProptySheet final : public QDialog, public SheetState
{
    Q_OBJECT

public:
    // The pages the sheet can hold.
    enum class PageId
    {
        Connect,
        Update,
        Language,
        Poi,
        Diagnosis,
        Reset
    };

    static constexpr int kDetectionTimer = 10001;
    static constexpr int kDetectionPeriodMs = 500;
    // The splash screen: its own display time, and how long the sheet holds it on screen.
    static constexpr int kSplashDisplayMs = 2000;
    static constexpr int kSplashHoldMs = 3000;

    // app is the application object whose connection flag, page positions and texts the sheet
    // uses; it outlives the sheet.
    explicit CProptySheet(CTavoApp& app, QWidget* parent = nullptr);
    ~CProptySheet() override;
    Q_DISABLE_COPY_MOVE(CProptySheet)

    // The version catalogue as read when the sheet started.
    VersionCatalogue m_catalogue;
    // Read the identity on the next tick of the detection timer.
    bool m_bIdentityPending = false;
    // Rebuild the page set from the event loop (set by the key chord).
    bool m_bRebuildPages = false;

    // The sheet's initialisation, run when it is first shown: clears the flags, reads the
    // version catalogue, sets the title "Tavo V0.9 [USB : X]", shows the splash window and
    // starts timer 10001.
    void OnInitDialog();
    // One tick of timer id; only kDetectionTimer does anything. Tests call it directly.
    void OnTimer(int id);
    // Recomputes the tab set from the connection, the identity's boot mode and the diagnosis
    // unlock. Leaves the Connection page alone and does not choose the active page.
    void RebuildPages();
    // Retitles every tab in the current language and activates position 0.
    void OnRetitle();
    // Reads the identity again (hwId from all eight bits of byte 63); rebuilds nothing.
    void OnRefreshIdentity();

    // Appends page id to the tab set with its title text and returns its position. The
    // caller records the position in the application's table.
    int AddPage(PageId id);
    // Takes page id out of the tab set and destroys its window; nothing happens when it is
    // not there. Page(id) is null from then on.
    void RemovePage(PageId id);
    // The page object while it is in the tab set, else null.
    CPropertyPage* Page(PageId id) const;
    // The page object, in the tab set or not; it lives as long as the sheet.
    CPropertyPage* PageObject(PageId id) const { return m_pages[static_cast<std::size_t>(id)]; }
    // Makes the tab at position the current one (positions out of range are ignored).
    void SetActivePage(int position);
    int ActivePosition() const;
    QTabWidget* TabControl() const { return m_tabs; }
    // The sheet's window timers (tests put them in manual mode).
    TimerSet& Timers() { return *m_timers; }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CPropertyPage* CreatePage(PageId id);
    int TitleTextOf(PageId id) const;
    int& PositionOf(PageId id);
    void SetTitle(bool connected);
    void ShowSplash();
    void OnKeyChord();
    void RebuildIfRequested();
    void QueueEnableRules();
    void ApplyEnableRules();

    CTavoApp& m_app;
    QTabWidget* m_tabs;
    TimerSet* m_timers;
    // Owned by the sheet, indexed by PageId.
    std::array<CPropertyPage*, 6> m_pages{};
    bool m_initialised = false;
    bool m_f7Down = false;
};
