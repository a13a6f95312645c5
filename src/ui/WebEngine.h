#pragma once

#include <QByteArray>

class BrowserControl;
class QWidget;

// The web engine as the program uses it. Its browser control lives in the module
// libTavoWebView.so, loaded by name (the program's run path leads to it) only when the
// Connection page's web view makes its control, while the splash screen holds the start:
// loading the engine's libraries takes a few tenths of a second that would otherwise come
// before the splash.

// The module's file name.
inline constexpr const char* kWebEngineModule = "libTavoWebView.so";

// Settles what the web engine reads when it starts, before the application object exists:
// for a program run as root, the engine's sandbox turned off (the engine refuses to start as
// root with it on); no OpenGL on X11 and Qt Quick's software renderer for the view, unless the
// user chose otherwise (a product page needs no GPU: no OpenGL driver is loaded, and the
// engine composites in software); and the engine's flags of WebEngineChromiumFlags. Call it
// first thing in main().
void PrepareWebEngine();

// The engine's flags: the program's own, then the user's (userFlags, from
// QTWEBENGINE_CHROMIUM_FLAGS), so that where both name a switch the user's comes last and
// wins. sandboxOff: the engine runs without its sandbox anyway.
QByteArray WebEngineChromiumFlags(const QByteArray& userFlags, bool sandboxOff);

// The factory CExplorer_con::RegisterControl takes: loads the module and makes its control.
// Null when the module cannot be loaded (the web view stays empty then).
BrowserControl* LoadWebEngineControl(QWidget* parent);
