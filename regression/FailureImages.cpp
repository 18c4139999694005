#include "regression/FailureImages.h"

#include <exception>

#include "Kernel/Dispatch.h"
#include "Raster/PNG.h"
#include "bitmapcheck/BitmapKernels.h"

namespace {

// What the pool is asked for, as the bitmap kernels ask.
constexpr int kDispatchPriority = 21;
constexpr int kDispatchPurpose = 2;

// The three images are independent files: each is one item of a parallel loop.
struct ImageJobs {
    Raster::PNGWriterRGBA8* baselineImage;
    Raster::PNGWriterRGBA8* failureImage;
    Raster::PNGWriterRGBA8* differenceImage;
    const Raster::DynamicBitmap* current;
    const Raster::DynamicBitmap* baseline;
    PNGExportParams* baselineParams;
    PNGExportParams* failureParams;
    uint32_t bitsPerChannel;
    bool comparable;
    std::exception_ptr errors[3];
};

void WriteImage(void* context, size_t index) {
    ImageJobs& jobs = *static_cast<ImageJobs*>(context);
    try {
        switch (index) {
        case 0: WriteBitmapPNGConvertedDispatch(*jobs.baselineImage, *jobs.baseline, jobs.baselineParams); break;
        case 1: WriteBitmapPNGConvertedDispatch(*jobs.failureImage, *jobs.current, jobs.failureParams); break;
        default: {
            if (!jobs.comparable) {
                // Bitmaps of another size or format have no pixel-by-pixel difference: the
                // difference image then shows the current render as it is.
                WriteBitmapPNGDispatch(*jobs.differenceImage, *jobs.current);
                break;
            }
            // The heat map goes into a copy, so that the failure image can be written from
            // the render at the same time.
            const Raster::DynamicBitmap heatMap = jobs.current->Copy();
            DifferencesParams differences;
            differences.m_bitsPerChannel = jobs.bitsPerChannel;
            DifferenceBitmapsDispatch(heatMap, *jobs.baseline, &differences);
            WriteBitmapPNGDispatch(*jobs.differenceImage, heatMap);
            break;
        }
        }
    } catch (...) {
        jobs.errors[index] = std::current_exception();
    }
}

}  // namespace

void WriteFailureImages(const Kernel::String& base, const Raster::DynamicBitmap& current,
                        const Raster::DynamicBitmap& baseline, PNGExportParams& exportParams, uint32_t bitsPerChannel,
                        bool comparable) {
    // Declared in this order so that they are closed, and report any failure, difference,
    // failure, baseline, always on this thread.
    Raster::PNGWriterRGBA8 baselineImage((base + ".baseline.png").c_str(), baseline.GetWidth(), baseline.GetHeight(),
                                         Raster::ExportOptions());
    Raster::PNGWriterRGBA8 failureImage((base + ".failure.png").c_str(), current.GetWidth(), current.GetHeight(),
                                        Raster::ExportOptions());
    Raster::PNGWriterRGBA8 differenceImage((base + ".difference.png").c_str(), current.GetWidth(), current.GetHeight(),
                                           Raster::ExportOptions());
    PNGExportParams failureParams = exportParams;  // each export sets its own record's flags
    ImageJobs jobs{&baselineImage, &failureImage,  &differenceImage, &current, &baseline,
                   &exportParams,  &failureParams, bitsPerChannel,   comparable, {}};
    Kernel::Dispatch::DispatchParallelFor(&WriteImage, 3, &jobs, kDispatchPriority, kDispatchPurpose, 0);
    for (const std::exception_ptr& error : jobs.errors)
        if (error) std::rethrow_exception(error);
}

#include "app/UnitStatics.h"
