#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"

#include "DocSession/DocumentCommand.h"
#include "DocSession/PersonaController.h"
#include "DocSession/RasterBaseTarget.h"
#include "UIFramework/AppController.h"
#include "UIFramework/Panels.h"
#include "app/LocalizedString.h"
#include "shortcuts/CommonShortcutRows.h"

#define QV_UNIT_TAG_ALIASES
#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(RasterToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {
    c.method("doEditSelectionAsLayer", &RasterToolsKeyboardAcceleratorPopulator::doEditSelectionAsLayer);
    c.method("toggleFrequencySep", &RasterToolsKeyboardAcceleratorPopulator::toggleFrequencySep);
}

namespace {

// Keys shared by several tools cycle through them in this order; 231 only with table text.
constexpr ToolRow kToolRows[] = {
    {'v', 1},   {'z', 140}, {'h', 0},   {'i', 146}, {'k', 39},  {'l', 131}, {'m', 127}, {'m', 128},
    {'m', 130}, {'m', 129}, {'w', 134}, {'w', 51},  {'c', 2},   {'p', 31},  {'p', 3},   {'j', 114},
    {'j', 113}, {'j', 112}, {'j', 83},  {'j', 115}, {'b', 36},  {'y', 41},  {'r', 38},  {'s', 48},
    {'e', 42},  {'e', 43},  {'e', 133}, {'o', 44},  {'o', 45},  {'o', 46},  {'g', 33},  {'g', 132},
    {'t', 122}, {'t', 123}, {'t', 231, true}, {'u', 7},  {'u', 8},   {'u', 9},
};

constexpr PageRow kFirstPageRows[] = {
    {"32-bit Preview", "toggle32BitPreviewPage"},
    {"Adjustment", "toggleAdjustmentPage"},
    {"Batch", "toggleBatchPage"},
    {"Brushes", "toggleBrushPage"},
    {"Channels", "toggleChannelsPage"},
};

// The GPU row is kept by the registry only while GPU telemetry is enabled.
constexpr PageRow kPageRows[] = {
    {"Colour", "toggleColourPage"},
    {"Effects", "toggleEffectsPage"},
    {"Metadata", "toggleXMPPage"},
    {"Glyph Browser", "toggleGlyphBrowserPage"},
    {"Histogram", "toggleHistogramPage"},
    {"History", "toggleHistoryPage"},
    {"Information", "toggleInformationPage"},
    {"GPU", "toggleGPUPage"},
    {"Layers", "toggleLayerPage"},
    {"Library", "toggleMacrosPage"},
    {"Macro", "toggleMacroPage"},
    {"Navigator", "toggleNavigatorPage"},
    {"Paragraph", "toggleParagraphPage"},
    {"Scope", "toggleWaveformPage"},
    {"Snapshots", "toggleSnapshotsPage"},
    {"Sources", "toggleCloneBrushSourcesPage"},
    {"Stock", "toggleStockPage"},
    {"Styles", "toggleStylesPage"},
    {"Swatches", "toggleSwatchesPage"},
    {"Text Styles", "toggleTextStylesPage"},
    {"Transform", "toggleTransformPage"},
    {"Assets", "toggleAssetPage"},
    // Asked of the studio commands by page id: links, effects and layer states.
    {"Links", nullptr, 73},
    {"Quick FX", nullptr, 10},
    {"States", nullptr, 75},
};

}  // namespace

void RasterToolsKeyboardAcceleratorPopulator::initialise() {
    RegisterToolRows(this, kToolRows);

    // This row's title is looked up in its own context.
    Ref<NSString> editTitle = LocalizedStringWithContext("Toggle Edit Selection As Layer", "Toggle Edit Selection As Layer");
    registerKeyCodeForKey_withAction_withTarget_andDescription(
        NSNumber::numberWithInt('q').get(), QV_SELECTOR(doEditSelectionAsLayer), this, editTitle.get());
    registerKeyCodeForKey_withAction_withTarget_andDescription(
        NSNumber::numberWithInt('f').get(), QV_SELECTOR(toggleFrequencySep), this,
        AcceleratorTitle("Toggle Frequency Layer").get());

    // The view rows ask for the view commands anew each; the studio commands are fetched once,
    // for every page row and the Character and Typography rows.
    RegisterCommonViewRows(this, {1, 2, 3, 4, 5, 8, 9, 6, 7});
    Ref<StudioCommands> studio(CommandControllerManager::GetInstance()->studioCommands());
    RegisterPageRows(this, studio.get(), kFirstPageRows);
    RegisterCommonViewRows(this, {12, 13}, PageKeyRows::Plain, {std::nullopt, studio.get()});
    RegisterPageRows(this, studio.get(), kPageRows);
    RegisterCommonViewRows(this, {10, 11});
    registerDefaultBlendModeKeys();
}

void RasterToolsKeyboardAcceleratorPopulator::doEditSelectionAsLayer() {
    AppController* controller = AppController::controller();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    if (!view) return;
    Kernel::Counted<DocumentCommand> command(new ToggleEditSelectionAsLayerCommand);
    Kernel::Counted<DocumentController const> document(view->unsafeDocumentController());
    PersonaController::GetInstance()->EnqueueCommand(command, document, false);
}

void RasterToolsKeyboardAcceleratorPopulator::toggleFrequencySep() {
    AppController* controller = AppController::controller();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    if (!view) return;
    Kestrane::RasterBaseTarget::ToggleFrequencyLayer(view->currentTool());
}
