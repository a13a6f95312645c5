#include "link/WorkerThread.h"

#include "platform/UiThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// Lets the owner wait for the end of the procedure with a timeout, which a join cannot.
struct WorkerThread::Shared
{
    std::mutex mutex;
    std::condition_variable ended;
    bool hasEnded = false;
};

WorkerThread::~WorkerThread()
{
    StopAndJoin();
}

void WorkerThread::Start(std::function<void(std::stop_token)> procedure)
{
    StopAndJoin();
    m_shared = std::make_shared<Shared>();
    m_thread = std::jthread(
        [shared = m_shared, procedure = std::move(procedure)](std::stop_token stop) mutable {
            {
                const platform::StopBinding binding(stop);
                procedure(stop);
                // The procedure's captures go now, while the owner may still be waiting, not
                // after it has been told the worker ended.
                procedure = nullptr;
            }
            std::lock_guard lock(shared->mutex);
            shared->hasEnded = true;
            shared->ended.notify_all();
        });
}

bool WorkerThread::Running() const
{
    if (!m_shared)
        return false;
    std::lock_guard lock(m_shared->mutex);
    return !m_shared->hasEnded;
}

bool WorkerThread::WaitFor(int timeoutMs)
{
    if (!m_thread.joinable())
        return true;
    {
        std::unique_lock lock(m_shared->mutex);
        if (!m_shared->ended.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [this] { return m_shared->hasEnded; }))
            return false;
    }
    m_thread.join();
    return true;
}

void WorkerThread::RequestStop()
{
    m_thread.request_stop();
}

void WorkerThread::StopAndJoin()
{
    if (m_thread.joinable()) {
        m_thread.request_stop();
        m_thread.join();
    }
    m_shared.reset();
}
