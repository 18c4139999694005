// The type tests the application runs, instantiated once each.
#include "app/ToolLookup.h"
#include "DocSession/DevelopTool.h"
#include "DocSession/Tools.h"

// Filter and selection tools made current by the pixel menu.
template GaussianTool* Kernel::fast_dynamic_cast<GaussianTool, Tool>(Tool*);
template RasterTools::LensBlurTool* Kernel::fast_dynamic_cast<RasterTools::LensBlurTool, Tool>(Tool*);
template CameraShakeBlurTool* Kernel::fast_dynamic_cast<CameraShakeBlurTool, Tool>(Tool*);
template VignetteTool* Kernel::fast_dynamic_cast<VignetteTool, Tool>(Tool*);
template RemoveVignetteTool* Kernel::fast_dynamic_cast<RemoveVignetteTool, Tool>(Tool*);
template RasterTools::DiffuseGlowTool* Kernel::fast_dynamic_cast<RasterTools::DiffuseGlowTool, Tool>(Tool*);
template HighPassTool* Kernel::fast_dynamic_cast<HighPassTool, Tool>(Tool*);
template FrequencySeparationTool* Kernel::fast_dynamic_cast<FrequencySeparationTool, Tool>(Tool*);
template RasterTools::MotionBlurTool* Kernel::fast_dynamic_cast<RasterTools::MotionBlurTool, Tool>(Tool*);
template RasterTools::EmbossTool* Kernel::fast_dynamic_cast<RasterTools::EmbossTool, Tool>(Tool*);
template RasterTools::PortraitBlurTool* Kernel::fast_dynamic_cast<RasterTools::PortraitBlurTool, Tool>(Tool*);
template RasterTools::RadialBlurTool* Kernel::fast_dynamic_cast<RasterTools::RadialBlurTool, Tool>(Tool*);
template RasterTools::ZoomBlurTool* Kernel::fast_dynamic_cast<RasterTools::ZoomBlurTool, Tool>(Tool*);
template MedianTool* Kernel::fast_dynamic_cast<MedianTool, Tool>(Tool*);
template DustAndScratchesTool* Kernel::fast_dynamic_cast<DustAndScratchesTool, Tool>(Tool*);
template ShearTool* Kernel::fast_dynamic_cast<ShearTool, Tool>(Tool*);
template BilateralTool* Kernel::fast_dynamic_cast<BilateralTool, Tool>(Tool*);
template RasterTools::TwirlTool* Kernel::fast_dynamic_cast<RasterTools::TwirlTool, Tool>(Tool*);
template PerlinNoiseTool* Kernel::fast_dynamic_cast<PerlinNoiseTool, Tool>(Tool*);
template PerspectiveTool* Kernel::fast_dynamic_cast<PerspectiveTool, Tool>(Tool*);
template RasterTools::DeformTool* Kernel::fast_dynamic_cast<RasterTools::DeformTool, Tool>(Tool*);
template PinchPunchTool* Kernel::fast_dynamic_cast<PinchPunchTool, Tool>(Tool*);
template RasterTools::SphereTool* Kernel::fast_dynamic_cast<RasterTools::SphereTool, Tool>(Tool*);
template RippleTool* Kernel::fast_dynamic_cast<RippleTool, Tool>(Tool*);
template LensDistortionTool* Kernel::fast_dynamic_cast<LensDistortionTool, Tool>(Tool*);
template LensCorrectionTool* Kernel::fast_dynamic_cast<LensCorrectionTool, Tool>(Tool*);
template RasterTools::EquationTransformTool* Kernel::fast_dynamic_cast<RasterTools::EquationTransformTool, Tool>(Tool*);
template RasterTools::ProceduralTextureTool* Kernel::fast_dynamic_cast<RasterTools::ProceduralTextureTool, Tool>(Tool*);
template BoxTool* Kernel::fast_dynamic_cast<BoxTool, Tool>(Tool*);
template HalftoneTool* Kernel::fast_dynamic_cast<HalftoneTool, Tool>(Tool*);
template MaximumTool* Kernel::fast_dynamic_cast<MaximumTool, Tool>(Tool*);
template MinimumTool* Kernel::fast_dynamic_cast<MinimumTool, Tool>(Tool*);
template HazeRemovalTool* Kernel::fast_dynamic_cast<HazeRemovalTool, Tool>(Tool*);
template NoiseReductionTool* Kernel::fast_dynamic_cast<NoiseReductionTool, Tool>(Tool*);
template FFTDenoiseTool* Kernel::fast_dynamic_cast<FFTDenoiseTool, Tool>(Tool*);
template RasterTools::NoiseTool* Kernel::fast_dynamic_cast<RasterTools::NoiseTool, Tool>(Tool*);
template RasterTools::DiffuseTool* Kernel::fast_dynamic_cast<RasterTools::DiffuseTool, Tool>(Tool*);
template PixelateTool* Kernel::fast_dynamic_cast<PixelateTool, Tool>(Tool*);
template RasterTools::UnsharpMaskTool* Kernel::fast_dynamic_cast<RasterTools::UnsharpMaskTool, Tool>(Tool*);
template NewClarityTool* Kernel::fast_dynamic_cast<NewClarityTool, Tool>(Tool*);
template SelectSampledColourTool* Kernel::fast_dynamic_cast<SelectSampledColourTool, Tool>(Tool*);
template SelectSampledDepthTool* Kernel::fast_dynamic_cast<SelectSampledDepthTool, Tool>(Tool*);
template RasterTools::GrowShrinkSelectionTool* Kernel::fast_dynamic_cast<RasterTools::GrowShrinkSelectionTool, Tool>(Tool*);
template RasterTools::OutlineSelectionTool* Kernel::fast_dynamic_cast<RasterTools::OutlineSelectionTool, Tool>(Tool*);
template RefineSelectionTool* Kernel::fast_dynamic_cast<RefineSelectionTool, Tool>(Tool*);
template FeatherSelectionTool* Kernel::fast_dynamic_cast<FeatherSelectionTool, Tool>(Tool*);
template SmoothSelectionTool* Kernel::fast_dynamic_cast<SmoothSelectionTool, Tool>(Tool*);
template RasterTools::DepthOfFieldTool* Kernel::fast_dynamic_cast<RasterTools::DepthOfFieldTool, Tool>(Tool*);
template RasterTools::FieldBlurTool* Kernel::fast_dynamic_cast<RasterTools::FieldBlurTool, Tool>(Tool*);
template RasterTools::ZMapBlurTool* Kernel::fast_dynamic_cast<RasterTools::ZMapBlurTool, Tool>(Tool*);
template DefringeTool* Kernel::fast_dynamic_cast<DefringeTool, Tool>(Tool*);
template DisplacementMapTool* Kernel::fast_dynamic_cast<DisplacementMapTool, Tool>(Tool*);
template MirrorTool* Kernel::fast_dynamic_cast<MirrorTool, Tool>(Tool*);
template RasterTools::ApplyImageTool* Kernel::fast_dynamic_cast<RasterTools::ApplyImageTool, Tool>(Tool*);
template MatteTool* Kernel::fast_dynamic_cast<MatteTool, Tool>(Tool*);
template RasterFillTool* Kernel::fast_dynamic_cast<RasterFillTool, Tool>(Tool*);
template CustomBlurTool* Kernel::fast_dynamic_cast<CustomBlurTool, Tool>(Tool*);
template RasterTools::RasterFadeRewindTool* Kernel::fast_dynamic_cast<RasterTools::RasterFadeRewindTool, Tool>(Tool*);
template RasterTools::LightingTool* Kernel::fast_dynamic_cast<RasterTools::LightingTool, Tool>(Tool*);
template RasterTools::AffineTool* Kernel::fast_dynamic_cast<RasterTools::AffineTool, Tool>(Tool*);
template NewShadowsHighlightsTool* Kernel::fast_dynamic_cast<NewShadowsHighlightsTool, Tool>(Tool*);
template RasterTools::VoronoiTool* Kernel::fast_dynamic_cast<RasterTools::VoronoiTool, Tool>(Tool*);
template RasterTools::AstroRemoveBackgroundTool* Kernel::fast_dynamic_cast<RasterTools::AstroRemoveBackgroundTool, Tool>(Tool*);
template MeshWarpTool* Kernel::fast_dynamic_cast<MeshWarpTool, Tool>(Tool*);

// Tools that the Develop persona and the shortcuts look for.
template DevelopTool* Kernel::fast_dynamic_cast<DevelopTool, Tool>(Tool*);
template FillTool* Kernel::fast_dynamic_cast<FillTool, Tool>(Tool*);
template PlaceTool* Kernel::fast_dynamic_cast<PlaceTool, Tool>(Tool*);

// Tests of the current tool for the context menus.
template TextTool const* Kernel::fast_dynamic_cast<TextTool const, Tool>(Tool*);
template SelectTool const* Kernel::fast_dynamic_cast<SelectTool const, Tool>(Tool*);
template SelectExportableTool const* Kernel::fast_dynamic_cast<SelectExportableTool const, Tool>(Tool*);
template ViewTool const* Kernel::fast_dynamic_cast<ViewTool const, Tool>(Tool*);
template ZoomTool const* Kernel::fast_dynamic_cast<ZoomTool const, Tool>(Tool*);
template NodeTool const* Kernel::fast_dynamic_cast<NodeTool const, Tool>(Tool*);
template ShapeNodeTool const* Kernel::fast_dynamic_cast<ShapeNodeTool const, Tool>(Tool*);
template FillToolBase const* Kernel::fast_dynamic_cast<FillToolBase const, Tool>(Tool*);
template TransformTool const* Kernel::fast_dynamic_cast<TransformTool const, Tool>(Tool*);
template StrokeWidthTool const* Kernel::fast_dynamic_cast<StrokeWidthTool const, Tool>(Tool*);
template SliceTool const* Kernel::fast_dynamic_cast<SliceTool const, Tool>(Tool*);

// Tests of selection items.
template ConstRasterInterface const* Kernel::fast_dynamic_cast<ConstRasterInterface const, Selectable>(Selectable*);
template RasterNode const* Kernel::fast_dynamic_cast<RasterNode const, Selectable>(Selectable*);
template RasterNode* Kernel::fast_dynamic_cast<RasterNode, Selectable>(Selectable*);
template MutableRasterInterface* Kernel::fast_dynamic_cast<MutableRasterInterface, Selectable>(Selectable*);
template Node* Kernel::fast_dynamic_cast<Node, Selectable>(Selectable*);
template Node const* Kernel::fast_dynamic_cast<Node const, Selectable>(Selectable*);
template ShapeNode const* Kernel::fast_dynamic_cast<ShapeNode const, Selectable>(Selectable*);

// The data of a table context menu.
template TableTextTool::ContextMenuData const* Kernel::fast_dynamic_cast<TableTextTool::ContextMenuData const, ContextMenuAdditionalData>(ContextMenuAdditionalData*);
