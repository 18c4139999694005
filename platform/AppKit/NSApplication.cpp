#include "AppKit/NSApplication.h"
#include "Kernel/Format.h"

#include <algorithm>

#include "DocSession/CallLog.h"

QV_IMPLEMENT(NSApplication, NSObject) {
    c.method("setMainMenu:", &NSApplication::setMainMenu);
    c.method("runModalForWindow:", &NSApplication::runModalForWindow);
}

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
std::string NSApplication::whyHostEventRefused(const std::vector<std::string>&) { return {}; }
BOOL NSApplication::sendKeyEvent(NSString*, NSUInteger) { return NO; }

std::string NSApplication::chooseMenuItemWithAction(SEL sel) {
    const std::string name = Kernel::Excerpt(sel_getName(sel));  // the selector may come from user input
    NSMenuItem* item = m_mainMenu ? m_mainMenu->findItemWithAction(sel) : nullptr;
    if (!item) return "the main menu has no item with the action " + name;
    return chooseMenuItem(item);
}

std::string NSApplication::chooseMenuItem(NSMenuItem* item) {
    Ref<NSMenuItem> keep(item);  // the action may replace the menu that holds it
    SEL sel = item->action();
    if (!sel) return "the item \"" + Kernel::Excerpt(item->title()->utf8()) + "\" sends no action";
    const std::string name = Kernel::Excerpt(sel_getName(sel));
    NSObject* target = item->target() ? item->target() : targetForAction(sel);
    if (!target || !target->respondsToSelector(sel)) return "no target answers " + name;
    id keepTarget(target);
    static SEL validate = QV_SELECTOR(validateMenuItem:);
    BOOL enabled = item->isEnabled();
    const BOOL autoenables = item->menu() ? item->menu()->autoenablesItems() : YES;
    if (autoenables && target->respondsToSelector(validate)) enabled = target->performBoolSelector(validate, item);
    // Validation may hide the item as well as disable it (Repeat with nothing to repeat).
    if (!enabled) return "the item " + name + " is disabled" + (item->isHidden() ? " and hidden" : "");
    if (item->isHidden()) return "the item " + name + " is hidden";
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

NSInteger NSApplication::runModalForWindow(NSWindow* window) {
    const NSString* title = window ? window->title() : nullptr;
    CallLog::Call("NSApplication::runModalForWindow:", CallLog::Raw{window ? "<NSWindow " + CallLog::Arg(title) + ">" : "nil"});
    if (!window || window->buttons().empty()) return NSModalResponseAbort;
    Ref<NSWindow> keep(window);
    NSAlertRequest request;
    request.title = window->title()->utf8();
    const auto& buttons = window->buttons();
    for (size_t i = 0; i < buttons.size() && i < 3; ++i) request.buttons[i] = buttons[i].title;
    request.unanswered = static_cast<int>(std::min({window->unansweredButton(), buttons.size() - 1, size_t{2}}));
    NSInteger answer = NSRunAlertModal(request);
    size_t index = static_cast<size_t>(answer - NSAlertFirstButtonReturn);
    if (answer < NSAlertFirstButtonReturn || index >= buttons.size() || index >= 3)
        index = static_cast<size_t>(request.unanswered);
    if (NSObject* controller = window->windowController()) {
        id keepController(controller);
        controller->performSelector(buttons[index].action, window);
    }
    return NSAlertFirstButtonReturn + static_cast<NSInteger>(index);
}
