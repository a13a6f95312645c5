#pragma once

#include "platform/MessageBox.h"

#include <QList>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace platform {

// A message-box service for tests: records every box and answers from a script. While it
// is alive it is the installed service. Thread-safe: workers may show boxes concurrently
// with the test reading what was shown.
class MessageBoxRecorder final : public MessageBoxService
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        MsgButtons buttons;
        bool fromUiThread;
    };

    MessageBoxRecorder();
    ~MessageBoxRecorder() override;
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    MsgAnswer show(const QString& text, const QString& caption, MsgButtons buttons,
                   QWidget* owner) override;

    // Queues the answer to the next box; without a queued answer a box gets its first button.
    void setNextAnswer(MsgAnswer answer);
    // Runs hook (on the showing thread) each time a box is shown, before it is answered:
    // lets a test act "while the box is open".
    void setOnShow(std::function<void(const Shown&)> hook);

    QList<Shown> shown() const;
    // Texts of all boxes so far, in order.
    QStringList texts() const;
    void clear();
    // Waits up to timeoutMs for at least count boxes; true when they came.
    bool waitForCount(int count, int timeoutMs) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    QList<Shown> m_shown;
    std::deque<MsgAnswer> m_answers;
    std::function<void(const Shown&)> m_onShow;
};

} // namespace platform
