// Parameter records of the document library's own adjustment layers, and the preset colours of
// layer tags. The stand-in prints the records field by field.
#pragma once
#include <cstdint>
#include <string>

#include "Kernel/Consolidated.h"
#include "Kernel/Counted.h"
#include "Kernel/LiveCount.h"
#include "Renderer/Renderer.h"

class HSLShiftAdjustmentRasterNode {
public:
    struct Params {
        int16_t mode = 0;
        int32_t shifts[21] = {};
        float ranges[24] = {};  // six groups of four
        bool colourise = false;
    };
};

class RecolourAdjustmentRasterNode {
public:
    struct Params {
        float hue = 0;
        float saturation = 0;
        float lightness = 0;
    };
};

class VibranceAdjustmentRasterNode {
public:
    struct Params {
        int32_t mode = 0;
        float vibrance = 0;
        float saturation = 0;
    };
};

class WhiteBalanceAdjustmentRasterNode {
public:
    struct Params {
        int32_t mode = 0;
        float temperature = 0;
        float tint = 0;
    };
};

// A colour gradient held by a gradient-map record.
class Gradient : public Kernel::Countable, public Kernel::LiveCount<Gradient> {};

class GradientMapAdjustmentRasterNode {
public:
    struct Params {
        // A new black-to-white gradient.
        Params();
        Kernel::Counted<Gradient> gradient;
        float opacity = 1;
    };
};

class ShadowsHighlightsAdjustmentRasterNode {
public:
    struct Params {
        float shadows = 0;
        float highlights = 0;
    };
};

std::string Describe(const HSLShiftAdjustmentRasterNode::Params& p);
std::string Describe(const RecolourAdjustmentRasterNode::Params& p);
std::string Describe(const VibranceAdjustmentRasterNode::Params& p);
std::string Describe(const WhiteBalanceAdjustmentRasterNode::Params& p);
std::string Describe(const GradientMapAdjustmentRasterNode::Params& p);
std::string Describe(const ShadowsHighlightsAdjustmentRasterNode::Params& p);

// The colours of the eight layer tags; each call answers a new counted colour.
class NodeTagColourPresets {
public:
    static Kernel::Consolidated<Renderer::ColourRGB> Red();
    static Kernel::Consolidated<Renderer::ColourRGB> Orange();
    static Kernel::Consolidated<Renderer::ColourRGB> Yellow();
    static Kernel::Consolidated<Renderer::ColourRGB> Green();
    static Kernel::Consolidated<Renderer::ColourRGB> Blue();
    static Kernel::Consolidated<Renderer::ColourRGB> Purple();
    static Kernel::Consolidated<Renderer::ColourRGB> Grey();
    static Kernel::Consolidated<Renderer::ColourRGB> Clear();
};
