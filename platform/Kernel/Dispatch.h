// Thread dispatch: a worker pool for parallel loops, and a queue for the main thread.
#pragma once
#include <cstddef>
#include <functional>

namespace Kernel {

class Dispatch {
public:
    using ParallelWork = void (*)(void* context, size_t index);

    // Runs work(context, i) exactly once for each i below count, on the pool and the
    // calling thread, and returns when all are done. A call from inside an item (on a pool
    // worker or not) is a loop of its own, shared with whatever workers are idle.
    static void DispatchParallelFor(ParallelWork work, size_t count, void* context, int priority, int purpose,
                                    int flags);

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
