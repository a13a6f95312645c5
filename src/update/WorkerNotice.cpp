#include "update/WorkerNotice.h"

#include "platform/MessageBox.h"
#include "platform/UiThread.h"

#include <QCoreApplication>

void PostToUiThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

void ShowCompletionNotice(const QString& text, std::function<QWidget*()> owner)
{
    const auto show = [text, owner = std::move(owner)] {
        platform::MessageBox(text, kNoticeCaption, platform::MsgButtons::Ok, owner());
    };
    if (!QCoreApplication::instance()) {
        show();
        return;
    }
    platform::RunOnUiThreadAndWait(show);
}
