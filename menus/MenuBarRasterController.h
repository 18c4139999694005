// The pixel persona's main-menu command controller: every item of the "MainMenuRaster" resource
// sends its action here. Actions take the current view, tool or document afresh on every call,
// hand the work to the engine and keep nothing.
#pragma once
#include "DocSession/DocumentController.h"
#include "DocSession/Selection.h"
#include "DocSession/Tools.h"
#include "Kernel/Counted.h"
#include "UIFramework/DocumentView.h"
#include "UIFramework/Panels.h"
#include "app/ToolLookup.h"

// The colour tags: selector, preset of NodeTagColourPresets.
#define QV_RASTER_MENU_COLOUR_TAGS(X) \
    X(colourTagRed, Red)              \
    X(colourTagOrange, Orange)        \
    X(colourTagYellow, Yellow)        \
    X(colourTagGreen, Green)          \
    X(colourTagBlue, Blue)            \
    X(colourTagPurple, Purple)        \
    X(colourTagGrey, Grey)            \
    X(colourTagClear, Clear)

// Adjustment layers, in the controller's order.
#define QV_RASTER_MENU_ADJUSTMENTS(X)           \
    X(addExposureAdjustmentRasterLayer)         \
    X(addLUT3DAdjustmentRasterLayer)            \
    X(addOCIOAdjustmentRasterLayer)             \
    X(addPosteriseAdjustmentRasterLayer)        \
    X(addThresholdAdjustmentRasterLayer)        \
    X(addInvertAdjustmentRasterLayer)           \
    X(addLevelsAdjustmentRasterLayer)           \
    X(addCurvesAdjustmentRasterLayer)           \
    X(addBrightnessContrastAdjustmentRasterLayer) \
    X(addHSLShiftAdjustmentRasterLayer)         \
    X(addRecolourAdjustmentRasterLayer)         \
    X(addVibranceAdjustmentRasterLayer)         \
    X(addWhiteBalanceAdjustmentRasterLayer)     \
    X(addColourBalanceAdjustmentRasterLayer)    \
    X(addChannelMixerAdjustmentRasterLayer)     \
    X(addBlackAndWhiteAdjustmentRasterLayer)    \
    X(addSoftProofAdjustmentRasterLayer)        \
    X(addGradientMapAdjustmentRasterLayer)      \
    X(addSelectiveColourAdjustmentRasterLayer)  \
    X(addShadowsHighlightsAdjustmentRasterLayer) \
    X(addPhotoFilterAdjustmentRasterLayer)      \
    X(addSplitToningAdjustmentRasterLayer)      \
    X(addNormalsAdjustmentRasterLayer)

// Filters and selection operations opened by making the document's tool of a class current.
#define QV_RASTER_MENU_TOOL_ACTIVATIONS(X)                        \
    X(gaussianBlur, GaussianTool)                                 \
    X(lensBlur, RasterTools::LensBlurTool)                        \
    X(cameraShakeBlur, CameraShakeBlurTool)                       \
    X(vignette, VignetteTool)                                     \
    X(removeVignette, RemoveVignetteTool)                         \
    X(diffuseGlow, RasterTools::DiffuseGlowTool)                  \
    X(highPass, HighPassTool)                                     \
    X(frequencySeparation, FrequencySeparationTool)               \
    X(motionBlur, RasterTools::MotionBlurTool)                    \
    X(emboss, RasterTools::EmbossTool)                            \
    X(portraitBlur, RasterTools::PortraitBlurTool)                \
    X(radialBlur, RasterTools::RadialBlurTool)                    \
    X(zoomBlur, RasterTools::ZoomBlurTool)                        \
    X(medianBlur, MedianTool)                                     \
    X(dustAndScratch, DustAndScratchesTool)                       \
    X(shear, ShearTool)                                           \
    X(bilateralBlur, BilateralTool)                               \
    X(twirl, RasterTools::TwirlTool)                              \
    X(perlianNoise, PerlinNoiseTool)                              \
    X(perspective, PerspectiveTool)                               \
    X(deform, RasterTools::DeformTool)                            \
    X(pinchPunch, PinchPunchTool)                                 \
    X(sphere, RasterTools::SphereTool)                            \
    X(ripple, RippleTool)                                         \
    X(lensDistortion, LensDistortionTool)                         \
    X(lensCorrection, LensCorrectionTool)                         \
    X(equations, RasterTools::EquationTransformTool)              \
    X(proceduralTexture, RasterTools::ProceduralTextureTool)      \
    X(box, BoxTool)                                               \
    X(halftone, HalftoneTool)                                     \
    X(maximum, MaximumTool)                                       \
    X(minimum, MinimumTool)                                       \
    X(hazeRemoval, HazeRemovalTool)                               \
    X(denoise, NoiseReductionTool)                                \
    X(fftDenoise, FFTDenoiseTool)                                 \
    X(addNoise, RasterTools::NoiseTool)                           \
    X(diffuse, RasterTools::DiffuseTool)                          \
    X(pixelate, PixelateTool)                                     \
    X(unsharpMask, RasterTools::UnsharpMaskTool)                  \
    X(clarity, NewClarityTool)                                    \
    X(selectSampledColour, SelectSampledColourTool)               \
    X(selectSampledDepth, SelectSampledDepthTool)                 \
    X(growShrinkSelection, RasterTools::GrowShrinkSelectionTool)  \
    X(outlineSelection, RasterTools::OutlineSelectionTool)        \
    X(refineSelection, RefineSelectionTool)                       \
    X(featherSelection, FeatherSelectionTool)                     \
    X(smoothSelection, SmoothSelectionTool)                       \
    X(depthOfField, RasterTools::DepthOfFieldTool)                \
    X(fieldBlur, RasterTools::FieldBlurTool)                      \
    X(zMapBlur, RasterTools::ZMapBlurTool)                        \
    X(defringe, DefringeTool)                                     \
    X(displacementMap, DisplacementMapTool)                       \
    X(mirror, MirrorTool)                                         \
    X(applyImage, RasterTools::ApplyImageTool)                    \
    X(matte, MatteTool)                                           \
    X(fill, RasterFillTool)                                       \
    X(customBlur, CustomBlurTool)                                 \
    X(fade, RasterTools::RasterFadeRewindTool)                    \
    X(lighting, RasterTools::LightingTool)                        \
    X(affine, RasterTools::AffineTool)                            \
    X(shadowsHighlights, NewShadowsHighlightsTool)                \
    X(voronoi, RasterTools::VoronoiTool)                          \
    X(removeAstroBackground, RasterTools::AstroRemoveBackgroundTool) \
    X(meshWarp, MeshWarpTool)

// One-shot raster operations and 360-degree projections: selector, operation of
// Kestrane::RasterBaseTarget that receives the current tool. editLiveProjection is apart: it
// needs a view.
#define QV_RASTER_MENU_ONE_SHOT_OPERATIONS(X)                         \
    X(edgeDetect, DetectEdges)                                        \
    X(detectDepth, EnqueueDetectDepthWithTool)                        \
    X(detectNormals, EnqueueDetectNormalsWithTool)                    \
    X(detectSaliency, EnqueueDetectSaliencyWithTool)                  \
    X(deinterlaceEven, DeinterlaceEven)                               \
    X(deinterlaceOdd, DeinterlaceOdd)                                 \
    X(autoLevels, ApplyAutoLevels)                                    \
    X(autoContrast, ApplyAutoContrast)                                \
    X(autoColours, ApplyAutoColours)                                  \
    X(autoWhiteBalance, ApplyAutoWhiteBalance)                        \
    X(paperErase, EraseWhitePaper)                                    \
    X(invert, Invert)                                                 \
    X(chromaticAberration, ChromaticAberration)                       \
    X(horizontalEdgeDetect, DetectHorizontalEdges)                    \
    X(verticalEdgeDetect, DetectVerticalEdges)                        \
    X(rectangularToPolar, RectangularToPolar)                         \
    X(polarToRectangular, PolarToRectangular)                         \
    X(refineMask, RefineMask)                                         \
    X(average, ApplyAverageBlur)                                      \
    X(monoDither, MonochromeDither)                                   \
    X(websafeDither, WebSafeDither)                                   \
    X(solarise, Solarise)                                             \
    X(colourise, Colourise)                                           \
    X(removeWhiteMatte, RemoveWhiteMatte)                             \
    X(removeBlackMatte, RemoveBlackMatte)                             \
    X(premultiply, PreMultiply)                                       \
    X(postdivide, PostDivide)                                         \
    X(linearFit, LinearFit)                                           \
    X(convertTo360, EnqueueConvertToEquirectangularProjection)        \
    X(convertToPerspective, EnqueueConvertToPerspectiveProjection)    \
    X(convertFrom360, EnqueueRemoveProjection)

#define QV_DECLARE_RASTER_MENU_ACTION(sel, ...) void sel(NSObject* sender);

class MenuBarRasterController : public MenuBarController {
    QV_OBJECT(MenuBarRasterController)
public:
    // Whether the item can be chosen now; also sets the Fade and Repeat titles, Repeat's
    // visibility with its separator and the Save-with-history check mark (MenuBarRasterValidation.cpp).
    BOOL validateMenuItem(NSMenuItem* item) override;

    // The separator that stands with the Repeat item; only menu validation shows or hides it.
    NSMenuItem* secretSeparator() const { return m_secretSeparator.get(); }
    void setSecretSeparator(NSMenuItem* item) { m_secretSeparator = item; }

    // ---- New pixel, fill, pattern and group layers; colour tags ----
    void addRasterLayer(NSObject* sender);
    void addPatternRasterLayerFromSelection(NSObject* sender);
    void addFillRasterLayer(NSObject* sender);
    void addGroupLayer(NSObject* sender);
    void addPatternRasterLayer(NSObject* sender);
    QV_RASTER_MENU_COLOUR_TAGS(QV_DECLARE_RASTER_MENU_ACTION)

    // ---- Adjustment layers ----
    QV_RASTER_MENU_ADJUSTMENTS(QV_DECLARE_RASTER_MENU_ACTION)

    // ---- Filter and selection tools ----
    QV_RASTER_MENU_TOOL_ACTIVATIONS(QV_DECLARE_RASTER_MENU_ACTION)

    // ---- One-shot raster operations and 360 projections ----
    QV_RASTER_MENU_ONE_SHOT_OPERATIONS(QV_DECLARE_RASTER_MENU_ACTION)
    void editLiveProjection(NSObject* sender);

    // ==== Live filters, merges, masks, selections and document commands ====
    // Live filter layers: selector, entry point of Kestrane::RasterBaseTarget that receives the
    // current tool. The Liquify filter layer is apart: it also switches persona.
#define QV_RASTER_MENU_LIVE_FILTERS(X)                                                \
    X(addMotionBlurFilterRasterLayer, EnqueueAddMotionBlurFilterRasterNodeWithTool)           \
    X(addGaussianBlurFilterRasterLayer, EnqueueAddGaussianBlurFilterRasterNodeWithTool)       \
    X(addMeshWarpFilterRasterLayer, EnqueueAddMeshWarpFilterRasterNodeWithTool)               \
    X(addMaximumBlurFilterRasterLayer, EnqueueAddMaximumBlurFilterRasterNodeWithTool)         \
    X(addMinimumBlurFilterRasterLayer, EnqueueAddMinimumBlurFilterRasterNodeWithTool)         \
    X(addBoxBlurFilterRasterLayer, EnqueueAddBoxBlurFilterRasterNodeWithTool)                 \
    X(addNoiseFilterRasterLayer, EnqueueAddNoiseFilterRasterNodeWithTool)                     \
    X(addLightingFilterRasterLayer, EnqueueAddLightingFilterRasterNodeWithTool)               \
    X(addRippleFilterRasterLayer, EnqueueAddRippleFilterRasterNodeWithTool)                   \
    X(addDepthOfFieldFilterRasterLayer, EnqueueAddDepthOfFieldFilterRasterNodeWithTool)       \
    X(addClarityFilterRasterLayer, EnqueueAddClarityFilterRasterNodeWithTool)                 \
    X(addBilateralBlurFilterRasterLayer, EnqueueAddBilateralBlurFilterRasterNodeWithTool)     \
    X(addUnsharpMaskFilterRasterLayer, EnqueueAddUnsharpMaskFilterRasterNodeWithTool)         \
    X(addMedianBlurFilterRasterLayer, EnqueueAddMedianBlurFilterRasterNodeWithTool)           \
    X(addDustAndScratchesFilterRasterLayer, EnqueueAddDustAndScratchesFilterRasterNodeWithTool) \
    X(addDiffuseGlowFilterRasterLayer, EnqueueAddDiffuseGlowFilterRasterNodeWithTool)         \
    X(addDisplacementMapFilterRasterLayer, EnqueueAddDisplacementMapFilterRasterNodeWithTool) \
    X(addSphericalFilterRasterLayer, EnqueueAddSphericalFilterRasterNodeWithTool)             \
    X(addVignetteFilterRasterLayer, EnqueueAddVignetteFilterRasterNodeWithTool)               \
    X(addLensBlurFilterRasterLayer, EnqueueAddLensBlurFilterRasterNodeWithTool)               \
    X(addRadialBlurFilterRasterLayer, EnqueueAddRadialBlurFilterRasterNodeWithTool)           \
    X(addTwirlFilterRasterLayer, EnqueueAddTwirlFilterRasterNodeWithTool)                     \
    X(addHighPassFilterRasterLayer, EnqueueAddHighPassFilterRasterNodeWithTool)               \
    X(addDiffuseFilterRasterLayer, EnqueueAddDiffuseFilterRasterNodeWithTool)                 \
    X(addPinchPunchFilterRasterLayer, EnqueueAddPinchPunchFilterRasterNodeWithTool)           \
    X(addLensDistortionFilterRasterLayer, EnqueueAddLensDistortionFilterRasterNodeWithTool)   \
    X(addDenoiseFilterRasterLayer, EnqueueAddNoiseReductionFilterRasterNodeWithTool)          \
    X(addDefringeFilterRasterLayer, EnqueueAddDefringeFilterRasterNodeWithTool)               \
    X(addProceduralTextureFilterRasterLayer, EnqueueAddProceduralTextureFilterRasterNodeWithTool) \
    X(addShadowsHighlightsFilterRasterLayer, EnqueueAddShadowsHighlightsFilterRasterNodeWithTool) \
    X(addFieldBlurFilterRasterLayer, EnqueueAddFieldBlurFilterRasterNodeWithTool)             \
    X(addPerspectiveFilterRasterLayer, EnqueueAddPerspectiveFilterRasterNodeWithTool)         \
    X(addHalftoneFilterRasterLayer, EnqueueAddHalftoneFilterRasterNodeWithTool)               \
    X(addVoronoiFilterRasterLayer, EnqueueAddVoronoiFilterRasterNodeWithTool)
    // Merges and raster selections from objects; mergeVisible is apart: it waits out a drag.
#define QV_RASTER_MENU_MERGES_AND_SELECTIONS(X)                                                   \
    X(mergeDown, EnqueueMergeDownWithTool)                                                    \
    X(mergeSelected, EnqueueMergeSelectedWithTool)                                            \
    X(rasterSelectionFromObject, EnqueueRasterSelectionFromObjectWithTool)                    \
    X(rasterSelectionFromObjectIntensity, EnqueueRasterSelectionFromObjectIntensityWithTool)  \
    X(rasterSelectionFromObjectAndDelete, EnqueueRasterSelectionFromObjectAndDeleteWithTool)  \
    X(reselect, EnqueueRasterReselectWithTool)
    // Mask layers, which need a view: plain ones, and range masks that open the live mask panel
    // once the engine has added them.
#define QV_RASTER_MENU_MASKS(X)                                         \
    X(addMaskRasterLayer, EnqueueAddMaskRasterNodeWithTool)             \
    X(addCompoundMaskRasterLayer, EnqueueAddCompoundMaskRasterNodeWithTool) \
    X(addEmptyMaskRasterLayer, EnqueueAddEmptyMaskRasterNodeWithTool)
#define QV_RASTER_MENU_RANGE_MASKS(X)                                              \
    X(addHueRangeMaskRasterLayer, EnqueueAddHueRangeMaskRasterNodeWithTool)              \
    X(addIntensityRangeMaskRasterLayer, EnqueueAddIntensityRangeMaskRasterNodeWithTool)  \
    X(addBandpassMaskRasterLayer, EnqueueAddBandpassMaskRasterNodeWithTool)
    // Document commands.
#define QV_RASTER_MENU_DOCUMENT_COMMANDS(X) \
    X(fillPrimary)                          \
    X(fillSecondary)                        \
    X(flatten)                              \
    X(repeat)                               \
    X(setTransformFocalPoint)               \
    X(exportCube)                           \
    X(addDocumentSnapshot)                  \
    X(saveWithHistory)                      \
    X(showAllText)                          \
    X(hideAllText)                          \
    X(saveSelectionAsSpare)                 \
    X(saveSelection)                        \
    X(loadSelection)
    QV_RASTER_MENU_LIVE_FILTERS(QV_DECLARE_RASTER_MENU_ACTION)
    void addLiquifyFilterRasterLayer(NSObject* sender);
    void mergeVisible(NSObject* sender);
    QV_RASTER_MENU_MERGES_AND_SELECTIONS(QV_DECLARE_RASTER_MENU_ACTION)
    QV_RASTER_MENU_MASKS(QV_DECLARE_RASTER_MENU_ACTION)
    QV_RASTER_MENU_RANGE_MASKS(QV_DECLARE_RASTER_MENU_ACTION)
    void maskToBelow(NSObject* sender);
    void addScope(NSObject* sender);
    QV_RASTER_MENU_DOCUMENT_COMMANDS(QV_DECLARE_RASTER_MENU_ACTION)
    // ==== end of live filters, merges, masks, selections and document commands ====

    // The common steps of every action.
    // The current view, held until the action returns; the application controller is let go at once.
    static Ref<DocumentView> TakeCurrentView();
    // A nil view is not dragging.
    static bool IsDragging(DocumentView* view) { return view && view->isDragging(); }
    // The view's current tool; empty without a view.
    static Kernel::Counted<Tool> CurrentTool(DocumentView* view);
    // The view's document with one count for the call; empty without a view.
    static Kernel::Counted<DocumentController const> CurrentDocument(DocumentView* view);

private:
    Ref<NSMenuItem> m_secretSeparator;
};

// Adds the live-filter, merge, mask, selection and document-command selectors to the controller's
// table; defined beside those actions.
void MenuBarRasterController_fillDocumentSelectors(SelectorTable<MenuBarRasterController>& c);

// Whether an item of the selection names an object of type T (items without one are skipped).
template <class T>
bool SelectionContainsType(Selection const& selection) {
    for (const auto& item : selection.GetItems())
        if (Selectable* object = item ? item->GetSelectable() : nullptr)
            if (Kernel::fast_dynamic_cast<T, Selectable>(object)) return true;
    return false;
}

// The first item of the selection, in selection order, that names an object of type T, with a
// count taken on it; empty when none does.
template <class T>
Kernel::Counted<T> GetFirstSelectedOfType(Selection const& selection) {
    for (const auto& item : selection.GetItems())
        if (Selectable* object = item ? item->GetSelectable() : nullptr)
            if (T* found = Kernel::fast_dynamic_cast<T, Selectable>(object)) return Kernel::Counted<T>(found);
    return {};
}
