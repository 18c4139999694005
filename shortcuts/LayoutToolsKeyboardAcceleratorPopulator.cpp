#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"

#include "UIFramework/Panels.h"
#include "shortcuts/CommonShortcutRows.h"

#define QV_UNIT_TAG_ALIASES
#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(LayoutToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {}

namespace {

// Keys shared by several tools cycle through them in this order.
constexpr ToolRow kToolRows[] = {
    {'v', 1},   {'a', 3},   {'z', 140}, {'h', 0},   {'p', 31},  {'g', 33},  {'y', 35},  {'i', 146},
    {'m', 7},   {'m', 8},   {'m', 9},   {'t', 122}, {'t', 123}, {'t', 231}, {'f', 228}, {'f', 229},
};

constexpr PageRow kFirstPageRows[] = {{"Assets", "toggleAssetPage"}};

constexpr PageRow kPageRows[] = {
    {"Colour", "toggleColourPage"},
    {"Constraint", "toggleConstraintPage"},
    {"Effects", "toggleEffectsPage"},
    {"Fields", "toggleFieldsPage"},
    {"Find and Replace", "toggleFindAndReplacePage"},
    {"Glyph Browser", "toggleGlyphBrowserPage"},
    {"History", "toggleHistoryPage"},
    {"Hyperlink", "toggleHyperlinkPage"},
    {"Anchor", "toggleAnchorsPage"},
    {"Reading Order", "toggleReadingOrderPage"},
    {"Index", "toggleIndexPage"},
    {"Layers", "toggleLayerPage"},
    {"Navigator", "toggleNavigatorPage"},
    {"Pages", "togglePagesPage"},
    {"Paragraph", "toggleParagraphPage"},
    {"Preflight", "togglePreflightPage"},
    {"Notes", "toggleNotesPage"},
    {"Stroke", "toggleLinePage"},
    {"Styles", "toggleStylesPage"},
    {"Stock", "toggleStockPage"},
    {"Swatches", "toggleSwatchesPage"},
    {"Text Frame", "toggleTextFramePage"},
    {"Table", "toggleTablePage"},
    {"Table Format", "toggleTableFormatPage"},
    {"Text Styles", "toggleTextStylesPage"},
    {"Table of Contents", "toggleTocPage"},
    {"Transform", "toggleTransformPage"},
    {"Books", "toggleBooksPage"},
    {"Tags", "toggleTagsPage", 0, ShortcutCategory::None},
};

// Asked of the studio commands by page id: the layer states page.
constexpr PageRow kPageRowsByID[] = {{"States", nullptr, 75}};

}  // namespace

void LayoutToolsKeyboardAcceleratorPopulator::initialise() {
    RegisterToolRows(this, kToolRows);

    RegisterCommonViewRows(this, {1, 2, 3, 4, 5});
    registerKeyCodeForKey_withModifierMask_withAction_withTarget_andDescription(
        NSNumber::numberWithInt('k').get(), NSEventModifierFlagControlMask, QV_SELECTOR(doFindInLayerPage:),
        CommandControllerManager::GetInstance()->viewCommands(), AcceleratorTitle("Find in Layers Panel").get());
    // The next-view row stands twice in this table.
    RegisterCommonViewRows(this, {6, 7, 8, 9, 10, 10, 11});

    Ref<StudioCommands> studio(CommandControllerManager::GetInstance()->studioCommands());
    RegisterPageRows(this, std::nullopt, kFirstPageRows);
    RegisterCommonViewRows(this, {12, 13});
    RegisterPageRows(this, std::nullopt, kPageRows);
    RegisterPageRows(this, studio.get(), kPageRowsByID);

    registerSelector_withTarget_andDescription(QV_SELECTOR(insertHyperlink:),
                                               CommandControllerManager::GetInstance()->viewCommands(),
                                               AcceleratorTitle("Insert Hyperlink").get());
    registerDefaultBlendModeKeys();
}
