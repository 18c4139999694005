// The stand-in pixel-command entry points: each records its call and keeps nothing, so the
// caller's counts are all that remain once it returns.
#include "RasterBaseTarget.h"

#include "CallLog.h"
#include "RecordPrinter.h"

namespace Kestrane {
namespace {
constexpr std::string_view kTarget = "Kestrane::RasterBaseTarget::";

CallLog::Raw Value(double v) { return {CallLog::Number(v)}; }
CallLog::Raw Blend(Renderer::FillBlendMode::BlendMode mode) { return {std::to_string(static_cast<int>(mode))}; }
CallLog::Raw Space(Raster::ColourSpace space) { return {Raster::Describe(space)}; }

// Records of both libraries print through their own Describe.
using ::Describe;
using Raster::Describe;

void Observe(std::string_view name, const void* params) {
    if (auto& observer = RasterBaseTarget::StandInParamsObserver()) observer(name, params);
}

template <class P>
void Adjustment(std::string_view name, const Kernel::Counted<Tool>& tool, const P& params, double value,
                Renderer::FillBlendMode::BlendMode mode) {
    CallLog::Call(std::string(kTarget) + std::string(name), tool, CallLog::Raw{Describe(params)}, Value(value), Blend(mode));
    Observe(name, &params);
}
template <class P>
void AdjustmentInSpace(std::string_view name, const Kernel::Counted<Tool>& tool, const P& params,
                       Raster::ColourSpace space, double value, Renderer::FillBlendMode::BlendMode mode) {
    CallLog::Call(std::string(kTarget) + std::string(name), tool, CallLog::Raw{Describe(params)}, Space(space),
                  Value(value), Blend(mode));
    Observe(name, &params);
}
}  // namespace

RasterBaseTarget::ParamsObserver& RasterBaseTarget::StandInParamsObserver() {
    static ParamsObserver observer;
    return observer;
}

#define QV_DEFINE_TOOL_OPERATION(Name) \
    void RasterBaseTarget::Name(Kernel::Counted<Tool> tool) { CallLog::Call("Kestrane::RasterBaseTarget::" #Name, tool); }
QV_RASTER_TOOL_OPERATIONS(QV_DEFINE_TOOL_OPERATION)
#undef QV_DEFINE_TOOL_OPERATION

void RasterBaseTarget::EnqueueAddGroupNodeWithTool(Kernel::Counted<Tool> tool, Kernel::StringT<Kernel::TEncUtf8>* name) {
    CallLog::Call("Kestrane::RasterBaseTarget::EnqueueAddGroupNodeWithTool", tool,
                  CallLog::Raw{name ? CallLog::Arg(*name) : "nullptr"});
}

void RasterBaseTarget::EnqueueColourTag(Kernel::Counted<Tool> tool, Kernel::Consolidated<Renderer::ColourRGB> colour) {
    CallLog::Call("Kestrane::RasterBaseTarget::EnqueueColourTag", tool,
                  CallLog::Raw{colour ? Renderer::Describe(colour.Get()) : "empty"});
}

#define QV_DEFINE_ADJUSTMENT(Kind, Params)                                                                        \
    void RasterBaseTarget::EnqueueAdd##Kind##AdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, Params params, \
                                                                          double value, Mode mode) {              \
        Adjustment("EnqueueAdd" #Kind "AdjustmentRasterNodeWithTool", tool, params, value, mode);                 \
    }
#define QV_DEFINE_ADJUSTMENT_IN_SPACE(Kind, Params)                                                                   \
    void RasterBaseTarget::EnqueueAdd##Kind##AdjustmentRasterNodeWithTool(                                            \
        Kernel::Counted<Tool> tool, Params params, Raster::ColourSpace space, double value, Mode mode) {              \
        AdjustmentInSpace("EnqueueAdd" #Kind "AdjustmentRasterNodeWithTool", tool, params, space, value, mode);       \
    }
QV_DEFINE_ADJUSTMENT(Exposure, Raster::Exposure::Params)
QV_DEFINE_ADJUSTMENT(LUT3D, Raster::LUT3D::Params)
QV_DEFINE_ADJUSTMENT(OCIO, Raster::OCIOConvert::Params)
QV_DEFINE_ADJUSTMENT(Posterise, Raster::Posterise::Params)
QV_DEFINE_ADJUSTMENT(Threshold, Raster::Threshold::Params)
QV_DEFINE_ADJUSTMENT_IN_SPACE(Levels, Raster::Levels::Params)
QV_DEFINE_ADJUSTMENT_IN_SPACE(Curves, Raster::Curves::Params)
QV_DEFINE_ADJUSTMENT(BrightnessContrast, Raster::BrightnessContrast::Params)
QV_DEFINE_ADJUSTMENT(HSLShift, HSLShiftAdjustmentRasterNode::Params)
QV_DEFINE_ADJUSTMENT(Recolour, RecolourAdjustmentRasterNode::Params)
QV_DEFINE_ADJUSTMENT(Vibrance, VibranceAdjustmentRasterNode::Params)
QV_DEFINE_ADJUSTMENT(WhiteBalance, WhiteBalanceAdjustmentRasterNode::Params)
QV_DEFINE_ADJUSTMENT(ColourBalance, Raster::ColourBalance::Params)
QV_DEFINE_ADJUSTMENT_IN_SPACE(ChannelMixer, Raster::ChannelMixer::Params)
QV_DEFINE_ADJUSTMENT(BlackAndWhite, Raster::BlackAndWhite::Params)
QV_DEFINE_ADJUSTMENT(SoftProof, Raster::SoftProof::Params)
QV_DEFINE_ADJUSTMENT(GradientMap, GradientMapAdjustmentRasterNode::Params)
QV_DEFINE_ADJUSTMENT(SelectiveColour, Raster::SelectiveColour::Params)
QV_DEFINE_ADJUSTMENT(ShadowsHighlights, ShadowsHighlightsAdjustmentRasterNode::Params)
QV_DEFINE_ADJUSTMENT(LensFilter, Raster::LensFilter::Params)
QV_DEFINE_ADJUSTMENT(SplitToning, Raster::SplitToning::Params)
QV_DEFINE_ADJUSTMENT(Normals, Raster::TransformNormals::Params)
#undef QV_DEFINE_ADJUSTMENT
#undef QV_DEFINE_ADJUSTMENT_IN_SPACE

void RasterBaseTarget::EnqueueAddInvertAdjustmentRasterNodeWithTool(Kernel::Counted<Tool> tool, double value, Mode mode) {
    CallLog::Call("Kestrane::RasterBaseTarget::EnqueueAddInvertAdjustmentRasterNodeWithTool", tool, Value(value), Blend(mode));
    Observe("EnqueueAddInvertAdjustmentRasterNodeWithTool", nullptr);
}

// ==== Live filters, merges, masks, selections and document commands: defined on their side ====

}  // namespace Kestrane
