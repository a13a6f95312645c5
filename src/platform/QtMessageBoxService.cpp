#include "platform/QtMessageBoxService.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

namespace platform {

namespace {

QMessageBox::StandardButtons toStandard(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

MsgAnswer fromStandard(int button)
{
    switch (button) {
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    default:
        return MsgAnswer::Ok;
    }
}

MsgAnswer showOnUiThread(const QString& text, const QString& caption, MsgButtons buttons,
                         QWidget* owner)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, toStandard(buttons), owner);
    return fromStandard(box.exec());
}

} // namespace

MsgAnswer QtMessageBoxService::show(const QString& text, const QString& caption, MsgButtons buttons,
                                    QWidget* owner)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return MsgAnswer::Ok;
    if (QThread::currentThread() == app->thread())
        return showOnUiThread(text, caption, buttons, owner);

    // A worker: the owner lives on the user-interface thread and may be destroyed there at any
    // moment, so the worker cannot even take a guard on it safely. The box is shown without
    // owner, application-modal like every ownerless box.
    MsgAnswer answer = MsgAnswer::Ok;
    QMetaObject::invokeMethod(
        app, [&] { answer = showOnUiThread(text, caption, buttons, nullptr); },
        Qt::BlockingQueuedConnection);
    return answer;
}

} // namespace platform
