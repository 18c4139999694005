// The Tavik persona's workspace.
#pragma once
#include "UIFramework/WorkspaceInfo.h"
#include "app/StudioRaster.h"
#include "menus/ContextMenuController.h"
#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"

class RasterWorkspace : public WorkspaceInfo {
    QV_OBJECT(RasterWorkspace)
public:
    ~RasterWorkspace() override;
    NSObject* init() override;
    // The start tool is the argument; plain init starts with tool 0.
    RasterWorkspace* initWithToolID(int32_t tool);
    // Allocates and sends initWithToolID:; nil when the framework refuses the persona.
    static Ref<RasterWorkspace> NewWithToolID(int32_t tool);
    void startup() override;
    void shutdown() override;
    void resetMenusAndKeys() override;
    NSObject* studioController() const override;
    NSObject* keyboardAcceleratorController() const override;
    NSObject* contextMenuController() const override;
    Ref<NSString> localisedName() override;

    bool allowTextRuler(bool) { return false; }
    bool allowTextFramePanel(bool) { return false; }
    bool canCreatePathText(bool) { return true; }
    bool allowTableText(bool) { return false; }
    bool exposeHistorySnapshots(bool) { return true; }
    bool shouldGenerateHistograms(bool) { return true; }
    bool supportLiveFilters(bool) { return true; }
    bool supportLiveMasks(bool) { return true; }
    bool prefersPixelSelections(bool) { return true; }
    bool allowRasterSelectionInLayersPage() { return true; }
    bool prefersLinkageEditor() { return true; }
    BOOL allowContextChooser() { return YES; }

private:
    Ref<StudioRaster> m_studioController;
    Ref<RasterToolsKeyboardAcceleratorPopulator> m_keyboardAcceleratorController;
    Ref<ContextMenuController> m_contextMenuController;
};
