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

    // failed.log for --retestfailed: nothing to retest.
    fs::create_directories(m_root.Path() / "output");
    const fs::path log = m_root.Path() / "output/failed.log";
    ASSERT_EQ(mkfifo(log.c_str(), 0644), 0);
    m_fifos.push_back(log);
    run = Run({"--retestfailed"});
    EXPECT_EQ(run.signal, 0) << "the runner hung on the FIFO";
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(EndsWith(run.out, Counts(0, 0, 0, 0))) << run.out;
    EXPECT_EQ(run.err, "Failed-units log '" + log.string() + "' can't be read: it is a FIFO, not a regular file\n");
    EXPECT_TRUE(fs::is_regular_file(log));  // the new, empty log replaced it
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

}  // namespace
