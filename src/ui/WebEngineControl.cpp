#include "ui/WebEngineControl.h"

#include <QCoreApplication>
#include <QVBoxLayout>
#include <QWebEngineView>
#include <unistd.h>

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

BrowserControl* CreateWebEngineControl(QWidget* parent)
{
    return new WebEngineControl(parent);
}

void PrepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}
