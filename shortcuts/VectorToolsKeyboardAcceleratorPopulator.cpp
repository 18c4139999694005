#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

#include "UIFramework/Panels.h"
#include "shortcuts/CommonShortcutRows.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(VectorToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {}

namespace {

constexpr ToolRow kToolRows[] = {
    {'v', 1},   {'a', 3},   {'f', 236}, {'c', 148}, {'w', 261}, {'o', 125}, {'z', 140},
    {'h', 0},   {'p', 31},  {'n', 30},  {'g', 33},  {'b', 141}, {'y', 35},  {'i', 146},
    {'k', 255}, {'s', 256}, {'r', 260}, {'m', 7},   {'m', 8},   {'m', 9},   {'t', 122},
    {'t', 123}, {'t', 231, true},
};

constexpr PageRow kFirstPageRows[] = {
    {"32-bit Preview", "toggle32BitPreviewPage"},
    {"Assets", "toggleAssetPage"},
    {"Brushes", "toggleBrushPage"},
};

constexpr PageRow kPageRows[] = {
    {"Colour", "toggleColourPage"},
    {"Constraints", "toggleConstraintPage"},
    {"Effects", "toggleEffectsPage"},
    {"Glyph Browser", "toggleGlyphBrowserPage"},
    {"History", "toggleHistoryPage"},
    {"Isometric", "togglePlanesPage"},
    {"Layers", "toggleLayerPage"},
    {"Navigator", "toggleNavigatorPage"},
    {"Paragraph", "toggleParagraphPage"},
    {"Snapshots", "toggleSnapshotsPage"},
    {"Stroke", "toggleLinePage"},
    {"Styles", "toggleStylesPage"},
    {"Swatches", "toggleSwatchesPage"},
    {"Symbol", "toggleSymbolPage"},
    {"Text Styles", "toggleTextStylesPage"},
    {"Transform", "toggleTransformPage"},
    // Asked of the studio commands by page id: appearance, effects, stock and layer states.
    {"Appearance", nullptr, 64},
    {"Quick FX", nullptr, 10},
    {"Stock", nullptr, 33},
    {"States", nullptr, 75},
};

}  // namespace

void VectorToolsKeyboardAcceleratorPopulator::initialise() {
    RegisterToolRows(this, kToolRows);
    // Each command object is fetched once: the view commands for the view rows, the studio
    // commands for the page rows.
    Ref<ViewCommands> view(CommandControllerManager::GetInstance()->viewCommands());
    RegisterCommonViewRows(this, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, PageKeyRows::Studio, {view.get(), std::nullopt});
    Ref<StudioCommands> studio(CommandControllerManager::GetInstance()->studioCommands());
    RegisterPageRows(this, studio.get(), kFirstPageRows);
    RegisterCommonViewRows(this, {12, 13}, PageKeyRows::Studio, {std::nullopt, studio.get()});
    RegisterPageRows(this, studio.get(), kPageRows);
    registerDefaultBlendModeKeys();
}
