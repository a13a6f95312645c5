#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// A callback that any thread may call while its owner may replace or remove it. Calls run
// without a lock held, so a callback may take its own locks or change what notifies it; and
// once Set() has returned the previous callback runs nowhere, so its owner may go. A
// callback must never call Set() of its own slot.
class CallbackSlot
{
public:
    CallbackSlot() = default;
    CallbackSlot(const CallbackSlot&) = delete;
    CallbackSlot& operator=(const CallbackSlot&) = delete;

    // Installs callback (empty: none) and waits until no call of the previous one runs.
    void Set(std::function<void()> callback);
    // Calls the installed callback, if any, on the calling thread.
    void Call();

private:
    std::mutex m_mutex;
    std::condition_variable m_idle;
    std::shared_ptr<const std::function<void()>> m_callback;
    int m_running = 0;
};
