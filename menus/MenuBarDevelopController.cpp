#include "menus/MenuBarDevelopController.h"
#include "app/UnitStatics.h"

QV_IMPLEMENT(MenuBarDevelopController, MenuBarController) {
    c.method("validateMenuItem:", &MenuBarDevelopController::validateMenuItem);
    c.method("doAssistantOptions:", &MenuBarDevelopController::doAssistantOptions);
}

BOOL MenuBarDevelopController::validateMenuItem(NSMenuItem* item) { return MenuBarController::validateMenuItem(item); }

void MenuBarDevelopController::doAssistantOptions(NSObject*) {
    AppPanelManager::standardPanelManager()->showDevelopAssistantOptionsPanel();
}
