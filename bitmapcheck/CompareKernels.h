// The per-pixel rules of the compare op and the difference heat map.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "Kernel/CriticalSection.h"
#include "Raster/DynamicPixel.h"
#include "bitmapcheck/BitmapKernels.h"
#include "bitmapcheck/RenderFrame.h"

namespace BitmapKernels {

// How far apart two samples are. Integer samples are unsigned. Float differences are
// truncated toward zero, so anything below 1.0 counts as none; differences that are not
// numbers (a NaN on one side only) or do not fit 32 bits count as the largest possible.
template <class S>
inline int32_t ChannelDifference(S d, S s) {
    if constexpr (std::is_floating_point_v<S>) {
        if (d == s) return 0;
        const float e = std::fabs(d - s);
        if (std::isnan(e)) return std::isnan(d) && std::isnan(s) ? 0 : INT32_MAX;
        if (e >= 2147483648.0f) return INT32_MAX;
        return int32_t(e);
    } else {
        if (d == s) return 0;
        const int32_t e = int32_t(d) - int32_t(s);
        return e < 0 ? -e : e;
    }
}

template <class B, class DP, class SP>
inline int32_t PixelDifference(DP dst, SP src) {
    int32_t d = 0;
    for (int c = 0; c < B::kChannelCount; ++c) {
        const int32_t e = ChannelDifference(*dst[c], *src[c]);
        if (e > d) d = e;
    }
    return d;
}

// The largest channel difference of pixel i of two spans given as one sample pointer per plane.
template <class B, class DP, class SP>
inline int32_t SpanPixelDifference(const DP& dst, const SP& src, int i) {
    int32_t d = 0;
    for (int c = 0; c < B::kChannelCount; ++c) {
        const int32_t e = ChannelDifference(dst[c][i], src[c][i]);
        if (e > d) d = e;
    }
    return d;
}

}  // namespace BitmapKernels

namespace Raster {

// Measures how far the destination differs from the source. Every tile of the destination is
// opened as the frame opens any op's, but read where it lies: no sample changes.
struct Compare {
    using Params = CompareParams;
    template <class B>
    struct State {
        Kernel::CriticalSection m_lock;  // guards the record's two results for one run
    };

    template <class B>
    static void Accumulate(BitmapKernels::RunRecord<Compare, B>& run, int32_t d) {
        if (!run.m_params) return;
        Kernel::CriticalSectionLock hold(run.m_state.m_lock);
        if (d > run.m_params->m_maxChannelDifference) run.m_params->m_maxChannelDifference = d;
        ++run.m_params->m_differingPixels;
    }

    // The samples written back would be the ones read, so nothing is stored: the destination
    // ends the same, without its memory being dirtied.
    static constexpr bool kWritesDestination = false;

    template <class B>
    static void Pixel(BitmapKernels::RunRecord<Compare, B>& run, typename B::Sample* const* dst,
                      const typename B::Sample* const* src) {
        const int32_t d = BitmapKernels::PixelDifference<B>(dst, src);
        if (d) Accumulate(run, d);
    }

    // Equal spans, the common case, cost one test over their planes.
    template <class B, class DP, class SP>
    static void SpanOf(BitmapKernels::RunRecord<Compare, B>& run, const DP& dst, const SP& src) {
        if (BitmapKernels::SpanSamplesEqual<B>(dst, src)) return;
        for (int i = 0; i < BitmapKernels::kSpan; ++i) {
            const int32_t d = BitmapKernels::SpanPixelDifference<B>(dst, src, i);
            if (d) Accumulate(run, d);
        }
    }
    template <class B>
    static void Span(BitmapKernels::RunRecord<Compare, B>& run, PlanarPixelSpan<B>& dst,
                     const PlanarPixelSpan<B>& src) {
        SpanOf(run, dst.m_planes, src.m_planes);
    }
    template <class B>
    static void SpanInPlace(BitmapKernels::RunRecord<Compare, B>& run, typename B::Sample* const* dst,
                            const typename B::Sample* const* src) {
        SpanOf(run, dst, src);
    }
    template <class B>
    static void EqualSpansInPlace(BitmapKernels::RunRecord<Compare, B>&, typename B::Sample* const*, int) {}
};

// Overwrites the destination with a heat map of its difference from the source.
struct Differences {
    using Params = DifferencesParams;
    static constexpr bool kWritesDestination = true;
    template <class B>
    struct State {
        DynamicPixel m_fill;                  // opaque black, for equal pixels
        typename B::PixelType m_fillPixel;    // the same in the destination's layout
        State() {
            m_fill = PixelRGBA8(0, 0, 0, 255);
            m_fillPixel = m_fill.Get<typename B::PixelType>();
        }
    };

    template <class B>
    static uint32_t Bits(const BitmapKernels::RunRecord<Differences, B>& run) {
        // Without a record the layout's own sample width stands in.
        return run.m_params ? run.m_params->m_bitsPerChannel : uint32_t(8 * sizeof(typename B::Sample));
    }

    template <class B>
    static typename B::PixelType ColourFor(const BitmapKernels::RunRecord<Differences, B>& run, int32_t d) {
        if (d == 0) return run.m_state.m_fillPixel;
        DynamicPixel colour;
        colour = DifferenceColour(d, Bits(run));
        return colour.Get<typename B::PixelType>();
    }

    template <class B>
    static void Pixel(BitmapKernels::RunRecord<Differences, B>& run, typename B::Sample* const* dst,
                      const typename B::Sample* const* src) {
        const typename B::PixelType p = ColourFor(run, BitmapKernels::PixelDifference<B>(dst, src));
        for (int c = 0; c < B::kChannelCount; ++c) *dst[c] = p.c[c];
    }

    // n equal pixels from each plane pointer on become the fill colour.
    template <class B, class DP>
    static void Fill(BitmapKernels::RunRecord<Differences, B>& run, DP& dst, int n) {
        for (int c = 0; c < B::kChannelCount; ++c) {
            // Held in locals: byte stores could otherwise alias the plane pointers.
            typename B::Sample* const plane = &dst[c][0];
            const typename B::Sample fill = run.m_state.m_fillPixel.c[c];
            for (int i = 0; i < n; ++i) plane[i] = fill;
        }
    }

    // Pixel i's samples are all read before any is written, so the destination can be
    // changed where it lies.
    template <class B, class DP, class SP>
    static void SpanOf(BitmapKernels::RunRecord<Differences, B>& run, DP& dst, const SP& src) {
        if (BitmapKernels::SpanSamplesEqual<B>(dst, src)) return Fill(run, dst, BitmapKernels::kSpan);
        for (int i = 0; i < BitmapKernels::kSpan; ++i) {
            const typename B::PixelType p = ColourFor(run, BitmapKernels::SpanPixelDifference<B>(dst, src, i));
            for (int c = 0; c < B::kChannelCount; ++c) dst[c][i] = p.c[c];
        }
    }
    template <class B>
    static void Span(BitmapKernels::RunRecord<Differences, B>& run, PlanarPixelSpan<B>& dst,
                     const PlanarPixelSpan<B>& src) {
        SpanOf(run, dst.m_planes, src.m_planes);
    }
    template <class B>
    static void SpanInPlace(BitmapKernels::RunRecord<Differences, B>& run, typename B::Sample* const* dst,
                            const typename B::Sample* const* src) {
        SpanOf(run, dst, src);
    }
    template <class B>
    static void EqualSpansInPlace(BitmapKernels::RunRecord<Differences, B>& run, typename B::Sample* const* dst,
                                  int n) {
        Fill(run, dst, n);
    }

    // A whole cell every pixel of which equals the source's becomes the fill colour as shared
    // content, with no buffer of its own: equal pixels are a heat map's common case, and a tile
    // of them holds nothing its colour's shared content does not. The cell is the tile's part
    // of the destination; answers whether it was all equal, and so done.
    template <class B>
    static bool WholeCell(BitmapKernels::RunRecord<Differences, B>& run, const B& source, B& destination,
                          const Kernel::RectT<int>& tile) {
        using Sample = typename B::Sample;
        constexpr int kRows = BitmapKernels::kTileRows;
        const int width = destination.GetWidth(), height = destination.GetHeight();
        if (source.GetWidth() != width || source.GetHeight() != height) return false;
        const int column = tile.left / B::kTileWidth, row = tile.top / kRows;
        const Kernel::RectT<int> cell{column * B::kTileWidth, row * kRows,
                                      std::min(width, column * B::kTileWidth + B::kTileWidth),
                                      std::min(height, row * kRows + kRows)};
        if (tile.left != cell.left || tile.top != cell.top || tile.right != cell.right || tile.bottom != cell.bottom)
            return false;
        const size_t rowBytes = size_t(cell.right - cell.left) * sizeof(Sample);
        const int rows = cell.bottom - cell.top;
        bool equal = true;
        BitmapKernels::ForEachChannel<B>([&](auto channel) {
            constexpr size_t I = decltype(channel)::value;
            if (!equal) return;
            const auto& to = destination.template GetPlane<I>();
            const auto& from = source.template GetPlane<I>();
            const Tile* d = BitmapKernels::LookupConstTile(to, to.grid, column, row);
            const Tile* s = BitmapKernels::LookupConstTile(from, from.grid, column, row);
            if (!d || !s) {
                equal = false;
                return;
            }
            const uint8_t* a = d->GetConstBuffer();
            const uint8_t* b = s->GetConstBuffer();
            if (a == b) return;
            if (rowBytes == size_t(Tile::kRowBytes) && rows == kRows) {
                equal = std::memcmp(a, b, Tile::kBytes) == 0;
                return;
            }
            for (int y = 0; y < rows && equal; ++y)
                equal = std::memcmp(a + size_t(y) * Tile::kRowBytes, b + size_t(y) * Tile::kRowBytes, rowBytes) == 0;
        });
        if (!equal) return false;
        BitmapKernels::ForEachChannel<B>([&](auto channel) {
            constexpr size_t I = decltype(channel)::value;
            const Sample fill = run.m_state.m_fillPixel.c[I];
            BitmapKernels::LookupMutableTile(destination.template GetPlane<I>(), column, row)
                ->ShowShared(ConstantTileContent(int(sizeof(Sample)), &fill));
        });
        return true;
    }
};

}  // namespace Raster
