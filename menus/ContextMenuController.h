// Owner of a workspace's canvas context menus, loaded from the "ContextMenu" resource.
#pragma once
#include <mutex>
#include <vector>

#include "AppKit/NSView.h"
#include "DocSession/DocumentController.h"
#include "DocSession/Selection.h"
#include "DocSession/Tools.h"
#include "Kernel/Counted.h"
#include "UIFramework/Protocols.h"

class ContextMenuController : public NSController, public ContextMenuDelegate {
    QV_OBJECT(ContextMenuController)
public:
    NSObject* init() override;
    // Releases the menus from the last outlet back to the first, then the resource's objects.
    ~ContextMenuController() override;

    // Outlets of the resource; atomic, as their readers may run on another thread.
    Ref<NSMenu> generalMenu() const { return Get(_generalMenu); }
    void setGeneralMenu(NSMenu* m) { Set(_generalMenu, m); }
    Ref<NSMenu> selectMenu() const { return Get(_selectMenu); }
    void setSelectMenu(NSMenu* m) { Set(_selectMenu, m); }
    Ref<NSMenu> selectExportableMenu() const { return Get(_selectExportableMenu); }
    void setSelectExportableMenu(NSMenu* m) { Set(_selectExportableMenu, m); }
    Ref<NSMenu> textMenu() const { return Get(_textMenu); }
    void setTextMenu(NSMenu* m) { Set(_textMenu, m); }
    Ref<NSMenu> paletteEditMenu() const { return Get(_paletteEditMenu); }
    void setPaletteEditMenu(NSMenu* m) { Set(_paletteEditMenu, m); }
    Ref<NSMenu> zoomMenu() const { return Get(_zoomMenu); }
    void setZoomMenu(NSMenu* m) { Set(_zoomMenu, m); }
    Ref<NSMenu> sliceMenu() const { return Get(_sliceMenu); }
    void setSliceMenu(NSMenu* m) { Set(_sliceMenu, m); }
    Ref<NSMenu> advancedTextMenu() const { return Get(_advancedTextMenu); }
    void setAdvancedTextMenu(NSMenu* m) { Set(_advancedTextMenu, m); }
    NSArray* topLevelObjects() const { return m_topLevelObjects.get(); }

    // The menu for the current view's tool and selection; nil for none. The argument is not read.
    Ref<NSMenu> getContextMenuForSelectionInView(NSObject* view);

    // Node menus.
    void addNode(Kernel::JailCounted<Node> node, NSMenu* menu);
    void addNodeChildren(Kernel::JailCounted<Node> node, NSMenu* menu);

    // Shows the menu for the request at the mouse, or opens the table panel it asks for.
    void showContextMenu(NSObject* request);

    // Whether an item of the canvas context menus is enabled now; hides those that make no sense
    // for the selection.
    BOOL validateMenuItem(NSMenuItem* item);

    // Actions of the items the menus hold.
    void showNodesMenu(NSObject* sender);
    void doSpellingChange(NSObject* sender);
    void lookupWord(NSObject* sender);
    void openFieldEditor(NSObject* sender);
    void convertTextToField(NSObject* sender);
    void expandFields(NSObject* sender);
    void openAnchorProperties(NSObject* sender);
    void deleteNodeOnCurve(NSObject* sender);
    void deleteFitToCurveNodeOnCurve(NSObject* sender);

    // Preflight comments, picture frames, the selection box and conversions of the selection.
    void pointlessPreflightSubMenuSelector(NSObject* sender);
    void setPreflightComment(NSObject* sender);
    void clearPreflightComment(NSObject* sender);
    void doFrameProperties(NSObject* sender);
    void doScaleToMaxFit(NSObject* sender);
    void doScaleToMinFit(NSObject* sender);
    void doStretchToFit(NSObject* sender);
    void doNoneFit(NSObject* sender);
    void doAnchorToCentre(NSObject* sender);
    void doSizeFrameToContent(NSObject* sender);
    void doSetSelectionBox(NSObject* sender);
    void doConvertToCurves(NSObject* sender);
    void doConvertToPictureFrame(NSObject* sender);
    void doConvertToTextFrame(NSObject* sender);
    void moveSelectionToNewVectorLayer(NSObject* sender);

    // Swatches from the selection, object styles, the effects and transparency panels.
    void addToSwatchesFromBrushInterface(NSObject* sender);
    void addToSwatchesFromLineStyleInterface(NSObject* sender);
    void addToSwatchesFromBrushAndLine(NSObject* sender);
    void addToSwatchesFromBrushInterfaceAsGlobal(NSObject* sender);
    void addToSwatchesFromLineStyleInterfaceAsGlobal(NSObject* sender);
    void addToSwatchesFromBrushAndLineAsGlobal(NSObject* sender);
    void doCreateObjectStyle(NSObject* sender);
    void doEditFilterEffects(NSObject* sender);
    void doEditTransparency(NSObject* sender);

private:
    // Built from the story selection of the first selection item that qualifies.
    Ref<NSMenu> TextMenu(Story::Selection story, DocumentController& document,
                         const Kernel::Counted<Selection const>& selection, const Kernel::Counted<Tool>& tool);
    Ref<NSMenu> NodeMenu(const Selection& selection);
    // The table menus (kinds 2, 3, 6, 7 and 8) and the curve-node menu (kind 11).
    static Ref<NSMenu> TableMenu(int32_t kind, NSInteger itemTag);
    Ref<NSMenu> CurveNodeMenu();
    static Ref<NSMenu> Get(const Ref<NSMenu>& slot);
    static void Set(Ref<NSMenu>& slot, NSMenu* menu);

    Ref<NSArray> m_topLevelObjects;
    Ref<NSMenu> _generalMenu;
    Ref<NSMenu> _selectMenu;
    Ref<NSMenu> _selectExportableMenu;
    Ref<NSMenu> _textMenu;
    Ref<NSMenu> _paletteEditMenu;
    Ref<NSMenu> _zoomMenu;
    Ref<NSMenu> _sliceMenu;
    Ref<NSMenu> _advancedTextMenu;
};

// The selection's items that are nodes, in item order. Built once under the selection's lock and
// kept with it; every caller gets its own copy. Safe to call from any thread.
std::vector<Kernel::Counted<Node>> SelectionNodes(const Selection& selection);

// Whether some item of the selection is a node. The first such item (or none) is remembered in
// the selection, which is scanned once.
bool SelectionHasNode(const Selection& selection);
// Whether some item of the selection is a shape node.
bool SelectionHasShapeNode(const Selection& selection);

// Whether the current tool is of the class T (or derives from it); no for an empty handle.
template <class T>
bool IsToolOfClass(const Kernel::Counted<Tool>& tool);
extern template bool IsToolOfClass<NodeTool>(const Kernel::Counted<Tool>&);
extern template bool IsToolOfClass<ShapeNodeTool>(const Kernel::Counted<Tool>&);
extern template bool IsToolOfClass<FillToolBase>(const Kernel::Counted<Tool>&);
extern template bool IsToolOfClass<TransformTool>(const Kernel::Counted<Tool>&);
extern template bool IsToolOfClass<StrokeWidthTool>(const Kernel::Counted<Tool>&);
extern template bool IsToolOfClass<SliceTool>(const Kernel::Counted<Tool>&);
