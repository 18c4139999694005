// Entries of the two PNG exports, one instance per pixel format.
#include "bitmapcheck/BitmapKernels.h"
#include "bitmapcheck/FormatDispatch.h"
#include "bitmapcheck/PNGExport.h"

void WriteBitmapPNGConvertedDispatch(Raster::PNGWriterRGBA8& writer, const Raster::DynamicBitmap& source,
                                     PNGExportParams* params, const KernelWords& words) {
    if (!source) return;
    BitmapKernels::DispatchOnFormat(source.GetFormat(), [&](auto* tag) {
        using B = std::remove_pointer_t<decltype(tag)>;
        BitmapKernels::WriteBitmapPNGConverted<B>(writer, *source.As<B>(), params, words);
    });
}

void WriteBitmapPNGDispatch(Raster::PNGWriterRGBA8& writer, const Raster::DynamicBitmap& source, KernelParams* params,
                            const KernelWords& words) {
    if (!source) return;
    BitmapKernels::DispatchOnFormat(source.GetFormat(), [&](auto* tag) {
        using B = std::remove_pointer_t<decltype(tag)>;
        BitmapKernels::WriteBitmapPNG<B>(writer, *source.As<B>(), params, words);
    });
}
