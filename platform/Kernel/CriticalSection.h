#pragma once
#include <atomic>
#include <cstdint>

namespace Kernel {

// A lock for short holds, taken at high rates by many threads (the compare kernel takes one for
// every differing pixel). The holder's path is two atomic operations and no system call. A
// waiter looks at the lock seldom, and less and less often, so that a holder that goes on keeps
// the lock's cache line and runs at the speed of one thread, and takes the lock only when it is
// still free a moment after it was seen free; after a little spinning it naps for growing spells
// that nobody has to end. Only a waiter that has waited for milliseconds sleeps until a release
// wakes it, and one such wake serves all the sleepers of the moment.
class alignas(64) CriticalSection {
public:
    void AcquireLock() {
        if (!TryAcquireLock()) AcquireContended();
    }
    // Takes the lock only when it is free at once.
    bool TryAcquireLock() {
        uint32_t state = 0;
        return m_state.compare_exchange_strong(state, kLocked, std::memory_order_acquire, std::memory_order_relaxed);
    }
    void ReleaseLock() {
        if (m_state.exchange(0, std::memory_order_release) & kSleepers) WakeSleepers();
    }
    void lock() { AcquireLock(); }
    void unlock() { ReleaseLock(); }

private:
    static constexpr uint32_t kLocked = 1;
    static constexpr uint32_t kSleepers = 2;

    bool TryAcquireIfFree();
    bool TryAcquireFromWaiter();
    void AcquireContended();
    void WakeSleepers();

    std::atomic<uint32_t> m_state{0};
};

class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CriticalSection& cs) : m_cs(cs) { m_cs.AcquireLock(); }
    ~CriticalSectionLock() { m_cs.ReleaseLock(); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CriticalSection& m_cs;
};

}  // namespace Kernel
