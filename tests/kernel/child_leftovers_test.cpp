// What a child killed by a signal leaves of its own, found by its id and its token and removed by
// its parent, and nothing of anybody else's.
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

// Relative names below folder, links listed and never followed.
std::vector<std::string> Listing(const fs::path& folder, bool recursive = false) {
    std::vector<std::string> names;
    if (recursive)
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            names.push_back(fs::relative(entry.path(), folder).string());
    else
        for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool IsLettersAndDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

std::string Replaced(std::string text, const std::string& key, const std::string& value) {
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
    return text;
}

class ChildLeftovers : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "qv-leftovers-XXXXXX").string();
        ASSERT_TRUE(mkdtemp(pattern.data()));
        m_root = pattern;
        for (const fs::path& folder : {m_root / "tmp", m_root / "units", m_root / "elsewhere"})
            fs::create_directories(folder);
        const char* old = std::getenv("TMPDIR");
        if (old) m_savedTmpdir = old;
        setenv("TMPDIR", (m_root / "tmp").c_str(), 1);
    }
    void TearDown() override {
        if (m_savedTmpdir) setenv("TMPDIR", m_savedTmpdir->c_str(), 1);
        else unsetenv("TMPDIR");
        fs::remove_all(m_root);
    }

    // A child handed the token as the runner hands it: it saves a copy in its temporary folder,
    // leaves two unfinished files beside the unit (its baseline and the file named by the unit's
    // name and second) and dies of SIGKILL. Not reaped on return.
    pid_t KilledChild(Kernel::ChildLeftovers& leftovers, const std::string& unit = "a.kqvle",
                      const std::string& second = ".snapshot-2.failure.png") {
        leftovers.Prepare(Kernel::Path((m_root / "units" / unit).string()));
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            setenv(Kernel::ChildLeftovers::kTokenVariable, leftovers.Token(), 1);
            const std::string folder = Kernel::FileSystem::GetTemporaryDirectory().ToStd();
            fs::create_directory(folder + "/inner");
            std::ofstream(folder + "/inner/test.persona") << "copy";
            std::ofstream(folder + "/test.persona") << "copy";
            Kernel::AtomicFile baseline(Kernel::Path((m_root / "units" / (unit + "_baseline")).string()));
            Kernel::AtomicFile image(Kernel::Path((m_root / "units" / (unit + second)).string()));
            if (folder.empty() || !baseline.Write("half") || !image.Write("half")) _exit(2);
            std::fflush(nullptr);
            raise(SIGKILL);
            _exit(3);
        }
        leftovers.SetProcess(child);
        siginfo_t ended{};
        EXPECT_EQ(waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT), 0);
        EXPECT_EQ(ended.si_code, CLD_KILLED);
        return child;
    }

    fs::path m_root;
    std::optional<std::string> m_savedTmpdir;
};

TEST_F(ChildLeftovers, OnlyNamesWithTheKilledChildsIdAndTokenGo) {
    const fs::path tmp = m_root / "tmp", units = m_root / "units", elsewhere = m_root / "elsewhere";
    std::ofstream(elsewhere / "precious") << "kept";
    Kernel::ChildLeftovers leftovers;
    const pid_t child = KilledChild(leftovers);
    const std::string token = leftovers.Token();
    ASSERT_EQ(token.size(), 12u);
    ASSERT_TRUE(IsLettersAndDigits(token)) << token;

    // The child's names carry its id, the token and a random part.
    const std::string id = std::to_string(child), mark = "-" + id + "-" + token + "-";
    const std::vector<std::string> made = Listing(tmp);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0].rfind("quirevale" + mark, 0), 0u) << made[0];
    EXPECT_EQ(made[0].size(), ("quirevale" + mark).size() + 6) << made[0];
    EXPECT_TRUE(IsLettersAndDigits(made[0].substr(("quirevale" + mark).size()))) << made[0];
    const std::vector<std::string> beside = Listing(units);
    ASSERT_EQ(beside.size(), 2u);
    for (const std::string& name : beside) {
        const size_t at = name.find(".tmp" + mark);
        ASSERT_NE(at, std::string::npos) << name;
        EXPECT_EQ(name.size(), at + (".tmp" + mark).size() + 12) << name;
        EXPECT_TRUE(IsLettersAndDigits(name.substr(name.size() - 12))) << name;
    }

    // Names that are close, but not of its making: all stay. A link is planted for "Link" names.
    const std::string other = "ZyXwVuTsRqPo";
    const std::vector<std::string> keptTmp = {
        "quirevale-" + id + "-" + other + "-AbCdEf",  // another runner's child with the same id
        "quirevale-" + id + "-AbCdEf",                // no token
        "quirevale-1-" + token + "-AbCdEf",           // the token, another id: a process the child started
        "quirevale" + mark + "AbC", "quirevale" + mark + "AbCdEfG", "quirevale" + mark + "Link12",
    };
    const std::vector<std::string> keptUnits = {
        "a.kqvle_baseline.tmp-" + id + "-" + other + "-AbCdEfGhIjKl",  // another runner's child with the same id
        "a.kqvle_baseline.tmp-" + id + "-AbCdEfGhIjKl",                // no token
        "a.kqvle_baseline.tmp-1-" + token + "-AbCdEfGhIjKl",           // the token, another id
        "a.kqvle_baseline.tmp" + mark + "AbCdEfGhIjK", "c.kqvle_baseline.tmp" + mark + "AbCdEfGhIjKl",
        "a.kqvle_baseline.tmp" + mark + "Link12345678", "a.kqvle_baseline",
    };
    for (const std::string& name : keptTmp)
        if (name.find("Link") != std::string::npos) fs::create_directory_symlink(elsewhere, tmp / name);
        else fs::create_directory(tmp / name);
    for (const std::string& name : keptUnits)
        if (name.find("Link") != std::string::npos) fs::create_symlink(elsewhere / "precious", units / name);
        else std::ofstream(units / name) << "other";

    leftovers.Remove();
    ASSERT_EQ(waitpid(child, nullptr, 0), child);

    std::vector<std::string> expectedTmp = keptTmp, expectedUnits = keptUnits;
    std::sort(expectedTmp.begin(), expectedTmp.end());
    std::sort(expectedUnits.begin(), expectedUnits.end());
    EXPECT_EQ(Listing(tmp), expectedTmp);
    EXPECT_EQ(Listing(units), expectedUnits);
    EXPECT_EQ(Listing(elsewhere), std::vector<std::string>{"precious"});

    // Nothing is removed for a child that never started.
    Kernel::ChildLeftovers unset;
    unset.Prepare(Kernel::Path((units / "a.kqvle").string()));
    unset.Remove();
    EXPECT_EQ(Listing(units), expectedUnits);
}

// A unit whose name leaves its temporaries no room: they begin with as much of it as fits, cut
// at a character's end, and still go; names cut anywhere else, or of another process, stay.
TEST_F(ChildLeftovers, ShortenedTemporariesOfALongUnitNameGo) {
    const fs::path units = m_root / "units";
    const long limit = pathconf(units.c_str(), _PC_NAME_MAX);
    const size_t nameMax = limit > 0 ? size_t(limit) : 255;
    // The longest unit whose metric file fits, of three-byte characters up to its end.
    std::string unit;
    while (unit.size() + 3 <= nameMax - 18 - 6) unit += "\xE2\x82\xAC";
    unit.append(nameMax - 18 - 6 - unit.size(), 'a');
    unit += ".kqvle";
    Kernel::ChildLeftovers leftovers;
    const pid_t child = KilledChild(leftovers, unit, "_baseline.metadata");
    const std::string id = std::to_string(child), token = leftovers.Token(), mark = "-" + id + "-" + token + "-";
    const size_t room = nameMax - (".tmp" + mark).size() - 12;
    const std::string head = unit.substr(0, room / 3 * 3);
    const std::vector<std::string> beside = Listing(units);
    ASSERT_EQ(beside.size(), 2u);
    for (const std::string& name : beside) {
        EXPECT_EQ(name.rfind(head + ".tmp" + mark, 0), 0u) << name;
        EXPECT_EQ(name.size(), (head + ".tmp" + mark).size() + 12) << name;
        EXPECT_TRUE(IsLettersAndDigits(name.substr(name.size() - 12))) << name;
    }

    const std::string other = "ZyXwVuTsRqPo", shorter = head.substr(0, head.size() - 3);
    const std::vector<std::string> kept = {
        shorter + ".tmp" + mark + "AbCdEfGhIjKl",                        // cut a character short
        "aaa" + head.substr(3) + ".tmp" + mark + "AbCdEfGhIjKl",         // another unit's
        head + ".tmp-" + id + "-" + other + "-AbCdEfGhIjKl",             // another runner's child
        head + ".tmp-1-" + token + "-AbCdEfGhIjKl",                      // the token, another id
        head + ".tmp" + mark + "AbCdEfGhIjK",                            // no whole random part
        unit,
    };
    for (const std::string& name : kept) std::ofstream(units / name) << "other";
    leftovers.Remove();
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    std::vector<std::string> expected = kept;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Listing(units), expected);
}

// A folder swapped for a link to elsewhere after the child died, elsewhere holding names that
// match where the link stands: nothing in elsewhere goes, and what the child left where it
// really wrote still does.
TEST_F(ChildLeftovers, ALinkSwappedInForAFolderIsNeverFollowed) {
    struct Case {
        const char* swapped;                 // below the root; {scratch} is the child's folder
        std::vector<std::string> planted;    // in elsewhere; {mark} is "-<pid>-<token>-"
        std::vector<std::string> leftMoved;  // of the folder the link replaced, moved aside
    };
    const Case cases[] = {
        {"tmp/{scratch}",
         {"inner/", "inner/test.persona", "test.persona"},
         {"inner", "inner/test.persona", "test.persona"}},
        {"tmp/{scratch}/inner", {"test.persona"}, {"test.persona"}},
        {"units", {"a.kqvle_baseline.tmp{mark}AbCdEfGhIjKl"}, {}},
        {"tmp", {"quirevale{mark}AbCdEf/", "quirevale{mark}AbCdEf/test.persona"}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.swapped);
        const fs::path elsewhere = m_root / "elsewhere", moved = m_root / "moved";
        Kernel::ChildLeftovers leftovers;
        const pid_t child = KilledChild(leftovers);
        const std::string mark = "-" + std::to_string(child) + "-" + leftovers.Token() + "-";
        const std::vector<std::string> scratch = Listing(m_root / "tmp");
        ASSERT_EQ(scratch.size(), 1u);
        std::vector<std::string> planted;
        for (const std::string& name : c.planted) {
            const std::string path = Replaced(name, "{mark}", mark);
            if (path.back() == '/') fs::create_directory(elsewhere / path);
            else std::ofstream(elsewhere / path) << "kept";
            planted.push_back(path.back() == '/' ? path.substr(0, path.size() - 1) : path);
        }
        std::sort(planted.begin(), planted.end());
        const fs::path swapped = m_root / Replaced(c.swapped, "{scratch}", scratch[0]);
        fs::rename(swapped, moved);
        fs::create_directory_symlink(elsewhere, swapped);

        leftovers.Remove();
        ASSERT_EQ(waitpid(child, nullptr, 0), child);
        EXPECT_EQ(Listing(elsewhere, true), planted);
        EXPECT_EQ(Listing(moved, true), c.leftMoved);
        // The child's folder and its unfinished files went from where they really are.
        const fs::path tmp = m_root / "tmp", units = m_root / "units";
        if (std::string(c.swapped) != "tmp/{scratch}") {
            EXPECT_EQ(Listing(swapped == tmp ? moved : tmp), std::vector<std::string>{});
        }
        EXPECT_EQ(Listing(swapped == units ? moved : units), std::vector<std::string>{});

        for (const fs::path& folder : {m_root / "tmp", m_root / "units", elsewhere}) {
            fs::remove_all(folder);
            fs::create_directory(folder);
        }
        fs::remove_all(moved);
    }
}

}  // namespace
