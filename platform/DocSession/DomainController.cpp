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
    Queue& q = *m_queue;
    std::unique_lock<std::mutex> lock(q.mutex);
    if (q.worker.joinable() && q.worker.get_id() == std::this_thread::get_id()) return;
    q.changed.wait(lock, [&q] { return q.work.empty() && !q.busy; });
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
        if (q.worker.joinable() && q.worker.get_id() == std::this_thread::get_id()) {
            // It cannot join itself. Work still queued would meet a destroyed controller, so it
            // is dropped; the worker ends once the current command returns.
            dropped.swap(q.work);
            q.worker.detach();
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
        q.changed.wait(lock, [&q] { return !q.work.empty() || q.stopping; });
        if (q.work.empty()) return;  // stopping, and nothing left to run
        std::function<void()> work = std::move(q.work.front());
        q.work.pop_front();
        q.busy = true;
        lock.unlock();
        work();
        work = nullptr;
        lock.lock();
        q.busy = false;
        ++q.run;
        q.changed.notify_all();
    }
}
