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

TEST(MessageText, OutsideTextIsEscapedAndCut) {
    const std::string cut(Kernel::kExcerptBytes, 'x');
    // "é" is two bytes: a cut never splits it.
    const std::string accents = std::string(Kernel::kExcerptBytes - 1, 'x') + "\xC3\xA9" + "tail";
    struct Case {
        std::string text, escaped, excerpt;
    };
    const Case cases[] = {
        {"", "", ""},
        {"plain words", "plain words", "plain words"},
        {"a\nb\rc\td\\e", "a\\nb\\rc\\td\\\\e", "a\\nb\\rc\\td\\\\e"},
        {"\x1b[31m\x7f", "\\x1b[31m\\x7f", "\\x1b[31m\\x7f"},
        {"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},
        {cut, cut, cut},
        {cut + "y", cut + "y", cut + "[...]"},
        {accents, accents, cut.substr(1) + "[...]"},
        {std::string(10 << 20, 'x'), std::string(10 << 20, 'x'), cut + "[...]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Kernel::EscapeForMessage(c.text), c.escaped);
        EXPECT_EQ(Kernel::Excerpt(c.text), c.excerpt);
    }
    // The limit counts the text, not its escapes.
    std::string breaks;
    for (size_t i = 0; i < Kernel::kExcerptBytes; ++i) breaks += "\\n";
    EXPECT_EQ(Kernel::Excerpt(std::string(200, '\n')), breaks + "[...]");
}

}  // namespace
