#include "platform/QtMessageBoxService.h"

#include "platform/UiThread.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <atomic>
#include <memory>

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

// The answer of a box closed with Escape or its close box.
MsgAnswer escapeAnswer(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
        return MsgAnswer::No;
    case MsgButtons::OkCancel:
    case MsgButtons::YesNoCancel:
        break;
    }
    return MsgAnswer::Cancel;
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
    // owner, application-modal like every ownerless box. A worker told to stop stops waiting
    // for it and takes the answer of a box closed without a choice; the call owns its texts and
    // its answer, since it may run (or end) after the worker has gone.
    auto answer = std::make_shared<std::atomic<MsgAnswer>>(escapeAnswer(buttons));
    RunOnUiThreadAndWait([answer, text, caption, buttons] {
        answer->store(showOnUiThread(text, caption, buttons, nullptr));
    });
    return answer->load();
}

} // namespace platform
