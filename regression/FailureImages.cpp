#include "regression/FailureImages.h"

#include <algorithm>
#include <exception>

#include "Kernel/Dispatch.h"
#include "Raster/PNG.h"
#include "Raster/Tile.h"
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

// The heat map is made a tile row at a time, into a bitmap one tile row high that shows the
// render's row (and the baseline's, into another, to be compared with), and each band is
// written as soon as it is made: the render itself is left as it is (the failure image is
// written from it at the same time), and only the band's tiles the heat map writes are copies.
void WriteDifferenceImage(const ImageJobs& jobs) {
    const Raster::DynamicBitmap& current = *jobs.current;
    const int width = current.GetWidth(), height = current.GetHeight();
    if (!jobs.comparable || height <= 0) {
        // Bitmaps of another size or format have no pixel-by-pixel difference: the
        // difference image then shows the current render as it is.
        WriteBitmapPNGDispatch(*jobs.differenceImage, current);
        return;
    }
    const int bandRows = std::min(height, Raster::Tile::kRows);
    DifferencesParams differences;
    differences.m_bitsPerChannel = jobs.bitsPerChannel;
    for (int top = 0, band = 0; top < height; top += Raster::Tile::kRows, ++band) {
        // Made anew for each band: a tile shows another's pixels only until it is written.
        const Raster::DynamicBitmap heatMap = Raster::DynamicBitmap::Create(current.GetFormat(), width, bandRows);
        const Raster::DynamicBitmap expected = Raster::DynamicBitmap::Create(current.GetFormat(), width, bandRows);
        current.GetBitmap()->ShowTileRow(band, *heatMap.GetBitmap(), 0);
        jobs.baseline->GetBitmap()->ShowTileRow(band, *expected.GetBitmap(), 0);
        DifferenceBitmapsDispatch(heatMap, expected, &differences);
        const Kernel::RectT<int> rows{0, 0, width, std::min(Raster::Tile::kRows, height - top)};
        KernelParams write;
        write.m_rect = &rows;
        WriteBitmapPNGDispatch(*jobs.differenceImage, heatMap, &write);
    }
}

void WriteImage(void* context, size_t index) {
    ImageJobs& jobs = *static_cast<ImageJobs*>(context);
    try {
        switch (index) {
        case 0: WriteBitmapPNGConvertedDispatch(*jobs.baselineImage, *jobs.baseline, jobs.baselineParams); break;
        case 1: WriteBitmapPNGConvertedDispatch(*jobs.failureImage, *jobs.current, jobs.failureParams); break;
        default: WriteDifferenceImage(jobs); break;
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
    // The images are the harness's own: the memory they take is not the engine's.
    Raster::MemoryManager::UnaccountedScope unaccounted;
    PNGExportParams failureParams = exportParams;  // each export sets its own record's flags
    ImageJobs jobs{&baselineImage, &failureImage,  &differenceImage, &current, &baseline,
                   &exportParams,  &failureParams, bitsPerChannel,   comparable, {}};
    Kernel::Dispatch::DispatchParallelFor(&WriteImage, 3, &jobs, kDispatchPriority, kDispatchPurpose, 0);
    for (const std::exception_ptr& error : jobs.errors)
        if (error) std::rethrow_exception(error);
}

#include "app/UnitStatics.h"
