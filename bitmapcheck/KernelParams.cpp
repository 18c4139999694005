#include "bitmapcheck/KernelParams.h"

#include <algorithm>

uint32_t BitsPerChannelForFormat(Raster::Format format) {
    static constexpr uint32_t kBits[11] = {8, 16, 8, 16, 8, 16, 8, 16, 0, 32, 32};
    return format <= 10 ? kBits[format] : 0;
}

Kernel::RectT<int> ClipToExtent(Kernel::RectT<int> r, int width, int height) {
    Kernel::RectT<int> n{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                         std::max(r.top, r.bottom)};
    Kernel::RectT<int> b{std::min(width, 0), std::min(height, 0), std::max(width, 0), std::max(height, 0)};
    if (n.left > b.right || n.right < b.left || n.top > b.bottom || n.bottom < b.top) return {0, 0, 0, 0};
    return {std::max(n.left, b.left), std::max(n.top, b.top), std::min(n.right, b.right), std::min(n.bottom, b.bottom)};
}
