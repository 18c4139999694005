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
#include "RasterBaseTarget.h"
#include "Renderer/Renderer.h"
#include "Tools.h"

// The engine's localised description of a tool id.
Kernel::LocalisedString GetToolIDDescription(ToolID id);


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

}  // namespace Kestrane
