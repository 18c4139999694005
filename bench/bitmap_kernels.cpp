// Speed of the bitmap kernels on page-sized renders: compare, difference map, PNG export.
// Usage: bitmap_kernels [width height [repeats]]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Kernel/Dispatch.h"
#include "Kernel/Timer.h"
#include "Raster/Raster.h"
#include "bitmapcheck/BitmapKernels.h"

namespace {

using RGBA8 = Raster::BitmapForFormat<Raster::kFormatRGBA8>;
using RGBA16 = Raster::BitmapForFormat<Raster::kFormatRGBA16>;

template <class F>
double Best(int repeats, F&& f) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        Kernel::Timer t;
        f();
        double s = t.GetElapsedSeconds();
        if (s < best) best = s;
    }
    return best;
}

void Report(const char* what, double seconds, double pixels) {
    std::printf("%-46s %9.2f ms %9.1f Mpixel/s\n", what, seconds * 1e3, pixels / seconds / 1e6);
}

// A page: white with a band of grey text-like stripes.
template <class B>
Raster::DynamicBitmap Page(Raster::Format format, int w, int h, typename B::Sample full) {
    Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(format, w, h);
    B* bitmap = b.As<B>();
    typename B::PixelType white, ink;
    for (int c = 0; c < B::kChannelCount; ++c) white.c[c] = full;
    ink = white;
    ink.c[0] = ink.c[1] = ink.c[2] = typename B::Sample(full / 3);
    bitmap->Fill(white);
    for (int y = h / 8; y < h - h / 8; y += 24) bitmap->FillRect({w / 10, y, w - w / 10, y + 9}, ink);
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    int w = argc > 2 ? std::atoi(argv[1]) : 4960;  // A4 at 600 dpi
    int h = argc > 2 ? std::atoi(argv[2]) : 7016;
    int repeats = argc > 3 ? std::atoi(argv[3]) : 3;
    if (w <= 0 || h <= 0 || repeats <= 0) {
        std::fprintf(stderr, "usage: bitmap_kernels [width height [repeats]]\n");
        return 2;
    }
    const double pixels = double(w) * h;
    std::printf("%d x %d pixels, best of %d, %u threads\n", w, h, repeats, Kernel::Dispatch::GetParallelism());

    Raster::DynamicBitmap a = Page<RGBA8>(Raster::kFormatRGBA8, w, h, 255);
    Raster::DynamicBitmap b = Page<RGBA8>(Raster::kFormatRGBA8, w, h, 255);
    auto compare = [&] {
        CompareParams p;
        CompareBitmapsDispatch(a, b, &p);
        if (p.m_differingPixels != 0) std::abort();
    };
    Report("compare RGBA8, equal", Best(repeats, compare), pixels);
    Kernel::Dispatch::SetParallelism(1);
    Report("compare RGBA8, equal, one thread", Best(repeats, compare), pixels);
    Kernel::Dispatch::SetParallelism(0);

    Raster::DynamicBitmap c = Page<RGBA16>(Raster::kFormatRGBA16, w, h, 65535);
    Raster::DynamicBitmap d = Page<RGBA16>(Raster::kFormatRGBA16, w, h, 65535);
    Report("compare RGBA16, equal", Best(repeats, [&] {
               CompareParams p;
               CompareBitmapsDispatch(c, d, &p);
           }),
           pixels);

    // Every pixel of a tenth of the page differs: the lock is taken once per such pixel.
    Raster::DynamicBitmap e = Page<RGBA8>(Raster::kFormatRGBA8, w, h, 255);
    e.As<RGBA8>()->FillRect({0, 0, w, h / 10}, RGBA8::PixelType(1, 2, 3, 4));
    Report("compare RGBA8, a tenth differs", Best(repeats, [&] {
               CompareParams p;
               CompareBitmapsDispatch(e, b, &p);
           }),
           pixels);

    double heatBest = 1e30;
    for (int i = 0; i < repeats; ++i) {
        Raster::DynamicBitmap heat = Page<RGBA8>(Raster::kFormatRGBA8, w, h, 255);
        heat.As<RGBA8>()->FillRect({0, 0, w, h / 10}, RGBA8::PixelType(1, 2, 3, 4));
        Kernel::Timer t;
        DifferencesParams p;
        p.m_bitsPerChannel = 8;
        DifferenceBitmapsDispatch(heat, b, &p);
        heatBest = std::min(heatBest, t.GetElapsedSeconds());
    }
    Report("difference map RGBA8, a tenth differs", heatBest, pixels);

    std::string path = (std::filesystem::temp_directory_path() / "qv-bench-page.png").string();
    Report("PNG export RGBA8, plain", Best(repeats, [&] {
               Raster::PNGWriterRGBA8 writer(path.c_str(), w, h, Raster::ExportOptions());
               WriteBitmapPNGDispatch(writer, a);
           }),
           pixels);
    std::printf("%-46s %9.1f MB\n", "  file size", double(std::filesystem::file_size(path)) / 1e6);
    PNGExportParams params;
    params.m_sourceProfile = Raster::ICCProfile::CreateSRGB();
    params.m_destinationProfile = Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(Raster::kFormatRGBA8);
    Report("PNG export RGBA8, converted", Best(repeats, [&] {
               Raster::PNGWriterRGBA8 writer(path.c_str(), w, h, Raster::ExportOptions());
               WriteBitmapPNGConvertedDispatch(writer, a, &params);
           }),
           pixels);
    Report("PNG export RGBA16, plain", Best(repeats, [&] {
               Raster::PNGWriterRGBA8 writer(path.c_str(), w, h, Raster::ExportOptions());
               WriteBitmapPNGDispatch(writer, c);
           }),
           pixels);
    std::filesystem::remove(path);
    return 0;
}
