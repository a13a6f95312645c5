#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

// The stop request of the worker that runs on this thread; never requested elsewhere.
thread_local std::stop_token t_stop;

// One call handed to the user-interface thread, shared by both sides: the waiting side may
// be gone by the time the call runs.
struct UiCall
{
    std::mutex mutex;
    std::condition_variable_any ended;
    bool done = false;
    bool abandoned = false;
};

} // namespace

bool RunOnUiThreadAndWait(std::function<void()> work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return false;
    if (QThread::currentThread() == app->thread()) {
        work();
        return true;
    }
    if (t_stop.stop_requested())
        return false;

    auto call = std::make_shared<UiCall>();
    QMetaObject::invokeMethod(
        app,
        [call, work = std::move(work)] {
            {
                std::lock_guard lock(call->mutex);
                if (call->abandoned)
                    return;
            }
            work();
            std::lock_guard lock(call->mutex);
            call->done = true;
            call->ended.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(call->mutex);
    if (call->ended.wait(lock, t_stop, [&call] { return call->done; }))
        return true;
    // Stopped: a call that has not begun never will.
    call->abandoned = true;
    return false;
}

StopBinding::StopBinding(std::stop_token stop) : m_previous(std::exchange(t_stop, std::move(stop)))
{
}

StopBinding::~StopBinding()
{
    t_stop = std::move(m_previous);
}

} // namespace platform
