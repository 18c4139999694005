// Document commands that the pixel persona's menu builds itself and hands to the command queue,
// and the nodes and values they carry. The engine owns what they do; the stand-in prints each
// with every argument it was built with.
#pragma once
#include <string>
#include <vector>

#include "DocumentCommand.h"
#include "Kernel/Consolidated.h"
#include "Kernel/Counted.h"
#include "Kernel/String.h"
#include "Renderer/Renderer.h"
#include "Selection.h"
#include "Tools.h"

namespace Raster {
enum BlendModeType : int {};
}  // namespace Raster

namespace Geometry {
// A curve in document coordinates.
class CurveDbl : public Kernel::Countable {};
}  // namespace Geometry

// A new, empty selection group (a scope).
class SelectionGroupNode : public Node {
public:
    SelectionGroupNode() : Node("SelectionGroupNode") {}
};

enum class NodeChildListType : int {};
enum class InsertionMode : int {};
enum class ApplyDefault : int {};

// Adds new nodes to the document's tree.
class AddChildNodesCommand : public DocumentCommand {
public:
    AddChildNodesCommand(bool a, NodeChildListType listType, bool b, bool c, bool d,
                         Kernel::Counted<Geometry::CurveDbl> curve, Kernel::Counted<Selection const> selection,
                         InsertionMode insertion, int index, ApplyDefault first, ApplyDefault second);
    void AddNode(Kernel::Counted<Node> const& node) { m_nodes.push_back(node); }
    const std::vector<Kernel::Counted<Node>>& GetNodes() const { return m_nodes; }
    std::string Describe() const override;

    // Set by callers after construction; no constructor argument reaches it.
    bool m_commandFlag = false;

private:
    bool m_flags[4];
    NodeChildListType m_listType;
    Kernel::Counted<Geometry::CurveDbl> m_curve;
    Kernel::Counted<Selection const> m_selection;
    InsertionMode m_insertion;
    int m_index;
    ApplyDefault m_applyDefaults[2];
    std::vector<Kernel::Counted<Node>> m_nodes;
};

enum class FillCommandMode : int {};

// Fills the raster selection (or the layer) with a colour.
class RasterFillCommand : public DocumentCommand {
public:
    RasterFillCommand(FillCommandMode mode, Kernel::Consolidated<Renderer::Colour> colour, double opacity,
                      Raster::BlendModeType blendMode)
        : m_mode(mode), m_colour(std::move(colour)), m_opacity(opacity), m_blendMode(blendMode) {}
    std::string Describe() const override;

private:
    FillCommandMode m_mode;
    Kernel::Consolidated<Renderer::Colour> m_colour;
    double m_opacity;
    Raster::BlendModeType m_blendMode;
};

// Keeps the document's present state as a named snapshot.
class AddDocumentSnapshotCommand : public DocumentCommand {
public:
    explicit AddDocumentSnapshotCommand(Kernel::StringT<Kernel::TEncUtf8> name) : m_name(std::move(name)) {}
    const Kernel::StringT<Kernel::TEncUtf8>& GetName() const { return m_name; }
    std::string Describe() const override;

private:
    Kernel::StringT<Kernel::TEncUtf8> m_name;
};

// Switches saving the document's history with the document on or off.
class SetSaveHistoryCommand : public DocumentCommand {
public:
    explicit SetSaveHistoryCommand(bool on) : m_on(on) {}
    std::string Describe() const override;

private:
    bool m_on;
};

// Shows or hides every text object of the document.
class ShowAllTextCommand : public DocumentCommand {
public:
    explicit ShowAllTextCommand(bool show) : m_show(show) {}
    std::string Describe() const override;

private:
    bool m_show;
};

// Stand-in for whichever command a document last ran that can be repeated: tests and the
// headless application name it; repeating it makes a RepeatedCommand of the same name.
class RepeatableCommand : public DocumentCommand {
public:
    explicit RepeatableCommand(std::string name, bool canRepeat = true)
        : m_name(std::move(name)), m_canRepeat(canRepeat) {}
    Kernel::LocalisedString GetDisplayName() const override { return Kernel::LocalisedString(m_name); }
    Kernel::Counted<DocumentCommand> CreateRepeatCommand() const override;
    std::string Describe() const override;

private:
    std::string m_name;
    bool m_canRepeat;
};

class RepeatedCommand : public DocumentCommand {
public:
    explicit RepeatedCommand(std::string name) : m_name(std::move(name)) {}
    std::string Describe() const override;

private:
    std::string m_name;
};
