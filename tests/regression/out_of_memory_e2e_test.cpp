// The runner and the unit child, as built, under a limit on the child's address space: a test
// that runs out of memory fails with a line that names memory, the child ends normally and the
// runner goes on, whatever the limit, and however many of the worker pool's threads start.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "runner_test_support.h"

namespace {

namespace fs = std::filesystem;
using runner_test::Environment;
using runner_test::ProcessResult;
using runner_test::TempDir;
using runner_test::WriteFile;

constexpr unsigned kHangLimitSeconds = 300;

// 2048 by 2048 RGBA8 with noise over it all: 16 MiB of pixels that do not compress, held by the
// document, by its renders and, inflated, by its baseline.
const std::string kLargeUnit =
    "quirevale-document 1\nformat rgba8\nspread 2048 2048\nhistory\n"
    "  fill 0 0 0 2048 2048 0.5 0.5 0.5 1\n  noise 0 0 0 2048 2048 7 0.5\nend\n";

class OutOfMemory : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.Path().empty());
        m_exe = runner_test::CopyBundle(m_root.Path());
        for (const fs::path& folder : {m_work, m_home, m_tmp}) fs::create_directories(folder);
    }

    Environment Env() const {
        return {{"HOME", m_home.string()},
                {"PWD", m_work.string()},
                {"TMPDIR", m_tmp.string()},
                {"QUIREVALE_ENGINE_FAULT", std::nullopt},
                {"QUIREVALE_ENGINE_FAULT_UNIT", std::nullopt}};
    }

    // The runner (and with it the child) with the address space limited to kib KiB.
    ProcessResult RunLimited(uint64_t kib) {
        const std::string limit = "ulimit -c 0; ulimit -v " + std::to_string(kib) + "; exec \"$0\" \"$@\"";
        return runner_test::RunProcess({"/bin/sh", "-c", limit, m_exe.string(), "regression"}, m_work, Env(), "",
                                       kHangLimitSeconds);
    }

    TempDir m_root;
    fs::path m_exe;
    fs::path m_work = m_root.Path() / "work";
    fs::path m_home = m_root.Path() / "home";
    fs::path m_tmp = m_root.Path() / "tmp";
};

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
TEST_F(OutOfMemory, ATestThatRunsOutFailsWithALineThatNamesMemory) {
    GTEST_SKIP() << "a sanitizer's shadow memory needs more address space than any of these limits";
}
#else
TEST_F(OutOfMemory, ATestThatRunsOutFailsWithALineThatNamesMemory) {
    WriteFile(m_work / "big.kqvle", kLargeUnit);
    const ProcessResult created = runner_test::RunProcess({m_exe.string(), "regression", "--create"}, m_work, Env(),
                                                          "", kHangLimitSeconds);
    ASSERT_EQ(created.status, 0) << created.out << created.err;
    ASSERT_TRUE(fs::exists(m_work / "big.kqvle_baseline"));

    // Limits in KiB. Far below what the pixels alone take: the unit runs out whatever the
    // threads do. Between about 120 and 450 MiB, whether it runs out depends on how many
    // workers start and how much address space the C library's per-thread heaps reserve: both
    // ways must end cleanly. Far above what every processor's worker with its stack and heap
    // reserves: the unit passes however many workers start.
    const unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    std::vector<uint64_t> limits = {48 * 1024};
    for (uint64_t mib = 96; mib <= 448; mib += 32) limits.push_back(mib * 1024);
    limits.push_back((1024 + uint64_t(processors) * 256) * 1024);

    std::set<uint64_t> ranOut, passed;
    for (const uint64_t kib : limits) {
        SCOPED_TRACE("ulimit -v " + std::to_string(kib));
        // No metric file: render time and raster memory are baselined, never judged, so that a
        // slow run (fewer workers, a busy machine) cannot fail the unit for its time.
        fs::remove(m_work / "big.kqvle_baseline.metadata");
        const ProcessResult run = RunLimited(kib);
        EXPECT_EQ(run.signal, 0) << run.out << run.err;
        EXPECT_TRUE(run.status == 0 || run.status == 1) << run.status << "\n" << run.out << run.err;
        EXPECT_FALSE(Contains(run.out + run.err, "terminate")) << run.out << run.err;
        EXPECT_FALSE(Contains(run.out, "ABORTED")) << run.out;
        std::vector<std::string> failures;
        for (const std::string& line : run.Lines())
            if (Contains(line, "FAILED")) failures.push_back(line);
        if (run.status == 0) {
            EXPECT_TRUE(Contains(run.out, runner_test::Counts(1, 0, 1, 0))) << run.out;
            EXPECT_TRUE(failures.empty()) << run.out;
            passed.insert(kib);
            continue;
        }
        EXPECT_TRUE(Contains(run.out, runner_test::Counts(1, 0, 0, 1))) << run.out;
        if (failures.empty()) {
            ADD_FAILURE() << "the unit failed without a failure line\n" << run.out << run.err;
            continue;
        }
        // Every failure is a test that ran out, named, with what was being allocated; the
        // memory-leak test after it passes.
        for (const std::string& line : failures) {
            EXPECT_TRUE(Contains(line, "FAILED: ")) << line;
            EXPECT_TRUE(Contains(line, ": out of memory: ")) << line;
            EXPECT_TRUE(Contains(line, " bytes") || Contains(line, "does not say")) << line;
            EXPECT_FALSE(Contains(line, "Memory leak test")) << line;
        }
        ranOut.insert(kib);
    }
    std::string summary = "ran out of memory at";
    for (uint64_t kib : ranOut) summary += " " + std::to_string(kib / 1024);
    summary += " MiB; passed at";
    for (uint64_t kib : passed) summary += " " + std::to_string(kib / 1024);
    std::printf("%s MiB\n", summary.c_str());
    EXPECT_TRUE(ranOut.count(limits.front())) << "the lowest limit did not run out of memory";
    EXPECT_TRUE(passed.count(limits.back())) << "the highest limit did not pass";
    EXPECT_FALSE(ranOut.empty());
    EXPECT_FALSE(passed.empty());
}
#endif

}  // namespace
