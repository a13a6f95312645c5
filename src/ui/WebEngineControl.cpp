#include "ui/WebEngineControl.h"

#include <QVBoxLayout>
#include <QWebEngineView>

WebEngineControl::WebEngineControl(QWidget* parent)
    : BrowserControl(parent), m_view(new QWebEngineView(this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
}

WebEngineControl::~WebEngineControl() = default;

void WebEngineControl::Navigate(const QUrl& url)
{
    m_view->load(url);
}

BrowserControl* TavoCreateWebEngineControl(QWidget* parent)
{
    return new WebEngineControl(parent);
}
