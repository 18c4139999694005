#include "Dispatch.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
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

struct Job {
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
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            try {
                for (; queued < helpers; ++queued) m_queue.push_back(&job);
            } catch (const std::bad_alloc&) {
                // Fewer helpers: the entries queued so far are all the job gets.
            }
            while (m_spare < m_queue.size() && m_started < cap && StartWorker()) {
            }
        }
        if (queued == 1) m_wake.notify_one();
        else if (queued > 1) m_wake.notify_all();
        job.Drain();
        std::unique_lock<std::mutex> lock(job.m);
        job.finished.wait(lock, [&] { return job.done.load(std::memory_order_acquire) == job.count; });
        // Queue entries of this job that no worker took must go before the job does.
        lock.unlock();
        {
            std::unique_lock<std::mutex> qlock(m_mutex);
            for (auto it = m_queue.begin(); it != m_queue.end();) {
                if (*it == &job) it = m_queue.erase(it);
                else ++it;
            }
            m_idle.wait(qlock, [&] { return m_active.count(&job) == 0; });
        }
        if (job.failure) std::rethrow_exception(job.failure);
    }

private:
    Pool() = default;

    struct ActiveSet {
        std::vector<Job*> jobs;
        size_t count(Job* j) const {
            size_t c = 0;
            for (Job* x : jobs) c += (x == j);
            return c;
        }
        void add(Job* j) { jobs.push_back(j); }  // within the capacity StartWorker keeps
        void remove(Job* j) {
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
            m_wake.wait(lock, [&] { return !m_queue.empty(); });
            Job* job = m_queue.front();
            m_queue.pop_front();
            m_active.add(job);
            --m_spare;
            lock.unlock();
            job->Drain();
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
    std::deque<Job*> m_queue;
    ActiveSet m_active;
};

std::atomic<unsigned> g_parallelism{0};

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
    unsigned cap = threads - 1;
    if (cap > Pool::MaxWorkers()) cap = Pool::MaxWorkers();
    unsigned helpers = cap;
    if (helpers + 1 > count) helpers = static_cast<unsigned>(count - 1);
    Job job;
    job.work = work;
    job.context = context;
    job.count = count;
    pool.Run(job, helpers, cap);
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
