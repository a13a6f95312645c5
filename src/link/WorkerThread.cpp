#include "link/WorkerThread.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

// Lives as long as the longer of the owner and the thread, so that a detached thread can
// still report that it has ended.
struct WorkerThread::Shared
{
    std::mutex mutex;
    std::condition_variable ended;
    bool hasEnded = false;
};

WorkerThread::~WorkerThread()
{
    Release();
}

void WorkerThread::Start(std::function<void()> procedure)
{
    Release();
    m_shared = std::make_shared<Shared>();
    m_thread = std::thread([shared = m_shared, procedure = std::move(procedure)]() mutable {
        procedure();
        // The procedure's captures go now, while the owner may still be waiting, not after
        // it has been told the worker ended.
        procedure = nullptr;
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

void WorkerThread::Release()
{
    if (!m_thread.joinable())
        return;
    if (Running())
        m_thread.detach();
    else
        m_thread.join();
    m_shared.reset();
}
