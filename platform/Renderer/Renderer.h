// The rendering library's colour and blend-mode types, as far as the menu commands pass them.
#pragma once
#include <string>

namespace Renderer {

struct ColourRGB {
    float r = 0;
    float g = 0;
    float b = 0;
    float alpha = 1;
};
std::string Describe(const ColourRGB& colour);

// A colour in any of the document colour spaces.
struct Colour {
    int space = 0;
    float components[5] = {};
    float alpha = 1;
};
std::string Describe(const Colour& colour);

struct FillBlendMode {
    // The modes the user interface names; other values pass through to the engine unchanged.
    enum BlendMode : int {
        Normal = 0, Darken, DarkerColour, Multiply, ColourBurn, LinearBurn, Lighten, LighterColour, Screen,
        ColourDodge, Add, Overlay, SoftLight, HardLight, VividLight, PinLight, LinearLight, HardMix, Difference,
        Exclusion, Subtract, Divide, Hue, Saturation, Luminosity, Colour, Average, Negation, Reflect, Glow,
        ContrastNegate, Erase
    };
};

}  // namespace Renderer
