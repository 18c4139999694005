#include "menus/MenuBarRasterController.h"

#include <memory>
#include <utility>

#include "AppKit/NSApplication.h"
#include "DocSession/RasterBaseTarget.h"
#include "UIFramework/AppController.h"
#include "UIFramework/NewPatternWindowController.h"
#include "app/FirstToolOfClass.h"
#include "app/UnitStatics.h"

using Target = Kestrane::RasterBaseTarget;

QV_IMPLEMENT(MenuBarRasterController, MenuBarController) {
    // The resource connects the separator by its outlet name.
    c.method("setM_secretSeparator:", &MenuBarRasterController::setSecretSeparator);
    c.method("secretSeparator", &MenuBarRasterController::secretSeparator);

#define QV_SELECTOR_ENTRY(sel, ...) c.method(#sel ":", &MenuBarRasterController::sel);
    c.method("addRasterLayer:", &MenuBarRasterController::addRasterLayer);
    c.method("addPatternRasterLayerFromSelection:", &MenuBarRasterController::addPatternRasterLayerFromSelection);
    c.method("addFillRasterLayer:", &MenuBarRasterController::addFillRasterLayer);
    c.method("addGroupLayer:", &MenuBarRasterController::addGroupLayer);
    c.method("addPatternRasterLayer:", &MenuBarRasterController::addPatternRasterLayer);
    QV_RASTER_MENU_COLOUR_TAGS(QV_SELECTOR_ENTRY)
    QV_RASTER_MENU_ADJUSTMENTS(QV_SELECTOR_ENTRY)
    QV_RASTER_MENU_TOOL_ACTIVATIONS(QV_SELECTOR_ENTRY)
    QV_RASTER_MENU_ONE_SHOT_OPERATIONS(QV_SELECTOR_ENTRY)
    c.method("editLiveProjection:", &MenuBarRasterController::editLiveProjection);
#undef QV_SELECTOR_ENTRY

    // ==== Live filters, merges, masks, selections and document commands ====
    MenuBarRasterController_fillDocumentSelectors(c);
}

// ---- Common steps ----

Ref<DocumentView> MenuBarRasterController::TakeCurrentView() {
    AppController* controller = AppController::controller();
    return controller ? Ref<DocumentView>(controller->getCurrentView()) : Ref<DocumentView>();
}

Kernel::Counted<Tool> MenuBarRasterController::CurrentTool(DocumentView* view) {
    return view ? view->currentTool() : Kernel::Counted<Tool>();
}

Kernel::Counted<DocumentController const> MenuBarRasterController::CurrentDocument(DocumentView* view) {
    return Kernel::Counted<DocumentController const>(view ? view->unsafeDocumentController() : nullptr);
}

// ---- New layers and colour tags ----

void MenuBarRasterController::addRasterLayer(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    if (IsDragging(view.get())) return;
    Target::EnqueueAddRasterNodeWithTool(CurrentTool(view.get()));
}

void MenuBarRasterController::addPatternRasterLayerFromSelection(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    Target::EnqueueAddPatternRasterNodeFromSelectionWithTool(CurrentTool(view.get()));
}

void MenuBarRasterController::addFillRasterLayer(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    Target::EnqueueAddFillRasterNodeWithTool(CurrentTool(view.get()));
}

void MenuBarRasterController::addGroupLayer(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    // The group gets no name from the menu.
    Target::EnqueueAddGroupNodeWithTool(CurrentTool(view.get()), nullptr);
}

void MenuBarRasterController::addPatternRasterLayer(NSObject*) {
    auto controller = New<NewPatternWindowController>();
    if (!controller) return;
    Ref<NSWindow> window(controller->window());
    // The dialog adds the layer itself; its response is not needed here.
    if (NSApp) NSApp->runModalForWindow(window.get());
}

namespace {
using Steps = MenuBarRasterController;

// The preset is fetched on every call, never cached; it is given back before the tool.
template <Kernel::Consolidated<Renderer::ColourRGB> (*Preset)()>
void TagWithColour(Kernel::Counted<Tool> tool) {
    Kernel::Consolidated<Renderer::ColourRGB> colour = Preset();
    Target::EnqueueColourTag(tool, colour);
}
}  // namespace

#define QV_DEFINE_COLOUR_TAG(sel, preset)                                         \
    void MenuBarRasterController::sel(NSObject*) {                                 \
        Ref<DocumentView> view = TakeCurrentView();                                \
        TagWithColour<&NodeTagColourPresets::preset>(CurrentTool(view.get()));     \
    }
QV_RASTER_MENU_COLOUR_TAGS(QV_DEFINE_COLOUR_TAG)
#undef QV_DEFINE_COLOUR_TAG

// ---- Adjustment layers ----

namespace {
// Every new adjustment layer from the menu gets these besides its record.
constexpr double kValue = -1.0;
constexpr auto kBlend = static_cast<Renderer::FillBlendMode::BlendMode>(37);
constexpr auto kSpace = static_cast<Raster::ColourSpace>(0);

// Takes the view and its tool, lets enqueue build the record and make the one call (the record
// is given back before the tool), then opens the adjustments panel, with or without a view.
template <class Enqueue>
void AddAdjustmentLayer(bool showPanel, Enqueue enqueue) {
    Ref<DocumentView> view = Steps::TakeCurrentView();
    enqueue(Steps::CurrentTool(view.get()));
    if (showPanel) AppPanelManager::standardPanelManager()->showAdjustmentsPanel();
}

// Arrays a record points to: allocated per call, freed once the call has returned.
std::unique_ptr<float[]> FloatArray(size_t n, float value) {
    std::unique_ptr<float[]> a(new float[n]);
    for (size_t i = 0; i < n; ++i) a[i] = value;
    return a;
}

void Fill(float* a, size_t n, float value) {
    for (size_t i = 0; i < n; ++i) a[i] = value;
}
}  // namespace

void MenuBarRasterController::addExposureAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::Exposure::Params params;
        params.exposure = 0.0f;
        params.gamma = 2.2f;
        Target::EnqueueAddExposureAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addLUT3DAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::LUT3D::Params params;
        params.cube = Kernel::MakeCounted<Raster::ColourCubeRGB>();
        Target::EnqueueAddLUT3DAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addOCIOAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::OCIOConvert::Params params(0, 0, 0, 0);
        params.source = Kernel::StringT<Kernel::TEncUtf8>("role_scene_linear");
        params.destination = Kernel::StringT<Kernel::TEncUtf8>("role_scene_linear");
        Target::EnqueueAddOCIOAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addPosteriseAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::Posterise::Params params;
        params.levels = 4;
        Target::EnqueueAddPosteriseAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addThresholdAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::Threshold::Params params;
        params.threshold = 0.5f;
        params.low = 0.0f;
        params.high = 1.0f;
        Target::EnqueueAddThresholdAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addInvertAdjustmentRasterLayer(NSObject*) {
    // The one kind without a record, and without the panel.
    AddAdjustmentLayer(false, [](Kernel::Counted<Tool> tool) {
        Target::EnqueueAddInvertAdjustmentRasterNodeWithTool(tool, kValue, kBlend);
    });
}

void MenuBarRasterController::addLevelsAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::Levels::Params params;
        params.inputBlack = 0.0f;
        params.inputWhite = 1.0f;
        params.gamma = 1.0f;
        params.outputBlack = 0.0f;
        params.outputWhite = 1.0f;
        Fill(params.channelInputBlack, 5, 0.0f);
        Fill(params.channelInputWhite, 5, 1.0f);
        Fill(params.channelGamma, 5, 1.0f);
        Fill(params.channelOutputBlack, 5, 0.0f);
        Fill(params.channelOutputWhite, 5, 1.0f);
        params.channel = 0;
        params.perChannel = false;
        Target::EnqueueAddLevelsAdjustmentRasterNodeWithTool(tool, std::move(params), kSpace, kValue, kBlend);
    });
}

void MenuBarRasterController::addCurvesAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::Curves::Params params;
        // One default spline shared by all six curves.
        params.splines[0] = Geometry::Spline::GetDefaultProfile(Geometry::Spline::Profile(0));
        for (int i = 1; i < 6; ++i) params.splines[i] = params.splines[0];
        params.inputMinimum = 0.0f;
        params.inputMaximum = 1.0f;
        Target::EnqueueAddCurvesAdjustmentRasterNodeWithTool(tool, std::move(params), kSpace, kValue, kBlend);
    });
}

void MenuBarRasterController::addBrightnessContrastAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::BrightnessContrast::Params params;
        params.scale = 1.0f;
        Target::EnqueueAddBrightnessContrastAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addHSLShiftAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        static constexpr float kRanges[24] = {315, 345, 15,  45,  15,  45,  75,  105, 75,  105, 135, 165,
                                              135, 165, 195, 225, 195, 225, 255, 285, 255, 285, 315, 345};
        HSLShiftAdjustmentRasterNode::Params params;
        params.mode = 2;
        for (int i = 0; i < 24; ++i) params.ranges[i] = kRanges[i];
        params.colourise = false;
        Target::EnqueueAddHSLShiftAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addRecolourAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        RecolourAdjustmentRasterNode::Params params;
        params.hue = 0.0f;
        params.saturation = 1.0f;
        params.lightness = 0.0f;
        Target::EnqueueAddRecolourAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addVibranceAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        VibranceAdjustmentRasterNode::Params params;
        params.mode = 2;
        Target::EnqueueAddVibranceAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addWhiteBalanceAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        WhiteBalanceAdjustmentRasterNode::Params params;
        params.mode = 2;
        Target::EnqueueAddWhiteBalanceAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addColourBalanceAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::ColourBalance::Params params;
        Target::EnqueueAddColourBalanceAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addChannelMixerAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        // Five rows of six: row r passes channel r through (column r + 1).
        std::unique_ptr<float[]> matrix = FloatArray(30, 0.0f);
        for (int row = 0; row < 5; ++row) matrix[row * 6 + row + 1] = 1.0f;
        Raster::ChannelMixer::Params params;
        params.matrix = matrix.get();
        Target::EnqueueAddChannelMixerAdjustmentRasterNodeWithTool(tool, std::move(params), kSpace, kValue, kBlend);
    });
}

void MenuBarRasterController::addBlackAndWhiteAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::BlackAndWhite::Params params;
        Fill(params.weights, 6, 1.0f);
        Target::EnqueueAddBlackAndWhiteAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addSoftProofAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::SoftProof::Params params(0, 0, 0, 0);
        // The proofing (CMYK) profile is asked for before the output (RGBA) one.
        params.proofProfile = Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(Raster::Format(4));
        params.intent = 0;
        params.outputProfile = Raster::ICCManager::GetInstance().GetDefaultProfileForFormat(Raster::Format(0));
        params.proofIntent = 1;
        params.outputIntent = 3;
        params.blackPointCompensation = 1;
        Target::EnqueueAddSoftProofAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addGradientMapAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        GradientMapAdjustmentRasterNode::Params params;
        Target::EnqueueAddGradientMapAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addSelectiveColourAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        std::unique_ptr<float[]> values = FloatArray(36, 0.0f);
        Raster::SelectiveColour::Params params;
        params.mode = 2;
        params.values = values.get();
        params.relative = true;
        Target::EnqueueAddSelectiveColourAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addShadowsHighlightsAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        ShadowsHighlightsAdjustmentRasterNode::Params params;
        params.shadows = 0.0f;
        params.highlights = 0.0f;
        Target::EnqueueAddShadowsHighlightsAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addPhotoFilterAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::LensFilter::Params params;
        params.colour = Raster::DynamicPixel();
        params.colour = Raster::PixelRGBA8(236, 138, 0, 255);
        params.density = 0.5f;
        params.preserveLuminosity = true;
        Target::EnqueueAddLensFilterAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addSplitToningAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::SplitToning::Params params;
        params.balance = 0.5f;
        Target::EnqueueAddSplitToningAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

void MenuBarRasterController::addNormalsAdjustmentRasterLayer(NSObject*) {
    AddAdjustmentLayer(true, [](Kernel::Counted<Tool> tool) {
        Raster::TransformNormals::Params params;
        params.angle = 0.0f;
        params.strength = 1.0f;
        params.flip = 0;
        Target::EnqueueAddNormalsAdjustmentRasterNodeWithTool(tool, std::move(params), kValue, kBlend);
    });
}

// ---- Filter and selection tools ----

namespace {
// Preparation of a found tool before it is made current; most tools need none.
template <class T>
void PrepareTool(T&) {}
// The refine tool always starts on the selection, not on a mask, whether or not it is current.
template <>
void PrepareTool<RefineSelectionTool>(RefineSelectionTool& tool) {
    tool.SetRefiningMask(false);
}

template <class T>
void MakeFirstToolOfClassCurrent() {
    Ref<DocumentView> view = Steps::TakeCurrentView();
    if (!view) return;
    Kernel::Counted<T> found = FirstToolOfClass<T>(view.get());
    if (found) PrepareTool<T>(*found);
    // Also sent empty when the document has no tool of the class.
    view->setCurrentTool(Kernel::Counted<Tool>(found));
}
}  // namespace

#define QV_DEFINE_TOOL_ACTIVATION(sel, ToolClass) \
    void MenuBarRasterController::sel(NSObject*) { MakeFirstToolOfClassCurrent<ToolClass>(); }
QV_RASTER_MENU_TOOL_ACTIVATIONS(QV_DEFINE_TOOL_ACTIVATION)
#undef QV_DEFINE_TOOL_ACTIVATION

// ---- One-shot raster operations and 360 projections ----

#define QV_DEFINE_ONE_SHOT(sel, operation)                         \
    void MenuBarRasterController::sel(NSObject*) {                  \
        Ref<DocumentView> view = TakeCurrentView();                 \
        Target::operation(CurrentTool(view.get()));                 \
    }
QV_RASTER_MENU_ONE_SHOT_OPERATIONS(QV_DEFINE_ONE_SHOT)
#undef QV_DEFINE_ONE_SHOT

void MenuBarRasterController::editLiveProjection(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    if (!view) return;
    Target::EditLiveProjection(CurrentTool(view.get()));
}
