// The system's unfair lock: a small spin-then-yield lock with no ordering guarantee.
#pragma once
#include <atomic>
#include <thread>

struct os_unfair_lock_s {
    std::atomic<bool> locked{false};
};
using os_unfair_lock = os_unfair_lock_s;
using os_unfair_lock_t = os_unfair_lock_s*;
#define OS_UNFAIR_LOCK_INIT \
    {}

inline void os_unfair_lock_lock(os_unfair_lock_t lock) {
    for (int spins = 0;; ++spins) {
        if (!lock->locked.exchange(true, std::memory_order_acquire)) return;
        while (lock->locked.load(std::memory_order_relaxed)) {
            if (spins > 64) std::this_thread::yield();
            ++spins;
        }
    }
}

inline bool os_unfair_lock_trylock(os_unfair_lock_t lock) {
    return !lock->locked.exchange(true, std::memory_order_acquire);
}

inline void os_unfair_lock_unlock(os_unfair_lock_t lock) { lock->locked.store(false, std::memory_order_release); }
