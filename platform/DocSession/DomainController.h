// The part of a document's controller that owns its command queue: a document's queued
// commands run one after another, in order, on the engine's command thread (one for every
// document, started when the first command is queued); a thread that waits for a queue runs
// what is waiting itself rather than sleep while the command thread wakes.
#pragma once
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "Kernel/Counted.h"

namespace DocEngine {
class DocumentModel;
struct DocumentModelDeleter {
    void operator()(DocumentModel* model) const;
};
}  // namespace DocEngine

class DomainController : public Kernel::Countable {
public:
    DomainController() = default;
    ~DomainController() override;
    DomainController(const DomainController&) = delete;
    DomainController& operator=(const DomainController&) = delete;

    // Blocks until every queued command has run, running those not yet started itself.
    // Called from inside a queued command it returns at once. A command that threw (on
    // whatever thread ran it) ends there; the first such exception since the queue was last
    // waited for is thrown again here, once the queue is empty.
    void WaitUntilCommandQueueEmpty();
    // Queued commands run so far (tests).
    uint64_t GetQueuedWorkRun() const;

protected:
    void EnqueueWork(std::function<void()> work);
    // Runs what is still queued, on the calling thread, and takes no more. A derived controller
    // calls it first thing in its destructor, so that no queued command meets a half-destroyed
    // controller.
    void StopCommandQueue();

public:
    // Shared with the command thread, which may still hold it when the controller is gone.
    struct Queue {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::function<void()>> work;
        bool busy = false;       // a command is running, on the command thread or a waiting one
        std::thread::id runner;  // the thread running it
        bool stopping = false;
        uint64_t run = 0;
        std::exception_ptr failure;  // what the first command that threw threw, until waited for
    };
    // Runs the queue's commands while none is running and some are waiting; the lock is held on
    // entry and exit.
    static void RunWaiting(Queue& q, std::unique_lock<std::mutex>& lock);

private:
    // Runs what is queued on this thread, waiting for a command another thread runs, until the
    // queue is empty and idle; the lock is held on entry and exit.
    static void RunUntilEmpty(Queue& q, std::unique_lock<std::mutex>& lock);

    std::shared_ptr<Queue> m_queue = std::make_shared<Queue>();
};
