#include "UIFramework/Panels.h"

#include <string>

#include "AppKit/NSApplication.h"
#include "DocSession/CallLog.h"

QV_IMPLEMENT(AppPanelManager, NSObject) {
    c.method("showFieldEditor", &AppPanelManager::showFieldEditor);
    c.method("showConvertTextToField", &AppPanelManager::showConvertTextToField);
    c.method("showLiveMaskPanel", &AppPanelManager::showLiveMaskPanel);
    c.method("showAdjustmentsPanel", &AppPanelManager::showAdjustmentsPanel);
    c.method("showExportCubePanel", &AppPanelManager::showExportCubePanel);
    c.method("showDevelopAssistantOptionsPanel", &AppPanelManager::showDevelopAssistantOptionsPanel);
}
QV_IMPLEMENT(SpellingCommands, NSObject) {
    c.method("changeWord:findNext:", &SpellingCommands::changeWord);
    c.method("unignoreWord:", &SpellingCommands::unignoreWord);
    c.method("unlearnWord:", &SpellingCommands::unlearnWord);
    c.method("ignoreSpelling:", &SpellingCommands::ignoreSpelling);
    c.method("learnSpelling:", &SpellingCommands::learnSpelling);
}
QV_IMPLEMENT(CommandControllerManager, NSObject) {}
QV_IMPLEMENT(MenuBarController, NSObject) { c.method("validateMenuItem:", &MenuBarController::validateMenuItem); }

AppPanelManager* AppPanelManager::standardPanelManager() {
    static AppPanelManager* manager = new AppPanelManager;  // lives for the process
    return manager;
}

void AppPanelManager::show(std::string_view message) { CallLog::Record("AppPanelManager::" + std::string(message)); }

namespace {
std::string WordOf(NSObject* sender) {
    auto* item = ObjectCast<NSMenuItem>(sender);
    auto* word = item ? ObjectCast<NSString>(item->representedObject()) : nullptr;
    return CallLog::Arg(static_cast<const NSString*>(word));
}
}  // namespace

void SpellingCommands::changeWord(NSString* word, BOOL findNext) {
    CallLog::Call("SpellingCommands::changeWord:findNext:", static_cast<const NSString*>(word),
                  CallLog::Raw{findNext ? "YES" : "NO"});
}
void SpellingCommands::unignoreWord(NSObject* sender) { CallLog::Call("SpellingCommands::unignoreWord:", CallLog::Raw{WordOf(sender)}); }
void SpellingCommands::unlearnWord(NSObject* sender) { CallLog::Call("SpellingCommands::unlearnWord:", CallLog::Raw{WordOf(sender)}); }
void SpellingCommands::ignoreSpelling(NSObject* sender) { CallLog::Call("SpellingCommands::ignoreSpelling:", CallLog::Raw{WordOf(sender)}); }
void SpellingCommands::learnSpelling(NSObject* sender) { CallLog::Call("SpellingCommands::learnSpelling:", CallLog::Raw{WordOf(sender)}); }

CommandControllerManager* CommandControllerManager::GetInstance() {
    static CommandControllerManager* manager = new CommandControllerManager;  // lives for the process
    return manager;
}

BOOL MenuBarController::validateMenuItem(NSMenuItem*) { return YES; }
