// The runner's side of a unit run, driven in-process against small scripts that
// stand in for the unit executor and print chosen protocol lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regression/RegressionStrings.h"
#include "regression/Runner.h"
#include "regression/UnitProcess.h"
#include "runner_test_support.h"

namespace {

using Kernel::String;
using runner_test::ReadFile;
using runner_test::TempDir;
using runner_test::WriteFile;
using runner_test::WriteScript;

const std::string kRed = "\033[31m", kBlue = "\033[34m", kReset = "\033[0m";
const std::string kPassed = "\033[32mPASSED\033[0m\n";

TEST(RunnerStrings, PathComponents) {
    const std::pair<std::string, std::string> removals[] = {
        {"/a/b/c", "/a/b"}, {"/a/b/", "/a/b"}, {"a//b", "a"}, {"/a", ""}, {"/", ""}, {"plain", ""}, {"", ""},
        {"x/", "x"},
    };
    for (const auto& [in, out] : removals) {
        String path(in);
        RemoveLastPathComponent(path);
        EXPECT_EQ(path.ToStd(), out) << in;
    }
    struct Join {
        std::string base;
        const char* component;
        std::string joined;
    };
    const Join joins[] = {
        {"/a", "b", "/a/b"}, {"/a/", "b", "/a/b"}, {"", "output", "output"}, {"/a", "", "/a"}, {"/a", nullptr, "/a"},
        {"/exe/dir", "../..", "/exe/dir/../.."},
    };
    for (const Join& j : joins) {
        String path(j.base);
        String other = path;
        AppendPathComponent(path, j.component);
        EXPECT_EQ(path.ToStd(), j.joined);
        EXPECT_EQ(other.ToStd(), j.base);  // the shared text is left alone
    }
}

TEST(RunnerStrings, FormatFunctions) {
    EXPECT_EQ(FormatWithString("Ignoring unit: %1.", String("./a b.kqvle")), "Ignoring unit: ./a b.kqvle.");
    EXPECT_EQ(FormatWithInt("Units found:   %1", -12345678), "Units found:   -12345678");
    EXPECT_EQ(FormatWithUInt64("Recorded %1 commands", 18446744073709551615ull),
              "Recorded 18446744073709551615 commands");
    EXPECT_EQ(FormatWithThreeStrings("%1 %2 -file %3", String("x"), String(""), String("u")), "x  -file u");
    EXPECT_EQ(FormatWithTextAndString("%1: %2", "label", String("text")), "label: text");
    EXPECT_EQ(FormatWithString("100% of %1", String("units")), "100% of units");
}

TEST(RunnerReporting, TeamCityValuesAreEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain/path.kqvle", "plain/path.kqvle"},
        {"it's", "it|'s"},
        {"a|b", "a||b"},
        {"[x]", "|[x|]"},
        {"l1\nl2\r", "l1|nl2|r"},
        {"||'", "|||||'"},
        {"next\xC2\x85line\xE2\x80\xA8para\xE2\x80\xA9", "next|xline|lpara|p"},
        {"caf\xC3\xA9 \"q\" $HOME `x`", "caf\xC3\xA9 \"q\" $HOME `x`"},
        {"\x1b[2J\t", "|0x001b|[2J|0x0009"},
        // Lone bytes are escaped with their value: 0x7f is DEL, 0x80 to 0x9f a terminal's 8-bit
        // controls, and 0xa0 no character either.
        {"a\x7f" "b\x80" "c\x9f" "d\xa0", "a|0x007fb|0x0080c|0x009fd|0x00a0"},
        {"c\xC2\x9b" "2Jd", "c|0x009b2Jd"},
        {"\xC2\x80 \xC2\x9F \xC2\xA0", "|0x0080 |0x009f \xC2\xA0"},
        {"\xC0\xAF \xE0\x82\x9B", "|0x00c0|0x00af |0x00e0|0x0082|0x009b"},  // overlong "/" and U+009B
        {"\xED\xA0\x80 \xF4\x90\x80\x80", "|0x00ed|0x00a0|0x0080 |0x00f4|0x0090|0x0080|0x0080"},
        {"\xF0\x9F\x98\x80 \xEF\xBF\xBD", "\xF0\x9F\x98\x80 \xEF\xBF\xBD"},
        {"unit\xE2\x80", "unit|0x00e2|0x0080"},  // cut short at the end
        // Overlong forms of two, three and four bytes at their edges; the first valid forms beside them.
        {"\xC0\x80 \xC1\xBF \xE0\x9F\xBF \xF0\x8F\xBF\xBF",
         "|0x00c0|0x0080 |0x00c1|0x00bf |0x00e0|0x009f|0x00bf |0x00f0|0x008f|0x00bf|0x00bf"},
        {"\xE0\xA0\x80 \xF0\x90\x80\x80 \xED\x9F\xBF \xF4\x8F\xBF\xBF",
         "\xE0\xA0\x80 \xF0\x90\x80\x80 \xED\x9F\xBF \xF4\x8F\xBF\xBF"},
        // Lead bytes that begin no sequence.
        {"\x80\xBF \xBF\x80 \xF5\x80\x80\x80 \xF7\xBF\xBF\xBF \xF8\x88\x80\x80\x80 \xFF",
         "|0x0080|0x00bf |0x00bf|0x0080 |0x00f5|0x0080|0x0080|0x0080 |0x00f7|0x00bf|0x00bf|0x00bf "
         "|0x00f8|0x0088|0x0080|0x0080|0x0080 |0x00ff"},
        // A bad byte at each later place of a sequence, and at either end of the continuation range.
        {"\xC3" "A \xE2" "A\x82 \xE2\x82" "A \xF0" "A\x98\x80 \xF0\x9F" "A\x80 \xF0\x9F\x98" "A",
         "|0x00c3A |0x00e2A|0x0082 |0x00e2|0x0082A |0x00f0A|0x0098|0x0080 |0x00f0|0x009fA|0x0080 "
         "|0x00f0|0x009f|0x0098A"},
        {"\xE2\x82\x7F \xE2\x82\xC0", "|0x00e2|0x0082|0x007f |0x00e2|0x0082|0x00c0"},
        // A byte of no character is told by its value, even where that is a line break's code point.
        {"\x85", "|0x0085"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EscapeTeamCityValue(String(in)).ToStd(), out) << in;
}

TEST(RunnerOptions, OnlyASingleYConfirmsTheUpdate) {
    const std::pair<std::string, bool> answers[] = {
        {"y", true}, {"Y", true}, {"n", false}, {"", false}, {"yes", false}, {" y", false}, {"y ", false},
        {"y\r", false},
    };
    for (const auto& [answer, confirmed] : answers) EXPECT_EQ(IsUpdateConfirmed(answer), confirmed) << answer;
}

TEST(RunnerOptions, FailedUnitsLogSkipsEmptyLines) {
    TempDir dir;
    WriteFile(dir / "failed.log", "/a/one.kqvle\n\n/b/two words.kqvle\n\n\n/c/three.kqvle");
    std::vector<std::string> got;
    const std::vector<String> units = ReadFailedUnitsLog(String(dir / "failed.log")).value();
    for (const String& s : units) got.push_back(s.ToStd());
    EXPECT_EQ(got, (std::vector<std::string>{"/a/one.kqvle", "/b/two words.kqvle", "/c/three.kqvle"}));
    EXPECT_TRUE(ReadFailedUnitsLog(String(dir / "missing.log")).value().empty());
}

// Stands in for the executable: prints the unit file as its output and exits
// with the status in "<unit>.exit" (or is killed when it says "kill"); "-getcommands" prints "<script>.commands".
const char kFakeUnitExecutor[] = R"sh(
if [ "$1" = "-getcommands" ]; then cat "$0.commands"; exit 0; fi
file=; prev=
for a in "$@"; do if [ "$prev" = "-file" ]; then file=$a; fi; prev=$a; done
cat -- "$file"
if [ -f "$file.exit" ]; then
  status=$(cat -- "$file.exit")
  if [ "$status" = kill ]; then kill -KILL $$; fi
  exit "$status"
fi
exit 0
)sh";

class RunnerChild : public testing::Test {
protected:
    void SetUp() override {
        m_savedFlags = RegressionRunFlags;
        m_savedPath = ExecutablePath;
        RegressionRunFlags = RegressionRunFlagSet();
        WriteScript(m_dir.Path() / "fake-unit", kFakeUnitExecutor);
        ExecutablePath = String(m_dir / "fake-unit");
    }
    void TearDown() override {
        RegressionRunFlags = m_savedFlags;
        ExecutablePath = m_savedPath;
    }
    // A unit whose child prints output and exits with status.
    std::string Unit(const std::string& name, const std::string& output, int status = 0) {
        return Unit(name, output, status == 0 ? std::string() : std::to_string(status));
    }
    std::string Unit(const std::string& name, const std::string& output, const std::string& ending) {
        WriteFile(m_dir.Path() / name, output);
        if (!ending.empty()) WriteFile(m_dir.Path() / (name + ".exit"), ending);
        return m_dir / name;
    }
    // Runs the unit, returning the console text.
    std::string Run(UnitProcess& unit, bool& passed) {
        testing::internal::CaptureStdout();
        passed = RunUnitProcess(unit);
        return testing::internal::GetCapturedStdout();
    }

    TempDir m_dir;
    RegressionRunFlagSet m_savedFlags;
    String m_savedPath;
};

TEST_F(RunnerChild, VerdictFollowsRecordsAndExitStatus) {
    struct Case {
        std::string output;
        int status;
        bool passed;
        std::vector<std::string> reportLines;  // coloured
    };
    const Case cases[] = {
        {"", 0, true, {}},
        {"[START]Load unit\n[END]\n", 0, true, {}},
        {"[START]Render\n[END]\n", -9, false, {}},
        {"[START]Render\n", -9, false, {kRed + "ABORTED: Render" + kReset}},
        {"[START]Load unit\n[FAIL]\n[END]\n", 0, false, {kRed + "FAILED: Load unit" + kReset}},
        {"[START]Render\n[INFO]took 5 ms\n", 0, false,
         {kBlue + "INFO: Render: took 5 ms" + kReset, kRed + "ABORTED: Render" + kReset}},
        {"[START]Render\n[END] trailing\n[INFO]note\n", 0, true, {kBlue + "INFO: : note" + kReset}},
        {"", 255, false, {}},
        // A carriage return stays in the payload and is shown as "\r", so it starts no line.
        {"[START]A\n[FAIL]x\r\n[END]\n[FAIL]never complete", 0, false, {kRed + "FAILED: A: x\\r" + kReset}},
        {" [FAIL]blank first\n[InitBackend] assert: f.cpp:1 (e)\n", 0, true, {}},
        {"[START]One\n[START]Two\n[END]\n[END]\n", 0, true, {}},
        {"[START]\n", 0, true, {}},  // an empty test name is no open test
        // A line is kept to 20480 bytes, its tag included, and cut at a whole character.
        {"[START]" + std::string(20472, 'n') + "\xC3\xA9\n[FAIL]" + std::string(30000, 'm') + "\n[END]\n", 0, false,
         {kRed + "FAILED: " + std::string(20472, 'n') + "[...]: " + std::string(20474, 'm') + "[...]" + kReset}},
    };
    int index = 0;
    for (const Case& c : cases) {
        std::string ending = c.status < 0 ? "kill" : c.status > 0 ? std::to_string(c.status) : "";
        UnitProcess unit(String(Unit("case" + std::to_string(index++) + ".kqvle", c.output, ending)));
        bool passed = false;
        std::string console = Run(unit, passed);
        EXPECT_EQ(passed, c.passed) << c.output;
        std::vector<std::string> lines;
        for (const String& s : unit.ReportLines) lines.push_back(s.ToStd());
        EXPECT_EQ(lines, c.reportLines) << c.output;
        std::string expected = "\nTesting unit: " + unit.UnitPath.ToStd() + "\n";
        for (const std::string& line : c.reportLines) expected += line + "\n";
        if (c.passed) expected += kPassed;
        EXPECT_EQ(console, expected) << c.output;
    }
}

TEST_F(RunnerChild, CommandsAreRecordedAndShownSortedAfterTheVerdict) {
    RegressionRunFlags.showcommands = true;
    RegressionRunFlags.coverage = true;
    UnitProcess unit(String(Unit("history.kqvle",
                                 "[START]History\n[COMMAND]3|Zoom\n[COMMAND]1|Fill\n[COMMAND]2|\n[COMMAND]1|Fill\n"
                                 "[COMMAND]7|Na|me\n[END]\n")));
    bool passed = false;
    std::string console = Run(unit, passed);
    EXPECT_TRUE(passed);
    EXPECT_EQ(console, "\nTesting unit: " + unit.UnitPath.ToStd() + "\n" + kPassed + kBlue + "COMMAND: 2" + kReset +
                           "\n" + kBlue + "COMMAND: 7" + kReset + "\n" + kBlue + "COMMAND: Fill" + kReset + "\n" +
                           kBlue + "COMMAND: Fill" + kReset + "\n" + kBlue + "COMMAND: Zoom" + kReset + "\n");
    std::vector<std::string> recorded;
    for (const String& s : unit.RecordedCommands) recorded.push_back(s.ToStd());
    EXPECT_EQ(recorded, (std::vector<std::string>{"3", "1", "2", "1", "7"}));
    EXPECT_TRUE(unit.ReportLines.empty());
}

TEST_F(RunnerChild, TeamCityMessagesEscapeNameAndText) {
    RegressionRunFlags.teamcity = true;
    RegressionRunFlags.showcommands = true;
    std::string path = Unit("it's [odd] |.kqvle", "[START]Load unit\n[INFO]see [1]\n[FAIL]can't\n[COMMAND]9|Fill\n");
    std::string name = EscapeTeamCityValue(String(path)).ToStd();
    UnitProcess unit{String(path)};
    bool passed = true;
    std::string console = Run(unit, passed);
    EXPECT_FALSE(passed);
    EXPECT_EQ(console, "##teamcity[testStarted name='" + name + "']\n" +
                           "##teamcity[message text='INFO: Load unit: see |[1|]']\n" +
                           "##teamcity[testFailed name='" + name + "' message='FAILED: Load unit: can|'t']\n" +
                           "##teamcity[testFailed name='" + name + "' message='ABORTED: Load unit']\n" +
                           "##teamcity[message text='COMMAND: Fill']\n" + "##teamcity[testFinished name='" + name +
                           "']\n");
    // The summary keeps the coloured form in this mode too.
    ASSERT_EQ(unit.ReportLines.size(), 3u);
    EXPECT_EQ(unit.ReportLines[1].ToStd(), kRed + "FAILED: Load unit: can't" + kReset);

    UnitProcess clean(String(Unit("clean.kqvle", "")));
    console = Run(clean, passed);
    EXPECT_TRUE(passed);
    EXPECT_EQ(console, "##teamcity[testStarted name='" + clean.UnitPath.ToStd() + "']\n" + kPassed +
                           "##teamcity[testFinished name='" + clean.UnitPath.ToStd() + "']\n");

    // A child that fails without a failure record still fails its TeamCity test.
    const std::pair<std::string, std::string> silent[] = {{"3", "exit status 3"}, {"kill", "signal 9"}};
    for (const auto& [ending, text] : silent) {
        UnitProcess quiet(String(Unit("quiet" + ending + ".kqvle", "[START]A\n[END]\n", ending)));
        console = Run(quiet, passed);
        EXPECT_FALSE(passed);
        EXPECT_TRUE(quiet.ReportLines.empty());
        const std::string n = quiet.UnitPath.ToStd();
        EXPECT_EQ(console, "##teamcity[testStarted name='" + n + "']\n##teamcity[testFailed name='" + n +
                               "' message='FAILED: the unit process ended with " + text +
                               "']\n##teamcity[testFinished name='" + n + "']\n");
    }
}

TEST_F(RunnerChild, ArgumentsReachTheChildUnchanged) {
    WriteScript(m_dir.Path() / "echo-args", "for a in \"$@\"; do printf '[INFO]%s\\n' \"$a\"; done\n");
    ExecutablePath = String(m_dir / "echo-args");
    const std::string path = m_dir / "a b \"c\" 'd' $HOME `touch pwned` \\e;|f&.kqvle";
    struct Case {
        RegressionRunFlagSet flags;
        std::vector<std::string> options;
    };
    RegressionRunFlagSet all;
    all.update = all.nodump = all.rendertimes = all.hardware = all.create = all.showcommands = true;
    all.teamcity = all.coverage = false;
    RegressionRunFlagSet some;
    some.nodump = some.create = true;
    const Case cases[] = {
        {RegressionRunFlagSet(), {}},
        {some, {"--nodump", "--create"}},
        {all, {"--update", "--nodump", "--rendertimes", "--hardware", "--create", "--showcommands"}},
    };
    for (const Case& c : cases) {
        RegressionRunFlags = c.flags;
        UnitProcess unit{String(path)};
        bool passed = false;
        Run(unit, passed);
        std::vector<std::string> expected;
        for (const std::string& option : c.options) expected.push_back(kBlue + "INFO: : " + option + kReset);
        for (const char* word : {"-file", path.c_str(), "regressionunit"})
            expected.push_back(kBlue + "INFO: : " + word + kReset);
        std::vector<std::string> got;
        for (const String& s : unit.ReportLines) got.push_back(s.ToStd());
        EXPECT_EQ(got, expected);
        EXPECT_TRUE(passed);
    }
    EXPECT_FALSE(std::filesystem::exists("pwned"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path() / "pwned"));
}

TEST_F(RunnerChild, AChildThatCannotStartIsAFailedUnit) {
    WriteFile(m_dir.Path() / "not-executable", "#!/bin/sh\nexit 0\n");
    for (std::string program : {m_dir / "missing", m_dir / "not-executable"}) {
        ExecutablePath = String(program);
        UnitProcess unit(String("u.kqvle"));
        bool passed = true;
        std::string console = Run(unit, passed);
        EXPECT_FALSE(passed);
        EXPECT_TRUE(unit.Failed);
        ASSERT_EQ(unit.ReportLines.size(), 1u) << program;
        EXPECT_EQ(unit.ReportLines[0].ToStd().rfind(kRed + "FAILED: : the unit process could not be started (", 0), 0u);
        EXPECT_EQ(console, "\nTesting unit: u.kqvle\n" + unit.ReportLines[0].ToStd() + "\n");
    }
}

TEST_F(RunnerChild, SummaryAndLogsOfARun) {
    runner_test::ScopedCurrentDirectory inside(m_dir.Path());
    const std::string dir = m_dir.Path().string();
    Unit("pass.kqvle", "[START]Render\n[END]\n");
    Unit("fail.kqvle", "[START]Render\n[FAIL]3 pixels differ\n[END]\n");
    Unit("sub/silent.kqvle", "", 1);
    const std::string aborted = Unit("crash.kqvle", "[START]Macro test\n", 139);
    std::filesystem::create_directories(m_dir.Path() / "out");
    const String output(m_dir / "out");

    std::vector<String> tested = {String("./pass.kqvle"), String("fail.kqvle"), String("./sub/../sub/silent.kqvle"),
                                  String(aborted)};
    std::vector<String> ignored = {String("./x.kqvle"), String("./y.kqvle")};
    testing::internal::CaptureStdout();
    int code = RunUnitsAndSummarise(tested, ignored, false, output);
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 1);

    const std::string summary = "fail.kqvle\n" + kRed + "FAILED: Render: 3 pixels differ" + kReset + "\n\n" +
                                "./sub/../sub/silent.kqvle\n\n" + aborted + "\n" + kRed + "ABORTED: Macro test" +
                                kReset + "\n\n" + "Ignoring unit: ./x.kqvle.\nIgnoring unit: ./y.kqvle.\n\n" +
                                "Units found:   6\nUnits ignored: 2\nUnits passed:  1\nUnits failed:  3\n";
    EXPECT_EQ(ReadFile(m_dir.Path() / "out/summary.log"), summary);
    const std::string heading = "\n*********** SUMMARY ***********\n\n";
    ASSERT_GE(console.size(), heading.size() + summary.size());
    EXPECT_EQ(console.substr(console.size() - summary.size() - heading.size()), heading + summary);
    EXPECT_EQ(ReadFile(m_dir.Path() / "out/failed.log"),
              dir + "/fail.kqvle\n" + dir + "/sub/silent.kqvle\n" + dir + "/crash.kqvle\n");
    ASSERT_EQ(FailedUnits.size(), 3u);
    EXPECT_EQ(FailedUnits[2].CurrentTest, "Macro test");

    // Ignored units tested: no "Ignoring" lines; the others count as ignored.
    testing::internal::CaptureStdout();
    code = RunUnitsAndSummarise({String("./pass.kqvle")}, tested, true, output);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadFile(m_dir.Path() / "out/summary.log"),
              "Units found:   5\nUnits ignored: 4\nUnits passed:  1\nUnits failed:  0\n");
    EXPECT_EQ(ReadFile(m_dir.Path() / "out/failed.log"), "");

    // Nothing to test at all; an output folder that cannot be written changes only the files.
    testing::internal::CaptureStdout();
    code = RunUnitsAndSummarise({}, {}, false, String(m_dir / "no/such/folder"));
    console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(console, heading + "\nUnits found:   0\nUnits ignored: 0\nUnits passed:  0\nUnits failed:  0\n");
}

// However a hostile child or tree words a path, a test name or a failure, the console and
// summary.log hold no service message but the runner's own, at any column.
TEST_F(RunnerChild, NoUnitTextMakesAServiceMessage) {
    runner_test::ScopedCurrentDirectory inside(m_dir.Path());
    const std::string forged = "##teamcity[buildStatus status='SUCCESS' text='forged']";
    const std::string shown = "\\x23\\x23" + forged.substr(2);
    const std::string output = "[START]T\r" + forged + "\r\n[FAIL]a\r" + forged + "\n[INFO]\r" + forged + "\n[END]\n";
    // Found in a folder whose name holds line breaks, or read back from failed.log as it stands.
    const std::string inFolder = "./x\n" + forged + "\ny/a.kqvle";
    const std::string asLogged = forged + ".kqvle";
    Unit(inFolder, output);
    Unit(asLogged, output);
    const std::vector<String> ignored = {String("./i\r" + forged + "\n" + forged + ".kqvle")};
    std::filesystem::create_directories(m_dir.Path() / "out");
    for (const bool teamcity : {false, true}) {
        SCOPED_TRACE(teamcity ? "teamcity" : "plain");
        RegressionRunFlags.teamcity = teamcity;
        testing::internal::CaptureStdout();
        const int code = RunUnitsAndSummarise({String(inFolder), String(asLogged)}, ignored, false, String(m_dir / "out"));
        const std::string console = testing::internal::GetCapturedStdout();
        EXPECT_EQ(code, 1);
        const std::string summary = ReadFile(m_dir.Path() / "out/summary.log");
        for (const std::string& text : {console, summary}) {
            for (const runner_test::ServiceMessage& m : runner_test::FindServiceMessages(text))
                EXPECT_TRUE(teamcity && text == console && runner_test::IsRunnersOwnServiceMessage(m)) << m.text;
            EXPECT_EQ(text.find('\r'), std::string::npos);
        }
        // Line breaks show as "\n" and "\r", each "#" of a marker as "\x23"; the texts keep the
        // words the runner gives them.
        const std::string report = kRed + "FAILED: T\\r" + shown + "\\r: a\\r" + shown + kReset + "\n" + kBlue +
                                   "INFO: T\\r" + shown + "\\r: \\r" + shown + kReset + "\n";
        EXPECT_EQ(summary, "./x\\n" + shown + "\\ny/a.kqvle\n" + report + "\n" + shown + ".kqvle\n" + report +
                               "\nIgnoring unit: ./i\\r" + shown + "\\n" + shown + ".kqvle.\n\n" +
                               runner_test::Counts(3, 1, 0, 2));
        if (!teamcity) {
            EXPECT_NE(console.find("\nTesting unit: ./x\\n" + shown + "\\ny/a.kqvle\n" + report), std::string::npos)
                << console;
        }
    }
}

TEST_F(RunnerChild, CoverageReportComparesWithTheRegistry) {
    RegressionRunFlags.coverage = true;
    WriteFile(m_dir.Path() / "fake-unit.commands",
              "[InitBackend] assert: x.cpp:1 (y)\n[COMMAND]1|Fill\n[COMMAND]2|\n[COMMAND]4|Rotate\n[INFO]x\n"
              "[COMMAND]5|Blur\n[COMMAND]6|Alpha\n");
    std::vector<String> tested = {String(Unit("a.kqvle", "[COMMAND]5|Blur\n[COMMAND]1|Fill\n[COMMAND]5|Blur\n")),
                                  String(Unit("b.kqvle", "[COMMAND]3|Mystery\n[COMMAND]9|Late\n"))};
    std::filesystem::create_directories(m_dir.Path() / "out");
    testing::internal::CaptureStdout();
    int code = RunUnitsAndSummarise(tested, {}, false, String(m_dir / "out"));
    std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, 0);
    EXPECT_NE(console.find(kPassed + "Recorded 3 commands\n"), std::string::npos);
    EXPECT_NE(console.find(kPassed + "Recorded 2 commands\n"), std::string::npos);
    EXPECT_EQ(ReadFile(m_dir.Path() / "out/summary.log"),
              "Unrecorded commands:\nAlpha\nRotate\n\nUnregistered commands:\n3\n9\n\n\n"
              "Units found:   2\nUnits ignored: 0\nUnits passed:  2\nUnits failed:  0\n");
}

}  // namespace
