#include "platform/MessageBoxRecorder.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

namespace platform {

MessageBoxRecorder::MessageBoxRecorder()
{
    installMessageBoxService(this);
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    installMessageBoxService(nullptr);
}

MsgAnswer MessageBoxRecorder::show(const QString& text, const QString& caption, MsgButtons buttons,
                                   QWidget*)
{
    QCoreApplication* app = QCoreApplication::instance();
    const bool onUi = app && QThread::currentThread() == app->thread();
    Shown entry{text, caption, buttons, onUi};
    std::function<void(const Shown&)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_onShow;
    }
    if (hook)
        hook(entry);

    std::lock_guard lock(m_mutex);
    m_shown.append(entry);
    MsgAnswer answer = MsgAnswer::Ok;
    if (!m_answers.empty()) {
        answer = m_answers.front();
        m_answers.pop_front();
    } else if (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) {
        answer = MsgAnswer::Yes;
    }
    m_changed.notify_all();
    return answer;
}

void MessageBoxRecorder::setNextAnswer(MsgAnswer answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

void MessageBoxRecorder::setOnShow(std::function<void(const Shown&)> hook)
{
    std::lock_guard lock(m_mutex);
    m_onShow = std::move(hook);
}

QList<MessageBoxRecorder::Shown> MessageBoxRecorder::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

QStringList MessageBoxRecorder::texts() const
{
    std::lock_guard lock(m_mutex);
    QStringList result;
    for (const Shown& s : m_shown)
        result.append(s.text);
    return result;
}

void MessageBoxRecorder::clear()
{
    std::lock_guard lock(m_mutex);
    m_shown.clear();
    m_answers.clear();
}

bool MessageBoxRecorder::waitForCount(int count, int timeoutMs) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_shown.size() >= count; });
}

} // namespace platform
