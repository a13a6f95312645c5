#pragma once

#include "ui/CExplorer_con.h"

class QWebEngineView;

// The program's browser control: a Qt WebEngine view. It is built as a module of its own,
// libTavoWebView.so, that the program loads while the splash screen holds the start (see
// WebEngine.h): neither the program nor any test program but the web view's links the web
// engine.
class WebEngineControl final : public BrowserControl
{
public:
    explicit WebEngineControl(QWidget* parent = nullptr);
    ~WebEngineControl() override;
    Q_DISABLE_COPY_MOVE(WebEngineControl)

    void Navigate(const QUrl& url) override;

private:
    QWebEngineView* m_view;
};

// The module's one entry, looked up by name: makes the control, a child of parent.
extern "C" __attribute__((visibility("default"))) BrowserControl*
TavoCreateWebEngineControl(QWidget* parent);
