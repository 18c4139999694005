#include "AppKit/NSWindow.h"

QV_IMPLEMENT(NSWindow, NSObject) {}
QV_IMPLEMENT(NSWindowController, NSObject) { c.method("window", &NSWindowController::window); }

void NSWindowController::setWindow(NSWindow* window) {
    if (m_window) m_window->setWindowController(nullptr);
    m_window = window;
    if (m_window) m_window->setWindowController(this);
}

void NSWindowController::setDialogWindow(const char* title, std::vector<NSWindow::Button> buttons, size_t unanswered) {
    auto window = New<NSWindow>();
    window->setTitle(NSString::from(title).get());
    for (auto& button : buttons) window->addButton(std::move(button.title), button.action);
    window->setUnansweredButton(unanswered);
    setWindow(window.get());
}

NSWindowController::~NSWindowController() {
    if (m_window) m_window->setWindowController(nullptr);
}
