// Intrusive reference counting for engine objects.
#pragma once
#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace Kernel {

class Countable {
public:
    Countable() = default;
    Countable(const Countable&) : m_count(0) {}
    Countable& operator=(const Countable&) { return *this; }
    virtual ~Countable() = default;

    void IncrementRefCount() const { m_count.fetch_add(1, std::memory_order_relaxed); }
    void DecrementRefCount() const {
        if (m_count.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    long GetRefCount() const { return m_count.load(std::memory_order_acquire); }

private:
    mutable std::atomic<long> m_count{0};
};

// Holds one count on its object while not empty.
template <class T>
class Counted {
public:
    Counted() = default;
    Counted(std::nullptr_t) {}
    explicit Counted(T* p) : m_p(p) { Add(); }
    Counted(const Counted& o) : m_p(o.m_p) { Add(); }
    Counted(Counted&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Counted(const Counted<U>& o) : m_p(o.Get()) { Add(); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Counted(Counted<U>&& o) noexcept : m_p(o.Detach()) {}
    ~Counted() { Drop(); }
    Counted& operator=(Counted o) noexcept {
        std::swap(m_p, o.m_p);
        return *this;
    }

    // Takes over a count the caller already holds.
    static Counted Adopt(T* p) {
        Counted c;
        c.m_p = p;
        return c;
    }
    T* Detach() {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    void Reset() { Counted().Swap(*this); }
    void Swap(Counted& o) noexcept { std::swap(m_p, o.m_p); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    bool IsNull() const { return m_p == nullptr; }
    friend bool operator==(const Counted& a, const Counted& b) { return a.m_p == b.m_p; }

private:
    void Add() {
        if (m_p) m_p->IncrementRefCount();
    }
    void Drop() {
        if (m_p) m_p->DecrementRefCount();
        m_p = nullptr;
    }
    T* m_p = nullptr;
};

// Same count discipline as Counted; used for nodes held by menu items.
template <class T>
class JailCounted : public Counted<T> {
public:
    using Counted<T>::Counted;
    JailCounted() = default;
    JailCounted(const Counted<T>& c) : Counted<T>(c) {}
};

// A plain, non-owning handle: no count is taken or given back.
template <class T>
class NonCounted {
public:
    NonCounted() = default;
    NonCounted(T* p) : m_p(p) {}
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    T& operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T* m_p = nullptr;
};

template <class T, class... Args>
Counted<T> MakeCounted(Args&&... args) {
    return Counted<T>(new T(std::forward<Args>(args)...));
}

}  // namespace Kernel
