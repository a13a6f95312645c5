#include "app/PropertyPage.h"

#include "app/TimerSet.h"

#include <QShowEvent>

CPropertyPage::CPropertyPage(QWidget* parent)
    : QWidget(parent), m_timers(new TimerSet([this](int id) { OnTimer(id); }, this))
{
}

CPropertyPage::~CPropertyPage() = default;

void CPropertyPage::OnTimer(int id)
{
    Q_UNUSED(id)
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
    if (!m_initialised) {
        m_initialised = true;
        OnInitDialog();
    }
    OnShowPage();
    RefreshNow();
}
