#include "DomainController.h"

#include <new>
#include <system_error>

namespace {

// The engine's command thread: runs the commands of every document's queue that nobody waits
// for. One thread for all documents rather than one each: starting a thread, and joining it
// when its document goes, costs more than most commands take.
class CommandThread {
public:
    static CommandThread& Instance() {
        static auto* instance = new CommandThread;  // its thread lives as long as the process
        return *instance;
    }

    // The queue may have commands to run. Without the memory to note it, or a thread to run
    // it, the queue's commands wait for whoever waits for the queue, who runs them.
    void Post(std::shared_ptr<DomainController::Queue> queue) {
        std::lock_guard<std::mutex> lock(m_mutex);
        try {
            m_ready.push_back(std::move(queue));
            if (!m_started) {
                std::thread([this] { Loop(); }).detach();
                m_started = true;
            }
        } catch (const std::system_error&) {
            return;  // the thread is tried again with the next command
        } catch (const std::bad_alloc&) {
            return;
        }
        m_posted.notify_one();
    }

private:
    void Loop() {
        for (;;) {
            std::shared_ptr<DomainController::Queue> queue;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_posted.wait(lock, [this] { return !m_ready.empty(); });
                queue = std::move(m_ready.front());
                m_ready.pop_front();
            }
            std::unique_lock<std::mutex> lock(queue->mutex);
            DomainController::RunWaiting(*queue, lock);
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_posted;
    std::deque<std::shared_ptr<DomainController::Queue>> m_ready;
    bool m_started = false;
};

}  // namespace

DomainController::~DomainController() { StopCommandQueue(); }

void DomainController::EnqueueWork(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(m_queue->mutex);
        if (m_queue->stopping) return;
        m_queue->work.push_back(std::move(work));
    }
    CommandThread::Instance().Post(m_queue);
}

void DomainController::WaitUntilCommandQueueEmpty() {
    // Kept: the controller's last count may go inside a command this thread runs.
    std::shared_ptr<Queue> queue = m_queue;
    Queue& q = *queue;
    std::unique_lock<std::mutex> lock(q.mutex);
    if (q.busy && q.runner == std::this_thread::get_id()) return;
    // Handing a command to the command thread and back costs two wake-ups, far more than most
    // commands take.
    RunUntilEmpty(q, lock);
    if (q.failure) {
        std::exception_ptr failure = std::move(q.failure);
        q.failure = nullptr;
        lock.unlock();
        std::rethrow_exception(failure);
    }
}

void DomainController::RunUntilEmpty(Queue& q, std::unique_lock<std::mutex>& lock) {
    for (;;) {
        RunWaiting(q, lock);
        if (!q.busy) return;
        q.changed.wait(lock);
    }
}

void DomainController::RunWaiting(Queue& q, std::unique_lock<std::mutex>& lock) {
    while (!q.busy && !q.work.empty()) {
        std::function<void()> work = std::move(q.work.front());
        q.work.pop_front();
        q.busy = true;
        q.runner = std::this_thread::get_id();
        lock.unlock();
        std::exception_ptr failure;
        try {
            work();
        } catch (...) {
            failure = std::current_exception();  // for whoever waits for the queue
        }
        work = nullptr;
        lock.lock();
        if (failure && !q.failure) q.failure = std::move(failure);
        q.busy = false;
        q.runner = std::thread::id();
        ++q.run;
        q.changed.notify_all();
    }
}

uint64_t DomainController::GetQueuedWorkRun() const {
    std::lock_guard<std::mutex> lock(m_queue->mutex);
    return m_queue->run;
}

void DomainController::StopCommandQueue() {
    std::shared_ptr<Queue> queue = m_queue;
    Queue& q = *queue;
    std::deque<std::function<void()>> dropped;
    std::unique_lock<std::mutex> lock(q.mutex);
    if (q.stopping) return;
    q.stopping = true;
    if (q.busy && q.runner == std::this_thread::get_id()) {
        // Destroyed from inside a command this thread runs: work still queued would meet a
        // destroyed controller, so it is dropped.
        dropped.swap(q.work);
        lock.unlock();
        return;
    }
    RunUntilEmpty(q, lock);
    q.failure = nullptr;  // nobody is left to be told of a command that threw
}
