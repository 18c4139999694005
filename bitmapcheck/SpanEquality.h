// Equality tests over whole 32-pixel spans, the kernels' fast path for equal pixels.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "bitmapcheck/PixelAccess.h"

namespace BitmapKernels {

// Whether n samples (whole spans) from each plane pointer on are bit for bit the same in
// dst and src. Then every channel difference is 0, a float NaN against the same NaN included.
// Words of every plane go into a few lanes that are folded once at the end, with no branch
// before, so the compiler vectorises the loop.
template <class B, class DP, class SP>
inline bool RunSamplesEqual(const DP& dst, const SP& src, int n) {
    constexpr size_t kLanes = kSpan * sizeof(typename B::Sample) / sizeof(uint64_t);
    const size_t words = size_t(n) * sizeof(typename B::Sample) / sizeof(uint64_t);
    uint64_t diff[kLanes] = {};
    for (int c = 0; c < B::kChannelCount; ++c) {
        const unsigned char* a = reinterpret_cast<const unsigned char*>(&dst[c][0]);
        const unsigned char* b = reinterpret_cast<const unsigned char*>(&src[c][0]);
        for (size_t w = 0; w < words; w += kLanes)
            for (size_t k = 0; k < kLanes; ++k) {
                uint64_t x, y;
                std::memcpy(&x, a + (w + k) * sizeof x, sizeof x);
                std::memcpy(&y, b + (w + k) * sizeof y, sizeof y);
                diff[k] |= x ^ y;
            }
    }
    uint64_t any = 0;
    for (size_t k = 0; k < kLanes; ++k) any |= diff[k];
    return any == 0;
}

// The same over one span of 32 pixels.
template <class B, class DP, class SP>
inline bool SpanSamplesEqual(const DP& dst, const SP& src) {
    return RunSamplesEqual<B>(dst, src, kSpan);
}

}  // namespace BitmapKernels
