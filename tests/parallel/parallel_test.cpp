// Work the unit executor spreads over the worker pool: the stand-in engine's drawing, the
// failure images of a failed spread, and the decompression of a loaded baseline. Each must
// give what the same work gives on one thread.
#include <gtest/gtest.h>

#include <cmath>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "DocSession/DocumentEngine.h"
#include "DocSession/PersonaController.h"
#include "DocSession/RegressionStore.h"
#include "Kernel/Dispatch.h"
#include "bitmapcheck/BitmapKernels.h"
#include "Kernel/FileSystem.h"
#include "Raster/Tile.h"
#include "regression/FailureImages.h"
#include "tests/bitmapcheck/bitmap_test_support.h"

namespace {

using bitmaptest::GetPixel;
using bitmaptest::ReadPNG;
using bitmaptest::Samples;
using bitmaptest::TempDir;
using bitmaptest::TraceCapture;

// Restores the pool's default width when a test ends.
struct Parallelism {
    explicit Parallelism(unsigned threads) { Kernel::Dispatch::SetParallelism(threads); }
    ~Parallelism() { Kernel::Dispatch::SetParallelism(0); }
};

// ---- The drawing rule, sample by sample --------------------------------------------------

uint64_t Mix(uint64_t z) {
    z += 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

double Noise(uint64_t seed, int spread, int x, int y, int channel) {
    uint64_t h = Mix(seed);
    h = Mix(h ^ uint64_t(uint32_t(spread)));
    h = Mix(h ^ (uint64_t(uint32_t(x)) << 32 | uint32_t(y)));
    h = Mix(h ^ uint64_t(uint32_t(channel)));
    return double(h >> 11) * 0x1.0p-53 * 2.0 - 1.0;
}

// A spread drawn one sample at a time: values stored as the format stores them.
struct ReferenceSpread {
    const DocEngine::FormatInfo* format;
    int width, height;
    std::vector<double> stored;  // channel-major

    ReferenceSpread(const DocEngine::FormatInfo* f, int w, int h)
        : format(f), width(w), height(h), stored(size_t(f->channels) * size_t(w) * size_t(h), 0.0) {}
    double& At(int c, int x, int y) { return stored[(size_t(c) * size_t(height) + size_t(y)) * size_t(width) + size_t(x)]; }
    // What a sample holds after being set to a value.
    double Quantise(double v) const {
        if (format->isFloat) return double(float(v));
        const double top = format->bytesPerSample == 1 ? 255.0 : 65535.0;
        return double(std::lround(std::clamp(v, 0.0, 1.0) * top)) / top;
    }
    void Draw(const DocEngine::DrawCommand& d) {
        const int x0 = std::max(d.x, 0), y0 = std::max(d.y, 0);
        const int x1 = int(std::min<int64_t>(int64_t(d.x) + d.width, width));
        const int y1 = int(std::min<int64_t>(int64_t(d.y) + d.height, height));
        for (int c = 0; c < format->channels; ++c)
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    double v;
                    if (d.kind == DocEngine::DrawCommand::Kind::Fill) {
                        v = d.from[size_t(c)];
                    } else if (d.kind == DocEngine::DrawCommand::Kind::Gradient) {
                        const double t = d.vertical ? (y - d.y + 0.5) / d.height : (x - d.x + 0.5) / d.width;
                        v = d.from[size_t(c)] + (d.to[size_t(c)] - d.from[size_t(c)]) * t;
                    } else {
                        if (c == format->alphaChannel) continue;
                        v = At(c, x, y) + Noise(d.seed, d.spread, x, y, c) * d.amount;
                    }
                    At(c, x, y) = Quantise(v);
                }
    }
};

// A rendered sample as a value on its format's range.
double RenderedValue(const Raster::DynamicBitmap& bitmap, int c, int x, int y) {
    const DocEngine::FormatInfo& format = *DocEngine::FindFormat(bitmap.GetFormat());
    const int tw = format.TileWidth();
    const Raster::Tile* tile = DocEngine::BitmapTile(bitmap, c, x / tw, y / 256, false);
    if (!tile) return -1;
    const uint8_t* p = tile->GetConstBuffer() + (size_t(y % 256) * tw + size_t(x % tw)) * format.bytesPerSample;
    if (format.bytesPerSample == 1) return *p / 255.0;
    if (format.bytesPerSample == 2) {
        uint16_t s;
        std::memcpy(&s, p, 2);
        return s / 65535.0;
    }
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

// Every tile of both renders holds the same bytes, and the same tiles are written.
void ExpectSameTiles(const RegressionRender& a, const RegressionRender& b, const std::string& what) {
    ASSERT_EQ(a.GetSpreadCount(), b.GetSpreadCount()) << what;
    for (size_t s = 0; s < a.GetSpreadCount(); ++s) {
        const Raster::DynamicBitmap x = a.GetSpreadBitmap(s), y = b.GetSpreadBitmap(s);
        const DocEngine::FormatInfo& format = *DocEngine::FindFormat(x.GetFormat());
        const int columns = (x.GetWidth() + format.TileWidth() - 1) / format.TileWidth();
        for (int c = 0; c < format.channels; ++c)
            for (int row = 0; row * 256 < x.GetHeight(); ++row)
                for (int column = 0; column < columns; ++column) {
                    const Raster::Tile* p = DocEngine::BitmapTile(x, c, column, row, false);
                    const Raster::Tile* q = DocEngine::BitmapTile(y, c, column, row, false);
                    ASSERT_EQ(p->HasOwnBuffer(), q->HasOwnBuffer()) << what << " tile " << c << "/" << column << "/" << row;
                    ASSERT_EQ(std::memcmp(p->GetConstBuffer(), q->GetConstBuffer(), Raster::Tile::kBytes), 0)
                        << what << " spread " << s << " tile " << c << "/" << column << "/" << row;
                }
    }
}

class ParallelWork : public testing::Test {
protected:
    void TearDown() override { PersonaController::GetInstance()->ShutdownPersona(); }

    Kernel::Counted<DocumentController> Load(const std::string& text) {
        const std::string path = m_dir.File("unit-" + std::to_string(m_count++) + ".kqvle");
        std::ofstream(path) << text;
        LoadDocumentCommand load(Kernel::String(path), false, 1, false, false, {});
        load.m_addToRecentDocuments = false;
        load.Execute();
        EXPECT_TRUE(load.m_documentController) << load.GetError().ToStd();
        return load.m_documentController;
    }
    static void Run(const Kernel::Counted<DocumentController>& document, Kernel::Counted<DocumentCommand> command) {
        document->EnqueueCommand(command);
        document->Settle();
    }

    TempDir m_dir;
    int m_count = 0;
};

// A document of the format whose commands cross tile edges, start outside the spread, leave
// cells untouched, add noise over cells nothing drew before, and draw a second spread.
std::string DocumentText(const DocEngine::FormatInfo& format, std::string& colourA, std::string& colourB) {
    colourA.clear();
    colourB.clear();
    for (int c = 0; c < format.channels; ++c) {
        colourA += " " + std::to_string(format.isFloat ? -3.5 + c : 0.1 + 0.2 * c);
        colourB += " " + std::to_string(format.isFloat ? 700.25 - c : 0.95 - 0.15 * c);
    }
    const int tw = format.TileWidth();
    const std::string w = std::to_string(2 * tw + 37), cell = std::to_string(tw);
    return "quirevale-document 1\nformat " + std::string(format.name) + "\nspread " + w +
           " 530\nspread 40 30\nhistory\n"
           "  fill 0 -20 -7 " + w + " 300" + colourA + "\n"
           "  gradient 0 " + std::to_string(tw - 5) + " 10 " + cell + " 400 horizontal" + colourA + colourB + "\n"
           "  gradient 0 3 250 90 270 vertical" + colourB + colourA + "\n"
           "  noise 0 0 100 " + w + " 430 77 0.3\n"
           "  fill 0 0 0 " + cell + " 256" + colourB + "\n"
           "  noise 1 -5 -5 100 100 5 1\n"
           "  fill 1 10 10 5 5" + colourA + "\n"
           "end\nposition 1\n";
}

TEST_F(ParallelWork, DrawingOnThePoolEqualsOneThreadAndTheSampleRule) {
    const Raster::Format formats[] = {Raster::kFormatRGBA8,  Raster::kFormatRGBA16, Raster::kFormatI8A8,
                                      Raster::kFormatI16A16, Raster::kFormatCMYKA8, Raster::kFormatLabA16,
                                      Raster::kFormatRGBAF};
    for (Raster::Format code : formats) {
        const DocEngine::FormatInfo& format = *DocEngine::FindFormat(code);
        std::string colourA, colourB;
        const std::string text = DocumentText(format, colourA, colourB);
        DocEngine::DocumentSpec spec;
        DocEngine::ParseError error;
        ASSERT_TRUE(DocEngine::ParseDocument(text, ".", spec, error)) << error.message;

        // The whole history drawn three ways: sample by sample here, on one thread, on the pool.
        std::vector<ReferenceSpread> reference;
        for (const auto& [w, h] : spec.spreads) reference.emplace_back(&format, w, h);
        for (const auto& command : spec.history) reference[size_t(command->spread)].Draw(*command);
        Kernel::Counted<RegressionRender> renders[2];
        for (unsigned threads : {1u, 8u}) {
            Parallelism parallelism(threads);
            Kernel::Counted<DocumentController> document = Load(text);
            ASSERT_TRUE(document);
            // Identical blocks drawn at position 1 become one shared block, which the redo
            // of the rest of the history then draws into from several cells at once.
            Run(document, Kernel::MakeCounted<DeduplicateTilestoreCommand>());
            Run(document, Kernel::MakeCounted<SetHistoryIndexCommand>(int32_t(spec.history.size()) - 1));
            renders[threads == 1 ? 0 : 1] = Kernel::MakeCounted<RegressionRender>(document);
            PersonaController::GetInstance()->RemoveDocumentController(document);
        }
        ExpectSameTiles(*renders[0], *renders[1], format.name);
        for (size_t s = 0; s < reference.size(); ++s) {
            const Raster::DynamicBitmap bitmap = renders[1]->GetSpreadBitmap(s);
            int differing = 0;
            for (int c = 0; c < format.channels; ++c)
                for (int y = 0; y < reference[s].height; ++y)
                    for (int x = 0; x < reference[s].width; ++x) {
                        const double expected = reference[s].At(c, x, y), actual = RenderedValue(bitmap, c, x, y);
                        // A cell nothing drew in is not written at all; it reads as zeros.
                        if (actual != expected && !(actual == -1 && expected == 0) && differing++ < 5)
                            ADD_FAILURE() << format.name << " spread " << s << " channel " << c << " (" << x << ", "
                                          << y << "): " << actual << " instead of " << expected;
                    }
            EXPECT_EQ(differing, 0) << format.name;
        }
    }
}

TEST_F(ParallelWork, CellsNoCommandReachesStayUnwritten) {
    // 300 x 600 RGBA8 is 2 x 3 cells a channel; the fill reaches the first column's top two
    // cells, the noise the second column's bottom cell in every channel but alpha.
    Kernel::Counted<DocumentController> document =
        Load("quirevale-document 1\nformat rgba8\nspread 300 600\nhistory\n  fill 0 0 0 10 300 1 1 1 1\n"
             "  noise 0 290 550 5 5 3 0.5\nend\n");
    ASSERT_TRUE(document);
    const uint64_t planar = Raster::MemoryManager::Instance().GetPlanarUsage();
    const Raster::DynamicBitmap bitmap = Kernel::MakeCounted<RegressionRender>(document)->GetSpreadBitmap(0);
    EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage() - planar, (4u * 2u + 3u) * Raster::Tile::kBytes);
    for (int c = 0; c < 4; ++c)
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 2; ++column)
                EXPECT_EQ(DocEngine::BitmapTile(bitmap, c, column, row, false)->HasOwnBuffer(),
                          (column == 0 && row < 2) || (column == 1 && row == 2 && c < 3))
                    << c << "/" << column << "/" << row;
}

TEST_F(ParallelWork, AComparisonOnThePoolReadsTheDocumentsBlocksInPlaceAndLeavesThemAsTheyWere) {
    // 20 x 4 cells of RGBA8, all the history's own: the compare kernel reads every tile of the
    // render where it lies, from many workers at once.
    Kernel::Counted<DocumentController> document =
        Load("quirevale-document 1\nformat rgba8\nspread 5120 1024\nhistory\n"
             "  gradient 0 0 0 5120 1024 vertical 0 0.2 0.4 1 1 0.8 0.6 1\n  noise 0 0 0 5120 100 9 0.1\nend\n");
    ASSERT_TRUE(document);
    // Where each tile's pixels lie.
    auto places = [](const Raster::DynamicBitmap& bitmap) {
        std::vector<const uint8_t*> at;
        for (int c = 0; c < 4; ++c)
            for (int row = 0; row < 4; ++row)
                for (int column = 0; column < 20; ++column)
                    at.push_back(DocEngine::BitmapTile(bitmap, c, column, row, false)->GetConstBuffer());
        return at;
    };
    Kernel::Counted<RegressionRender> first = Kernel::MakeCounted<RegressionRender>(document);
    const Kernel::Counted<RegressionRender> reference = first->Store();
    const std::vector<const uint8_t*> lent = places(first->GetSpreadBitmap(0));
    const uint64_t backstore = Raster::MemoryManager::Instance().GetBackstoreUsage();
    {
        const Raster::DynamicBitmap current = first->GetSpreadBitmap(0);
        CompareParams params;
        CompareBitmapsDispatch(current, reference->GetSpreadBitmap(0), &params);
        EXPECT_EQ(params.m_differingPixels, 0);
        EXPECT_EQ(places(current), lent) << "every tile read in place";
        EXPECT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage(), backstore);
    }
    first.Reset();
    // Given back unchanged: the document shows the same blocks again, drawn once.
    const Kernel::Counted<RegressionRender> second = Kernel::MakeCounted<RegressionRender>(document);
    EXPECT_EQ(places(second->GetSpreadBitmap(0)), lent);
    ExpectSameTiles(*second, *reference, "after the comparison");
    PersonaController::GetInstance()->RemoveDocumentController(document);
}

// ---- Failure images ------------------------------------------------------------------------

struct ImageCase {
    const char* name;
    int baselineWidth, baselineHeight;  // the current render is 300 x 270
    std::vector<std::string> blocked;   // image endings whose place a folder takes
};

TEST(FailureImages, AreWrittenTogetherEachWithItsOwnError) {
    const ImageCase cases[] = {
        {"all three", 300, 270, {}},
        {"failure blocked", 300, 270, {".failure.png"}},
        {"baseline and difference blocked", 300, 270, {".baseline.png", ".difference.png"}},
        {"baseline of another size", 200, 100, {}},
    };
    for (unsigned threads : {1u, 8u})
        for (const ImageCase& c : cases) {
            Parallelism parallelism(threads);
            const std::string what = std::string(c.name) + " on " + std::to_string(threads) + " threads";
            TempDir dir;
            const std::string base = dir.File("a.kqvle.undo-redo");
            for (const std::string& ending : c.blocked) std::filesystem::create_directory(base + ending);
            Raster::DynamicBitmap current = bitmaptest::Filled(Raster::kFormatRGBA8, 300, 270, {10, 20, 30, 255});
            Raster::DynamicBitmap baseline =
                bitmaptest::Filled(Raster::kFormatRGBA8, c.baselineWidth, c.baselineHeight, {10, 20, 30, 255});
            bitmaptest::SetPixel(current, 280, 260, {10, 20, 90, 255});
            bitmaptest::SetPixel(baseline, 5, 6, {11, 20, 30, 255});
            const bool comparable = c.baselineWidth == 300;
            PNGExportParams params;
            TraceCapture trace;
            WriteFailureImages(Kernel::String(base), current, baseline, params, 8, comparable);

            // The render is left as it was, and each image shows what it should.
            EXPECT_EQ(GetPixel(current, 280, 260), (Samples{10, 20, 90, 255})) << what;
            EXPECT_EQ(GetPixel(current, 5, 6), (Samples{10, 20, 30, 255})) << what;
            auto blocked = [&](const char* ending) {
                return std::find(c.blocked.begin(), c.blocked.end(), ending) != c.blocked.end();
            };
            if (!blocked(".baseline.png")) {
                bitmaptest::PNGImage image = ReadPNG(base + ".baseline.png");
                ASSERT_TRUE(image.ok) << what;
                EXPECT_EQ(image.width, c.baselineWidth) << what;
                EXPECT_EQ(image.At(5, 6)[0], 11) << what;
            }
            if (!blocked(".failure.png")) {
                bitmaptest::PNGImage image = ReadPNG(base + ".failure.png");
                ASSERT_TRUE(image.ok) << what;
                EXPECT_EQ(image.At(280, 260)[2], 90) << what;
                EXPECT_EQ(image.At(5, 6)[0], 10) << what;
            }
            if (!blocked(".difference.png")) {
                bitmaptest::PNGImage image = ReadPNG(base + ".difference.png");
                ASSERT_TRUE(image.ok) << what;
                ASSERT_EQ(image.width, 300) << what;
                if (comparable) {
                    // Black where equal; a heat colour at both differing pixels.
                    EXPECT_EQ(image.At(0, 0)[0] + image.At(0, 0)[1] + image.At(0, 0)[2], 0) << what;
                    EXPECT_GT(image.At(280, 260)[0] + image.At(280, 260)[1], 0) << what;
                    EXPECT_GT(image.At(5, 6)[0] + image.At(5, 6)[1], 0) << what;
                } else {
                    EXPECT_EQ(image.At(280, 260)[2], 90) << what;  // the render as it is
                }
            }
            // One trace line per blocked image, in the order the writers close: difference,
            // failure, baseline; no temporary file is left.
            std::vector<std::string> expected;
            for (const char* ending : {".difference.png", ".failure.png", ".baseline.png"})
                if (blocked(ending)) expected.push_back(base + ending);
            const std::vector<std::string> lines = trace.Lines();
            ASSERT_EQ(lines.size(), expected.size()) << what;
            for (size_t i = 0; i < lines.size(); ++i)
                EXPECT_EQ(lines[i].rfind("Could not write PNG file " + expected[i] + ":", 0), 0u) << what << lines[i];
            size_t files = 0;
            for (const auto& entry : std::filesystem::directory_iterator(dir.File("")))
                files += entry.is_regular_file();
            EXPECT_EQ(files, 3 - c.blocked.size()) << what;
        }
}

// The heat map is made band by band as its image is written: the image equals the heat map of
// the whole render, in every band (the last one short) and in cells the render never wrote,
// and neither the render nor the planar account is changed by writing it.
TEST(FailureImages, TheDifferenceImageIsTheWholeHeatMap) {
    struct Case {
        Raster::Format format;
        Samples paper, changed;
    };
    const Case cases[] = {
        {Raster::kFormatRGBA8, {10, 20, 30, 255}, {10, 20, 200, 255}},
        {Raster::kFormatRGBA16, {1000, 2000, 3000, 65535}, {1000, 2000, 3100, 65535}},
        {Raster::kFormatI8A8, {90, 255}, {91, 255}},
        {Raster::kFormatRGBAF, {0.25, 0.5, 0.75, 1}, {0.25, 3.5, 0.75, 1}},
    };
    // One pixel changed in each band of 256 rows, the last of them on the last row; the
    // right-hand cells of the top band are never written in either bitmap.
    const int width = 700, height = 600;
    const std::pair<int, int> changes[] = {{3, 0}, {650, 255}, {300, 256}, {699, 599}, {0, 511}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        Raster::DynamicBitmap current = Raster::DynamicBitmap::Create(c.format, width, height);
        Raster::DynamicBitmap baseline = Raster::DynamicBitmap::Create(c.format, width, height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < (y < 256 ? 400 : width); ++x) {
                bitmaptest::SetPixel(current, x, y, c.paper);
                bitmaptest::SetPixel(baseline, x, y, c.paper);
            }
        for (auto [x, y] : changes) bitmaptest::SetPixel(current, x, y, c.changed);
        const uint64_t bits = BitsPerChannelForFormat(c.format);

        TempDir dir;
        const std::string base = dir.File("a.kqvle");
        Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
        memory.ResetPlanarPeakUsage();
        const uint64_t usage = memory.GetPlanarUsage(), peak = memory.GetPlanarPeakUsage();
        PNGExportParams params;
        WriteFailureImages(Kernel::String(base), current, baseline, params, uint32_t(bits), true);
        EXPECT_EQ(memory.GetPlanarUsage(), usage);
        EXPECT_EQ(memory.GetPlanarPeakUsage(), peak);
        for (auto [x, y] : changes) EXPECT_EQ(GetPixel(current, x, y), c.changed);

        // The reference: the heat map drawn over a copy of the whole render.
        const Raster::DynamicBitmap heat = current.Copy();
        DifferencesParams differences;
        differences.m_bitsPerChannel = uint32_t(bits);
        DifferenceBitmapsDispatch(heat, baseline, &differences);
        {
            Raster::PNGWriterRGBA8 writer(dir.File("reference.png").c_str(), width, height, Raster::ExportOptions());
            WriteBitmapPNGDispatch(writer, heat);
        }
        const bitmaptest::PNGImage image = ReadPNG(base + ".difference.png");
        const bitmaptest::PNGImage reference = ReadPNG(dir.File("reference.png"));
        ASSERT_TRUE(image.ok && reference.ok);
        EXPECT_EQ(image.height, height);
        EXPECT_TRUE(image.bytes == reference.bytes);
        // Float images have no range to scale by: their heat colour is black too.
        if (bits % 32 != 0) {
            for (auto [x, y] : changes) EXPECT_GT(image.At(x, y)[0] + image.At(x, y)[1], 0) << x << "," << y;
        }
        EXPECT_EQ(image.At(500, 100)[0] + image.At(500, 100)[1] + image.At(500, 100)[2], 0);
    }
}

// ---- Baseline load -------------------------------------------------------------------------

TEST_F(ParallelWork, ALoadedBaselineIsDecompressedOnceIntoItsBitmaps) {
    Kernel::Counted<DocumentController> document = Load(
        "quirevale-document 1\nformat ia16\nspread 300 600\nspread 20 20\nspread 129 257\nhistory\n"
        "  gradient 0 0 0 130 300 vertical 0.1 0 0.9 1\n  noise 0 0 0 300 600 8 0.1\n  fill 2 0 0 129 257 1 1\nend\n"
        "snapshot regression one\n  fill 1 0 0 3 3 1 1\nend\n");
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionRender> render = Kernel::MakeCounted<RegressionRender>(document);
    Kernel::Counted<RegressionBaseline> made = RegressionBaseline::Create(document, false);
    ASSERT_TRUE(made);
    const std::string data = made->Serialise();
    made.Reset();
    const std::string path = m_dir.File("unit.kqvle_baseline");
    std::ofstream(path, std::ios::binary) << data;

    for (unsigned threads : {1u, 8u}) {
        Parallelism parallelism(threads);
        const uint64_t planar = Raster::MemoryManager::Instance().GetPlanarUsage();
        auto item = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
        ASSERT_TRUE(item->Load(Kernel::String(path))) << item->GetLoadError();
        // The pixels are decompressed when first asked for, and kept: the same bitmaps each
        // time they are asked for, and equal to the render. Kept by the store they are not the engine's
        // planar memory; a spread handed out counts, with no more tiles than the render has
        // (the spread's empty cells and the second spread take none), while it is held.
        EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), planar);
        const RegressionRender& main = *item->m_content->GetRender();
        ASSERT_EQ(main.GetSpreadCount(), 3u);
        for (size_t s = 0; s < 3; ++s)
            EXPECT_EQ(main.GetSpreadBitmap(s).GetBitmap(), main.GetSpreadBitmap(s).GetBitmap()) << s;
        EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), planar);
        {
            // Spread 0: noise in all 9 intensity cells, the gradient's alpha in 4; spread 1:
            // nothing; spread 2: both channels of its 4 cells.
            const uint64_t tiles[] = {9 + 4, 0, 8};
            for (size_t s = 0; s < 3; ++s) {
                const Raster::DynamicBitmap held = main.GetSpreadBitmap(s), copy = held;
                EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage() - planar, tiles[s] * Raster::Tile::kBytes)
                    << s;
            }
            EXPECT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), planar);
        }
        ExpectSameTiles(main, *render, "main render");
    }

    // A damaged third spread is found when it is asked for, named by its own line; the others read.
    std::string damaged = data;
    const size_t third = damaged.find("spread 3 129 257");
    ASSERT_NE(third, std::string::npos);
    const size_t pixels = damaged.find('\n', third) + 30;
    damaged[pixels] = char(damaged[pixels] ^ 0x5a);
    std::string error;
    Kernel::Counted<RegressionBaseline> read = RegressionBaseline::Deserialise(damaged, error);
    ASSERT_TRUE(read) << error;
    EXPECT_TRUE(read->GetRender()->GetSpreadBitmap(0, &error)) << error;
    EXPECT_FALSE(read->GetRender()->GetSpreadBitmap(2, &error));
    EXPECT_EQ(error, "damaged at byte " + std::to_string(third) +
                         ": the compressed pixels do not decompress to the spread's size");

    // A file cut short after it was loaded, before the third spread's line: that spread says so.
    auto item = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
    ASSERT_TRUE(item->Load(Kernel::String(path))) << item->GetLoadError();
    std::filesystem::resize_file(path, third);
    EXPECT_FALSE(item->m_content->GetRender()->GetSpreadBitmap(2, &error));
    EXPECT_EQ(error, "damaged at byte " + std::to_string(third) +
                         ": the compressed pixels can't be read: the file ends before them");
}

// Tiles made on a thread that keeps its work out of the planar account are not charged, while
// those another thread makes at the same time are: a baseline spread inflating on the pool
// while the document is drawn leaves the document's charges as they would be. Such a spread is
// the same kept bitmap when its comparison asks for it, charged while it is held.
TEST_F(ParallelWork, APrefetchedSpreadLeavesOtherThreadsChargesAsTheyAre) {
    Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
    // 2 x 2 cells of 4 channels: 16 tiles.
    const uint64_t sixteenTiles = 16u * Raster::Tile::kBytes;
    auto charged = [] { return bitmaptest::Filled(Raster::kFormatRGBA8, 512, 512, {1, 2, 3, 4}); };
    {
        const uint64_t before = memory.GetPlanarUsage();
        std::mutex m;
        std::condition_variable cv;
        int step = 0;
        std::thread other([&] {
            Raster::MemoryManager::ThreadUnaccountedScope unaccounted;
            const Raster::DynamicBitmap own = charged();
            std::unique_lock<std::mutex> lock(m);
            step = 1;
            cv.notify_all();
            cv.wait(lock, [&] { return step == 2; });
        });
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return step == 1; });
            const Raster::DynamicBitmap mine = charged();
            EXPECT_EQ(memory.GetPlanarUsage() - before, sixteenTiles);
            step = 2;
            cv.notify_all();
        }
        other.join();
        EXPECT_EQ(memory.GetPlanarUsage(), before);
    }

    Kernel::Counted<DocumentController> document = Load(
        "quirevale-document 1\nformat rgba8\nspread 1000 600\nspread 40 30\nhistory\n"
        "  noise 0 0 0 1000 600 3 0.5\n  fill 1 0 0 40 30 0.5 0.5 0.5 1\nend\n");
    ASSERT_TRUE(document);
    Kernel::Counted<RegressionRender> render = Kernel::MakeCounted<RegressionRender>(document);
    Kernel::Counted<RegressionBaseline> made = RegressionBaseline::Create(document, false);
    ASSERT_TRUE(made);
    const std::string path = m_dir.File("prefetched.kqvle_baseline");
    std::ofstream(path, std::ios::binary) << made->Serialise();
    made.Reset();
    for (unsigned threads : {1u, 8u}) {
        Parallelism parallelism(threads);
        auto item = Kernel::MakeCounted<RegressionBaselineFileStoreItem>();
        ASSERT_TRUE(item->Load(Kernel::String(path))) << item->GetLoadError();
        const RegressionRender& main = *item->m_content->GetRender();
        const uint64_t before = memory.GetPlanarUsage();
        main.PrefetchFirstSpread(document);
        {
            const Raster::DynamicBitmap mine = charged();
            EXPECT_EQ(memory.GetPlanarUsage() - before, sixteenTiles) << threads << " threads";
        }
        {
            // 4 x 3 cells, with noise in every channel but alpha.
            const Raster::DynamicBitmap held = main.GetSpreadBitmap(0);
            EXPECT_EQ(held.GetBitmap(), main.GetSpreadBitmap(0).GetBitmap());
            EXPECT_EQ(memory.GetPlanarUsage() - before, (12u * 3u) * Raster::Tile::kBytes) << threads << " threads";
        }
        EXPECT_EQ(memory.GetPlanarUsage(), before);
        ExpectSameTiles(main, *render, std::to_string(threads) + " threads");
    }
}

TEST(FileRead, ReadsWholeFilesOfAnyKind) {
    TempDir dir;
    std::string big(200003, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = char(i * 7 + i / 300);
    const std::string path = dir.File("big");
    std::ofstream(path, std::ios::binary) << big;
    std::string read = "left over";
    ASSERT_TRUE(Kernel::FileSystem::ReadFile(Kernel::String(path), read));
    EXPECT_EQ(read, big);
    std::ofstream(dir.File("empty"), std::ios::binary).flush();
    ASSERT_TRUE(Kernel::FileSystem::ReadFile(Kernel::String(dir.File("empty")), read));
    EXPECT_TRUE(read.empty());
    // A file that tells no length reads to its end all the same.
    ASSERT_TRUE(Kernel::FileSystem::ReadFile(Kernel::String("/proc/self/status"), read));
    EXPECT_NE(read.find("\nPid:"), std::string::npos);
    EXPECT_FALSE(Kernel::FileSystem::ReadFile(Kernel::String(dir.File("missing")), read));
}

}  // namespace
