// Context-menu items chosen in the running application reach the engine with their arguments.
#include <algorithm>

#include "headless_app_support.h"

namespace {

bool Printed(const AppRun& run, const std::string& line) {
    return std::find(run.out.begin(), run.out.end(), line) != run.out.end();
}

TEST_F(HeadlessAppTest, SelectMenuItemsPrintWhatTheyAskOfTheEngine) {
    // Straight after a new document: the global swatch items need no selection.
    AppRun plain = RunApp("newdocument\ncontext 0\npick Global from Fill and Line\n");
    EXPECT_EQ(plain.status, 0);
    EXPECT_TRUE(Printed(plain, "SwatchesPage::addSelectionToGlobalWithFill:andLine:(YES, YES)"));

    AppRun run = RunApp(
        "newdocument\nset SelectedNodes Frame\nset Preflight true\n"
        "context 0\npick Scale to Maximum Fit\n"
        "context 0\npick Anchor to Centre\n"
        "context 0\npick Convert to Curves\n"
        "context 0\npick Clear Preflight Comment\n"
        "context 0\npick Set Preflight Comment...\n"
        "context 0\npick From Line\n"
        "context 0\npick Move to New Layer\n"
        "set Tool NodeTool\ncontext 11\npick Delete Node\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Starting(run, "PersonaController::EnqueueCommand("),
              (std::vector<std::string>{
                  "PersonaController::EnqueueCommand(<PictureFramePropertiesCommand(control=512, anchor=5, "
                  "selection=nil)>, <document \"Untitled\">, false)",
                  "PersonaController::EnqueueCommand(<PictureFramePropertiesCommand(control=2048, anchor=5, "
                  "selection=nil)>, <document \"Untitled\">, false)",
                  "PersonaController::EnqueueCommand(<ConvertToCurvesCommand(selection=nil)>, <document \"Untitled\">, "
                  "false)",
                  "PersonaController::EnqueueCommand(<SetPreflightCommentCommand(\"\" length=0, false, selection=nil)>, "
                  "<document \"Untitled\">, false)"}));
    EXPECT_TRUE(Printed(run, "DocumentWindow::showSetPreflightCommentPanel(<DocumentWindow \"Untitled\">)"));
    EXPECT_TRUE(Printed(run, "SwatchesPage::addFromSelection:fromFill:fromLine:(<selection items=1>, NO, YES)"));
    EXPECT_TRUE(Printed(run, "Kestrane::StructureBaseTarget::EnqueueAddNewVectorLayerWithCurrentSelectionWithTool("
                             "<SelectTool 0>)"));
    EXPECT_TRUE(Printed(run, "Tool::DeleteSelectedNodes(<NodeTool 0>, false)")) << run.err;
    EXPECT_EQ(run.err.find("disabled"), std::string::npos) << run.err;
}

}  // namespace
