#include "Dispatch.h"

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace Kernel {

namespace {

// Read once: the C library reads a file under /sys for every answer, and every loop asks.
unsigned Processors() {
    static const unsigned processors = [] {
        const unsigned n = std::thread::hardware_concurrency();
        return n ? n : 1u;
    }();
    return processors;
}

// What a queue entry asks a worker to do. RunEntry throws nothing.
struct Task {
    virtual void RunEntry() = 0;

protected:
    ~Task() = default;
};

// Workers and callers look this long before they sleep: waking a sleeping thread costs tens of
// microseconds on a virtual machine, more than the gaps between the items of a producer that
// hands them over one at a time, or between the loops of a caller that runs many.
constexpr auto kSpin = std::chrono::microseconds(50);

struct Job final : Task {
    Dispatch::ParallelWork work;
    void* context;
    size_t count;
    std::atomic<size_t> next{0};
    std::atomic<size_t> done{0};
    std::mutex m;
    std::condition_variable finished;
    std::exception_ptr failure;  // what the first item that failed threw; guarded by m

    // Takes indices until none are left; answers whether this thread ran the last one. An item
    // that throws ends the loop: the indices no thread has taken yet are not run, and count as
    // ended here; the first exception waits in failure for the caller.
    void Drain() {
        size_t ran = 0;
        for (;;) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) break;
            try {
                work(context, i);
            } catch (...) {
                Fail(std::current_exception());
                const size_t untaken = next.exchange(count, std::memory_order_relaxed);
                if (untaken < count) ran += count - untaken;
            }
            ++ran;
        }
        if (ran && done.fetch_add(ran, std::memory_order_acq_rel) + ran == count) {
            std::lock_guard<std::mutex> lock(m);
            finished.notify_all();
        }
    }

    void Fail(std::exception_ptr error) {
        std::lock_guard<std::mutex> lock(m);
        if (!failure) failure = std::move(error);
    }

    void RunEntry() override { Drain(); }
};

class Pool {
public:
    static Pool& Instance() {
        static Pool* pool = new Pool;  // never destroyed: its threads outlive static destruction
        return *pool;
    }

    // Workers are started when work first needs them, never more than the processors less
    // the calling thread, so that a process limited to n threads never has more.
    static unsigned MaxWorkers() {
        const unsigned n = Processors();
        return n < 2 ? 1 : n - 1;
    }

    // A worker is started for each queue entry no spare worker will take, up to cap in all. A
    // worker that cannot be started (no thread or no memory to be had) means fewer workers, and
    // with none the calling thread runs every item. The first exception an item threw is thrown
    // again here once no thread runs any of the job's items.
    void Run(Job& job, unsigned helpers, unsigned cap) {
        unsigned queued = 0;
        size_t waiting = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            try {
                for (; queued < helpers; ++queued) m_queue.push_back(&job);
            } catch (const std::bad_alloc&) {
                // Fewer helpers: the entries queued so far are all the job gets.
            }
            m_queued.store(m_queue.size(), std::memory_order_relaxed);
            while (m_spare < m_queue.size() && m_started < cap && StartWorker()) {
            }
            waiting = m_queue.size();
        }
        if (queued) Wake(waiting);
        job.Drain();
        SpinUntil(kSpin, [&] { return job.done.load(std::memory_order_acquire) == job.count; });
        std::unique_lock<std::mutex> lock(job.m);
        job.finished.wait(lock, [&] { return job.done.load(std::memory_order_acquire) == job.count; });
        lock.unlock();
        Forget(job);
        if (job.failure) std::rethrow_exception(job.failure);
    }

    // Queues one entry of a task that may take up to cap workers, starting one when no spare
    // worker will take it. Without room for the entry the task goes without: its owner runs
    // what nobody took.
    void Add(Task& task, unsigned cap, bool wake = true) {
        size_t waiting;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            try {
                m_queue.push_back(&task);
            } catch (const std::bad_alloc&) {
                return;
            }
            m_queued.store(m_queue.size(), std::memory_order_relaxed);
            while (m_spare < m_queue.size() && m_started < cap && StartWorker()) {
            }
            waiting = m_queue.size();
        }
        if (wake && waiting > m_spinning.load()) m_wake.notify_one();
    }

    // Wakes a worker for the entries waiting, unless one is looking at the queue.
    void WakeOne() {
        if (m_queued.load(std::memory_order_relaxed) > m_spinning.load()) m_wake.notify_one();
    }

    // Queue entries of a task that no worker took must go before the task does, and so must
    // the workers still running one.
    void Forget(Task& task) {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (*it == &task) it = m_queue.erase(it);
            else ++it;
        }
        m_queued.store(m_queue.size(), std::memory_order_relaxed);
        m_idle.wait(lock, [&] { return m_active.count(&task) == 0; });
    }

private:
    Pool() = default;

    struct ActiveSet {
        std::vector<Task*> jobs;
        size_t count(Task* j) const {
            size_t c = 0;
            for (Task* x : jobs) c += (x == j);
            return c;
        }
        void add(Task* j) { jobs.push_back(j); }  // within the capacity StartWorker keeps
        void remove(Task* j) {
            for (auto it = jobs.begin(); it != jobs.end(); ++it)
                if (*it == j) {
                    jobs.erase(it);
                    return;
                }
        }
    };

    // Starts one more worker; false when the system gives no thread. m_mutex is held.
    bool StartWorker() {
        try {
            // Room for every worker's entry, so that a worker never grows the set while it runs.
            m_active.jobs.reserve(m_started + 1);
            std::thread([this] { Loop(); }).detach();  // the pool lives as long as the process
        } catch (const std::system_error&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
        ++m_started;
        ++m_spare;
        return true;
    }

    void Loop() {
        pthread_setname_np(pthread_self(), "qv-worker");  // so that a process's workers can be told
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            if (m_queue.empty()) {
                // A looking worker takes the lock only when it is free, so that the workers
                // looking at once do not queue up on it when an entry comes.
                lock.unlock();
                m_spinning.fetch_add(1);
                const bool found = SpinUntil(kSpin, [&] {
                    if (m_queued.load(std::memory_order_relaxed) == 0 || !lock.try_lock()) return false;
                    if (!m_queue.empty()) return true;
                    lock.unlock();
                    return false;
                });
                m_spinning.fetch_sub(1);
                if (!found) {
                    lock.lock();
                    m_wake.wait(lock, [&] { return !m_queue.empty(); });
                }
            }
            Task* job = m_queue.front();
            m_queue.pop_front();
            m_queued.store(m_queue.size(), std::memory_order_relaxed);
            m_active.add(job);
            --m_spare;
            lock.unlock();
            job->RunEntry();
            lock.lock();
            m_active.remove(job);
            ++m_spare;
            m_idle.notify_all();
        }
    }

    unsigned m_started = 0;  // guarded by m_mutex
    size_t m_spare = 0;      // workers not running a job; guarded by m_mutex
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Task*> m_queue;
    std::atomic<size_t> m_queued{0};  // the queue's length, for a spinning worker to see
    // Workers looking at the queue before they sleep. An entry queued while one looks needs no
    // wake-up, whose cost falls on the thread that queues it: a sleeping worker sees the queue
    // under the lock before it sleeps, and stops looking before it does.
    std::atomic<size_t> m_spinning{0};

    // Wakes sleeping workers for the queue's entries, of which there were waiting when it was
    // last changed, that no looking worker will take.
    void Wake(size_t waiting) {
        const size_t looking = m_spinning.load();
        if (waiting <= looking) return;
        if (waiting - looking == 1) m_wake.notify_one();
        else m_wake.notify_all();
    }
    ActiveSet m_active;
};

std::atomic<unsigned> g_parallelism{0};

// The workers a loop or group of this process may take besides its caller.
unsigned WorkerCap() {
    const unsigned p = Dispatch::GetParallelism();
    const unsigned cap = p - 1;
    return cap > Pool::MaxWorkers() ? Pool::MaxWorkers() : cap;
}

std::mutex g_mainMutex;
std::deque<std::function<void()>> g_mainQueue;

}  // namespace

void Dispatch::DispatchParallelFor(ParallelWork work, size_t count, void* context, int, int, int) {
    if (count == 0 || !work) return;
    unsigned threads = GetParallelism();
    // A loop started inside another loop's item goes to the pool too: its caller takes its
    // own items until none are left and waits only for items other threads already run, so a
    // worker busy writing one file can still spread that file's compression over idle ones.
    if (count == 1 || threads <= 1) {
        for (size_t i = 0; i < count; ++i) work(context, i);
        return;
    }
    Pool& pool = Pool::Instance();
    const unsigned cap = WorkerCap();
    unsigned helpers = cap;
    if (helpers + 1 > count) helpers = static_cast<unsigned>(count - 1);
    Job job;
    job.work = work;
    job.context = context;
    job.count = count;
    pool.Run(job, helpers, cap);
}

struct Dispatch::Group::State final : Task {
    ParallelWork work;
    void* context;
    unsigned cap;
    std::mutex m;
    std::condition_variable ended;
    std::deque<size_t> pending;  // handed over and not taken yet
    size_t entries = 0;          // its entries in the pool's queue: more than pending would find nothing
    size_t drainers = 0;         // workers taking its items one after another
    size_t running = 0;
    std::exception_ptr failure;  // the first an item threw, until thrown again

    State(ParallelWork w, void* c) : work(w), context(c), cap(WorkerCap()) {}

    // Takes and runs one pending item; false when there was none. m is held on entry and exit.
    bool RunOne(std::unique_lock<std::mutex>& lock) {
        if (pending.empty()) return false;
        const size_t index = pending.front();
        pending.pop_front();
        ++running;
        lock.unlock();
        std::exception_ptr error;
        try {
            work(context, index);
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        if (error && !failure) failure = std::move(error);
        --running;
        ended.notify_all();
        return true;
    }

    // A worker goes on with what was handed over meanwhile, with no wake-up between items; and
    // a worker, not the producer, wakes another for items that wait: the thread that wakes one
    // may have to give up its processor to it.
    void RunEntry() override {
        std::unique_lock<std::mutex> lock(m);
        if (entries > 0) --entries;
        ++drainers;
        while (!pending.empty()) {
            if (pending.size() > 1 && entries > 0) {
                lock.unlock();
                Pool::Instance().WakeOne();
                lock.lock();
            }
            RunOne(lock);
        }
        --drainers;
    }

    void ThrowFailure(std::unique_lock<std::mutex>& lock) {
        if (!failure) return;
        std::exception_ptr error = std::move(failure);
        failure = nullptr;
        lock.unlock();
        std::rethrow_exception(error);
    }
};

Dispatch::Group::Group(ParallelWork work, void* context) : m_state(new State(work, context)) {}

Dispatch::Group::~Group() {
    try {
        Wait();
    } catch (...) {
        // Dropped: whoever wanted it waited for it.
    }
}

void Dispatch::Group::Run(size_t index) {
    State& state = *m_state;
    if (state.cap == 0) {
        std::unique_lock<std::mutex> lock(state.m);
        state.pending.push_back(index);
        state.RunOne(lock);
        return;
    }
    bool queue, wake;
    {
        std::lock_guard<std::mutex> lock(state.m);
        state.pending.push_back(index);
        queue = state.pending.size() > state.entries && state.drainers + state.entries < state.cap;
        if (queue) ++state.entries;
        // A worker already taking items wakes another, once it takes the next.
        wake = state.drainers == 0;
    }
    if (queue) Pool::Instance().Add(state, state.cap, wake);
}

bool Dispatch::Group::RunPending() {
    State& state = *m_state;
    std::unique_lock<std::mutex> lock(state.m);
    return state.RunOne(lock);
}

void Dispatch::Group::Wait() {
    State& state = *m_state;
    {
        std::unique_lock<std::mutex> lock(state.m);
        for (;;) {
            if (state.RunOne(lock)) continue;
            if (state.running == 0) break;
            state.ended.wait(lock, [&] { return !state.pending.empty() || state.running == 0; });
        }
    }
    // Entries no worker took run nothing now; a worker that took one may still be looking.
    if (state.cap > 0) Pool::Instance().Forget(state);
    std::unique_lock<std::mutex> lock(state.m);
    state.entries = 0;
    state.ThrowFailure(lock);
}

void Dispatch::SetParallelism(unsigned threads) { g_parallelism.store(threads, std::memory_order_relaxed); }

unsigned Dispatch::GetParallelism() {
    const unsigned p = g_parallelism.load(std::memory_order_relaxed);
    return p ? p : Processors();
}

void Dispatch::DispatchOnMainThread(std::function<void()> work) {
    std::lock_guard<std::mutex> lock(g_mainMutex);
    g_mainQueue.push_back(std::move(work));
}

size_t Dispatch::RunMainThreadQueue() {
    size_t ran = 0;
    for (;;) {
        std::function<void()> w;
        {
            std::lock_guard<std::mutex> lock(g_mainMutex);
            if (g_mainQueue.empty()) break;
            w = std::move(g_mainQueue.front());
            g_mainQueue.pop_front();
        }
        w();
        ++ran;
    }
    return ran;
}

size_t Dispatch::PendingMainThreadWork() {
    std::lock_guard<std::mutex> lock(g_mainMutex);
    return g_mainQueue.size();
}

}  // namespace Kernel
