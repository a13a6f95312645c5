#include "ui/WebEngine.h"

#include "ui/CExplorer_con.h"

#include <QCoreApplication>
#include <dlfcn.h>
#include <unistd.h>

namespace {

void SetUnlessSet(const char* name, const QByteArray& value)
{
    if (!qEnvironmentVariableIsSet(name))
        qputenv(name, value);
}

} // namespace

void PrepareWebEngine()
{
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The engine takes its contexts from the application's shared one; with no OpenGL on X11
    // that context is never made and the engine composites in software, as the view draws.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    SetUnlessSet("QT_XCB_GL_INTEGRATION", "none");
    SetUnlessSet("QT_QUICK_BACKEND", "software");
    const QByteArray user = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    // The engine runs without its sandbox when this variable is set at all.
    const bool sandboxOff =
        qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") || user.contains("--no-sandbox");
    const QByteArray flags = WebEngineChromiumFlags(user, sandboxOff);
    if (!flags.isEmpty())
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

QByteArray WebEngineChromiumFlags(const QByteArray& userFlags, bool sandboxOff)
{
    QByteArray flags;
    // Without a sandbox the engine needs no zygote processes to start its renderer from; the
    // renderer then starts on its own, which saves the zygotes' memory.
    if (sandboxOff)
        flags += "--no-zygote";
    const QByteArray user = userFlags.trimmed();
    if (!user.isEmpty())
        flags += (flags.isEmpty() ? "" : " ") + user;
    return flags;
}

BrowserControl* LoadWebEngineControl(QWidget* parent)
{
    using Create = BrowserControl* (*)(QWidget*);
    // Loaded once and kept: a web engine cannot be unloaded.
    static void* const module = ::dlopen(kWebEngineModule, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        return nullptr;
    const auto create = reinterpret_cast<Create>(::dlsym(module, "TavoCreateWebEngineControl"));
    return create ? create(parent) : nullptr;
}
