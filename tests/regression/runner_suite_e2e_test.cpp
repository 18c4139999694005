// The runner and the real unit executor together: the built executable, copied into a bundle of
// its own in a temporary folder, runs "regression" over a small tree of unit documents, with HOME
// and PWD apart so that the tree stays the working folder. One unit's child is made to crash by
// the stand-in engine's fault variables, which name that unit alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "runner_test_support.h"
#include "unit_test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using runner_test::ReadFile;
using runner_test::TempDir;
using runner_test::WriteFile;

const std::string kRed = "\033[31m", kBlue = "\033[34m", kReset = "\033[0m";
const std::string kPassed = "\033[32mPASSED\033[0m";
const std::string kHeading = "\n*********** SUMMARY ***********\n\n";
const std::string kConfirmation =
    "\nWARNING: Regression is running with the --update option.\n"
    "This will overwrite the baseline for each unit that fails a render test.\n"
    "It should only be used on units where the changes have been approved.\n"
    "Continue? (y/n)\n";

// A name no shell may see unquoted: if one did, the backquotes would make "pwned".
const std::string kOdd = "./odd $PWD dir/it's \"q\" `touch pwned` \\z.kqvle";
const std::string kOddTeamCity = "./odd $PWD dir/it|'s \"q\" `touch pwned` \\z.kqvle";

// The odd unit's red square becomes magenta: 16 by 16 pixels whose blue channel goes from 0 to 255.
const std::string kRedSquare = "fill 0 8 8 16 16 1 0 0 1";
const std::string kMagentaSquare = "fill 0 8 8 16 16 1 0 1 1";
const std::string kOddFailure =
    "FAILED: Render comparison: Pixel diff count: 256, max channel diff: 255 (8 bit), spread: 0";

struct UnitSpec {
    std::string path;      // as discovery below "." finds it
    std::string format;
    std::vector<std::string> history;
    int commandKinds;      // distinct drawing commands of the history
};

// In discovery order: a folder's units by name, then its subfolders by name.
const std::vector<UnitSpec> kUnits = {
    {"./a.kqvle", "rgba8",
     {"fill 0 0 0 64 48 0.2 0.4 0.6 1", "gradient 0 8 8 48 32 horizontal 0 0 0 1 1 1 1 1"}, 2},
    {"./b.kdrovane", "ia8", {"fill 0 0 0 64 48 0.5 1", "fill 0 4 4 8 8 1 1"}, 1},
    {"./c.persona", "rgba16", {"fill 0 0 0 64 48 0.1 0.2 0.3 1"}, 1},
    {kOdd, "rgba8", {"fill 0 0 0 64 48 0.2 0.4 0.6 1", kRedSquare}, 1},
    {"./sub/d.ktavika", "laba16",
     {"fill 0 0 0 64 48 0.5 0.5 0.5 1", "gradient 0 0 0 64 48 vertical 0.2 0.5 0.5 1 0.9 0.6 0.4 1"}, 2},
    {"./sub/e.kestrane_drovanel", "cmyka8", {"fill 0 0 0 64 48 0.1 0.2 0.3 0 1"}, 1},
};

std::string Document(const UnitSpec& unit) {
    std::string text = "quirevale-document 1\nformat " + unit.format + "\nspread 64 48\nhistory\n";
    for (const std::string& command : unit.history) text += "  " + command + "\n";
    return text + "end\n";
}

std::string Counts(int found, int ignored, int passed, int failed) {
    return "Units found:   " + std::to_string(found) + "\nUnits ignored: " + std::to_string(ignored) +
           "\nUnits passed:  " + std::to_string(passed) + "\nUnits failed:  " + std::to_string(failed) + "\n";
}

std::string Red(const std::string& text) { return kRed + text + kReset; }
std::string Blue(const std::string& text) { return kBlue + text + kReset; }

// One unit's block on the plain console.
std::string PlainBlock(const std::string& unit, const std::vector<std::string>& lines) {
    std::string block = "\nTesting unit: " + unit + "\n";
    for (const std::string& line : lines) block += line + "\n";
    return block;
}

// One unit's messages in TeamCity form, between its testStarted and testFinished.
std::string TeamCityBlock(const std::string& escapedUnit, const std::vector<std::string>& lines) {
    std::string block = "##teamcity[testStarted name='" + escapedUnit + "']\n";
    for (const std::string& line : lines) block += line + "\n";
    return block + "##teamcity[testFinished name='" + escapedUnit + "']\n";
}

// The runner's output without the notes on render time and memory use (and the metric file
// saved after them): they depend on the machine's load, not on what is tested here.
std::string WithoutMetricNotes(const std::string& text) {
    static const std::vector<std::string> notes = {
        "INFO: Render performance: ", "INFO: Raster memory usage: ", "INFO: Save metadata: "};
    std::string kept;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end - start + 1);
        bool note = false;
        for (const std::string& n : notes)
            note = note || line.rfind(kBlue + n, 0) == 0 || line.rfind("##teamcity[message text='" + n, 0) == 0;
        if (!note) kept += line;
    }
    return kept + text.substr(start);
}

using runner_test::Environment;

using RunResult = runner_test::ProcessResult;

class RunnerSuiteE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.Path().empty());
        const fs::path bundle = fs::path(QV_EXECUTABLE).parent_path().parent_path();
        std::error_code error;
        fs::create_directories(m_exe.parent_path());
        ASSERT_TRUE(fs::copy_file(QV_EXECUTABLE, m_exe, error)) << error.message();
        // The CMYK unit needs the default profile from the resources.
        fs::copy(bundle / "Resources", m_root.Path() / "Quirevale.app/Contents/Resources", fs::copy_options::recursive,
                 error);
        ASSERT_FALSE(error) << error.message();
        for (const fs::path& folder : {m_work, m_home, m_tmp}) fs::create_directories(folder);
        for (const UnitSpec& unit : kUnits) WriteFile(m_work / unit.path, Document(unit));
        m_workCanonical = fs::canonical(m_work).string();
    }

    void TearDown() override {
        if (m_root.Path().empty()) return;
        // Nothing that came near a shell ran the backquotes.
        for (const auto& entry : fs::recursive_directory_iterator(m_root.Path()))
            EXPECT_NE(entry.path().filename().string().rfind("pwned", 0), 0u) << entry.path();
    }

    // "regression" with the arguments in the work folder; input goes to standard input.
    RunResult Run(const std::vector<std::string>& arguments, const std::string& input = "",
                  Environment environment = {}) {
        environment.emplace("HOME", m_home.string());
        environment.emplace("PWD", m_work.string());
        environment.emplace("TMPDIR", m_tmp.string());
        environment.emplace("QUIREVALE_ENGINE_FAULT", std::nullopt);
        environment.emplace("QUIREVALE_ENGINE_FAULT_UNIT", std::nullopt);
        unit_test::PinRenderTimes(m_work);  // so that no verdict depends on the render's speed
        std::vector<std::string> args{m_exe.string(), "regression"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        return runner_test::RunProcess(args, m_work, environment, input);
    }

    void CreateBaselines() {
        const RunResult run = Run({"--create"});
        ASSERT_EQ(run.status, 0) << run.out << run.err;
    }

    std::string Output(const char* name) const { return ReadFile(m_root.Path() / "output" / name); }
    std::string Absolute(const std::string& unit) const { return m_workCanonical + "/" + unit.substr(2); }

    // The PNG files of the tree, relative to the work folder.
    std::vector<std::string> Images() const {
        std::vector<std::string> images;
        for (const auto& entry : fs::recursive_directory_iterator(m_work))
            if (entry.path().extension() == ".png")
                images.push_back("./" + fs::relative(entry.path(), m_work).string());
        std::sort(images.begin(), images.end());
        return images;
    }

    // Every unit's transcript in a plain run in which all of them pass.
    static std::string AllPassed() {
        std::string out;
        for (const UnitSpec& unit : kUnits) out += PlainBlock(unit.path, {kPassed});
        return out;
    }

    TempDir m_root;
    fs::path m_exe = m_root.Path() / "Quirevale.app/Contents/MacOS/quirevale";
    fs::path m_work = m_root.Path() / "work";
    fs::path m_home = m_root.Path() / "home";
    fs::path m_tmp = m_root.Path() / "tmp";
    std::string m_workCanonical;
};

TEST_F(RunnerSuiteE2E, CreatePassThenAChangedAndACrashedUnitFailAndAreRetested) {
    RunResult run = Run({"--create"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::string created;
    for (const UnitSpec& unit : kUnits) {
        created += PlainBlock(unit.path, {Blue("INFO: Create baseline: Done"), kPassed});
        EXPECT_TRUE(fs::is_regular_file(m_work / (unit.path + "_baseline"))) << unit.path;
        EXPECT_TRUE(fs::is_regular_file(m_work / (unit.path + "_baseline.metadata"))) << unit.path;
    }
    const std::string allPassedSummary = "\n" + Counts(6, 0, 6, 0);
    EXPECT_EQ(WithoutMetricNotes(run.out), created + kHeading + allPassedSummary);
    EXPECT_EQ(Output("summary.log"), allPassedSummary);
    EXPECT_EQ(Output("failed.log"), "");

    run = Run({});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(WithoutMetricNotes(run.out), AllPassed() + kHeading + allPassedSummary);
    EXPECT_EQ(Output("summary.log"), allPassedSummary);
    EXPECT_EQ(Output("failed.log"), "");
    EXPECT_TRUE(Images().empty());

    // The odd unit changes its drawing; b's child dies in its first render.
    std::string odd = ReadFile(m_work / kOdd);
    ASSERT_NE(odd.find(kRedSquare), std::string::npos);
    odd.replace(odd.find(kRedSquare), kRedSquare.size(), kMagentaSquare);
    WriteFile(m_work / kOdd, odd);
    const Environment crashB{{"QUIREVALE_ENGINE_FAULT", "crash"}, {"QUIREVALE_ENGINE_FAULT_UNIT", "b.kdrovane"}};

    run = Run({"--teamcity"}, "", crashB);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    const std::string teamcity =
        TeamCityBlock("./a.kqvle", {kPassed}) +
        TeamCityBlock("./b.kdrovane",
                      {"##teamcity[testFailed name='./b.kdrovane' message='ABORTED: Render comparison']"}) +
        TeamCityBlock("./c.persona", {kPassed}) +
        TeamCityBlock(kOddTeamCity,
                      {"##teamcity[testFailed name='" + kOddTeamCity + "' message='" + kOddFailure + "']"}) +
        TeamCityBlock("./sub/d.ktavika", {kPassed}) + TeamCityBlock("./sub/e.kestrane_drovanel", {kPassed});
    // The summary keeps the coloured report lines, whatever the console's form.
    const std::string failedSummary = "./b.kdrovane\n" + Red("ABORTED: Render comparison") + "\n\n" + kOdd + "\n" +
                                      Red(kOddFailure) + "\n\n\n" + Counts(6, 0, 4, 2);
    EXPECT_EQ(WithoutMetricNotes(run.out), teamcity + kHeading + failedSummary);
    EXPECT_EQ(Output("summary.log"), failedSummary);
    EXPECT_EQ(Output("failed.log"), Absolute("./b.kdrovane") + "\n" + Absolute(kOdd) + "\n");
    // The images of the failed comparison lie beside the odd unit, named after it.
    EXPECT_EQ(Images(), (std::vector<std::string>{kOdd + ".baseline.png", kOdd + ".difference.png",
                                                  kOdd + ".failure.png"}));

    // Retested without the fault: b passes now, the odd unit still fails.
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    const std::string retestSummary = Absolute(kOdd) + "\n" + Red(kOddFailure) + "\n\n\n" + Counts(2, 0, 1, 1);
    EXPECT_EQ(WithoutMetricNotes(run.out), PlainBlock(Absolute("./b.kdrovane"), {kPassed}) +
                                               PlainBlock(Absolute(kOdd), {Red(kOddFailure)}) + kHeading +
                                               retestSummary);
    EXPECT_EQ(Output("summary.log"), retestSummary);
    EXPECT_EQ(Output("failed.log"), Absolute(kOdd) + "\n");
}

TEST_F(RunnerSuiteE2E, UpdateReBaselinesOnlyAfterAYes) {
    CreateBaselines();
    std::string odd = ReadFile(m_work / kOdd);
    odd.replace(odd.find(kRedSquare), kRedSquare.size(), kMagentaSquare);
    WriteFile(m_work / kOdd, odd);
    ASSERT_EQ(Run({}).status, 1);
    ASSERT_EQ(Images().size(), 3u);
    const std::string baseline = ReadFile(m_work / (kOdd + "_baseline"));
    const std::string summary = Output("summary.log");

    RunResult run = Run({"--update"}, "n\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kConfirmation);
    EXPECT_EQ(ReadFile(m_work / (kOdd + "_baseline")), baseline);
    EXPECT_EQ(Output("summary.log"), summary);
    EXPECT_EQ(Images().size(), 3u);

    // Confirmed: the failing unit is re-baselined (its run still fails) and its old images go.
    run = Run({"--update"}, "y\n");
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    std::string transcript;
    for (const UnitSpec& unit : kUnits)
        transcript += unit.path == kOdd
                          ? PlainBlock(kOdd, {Red(kOddFailure), Blue("INFO: Create baseline: Done")})
                          : PlainBlock(unit.path, {kPassed});
    const std::string updateSummary = kOdd + "\n" + Red(kOddFailure) + "\n" + Blue("INFO: Create baseline: Done") +
                                      "\n\n\n" + Counts(6, 0, 5, 1);
    EXPECT_EQ(WithoutMetricNotes(run.out), kConfirmation + transcript + kHeading + updateSummary);
    EXPECT_EQ(Output("summary.log"), updateSummary);
    EXPECT_EQ(Output("failed.log"), Absolute(kOdd) + "\n");
    EXPECT_NE(ReadFile(m_work / (kOdd + "_baseline")), baseline);
    EXPECT_TRUE(Images().empty());

    run = Run({});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(WithoutMetricNotes(run.out), AllPassed() + kHeading + "\n" + Counts(6, 0, 6, 0));
    EXPECT_EQ(Output("failed.log"), "");
}

TEST_F(RunnerSuiteE2E, IgnoreListsSplitTheSuite) {
    CreateBaselines();
    // Comments, blank lines, a name listed in both files, names with a folder part (never
    // matched), a name of a subfolder's unit (not this folder's), and a subfolder's own list.
    WriteFile(m_work / "ignore.txt",
              "# waiting for the new drawing engine\n\n   b.kdrovane   # crashes on start\n\t\n"
              "sub/d.ktavika\nd.ktavika\n#c.persona\n");
    WriteFile(m_work / "ignore_mac.txt", "c.persona\nb.kdrovane\nmissing.kqvle\nignore.txt");
    WriteFile(m_work / "sub/ignore_mac.txt", "e.kestrane_drovanel # no CMYK on this machine\n");
    const std::vector<std::string> ignored{"./b.kdrovane", "./c.persona", "./sub/e.kestrane_drovanel"};
    const std::vector<std::string> tested{"./a.kqvle", kOdd, "./sub/d.ktavika"};

    RunResult run = Run({"--listignored"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\nIgnored units:\n\n./b.kdrovane\n./c.persona\n./sub/e.kestrane_drovanel\n");

    // An ignored unit is not run: b would crash.
    const Environment crashB{{"QUIREVALE_ENGINE_FAULT", "crash"}, {"QUIREVALE_ENGINE_FAULT_UNIT", "b.kdrovane"}};
    run = Run({}, "", crashB);
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::string transcript, summary;
    for (const std::string& unit : tested) transcript += PlainBlock(unit, {kPassed});
    for (const std::string& unit : ignored) summary += "Ignoring unit: " + unit + ".\n";
    summary += "\n" + Counts(6, 3, 3, 0);
    EXPECT_EQ(WithoutMetricNotes(run.out), transcript + kHeading + summary);
    EXPECT_EQ(Output("summary.log"), summary);
    EXPECT_EQ(Output("failed.log"), "");

    // Only the ignored units; the others count as ignored, and no "Ignoring unit" lines.
    run = Run({"--testignored"}, "", crashB);
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    transcript = PlainBlock("./b.kdrovane", {Red("ABORTED: Render comparison")}) +
                 PlainBlock("./c.persona", {kPassed}) + PlainBlock("./sub/e.kestrane_drovanel", {kPassed});
    summary = "./b.kdrovane\n" + Red("ABORTED: Render comparison") + "\n\n" + Counts(6, 3, 2, 1);
    EXPECT_EQ(WithoutMetricNotes(run.out), transcript + kHeading + summary);
    EXPECT_EQ(Output("summary.log"), summary);
    EXPECT_EQ(Output("failed.log"), Absolute("./b.kdrovane") + "\n");
}

TEST_F(RunnerSuiteE2E, LongTextFromOutsideIsCutInEveryStream) {
    fs::remove_all(m_work);
    fs::create_directories(m_work);
    // 200,001 bytes of description: "x", then two-byte characters, so that no cut may split one.
    std::string description = "x";
    for (int i = 0; i < 100000; ++i) description += "\xC3\xA9";
    const std::string unit = "./long.kqvle", blue = "fill 0 0 0 64 48 0 0 1 1";
    WriteFile(m_work / unit, "quirevale-document 1\nformat rgba8\nspread 64 48\nhistory\n"
                             "  fill 0 0 0 64 48 0.2 0.4 0.6 1\nend\nsnapshot regression " +
                                 description + "\n  " + blue + "\nend\n");
    CreateBaselines();
    std::string text = ReadFile(m_work / unit);
    text.replace(text.find(blue), blue.size(), "fill 0 0 0 64 48 0 0 0.5 1");
    WriteFile(m_work / unit, text);

    std::string cut = "x";
    for (int i = 0; i < 63; ++i) cut += "\xC3\xA9";
    const std::string test = "Snapshot render comparison 1/1 (" + cut + "[...])";
    const std::string failure = ": Pixel diff count: 3072, max channel diff: 127 (8 bit), spread: 0";
    RunResult run = Run({});
    EXPECT_EQ(run.status, 1);
    const std::string summary = unit + "\n" + Red("FAILED: " + test + failure) + "\n\n\n" + Counts(1, 0, 0, 1);
    EXPECT_EQ(WithoutMetricNotes(run.out), PlainBlock(unit, {Red("FAILED: " + test + failure)}) + kHeading + summary);
    EXPECT_EQ(WithoutMetricNotes(Output("summary.log")), summary);
    run = Run({"--teamcity"});
    EXPECT_EQ(WithoutMetricNotes(run.out), TeamCityBlock(unit, {"##teamcity[testFailed name='" + unit +
                                                                "' message='FAILED: Snapshot render comparison 1/1 (" +
                                                                cut + "|[...|])" + failure + "']"}) +
                                               kHeading + summary);
    run = runner_test::RunProcess({m_exe.string(), "regressionunit", "-file", unit}, m_work,
                                  {{"TMPDIR", m_tmp.string()}});
    EXPECT_TRUE(unit_test::Contains(run.Lines(), "[START]" + test)) << run.out;

    // A line of failed.log may be as long as the file: shown, it is cut as any path is; kept, it is whole.
    const std::string longPath = "/" + std::string(10000, 'p') + ".kqvle";
    WriteFile(m_root.Path() / "output/failed.log", longPath + "\n");
    const std::string shown = longPath.substr(0, 4096) + "[...]";
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.out, PlainBlock(shown, {Red("FAILED: Find Baseline")}) + kHeading + shown + "\n" +
                           Red("FAILED: Find Baseline") + "\n\n\n" + Counts(1, 0, 0, 1));
    EXPECT_EQ(Output("failed.log"), longPath + "\n");
    run = Run({"--retestfailed", "--teamcity"});
    EXPECT_EQ(runner_test::SplitLines(run.out).front(),
              "##teamcity[testStarted name='" + longPath.substr(0, 4096) + "|[...|]']");
}

TEST_F(RunnerSuiteE2E, CoverageAndSingleUnitRuns) {
    CreateBaselines();
    // Every unit's redo records each kind of drawing command of its history once.
    RunResult run = Run({"--coverage"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    std::string transcript;
    for (const UnitSpec& unit : kUnits)
        transcript += PlainBlock(unit.path, {kPassed, "Recorded " + std::to_string(unit.commandKinds) + " commands"});
    // No unit adds noise.
    const std::string summary = "Unrecorded commands:\nAdd Noise\n\n\n" + Counts(6, 0, 6, 0);
    EXPECT_EQ(WithoutMetricNotes(run.out), transcript + kHeading + summary);
    EXPECT_EQ(Output("summary.log"), summary);

    // One unit: no summary, no logs, nothing on coverage.
    fs::remove_all(m_root.Path() / "output");
    run = Run({"--coverage", "--file", kOdd});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(WithoutMetricNotes(run.out), PlainBlock(kOdd, {kPassed}));
    // The render time follows the comparison; its figure is the machine's.
    run = Run({"--rendertimes", "--file", "./a.kqvle"});
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    const std::regex timed("\nTesting unit: \\./a\\.kqvle\n"
                           "\x1b\\[34mINFO: Render comparison: Render time: [0-9]+ ms\x1b\\[0m\n"
                           "\x1b\\[32mPASSED\x1b\\[0m\n");
    EXPECT_TRUE(std::regex_match(WithoutMetricNotes(run.out), timed)) << run.out;
    std::string odd = ReadFile(m_work / kOdd);
    odd.replace(odd.find(kRedSquare), kRedSquare.size(), kMagentaSquare);
    WriteFile(m_work / kOdd, odd);
    run = Run({"--teamcity", "--file", kOdd});
    EXPECT_EQ(run.status, 1) << run.out << run.err;
    EXPECT_EQ(WithoutMetricNotes(run.out),
              TeamCityBlock(kOddTeamCity,
                            {"##teamcity[testFailed name='" + kOddTeamCity + "' message='" + kOddFailure + "']"}));
    run = Run({"--file", "./sub/missing.kqvle"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Unit file './sub/missing.kqvle' not found\n");
    EXPECT_FALSE(fs::exists(m_root.Path() / "output/summary.log"));
    EXPECT_FALSE(fs::exists(m_root.Path() / "output/failed.log"));
}

}  // namespace
