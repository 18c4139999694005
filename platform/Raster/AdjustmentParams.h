// Parameter records of the raster library's adjustments, as the pixel menu fills them for new
// adjustment layers. The engine owns their meaning; the stand-in prints them field by field.
#pragma once
#include <cstdint>
#include <string>

#include "Geometry/Spline.h"
#include "Kernel/Counted.h"
#include "Kernel/LiveCount.h"
#include "Kernel/String.h"
#include "Raster/DynamicPixel.h"
#include "Raster/ICCManager.h"

namespace Raster {

enum ColourSpace : int32_t {};

// A 3D colour look-up cube; a default cube is the identity.
class ColourCubeRGB : public Kernel::Countable, public Kernel::LiveCount<ColourCubeRGB> {};

// The fields several records begin with: four 64-bit values, 16 further bytes, two single bytes
// and one more 64-bit value.
struct LeadingParams {
    uint64_t values[4] = {0, 0, 0, 0};
    uint8_t bytes[16] = {};
    uint8_t byte0 = 0;
    uint8_t byte1 = 0;
    uint64_t last = 0;
};
std::string Describe(const LeadingParams& p);

namespace Exposure {
struct Params {
    float exposure = 0;
    float gamma = 0;
};
}  // namespace Exposure

namespace LUT3D {
struct Params : LeadingParams {
    Kernel::Counted<ColourCubeRGB> cube;
};
}  // namespace LUT3D

namespace OCIOConvert {
struct Params : LeadingParams {
    Params(uint64_t a, uint64_t b, uint64_t c, uint64_t d) : LeadingParams{{a, b, c, d}} {}
    Kernel::StringT<Kernel::TEncUtf8> source;
    Kernel::StringT<Kernel::TEncUtf8> destination;
};
}  // namespace OCIOConvert

namespace Posterise {
struct Params {
    int32_t levels = 0;
};
}  // namespace Posterise

namespace Threshold {
struct Params {
    float threshold = 0;
    float low = 0;
    float high = 0;
};
}  // namespace Threshold

namespace Levels {
struct Params {
    float inputBlack = 0;
    float inputWhite = 0;
    float gamma = 0;
    float outputBlack = 0;
    float outputWhite = 0;
    float channelInputBlack[5] = {};
    float channelInputWhite[5] = {};
    float channelGamma[5] = {};
    float channelOutputBlack[5] = {};
    float channelOutputWhite[5] = {};
    int32_t channel = 0;
    bool perChannel = false;
};
}  // namespace Levels

namespace Curves {
struct Params {
    Kernel::Counted<Geometry::Spline> splines[6];
    float inputMinimum = 0;
    float inputMaximum = 0;
};
}  // namespace Curves

namespace BrightnessContrast {
struct Params {
    float scale = 0;
    float brightness = 0;
    float contrast = 0;
    bool legacy = false;
};
}  // namespace BrightnessContrast

namespace ColourBalance {
struct Params : LeadingParams {
    float shadows[3] = {};
    float midtones[3] = {};
    float highlights[3] = {};
    bool preserveLuminosity = false;
};
}  // namespace ColourBalance

namespace ChannelMixer {
struct Params : LeadingParams {
    float* matrix = nullptr;  // 30 values, five rows of six; the filler allocates and frees it
};
}  // namespace ChannelMixer

namespace BlackAndWhite {
struct Params : LeadingParams {
    float weights[6] = {};
};
}  // namespace BlackAndWhite

namespace SoftProof {
struct Params : LeadingParams {
    Params(uint64_t a, uint64_t b, uint64_t c, uint64_t d) : LeadingParams{{a, b, c, d}} {}
    Kernel::Counted<ICCProfile> proofProfile;
    int32_t intent = 0;
    Kernel::Counted<ICCProfile> outputProfile;
    int32_t proofIntent = 0;
    int32_t outputIntent = 0;
    int16_t blackPointCompensation = 0;
};
}  // namespace SoftProof

namespace SelectiveColour {
struct Params : LeadingParams {
    int16_t mode = 0;
    float* values = nullptr;  // 36 values; the filler allocates and frees it
    bool relative = false;
};
}  // namespace SelectiveColour

namespace LensFilter {
struct Params : LeadingParams {
    DynamicPixel colour;
    float density = 0;
    bool preserveLuminosity = false;
};
}  // namespace LensFilter

namespace SplitToning {
struct Params : LeadingParams {
    float highlightHue = 0;
    float highlightSaturation = 0;
    float shadowHue = 0;
    float shadowSaturation = 0;
    float balance = 0;
};
}  // namespace SplitToning

namespace TransformNormals {
struct Params : LeadingParams {
    float angle = 0;
    float strength = 0;
    int16_t flip = 0;
};
}  // namespace TransformNormals

std::string Describe(const Exposure::Params& p);
std::string Describe(const LUT3D::Params& p);
std::string Describe(const OCIOConvert::Params& p);
std::string Describe(const Posterise::Params& p);
std::string Describe(const Threshold::Params& p);
std::string Describe(const Levels::Params& p);
std::string Describe(const Curves::Params& p);
std::string Describe(const BrightnessContrast::Params& p);
std::string Describe(const ColourBalance::Params& p);
std::string Describe(const ChannelMixer::Params& p);
std::string Describe(const BlackAndWhite::Params& p);
std::string Describe(const SoftProof::Params& p);
std::string Describe(const SelectiveColour::Params& p);
std::string Describe(const LensFilter::Params& p);
std::string Describe(const SplitToning::Params& p);
std::string Describe(const TransformNormals::Params& p);
std::string Describe(ColourSpace space);

}  // namespace Raster
