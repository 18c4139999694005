// The part of a document's controller that owns its command queue: queued commands run one
// after another, in order, on the controller's own worker thread, started when the first is
// queued; a thread that waits for the queue runs what is waiting itself rather than sleep
// while the worker wakes.
#pragma once
#include <condition_variable>
#include <deque>
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
    // Called from inside a queued command it returns at once.
    void WaitUntilCommandQueueEmpty();
    // Queued commands run so far (tests).
    uint64_t GetQueuedWorkRun() const;

protected:
    void EnqueueWork(std::function<void()> work);
    // Runs what is still queued and ends the worker. A derived controller calls it first thing in
    // its destructor, so that no queued command meets a half-destroyed controller.
    void StopCommandQueue();

private:
    // Shared with the worker, which may outlive the controller when the controller's last count
    // goes while a queued command is being destroyed on the worker itself.
    struct Queue {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::function<void()>> work;
        bool busy = false;       // a command is running, on the worker or on a waiting thread
        std::thread::id runner;  // the thread running it
        bool stopping = false;
        uint64_t run = 0;
        std::thread worker;
    };
    static void WorkerLoop(std::shared_ptr<Queue> queue);
    // Runs the first queued command with the lock released; the lock is held on entry and exit.
    static void RunFirst(Queue& q, std::unique_lock<std::mutex>& lock);

    std::shared_ptr<Queue> m_queue = std::make_shared<Queue>();
};
