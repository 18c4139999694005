// A persona's keyboard shortcuts: the registry of keys bound to tools and actions, and the key
// dispatch that the framework hands every key press to.
#pragma once
#include <cstdint>
#include <vector>

#include "DocSession/Tools.h"
#include "Foundation/Foundation.h"
#include "UIFramework/KeyEquivalentData.h"
#include "UIFramework/Protocols.h"

class DocumentView;

namespace ShortcutCategory {
inline constexpr uint32_t None = 0;
inline constexpr uint32_t Studio = 0x73747564;  // 'stud': studio-page toggles
inline constexpr uint32_t Blend = 0x626C656E;   // 'blen': blend-mode keys
}  // namespace ShortcutCategory

inline constexpr const char* kUseShiftCycleToolsKey = "com.tolvaware.Preferences.UseShiftCycleTools";
inline constexpr const char* kToolClickedNotification = "com.tolvaware.toolui.toolclicked";

class ToolsKeyboardAcceleratorPopulator : public NSObject, public ToolsKeyboardAcceleratorDelegate {
    QV_OBJECT(ToolsKeyboardAcceleratorPopulator)
public:
    ~ToolsKeyboardAcceleratorPopulator() override;
    // Starts empty, then sends initialise, which each persona overrides to register its defaults.
    NSObject* init() override;
    virtual void initialise() {}

    // ---- Registration. Each form forwards to the next through self, ending in the two add primitives.
    virtual void registerKeyCodeForKey_forToolID(NSNumber* keyCode, NSUInteger tool);
    virtual void registerKeyCodeForKey_withAction_withTarget_andDescription(NSNumber* keyCode, SEL action, NSObject* target,
                                                                    NSString* description);
    virtual void registerKeyCodeForKey_withAction_withTarget_andDescription_andSuperTitle(NSNumber* keyCode, SEL action,
                                                                                  NSObject* target,
                                                                                  NSString* description,
                                                                                  NSString* superTitle);
    virtual void registerKeyCodeForKey_withModifierMask_withAction_withTarget_andDescription(NSNumber* keyCode, NSUInteger mask,
                                                                                     SEL action, NSObject* target,
                                                                                     NSString* description);
    virtual void registerKey_forToolID(NSString* key, NSUInteger tool);
    virtual void registerKey_withModifierMask_forToolID(NSString* key, NSUInteger mask, NSUInteger tool);
    virtual void registerKey_withModifierMask_forToolID_andDescription(NSString* key, NSUInteger mask, NSUInteger tool,
                                                                       NSString* title);
    virtual void registerKey_withAction_withTarget_andDescription(NSString* key, SEL action, NSObject* target,
                                                          NSString* description);
    virtual void registerKey_withModifierMask_withAction_withTarget_andDescription(NSString* key, NSUInteger mask,
                                                                                   SEL action, NSObject* target,
                                                                                   NSString* description);
    virtual void registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle(
        NSString* key, NSUInteger mask, SEL action, NSObject* target, NSString* description, NSString* superTitle);
    virtual void registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
        NSString* key, NSUInteger mask, SEL action, NSObject* target, NSString* description, NSString* superTitle,
        uint32_t category);
    virtual void registerSelector_withTarget_andDescription(SEL action, NSObject* target, NSString* description);
    virtual void registerSelector_withTarget_andDescription_category(SEL action, NSObject* target, NSString* description,
                                                             uint32_t category);
    virtual void registerSelector_withTarget_andDescription_andSuperTitle(SEL action, NSObject* target, NSString* description,
                                                                  NSString* superTitle);
    virtual void registerSelector_withTarget_andDescription_andSuperTitle_category(SEL action, NSObject* target,
                                                                                   NSString* description,
                                                                                   NSString* superTitle,
                                                                                   uint32_t category);
    virtual void addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget(NSString* key, NSUInteger mask,
                                                                                       NSString* description,
                                                                                       NSString* superTitle, SEL action,
                                                                                       NSObject* target);
    // The two primitives: one new record appended.
    virtual void addKey_withModifier_andDescription_forToolID(NSString* key, NSUInteger mask, NSString* title,
                                                              NSUInteger tool);
    virtual void addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(
        NSString* key, NSUInteger mask, NSString* description, NSString* superTitle, SEL action, NSObject* target,
        uint32_t category);

    // The 34 blend-mode rows shared by the Layout, pixel and vector tables.
    void registerDefaultBlendModeKeys();

    // ---- Lookup and lists (copies: later changes do not show in a list already returned).
    Ref<KeyEquivalentData> keyForToolID(NSUInteger tool) const;
    Ref<KeyEquivalentData> keyForSelector(SEL action) const;
    Ref<NSArray> datasWithKey_withModifier(NSString* key, NSUInteger mask) const;
    Ref<NSArray> toolKeyEquivalentDatas() const;
    Ref<NSArray> nonToolKeyEquivalentDatasWithActivatedOnly(BOOL activatedOnly) const;
    Ref<NSArray> studioKeyEquivalentDatasWithActivatedOnly(BOOL activatedOnly) const;
    Ref<NSArray> checkDuplicateFor(KeyEquivalentData* proposal) const;

    // ---- Changes.
    void deactivateKeyCodeForToolID(NSUInteger tool);
    void changeKeyCodeForToolID_toKeyCode_withModifierMask(NSUInteger tool, NSString* key, NSUInteger mask);
    BOOL deactivateKeyCodeForAction_withTarget(SEL action, NSObject* target);
    void changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask(SEL action, NSObject* target, NSString* key,
                                                                      NSUInteger mask);
    void clearKeyCodes();

    // ---- Key dispatch and tool cycling.
    virtual BOOL acceptKey_withModifierMask(NSString* key, NSUInteger mask);
    BOOL acceptKeyForToolShortcut_withModifierMask(NSArray* datas, NSUInteger mask);
    BOOL isSHIFTRequiredForToolShortcut() const;
    Ref<NSString> keyForDatas(NSArray* datas) const;
    void toolChangedByUser(NSNotification* notification);
    void willAddToActivePersona();
    void willRemoveFromActivePersona();

    // The registrations in order, and the remembered cycle positions (tests read them).
    NSMutableArray* shortcuts() const { return m_vShortcuts.get(); }
    NSMutableDictionary* lastCycledDictionary() const { return m_vLastCycledDictionary.get(); }

protected:
    // The shortcut's record at position i of the list (null past the end).
    KeyEquivalentData* At(NSUInteger i) const { return static_cast<KeyEquivalentData*>(m_vShortcuts->objectAtIndex(i)); }
    static bool IsToolShortcut(const KeyEquivalentData* data) {
        return data->associatedToolID() != static_cast<NSUInteger>(NSNotFound);
    }

    Ref<NSMutableArray> m_vShortcuts;
    Ref<NSMutableDictionary> m_vLastCycledDictionary;

private:
    KeyEquivalentData* FirstForTool(NSUInteger tool) const;
    KeyEquivalentData* FirstForAction(SEL action, NSObject* target) const;
    std::vector<KeyEquivalentData*> ToolsOf(NSArray* datas) const;
    void SelectFillTool(DocumentView* view);
    void OpenPlacePanel();
};

// The one-character key of a key code: only its low eight bits count.
Ref<NSString> KeyForKeyCode(NSNumber* keyCode);
