// One object for each thread that asks for it, made on the thread's first ask and deleted when
// the thread ends. Not a thread_local with a destructor: the C library registers that
// destructor on the variable's first use in a thread, and ends the process there and then when
// the registration finds no memory. Here a thread that finds none gets Kernel::OutOfMemory, as
// from any other allocation of the engine.
#pragma once
#include <pthread.h>

#include "Kernel/OutOfMemory.h"

namespace Kernel {

template <class T>
class PerThread {
public:
    // what: what the object is, for the OutOfMemory thrown when it cannot be had.
    explicit PerThread(const char* what) : m_what(what) {
        m_keyed = pthread_key_create(&m_key, [](void* object) { delete static_cast<T*>(object); }) == 0;
    }
    PerThread(const PerThread&) = delete;
    PerThread& operator=(const PerThread&) = delete;

    // This thread's object, made with new T (not zeroed) on its first ask.
    T& Get() const {
        if (void* object = m_keyed ? pthread_getspecific(m_key) : nullptr) return *static_cast<T*>(object);
        if (!m_keyed) ThrowOutOfMemory(m_what, sizeof(T));
        T* made = Allocating(m_what, sizeof(T), [] { return new T; });
        if (pthread_setspecific(m_key, made) != 0) {
            delete made;
            ThrowOutOfMemory(m_what, sizeof(T));
        }
        return *made;
    }

private:
    // Never deleted: threads may outlive the object, and a key left costs nothing.
    pthread_key_t m_key{};
    bool m_keyed = false;
    const char* m_what;
};

}  // namespace Kernel
