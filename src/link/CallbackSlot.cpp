#include "link/CallbackSlot.h"

void CallbackSlot::Set(std::function<void()> callback)
{
    std::unique_lock lock(m_mutex);
    m_callback =
        callback ? std::make_shared<const std::function<void()>>(std::move(callback)) : nullptr;
    m_idle.wait(lock, [this] { return m_running == 0; });
}

void CallbackSlot::Call()
{
    std::shared_ptr<const std::function<void()>> callback;
    {
        std::lock_guard lock(m_mutex);
        if (!m_callback)
            return;
        callback = m_callback;
        ++m_running;
    }
    (*callback)();
    std::lock_guard lock(m_mutex);
    if (--m_running == 0)
        m_idle.notify_all();
}
