// The application object, the main menu, modal alerts and the action path of menu items.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "AppKit/NSMenu.h"
#include "AppKit/NSWindow.h"

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
    // Why handleHostEvent refused a line it knows (its form, or what it needs that is missing);
    // empty when the line is unknown.
    virtual std::string whyHostEventRefused(const std::vector<std::string>& words);
    // A key press: its characters (one character) and the modifier flags held. The base uses no key.
    virtual BOOL sendKeyEvent(NSString* characters, NSUInteger modifierFlags);

    // Chooses the main-menu item whose action is sel, as a click does: the target validates the
    // item first; a hidden or disabled item sends nothing. Answers why nothing was sent, or empty.
    std::string chooseMenuItemWithAction(SEL sel);
    // Sends the item's action as a click does; the target validates it first unless the item's
    // menu has automatic enabling off. Answers why nothing was sent, or empty.
    std::string chooseMenuItem(NSMenuItem* item);

    // Runs the window modally: asks the alert responder which of its buttons the user presses,
    // sends that button's action to the window controller and answers the button's response
    // (1000 for the first). A window without buttons ends at once with NSModalResponseAbort.
    NSInteger runModalForWindow(NSWindow* window);

private:
    Ref<NSMenu> m_mainMenu;
};

extern NSApplication* NSApp;

// One modal alert: the title, the message and up to three button titles (empty for none).
struct NSAlertRequest {
    std::string title;
    std::string message;
    std::string buttons[3];
    // The button pressed when the event source has no answer for it (0 = the first, as Return would).
    int unanswered = 0;
};
// Runs the alert modally; answers 1000 for the first button, 1001 for the second, 1002 for the
// third. Without a responder the first button is pressed.
NSInteger NSRunAlertModal(const NSAlertRequest& request);
using NSAlertResponder = std::function<NSInteger(const NSAlertRequest&)>;
NSAlertResponder NSSetAlertResponder(NSAlertResponder responder);  // answers the previous one

enum : NSInteger { NSModalResponseAbort = -1001 };
enum : NSInteger { NSAlertFirstButtonReturn = 1000, NSAlertSecondButtonReturn = 1001, NSAlertThirdButtonReturn = 1002 };
