// Menus and menu items: titles, actions, key equivalents, tags, weak targets, represented
// objects and submenus. Separators are items, so indexes count them.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "Foundation/Foundation.h"

struct NSPoint {
    double x = 0;
    double y = 0;
};
struct NSSize {
    double width = 0;
    double height = 0;
};
struct NSRect {
    NSPoint origin;
    NSSize size;
};

class NSMenu;
class NSView;

enum : NSInteger { NSControlStateValueOff = 0, NSControlStateValueOn = 1, NSControlStateValueMixed = -1 };

class NSMenuItem : public NSObject {
    QV_OBJECT(NSMenuItem)
public:
    NSMenuItem() = default;
    static Ref<NSMenuItem> separatorItem();
    NSMenuItem* initWithTitle(const NSString* title, SEL action, const NSString* keyEquivalent);

    NSString* title() const { return m_title.get(); }
    void setTitle(const NSString* title);
    SEL action() const { return m_action; }
    void setAction(SEL action) { m_action = action; }
    NSString* keyEquivalent() const { return m_keyEquivalent.get(); }
    void setKeyEquivalent(const NSString* key);
    NSInteger tag() const { return m_tag; }
    void setTag(NSInteger tag) { m_tag = tag; }
    // Weak, as menu targets are: the item never keeps its target alive.
    NSObject* target() const { return m_target; }
    void setTarget(NSObject* target) { m_target = target; }
    NSObject* representedObject() const { return m_representedObject.get(); }
    void setRepresentedObject(NSObject* object) { m_representedObject = object; }
    NSMenu* submenu() const { return m_submenu.get(); }
    void setSubmenu(NSMenu* submenu);
    BOOL hasSubmenu() const { return m_submenu != nullptr; }
    NSInteger state() const { return m_state; }
    void setState(NSInteger state) { m_state = state; }
    BOOL isHidden() const { return m_hidden; }
    void setHidden(BOOL hidden) { m_hidden = hidden; }
    BOOL isEnabled() const { return m_enabled; }
    void setEnabled(BOOL enabled) { m_enabled = enabled; }
    BOOL isSeparatorItem() const { return m_separator; }
    NSMenu* menu() const { return m_menu; }

    // A new item of the same class with the same content; a submenu is copied too.
    virtual Ref<NSMenuItem> copy() const;

protected:
    // Copies this item's content into a new item of the caller's class.
    void CopyInto(NSMenuItem& other) const;

private:
    friend class NSMenu;
    Ref<NSString> m_title = NSString::string();
    SEL m_action = nullptr;
    Ref<NSString> m_keyEquivalent = NSString::string();
    NSInteger m_tag = 0;
    NSObject* m_target = nullptr;
    id m_representedObject;
    Ref<NSMenu> m_submenu;
    NSInteger m_state = NSControlStateValueOff;
    BOOL m_hidden = NO;
    BOOL m_enabled = YES;
    BOOL m_separator = NO;
    NSMenu* m_menu = nullptr;  // the menu holding the item (weak)
};

class NSMenu : public NSObject {
    QV_OBJECT(NSMenu)
public:
    NSMenu() = default;
    ~NSMenu() override;
    NSMenu* initWithTitle(const NSString* title);

    NSString* title() const { return m_title.get(); }
    void setTitle(const NSString* title);
    NSInteger numberOfItems() const { return static_cast<NSInteger>(m_items.size()); }
    // nil outside the menu, never memory outside it.
    NSMenuItem* itemAtIndex(NSInteger index) const;
    const std::vector<Ref<NSMenuItem>>& itemArray() const { return m_items; }
    void addItem(NSMenuItem* item);
    // An index past the end appends; a negative index is refused.
    void insertItem(NSMenuItem* item, NSInteger index);
    // A new item made with the title, action and key equivalent, inserted at index; answers it.
    NSMenuItem* insertItemWithTitle(const NSString* title, SEL action, const NSString* keyEquivalent, NSInteger index);
    void removeItemAtIndex(NSInteger index);  // out of range: nothing
    void removeItem(NSMenuItem* item);
    void removeAllItems();
    NSInteger indexOfItemWithTag(NSInteger tag) const;  // -1 when none
    NSInteger indexOfItem(const NSMenuItem* item) const;
    NSMenuItem* itemWithTag(NSInteger tag) const;
    NSMenuItem* itemWithTitle(std::string_view title) const;
    BOOL autoenablesItems() const { return m_autoenables; }
    void setAutoenablesItems(BOOL on) { m_autoenables = on; }

    // A new menu with copies of every item.
    Ref<NSMenu> copy() const;

    // With automatic enabling on, each item whose target (its own, else the application's for
    // its action) answers validateMenuItem: is enabled by that answer; one whose target answers
    // only the action is enabled. Items with no such target are left as they are: the stand-in
    // has no responder chain to ask. Submenus are updated the same way.
    void update();

    // Shows the menu at a place in a view until the user has chosen an item (its action is sent)
    // or dismissed it; answers whether an item was chosen. The stand-in updates the menu as AppKit
    // does before showing it, records the request (NSLastPopUp) and hands the menu to the menu
    // tracker (below); without one the menu is dismissed.
    BOOL popUpMenuPositioningItem(NSMenuItem* item, NSPoint location, NSView* view);

    // The first item, depth first, whose action is sel; nil when none.
    NSMenuItem* findItemWithAction(SEL sel) const;

private:
    Ref<NSString> m_title = NSString::string();
    std::vector<Ref<NSMenuItem>> m_items;
    BOOL m_autoenables = YES;
};

// Who tracks a pop-up menu in place of the user: chooses an item (of the menu or one of its
// submenus) and sends it, or nothing; answers whether an item was chosen. Answers the previous tracker.
using NSMenuTracker = std::function<BOOL(NSMenu*)>;
NSMenuTracker NSSetMenuTracker(NSMenuTracker tracker);

// Where and what the last pop-up showed: the menu as it was on screen (it stays alive here), the
// positioning item, the location in the view and the view; pop-ups counts them all.
struct NSPopUpRecord {
    Ref<NSMenu> menu;
    Ref<NSMenuItem> item;
    NSPoint location{};
    Ref<NSView> view;
    int popUps = 0;
};
const NSPopUpRecord& NSLastPopUp();
void NSResetPopUpRecord();
