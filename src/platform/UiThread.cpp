#include "platform/UiThread.h"

#include <QCoreApplication>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

namespace {

// The stop request of the worker that runs on this thread; on other threads one that is never
// requested.
thread_local std::stop_token t_stop;

// One call handed to the user-interface thread, shared by both sides: the waiting side may
// be gone by the time the call runs.
struct UiCall
{
    std::mutex mutex;
    std::condition_variable_any ended;
    bool done = false;
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
        [call, stop = t_stop, work = std::move(work)] {
            // Once the stop is requested the waiting side is gone, or about to go.
            if (stop.stop_requested())
                return;
            work();
            std::lock_guard lock(call->mutex);
            call->done = true;
            call->ended.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(call->mutex);
    return call->ended.wait(lock, t_stop, [&call] { return call->done; });
}

StopBinding::StopBinding(std::stop_token stop) : m_previous(std::exchange(t_stop, std::move(stop)))
{
}

StopBinding::~StopBinding()
{
    t_stop = std::move(m_previous);
}

} // namespace platform
