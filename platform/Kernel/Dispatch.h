// Thread dispatch: a worker pool for parallel loops, and a queue for the main thread.
#pragma once
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>

namespace Kernel {

// Looks, with a pause between looks, until ready() comes true or the time is up, for a thread
// about to sleep on something that may come sooner than a wake-up would. Answers whether
// ready() came true.
template <class Ready>
bool SpinUntil(std::chrono::microseconds time, Ready ready) {
    const auto until = std::chrono::steady_clock::now() + time;
    for (unsigned i = 0;; ++i) {
        if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#elif defined(__aarch64__)
        asm volatile("yield");
#endif
        if ((i & 63) == 63 && std::chrono::steady_clock::now() >= until) return false;
    }
}

class Dispatch {
public:
    using ParallelWork = void (*)(void* context, size_t index);

    // Runs work(context, i) exactly once for each i below count, on the pool and the
    // calling thread, and returns when all are done. A call from inside an item (on a pool
    // worker or not) is a loop of its own, shared with whatever workers are idle.
    static void DispatchParallelFor(ParallelWork work, size_t count, void* context, int priority, int purpose,
                                    int flags);

    // Items handed to the pool one at a time while the caller goes on with its own work, for a
    // producer that cannot wait for each: every index given to Run runs exactly once, on an
    // idle worker (started, like a loop's, up to the parallelism less the caller) or on the
    // caller, in RunPending or Wait. The first exception an item throws is kept for Wait to
    // throw.
    class Group {
    public:
        Group(ParallelWork work, void* context);
        // Waits for every item handed over; an exception not yet thrown is dropped.
        ~Group();
        Group(const Group&) = delete;
        Group& operator=(const Group&) = delete;

        // Hands index over; with no other thread allowed, runs it here at once (what it throws
        // is kept all the same).
        void Run(size_t index);
        // Runs here one item that no worker has taken; false when there is none.
        bool RunPending();
        // Runs what no worker has taken and waits until every item handed over has ended.
        void Wait();

        struct State;

    private:
        std::unique_ptr<State> m_state;
    };

    // Caps how many threads (the caller included) take part in later parallel loops, and so
    // how many workers the pool ever starts; 0 restores the default, the number of processors.
    static void SetParallelism(unsigned threads);
    static unsigned GetParallelism();

    // Queues work for the main thread; RunMainThreadQueue runs what is queued.
    static void DispatchOnMainThread(std::function<void()> work);
    static size_t RunMainThreadQueue();
    static size_t PendingMainThreadWork();
};

}  // namespace Kernel
