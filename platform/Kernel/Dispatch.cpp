#include "Dispatch.h"

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
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

    // Takes indices until none are left; answers whether this thread ran the last one.
    void Drain() {
        size_t ran = 0;
        for (;;) {
            size_t i = next.fetch_add(1, std::memory_order_relaxed);
            if (i >= count) break;
            work(context, i);
            ++ran;
        }
        if (ran && done.fetch_add(ran, std::memory_order_acq_rel) + ran == count) {
            std::lock_guard<std::mutex> lock(m);
            finished.notify_all();
        }
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

    // A worker is started for each queue entry no spare worker will take, up to cap in all.
    void Run(Job& job, unsigned helpers, unsigned cap) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (unsigned i = 0; i < helpers; ++i) m_queue.push_back(&job);
            while (m_spare < m_queue.size() && m_started < cap) {
                std::thread([this] { Loop(); }).detach();  // the pool lives as long as the process
                ++m_started;
                ++m_spare;
            }
        }
        if (helpers == 1) m_wake.notify_one();
        else m_wake.notify_all();
        job.Drain();
        std::unique_lock<std::mutex> lock(job.m);
        job.finished.wait(lock, [&] { return job.done.load(std::memory_order_acquire) == job.count; });
        // Queue entries of this job that no worker took must go before the job does.
        lock.unlock();
        std::unique_lock<std::mutex> qlock(m_mutex);
        for (auto it = m_queue.begin(); it != m_queue.end();) {
            if (*it == &job) it = m_queue.erase(it);
            else ++it;
        }
        m_idle.wait(qlock, [&] { return m_active.count(&job) == 0; });
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
        void add(Job* j) { jobs.push_back(j); }
        void remove(Job* j) {
            for (auto it = jobs.begin(); it != jobs.end(); ++it)
                if (*it == j) {
                    jobs.erase(it);
                    return;
                }
        }
    };

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
