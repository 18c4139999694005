#include "DocSession/AdjustmentNodes.h"

#include "DocSession/RecordPrinter.h"

using CallLog::RecordPrinter;

GradientMapAdjustmentRasterNode::Params::Params() : gradient(Kernel::MakeCounted<Gradient>()) {}

std::string Describe(const HSLShiftAdjustmentRasterNode::Params& p) {
    std::string ranges = "[";
    for (int g = 0; g < 6; ++g) {
        ranges += g ? ", [" : "[";
        for (int i = 0; i < 4; ++i) ranges += (i ? ", " : "") + CallLog::Number(p.ranges[g * 4 + i]);
        ranges += "]";
    }
    return RecordPrinter("HSLShiftAdjustmentRasterNode::Params")
        .Int("mode", p.mode)
        .Ints("shifts", p.shifts, 21)
        .Field("ranges", ranges + "]")
        .Flag("colourise", p.colourise)
        .Done();
}

std::string Describe(const RecolourAdjustmentRasterNode::Params& p) {
    return RecordPrinter("RecolourAdjustmentRasterNode::Params")
        .Float("hue", p.hue)
        .Float("saturation", p.saturation)
        .Float("lightness", p.lightness)
        .Done();
}

std::string Describe(const VibranceAdjustmentRasterNode::Params& p) {
    return RecordPrinter("VibranceAdjustmentRasterNode::Params")
        .Int("mode", p.mode)
        .Float("vibrance", p.vibrance)
        .Float("saturation", p.saturation)
        .Done();
}

std::string Describe(const WhiteBalanceAdjustmentRasterNode::Params& p) {
    return RecordPrinter("WhiteBalanceAdjustmentRasterNode::Params")
        .Int("mode", p.mode)
        .Float("temperature", p.temperature)
        .Float("tint", p.tint)
        .Done();
}

std::string Describe(const GradientMapAdjustmentRasterNode::Params& p) {
    return RecordPrinter("GradientMapAdjustmentRasterNode::Params")
        .Field("gradient", p.gradient ? "<Gradient>" : "null")
        .Float("opacity", p.opacity)
        .Done();
}

std::string Describe(const ShadowsHighlightsAdjustmentRasterNode::Params& p) {
    return RecordPrinter("ShadowsHighlightsAdjustmentRasterNode::Params")
        .Float("shadows", p.shadows)
        .Float("highlights", p.highlights)
        .Done();
}

namespace {
Kernel::Consolidated<Renderer::ColourRGB> Preset(float r, float g, float b, float alpha = 1) {
    return Kernel::Consolidated<Renderer::ColourRGB>(Renderer::ColourRGB{r, g, b, alpha});
}
}  // namespace

Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Red() { return Preset(1, 0.25f, 0.25f); }
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Orange() { return Preset(1, 0.5f, 0); }
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Yellow() { return Preset(1, 0.875f, 0); }
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Green() { return Preset(0.25f, 0.75f, 0.25f); }
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Blue() { return Preset(0.25f, 0.5f, 1); }
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Purple() { return Preset(0.625f, 0.375f, 0.875f); }
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Grey() { return Preset(0.5f, 0.5f, 0.5f); }
// The clear tag is a colour too: fully transparent, so the engine removes the tag.
Kernel::Consolidated<Renderer::ColourRGB> NodeTagColourPresets::Clear() { return Preset(0, 0, 0, 0); }
