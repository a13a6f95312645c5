#include "ui/CExplorer_con.h"

#include <QVBoxLayout>
#include <atomic>

namespace {

std::atomic<BrowserControlFactory> g_controlFactory{nullptr};

} // namespace

CExplorer_con::CExplorer_con(QWidget* parent) : QFrame(parent), m_factory(g_controlFactory.load())
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    if (!m_factory)
        return;
    // A real timer rather than a queued call: the splash screen's hold lets queued calls and
    // painting through but no timer until the splash is on screen.
    m_createTimer.setSingleShot(true);
    m_createTimer.setInterval(0);
    connect(&m_createTimer, &QTimer::timeout, this, &CExplorer_con::CreateControl);
    m_createTimer.start();
}

CExplorer_con::~CExplorer_con() = default;

void CExplorer_con::RegisterControl(BrowserControlFactory factory)
{
    g_controlFactory.store(factory);
}

void CExplorer_con::Navigate2(const QString& url)
{
    m_location = QUrl(url);
    if (m_control)
        m_control->Navigate(m_location);
}

void CExplorer_con::CreateControl()
{
    m_control = m_factory(this);
    if (!m_control)
        return;
    layout()->addWidget(m_control);
    // Made while the frame may be showing already: a child made then is not shown with it.
    m_control->show();
    if (!m_location.isEmpty())
        m_control->Navigate(m_location);
}
