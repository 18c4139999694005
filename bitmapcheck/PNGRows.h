// The row writers of the PNG exports: every source format becomes 8-bit RGB or RGBA rows,
// plainly or through a colour transform, 32 pixels at a time wherever a row allows.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "Kernel/Counted.h"
#include "Raster/Bitmap.h"
#include "Raster/ICCManager.h"
#include "Raster/PNG.h"
#include "bitmapcheck/KernelParams.h"
#include "bitmapcheck/PixelAccess.h"

namespace BitmapKernels {

// What the start operations hand to the row writers.
struct PNGRowJob {
    Kernel::RectT<int> m_area{0, 0, 0, 0};
    bool* m_cancel = nullptr;
    KernelProgressCallback m_progress = nullptr;
    void* m_progressContext = nullptr;
    uintptr_t m_further[2] = {0, 0};
    bool* m_executed = nullptr;
    Kernel::Counted<Raster::HardwareTransform> m_hardwareTransform;  // converting path only
    void* m_transform = nullptr;                                    // converting path only
};

// The writer's row buffer with the position being filled; pixel x of the image lives at
// bytes 4x (RGBA) or 3x (RGB) of the row, whatever column the written area starts at.
struct PNGRowAccessor : Raster::PNGBase::BasePixelAccessor {
    PNGRowAccessor(Raster::PNGWriterRGBA8& writer, bool alpha)
        : BasePixelAccessor(writer,
                            alpha ? Raster::FormatToPNGColourType<Raster::Red8, Raster::Green8, Raster::Blue8,
                                                                  Raster::Alpha8, Raster::X5>()
                                  : Raster::FormatToNonAlphaPNGColourType<Raster::Red8, Raster::Green8, Raster::Blue8,
                                                                          Raster::Alpha8, Raster::X5>(),
                            alpha ? 4 : 3, 8, false),
          m_alpha(alpha ? 1 : 0) {}

    int m_currentColumn = 0;
    int m_currentRow = 0;
    uint8_t m_alpha;
};

inline PNGRowAccessor MakePNGRowAccessor(Raster::PNGWriterRGBA8& writer) {
    return PNGRowAccessor(writer, writer.GetExportOptions().GetAlpha());
}

// Narrowing to 8 bits. The arithmetic is single precision in this order, so each sample
// gives the byte the format's definition gives: an 8-bit sample itself, a 16-bit one
// (v + 128) div 257.
constexpr float k8 = 1.0f / 255.0f;
constexpr float k16 = 1.0f / 65535.0f;

// Truncation toward zero, saturated to a byte; NaN gives 0.
inline uint8_t SaturateTo8(float v) {
    if (!(v >= 1.0f)) return 0;
    if (v >= 255.0f) return 255;
    return uint8_t(int(v));
}
inline uint8_t To8(uint8_t v) { return v; }
inline uint8_t To8(uint16_t v) { return uint8_t(int(float(v) * k16 * 255.0f + 0.5f)); }
// Colour samples of float bitmaps are clamped to 0..1 first; alpha lies in 0..1 already.
inline uint8_t ColourTo8(float c) {
    if (std::isnan(c)) return 0;
    const float clamped = c > 1.0f ? 1.0f : (c < 0.0f ? 0.0f : c);
    return uint8_t(int(clamped * 255.0f + 0.5f));
}
inline uint8_t ColourTo8(uint8_t v) { return To8(v); }
inline uint8_t ColourTo8(uint16_t v) { return To8(v); }
inline uint8_t AlphaTo8(float a) { return SaturateTo8(a * 255.0f + 0.5f); }
inline uint8_t AlphaTo8(uint8_t v) { return To8(v); }
inline uint8_t AlphaTo8(uint16_t v) { return To8(v); }

// Subtractive ink over black, without colour management.
inline uint8_t InkTo8(uint8_t ink, uint8_t black) {
    const float x = float(ink) * k8;
    const float k = float(black) * k8;
    const float t = ((1.0f - k) * x) + k;
    return t < 1.0f ? uint8_t(int(((1.0f - t) * 255.0f) + 0.5f)) : uint8_t(0);
}

template <class B>
constexpr Raster::Format FormatOf() {
    using namespace Raster;
    if constexpr (std::is_same_v<B, BitmapForFormat<kFormatRGBA8>>) return kFormatRGBA8;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatRGBA16>>) return kFormatRGBA16;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatI8A8>>) return kFormatI8A8;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatI16A16>>) return kFormatI16A16;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatCMYKA8>>) return kFormatCMYKA8;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatLabA16>>) return kFormatLabA16;
    else if constexpr (std::is_same_v<B, BitmapForFormat<kFormatRGBAF>>) return kFormatRGBAF;
    else static_assert(!sizeof(B), "not a layout of the kernels");
}

// The alpha plane of a 32-pixel span (one sample pointer per plane) as bytes.
template <class B>
void ConvertAlphaSpanTo8(const typename B::Sample* const* planes, uint8_t alpha[kSpan]) {
    const typename B::Sample* a = planes[B::kChannelCount - 1];  // alpha is every layout's last channel
    for (int i = 0; i < kSpan; ++i) alpha[i] = AlphaTo8(a[i]);
}

// 32 converted pixels into the row: all four bytes, or the colour only.
inline void StoreSpan(const uint8_t out[kSpan][4], uint8_t* row, bool alpha) {
    if (alpha) {
        std::memcpy(row, out, kSpan * 4);
        return;
    }
    for (int i = 0; i < kSpan; ++i) std::memcpy(row + 3 * i, out[i], 3);
}

// Conversion without colour management: one pixel's samples to R, G, B, A bytes.
template <class B>
struct PlainConversion {
    using Sample = typename B::Sample;
    static constexpr Raster::Format kFormat = FormatOf<B>();

    template <class Get>
    static void Convert(Get s, uint8_t out[4]) {
        if constexpr (kFormat == Raster::kFormatRGBA8 || kFormat == Raster::kFormatRGBA16 ||
                      kFormat == Raster::kFormatRGBAF) {
            out[0] = ColourTo8(s(0));
            out[1] = ColourTo8(s(1));
            out[2] = ColourTo8(s(2));
            out[3] = AlphaTo8(s(3));
        } else if constexpr (kFormat == Raster::kFormatI8A8 || kFormat == Raster::kFormatI16A16) {
            out[0] = out[1] = out[2] = To8(s(0));
            out[3] = To8(s(1));
        } else if constexpr (kFormat == Raster::kFormatCMYKA8) {
            out[0] = InkTo8(s(0), s(3));
            out[1] = InkTo8(s(1), s(3));
            out[2] = InkTo8(s(2), s(3));
            out[3] = To8(s(4));
        } else {
            static_assert(kFormat == Raster::kFormatLabA16);
            const uint16_t lab[4] = {s(0), s(1), s(2), s(3)};
            float rgba[4] = {0.0f, 0.0f, 0.0f, float(lab[3]) * k16};
            Raster::ICCManager::GetInstance().DoLABA16ToRGBAFTransform(lab, rgba, 1);
            // Out-of-gamut results are clamped, which agrees with every in-range value.
            for (int c = 0; c < 4; ++c) out[c] = SaturateTo8(rgba[c] * 255.0f + 0.5f);
        }
    }

    void Pixel(const Sample* const* px, uint8_t out[4]) const {
        Convert([&](int c) { return *px[c]; }, out);
    }
    // 32 pixels, one sample pointer per plane, into the row.
    void Span(const Sample* const* planes, uint8_t* row, bool alpha) const {
        if constexpr (kFormat == Raster::kFormatRGBA8) {
            // Bytes pass unchanged: only interleaved, which the compiler does a vector at a time.
            const uint8_t* const r = planes[0];
            const uint8_t* const g = planes[1];
            const uint8_t* const b = planes[2];
            const uint8_t* const a = planes[3];
            uint8_t out[kSpan][4];
            for (int i = 0; i < kSpan; ++i) {
                out[i][0] = r[i];
                out[i][1] = g[i];
                out[i][2] = b[i];
                out[i][3] = a[i];
            }
            StoreSpan(out, row, alpha);
        } else {
            uint8_t out[kSpan][4];
            for (int i = 0; i < kSpan; ++i) Convert([&](int c) { return planes[c][i]; }, out[i]);
            StoreSpan(out, row, alpha);
        }
    }
};

// Conversion through the job's colour transform. The alpha byte is put in place before the
// transform runs; the transform writes R, G and B and leaves it.
template <class B>
struct ConvertedConversion {
    using Sample = typename B::Sample;
    static constexpr int N = B::kChannelCount;
    void* m_transform;

    void Pixel(const Sample* const* px, uint8_t out[4]) const {
        Sample in[N];
        for (int c = 0; c < N; ++c) in[c] = *px[c];
        out[3] = AlphaTo8(in[N - 1]);
        Raster::ICCManager::GetInstance().DoTransform(m_transform, in, out, 1);
    }
    void Span(const Sample* const* planes, uint8_t* row, bool alpha) const {
        Sample in[kSpan][N];
        uint8_t alphas[kSpan];
        uint8_t out[kSpan][4];
        ConvertAlphaSpanTo8<B>(planes, alphas);
        for (int i = 0; i < kSpan; ++i) {
            for (int c = 0; c < N; ++c) in[i][c] = planes[c][i];
            out[i][3] = alphas[i];
        }
        Raster::ICCManager::GetInstance().DoTransform(m_transform, in, out, kSpan);
        StoreSpan(out, row, alpha);
    }
};

// The source's next 32 pixels where they lie, when they are whole in its current tile (then
// it moves on to the span's last pixel, as a span read does), else copied out by a span read.
// A scaled source never holds them together, so it always reads the span.
template <class B, class T>
const typename B::Sample* const* SpanSamples(
    typename Raster::ModelBase<B>::template ConstPixelAccessor<Raster::Safe, T>& src, Raster::PlanarPixelSpan<B>& span,
    const typename B::Sample* planes[]) {
    if constexpr (std::is_same_v<T, Raster::IdentityTransform>) {
        if (src.SpanInTile()) {
            for (int c = 0; c < B::kChannelCount; ++c) planes[c] = src.m_cursors[c];
            src.Skip(kSpan - 1);
            return planes;
        }
    }
    src.SpanRead(span);
    for (int c = 0; c < B::kChannelCount; ++c) planes[c] = span.m_planes[c];
    return planes;
}

// The row loop shared by both writers.
template <class B, class T, class Conversion>
void WritePNGRows(const B& source, Raster::PNGWriterRGBA8& writer, const PNGRowJob& job, Kernel::RectT<int> area,
                  bool progress, const T& transform, const Conversion& convert) {
    PNGRowAccessor row = MakePNGRowAccessor(writer);
    // Released before the row ends.
    typename Raster::ModelBase<B>::template ConstPixelAccessor<Raster::Safe, T> src(source, transform);
    if (IsSet(job.m_cancel) || area.bottom <= area.top) return;
    const int bytes = row.m_alpha ? 4 : 3;
    Raster::PlanarPixelSpan<B> span;
    const typename B::Sample* planes[B::kChannelCount];
    uint8_t out[4];
    for (int y = area.top; y < area.bottom; ++y) {
        if (IsSet(job.m_cancel)) break;
        if (y > 0) row.WriteRow();
        row.m_currentColumn = area.left;
        row.m_currentRow = y;
        src.MoveTo(area.left, y);
        int x = area.left;
        while (x < area.right) {
            if (x % kSpan == 0 && x + kSpan <= area.right) {
                convert.Span(SpanSamples<B, T>(src, span, planes), row.m_row + size_t(x) * bytes, row.m_alpha != 0);
                x += kSpan;
            } else {
                convert.Pixel(src.Cursors(), out);
                std::memcpy(row.m_row + size_t(x) * bytes, out, size_t(bytes));
                ++x;
            }
            if (x < area.right) src.Step();
            row.m_currentColumn = x;
        }
        if ((y & 255) == 0) src.Release();
        if (progress && y % 16 == 0 && job.m_progress)
            job.m_progress(job.m_progressContext, float((y - area.top) / double(area.bottom - area.top)));
    }
}

template <class B, class T>
void WritePNGRowsPlain(const B& source, Raster::PNGWriterRGBA8& writer, const PNGRowJob& job, Kernel::RectT<int> area,
                       bool progress, const T& transform) {
    WritePNGRows(source, writer, job, area, progress, transform, PlainConversion<B>{});
}

template <class B, class T>
void WritePNGRowsConverted(const B& source, Raster::PNGWriterRGBA8& writer, const PNGRowJob& job,
                           Kernel::RectT<int> area, bool progress, const T& transform) {
    WritePNGRows(source, writer, job, area, progress, transform, ConvertedConversion<B>{job.m_transform});
}

}  // namespace BitmapKernels
