// Foundation services the document engine is started with: notification sinks, property
// collection managers, scheduling notices, lock files, and the sweep of shared class properties.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>

#include "Counted.h"

namespace Kernel {

// Receives the engine's change notifications; the stand-in only counts them.
class NotificationSink : public Countable {
public:
    void Notify() { m_count.fetch_add(1, std::memory_order_relaxed); }
    uint64_t GetNotificationCount() const { return m_count.load(std::memory_order_relaxed); }

private:
    std::atomic<uint64_t> m_count{0};
};

// Owns the property collections of one process that are not shared with other processes.
class UnsharedPropertyCollectionManager : public Countable {
public:
    explicit UnsharedPropertyCollectionManager(Counted<NotificationSink> sink) : m_sink(std::move(sink)) {}
    const Counted<NotificationSink>& GetNotificationSink() const { return m_sink; }

private:
    Counted<NotificationSink> m_sink;
};

// Work the engine wants run later; the scheduling sink is told what to do with it.
class Schedulable : public Countable {
public:
    enum class Action : int { Schedule = 0, Cancel = 1, RunNow = 2 };
};
using SchedulingSink = void (*)(Counted<Schedulable> work, Schedulable::Action action, int delay, int priority);

// Makes the lock files that keep two processes from opening one document for writing.
class LockFileCreator : public Countable {};

// Caches of properties shared by every object of a class. Holders register a sweep that drops
// what nothing uses any more; SweepAll runs every registered sweep.
class SharedClassProperties {
public:
    using Sweep = std::function<void(bool force)>;
    // Answers a key for RemoveSweep.
    static int AddSweep(Sweep sweep);
    static void RemoveSweep(int key);
    static void SweepAll(bool force);
};

}  // namespace Kernel
