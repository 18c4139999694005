// PNG export of every format, plain and through colour transforms, and the paths around it.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>

#include "bitmap_test_support.h"
#include "bitmapcheck/ColourTransformCache.h"
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

TEST(PNGExport, WritesEveryFormatAsEightBitRows) {
    struct Case {
        Raster::Format format;
        Samples samples;
        Bytes rgba;
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {1, 2, 3, 4}, {1, 2, 3, 4}},
        {Raster::kFormatRGBA16, {65535, 32768, 129, 128}, {255, 128, 1, 0}},
        {Raster::kFormatRGBAF, {1.7, -0.2, 0.5, 1.0}, {255, 0, 128, 255}},
        {Raster::kFormatRGBAF, {kNaN, 1.0, 0.0, 0.5}, {0, 255, 0, 128}},
        {Raster::kFormatI8A8, {77, 200}, {77, 77, 77, 200}},
        {Raster::kFormatI16A16, {32767, 32768}, {127, 127, 127, 128}},
        {Raster::kFormatI16A16, {65535, 129}, {255, 255, 255, 1}},
        {Raster::kFormatCMYKA8, {0, 0, 0, 0, 9}, {255, 255, 255, 9}},
        {Raster::kFormatCMYKA8, {128, 64, 1, 0, 255}, {127, 191, 254, 255}},
        {Raster::kFormatCMYKA8, {128, 0, 255, 128, 3}, {63, 127, 0, 3}},
        {Raster::kFormatCMYKA8, {12, 200, 99, 255, 255}, {0, 0, 0, 255}},
        {Raster::kFormatLabA16, {65535, 0x8080, 0x8080, 32768}, {255, 255, 255, 128}},
        {Raster::kFormatLabA16, {0, 0x8080, 0x8080, 65535}, {0, 0, 0, 255}},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format << " first sample " << c.samples[0]);
        // Column 5 lies in the span 0..31, column 35 in the single pixels after it.
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(c.format, 40, 3);
        SetPixel(b, 5, 1, c.samples);
        SetPixel(b, 35, 1, c.samples);
        for (bool alpha : {true, false}) {
            PNGImage image = ExportPlain(dir, b, alpha);
            ASSERT_TRUE(image.ok);
            ASSERT_EQ(image.alpha, alpha);
            Bytes expected(c.rgba.begin(), c.rgba.begin() + (alpha ? 4 : 3));
            EXPECT_EQ(PixelBytes(image, 5, 1), expected);
            EXPECT_EQ(PixelBytes(image, 35, 1), expected);
        }
    }
}

TEST(PNGExport, LabRowsCallTheLabRoutineOncePerPixel) {
    TempDir dir;
    Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(Raster::kFormatLabA16, 40, 2);
    auto& counters = Raster::ICCManager::GetInstance().GetCounters();
    uint64_t before = counters.labCalls.load();
    ASSERT_TRUE(ExportPlain(dir, b).ok);
    EXPECT_EQ(counters.labCalls.load() - before, 80u);
}

TEST(PNGExport, ConvertsThroughTheTransformAndKeepsTheSourceAlpha) {
    Profile srgb = Raster::ICCProfile::CreateSRGB(), srgb2 = Raster::ICCProfile::CreateSRGB();
    Profile gray = Raster::ICCProfile::CreateGray(), lab = Raster::ICCProfile::CreateLab();
    Profile cmyk = Raster::ICCProfile::CreateFromFile(kCMYKProfile);
    struct Case {
        Raster::Format format;
        Profile source;
        Samples samples;
        Bytes rgba;  // colours within 2 of these; alpha exact
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, srgb, {200, 100, 50, 7}, {200, 100, 50, 7}},
        {Raster::kFormatRGBA16, srgb, {65535, 32768, 0, 129}, {255, 128, 0, 1}},
        {Raster::kFormatRGBAF, srgb, {1.0, 0.5, 0.0, 0.25}, {255, 128, 0, 64}},
        {Raster::kFormatI8A8, gray, {255, 90}, {255, 255, 255, 90}},
        {Raster::kFormatI16A16, gray, {0, 32768}, {0, 0, 0, 128}},
        {Raster::kFormatLabA16, lab, {65535, 0x8080, 0x8080, 65535}, {255, 255, 255, 255}},
        {Raster::kFormatCMYKA8, cmyk, {0, 0, 0, 0, 33}, {255, 255, 255, 33}},
    };
    TempDir dir;
    auto& counters = Raster::ICCManager::GetInstance().GetCounters();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "format " << c.format);
        if (!c.source) {
            ADD_FAILURE() << "no CMYK profile at " << kCMYKProfile;
            continue;
        }
        Raster::DynamicBitmap b = Filled(c.format, 40, 1, c.samples);
        Samples clear = c.samples;
        clear.back() = 0;  // a transparent pixel among the single ones
        SetPixel(b, 35, 0, clear);
        PNGExportParams p = Converting(c.source, srgb2);
        const uint64_t of32 = counters.doTransformOf32.load(), ofOne = counters.doTransformOfOne.load();
        const uint64_t lab = counters.labCalls.load();
        PNGImage image = ExportConverted(dir, b, &p);
        ASSERT_TRUE(image.ok);
        // One transform call for the span 0..31, one per pixel for 32..39.
        EXPECT_EQ(counters.doTransformOf32.load() - of32, 1u);
        EXPECT_EQ(counters.doTransformOfOne.load() - ofOne, 8u);
        EXPECT_EQ(counters.labCalls.load(), lab);
        EXPECT_TRUE(p.m_executed);
        for (int x : {0, 31, 32, 35, 39}) {
            Bytes got = PixelBytes(image, x, 0);
            for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(got[ch], c.rgba[ch], 2) << "column " << x << " channel " << ch;
            EXPECT_EQ(got[3], x == 35 ? 0 : c.rgba[3]) << "column " << x;
        }
        // Without alpha the rows carry colour only.
        PNGImage rgb = ExportConverted(dir, b, &p, false);
        ASSERT_TRUE(rgb.ok);
        EXPECT_FALSE(rgb.alpha);
        EXPECT_EQ(PixelBytes(rgb, 3, 0), Bytes(image.At(3, 0), image.At(3, 0) + 3));
    }
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

TEST(PNGExport, ReadsTheFirstValidMipmapLevel) {
    TempDir dir;
    for (bool converted : {false, true}) {
        SCOPED_TRACE(converted);
        Raster::DynamicBitmap b = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 16, 8);
        b.GetBitmap()->KeepMipmaps(1, 0);
        auto& level = b.GetBitmap()->GetMipmapLevels()[1];
        auto* reduced = new RGBA8(8, 4);
        level.bitmap = Kernel::Counted<Raster::BitmapBase>(reduced);
        level.valid = true;
        reduced->SetPixel(3, 1, {9, 8, 7, 6});
        Profile a = Raster::ICCProfile::CreateSRGB(), c = Raster::ICCProfile::CreateSRGB();
        bool keepsMipmaps = false;
        PNGExportParams p = Converting(a, c);
        p.m_mipmapFlag = &keepsMipmaps;
        PNGImage image = converted ? ExportConverted(dir, b, &p) : ExportPlain(dir, b, true, &p);
        ASSERT_TRUE(image.ok);
        EXPECT_TRUE(keepsMipmaps);
        // Output pixels (6..7, 2..3) all sample level pixel (3, 1).
        for (auto [x, y] : {std::pair{7, 3}, {6, 2}}) {
            Bytes got = PixelBytes(image, x, y);
            EXPECT_NEAR(got[0], 9, converted ? 1 : 0);
            EXPECT_EQ(got[3], 6);
        }
        EXPECT_EQ(PixelBytes(image, 8, 3)[3], 0);
    }
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
