// Engine services around tools: their descriptions and general ids, the blend-mode texts, and
// making a node from a file to place.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "DocumentController.h"
#include "Kernel/Counted.h"
#include "Kernel/LocalisedString.h"
#include "Kernel/String.h"
#include "Tools.h"

// The engine's localised description of a tool id.
Kernel::LocalisedString GetToolIDDescription(ToolID id);

namespace Renderer {
struct FillBlendMode {
    enum BlendMode : int32_t {
        Normal = 0, Darken, DarkerColour, Multiply, ColourBurn, LinearBurn, Lighten, LighterColour, Screen,
        ColourDodge, Add, Overlay, SoftLight, HardLight, VividLight, PinLight, LinearLight, HardMix, Difference,
        Exclusion, Subtract, Divide, Hue, Saturation, Luminosity, Colour, Average, Negation, Reflect, Glow,
        ContrastNegate, Erase
    };
};
}  // namespace Renderer

namespace Kernel {

// Where a document's content comes from: here, a file.
class DataSource : public Countable {
public:
    explicit DataSource(std::string path) : m_path(std::move(path)) {}
    const std::string& GetPath() const { return m_path; }

private:
    std::string m_path;
};

class DataSourceFactory {
public:
    // Empty when the path names no readable file. The raw data, when given, is read instead.
    static Counted<DataSource> CreateDataSourceFromPath(const String& path, const String& rawData);
};

}  // namespace Kernel

namespace Kestrane {

// A variant of a tool answers the id of the tool it is a variant of; other tools their own id.
ToolID GetGeneralToolID(ToolID id);
// Stand-in: makes GetGeneralToolID answer general for id (tests); cleared by ResetGeneralToolIDs.
void SetGeneralToolIDForTesting(ToolID id, ToolID general);
void ResetGeneralToolIDs();

class UIRendererFillBlendModes {
public:
    // The display text of the mode; an unknown mode gives empty text.
    static Kernel::LocalisedString GetText(Renderer::FillBlendMode::BlendMode mode);
};

class CommonBaseTarget {
public:
    // A node holding the data source's content, for embedding in the document; empty when the
    // source is empty or holds nothing (the stand-in: an empty file).
    static Kernel::Counted<Node> CreateNodeForEmbed(Kernel::Counted<DocumentController const> document,
                                                    Kernel::Counted<Kernel::DataSource> source);
};

}  // namespace Kestrane
