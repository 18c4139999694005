// The pixel and Develop personas' menus driven through the running executable: sheets answered
// with text and answer lines, alerts, the main-thread completion of range masks, and the Develop
// commit through the Develop tool.
#include "headless_app_support.h"

namespace {

using MenusHeadlessTest = HeadlessAppTest;

const char* const kSheetStart =
    "RunInputSheetHelper::initWithMessage:andDescription:inWindow:withDefault:handler:(\"Add Document Snapshot\", "
    "\"Enter a name for the snapshot\", <DocumentWindow>, \"";

TEST_F(MenusHeadlessTest, SnapshotNamedInTheSheetAfterALevelsLayer) {
    AppRun run = RunApp(
        "newdocument\nmenu tavikPersona:\nmenu addLevelsAdjustmentRasterLayer:\nmenu addDocumentSnapshot:\n"
        "text Before\nanswer OK\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "Kestrane::RasterBaseTarget::EnqueueAddLevelsAdjustmentRasterNodeWithTool(<SelectTool 0>, ").size(), 1u);
    std::vector<std::string> tail = From(run, "RunInputSheetHelper::");
    ASSERT_GE(tail.size(), 3u) << run.err;
    // The default name is now's date and time, whatever it is; the typed name replaces it.
    EXPECT_EQ(tail[0].rfind(kSheetStart, 0), 0u) << tail[0];
    EXPECT_EQ(tail[1], "RunInputSheetHelper::run()");
    EXPECT_EQ(tail[2], "PersonaController::EnqueueCommand(<AddDocumentSnapshotCommand(\"Before\")>, <document "
                       "\"Untitled\">, false)");
    EXPECT_EQ(run.err.find("cancelling"), std::string::npos);
}

TEST_F(MenusHeadlessTest, SheetsTakeTextAsTypedAndAreCancelledWhenLeftUnanswered) {
    AppRun run = RunApp(
        "text too early\n"
        "newdocument Photo\nmenu tavikPersona:\n"
        "menu addDocumentSnapshot:\ntext  two  blanks \nanswer OK\n"
        "menu addDocumentSnapshot:\ntext\nanswer OK\n"
        "menu addDocumentSnapshot:\ntext Dropped\nanswer Cancel\n"
        "menu addDocumentSnapshot:\nanswer Maybe\nmenu flatten:\n"
        "menu addDocumentSnapshot:\ntext Never\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "PersonaController::EnqueueCommand("),
              (std::vector<std::string>{
                  "PersonaController::EnqueueCommand(<AddDocumentSnapshotCommand(\" two  blanks \")>, <document \"Photo\">, false)",
                  "PersonaController::EnqueueCommand(<AddDocumentSnapshotCommand(\"\")>, <document \"Photo\">, false)",
                  "PersonaController::EnqueueCommand(<FlattenCommand>, <document \"Photo\">, false)",
              }));
    EXPECT_NE(run.err.find("no sheet is open to type into"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("the sheet has no button \"Maybe\""), std::string::npos) << run.err;
    // Once before flatten: and once at the end of the input.
    size_t cancelled = 0;
    for (size_t at = run.err.find("was not answered; cancelling it"); at != std::string::npos;
         at = run.err.find("was not answered; cancelling it", at + 1))
        ++cancelled;
    EXPECT_EQ(cancelled, 2u) << run.err;
}

TEST_F(MenusHeadlessTest, SaveWithHistoryAsksBeforeSwitchingOn) {
    AppRun run = RunApp(
        "newdocument\nmenu tavikPersona:\n"
        "menu saveWithHistory:\nanswer No\n"
        "menu saveWithHistory:\nanswer Yes\n"
        "set SaveHistory true\nmenu saveWithHistory:\n"
        "set LastRepeatableCommand Sharpen\nmenu repeat:\n"
        "set LastRepeatableCommand none\nmenu repeat:\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "CocoaUIRunAlertPanel(\"Saving With History\"").size(), 2u);
    EXPECT_EQ(Starting(run, "PersonaController::EnqueueCommand("),
              (std::vector<std::string>{
                  "PersonaController::EnqueueCommand(<SetSaveHistoryCommand(true)>, <document \"Untitled\">, false)",
                  "PersonaController::EnqueueCommand(<SetSaveHistoryCommand(false)>, <document \"Untitled\">, false)",
                  "PersonaController::EnqueueCommand(<RepeatedCommand \"Sharpen\">, <document \"Untitled\">, false)",
              }));
}

TEST_F(MenusHeadlessTest, SelectionFilesAndTheLiveMaskPanel) {
    std::ofstream(m_dir + "/mask.kqselection") << "selection";
    AppRun run = RunApp(
        "newdocument\nmenu tavikPersona:\n"
        "menu saveSelection:\ntext " + m_dir + "/kept\nanswer Save\n"
        "menu loadSelection:\ntext " + m_dir + "/absent.kqselection\nanswer Open\n"
        "text " + m_dir + "/mask.kqselection\nanswer Open\n"
        "menu addHueRangeMaskRasterLayer:\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "Kestrane::RasterBaseTarget::"),
              (std::vector<std::string>{
                  "Kestrane::RasterBaseTarget::SaveSelectionAsFile(<SelectTool 0>, \"" + m_dir + "/kept.kqselection\")",
                  "Kestrane::RasterBaseTarget::LoadSelectionFromFile(<SelectTool 0>, \"" + m_dir + "/mask.kqselection\")",
                  "Kestrane::RasterBaseTarget::EnqueueAddHueRangeMaskRasterNodeWithTool(<SelectTool 0>, <completion>)",
              }));
    EXPECT_NE(run.err.find("there is no file \"" + m_dir + "/absent.kqselection\""), std::string::npos) << run.err;
    // The engine finished the mask on its own thread; the panel opened afterwards, from the main loop.
    EXPECT_EQ(run.out.back(), "AppController::shutDown()");
    std::vector<std::string> tail = From(run, "Kestrane::RasterBaseTarget::EnqueueAddHueRangeMaskRasterNodeWithTool");
    ASSERT_GE(tail.size(), 2u);
    EXPECT_EQ(tail[1], "AppPanelManager::showLiveMaskPanel");
}

TEST_F(MenusHeadlessTest, DevelopMenuOpensTheAssistantOptionsAndCommitsThroughTheDevelopTool) {
    AppRun run = RunApp(
        "menu doAssistantOptions:\n"  // not the Layout persona's menu
        "newdocument Raw\nmenu developPersona:\nmenu doAssistantOptions:\nmenu doRAWCommit\n"
        "menu developPersona:\nmenu layoutPersona:\nanswer Develop\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("the main menu has no item with the action doAssistantOptions:"), std::string::npos) << run.err;
    EXPECT_EQ(Starting(run, "AppPanelManager::showDevelopAssistantOptionsPanel").size(), 1u);
    std::vector<std::string> tail = From(run, "AppPanelManager::showDevelopAssistantOptionsPanel");
    ASSERT_GE(tail.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(tail.begin() + 1, tail.begin() + 6),
              (std::vector<std::string>{"DocumentView::setSingleViewMode()", "DevelopTool::Commit(<DevelopTool 102>)",
                                        "DocumentController::GetToolByID(0)", "DocumentView::setCurrentTool:(<SelectTool 0>)",
                                        "AppController::setupDefaultWorkspace()"}));
    // Leaving Develop from its persona menu commits through the tool as well.
    EXPECT_EQ(Starting(run, "DevelopTool::Commit(<DevelopTool 102>)").size(), 2u);
}

}  // namespace
