// The interactive application run as a process: events on standard input, what it did on
// standard output.
#include <algorithm>

#include <algorithm>

#include "headless_app_support.h"

namespace {

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
                  "  item \"Effects...\" action=doEditFilterEffects:" + c,
                  "  item \"Transparency...\" action=doEditTransparency:" + c,
                  "  item \"Convert to Text Frame\" action=doConvertToTextFrame:" + c + " disabled",
                  "  item \"Move to New Layer\" action=moveSelectionToNewVectorLayer:" + c + " disabled",
                  "  item \"Set Selection Box\" action=doSetSelectionBox:" + c,
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
    // The frame-properties item is answered and does nothing.
    EXPECT_EQ(run.err.find("doFrameProperties:"), std::string::npos);
    EXPECT_EQ(Starting(run, "AppPanelManager::"),
              (std::vector<std::string>{"AppPanelManager::showTabstopEditor", "AppPanelManager::showTableExtender:(NO)",
                                        "AppPanelManager::showTableExtender:(YES)"}));
    const std::string contextForm = "quirevale: context takes a kind and, optionally, a screen point, as in: context 0 120 80";
    size_t refused = 0;  // context x, context 0 40, context 0 1 y
    for (size_t at = run.err.find(contextForm); at != std::string::npos; at = run.err.find(contextForm, at + 1)) ++refused;
    EXPECT_EQ(refused, 3u) << run.err;
    EXPECT_NE(run.err.find("quirevale: set Query takes the form: set Query <query> true|false|default"), std::string::npos);
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
                         "  separator",
                         "  item \"Anchor Properties...\" action=openAnchorProperties: target=<ContextMenuController>",
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
    EXPECT_NE(run.err.find("quirevale: set Tool takes the form: set Tool <class>|none"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(HeadlessAppTest, KeyAndToolEventsReachTheCurrentPersona) {
    AppRun run = RunApp(
        "key q\n"
        "tool 5\n"
        "key\n"
        "key x hyper\n"
        "key U+D800\n"
        "newdocument Poster\n"
        "tool 9\n"
        "key U+F712 shift command option control\n"
        "menu tavikPersona:\n"
        "key q shift\n");
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> keys = {
        "LayoutToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\"q\", 0x0) -> NO",
        "LayoutToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\"\xEF\x9C\x92\", 0x1e0000) -> NO",
        "RasterToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\"q\", 0x20000) -> NO",
    };
    EXPECT_EQ(Starting(run, "LayoutToolsKeyboardAcceleratorPopulator::").size() +
                  Starting(run, "RasterToolsKeyboardAcceleratorPopulator::").size(),
              3u);
    for (const auto& k : keys) EXPECT_NE(std::find(run.out.begin(), run.out.end(), k), run.out.end()) << k;
    EXPECT_EQ(Starting(run, "DocumentView::setSuitableToolByID:"), std::vector<std::string>{"DocumentView::setSuitableToolByID:(9)"});
    EXPECT_EQ(Starting(run, "NSNotificationCenter::postNotificationOnMainThread:"),
              std::vector<std::string>{
                  "NSNotificationCenter::postNotificationOnMainThread:(\"com.tolvaware.toolui.toolclicked\", 9)"});
    EXPECT_NE(run.err.find("quirevale: tool: no document view is open"), std::string::npos);
    EXPECT_NE(run.err.find("quirevale: key takes a character"), std::string::npos);
    EXPECT_NE(run.err.find("quirevale: unknown modifier \"hyper\""), std::string::npos);
    EXPECT_NE(run.err.find("quirevale: not a character code: U+D800"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(HeadlessAppTest, KeyMFourTimesInLayoutCyclesItsThreeTools) {
    AppRun run = RunApp("newdocument Poster\nkey m\nkey m\nkey m\nkey m\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "DocumentView::setSuitableToolByID:"),
              (std::vector<std::string>{"DocumentView::setSuitableToolByID:(7)", "DocumentView::setSuitableToolByID:(8)",
                                        "DocumentView::setSuitableToolByID:(9)", "DocumentView::setSuitableToolByID:(7)"}));
    EXPECT_EQ(Starting(run, "LayoutToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\"m\", 0x0) -> YES").size(),
              4u);
}

TEST_F(HeadlessAppTest, KeyCInThePixelPersonaGives145WhereArtboardsCannotBeAdded) {
    AppRun run = RunApp("menu tavikPersona:\nnewdocument Photo\nkey c\nkey c\nset CanAddArtboards false\nkey c\n");
    EXPECT_EQ(run.status, 0);
    // The first press selects the artboard tool; the second, on it, goes back; then 145.
    EXPECT_EQ(Starting(run, "DocumentView::setSuitableToolByID:"),
              (std::vector<std::string>{"DocumentView::setSuitableToolByID:(2)",
                                        "DocumentView::setSuitableToolByID:(145)"}));
    EXPECT_EQ(Starting(run, "DocumentView::revertToRememberTool").size(), 1u);
}

TEST_F(HeadlessAppTest, DevelopKeysSetTheModeAndCycleTheSplitView) {
    AppRun run = RunApp("newdocument Photo\nset CanEnterDevelop 1\nmenu developPersona:\nkey r\nkey ,\nkey ,\nkey ,\n");
    EXPECT_EQ(run.status, 0);
    std::vector<std::string> keys;
    for (const auto& line : run.out)
        if (line.rfind("DevelopTool::", 0) == 0 || line.rfind("NSNotificationCenter::", 0) == 0 ||
            line.rfind("DocumentView::set", 0) == 0 || line.rfind("DevelopToolsKeyboard", 0) == 0)
            keys.push_back(line);
    EXPECT_EQ(keys, (std::vector<std::string>{
                        "DevelopTool::SetMode(2)",
                        "NSNotificationCenter::postNotificationOnMainThread:(\"ToolChanged\", 102)",
                        "DevelopToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\"r\", 0x0) -> YES",
                        "DocumentView::setSplitViewMode:customDesc1:(\"\", \"\")",
                        "DevelopToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\",\", 0x0) -> YES",
                        "DocumentView::setMirrorViewMode:customDesc1:(\"\", \"\")",
                        "DevelopToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\",\", 0x0) -> YES",
                        "DocumentView::setSingleViewMode()",
                        "DevelopToolsKeyboardAcceleratorPopulator::acceptKey:withModifierMask:(\",\", 0x0) -> YES",
                    }));
}

TEST_F(HeadlessAppTest, AToolClickIsRememberedForItsKey) {
    AppRun run = RunApp("newdocument Poster\ntool 9\nkey h\nkey m\n");
    EXPECT_EQ(Starting(run, "DocumentView::setSuitableToolByID:"),
              (std::vector<std::string>{"DocumentView::setSuitableToolByID:(9)", "DocumentView::setSuitableToolByID:(0)",
                                        "DocumentView::setSuitableToolByID:(9)"}));
}

}  // namespace
