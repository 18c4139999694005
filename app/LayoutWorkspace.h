// The Quirevale persona's workspace.
#pragma once
#include "UIFramework/WorkspaceInfo.h"
#include "app/StudioLayout.h"
#include "menus/ContextMenuController.h"
#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"

class LayoutWorkspace : public WorkspaceInfo {
    QV_OBJECT(LayoutWorkspace)
public:
    ~LayoutWorkspace() override;
    NSObject* init() override;
    void startup() override;
    void shutdown() override;
    void resetMenusAndKeys() override;
    NSObject* studioController() const override;
    NSObject* keyboardAcceleratorController() const override;
    NSObject* contextMenuController() const override;
    Ref<NSString> localisedName() override;

    bool allowTextRuler(bool) { return true; }
    bool allowTextFramePanel(bool) { return true; }
    bool canCreatePathText(bool) { return true; }
    bool canCreateTextColumns(bool) { return true; }
    bool allowTableText(bool) { return true; }
    bool allowViewRotation(bool) { return false; }
    BOOL allowContextChooser() { return YES; }

private:
    Ref<StudioLayout> m_studioController;
    Ref<LayoutToolsKeyboardAcceleratorPopulator> m_keyboardAccelerator;
    Ref<ContextMenuController> m_contextMenuController;
};
