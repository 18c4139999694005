// The Drovanel persona's workspace.
#pragma once
#include "UIFramework/WorkspaceInfo.h"
#include "app/StudioVector.h"
#include "menus/ContextMenuController.h"
#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

class VectorWorkspace : public WorkspaceInfo {
    QV_OBJECT(VectorWorkspace)
public:
    ~VectorWorkspace() override;
    NSObject* init() override;
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
    bool supportsCreateArtboards(bool) { return true; }
    bool supportGridPlanes(bool) { return true; }
    BOOL allowContextChooser() { return YES; }
    BOOL supportsTextureOnStroke() { return YES; }

private:
    Ref<StudioVector> m_studioController;
    Ref<VectorToolsKeyboardAcceleratorPopulator> m_keyboardAcceleratorController;
    Ref<ContextMenuController> m_contextMenuController;
};
