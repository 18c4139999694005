// The failure job end to end: a 4000 x 4000 RGBA8 unit with a gradient and noise, its
// baseline created, one fill changed, and the failing `quirevale regressionunit` run timed as
// a whole and by protocol section; the same page under a gradient that changes every pixel,
// timed as a whole beside it; then the failing run's pieces timed in this process: drawing the
// document, the render, the baseline load, the compare, the heat map and the three images.
//
// Usage: bitmapcheck_bench failing-unit [runs] [side]   (default 5 runs of a page of 4000)
#pragma once
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "DocSession/DocumentEngine.h"
#include "DocSession/PersonaController.h"
#include "DocSession/RegressionStore.h"
#include "Kernel/Timer.h"
#include "Raster/ICCManager.h"
#include "Raster/PNG.h"
#include "bitmapcheck/BitmapKernels.h"
#include "regression/FailureImages.h"

extern char** environ;

namespace failing_unit {

constexpr int kSide = 4000;  // the page of the usual run; others are given on the command line

// The page as a unit; only the colour of the last fill differs between the baseline and the
// failing run: over the page a fill and a gradient, noise over its middle half, and a fill of a
// tenth of its width at three tenths across (400 x 300 at 1200, 600 on the usual page).
struct Page {
    int side = kSide;
    int FillWidth() const { return side / 10; }
    int FillHeight() const { return side * 3 / 40; }
    int ChangedPixels() const { return FillWidth() * FillHeight(); }
    std::string UnitText(const char* lastFill, bool wholePageGradient = false) const {
        const std::string s = std::to_string(side);
        std::string text = "quirevale-document 1\nformat rgba8\nspread " + s + " " + s + "\nhistory\n  fill 0 0 0 " + s +
                           " " + s + " 0.94 0.92 0.86 1\n  gradient 0 0 0 " + s + " " + s +
                           " horizontal 0.05 0.2 0.75 1 0.98 0.55 0.1 1\n  noise 0 0 " + std::to_string(side / 4) + " " + s +
                           " " + std::to_string(side / 2) + " 1234 0.02\n  fill 0 " + std::to_string(side * 3 / 10) + " " +
                           std::to_string(side * 3 / 20) + " " + std::to_string(FillWidth()) + " " +
                           std::to_string(FillHeight()) + " " + lastFill + "\n";
        // Over the page drawn as the baseline was, a gradient that changes every pixel.
        if (wholePageGradient)
            text += "  gradient 0 0 0 " + s + " " + s + " vertical 0.9 0.1 0.2 1 0.1 0.9 0.6 1\n";
        return text + "end\n";
    }
};
constexpr int kCommands = 4;

bool WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return bool(out.flush());
}

struct ChildRun {
    int status = -1;  // exit status, or -1 when it did not exit
    double seconds = 0;
    double processorSeconds = 0;  // every thread's
    long peakKiB = 0;             // the largest resident set
    std::vector<std::pair<std::string, double>> sections;  // name, seconds from "[START]" to "[END]"
    std::vector<std::string> lines;
};

// Runs the executable with arguments and TMPDIR, timing each protocol section as its lines arrive.
ChildRun RunChild(const std::string& executable, const std::vector<std::string>& arguments, const std::string& tmpdir) {
    ChildRun run;
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("TMPDIR=", 0) != 0) environment.emplace_back(*e);
    environment.push_back("TMPDIR=" + tmpdir);
    std::vector<char*> envp, argv;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> words{executable};
    words.insert(words.end(), arguments.begin(), arguments.end());
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return run;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    Kernel::Timer timer;
    pid_t pid;
    const int spawned = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return run;
    }
    FILE* in = fdopen(fds[0], "r");
    char* line = nullptr;
    size_t capacity = 0;
    ssize_t length;
    std::string open;
    double opened = 0;
    while ((length = getline(&line, &capacity, in)) > 0) {
        const double now = timer.GetElapsedSeconds();
        std::string text(line, size_t(length));
        if (!text.empty() && text.back() == '\n') text.pop_back();
        if (text.rfind("[START]", 0) == 0) {
            open = text.substr(7);
            opened = now;
        } else if (text == "[END]") {
            run.sections.emplace_back(open, now - opened);
        }
        run.lines.push_back(std::move(text));
    }
    std::free(line);
    std::fclose(in);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    run.seconds = timer.GetElapsedSeconds();
    run.processorSeconds = double(usage.ru_utime.tv_sec) + double(usage.ru_utime.tv_usec) * 1e-6 +
                           double(usage.ru_stime.tv_sec) + double(usage.ru_stime.tv_usec) * 1e-6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakKiB = usage.ru_maxrss;
    return run;
}

// Processor time of this process so far, every thread's, in seconds.
double ProcessorSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Best and spread of a series of seconds, as milliseconds, with the least processor time.
struct Series {
    std::vector<double> values;
    double processor = 1e30;
    void Add(double seconds) { values.push_back(seconds); }
    double Best() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()) * 1e3; }
    double Worst() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()) * 1e3; }
    double Median() const {
        if (values.empty()) return 0;
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const size_t half = sorted.size() / 2;
        return (sorted.size() % 2 ? sorted[half] : (sorted[half - 1] + sorted[half]) / 2) * 1e3;
    }
    std::string Text() const {
        char buffer[128];
        // Tenths of a millisecond where whole ones would hide the difference between small runs.
        const char* format = Best() < 20 ? "%.1f ms (median %.1f, %.1f to %.1f ms over %zu)"
                                         : "%.0f ms (median %.0f, %.0f to %.0f ms over %zu)";
        std::snprintf(buffer, sizeof buffer, format, Best(), Median(), Best(), Worst(), values.size());
        std::string text = buffer;
        if (processor < 1e30) {
            std::snprintf(buffer, sizeof buffer, ", processor time %.0f ms", processor * 1e3);
            text += buffer;
        }
        return text;
    }
};

// Whole child runs of a unit: their times, least processor time, largest resident set, and
// each protocol section's times, sections in the order first seen.
struct ChildRuns {
    Series whole;
    long peakKiB = 0;
    std::vector<std::string> order;
    std::map<std::string, Series> sections;
    void Add(const ChildRun& run) {
        whole.Add(run.seconds);
        whole.processor = std::min(whole.processor, run.processorSeconds);
        peakKiB = std::max(peakKiB, run.peakKiB);
        for (const auto& [name, seconds] : run.sections) {
            if (!sections.count(name)) order.push_back(name);
            sections[name].Add(seconds);
        }
    }
    double PeakMiB() const { return double(peakKiB) / 1024; }
};

template <class F>
void Time(Series& series, F&& f) {
    const double processor = ProcessorSeconds();
    Kernel::Timer t;
    f();
    series.Add(t.GetElapsedSeconds());
    series.processor = std::min(series.processor, ProcessorSeconds() - processor);
}

double Mpixels(const Page& page, double milliseconds) {
    return double(page.side) * page.side / (milliseconds * 1e-3) / 1e6;
}

int Run(const std::string& executable, int runs, const Page& page = Page()) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/failing-unit-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    const std::string unit = folder + "/page.kqvle";
    std::printf("failing-unit: %d x %d RGBA8, %d drawing commands (fill and gradient over the page, noise over "
                "half of it, a fill of %d x %d), the last fill changed; %d runs\n",
                page.side, page.side, kCommands, page.FillWidth(), page.FillHeight(), runs);

    if (!WriteText(unit, page.UnitText("0.2 0.6 0.3 1"))) return std::fprintf(stderr, "cannot write %s\n", unit.c_str()), 1;
    ChildRun created = RunChild(executable, {"regressionunit", "-file", unit, "--create"}, folder);
    if (created.status != 0 || !std::filesystem::exists(unit + "_baseline")) {
        std::fprintf(stderr, "creating the baseline failed (exit status %d)\n", created.status);
        return 1;
    }
    std::printf("baseline created in %.0f ms\n", created.seconds * 1e3);
    if (!WriteText(unit, page.UnitText("0.8 0.1 0.3 1"))) return 1;

    // The failing runs, as a user runs them.
    ChildRuns failing;
    for (int i = 0; i < runs; ++i) {
        ChildRun run = RunChild(executable, {"regressionunit", "-file", unit}, folder);
        const bool failedAsExpected =
            run.status == 255 && std::find(run.lines.begin(), run.lines.end(),
                                           "[FAIL]Pixel diff count: " + std::to_string(page.ChangedPixels()) +
                                               ", max channel diff: 153 (8 bit), spread: 0") != run.lines.end();
        if (!failedAsExpected) {
            std::fprintf(stderr, "the run did not fail as expected (exit status %d):\n", run.status);
            for (const std::string& l : run.lines) std::fprintf(stderr, "  %s\n", l.c_str());
            return 1;
        }
        failing.Add(run);
    }
    std::printf("whole failing run: %s, peak memory %.0f MiB\n", failing.whole.Text().c_str(), failing.PeakMiB());
    for (const std::string& name : failing.order)
        std::printf("  section %s: %s\n", name.c_str(), failing.sections[name].Text().c_str());
    std::fflush(stdout);

    // Every pixel different: the compare takes its lock for each of them.
    if (!WriteText(unit, page.UnitText("0.2 0.6 0.3 1", true))) return 1;
    ChildRuns different;
    for (int i = 0; i < runs; ++i) {
        ChildRun run = RunChild(executable, {"regressionunit", "-file", unit}, folder);
        const auto failure = std::find_if(run.lines.begin(), run.lines.end(), [](const std::string& l) {
            return l.rfind("[FAIL]Pixel diff count: ", 0) == 0;
        });
        if (run.status != 255 || failure == run.lines.end())
            return std::fprintf(stderr, "the entirely different run did not fail as expected\n"), 1;
        if (i == 0) std::printf("entirely different run: %s\n", failure->c_str() + 6);
        different.Add(run);
    }
    std::printf("whole entirely different run: %s, peak memory %.0f MiB; against the failing run %.2f (best), "
                "%.2f (median)\n",
                different.whole.Text().c_str(), different.PeakMiB(), different.whole.Best() / failing.whole.Best(),
                different.whole.Median() / failing.whole.Median());
    std::printf("  section Render comparison: %s\n", different.sections["Render comparison"].Text().c_str());
    std::fflush(stdout);
    if (!WriteText(unit, page.UnitText("0.8 0.1 0.3 1"))) return 1;

    // The same pieces in this process.
    Series draw, render, load, compare, heat, images, baselineImage, failureImage, differenceImage;
    for (int i = 0; i < runs; ++i) {
        Kernel::Counted<DocumentController> document;
        // A document is drawn when first shown: its first render, dropped, as the run's untimed one.
        Time(draw, [&] {
            LoadDocumentCommand command(Kernel::String(unit), false, 1, false, false, {});
            command.m_addToRecentDocuments = false;
            command.Execute();
            document = command.m_documentController;
            if (document) Kernel::MakeCounted<RegressionRender>(document);
        });
        if (!document) return std::fprintf(stderr, "the unit does not load\n"), 1;
        Kernel::Counted<RegressionRender> current;
        Time(render, [&] { current = Kernel::MakeCounted<RegressionRender>(document); });
        Raster::DynamicBitmap baseline;
        Time(load, [&] {
            RegressionBaselineFileStoreItem item;
            item.Load(Kernel::String(unit + "_baseline"));
            if (item.m_content) baseline = item.m_content->GetRender()->GetSpreadBitmap(0);
        });
        if (!baseline) return std::fprintf(stderr, "the baseline does not load\n"), 1;
        const Raster::DynamicBitmap bitmap = current->GetSpreadBitmap(0);
        CompareParams params;
        Time(compare, [&] { CompareBitmapsDispatch(bitmap, baseline, &params); });
        if (params.m_differingPixels != page.ChangedPixels()) return std::fprintf(stderr, "unexpected comparison\n"), 1;
        {
            Raster::DynamicBitmap scratch = Kernel::MakeCounted<RegressionRender>(document)->GetSpreadBitmap(0);
            DifferencesParams differences;
            differences.m_bitsPerChannel = 8;
            Time(heat, [&] { DifferenceBitmapsDispatch(scratch, baseline, &differences); });
        }

        PNGExportParams exportParams;
        exportParams.m_sourceProfile = document->GetProfile();
        exportParams.m_destinationProfile =
            Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(Raster::kFormatRGBA8);
        exportParams.m_intent = PersonaController::GetInstance()->GetScreenIntent();
        exportParams.m_blackPointCompensation = PersonaController::GetInstance()->GetScreenBlackPointCompensation();
        const std::string base = folder + "/in-process";
        // Each image alone, as the failure images would be written one after another.
        Time(baselineImage, [&] {
            Raster::PNGWriterRGBA8 w((base + ".baseline.png").c_str(), page.side, page.side, Raster::ExportOptions());
            WriteBitmapPNGConvertedDispatch(w, baseline, &exportParams);
        });
        Time(failureImage, [&] {
            Raster::PNGWriterRGBA8 w((base + ".failure.png").c_str(), page.side, page.side, Raster::ExportOptions());
            WriteBitmapPNGConvertedDispatch(w, bitmap, &exportParams);
        });
        // Made untimed: while the compared render holds the blocks it wrote in place, a second
        // render of the document draws it anew.
        Raster::DynamicBitmap scratch = Kernel::MakeCounted<RegressionRender>(document)->GetSpreadBitmap(0);
        Time(differenceImage, [&] {
            DifferencesParams differences;
            differences.m_bitsPerChannel = 8;
            DifferenceBitmapsDispatch(scratch, baseline, &differences);
            Raster::PNGWriterRGBA8 w((base + ".difference.png").c_str(), page.side, page.side, Raster::ExportOptions());
            WriteBitmapPNGDispatch(w, scratch);
        });
        // The three together, as a failed spread writes them.
        Time(images, [&] {
            WriteFailureImages(Kernel::String(base), bitmap, baseline, exportParams, 8, true);
        });
        PersonaController::GetInstance()->RemoveDocumentController(document);
    }
    const double largest = std::max({baselineImage.Best(), failureImage.Best(), differenceImage.Best()});
    std::printf("in this process, best of %d (spread):\n", runs);
    std::printf("  drawing the document (its load and first render): %s, %.0f Mpixel/s\n", draw.Text().c_str(),
                Mpixels(page, draw.Best()));
    std::printf("  render: %s, %.0f Mpixel/s\n", render.Text().c_str(), Mpixels(page, render.Best()));
    std::printf("  baseline load: %s\n", load.Text().c_str());
    std::printf("  compare: %s\n", compare.Text().c_str());
    std::printf("  heat map: %s\n", heat.Text().c_str());
    std::printf("  images: %s; alone: baseline %.0f ms, failure %.0f ms, difference %.0f ms (with its heat map); "
                "together / largest alone %.2f\n",
                images.Text().c_str(), baselineImage.Best(), failureImage.Best(), differenceImage.Best(),
                images.Best() / largest);
    std::printf("failing-unit total: %.0f ms best, %.0f ms worst\n", failing.whole.Best(), failing.whole.Worst());
    std::filesystem::remove_all(folder);
    return 0;
}

}  // namespace failing_unit
