#include "DomainController.h"

DomainController::~DomainController() { StopCommandQueue(); }

void DomainController::EnqueueWork(std::function<void()> work) {
    Queue& q = *m_queue;
    std::lock_guard<std::mutex> lock(q.mutex);
    if (q.stopping) return;
    q.work.push_back(std::move(work));
    if (!q.worker.joinable()) q.worker = std::thread(&DomainController::WorkerLoop, m_queue);
    q.changed.notify_all();
}

void DomainController::WaitUntilCommandQueueEmpty() {
    // Kept: the controller's last count may go inside a command this thread runs.
    std::shared_ptr<Queue> queue = m_queue;
    Queue& q = *queue;
    std::unique_lock<std::mutex> lock(q.mutex);
    if (q.busy && q.runner == std::this_thread::get_id()) return;
    // Handing a command to the worker and back costs two wake-ups, far more than most
    // commands take.
    for (;;) {
        if (!q.busy && !q.work.empty()) RunFirst(q, lock);
        else if (!q.busy) return;
        else q.changed.wait(lock);
    }
}

void DomainController::RunFirst(Queue& q, std::unique_lock<std::mutex>& lock) {
    std::function<void()> work = std::move(q.work.front());
    q.work.pop_front();
    q.busy = true;
    q.runner = std::this_thread::get_id();
    lock.unlock();
    work();
    work = nullptr;
    lock.lock();
    q.busy = false;
    q.runner = std::thread::id();
    ++q.run;
    q.changed.notify_all();
}

uint64_t DomainController::GetQueuedWorkRun() const {
    std::lock_guard<std::mutex> lock(m_queue->mutex);
    return m_queue->run;
}

void DomainController::StopCommandQueue() {
    Queue& q = *m_queue;
    std::thread worker;
    std::deque<std::function<void()>> dropped;
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        q.stopping = true;
        q.changed.notify_all();
        if (q.busy && q.runner == std::this_thread::get_id()) {
            // Destroyed from inside a command, on the worker or a waiting thread: the worker
            // cannot be joined from here. Work still queued would meet a destroyed controller,
            // so it is dropped; the worker ends once the current command returns.
            dropped.swap(q.work);
            if (q.worker.joinable()) q.worker.detach();
            return;
        }
        worker = std::move(q.worker);
    }
    if (worker.joinable()) worker.join();
}

void DomainController::WorkerLoop(std::shared_ptr<Queue> queue) {
    Queue& q = *queue;
    std::unique_lock<std::mutex> lock(q.mutex);
    for (;;) {
        q.changed.wait(lock, [&q] { return !q.busy && (!q.work.empty() || q.stopping); });
        if (q.work.empty()) return;  // stopping, and nothing left to run
        RunFirst(q, lock);
    }
}
