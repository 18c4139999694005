// What a child killed by a signal leaves of its own, found by its id and removed by its parent,
// and nothing of anybody else's.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Kernel/FileSystem.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsLettersAndDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

TEST(ChildLeftovers, OnlyWhatTheKilledChildMadeIsRemoved) {
    std::string pattern = (fs::temp_directory_path() / "qv-leftovers-XXXXXX").string();
    ASSERT_TRUE(mkdtemp(pattern.data()));
    const fs::path root = pattern, tmp = root / "tmp", units = root / "units", elsewhere = root / "elsewhere";
    for (const fs::path& folder : {tmp, units, elsewhere}) fs::create_directories(folder);
    std::ofstream(elsewhere / "precious") << "kept";
    const char* old = std::getenv("TMPDIR");
    const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
    setenv("TMPDIR", tmp.c_str(), 1);

    Kernel::ChildLeftovers leftovers;
    leftovers.Prepare(Kernel::Path((units / "a.kqvle").string()));
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        // The child: a file in its temporary folder, unfinished files beside the unit, then SIGKILL.
        const Kernel::Path folder = Kernel::FileSystem::GetTemporaryDirectory();
        std::ofstream(folder.ToStd() + "/test.persona") << "copy";
        Kernel::AtomicFile baseline(Kernel::Path((units / "a.kqvle_baseline").string()));
        Kernel::AtomicFile image(Kernel::Path((units / "a.kqvle.snapshot-2.failure.png").string()));
        if (!baseline.Write("half") || !image.Write("half")) _exit(2);
        std::fflush(nullptr);
        raise(SIGKILL);
        _exit(3);
    }
    ASSERT_GT(child, 0);
    leftovers.SetProcess(child);
    siginfo_t ended{};
    ASSERT_EQ(waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT), 0);
    EXPECT_EQ(ended.si_code, CLD_KILLED);

    // The child's names carry its id and a random part.
    const std::string id = std::to_string(child);
    const std::vector<std::string> made = Names(tmp);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].rfind("quirevale-" + id + "-", 0), 0u) << made[0];
    EXPECT_TRUE(IsLettersAndDigits(made[0].substr(("quirevale-" + id + "-").size()))) << made[0];
    EXPECT_EQ(made[0].size(), ("quirevale-" + id + "-").size() + 6);
    const std::vector<std::string> beside = Names(units);
    ASSERT_EQ(beside.size(), 2u);
    for (const std::string& name : beside) {
        const size_t marker = name.find(".tmp-" + id + "-");
        ASSERT_NE(marker, std::string::npos) << name;
        EXPECT_EQ(name.size(), marker + (".tmp-" + id + "-").size() + 12) << name;
        EXPECT_TRUE(IsLettersAndDigits(name.substr(name.size() - 12))) << name;
    }

    // Names that are close, but not of its making, and a link: all stay.
    const std::vector<std::string> keptTmp = {"quirevale-" + id + "-AbC", "quirevale-1-AbCdEf", "quirevale-" + id + "-Link12",
                                              "quirevale-" + id + "-AbCdEfG"};
    for (size_t i = 0; i < keptTmp.size(); ++i)
        if (i == 2) fs::create_directory_symlink(elsewhere, tmp / keptTmp[i]);
        else fs::create_directory(tmp / keptTmp[i]);
    const std::vector<std::string> keptUnits = {
        "a.kqvle_baseline.tmp-" + id + "-AbCdEfGhIjK", "a.kqvle_baseline.tmp-1-AbCdEfGhIjKl",
        "c.kqvle_baseline.tmp-" + id + "-AbCdEfGhIjKl", "a.kqvle_baseline.tmp-" + id + "-Link12345678",
        "a.kqvle_baseline"};
    for (const std::string& name : keptUnits)
        if (name.find("Link") != std::string::npos) fs::create_symlink(elsewhere / "precious", units / name);
        else std::ofstream(units / name) << "other";

    leftovers.Remove();
    ASSERT_EQ(waitpid(child, nullptr, 0), child);

    std::vector<std::string> expectedTmp = keptTmp, expectedUnits = keptUnits;
    std::sort(expectedTmp.begin(), expectedTmp.end());
    std::sort(expectedUnits.begin(), expectedUnits.end());
    EXPECT_EQ(Names(tmp), expectedTmp);
    EXPECT_EQ(Names(units), expectedUnits);
    EXPECT_EQ(Names(elsewhere), std::vector<std::string>{"precious"});

    // Nothing is removed for a child that never started.
    Kernel::ChildLeftovers unset;
    unset.Prepare(Kernel::Path((units / "a.kqvle").string()));
    unset.Remove();
    EXPECT_EQ(Names(units), expectedUnits);

    if (saved) setenv("TMPDIR", saved->c_str(), 1);
    else unsetenv("TMPDIR");
    fs::remove_all(root);
}

}  // namespace
