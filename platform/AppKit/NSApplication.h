// The application object, the main menu, modal alerts and the action path of menu items.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "AppKit/NSMenu.h"

class NSApplication : public NSObject {
    QV_OBJECT(NSApplication)
public:
    ~NSApplication() override;
    NSMenu* mainMenu() const { return m_mainMenu.get(); }
    void setMainMenu(NSMenu* menu) { m_mainMenu = menu; }
    // The window that has the main focus; there are no windows without a window server.
    NSObject* mainWindow() const { return nullptr; }

    // Sent once the application object exists, before the first event.
    virtual void finishLaunching() {}
    // Sent when the event source runs dry.
    virtual void terminate() {}
    // Where an action without a target goes; the base answers the application when it responds.
    virtual NSObject* targetForAction(SEL action);
    // Events of the headless event source that belong to the layers above AppKit (the words of the
    // line); answers NO when the line is not understood.
    virtual BOOL handleHostEvent(const std::vector<std::string>& words);
    // A key press: its characters (one character) and the modifier flags held. The base uses no key.
    virtual BOOL sendKeyEvent(NSString* characters, NSUInteger modifierFlags);

    // Chooses the main-menu item whose action is sel, as a click does: the target validates the
    // item first; a hidden or disabled item sends nothing. Answers why nothing was sent, or empty.
    std::string chooseMenuItemWithAction(SEL sel);

private:
    Ref<NSMenu> m_mainMenu;
};

extern NSApplication* NSApp;

// One modal alert: the title, the message and up to three button titles (empty for none).
struct NSAlertRequest {
    std::string title;
    std::string message;
    std::string buttons[3];
};
// Runs the alert modally; answers 1000 for the first button, 1001 for the second, 1002 for the
// third. Without a responder the first button is pressed.
NSInteger NSRunAlertModal(const NSAlertRequest& request);
using NSAlertResponder = std::function<NSInteger(const NSAlertRequest&)>;
NSAlertResponder NSSetAlertResponder(NSAlertResponder responder);  // answers the previous one

enum : NSInteger { NSAlertFirstButtonReturn = 1000, NSAlertSecondButtonReturn = 1001, NSAlertThirdButtonReturn = 1002 };
