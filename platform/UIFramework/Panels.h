// Panels and command objects of the framework, and the base of the menu-bar controllers.
#pragma once
#include <string_view>

#include "AppKit/NSMenu.h"
#include "Foundation/Foundation.h"

class AppPanelManager : public NSObject {
    QV_OBJECT(AppPanelManager)
public:
    static AppPanelManager* standardPanelManager();
    // Each show message opens one panel.
    void showFieldEditor() { show("showFieldEditor"); }
    void showConvertTextToField() { show("showConvertTextToField"); }
    void showLiveMaskPanel() { show("showLiveMaskPanel"); }
    void showAdjustmentsPanel() { show("showAdjustmentsPanel"); }
    void showExportCubePanel() { show("showExportCubePanel"); }
    void showDevelopAssistantOptionsPanel() { show("showDevelopAssistantOptionsPanel"); }
    // Opens the panel the message names; recorded as AppPanelManager::<message>.
    void show(std::string_view message);
};

// The spelling commands of the text engine's menus.
class SpellingCommands : public NSObject {
    QV_OBJECT(SpellingCommands)
public:
    void changeWord(NSString* word, BOOL findNext);
    void unignoreWord(NSObject* sender);
    void unlearnWord(NSObject* sender);
    void ignoreSpelling(NSObject* sender);
    void learnSpelling(NSObject* sender);
};

class CommandControllerManager : public NSObject {
    QV_OBJECT(CommandControllerManager)
public:
    static CommandControllerManager* GetInstance();
    SpellingCommands* spellingCommands() const { return m_spelling.get(); }

private:
    Ref<SpellingCommands> m_spelling = New<SpellingCommands>();
};

// Base of the main-menu command controllers: answers every item a subclass does not decide.
class MenuBarController : public NSObject {
    QV_OBJECT(MenuBarController)
public:
    virtual BOOL validateMenuItem(NSMenuItem* item);
};
