// The worker pool when an item throws and when its threads cannot be started, and a thread's
// own objects when memory has run out.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Kernel/Dispatch.h"
#include "Kernel/PerThread.h"

namespace {

using Kernel::Dispatch;

struct Parallelism {
    explicit Parallelism(unsigned threads) { Dispatch::SetParallelism(threads); }
    ~Parallelism() { Dispatch::SetParallelism(0); }
};

struct Throwing {
    size_t thrower;  // the index that throws; every index when it is SIZE_MAX
    std::vector<std::atomic<int>>* runs;
};

void RunOrThrow(void* context, size_t index) {
    Throwing& t = *static_cast<Throwing*>(context);
    ++(*t.runs)[index];
    if (t.thrower == SIZE_MAX || index == t.thrower) throw std::runtime_error("item " + std::to_string(index));
}

struct Counting {
    std::vector<std::atomic<int>>* runs;
};

void Count(void* context, size_t index) { ++(*static_cast<Counting*>(context)->runs)[index]; }

// Every index ran exactly once: the pool still works after a loop whose item threw.
void ExpectEveryIndexOnce(size_t count) {
    std::vector<std::atomic<int>> runs(count);
    Counting counting{&runs};
    Dispatch::DispatchParallelFor(&Count, count, &counting, 21, 2, 0);
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(runs[i].load(), 1) << "index " << i;
}

}  // namespace

namespace {
void OuterThrowing(void* context, size_t) {
    Throwing& outer = *static_cast<Throwing*>(context);
    Throwing inner{outer.thrower, outer.runs};
    Dispatch::DispatchParallelFor(&RunOrThrow, outer.runs->size(), &inner, 21, 2, 0);
}
}  // namespace

// Whichever thread runs the item that throws, and however deep the loop, the caller gets the
// exception once the loop has ended; no item runs twice, and the pool goes on working.
TEST(KernelDispatchFailure, AnItemThatThrowsReachesTheCaller) {
    struct Case {
        unsigned threads;
        size_t count;
        size_t thrower;  // SIZE_MAX: every item throws
        bool nested;     // thrown by a loop inside an item of the caller's loop
    } cases[] = {
        {1, 1000, 500, false}, {2, 1000, 0, false}, {4, 1000, 999, false},    {8, 1000, 500, false},
        {0, 1000, 0, false},   {8, 64, SIZE_MAX, false}, {4, 16, 3, true}, {8, 16, SIZE_MAX, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.threads) + " threads, " + std::to_string(c.count) + " items, thrower " +
                     std::to_string(c.thrower) + (c.nested ? ", nested" : ""));
        Parallelism parallelism(c.threads);
        for (int round = 0; round < 20; ++round) {
            std::vector<std::atomic<int>> runs(c.count);
            Throwing throwing{c.thrower, &runs};
            try {
                if (c.nested) Dispatch::DispatchParallelFor(&OuterThrowing, 2, &throwing, 21, 2, 0);
                else Dispatch::DispatchParallelFor(&RunOrThrow, runs.size(), &throwing, 21, 2, 0);
                ADD_FAILURE() << "nothing was thrown";
            } catch (const std::runtime_error& error) {
                if (c.thrower != SIZE_MAX) {
                    EXPECT_EQ(std::string(error.what()), "item " + std::to_string(c.thrower));
                }
            }
            if (c.thrower != SIZE_MAX) {
                EXPECT_GE(runs[c.thrower].load(), 1);
            }
            for (auto& r : runs) ASSERT_LE(r.load(), c.nested ? 2 : 1);
        }
        ExpectEveryIndexOnce(1000);
    }
}

// The address-space limit that leaves no room for a thread's stack is set in a process of its
// own (a death test of the "threadsafe" style runs the test program again), whose pool has
// started no worker yet. A sanitizer's shadow memory takes more address space than any limit.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
namespace {

// The process's mapped bytes now.
uint64_t MappedBytes() {
    std::ifstream statm("/proc/self/statm");
    uint64_t pages = 0;
    statm >> pages;
    return pages * uint64_t(sysconf(_SC_PAGESIZE));
}

// Room for a little more heap but for no thread's stack (8 MiB unless the stack limit is less).
void LeaveNoRoomForAThread() {
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = MappedBytes() + (1u << 20);
    if (setrlimit(RLIMIT_AS, &limit) != 0) {
        std::perror("setrlimit");
        std::exit(3);
    }
}

void AllowThreads() {
    rlimit limit{};
    getrlimit(RLIMIT_AS, &limit);
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_AS, &limit);
}

struct Threads {
    pthread_t ran[4096];
    std::atomic<int> runs[4096];
};

void NoteThread(void* context, size_t index) {
    Threads& t = *static_cast<Threads*>(context);
    t.ran[index] = pthread_self();
    ++t.runs[index];
}

// The distinct threads that ran a loop of every index, or 0 when an index did not run exactly once.
size_t ThreadsOfALoop(Threads& t) {
    for (auto& r : t.runs) r = 0;
    Dispatch::DispatchParallelFor(&NoteThread, 4096, &t, 21, 2, 0);
    std::vector<pthread_t> seen;
    for (size_t i = 0; i < 4096; ++i) {
        if (t.runs[i] != 1) return 0;
        bool known = false;
        for (pthread_t s : seen) known = known || pthread_equal(s, t.ran[i]);
        if (!known) seen.push_back(t.ran[i]);
    }
    return seen.size();
}

void RunWithWorkersThatCannotStart() {
    static Threads t;  // made before the limit: nothing of it is allocated under it
    Dispatch::SetParallelism(8);
    // No worker can start: the calling thread runs every item.
    LeaveNoRoomForAThread();
    size_t threads = ThreadsOfALoop(t);
    if (threads != 1) {
        std::fprintf(stderr, "with no worker: %zu threads\n", threads);
        std::exit(1);
    }
    // One worker starts while threads can; then none more can: at most two threads, the
    // caller and that worker, take part, however many the loop asks for.
    AllowThreads();
    Dispatch::SetParallelism(2);
    if (ThreadsOfALoop(t) == 0) std::exit(2);
    LeaveNoRoomForAThread();
    Dispatch::SetParallelism(8);
    for (int round = 0; round < 20; ++round) {
        threads = ThreadsOfALoop(t);
        if (threads < 1 || threads > 2) {
            std::fprintf(stderr, "with one worker: %zu threads\n", threads);
            std::exit(4);
        }
    }
    std::exit(0);
}

}  // namespace

TEST(KernelDispatchFailureDeathTest, WorkersThatCannotStartLeaveTheWorkToFewerThreads) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunWithWorkersThatCannotStart(), testing::ExitedWithCode(0), "");
}

namespace {

struct Owned {
    static inline std::atomic<int> deleted{0};
    ~Owned() { ++deleted; }
    char bytes[256];
};

// A thread whose first ask finds no memory left, not even for a few bytes: the ask throws and
// the process goes on; with memory back, the thread gets its object, one for all its asks,
// deleted when the thread ends.
void AskOnAThreadWithNoMemoryLeft() {
    static const Kernel::PerThread<Owned> owned("a test's object");
    static void* held[1 << 16];  // made before the limit
    int failure = 0;
    std::thread([&] {
        LeaveNoRoomForAThread();
        size_t count = 0;
        for (size_t size = 1 << 20; size >= 8; size /= 2)
            while (count < std::size(held) && (held[count] = std::malloc(size))) ++count;
        try {
            owned.Get();
            failure = 1;
        } catch (const std::bad_alloc& error) {
            // What was being made, as every failure of memory says: no string is made to compare.
            if (std::strcmp(Kernel::DescribeAllocation(error), "a test's object of 256 bytes") != 0) failure = 4;
        }
        for (size_t i = 0; i < count; ++i) std::free(held[i]);
        AllowThreads();
        if (&owned.Get() != &owned.Get()) failure = 2;
    }).join();
    if (failure == 0 && Owned::deleted != 1) failure = 3;
    std::exit(failure);
}

}  // namespace

TEST(KernelPerThreadDeathTest, AThreadsFirstAskWithNoMemoryLeftThrows) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(AskOnAThreadWithNoMemoryLeft(), testing::ExitedWithCode(0), "");
}
#endif
