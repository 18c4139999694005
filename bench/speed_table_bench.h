// The units of bench/speed-table.sh, which sets a unit run beside image comparison tools given
// the same two images (in_turn.cpp times them all).
//
// Usage: bitmapcheck_bench speed-unit FOLDER SIDE failing|passing|different
//
// It writes the failing-unit page of SIDE into FOLDER as page.kqvle with its baseline,
// made failing, passing or entirely different, and runs it once. The images a comparison tool
// is given are a.png and b.png: the baseline and failure images that run wrote, or for a passing
// unit two copies of its render's image. It prints
//   speed-unit SIDE KIND: exit status S, N differing pixels
#pragma once
#include <filesystem>
#include <string>

#include "failing_unit_bench.h"
#include "unit_runs_bench.h"

namespace speed_table {

using failing_unit::ChildRun;
using failing_unit::RunChild;

// The differing pixels of the first failed comparison, or -1.
long DifferingPixels(const ChildRun& run) {
    const std::string key = "[FAIL]Pixel diff count: ";
    for (const std::string& line : run.lines)
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + key.size());
    return -1;
}

int WriteUnit(const std::string& folder, int side, const std::string& kind) {
    const failing_unit::Page page{side};
    const std::string unit = folder + "/page.kqvle";
    const std::string original = page.UnitText("0.2 0.6 0.3 1"), changed = page.UnitText("0.8 0.1 0.3 1");
    auto fail = [&](const char* what, const ChildRun& run) {
        std::fprintf(stderr, "speed-unit %d %s: %s (exit status %d)\n", side, kind.c_str(), what, run.status);
        for (const std::string& l : run.lines) std::fprintf(stderr, "  %s\n", l.c_str());
        return 1;
    };
    if (!failing_unit::WriteText(unit, original)) return std::fprintf(stderr, "cannot write %s\n", unit.c_str()), 1;
    const ChildRun created = RunChild(QV_EXECUTABLE, {"regressionunit", "-file", unit, "--create"}, folder);
    if (created.status != 0 || !unit_runs::PinRenderTime(unit + "_baseline.metadata"))
        return fail("creating the baseline failed", created);

    // A passing unit writes no images: its render's image is the baseline image of a failing run.
    const bool passing = kind == "passing";
    if (!failing_unit::WriteText(unit, kind == "different" ? page.UnitText("0.2 0.6 0.3 1", true) : changed)) return 1;
    ChildRun run = RunChild(QV_EXECUTABLE, {"regressionunit", "-file", unit}, folder);
    long pixels = DifferingPixels(run);
    if (run.status != 255 || pixels <= 0 || (kind == "failing" && pixels != page.ChangedPixels()))
        return fail("the run did not fail as expected", run);
    std::error_code ec;
    namespace fs = std::filesystem;
    fs::copy_file(unit + ".baseline.png", folder + "/a.png", fs::copy_options::overwrite_existing, ec);
    if (!ec)
        fs::copy_file(unit + (passing ? ".baseline.png" : ".failure.png"), folder + "/b.png",
                      fs::copy_options::overwrite_existing, ec);
    if (ec) return std::fprintf(stderr, "speed-unit: cannot copy the images: %s\n", ec.message().c_str()), 1;
    if (passing) {
        for (const char* image : {".baseline.png", ".failure.png", ".difference.png"}) fs::remove(unit + image, ec);
        if (!failing_unit::WriteText(unit, original)) return 1;
        run = RunChild(QV_EXECUTABLE, {"regressionunit", "-file", unit}, folder);
        if (run.status != 0) return fail("the run did not pass", run);
        pixels = 0;
    }
    std::printf("speed-unit %d %s: exit status %d, %ld differing pixels\n", side, kind.c_str(), run.status, pixels);
    return 0;
}

// The mode's command line; 2 for a wrong one.
int Main(int argc, char** argv) {
    const int side = argc == 5 ? std::atoi(argv[3]) : 0;
    const std::string kind = argc == 5 ? argv[4] : "";
    if (side < 40 || side > 16384 || (kind != "failing" && kind != "passing" && kind != "different") ||
        !std::filesystem::is_directory(argv[2])) {
        std::fprintf(stderr, "usage: bitmapcheck_bench speed-unit FOLDER SIDE failing|passing|different\n");
        return 2;
    }
    return WriteUnit(argv[2], side, kind);
}

}  // namespace speed_table
