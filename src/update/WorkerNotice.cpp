#include "update/WorkerNotice.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QThread>

void PostToUiThread(std::function<void()> work)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(work), Qt::QueuedConnection);
}

void ShowCompletionNotice(const QString& text, const std::function<QWidget*()>& owner)
{
    const auto show = [&] {
        platform::MessageBox(text, kNoticeCaption, platform::MsgButtons::Ok, owner());
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        show();
        return;
    }
    QMetaObject::invokeMethod(app, show, Qt::BlockingQueuedConnection);
}
