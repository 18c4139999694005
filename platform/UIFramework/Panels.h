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
    void showTabstopEditor() { show("showTabstopEditor"); }
    void showTableExtender(BOOL rows);
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

// A framework command object whose actions the engine carries out: the stand-in answers every
// action it names, recording the action and the sender's tag, and validates every item alike.
class MenuCommandObject : public NSObject {
    QV_OBJECT(MenuCommandObject)
public:
    BOOL validateMenuItem(NSMenuItem* item);
    // Stand-in answer of validateMenuItem: (YES unless set).
    void setValidationAnswer(BOOL answer) { m_answer = answer; }

    // Records the action named (Class::action:) as sent by the item.
    void Perform(const char* name, NSObject* sender);

private:
    BOOL m_answer = YES;
};

// The table actions of the table text tool's menus.
class TableCommands : public MenuCommandObject {
    QV_OBJECT(TableCommands)
};

// The curve actions of the node tool's menu.
class VectorCommands : public MenuCommandObject {
    QV_OBJECT(VectorCommands)
};

class CommandControllerManager : public NSObject {
    QV_OBJECT(CommandControllerManager)
public:
    static CommandControllerManager* GetInstance();
    SpellingCommands* spellingCommands() const { return m_spelling.get(); }
    TableCommands* tableCommands() const { return m_table.get(); }
    VectorCommands* vectorCommands() const { return m_vector.get(); }

private:
    Ref<SpellingCommands> m_spelling = New<SpellingCommands>();
    Ref<TableCommands> m_table = New<TableCommands>();
    Ref<VectorCommands> m_vector = New<VectorCommands>();
};

// Base of the main-menu command controllers: answers every item a subclass does not decide.
class MenuBarController : public NSObject {
    QV_OBJECT(MenuBarController)
public:
    virtual BOOL validateMenuItem(NSMenuItem* item);
};
