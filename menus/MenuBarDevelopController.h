// Command controller of the Develop persona's main menu: it opens the Develop assistant's options
// and leaves every item's validation to the framework.
#pragma once
#include "AppKit/NSMenu.h"
#include "UIFramework/Panels.h"

class MenuBarDevelopController : public MenuBarController {
    QV_OBJECT(MenuBarDevelopController)
public:
    BOOL validateMenuItem(NSMenuItem* item) override;
    void doAssistantOptions(NSObject* sender);
};
