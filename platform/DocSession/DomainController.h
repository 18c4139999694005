// The part of a document's controller that owns its command queue: queued commands run one
// after another on the controller's own worker thread, started when the first is queued.
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

    // Blocks until every queued command has run. Called from the worker itself it returns at once.
    void WaitUntilCommandQueueEmpty();
    // Commands run so far on the worker (tests).
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
        bool busy = false;
        bool stopping = false;
        uint64_t run = 0;
        std::thread worker;
    };
    static void WorkerLoop(std::shared_ptr<Queue> queue);

    std::shared_ptr<Queue> m_queue = std::make_shared<Queue>();
};
