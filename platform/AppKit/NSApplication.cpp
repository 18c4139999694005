#include "AppKit/NSApplication.h"

QV_IMPLEMENT(NSApplication, NSObject) { c.method("setMainMenu:", &NSApplication::setMainMenu); }

NSApplication* NSApp = nullptr;

namespace {
NSAlertResponder& Responder() {
    static NSAlertResponder r;
    return r;
}
}  // namespace

NSApplication::~NSApplication() {
    if (NSApp == this) NSApp = nullptr;
}

NSObject* NSApplication::targetForAction(SEL action) { return respondsToSelector(action) ? this : nullptr; }

BOOL NSApplication::handleHostEvent(const std::vector<std::string>&) { return NO; }
BOOL NSApplication::sendKeyEvent(NSString*, NSUInteger) { return NO; }

std::string NSApplication::chooseMenuItemWithAction(SEL sel) {
    NSMenuItem* item = m_mainMenu ? m_mainMenu->findItemWithAction(sel) : nullptr;
    if (!item) return "the main menu has no item with the action " + std::string(sel_getName(sel));
    Ref<NSMenuItem> keep(item);  // the action may replace the main menu
    NSObject* target = item->target() ? item->target() : targetForAction(sel);
    if (!target || !target->respondsToSelector(sel)) return "no target answers " + std::string(sel_getName(sel));
    id keepTarget(target);
    static SEL validate = QV_SELECTOR(validateMenuItem:);
    BOOL enabled = item->isEnabled();
    if (target->respondsToSelector(validate)) enabled = target->performBoolSelector(validate, item);
    if (item->isHidden()) return "the item " + std::string(sel_getName(sel)) + " is hidden";
    if (!enabled) return "the item " + std::string(sel_getName(sel)) + " is disabled";
    target->performSelector(sel, item);
    return {};
}

NSInteger NSRunAlertModal(const NSAlertRequest& request) {
    NSAlertResponder responder = Responder();
    return responder ? responder(request) : NSAlertFirstButtonReturn;
}

NSAlertResponder NSSetAlertResponder(NSAlertResponder responder) {
    std::swap(Responder(), responder);
    return responder;
}
