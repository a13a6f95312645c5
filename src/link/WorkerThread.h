#pragma once

#include <functional>
#include <memory>
#include <stop_token>
#include <thread>

// One worker procedure on its own thread, started at once with normal priority.
//
// The worker never outlives its owner: the destructor (and the next Start) tells it to stop
// and joins it. A procedure therefore checks its stop token at least once per packet and
// returns soon after a stop is requested, showing nothing more. Its waits for the
// user-interface thread (a message box, see platform::RunOnUiThreadAndWait) end as soon as the
// stop is requested, so an owner being destroyed on that thread never deadlocks on a box its
// worker asked for.
class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs procedure on a new thread with the worker's stop token. A previous worker of this
    // object is stopped and joined first.
    void Start(std::function<void(std::stop_token)> procedure);

    // Starts one of the programming workers (WriteContentFile, WriteFirmwareFile) with job,
    // whose stop token becomes the worker's.
    template <typename Job> void Start(int (*procedure)(Job), Job job)
    {
        Start([procedure, job = std::move(job)](std::stop_token stop) mutable {
            job.stop = std::move(stop);
            procedure(std::move(job));
        });
    }

    // True from Start until the procedure has returned.
    bool Running() const;
    // Waits up to timeoutMs for the procedure to return and joins the thread. True when it
    // has returned (or nothing was started).
    bool WaitFor(int timeoutMs);
    // Tells the worker to stop without waiting for it.
    void RequestStop();

private:
    struct Shared;
    void StopAndJoin();

    std::jthread m_thread;
    std::shared_ptr<Shared> m_shared;
};
