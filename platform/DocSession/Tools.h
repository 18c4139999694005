// The engine's tool and selectable class hierarchy: the classes whose run-time type the
// application tests. Tools carry an id; everything else they do belongs to the engine.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "CallLog.h"
#include "Kernel/Counted.h"

using ToolID = int32_t;

class DocumentController;

class Tool : public Kernel::Countable {
public:
    explicit Tool(ToolID id = 0) : m_id(id) {}
    // A tool made for a document (or none) rather than looked up by id.
    explicit Tool(Kernel::NonCounted<DocumentController> document) : m_id(0), m_document(document) {}
    ToolID GetToolID() const { return m_id; }
    DocumentController* GetToolDocument() const { return m_document.Get(); }
    virtual const char* GetClassName() const { return "Tool"; }
    virtual bool CanEnqueueCommands() const { return m_canEnqueueCommands; }
    // Recorded in the call log, as are the two operations a closed context menu is followed by.
    virtual void ForceCursorInvalidate();
    virtual void OnContextMenuClosed();
    virtual void OnContextMenuFinished();
    // Whether the set-selection-box operation is available now; the stand-in's answer is settable.
    virtual bool CanSetSelectionBox() const { return m_canSetSelectionBox; }
    // Sets the selection box; recorded.
    virtual void SetSelectionBox();
    // Whether the selected curve nodes can be deleted now, and deleting them; both recorded. The
    // stand-in's answer to the query is settable.
    virtual bool CanDeleteSelectedNodes(bool flag) const;
    virtual void DeleteSelectedNodes(bool flag);
    void SetCanDeleteSelectedNodes(bool can) { m_canDeleteNodes = can; }
    void SetCanEnqueueCommands(bool can) { m_canEnqueueCommands = can; }
    void SetCanSetSelectionBox(bool can) { m_canSetSelectionBox = can; }
    // Whether the tool's state asks for the text context menu; the stand-in's answer is settable.
    virtual bool WantsTextContextMenu() const { return m_wantsTextContextMenu; }
    void SetWantsTextContextMenu(bool wants) { m_wantsTextContextMenu = wants; }

private:
    ToolID m_id;
    Kernel::NonCounted<DocumentController> m_document;
    bool m_wantsTextContextMenu = true;
    bool m_canEnqueueCommands = true;
    bool m_canSetSelectionBox = true;
    bool m_canDeleteNodes = true;
};

#define QV_TOOL_CLASS(Name, Base)                                       \
    class Name : public Base {                                          \
    public:                                                             \
        using Base::Base;                                               \
        const char* GetClassName() const override { return #Name; }     \
    };

// Filter and selection-modifying tools of the document library.
QV_TOOL_CLASS(GaussianTool, Tool)
QV_TOOL_CLASS(CameraShakeBlurTool, Tool)
QV_TOOL_CLASS(VignetteTool, Tool)
QV_TOOL_CLASS(RemoveVignetteTool, Tool)
QV_TOOL_CLASS(HighPassTool, Tool)
QV_TOOL_CLASS(FrequencySeparationTool, Tool)
QV_TOOL_CLASS(MedianTool, Tool)
QV_TOOL_CLASS(DustAndScratchesTool, Tool)
QV_TOOL_CLASS(ShearTool, Tool)
QV_TOOL_CLASS(BilateralTool, Tool)
QV_TOOL_CLASS(PerlinNoiseTool, Tool)
QV_TOOL_CLASS(PerspectiveTool, Tool)
QV_TOOL_CLASS(PinchPunchTool, Tool)
QV_TOOL_CLASS(RippleTool, Tool)
QV_TOOL_CLASS(LensDistortionTool, Tool)
QV_TOOL_CLASS(LensCorrectionTool, Tool)
QV_TOOL_CLASS(BoxTool, Tool)
QV_TOOL_CLASS(HalftoneTool, Tool)
QV_TOOL_CLASS(MaximumTool, Tool)
QV_TOOL_CLASS(MinimumTool, Tool)
QV_TOOL_CLASS(HazeRemovalTool, Tool)
QV_TOOL_CLASS(NoiseReductionTool, Tool)
QV_TOOL_CLASS(FFTDenoiseTool, Tool)
QV_TOOL_CLASS(PixelateTool, Tool)
QV_TOOL_CLASS(NewClarityTool, Tool)
QV_TOOL_CLASS(SelectSampledColourTool, Tool)
QV_TOOL_CLASS(SelectSampledDepthTool, Tool)
QV_TOOL_CLASS(FeatherSelectionTool, Tool)
QV_TOOL_CLASS(SmoothSelectionTool, Tool)
QV_TOOL_CLASS(DefringeTool, Tool)
QV_TOOL_CLASS(DisplacementMapTool, Tool)
QV_TOOL_CLASS(MirrorTool, Tool)
QV_TOOL_CLASS(MatteTool, Tool)
QV_TOOL_CLASS(RasterFillTool, Tool)
QV_TOOL_CLASS(CustomBlurTool, Tool)
QV_TOOL_CLASS(NewShadowsHighlightsTool, Tool)
QV_TOOL_CLASS(MeshWarpTool, Tool)

class RefineSelectionTool : public Tool {
public:
    using Tool::Tool;
    const char* GetClassName() const override { return "RefineSelectionTool"; }
    void SetRefiningMask(bool refining) {
        CallLog::Call("RefineSelectionTool::SetRefiningMask", static_cast<const Tool*>(this), refining);
        m_refiningMask = refining;
        ++m_setRefiningMaskCalls;
    }
    bool GetRefiningMask() const { return m_refiningMask; }
    int SetRefiningMaskCalls() const { return m_setRefiningMaskCalls; }

private:
    bool m_refiningMask = true;
    int m_setRefiningMaskCalls = 0;
};

// Classes of the raster-tools library are named with their namespace.
#define QV_RASTER_TOOL_CLASS(Name, Base)                                            \
    class Name : public Base {                                                      \
    public:                                                                         \
        using Base::Base;                                                           \
        const char* GetClassName() const override { return "RasterTools::" #Name; } \
    };

// Filter tools of the raster-tools library.
namespace RasterTools {
QV_RASTER_TOOL_CLASS(LensBlurTool, Tool)
QV_RASTER_TOOL_CLASS(DiffuseGlowTool, Tool)
QV_RASTER_TOOL_CLASS(MotionBlurTool, Tool)
QV_RASTER_TOOL_CLASS(EmbossTool, Tool)
QV_RASTER_TOOL_CLASS(PortraitBlurTool, Tool)
QV_RASTER_TOOL_CLASS(RadialBlurTool, Tool)
QV_RASTER_TOOL_CLASS(ZoomBlurTool, Tool)
QV_RASTER_TOOL_CLASS(TwirlTool, Tool)
QV_RASTER_TOOL_CLASS(DeformTool, Tool)
QV_RASTER_TOOL_CLASS(SphereTool, Tool)
QV_RASTER_TOOL_CLASS(EquationTransformTool, Tool)
QV_RASTER_TOOL_CLASS(ProceduralTextureTool, Tool)
QV_RASTER_TOOL_CLASS(NoiseTool, Tool)
QV_RASTER_TOOL_CLASS(DiffuseTool, Tool)
QV_RASTER_TOOL_CLASS(UnsharpMaskTool, Tool)
QV_RASTER_TOOL_CLASS(GrowShrinkSelectionTool, Tool)
QV_RASTER_TOOL_CLASS(OutlineSelectionTool, Tool)
QV_RASTER_TOOL_CLASS(DepthOfFieldTool, Tool)
QV_RASTER_TOOL_CLASS(FieldBlurTool, Tool)
QV_RASTER_TOOL_CLASS(ZMapBlurTool, Tool)
QV_RASTER_TOOL_CLASS(ApplyImageTool, Tool)
QV_RASTER_TOOL_CLASS(RasterFadeRewindTool, Tool)
QV_RASTER_TOOL_CLASS(LightingTool, Tool)
QV_RASTER_TOOL_CLASS(AffineTool, Tool)
QV_RASTER_TOOL_CLASS(VoronoiTool, Tool)
QV_RASTER_TOOL_CLASS(AstroRemoveBackgroundTool, Tool)
}  // namespace RasterTools

// Tools that the personas and context menus test for.
QV_TOOL_CLASS(FillToolBase, Tool)
QV_TOOL_CLASS(FillTool, FillToolBase)

class Node;
class StyleSheet : public Kernel::Countable {};

// The raw-development tool: it holds the develop operation open on a raw image's document; its
// mode says which part of the development the canvas edits.
class DevelopTool : public Tool {
public:
    using Tool::Tool;
    const char* GetClassName() const override { return "DevelopTool"; }
    // Commits the develop operation open on the tool's document; what that does is the engine's.
    virtual bool Commit();
    enum class Mode : int { Hand = 0, Zoom = 1, RedEye = 2, Blemish = 3, Brush = 4, Erase = 5, Gradient = 6,
                            Clone = 7, WhiteBalance = 8 };
    void SetMode(Mode mode);  // recorded
    Mode GetMode() const { return m_mode; }

private:
    Mode m_mode = Mode::Hand;
};

// The part of a tool that drops an asset (a node) on the canvas.
class AssetDropper {
public:
    void SetObject(Kernel::Counted<Node> node, Kernel::Counted<StyleSheet> styleSheet);  // recorded
    Node* GetObject() const { return m_object.Get(); }

private:
    Kernel::Counted<Node> m_object;
};

// The tool that places a file's content where the user clicks.
class PlaceTool : public Tool {
public:
    using Tool::Tool;
    const char* GetClassName() const override { return "PlaceTool"; }
    AssetDropper& GetAssetDropper() { return m_dropper; }

private:
    AssetDropper m_dropper;
};
QV_TOOL_CLASS(TextTool, Tool)
QV_TOOL_CLASS(SelectTool, Tool)
QV_TOOL_CLASS(SelectExportableTool, Tool)
QV_TOOL_CLASS(ViewTool, Tool)
QV_TOOL_CLASS(ZoomTool, Tool)
QV_TOOL_CLASS(NodeTool, Tool)
QV_TOOL_CLASS(ShapeNodeTool, NodeTool)
QV_TOOL_CLASS(TransformTool, Tool)
QV_TOOL_CLASS(StrokeWidthTool, Tool)
QV_TOOL_CLASS(SliceTool, Tool)

// One tool of each filter and selection-modifying class, in the pixel menu's order, with ids
// counting up from firstId: the tools a new pixel document offers.
std::vector<Kernel::Counted<Tool>> MakeFilterTools(ToolID firstId);

// Extra data that the engine hands over with a context-menu request.
class ContextMenuAdditionalData : public Kernel::Countable {
public:
    virtual ~ContextMenuAdditionalData() = default;
};

class TableTextTool : public TextTool {
public:
    using TextTool::TextTool;
    const char* GetClassName() const override { return "TableTextTool"; }
    class ContextMenuData : public ContextMenuAdditionalData {
    public:
        explicit ContextMenuData(int32_t index = 0) : m_tableIndex(index) {}
        // The row or column a one-row or one-column menu is for.
        int32_t m_tableIndex;
    };
};

// Selection items and the interfaces a node may offer.
class Selectable : public virtual Kernel::Countable {
public:
    virtual ~Selectable() = default;
    virtual std::string GetDescription(bool) const { return "Selectable"; }
};

class Node : public Selectable {
public:
    explicit Node(std::string description = "Node") : m_description(std::move(description)) {}
    std::string GetDescription(bool) const override { return m_description; }
    // Children in order: the first child, then each child's next sibling.
    Node* GetFirstChild() const { return m_children.empty() ? nullptr : m_children.front().Get(); }
    Node* GetNextSibling() const { return m_next; }
    void AppendChild(Kernel::Counted<Node> child) {
        if (!m_children.empty()) m_children.back()->m_next = child.Get();
        m_children.push_back(std::move(child));
    }

private:
    std::string m_description;
    std::vector<Kernel::Counted<Node>> m_children;
    Node* m_next = nullptr;
};

class ShapeNode : public Node {
public:
    using Node::Node;
};

// Raster access is counted with the node that offers it (one count shared by both).
class ConstRasterInterface : public virtual Kernel::Countable {
public:
    virtual ~ConstRasterInterface() = default;
    virtual int GetRasterFormat() const { return 0; }
};

class MutableRasterInterface : public ConstRasterInterface {
public:
    virtual void MarkRasterChanged() {}
};

// A pixel layer: a node that also offers raster access (the interface sits after the node base,
// so a cast to it moves the pointer).
class RasterNode : public Node, public MutableRasterInterface {
public:
    using Node::Node;
};

// A layer whose pixels can be read but not painted (a live filter's output).
class FilterRasterNode : public Node, public ConstRasterInterface {
public:
    using Node::Node;
};

// A mask whose pixels can be painted, though it is no pixel layer.
class MaskRasterNode : public Node, public MutableRasterInterface {
public:
    using Node::Node;
};
