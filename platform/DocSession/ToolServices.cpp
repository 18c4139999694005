#include "ToolServices.h"

#include <sys/stat.h>
#include <unistd.h>

#include "CallLog.h"
#include "Kernel/FileSystem.h"

Kernel::LocalisedString GetToolIDDescription(ToolID id) {
    return Kernel::LocalisedString(Kernel::String("Tool " + std::to_string(id)), Kernel::String("Tool"));
}

void DevelopTool::SetMode(Mode mode) {
    CallLog::Call("DevelopTool::SetMode", static_cast<int>(mode));
    m_mode = mode;
}

void AssetDropper::SetObject(Kernel::Counted<Node> node, Kernel::Counted<StyleSheet> styleSheet) {
    CallLog::Call("AssetDropper::SetObject", CallLog::Raw{node ? "<node " + node->GetDescription(true) + ">" : "null"},
                  CallLog::Raw{styleSheet ? "<style sheet>" : "null"});
    m_object = std::move(node);
}

namespace Kernel {
Counted<DataSource> DataSourceFactory::CreateDataSourceFromPath(const String& path, const String& rawData) {
    std::string p = path.ToStd();
    CallLog::Call("Kernel::DataSourceFactory::CreateDataSourceFromPath", std::string_view(p), rawData.ToStd().size());
    // Only a readable regular file makes a source; nothing is read until the content is wanted.
    if (p.empty() || !FileSystem::IsFile(Path(p)) || ::access(p.c_str(), R_OK) != 0) return {};
    return MakeCounted<DataSource>(p);
}
}  // namespace Kernel

namespace Kestrane {

namespace {
std::map<ToolID, ToolID>& GeneralIDs() {
    static auto* ids = new std::map<ToolID, ToolID>;
    return *ids;
}
}  // namespace

ToolID GetGeneralToolID(ToolID id) {
    auto it = GeneralIDs().find(id);
    return it == GeneralIDs().end() ? id : it->second;
}
void SetGeneralToolIDForTesting(ToolID id, ToolID general) { GeneralIDs()[id] = general; }
void ResetGeneralToolIDs() { GeneralIDs().clear(); }

Kernel::LocalisedString UIRendererFillBlendModes::GetText(Renderer::FillBlendMode::BlendMode mode) {
    static const char* const texts[] = {
        "Normal",      "Darken",      "Darker Colour", "Multiply",   "Colour Burn",  "Linear Burn",  "Lighten",
        "Lighter Colour", "Screen",   "Colour Dodge",  "Add",        "Overlay",      "Soft Light",   "Hard Light",
        "Vivid Light", "Pin Light",   "Linear Light",  "Hard Mix",   "Difference",   "Exclusion",    "Subtract",
        "Divide",      "Hue",         "Saturation",    "Luminosity", "Colour",       "Average",      "Negation",
        "Reflect",     "Glow",        "Contrast Negate", "Erase"};
    if (mode < 0 || mode >= static_cast<int>(std::size(texts))) return {};
    return Kernel::LocalisedString(Kernel::String(texts[mode]), Kernel::String("Blend mode"));
}

Kernel::Counted<Node> CommonBaseTarget::CreateNodeForEmbed(Kernel::Counted<DocumentController const> document,
                                                           Kernel::Counted<Kernel::DataSource> source) {
    CallLog::Call("Kestrane::CommonBaseTarget::CreateNodeForEmbed", document,
                  CallLog::Raw{source ? "<data source " + source->GetPath() + ">" : "null"});
    if (!source) return {};
    struct stat st {};
    if (::stat(source->GetPath().c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0) return {};
    std::string name = source->GetPath();
    if (auto slash = name.rfind('/'); slash != std::string::npos) name = name.substr(slash + 1);
    return Kernel::MakeCounted<Node>(name);
}

}  // namespace Kestrane
