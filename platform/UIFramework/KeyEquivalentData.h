// One keyboard shortcut of a persona: a key and modifier mask bound to a tool or to an action.
#pragma once
#include <cstdint>

#include "Foundation/Foundation.h"

// AppKit's modifier flags, as the shortcut masks hold them.
enum : NSUInteger {
    NSEventModifierFlagShiftMask = 0x20000,
    NSEventModifierFlagControlMask = 0x40000,
    NSEventModifierFlagOptionMask = 0x80000,
    NSEventModifierFlagCommandMask = 0x100000,
};

class KeyEquivalentData : public NSObject {
    QV_OBJECT(KeyEquivalentData)
public:
    NSString* key() const { return m_key.get(); }
    void setKey(NSString* key) { m_key = key; }
    NSUInteger modifierMask() const { return m_modifierMask; }
    void setModifierMask(NSUInteger mask) { m_modifierMask = mask; }
    NSString* title() const { return m_title.get(); }
    void setTitle(NSString* title) { m_title = title; }
    NSString* superTitle() const { return m_superTitle.get(); }
    void setSuperTitle(NSString* superTitle) { m_superTitle = superTitle; }
    // NSNotFound for an action shortcut.
    NSUInteger associatedToolID() const { return m_associatedToolID; }
    void setAssociatedToolID(NSUInteger tool) { m_associatedToolID = tool; }
    SEL action() const { return m_action; }
    void setAction(SEL action) { m_action = action; }
    // Weak, as targets are: a shortcut never keeps its target alive.
    NSObject* target() const { return m_target; }
    void setTarget(NSObject* target) { m_target = target; }
    uint32_t categoryUID() const { return m_categoryUID; }
    void setCategoryUID(uint32_t category) { m_categoryUID = category; }

    // A shortcut without a key (the empty key) is not active.
    BOOL hasValidKey() const { return m_key && m_key->length() > 0; }
    // Same key and same mask; a shortcut without a key is equal to none, so it clashes with nothing.
    BOOL isEqualToKey(const KeyEquivalentData* other) const;

    std::string description() const override;

private:
    Ref<NSString> m_key;
    NSUInteger m_modifierMask = 0;
    Ref<NSString> m_title;
    Ref<NSString> m_superTitle;
    NSUInteger m_associatedToolID = static_cast<NSUInteger>(NSNotFound);
    SEL m_action = nullptr;
    NSObject* m_target = nullptr;
    uint32_t m_categoryUID = 0;
};
