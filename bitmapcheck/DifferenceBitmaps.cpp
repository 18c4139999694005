// Entry of the difference heat map, one instance per pixel format.
#include <algorithm>

#include "bitmapcheck/BitmapKernels.h"
#include "bitmapcheck/CompareKernels.h"
#include "bitmapcheck/FormatDispatch.h"

namespace BitmapKernels {

template <class B>
void DifferencesSetup(B& destination, const B& source, DifferencesParams* params, const KernelWords& words) {
    SourcePreparation<Raster::Differences, B>(destination, source, params, words);
}

template <class B>
void DifferenceBitmaps(B& destination, const B& source, DifferencesParams* params, const KernelWords& words) {
    RunOnDestination<Raster::Differences, B>(destination, source, params, words, &DifferencesSetup<B>);
}

}  // namespace BitmapKernels

void DifferenceBitmapsDispatch(const Raster::DynamicBitmap& destination, const Raster::DynamicBitmap& source,
                               DifferencesParams* params, const KernelWords& words) {
    // A source of another layout cannot be read as the destination's.
    if (!destination || !source || destination.GetFormat() != source.GetFormat()) return;
    BitmapKernels::DispatchOnFormat(destination.GetFormat(), [&](auto* tag) {
        using B = std::remove_pointer_t<decltype(tag)>;
        BitmapKernels::DifferenceBitmaps<B>(*destination.As<B>(), *source.As<B>(), params, words);
    });
}

Raster::PixelRGBA8 DifferenceColour(int32_t d, uint32_t bitsPerChannel) {
    const uint32_t bits = bitsPerChannel % 32;
    const int64_t range = bits == 0 ? 0 : (int64_t(1) << bits) - 1;
    // 64-bit, and clamped both ways, so that a difference beyond the range cannot overflow.
    int64_t r = range ? 510 * int64_t(d) / range : 0;
    int64_t g = range ? 510 * (range - int64_t(d)) / range : 0;
    r = std::clamp<int64_t>(r, 0, 255);
    g = std::clamp<int64_t>(g, 0, 255);
    return Raster::PixelRGBA8(uint8_t(r), uint8_t(g), uint8_t(0), uint8_t(255));
}
