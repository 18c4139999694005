#include "Renderer/Renderer.h"

#include "DocSession/RecordPrinter.h"

namespace Renderer {

std::string Describe(const ColourRGB& colour) {
    return "ColourRGB{" + CallLog::Number(colour.r) + ", " + CallLog::Number(colour.g) + ", " +
           CallLog::Number(colour.b) + ", " + CallLog::Number(colour.alpha) + "}";
}

}  // namespace Renderer
