#include "AppKit/NSApplication.h"
#include "Kernel/Format.h"

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

std::string NSApplication::chooseMenuItemWithAction(SEL sel) {
    const std::string name = Kernel::Excerpt(sel_getName(sel));  // the selector may come from user input
    NSMenuItem* item = m_mainMenu ? m_mainMenu->findItemWithAction(sel) : nullptr;
    if (!item) return "the main menu has no item with the action " + name;
    Ref<NSMenuItem> keep(item);  // the action may replace the main menu
    NSObject* target = item->target() ? item->target() : targetForAction(sel);
    if (!target || !target->respondsToSelector(sel)) return "no target answers " + name;
    id keepTarget(target);
    static SEL validate = QV_SELECTOR(validateMenuItem:);
    BOOL enabled = item->isEnabled();
    if (target->respondsToSelector(validate)) enabled = target->performBoolSelector(validate, item);
    if (item->isHidden()) return "the item " + name + " is hidden";
    if (!enabled) return "the item " + name + " is disabled";
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
