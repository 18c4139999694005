// The unit executor run as the runner runs it: the built executable with "regressionunit" on
// copies of the sample units in temporary folders, HOME and TMPDIR set apart.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "bitmapcheck/BitmapKernels.h"
#include "unit_test_support.h"

namespace {

using namespace unit_test;

const fs::path kSamples = fs::path(QV_SOURCE_DIR) / "examples/units";

// The sample poster with its label (in the history and the macro) turned from blue 0.2 to 0.3.
std::string ChangedPoster(std::string text) {
    const std::string label = "fill 1 16 16 32 24 0.9 0.9 0.2 1";
    EXPECT_NE(text.find(label), std::string::npos);
    for (size_t at; (at = text.find(label)) != std::string::npos;)
        text.replace(at, label.size(), "fill 1 16 16 32 24 0.9 0.9 0.3 1");
    return text;
}

// The sample sketch with its dark box lighter.
std::string ChangedSketch(std::string text) {
    const std::string mark = "fill 0 50 40 100 70 0 0.75";
    EXPECT_NE(text.find(mark), std::string::npos);
    if (text.find(mark) != std::string::npos) text.replace(text.find(mark), mark.size(), "fill 0 50 40 100 70 0 0.5");
    return text;
}

class UnitExecutorE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.Path().empty());
        fs::create_directories(m_work);
        fs::create_directories(m_home);
        fs::create_directories(m_tmp);
    }

    // Copies a sample unit (without its baseline) into the work folder.
    void CopySample(const std::string& relative) {
        fs::copy_file(kSamples / relative, m_work / fs::path(relative).filename());
    }

    ProcessResult Unit(const std::string& unit, std::vector<std::string> options = {},
                       std::map<std::string, std::optional<std::string>> environment = {}) {
        std::vector<std::string> arguments{QV_EXECUTABLE};
        arguments.insert(arguments.end(), options.begin(), options.end());
        for (const char* word : {"-file", "", "regressionunit"}) arguments.emplace_back(word);
        arguments[arguments.size() - 2] = "./" + unit;
        environment.emplace("HOME", m_home.string());
        environment.emplace("TMPDIR", m_tmp.string());
        environment.emplace("QUIREVALE_ENGINE_FAULT", std::nullopt);
        return RunProcess(arguments, m_work, environment);
    }

    std::vector<std::string> Pngs() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_work))
            if (entry.path().extension() == ".png") names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    static void ExpectEverySectionClosed(const std::vector<std::string>& lines) {
        bool open = false;
        for (const std::string& line : lines) {
            if (line.rfind("[START]", 0) == 0) {
                EXPECT_FALSE(open) << line;
                open = true;
            } else if (line == "[END]") {
                EXPECT_TRUE(open);
                open = false;
            }
        }
        EXPECT_FALSE(open);
    }

    static std::vector<std::string> Failures(const std::vector<std::string>& lines) {
        std::vector<std::string> failures;
        for (const std::string& line : lines)
            if (line.rfind("[FAIL]", 0) == 0) failures.push_back(line);
        return failures;
    }

    TempDir m_root;
    fs::path m_work = m_root.Path() / "work";
    fs::path m_home = m_root.Path() / "home";
    fs::path m_tmp = m_root.Path() / "tmp";
};

TEST_F(UnitExecutorE2E, CreatePassChangeNodumpAndUpdate) {
    CopySample("poster.kqvle");
    const std::string unit = "poster.kqvle";

    ProcessResult run = Unit(unit, {"--create"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(fs::is_regular_file(m_work / "poster.kqvle_baseline"));
    EXPECT_TRUE(fs::is_regular_file(m_work / "poster.kqvle_baseline.metadata"));
    EXPECT_EQ(Section(run.Lines(), "Create baseline"), std::vector<std::string>{"[INFO]Done"});
    ExpectEverySectionClosed(run.Lines());
    const std::string metrics = ReadFile(m_work / "poster.kqvle_baseline.metadata");
    EXPECT_NE(metrics.find("render performance\t"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("raster planar peak usage\t"), std::string::npos) << metrics;
    PinRenderTime(m_work / "poster.kqvle_baseline.metadata");

    // Create again: the unit has its baseline, nothing but the leak test is written.
    run = Unit(unit, {"--create"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(SectionNames(run.Lines()), std::vector<std::string>{"Memory leak test"});

    run = Unit(unit);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(Failures(run.Lines()).empty()) << run.out;
    ExpectEverySectionClosed(run.Lines());
    for (const char* name : {"Find Baseline", "Load baseline", "Load unit", "Render comparison", "Undo test",
                             "Redo test", "Post-undo-redo render comparison", "Macro test",
                             "Post-macro-playback render comparison", "Tilestore optimisation comparison",
                             "Teardown test", "Raster memory usage", "Close document", "Memory leak test"})
        EXPECT_TRUE(Section(run.Lines(), name)) << name;
    EXPECT_TRUE(Pngs().empty());

    // The label on the second spread, in the history and in the macro that draws it again,
    // turns from blue 0.2 to 0.3: 32 by 24 pixels whose blue channel goes from 51 to 77.
    std::string text = ReadFile(m_work / unit);
    const std::string label = "fill 1 16 16 32 24 0.9 0.9 0.2 1";
    int labels = 0;
    for (size_t at; (at = text.find(label)) != std::string::npos; ++labels)
        text.replace(at, label.size(), "fill 1 16 16 32 24 0.9 0.9 0.3 1");
    ASSERT_EQ(labels, 2);
    WriteFile(m_work / unit, text);

    run = Unit(unit);
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(Section(run.Lines(), "Render comparison"),
              std::vector<std::string>{"[FAIL]Pixel diff count: 768, max channel diff: 26 (8 bit), spread: 1"});
    EXPECT_EQ(Pngs(), (std::vector<std::string>{"poster.kqvle.baseline.png", "poster.kqvle.difference.png",
                                                "poster.kqvle.failure.png"}));
    const Image baseline = ReadPNG(m_work / "poster.kqvle.baseline.png");
    const Image failure = ReadPNG(m_work / "poster.kqvle.failure.png");
    const Image difference = ReadPNG(m_work / "poster.kqvle.difference.png");
    for (const Image* image : {&baseline, &failure, &difference}) {
        ASSERT_EQ(image->width, 128);
        ASSERT_EQ(image->height, 96);
    }
    const Raster::PixelRGBA8 heat = DifferenceColour(26, 8);
    const std::array<uint8_t, 4> heatColour{heat.c[0], heat.c[1], heat.c[2], heat.c[3]};
    const std::array<uint8_t, 4> black{0, 0, 0, 255}, green{51, 115, 77, 255};
    int changed = 0;
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 128; ++x) {
            const bool inLabel = x >= 16 && x < 48 && y >= 16 && y < 40;
            changed += inLabel;
            const std::array<uint8_t, 4> before = inLabel ? std::array<uint8_t, 4>{230, 230, 51, 255} : green;
            const std::array<uint8_t, 4> after = inLabel ? std::array<uint8_t, 4>{230, 230, 77, 255} : green;
            ASSERT_EQ(baseline.At(x, y), before) << x << "," << y;
            ASSERT_EQ(failure.At(x, y), after) << x << "," << y;
            ASSERT_EQ(difference.At(x, y), inLabel ? heatColour : black) << x << "," << y;
        }
    EXPECT_EQ(changed, 768);
    EXPECT_NE(heatColour, black);

    // No images with nodump; the old ones stay while the unit fails.
    for (const std::string& png : Pngs()) fs::remove(m_work / png);
    run = Unit(unit, {"--nodump"});
    EXPECT_EQ(run.status, 255);
    EXPECT_TRUE(Pngs().empty());

    // Update re-baselines (this run still fails), and the next run passes.
    run = Unit(unit, {"--update"});
    EXPECT_EQ(run.status, 255);
    const std::vector<std::string> names = SectionNames(run.Lines());
    auto at = [&](const char* name) { return std::find(names.begin(), names.end(), name) - names.begin(); };
    EXPECT_LT(at("Redo test"), at("Create baseline"));
    EXPECT_LT(at("Create baseline"), at("Macro test"));
    EXPECT_TRUE(Pngs().empty());
    PinRenderTime(m_work / "poster.kqvle_baseline.metadata");
    run = Unit(unit);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(fs::is_empty(m_tmp));
}

TEST_F(UnitExecutorE2E, FaultsFailTheirTest) {
    CopySample("poster.kqvle");
    ASSERT_EQ(Unit("poster.kqvle", {"--create"}).status, 0);
    struct Case {
        const char* fault;
        const char* section;
        std::string failurePrefix;
    };
    const Case cases[] = {
        {"leak", "Memory leak test", "[FAIL]"},
        {"assert", "Snapshot render comparison 1/1 (Background and gradient)", "[FAIL]Assert: "},
        {"slow:150", "Render performance", "[FAIL]Slower: baseline: "},
    };
    for (const Case& c : cases) {
        // A slowed render is surely slower than 1 ms; any other is surely faster than 1000 s.
        PinRenderTime(m_work / "poster.kqvle_baseline.metadata", c.fault[0] == 's' ? "1" : "1000000");
        ProcessResult run = Unit("poster.kqvle", {}, {{"QUIREVALE_ENGINE_FAULT", c.fault}});
        EXPECT_EQ(run.status, 255) << c.fault;
        auto body = Section(run.Lines(), c.section);
        ASSERT_TRUE(body) << c.fault << "\n" << run.out;
        ASSERT_EQ(body->size(), 1u) << c.fault << "\n" << run.out;
        EXPECT_EQ(body->front().rfind(c.failurePrefix, 0), 0u) << body->front();
        EXPECT_EQ(Failures(run.Lines()).size(), 1u) << c.fault << "\n" << run.out;
        ExpectEverySectionClosed(run.Lines());
    }
    // The leaked bitmap is counted in whole tiles.
    ProcessResult run = Unit("poster.kqvle", {}, {{"QUIREVALE_ENGINE_FAULT", "leak"}});
    const std::string line = Section(run.Lines(), "Memory leak test")->front();
    const std::string suffix = " bytes of planar memory leaked";
    ASSERT_EQ(line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix), 0)
        << line;
    const unsigned long long bytes = std::stoull(line.substr(6));
    EXPECT_GT(bytes, 0u);
    EXPECT_EQ(bytes % 65536, 0u);
    // The metric file is not rewritten by a failing run.
    PinRenderTime(m_work / "poster.kqvle_baseline.metadata", "1");
    const std::string metrics = ReadFile(m_work / "poster.kqvle_baseline.metadata");
    Unit("poster.kqvle", {}, {{"QUIREVALE_ENGINE_FAULT", "slow:150"}});
    EXPECT_EQ(ReadFile(m_work / "poster.kqvle_baseline.metadata"), metrics);
}

TEST_F(UnitExecutorE2E, ACrashLeavesTheSectionOpen) {
    CopySample("poster.kqvle");
    ASSERT_EQ(Unit("poster.kqvle", {"--create"}).status, 0);
    ProcessResult run = Unit("poster.kqvle", {}, {{"QUIREVALE_ENGINE_FAULT", "crash"}});
    EXPECT_EQ(run.signal, SIGABRT);
    std::vector<std::string> lines = run.Lines();
    ASSERT_FALSE(lines.empty());
    size_t lastStart = 0;
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].rfind("[START]", 0) == 0) lastStart = i;
    EXPECT_EQ(lines[lastStart], "[START]Snapshot render comparison 1/1 (Background and gradient)");
    EXPECT_EQ(std::find(lines.begin() + long(lastStart), lines.end(), "[END]"), lines.end()) << run.out;
    // The process's scratch copies went with it.
    EXPECT_EQ(Entries(m_tmp), std::vector<std::string>{});
}

TEST_F(UnitExecutorE2E, GetCommandsListsTheRegistryOnly) {
    const std::vector<std::string> expected{"[COMMAND]FillCommand|Fill", "[COMMAND]GradientCommand|Gradient",
                                            "[COMMAND]NoiseCommand|Add Noise", "[START]Memory leak test", "[END]"};
    for (const auto& options : {std::vector<std::string>{"-getcommands"},
                                std::vector<std::string>{"--update", "-getcommands", "--create"}}) {
        ProcessResult run = Unit("missing.kqvle", options);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.Lines(), expected);
    }
}

TEST_F(UnitExecutorE2E, DamagedFilesFailCleanly) {
    CopySample("poster.kqvle");
    ASSERT_EQ(Unit("poster.kqvle", {"--create"}).status, 0);
    const std::string baseline = ReadFile(m_work / "poster.kqvle_baseline");
    const std::string metrics = ReadFile(m_work / "poster.kqvle_baseline.metadata");

    // A baseline cut short or empty fails its load.
    for (const std::string& damaged : {baseline.substr(0, baseline.size() / 3), std::string()}) {
        WriteFile(m_work / "poster.kqvle_baseline", damaged);
        ProcessResult run = Unit("poster.kqvle");
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(SectionNames(run.Lines()),
                  (std::vector<std::string>{"Find Baseline", "Load baseline", "Memory leak test"}));
        EXPECT_EQ(Section(run.Lines(), "Load baseline"), std::vector<std::string>{"[FAIL]"});
        EXPECT_NE(run.err.find("Baseline './poster.kqvle_baseline': damaged at byte"), std::string::npos) << run.err;
    }
    // A byte changed inside the main render's first spread fails the comparison that needs it,
    // named by the spread's line (after the three lines of 21, 19 and 7 bytes); the snapshot,
    // whose spread is sound, passes. An update writes a sound baseline in its place.
    std::string flipped = baseline;
    const size_t second = baseline.find("\nspread ", baseline.find("\nspread ") + 1);
    ASSERT_LT(baseline.find("\nspread "), flipped.size() / 2);
    ASSERT_GT(second, flipped.size() / 2);
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x5a);
    WriteFile(m_work / "poster.kqvle_baseline", flipped);
    ProcessResult run = Unit("poster.kqvle");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(Failures(run.Lines()), std::vector<std::string>{"[FAIL]Baseline spread 0 can't be read: damaged at "
                                                              "byte 47: the compressed pixels do not decompress to "
                                                              "the spread's size"});
    EXPECT_EQ(Section(run.Lines(), "Snapshot render comparison 1/1 (Background and gradient)"),
              std::vector<std::string>{});
    EXPECT_TRUE(Section(run.Lines(), "Render comparison"));
    EXPECT_TRUE(Pngs().empty());
    EXPECT_EQ(Unit("poster.kqvle", {"--update"}).status, 255);
    EXPECT_EQ(Unit("poster.kqvle").status, 0);
    WriteFile(m_work / "poster.kqvle_baseline", baseline);

    // A metric file cut short: reported, and left as it is.
    const std::string cut = metrics.substr(0, metrics.size() - 4);
    WriteFile(m_work / "poster.kqvle_baseline.metadata", cut);
    run = Unit("poster.kqvle");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(Failures(run.Lines()), std::vector<std::string>{"[FAIL]Metric file ./poster.kqvle_baseline.metadata "
                                                              "is damaged: \"end\" is missing after line 3"});
    EXPECT_FALSE(Section(run.Lines(), "Raster memory usage"));
    EXPECT_EQ(ReadFile(m_work / "poster.kqvle_baseline.metadata"), cut);
    WriteFile(m_work / "poster.kqvle_baseline.metadata", metrics);

    // A unit that is not a document: the load fails with the file and line on standard error.
    std::string text = ReadFile(m_work / "poster.kqvle");
    text.replace(text.find("noise 0 16 150"), 5, "nosie");
    WriteFile(m_work / "poster.kqvle", text);
    run = Unit("poster.kqvle");
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(Section(run.Lines(), "Load unit"), std::vector<std::string>{"[FAIL]"});
    EXPECT_NE(run.err.find("Document './poster.kqvle', line 12: unknown drawing command \"nosie\""),
              std::string::npos)
        << run.err;
}

TEST_F(UnitExecutorE2E, WithoutTMPDIRTheTemporaryFolderIsBelowTmp) {
    CopySample("sketch.kdrovane");
    for (const std::optional<std::string>& tmpdir : {std::optional<std::string>(), std::optional<std::string>("")}) {
        ProcessResult run = Unit("sketch.kdrovane", {"--create"}, {{"TMPDIR", tmpdir}});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        PinRenderTime(m_work / "sketch.kdrovane_baseline.metadata");
        run = Unit("sketch.kdrovane", {}, {{"TMPDIR", tmpdir}});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        fs::remove(m_work / "sketch.kdrovane_baseline");
    }
    EXPECT_TRUE(fs::is_empty(m_tmp));
}

// A unit whose name is as long as its metric file's name lets: its baseline and metrics are made
// and its metrics saved again, however long the names of the files written beside them would be.
TEST_F(UnitExecutorE2E, TheLongestUnitNameWhoseMetricFileFitsIsBaselined) {
    const long nameMax = pathconf(m_work.c_str(), _PC_NAME_MAX);
    const std::string unit = std::string(size_t(nameMax > 0 ? nameMax : 255) - 18 - 6, 'p') + ".kqvle";
    ASSERT_EQ((unit + "_baseline.metadata").size(), size_t(nameMax > 0 ? nameMax : 255));
    fs::copy_file(kSamples / "poster.kqvle", m_work / unit);

    ProcessResult run = Unit(unit, {"--create"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Section(run.Lines(), "Create baseline"), std::vector<std::string>{"[INFO]Done"}) << run.out;
    EXPECT_EQ(Section(run.Lines(), "Save metadata"), std::vector<std::string>{"[INFO]Done"}) << run.out;
    PinRenderTime(m_work / (unit + "_baseline.metadata"));
    run = Unit(unit);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(Section(run.Lines(), "Save metadata"), std::vector<std::string>{"[INFO]Done"}) << run.out;
    EXPECT_EQ(Entries(m_work), (std::vector<std::string>{unit, unit + "_baseline", unit + "_baseline.metadata"}));
}

// Every executor saves and reloads its copies in a folder of its own below TMPDIR and removes it
// when it ends, whether the unit passed, failed or the process died of a signal.
TEST_F(UnitExecutorE2E, ScratchCopiesArePrivateAndRemoved) {
    CopySample("poster.kqvle");
    CopySample("sketch.kdrovane");
    // Stale copies of another document where every executor used to save and reload its own.
    fs::copy_file(m_work / "sketch.kdrovane", m_tmp / "test.persona");
    fs::copy_file(m_work / "sketch.kdrovane", m_tmp / "post_teardown_test.persona");
    const std::vector<std::string> stale{"post_teardown_test.persona", "test.persona"};
    for (const char* unit : {"poster.kqvle", "sketch.kdrovane"}) {
        ProcessResult run = Unit(unit, {"--create"});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_EQ(Entries(m_tmp), stale);
        PinRenderTime(m_work / (std::string(unit) + "_baseline.metadata"));
    }

    // Units changed the other's way: with --update at the same time, each executor re-baselines
    // from its own copy, long after it saved it (its renders are slowed), while the other saves
    // its own.
    const std::string poster = ReadFile(m_work / "poster.kqvle"), sketch = ReadFile(m_work / "sketch.kdrovane");
    WriteFile(m_work / "poster.kqvle", ChangedPoster(poster));
    WriteFile(m_work / "sketch.kdrovane", ChangedSketch(sketch));
    const Environment slow{{"QUIREVALE_ENGINE_FAULT", "slow:250"}};
    std::vector<ProcessResult> runs = RunProcessesAtOnce({[&] { return Unit("poster.kqvle", {"--update"}, slow); },
                                                         [&] { return Unit("sketch.kdrovane", {"--update"}, slow); }});
    for (const ProcessResult& run : runs) {
        EXPECT_EQ(run.status, 255) << run.out;
        EXPECT_EQ(Section(run.Lines(), "Create baseline"), std::vector<std::string>{"[INFO]Done"}) << run.out;
    }
    EXPECT_EQ(Entries(m_tmp), stale);
    // Each new baseline is of its own unit: both pass now.
    for (const char* unit : {"poster.kqvle", "sketch.kdrovane"}) {
        PinRenderTime(m_work / (std::string(unit) + "_baseline.metadata"));
        ProcessResult run = Unit(unit);
        EXPECT_EQ(run.status, 0) << unit << "\n" << run.out;
    }
    // A failing unit (exit status 255) and a crashed one leave nothing either.
    WriteFile(m_work / "poster.kqvle", poster);
    EXPECT_EQ(Unit("poster.kqvle").status, 255);
    EXPECT_EQ(Unit("poster.kqvle", {}, {{"QUIREVALE_ENGINE_FAULT", "crash"}}).signal, SIGABRT);
    EXPECT_EQ(Entries(m_tmp), stale);
}

// A copy that cannot be saved fails "Save document" with the path and the reason, and the run
// ends there: no stale copy is reloaded, no baseline is made or replaced.
TEST_F(UnitExecutorE2E, AFailedSaveEndsTheRunWithItsReason) {
    CopySample("poster.kqvle");
    CopySample("sketch.kdrovane");
    fs::copy_file(m_work / "sketch.kdrovane", m_tmp / "test.persona");  // another unit's stale copy

    // A full disk: --create makes no baseline.
    ProcessResult run = Unit("poster.kqvle", {"--create"}, {{"QUIREVALE_ENGINE_FAULT", "full"}});
    EXPECT_EQ(run.status, 255) << run.out;
    EXPECT_EQ(SectionNames(run.Lines()),
              (std::vector<std::string>{"Load unit", "Save document", "Close document", "Memory leak test"}));
    auto save = Section(run.Lines(), "Save document");
    ASSERT_TRUE(save && save->size() == 1u) << run.out;
    const std::string prefix = "[FAIL]Could not save " + m_tmp.string() + "/quirevale-";
    const std::string suffix = "/test.persona: cannot write the file: No space left on device";
    EXPECT_EQ(save->front().rfind(prefix, 0), 0u) << save->front();
    EXPECT_TRUE(save->front().ends_with(suffix)) << save->front();
    EXPECT_FALSE(fs::exists(m_work / "poster.kqvle_baseline"));
    EXPECT_EQ(Entries(m_tmp), std::vector<std::string>{"test.persona"});

    // No temporary folder can be made (TMPDIR names a file): --update leaves the good baseline.
    ASSERT_EQ(Unit("poster.kqvle", {"--create"}).status, 0);
    const std::string baseline = ReadFile(m_work / "poster.kqvle_baseline");
    WriteFile(m_work / "poster.kqvle", ChangedPoster(ReadFile(m_work / "poster.kqvle")));
    const fs::path notAFolder = m_tmp / "test.persona";
    run = Unit("poster.kqvle", {"--update"}, {{"TMPDIR", notAFolder.string()}});
    EXPECT_EQ(run.status, 255) << run.out;
    EXPECT_EQ(Section(run.Lines(), "Save document"),
              std::vector<std::string>{"[FAIL]Could not save test.persona: no private temporary folder can be made "
                                       "in " + notAFolder.string() + ": Not a directory"});
    EXPECT_FALSE(Section(run.Lines(), "Create baseline"));
    EXPECT_EQ(ReadFile(m_work / "poster.kqvle_baseline"), baseline);
}

// A profile named relative to the unit's folder: the saved copy reloads with the same profile,
// whether the unit is named relative to the working folder or absolutely.
TEST_F(UnitExecutorE2E, RelativeProfilesReloadFromTheScratchCopy) {
    const fs::path bundle = fs::path(QV_EXECUTABLE).parent_path().parent_path();
    fs::create_directories(m_work / "print/profiles");
    fs::copy_file(bundle / "Resources/USWebCoatedSWOP.icc", m_work / "print/profiles/press.icc");
    WriteFile(m_work / "print/units/leaflet.kqvle",
              "quirevale-document 1\nformat cmyka8\nprofile ../profiles/press.icc\nspread 32 32\n"
              "history\n  fill 0 0 0 32 32 0.1 0.6 0.3 0 1\n  fill 0 8 8 8 8 0 0 0 1 1\nend\n");
    ProcessResult run = Unit("print/units/leaflet.kqvle", {"--create"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    PinRenderTime(m_work / "print/units/leaflet.kqvle_baseline.metadata");
    run = Unit("print/units/leaflet.kqvle");
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_TRUE(Failures(run.Lines()).empty()) << run.out;
    ExpectEverySectionClosed(run.Lines());
}

// As many snapshots as a baseline holds make a unit that is created and then passes; one more
// is refused when the unit is loaded, with the limit named, and no baseline is written.
TEST_F(UnitExecutorE2E, SnapshotLimitRoundTrip) {
    auto document = [](int snapshots) {
        std::string text = "quirevale-document 1\nformat ia8\nspread 3 2\nhistory\n  fill 0 0 0 3 2 0.5 1\nend\n";
        for (int k = 0; k < snapshots; ++k)
            text += "snapshot regression s" + std::to_string(k) + "\n  fill 0 " + std::to_string(k % 3) +
                    " 0 1 1 1 1\nend\n";
        return text;
    };
    WriteFile(m_work / "many.kqvle", document(1000));
    ProcessResult run = Unit("many.kqvle", {"--create"});
    EXPECT_EQ(run.status, 0) << run.err;
    PinRenderTime(m_work / "many.kqvle_baseline.metadata");
    run = Unit("many.kqvle");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Failures(run.Lines()).empty());
    EXPECT_TRUE(Section(run.Lines(), "Snapshot render comparison 1000/1000 (s999)"));

    WriteFile(m_work / "toomany.kqvle", document(1001));
    run = Unit("toomany.kqvle", {"--create"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(Section(run.Lines(), "Load unit"), std::vector<std::string>{"[FAIL]"});
    EXPECT_NE(run.err.find("Document './toomany.kqvle', line 3007: too many snapshots (at most 1000)"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(m_work / "toomany.kqvle_baseline"));
}

// The runner over copies of the sample units: their own baselines, and baselines made afresh.
TEST_F(UnitExecutorE2E, RunnerPassesTheSampleUnits) {
    const fs::path bundle = fs::path(QV_EXECUTABLE).parent_path().parent_path();
    const fs::path exe = m_root.Path() / "Quirevale.app/Contents/MacOS/quirevale";
    fs::create_directories(exe.parent_path());
    fs::copy_file(QV_EXECUTABLE, exe);
    fs::copy(bundle / "Resources", m_root.Path() / "Quirevale.app/Contents/Resources", fs::copy_options::recursive);
    const fs::path fresh = m_root.Path() / "fresh";
    fs::copy(kSamples, m_work, fs::copy_options::recursive);
    fs::copy(kSamples, fresh, fs::copy_options::recursive);
    int units = 0;
    for (const auto& entry : fs::recursive_directory_iterator(fresh)) {
        const std::string name = entry.path().filename().string();
        if (name.find("_baseline") != std::string::npos) fs::remove(entry.path());
        else if (entry.is_regular_file()) ++units;
    }
    EXPECT_EQ(units, 7);
    const std::map<std::string, std::optional<std::string>> environment{
        {"HOME", m_home.string()}, {"TMPDIR", m_tmp.string()}, {"QUIREVALE_ENGINE_FAULT", std::nullopt}};
    const std::string counts = "Units found:   7\nUnits ignored: 0\nUnits passed:  7\nUnits failed:  0\n";
    for (const fs::path& folder : {m_work, fresh}) {
        std::map<std::string, std::optional<std::string>> env = environment;
        env["PWD"] = folder.string();
        ProcessResult run = RunProcess({exe.string(), "regression", "--create"}, folder, env);
        EXPECT_EQ(run.status, 0) << run.out;
        PinRenderTimes(folder);
        run = RunProcess({exe.string(), "regression"}, folder, env);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find(counts), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("FAILED"), std::string::npos) << run.out;
        EXPECT_EQ(ReadFile(m_root.Path() / "output/failed.log"), "");
    }
    EXPECT_TRUE(fs::is_empty(m_tmp));

    // Two runners at once over one suite with one TMPDIR, re-baselining two changed units: each
    // executor re-baselines from its own copy, long after saving it, while the other runner's
    // executors save theirs (the second runner's renders are slowed, so they run other units).
    // Afterwards every unit passes: no baseline was made from another unit's document.
    WriteFile(m_work / "poster.kqvle", ChangedPoster(ReadFile(m_work / "poster.kqvle")));
    WriteFile(m_work / "sketch.kdrovane", ChangedSketch(ReadFile(m_work / "sketch.kdrovane")));
    std::map<std::string, std::optional<std::string>> env = environment;
    env["PWD"] = m_work.string();
    std::map<std::string, std::optional<std::string>> behind = env;
    behind["QUIREVALE_ENGINE_FAULT"] = "slow:100";
    RunProcessesAtOnce({[&] { return RunProcess({exe.string(), "regression", "--update"}, m_work, env, "y\n"); },
                        [&] { return RunProcess({exe.string(), "regression", "--update"}, m_work, behind, "y\n"); }});
    PinRenderTimes(m_work);
    ProcessResult run = RunProcess({exe.string(), "regression"}, m_work, env);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find(counts), std::string::npos) << run.out;

    // A TMPDIR inside the suite: no copy is left there to be found as a unit by the next run.
    env["TMPDIR"] = (m_work / "scratch").string();
    fs::create_directories(m_work / "scratch");
    for (int round = 0; round < 2; ++round) {
        PinRenderTimes(m_work);
        run = RunProcess({exe.string(), "regression"}, m_work, env);
        EXPECT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find(counts), std::string::npos) << run.out;
    }
    EXPECT_TRUE(fs::is_empty(m_work / "scratch"));
    EXPECT_TRUE(fs::is_empty(m_tmp));
}

}  // namespace

// ---- The raster memory figure and the processor count ------------------------------------

using runner_test::BackgroundProcess;

namespace {

// A unit of two spreads in one format: spread 0 (1024 by 1024) filled whole, with noise over a
// quarter; spread 1 (600 by 300) filled over x 100 to 299, y 50 to 149, so that only the tile
// cells under that fill get tiles; a regression snapshot that fills the top 700 rows of spread 0.
std::string MetricUnit(const std::string& format, const std::string& colour, const std::string& snapshotColour) {
    return "quirevale-document 1\nformat " + format +
           "\nspread 1024 1024\nspread 600 300\nhistory\n"
           "  fill 0 0 0 1024 1024 " + colour + "\n  noise 0 0 0 512 512 7 0.05\n  fill 1 100 50 200 100 " + colour +
           "\nend\nsnapshot regression Top\n  fill 0 0 0 1024 700 " + snapshotColour +
           "\nend\nmacro\n  fill 0 0 0 1024 1024 " + colour + "\n  noise 0 0 0 512 512 7 0.05\n"
           "  fill 1 100 50 200 100 " + colour + "\nend\n";
}

std::string MetricValue(const std::string& metrics, const std::string& key) {
    const size_t at = metrics.find(key + "\t");
    if (at == std::string::npos) return "";
    const size_t from = at + key.size() + 1;
    return metrics.substr(from, metrics.find('\n', from) - from);
}

}  // namespace

// The recorded peak is what the engine holds at its highest: the render of both spreads and,
// while a spread is compared, its baseline bitmap; tiles are 64 KiB, 256 bytes of one plane
// wide (256, 128 or 64 pixels for 8-bit, 16-bit and float samples) and 256 rows high. The
// figures are the ones builds before the baseline store kept its bitmaps recorded.
TEST_F(UnitExecutorE2E, TheRecordedPeakIsTheEnginesInEveryFormat) {
    struct Row {
        const char* format;
        const char* colour;
        int planes;
        int spread0Tiles;  // tiles of one plane of spread 0: columns times 4 rows
        int spread1Tiles;  // of spread 1: the columns under x 100 to 299, one row
    };
    const Row rows[] = {
        {"rgba8", "0.5 0.25 0.75 1", 4, 4 * 4, 2},  {"rgba16", "0.5 0.25 0.75 1", 4, 8 * 4, 3},
        {"ia8", "0.5 1", 2, 4 * 4, 2},              {"ia16", "0.5 1", 2, 8 * 4, 3},
        {"cmyka8", "0.1 0.2 0.3 0.4 1", 5, 4 * 4, 2}, {"laba16", "0.5 0.4 0.6 1", 4, 8 * 4, 3},
        {"rgbaf", "0.5 0.25 0.75 1", 4, 16 * 4, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.format);
        const std::string unit = std::string(row.format) + ".kqvle";
        WriteFile(m_work / unit, MetricUnit(row.format, row.colour, row.colour));
        const ProcessResult run = Unit(unit, {"--create"});
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        const uint64_t tiles = uint64_t(row.planes) * (2 * row.spread0Tiles + row.spread1Tiles);
        const fs::path metrics = m_work / (unit + "_baseline.metadata");
        EXPECT_EQ(MetricValue(ReadFile(metrics), "raster planar peak usage"), std::to_string(tiles * 65536));
        // A metric file holding that figure, as earlier builds recorded it, passes as it is.
        WriteFile(metrics, "quirevale-metrics 1\nrender performance\t1000000\nraster planar peak usage\t" +
                               std::to_string(tiles * 65536) + "\nend\n");
        const ProcessResult again = Unit(unit);
        EXPECT_EQ(again.status, 0) << again.out;
        EXPECT_EQ(Section(again.Lines(), "Raster memory usage"), std::vector<std::string>{}) << again.out;
    }
}

// Failure images are the harness's work: a run that writes them records the peak of a run
// that does not. Only the snapshot differs, so the memory check still runs.
TEST_F(UnitExecutorE2E, WritingFailureImagesLeavesThePeakAsItIs) {
    const std::string unit = "images.kqvle";
    WriteFile(m_work / unit, MetricUnit("rgba8", "0.5 0.25 0.75 1", "0.5 0.25 0.75 1"));
    ASSERT_EQ(Unit(unit, {"--create"}).status, 0);
    WriteFile(m_work / unit, MetricUnit("rgba8", "0.5 0.25 0.75 1", "0.5 0.25 0.8 1"));
    // As in the test above: 4 planes of 16 + 16 + 2 tiles.
    const std::string baselined = "[INFO]Baselined: " + std::to_string(4 * (16 + 16 + 2) * 65536) + " bytes";
    for (bool nodump : {true, false}) {
        SCOPED_TRACE(nodump ? "--nodump" : "with images");
        fs::remove(m_work / (unit + "_baseline.metadata"));
        const ProcessResult run = Unit(unit, nodump ? std::vector<std::string>{"--nodump"} : std::vector<std::string>{});
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(Section(run.Lines(), "Raster memory usage"), std::vector<std::string>{baselined}) << run.out;
        EXPECT_EQ(Pngs().size(), nodump ? 0u : 3u);
    }
}

// A baseline spread of another size than the render's is decompressed for its image alone, and
// let go after it: a baseline of 8 flat RGBA float spreads of 8192 x 2048 (2 GiB of samples in
// about 10 MB) against a unit of 8 spreads of 16 x 16 fails at spread 0 with zeros in the
// difference fields, holding no spread without images and one of 256 MiB with them.
TEST_F(UnitExecutorE2E, ABaselineOfLargerSpreadsCostsOneSpreadAtMost) {
    std::string unit = "quirevale-document 1\nformat rgba8\n";
    for (int i = 0; i < 8; ++i) unit += "spread 16 16\n";
    WriteFile(m_work / "flat.kqvle", unit + "history\n  fill 0 0 0 16 16 0.2 0.4 0.6 1\nend\n");
    // Every sample 1.0, as one zlib stream made a megabyte at a time.
    std::string ones(size_t(1) << 20, '\0'), stream;
    for (size_t at = 0; at < ones.size(); at += 4) ones.replace(at, 4, "\x00\x00\x80\x3f", 4);
    z_stream z{};
    ASSERT_EQ(deflateInit(&z, Z_BEST_SPEED), Z_OK);
    char out[65536];
    for (int megabyte = 0; megabyte < 256; ++megabyte) {
        z.next_in = reinterpret_cast<Bytef*>(ones.data());
        z.avail_in = uInt(ones.size());
        do {
            z.next_out = reinterpret_cast<Bytef*>(out);
            z.avail_out = sizeof out;
            deflate(&z, megabyte == 255 ? Z_FINISH : Z_NO_FLUSH);
            stream.append(out, sizeof out - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    std::string baseline = "quirevale-baseline 1\nperfect-clipping 0\nmain 8\n";
    for (int i = 0; i < 8; ++i)
        baseline += "spread 9 8192 2048 268435456 " + std::to_string(stream.size()) + "\n" + stream + "\n";
    WriteFile(m_work / "flat.kqvle_baseline", baseline + "post-redo none\nsnapshots 0\nend\n");
    ASSERT_LT(fs::file_size(m_work / "flat.kqvle_baseline"), 16u << 20);

    const long spreadKiB = 256 << 10;
    for (bool nodump : {true, false}) {
        SCOPED_TRACE(nodump ? "--nodump" : "with images");
        const ProcessResult run = Unit("flat.kqvle", nodump ? std::vector<std::string>{"--nodump"} : std::vector<std::string>{});
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(Section(run.Lines(), "Render comparison"),
                  std::vector<std::string>{"[FAIL]Pixel diff count: 0, max channel diff: 0 (0 bit), spread: 0"});
        EXPECT_LT(run.peakKiB, nodump ? spreadKiB / 2 : spreadKiB * 2);
        EXPECT_EQ(Pngs().size(), nodump ? 0u : 3u);
    }
    const Image expected = ReadPNG(m_work / "flat.kqvle.baseline.png");
    EXPECT_EQ(expected.width, 8192);
    EXPECT_EQ(expected.height, 2048);
}

// "--cpus" bounds the threads that do a unit's work: the pool's workers (named "qv-worker")
// and the one thread at a time that hands them the work (the main thread or the command queue). The process is looked at while it sleeps after a
// render, when every worker it will ever start has started.
TEST_F(UnitExecutorE2E, TheProcessorCountBoundsTheWorkers) {
    const std::string unit = "large.kqvle";
    WriteFile(m_work / unit, MetricUnit("rgba16", "0.5 0.25 0.75 1", "0.5 0.25 0.75 1"));
    for (int cpus : {1, 3}) {
        SCOPED_TRACE(cpus);
        fs::remove(m_work / (unit + "_baseline"));
        fs::remove(m_work / (unit + "_baseline.metadata"));
        ASSERT_EQ(Unit(unit, {"--create", "--cpus", std::to_string(cpus)}).status, 0);
        std::vector<std::string> arguments{QV_EXECUTABLE, "--cpus", std::to_string(cpus), "-file", "./" + unit,
                                           "regressionunit"};
        BackgroundProcess child(arguments, m_work,
                                {{"HOME", m_home.string()}, {"TMPDIR", m_tmp.string()},
                                 {"QUIREVALE_ENGINE_FAULT", "slow:1000"}},
                                "", 120);
        // The main comparison (baseline inflated, render drawn and compared) is over once its
        // section has ended and the next render has begun its sleep.
        auto ended = [&] {
            siginfo_t info{};
            return waitid(P_PID, id_t(child.Pid()), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0;
        };
        while (child.Output().find("[START]Render performance") == std::string::npos && !ended()) usleep(20000);
        ASSERT_EQ(kill(child.Pid(), SIGSTOP), 0);
        int workers = 0, threads = 0;
        for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(child.Pid()) + "/task")) {
            ++threads;
            if (ReadFile(task.path() / "comm") == "qv-worker\n") ++workers;
        }
        // The rest of the run has nothing more to show: it is ended as the runner ends a child.
        kill(child.Pid(), SIGTERM);
        kill(child.Pid(), SIGCONT);
        child.Wait();
        EXPECT_GT(threads, 0) << "the process had ended before it could be looked at";
        EXPECT_LE(workers, cpus - 1);
        // Besides the workers only the main thread and the engine's command queue.
        EXPECT_LE(threads, cpus + 1);
    }
}
