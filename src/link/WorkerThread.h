#pragma once

#include <functional>
#include <memory>
#include <thread>

// One worker procedure on its own std::thread, started at once with normal priority.
//
// Its owner may wait for it, or simply drop it: the destructor joins a worker that has
// already returned and detaches one that is still running. So a page that is being destroyed
// never blocks on a worker that is itself waiting for the user-interface thread (a worker's
// message box runs there). A detached worker must touch only what it shares ownership of
// (TransferJob and the download state are built that way) and objects that live as long as
// the program.
class WorkerThread
{
public:
    WorkerThread() = default;
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Runs procedure on a new thread. A previous worker of this object is released first as
    // the destructor would release it.
    void Start(std::function<void()> procedure);

    // Starts one of the programming workers (WriteContentFile, WriteFirmwareFile) with job.
    template <typename Job> void Start(int (*procedure)(Job), Job job)
    {
        Start([procedure, job = std::move(job)]() mutable { procedure(std::move(job)); });
    }

    // True from Start until the procedure has returned.
    bool Running() const;
    // Waits up to timeoutMs for the procedure to return and joins the thread. True when it
    // has returned (or nothing was started).
    bool WaitFor(int timeoutMs);

private:
    struct Shared;
    void Release();

    std::thread m_thread;
    std::shared_ptr<Shared> m_shared;
};
