// Unit discovery: extensions, walk order, ignore lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "regression/UnitDiscovery.h"
#include "runner_test_support.h"

namespace {

using Kernel::String;
using runner_test::TempDir;
using runner_test::WriteFile;

std::vector<std::string> ToStd(const std::vector<String>& list) {
    std::vector<std::string> out;
    for (const String& s : list) out.push_back(s.ToStd());
    return out;
}

TEST(UnitDiscovery, ExtensionsAreExactAndCaseSensitive) {
    struct Case {
        const char* path;
        const char* withDot;
        const char* withoutDot;
        bool unit;
    };
    const Case cases[] = {
        {"a.kqvle", ".kqvle", "kqvle", true},
        {"a.kdrovane", ".kdrovane", "kdrovane", true},
        {"a.kestrane_drovanel", ".kestrane_drovanel", "kestrane_drovanel", true},
        {"a.kestrane_tavik", ".kestrane_tavik", "kestrane_tavik", true},
        {"a.ktavika", ".ktavika", "ktavika", true},
        {"dir/a.persona", ".persona", "persona", true},
        {"a.KQVLE", ".KQVLE", "KQVLE", false},
        {"a.Persona", ".Persona", "Persona", false},
        {".kqvle", "", "", false},
        {"dir/.kqvle", ".kqvle", "kqvle", false},  // hidden: the dot starts the name
        {"a.b.kqvle", ".kqvle", "kqvle", true},
        {"a.kqvle.bak", ".bak", "bak", false},
        {"a.kqvle_baseline", ".kqvle_baseline", "kqvle_baseline", false},
        {"a.kqvle/b", "", "", false},
        {"noextension", "", "", false},
        {"a.", ".", "", false},
        {"", "", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GetFileExtension(String(c.path), true), c.withDot) << c.path;
        EXPECT_EQ(GetFileExtension(String(c.path), false), c.withoutDot) << c.path;
        EXPECT_EQ(IsUnitFile(String(c.path)), c.unit) << c.path;
    }
}

TEST(UnitDiscovery, IgnoreFileLinesKeepBareNamesWithoutComments) {
    TempDir dir;
    WriteFile(dir / "ignore.txt",
              "a.kqvle\n"
              "  b.kqvle   # flaky since the last engine update\n"
              "# c.kqvle\n"
              "\n"
              "   \t\n"
              "d.kqvle\r\n"
              "sub/e.kqvle\n"
              "#\n"
              "f.kqvle#no blank before the comment\n" +
                  std::string("g.kqvle\0h.kqvle\n", 16) + "last.kqvle");
    std::vector<String> list;
    ReadIgnoreListFile(list, String(dir / "ignore.txt"));
    EXPECT_EQ(ToStd(list), (std::vector<std::string>{"a.kqvle", "b.kqvle", "d.kqvle", "sub/e.kqvle", "f.kqvle",
                                                     "g.kqvle", "last.kqvle"}));

    ReadIgnoreListFile(list, String(dir / "missing.txt"));
    EXPECT_EQ(list.size(), 7u);
}

TEST(UnitDiscovery, IgnoreListsMergeBothFilesSorted) {
    TempDir dir;
    WriteFile(dir / "ignore.txt", "z.kqvle\nm.kqvle\n");
    WriteFile(dir / "ignore_mac.txt", "a.kqvle\nm.kqvle\n");
    WriteFile(dir / "ignore_win.txt", "w.kqvle\n");
    EXPECT_EQ(ToStd(LoadRegressionIgnoreLists(String(dir.Path().string()))),
              (std::vector<std::string>{"a.kqvle", "m.kqvle", "m.kqvle", "z.kqvle"}));
}

TEST(UnitDiscovery, WalksFilesFirstThenSubdirectoriesInNameOrder) {
    TempDir dir;
    const char* files[] = {
        "b.kqvle",          "a.persona",        "C.ktavika",         "notes.txt",        ".kqvle",
        "x.KQVLE",          "y.kqvle.png",      "z/a.kdrovane",      "z/deep/q.kqvle",   "m/b.kestrane_tavik",
        "m/a.kestrane_drovanel", "dir.kqvle/inside.kqvle", "ignored.kqvle", "m/ignored.kqvle", "twice.kqvle",
        "sub/ignored.kqvle",
    };
    for (const char* f : files) WriteFile(dir.Path() / f, "unit");
    // Names with a folder part never match; a list applies only to its own folder.
    WriteFile(dir / "ignore.txt", "ignored.kqvle # old\nsub/ignored.kqvle\ntwice.kqvle\nnotes.txt\nabsent.kqvle\n");
    WriteFile(dir / "ignore_mac.txt", "twice.kqvle\n");
    // Links to directories are not walked, even one that leads back up; a link to a file is a unit.
    ASSERT_EQ(symlink(dir.Path().c_str(), (dir / "m/loop").c_str()), 0);
    ASSERT_EQ(symlink((dir / "z").c_str(), (dir / "zlink").c_str()), 0);
    ASSERT_EQ(symlink((dir / "b.kqvle").c_str(), (dir / "link.kqvle").c_str()), 0);
    ASSERT_EQ(symlink((dir / "nowhere").c_str(), (dir / "dangling.kqvle").c_str()), 0);

    runner_test::ScopedCurrentDirectory inside(dir.Path());
    std::vector<String> units, ignored;
    FindUnits(String("."), &units, &ignored);
    EXPECT_EQ(ToStd(units), (std::vector<std::string>{"./C.ktavika", "./a.persona", "./b.kqvle", "./link.kqvle",
                                                      "./dir.kqvle/inside.kqvle", "./m/a.kestrane_drovanel",
                                                      "./m/b.kestrane_tavik", "./m/ignored.kqvle",
                                                      "./sub/ignored.kqvle", "./z/a.kdrovane", "./z/deep/q.kqvle"}));
    EXPECT_EQ(ToStd(ignored), (std::vector<std::string>{"./ignored.kqvle", "./twice.kqvle"}));

    std::vector<String> ignoredOnly;
    FindUnits(String("."), nullptr, &ignoredOnly);
    EXPECT_EQ(ToStd(ignoredOnly), ToStd(ignored));
    std::vector<String> unitsOnly;
    FindUnits(String("."), &unitsOnly, nullptr);
    EXPECT_EQ(ToStd(unitsOnly), ToStd(units));

    std::vector<String> none;
    FindUnits(String("./does-not-exist"), &none, &none);
    EXPECT_TRUE(none.empty());
}

}  // namespace
