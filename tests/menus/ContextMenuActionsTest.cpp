// The context-menu actions that reach the engine, the studio and the panels: chosen from a
// popped-up menu, one by one with and without a view, and their arguments.
#include "context_menu_test_support.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/PersonaController.h"
#include "menus/ContextMenuController.h"

namespace {

// A menu that says when it goes.
class FarewellMenu : public NSMenu {
    QV_OBJECT(FarewellMenu)
public:
    ~FarewellMenu() override { CallLog::Record("released " + title()->utf8()); }
};

}  // namespace

QV_IMPLEMENT(FarewellMenu, NSMenu) {}

namespace {

using Lines = std::vector<std::string>;

const std::string kEnqueue = "PersonaController::EnqueueCommand(<";
const std::string kOnDoc = ">, <document \"Doc\">, false)";
const std::string kNoDoc = ">, null, false)";

// The first item, depth first, with that title.
NSMenuItem* FindTitled(NSMenu* menu, const std::string& title) {
    if (!menu) return nullptr;
    for (const auto& item : menu->itemArray()) {
        if (!item->isSeparatorItem() && item->title()->utf8() == title) return item.get();
        if (NSMenuItem* inner = FindTitled(item->submenu(), title)) return inner;
    }
    return nullptr;
}

class ContextMenuActionsTest : public ContextMenuViewTest {
public:
    void SetUp() override {
        ContextMenuViewTest::SetUp();
        UseFrameApp();
        auto selection = Kernel::MakeCounted<MutableSelection>();
        selection->AddSelectable(Kernel::Counted<Selectable>(Kernel::MakeCounted<Node>("Frame")), false);
        m_document->SetSelection(selection->CloneImmutable());
        m_view->setWindow(New<DocumentWindow>().get());
        UseSelectTool();
        m_controller = New<ContextMenuController>();
        ASSERT_TRUE(m_controller);
    }
    void Perform(const std::string& action, NSObject* sender = nullptr) {
        SEL sel = sel_registerName(action.c_str());
        ASSERT_TRUE(m_controller->respondsToSelector(sel)) << action;
        m_controller->performSelector(sel, sender);
    }

    // The entries a set of actions leaves in the log, with the studio's page look-ups left out.
    static Lines Made() {
        Lines out;
        for (auto& e : CallLog::Entries())
            if (e.rfind("StudioManager::pageWithID:", 0) != 0) out.push_back(e);
        return out;
    }

    Ref<ContextMenuController> m_controller;
};

// A request pops a menu up; the pop-up hook chooses an item by its title as a click would
// (validated first), and the action reaches the engine with its arguments.
TEST_F(ContextMenuActionsTest, ItemsChosenFromAPoppedUpMenuReachTheEngine) {
    struct Case {
        int32_t kind;
        Kernel::Counted<Tool> tool;
        std::string title;
        Lines expected;  // in order, among the other calls
    };
    const Case cases[] = {
        {0, Kernel::MakeCounted<SelectTool>(7), "Scale to Maximum Fit",
         {"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)",
          "PictureFramePropertiesCommand::GetCurrentAnchor(<selection items=1>)",
          kEnqueue + "PictureFramePropertiesCommand(control=512, anchor=5, selection=nil)" + kOnDoc}},
        {0, Kernel::MakeCounted<SelectTool>(7), "Convert to Curves",
         {kEnqueue + "ConvertToCurvesCommand(selection=nil)" + kOnDoc}},
        {0, Kernel::MakeCounted<SelectTool>(7), "From Fill and Line",
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(<selection items=1>, YES, YES)"}},
        {11, Kernel::MakeCounted<NodeTool>(9), "Delete Node",
         {"Tool::CanDeleteSelectedNodes(<NodeTool 9>, false)", "Tool::DeleteSelectedNodes(<NodeTool 9>, false)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        m_view->setCurrentToolQuietly(c.tool);
        std::string chosen;
        NSSetMenuTracker([&](NSMenu* menu) -> BOOL {
            NSMenuItem* item = FindTitled(menu, c.title);
            if (!item) return NO;
            chosen = NSApp->chooseMenuItem(item);
            return YES;
        });
        CallLog::Clear();
        m_controller->showContextMenu(ContextMenuRequest::WithKind(c.kind).get());
        EXPECT_EQ(chosen, "");
        EXPECT_TRUE(LogContainsInOrder(c.expected));
        EXPECT_EQ(PersonaController::GetInstance()->QueuedCommands().empty(), c.expected.back().rfind(kEnqueue, 0) != 0);
        PersonaController::GetInstance()->ResetForTesting();
    }
}

// Written from the fit table: the control word each fitting action sends, with the anchor the
// selection reports or the centre when it reports none; anchoring sends the centre with the
// reported control word or 2048.
TEST_F(ContextMenuActionsTest, FitControlWordsAndTheirDefaults) {
    struct Case {
        const char* action;
        std::optional<int32_t> anchor;
        std::optional<unsigned int> control;
        const char* command;
    };
    const Case cases[] = {
        {"doScaleToMaxFit:", std::nullopt, std::nullopt, "control=512, anchor=5"},
        {"doScaleToMinFit:", std::nullopt, std::nullopt, "control=256, anchor=5"},
        {"doStretchToFit:", std::nullopt, std::nullopt, "control=1024, anchor=5"},
        {"doNoneFit:", std::nullopt, std::nullopt, "control=2048, anchor=5"},
        {"doScaleToMaxFit:", 2, 1024, "control=512, anchor=2"},
        {"doScaleToMinFit:", 0, std::nullopt, "control=256, anchor=0"},
        {"doStretchToFit:", 8, std::nullopt, "control=1024, anchor=8"},
        {"doNoneFit:", 1, 512, "control=2048, anchor=1"},
        {"doAnchorToCentre:", std::nullopt, std::nullopt, "control=2048, anchor=5"},
        {"doAnchorToCentre:", 3, 1024, "control=1024, anchor=5"},
        {"doAnchorToCentre:", std::nullopt, 0, "control=0, anchor=5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.action) + " " + c.command);
        PictureFramePropertiesCommand::SetCurrentAnchorForTesting(c.anchor);
        PictureFramePropertiesCommand::SetCurrentControlForTesting(c.control);
        CallLog::Clear();
        Perform(c.action);
        EXPECT_EQ(LogStartingWith(kEnqueue),
                  Lines{kEnqueue + "PictureFramePropertiesCommand(" + c.command + ", selection=nil)" + kOnDoc});
    }
    // A selection the command does not apply to: nothing is queued, nothing more asked.
    CommandQueries::SetAnswer("PictureFramePropertiesCommand::CanApplyTo", false);
    for (const char* action : {"doScaleToMaxFit:", "doScaleToMinFit:", "doStretchToFit:", "doNoneFit:", "doAnchorToCentre:"}) {
        CallLog::Clear();
        Perform(action);
        EXPECT_EQ(Made(), Lines{"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)"}) << action;
    }
    // Sizing to content does not ask.
    CallLog::Clear();
    Perform("doSizeFrameToContent:");
    EXPECT_EQ(Made(), Lines{kEnqueue + "PictureFrameFitToContentCommand()" + kOnDoc});
    // The queue is the commands' last owner.
    for (const auto& command : PersonaController::GetInstance()->QueuedCommands())
        EXPECT_EQ(command->GetRefCount(), 1);
}

// Every action, with and without a view (and without an application controller), written from
// the action tables: what each still sends, and nothing for the rest.
TEST_F(ContextMenuActionsTest, EveryActionWithAndWithoutAView) {
    struct Case {
        const char* action;
        Lines withView;
        Lines withoutView;
    };
    const std::string window = "DocumentWindow::showSetPreflightCommentPanel(<DocumentWindow \"\">)";
    const Case cases[] = {
        {"pointlessPreflightSubMenuSelector:", {}, {}},
        {"setPreflightComment:", {window}, {}},
        {"clearPreflightComment:",
         {kEnqueue + "SetPreflightCommentCommand(\"\" length=0, false, selection=nil)" + kOnDoc},
         {kEnqueue + "SetPreflightCommentCommand(\"\" length=0, false, selection=nil)" + kNoDoc}},
        {"doFrameProperties:", {}, {}},
        {"doScaleToMaxFit:",
         {"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)",
          "PictureFramePropertiesCommand::GetCurrentAnchor(<selection items=1>)",
          kEnqueue + "PictureFramePropertiesCommand(control=512, anchor=5, selection=nil)" + kOnDoc},
         {}},
        {"doScaleToMinFit:",
         {"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)",
          "PictureFramePropertiesCommand::GetCurrentAnchor(<selection items=1>)",
          kEnqueue + "PictureFramePropertiesCommand(control=256, anchor=5, selection=nil)" + kOnDoc},
         {}},
        {"doStretchToFit:",
         {"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)",
          "PictureFramePropertiesCommand::GetCurrentAnchor(<selection items=1>)",
          kEnqueue + "PictureFramePropertiesCommand(control=1024, anchor=5, selection=nil)" + kOnDoc},
         {}},
        {"doNoneFit:",
         {"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)",
          "PictureFramePropertiesCommand::GetCurrentAnchor(<selection items=1>)",
          kEnqueue + "PictureFramePropertiesCommand(control=2048, anchor=5, selection=nil)" + kOnDoc},
         {}},
        {"doAnchorToCentre:",
         {"PictureFramePropertiesCommand::CanApplyTo(<selection items=1>)",
          "PictureFramePropertiesCommand::GetCurrentControl(<selection items=1>)",
          kEnqueue + "PictureFramePropertiesCommand(control=2048, anchor=5, selection=nil)" + kOnDoc},
         {}},
        {"doSizeFrameToContent:", {kEnqueue + "PictureFrameFitToContentCommand()" + kOnDoc}, {}},
        {"doSetSelectionBox:", {"Tool::SetSelectionBox(<SelectTool 7>)"}, {}},
        {"doConvertToCurves:",
         {kEnqueue + "ConvertToCurvesCommand(selection=nil)" + kOnDoc},
         {kEnqueue + "ConvertToCurvesCommand(selection=nil)" + kNoDoc}},
        {"doConvertToPictureFrame:",
         {kEnqueue + "ConvertToPictureFrameCommand(true)" + kOnDoc},
         {kEnqueue + "ConvertToPictureFrameCommand(true)" + kNoDoc}},
        {"doConvertToTextFrame:",
         {"Kestrane::VectorBaseTarget::EnqueueConvertToTextFrameWithTool(<SelectTool 7>)"},
         {"Kestrane::VectorBaseTarget::EnqueueConvertToTextFrameWithTool(null)"}},
        {"moveSelectionToNewVectorLayer:",
         {"Kestrane::StructureBaseTarget::EnqueueAddNewVectorLayerWithCurrentSelectionWithTool(<SelectTool 7>)"},
         {"Kestrane::StructureBaseTarget::EnqueueAddNewVectorLayerWithCurrentSelectionWithTool(null)"}},
        {"addToSwatchesFromBrushInterface:",
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(<selection items=1>, YES, NO)"},
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(nil, YES, NO)"}},
        {"addToSwatchesFromLineStyleInterface:",
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(<selection items=1>, NO, YES)"},
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(nil, NO, YES)"}},
        {"addToSwatchesFromBrushAndLine:",
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(<selection items=1>, YES, YES)"},
         {"SwatchesPage::addFromSelection:fromFill:fromLine:(nil, YES, YES)"}},
        {"addToSwatchesFromBrushInterfaceAsGlobal:",
         {"SwatchesPage::addSelectionToGlobalWithFill:andLine:(YES, NO)"},
         {"SwatchesPage::addSelectionToGlobalWithFill:andLine:(YES, NO)"}},
        {"addToSwatchesFromLineStyleInterfaceAsGlobal:",
         {"SwatchesPage::addSelectionToGlobalWithFill:andLine:(NO, YES)"},
         {"SwatchesPage::addSelectionToGlobalWithFill:andLine:(NO, YES)"}},
        {"addToSwatchesFromBrushAndLineAsGlobal:",
         {"SwatchesPage::addSelectionToGlobalWithFill:andLine:(YES, YES)"},
         {"SwatchesPage::addSelectionToGlobalWithFill:andLine:(YES, YES)"}},
        {"doCreateObjectStyle:",
         {"StylesManager::addStylesFromSelectionToCurrentCategory()"},
         {"StylesManager::addStylesFromSelectionToCurrentCategory()"}},
        {"doEditFilterEffects:", {"AppPanelManager::showEffectsSettingsPanel"}, {"AppPanelManager::showEffectsSettingsPanel"}},
        {"doEditTransparency:",
         {"AppPanelManager::showTransparencyEditorPanel"},
         {"AppPanelManager::showTransparencyEditorPanel"}},
        {"doSpellingChange:", {"SpellingCommands::changeWord:findNext:(nil, NO)"}, {"SpellingCommands::changeWord:findNext:(nil, NO)"}},
        {"lookupWord:", {}, {}},  // the sender carries no word
        {"openFieldEditor:", {"AppPanelManager::showFieldEditor"}, {"AppPanelManager::showFieldEditor"}},
        {"convertTextToField:", {"AppPanelManager::showConvertTextToField"}, {"AppPanelManager::showConvertTextToField"}},
        {"expandFields:",
         {kEnqueue + "ExpandFieldGlyphCommand null" + kOnDoc},
         {kEnqueue + "ExpandFieldGlyphCommand null" + kNoDoc}},
        {"deleteNodeOnCurve:",
         {"Tool::CanDeleteSelectedNodes(<SelectTool 7>, false)", "Tool::DeleteSelectedNodes(<SelectTool 7>, false)"},
         {}},
        {"deleteFitToCurveNodeOnCurve:", {"ViewCommands::contentAwareDelete:(nil)"}, {"ViewCommands::contentAwareDelete:(nil)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        CallLog::Clear();
        Perform(c.action);
        EXPECT_EQ(Made(), c.withView);
    }
    // No view; then not even an application controller.
    m_app->setCurrentView(nullptr);
    for (const bool withController : {true, false}) {
        AppController::setRunningController(withController ? m_app.get() : nullptr);
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.action) + (withController ? " without a view" : " without a controller"));
            CallLog::Clear();
            Perform(c.action);
            EXPECT_EQ(Made(), c.withoutView);
        }
    }
}

// A studio without a swatches page, or with another page in its place, adds nothing.
TEST_F(ContextMenuActionsTest, SwatchActionsNeedTheSwatchesPage) {
    for (const bool foreign : {false, true}) {
        StudioManager::GetInstance()->setPage(12, foreign ? New<NSObject>().get() : nullptr);
        for (const char* action : {"addToSwatchesFromBrushInterface:", "addToSwatchesFromLineStyleInterface:",
                                   "addToSwatchesFromBrushAndLine:", "addToSwatchesFromBrushInterfaceAsGlobal:",
                                   "addToSwatchesFromLineStyleInterfaceAsGlobal:", "addToSwatchesFromBrushAndLineAsGlobal:"}) {
            CallLog::Clear();
            Perform(action);
            EXPECT_EQ(LogStartingWith("StudioManager::pageWithID:"), Lines{"StudioManager::pageWithID:(12)"}) << action;
            EXPECT_EQ(Made(), Lines{}) << action;
        }
    }
}

// The definition is asked for the whole word at (x, y + height) of the selection's first
// rectangle moved from the screen into the window and then into the view.
TEST_F(ContextMenuActionsTest, LookUpPosition) {
    const std::string word = "abcdefghijklmnopqrstuvwxyzabcd";  // 30 characters, shown cut
    auto item = New<NSMenuItem>();
    item->initWithTitle(NSString::from("Look Up \"abcdefghijklmnopqrstuvwxy\xE2\x80\xA6\"").get(), nullptr, nullptr);
    item->setRepresentedObject(NSString::from(word).get());
    auto window = New<DocumentWindow>();
    window->setFrameOrigin(NSPoint{100, 200});
    m_view->setWindow(window.get());
    m_view->setFrameOrigin(NSPoint{5, 7});
    m_view->setSelectedTextRect(NSMakeRange(3, 30), NSRect{{140, 260}, {80, 12}});
    CallLog::Clear();
    Perform("lookupWord:", item.get());
    // (140 - 100 - 5, 260 - 200 - 7 + 12)
    EXPECT_EQ(Made(), Lines{"DocumentView::showDefinitionForAttributedString:atPoint:(\"" + word + "\", {35, 65})"});
    // Without a window the window rectangle is zero, still moved into the view.
    m_view->setWindow(nullptr);
    CallLog::Clear();
    Perform("lookupWord:", item.get());
    EXPECT_EQ(Made(), Lines{"DocumentView::showDefinitionForAttributedString:atPoint:(\"" + word + "\", {-5, -7})"});
}

// The delete query answering no keeps the nodes; the fit-to-curve delete passes the item on.
TEST_F(ContextMenuActionsTest, CurveNodeDeletions) {
    m_tool->SetCanDeleteSelectedNodes(false);
    CallLog::Clear();
    Perform("deleteNodeOnCurve:");
    EXPECT_EQ(Made(), Lines{"Tool::CanDeleteSelectedNodes(<SelectTool 7>, false)"});
    m_view->setCurrentToolQuietly({});
    CallLog::Clear();
    Perform("deleteNodeOnCurve:");
    EXPECT_EQ(Made(), Lines{});
    auto item = New<NSMenuItem>();
    item->initWithTitle(NSString::from("Delete Node and Fit Curve").get(), nullptr, nullptr);
    CallLog::Clear();
    Perform("deleteFitToCurveNodeOnCurve:", item.get());
    EXPECT_EQ(Made(), Lines{"ViewCommands::contentAwareDelete:(<NSMenuItem>)"});
}

// The anchor dialog runs modally and is released once it has stopped.
TEST_F(ContextMenuActionsTest, AnchorDialogRunsModallyThenGoes) {
    NSSetAlertResponder([](const NSAlertRequest& request) -> NSInteger {
        CallLog::Record("dialog " + request.title);
        return NSAlertFirstButtonReturn;
    });
    CallLog::Clear();
    Perform("openAnchorProperties:");
    NSSetAlertResponder(nullptr);
    EXPECT_EQ(Made(), (Lines{"AnchorCreateWindowController::init()",
                             "NSApplication::runModalForWindow:(<NSWindow \"Anchor Properties\">)",
                             "dialog Anchor Properties", "AnchorCreateWindowController::ok:()",
                             "AnchorCreateWindowController::dealloc()"}));
}

// The controller lets its menus go from the last outlet back to the first.
TEST_F(ContextMenuActionsTest, MenusReleasedInOutletOrderReversed) {
    auto controller = New<ContextMenuController>();
    ASSERT_TRUE(controller);
    using Setter = void (ContextMenuController::*)(NSMenu*);
    const std::pair<const char*, Setter> outlets[] = {
        {"general", &ContextMenuController::setGeneralMenu},     {"select", &ContextMenuController::setSelectMenu},
        {"exportable", &ContextMenuController::setSelectExportableMenu}, {"text", &ContextMenuController::setTextMenu},
        {"palette", &ContextMenuController::setPaletteEditMenu}, {"zoom", &ContextMenuController::setZoomMenu},
        {"slice", &ContextMenuController::setSliceMenu},         {"advanced", &ContextMenuController::setAdvancedTextMenu},
    };
    for (const auto& [name, setter] : outlets) {
        auto menu = New<FarewellMenu>();
        menu->initWithTitle(NSString::from(name).get());
        (controller.get()->*setter)(menu.get());
    }
    CallLog::Clear();
    controller = nullptr;
    EXPECT_EQ(LogStartingWith("released "),
              (Lines{"released advanced", "released slice", "released zoom", "released palette", "released text",
                     "released exportable", "released select", "released general"}));
}

}  // namespace
