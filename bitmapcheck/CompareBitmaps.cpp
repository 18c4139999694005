// Entry of the compare op, one instance per pixel format.
#include "bitmapcheck/BitmapKernels.h"
#include "bitmapcheck/CompareKernels.h"
#include "bitmapcheck/FormatDispatch.h"

namespace BitmapKernels {

template <class B>
void CompareSetup(B& destination, const B& source, CompareParams* params, const KernelWords& words) {
    SourcePreparation<Raster::Compare, B>(destination, source, params, words);
}

template <class B>
void CompareBitmaps(B& destination, const B& source, CompareParams* params, const KernelWords& words) {
    RunOnDestination<Raster::Compare, B>(destination, source, params, words, &CompareSetup<B>);
}

}  // namespace BitmapKernels

void CompareBitmapsDispatch(const Raster::DynamicBitmap& destination, const Raster::DynamicBitmap& source,
                            CompareParams* params, const KernelWords& words) {
    // A source of another layout cannot be read as the destination's.
    if (!destination || !source || destination.GetFormat() != source.GetFormat()) return;
    BitmapKernels::DispatchOnFormat(destination.GetFormat(), [&](auto* tag) {
        using B = std::remove_pointer_t<decltype(tag)>;
        BitmapKernels::CompareBitmaps<B>(*destination.As<B>(), *source.As<B>(), params, words);
    });
}
