#include "app/PropertyPage.h"

#include "app/TimerSet.h"

#include <QApplication>
#include <QShowEvent>
#include <QVBoxLayout>

CPropertyPage::CPropertyPage(QWidget* parent)
    : QWidget(parent), m_timers(new TimerSet([this](int id) { OnTimer(id); }, this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

CPropertyPage::~CPropertyPage()
{
    for (QPointer<QWidget>& window : m_retired)
        delete window.data();
}

void CPropertyPage::OnTimer(int id)
{
    Q_UNUSED(id)
}

void CPropertyPage::CreateControls(QWidget* window)
{
    Q_UNUSED(window)
}

void CPropertyPage::CreateWindowState()
{
    if (m_window)
        return;
    m_window = new QWidget(this);
    layout()->addWidget(m_window);
    CreateControls(m_window);
    // Created while the page may already be showing (from its showEvent): a child made then
    // is neither shown nor laid out with it.
    m_window->show();
    layout()->activate();
    // The members now point at the new controls: older ones may go once no handler can be
    // waiting on them.
    DeleteRetiredWindows();
}

void CPropertyPage::DestroyWindowState()
{
    m_timers->KillAll();
    m_initialised = false;
    m_refreshPending = false;
    hide();
    if (!m_window)
        return;
    QWidget* old = std::exchange(m_window, nullptr);
    old->hide();
    // Out of the page's children, so that nothing finds the old controls by their ids.
    old->setParent(nullptr);
    m_retired.emplace_back(old);
}

void CPropertyPage::DeleteRetiredWindows()
{
    // A modal dialog above the page's window (a box, a file dialog, a progress dialog) may
    // belong to a handler of this page that still holds the old controls.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != window())
        return;
    for (QPointer<QWidget>& old : std::exchange(m_retired, {}))
        delete old.data();
}

void CPropertyPage::Invalidate()
{
    m_refreshPending = true;
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, &CPropertyPage::RunQueuedRefresh, Qt::QueuedConnection);
}

void CPropertyPage::RunQueuedRefresh()
{
    m_refreshQueued = false;
    // A hidden page is not painted; its next showing refreshes it.
    if (m_refreshPending && isVisible())
        RefreshNow();
}

void CPropertyPage::RefreshNow()
{
    m_refreshPending = false;
    OnRefresh();
    ApplyEnableRule();
}

void CPropertyPage::SetTimer(int id, int ms)
{
    m_timers->Set(id, ms);
}

void CPropertyPage::KillTimer(int id)
{
    m_timers->Kill(id);
}

void CPropertyPage::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the window system mapping the sheet again (e.g. after a
    // minimise), not the page being shown.
    if (event->spontaneous())
        return;
    CreateWindowState();
    DeleteRetiredWindows();
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    OnShowPage();
    RefreshNow();
}
