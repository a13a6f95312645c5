#pragma once

#include "ui/CExplorer_con.h"

class QWebEngineView;

// The program's browser control: a Qt WebEngine view. It lives in a library of its own that
// only the program and the web view's test link, so that no other test starts a web engine.
class WebEngineControl final : public BrowserControl
{
    Q_OBJECT

public:
    explicit WebEngineControl(QWidget* parent = nullptr);
    ~WebEngineControl() override;
    Q_DISABLE_COPY_MOVE(WebEngineControl)

    void Navigate(const QUrl& url) override;
    QWebEngineView* View() const { return m_view; }

private:
    QWebEngineView* m_view;
};

// The factory CExplorer_con::RegisterControl takes.
BrowserControl* CreateWebEngineControl(QWidget* parent);

// Settles what the web engine needs before the application object exists: contexts shared
// between windows and, for a program run as root, the engine's sandbox turned off (the engine
// refuses to start as root with it on). Call it first thing in main().
void PrepareWebEngine();
