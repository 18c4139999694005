#include "Renderer/Renderer.h"

#include "DocSession/RecordPrinter.h"

namespace Renderer {

std::string Describe(const ColourRGB& colour) {
    return "ColourRGB{" + CallLog::Number(colour.r) + ", " + CallLog::Number(colour.g) + ", " +
           CallLog::Number(colour.b) + ", " + CallLog::Number(colour.alpha) + "}";
}

}  // namespace Renderer

namespace Renderer {

std::string Describe(const Colour& colour) {
    std::string s = "Colour{space=" + std::to_string(colour.space) + ", [";
    for (int i = 0; i < 5; ++i) s += (i ? ", " : "") + CallLog::Number(colour.components[i]);
    return s + "], alpha=" + CallLog::Number(colour.alpha) + "}";
}

}  // namespace Renderer
