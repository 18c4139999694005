#include "AppKit/NSWindow.h"

QV_IMPLEMENT(NSWindow, NSObject) {}
QV_IMPLEMENT(NSWindowController, NSObject) { c.method("window", &NSWindowController::window); }

void NSWindowController::setWindow(NSWindow* window) {
    if (m_window) m_window->setWindowController(nullptr);
    m_window = window;
    if (m_window) m_window->setWindowController(this);
}

NSWindowController::~NSWindowController() {
    if (m_window) m_window->setWindowController(nullptr);
}
