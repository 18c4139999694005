#include "Tools.h"

namespace {
template <class T>
void Add(std::vector<Kernel::Counted<Tool>>& tools, ToolID& id) {
    tools.push_back(Kernel::MakeCounted<T>(id++));
}
}  // namespace

std::vector<Kernel::Counted<Tool>> MakeFilterTools(ToolID firstId) {
    std::vector<Kernel::Counted<Tool>> t;
    ToolID id = firstId;
    using namespace RasterTools;
    Add<GaussianTool>(t, id), Add<LensBlurTool>(t, id), Add<CameraShakeBlurTool>(t, id), Add<VignetteTool>(t, id);
    Add<RemoveVignetteTool>(t, id), Add<DiffuseGlowTool>(t, id), Add<HighPassTool>(t, id);
    Add<FrequencySeparationTool>(t, id), Add<MotionBlurTool>(t, id), Add<EmbossTool>(t, id);
    Add<PortraitBlurTool>(t, id), Add<RadialBlurTool>(t, id), Add<ZoomBlurTool>(t, id), Add<MedianTool>(t, id);
    Add<DustAndScratchesTool>(t, id), Add<ShearTool>(t, id), Add<BilateralTool>(t, id), Add<TwirlTool>(t, id);
    Add<PerlinNoiseTool>(t, id), Add<PerspectiveTool>(t, id), Add<DeformTool>(t, id), Add<PinchPunchTool>(t, id);
    Add<SphereTool>(t, id), Add<RippleTool>(t, id), Add<LensDistortionTool>(t, id), Add<LensCorrectionTool>(t, id);
    Add<EquationTransformTool>(t, id), Add<ProceduralTextureTool>(t, id), Add<BoxTool>(t, id);
    Add<HalftoneTool>(t, id), Add<MaximumTool>(t, id), Add<MinimumTool>(t, id), Add<HazeRemovalTool>(t, id);
    Add<NoiseReductionTool>(t, id), Add<FFTDenoiseTool>(t, id), Add<NoiseTool>(t, id), Add<DiffuseTool>(t, id);
    Add<PixelateTool>(t, id), Add<UnsharpMaskTool>(t, id), Add<NewClarityTool>(t, id);
    Add<SelectSampledColourTool>(t, id), Add<SelectSampledDepthTool>(t, id), Add<GrowShrinkSelectionTool>(t, id);
    Add<OutlineSelectionTool>(t, id), Add<RefineSelectionTool>(t, id), Add<FeatherSelectionTool>(t, id);
    Add<SmoothSelectionTool>(t, id), Add<DepthOfFieldTool>(t, id), Add<FieldBlurTool>(t, id);
    Add<ZMapBlurTool>(t, id), Add<DefringeTool>(t, id), Add<DisplacementMapTool>(t, id), Add<MirrorTool>(t, id);
    Add<ApplyImageTool>(t, id), Add<MatteTool>(t, id), Add<RasterFillTool>(t, id), Add<CustomBlurTool>(t, id);
    Add<RasterFadeRewindTool>(t, id), Add<LightingTool>(t, id), Add<AffineTool>(t, id);
    Add<NewShadowsHighlightsTool>(t, id), Add<VoronoiTool>(t, id), Add<AstroRemoveBackgroundTool>(t, id);
    Add<MeshWarpTool>(t, id);
    return t;
}
