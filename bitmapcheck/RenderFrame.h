// The tiled, multithreaded frame that runs a per-pixel op over a rectangle of a destination
// bitmap with a source bitmap, and the source preparation that decides how the source is
// read (forced delayed load, reduced mipmap level).
//
// An op supplies: its parameter record type Params; a per-run State<B>; and the per-pixel
// rule as Pixel (one destination pixel's samples, one source pixel's) and Span (32 of each).
#pragma once
#include <atomic>
#include <cmath>
#include <exception>
#include <memory>
#include <mutex>

#include "Kernel/Dispatch.h"
#include "bitmapcheck/KernelParams.h"
#include "bitmapcheck/PixelAccess.h"

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

// The row loop over one tile rectangle.
template <class Op, class B, class T>
void ProcessTile(const B& source, B& destination, RunRecord<Op, B>& run, Kernel::RectT<int> tile, bool isInline,
                 const T& transform) {
    if (run.IsCancelled()) return;
    PixelAccessor<B> dst(destination);
    typename SourceAccessorType<B, T>::type src(source, transform);
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
                dst.SpanRead(dspan);
                src.SpanRead(sspan);
                Op::Span(run, dspan, sspan);
                dst.BackStep();
                dst.SpanWrite(dspan);
                x += kSpan;
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

template <class Op, class B, class T>
void WorkUnit(void* items, size_t index) {
    WorkItem<Op, B, T>& item = static_cast<WorkItem<Op, B, T>*>(items)[index];
    RunRecord<Op, B>& run = *item.m_run;
    if (!run.IsCancelled()) {
        try {
            ProcessTile<Op, B, T>(*item.m_source, *item.m_destination, run, item.m_tile, false, item.m_transform);
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

// Cuts the operated rectangle by a grid of TW x 256 cells anchored at the destination's
// origin and runs the cells in parallel; a single cell runs inline.
template <class Op, class B, class T>
void SplitIntoTiles(const B& source, B& destination, RunRecord<Op, B>& run, const T& transform,
                    const KernelWords& words) {
    if (run.IsCancelled()) return;
    constexpr int TW = B::kTileWidth;
    const Kernel::RectT<int>& r = run.m_rect;
    const int tx0 = r.left / TW, ty0 = r.top / kTileRows;
    const int tx1 = r.right / TW + (r.right % TW != 0), ty1 = r.bottom / kTileRows + (r.bottom % kTileRows != 0);
    const int64_t columns = tx1 - tx0, rows = ty1 - ty0, count = columns * rows;
    if (count <= 0) return;
    if (count == 1) {
        if (run.IsCancelled()) return;
        ProcessTile<Op, B, T>(source, destination, run, r, true, transform);
        return;
    }
    std::unique_ptr<WorkItem<Op, B, T>[]> items(new WorkItem<Op, B, T>[size_t(count)]);
    std::atomic<uint64_t> done{0};
    for (int row = ty0; row < ty1; ++row)
        for (int column = tx0; column < tx1; ++column) {
            WorkItem<Op, B, T>& item = items[size_t(int64_t(row - ty0) * columns + (column - tx0))];
            Kernel::RectT<int> cell{column * TW, row * kTileRows, column * TW + TW, row * kTileRows + kTileRows};
            Kernel::RectT<int> t{std::max(cell.left, r.left), std::max(cell.top, r.top), std::min(cell.right, r.right),
                                 std::min(cell.bottom, r.bottom)};
            if (t.left >= t.right || t.top >= t.bottom) t = {0, 0, 0, 0};
            item.m_source = &source;
            item.m_destination = &destination;
            item.m_run = &run;
            item.m_tile = t;
            item.m_mask = words.m_words[0];
            item.m_transform = transform;
            item.m_further[0] = words.m_words[2];
            item.m_further[1] = words.m_words[4];
            item.m_done = &done;
            item.m_count = count;
        }
    Kernel::Dispatch::DispatchParallelFor(&WorkUnit<Op, B, T>, size_t(count), items.get(), kDispatchPriority,
                                          kDispatchPurpose, 0);
    if (run.m_failure) std::rethrow_exception(run.m_failure);
}

// The engine is asked, but no op of these kernels has a hardware form, so the software path
// always runs.
template <class Op, class B>
bool TryHardwareKernel(const B&, B&, RunRecord<Op, B>&, const Kernel::RectT<int>& rect) {
    (void)Raster::ShouldExecuteKernel(rect);
    return false;
}

template <class Op, class B, class T>
void RunSoftwareTiles(const B& source, B& destination, RunRecord<Op, B>& run, const T& transform,
                      const KernelWords& words) {
    if (run.m_executed) *run.m_executed = true;
    if (run.IsCancelled()) return;
    source.SyncHostCache(nullptr, false, run.m_cancel);
    if (run.IsCancelled()) return;
    destination.SyncHostCache(&run.m_rect, false, run.m_cancel);
    if (run.IsCancelled()) return;
    SplitIntoTiles<Op, B, T>(source, destination, run, transform, words);
    if (run.IsCancelled()) return;
    destination.InvalidateHardwareCache(run.m_rect);
}

// Clips the requested rectangle and runs the op over it.
template <class Op, class B, class T>
void RunFrame(RunRecord<Op, B>& run, B& destination, const B& source, typename Op::Params* params, const T& transform,
              const KernelWords& words) {
    Kernel::RectT<int> requested = params && params->m_rect
                                       ? *params->m_rect
                                       : Kernel::RectT<int>{0, 0, destination.GetWidth(), destination.GetHeight()};
    run.m_rect = ClipToExtent(requested, destination.GetWidth(), destination.GetHeight());
    // Only where the source has pixels: a smaller source (or a level that does not cover the
    // destination) must not be read past its edge.
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
    RunSoftwareTiles<Op, B, T>(source, destination, run, transform, words);
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

inline ScaleTransform ScaleForLevel(int level) {
    const double s = 1.0 / std::ldexp(1.0, level);
    return {s, s};
}

template <class Op, class B>
bool TryScaledRun(B& destination, const B& source, typename Op::Params* params, const KernelWords& words) {
    int level = -1;
    Kernel::Counted<B> reduced = ChooseMipmapLevel(source, params, level);
    if (!reduced) return false;
    RunRecord<Op, B> run;
    RunFrame<Op, B, ScaleTransform>(run, destination, *reduced, params, ScaleForLevel(level), words);
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
    RunRecord<Op, B> run;
    RunFrame<Op, B, IdentityTransform>(run, destination, source, params, IdentityTransform{}, words);
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
