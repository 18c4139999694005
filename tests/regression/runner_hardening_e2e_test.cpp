// The runner and the unit executor, as built, against what a hostile tree or a busy machine
// gives them: FIFOs where files are read, a folder whose name holds a line break, a termination
// signal while a unit runs, a log read while it is rewritten, and huge words in messages.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "runner_test_support.h"

namespace {

namespace fs = std::filesystem;
using runner_test::Environment;
using runner_test::ProcessResult;
using runner_test::ReadFile;
using runner_test::TempDir;
using runner_test::WriteFile;

// Far longer than any of these runs takes; a runner stuck on a FIFO is ended by then and fails.
constexpr unsigned kHangLimitSeconds = 120;

const std::string kDocument =
    "quirevale-document 1\nformat rgba8\nspread 32 24\nhistory\n  fill 0 0 0 32 24 0.2 0.4 0.6 1\nend\n";

using runner_test::Counts;
using runner_test::EndsWith;

class RunnerHardening : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.Path().empty());
        m_exe = runner_test::CopyBundle(m_root.Path());
        for (const fs::path& folder : {m_work, m_home, m_tmp}) fs::create_directories(folder);
    }

    Environment Env(Environment environment = {}) const {
        environment.emplace("HOME", m_home.string());
        environment.emplace("PWD", m_work.string());
        environment.emplace("TMPDIR", m_tmp.string());
        environment.emplace("QUIREVALE_ENGINE_FAULT", std::nullopt);
        environment.emplace("QUIREVALE_ENGINE_FAULT_UNIT", std::nullopt);
        return environment;
    }

    std::vector<std::string> Arguments(const std::string& mode, const std::vector<std::string>& options) const {
        std::vector<std::string> args{m_exe.string(), mode};
        args.insert(args.end(), options.begin(), options.end());
        return args;
    }

    ProcessResult Run(const std::vector<std::string>& options, Environment environment = {}) {
        return runner_test::RunProcess(Arguments("regression", options), m_work, Env(std::move(environment)), "",
                                       kHangLimitSeconds);
    }

    fs::path MakeFifo(const std::string& relative) {
        const fs::path fifo = m_work / relative;
        fs::create_directories(fifo.parent_path());
        EXPECT_EQ(mkfifo(fifo.c_str(), 0644), 0) << fifo;
        m_fifos.push_back(fifo);
        return fifo;
    }

    void TearDown() override {
        for (const fs::path& fifo : m_fifos) runner_test::ReleaseFifo(fifo);
    }

    std::string Output(const char* name) const { return ReadFile(m_root.Path() / "output" / name); }

    TempDir m_root;
    fs::path m_exe;
    fs::path m_work = m_root.Path() / "work";
    fs::path m_home = m_root.Path() / "home";
    fs::path m_tmp = m_root.Path() / "tmp";
    std::vector<fs::path> m_fifos;
};

TEST_F(RunnerHardening, AFifoIgnoreListIsReportedAndReadsAsEmpty) {
    for (const std::string list : {"sub/ignore.txt", "ignore_mac.txt"}) {
        SCOPED_TRACE(list);
        fs::remove_all(m_work);
        WriteFile(m_work / "a.kqvle", kDocument);
        WriteFile(m_work / "sub/b.kqvle", kDocument);
        MakeFifo(list);
        const std::string warning =
            "Ignore list './" + list + "' can't be read: it is a FIFO, not a regular file\n";

        ProcessResult listed = Run({"--listignored"});
        EXPECT_EQ(listed.signal, 0) << "the runner hung on the FIFO";
        EXPECT_EQ(listed.status, 0);
        EXPECT_EQ(listed.out, "\nIgnored units:\n\n");
        EXPECT_EQ(listed.err, warning);

        ProcessResult run = Run({"--create"});
        EXPECT_EQ(run.signal, 0) << "the runner hung on the FIFO";
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_TRUE(EndsWith(run.out, "\n" + Counts(2, 0, 2, 0))) << run.out;
        EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
    }
}

TEST_F(RunnerHardening, AFifoWhereAUnitsFilesAreReadFailsThatUnit) {
    // The profile: "Load unit" fails with the reason on standard error.
    WriteFile(m_work / "a.kqvle", "quirevale-document 1\nformat rgba8\nprofile colours.icc\nspread 32 24\n");
    MakeFifo("colours.icc");
    ProcessResult run = Run({"--create", "--file", "./a.kqvle"});
    EXPECT_EQ(run.signal, 0) << "the unit hung on the FIFO";
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("FAILED: Load unit"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("is not an ICC profile that can be read: it is a FIFO, not a regular file"),
              std::string::npos)
        << run.err;

    // failed.log for --retestfailed: a list that can't be read is neither a pass nor lost.
    fs::create_directories(m_root.Path() / "output");
    const fs::path log = m_root.Path() / "output/failed.log";
    ASSERT_EQ(mkfifo(log.c_str(), 0644), 0);
    m_fifos.push_back(log);
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.signal, 0) << "the runner hung on the FIFO";
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Failed-units log '" + log.string() + "' can't be read: it is a FIFO, not a regular file\n");
    EXPECT_TRUE(fs::is_fifo(log));
    EXPECT_FALSE(fs::exists(m_root.Path() / "output/summary.log"));
}

TEST_F(RunnerHardening, AFailedUnitWhosePathHoldsALineBreakIsCountedButNotLogged) {
    // Neither unit has a baseline, so both fail.
    WriteFile(m_work / "bad\nname/x.kqvle", kDocument);
    WriteFile(m_work / "good/y.kqvle", kDocument);
    const std::string work = fs::canonical(m_work).string();

    ProcessResult run = Run({});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(EndsWith(run.out, Counts(2, 0, 0, 2))) << run.out;
    EXPECT_EQ(Output("failed.log"), work + "/good/y.kqvle\n");
    EXPECT_NE(run.err.find("Unit '" + work + "/bad\\nname/x.kqvle' failed but is left out of failed.log: its path "
                           "holds a line break\n"),
              std::string::npos)
        << run.err;

    run = Run({"--retestfailed"});
    EXPECT_NE(run.out.find("\nTesting unit: " + work + "/good/y.kqvle\n"), std::string::npos) << run.out;
    EXPECT_TRUE(EndsWith(run.out, Counts(1, 0, 0, 1))) << run.out;
}

TEST_F(RunnerHardening, TheLogsAreReplacedWholeNeverRewrittenInPlace) {
    WriteFile(m_work / "a.kqvle", kDocument);
    ASSERT_EQ(Run({"--create"}).status, 0);
    WriteFile(m_work / "b.kqvle", kDocument);  // no baseline: fails
    ASSERT_EQ(Run({}).status, 1);
    const std::string oldSummary = Output("summary.log"), oldFailed = Output("failed.log");
    ASSERT_NE(oldFailed, "");

    // A reader that opened the old pair keeps reading the whole old pair.
    std::ifstream summaryReader(m_root.Path() / "output/summary.log", std::ios::binary);
    std::ifstream failedReader(m_root.Path() / "output/failed.log", std::ios::binary);
    fs::remove(m_work / "b.kqvle");
    ProcessResult run = Run({});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(summaryReader), {}), oldSummary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(failedReader), {}), oldFailed);

    EXPECT_EQ(Output("summary.log"), "\n" + Counts(1, 0, 1, 0));
    EXPECT_EQ(Output("failed.log"), "");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(m_root.Path() / "output"))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"failed.log", "summary.log"}));
}

// The state letter of a process ('Z' once it has ended), or 0 when it is gone.
char ProcessState(pid_t pid) {
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    char state = 0;
    if (close == std::string::npos || std::sscanf(stat.c_str() + close + 1, " %c", &state) != 1) return 0;
    return state;
}

// The pid of a child of parent that runs the unit executor, once there is one; 0 when parent
// ends first (its own hang limit ends it when it is stuck).
pid_t WaitForUnitChild(pid_t parent) {
    for (char state = ProcessState(parent); state != 0 && state != 'Z'; state = ProcessState(parent)) {
        DIR* proc = opendir("/proc");
        if (!proc) return 0;
        pid_t found = 0;
        while (dirent* entry = readdir(proc)) {
            const pid_t pid = std::atoi(entry->d_name);
            if (pid <= 0) continue;
            const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
            const size_t close = stat.rfind(')');
            if (close == std::string::npos) continue;
            int ppid = 0;
            char childState = 0;
            if (std::sscanf(stat.c_str() + close + 1, " %c %d", &childState, &ppid) != 2 || ppid != parent) continue;
            std::string command = ReadFile("/proc/" + std::to_string(pid) + "/cmdline");
            std::replace(command.begin(), command.end(), '\0', ' ');
            if (command.find(" regressionunit") != std::string::npos) found = pid;
        }
        closedir(proc);
        if (found) return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // polling, not a wait for the result
    }
    return 0;
}

TEST_F(RunnerHardening, ATerminationSignalEndsTheChildAndTheRunner) {
    WriteFile(m_work / "a.kqvle", kDocument);
    WriteFile(m_work / "b.kqvle", kDocument);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(strsignal(signal));
        // Every render takes a minute: the first unit is still running when the signal comes.
        runner_test::BackgroundProcess runner(Arguments("regression", {"--create"}), m_work,
                                              Env({{"QUIREVALE_ENGINE_FAULT", "slow:60000"}}), "",
                                              kHangLimitSeconds);
        const pid_t child = WaitForUnitChild(runner.Pid());
        ASSERT_GT(child, 0) << "no unit child appeared";
        ASSERT_EQ(kill(runner.Pid(), signal), 0);
        const ProcessResult run = runner.Wait();
        const bool childGone = kill(child, 0) != 0 && errno == ESRCH;
        if (!childGone) kill(child, SIGKILL);  // left behind: end it here
        EXPECT_TRUE(childGone) << "the unit's child outlived the runner";
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 128 + signal);
        EXPECT_FALSE(fs::exists(m_root.Path() / "output/summary.log"));
    }
}

TEST_F(RunnerHardening, HugeUserTextIsQuotedByAShortPrefix) {
    const std::string prefix(128, 'x');
    // A command-line word: an argument may hold at most 128 KiB. A path is cut only beyond what
    // the system allows for a path, so that a long real one is still shown whole.
    ProcessResult run = Run({"--file", std::string(100000, 'x') + ".kqvle"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out == "Unit file '" + std::string(4096, 'x') + "[...]' not found\n") << run.out.substr(0, 300);
    const std::string deep = "ci/workspace/" + std::string(200, 'd') + "/suite/" + std::string(100, 'u') + ".kqvle";
    run = Run({"--file", deep});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "Unit file '" + deep + "' not found\n");

    // A document's unknown word, 10 MB long.
    WriteFile(m_work / "a.kqvle", "quirevale-document 1\nformat rgba8\nspread 32 24\nhistory\n  " +
                                      std::string(10 << 20, 'x') + " 0 0 0 1 1\nend\n");
    run = runner_test::RunProcess(Arguments("regressionunit", {"-file", "./a.kqvle", "--create"}), m_work, Env(), "",
                                  kHangLimitSeconds);
    EXPECT_NE(run.err.find("Document './a.kqvle', line 5: unknown drawing command \"" + prefix + "[...]\"\n"),
              std::string::npos)
        << run.err.substr(0, 400);
    EXPECT_LT(run.err.size(), 4096u);
    EXPECT_LT(run.out.size(), 4096u);
}

// TeamCity finds a service message at any column of any stream it reads. Whatever a tree, a
// document or a baseline holds, only the runner's own messages are there, each beginning its line.
TEST_F(RunnerHardening, NoOutsideTextMakesAServiceMessage) {
    const std::string forged = "##teamcity[buildStatus status='SUCCESS' text='forged']";
    const std::string shownForged = "\\x23\\x23teamcity[buildStatus status='SUCCESS' text='forged']";
    const std::string snapshotted = "quirevale-document 1\nformat rgba8\nspread 8 8\nhistory\n  fill 0 0 0 8 8 1 0 0 1\n"
                                    "end\nsnapshot regression see " + forged + " here\n  fill 0 0 0 8 8 0 1 0 1\nend\n";
    const fs::path midLine = m_work / ("a " + forged + " b");
    const fs::path blanks = m_work / ("   ##teamcity[testFinished name='x']");
    WriteFile(midLine / "poster.kqvle", kDocument);
    WriteFile(blanks / "u.kqvle", snapshotted);
    WriteFile(m_work / "##teamcity[setParameter name='a' value='b'].kqvle", kDocument);
    // An ignore line cannot hold a "#": the file it names is found below a folder that does.
    WriteFile(midLine / "ignored.kqvle", kDocument);
    WriteFile(midLine / "ignore.txt", "ignored.kqvle\n");
    WriteFile(midLine / "bad.kqvle", kDocument);
    ASSERT_EQ(Run({"--create"}).status, 0);
    WriteFile(midLine / "poster.kqvle_baseline", "garbage");  // damaged
    std::string changed = snapshotted;
    changed.replace(changed.rfind("0 1 0 1"), 7, "0 0 1 1");  // the snapshot now fails
    WriteFile(blanks / "u.kqvle", changed);
    // A "#" begins a comment in a document, so its path carries the marker.
    WriteFile(midLine / "bad.kqvle", "quirevale-document 1\nformat rgba8\nspread 8 8\nhistory\n  bogus 1\nend\n");

    const std::vector<std::vector<std::string>> runs = {
        {}, {"--teamcity"}, {"--coverage"}, {"--teamcity", "--coverage"}, {"--listignored"}, {"--teamcity", "--listignored"}};
    for (const std::vector<std::string>& options : runs) {
        SCOPED_TRACE(testing::PrintToString(options));
        fs::remove(m_root.Path() / "output/summary.log");
        const ProcessResult run = Run(options);
        EXPECT_EQ(run.signal, 0);
        const bool teamcity = std::count(options.begin(), options.end(), "--teamcity") > 0;
        const std::pair<const char*, std::string> streams[] = {
            {"standard output", run.out}, {"standard error", run.err}, {"summary.log", Output("summary.log")}};
        for (const auto& [stream, text] : streams)
            for (const runner_test::ServiceMessage& m : runner_test::FindServiceMessages(text))
                EXPECT_TRUE(stream == std::string("standard output") && teamcity &&
                            runner_test::IsRunnersOwnServiceMessage(m))
                    << stream << ": " << m.text;
        if (std::count(options.begin(), options.end(), "--listignored")) {
            EXPECT_NE(run.out.find("./a " + shownForged + " b/ignored.kqvle\n"), std::string::npos) << run.out;
            continue;
        }
        EXPECT_EQ(run.status, 1);
        // Each hostile text did reach the output, shown.
        EXPECT_NE(run.out.find("./a " + shownForged + " b/poster.kqvle"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Ignoring unit: ./a " + shownForged + " b/ignored.kqvle."), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("(see " + shownForged + " here): Pixel diff count"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("Baseline './a " + shownForged + " b/poster.kqvle_baseline': "), std::string::npos)
            << run.err;
        EXPECT_NE(run.err.find("Document './a " + shownForged + " b/bad.kqvle', line 5: unknown drawing command"),
                  std::string::npos)
            << run.err;
    }

    // The child on its own prints no message either.
    const ProcessResult unit = runner_test::RunProcess(Arguments("regressionunit", {"-file", (blanks / "u.kqvle").string()}),
                                                       m_work, Env(), "", kHangLimitSeconds);
    EXPECT_NE(unit.out.find("[FAIL]Pixel diff count"), std::string::npos) << unit.out;
    EXPECT_EQ(runner_test::FindServiceMessages(unit.out + unit.err).size(), 0u) << unit.out << unit.err;
}

TEST_F(RunnerHardening, AMissingUnitFileIsNamedAsGiven) {
    const std::pair<std::string, std::string> cases[] = {
        {"back\\slash\\es and a blank.kqvle", "back\\slash\\es and a blank.kqvle"},
        {"caf\xC3\xA9 \x1b[31mred\t.kqvle", "caf\xC3\xA9 \\x1b[31mred\\t.kqvle"},  // controls are shown escaped
        {"two\nlines\r.kqvle", "two\\nlines\\r.kqvle"},
    };
    for (const auto& [given, shown] : cases) {
        ProcessResult run = Run({"--file", given});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "Unit file '" + shown + "' not found\n");
    }
}

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(RunnerHardening, AUnitChildKilledBySigkillLeavesNothingOfItsOwn) {
    WriteFile(m_work / "a.kqvle", kDocument);
    // What other processes left, and a link where the child's folder could be: never removed.
    fs::create_directory(m_tmp / "quirevale-1-AbCdEf");
    WriteFile(m_work / "a.kqvle_baseline.tmp-1-AbCdEfGhIjKl", "another process's");
    WriteFile(m_root.Path() / "elsewhere/kept", "x");

    // A runner started by another inherits its token: its child gets a token of its own all the same.
    runner_test::BackgroundProcess runner(
        Arguments("regression", {"--create"}), m_work,
        Env({{"QUIREVALE_ENGINE_FAULT", "slow:60000"}, {"QUIREVALE_CHILD_TOKEN", "InHeRiTeDaBc"}}), "",
        kHangLimitSeconds);
    const pid_t child = WaitForUnitChild(runner.Pid());
    ASSERT_GT(child, 0) << "no unit child appeared";
    const std::string id = std::to_string(child);
    // Names with the child's id that are not of its making: no random part, another unit's, and
    // those of another runner's child with the same id (a container of its own) and another token.
    const std::string sameId = "quirevale-" + id + "-ZyXwVuTsRqPo-AbCdEf";
    const std::vector<std::string> planted = {"a.kqvle_baseline.tmp-" + id + "-short",
                                              "b.kqvle_baseline.tmp-" + id + "-AbCdEfGhIjKl",
                                              "a.kqvle_baseline.tmp-" + id + "-ZyXwVuTsRqPo-AbCdEfGhIjKl",
                                              "a.kqvle_baseline.tmp-1-AbCdEfGhIjKl"};
    for (size_t i = 0; i + 1 < planted.size(); ++i) WriteFile(m_work / planted[i], "x");
    WriteFile(m_tmp / sameId / "test.persona", "another runner's");
    fs::create_directory_symlink(m_root.Path() / "elsewhere", m_tmp / ("quirevale-" + id + "-LnKlnk"));
    // The child makes its temporary folder when it saves its copy, before the first (slow) render.
    bool made = false;
    while (!made && ProcessState(child) != 0 && ProcessState(child) != 'Z') {
        for (const std::string& name : Names(m_tmp))
            if (name.rfind("quirevale-", 0) == 0 && name != "quirevale-1-AbCdEf" && name != sameId &&
                fs::is_directory(fs::symlink_status(m_tmp / name)))
                made = true;
        if (!made) std::this_thread::sleep_for(std::chrono::milliseconds(5));  // polling, not a wait for the result
    }
    ASSERT_TRUE(made) << "the child made no temporary folder";
    ASSERT_EQ(kill(child, SIGKILL), 0);
    const ProcessResult run = runner.Wait();
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(EndsWith(run.out, Counts(1, 0, 0, 1))) << run.out;
    EXPECT_EQ(Names(m_tmp), (std::vector<std::string>{"quirevale-1-AbCdEf", "quirevale-" + id + "-LnKlnk", sameId}));
    EXPECT_TRUE(fs::exists(m_tmp / sameId / "test.persona"));
    std::vector<std::string> work = {"a.kqvle"};
    work.insert(work.end(), planted.begin(), planted.end());
    std::sort(work.begin(), work.end());
    EXPECT_EQ(Names(m_work), work);
    EXPECT_TRUE(fs::exists(m_root.Path() / "elsewhere/kept"));
}

TEST_F(RunnerHardening, AUnitChildKilledWhileItSavesLeavesNoTemporaryFile) {
    // A short name, and the longest whose metric file fits: its temporaries' names are shortened.
    const long nameMax = pathconf(m_work.c_str(), _PC_NAME_MAX);
    for (const std::string& unit :
         {std::string("a.kqvle"), std::string(size_t(nameMax > 0 ? nameMax : 255) - 18 - 6, 'a') + ".kqvle"}) {
        SCOPED_TRACE(unit.size());
        // Noise does not compress: the baseline is far larger than the file size limit.
        WriteFile(m_work / unit, "quirevale-document 1\nformat rgba8\nspread 512 512\nhistory\n"
                                 "  fill 0 0 0 512 512 0.5 0.5 0.5 1\n  noise 0 0 0 512 512 7 1\nend\n");
        const ProcessResult run = runner_test::RunProcess(
            {"/bin/sh", "-c", "ulimit -c 0; ulimit -f 400; exec \"$0\" \"$@\"", m_exe.string(), "regression",
             "--create"},
            m_work, Env(), "", kHangLimitSeconds);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find("ABORTED: Create baseline"), std::string::npos) << run.out;
        EXPECT_EQ(Names(m_work), std::vector<std::string>{unit});
        EXPECT_EQ(Names(m_tmp), std::vector<std::string>{});
        fs::remove(m_work / unit);
    }
}

// Files of any size cost nothing here: they are sparse.
void MakeSparse(const fs::path& path, uintmax_t size) {
    fs::create_directories(path.parent_path());
    std::ofstream{path, std::ios::binary | std::ios::app};
    fs::resize_file(path, size);
}

TEST_F(RunnerHardening, AFileLargerThanItsKindIsRefusedUnread) {
    // A unit document: the test fails with the reason.
    MakeSparse(m_work / "big.kqvle", uintmax_t(2) << 30);
    ProcessResult run = runner_test::RunProcess(Arguments("regressionunit", {"-file", "./big.kqvle", "--create"}), m_work, Env(),
                                                "", kHangLimitSeconds);
    EXPECT_NE(run.out.find("[START]Load unit\n[FAIL]\n[END]\n"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Document './big.kqvle': the file can't be read: it is 2147483648 bytes, more than the "
                           "limit of 67108864 bytes\n"),
              std::string::npos)
        << run.err;
    fs::remove(m_work / "big.kqvle");

    // A metric file, and a baseline one byte longer than the largest the format allows (the main,
    // post-redo and 1000 snapshot renders of 64 RGBA float spreads of 16777216 pixels each).
    WriteFile(m_work / "a.kqvle", kDocument);
    ASSERT_EQ(Run({"--create", "--file", "./a.kqvle"}).status, 0);
    MakeSparse(m_work / "a.kqvle_baseline.metadata", uintmax_t(2) << 30);
    run = runner_test::RunProcess(Arguments("regressionunit", {"-file", "./a.kqvle"}), m_work, Env(), "",
                                  kHangLimitSeconds);
    EXPECT_NE(run.out.find("[START]Load metadata\n[FAIL]Metric file ./a.kqvle_baseline.metadata is damaged: the file "
                           "can't be read: it is 2147483648 bytes, more than the limit of 1048576 bytes\n"),
              std::string::npos)
        << run.out;
    const uintmax_t baselineLimit = 17219496790878u;
    std::error_code tooBig;
    fs::resize_file(m_work / "a.kqvle_baseline", baselineLimit + 1, tooBig);
    if (!tooBig) {
        run = runner_test::RunProcess(Arguments("regressionunit", {"-file", "./a.kqvle"}), m_work, Env(), "",
                                      kHangLimitSeconds);
        EXPECT_NE(run.out.find("[START]Load baseline\n[FAIL]\n[END]\n"), std::string::npos) << run.out;
        EXPECT_NE(run.err.find("Baseline './a.kqvle_baseline': the file can't be read: it is 17219496790879 bytes, "
                               "more than the limit of 17219496790878 bytes\n"),
                  std::string::npos)
            << run.err;
    }

    // failed.log too large, or a folder: named, kept as it is, and the run fails.
    const fs::path log = m_root.Path() / "output/failed.log";
    MakeSparse(log, uintmax_t(100) << 20);
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "Failed-units log '" + log.string() +
                           "' can't be read: it is 104857600 bytes, more than the limit of 67108864 bytes\n");
    EXPECT_EQ(fs::file_size(log), uintmax_t(100) << 20);
    fs::remove(log);
    fs::create_directories(log / "inside");
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Failed-units log '" + log.string() + "' can't be read: it is a folder, not a regular file\n");
    EXPECT_TRUE(fs::is_directory(log / "inside"));
    fs::remove_all(log);

    // An ignore list: the runner goes on to its summary, even with little memory to spare.
    const fs::path lists = m_root.Path() / "lists";
    MakeSparse(lists / "ignore.txt", uintmax_t(4) << 30);
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const std::string limit = "true";  // a sanitizer's shadow memory needs more address space than any limit
#else
    const std::string limit = "ulimit -v 2097152";  // 2 GiB: far less than the list
#endif
    run = runner_test::RunProcess({"/bin/sh", "-c", limit + "; exec \"$0\" \"$@\"", m_exe.string(), "regression"},
                                  lists, Env(), "", kHangLimitSeconds);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(EndsWith(run.out, "\n" + Counts(0, 0, 0, 0))) << run.out;
    EXPECT_EQ(run.err,
              "Ignore list './ignore.txt' can't be read: it is 4294967296 bytes, more than the limit of 16777216 bytes\n");
}

// A baseline costs what the unit compares of it. A file that does not begin as a baseline is
// refused before the rest is read, and the pixels of a spread that the unit does not compare
// (another size than its render's, or a snapshot the unit no longer has) are never read: each
// file is over 2 GB, sparse, and a reader of it would hold it all.
TEST_F(RunnerHardening, ABaselineIsReadOnlyWhereTheUnitComparesIt) {
    WriteFile(m_work / "a.kqvle", kDocument);
    ASSERT_EQ(Run({"--create", "--file", "./a.kqvle"}).status, 0);
    // An RGBA float spread of 8192 x 2048 as 268435456 bytes of zeros, its sample bytes' count.
    const std::string spread = "spread 9 8192 2048 268435456 268435456\n";
    const uintmax_t pixels = 268435456;
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, uintmax_t>> parts;  // text, then that many zeros
        std::string section;
        std::vector<std::string> lines;
        std::string err;
    };
    std::vector<std::pair<std::string, uintmax_t>> huge = {{"quirevale-baseline 1\nperfect-clipping 0\nmain 1\n" + spread, pixels}};
    huge.push_back({"\npost-redo none\nsnapshots 7\n", 0});
    for (int i = 0; i < 7; ++i) huge.push_back({"snapshot 1\n" + spread, pixels}), huge.push_back({"\n", 0});
    huge.push_back({"end\n", 0});
    const Case cases[] = {
        {"no line", {{"garbage", uintmax_t(2) << 30}}, "Load baseline", {"[FAIL]"},
         "Baseline './a.kqvle_baseline': damaged at byte 0: a line is cut short or too long\n"},
        {"not a baseline", {{"garbage\n", uintmax_t(2) << 30}}, "Load baseline", {"[FAIL]"},
         "Baseline './a.kqvle_baseline': damaged at byte 0: not a baseline file\n"},
        {"spreads the unit does not compare", huge, "Render comparison",
         {"[FAIL]Pixel diff count: 0, max channel diff: 0 (0 bit), spread: 0"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path baseline = m_work / "a.kqvle_baseline";
        fs::remove(baseline);
        for (const auto& [text, zeros] : c.parts) {
            std::ofstream(baseline, std::ios::binary | std::ios::app) << text;
            fs::resize_file(baseline, fs::file_size(baseline) + zeros);
        }
        ASSERT_GT(fs::file_size(baseline), uintmax_t(2) << 30);
        const ProcessResult run = runner_test::RunProcess(
            Arguments("regressionunit", {"-file", "./a.kqvle", "--nodump"}), m_work, Env(), "", kHangLimitSeconds);
        EXPECT_EQ(run.status, 255);
        const std::string section = "[START]" + c.section + "\n";
        const size_t at = run.out.find(section);
        ASSERT_NE(at, std::string::npos) << run.out;
        std::string body;
        for (const std::string& line : c.lines) body += line + "\n";
        EXPECT_EQ(run.out.substr(at + section.size(), body.size() + 6), body + "[END]\n") << run.out;
        EXPECT_EQ(run.err, c.err);
        EXPECT_LT(run.peakKiB, 256 << 10);  // a tenth of what the file holds
    }
}

// A passing unit's images all go, those of an older baseline's snapshots too, and nothing else.
TEST_F(RunnerHardening, TheUnitsImagesAreRemovedAndNoOthers) {
    const fs::path folder = m_work / "many";
    WriteFile(folder / "a.kqvle", kDocument);
    ASSERT_EQ(Run({"--create", "--file", "./many/a.kqvle"}).status, 0);
    const std::vector<std::string> own = {"a.kqvle.failure.png", "a.kqvle.snapshot-7.failure.png",
                                          "a.kqvle.undo-redo.difference.png"};
    std::vector<std::string> others = {"a.kqvle.v2.kqvle.failure.png", "b.kqvle.failure.png"};
    for (int i = 0; i < 300; ++i) others.push_back("a.kqvle.extra-" + std::to_string(i) + ".failure.png");
    for (const std::string& name : own) WriteFile(folder / name, "old");
    for (const std::string& name : others) WriteFile(folder / name, "other");
    EXPECT_EQ(Run({"--file", "./many/a.kqvle"}).status, 0);
    for (const std::string& name : own) EXPECT_FALSE(fs::exists(folder / name)) << name;
    for (const std::string& name : others) EXPECT_TRUE(fs::exists(folder / name)) << name;
}

}  // namespace
