// A counted value: one immutable value shared by every copy of the handle.
#pragma once
#include <atomic>
#include <utility>

#include "Kernel/Counted.h"

namespace Kernel {

template <class T>
class Consolidated {
public:
    Consolidated() = default;
    explicit Consolidated(T value) : m_box(new Box(std::move(value))) {}

    explicit operator bool() const { return static_cast<bool>(m_box); }
    const T& Get() const { return m_box->value; }
    const T* operator->() const { return &m_box->value; }
    // The counts held on the shared value (0 for an empty handle).
    long GetRefCount() const { return m_box ? m_box->GetRefCount() : 0; }
    bool SharesValueWith(const Consolidated& other) const { return m_box.Get() == other.m_box.Get(); }
    // Stand-in: values of this type alive now, so tests can see that none is left behind.
    static long LiveCount() { return Box::s_live.load(); }

private:
    struct Box : Countable {
        explicit Box(T v) : value(std::move(v)) { ++s_live; }
        ~Box() override { --s_live; }
        T value;
        static inline std::atomic<long> s_live{0};
    };
    Counted<Box> m_box;
};

}  // namespace Kernel
