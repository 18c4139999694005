// Panels and command objects of the framework, and the base of the menu-bar controllers.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

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
    void showTabstopEditor() { show("showTabstopEditor"); }
    void showEffectsSettingsPanel() { show("showEffectsSettingsPanel"); }
    void showTransparencyEditorPanel() { show("showTransparencyEditorPanel"); }
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

// The view commands: fill context, snapping, zoom, view switching, blend modes. Every action
// takes the sender and is recorded as ViewCommands::<action>(<sender>).
class ViewCommands : public NSObject {
    QV_OBJECT(ViewCommands)
};

// The studio commands: one toggle action per studio page, recorded as StudioCommands::<action>.
class StudioCommands : public NSObject {
    QV_OBJECT(StudioCommands)
public:
    // Whether the toggle may be offered in this product: YES for every toggle it answers,
    // except those a test rejects.
    BOOL validateSelector(SEL action) const;
    // The toggle action of a studio page; null for a page without one.
    SEL toggleSelectorViaPageID(uint32_t page) const;

    // Stand-in: validateSelector: answers NO for these.
    void setRejectedSelectorsForTesting(std::vector<SEL> rejected) { m_rejected = std::move(rejected); }

private:
    std::vector<SEL> m_rejected;
};

// The application's command objects, one of each kind.

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
    ViewCommands* viewCommands() const;
    StudioCommands* studioCommands() const;
    TableCommands* tableCommands() const { return m_table.get(); }
    VectorCommands* vectorCommands() const { return m_vector.get(); }

    // Stand-in: replaces the command objects (nil is allowed); ResetCommandObjects restores fresh ones.
    void setViewCommandsForTesting(ViewCommands* commands) { m_view = commands; }
    void setStudioCommandsForTesting(StudioCommands* commands) { m_studio = commands; }
    // Stand-in: while on, every viewCommands and studioCommands call hands out a new object (kept
    // until ResetCommandObjects), as a framework that makes them on demand would.
    void setNewObjectOnEveryCallForTesting(bool on) { m_newOnEveryCall = on; }
    // Stand-in: how often each was asked since the last ResetCommandObjects.
    int viewCommandsCallsForTesting() const { return m_viewCalls; }
    int studioCommandsCallsForTesting() const { return m_studioCalls; }
    // Also switches the new-object mode off and clears the counts.
    void ResetCommandObjects();

private:
    Ref<SpellingCommands> m_spelling = New<SpellingCommands>();
    Ref<ViewCommands> m_view = New<ViewCommands>();
    Ref<StudioCommands> m_studio = New<StudioCommands>();
    Ref<TableCommands> m_table = New<TableCommands>();
    Ref<VectorCommands> m_vector = New<VectorCommands>();
    bool m_newOnEveryCall = false;
    mutable int m_viewCalls = 0, m_studioCalls = 0;
    mutable std::vector<Ref<NSObject>> m_handedOut;
};

// Restricts an open panel to the file types the current persona opens.
class NSOpenPanel;
class NSOpenPanelHelper : public NSObject {
    QV_OBJECT(NSOpenPanelHelper)
public:
    static void setPersonaAllowedFileTypes(NSOpenPanel* panel, BOOL withPlugins);  // recorded
};

// Base of the main-menu command controllers: answers every item a subclass does not decide.
class MenuBarController : public NSObject {
    QV_OBJECT(MenuBarController)
public:
    virtual BOOL validateMenuItem(NSMenuItem* item);
    // Stand-in: what the framework answers for every item (YES at first).
    static BOOL& StandInValidateAnswer();
};
