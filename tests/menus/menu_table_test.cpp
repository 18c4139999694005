// The reader of the expected-call tables: a mistake in a table must fail the harness loudly,
// never silently drop rows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "menu_table.h"

namespace {

class MenuTableReader : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-menu-table-XXXXXX";
        m_dir = mkdtemp(pattern);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + m_dir + "'";
        [[maybe_unused]] int rc = std::system(cmd.c_str());
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::string path = m_dir + "/" + name;
        std::ofstream(path) << text;
        return path;
    }
    std::string m_dir;
};

TEST_F(MenuTableReader, ReadsModesCopiesAndAnswers) {
    Write("b.txt", "== second:\nview: -\nnoview: -\ndragging: -\n");
    Write("a.txt",
          "# first\n== first:\nanswer: OK\nview: A(1)\nview: Panel::show\nnoview: A(null)\ndragging = view\n");
    Write("notes.md", "== ignored:\n");
    std::vector<std::string> errors;
    auto rows = ReadMenuTables(m_dir, errors);
    EXPECT_TRUE(errors.empty());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].selector, "first:");
    EXPECT_EQ(rows[0].answers, std::vector<std::string>{"OK"});
    EXPECT_EQ(rows[0].expected["view"], (std::vector<std::string>{"A(1)", "Panel::show"}));
    EXPECT_EQ(rows[0].expected["dragging"], rows[0].expected["view"]);
    EXPECT_EQ(rows[0].expected["noview"], std::vector<std::string>{"A(null)"});
    EXPECT_EQ(rows[1].selector, "second:");
    EXPECT_TRUE(rows[1].expected["view"].empty());
}

TEST_F(MenuTableReader, ReportsEveryMistakeWithFileAndLine) {
    const struct {
        const char* text;
        std::vector<std::string> errors;
    } cases[] = {
        {"view: A()\n", {"t.txt:1: a row before the first '== selector'"}},
        {"== a\nview: -\nnoview: -\ndragging: -\n", {"t.txt:1: a selector ends with ':'"}},
        {"== a:\nview: -\nnoview: -\n", {"t.txt:1: a: has no rows for dragging"}},
        {"== a:\nview: -\nnoview: -\ndragging = flying\n",
         {"t.txt:4: unknown mode in: dragging = flying", "t.txt:1: a: has no rows for dragging"}},
        {"== a:\nview: -\nnoview: -\ndragging = noview\ndragging: X\n", {"t.txt:5: dragging given twice"}},
        {"== a:\nview: X\nview: -\nnoview: -\ndragging: -\n", {"t.txt:3: view: '-' with other rows"}},
        {"== a:\nview: -\nnoview: -\ndragging: -\nwhen: later\n", {"t.txt:5: unknown key when"}},
        {"== a:\nview: -\nnoview: -\ndragging: -\njust words\n",
         {"t.txt:5: expected '<mode>: <call>', '<mode> = <mode>' or 'answer: <button>'"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> errors;
        ReadMenuTable(Write("t.txt", c.text), errors);
        EXPECT_EQ(errors, c.errors);
    }
    std::vector<std::string> errors;
    ReadMenuTables(m_dir + "/missing", errors);
    EXPECT_FALSE(errors.empty());
}

}  // namespace
