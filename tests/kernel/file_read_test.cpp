// The one reader of files and the quoting of outside text in messages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Kernel/FileSystem.h"
#include "Kernel/Format.h"

namespace {

namespace fs = std::filesystem;

class FileRead : public testing::Test {
protected:
    void SetUp() override {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qv-read-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
};

TEST_F(FileRead, OnlyRegularFilesAreReadAndNothingBlocks) {
    const fs::path text = m_dir / "text", empty = m_dir / "empty", fifo = m_dir / "fifo", link = m_dir / "link",
                   folder = m_dir / "folder";
    std::ofstream(text, std::ios::binary) << std::string("a\0b\nc", 5);
    std::ofstream(empty, std::ios::binary);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    fs::create_symlink(text, link);
    fs::create_directory(folder);

    struct Case {
        fs::path path;
        bool read;
        std::string contents;
        bool missing;
        std::string reason;
    };
    const Case cases[] = {
        {text, true, std::string("a\0b\nc", 5), false, ""},
        {empty, true, "", false, ""},
        {link, true, std::string("a\0b\nc", 5), false, ""},  // a link to a regular file is read
        {fifo, false, "", false, "it is a FIFO, not a regular file"},
        {"/dev/null", false, "", false, "it is a character device, not a regular file"},
        {"/dev/zero", false, "", false, "it is a character device, not a regular file"},
        {folder, false, "", false, "it is a folder, not a regular file"},
        {m_dir / "absent", false, "", true, "No such file or directory"},
        {text / "below", false, "", true, "Not a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string contents = "left over";
        Kernel::FileSystem::ReadError error;
        EXPECT_EQ(Kernel::FileSystem::ReadFile(Kernel::Path(c.path.string()), contents, &error), c.read);
        EXPECT_EQ(contents, c.contents);
        EXPECT_EQ(error.missing, c.missing);
        EXPECT_EQ(error.reason, c.reason);
    }
}

// Sparse files: a size costs no disk.
void MakeSparse(const fs::path& path, uintmax_t size) {
    std::ofstream{path, std::ios::binary | std::ios::app};
    fs::resize_file(path, size);
}

TEST_F(FileRead, AFileLongerThanTheLimitIsRefusedBeforeAnythingIsRead) {
    const fs::path huge = m_dir / "huge", exact = m_dir / "exact", over = m_dir / "over", empty = m_dir / "empty";
    MakeSparse(huge, uintmax_t(6) << 30);
    std::ofstream(exact, std::ios::binary) << std::string(1000, 'e');
    std::ofstream(over, std::ios::binary) << std::string(1001, 'o');
    std::ofstream(empty, std::ios::binary);
    struct Case {
        fs::path path;
        uint64_t limit;
        bool read;
        std::string reason;
    };
    const Case cases[] = {
        {huge, 16 << 20, false, "it is 6442450944 bytes, more than the limit of 16777216 bytes"},
        {exact, 1000, true, ""},
        {over, 1000, false, "it is 1001 bytes, more than the limit of 1000 bytes"},
        {empty, 0, true, ""},
        {exact, 0, false, "it is 1000 bytes, more than the limit of 0 bytes"},
        // A file without a length is cut off at the limit, not read to its end.
        {"/proc/self/status", 10, false, "it holds more than the limit of 10 bytes"},
        {"/proc/self/status", 1 << 20, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.string() + " " + std::to_string(c.limit));
        std::string contents = "left over";
        Kernel::FileSystem::ReadError error;
        EXPECT_EQ(Kernel::FileSystem::ReadFile(Kernel::Path(c.path.string()), contents, c.limit, &error), c.read);
        EXPECT_EQ(error.tooLarge, !c.read);
        EXPECT_FALSE(error.missing);
        EXPECT_EQ(error.reason, c.reason);
        if (!c.read) {
            EXPECT_EQ(contents, "");
            EXPECT_LT(contents.capacity(), size_t(1) << 20);  // nothing of the file's size was allocated
        } else if (c.path == exact) {
            EXPECT_EQ(contents, std::string(1000, 'e'));
        } else if (c.path != empty) {
            EXPECT_NE(contents.find("Name:"), std::string::npos);
        }
    }
}

// The application's preferences are read with a limit of their own, and a larger file is told.
TEST_F(FileRead, HugePreferencesAreRefusedByTheApplication) {
    fs::create_directories(m_dir / "home/.quirevale");
    const fs::path defaults = m_dir / "home/.quirevale/defaults";
    MakeSparse(defaults, uintmax_t(2) << 30);
    const std::string command = "HOME='" + (m_dir / "home").string() + "' '" + QV_EXECUTABLE + "' </dev/null >/dev/null 2>'" +
                                (m_dir / "err").string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(m_dir / "err", std::ios::binary);
    const std::string err((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(err.find("the preferences \"" + defaults.string() +
                       "\" can't be read: it is 2147483648 bytes, more than the limit of 16777216 bytes\n"),
              std::string::npos)
        << err;
}

TEST(MessageText, OutsideTextIsEscapedAndCut) {
    const std::string cut(Kernel::kExcerptBytes, 'x');
    // "é" is two bytes: a cut never splits it.
    const std::string accents = std::string(Kernel::kExcerptBytes - 1, 'x') + "\xC3\xA9" + "tail";
    // A cut that leaves "##teamcity" before the cut mark's "[".
    const std::string marked = std::string(Kernel::kExcerptBytes - 10, 'x') + "##teamcity[x]";
    // Stray continuation bytes are characters of one byte each: the cut keeps a whole limit of them.
    const std::string strays(2 * Kernel::kExcerptBytes, '\x80');
    std::string shownStrays;
    for (size_t i = 0; i < Kernel::kExcerptBytes; ++i) shownStrays += "\\x80";
    const std::string overlong = "\\xc0\\x80 \\xc1\\xbf \\xe0\\x9f\\xbf \\xf0\\x8f\\xbf\\xbf";
    const std::string valid = "\xE0\xA0\x80 \xF0\x90\x80\x80 \xED\x9F\xBF \xF4\x8F\xBF\xBF";
    const std::string leads =
        "\\x80\\xbf \\xbf\\x80 \\xf5\\x80\\x80\\x80 \\xf7\\xbf\\xbf\\xbf \\xf8\\x88\\x80\\x80\\x80 \\xff";
    const std::string later = "\\xc3A \\xe2A\\x82 \\xe2\\x82A \\xf0A\\x98\\x80 \\xf0\\x9fA\\x80 \\xf0\\x9f\\x98A";
    struct Case {
        std::string text, escaped, excerpt;
    };
    const Case cases[] = {
        {"", "", ""},
        {"plain words", "plain words", "plain words"},
        {"a\nb\rc\td\\e", "a\\nb\\rc\\td\\e", "a\\nb\\rc\\td\\e"},
        {"\xC2\x9b" "2J \xC2\xA0", "\\xc2\\x9b" "2J \xC2\xA0", "\\xc2\\x9b" "2J \xC2\xA0"},
        {"a ##teamcity[x] #teamcity[ ###teamcity[", "a \\x23\\x23teamcity[x] #teamcity[ #\\x23\\x23teamcity[",
         "a \\x23\\x23teamcity[x] #teamcity[ #\\x23\\x23teamcity["},
        {marked, cut.substr(10) + "\\x23\\x23teamcity[x]", cut.substr(10) + "\\x23\\x23teamcity[...]"},
        {"\x1b[31m\x7f", "\\x1b[31m\\x7f", "\\x1b[31m\\x7f"},
        {"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},
        // Lone bytes: DEL, a terminal's 8-bit controls and what is no character either.
        {"\x7f\x80\x9f\xa0", "\\x7f\\x80\\x9f\\xa0", "\\x7f\\x80\\x9f\\xa0"},
        {"\xC2\x80 \xC2\x9F \xC2\xA0", "\\xc2\\x80 \\xc2\\x9f \xC2\xA0", "\\xc2\\x80 \\xc2\\x9f \xC2\xA0"},
        // Overlong "/", a surrogate, a code point past U+10FFFF; a character of four bytes is shown.
        {"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xF0\x9F\x98\x80", "\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80\xF0\x9F\x98\x80",
         "\\xc0\\xaf\\xed\\xa0\\x80\\xf4\\x90\\x80\\x80\xF0\x9F\x98\x80"},
        {"line\xE2\x80\xA8para\xE2\x80\xA9", "line\\xe2\\x80\\xa8para\\xe2\\x80\\xa9", "line\\xe2\\x80\\xa8para\\xe2\\x80\\xa9"},
        {"unit\xE2\x80", "unit\\xe2\\x80", "unit\\xe2\\x80"},  // cut short at the end
        // Overlong forms of two, three and four bytes at their edges; the first valid forms beside them.
        {"\xC0\x80 \xC1\xBF \xE0\x9F\xBF \xF0\x8F\xBF\xBF", overlong, overlong},
        {valid, valid, valid},
        // Lead bytes that begin no sequence.
        {"\x80\xBF \xBF\x80 \xF5\x80\x80\x80 \xF7\xBF\xBF\xBF \xF8\x88\x80\x80\x80 \xFF", leads, leads},
        // A bad byte at each later place of a sequence, and at either end of the continuation range.
        {"\xC3" "A \xE2" "A\x82 \xE2\x82" "A \xF0" "A\x98\x80 \xF0\x9F" "A\x80 \xF0\x9F\x98" "A", later, later},
        {"\xE2\x82\x7F \xE2\x82\xC0", "\\xe2\\x82\\x7f \\xe2\\x82\\xc0", "\\xe2\\x82\\x7f \\xe2\\x82\\xc0"},
        // An overlong form of two bytes is two characters to a cut as well.
        {cut.substr(1) + "\xC1\xBF", cut.substr(1) + "\\xc1\\xbf", cut.substr(1) + "\\xc1[...]"},
        {"\x85", "\\x85", "\\x85"},
        {strays, shownStrays + shownStrays, shownStrays + "[...]"},
        {cut, cut, cut},
        {cut + "y", cut + "y", cut + "[...]"},
        {accents, accents, cut.substr(1) + "[...]"},
        {std::string(10 << 20, 'x'), std::string(10 << 20, 'x'), cut + "[...]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Kernel::EscapeForMessage(c.text), c.escaped);
        EXPECT_EQ(Kernel::EscapeForMessage(c.escaped), c.escaped);  // the child's shown text, shown again
        EXPECT_EQ(Kernel::Excerpt(c.text), c.excerpt);
    }
    // The limit counts the text, not its escapes.
    std::string breaks;
    for (size_t i = 0; i < Kernel::kExcerptBytes; ++i) breaks += "\\n";
    EXPECT_EQ(Kernel::Excerpt(std::string(200, '\n')), breaks + "[...]");
}

}  // namespace
