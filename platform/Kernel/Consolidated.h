// A counted value: one immutable value shared by every copy of the handle.
#pragma once
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

private:
    struct Box : Countable {
        explicit Box(T v) : value(std::move(v)) {}
        T value;
    };
    Counted<Box> m_box;
};

}  // namespace Kernel
