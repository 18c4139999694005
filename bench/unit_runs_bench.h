// Passing units as a user runs them: a large unit against its own baseline, and a suite of
// small units through the runner against the bare start of the executable.
//
// Usage: bitmapcheck_bench passing-unit [runs]   (default 5)
//        bitmapcheck_bench small-suite [runs]    (default 5)
#pragma once
#include <filesystem>
#include <string>

#include "failing_unit_bench.h"

namespace unit_runs {

using failing_unit::ChildRun;
using failing_unit::RunChild;
using failing_unit::Series;
using failing_unit::WriteText;

// A folder of its own below TMPDIR, removed when the bench ends.
struct Folder {
    std::string path;
    Folder() {
        const char* tmp = std::getenv("TMPDIR");
        path = std::string(tmp && *tmp ? tmp : "/tmp") + "/unit-runs-bench-XXXXXX";
        if (!mkdtemp(path.data())) path.clear();
    }
    ~Folder() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

// A recorded render time no run can exceed, so that a busy machine never fails a timed run.
bool PinRenderTime(const std::string& metricFile) {
    std::ifstream in(metricFile, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string key = "render performance\t";
    const size_t at = text.find(key);
    if (at == std::string::npos) return false;
    const size_t end = text.find('\n', at);
    text.replace(at + key.size(), end - at - key.size(), "1000000");
    return WriteText(metricFile, text);
}

int RunPassing(const std::string& executable, int runs) {
    Folder folder;
    if (folder.path.empty()) return std::perror("mkdtemp"), 1;
    const std::string unit = folder.path + "/page.kqvle";
    std::printf("passing-unit: %d x %d RGBA8, %d drawing commands, against its own baseline; %d runs\n",
                failing_unit::kSide, failing_unit::kSide, failing_unit::kCommands, runs);
    if (!WriteText(unit, failing_unit::Page().UnitText("0.2 0.6 0.3 1"))) return 1;
    ChildRun created = RunChild(executable, {"regressionunit", "-file", unit, "--create"}, folder.path);
    if (created.status != 0 || !PinRenderTime(unit + "_baseline.metadata"))
        return std::fprintf(stderr, "creating the baseline failed (exit status %d)\n", created.status), 1;
    failing_unit::ChildRuns passing;
    for (int i = 0; i < runs; ++i) {
        ChildRun run = RunChild(executable, {"regressionunit", "-file", unit}, folder.path);
        if (run.status != 0) {
            std::fprintf(stderr, "the run did not pass (exit status %d):\n", run.status);
            for (const std::string& l : run.lines) std::fprintf(stderr, "  %s\n", l.c_str());
            return 1;
        }
        passing.Add(run);
    }
    std::printf("whole passing run: %s, peak memory %.0f MiB\n", passing.whole.Text().c_str(), passing.PeakMiB());
    std::printf("  section Load baseline: %s\n", passing.sections["Load baseline"].Text().c_str());
    std::printf("  section Render comparison: %s\n", passing.sections["Render comparison"].Text().c_str());
    std::printf("passing-unit total: %.0f ms best, %.0f ms worst\n", passing.whole.Best(), passing.whole.Worst());
    return 0;
}

// Twenty units of two small spreads each, as the sample units are.
constexpr int kSmallUnits = 20;

std::string SmallUnit(int n) {
    const std::string shade = std::to_string(0.2 + 0.03 * n);
    return "quirevale-document 1\nformat rgba8\nspread 320 240\nspread 128 96\nhistory\n"
           "  fill 0 0 0 320 240 0.94 0.92 0.86 1\n"
           "  gradient 0 16 16 288 120 horizontal 0.05 " + shade + " 0.75 1 0.98 0.55 0.1 1\n"
           "  noise 0 16 150 288 74 " + std::to_string(1234 + n) + " 0.08\n"
           "  fill 1 16 16 32 24 0.9 0.9 0.2 1\nend\n";
}

int RunSmallSuite(const std::string& executable, int runs) {
    Folder folder;
    if (folder.path.empty()) return std::perror("mkdtemp"), 1;
    std::printf("small-suite: %d units of 320 x 240 and 128 x 96 RGBA8 through the runner; %d runs\n", kSmallUnits,
                runs);
    for (int n = 0; n < kSmallUnits; ++n) {
        const std::string unit = folder.path + "/unit" + std::to_string(n) + ".kqvle";
        if (!WriteText(unit, SmallUnit(n))) return 1;
        if (RunChild(executable, {"regressionunit", "-file", unit, "--create"}, folder.path).status != 0 ||
            !PinRenderTime(unit + "_baseline.metadata"))
            return std::fprintf(stderr, "creating the baseline of %s failed\n", unit.c_str()), 1;
    }
    // The runner looks for units below its working folder.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path);
    // Both sides are taken alike: a unit as the mean of the runner's twenty, a bare start as
    // the mean of twenty in a row, each the best of the runs. The best single bare start is
    // shown too; against a mean of twenty it flatters the start.
    Series suite, bareSeries, bare;
    bool passed = true;
    for (int i = 0; i < runs && passed; ++i) {
        ChildRun run = RunChild(executable, {"regression"}, folder.path);
        passed = run.status == 0;
        suite.Add(run.seconds / kSmallUnits);
        double series = 0;
        for (int n = 0; n < kSmallUnits; ++n) {
            const double seconds = RunChild(executable, {"regressionunit", "-getcommands"}, folder.path).seconds;
            bare.Add(seconds);
            series += seconds;
        }
        bareSeries.Add(series / kSmallUnits);
    }
    std::filesystem::current_path(previous);
    if (!passed) return std::fprintf(stderr, "the suite did not pass\n"), 1;
    std::printf("a unit through the runner, mean of %d: %s\n", kSmallUnits, suite.Text().c_str());
    std::printf("a bare start (regressionunit -getcommands), mean of %d in a row: %s\n", kSmallUnits,
                bareSeries.Text().c_str());
    std::printf("a single bare start: %s\n", bare.Text().c_str());
    std::printf("small-suite: %.0f units/s, %.1f ms a unit, %.2fx a bare start taken alike, %.2fx the best single "
                "bare start\n",
                1e3 / suite.Best(), suite.Best(), suite.Best() / bareSeries.Best(), suite.Best() / bare.Best());
    return 0;
}

}  // namespace unit_runs
