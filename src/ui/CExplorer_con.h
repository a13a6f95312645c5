#pragma once

#include <QFrame>
#include <QTimer>
#include <QUrl>

// A control that shows web pages, as CExplorer_con hosts it. All inline, and no meta-object of
// its own: the web engine's control derives from it in a module loaded at run time.
class BrowserControl : public QWidget
{
public:
    using QWidget::QWidget;
    // Starts loading url; how the page loads or fails is the control's own business.
    virtual void Navigate(const QUrl& url) = 0;
};

// Makes the browser control, a child of parent; null when it cannot be made.
using BrowserControlFactory = BrowserControl* (*)(QWidget* parent);

// The Connection page's web view: a frame that hosts the registered browser control and
// offers one method, Navigate2. The program registers the web engine's control at start; with
// none registered (the tests of the pages), or none to be made, the frame stays empty and only
// keeps the address.
//
// The control is made from the event loop once the frame exists, not in its constructor, and
// never while the splash screen holds the start: starting a web engine takes the
// user-interface thread for a second or more, which then overlaps the splash's hold instead of
// delaying the window. An address asked for before then is loaded as soon as the control is
// there.
class CExplorer_con final : public QFrame
{
    Q_OBJECT

public:
    explicit CExplorer_con(QWidget* parent = nullptr);
    ~CExplorer_con() override;
    Q_DISABLE_COPY_MOVE(CExplorer_con)

    // Registers the control that frames created from now on host; null: none.
    static void RegisterControl(BrowserControlFactory factory);

    // Navigates the control to url.
    void Navigate2(const QString& url);
    // The hosted control, null until it has been made (or when none is registered).
    BrowserControl* Control() const { return m_control; }
    // The address last asked for.
    const QUrl& Location() const { return m_location; }

private:
    void CreateControl();

    BrowserControlFactory m_factory;
    QTimer m_createTimer;
    BrowserControl* m_control = nullptr;
    QUrl m_location;
};
