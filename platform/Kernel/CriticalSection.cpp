#include "CriticalSection.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <climits>

static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t), "the futex word is the atomic itself");

namespace Kernel {

namespace {
inline void Pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

using Clock = std::chrono::steady_clock;
// Spinning: long against a hold (nanoseconds for a pixel's results). A look takes the cache line
// from the holder, and one that finds the lock free between two of its holds takes the lock
// from it: looks are kept few, the first after a microsecond or two, then ever further apart.
constexpr auto kSpinTime = std::chrono::microseconds(20);
constexpr int kFirstPauses = 64;
constexpr int kMostPauses = 1024;
constexpr int kPoliteness = 4;
// Then naps that the holder need not end: it pays no system call, however often it releases.
constexpr auto kFirstNap = std::chrono::microseconds(50);
constexpr auto kLongestNap = std::chrono::milliseconds(1);
// A waiter that has napped this long sleeps until a release wakes it; a release then pays one
// system call for all such sleepers, at most once every few milliseconds.
constexpr auto kNapTime = std::chrono::milliseconds(5);

void FutexWait(std::atomic<uint32_t>& word, uint32_t expected, const timespec* timeout) {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&word), FUTEX_WAIT_PRIVATE, expected, timeout, nullptr, 0);
}
}  // namespace

bool CriticalSection::TryAcquireIfFree() {
    uint32_t state = m_state.load(std::memory_order_relaxed);
    while (!(state & kLocked))
        if (m_state.compare_exchange_weak(state, state | kLocked, std::memory_order_acquire, std::memory_order_relaxed))
            return true;
    return false;
}

bool CriticalSection::TryAcquireFromWaiter() {
    if (m_state.load(std::memory_order_relaxed) & kLocked) return false;
    // Free between two holds of a holder that goes on is no reason to take the lock from it:
    // only a lock still free a moment later is taken.
    for (int i = 0; i < kPoliteness; ++i) Pause();
    return TryAcquireIfFree();
}

void CriticalSection::AcquireContended() {
    for (;;) {
        const auto started = Clock::now();
        int pauses = kFirstPauses;
        for (;;) {
            if (TryAcquireFromWaiter()) return;
            for (int i = 0; i < pauses; ++i) Pause();
            if (pauses < kMostPauses) pauses *= 2;
            if (Clock::now() - started > kSpinTime) break;
        }
        for (auto nap = std::chrono::nanoseconds(kFirstNap); Clock::now() - started < kNapTime;
             nap = std::min<std::chrono::nanoseconds>(nap * 2, kLongestNap)) {
            // A plain sleep: a futex wait would end at once whenever the holder's releases
            // change the word, and the nap would become a spin of system calls.
            const timespec spell{0, long(nap.count())};
            nanosleep(&spell, nullptr);
            if (TryAcquireFromWaiter()) return;
        }
        // Sleep until a release, then spin again.
        uint32_t state = m_state.load(std::memory_order_relaxed);
        if (!(state & kLocked)) continue;
        if (!(state & kSleepers) &&
            !m_state.compare_exchange_strong(state, state | kSleepers, std::memory_order_relaxed))
            continue;
        FutexWait(m_state, state | kSleepers, nullptr);
    }
}

void CriticalSection::WakeSleepers() {
    syscall(SYS_futex, reinterpret_cast<uint32_t*>(&m_state), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace Kernel
