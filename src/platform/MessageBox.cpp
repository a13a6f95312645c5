#include "platform/MessageBox.h"

#include "platform/QtMessageBoxService.h"

#include <QCoreApplication>
#include <atomic>

namespace platform {

namespace {
std::atomic<MessageBoxService*> g_installed{nullptr};

MessageBoxService& current()
{
    static QtMessageBoxService real;
    MessageBoxService* installed = g_installed.load();
    return installed ? *installed : real;
}
} // namespace

void installMessageBoxService(MessageBoxService* service)
{
    g_installed.store(service);
}

MsgAnswer MessageBox(const QString& text, const QString& caption, MsgButtons buttons,
                     QWidget* owner)
{
    const QString shownCaption = caption.isEmpty() ? QCoreApplication::applicationName() : caption;
    return current().show(text, shownCaption, buttons, owner);
}

QString ErrorText(int code)
{
    return QStringLiteral("Error[%1]").arg(code, 4, 10, QLatin1Char('0'));
}

void ShowErrorCode(int code, QWidget* owner)
{
    MessageBox(ErrorText(code), {}, MsgButtons::Ok, owner);
}

} // namespace platform
