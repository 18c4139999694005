// Integer and floating rectangles: left, top, right, bottom; right and bottom exclusive.
#pragma once

namespace Kernel {

template <class T>
struct RectT {
    T left{};
    T top{};
    T right{};
    T bottom{};

    bool IsEmpty() const { return left == right || top == bottom; }
    T Width() const { return right - left; }
    T Height() const { return bottom - top; }
    friend bool operator==(const RectT&, const RectT&) = default;
};

}  // namespace Kernel
