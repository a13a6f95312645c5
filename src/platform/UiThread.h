#pragma once

#include <functional>
#include <stop_token>

namespace platform {

// Runs work on the user-interface thread and waits until it has run; called on that thread,
// runs it at once. On a thread bound to a stop token (StopBinding), the wait ends as soon as
// a stop is requested: work that has not begun by then never runs, work already under way (a
// box the user still reads) finishes without anyone waiting for it. So the owner of a worker
// can stop and join it without deadlocking on what the worker asked of the user-interface
// thread. work must own everything it uses: it may outlive the call. True when work ran to
// its end within the wait; false without an application object.
bool RunOnUiThreadAndWait(std::function<void()> work);

// While it lives, RunOnUiThreadAndWait on the thread that made it gives up when stop is
// requested. WorkerThread binds every worker it runs.
class StopBinding
{
public:
    explicit StopBinding(std::stop_token stop);
    ~StopBinding();
    StopBinding(const StopBinding&) = delete;
    StopBinding& operator=(const StopBinding&) = delete;

private:
    std::stop_token m_previous;
};

} // namespace platform
