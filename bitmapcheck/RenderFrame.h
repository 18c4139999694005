// The tiled, multithreaded frame that runs a per-pixel op over a rectangle of a destination
// bitmap with a source bitmap, and the source preparation that decides how the source is
// read (forced delayed load, reduced mipmap level).
//
// An op supplies: its parameter record type Params; a per-run State<B>; whether it changes
// the destination (kWritesDestination); and the per-pixel rule as Pixel (one destination
// pixel's samples, one source pixel's), Span (32 of each, copied out as planar spans),
// SpanInPlace (32 of each, read and written where they lie in their tiles), EqualSpansInPlace
// (whole spans whose pixels all equal the source's, where they lie), and may supply WholeCell
// (a whole cell done at once, when it can).
#pragma once
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <exception>
#include <memory>
#include <mutex>
#include <type_traits>

#include "Kernel/Dispatch.h"
#include "Kernel/OutOfMemory.h"
#include "bitmapcheck/KernelParams.h"
#include "bitmapcheck/PixelAccess.h"
#include "bitmapcheck/SpanEquality.h"

namespace Raster {

// The frame's threading: the tiles of a run go to the worker pool.
struct Multithreaded {};
// What the kernels run the frame with besides the op, the layout and the transform: no mask,
// the source pixel taken as it is, and the op's result stored as it is. None asks the frame
// to do anything.
struct IdentityMask {};
struct IdentitySampler {};
struct NormalBlend {};

template <class Threading>
class Software;

}  // namespace Raster

namespace BitmapKernels {

constexpr int kDispatchPriority = 21;
constexpr int kDispatchPurpose = 2;

template <class Op, class B>
struct RunRecord {
    Kernel::RectT<int> m_rect{0, 0, 0, 0};  // the operated rectangle, after clipping
    bool* m_cancel = nullptr;
    KernelProgressCallback m_progress = nullptr;
    void* m_progressContext = nullptr;
    uintptr_t m_further[2] = {0, 0};
    bool* m_executed = nullptr;
    typename Op::template State<B> m_state;
    typename Op::Params* m_params = nullptr;

    // The first failure of a tile run on a worker, given back to the caller when all are done.
    std::mutex m_failureMutex;
    std::exception_ptr m_failure;

    bool IsCancelled() const { return IsSet(m_cancel); }
};

template <class Op, class B, class T>
struct WorkItem {
    const B* m_source = nullptr;
    B* m_destination = nullptr;
    RunRecord<Op, B>* m_run = nullptr;
    Kernel::RectT<int> m_tile{0, 0, 0, 0};
    uintptr_t m_mask = 0;
    T m_transform{};
    uintptr_t m_further[2] = {0, 0};
    std::atomic<uint64_t>* m_done = nullptr;
    int64_t m_count = 0;
};

// The cells of the grid of TW x 256 cells anchored at the destination's origin that a
// rectangle meets, numbered row by row from its first cell, left to right.
struct TileSplit {
    int tileWidth = 0;
    int tx0 = 0;
    int ty0 = 0;
    int64_t columns = 0;
    int64_t rows = 0;

    int64_t Count() const { return columns * rows; }
    // The part of the rectangle in cell index; {0, 0, 0, 0} where the cell does not meet it.
    Kernel::RectT<int> Tile(const Kernel::RectT<int>& r, int64_t index) const {
        const int64_t column = tx0 + index % columns, row = ty0 + index / columns;
        const int64_t left = std::max<int64_t>(column * tileWidth, r.left);
        const int64_t top = std::max<int64_t>(row * kTileRows, r.top);
        const int64_t right = std::min<int64_t>(column * tileWidth + tileWidth, r.right);
        const int64_t bottom = std::min<int64_t>(row * kTileRows + kTileRows, r.bottom);
        if (left >= right || top >= bottom) return {0, 0, 0, 0};
        return {int(left), int(top), int(right), int(bottom)};
    }
};

inline TileSplit SplitRectangle(const Kernel::RectT<int>& r, int tileWidth) {
    TileSplit split;
    split.tileWidth = tileWidth;
    split.tx0 = r.left / tileWidth;
    split.ty0 = r.top / kTileRows;
    const int tx1 = r.right / tileWidth + (r.right % tileWidth != 0);
    const int ty1 = r.bottom / kTileRows + (r.bottom % kTileRows != 0);
    split.columns = tx1 - split.tx0;
    split.rows = ty1 - split.ty0;
    if (split.columns <= 0 || split.rows <= 0) split.columns = split.rows = 0;
    return split;
}

}  // namespace BitmapKernels

namespace Raster {

// The software path of the frame: the operated rectangle cut into tiles that run in parallel.
// Each member is instantiated per op, layout, transform, mask, sampler, access policy and
// blending.
template <>
class Software<Multithreaded> {
public:
    template <class Op, class B, class Transform, class Mask, class Sampler, class Policy, class Blend>
    static void RunSoftwareTiles(const B& source, B& destination, BitmapKernels::RunRecord<Op, B>& run,
                                 const Transform& transform, const KernelWords& words) {
        if (run.m_executed) *run.m_executed = true;
        if (run.IsCancelled()) return;
        source.SyncHostCache(nullptr, false, run.m_cancel);
        if (run.IsCancelled()) return;
        destination.SyncHostCache(&run.m_rect, false, run.m_cancel);
        if (run.IsCancelled()) return;
        SplitIntoTiles<Op, B, Transform, Mask, Sampler, Policy, Blend>(source, destination, run, transform, words);
        if (run.IsCancelled()) return;
        destination.InvalidateHardwareCache(run.m_rect);
    }

    // Cuts the operated rectangle by a grid of TW x 256 cells anchored at the destination's
    // origin and runs the cells in parallel; a single cell runs inline.
    template <class Op, class B, class Transform, class Mask, class Sampler, class Policy, class Blend>
    static void SplitIntoTiles(const B& source, B& destination, BitmapKernels::RunRecord<Op, B>& run,
                               const Transform& transform, const KernelWords& words) {
        using Item = BitmapKernels::WorkItem<Op, B, Transform>;
        if (run.IsCancelled()) return;
        const Kernel::RectT<int>& r = run.m_rect;
        const BitmapKernels::TileSplit split = BitmapKernels::SplitRectangle(r, B::kTileWidth);
        const int64_t count = split.Count();
        if (count <= 0) return;
        if (count == 1) {
            if (run.IsCancelled()) return;
            ProcessTile<Op, B, Transform, Mask, Sampler, Policy, Blend>(source, destination, run, r, true, transform);
            return;
        }
        std::unique_ptr<Item[]> items(Kernel::Allocating("the work items of a bitmap kernel",
                                                         uint64_t(count) * sizeof(Item),
                                                         [count] { return new Item[size_t(count)]; }));
        std::atomic<uint64_t> done{0};
        for (int64_t index = 0; index < count; ++index) {
            Item& item = items[size_t(index)];
            item.m_source = &source;
            item.m_destination = &destination;
            item.m_run = &run;
            item.m_tile = split.Tile(r, index);
            item.m_mask = words.m_words[0];
            item.m_transform = transform;
            item.m_further[0] = words.m_words[2];
            item.m_further[1] = words.m_words[4];
            item.m_done = &done;
            item.m_count = count;
        }
        Kernel::Dispatch::DispatchParallelFor(&WorkUnit<Op, B, Transform, Mask, Sampler, Policy, Blend>, size_t(count),
                                              items.get(), BitmapKernels::kDispatchPriority,
                                              BitmapKernels::kDispatchPurpose, 0);
        if (run.m_failure) std::rethrow_exception(run.m_failure);
    }

    template <class Op, class B, class Transform, class Mask, class Sampler, class Policy, class Blend>
    static void WorkUnit(void* items, size_t index) {
        BitmapKernels::WorkItem<Op, B, Transform>& item =
            static_cast<BitmapKernels::WorkItem<Op, B, Transform>*>(items)[index];
        BitmapKernels::RunRecord<Op, B>& run = *item.m_run;
        if (!run.IsCancelled()) {
            try {
                ProcessTile<Op, B, Transform, Mask, Sampler, Policy, Blend>(*item.m_source, *item.m_destination, run,
                                                                             item.m_tile, false, item.m_transform);
            } catch (...) {
                std::lock_guard<std::mutex> lock(run.m_failureMutex);
                if (!run.m_failure) run.m_failure = std::current_exception();
            }
        }
        if (run.m_progressContext && run.m_progress) {
            uint64_t n = item.m_done->fetch_add(1, std::memory_order_acq_rel) + 1;
            run.m_progress(run.m_progressContext, float(n) / float(item.m_count));
        }
    }

    // The row loop over one tile rectangle.
    template <class Op, class B, class Transform, class Mask, class Sampler, class Policy, class Blend>
    static void ProcessTile(const B& source, B& destination, BitmapKernels::RunRecord<Op, B>& run,
                            Kernel::RectT<int> tile, bool isInline, const Transform& transform) {
        using BitmapKernels::kSpan;
        if (run.IsCancelled()) return;
        // A dispatched cell may be done whole, by an op that can (reporting no progress of its
        // own by rows).
        if constexpr (std::is_same_v<Transform, IdentityTransform> &&
                      requires { Op::WholeCell(run, source, destination, tile); })
            if (!isInline && Op::WholeCell(run, source, destination, tile)) return;
        typename ModelBase<B>::template PixelAccessor<AllChannels> dst(destination);
        dst.m_readsOnly = !Op::kWritesDestination;
        typename ModelBase<B>::template ConstPixelAccessor<Policy, Transform> src(source, transform);
        PlanarPixelSpan<B> dspan, sspan;
        for (int y = tile.top; y < tile.bottom; ++y) {
            if (run.IsCancelled()) {
                dst.Release();
                src.Release();
                return;
            }
            dst.MoveTo(tile.left, y);
            src.MoveTo(tile.left, y);
            int x = tile.left;
            while (x < tile.right) {
                if (x % kSpan == 0 && x + kSpan <= tile.right) {
                    if (const int n = SpansInPlace<Op, B, Policy, Transform>(run, dst, src, tile.right)) {
                        x += n;
                    } else {
                        dst.SpanRead(dspan);
                        src.SpanRead(sspan);
                        Op::Span(run, dspan, sspan);
                        if constexpr (Op::kWritesDestination) {
                            dst.BackStep();
                            dst.SpanWrite(dspan);
                        }
                        x += kSpan;
                    }
                } else {
                    Op::Pixel(run, dst.Cursors(), src.Cursors());
                    ++x;
                }
                // Never past the row's last pixel: that column may lie outside the bitmap.
                if (x < tile.right) {
                    dst.Step();
                    src.Step();
                }
            }
            if ((y & 255) == 0) {
                dst.Release();
                src.Release();
            }
            if (isInline && y % 16 == 0 && run.m_progress)
                run.m_progress(run.m_progressContext, float((y - tile.top) / double(tile.bottom - tile.top)));
        }
        dst.Release();
        src.Release();
    }

private:
    // Applies the op to the whole spans from x on that lie in both accessors' current tiles,
    // where they lie: the same pixels the span reads would copy out. Answers the number of
    // pixels done (a multiple of 32, 0 when the next span is not whole in both tiles); both
    // accessors then stand on the last of them, as after a span read.
    template <class Op, class B, class Policy, class Transform>
    static int SpansInPlace(BitmapKernels::RunRecord<Op, B>& run,
                            typename ModelBase<B>::template PixelAccessor<AllChannels>& dst,
                            typename ModelBase<B>::template ConstPixelAccessor<Policy, Transform>& src, int right) {
        using BitmapKernels::kSpan;
        // A scaled source never holds 32 consecutive samples of a span.
        if constexpr (!std::is_same_v<Transform, IdentityTransform>) {
            return 0;
        } else {
            if (!dst.SpanInTile() || !src.SpanInTile()) return 0;
            const int x = dst.GetX();
            const int end = std::min({right, dst.GetValid().right, src.GetValid().right});
            const int n = (end - x) / kSpan * kSpan;
            typename B::Sample* d[B::kChannelCount];
            const typename B::Sample* s[B::kChannelCount];
            for (int c = 0; c < B::kChannelCount; ++c) {
                d[c] = dst.m_cursors[c];
                s[c] = src.m_cursors[c];
            }
            // Equal pixels are the common case: their spans are tested together first, plane by
            // plane, which reads each plane's part of the row in one sweep.
            if (BitmapKernels::RunSamplesEqual<B>(d, s, n)) {
                Op::EqualSpansInPlace(run, d, n);
            } else {
                for (int done = 0; done < n; done += kSpan) {
                    Op::SpanInPlace(run, d, s);
                    for (int c = 0; c < B::kChannelCount; ++c) {
                        d[c] += kSpan;
                        s[c] += kSpan;
                    }
                }
            }
            dst.Skip(n - 1);
            src.Skip(n - 1);
            return n;
        }
    }
};

}  // namespace Raster

namespace BitmapKernels {

// The engine is asked, but no op of these kernels has a hardware form, so the software path
// always runs.
template <class Op, class B>
bool TryHardwareKernel(const B&, B& destination, RunRecord<Op, B>&, const Kernel::RectT<int>& rect) {
    if (!Raster::ShouldExecuteKernel(rect)) return false;
    Raster::HardwareDevice* device = destination.GetHardwareDevice();
    if (!device) device = Raster::Hardware<Raster::DefaultImplementation>::GetDevice();
    (void)Raster::GetKernelLanguage(device);
    return false;
}

// Clips the requested rectangle and runs the op over it.
template <class Op, class B, class T>
void RunFrame(RunRecord<Op, B>& run, B& destination, const B& source, typename Op::Params* params, const T& transform,
              const KernelWords& words) {
    Kernel::RectT<int> requested = params && params->m_rect
                                       ? *params->m_rect
                                       : Kernel::RectT<int>{0, 0, destination.GetWidth(), destination.GetHeight()};
    run.m_rect = ClipToExtent(requested, destination.GetWidth(), destination.GetHeight());
    // Only where the source has pixels: a mipmap level that does not cover the destination
    // through the scale must not be read past its edge.
    if (!run.m_rect.IsEmpty()) {
        Extent e = SourceExtent(source, transform);
        run.m_rect = ClipToExtent(run.m_rect, e.width, e.height);
    }
    if (params) {
        run.m_cancel = params->m_cancel;
        run.m_progress = params->m_progress;
        run.m_progressContext = params->m_progressContext;
        run.m_further[0] = params->m_further[0];
        run.m_further[1] = params->m_further[1];
        run.m_executed = &params->m_executed;
        run.m_params = params;
    }
    if (run.m_rect.IsEmpty()) return;
    if (TryHardwareKernel(source, destination, run, run.m_rect)) {
        if (run.m_executed) *run.m_executed = true;
        return;
    }
    if (run.IsCancelled()) return;
    Raster::Hardware<Raster::DefaultImplementation>::IncrementFailedKernels(destination.GetHardwareDevice());
    // The kernels always run the frame unmasked, with plain sampling, safe access and normal blending.
    Raster::Software<Raster::Multithreaded>::RunSoftwareTiles<Op, B, T, Raster::IdentityMask, Raster::IdentitySampler,
                                                              Raster::Safe, Raster::NormalBlend>(source, destination,
                                                                                                 run, transform, words);
}

// The first valid mipmap level above 0 of a bitmap that keeps mipmaps, brought up to date
// when the bitmap's mode asks for it; null when there is none to read.
template <class B, class P>
Kernel::Counted<B> ChooseMipmapLevel(const B& source, P* params, int& level) {
    if (!source.KeepsMipmaps()) return {};
    if (params && params->m_mipmapFlag) *params->m_mipmapFlag = true;
    level = -1;
    for (const auto& [l, record] : source.GetMipmapLevels())
        if (l > 0 && record.valid) {
            level = l;
            break;
        }
    if (level < 0) return {};
    const int mode = source.GetMipmapMode();
    if (mode == 2 || mode == 4) source.UpdateMipmaps(level, params ? params->m_cancel : nullptr);
    return source.GetMipmap(level);
}

// A reduced level L is read through the identity chained with the scale 1 / 2^L.
inline Raster::ChainedTransform<Raster::IdentityTransform, Raster::ScaleTransform> ScaleForLevel(int level) {
    const double s = 1.0 / std::ldexp(1.0, level);
    return {Raster::IdentityTransform{}, Raster::ScaleTransform{s, s}};
}

template <class Op, class B>
bool TryScaledRun(B& destination, const B& source, typename Op::Params* params, const KernelWords& words) {
    int level = -1;
    Kernel::Counted<B> reduced = ChooseMipmapLevel(source, params, level);
    if (!reduced) return false;
    RunRecord<Op, B> run;
    RunFrame<Op, B, Raster::ChainedTransform<Raster::IdentityTransform, Raster::ScaleTransform>>(
        run, destination, *reduced, params, ScaleForLevel(level), words);
    return true;
}

// The source preparation: scaled try, forced delayed load, second scaled try, and the
// unscaled run when no scaled one took place.
template <class Op, class B>
void SourcePreparation(B& destination, const B& source, typename Op::Params* params, const KernelWords& words) {
    if (TryScaledRun<Op, B>(destination, source, params, words)) return;
    bool* cancel = params ? params->m_cancel : nullptr;
    if (!(params && params->m_skipDelayedLoad) && source.IsPendingDelayLoad()) {
        source.ForceDelayLoad(cancel);
        if (IsSet(cancel)) return;
        if (source.KeepsMipmaps() && TryScaledRun<Op, B>(destination, source, params, words)) return;
    }
    // Read at full size, a source of another size has pixels where the destination has none, or
    // none where it has: nothing is compared or painted.
    if (source.GetWidth() != destination.GetWidth() || source.GetHeight() != destination.GetHeight()) return;
    RunRecord<Op, B> run;
    RunFrame<Op, B, Raster::IdentityTransform>(run, destination, source, params, Raster::IdentityTransform{}, words);
}

// What a per-format entry does around its setup's run: the destination's delayed load
// before, its mipmap levels after.
template <class Op, class B, class Setup>
void RunOnDestination(B& destination, const B& source, typename Op::Params* params, const KernelWords& words,
                      Setup setup) {
    bool* cancel = params ? params->m_cancel : nullptr;
    if (destination.IsPendingDelayLoad()) destination.ForceDelayLoad(cancel);
    if (IsSet(cancel)) return;
    setup(destination, source, params, words);
    if (destination.GetMipmapMode() == 0) return;
    const Kernel::RectT<int> r = params && params->m_rect
                                     ? *params->m_rect
                                     : Kernel::RectT<int>{0, 0, destination.GetWidth(), destination.GetHeight()};
    for (auto& [l, record] : destination.GetMipmapLevels()) {
        if (!r.IsEmpty()) {
            if (record.dirty.IsEmpty()) {
                record.dirty = r;
            } else {
                const Kernel::RectT<int>& d = record.dirty;
                record.dirty = {std::min({d.left, d.right, r.left, r.right}), std::min({d.top, d.bottom, r.top, r.bottom}),
                                std::max({d.left, d.right, r.left, r.right}),
                                std::max({d.top, d.bottom, r.top, r.bottom})};
            }
        }
        record.valid = false;
    }
    if (destination.GetMipmapMode() == 1) destination.UpdateMipmaps(0, cancel);
}

}  // namespace BitmapKernels
