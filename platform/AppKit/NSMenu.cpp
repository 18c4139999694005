#include "NSMenu.h"

#include "AppKit/NSApplication.h"
#include "AppKit/NSView.h"
#include "DocSession/CallLog.h"

QV_IMPLEMENT(NSMenuItem, NSObject) {}
QV_IMPLEMENT(NSMenu, NSObject) {}

namespace {
NSPopUpRecord& PopUpRecord() {
    static NSPopUpRecord record;
    return record;
}
NSMenuTracker& Tracker() {
    static NSMenuTracker tracker;
    return tracker;
}
}  // namespace

Ref<NSMenuItem> NSMenuItem::separatorItem() {
    auto item = New<NSMenuItem>();
    item->m_separator = YES;
    return item;
}

NSMenuItem* NSMenuItem::initWithTitle(const NSString* title, SEL action, const NSString* keyEquivalent) {
    setTitle(title);
    m_action = action;
    setKeyEquivalent(keyEquivalent);
    return this;
}

void NSMenuItem::setTitle(const NSString* title) {
    m_title = title ? NSString::from(title->utf8()) : NSString::string();
}

void NSMenuItem::setKeyEquivalent(const NSString* key) {
    m_keyEquivalent = key ? NSString::from(key->utf8()) : NSString::string();
}

void NSMenuItem::setSubmenu(NSMenu* submenu) { m_submenu = submenu; }

void NSMenuItem::CopyInto(NSMenuItem& other) const {
    other.m_title = m_title;
    other.m_action = m_action;
    other.m_keyEquivalent = m_keyEquivalent;
    other.m_tag = m_tag;
    other.m_target = m_target;
    other.m_representedObject = m_representedObject;
    other.m_submenu = m_submenu ? m_submenu->copy() : nullptr;
    other.m_state = m_state;
    other.m_hidden = m_hidden;
    other.m_enabled = m_enabled;
    other.m_separator = m_separator;
}

Ref<NSMenuItem> NSMenuItem::copy() const {
    auto item = New<NSMenuItem>();
    CopyInto(*item);
    return item;
}

NSMenu::~NSMenu() {
    for (auto& item : m_items) item->m_menu = nullptr;
}

NSMenu* NSMenu::initWithTitle(const NSString* title) {
    setTitle(title);
    return this;
}

void NSMenu::setTitle(const NSString* title) { m_title = title ? NSString::from(title->utf8()) : NSString::string(); }

NSMenuItem* NSMenu::itemAtIndex(NSInteger index) const {
    if (index < 0 || index >= numberOfItems()) return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

void NSMenu::addItem(NSMenuItem* item) { insertItem(item, numberOfItems()); }

void NSMenu::insertItem(NSMenuItem* item, NSInteger index) {
    if (!item || index < 0) return;
    if (index > numberOfItems()) index = numberOfItems();
    item->m_menu = this;
    m_items.insert(m_items.begin() + index, Ref<NSMenuItem>(item));
}

void NSMenu::removeItemAtIndex(NSInteger index) {
    if (index < 0 || index >= numberOfItems()) return;
    m_items[static_cast<size_t>(index)]->m_menu = nullptr;
    m_items.erase(m_items.begin() + index);
}

void NSMenu::removeItem(NSMenuItem* item) { removeItemAtIndex(indexOfItem(item)); }

void NSMenu::removeAllItems() {
    for (auto& item : m_items) item->m_menu = nullptr;
    m_items.clear();
}

NSInteger NSMenu::indexOfItemWithTag(NSInteger tag) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i]->tag() == tag) return static_cast<NSInteger>(i);
    return -1;
}

NSInteger NSMenu::indexOfItem(const NSMenuItem* item) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].get() == item) return static_cast<NSInteger>(i);
    return -1;
}

NSMenuItem* NSMenu::itemWithTag(NSInteger tag) const { return itemAtIndex(indexOfItemWithTag(tag)); }

NSMenuItem* NSMenu::itemWithTitle(std::string_view title) const {
    for (auto& item : m_items)
        if (item->title()->utf8() == title) return item.get();
    return nullptr;
}

Ref<NSMenu> NSMenu::copy() const {
    auto menu = New<NSMenu>();
    menu->m_title = m_title;
    menu->m_autoenables = m_autoenables;
    for (auto& item : m_items) {
        Ref<NSMenuItem> c = item->copy();
        menu->addItem(c.get());
    }
    return menu;
}

NSMenuItem* NSMenu::insertItemWithTitle(const NSString* title, SEL action, const NSString* keyEquivalent,
                                        NSInteger index) {
    auto item = New<NSMenuItem>();
    item->initWithTitle(title, action, keyEquivalent);
    insertItem(item.get(), index);
    return item.get();
}

void NSMenu::update() {
    static SEL validate = QV_SELECTOR(validateMenuItem:);
    for (auto& item : m_items) {
        Ref<NSMenuItem> keep(item);  // validation may change the menu
        if (item->submenu()) item->submenu()->update();
        if (!m_autoenables || item->isSeparatorItem() || !item->action()) continue;
        NSObject* target = item->target();
        if (!target && NSApp) target = NSApp->targetForAction(item->action());
        if (!target) continue;
        id keepTarget(target);
        if (target->respondsToSelector(validate)) item->setEnabled(target->performBoolSelector(validate, item.get()));
        else item->setEnabled(target->respondsToSelector(item->action()));
    }
}

BOOL NSMenu::popUpMenuPositioningItem(NSMenuItem* item, NSPoint location, NSView* view) {
    update();
    NSPopUpRecord& record = PopUpRecord();
    record.menu = this;
    record.item = item;
    record.location = location;
    record.view = view;
    ++record.popUps;
    CallLog::Call("NSMenu::popUpMenuPositioningItem:atLocation:inView:", static_cast<const NSObject*>(item),
                  // A point off any screen is shown at the nearest whole numbers a long holds.
                  CallLog::Raw{"{" + std::to_string(ClampedNumber<long>(location.x)) + ", " +
                               std::to_string(ClampedNumber<long>(location.y)) + "}"},
                  static_cast<const NSObject*>(view));
    NSMenuTracker tracker = Tracker();
    return tracker ? tracker(this) : NO;
}

const NSPopUpRecord& NSLastPopUp() { return PopUpRecord(); }
void NSResetPopUpRecord() { PopUpRecord() = NSPopUpRecord{}; }

NSMenuTracker NSSetMenuTracker(NSMenuTracker tracker) {
    std::swap(Tracker(), tracker);
    return tracker;
}

NSMenuItem* NSMenu::findItemWithAction(SEL sel) const {
    if (!sel) return nullptr;
    for (auto& item : m_items) {
        if (item->action() == sel) return item.get();
        if (item->submenu())
            if (NSMenuItem* found = item->submenu()->findItemWithAction(sel)) return found;
    }
    return nullptr;
}
