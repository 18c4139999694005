// PNG export of every format, plain and through colour transforms, and the paths around it.
#include <gtest/gtest.h>

#include <lcms2.h>
#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <thread>
#include <vector>

#include "bitmap_test_support.h"
#include "tests/zlib_test_support.h"
#include "bitmapcheck/ColourTransformCache.h"
#include "Kernel/Dispatch.h"
#include "bitmapcheck/PNGRows.h"

using namespace bitmaptest;
using Bytes = std::vector<int>;

namespace {

using Profile = Kernel::Counted<Raster::ICCProfile>;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const char* kCMYKProfile = "/usr/share/color/icc/ghostscript/default_cmyk.icc";

Raster::ExportOptions Options(bool alpha) {
    Raster::ExportOptions o;
    o.SetAlpha(alpha);
    return o;
}

Bytes PixelBytes(const PNGImage& image, int x, int y) {
    const uint8_t* p = image.At(x, y);
    return Bytes(p, p + image.channels);
}

// Writes the bitmap to a file of its own size and reads it back.
PNGImage ExportPlain(const TempDir& dir, const Raster::DynamicBitmap& b, bool alpha = true, KernelParams* p = nullptr) {
    std::string path = dir.File("plain.png");
    {
        Raster::PNGWriterRGBA8 writer(path.c_str(), b.GetWidth(), b.GetHeight(), Options(alpha));
        WriteBitmapPNGDispatch(writer, b, p);
    }
    return ReadPNG(path);
}

PNGImage ExportConverted(const TempDir& dir, const Raster::DynamicBitmap& b, PNGExportParams* p, bool alpha = true) {
    std::string path = dir.File("converted.png");
    {
        Raster::PNGWriterRGBA8 writer(path.c_str(), b.GetWidth(), b.GetHeight(), Options(alpha));
        WriteBitmapPNGConvertedDispatch(writer, b, p);
    }
    return ReadPNG(path);
}

PNGExportParams Converting(const Profile& src, const Profile& dst) {
    PNGExportParams p;
    p.m_sourceProfile = src;
    p.m_destinationProfile = dst;
    return p;
}

}  // namespace

TEST(PNGNarrowing, SixteenBitSamplesRoundToTheNearestByte) {
    EXPECT_EQ(std::bit_cast<uint32_t>(BitmapKernels::k16), 0x37800080u);
    for (int v = 0; v < 65536; ++v) ASSERT_EQ(BitmapKernels::To8(uint16_t(v)), (v + 128) / 257) << v;
}

TEST(PNGNarrowing, InkOverBlackIsTheProductOfTheComplements) {
    for (int x = 0; x < 256; ++x)
        for (int k = 0; k < 256; ++k)
            ASSERT_EQ(BitmapKernels::InkTo8(uint8_t(x), uint8_t(k)), ((255 - x) * (255 - k) * 2 + 255) / 510)
                << x << ", " << k;
}

namespace {

// The bytes one pixel of a format becomes, from the definitions of the row conversions alone.
int Narrow16(double v) { return int(v + 128) / 257; }
int FloatColour(double c) { return std::isnan(c) ? 0 : int(std::floor(std::clamp(c, 0.0, 1.0) * 255 + 0.5)); }
int FloatAlpha(double a) { return std::isnan(a) ? 0 : int(std::clamp(std::floor(a * 255 + 0.5), 0.0, 255.0)); }
int Ink(double x, double k) { return int((255 - x) * (255 - k) * 2 + 255) / 510; }

int AlphaByte(Raster::Format f, const Samples& s) {
    switch (f) {
    case Raster::kFormatRGBA16:
    case Raster::kFormatI16A16:
    case Raster::kFormatLabA16: return Narrow16(s.back());
    case Raster::kFormatRGBAF: return FloatAlpha(s.back());
    default: return int(s.back());
    }
}

Bytes PlainBytes(Raster::Format f, const Samples& s) {
    const int a = AlphaByte(f, s);
    switch (f) {
    case Raster::kFormatRGBA8: return {int(s[0]), int(s[1]), int(s[2]), a};
    case Raster::kFormatRGBA16: return {Narrow16(s[0]), Narrow16(s[1]), Narrow16(s[2]), a};
    case Raster::kFormatRGBAF: return {FloatColour(s[0]), FloatColour(s[1]), FloatColour(s[2]), a};
    case Raster::kFormatI8A8: return {int(s[0]), int(s[0]), int(s[0]), a};
    case Raster::kFormatI16A16: return {Narrow16(s[0]), Narrow16(s[0]), Narrow16(s[0]), a};
    case Raster::kFormatCMYKA8: return {Ink(s[0], s[3]), Ink(s[1], s[3]), Ink(s[2], s[3]), a};
    default: {
        // The cases use neutral Lab only: lightness 0 is black and full lightness white.
        const int grey = s[0] == 0 ? 0 : 255;
        return {grey, grey, grey, a};
    }
    }
}

uint32_t PixelType(Raster::Format f) {
    using M = Raster::ICCManager;
    switch (f) {
    case Raster::kFormatRGBA8: return M::_TYPE_RGBA_8();
    case Raster::kFormatRGBA16: return M::_TYPE_RGBA_16();
    case Raster::kFormatRGBAF: return M::_TYPE_RGBA_FLT();
    case Raster::kFormatI8A8: return M::_TYPE_GRAYA_8();
    case Raster::kFormatI16A16: return M::_TYPE_GRAYA_16();
    case Raster::kFormatCMYKA8: return M::_TYPE_CMYKA_8();
    default: return M::_TYPE_LabA_16();
    }
}

// The colours the colour engine gives for the pixel on its own, with the alpha of the formulas.
Bytes ConvertedBytes(Raster::Format f, const Samples& s, const Profile& from, const Profile& to) {
    unsigned char in[32];
    for (size_t c = 0; c < s.size(); ++c) {
        if (f == Raster::kFormatRGBAF) {
            const float v = float(s[c]);
            std::memcpy(in + 4 * c, &v, 4);
        } else if (f == Raster::kFormatRGBA16 || f == Raster::kFormatI16A16 || f == Raster::kFormatLabA16) {
            const uint16_t v = uint16_t(s[c]);
            std::memcpy(in + 2 * c, &v, 2);
        } else {
            in[c] = uint8_t(s[c]);
        }
    }
    cmsHTRANSFORM t = cmsCreateTransform(from->GetHandle(), PixelType(f), to->GetHandle(), TYPE_RGBA_8,
                                         INTENT_PERCEPTUAL, 0);
    EXPECT_NE(t, nullptr);
    uint8_t out[4] = {0, 0, 0, 0};
    if (t) cmsDoTransform(t, in, out, 1);
    cmsDeleteTransform(t);
    return {out[0], out[1], out[2], AlphaByte(f, s)};
}

// An RGB profile with wider primaries than sRGB, so that a conversion changes colours.
Profile WideGamutProfile(const TempDir& dir) {
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    cmsToneCurve* curves[3] = {gamma, gamma, gamma};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    const std::string path = dir.File("wide.icc");
    cmsSaveProfileToFile(profile, path.c_str());
    cmsCloseProfile(profile);
    return Raster::ICCProfile::CreateFromFile(path.c_str());
}

}  // namespace

TEST(PNGExport, EveryFormatGivesTheBytesOfItsFormulasOnEveryPath) {
    TempDir dir;
    Profile srgb = Raster::ICCProfile::CreateSRGB(), wide = WideGamutProfile(dir);
    Profile gray = Raster::ICCProfile::CreateGray(), lab = Raster::ICCProfile::CreateLab();
    Profile cmyk = Raster::ICCProfile::CreateFromFile(kCMYKProfile);
    ASSERT_TRUE(wide);
    ASSERT_TRUE(cmyk) << "no CMYK profile at " << kCMYKProfile;
    struct Case {
        Raster::Format format;
        Profile from, to;
        std::vector<Samples> pixels;  // at most 8
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, srgb, wide, {{1, 2, 3, 4}, {255, 0, 128, 255}}},
        {Raster::kFormatRGBA16, srgb, wide, {{65535, 32768, 129, 128}, {0, 32767, 257, 65535}}},
        {Raster::kFormatRGBAF,
         srgb,
         wide,
         {{1.7, -0.2, 0.5, 1.0}, {kNaN, 1.0, 0.0, 0.5}, {0.25, 0.75, 1.0, 1.5}, {0.1, 0.2, 0.3, -0.5},
          {0.5, 0.5, 0.5, kNaN}}},
        {Raster::kFormatI8A8, gray, srgb, {{77, 200}, {0, 255}, {255, 0}}},
        {Raster::kFormatI16A16, gray, srgb, {{32767, 32768}, {65535, 129}, {128, 0}}},
        {Raster::kFormatCMYKA8,
         cmyk,
         srgb,
         {{0, 0, 0, 0, 9}, {128, 64, 1, 0, 255}, {128, 0, 255, 128, 3}, {64, 254, 1, 192, 7}, {12, 200, 99, 255, 255}}},
        {Raster::kFormatLabA16, lab, srgb, {{65535, 0x8080, 0x8080, 32768}, {0, 0x8080, 0x8080, 65535}}},
    };
    for (const Case& c : cases)
        for (bool converted : {false, true})
            for (bool alpha : {false, true})
                for (bool scaled : {false, true}) {
                    SCOPED_TRACE(testing::Message() << "format " << c.format << (converted ? ", converted" : ", plain")
                                                    << (alpha ? ", RGBA" : ", RGB") << (scaled ? ", scaled" : ""));
                    // 80 x 2 output pixels: columns 0 to 63 go in spans, 64 to 79 singly. Unscaled,
                    // pixel i lies at columns i and 64 + i; scaled, it lies at columns i and 32 + i
                    // of level 1, which output columns 2i, 2i + 1, 64 + 2i and 65 + 2i read.
                    Raster::DynamicBitmap bitmap = Filled(c.format, 80, 2, c.pixels.back());
                    Raster::DynamicBitmap holder = bitmap;
                    if (scaled) {
                        holder = Raster::DynamicBitmap::Create(c.format, 40, 1);
                        bitmap.GetBitmap()->KeepMipmaps(1, 0);
                        Raster::MipmapLevel& level = bitmap.GetBitmap()->GetMipmapLevels()[1];
                        level.bitmap = Kernel::Counted<Raster::BitmapBase>(holder.GetBitmap());
                        level.valid = true;
                    }
                    for (size_t i = 0; i < c.pixels.size(); ++i)
                        for (int y = 0; y < holder.GetHeight(); ++y)
                            for (int x : {int(i), (scaled ? 32 : 64) + int(i)}) SetPixel(holder, x, y, c.pixels[i]);
                    PNGExportParams p = Converting(c.from, c.to);
                    bool keepsMipmaps = false;
                    p.m_mipmapFlag = &keepsMipmaps;
                    PNGImage image = converted ? ExportConverted(dir, bitmap, &p, alpha) : ExportPlain(dir, bitmap, alpha, &p);
                    ASSERT_TRUE(image.ok);
                    ASSERT_EQ(image.alpha, alpha);
                    EXPECT_EQ(keepsMipmaps, scaled);
                    for (size_t i = 0; i < c.pixels.size(); ++i) {
                        Bytes expected = converted ? ConvertedBytes(c.format, c.pixels[i], c.from, c.to)
                                                   : PlainBytes(c.format, c.pixels[i]);
                        expected.resize(alpha ? 4 : 3);
                        const int columns[] = {scaled ? int(2 * i) : int(i), scaled ? int(2 * i + 1) : int(i),
                                               scaled ? int(64 + 2 * i) : int(64 + i),
                                               scaled ? int(65 + 2 * i) : int(64 + i)};
                        for (int x : columns)
                            for (int y : {0, 1}) EXPECT_EQ(PixelBytes(image, x, y), expected) << "pixel " << i << " at " << x;
                    }
                }
}

TEST(PNGExport, ConvertsAlignedRunsOf32AndTheRestPixelByPixel) {
    Profile srgb = Raster::ICCProfile::CreateSRGB(), other = Raster::ICCProfile::CreateSRGB();
    auto& counters = Raster::ICCManager::GetInstance().GetCounters();
    struct Case {
        Kernel::RectT<int> area;  // of a writer area.right pixels wide
        uint64_t spans, singles;
    };
    const Case cases[] = {
        {{0, 0, 40, 1}, 1, 8},
        {{5, 0, 100, 1}, 2, 27 + 4},  // 5..31 singly, 32..95 in spans, 96..99 singly
        {{0, 0, 20, 1}, 0, 20},       // narrower than a span
        {{40, 0, 90, 1}, 0, 50},      // 64 + 32 passes the right edge
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.area.left << ".." << c.area.right);
        for (Raster::Format format : {Raster::kFormatRGBA16, Raster::kFormatLabA16}) {
            Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(format, c.area.right, 1);
            const uint64_t of32 = counters.doTransformOf32.load(), ofOne = counters.doTransformOfOne.load();
            const uint64_t labCalls = counters.labCalls.load();
            PNGExportParams p = Converting(srgb, other);
            p.m_rect = &c.area;
            if (format == Raster::kFormatRGBA16) {
                // One transform call a span, one a single pixel.
                ASSERT_TRUE(ExportConverted(dir, b, &p).ok);
                EXPECT_TRUE(p.m_executed);
                EXPECT_EQ(counters.doTransformOf32.load() - of32, c.spans);
                EXPECT_EQ(counters.doTransformOfOne.load() - ofOne, c.singles);
            } else {
                // The plain Lab rows call the Lab routine once a pixel, inside spans too.
                ASSERT_TRUE(ExportPlain(dir, b, true, &p).ok);
                EXPECT_EQ(counters.labCalls.load() - labCalls, 32 * c.spans + c.singles);
                EXPECT_EQ(counters.doTransformOf32.load(), of32);
            }
        }
    }
}

TEST(PNGExport, AFileThatCannotBeWrittenIsReportedAndLeftOut) {
    TempDir dir;
    const std::string notAFolder = dir.File("plain-file");
    std::fclose(std::fopen(notAFolder.c_str(), "w"));
    Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 256, 256, {0, 0, 0, 255});
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x) {
            const uint32_t h = uint32_t(x * 2654435761u) ^ uint32_t(y * 40503u) * 2246822519u;
            SetPixel(b, x, y, {double(h & 255), double((h >> 8) & 255), double((h >> 16) & 255), 255});
        }
    struct Case {
        std::string path;
        long sizeLimit;  // bytes a file may grow to; 0: no limit
    };
    const Case cases[] = {
        {dir.File("missing-folder/out.png"), 0},
        {notAFolder + "/out.png", 0},
        {dir.File("disk-full.png"), 4096},  // a full disk, as the file-size limit stands it in
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TraceCapture trace;
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
        bool good = true;
        std::string error;
        {
            if (c.sizeLimit) {
                rlimit limit = saved;
                limit.rlim_cur = rlim_t(c.sizeLimit);
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            Raster::PNGWriterRGBA8 writer(c.path.c_str(), 256, 256, Options(true));
            WriteBitmapPNGDispatch(writer, b);
            good = writer.IsGood();
            error = writer.GetError();
        }
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_FALSE(good);
        EXPECT_FALSE(error.empty());
        EXPECT_FALSE(std::filesystem::exists(c.path));
        ASSERT_FALSE(trace.Lines().empty());
        EXPECT_EQ(trace.Lines()[0].rfind("Could not write PNG file " + c.path + ": ", 0), 0u) << trace.Lines()[0];
    }
    // Nothing half-written is left beside the files either.
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(notAFolder).parent_path()))
        EXPECT_EQ(entry.path().filename(), "plain-file");
}

TEST(PNGExport, FallsBackToPlainRowsWithoutAUsableTransform) {
    Profile srgb = Raster::ICCProfile::CreateSRGB(), lab = Raster::ICCProfile::CreateLab();
    // 16-bit samples whose plain narrowing differs from anything a transform would keep exact.
    const Samples samples{65535, 32768, 129, 128};
    const Bytes plain{255, 128, 1, 0};
    struct Case {
        const char* name;
        Profile source, destination;
        int newEntries;  // in the transform cache
        int traces;
    };
    const Case cases[] = {
        {"no destination profile", srgb, Profile(), 0, 0},
        {"no source profile", Profile(), srgb, 0, 0},
        {"same profile", srgb, srgb, 1, 0},
        {"pair the colour engine cannot join", lab, srgb, 1, 1},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TraceCapture trace;
        Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA16, 40, 2, samples);
        const size_t before = GetColourTransformCache().m_entries.size();
        PNGExportParams p = Converting(c.source, c.destination);
        PNGImage image = ExportConverted(dir, b, &p);
        ASSERT_TRUE(image.ok);
        EXPECT_EQ(PixelBytes(image, 0, 0), plain);
        EXPECT_EQ(PixelBytes(image, 39, 1), plain);
        EXPECT_FALSE(p.m_executed);  // the plain writer keeps its own record
        EXPECT_EQ(GetColourTransformCache().m_entries.size(), before + c.newEntries);
        // A second export finds the remembered failure: no new trace line.
        ExportConverted(dir, b, &p);
        EXPECT_EQ(trace.Lines().size(), size_t(c.traces));
    }
    // Without any record the converted export writes plain rows.
    Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA16, 40, 2, samples);
    PNGImage image = ExportConverted(dir, b, nullptr);
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(PixelBytes(image, 7, 1), plain);
}

TEST(PNGExport, ReportsProgressEverySixteenRowsAndGivesBackEveryTile) {
    TempDir dir;
    Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 300, 300, {1, 2, 3, 4});
    ProgressLog log;
    KernelParams p;
    p.m_progress = &ProgressLog::Callback;
    p.m_progressContext = &log;
    PNGImage image = ExportPlain(dir, b, true, &p);
    ASSERT_TRUE(image.ok);
    EXPECT_EQ(image.height, 300);
    EXPECT_TRUE(p.m_executed);
    std::vector<float> expected;
    for (int y = 0; y < 300; y += 16) expected.push_back(float(y / 300.0));
    EXPECT_EQ(log.fractions, expected);
    auto* rgba = b.As<RGBA8>();
    for (int column : {0, 1})
        for (int row : {0, 1}) EXPECT_EQ(rgba->GetPlane<3>().TileAt(column, row, false)->GetConstRefCount(), 0);
    EXPECT_EQ(b.GetBitmap()->GetCalls(), (std::vector<std::string>{"SyncHostCache(all)"}));
}

TEST(PNGExport, AreaIsClippedAndAnEmptyAreaWritesNoRow) {
    struct Case {
        Kernel::RectT<int> rect;
        bool written;
    };
    const Case cases[] = {
        {{64, 48, 0, 0}, true},      // right to left, bottom to top: the whole writer
        {{-10, -10, 100, 100}, true},
        {{64, 0, 100, 48}, false},   // only touches the right edge
        {{10, 10, 10, 40}, false},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rect.left << "," << c.rect.top << "," << c.rect.right << "," << c.rect.bottom);
        Raster::DynamicBitmap bitmap = Filled(Raster::kFormatRGBA8, 64, 48, {10, 20, 30, 40});
        for (bool converted : {false, true}) {
            TraceCapture trace;
            Profile a = Raster::ICCProfile::CreateSRGB(), b = Raster::ICCProfile::CreateSRGB();
            const size_t entries = GetColourTransformCache().m_entries.size();
            std::string path = dir.File(converted ? "c.png" : "p.png");
            PNGExportParams p = Converting(a, b);
            p.m_rect = &c.rect;
            {
                Raster::PNGWriterRGBA8 writer(path.c_str(), 64, 48, Options(true));
                if (converted) WriteBitmapPNGConvertedDispatch(writer, bitmap, &p);
                else WriteBitmapPNGDispatch(writer, bitmap, &p);
            }
            EXPECT_EQ(std::filesystem::exists(path), c.written);
            EXPECT_EQ(p.m_executed, c.written);
            // The converted export looks its transform up whether or not it writes.
            EXPECT_EQ(GetColourTransformCache().m_entries.size(), entries + (converted ? 1 : 0));
            if (c.written) {
                EXPECT_EQ(PixelBytes(ReadPNG(path), 63, 47)[3], 40);
            } else {
                EXPECT_EQ(trace.Lines().size(), 1u);  // the writer says why there is no file
            }
            std::filesystem::remove(path);
        }
    }
}

TEST(PNGExport, CancelledExportLeavesNoFile) {
    TempDir dir;
    Raster::DynamicBitmap b = Filled(Raster::kFormatRGBA8, 40, 40, {1, 2, 3, 4});
    struct Context {
        bool cancel = false;
    } context;
    KernelParams p;
    p.m_cancel = &context.cancel;
    p.m_progressContext = &context;
    p.m_progress = [](void* ctx, float) { Raise(&static_cast<Context*>(ctx)->cancel); };
    TraceCapture trace;
    std::string path = dir.File("cancelled.png");
    {
        Raster::PNGWriterRGBA8 writer(path.c_str(), 40, 40, Options(true));
        WriteBitmapPNGDispatch(writer, b, &p);
        EXPECT_EQ(writer.GetRowsWritten(), 1);  // row 0, handed over when the rows end
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(path).parent_path()));  // no temporary left
    ASSERT_EQ(trace.Lines().size(), 1u);
    EXPECT_NE(trace.Lines()[0].find("1 of 40 rows were written"), std::string::npos);
}

TEST(PNGExport, SyncsTheHardwareTransformsBuffer) {
    Raster::Convert::SetHardwareTransformsAvailable(true);
    Profile a = Raster::ICCProfile::CreateSRGB(), b = Raster::ICCProfile::CreateSRGB();
    TempDir dir;
    Raster::DynamicBitmap bitmap = Filled(Raster::kFormatRGBA8, 8, 8, {1, 2, 3, 4});
    PNGExportParams p = Converting(a, b);
    ASSERT_TRUE(ExportConverted(dir, bitmap, &p).ok);
    void* transform = GetColourTransform<RGBA8>(Raster::ICCManager::GetInstance(), a, b, 0, 0);
    auto hardware = Raster::Convert::GetCachedHardwareTransform(transform);
    Raster::Convert::SetHardwareTransformsAvailable(false);
    ASSERT_TRUE(hardware);
    EXPECT_EQ(hardware->GetBuffer()->GetSyncCount(), 1u);
}

TEST(PNGExport, BitmapsItCannotReadWriteNoFile) {
    TempDir dir;
    TraceCapture trace;
    struct Case {
        Raster::DynamicBitmap bitmap;
        int writerWidth, writerHeight;
    };
    const Case cases[] = {
        {Raster::DynamicBitmap::Create(Raster::kFormatA8, 8, 8), 8, 8},     // no kernel for the format
        {Raster::DynamicBitmap::Create(Raster::kFormatAF, 8, 8), 8, 8},
        {Raster::DynamicBitmap(), 8, 8},                                    // no bitmap
        {Filled(Raster::kFormatRGBA8, 8, 8, {1, 1, 1, 1}), 20, 20},         // smaller than the image
    };
    for (const Case& c : cases) {
        std::string path = dir.File("none.png");
        {
            Raster::PNGWriterRGBA8 writer(path.c_str(), c.writerWidth, c.writerHeight, Options(true));
            WriteBitmapPNGDispatch(writer, c.bitmap);
            WriteBitmapPNGConvertedDispatch(writer, c.bitmap, nullptr);
            EXPECT_LT(writer.GetRowsWritten(), c.writerHeight);
        }
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_EQ(trace.Lines().size(), 4u);
}

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The data of each IDAT chunk of a PNG file, in order.
std::vector<std::string> ImageChunks(const std::string& path) {
    const std::string file = ReadAll(path);
    std::vector<std::string> chunks;
    for (size_t at = 8; at + 12 <= file.size();) {
        const auto* p = reinterpret_cast<const uint8_t*>(file.data() + at);
        const size_t length = size_t(p[0]) << 24 | size_t(p[1]) << 16 | size_t(p[2]) << 8 | p[3];
        if (file.compare(at + 4, 4, "IDAT") == 0) chunks.push_back(file.substr(at + 8, length));
        at += 12 + length;
    }
    return chunks;
}

// The IDAT chunks' data joined: the image's one zlib stream.
std::string ImageStream(const std::string& path) {
    std::string stream;
    for (const std::string& chunk : ImageChunks(path)) stream += chunk;
    return stream;
}

// The filtered rows each IDAT chunk holds, each chunk inflated alone: the image's bands. Which
// codes ISA-L picks for a band may differ from one call to the next, so files are compared by
// these rather than byte for byte.
std::vector<std::string> BandRows(const std::string& path) {
    std::vector<std::string> bands;
    for (const std::string& chunk : ImageChunks(path)) {
        z_stream z{};
        std::string rows(1 << 20, '\0');
        inflateInit2(&z, -15);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(chunk.data()));
        z.avail_in = uInt(chunk.size());
        z.next_out = reinterpret_cast<Bytef*>(rows.data());
        z.avail_out = uInt(rows.size());
        inflate(&z, Z_SYNC_FLUSH);
        rows.resize(z.total_out);
        inflateEnd(&z);
        bands.push_back(rows);
    }
    return bands;
}

// Rows of noise and of runs, in groups of five that repeat the five above, so that matches
// reach back over the joins of the compressed bands.
uint8_t TestSample(int x, int y) {
    if (y % 10 >= 5) y -= 5;
    if (y % 3 == 0) return uint8_t(x / 40 + y);
    return uint8_t((uint32_t(x) * 2654435761u ^ uint32_t(y) * 40503u) >> 13);
}

// Writes an image of sample(x, y) bytes, RGBA or RGB, a row at a time as the row writers do.
template <class Sample>
void WriteRows(const std::string& path, int width, int height, bool alpha, Sample sample) {
    const int channels = alpha ? 4 : 3;
    Raster::PNGWriterRGBA8 writer(path.c_str(), width, height, Options(alpha));
    {
        Raster::PNGBase::BasePixelAccessor row(writer, alpha ? 6 : 2, channels, 8, false);
        for (int y = 0; y < height; ++y) {
            if (y > 0) row.WriteRow();
            for (int x = 0; x < width * channels; ++x) row.m_row[x] = sample(x, y);
        }
    }
    EXPECT_TRUE(writer.IsGood()) << writer.GetError();
}

}  // namespace

TEST(PNGExport, ALargeImageIsOneStreamOfItsRowsWhateverTheThreads) {
    TempDir dir;
    struct Case {
        int width, height;
        bool alpha;
    } cases[] = {
        {700, 1500, true},   // many bands, several batches, a short last band
        {1201, 331, false},  // RGB rows, just over one band's size
        {333, 200, true},    // small: one band
        {4500, 3, true},     // a band to a row, whose matches reach back more than 16 KiB
        {1, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        const int channels = c.alpha ? 4 : 3;
        std::string files[3];
        const unsigned threads[3] = {1, 3, 0};
        for (int t = 0; t < 3; ++t) {
            Kernel::Dispatch::SetParallelism(threads[t]);
            files[t] = dir.File("large-" + std::to_string(t) + ".png");
            WriteRows(files[t], c.width, c.height, c.alpha, TestSample);
        }
        Kernel::Dispatch::SetParallelism(0);
        for (int t = 0; t < 3; ++t) {
            SCOPED_TRACE(std::to_string(threads[t]) + " threads");
            const PNGImage image = ReadPNG(files[t]);
            ASSERT_TRUE(image.ok);
            ASSERT_EQ(image.channels, channels);
            size_t wrong = 0;
            for (int y = 0; y < c.height; ++y)
                for (int x = 0; x < c.width * channels; ++x)
                    wrong += image.bytes[size_t(y) * size_t(c.width * channels) + size_t(x)] != TestSample(x, y);
            EXPECT_EQ(wrong, 0u);
            // One zlib stream whose checksum holds, of Up-filtered rows, within the window its
            // header declares.
            const std::string raw = zlib_test::Inflate(ImageStream(files[t]), 0, 256);
            const size_t rowBytes = 1 + size_t(c.width) * size_t(channels);
            ASSERT_EQ(raw.size(), rowBytes * size_t(c.height));
            for (int y = 0; y < c.height; ++y) EXPECT_EQ(raw[size_t(y) * rowBytes], 2) << "row " << y;
        }
        // The bands do not depend on the threads.
        for (int t = 1; t < 3; ++t) EXPECT_TRUE(BandRows(files[t]) == BandRows(files[0])) << threads[t] << " threads";
    }
}

// A thread's deflate state is made from whatever the heap held before: none of it may reach the
// compression. A thread that leaves freed blocks of small numbers behind it, then writes its
// first image, writes the rows as small as a thread that starts clean.
TEST(PNGExport, WhatTheHeapHeldBeforeDoesNotChangeHowAThreadCompresses) {
    TempDir dir;
    const int width = 300, height = 200;  // deflated on the writing thread
    auto write = [&](const std::string& path, bool dirtyHeap, uint8_t shift = 0) {
        std::thread([&] {
            void* fence = nullptr;
            if (dirtyHeap) {
                std::vector<void*> blocks;
                for (size_t bytes = 64 * 1024; bytes <= 128 * 1024; bytes += 4 * 1024) {
                    auto* block = static_cast<uint16_t*>(std::malloc(bytes));
                    if (block) std::fill(block, block + bytes / 2, uint16_t(10));  // small numbers, as counts and sizes are
                    blocks.push_back(block);
                }
                fence = std::malloc(64);  // keeps the freed blocks from going back to the system
                for (void* block : blocks) std::free(block);
            }
            WriteRows(path, width, height, true, [shift](int x, int y) { return uint8_t(TestSample(x, y) + shift); });
            std::free(fence);
        }).join();
    };
    // Each written after other rows, so that neither finds the other's bands to share.
    write(dir.File("other.png"), false, 1);
    write(dir.File("dirty.png"), true);
    write(dir.File("other.png"), false, 2);
    write(dir.File("clean.png"), false);
    EXPECT_EQ(ImageStream(dir.File("dirty.png")).size(), ImageStream(dir.File("clean.png")).size());
    EXPECT_TRUE(BandRows(dir.File("dirty.png")) == BandRows(dir.File("clean.png")));
}

// Images written at the same time share the bands whose rows are alike, a band deflated once
// for all of them: each file is byte for byte the one written alone, and reads back its own
// rows. Among them: two images that differ in a few rows, and rows all alike, whose bands are
// alike but for being the last band of a shorter image or not.
TEST(PNGExport, ImagesWrittenTogetherShareBandsAlikeAndReadBackTheirOwnRows) {
    TempDir dir;
    const int width = 700, channels = 4;  // 11 rows a band
    struct Image {
        const char* name;
        int height;
        uint8_t (*sample)(int x, int y);
    };
    const Image images[] = {
        {"pattern", 1500, [](int x, int y) { return TestSample(x, y); }},
        {"pattern changed", 1500, [](int x, int y) { return uint8_t(TestSample(x, y) + (y >= 600 && y < 640)); }},
        {"rows alike", 440, [](int x, int) { return uint8_t(x * 7); }},
        {"rows alike, taller", 880, [](int x, int) { return uint8_t(x * 7); }},
    };
    auto write = [&](const Image& image, const std::string& path) { WriteRows(path, width, image.height, true, image.sample); };
    for (unsigned threads : {3u, 0u}) {
        Kernel::Dispatch::SetParallelism(threads);
        std::vector<std::thread> writers;
        for (const Image& image : images)
            writers.emplace_back([&, image] { write(image, dir.File(std::string(image.name) + " together.png")); });
        for (std::thread& t : writers) t.join();
        for (const Image& image : images) {
            SCOPED_TRACE(std::string(image.name) + ", " + std::to_string(threads) + " threads");
            const std::string together = dir.File(std::string(image.name) + " together.png");
            const std::string alone = dir.File(std::string(image.name) + " alone.png");
            write(image, alone);
            EXPECT_TRUE(BandRows(together) == BandRows(alone));
            const PNGImage read = ReadPNG(together);
            ASSERT_TRUE(read.ok);
            ASSERT_EQ(read.height, image.height);
            size_t wrong = 0;
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < width * channels; ++x)
                    wrong += read.bytes[size_t(y) * size_t(width * channels) + size_t(x)] != image.sample(x, y);
            EXPECT_EQ(wrong, 0u);
        }
    }
    Kernel::Dispatch::SetParallelism(0);
}

namespace {

// Sets the four bytes at `at` so that the CRC-32 of bytes is target: for a fixed length the CRC
// is affine over GF(2), and four consecutive bytes reach every value.
void ForceCrc(std::vector<uint8_t>& bytes, size_t at, uint32_t target) {
    auto crc = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes[at + size_t(i)] = uint8_t(v >> (8 * i));
        return uint32_t(crc32(0, bytes.data(), uInt(bytes.size())));
    };
    const uint32_t base = crc(0);
    uint64_t effects[32];  // what each bit of the four bytes flips in the CRC, the bit itself above
    for (int j = 0; j < 32; ++j) effects[j] = (crc(1u << j) ^ base) | uint64_t(1) << (32 + j);
    for (int b = 0; b < 32; ++b) {
        int p = b;
        while (p < 32 && !(effects[p] >> b & 1)) ++p;
        if (p == 32) return;
        std::swap(effects[b], effects[p]);
        for (int i = 0; i < 32; ++i)
            if (i != b && (effects[i] >> b & 1)) effects[i] ^= effects[b];
    }
    uint32_t v = 0;
    for (int b = 0; b < 32; ++b)
        if ((base ^ target) >> b & 1) v ^= uint32_t(effects[b] >> 32);
    crc(v);
}

}  // namespace

// Bands are found alike by their CRC, which other rows can have too: an image written right
// after another whose one band has the same CRC and length reads back its own rows.
TEST(PNGExport, ABandWithTheCheckOfAnotherButOtherRowsIsNotShared) {
    TempDir dir;
    const int width = 16;  // one RGBA row: the band is the filter byte and the row itself
    std::vector<uint8_t> a(1 + 4 * width), b;
    a[0] = 2;
    for (size_t i = 1; i < a.size(); ++i) a[i] = uint8_t(i * 37 + 11);
    b = a;
    b[1] ^= 0x5a;
    ForceCrc(b, 40, uint32_t(crc32(0, a.data(), uInt(a.size()))));
    ASSERT_EQ(crc32(0, b.data(), uInt(b.size())), crc32(0, a.data(), uInt(a.size())));
    ASSERT_NE(a, b);
    WriteRows(dir.File("a.png"), width, 1, true, [&](int x, int) { return a[size_t(x) + 1]; });
    WriteRows(dir.File("b.png"), width, 1, true, [&](int x, int) { return b[size_t(x) + 1]; });
    const PNGImage read = ReadPNG(dir.File("b.png"));
    ASSERT_TRUE(read.ok);
    EXPECT_EQ(read.bytes, std::vector<uint8_t>(b.begin() + 1, b.end()));
}
