// The interactive application run as a process: events on standard input, what it did on
// standard output.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct AppRun {
    int status = -1;
    std::vector<std::string> out;
    std::string err;
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class HeadlessAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-e2e-app-XXXXXX";
        m_dir = mkdtemp(pattern);
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + m_dir + "'";
        [[maybe_unused]] int rc = std::system(cmd.c_str());
    }

    AppRun RunApp(const std::string& script, const std::string& lang = "en_US.UTF-8") {
        std::ofstream(m_dir + "/events") << script;
        std::string cmd = "cd '" + m_dir + "' && env -u LC_ALL -u LC_MESSAGES HOME='" + m_dir + "' LANG=" + lang + " '" +
                          QV_EXECUTABLE + "' < events > out 2> err";
        AppRun run;
        int raw = std::system(cmd.c_str());
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        std::istringstream lines(ReadAll(m_dir + "/out"));
        for (std::string line; std::getline(lines, line);) run.out.push_back(line);
        run.err = ReadAll(m_dir + "/err");
        return run;
    }

    static std::vector<std::string> Starting(const AppRun& run, const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& l : run.out)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }

    std::string m_dir;
};

std::string Alert(const std::string& title, const std::string& message, const std::string& buttons = "\"Dismiss\", nil") {
    return "CocoaUIRunAlertPanel(\"" + title + "\", \"%@\", " + buttons + ", nil, \"" + message + "\")";
}

TEST_F(HeadlessAppTest, ScriptedSessionSwitchesPersonasAndShowsTheEntryAlerts) {
    AppRun run = RunApp(
        "# a scripted session\n"
        "menu tavikPersona:\n"
        "set CanEnterLiquify 2\n"
        "menu liquifyPersona:\n"
        "set CanEnterToneMap 3\n"
        "menu HDRPersona:\n"
        "newdocument Photo\n"
        "set CanEnterDevelop 4\n"
        "menu developPersona:\n"
        "set CanEnterDevelop 1\n"
        "menu developPersona:\n"
        "menu layoutPersona:\n"
        "answer Cancel\n"
        "menu layoutPersona:\n"
        "answer Develop\n"
        "menu noSuchAction:\n");
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> alerts = Starting(run, "CocoaUIRunAlertPanel(");
    const std::string develop = Alert("Develop Persona",
                                      "Please either commit or cancel the develop operation before switching to another Persona.",
                                      "\"Develop\", \"Cancel\"");
    EXPECT_EQ(alerts, (std::vector<std::string>{
                          Alert("Liquify Persona", "Please rasterise the current layer before entering Liquify."),
                          Alert("Tone Mapping Persona",
                                "Please select a single layer and rasterise it before entering Tone Mapping."),
                          Alert("Develop Persona", "Please rasterise the selected layers before entering Develop."),
                          develop,
                          develop,
                      }));
    EXPECT_EQ(Starting(run, "Kestrane::Application::SetCurrentPersona"),
              std::vector<std::string>{"Kestrane::Application::SetCurrentPersona(<persona 'rast'>, true)"});
    EXPECT_EQ(Starting(run, "AppController::setupWorkspaceByUID:"),
              std::vector<std::string>{"AppController::setupWorkspaceByUID:('deve')"});
    // Cancel kept the Develop persona; Develop committed and went back to the default persona.
    EXPECT_EQ(Starting(run, "DevelopTool::Commit").size(), 1u);
    EXPECT_EQ(Starting(run, "AppController::setupDefaultWorkspace()").size(), 1u);
    EXPECT_EQ(run.out.back(), "AppController::shutDown()");
    // One notice that there is no graphical interface, and one for the unknown action.
    size_t notices = 0;
    for (size_t at = run.err.find("no graphical interface"); at != std::string::npos;
         at = run.err.find("no graphical interface", at + 1))
        ++notices;
    EXPECT_EQ(notices, 1u);
    EXPECT_NE(run.err.find("noSuchAction:"), std::string::npos);
}

TEST_F(HeadlessAppTest, StartupWritesTheDocumentSizeOfTheCountry) {
    const struct {
        const char* lang;
        const char* expected;
    } cases[] = {{"en_US.UTF-8", "48"}, {"en_GB.UTF-8", "41"}, {"C", "41"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        AppRun run = RunApp("", c.lang);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(Starting(run, "NSUserDefaults::setInteger:forKey:"),
                  std::vector<std::string>{std::string("NSUserDefaults::setInteger:forKey:(") + c.expected +
                                           ", \"DocumentDefaultSize\")"});
        EXPECT_EQ(Starting(run, "WorkspaceInfo::initWithID:name:menu:tool:").size(), 4u);
        EXPECT_EQ(run.out.front(), "Application::initForProduct:(9)");
    }
}

TEST_F(HeadlessAppTest, AToneMappingSwitchWhileRecordingShowsOnlyTheMacroAlert) {
    AppRun run = RunApp("newdocument Clip\nset IsRecordingMacro true\nset CanEnterToneMap 1\nmenu HDRPersona:\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "CocoaUIRunAlertPanel("),
              std::vector<std::string>{
                  Alert("Tone Mapping Persona", "Please end your macro recording session before using Tone Mapping.")});
    EXPECT_TRUE(Starting(run, "AppController::setupWorkspaceByUID:").empty());
}

// The lines printed for each pop-up: from the pop-up itself to the stop of the pan timer.
std::vector<std::vector<std::string>> PopUps(const std::vector<std::string>& out) {
    std::vector<std::vector<std::string>> shown;
    bool inMenu = false;
    for (const auto& line : out) {
        if (line.rfind("NSMenu::popUpMenuPositioningItem:", 0) == 0) {
            inMenu = true;
            shown.emplace_back();
        }
        if (inMenu) shown.back().push_back(line);
        if (line == "DocumentView::stopPanTimer()") inMenu = false;
    }
    return shown;
}

TEST_F(HeadlessAppTest, ANewDocumentOffersTheSelectToolsMenu) {
    AppRun run = RunApp("newdocument\ncontext 0\n");
    EXPECT_EQ(run.status, 0);
    // In the Layout persona the vector-only item goes with the separator above it; over an empty
    // selection the items that need one are disabled and the frame items hidden.
    const std::string c = " target=<ContextMenuController>";
    EXPECT_EQ(PopUps(run.out),
              (std::vector<std::vector<std::string>>{{
                  "NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {0, 0}, <DocumentView>)",
                  "  item \"Cut\" action=cut:",
                  "  item \"Copy\" action=copy:",
                  "  item \"Paste\" action=paste:",
                  "  item \"Duplicate\" action=duplicate:",
                  "  item \"Delete\" action=delete:",
                  "  separator",
                  "  item \"Group\" action=group: tag=40",
                  "  item \"Ungroup\" action=ungroup: tag=41",
                  "  separator",
                  "  item \"Convert to Picture Frame\" action=doConvertToPictureFrame: tag=42" + c + " disabled",
                  "  separator",
                  "  item \"Convert to Curves\" action=doConvertToCurves: tag=101" + c + " disabled",
                  "  separator",
                  "  submenu \"Arrange\"",
                  "    item \"Move to Front\" action=bringToFront:",
                  "    item \"Move to Back\" action=sendToBack:",
                  "  end",
                  "  separator",
                  "  item \"Create Object Style...\" action=doCreateObjectStyle:" + c + " disabled",
                  "  item \"Convert to Text Frame\" action=doConvertToTextFrame:" + c + " disabled",
                  "  item \"Move to New Layer\" action=moveSelectionToNewVectorLayer:" + c + " disabled",
                  "  submenu \"Add to Swatches\"",
                  "    item \"From Fill\" action=addToSwatchesFromBrushInterface:" + c + " disabled",
                  "    item \"From Line\" action=addToSwatchesFromLineStyleInterface:" + c + " disabled",
                  "    item \"From Fill and Line\" action=addToSwatchesFromBrushAndLine:" + c + " disabled",
                  "    separator",
                  "    item \"Global from Fill\" action=addToSwatchesFromBrushInterfaceAsGlobal:" + c,
                  "    item \"Global from Line\" action=addToSwatchesFromLineStyleInterfaceAsGlobal:" + c,
                  "    item \"Global from Fill and Line\" action=addToSwatchesFromBrushAndLineAsGlobal:" + c,
                  "  end",
                  "  submenu \"Frame\"",
                  "    item \"Frame Properties...\" action=doFrameProperties:" + c + " hidden disabled",
                  "    separator",
                  "    item \"Scale to Maximum Fit\" action=doScaleToMaxFit:" + c + " hidden disabled",
                  "    item \"Scale to Minimum Fit\" action=doScaleToMinFit:" + c + " hidden disabled",
                  "    item \"Stretch to Fit\" action=doStretchToFit:" + c + " hidden disabled",
                  "    item \"No Fit\" action=doNoneFit:" + c + " hidden disabled",
                  "    item \"Anchor to Centre\" action=doAnchorToCentre:" + c + " hidden disabled",
                  "    separator",
                  "    item \"Size Frame to Content\" action=doSizeFrameToContent:" + c + " hidden disabled",
                  "  end",
                  "  submenu \"Preflight\" action=pointlessPreflightSubMenuSelector:" + c + " hidden disabled",
                  "    item \"Set Preflight Comment...\" action=setPreflightComment:" + c + " disabled",
                  "    item \"Clear Preflight Comment\" action=clearPreflightComment:" + c + " disabled",
                  "  end",
                  "DocumentView::stopPanTimer()",
              }}));
    EXPECT_EQ(Starting(run, "Tool::"), (std::vector<std::string>{"Tool::ForceCursorInvalidate(<SelectTool 0>)",
                                                                  "Tool::OnContextMenuClosed(<SelectTool 0>)",
                                                                  "Tool::OnContextMenuFinished(<SelectTool 0>)"}));
}

TEST_F(HeadlessAppTest, ContextRequestsOfEveryKindAtTheMouse) {
    AppRun run = RunApp(
        "context 2\n"
        "newdocument\n"
        "context 2 40 30\n"
        "pick Sort Descending\n"
        "context 11\n"
        "pick Close Curve\n"
        "set Query PictureFramePropertiesCommand::CanApplyTo YES\n"
        "set Preflight YES\n"
        "context 12\n"
        "pick Frame Properties...\n"
        "context 1\ncontext 4\ncontext 5\ncontext 9\ncontext -7\n"
        "context x\ncontext 0 40\ncontext 0 1 y\nset Query NoSuchQuery YES\n");
    EXPECT_EQ(run.status, 0);
    auto shown = PopUps(run.out);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0][0], "NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {40, 30}, <DocumentView>)");
    EXPECT_EQ(shown[0][1], "  item \"Insert Row\" action=insertRow: tag=-1 target=<TableCommands>");
    EXPECT_EQ(shown[0][10], "TableCommands::sortByRowDescending:(tag=-1)");
    EXPECT_EQ(shown[1][0], "NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {40, 30}, <DocumentView>)");
    EXPECT_EQ(shown[1][12], "  item \"Delete Node and Fit Curve\" action=deleteFitToCurveNodeOnCurve: tag=9 "
                            "target=<ContextMenuController>");
    EXPECT_EQ(shown[1][13], "VectorCommands::curveNodeCloseCurve:(tag=6)");
    // The frame items show once properties apply; the preflight submenu once preflight is on.
    auto has = [&](const std::string& line) {
        return std::find(shown[2].begin(), shown[2].end(), line) != shown[2].end();
    };
    EXPECT_TRUE(has("    item \"Frame Properties...\" action=doFrameProperties: target=<ContextMenuController>"));
    EXPECT_TRUE(has("  submenu \"Preflight\" action=pointlessPreflightSubMenuSelector: target=<ContextMenuController>"));
    EXPECT_NE(run.err.find("no target answers doFrameProperties:"), std::string::npos);
    EXPECT_EQ(Starting(run, "AppPanelManager::"),
              (std::vector<std::string>{"AppPanelManager::showTabstopEditor", "AppPanelManager::showTableExtender:(NO)",
                                        "AppPanelManager::showTableExtender:(YES)"}));
    for (const char* bad : {"context x", "context 0 40", "context 0 1 y", "set Query NoSuchQuery YES"})
        EXPECT_NE(run.err.find(std::string("unknown event: ") + bad), std::string::npos) << bad;
}

TEST_F(HeadlessAppTest, ContextMenusAreSetUpPrintedAndChosenFrom) {
    AppRun run = RunApp(
        "context\n"
        "newdocument Letter\n"
        "set Tool TextTool\n"
        "set TextLanguage en-GB\n"
        "set SelectedText wrod\n"
        "set Misspelled wrod word\n"
        "set AdvancedText false\n"
        "context 0\n"
        "pick Learn Spelling\n"
        "set Tool SelectTool\n"
        "set CommandKey true\n"
        "set SelectedNodes Group(Curve,Inner(Leaf)) Star\n"
        "context 12\n"
        "pick Leaf\n"
        "set Tool none\n"
        "context\n"
        "pick Cut\n"
        "set Tool Pencil\n");
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> shown;
    bool inMenu = false;
    for (const auto& line : run.out) {
        if (line.rfind("NSMenu::popUpMenuPositioningItem:", 0) == 0) inMenu = true;
        if (inMenu) shown.push_back(line);
        if (line == "DocumentView::stopPanTimer()") inMenu = false;
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {0, 0}, <DocumentView>)",
                         "  item \"word\" action=doSpellingChange: target=<ContextMenuController>",
                         "  separator",
                         "  item \"Ignore Spelling\" action=ignoreSpelling: target=<SpellingCommands> represented=\"wrod\"",
                         "  item \"Learn Spelling\" action=learnSpelling: target=<SpellingCommands> represented=\"wrod\"",
                         "  separator",
                         "  item \"Look Up \"wrod\"\" action=lookupWord: target=<ContextMenuController> represented=\"wrod\"",
                         "  separator",
                         "  item \"Cut\" action=cut:",
                         "  item \"Copy\" action=copy:",
                         "  item \"Paste\" action=paste:",
                         "  separator",
                         "  item \"Show Typography\" action=showTypography:",
                         "SpellingCommands::learnSpelling:(\"wrod\")",
                         "DocumentView::stopPanTimer()",
                         "NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {0, 0}, <DocumentView>)",
                         "  submenu \"Group\" action=showNodesMenu: target=<ContextMenuController>",
                         "    item \"Curve\" action=showNodesMenu: target=<ContextMenuController>",
                         "    submenu \"Inner\" action=showNodesMenu: target=<ContextMenuController>",
                         "      item \"Leaf\" action=showNodesMenu: target=<ContextMenuController>",
                         "    end",
                         "  end",
                         "  submenu \"Star\" action=showNodesMenu: target=<ContextMenuController>",
                         "  end",
                         "PersonaController::EnqueueCommand(<SetCurrentSelectionCommand items=1 false false false "
                         "visible=1>, <document \"Letter\">, false)",
                         "DocumentView::stopPanTimer()",
                     }));
    EXPECT_TRUE(Starting(run, "NSSpellChecker::setLanguage:(\"en_GB\")").size() == 1);
    // No view, then no tool: no menu. A choice without a menu and an unknown tool class are reported.
    EXPECT_EQ(Starting(run, "NSMenu::popUpMenuPositioningItem:").size(), 2u);
    EXPECT_NE(run.err.find("no menu is open"), std::string::npos);
    EXPECT_NE(run.err.find("unknown event: set Tool Pencil"), std::string::npos);
}

}  // namespace
