// The interactive application against odd input: lines without a word, huge words, and FIFOs
// where it reads its resources and preferences. Each runs the built executable, in a bundle of
// its own where files of the bundle are changed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../regression/runner_test_support.h"

namespace {

namespace fs = std::filesystem;
using runner_test::ProcessResult;
using runner_test::TempDir;

// Long enough for any healthy start; a program stuck on a FIFO is ended by then and fails.
constexpr unsigned kHangLimitSeconds = 120;

const std::string kToTavik = "Kestrane::Application::SetCurrentPersona(<persona 'rast'>, true)";
const std::string kBackToLayout = "AppController::setupWorkspaceByUID:('layo')";

class AppInputHardening : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_root.Path().empty());
        fs::create_directories(m_home);
    }

    ProcessResult RunApp(const std::string& events, const fs::path& exe = QV_EXECUTABLE) {
        return runner_test::RunProcess({exe.string()}, m_root.Path(), {{"HOME", m_home.string()}}, events,
                                       kHangLimitSeconds);
    }

    // The first line of standard error that starts with prefix.
    static std::string ErrorLine(const ProcessResult& run, const std::string& prefix) {
        for (const std::string& line : runner_test::SplitLines(run.err))
            if (line.rfind(prefix, 0) == 0) return line;
        return {};
    }

    TempDir m_root;
    fs::path m_home = m_root.Path() / "home";
};

TEST_F(AppInputHardening, LinesWithoutAWordAreSkippedLikeBlankOnes) {
    for (const std::string blank : {"\f", "\v", "\r\r", " \f\t\v ", "\r", "\f# a comment after a form feed"}) {
        SCOPED_TRACE(testing::PrintToString(blank));
        const ProcessResult run = RunApp("menu tavikPersona:\n" + blank + "\nmenu layoutPersona:\n");
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 0) << run.err;
        const size_t tavik = run.out.find(kToTavik);
        ASSERT_NE(tavik, std::string::npos) << run.out;
        EXPECT_NE(run.out.find(kBackToLayout, tavik), std::string::npos) << "events after the line were lost";
        EXPECT_EQ(ErrorLine(run, "quirevale: unknown event"), "");
    }
}

TEST_F(AppInputHardening, RefusedLinesQuoteAShortPrefixOrSayWhatTheyLack) {
    const std::string huge(10 << 20, 'w');
    const std::string prefix(128, 'w');
    struct Case {
        std::string events;
        std::string message;  // the whole line expected on standard error (the first with its start)
    };
    const Case cases[] = {
        {huge + "\n", "quirevale: unknown event: " + prefix + "[...]"},
        {"bogus " + huge + "\n", "quirevale: unknown event: bogus " + prefix.substr(6) + "[...]"},
        {"menu " + huge + "\n", "quirevale: the main menu has no item with the action " + prefix + "[...]"},
        {"answer " + huge + "\n", "quirevale: no alert or sheet is open"},
        {"frobnicate \x1b[31mred\n", "quirevale: unknown event: frobnicate \\x1b[31mred"},
        // A known line that is refused says what it lacks or the form it takes.
        {"set StoryRanges 3\n", "quirevale: set StoryRanges: no document is open"},
        {"set SelectedNodes Star\n", "quirevale: set SelectedNodes: no document is open"},
        {"set SaveHistory true\n", "quirevale: set SaveHistory: no document is open"},
        {"newdocument\nset StoryRanges 1000\n", "quirevale: set StoryRanges takes the form: set StoryRanges <n> (0 to 999)"},
        {"newdocument\nset SaveHistory maybe\n", "quirevale: set SaveHistory takes the form: set SaveHistory true|false"},
        {"newdocument\nset Tool none\nset WantsTextContextMenu true\n",
         "quirevale: set WantsTextContextMenu: the document has no current tool"},
        {"set Misspelled\n", "quirevale: set Misspelled takes the form: set Misspelled <word> [guess ...]"},
        {"set CanEnterLiquify 2147483648\n", "quirevale: set CanEnterLiquify takes the form: set CanEnterLiquify <code>"},
        {"tool 4294967298\n", "quirevale: tool takes one tool id, as in: tool 2"},
        {"context 0 x 1\n", "quirevale: context takes a kind and, optionally, a screen point, as in: context 0 120 80"},
        {"set Bogus 1\n", "quirevale: unknown event: set Bogus 1"},
        {"set\n", "quirevale: unknown event: set"},
        // The words a context menu, a key and a sheet quote back are cut as any other.
        {"newdocument\ncontext 0\npick " + huge + "\n", "quirevale: the menu has no item \"" + prefix + "[...]\""},
        {"key m " + huge + "\n",
         "quirevale: unknown modifier \"" + prefix + "[...]\" (shift, command, option or control)"},
        {"key U+" + huge + "\n", "quirevale: not a character code: U+" + prefix.substr(2) + "[...]"},
        {"newdocument\nmenu tavikPersona:\nmenu addDocumentSnapshot:\nanswer " + huge + "\n",
         "quirevale: the sheet has no button \"" + prefix + "[...]\" (it has \"OK\", \"Cancel\")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const ProcessResult run = RunApp(c.events);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 0);
        const std::string line = ErrorLine(run, c.message.substr(0, 20));
        EXPECT_TRUE(line == c.message) << line.substr(0, 300) << "... (" << line.size() << " bytes)";
        EXPECT_LT(run.err.size(), 4096u);
    }
}

// Every part of the line reader takes the same characters for blanks: space, tab, carriage
// return, form feed and vertical tab.
TEST_F(AppInputHardening, EveryBlankSeparatesAnEventWordTheSameWay) {
    const std::string snapshot = "newdocument\nmenu tavikPersona:\nmenu addDocumentSnapshot:\n";
    const std::string develop = "newdocument\nmenu tavikPersona:\nset CanEnterDevelop 0\nmenu developPersona:\n";
    struct Case {
        std::string events;
        std::string out;    // a line standard output must hold
        std::string error;  // the line standard error must hold, or none but the start-up line
    };
    const Case cases[] = {
        {snapshot + "\ftext Before\nanswer OK\n", "AddDocumentSnapshotCommand(\"Before\")", ""},
        {snapshot + "\v\ttext\fBefore\n\ranswer\vOK\n", "AddDocumentSnapshotCommand(\"Before\")", ""},
        {snapshot + "text\vTwo\fwords\nanswer OK\n", "AddDocumentSnapshotCommand(\"Two\\x0cwords\")", ""},
        {"newdocument\ncontext 2 120 80\n\fpick\fSort Ascending\n", "TableCommands::sortByRowAscending:(tag=-1)", ""},
        {"newdocument\ncontext 2 120 80\npick\vSort Ascending\v\n", "TableCommands::sortByRowAscending:(tag=-1)", ""},
        {develop + "\vanswer\fBogus\n", "CocoaUIRunAlertPanel(\"Develop Persona\"",
         "quirevale: \"Develop Persona\" has no button \"Bogus\"; pressing \"Dismiss\""},
        {"\fmenu\vtavikPersona:\f\n", kToTavik, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.events));
        const ProcessResult run = RunApp(c.events);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find(c.out), std::string::npos) << run.out;
        std::vector<std::string> errors = runner_test::SplitLines(run.err);
        ASSERT_FALSE(errors.empty());
        errors.erase(errors.begin());  // no graphical interface
        EXPECT_EQ(errors, c.error.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.error});
    }
}

// A context-menu request at a point beyond what a screen coordinate holds shows the menu at the
// nearest whole numbers; fractions are cut towards zero.
TEST_F(AppInputHardening, AContextMenuPointOutOfRangeIsClamped) {
    struct Case {
        std::string point;
        std::string shown;
    };
    const Case cases[] = {
        {"1e20 5", "{9223372036854775807, 5}"},
        {"-1e300 -0.5", "{-9223372036854775808, 0}"},
        {"9223372036854775808 -9223372036854775809", "{9223372036854775807, -9223372036854775808}"},
        {"12.9 -3.9", "{12, -3}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        const ProcessResult run = RunApp("newdocument\ncontext 0 " + c.point + "\n");
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, " + c.shown + ", <DocumentView>)"),
                  std::string::npos)
            << run.out;
    }
}

// A nib edited to connect an object of the wrong class to an outlet does not load, and says
// where; the application goes on without it.
TEST_F(AppInputHardening, ANibOutletOfTheWrongClassIsALoadError) {
    struct Case {
        std::string nib;
        std::string added;
        std::string events;
        std::string error;  // without "quirevale: <nib>:<line>: "
    };
    const Case cases[] = {
        {"MainMenuLayout.nib", "object bogus NSObject outlet=mainMenu", "menu newDocument:\n",
         "object bogus (class NSObject) can't be the outlet mainMenu, which takes NSMenu"},
        {"MainMenuLayout.nib", "object bogus CommonSharedCommandController outlet=mainMenu", "menu newDocument:\n",
         "object bogus (class CommonSharedCommandController) can't be the outlet mainMenu, which takes NSMenu"},
        {"ContextMenu.nib", "object bogus NSObject outlet=generalMenu", "newdocument\ncontext 0\n",
         "object bogus (class NSObject) can't be the outlet generalMenu, which takes NSMenu"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.added);
        TempDir bundleRoot;
        const fs::path exe = runner_test::CopyBundle(bundleRoot.Path());
        const fs::path nib = bundleRoot.Path() / "Quirevale.app/Contents/Resources" / c.nib;
        std::string text = runner_test::ReadFile(nib);
        ASSERT_FALSE(text.empty());
        if (text.back() != '\n') text += '\n';
        const size_t line = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
        runner_test::WriteFile(nib, text + c.added + "\n");
        const ProcessResult run = RunApp(c.events, exe);
        EXPECT_EQ(run.signal, 0) << run.err;
        EXPECT_EQ(run.status, 0) << run.err;
        const std::string where = "quirevale: " + c.nib + ":" + std::to_string(line) + ": ";
        EXPECT_EQ(ErrorLine(run, where), where + c.error) << run.err;
    }
}

TEST_F(AppInputHardening, AFifoAmongTheResourcesOrPreferencesIsRefused) {
    struct Case {
        std::string file;  // below the test's root
        int status;
    };
    const Case cases[] = {
        {"Quirevale.app/Contents/Resources/Info.strings", 1},  // no application class to start
        {"Quirevale.app/Contents/Resources/MainMenuLayout.nib", 0},
        {"Quirevale.app/Contents/Resources/ContextMenu.nib", 0},
        {"Quirevale.app/Contents/Resources/en.lproj/Localizable.strings", 0},
        {"home/.quirevale/defaults", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TempDir bundleRoot;
        const fs::path exe = runner_test::CopyBundle(bundleRoot.Path());
        const fs::path fifo = (c.file.rfind("home/", 0) == 0 ? m_root.Path() : bundleRoot.Path()) / c.file;
        fs::create_directories(fifo.parent_path());
        fs::remove(fifo);
        ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
        const ProcessResult run = RunApp("menu tavikPersona:\n", exe);
        runner_test::ReleaseFifo(fifo);
        EXPECT_EQ(run.signal, 0) << "the application hung on the FIFO";
        EXPECT_EQ(run.status, c.status) << run.err;
        EXPECT_NE(run.err.find(fifo.string() + "\" can't be read: it is a FIFO, not a regular file"),
                  std::string::npos)
            << run.err;
        fs::remove(fifo);
    }
}

}  // namespace
