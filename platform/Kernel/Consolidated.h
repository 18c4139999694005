// A counted value: one immutable value shared by every copy of the handle.
#pragma once
#include <utility>

#include "Kernel/Counted.h"
#include "Kernel/LiveCount.h"

namespace Kernel {

template <class T>
class Consolidated {
public:
    Consolidated() = default;
    explicit Consolidated(T value) : m_box(new Box(std::move(value))) {}

    explicit operator bool() const { return static_cast<bool>(m_box); }
    const T& Get() const { return m_box->value; }
    const T* operator->() const { return &m_box->value; }
    // Stand-in: values of this type alive now.
    static long Live() { return Kernel::LiveCount<Box>::Live(); }

private:
    struct Box : Countable, LiveCount<Box> {
        explicit Box(T v) : value(std::move(v)) {}
        T value;
    };
    Counted<Box> m_box;
};

}  // namespace Kernel
