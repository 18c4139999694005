#include "shortcuts/CommonShortcutRows.h"

#include "DocSession/PersonaController.h"
#include "UIFramework/Panels.h"
#include "app/LocalizedString.h"

Ref<NSString> AcceleratorTitle(const char* title) { return LocalizedStringWithContext(title, "Accelerator key"); }

namespace {

NSObject* ViewCommandsOf(const RowTargets& t) {
    return t.view ? *t.view : CommandControllerManager::GetInstance()->viewCommands();
}
StudioCommands* StudioCommandsOf(const RowTargets& t) {
    return t.studio ? *t.studio : CommandControllerManager::GetInstance()->studioCommands();
}
Ref<NSNumber> KeyCode(char c) { return NSNumber::numberWithInt(static_cast<unsigned char>(c)); }
// A key of one UTF-16 unit, such as a function key's code point.
Ref<NSString> UnitKey(char16_t unit) { return NSString::stringWithCharacters(&unit, 1); }

constexpr char16_t kF15 = 0xF712, kF16 = 0xF713;
constexpr NSUInteger kShift = NSEventModifierFlagShiftMask;
constexpr NSUInteger kCommand = NSEventModifierFlagCommandMask;

void RegisterCommonViewRow(ToolsKeyboardAcceleratorPopulator* p, int row, PageKeyRows pageKeyRows,
                           const RowTargets& targets) {
    switch (row) {
    case 1: return p->registerKeyCodeForKey_withAction_withTarget_andDescription(
        KeyCode('x').get(), QV_SELECTOR(toggleFillContext), ViewCommandsOf(targets), AcceleratorTitle("Toggle Fill Context").get());
    case 2: return p->registerKeyCodeForKey_withModifierMask_withAction_withTarget_andDescription(
        KeyCode('x').get(), kShift, QV_SELECTOR(swapLineAndFill), ViewCommandsOf(targets), AcceleratorTitle("Swap Line and Fill").get());
    case 3: return p->registerKeyCodeForKey_withAction_withTarget_andDescription(
        KeyCode('/').get(), QV_SELECTOR(setFillNone), ViewCommandsOf(targets), AcceleratorTitle("Set Fill None").get());
    case 4: return p->registerKeyCodeForKey_withAction_withTarget_andDescription(
        KeyCode(';').get(), QV_SELECTOR(toggleSnapping), ViewCommandsOf(targets), AcceleratorTitle("Toggle Snapping").get());
    case 5: return p->registerKeyCodeForKey_withAction_withTarget_andDescription(
        KeyCode('\'').get(), QV_SELECTOR(cycleSnappingPlanes), ViewCommandsOf(targets), AcceleratorTitle("Cycle Snapping Planes").get());
    case 6: return p->registerKey_withAction_withTarget_andDescription(
        UnitKey(kF15).get(), QV_SELECTOR(zoomInDefault:), ViewCommandsOf(targets), AcceleratorTitle("Zoom In").get());
    case 7: return p->registerKey_withAction_withTarget_andDescription(
        UnitKey(kF16).get(), QV_SELECTOR(zoomOutDefault:), ViewCommandsOf(targets), AcceleratorTitle("Zoom Out").get());
    case 8: return p->registerKeyCodeForKey_withAction_withTarget_andDescription(
        KeyCode('d').get(), QV_SELECTOR(setFillContextToBlackAndWhite), ViewCommandsOf(targets),
        AcceleratorTitle("Set Fill to Black and White").get());
    case 9: return p->registerSelector_withTarget_andDescription(
        QV_SELECTOR(SetFillTo50Grey), ViewCommandsOf(targets), AcceleratorTitle("Set Fill to 50% Grey").get());
    case 10: return p->registerKey_withModifierMask_withAction_withTarget_andDescription(
        NSString::from("`").get(), kCommand, QV_SELECTOR(switchToNextView), ViewCommandsOf(targets),
        AcceleratorTitle("Switch to Next View").get());
    case 11: return p->registerKey_withModifierMask_withAction_withTarget_andDescription(
        NSString::from("`").get(), kCommand | kShift, QV_SELECTOR(switchToPreviousView), ViewCommandsOf(targets),
        AcceleratorTitle("Switch to Previous View").get());
    case 12:
    case 13: {
        const bool character = row == 12;
        Ref<NSString> title = AcceleratorTitle(character ? "Character" : "Typography");
        SEL action = character ? QV_SELECTOR(toggleCharacterPage) : QV_SELECTOR(toggleTypographyPage);
        NSUInteger mask = character ? kCommand : kCommand | kShift;
        if (pageKeyRows == PageKeyRows::Studio)
            p->registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
                NSString::from("t").get(), mask, action, StudioCommandsOf(targets), title.get(), nullptr, ShortcutCategory::Studio);
        else
            p->registerKey_withModifierMask_withAction_withTarget_andDescription(NSString::from("t").get(), mask, action,
                                                                                 StudioCommandsOf(targets), title.get());
        return;
    }
    default: return;
    }
}

}  // namespace

void RegisterCommonViewRows(ToolsKeyboardAcceleratorPopulator* populator, std::initializer_list<int> rows,
                            PageKeyRows pageKeyRows, RowTargets targets) {
    for (int row : rows) RegisterCommonViewRow(populator, row, pageKeyRows, targets);
}

void RegisterToolRows(ToolsKeyboardAcceleratorPopulator* populator, const ToolRow* rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        // The switch is read when its row comes, so a populator made later follows its value then.
        if (rows[i].tableText && !PersonaController::GetInstance()->m_allowTableText) continue;
        populator->registerKeyCodeForKey_forToolID(KeyCode(rows[i].key).get(), static_cast<NSUInteger>(rows[i].tool));
    }
}

void RegisterPageRows(ToolsKeyboardAcceleratorPopulator* populator, std::optional<StudioCommands*> studio,
                      const PageRow* rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const PageRow& row = rows[i];
        StudioCommands* target = studio ? *studio : CommandControllerManager::GetInstance()->studioCommands();
        SEL action = row.action ? sel_registerName(row.action)
                                : (target ? target->toggleSelectorViaPageID(row.pageID) : nullptr);
        Ref<NSString> title = AcceleratorTitle(row.title);
        if (row.category == ShortcutCategory::None)
            populator->registerSelector_withTarget_andDescription_andSuperTitle(action, target, title.get(), nullptr);
        else
            populator->registerSelector_withTarget_andDescription_andSuperTitle_category(action, target, title.get(),
                                                                                         nullptr, row.category);
    }
}
