#pragma once
#include <mutex>

namespace Kernel {

class CriticalSection {
public:
    void AcquireLock() { m_mutex.lock(); }
    void ReleaseLock() { m_mutex.unlock(); }
    void lock() { AcquireLock(); }
    void unlock() { ReleaseLock(); }

private:
    std::mutex m_mutex;
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
