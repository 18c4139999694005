// Windows and window controllers, as far as modal dialogs need them. The stand-in has no
// screen: a modal window is a title and its buttons, and pressing one sends its action.
#pragma once
#include <string>
#include <vector>

#include "AppKit/NSMenu.h"
#include "Foundation/Foundation.h"

class NSWindowController;

class NSWindow : public NSObject {
    QV_OBJECT(NSWindow)
public:
    struct Button {
        std::string title;
        SEL action = nullptr;  // sent to the window controller
    };

    NSString* title() const { return m_title.get(); }
    void setTitle(const NSString* title) { m_title = NSString::from(title ? title->utf8() : ""); }
    const std::vector<Button>& buttons() const { return m_buttons; }
    void addButton(std::string title, SEL action) { m_buttons.push_back({std::move(title), action}); }
    // The button pressed when nobody answers (Escape rather than Return: a dialog is not confirmed by default).
    size_t unansweredButton() const { return m_unanswered; }
    void setUnansweredButton(size_t index) { m_unanswered = index; }
    // Weak: the controller owns the window.
    NSWindowController* windowController() const { return m_controller; }
    void setWindowController(NSWindowController* controller) { m_controller = controller; }
    // The rectangle moved from screen to window coordinates.
    NSRect convertRectFromScreen(NSRect rect) const;
    // Stand-in state: the window's origin on the screen.
    void setFrameOrigin(NSPoint origin) { m_origin = origin; }

private:
    Ref<NSString> m_title = NSString::string();
    std::vector<Button> m_buttons;
    size_t m_unanswered = 0;
    NSWindowController* m_controller = nullptr;
    NSPoint m_origin{};
};

class NSWindowController : public NSObject {
    QV_OBJECT(NSWindowController)
public:
    ~NSWindowController() override;
    NSWindow* window() const { return m_window.get(); }

protected:
    void setWindow(NSWindow* window);
    // A modal dialog of its own: titled, with its buttons in order, the one at unanswered pressed
    // when nobody answers.
    void setDialogWindow(const char* title, std::vector<NSWindow::Button> buttons, size_t unanswered);

private:
    Ref<NSWindow> m_window;
};
