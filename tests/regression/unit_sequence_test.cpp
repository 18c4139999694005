// The unit test sequence in this process: metric rules, comparison messages and images,
// the skips, snapshots, undo and redo, update and nodump, the leak test and assertions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include <climits>

#include "Raster/Bitmap.h"
#include "Raster/Tile.h"
#include "DocSession/PersonaState.h"
#include "DocSession/PropertyCollections.h"
#include "Kernel/FileSystem.h"
#include "Raster/DynamicPixel.h"
#include "Raster/Tile.h"
#include "regression/Backend.h"
#include "regression/Regression.h"
#include "unit_test_support.h"

namespace {

using namespace unit_test;

class TestRegression : public Regression {
public:
    using Regression::Regression;
    using Regression::CheckRasterMemoryUsage;
    using Regression::CheckRenderPerformance;
    using Regression::CreateBaseline;
    using Regression::m_savedDocumentPath;
    using Regression::DeleteUnitImages;
    using Regression::FindBaselinePath;
    using Regression::LoadBaseline;
    using Regression::LoadUnit;
    using Regression::m_document;
    using Regression::m_metadata;
    using Regression::m_metadataDirty;
    using Regression::m_renderFailed;
    using Regression::RunMacroTest;
    using Regression::RunRenderComparison;
    using Regression::RunTilestoreTest;
    using Regression::SaveAndReloadDocument;
    using Regression::SaveMetadata;

    // Metrics as a unit's metric file would hold them.
    void SetMetrics(std::initializer_list<std::pair<const char*, const char*>> values) {
        m_metadata = Kernel::MakeCounted<RegressionMetadataFileStoreItem>();
        m_metadata->m_content = Kernel::MakeCounted<RegressionMetadata>();
        for (const auto& [key, value] : values)
            m_metadata->m_content->AddMetadataValueForKey(Kernel::String(key), Kernel::String(value));
    }
    std::vector<std::string> Metric(const char* key) const {
        std::vector<std::string> values;
        for (const Kernel::String& v : m_metadata->m_content->GetMetadataValuesForKey(Kernel::String(key)))
            values.push_back(v.ToStd());
        return values;
    }
};

struct Options {
    bool update = false, create = false, nodump = false, rendertimes = false, hardware = false;
};

struct UnitRun {
    bool passed = false;
    std::vector<std::string> lines;
};

class UnitSequence : public EngineTest {
protected:
    UnitRun RunUnit(const std::string& path, Options o = {}) {
        FailureReported = false;
        UnitRun run;
        run.lines = CaptureLines([&] {
            TestRegression regression(Kernel::String(path), o.update, o.create, o.nodump, o.rendertimes, o.hardware);
            run.passed = regression.Run();
        });
        PersonaController::GetInstance()->ShutdownPersona();  // as the executor does after every unit
        return run;
    }
    // Writes the unit and makes its baseline and metric file.
    std::string CreateUnit(const std::string& name, const std::string& text) {
        const std::string path = Write(name, text);
        UnitRun run = RunUnit(path, {.create = true});
        EXPECT_TRUE(run.passed);
        EXPECT_TRUE(fs::is_regular_file(path + "_baseline"));
        PinRenderTime(path);
        return path;
    }
    static void PinRenderTime(const std::string& unit) { unit_test::PinRenderTime(unit + "_baseline.metadata"); }
    void Rewrite(const std::string& path, const std::string& from, const std::string& to) {
        std::string text = ReadFile(path);
        size_t count = 0;
        for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size(), ++count)
            text.replace(at, from.size(), to);
        ASSERT_GT(count, 0u) << from;
        WriteFile(path, text);
    }
    std::vector<std::string> Pngs() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir.Path()))
            if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

const char kPoster[] =
    "quirevale-document 1\n"
    "format rgba8\n"
    "spread 120 80\n"
    "spread 40 30\n"
    "history\n"
    "  fill 0 0 0 120 80 0.25 0.5 0.75 1\n"
    "  gradient 1 0 0 40 30 vertical 0 0 0 1 1 1 1 1\n"
    "end\n"
    "snapshot regression Blue\n"
    "  fill 0 0 0 120 80 0 0 1 1\n"
    "end\n"
    "snapshot ignore Red\n"
    "  fill 0 0 0 120 80 1 0 0 1\n"
    "end\n"
    "macro\n"
    "  fill 0 0 0 120 80 0.25 0.5 0.75 1\n"
    "  gradient 1 0 0 40 30 vertical 0 0 0 1 1 1 1 1\n"
    "end\n";

TEST_F(UnitSequence, RenderPerformanceMargins) {
    struct Case {
        const char* stored;  // null: nothing recorded yet
        uint64_t current;
        std::vector<std::string> lines;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"100", 151, {"[FAIL]Slower: baseline: 100 ms, current: 151 ms"}, {"100"}},
        {"100", 150, {}, {"100"}},
        {"1000", 1090, {}, {"1000"}},
        {"1000", 1095, {}, {"1000"}},
        {"1000", 1100, {}, {"1000"}},  // exactly 10 % slower is not more than 10 %
        {"1000", 900, {}, {"1000"}},   // exactly 10 % faster is not more than 10 %
        {"1000", 1101, {"[FAIL]Slower: baseline: 1000 ms, current: 1101 ms"}, {"1000"}},
        {"100", 89, {"[INFO]Faster: baseline: 100 ms, current: 89 ms"}, {"89"}},
        {"100", 90, {}, {"100"}},
        {"200", 181, {}, {"200"}},
        {"200", 179, {"[INFO]Faster: baseline: 200 ms, current: 179 ms"}, {"179"}},
        {"8", 5, {}, {"8"}},
        {"0", 40, {}, {"0"}},
        {"0", 52, {"[FAIL]Slower: baseline: 1 ms, current: 52 ms"}, {"0"}},
        {"not a number", 51, {}, {"not a number"}},
        {nullptr, 7, {"[INFO]Baselined: 7 ms"}, {"7"}},
    };
    for (const Case& c : cases) {
        TestRegression regression(Kernel::String("u.kqvle"), false, false, false, false, false);
        if (c.stored) regression.SetMetrics({{"render performance", c.stored}});
        else regression.SetMetrics({});
        FailureReported = false;
        auto lines = CaptureLines([&] { regression.CheckRenderPerformance(Kernel::String("render performance"), c.current); });
        const std::string label = std::string(c.stored ? c.stored : "none") + " / " + std::to_string(c.current);
        EXPECT_EQ(lines, c.lines) << label;
        EXPECT_EQ(regression.Metric("render performance"), c.after) << label;
        EXPECT_EQ(regression.m_metadataDirty, c.after.front() != (c.stored ? c.stored : "")) << label;
        EXPECT_EQ(FailureReported, !c.lines.empty() && c.lines.front().rfind("[FAIL]", 0) == 0) << label;
    }
    // Without metadata nothing is said or changed.
    TestRegression bare(Kernel::String("u.kqvle"), false, false, false, false, false);
    EXPECT_TRUE(CaptureLines([&] { bare.CheckRenderPerformance(Kernel::String("render performance"), 999); }).empty());
    EXPECT_FALSE(bare.m_metadataDirty);
}

TEST_F(UnitSequence, RasterMemoryMargins) {
    {
        // Raise the planar peak well above the margin.
        Raster::DynamicBitmap big = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 2048, 2048);
        big.As<Raster::BitmapForFormat<Raster::kFormatRGBA8>>()->Fill(Raster::PixelRGBA8(1, 2, 3, 4));
    }
    const uint64_t peak = Raster::MemoryManager::Instance().GetPlanarPeakUsage();
    ASSERT_GT(peak, 3932161u);
    const std::string p = std::to_string(peak);
    struct Case {
        std::optional<std::string> stored;
        std::vector<std::string> lines;
        std::string after;
    };
    const Case cases[] = {
        {std::to_string(peak - 3932160), {}, std::to_string(peak - 3932160)},
        {std::to_string(peak - 3932161),
         {"[FAIL]Increased: baseline: " + std::to_string(peak - 3932161) + " bytes, current: " + p + " bytes"},
         std::to_string(peak - 3932161)},
        {p, {}, p},
        {std::to_string(peak + 1), {"[INFO]Improved: baseline: " + std::to_string(peak + 1) + " bytes, current: " + p + " bytes"}, p},
        {"junk", {"[FAIL]Increased: baseline: 0 bytes, current: " + p + " bytes"}, "junk"},
        {std::nullopt, {"[INFO]Baselined: " + p + " bytes"}, p},
    };
    for (const bool hardware : {false, true}) {
        const std::string key = hardware ? "raster planar peak usage (hardware)" : "raster planar peak usage";
        for (const Case& c : cases) {
            TestRegression regression(Kernel::String("u.kqvle"), false, false, false, false, hardware);
            if (hardware) regression.SetMetrics({{"raster planar peak usage", "5"}});
            else regression.SetMetrics({});
            if (c.stored) regression.m_metadata->m_content->AddMetadataValueForKey(Kernel::String(key), Kernel::String(*c.stored));
            auto lines = CaptureLines([&] { regression.CheckRasterMemoryUsage(); });
            std::vector<std::string> expected{"[START]Raster memory usage"};
            expected.insert(expected.end(), c.lines.begin(), c.lines.end());
            expected.push_back("[END]");
            EXPECT_EQ(lines, expected) << key << " " << c.stored.value_or("none");
            EXPECT_EQ(regression.Metric(key.c_str()).back(), c.after);
            if (hardware) {
                EXPECT_EQ(regression.Metric("raster planar peak usage"), std::vector<std::string>{"5"});
            }
        }
    }
    // After a failed render comparison, and without metadata, not even the section is written.
    TestRegression failed(Kernel::String("u.kqvle"), false, false, false, false, false);
    failed.SetMetrics({});
    failed.m_renderFailed = true;
    TestRegression bare(Kernel::String("u.kqvle"), false, false, false, false, false);
    EXPECT_TRUE(CaptureLines([&] { failed.CheckRasterMemoryUsage(), bare.CheckRasterMemoryUsage(); }).empty());
}

TEST_F(UnitSequence, CompareMessages) {
    struct Case {
        bool mismatch;
        int32_t spread, maxChannelDifference, differingPixels, bitsPerChannel;
        std::string baselineError, text;
    };
    const Case cases[] = {
        {true, -1, 0, 0, 0, "", "Spread count mismatch"},
        {true, 2, 5, 0, 0, "", "Spread count mismatch"},
        {false, 0, 1, 1, 16, "", "Pixel diff count: 1, max channel diff: 1 (16 bit), spread: 0"},
        {false, 3, 0, 0, 0, "", "Pixel diff count: 0, max channel diff: 0 (0 bit), spread: 3"},
        {false, -1, 255, 1234567, 8, "", "Pixel diff count: 1234567, max channel diff: 255 (8 bit)"},
        {false, 2, 0, 0, 0, "damaged at byte 91: the compressed pixels are cut short",
         "Baseline spread 2 can't be read: damaged at byte 91: the compressed pixels are cut short"},
    };
    for (const Case& c : cases) {
        RenderCompareResult result;
        result.spreadCountMismatch = c.mismatch;
        result.spread = c.spread;
        result.maxChannelDifference = c.maxChannelDifference;
        result.differingPixels = c.differingPixels;
        result.bitsPerChannel = c.bitsPerChannel;
        result.baselineError = c.baselineError;
        EXPECT_EQ(Regression::FormatCompareMessage(result).ToStd(), c.text);
    }
}

TEST_F(UnitSequence, OnlyTheUnitsOwnImagesAreDeleted) {
    struct Case {
        const char* name;
        bool image;
    };
    const Case cases[] = {
        {"a.kqvle.failure.png", true},          {"a.kqvle.baseline.png", true},
        {"a.kqvle.difference.png", true},       {"a.kqvle.undo-redo.failure.png", true},
        {"a.kqvle.macro.baseline.png", true},   {"a.kqvle.tilestore.difference.png", true},
        {"a.kqvle.snapshot-12.failure.png", true},  // left by a baseline that had more snapshots
        {"a.kqvle.v2.kqvle.failure.png", false}, {"a.kqvle.v2.kqvle.macro.failure.png", false},
        {"a.kqvle.snapshot-0.failure.png", false}, {"a.kqvle.snapshot-.failure.png", false},
        {"a.kqvle.snapshot-1x.failure.png", false}, {"a.kqvle.png", false},
        {"a.kqvle..failure.png", false},         {"a.kqvle.failure.png.txt", false},
        {"a.kqvle_baseline", false},             {"b.kqvle.failure.png", false},
        {"xa.kqvle.failure.png", false},         {"a.kqvle.notes.failure.png", false},
        {"a.kqvle_baseline.png", false},  // a user's, however like an image's the rest of its name is
        {"a.kqvle.snapshot-1_failure.png", false},
    };
    fs::create_directories(m_dir.Path() / "sub");
    for (const Case& c : cases) {
        WriteFile(m_dir.Path() / "sub" / c.name, "x");
    }
    fs::create_directories(m_dir.Path() / "sub/a.kqvle.macro.failure.png");  // a folder is never deleted
    TestRegression regression(Kernel::String(Path("sub/a.kqvle")), false, false, false, false, false);
    regression.DeleteUnitImages();
    for (const Case& c : cases) EXPECT_EQ(fs::exists(m_dir.Path() / "sub" / c.name), !c.image) << c.name;
    EXPECT_TRUE(fs::is_directory(m_dir.Path() / "sub/a.kqvle.macro.failure.png"));
}

TEST_F(UnitSequence, MemoryLeakTestReportsTheFirstKindHeld) {
    ASSERT_EQ(Raster::MemoryManager::Instance().GetPlanarUsage(), 0u);
    ASSERT_EQ(Raster::MemoryManager::Instance().GetCompressedUsage(), 0u);
    ASSERT_EQ(Raster::MemoryManager::Instance().GetBackstoreUsage(), 0u);
    struct Case {
        bool planar, compressed, backstore;
        const char* kind;  // of the one failure line, or null
    };
    const Case cases[] = {
        {false, false, false, nullptr},    {true, false, false, "planar"},     {false, true, false, "compressed"},
        {false, false, true, "backstore"}, {true, true, false, "planar"},      {false, true, true, "compressed"},
        {true, true, true, "planar"},
    };
    for (const Case& c : cases) {
        Raster::DynamicBitmap bitmap = Raster::DynamicBitmap::Create(Raster::kFormatRGBA8, 10, 10);
        bitmap.As<Raster::BitmapForFormat<Raster::kFormatRGBA8>>()->SetPixel(1, 1, Raster::PixelRGBA8(1, 1, 1, 1));
        Kernel::Counted<StoredSpread> stored = c.compressed ? StoredSpread::FromBitmap(bitmap) : Kernel::Counted<StoredSpread>();
        Kernel::Counted<DocEngine::TileBlock> block = c.backstore ? Kernel::MakeCounted<DocEngine::TileBlock>() : Kernel::Counted<DocEngine::TileBlock>();
        if (!c.planar) bitmap = Raster::DynamicBitmap();
        const uint64_t held[] = {Raster::MemoryManager::Instance().GetPlanarUsage(), Raster::MemoryManager::Instance().GetCompressedUsage(),
                                 Raster::MemoryManager::Instance().GetBackstoreUsage()};
        bool passed = false;
        auto lines = CaptureLines([&] { passed = RunMemoryLeakTest(); });
        std::vector<std::string> expected{"[START]Memory leak test"};
        if (c.kind) {
            const uint64_t bytes = std::string(c.kind) == "planar" ? held[0] : std::string(c.kind) == "compressed" ? held[1] : held[2];
            EXPECT_GT(bytes, 0u);
            expected.push_back("[FAIL]" + std::to_string(bytes) + " bytes of " + c.kind + " memory leaked");
        }
        expected.push_back("[END]");
        EXPECT_EQ(lines, expected);
        EXPECT_EQ(passed, c.kind == nullptr);
    }
}

TEST_F(UnitSequence, AssertionsFailTheOpenTestOrPrintAPlainLine) {
    TestRegression regression(Kernel::String("u.kqvle"), false, false, false, false, false);
    auto lines = CaptureLines([] {
        KERNEL_ASSERT(1 + 1 == 3);
        Kernel::ReportAssertion("f.cpp", 4294967295u, "x");
        RegressionLogSection section(Kernel::String("Render comparison"));
        Kernel::ReportAssertion("g.cpp", 12, "y < 2");
    });
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].rfind("Assert: ", 0), 0u);
    EXPECT_NE(lines[0].find("unit_sequence_test.cpp:"), std::string::npos);
    EXPECT_NE(lines[0].find(" (1 + 1 == 3)"), std::string::npos);
    EXPECT_EQ(lines[1], "Assert: f.cpp:-1 (x)");
    EXPECT_EQ(lines[3], "[FAIL]Assert: g.cpp:12 (y < 2)");
    EXPECT_TRUE(FailureReported);
}

TEST_F(UnitSequence, PassingRunRecordsRedoneCommands) {
    const std::string unit = CreateUnit("poster.kqvle", kPoster);
    UnitRun run = RunUnit(unit, {.rendertimes = true});
    EXPECT_TRUE(run.passed);
    auto performance = Section(run.lines, "Render performance");
    ASSERT_TRUE(performance);
    ASSERT_EQ(performance->size(), 1u);
    EXPECT_EQ(performance->front().rfind("[INFO]Faster: baseline: 1000000 ms, current: ", 0), 0u);
    EXPECT_EQ(Section(run.lines, "Redo test"),
              (std::vector<std::string>{"[COMMAND]FillCommand|Fill", "[COMMAND]GradientCommand|Gradient"}));
    EXPECT_EQ(Section(run.lines, "Undo test"), std::vector<std::string>{});
    auto render = Section(run.lines, "Render comparison");
    ASSERT_TRUE(render);
    ASSERT_EQ(render->size(), 1u);
    EXPECT_EQ(render->front().rfind("[INFO]Render time: ", 0), 0u);
    EXPECT_EQ(SectionNames(run.lines),
              (std::vector<std::string>{"Find Baseline", "Load baseline", "Load unit", "Save document",
                                        "Refcount leak test", "Reload document", "Snapshot render comparison 1/1 (Blue)",
                                        "Render comparison", "Render performance", "Undo test", "Redo test",
                                        "Post-undo-redo render comparison", "Macro test",
                                        "Post-macro-playback render comparison", "Tilestore optimisation comparison",
                                        "Teardown test", "Post-teardown save test", "Raster memory usage",
                                        "Save metadata", "Close document"}));
    // The copies lie in the process's own folder below TMPDIR, never in TMPDIR itself.
    const fs::path own = Kernel::FileSystem::GetTemporaryDirectory().ToStd();
    EXPECT_EQ(own.parent_path(), m_dir.Path());
    EXPECT_TRUE(fs::is_regular_file(own / "test.persona"));
    // The teardown leaves the copy no history at all.
    const std::string torn = ReadFile(own / "post_teardown_test.persona");
    EXPECT_NE(torn.find("\nhistory\nend\nposition 0\n"), std::string::npos) << torn;
    EXPECT_FALSE(fs::exists(Path("test.persona")));
    EXPECT_FALSE(fs::exists(Path("post_teardown_test.persona")));
}

// A save that fails is a failure naming the file and the reason. A failed copy of the unit is
// never reloaded (the run ends there), and a baseline or metric file not saved fails its test.
TEST_F(UnitSequence, FailedSavesNameThePathAndTheReason) {
    const std::string unit = CreateUnit("poster.kqvle", kPoster);
    EngineFaults::Faults full;
    full.full = true;
    EngineFaults::SetForTesting(full);
    UnitRun run = RunUnit(unit);
    EngineFaults::SetForTesting({});
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(SectionNames(run.lines), (std::vector<std::string>{"Find Baseline", "Load baseline", "Load unit",
                                                                 "Save document", "Close document"}));
    const std::string copy = (fs::path(Kernel::FileSystem::GetTemporaryDirectory().ToStd()) / "test.persona").string();
    EXPECT_EQ(Section(run.lines, "Save document"),
              std::vector<std::string>{"[FAIL]Could not save " + copy +
                                       ": cannot write the file: No space left on device"});

    // A folder where the baseline or the metric file should go.
    fs::create_directory(Path("metrics"));
    std::vector<std::string> lines = CaptureLines([&] {
        TestRegression regression(Kernel::String(unit), false, false, false, false, false);
        regression.SetMetrics({{"render performance", "5"}});
        EXPECT_FALSE(regression.SaveMetadata(Kernel::String(Path("metrics"))));
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"[START]Save metadata",
                                               "[FAIL]Could not save " + Path("metrics") +
                                                   ": cannot move the finished file into place: Is a directory",
                                               "[END]"}));
    fs::remove(unit + "_baseline");
    fs::create_directory(unit + "_baseline");
    run = RunUnit(unit, {.create = true});
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(Section(run.lines, "Create baseline"),
              std::vector<std::string>{"[FAIL]Could not save " + unit +
                                       "_baseline: cannot move the finished file into place: Is a directory"});
    EXPECT_FALSE(Contains(SectionNames(run.lines), "Render comparison"));
    // Nothing half-written is left beside the targets.
    for (const auto& entry : fs::directory_iterator(m_dir.Path()))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}

TEST_F(UnitSequence, EmptyHistoryHasNoUndoRedoOrTeardown) {
    const std::string unit = CreateUnit("base.kqvle",
                                        "quirevale-document 1\nformat ia16\nspread 30 30\nbase\n  fill 0 0 0 9 9 1 1\nend\n");
    UnitRun run = RunUnit(unit);
    EXPECT_TRUE(run.passed);
    const std::vector<std::string> names = SectionNames(run.lines);
    for (const char* absent : {"Undo test", "Redo test", "Post-undo-redo render comparison", "Macro test",
                               "Teardown test", "Post-teardown save test"})
        EXPECT_FALSE(Contains(names, absent)) << absent;
    EXPECT_TRUE(Contains(names, "Tilestore optimisation comparison"));
}

// A flat spread of four tile columns has sixteen alike blocks (four planes): the tilestore step
// keeps one, and the document still renders as its baseline.
TEST_F(UnitSequence, TilestoreStepReleasesIdenticalTiles) {
    const std::string unit = CreateUnit(
        "flat.kqvle", "quirevale-document 1\nformat rgba8\nspread 1024 256\nhistory\n  fill 0 0 0 1024 256 1 1 1 1\nend\n");
    const Raster::MemoryManager& memory = Raster::MemoryManager::Instance();
    uint64_t before = 0, after = 0;
    auto lines = CaptureLines([&] {
        TestRegression regression(Kernel::String(unit), false, false, false, false, false);
        if (!regression.LoadBaseline(regression.FindBaselinePath()) || !regression.LoadUnit()) return;
        regression.RunRenderComparison();
        before = memory.GetBackstoreUsage();
        regression.RunTilestoreTest();
        after = memory.GetBackstoreUsage();
    });
    EXPECT_EQ(before - after, 15u * DocEngine::TileBlock::kBytes);
    EXPECT_EQ(Section(lines, "Tilestore optimisation comparison"), std::vector<std::string>{});
    EXPECT_FALSE(FailureReported);
}

TEST_F(UnitSequence, AFailedRenderSkipsTheLaterComparisons) {
    const std::string unit = CreateUnit("poster.kqvle", kPoster);
    const std::string metrics = ReadFile(unit + "_baseline.metadata");
    Rewrite(unit, "fill 0 0 0 120 80 0.25 0.5 0.75 1", "fill 0 0 0 120 80 0.25 0.5 0.8 1");
    UnitRun run = RunUnit(unit, {.rendertimes = true});
    EXPECT_FALSE(run.passed);
    // Blue 0.75 is 191 and 0.8 is 204: all 120 by 80 pixels of spread 0 differ by 13.
    auto render = Section(run.lines, "Render comparison");
    ASSERT_TRUE(render);
    ASSERT_EQ(render->size(), 2u);
    EXPECT_EQ(render->at(0), "[FAIL]Pixel diff count: 9600, max channel diff: 13 (8 bit), spread: 0");
    EXPECT_EQ(render->at(1).rfind("[INFO]Render time: ", 0), 0u);
    const std::vector<std::string> names = SectionNames(run.lines);
    for (const char* absent : {"Render performance", "Post-undo-redo render comparison",
                               "Post-macro-playback render comparison", "Tilestore optimisation comparison",
                               "Raster memory usage", "Save metadata"})
        EXPECT_FALSE(Contains(names, absent)) << absent;
    for (const char* present : {"Undo test", "Redo test", "Macro test", "Teardown test", "Post-teardown save test"})
        EXPECT_TRUE(Contains(names, present)) << present;
    EXPECT_EQ(Pngs(), (std::vector<std::string>{"poster.kqvle.baseline.png", "poster.kqvle.difference.png",
                                                "poster.kqvle.failure.png"}));
    EXPECT_EQ(ReadFile(unit + "_baseline.metadata"), metrics);
}

// Memory that runs out in a test of the unit's document, or in a comparison of it, leaves the
// document as no comparison may judge: those after it are skipped. A snapshot's document is
// its own. The unit's renders: two of the snapshot, two for the render comparison, then one for
// each comparison after a change.
TEST_F(UnitSequence, MemoryRunningOutInATestSkipsTheLaterComparisons) {
    const std::string snapshot = "Snapshot render comparison 1/1 (Blue)", render = "Render comparison",
                      undoRedo = "Post-undo-redo render comparison", macro = "Post-macro-playback render comparison",
                      tilestore = "Tilestore optimisation comparison";
    struct Case {
        const char* fault;
        std::string test;  // the one that fails
        std::vector<std::string> comparisons;
    };
    const Case cases[] = {
        {"nomemory:undo", "Undo test", {snapshot, render}},
        {"nomemory:redo", "Redo test", {snapshot, render}},
        {"nomemory:macro", "Macro test", {snapshot, render, undoRedo}},
        {"nomemory:tilestore", "Tilestore optimisation", {snapshot, render, undoRedo, macro}},
        {"nomemory:render", snapshot, {snapshot, render, undoRedo, macro, tilestore}},
        {"nomemory:render:3", render, {snapshot, render}},
        {"nomemory:render:5", undoRedo, {snapshot, render, undoRedo}},
        {"nomemory:render:6", macro, {snapshot, render, undoRedo, macro}},
        {"nomemory:teardown", "Teardown test", {snapshot, render, undoRedo, macro, tilestore}},
    };
    const std::string unit = CreateUnit("poster.kqvle", kPoster);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        EngineFaults::SetForTesting(EngineFaults::Parse(c.fault));
        const UnitRun run = RunUnit(unit);
        EngineFaults::SetForTesting({});
        EXPECT_FALSE(run.passed);
        EXPECT_EQ(Section(run.lines, c.test),
                  std::vector<std::string>{"[FAIL]out of memory: an allocation that does not say what it was for"});
        std::vector<std::string> comparisons;
        for (const std::string& name : SectionNames(run.lines))
            if (name.find("comparison") != std::string::npos) comparisons.push_back(name);
        EXPECT_EQ(comparisons, c.comparisons);
        // After a test of the unit's document ran out, its memory use is not judged either.
        EXPECT_EQ(Contains(SectionNames(run.lines), "Raster memory usage"), c.test == snapshot);
        for (const char* test : {"Undo test", "Redo test", "Macro test", "Teardown test"})
            EXPECT_TRUE(Contains(SectionNames(run.lines), test)) << test;
    }
}

TEST_F(UnitSequence, NothingBuildsOnAStepThatRanOutOfMemory) {
    const std::vector<std::string> ranOut{"[FAIL]out of memory: an allocation that does not say what it was for"};
    // A baseline that could not be made ends the run: there is none to load.
    const std::string unit = Write("poster.kqvle", kPoster);
    EngineFaults::SetForTesting(EngineFaults::Parse("nomemory:render"));
    const UnitRun run = RunUnit(unit, {.create = true});
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(Section(run.lines, "Create baseline"), ranOut);
    EXPECT_FALSE(Contains(SectionNames(run.lines), "Load baseline"));
    EXPECT_FALSE(fs::exists(unit + "_baseline"));

    // The macro is not played over a history that did not go back to its start.
    EngineFaults::SetForTesting(EngineFaults::Parse("nomemory:undo"));
    int32_t entries = 0;
    const std::vector<std::string> lines = CaptureLines([&] {
        TestRegression regression(Kernel::String(unit), false, false, false, false, false);
        ASSERT_TRUE(regression.LoadUnit());
        regression.RunMacroTest();
        entries = regression.m_document->GetDocumentHistory().GetSize();
    });
    EXPECT_EQ(Section(lines, "Macro test"), ranOut);
    EXPECT_EQ(entries, 2);
}

TEST_F(UnitSequence, SnapshotComparisons) {
    const std::string unit = CreateUnit("poster.kqvle", kPoster);
    // A second wanted snapshot: the comparisons are skipped with a note, and the unit passes.
    Rewrite(unit, "snapshot ignore Red", "snapshot regression Red");
    UnitRun run = RunUnit(unit);
    EXPECT_TRUE(run.passed);
    EXPECT_EQ(Section(run.lines, "Snapshot render comparison"),
              std::vector<std::string>{"[INFO]Skipped: baseline has 1 snapshots, unit has 2"});
    EXPECT_FALSE(Contains(SectionNames(run.lines), "Snapshot render comparison 1/2 (Blue)"));

    // A changed snapshot fails the unit but not the render: the later comparisons still run.
    Rewrite(unit, "snapshot regression Red", "snapshot ignore Red");
    Rewrite(unit, "fill 0 0 0 120 80 0 0 1 1", "fill 0 0 0 120 80 0 0 0.5 1");
    run = RunUnit(unit);
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(Section(run.lines, "Snapshot render comparison 1/1 (Blue)"),
              std::vector<std::string>{"[FAIL]Pixel diff count: 9600, max channel diff: 127 (8 bit), spread: 0"});
    for (const char* present : {"Render performance", "Post-undo-redo render comparison",
                                "Tilestore optimisation comparison", "Raster memory usage"})
        EXPECT_TRUE(Contains(SectionNames(run.lines), present)) << present;
    EXPECT_EQ(Pngs(), (std::vector<std::string>{"poster.kqvle.snapshot-1.baseline.png",
                                                "poster.kqvle.snapshot-1.difference.png",
                                                "poster.kqvle.snapshot-1.failure.png"}));
}

TEST_F(UnitSequence, SpreadsThatDoNotMatch) {
    const std::string spreads =
        "quirevale-document 1\nformat rgba8\nspread 50 40\nspread 30 20\nspread 60 10\nhistory\n"
        "  fill 0 0 0 50 40 0.5 0.5 0.5 1\n  fill 1 0 0 30 20 0.5 0.5 0.5 1\n  fill 2 0 0 60 10 0.5 0.5 0.5 1\nend\n";
    const std::string unit = CreateUnit("spreads.kqvle", spreads);

    // Spreads 0 and 2 differ: the first is named, and only its images are written.
    Rewrite(unit, "fill 0 0 0 50 40 0.5 0.5 0.5 1", "fill 0 0 0 50 40 0.5 0.5 0.6 1");
    Rewrite(unit, "fill 2 0 0 60 10 0.5 0.5 0.5 1", "fill 2 0 0 60 10 0.6 0.5 0.5 1");
    UnitRun run = RunUnit(unit);
    EXPECT_EQ(Section(run.lines, "Render comparison"),
              std::vector<std::string>{"[FAIL]Pixel diff count: 2000, max channel diff: 25 (8 bit), spread: 0"});
    EXPECT_EQ(ReadPNG(Path("spreads.kqvle.failure.png")).width, 50);
    EXPECT_EQ(Pngs().size(), 3u);

    // A spread of another size: no pixel comparison; the difference image is the current render.
    WriteFile(unit, spreads);
    Rewrite(unit, "spread 50 40", "spread 70 40");
    run = RunUnit(unit);
    EXPECT_EQ(Section(run.lines, "Render comparison"),
              std::vector<std::string>{"[FAIL]Pixel diff count: 0, max channel diff: 0 (0 bit), spread: 0"});
    const Image baseline = ReadPNG(Path("spreads.kqvle.baseline.png"));
    const Image failure = ReadPNG(Path("spreads.kqvle.failure.png"));
    const Image difference = ReadPNG(Path("spreads.kqvle.difference.png"));
    EXPECT_EQ(baseline.width, 50);
    EXPECT_EQ(failure.width, 70);
    EXPECT_EQ(difference.width, 70);
    EXPECT_EQ(difference.rgba, failure.rgba);

    // A spread more than the baseline: no images at all.
    for (const std::string& png : Pngs()) fs::remove(Path(png));
    WriteFile(unit, spreads);
    Rewrite(unit, "spread 60 10\n", "spread 60 10\nspread 5 5\n");
    run = RunUnit(unit);
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(Section(run.lines, "Render comparison"), std::vector<std::string>{"[FAIL]Spread count mismatch"});
    EXPECT_TRUE(Pngs().empty());
}

// A baseline spread is decompressed only when it is compared: one whose pixels are damaged
// costs nothing, and fails nothing, where the unit does not compare it.
TEST_F(UnitSequence, SpreadsThatAreNotComparedAreNeverDecompressed) {
    struct Case {
        const char* what;
        const char* render;  // the line of the render whose first spread is damaged
        const char* from;    // a change to the unit
        const char* to;
        Options options;
        bool passed;
        const char* section;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"a snapshot whose comparison is skipped", "snapshot 2", "snapshot ignore Red", "snapshot regression Red", {},
         true, "Snapshot render comparison", {"[INFO]Skipped: baseline has 1 snapshots, unit has 2"}},
        {"a spread of another size", "main 2", "spread 120 80", "spread 121 80", {.nodump = true}, false,
         "Render comparison", {"[FAIL]Pixel diff count: 0, max channel diff: 0 (0 bit), spread: 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Path("poster.kqvle_baseline"));
        const std::string unit = CreateUnit("poster.kqvle", kPoster);
        std::string baseline = ReadFile(unit + "_baseline");
        const size_t line = baseline.find(std::string("\n") + c.render + "\nspread ");
        ASSERT_NE(line, std::string::npos);
        const size_t end = baseline.find('\n', line + std::strlen(c.render) + 2);
        const size_t length = std::stoull(baseline.substr(baseline.rfind(' ', end) + 1, end));
        baseline[end + 1 + length / 2] = char(baseline[end + 1 + length / 2] ^ 0x5a);
        WriteFile(unit + "_baseline", baseline);
        Rewrite(unit, c.from, c.to);
        UnitRun run = RunUnit(unit, c.options);
        EXPECT_EQ(run.passed, c.passed);
        EXPECT_EQ(Section(run.lines, c.section), c.lines);
    }
}

TEST_F(UnitSequence, OneChannelOffByOneIn16Bit) {
    const std::string unit = CreateUnit(
        "deep.ktavika", "quirevale-document 1\nformat rgba16\nspread 8 8\nhistory\n  fill 0 0 0 8 8 0.5 0.5 0.5 1\nend\n");
    char red[64];
    std::snprintf(red, sizeof red, "%.17g", 32769.0 / 65535.0);  // one step above 0.5's 32768
    Rewrite(unit, "end\n", std::string("  fill 0 3 3 1 1 ") + red + " 0.5 0.5 1\nend\n");
    UnitRun run = RunUnit(unit);
    EXPECT_EQ(Section(run.lines, "Render comparison"),
              std::vector<std::string>{"[FAIL]Pixel diff count: 1, max channel diff: 1 (16 bit), spread: 0"});
}

TEST_F(UnitSequence, CreateUpdateAndNodump) {
    const std::string unit = Write("poster.kqvle", kPoster);
    // No baseline and no create: one failure, nothing else.
    UnitRun run = RunUnit(unit);
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"[START]Find Baseline", "[FAIL]", "[END]"}));
    CreateUnit("poster.kqvle", kPoster);
    run = RunUnit(unit, {.create = true});
    EXPECT_TRUE(run.passed);
    EXPECT_TRUE(run.lines.empty());

    // Old images of this unit go at the start of a run; with nodump, only when it passes.
    for (const char* png : {"poster.kqvle.failure.png", "poster.kqvle.macro.difference.png"}) WriteFile(Path(png), "x");
    run = RunUnit(unit, {.nodump = true});
    EXPECT_TRUE(run.passed);
    EXPECT_TRUE(Pngs().empty());
    Rewrite(unit, "0.25 0.5 0.75 1", "0.25 0.5 0.7 1");
    WriteFile(Path("poster.kqvle.failure.png"), "x");
    run = RunUnit(unit, {.nodump = true});
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(Pngs(), std::vector<std::string>{"poster.kqvle.failure.png"});
    EXPECT_EQ(ReadFile(Path("poster.kqvle.failure.png")), "x");

    // Update writes no images, re-baselines after the redo test, and still fails this run.
    run = RunUnit(unit, {.update = true});
    EXPECT_FALSE(run.passed);
    EXPECT_TRUE(Pngs().empty());
    const std::vector<std::string> names = SectionNames(run.lines);
    auto at = [&](const char* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_EQ(at("Create baseline"), at("Redo test") + 1);
    EXPECT_EQ(at("Macro test"), at("Create baseline") + 1);
    PinRenderTime(unit);
    EXPECT_TRUE(RunUnit(unit).passed);
}

TEST_F(UnitSequence, HardwareRuns) {
    const std::string unit = CreateUnit("poster.kqvle", kPoster);
    // No rendering device: the GPU check fails and nothing else runs.
    UnitRun run = RunUnit(unit, {.hardware = true});
    EXPECT_FALSE(run.passed);
    EXPECT_EQ(run.lines, (std::vector<std::string>{"[START]GPU Check", "[FAIL]", "[END]"}));

    Raster::HardwareDevice device;
    Raster::Hardware<Raster::DefaultImplementation>::SetDevice(&device);
    run = RunUnit(unit, {.hardware = true});
    EXPECT_TRUE(run.passed);
    const std::string metrics = ReadFile(unit + "_baseline.metadata");
    EXPECT_NE(metrics.find("\nrender performance (hardware)\t"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\nraster planar peak usage (hardware)\t"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("\nrender performance\t"), std::string::npos) << metrics;
    // With only the software baseline, an update writes the hardware one beside it.
    const std::string software = ReadFile(unit + "_baseline");
    Rewrite(unit, "0.25 0.5 0.75 1", "0.25 0.5 0.7 1");
    run = RunUnit(unit, {.update = true, .hardware = true});
    Raster::Hardware<Raster::DefaultImplementation>::SetDevice(nullptr);
    EXPECT_FALSE(run.passed);
    EXPECT_TRUE(fs::is_regular_file(unit + "_baseline_hw"));
    EXPECT_EQ(ReadFile(unit + "_baseline"), software);
}

TEST_F(UnitSequence, AnotherHoldOnTheDocumentFailsTheRefcountTest) {
    const std::string unit = Write("poster.kqvle", kPoster);
    bool reloaded = false, replaced = false;
    auto lines = CaptureLines([&] {
        TestRegression regression(Kernel::String(unit), false, false, false, false, false);
        if (!regression.LoadUnit()) return;
        Kernel::Counted<DocumentController> extra = regression.m_document;
        reloaded = regression.SaveAndReloadDocument();
        replaced = regression.m_document.Get() != extra.Get();
    });
    EXPECT_TRUE(reloaded);
    EXPECT_TRUE(replaced);
    EXPECT_EQ(Section(lines, "Refcount leak test"), std::vector<std::string>{"[FAIL]"});
}

TEST_F(UnitSequence, BaselineCreationChecksItsReload) {
    bool created = true;
    auto lines = CaptureLines([&] {
        TestRegression regression(Kernel::String(Path("gone.kqvle")), false, true, false, false, false);
        regression.m_savedDocumentPath = Kernel::String(Path("test.persona"));  // never written
        created = regression.CreateBaseline(false);
    });
    EXPECT_FALSE(created);
    EXPECT_EQ(lines, (std::vector<std::string>{"[START]Create baseline", "[FAIL]", "[END]"}));
    EXPECT_FALSE(fs::exists(Path("gone.kqvle_baseline")));
}

TEST_F(UnitSequence, ADescriptionCannotForgeARecord) {
    const std::string unit = CreateUnit(
        "forged.kqvle", "quirevale-document 1\nformat ia8\nspread 4 4\nsnapshot regression x\r[FAIL]forged\r\r\n"
                        "  fill 0 0 0 4 4 1 1\nend\n");
    UnitRun run = RunUnit(unit);
    EXPECT_TRUE(run.passed);
    // The reloaded copy keeps the description's carriage returns, which the record shows as blanks.
    EXPECT_TRUE(Section(run.lines, "Snapshot render comparison 1/1 (x [FAIL]forged )"));
    for (const std::string& line : run.lines) EXPECT_NE(line.rfind("[FAIL]", 0), 0u) << line;
}

}  // namespace

namespace {

using namespace unit_test;

TEST(UnitExecutor, DefaultMemoryIsAtLeastOneGigabyte) {
    const std::pair<uint64_t, int> cases[] = {
        {0, 1024}, {uint64_t(512) << 20, 1024}, {uint64_t(1) << 30, 1024}, {(uint64_t(1) << 30) + (1 << 20), 1025},
        {uint64_t(16) << 30, 16384}, {uint64_t(1) << 62, INT_MAX},
    };
    for (const auto& [bytes, mib] : cases) EXPECT_EQ(DefaultRamMiB(bytes), mib) << bytes;
}

class Backend : public EngineTest {};

TEST_F(Backend, StartUpHandsTheOptionsToTheEngine) {
    const char* argv[] = {"quirevale", "--ram", "512", "-cpus", "3", "--perfect", "--hardware", "regressionunit"};
    Kernel::CommandLineArguments arguments(8, argv);
    testing::internal::CaptureStderr();
    auto lines = CaptureLines([&] { InitBackend(arguments, Kernel::String(Path("Resources")), Kernel::String(Path("tmp"))); });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(err, "Error! Failed to load default CMYK profile: " + Path("Resources/USWebCoatedSWOP.icc") + "\n");
    PersonaController* persona = PersonaController::GetInstance();
    const DocEngine::PersonaState* state = persona->GetPersonaState();
    ASSERT_TRUE(state);
    EXPECT_TRUE(state->initialised);
    EXPECT_EQ(state->name.ToStd(), "Regression");
    EXPECT_EQ(state->ramMiB, 512);
    EXPECT_EQ(state->cpus, 3);
    EXPECT_EQ(state->historyMiB, 8192);
    EXPECT_EQ(state->tileCacheMiB, 1024);
    EXPECT_EQ(state->screenDPI, 96.0);
    EXPECT_TRUE(state->hardwareRendering);
    EXPECT_EQ(state->scratchFolder.ToStd(), Path("tmp/7E15CF93-B21C-4F36-9EE3-3B8CCA88A2DA"));
    EXPECT_EQ(state->resourcesFolder.ToStd(), Path("Resources"));
    EXPECT_TRUE(state->propertyCollectionManager);
    EXPECT_EQ(state->propertyCollectionManager->GetNotificationSink(), persona->GetNotificationSink());
    EXPECT_EQ(state->schedulingSink, &NullSchedulingSink);
    EXPECT_TRUE(state->fontsAndCollectionsLoaded && state->defaultAssistantOptions);
    EXPECT_EQ(CommonPropertyCollections::GetActiveTarget(), 3);
    EXPECT_TRUE(persona->m_perfectClipping);
    EXPECT_FALSE(Raster::Hardware<Raster::DefaultImplementation>::GetMultiGPUEnabled());
}

TEST_F(Backend, AssertionsDuringStartUpArePlainLines) {
    const char* argv[] = {"quirevale", "--ram", "0", "regressionunit"};
    Kernel::CommandLineArguments arguments(4, argv);
    const std::string resources = (fs::path(QV_EXECUTABLE).parent_path().parent_path() / "Resources").string();
    auto lines = CaptureLines([&] { InitBackend(arguments, Kernel::String(resources), Kernel::String(Path("tmp"))); });
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("[InitBackend] assert: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find("RegressionPersona.cpp:"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(" (ramMiB > 0)"), std::string::npos) << lines[0];
    // The trap is gone once start-up is over.
    testing::internal::CaptureStderr();
    lines = CaptureLines([] { Kernel::ReportAssertion("a.cpp", 1, "later"); });
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Assertion failed: a.cpp:1 (later)\n");
    EXPECT_TRUE(lines.empty());
}

}  // namespace
