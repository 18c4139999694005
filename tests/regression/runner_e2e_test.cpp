// The built executable in "regression" mode, run in a temporary folder with its
// own bundle, so that its output folder and working folder are the test's own.
// The unit executor's verdicts are not assumed here: the units below have no
// baselines, so every unit fails whatever the child reports.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "runner_test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using runner_test::ReadFile;
using runner_test::TempDir;
using runner_test::WriteFile;

const char kHeading[] = "\n*********** SUMMARY ***********\n\n";

const char* const kHelpLines[] = {
    "",
    "Options:",
    "  --file <path>    Only tests the specified unit. Otherwise, all units in and below the current directory are "
    "tested. ",
    "  --nodump         Don't create baseline/difference/failure images. Existing images will only be deleted for "
    "passing",
    "                   units.",
    "  --rendertimes    Output the render time for each unit.",
    "  --hardware\t\tEnable hardware acceleration.",
    "  --listignored    List ignored units, then exit.",
    "  --testignored    Only test ignored units.",
    "  --retestfailed   Retest units that failed on the last run. ",
    "  --update         Updates the baseline for each unit that fails a render test. Implies --nodump, and also "
    "deletes",
    "                   existing images.",
    "  --create         Creates a baseline for units that don't have one, then tests the unit. Skips other units. ",
    "  --teamcity       Produce output in TeamCity format.",
    "  --showcommands   Show all commands in the document history, sorted alphabetically. ",
    "  --coverage       Test command coverage. ",
    "",
    "Ignore lists:",
    "  Unit filenames can be listed in an ignore file (one per line) to cause them to be skipped when testing.",
    "  The ignore file must be in the same directory as the unit filenames it contains.",
    "  Ignore files can contain comments; when a '#' character is encountered, the remainder of that line will be "
    "ignored.",
    "  Valid ignore file names:",
    "    ignore.txt       loaded on all platforms",
    "    ignore_win.txt   loaded on Windows only",
    "    ignore_mac.txt   loaded on Mac only",
};

const char kConfirmation[] =
    "\nWARNING: Regression is running with the --update option.\n"
    "This will overwrite the baseline for each unit that fails a render test.\n"
    "It should only be used on units where the changes have been approved.\n"
    "Continue? (y/n)\n";

std::string Counts(int found, int ignored, int passed, int failed) {
    return "Units found:   " + std::to_string(found) + "\nUnits ignored: " + std::to_string(ignored) +
           "\nUnits passed:  " + std::to_string(passed) + "\nUnits failed:  " + std::to_string(failed) + "\n";
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::vector<std::string> Lines(const std::string& text) { return runner_test::SplitLines(text); }

using RunResult = runner_test::ProcessResult;

class RunnerE2E : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.Path().empty());
        fs::path bundle = fs::path(QV_EXECUTABLE).parent_path().parent_path();
        std::error_code error;
        fs::create_directories(m_exe.parent_path(), error);
        ASSERT_TRUE(fs::copy_file(QV_EXECUTABLE, m_exe, error)) << QV_EXECUTABLE << ": " << error.message();
        if (fs::is_directory(bundle / "Resources"))
            fs::copy(bundle / "Resources", m_root.Path() / "Quirevale.app/Contents/Resources",
                     fs::copy_options::recursive, error);
        ASSERT_TRUE(fs::create_directories(m_work, error) && fs::create_directories(m_home, error));
    }

    // Runs "regression" with the arguments in the work folder, HOME and PWD apart unless given.
    RunResult Run(const std::vector<std::string>& arguments, const std::string& input = "",
                  runner_test::Environment environment = {}) {
        environment.emplace("HOME", m_home.string());
        environment.emplace("PWD", m_work.string());
        std::vector<std::string> args{m_exe.string(), "regression"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        return runner_test::RunProcess(args, m_work, environment, input);
    }

    std::string Output(const char* name) { return ReadFile(m_root.Path() / "output" / name); }
    void Unit(const std::string& relative) { WriteFile(m_work / relative, "not a real document\n"); }

    TempDir m_root;
    fs::path m_exe = m_root.Path() / "Quirevale.app/Contents/MacOS/quirevale";
    fs::path m_work = m_root.Path() / "work";
    fs::path m_home = m_root.Path() / "home";
};

TEST_F(RunnerE2E, HelpPrintsEveryLineAndWins) {
    std::string help;
    for (const char* line : kHelpLines) help += std::string(line) + "\n";
    for (const auto& arguments : {std::vector<std::string>{"--help"},
                                  std::vector<std::string>{"--listignored", "--update", "--help"}}) {
        RunResult run = Run(arguments);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out, help);
    }
    EXPECT_TRUE(fs::is_directory(m_root.Path() / "output"));  // made in every mode
}

TEST_F(RunnerE2E, ListIgnoredReadsBothListsPerFolder) {
    for (const char* unit : {"a.kqvle", "b.kqvle", "c.persona", "d.ktavika", "sub/a.kqvle", "sub/e.kqvle"}) Unit(unit);
    WriteFile(m_work / "ignore.txt", "# broken since the move\n\na.kqvle   # flaky\nsub/e.kqvle\n   \n");
    WriteFile(m_work / "ignore_mac.txt", "c.persona\na.kqvle\nmissing.kqvle\n");
    WriteFile(m_work / "sub/ignore_mac.txt", "e.kqvle\n");
    const std::string listing = "\nIgnored units:\n\n./a.kqvle\n./c.persona\n./sub/e.kqvle\n";

    RunResult run = Run({"--listignored"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, listing);
    run = Run({"--listignored", "--update"}, "y\n");  // never asks
    EXPECT_EQ(run.out, listing);
    EXPECT_FALSE(fs::exists(m_root.Path() / "output/summary.log"));
}

TEST_F(RunnerE2E, FileOptionChecksThePathFirst) {
    WriteFile(m_work / "notes.txt", "text");
    struct Case {
        std::vector<std::string> arguments;
        std::string out;
    };
    const Case cases[] = {
        {{"--file", "nope.kqvle"}, "Unit file 'nope.kqvle' not found\n"},
        {{"--file"}, "No unit file specified\n"},
        {{"--file", "notes.txt"}, ""},
        {{"--file", "."}, "Unit file '.' not found\n"},
    };
    for (const Case& c : cases) {
        RunResult run = Run(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments.back();
        EXPECT_EQ(run.out, c.out);
    }

    Unit("a.kqvle");
    RunResult run = Run({"--teamcity", "--file", "a.kqvle"});
    EXPECT_EQ(run.status, 1);
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines.front(), "##teamcity[testStarted name='a.kqvle']");
    EXPECT_EQ(lines.back(), "##teamcity[testFinished name='a.kqvle']");
    // No summary and no logs in this mode.
    EXPECT_FALSE(fs::exists(m_root.Path() / "output/summary.log"));
    EXPECT_FALSE(fs::exists(m_root.Path() / "output/failed.log"));
}

TEST_F(RunnerE2E, FailedUnitsAreSummarisedLoggedAndRetested) {
    for (const char* unit : {"a.kqvle", "sub/b.ktavika", "c.persona"}) Unit(unit);
    WriteFile(m_work / "ignore.txt", "c.persona\n");
    const std::string work = fs::canonical(m_work).string();

    RunResult run = Run({});
    EXPECT_EQ(run.status, 1);
    size_t first = run.out.find("\nTesting unit: ./a.kqvle\n");
    size_t second = run.out.find("\nTesting unit: ./sub/b.ktavika\n");
    EXPECT_EQ(first, 0u);
    EXPECT_NE(second, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_EQ(run.out.find("PASSED"), std::string::npos);
    const std::string summary = Output("summary.log");
    EXPECT_TRUE(EndsWith(run.out, kHeading + summary));
    EXPECT_EQ(summary.rfind("./a.kqvle\n", 0), 0u);
    EXPECT_NE(summary.find("\n\n./sub/b.ktavika\n"), std::string::npos);
    EXPECT_TRUE(EndsWith(summary, "\nIgnoring unit: ./c.persona.\n\n" + Counts(3, 1, 0, 2)));
    EXPECT_EQ(Output("failed.log"), work + "/a.kqvle\n" + work + "/sub/b.ktavika\n");

    // Empty lines in the log name no unit.
    WriteFile(m_root.Path() / "output/failed.log", "\n" + work + "/sub/b.ktavika\n\n" + work + "/a.kqvle\n\n");
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("\nTesting unit: " + work + "/sub/b.ktavika\n"), 0u);
    EXPECT_NE(run.out.find("\nTesting unit: " + work + "/a.kqvle\n"), std::string::npos);
    EXPECT_EQ(run.out.find("\nTesting unit: \n"), std::string::npos);
    EXPECT_TRUE(EndsWith(run.out, "\n\n" + Counts(2, 0, 0, 2)));
    EXPECT_EQ(Output("failed.log"), work + "/sub/b.ktavika\n" + work + "/a.kqvle\n");

    // Only the ignored unit; the two others count as ignored.
    run = Run({"--testignored"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("\nTesting unit: ./c.persona\n"), 0u);
    EXPECT_EQ(run.out.find("Testing unit: ./a.kqvle"), std::string::npos);
    EXPECT_EQ(run.out.find("Ignoring unit"), std::string::npos);
    EXPECT_TRUE(EndsWith(run.out, Counts(3, 2, 0, 1)));
    EXPECT_EQ(Output("failed.log"), work + "/c.persona\n");

    // Retest and testignored together test nothing.
    run = Run({"--retestfailed", "--testignored"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kHeading + Counts(1, 1, 0, 0));
    EXPECT_EQ(Output("failed.log"), "");
}

TEST_F(RunnerE2E, TeamCityServiceMessagesAreEscaped) {
    Unit("it's [x].kqvle");
    Unit("plain.kqvle");
    RunResult run = Run({"--teamcity"});
    EXPECT_EQ(run.status, 1);
    std::string before = run.out.substr(0, run.out.find(kHeading));
    std::vector<std::string> lines = Lines(before);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines.front(), "##teamcity[testStarted name='./it|'s |[x|].kqvle']");
    EXPECT_EQ(lines.back(), "##teamcity[testFinished name='./plain.kqvle']");
    // Each unit fails, so each has a failure message between its start and finish.
    const std::string started = "##teamcity[testStarted name='", finished = "##teamcity[testFinished name='";
    std::vector<std::string> framing;
    std::string current;
    int failures = 0;
    for (const std::string& line : lines) {
        EXPECT_EQ(line.rfind("##teamcity[", 0), 0u) << line;
        if (line.rfind(started, 0) == 0) {
            current = line.substr(started.size(), line.size() - started.size() - 2);
            failures = 0;
            framing.push_back(line);
        } else if (line.rfind(finished, 0) == 0) {
            EXPECT_GT(failures, 0) << line;
            framing.push_back(line);
        } else if (line.rfind("##teamcity[testFailed name='" + current + "' message='", 0) == 0) {
            ++failures;
        }
    }
    EXPECT_EQ(framing, (std::vector<std::string>{"##teamcity[testStarted name='./it|'s |[x|].kqvle']",
                                                 "##teamcity[testFinished name='./it|'s |[x|].kqvle']",
                                                 "##teamcity[testStarted name='./plain.kqvle']",
                                                 "##teamcity[testFinished name='./plain.kqvle']"}));
    EXPECT_TRUE(EndsWith(run.out, "\n" + Counts(2, 0, 0, 2)));
}

TEST_F(RunnerE2E, UnitPathsReachTheChildWithoutAShell) {
    // If any shell saw this name, the backquotes would create "pwned" in the work folder.
    const std::string name = "a b \"c\" 'd' $HOME `touch pwned` \\e $(touch pwned2).kqvle";
    Unit(name);
    const std::string work = fs::canonical(m_work).string();

    RunResult run = Run({});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("\nTesting unit: ./" + name + "\n"), 0u);
    EXPECT_EQ(Output("failed.log"), work + "/" + name + "\n");
    EXPECT_EQ(Output("summary.log").rfind("./" + name + "\n", 0), 0u);

    run = Run({"--file", name});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("\nTesting unit: " + name + "\n"), 0u);

    for (const auto& entry : fs::recursive_directory_iterator(m_root.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("pwned", 0), std::string::npos) << entry.path();
}

TEST_F(RunnerE2E, UpdateNeedsAYesOnStandardInput) {
    for (const char* answer : {"n\n", "", "\n", "yes\n", " y\n", "N\n"}) {
        RunResult run = Run({"--update"}, answer);
        EXPECT_EQ(run.status, 0) << answer;
        EXPECT_EQ(run.out, kConfirmation) << answer;
        EXPECT_FALSE(fs::exists(m_root.Path() / "output/summary.log"));
    }
    // Confirmed with no units at all: an empty, passing run.
    for (const char* answer : {"y\n", "Y\n", "y"}) {
        RunResult run = Run({"--update"}, answer);
        EXPECT_EQ(run.status, 0) << answer;
        EXPECT_EQ(run.out, kConfirmation + std::string(kHeading) + "\n" + Counts(0, 0, 0, 0)) << answer;
        EXPECT_EQ(Output("summary.log"), "\n" + Counts(0, 0, 0, 0));
        EXPECT_EQ(Output("failed.log"), "");
    }
    Unit("a.kqvle");
    RunResult run = Run({"--update", "--nodump"}, "n\n");
    EXPECT_EQ(run.out, kConfirmation);
    run = Run({"--update"}, "y\n");
    EXPECT_EQ(run.out.find(std::string(kConfirmation) + "\nTesting unit: ./a.kqvle\n"), 0u);
    EXPECT_EQ(run.status, 1);
}

TEST_F(RunnerE2E, SameHomeAndWorkingFolderRunsFromBesideTheExecutable) {
    // The executable's folder joined with "../.." is the bundle folder.
    WriteFile(m_root.Path() / "Quirevale.app/x.kqvle", "unit");
    WriteFile(m_root.Path() / "Quirevale.app/ignore.txt", "x.kqvle\n");
    Unit("y.kqvle");
    WriteFile(m_work / "ignore.txt", "y.kqvle\n");
    RunResult run = Run({"--listignored"}, "", {{"HOME", m_home.string()}, {"PWD", m_home.string()}});
    EXPECT_EQ(run.out, "\nIgnored units:\n\n./x.kqvle\n");
    run = Run({"--listignored"});
    EXPECT_EQ(run.out, "\nIgnored units:\n\n./y.kqvle\n");
}

}  // namespace
