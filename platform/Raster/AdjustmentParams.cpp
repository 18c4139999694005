#include "Raster/AdjustmentParams.h"

#include <cstdio>

#include "DocSession/RecordPrinter.h"

namespace Raster {
namespace {
using CallLog::RecordPrinter;

std::string Text(const Kernel::StringT<Kernel::TEncUtf8>& s) { return "\"" + std::string(s.View()) + "\""; }

std::string Cube(const Kernel::Counted<ColourCubeRGB>& c) { return c ? "<ColourCubeRGB>" : "null"; }

std::string Profile(const Kernel::Counted<ICCProfile>& p) {
    return p ? "<ICCProfile " + Text(p->GetName()) + ">" : "null";
}

std::string SplineOf(const Kernel::Counted<Geometry::Spline>& s) {
    return s ? "<Spline profile " + std::to_string(static_cast<int>(s->GetProfile())) + ">" : "null";
}

// Every record that begins with the leading fields prints them first, as one field.
RecordPrinter Led(std::string_view type, const LeadingParams& p) {
    RecordPrinter r(type);
    r.Field("leading", Describe(p));
    return r;
}
}  // namespace

std::string Describe(const LeadingParams& p) {
    std::string bytes;
    char hex[3];
    for (uint8_t b : p.bytes) {
        std::snprintf(hex, sizeof hex, "%02x", b);
        bytes += hex;
    }
    return RecordPrinter("")
        .Field("values", "[" + std::to_string(p.values[0]) + ", " + std::to_string(p.values[1]) + ", " +
                             std::to_string(p.values[2]) + ", " + std::to_string(p.values[3]) + "]")
        .Field("bytes", bytes)
        .Int("byte0", p.byte0)
        .Int("byte1", p.byte1)
        .Field("last", std::to_string(p.last))
        .Done();
}

std::string Describe(const Exposure::Params& p) {
    return RecordPrinter("Raster::Exposure::Params").Float("exposure", p.exposure).Float("gamma", p.gamma).Done();
}

std::string Describe(const LUT3D::Params& p) {
    return Led("Raster::LUT3D::Params", p).Field("cube", Cube(p.cube)).Done();
}

std::string Describe(const OCIOConvert::Params& p) {
    return Led("Raster::OCIOConvert::Params", p)
        .Field("source", Text(p.source))
        .Field("destination", Text(p.destination))
        .Done();
}

std::string Describe(const Posterise::Params& p) {
    return RecordPrinter("Raster::Posterise::Params").Int("levels", p.levels).Done();
}

std::string Describe(const Threshold::Params& p) {
    return RecordPrinter("Raster::Threshold::Params")
        .Float("threshold", p.threshold)
        .Float("low", p.low)
        .Float("high", p.high)
        .Done();
}

std::string Describe(const Levels::Params& p) {
    return RecordPrinter("Raster::Levels::Params")
        .Float("inputBlack", p.inputBlack)
        .Float("inputWhite", p.inputWhite)
        .Float("gamma", p.gamma)
        .Float("outputBlack", p.outputBlack)
        .Float("outputWhite", p.outputWhite)
        .Floats("channelInputBlack", p.channelInputBlack, 5)
        .Floats("channelInputWhite", p.channelInputWhite, 5)
        .Floats("channelGamma", p.channelGamma, 5)
        .Floats("channelOutputBlack", p.channelOutputBlack, 5)
        .Floats("channelOutputWhite", p.channelOutputWhite, 5)
        .Int("channel", p.channel)
        .Flag("perChannel", p.perChannel)
        .Done();
}

std::string Describe(const Curves::Params& p) {
    std::string splines = "[";
    for (int i = 0; i < 6; ++i) splines += (i ? ", " : "") + SplineOf(p.splines[i]);
    return RecordPrinter("Raster::Curves::Params")
        .Field("splines", splines + "]")
        .Float("inputMinimum", p.inputMinimum)
        .Float("inputMaximum", p.inputMaximum)
        .Done();
}

std::string Describe(const BrightnessContrast::Params& p) {
    return RecordPrinter("Raster::BrightnessContrast::Params")
        .Float("scale", p.scale)
        .Float("brightness", p.brightness)
        .Float("contrast", p.contrast)
        .Flag("legacy", p.legacy)
        .Done();
}

std::string Describe(const ColourBalance::Params& p) {
    return Led("Raster::ColourBalance::Params", p)
        .Floats("shadows", p.shadows, 3)
        .Floats("midtones", p.midtones, 3)
        .Floats("highlights", p.highlights, 3)
        .Flag("preserveLuminosity", p.preserveLuminosity)
        .Done();
}

std::string Describe(const ChannelMixer::Params& p) {
    return Led("Raster::ChannelMixer::Params", p).Floats("matrix", p.matrix, 30).Done();
}

std::string Describe(const BlackAndWhite::Params& p) {
    return Led("Raster::BlackAndWhite::Params", p).Floats("weights", p.weights, 6).Done();
}

std::string Describe(const SoftProof::Params& p) {
    return Led("Raster::SoftProof::Params", p)
        .Field("proofProfile", Profile(p.proofProfile))
        .Int("intent", p.intent)
        .Field("outputProfile", Profile(p.outputProfile))
        .Int("proofIntent", p.proofIntent)
        .Int("outputIntent", p.outputIntent)
        .Int("blackPointCompensation", p.blackPointCompensation)
        .Done();
}

std::string Describe(const SelectiveColour::Params& p) {
    return Led("Raster::SelectiveColour::Params", p)
        .Int("mode", p.mode)
        .Floats("values", p.values, 36)
        .Flag("relative", p.relative)
        .Done();
}

std::string Describe(const LensFilter::Params& p) {
    const PixelRGBA8& c = p.colour.GetRGBA8();
    return Led("Raster::LensFilter::Params", p)
        .Field("colour", "RGBA8(" + std::to_string(c.c[0]) + ", " + std::to_string(c.c[1]) + ", " +
                             std::to_string(c.c[2]) + ", " + std::to_string(c.c[3]) + ")")
        .Float("density", p.density)
        .Flag("preserveLuminosity", p.preserveLuminosity)
        .Done();
}

std::string Describe(const SplitToning::Params& p) {
    return Led("Raster::SplitToning::Params", p)
        .Float("highlightHue", p.highlightHue)
        .Float("highlightSaturation", p.highlightSaturation)
        .Float("shadowHue", p.shadowHue)
        .Float("shadowSaturation", p.shadowSaturation)
        .Float("balance", p.balance)
        .Done();
}

std::string Describe(const TransformNormals::Params& p) {
    return Led("Raster::TransformNormals::Params", p)
        .Float("angle", p.angle)
        .Float("strength", p.strength)
        .Int("flip", p.flip)
        .Done();
}

std::string Describe(ColourSpace space) { return std::to_string(static_cast<int32_t>(space)); }

}  // namespace Raster
