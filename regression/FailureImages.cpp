#include "regression/FailureImages.h"

#include "Raster/PNG.h"
#include "bitmapcheck/BitmapKernels.h"

void WriteFailureImages(const Kernel::String& base, const Raster::DynamicBitmap& current,
                        const Raster::DynamicBitmap& baseline, PNGExportParams& exportParams, uint32_t bitsPerChannel,
                        bool comparable) {
    // Declared in this order so that they are closed difference, failure, baseline.
    Raster::PNGWriterRGBA8 baselineImage((base + ".baseline.png").c_str(), baseline.GetWidth(), baseline.GetHeight(),
                                         Raster::ExportOptions());
    Raster::PNGWriterRGBA8 failureImage((base + ".failure.png").c_str(), current.GetWidth(), current.GetHeight(),
                                        Raster::ExportOptions());
    Raster::PNGWriterRGBA8 differenceImage((base + ".difference.png").c_str(), current.GetWidth(), current.GetHeight(),
                                           Raster::ExportOptions());
    WriteBitmapPNGConvertedDispatch(baselineImage, baseline, &exportParams);
    WriteBitmapPNGConvertedDispatch(failureImage, current, &exportParams);
    if (comparable) {
        DifferencesParams differences;
        differences.m_bitsPerChannel = bitsPerChannel;
        DifferenceBitmapsDispatch(current, baseline, &differences);
    }
    // Bitmaps of another size or format have no pixel-by-pixel difference: the difference
    // image then shows the current render as it is.
    WriteBitmapPNGDispatch(differenceImage, current);
}

#include "app/UnitStatics.h"
