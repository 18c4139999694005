#include "Tools.h"

namespace {
template <class... T>
std::vector<Kernel::Counted<Tool>> MakeTools(ToolID firstId) {
    std::vector<Kernel::Counted<Tool>> tools;
    ToolID id = firstId;
    (tools.push_back(Kernel::MakeCounted<T>(id++)), ...);
    return tools;
}
}  // namespace

std::vector<Kernel::Counted<Tool>> MakeFilterTools(ToolID firstId) {
    using namespace RasterTools;
    return MakeTools<
        GaussianTool, LensBlurTool, CameraShakeBlurTool, VignetteTool, RemoveVignetteTool, DiffuseGlowTool,
        HighPassTool, FrequencySeparationTool, MotionBlurTool, EmbossTool, PortraitBlurTool, RadialBlurTool,
        ZoomBlurTool, MedianTool, DustAndScratchesTool, ShearTool, BilateralTool, TwirlTool, PerlinNoiseTool,
        PerspectiveTool, DeformTool, PinchPunchTool, SphereTool, RippleTool, LensDistortionTool,
        LensCorrectionTool, EquationTransformTool, ProceduralTextureTool, BoxTool, HalftoneTool, MaximumTool,
        MinimumTool, HazeRemovalTool, NoiseReductionTool, FFTDenoiseTool, NoiseTool, DiffuseTool,
        PixelateTool, UnsharpMaskTool, NewClarityTool, SelectSampledColourTool, SelectSampledDepthTool,
        GrowShrinkSelectionTool, OutlineSelectionTool, RefineSelectionTool, FeatherSelectionTool,
        SmoothSelectionTool, DepthOfFieldTool, FieldBlurTool, ZMapBlurTool, DefringeTool,
        DisplacementMapTool, MirrorTool, ApplyImageTool, MatteTool, RasterFillTool, CustomBlurTool,
        RasterFadeRewindTool, LightingTool, AffineTool, NewShadowsHighlightsTool, VoronoiTool,
        AstroRemoveBackgroundTool, MeshWarpTool>(firstId);
}
