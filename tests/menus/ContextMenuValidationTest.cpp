// Validation of the canvas context-menu items: every action against a table written by hand, in
// several states of document, view, tool, studio and switches; the hidden states on every
// validation; and the two selection queries.
#include <functional>

#include "context_menu_test_support.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/PersonaController.h"
#include "menus/ContextMenuController.h"

namespace {

// Y: enabled and not hidden; N: disabled and not hidden; H: disabled and hidden.
struct RuleRow {
    const char* action;
    const char* full;        // a shape node selected, every query and switch yes
    const char* empty;       // an empty selection, every query and switch no, no swatches page
    const char* nothing;     // no document and no view
    const char* bareView;    // a view without a document, a tool that can enqueue commands
};

// Written from the 36 rules, in their order; the last rows are actions of no rule.
const RuleRow kRules[] = {
    {"doCreateObjectStyle:", "Y", "N", "N", "N"},
    {"doConvertToCurves:", "Y", "N", "N", "N"},
    {"doSetSelectionBox:", "Y", "N", "N", "Y"},
    {"doConvertToPictureFrame:", "Y", "H", "N", "N"},
    {"doConvertToTextFrame:", "Y", "N", "N", "N"},
    {"doEditFilterEffects:", "Y", "N", "N", "Y"},
    {"addToObjects:", "Y", "N", "N", "N"},
    {"addToShapes:", "Y", "N", "N", "N"},
    {"doEditTransparency:", "Y", "N", "N", "Y"},
    {"addToSwatchesFromLineStyleInterface:", "Y", "N", "N", "N"},
    {"addToSwatchesFromBrushInterface:", "Y", "N", "N", "N"},
    {"addToSwatchesFromBrushAndLine:", "Y", "N", "N", "N"},
    {"lookupWord:", "Y", "Y", "Y", "Y"},
    {"doSpellingChange:", "Y", "Y", "Y", "Y"},
    {"expandFields:", "Y", "Y", "Y", "Y"},
    {"openFieldEditor:", "Y", "Y", "Y", "Y"},
    {"convertTextToField:", "Y", "Y", "Y", "Y"},
    {"openAnchorProperties:", "Y", "Y", "Y", "Y"},
    {"insertAnchor:", "Y", "N", "N", "Y"},
    {"insertHyperlink:", "Y", "N", "N", "N"},
    {"doFrameProperties:", "Y", "H", "H", "H"},
    {"doScaleToMaxFit:", "Y", "H", "H", "H"},
    {"doScaleToMinFit:", "Y", "H", "H", "H"},
    {"doStretchToFit:", "Y", "H", "H", "H"},
    {"doNoneFit:", "Y", "H", "H", "H"},
    {"doAnchorToCentre:", "Y", "H", "H", "H"},
    {"doSizeFrameToContent:", "Y", "H", "H", "H"},
    {"addToSwatchesFromBrushInterfaceAsGlobal:", "Y", "Y", "Y", "Y"},
    {"addToSwatchesFromLineStyleInterfaceAsGlobal:", "Y", "Y", "Y", "Y"},
    {"addToSwatchesFromBrushAndLineAsGlobal:", "Y", "Y", "Y", "Y"},
    {"moveSelectionToNewVectorLayer:", "Y", "N", "N", "N"},
    {"pointlessPreflightSubMenuSelector:", "Y", "H", "Y", "Y"},
    {"setPreflightComment:", "Y", "N", "N", "N"},
    {"clearPreflightComment:", "Y", "N", "N", "N"},
    {"deleteNodeOnCurve:", "Y", "Y", "N", "N"},
    {"deleteFitToCurveNodeOnCurve:", "Y", "Y", "N", "N"},
    {"showNodesMenu:", "N", "N", "N", "N"},
    {"cut:", "N", "N", "N", "N"},
    {"curveNodeBreakCurve:", "N", "N", "N", "N"},
};

class ContextMenuValidationTest : public ContextMenuViewTest {
public:
    void SetUp() override {
        ContextMenuViewTest::SetUp();
        UseFrameApp();
        UseSelectTool();
        m_controller = New<ContextMenuController>();
        ASSERT_TRUE(m_controller);
    }
    static Kernel::Counted<Selection const> SelectionOf(std::vector<Kernel::Counted<Selectable>> objects) {
        auto selection = Kernel::MakeCounted<MutableSelection>();
        for (auto& o : objects) selection->AddSelectable(o, false);
        return selection->CloneImmutable();
    }

    // Validates a fresh item of that action: "Y", "N" or "H".
    std::string Validate(const char* action, Ref<NSMenuItem> item = nullptr) {
        if (!item) {
            item = New<NSMenuItem>();
            item->initWithTitle(NSString::from(action).get(), sel_registerName(action), nullptr);
        }
        const BOOL enabled = m_controller->validateMenuItem(item.get());
        if (item->isHidden()) return enabled ? "enabled but hidden" : "H";
        return enabled ? "Y" : "N";
    }

    Ref<ContextMenuController> m_controller;
};

TEST_F(ContextMenuValidationTest, EveryRuleInEveryState) {
    struct State {
        const char* name;
        std::function<void()> setUp;
        const char* RuleRow::*column;
    };
    const State states[] = {
        {"full",
         [&] {
             m_document->SetSelection(SelectionOf({Kernel::MakeCounted<ShapeNode>("Shape")}));
             PersonaController::GetInstance()->m_preflightEnabled.Reset(true);
         },
         &RuleRow::full},
        {"empty",
         [&] {
             m_document->SetSelection(SelectionOf({}));
             m_tool->SetCanEnqueueCommands(false);
             m_tool->SetCanSetSelectionBox(false);
             StudioManager::GetInstance()->setPage(12, nullptr);
             m_nsApp->frames = NO;
             CommandQueries::SetAnswer("Kestrane::AnchorBaseTarget::CanInsertAnchor", false);
         },
         &RuleRow::empty},
        {"no document, no view",
         [&] {
             PersonaController::GetInstance()->m_preflightEnabled.Reset(true);
             m_app->setCurrentView(nullptr);
         },
         &RuleRow::nothing},
        {"a view without a document",
         [&] {
             PersonaController::GetInstance()->m_preflightEnabled.Reset(true);
             auto bare = New<DocumentView>();
             bare->setCurrentToolQuietly(m_tool);
             m_app->setCurrentView(bare.get());
         },
         &RuleRow::bareView},
    };
    for (const auto& state : states) {
        SCOPED_TRACE(state.name);
        ResetStandIns();
        AppController::setRunningController(m_app.get());
        NSApp = m_nsApp.get();
        m_nsApp->frames = YES;
        m_tool->SetCanEnqueueCommands(true);
        m_tool->SetCanSetSelectionBox(true);
        m_app->setCurrentView(m_view.get());
        state.setUp();
        for (const auto& row : kRules) EXPECT_EQ(Validate(row.action), row.*state.column) << row.action;
    }
}

TEST_F(ContextMenuValidationTest, EachQueryIsAskedWithItsOwnSelection) {
    // The unrestricted selection holds two items, the current one none.
    m_document->SetSelection(SelectionOf({Kernel::MakeCounted<Node>("A"), Kernel::MakeCounted<Node>("B")}));
    m_document->m_currentSelection = SelectionOf({});
    CallLog::Clear();
    EXPECT_EQ(Validate("insertHyperlink:"), "Y");
    EXPECT_EQ(Validate("doFrameProperties:"), "Y");
    EXPECT_EQ(Validate("moveSelectionToNewVectorLayer:"), "N");
    EXPECT_EQ(Validate("doCreateObjectStyle:"), "N");
    EXPECT_EQ(Validate("doConvertToTextFrame:"), "N");
    EXPECT_EQ(Validate("addToSwatchesFromBrushAndLine:"), "N");
    // Visible (properties apply to the unrestricted selection) and disabled (fit-to-content does not
    // apply to the current one).
    EXPECT_EQ(Validate("doSizeFrameToContent:"), "N");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{
                  "SetHyperlinkCommand::CanApplyToSelection(<selection items=2>)",
                  "PictureFramePropertiesCommand::CanApplyTo(<selection items=2>)",
                  "ConvertToTextFrameCommand::CanApplyTo(<selection items=0>, false)",
                  "StudioManager::pageWithID:(12)",
                  "SwatchesPage::canAddFromSelection:fromFill:fromLine:(<selection items=0>, YES, YES)",
                  "PictureFrameFitToContentCommand::CanApplyTo(<selection items=0>)",
                  "PictureFramePropertiesCommand::CanApplyTo(<selection items=2>)",
              }));
    // The anchor query is given the view's tool.
    CallLog::Clear();
    Validate("insertAnchor:");
    EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{"Kestrane::AnchorBaseTarget::CanInsertAnchor(<SelectTool 7>)"});
    // Without a view the view's selections are empty ones, never absent.
    m_app->setCurrentView(nullptr);
    CallLog::Clear();
    EXPECT_EQ(Validate("insertHyperlink:"), "N");
    EXPECT_EQ(Validate("clearPreflightComment:"), "N");
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{"SetHyperlinkCommand::CanApplyToSelection(<selection items=0>)",
                                        "SetPreflightCommentCommand::CanClearPreflightComment(<selection items=0>)"}));
    m_app->setCurrentView(m_view.get());
    // A page 12 that is not the swatches page counts as none.
    StudioManager::GetInstance()->setPage(12, New<NSObject>().get());
    EXPECT_EQ(Validate("addToSwatchesFromBrushInterface:"), "N");
}

TEST_F(ContextMenuValidationTest, HiddenStatesAreSetOnEveryValidation) {
    auto item = New<NSMenuItem>();
    item->initWithTitle(NSString::from("Frame").get(), QV_SELECTOR(doFrameProperties:), nullptr);
    CommandQueries::SetAnswer("PictureFramePropertiesCommand::CanApplyTo", false);
    EXPECT_EQ(Validate("", item), "H");
    CommandQueries::SetAnswer("PictureFramePropertiesCommand::CanApplyTo", true);
    EXPECT_EQ(Validate("", item), "Y");

    // Fit-to-content: shown by the properties query, enabled by its own.
    item->setAction(QV_SELECTOR(doSizeFrameToContent:));
    CommandQueries::SetAnswer("PictureFrameFitToContentCommand::CanApplyTo", false);
    EXPECT_EQ(Validate("", item), "N");
    CommandQueries::SetAnswer("PictureFramePropertiesCommand::CanApplyTo", false);
    CommandQueries::SetAnswer("PictureFrameFitToContentCommand::CanApplyTo", true);
    EXPECT_EQ(Validate("", item), "enabled but hidden");

    // Preflight: hidden with the switch off, shown again with it on.
    item->setAction(QV_SELECTOR(pointlessPreflightSubMenuSelector:));
    EXPECT_EQ(Validate("", item), "H");
    PersonaController::GetInstance()->m_preflightEnabled.Reset(true);
    EXPECT_EQ(Validate("", item), "Y");

    // Picture frames refused: hidden, and never shown again here.
    item->setAction(QV_SELECTOR(doConvertToPictureFrame:));
    m_document->SetSelection(SelectionOf({Kernel::MakeCounted<Node>("A")}));
    m_nsApp->frames = NO;
    EXPECT_EQ(Validate("", item), "H");
    m_nsApp->frames = YES;
    EXPECT_TRUE(m_controller->validateMenuItem(item.get()));
    EXPECT_TRUE(item->isHidden());
    // Rules without hiding leave the flag alone.
    item->setHidden(YES);
    item->setAction(QV_SELECTOR(lookupWord:));
    EXPECT_TRUE(m_controller->validateMenuItem(item.get()));
    EXPECT_TRUE(item->isHidden());
    // No application object: no picture frames.
    NSApp = nullptr;
    item->setHidden(NO);
    item->setAction(QV_SELECTOR(doConvertToPictureFrame:));
    EXPECT_EQ(Validate("", item), "H");
}

TEST_F(ContextMenuValidationTest, PoppedUpMenusShowTheirValidatedItems) {
    // The select menu over a selection that picture-frame properties do not apply to, twice: hidden
    // the first time, shown the second once they apply.
    m_document->SetSelection(SelectionOf({Kernel::MakeCounted<Node>("A")}));
    CommandQueries::SetAnswer("PictureFramePropertiesCommand::CanApplyTo", false);
    m_controller->showContextMenu(ContextMenuRequest::WithKind(0).get());
    NSMenuItem* frame = m_controller->selectMenu()->findItemWithAction(QV_SELECTOR(doFrameProperties:));
    ASSERT_TRUE(frame);
    EXPECT_TRUE(frame->isHidden());
    EXPECT_FALSE(frame->isEnabled());
    CommandQueries::SetAnswer("PictureFramePropertiesCommand::CanApplyTo", true);
    m_controller->showContextMenu(ContextMenuRequest::WithKind(0).get());
    EXPECT_FALSE(frame->isHidden());
    EXPECT_TRUE(frame->isEnabled());
}

TEST_F(ContextMenuValidationTest, SelectionNodeQueries) {
    // Null selectables only: no node, and the selection remembers that.
    auto none = SelectionOf({Kernel::Counted<Selectable>(), Kernel::Counted<Selectable>()});
    EXPECT_FALSE(SelectionHasNode(*none));
    EXPECT_TRUE(none->m_firstNodeScanned);
    EXPECT_FALSE(none->m_firstNodeItem);
    EXPECT_FALSE(SelectionHasShapeNode(*none));

    // The first node's item is remembered; a second question scans nothing.
    auto node = Kernel::MakeCounted<Node>("A");
    auto shape = Kernel::MakeCounted<ShapeNode>("S");
    auto mixed = SelectionOf({Kernel::MakeCounted<Selectable>(), Kernel::Counted<Selectable>(node.Get()),
                              Kernel::Counted<Selectable>(shape.Get())});
    const unsigned reads = mixed->ItemReads();
    EXPECT_TRUE(SelectionHasNode(*mixed));
    EXPECT_EQ(mixed->ItemReads(), reads + 1);
    EXPECT_EQ(mixed->m_firstNodeItem.Get(), mixed->GetItems()[1].Get());
    EXPECT_TRUE(SelectionHasNode(*mixed));
    EXPECT_EQ(mixed->ItemReads(), reads + 2);  // the GetItems just above
    EXPECT_TRUE(SelectionHasShapeNode(*mixed));
    EXPECT_FALSE(SelectionHasShapeNode(*SelectionOf({Kernel::Counted<Selectable>(node.Get())})));
    EXPECT_FALSE(SelectionHasShapeNode(*SelectionOf({})));

    // Through the rules: asking twice scans once.
    m_document->SetSelection(mixed);
    const unsigned before = mixed->ItemReads();
    EXPECT_EQ(Validate("addToObjects:"), "Y");
    EXPECT_EQ(Validate("addToObjects:"), "Y");
    EXPECT_EQ(mixed->ItemReads(), before);
}

}  // namespace
