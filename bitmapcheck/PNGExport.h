// The paths of the two PNG exports: the source preparation (reduced mipmap level, forced
// delayed load), the choice between the converting and the plain row writer, and the start
// operations that run before the rows.
#pragma once
#include "bitmapcheck/ColourTransformCache.h"
#include "bitmapcheck/PNGRows.h"
#include "bitmapcheck/RenderFrame.h"

namespace BitmapKernels {

// The writer's area (or the given rectangle) clipped to the writer and to what the source
// can give through the transform.
template <class B, class T>
Kernel::RectT<int> WriterArea(const Kernel::RectT<int>* rect, const Raster::PNGBase& writer, const B& source,
                              const T& transform) {
    Kernel::RectT<int> area = ClipToExtent(rect ? *rect : Kernel::RectT<int>{0, 0, writer.GetWidth(), writer.GetHeight()},
                                           writer.GetWidth(), writer.GetHeight());
    if (!area.IsEmpty()) {
        Extent e = SourceExtent(source, transform);
        area = ClipToExtent(area, e.width, e.height);
    }
    return area;
}

template <class B, class T>
void StartPNGRowsPlain(const B& source, Raster::PNGWriterRGBA8& writer, KernelParams* record, const T& transform) {
    PNGRowJob job;
    job.m_area = WriterArea(record ? record->m_rect : nullptr, writer, source, transform);
    if (record) {
        job.m_cancel = record->m_cancel;
        job.m_progress = record->m_progress;
        job.m_progressContext = record->m_progressContext;
        job.m_further[0] = record->m_further[0];
        job.m_further[1] = record->m_further[1];
        job.m_executed = &record->m_executed;
    }
    if (job.m_area.IsEmpty() || IsSet(job.m_cancel)) return;
    if (job.m_executed) *job.m_executed = true;
    if (IsSet(job.m_cancel)) return;
    source.SyncHostCache(nullptr, false, job.m_cancel);
    if (IsSet(job.m_cancel)) return;
    WritePNGRowsPlain(source, writer, job, job.m_area, true, transform);
}

template <class B, class T>
void StartPNGRowsConverted(const B& source, Raster::PNGWriterRGBA8& writer, PNGRowJob& job, Kernel::RectT<int> area,
                           const T& transform) {
    if (job.m_executed) *job.m_executed = true;
    if (IsSet(job.m_cancel)) return;
    source.SyncHostCache(nullptr, false, job.m_cancel);
    if (IsSet(job.m_cancel)) return;
    if (job.m_hardwareTransform && job.m_hardwareTransform->GetBuffer())
        job.m_hardwareTransform->GetBuffer()->SyncHostCache(nullptr, false, job.m_cancel);
    if (IsSet(job.m_cancel)) return;
    WritePNGRowsConverted(source, writer, job, area, true, transform);
}

// Looks the colour transform up and takes the converting writer when there is a transform
// between two different profiles, else the plain writer.
template <class B, class T>
void ChoosePNGWriter(Raster::PNGWriterRGBA8& writer, const B& source, PNGExportParams& params, PNGRowJob& job,
                     const T& transform) {
    job.m_area = WriterArea(params.m_rect, writer, source, transform);
    job.m_cancel = params.m_cancel;
    job.m_progress = params.m_progress;
    job.m_progressContext = params.m_progressContext;
    job.m_further[0] = params.m_further[0];
    job.m_further[1] = params.m_further[1];
    job.m_executed = &params.m_executed;
    job.m_transform = GetColourTransform<B>(Raster::ICCManager::GetInstance(), params.m_sourceProfile,
                                            params.m_destinationProfile, params.m_intent,
                                            params.m_blackPointCompensation ? 1 : 0);
    if (job.m_transform && params.m_sourceProfile && params.m_destinationProfile &&
        params.m_sourceProfile.Get() != params.m_destinationProfile.Get()) {
        job.m_hardwareTransform = Raster::Convert::GetCachedHardwareTransform(job.m_transform);
        if (job.m_area.IsEmpty()) return;
        if (IsSet(job.m_cancel)) return;
        StartPNGRowsConverted(source, writer, job, job.m_area, transform);
        return;
    }
    // The plain writer gets a record of its own, so the caller's executed flag stays as it was.
    KernelParams plain;
    plain.m_rect = params.m_rect;
    plain.m_cancel = params.m_cancel;
    plain.m_progress = params.m_progress;
    plain.m_progressContext = params.m_progressContext;
    StartPNGRowsPlain(source, writer, &plain, transform);
}

template <class B>
bool WriteBitmapPNGScaled(Raster::PNGWriterRGBA8& writer, const B& source, PNGExportParams& params,
                          const KernelWords&) {
    int level = -1;
    Kernel::Counted<B> reduced = ChooseMipmapLevel(source, &params, level);
    if (!reduced) return false;
    PNGRowJob job;
    ChoosePNGWriter(writer, *reduced, params, job, ScaleForLevel(level));
    job.m_hardwareTransform.Reset();
    return true;
}

template <class B>
void WriteBitmapPNGUnscaled(Raster::PNGWriterRGBA8& writer, const B& source, PNGExportParams& params,
                            const KernelWords&) {
    PNGRowJob job;
    ChoosePNGWriter(writer, source, params, job, Raster::IdentityTransform{});
    job.m_hardwareTransform.Reset();
}

template <class B>
bool WriteBitmapPNGPlainScaled(Raster::PNGWriterRGBA8& writer, const B& source, KernelParams* record,
                               const KernelWords&) {
    int level = -1;
    Kernel::Counted<B> reduced = ChooseMipmapLevel(source, record, level);
    if (!reduced) return false;
    StartPNGRowsPlain(*reduced, writer, record, ScaleForLevel(level));
    return true;
}

// The source preparation shared by both PNG families: scaled try, forced delayed load,
// second scaled try, full size.
template <class B, class P, class Scaled, class Unscaled>
void SourcePreparation(const B& source, P* params, Scaled scaled, Unscaled unscaled) {
    if (scaled()) return;
    bool* cancel = params ? params->m_cancel : nullptr;
    if (!(params && params->m_skipDelayedLoad) && source.IsPendingDelayLoad()) {
        source.ForceDelayLoad(cancel);
        if (IsSet(cancel)) return;
        if (source.KeepsMipmaps() && scaled()) return;
    }
    unscaled();
}

template <class B>
void WriteBitmapPNG(Raster::PNGWriterRGBA8& writer, const B& source, KernelParams* record, const KernelWords& words) {
    SourcePreparation(
        source, record, [&] { return WriteBitmapPNGPlainScaled(writer, source, record, words); },
        [&] { StartPNGRowsPlain(source, writer, record, Raster::IdentityTransform{}); });
}

template <class B>
void WriteBitmapPNGConverted(Raster::PNGWriterRGBA8& writer, const B& source, PNGExportParams* params,
                             const KernelWords& words) {
    // Without a record there are no profiles to convert between: export unconverted.
    if (!params) return WriteBitmapPNG(writer, source, nullptr, words);
    SourcePreparation(
        source, params, [&] { return WriteBitmapPNGScaled(writer, source, *params, words); },
        [&] { WriteBitmapPNGUnscaled(writer, source, *params, words); });
}

}  // namespace BitmapKernels
