// Speed of the bitmap kernels against the machine's memory and against libpng alone.
//
// 1. The read bandwidth of a plain loop over two buffers as large as the bitmaps, on all cores.
// 2. Compare and difference map on all cores over 64 MiB bitmaps in RGBA8, RGBA16 and RGBA
//    float, identical and entirely different (the entirely different compare on one thread
//    too), in GB/s of destination plus source bytes and as a share of that bandwidth.
// 3. The PNG exports of a 4096 x 4096 RGBA8 page (flat areas, text-like edges) and of a noisy
//    image, plain and converted, beside libpng writing the same rows by itself with the same
//    settings and with its default settings.
// The last line is the compare of identical RGBA8 bitmaps.
//
// Usage: bitmapcheck_bench [repeats]   (default 3; the slow libpng runs take fewer)
//        bitmapcheck_bench failing-unit [runs] [side]   (the failure job end to end: failing_unit_bench.h)
//        bitmapcheck_bench passing-unit [runs] | small-suite [runs]   (unit_runs_bench.h)
//        bitmapcheck_bench speed-unit FOLDER SIDE KIND   (bench/speed-table.sh's units: speed_table_bench.h)
#include <lcms2.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Kernel/Dispatch.h"
#include "Kernel/Timer.h"
#include "Raster/Raster.h"
#include "bitmapcheck/BitmapKernels.h"
#include "bitmapcheck/ColourTransformCache.h"
#include "bitmapcheck/PixelAccess.h"
#include "failing_unit_bench.h"
#include "speed_table_bench.h"
#include "unit_runs_bench.h"

namespace {

constexpr size_t kBitmapBytes = size_t(64) << 20;
// The read loop and the compares of equal bitmaps take a millisecond or two each: they are
// given a larger number of tries, taken in turns, so that neither is judged by a worse moment.
constexpr int kQuickRepeats = 10;

template <class F>
double Best(int repeats, F&& f) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        Kernel::Timer t;
        f();
        best = std::min(best, t.GetElapsedSeconds());
    }
    return best;
}

// Same results on every run and every machine.
struct Random {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9e3779b97f4a7c15ull);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
        return z ^ (z >> 31);
    }
    double Unit() { return double(Next() >> 11) / double(uint64_t(1) << 53); }
    int Range(int low, int high) { return low + int(Next() % uint64_t(high - low + 1)); }
};

inline uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352d;
    x ^= x >> 15;
    x *= 0x846ca68b;
    x ^= x >> 16;
    return x;
}

// ---------------------------------------------------------------------------------------
// Read bandwidth

struct ReadJob {
    const uint64_t* a;
    const uint64_t* b;
    size_t wordsPerChunk;
    uint64_t* results;
};

void ReadChunk(void* context, size_t index) {
    const ReadJob& job = *static_cast<const ReadJob*>(context);
    const uint64_t* a = job.a + index * job.wordsPerChunk;
    const uint64_t* b = job.b + index * job.wordsPerChunk;
    uint64_t acc = 0;
    for (size_t i = 0; i < job.wordsPerChunk; ++i) acc |= a[i] ^ b[i];
    job.results[index] = acc;
}

// A plain loop over two buffers of the bitmaps' size, on all cores. It is timed again in turns
// with the compares of equal bitmaps, so that both see the machine in the same state; the
// best time of all stands for the bandwidth.
class ReadBandwidth {
public:
    ReadBandwidth() : m_a(new uint64_t[kWords]), m_b(new uint64_t[kWords]), m_results(kChunks) {
        for (size_t i = 0; i < kWords; ++i) m_a[i] = m_b[i] = i * 0x9e3779b97f4a7c15ull;
    }
    void Measure() {
        ReadJob job{m_a.get(), m_b.get(), kWords / kChunks, m_results.data()};
        Kernel::Timer t;
        Kernel::Dispatch::DispatchParallelFor(&ReadChunk, kChunks, &job, 21, 2, 0);
        m_best = std::min(m_best, t.GetElapsedSeconds());
        uint64_t all = 0;
        for (uint64_t r : m_results) all |= r;
        if (all != 0) std::abort();  // the buffers are equal; this also keeps the loop
    }
    // Bytes per second.
    double Get() const { return 2.0 * double(kBitmapBytes) / m_best; }

private:
    static constexpr size_t kWords = kBitmapBytes / sizeof(uint64_t);
    static constexpr size_t kChunks = 64;
    std::unique_ptr<uint64_t[]> m_a, m_b;
    std::vector<uint64_t> m_results;
    double m_best = 1e30;
};

// ---------------------------------------------------------------------------------------
// Bitmaps filled straight through their tile buffers

template <class B, class G>
void FillPlanes(B& bitmap, G sample) {
    using S = typename B::Sample;
    constexpr int TW = B::kTileWidth;
    const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
    BitmapKernels::ForEachChannel<B>([&](auto channel) {
        constexpr int I = int(decltype(channel)::value);
        auto& plane = bitmap.template GetPlane<I>();
        for (int ty = 0; ty < plane.grid.bottom; ++ty)
            for (int tx = 0; tx < plane.grid.right; ++tx) {
                S* buffer = reinterpret_cast<S*>(plane.TileAt(tx, ty, true)->GetMutableBuffer());
                for (int y = ty * 256; y < std::min(h, ty * 256 + 256); ++y)
                    for (int x = tx * TW; x < std::min(w, tx * TW + TW); ++x)
                        buffer[(y % 256) * TW + x % TW] = sample(I, x, y);
            }
    });
}

template <class B>
void CopyPixels(B& destination, const B& source) {
    BitmapKernels::ForEachChannel<B>([&](auto channel) {
        constexpr int I = int(decltype(channel)::value);
        auto& to = destination.template GetPlane<I>();
        auto& from = source.template GetPlane<I>();
        for (int ty = 0; ty < to.grid.bottom; ++ty)
            for (int tx = 0; tx < to.grid.right; ++tx)
                std::memcpy(to.TileAt(tx, ty, true)->GetMutableBuffer(), from.TileAt(tx, ty, false)->GetConstBuffer(),
                            Raster::Tile::kBytes);
    });
}

// A render-like sample, and one that differs from it in every channel.
template <class S>
S SampleAt(int channel, int x, int y) {
    const uint32_t h = Hash(uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(channel) * 83492791u);
    if constexpr (std::is_floating_point_v<S>) return S(h >> 8) / S(1 << 24);
    else return S(h);
}
template <class S>
S OtherSampleAt(int channel, int x, int y) {
    const S s = SampleAt<S>(channel, x, y);
    if constexpr (std::is_floating_point_v<S>) return s + S(2);  // a whole unit or more apart counts
    else return S(s ^ S(0xa5a5));
}

struct Figure {
    std::string name;
    double seconds;
    double bytes;
};

template <class B>
void RunKernels(Raster::Format format, const char* tag, int width, int height, ReadBandwidth& bandwidth, int repeats,
                std::vector<Figure>& figures) {
    using S = typename B::Sample;
    Raster::DynamicBitmap base = Raster::DynamicBitmap::Create(format, width, height);
    Raster::DynamicBitmap same = Raster::DynamicBitmap::Create(format, width, height);
    Raster::DynamicBitmap other = Raster::DynamicBitmap::Create(format, width, height);
    FillPlanes(*base.As<B>(), &SampleAt<S>);
    CopyPixels(*same.As<B>(), *base.As<B>());
    FillPlanes(*other.As<B>(), &OtherSampleAt<S>);
    const double bytes = 2.0 * double(width) * height * B::kChannelCount * sizeof(S);
    const int64_t expectedDifferences[2] = {0, int64_t(width) * height};

    for (int different = 0; different < 2; ++different) {
        const Raster::DynamicBitmap& destination = different ? other : same;
        double best = 1e30;
        // The lock taken for every differing pixel makes the other runs long: one is enough.
        for (int i = 0; i < (different ? 1 : kQuickRepeats); ++i) {
            if (!different) bandwidth.Measure();
            CompareParams p;
            Kernel::Timer t;
            CompareBitmapsDispatch(destination, base, &p);
            best = std::min(best, t.GetElapsedSeconds());
            if (p.m_differingPixels != expectedDifferences[different]) {
                std::fprintf(stderr, "compare %s: %d differing pixels\n", tag, p.m_differingPixels);
                std::exit(1);
            }
        }
        figures.push_back({std::string("compare-") + tag + (different ? "-different" : "-equal"), best, bytes});
        if (different) {
            // The same on one thread: the per-pixel lock must not make all cores slower than one.
            const unsigned threads = Kernel::Dispatch::GetParallelism();
            Kernel::Dispatch::SetParallelism(1);
            CompareParams p;
            Kernel::Timer t;
            CompareBitmapsDispatch(destination, base, &p);
            figures.push_back({std::string("compare-") + tag + "-different-1-thread", t.GetElapsedSeconds(), bytes});
            Kernel::Dispatch::SetParallelism(threads);
        }
    }
    // The heat map overwrites its destination, so each run starts from a fresh copy.
    Raster::DynamicBitmap heat = Raster::DynamicBitmap::Create(format, width, height);
    for (int different = 0; different < 2; ++different) {
        double best = 1e30;
        for (int i = 0; i < repeats; ++i) {
            CopyPixels(*heat.As<B>(), *(different ? other : base).As<B>());
            DifferencesParams p;
            p.m_bitsPerChannel = BitsPerChannelForFormat(format);
            Kernel::Timer t;
            DifferenceBitmapsDispatch(heat, base, &p);
            best = std::min(best, t.GetElapsedSeconds());
        }
        figures.push_back({std::string("difference-") + tag + (different ? "-different" : "-equal"), best, bytes});
    }
}

void PrintFigure(const Figure& f, double bandwidth, bool withTime) {
    const double rate = f.bytes / f.seconds;
    std::printf("%s: %.1f GB/s, %.0f%% of read bandwidth", f.name.c_str(), rate / 1e9, 100.0 * rate / bandwidth);
    if (withTime) std::printf(" (%.1f ms)", f.seconds * 1e3);
    std::printf("\n");
}

// ---------------------------------------------------------------------------------------
// PNG images

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // row after row, 4 bytes a pixel
    uint8_t* At(int x, int y) { return &rgba[(size_t(y) * width + x) * 4]; }
};

void FillRect(Image& image, int x0, int y0, int x1, int y1, const uint8_t colour[4]) {
    for (int y = std::max(0, y0); y < std::min(image.height, y1); ++y)
        for (int x = std::max(0, x0); x < std::min(image.width, x1); ++x) std::memcpy(image.At(x, y), colour, 4);
}

// An anti-aliased stroke: each pixel moves towards the ink by the share of it the
// rectangle covers.
void Stroke(Image& image, double x0, double y0, double x1, double y1, const uint8_t ink[4]) {
    for (int y = int(std::floor(y0)); y < int(std::ceil(y1)); ++y)
        for (int x = int(std::floor(x0)); x < int(std::ceil(x1)); ++x) {
            if (x < 0 || y < 0 || x >= image.width || y >= image.height) continue;
            const double cover = std::max(0.0, std::min(x1, x + 1.0) - std::max(x0, double(x))) *
                                 std::max(0.0, std::min(y1, y + 1.0) - std::max(y0, double(y)));
            uint8_t* p = image.At(x, y);
            for (int c = 0; c < 3; ++c) p[c] = uint8_t(std::lround(p[c] + (ink[c] - p[c]) * cover));
        }
}

// A rendered page: white paper, a coloured band, two tinted panels, and two columns of text
// whose glyphs are anti-aliased stems and bars.
Image DocumentImage(int width, int height) {
    Image image{width, height, std::vector<uint8_t>(size_t(width) * height * 4, 255)};
    Random random{42};
    const uint8_t band[4] = {28, 64, 120, 255}, panel[4] = {232, 238, 247, 255}, accent[4] = {250, 214, 160, 255};
    const uint8_t ink[4] = {20, 20, 24, 255};
    FillRect(image, 0, height / 20, width, height / 20 + height / 18, band);
    FillRect(image, width / 14, height / 6, width / 2 - width / 40, height / 6 + height / 5, panel);
    FillRect(image, width / 2 + width / 40, height * 2 / 3, width - width / 14, height * 2 / 3 + height / 7, accent);
    const double lead = 30, xHeight = 13, ascender = 19;
    const int columns[2][2] = {{width / 14, width / 2 - width / 40}, {width / 2 + width / 40, width - width / 14}};
    for (const auto& column : columns)
        for (double base = height / 6 + 40; base < height - height / 12; base += lead) {
            double x = column[0] + random.Unit();
            for (;;) {
                const int letters = random.Range(2, 9);
                if (x + letters * 10.5 > column[1]) break;
                for (int l = 0; l < letters; ++l) {
                    const double w = 7 + random.Unit() * 4, stem = 1.6 + random.Unit() * 0.4;
                    const double top = base - (random.Range(0, 3) == 0 ? ascender : xHeight);
                    const double bottom = base + (random.Range(0, 6) == 0 ? 5 : 0);
                    const int shape = random.Range(0, 5);
                    Stroke(image, x, top, x + stem, bottom, ink);
                    if (shape & 1) Stroke(image, x + w - stem, base - xHeight, x + w, base, ink);
                    if (shape & 2) Stroke(image, x, base - xHeight, x + w, base - xHeight + stem, ink);
                    if (shape & 4) Stroke(image, x, base - stem, x + w, base, ink);
                    if (shape == 0) Stroke(image, x, base - xHeight * 0.55, x + w, base - xHeight * 0.55 + stem, ink);
                    x += w + 1.8 + random.Unit();
                }
                x += 7 + random.Unit() * 3;
            }
        }
    return image;
}

// Random colours, opaque.
Image NoisyImage(int width, int height) {
    Image image{width, height, std::vector<uint8_t>(size_t(width) * height * 4, 255)};
    Random random{7};
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        const uint64_t r = random.Next();
        image.rgba[i] = uint8_t(r);
        image.rgba[i + 1] = uint8_t(r >> 8);
        image.rgba[i + 2] = uint8_t(r >> 16);
    }
    return image;
}

// libpng by itself, writing rows held in memory; with the export's settings or its own defaults.
bool WriteWithLibpng(const Image& image, const std::string& path, bool exportSettings) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    else if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8, PNG_COLOR_TYPE_RGBA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (exportSettings) {
            png_set_compression_level(png, Raster::PNGBase::kCompressionLevel);
            png_set_filter(png, PNG_FILTER_TYPE_BASE, Raster::PNGBase::kRowFilter);
        }
        png_write_info(png, info);
        for (int y = 0; y < image.height; ++y) png_write_row(png, &image.rgba[size_t(y) * image.width * 4]);
        png_write_end(png, info);
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

double FileMB(const std::string& path) { return double(std::filesystem::file_size(path)) / 1e6; }

// A wide-gamut RGB profile for the document, so that the converted export really converts.
std::string MakeWideGamutProfile(const std::string& path) {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    if (!profile) return {};
    cmsMLU* description = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(description, "en", "US", "Wide Gamut RGB (bench)");
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, description);
    cmsMLUfree(description);
    const bool saved = cmsSaveProfileToFile(profile, path.c_str());
    cmsCloseProfile(profile);
    return saved ? path : std::string();
}

void RunPNG(const char* tag, const Image& image, const std::string& folder, int repeats, int slowRepeats,
            const PNGExportParams& conversion) {
    Raster::DynamicBitmap bitmap = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, image.width, image.height);
    FillPlanes(*bitmap.As<Raster::BitmapForFormat<Raster::kFormatRGBA8>>(),
               [&](int c, int x, int y) { return image.rgba[(size_t(y) * image.width + x) * 4 + c]; });
    const std::string exported = folder + "/export.png", alone = folder + "/libpng.png", defaults = folder + "/defaults.png";

    // The rows the converted export writes, converted beforehand for libpng alone.
    Image converted = image;
    void* transform = GetColourTransform<Raster::BitmapForFormat<Raster::kFormatRGBA8>>(
        Raster::ICCManager::GetInstance(), conversion.m_sourceProfile, conversion.m_destinationProfile,
        conversion.m_intent, conversion.m_blackPointCompensation);
    if (!transform) {
        std::fprintf(stderr, "no transform for the converted export\n");
        std::exit(1);
    }
    for (int y = 0; y < image.height; ++y)
        Raster::ICCManager::GetInstance().DoTransform(transform, &image.rgba[size_t(y) * image.width * 4],
                                                      &converted.rgba[size_t(y) * image.width * 4],
                                                      uint32_t(image.width));

    for (int convert = 0; convert < 2; ++convert) {
        const Image& rows = convert ? converted : image;
        // Taken in turns, so that a busy moment of the machine does not fall on one side only.
        double ours = 1e30, same = 1e30;
        for (int i = 0; i < repeats; ++i) {
            Kernel::Timer t;
            {
                Raster::PNGWriterRGBA8 writer(exported.c_str(), image.width, image.height, Raster::ExportOptions());
                if (convert) {
                    PNGExportParams p;
                    p.m_sourceProfile = conversion.m_sourceProfile;
                    p.m_destinationProfile = conversion.m_destinationProfile;
                    p.m_intent = conversion.m_intent;
                    WriteBitmapPNGConvertedDispatch(writer, bitmap, &p);
                } else {
                    WriteBitmapPNGDispatch(writer, bitmap);
                }
            }
            ours = std::min(ours, t.GetElapsedSeconds());
            t.Start();
            if (!WriteWithLibpng(rows, alone, true)) std::exit(1);
            same = std::min(same, t.GetElapsedSeconds());
        }
        const double standard = Best(slowRepeats, [&] {
            if (!WriteWithLibpng(rows, defaults, false)) std::exit(1);
        });
        std::printf("png-%s-%s: export %.0f ms, %.2f MB; libpng alone, same settings %.0f ms, %.2f MB; "
                    "libpng defaults %.0f ms, %.2f MB; export/libpng alone %.2fx, defaults/export %.1fx, "
                    "size/defaults' size %.2fx\n",
                    tag, convert ? "converted" : "plain", ours * 1e3, FileMB(exported), same * 1e3, FileMB(alone),
                    standard * 1e3, FileMB(defaults), ours / same, standard / ours, FileMB(exported) / FileMB(defaults));
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "failing-unit") {
        const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
        failing_unit::Page page;
        if (argc > 3) page.side = std::atoi(argv[3]);
        if (runs <= 0 || argc > 4 || page.side < 40 || page.side > 16384) {
            std::fprintf(stderr, "usage: bitmapcheck_bench failing-unit [runs] [side, 40 to 16384]\n");
            return 2;
        }
        return failing_unit::Run(QV_EXECUTABLE, runs, page);
    }
    for (const char* mode : {"passing-unit", "small-suite"})
        if (argc > 1 && std::string(argv[1]) == mode) {
            const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
            if (runs <= 0 || argc > 3) {
                std::fprintf(stderr, "usage: bitmapcheck_bench %s [runs]\n", mode);
                return 2;
            }
            return std::string(mode) == "passing-unit" ? unit_runs::RunPassing(QV_EXECUTABLE, runs)
                                                       : unit_runs::RunSmallSuite(QV_EXECUTABLE, runs);
        }
    if (argc > 1 && std::string(argv[1]) == "speed-unit") return speed_table::Main(argc, argv);
    const int repeats = argc > 1 ? std::atoi(argv[1]) : 3;
    if (repeats <= 0 || argc > 2) {
        std::fprintf(stderr, "usage: bitmapcheck_bench [repeats] | failing-unit [runs] [side] | passing-unit [runs] | small-suite [runs] | speed-unit FOLDER SIDE KIND\n");
        return 2;
    }
    Kernel::Timer total;
    std::printf("bitmapcheck_bench: %u threads, bitmaps of %zu MiB, best of %d\n", Kernel::Dispatch::GetParallelism(),
                kBitmapBytes >> 20, repeats);

    ReadBandwidth bandwidth;
    for (int i = 0; i < kQuickRepeats; ++i) bandwidth.Measure();
    // Each bitmap 64 MiB: 4096 x 4096 at 4 bytes a pixel, 4096 x 2048 at 8, 2048 x 2048 at 16.
    std::vector<Figure> figures;
    RunKernels<Raster::BitmapForFormat<Raster::kFormatRGBA8>>(Raster::kFormatRGBA8, "rgba8", 4096, 4096, bandwidth,
                                                              repeats, figures);
    RunKernels<Raster::BitmapForFormat<Raster::kFormatRGBA16>>(Raster::kFormatRGBA16, "rgba16", 4096, 2048, bandwidth,
                                                               repeats, figures);
    RunKernels<Raster::BitmapForFormat<Raster::kFormatRGBAF>>(Raster::kFormatRGBAF, "rgbaf", 2048, 2048, bandwidth,
                                                              repeats, figures);
    std::printf("read bandwidth (plain loop over two %zu MiB buffers, all cores): %.1f GB/s\n", kBitmapBytes >> 20,
                bandwidth.Get() / 1e9);
    for (const Figure& f : figures) PrintFigure(f, bandwidth.Get(), true);
    std::fflush(stdout);

    char pattern[] = "/tmp/bitmapcheck-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    PNGExportParams conversion;
    conversion.m_sourceProfile = Raster::ICCProfile::CreateFromFile(MakeWideGamutProfile(folder + "/wide.icc").c_str());
    conversion.m_destinationProfile = Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(Raster::kFormatRGBA8);
    conversion.m_intent = Raster::kIntentRelativeColorimetric;
    if (!conversion.m_sourceProfile || !conversion.m_destinationProfile) {
        std::fprintf(stderr, "no profiles for the converted export\n");
        return 1;
    }
    std::printf("png settings: deflate level %d, row filter %s\n", Raster::PNGBase::kCompressionLevel,
                Raster::PNGBase::kRowFilter == PNG_FILTER_UP ? "Up" : "other");
    RunPNG("document", DocumentImage(4096, 4096), folder, repeats + 2, 2, conversion);
    RunPNG("noisy", NoisyImage(4096, 4096), folder, 1, 1, conversion);
    std::filesystem::remove_all(folder);

    std::printf("total time %.1f s\n", total.GetElapsedSeconds());
    PrintFigure(figures.front(), bandwidth.Get(), false);
    return 0;
}
