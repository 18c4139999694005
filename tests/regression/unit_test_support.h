// Helpers for the unit executor's tests: the engine in this process with its own temporary
// folder, captured protocol lines, PNG files read back, and the built executable run as a child.
#pragma once
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DocSession/EngineFaults.h"
#include "DocSession/PersonaController.h"
#include "regression/ChildOutput.h"
#include "runner_test_support.h"

extern char** environ;

namespace unit_test {

namespace fs = std::filesystem;
using runner_test::ReadFile;
using runner_test::TempDir;
using runner_test::WriteFile;

using runner_test::SplitLines;

// What a piece of code writes on standard output, as lines.
inline std::vector<std::string> CaptureLines(const std::function<void()>& body) {
    testing::internal::CaptureStdout();
    body();
    return SplitLines(testing::internal::GetCapturedStdout());
}

// The records of one section: the lines between "[START]name" and its "[END]"; nullopt when
// the section is not there.
inline std::optional<std::vector<std::string>> Section(const std::vector<std::string>& lines,
                                                       const std::string& name) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] != "[START]" + name) continue;
        std::vector<std::string> body;
        for (size_t j = i + 1; j < lines.size() && lines[j] != "[END]"; ++j) body.push_back(lines[j]);
        return body;
    }
    return std::nullopt;
}

// The names of the sections in order.
inline std::vector<std::string> SectionNames(const std::vector<std::string>& lines) {
    std::vector<std::string> names;
    for (const std::string& line : lines)
        if (line.rfind("[START]", 0) == 0) names.push_back(line.substr(7));
    return names;
}

inline bool Contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

// An RGBA8 image read back from a PNG file; empty when it cannot be read.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
    std::array<uint8_t, 4> At(int x, int y) const {
        const uint8_t* p = &rgba[(size_t(y) * size_t(width) + size_t(x)) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
};

inline Image ReadPNG(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Image out;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return out;
    out.width = int(image.width);
    out.height = int(image.height);
    out.rgba = std::move(pixels);
    return out;
}

// The engine for tests in this process: a temporary folder as TMPDIR, no faults, and a fresh
// persona controller and failure flag for every test.
class EngineTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.Path().empty());
        const char* old = std::getenv("TMPDIR");
        if (old) m_savedTmpdir = old;
        setenv("TMPDIR", m_dir.Path().c_str(), 1);
        EngineFaults::SetForTesting({});
        FailureReported = false;
    }
    void TearDown() override {
        PersonaController::GetInstance()->ShutdownPersona();
        if (m_savedTmpdir) setenv("TMPDIR", m_savedTmpdir->c_str(), 1);
        else unsetenv("TMPDIR");
        EngineFaults::SetForTesting({});
        FailureReported = false;
    }

    std::string Path(const std::string& name) const { return (m_dir.Path() / name).string(); }
    std::string Write(const std::string& name, const std::string& text) const {
        WriteFile(m_dir.Path() / name, text);
        return Path(name);
    }

    TempDir m_dir;
    std::optional<std::string> m_savedTmpdir;
};

using runner_test::Environment;
using runner_test::ProcessResult;
using runner_test::RunProcess;

// Records the render time value in a unit's metric file. A time no render comes near makes the
// next run "Faster", and 1 ms makes a render slowed by the engine's fault "Slower", however
// busy the machine is: no verdict of a test may depend on how fast a render ran.
inline void PinRenderTime(const fs::path& metricFile, const std::string& value = "1000000") {
    std::string pinned;
    for (const std::string& line : SplitLines(ReadFile(metricFile)))
        pinned += (line.rfind("render performance\t", 0) == 0 ? "render performance\t" + value : line) + "\n";
    EXPECT_NE(pinned.find("render performance\t" + value + "\n"), std::string::npos) << metricFile;
    WriteFile(metricFile, pinned);
}

// The same for every metric file below a folder.
inline void PinRenderTimes(const fs::path& folder, const std::string& value = "1000000") {
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().string().ends_with("_baseline.metadata"))
            PinRenderTime(entry.path(), value);
}

// Runs the processes at once, each on its own thread, and gives their results in order.
inline std::vector<ProcessResult> RunProcessesAtOnce(
    const std::vector<std::function<ProcessResult()>>& processes) {
    std::vector<ProcessResult> results(processes.size());
    std::vector<std::thread> threads;
    for (size_t i = 0; i < processes.size(); ++i) threads.emplace_back([&, i] { results[i] = processes[i](); });
    for (std::thread& thread : threads) thread.join();
    return results;
}

// The entries of a folder, by name.
inline std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace unit_test
