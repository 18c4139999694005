// The Develop persona's workspace.
#pragma once
#include "UIFramework/WorkspaceInfo.h"
#include "app/StudioDevelop.h"
#include "menus/ContextMenuController.h"
#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"

class DevelopWorkspace : public WorkspaceInfo {
    QV_OBJECT(DevelopWorkspace)
public:
    ~DevelopWorkspace() override;
    NSObject* init() override;
    // Never lets a persona action leave directly: offers to commit the develop operation first.
    BOOL canShutdown() override;
    void doRAWCommit();
    void startup() override;
    void shutdown() override;
    void resetMenusAndKeys() override;
    NSObject* studioController() const override;
    NSObject* keyboardAcceleratorController() const override;
    NSObject* contextMenuController() const override;
    Ref<NSString> localisedName() override;



private:
    Ref<StudioDevelop> m_studioController;
    Ref<DevelopToolsKeyboardAcceleratorPopulator> m_keyboardAcceleratorController;
    Ref<ContextMenuController> m_contextMenuController;
};
