#include "shortcuts/ToolsKeyboardAcceleratorPopulator.h"

#include <algorithm>
#include <optional>
#include <string>

#include "AppKit/NSApplication.h"
#include "AppKit/NSSavePanel.h"
#include "DocSession/ToolServices.h"
#include "Kernel/System.h"
#include "Kernel/Trace.h"
#include "UIFramework/AppController.h"
#include "UIFramework/NSMakeString.h"
#include "UIFramework/Panels.h"
#include "shortcuts/CommonShortcutRows.h"
#include "app/ToolLookup.h"

#define QV_UNIT_TAG_ALIASES
#include "app/UnitStatics.h"

QV_IMPLEMENT(ToolsKeyboardAcceleratorPopulator, NSObject) {
    using P = ToolsKeyboardAcceleratorPopulator;
    c.method("initialise", &P::initialise);
    // The ToolsKeyboardAcceleratorDelegate protocol, in its order.
    c.method("acceptKey:withModifierMask:", &P::acceptKey_withModifierMask);
    c.method("registerKey:withModifierMask:forToolID:", &P::registerKey_withModifierMask_forToolID);
    c.method("registerKey:withModifierMask:forToolID:andDescription:",
             &P::registerKey_withModifierMask_forToolID_andDescription);
    c.method("registerSelector:withTarget:andDescription:", &P::registerSelector_withTarget_andDescription);
    c.method("keyForToolID:", &P::keyForToolID);
    c.method("keyForSelector:", &P::keyForSelector);
    c.method("toolKeyEquivalentDatas", &P::toolKeyEquivalentDatas);
    c.method("nonToolKeyEquivalentDatasWithActivatedOnly:", &P::nonToolKeyEquivalentDatasWithActivatedOnly);
    c.method("studioKeyEquivalentDatasWithActivatedOnly:", &P::studioKeyEquivalentDatasWithActivatedOnly);
    c.method("checkDuplicateFor:", &P::checkDuplicateFor);
    c.method("deactivateKeyCodeForToolID:", &P::deactivateKeyCodeForToolID);
    c.method("changeKeyCodeForToolID:toKeyCode:withModifierMask:", &P::changeKeyCodeForToolID_toKeyCode_withModifierMask);
    c.method("deactivateKeyCodeForAction:withTarget:", &P::deactivateKeyCodeForAction_withTarget);
    c.method("changeKeyCodeForAction:withTarget:toKeyCode:withModifierMask:",
             &P::changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask);

    c.method("acceptKeyForToolShortcut:withModifierMask:", &P::acceptKeyForToolShortcut_withModifierMask);
    c.method("registerKey:forToolID:", &P::registerKey_forToolID);
    c.method("datasWithKey:withModifier:", &P::datasWithKey_withModifier);
    c.method("clearKeyCodes", &P::clearKeyCodes);
    c.method("registerDefaultBlendModeKeys", &P::registerDefaultBlendModeKeys);
    c.method("isSHIFTRequiredForToolShortcut", &P::isSHIFTRequiredForToolShortcut);
    c.method("keyForDatas:", &P::keyForDatas);
    c.method("toolChangedByUser:", &P::toolChangedByUser);
    c.method("willAddToActivePersona", &P::willAddToActivePersona);
    c.method("willRemoveFromActivePersona", &P::willRemoveFromActivePersona);
}

namespace {
constexpr NSUInteger kShift = NSEventModifierFlagShiftMask;

// Tool ids that are not simply selected.
constexpr ToolID kArtboardToolID = 2;
constexpr ToolID kArtboardFallbackToolID = 145;  // where the document cannot add artboards
constexpr ToolID kFillToolID = 52;
constexpr ToolID kPlaceToolID = 126;
}  // namespace

Ref<NSString> KeyForKeyCode(NSNumber* keyCode) {
    const char16_t unit = keyCode ? static_cast<unsigned char>(keyCode->unsignedLongLongValue() & 0xff) : 0;
    return NSString::stringWithCharacters(&unit, 1);
}

ToolsKeyboardAcceleratorPopulator::~ToolsKeyboardAcceleratorPopulator() {
    // A populator replaced while it is observing must not be called once it is gone.
    NSNotificationCenter::defaultCenter()->removeObserver(this);
}

NSObject* ToolsKeyboardAcceleratorPopulator::init() {
    if (!NSObject::init()) return nullptr;
    m_vShortcuts = NSMutableArray::array();
    m_vLastCycledDictionary = NSMutableDictionary::dictionary();
    initialise();
    return this;
}

// ---- Registration ----

void ToolsKeyboardAcceleratorPopulator::registerKeyCodeForKey_forToolID(NSNumber* keyCode, NSUInteger tool) {
    registerKey_withModifierMask_forToolID(KeyForKeyCode(keyCode).get(), 0, tool);
}

void ToolsKeyboardAcceleratorPopulator::registerKeyCodeForKey_withAction_withTarget_andDescription(
    NSNumber* keyCode, SEL action, NSObject* target, NSString* description) {
    registerKey_withModifierMask_withAction_withTarget_andDescription(KeyForKeyCode(keyCode).get(), 0, action, target,
                                                                      description);
}

void ToolsKeyboardAcceleratorPopulator::registerKeyCodeForKey_withAction_withTarget_andDescription_andSuperTitle(
    NSNumber* keyCode, SEL action, NSObject* target, NSString* description, NSString* superTitle) {
    registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle(
        KeyForKeyCode(keyCode).get(), 0, action, target, description, superTitle);
}

void ToolsKeyboardAcceleratorPopulator::registerKeyCodeForKey_withModifierMask_withAction_withTarget_andDescription(
    NSNumber* keyCode, NSUInteger mask, SEL action, NSObject* target, NSString* description) {
    registerKey_withModifierMask_withAction_withTarget_andDescription(KeyForKeyCode(keyCode).get(), mask, action,
                                                                      target, description);
}

void ToolsKeyboardAcceleratorPopulator::registerKey_forToolID(NSString* key, NSUInteger tool) {
    registerKey_withModifierMask_forToolID(key, 0, tool);
}

void ToolsKeyboardAcceleratorPopulator::registerKey_withModifierMask_forToolID(NSString* key, NSUInteger mask,
                                                                               NSUInteger tool) {
    Ref<NSString> title = NSMakeString(GetToolIDDescription(static_cast<ToolID>(tool)));
    registerKey_withModifierMask_forToolID_andDescription(key, mask, tool, title.get());
}

void ToolsKeyboardAcceleratorPopulator::registerKey_withModifierMask_forToolID_andDescription(NSString* key,
                                                                                              NSUInteger mask,
                                                                                              NSUInteger tool,
                                                                                              NSString* title) {
    addKey_withModifier_andDescription_forToolID(key, mask, title, tool);
}

void ToolsKeyboardAcceleratorPopulator::registerKey_withAction_withTarget_andDescription(NSString* key, SEL action,
                                                                                         NSObject* target,
                                                                                         NSString* description) {
    registerKey_withModifierMask_withAction_withTarget_andDescription(key, 0, action, target, description);
}

void ToolsKeyboardAcceleratorPopulator::registerKey_withModifierMask_withAction_withTarget_andDescription(
    NSString* key, NSUInteger mask, SEL action, NSObject* target, NSString* description) {
    addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget(key, mask, description, nullptr, action,
                                                                          target);
}

void ToolsKeyboardAcceleratorPopulator::registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle(
    NSString* key, NSUInteger mask, SEL action, NSObject* target, NSString* description, NSString* superTitle) {
    addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget(key, mask, description, superTitle, action,
                                                                          target);
}

void ToolsKeyboardAcceleratorPopulator::
    registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
        NSString* key, NSUInteger mask, SEL action, NSObject* target, NSString* description, NSString* superTitle,
        uint32_t category) {
    addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(key, mask, description, superTitle,
                                                                                   action, target, category);
}

void ToolsKeyboardAcceleratorPopulator::registerSelector_withTarget_andDescription(SEL action, NSObject* target,
                                                                                   NSString* description) {
    registerSelector_withTarget_andDescription_category(action, target, description, ShortcutCategory::None);
}

void ToolsKeyboardAcceleratorPopulator::registerSelector_withTarget_andDescription_category(SEL action,
                                                                                            NSObject* target,
                                                                                            NSString* description,
                                                                                            uint32_t category) {
    registerSelector_withTarget_andDescription_andSuperTitle_category(action, target, description, nullptr, category);
}

void ToolsKeyboardAcceleratorPopulator::registerSelector_withTarget_andDescription_andSuperTitle(
    SEL action, NSObject* target, NSString* description, NSString* superTitle) {
    registerSelector_withTarget_andDescription_andSuperTitle_category(action, target, description, superTitle,
                                                                      ShortcutCategory::None);
}

void ToolsKeyboardAcceleratorPopulator::registerSelector_withTarget_andDescription_andSuperTitle_category(
    SEL action, NSObject* target, NSString* description, NSString* superTitle, uint32_t category) {
    // Pages that only exist with GPU telemetry or tracing are not offered without them.
    static SEL gpuPage = QV_SELECTOR(toggleGPUPage);
    static SEL debugPage = QV_SELECTOR(toggleDebugPage);
    if (action == gpuPage && !Kernel::IsGPUTelemetryEnabled()) return;
    if (action == debugPage && !Kernel::IsTraceEnabled()) return;
    Ref<NSString> noKey = NSString::string();
    addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(noKey.get(), 0, description,
                                                                                   superTitle, action, target, category);
}

void ToolsKeyboardAcceleratorPopulator::addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget(
    NSString* key, NSUInteger mask, NSString* description, NSString* superTitle, SEL action, NSObject* target) {
    addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(key, mask, description, superTitle,
                                                                                   action, target,
                                                                                   ShortcutCategory::None);
}

void ToolsKeyboardAcceleratorPopulator::addKey_withModifier_andDescription_forToolID(NSString* key, NSUInteger mask,
                                                                                     NSString* title,
                                                                                     NSUInteger tool) {
    auto data = New<KeyEquivalentData>();
    data->setKey(key);
    data->setModifierMask(mask);
    data->setTitle(title);
    data->setAssociatedToolID(tool);
    m_vShortcuts->addObject(data.get());
}

void ToolsKeyboardAcceleratorPopulator::addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(
    NSString* key, NSUInteger mask, NSString* description, NSString* superTitle, SEL action, NSObject* target,
    uint32_t category) {
    auto data = New<KeyEquivalentData>();
    data->setKey(key);
    data->setModifierMask(mask);
    data->setTitle(description);
    data->setAction(action);
    data->setTarget(target);
    data->setSuperTitle(superTitle);
    data->setCategoryUID(category);
    m_vShortcuts->addObject(data.get());
}

void ToolsKeyboardAcceleratorPopulator::registerDefaultBlendModeKeys() {
    struct ModeRow {
        const char* key;  // nullptr: keyless
        const char* action;
        Renderer::FillBlendMode::BlendMode mode;
    };
    using M = Renderer::FillBlendMode;
    // Registration order, which is not the modes' numeric order.
    static const ModeRow rows[] = {
        {"n", "setToNormalBlendMode:", M::Normal},           {"k", "setToDarkenBlendMode:", M::Darken},
        {"m", "setToMultiplyBlendMode:", M::Multiply},       {"b", "setToColourBurnBlendMode:", M::ColourBurn},
        {"a", "setToLinearBurnBlendMode:", M::LinearBurn},   {nullptr, "setToDarkerColorBlendMode:", M::DarkerColour},
        {"g", "setToLightenBlendMode:", M::Lighten},         {"s", "setToScreenBlendMode:", M::Screen},
        {"d", "setToColourDodgeBlendMode:", M::ColourDodge}, {"w", "setToAddBlendMode:", M::Add},
        {nullptr, "setToLighterColorBlendMode:", M::LighterColour},
        {"o", "setToOverlayBlendMode:", M::Overlay},         {"f", "setToSoftLightBlendMode:", M::SoftLight},
        {"h", "setToHardLightBlendMode:", M::HardLight},     {"v", "setToVividLightBlendMode:", M::VividLight},
        {"j", "setToLinearLightBlendMode:", M::LinearLight}, {"z", "setToPinLightBlendMode:", M::PinLight},
        {"l", "setToHardMixBlendMode:", M::HardMix},         {"e", "setToDifferenceBlendMode:", M::Difference},
        {"x", "setToExclusionBlendMode:", M::Exclusion},     {nullptr, "setToSubtractBlendMode:", M::Subtract},
        {nullptr, "setToDivideBlendMode:", M::Divide},       {"u", "setToHueBlendMode:", M::Hue},
        {"t", "setToSaturationBlendMode:", M::Saturation},   {"c", "setToColourBlendMode:", M::Colour},
        {"y", "setToLuminosityBlendMode:", M::Luminosity},   {nullptr, "setToAverageBlendMode:", M::Average},
        {nullptr, "setToNegationBlendMode:", M::Negation},   {nullptr, "setToReflectBlendMode:", M::Reflect},
        {nullptr, "setToGlowBlendMode:", M::Glow},           {nullptr, "setToContrastInvertBlendMode:", M::ContrastNegate},
        {nullptr, "setToEraseBlendMode:", M::Erase},
    };
    constexpr NSUInteger kShiftOption = NSEventModifierFlagShiftMask | NSEventModifierFlagOptionMask;
    Ref<NSObject> view(CommandControllerManager::GetInstance()->viewCommands());
    registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
        NSString::from("=").get(), kShift, QV_SELECTOR(setToNextBlendMode:), view.get(),
        AcceleratorTitle("Next Blend Mode").get(), nullptr, ShortcutCategory::Blend);
    registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
        NSString::from("-").get(), kShift, QV_SELECTOR(setToPreviousBlendMode:), view.get(),
        AcceleratorTitle("Previous Blend Mode").get(), nullptr, ShortcutCategory::Blend);
    for (const ModeRow& row : rows) {
        Ref<NSString> title = NSMakeString(Kestrane::UIRendererFillBlendModes::GetText(row.mode));
        SEL action = sel_registerName(row.action);
        if (row.key)
            registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
                NSString::from(row.key).get(), kShiftOption, action, view.get(), title.get(), nullptr,
                ShortcutCategory::Blend);
        else
            registerSelector_withTarget_andDescription_andSuperTitle_category(action, view.get(), title.get(), nullptr,
                                                                              ShortcutCategory::Blend);
    }
}

// ---- Lookup and lists ----

KeyEquivalentData* ToolsKeyboardAcceleratorPopulator::FirstForTool(NSUInteger tool) const {
    for (const id& o : m_vShortcuts->items()) {
        auto* data = static_cast<KeyEquivalentData*>(o.get());
        if (data->associatedToolID() == tool) return data;
    }
    return nullptr;
}

KeyEquivalentData* ToolsKeyboardAcceleratorPopulator::FirstForAction(SEL action, NSObject* target) const {
    for (const id& o : m_vShortcuts->items()) {
        auto* data = static_cast<KeyEquivalentData*>(o.get());
        if (!IsToolShortcut(data) && data->action() == action && data->target() == target) return data;
    }
    return nullptr;
}

Ref<KeyEquivalentData> ToolsKeyboardAcceleratorPopulator::keyForToolID(NSUInteger tool) const {
    return FirstForTool(tool);
}

Ref<KeyEquivalentData> ToolsKeyboardAcceleratorPopulator::keyForSelector(SEL action) const {
    for (const id& o : m_vShortcuts->items()) {
        auto* data = static_cast<KeyEquivalentData*>(o.get());
        if (data->action() && data->action() == action) return Ref<KeyEquivalentData>(data);
    }
    return nullptr;
}

Ref<NSArray> ToolsKeyboardAcceleratorPopulator::datasWithKey_withModifier(NSString* key, NSUInteger mask) const {
    std::vector<id> found;
    if (key)
        for (const id& o : m_vShortcuts->items()) {
            auto* data = static_cast<KeyEquivalentData*>(o.get());
            if (data->modifierMask() == mask && data->key() && data->key()->isEqualToString(key)) found.push_back(o);
        }
    return NSArray::arrayWithVector(std::move(found));
}

Ref<NSArray> ToolsKeyboardAcceleratorPopulator::toolKeyEquivalentDatas() const {
    std::vector<id> found;
    for (const id& o : m_vShortcuts->items())
        if (IsToolShortcut(static_cast<KeyEquivalentData*>(o.get()))) found.push_back(o);
    return NSArray::arrayWithVector(std::move(found));
}

Ref<NSArray> ToolsKeyboardAcceleratorPopulator::nonToolKeyEquivalentDatasWithActivatedOnly(BOOL activatedOnly) const {
    NSObject* studio = CommandControllerManager::GetInstance()->studioCommands();
    std::vector<id> found;
    for (const id& o : m_vShortcuts->items()) {
        auto* data = static_cast<KeyEquivalentData*>(o.get());
        if (IsToolShortcut(data) || data->target() == studio) continue;
        if (activatedOnly && !data->hasValidKey()) continue;
        found.push_back(o);
    }
    return NSArray::arrayWithVector(std::move(found));
}

Ref<NSArray> ToolsKeyboardAcceleratorPopulator::studioKeyEquivalentDatasWithActivatedOnly(BOOL activatedOnly) const {
    StudioCommands* studio = CommandControllerManager::GetInstance()->studioCommands();
    std::vector<id> found;
    if (studio)
        for (const id& o : m_vShortcuts->items()) {
            auto* data = static_cast<KeyEquivalentData*>(o.get());
            if (IsToolShortcut(data) || data->target() != studio || !studio->validateSelector(data->action())) continue;
            if (activatedOnly && !data->hasValidKey()) continue;
            found.push_back(o);
        }
    std::stable_sort(found.begin(), found.end(), [](const id& a, const id& b) {
        NSString* ta = static_cast<KeyEquivalentData*>(a.get())->title();
        NSString* tb = static_cast<KeyEquivalentData*>(b.get())->title();
        if (!ta || !tb) return !ta && tb;  // untitled first
        return ta->localizedStandardCompare(tb) < 0;
    });
    return NSArray::arrayWithVector(std::move(found));
}

Ref<NSArray> ToolsKeyboardAcceleratorPopulator::checkDuplicateFor(KeyEquivalentData* proposal) const {
    std::vector<id> clashes;
    if (!proposal) return NSArray::arrayWithVector({});
    for (const id& o : m_vShortcuts->items()) {
        auto* data = static_cast<KeyEquivalentData*>(o.get());
        if (IsToolShortcut(data) && data->associatedToolID() == proposal->associatedToolID()) continue;
        if (data->action() && data->action() == proposal->action()) continue;
        if (data->isEqualToKey(proposal)) clashes.push_back(o);
    }
    return NSArray::arrayWithVector(std::move(clashes));
}

// ---- Changes ----

void ToolsKeyboardAcceleratorPopulator::deactivateKeyCodeForToolID(NSUInteger tool) {
    if (KeyEquivalentData* data = FirstForTool(tool)) {
        data->setKey(NSString::string().get());
        data->setModifierMask(0);
    }
}

void ToolsKeyboardAcceleratorPopulator::changeKeyCodeForToolID_toKeyCode_withModifierMask(NSUInteger tool,
                                                                                          NSString* key,
                                                                                          NSUInteger mask) {
    if (KeyEquivalentData* data = FirstForTool(tool)) {
        data->setKey(key);
        data->setModifierMask(mask);
        return;
    }
    registerKey_withModifierMask_forToolID(key, mask, tool);
}

BOOL ToolsKeyboardAcceleratorPopulator::deactivateKeyCodeForAction_withTarget(SEL action, NSObject* target) {
    KeyEquivalentData* data = FirstForAction(action, target);
    if (!data) return NO;
    data->setKey(NSString::string().get());
    data->setModifierMask(0);
    return YES;
}

void ToolsKeyboardAcceleratorPopulator::changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask(
    SEL action, NSObject* target, NSString* key, NSUInteger mask) {
    if (KeyEquivalentData* data = FirstForAction(action, target)) {
        data->setKey(key);
        data->setModifierMask(mask);
    }
}

void ToolsKeyboardAcceleratorPopulator::clearKeyCodes() { m_vShortcuts->removeAllObjects(); }

// ---- Key dispatch ----

BOOL ToolsKeyboardAcceleratorPopulator::acceptKey_withModifierMask(NSString* key, NSUInteger mask) {
    // The empty key is every keyless shortcut's key, not a key the user can press.
    if (!key || key->length() == 0) return NO;
    Ref<NSArray> datas = datasWithKey_withModifier(key, mask);
    if (datas->count() > 0) {
        auto* last = static_cast<KeyEquivalentData*>(datas->lastObject());
        if (IsToolShortcut(last)) return acceptKeyForToolShortcut_withModifierMask(datas.get(), mask);
        SEL action = last->action();
        if (!action) return NO;
        NSObject* target = last->target();
        if (!target) {
            AppController* controller = AppController::controller();
            if (controller && controller->respondsToSelector(action)) target = controller;
            else if (NSApp && NSApp->respondsToSelector(action)) target = NSApp;
            else if (respondsToSelector(action)) target = this;
        }
        // A target that does not answer the action cannot run it.
        if (!target || !target->respondsToSelector(action)) return NO;
        id keepTarget(target);
        Ref<NSObject> keepSelf(this);
        target->performSelector(action, this);
        return YES;
    }
    if (mask & kShift) {
        Ref<NSArray> unshifted = datasWithKey_withModifier(key, mask & ~kShift);
        return acceptKeyForToolShortcut_withModifierMask(unshifted.get(), mask);
    }
    return NO;
}

std::vector<KeyEquivalentData*> ToolsKeyboardAcceleratorPopulator::ToolsOf(NSArray* datas) const {
    std::vector<KeyEquivalentData*> group;
    if (datas)
        for (const id& o : datas->items())
            if (auto* data = ObjectCast<KeyEquivalentData>(o.get()); data && IsToolShortcut(data)) group.push_back(data);
    return group;
}

BOOL ToolsKeyboardAcceleratorPopulator::acceptKeyForToolShortcut_withModifierMask(NSArray* datas, NSUInteger mask) {
    AppController* controller = AppController::controller();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    if (!view) return NO;
    std::vector<KeyEquivalentData*> group = ToolsOf(datas);
    Ref<NSArray> keep(datas);

    // Without a current tool nothing in the group is current.
    Kernel::Counted<Tool> currentTool = view->currentTool();
    std::optional<ToolID> current;
    if (currentTool) current = Kestrane::GetGeneralToolID(currentTool->GetToolID());
    std::optional<size_t> currentAt;
    for (size_t i = 0; i < group.size() && current; ++i)
        if (group[i]->associatedToolID() == static_cast<NSUInteger>(static_cast<NSInteger>(*current))) {
            currentAt = i;
            break;
        }
    if (group.empty()) return NO;
    if (currentAt) {
        bool shiftHeld = (mask & kShift) != 0;
        if (isSHIFTRequiredForToolShortcut() != shiftHeld) return NO;
    }

    Ref<NSArray> groupArray = NSArray::arrayWithVector(std::vector<id>(group.begin(), group.end()));
    Ref<NSString> groupKey = keyForDatas(groupArray.get());
    size_t position = 0;
    if (currentAt) {
        position = *currentAt + 1 < group.size() ? *currentAt + 1 : 0;
    } else if (auto* stored = ObjectCast<NSNumber>(m_vLastCycledDictionary->objectForKey(groupKey.get()))) {
        int remembered = stored->intValue();
        position = remembered >= 0 && static_cast<size_t>(remembered) < group.size() ? remembered : 0;
    }
    ToolID tool = static_cast<ToolID>(group[position]->associatedToolID());

    if (tool == kFillToolID) {
        SelectFillTool(view.get());
        return YES;
    }
    if (tool == kPlaceToolID) {
        OpenPlacePanel();
        return YES;
    }
    if (tool == kArtboardToolID) {
        DocumentController* document = view->unsafeDocumentController();
        if (!document || !document->CanAddArtboards()) tool = kArtboardFallbackToolID;
    }
    if (current && tool == *current) {
        view->revertToRememberTool();
        return YES;
    }
    if (group.size() > 1)
        m_vLastCycledDictionary->setObject(NSNumber::numberWithUnsignedLongLong(position).get(), groupKey.get());
    if (Document* document = view->document()) document->rememberCurrentToolIfNonEffectTool();
    view->setSuitableToolByID(tool);
    return YES;
}

void ToolsKeyboardAcceleratorPopulator::SelectFillTool(DocumentView* view) {
    // Without a document, or a document without a fill tool, the current tool stays.
    DocumentController* document = view->unsafeDocumentController();
    if (!document) return;
    Kernel::Counted<FillTool> fill = FirstToolOfClassIn<FillTool>(*document);
    if (!fill) return;
    view->setCurrentTool(Kernel::Counted<Tool>(fill.Get()));
}

void ToolsKeyboardAcceleratorPopulator::OpenPlacePanel() {
    Ref<NSOpenPanel> panel = NSOpenPanel::openPanel();
    panel->setCanChooseFiles(YES);
    panel->setCanChooseDirectories(NO);
    panel->setAllowsMultipleSelection(NO);
    NSOpenPanelHelper::setPersonaAllowedFileTypes(panel.get(), YES);
    NSWindow* window = NSApp ? ObjectCast<NSWindow>(NSApp->mainWindow()) : nullptr;
    NSOpenPanel* raw = panel.get();
    panel->beginSheetModalForWindow(window, [panel = Ref<NSOpenPanel>(raw)](NSInteger response) {
        if (response != NSModalResponseOK || !panel->URL()) return;
        Ref<NSString> path = panel->URL()->path();
        AppController* controller = AppController::controller();
        Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
        if (!view) return;
        Kernel::Counted<DocumentController> document(view->unsafeDocumentController());
        if (!document) return;
        Kernel::Counted<Kernel::DataSource> source =
            Kernel::DataSourceFactory::CreateDataSourceFromPath(Kernel::String(path->utf8()), Kernel::String());
        Kernel::Counted<Node> node =
            Kestrane::CommonBaseTarget::CreateNodeForEmbed(Kernel::Counted<DocumentController const>(document), source);
        if (!node) return;
        Kernel::Counted<PlaceTool> place = FirstToolOfClassIn<PlaceTool>(*document);
        if (!place) return;
        place->GetAssetDropper().SetObject(node, {});
        view->setCurrentTool(Kernel::Counted<Tool>(place.Get()));
    });
}

BOOL ToolsKeyboardAcceleratorPopulator::isSHIFTRequiredForToolShortcut() const {
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    if (!defaults->objectForKey(kUseShiftCycleToolsKey)) return NO;
    return defaults->boolForKey(kUseShiftCycleToolsKey);
}

Ref<NSString> ToolsKeyboardAcceleratorPopulator::keyForDatas(NSArray* datas) const {
    std::string key;
    if (datas)
        for (const id& o : datas->items())
            if (auto* data = ObjectCast<KeyEquivalentData>(o.get()))
                key += std::to_string(data->associatedToolID()) + ",";
    return NSString::from(key);
}

void ToolsKeyboardAcceleratorPopulator::toolChangedByUser(NSNotification* notification) {
    // Only a tool id says which tool was picked; anything else would be read as tool 0.
    auto* number = notification ? ObjectCast<NSNumber>(notification->object()) : nullptr;
    if (!number) return;
    NSUInteger tool = static_cast<NSUInteger>(number->integerValue());
    KeyEquivalentData* first = FirstForTool(tool);
    if (!first) return;
    Ref<NSArray> datas = datasWithKey_withModifier(first->key(), first->modifierMask());
    std::vector<KeyEquivalentData*> group = ToolsOf(datas.get());
    for (size_t i = 0; i < group.size(); ++i)
        if (group[i]->associatedToolID() == tool) {
            Ref<NSArray> groupArray = NSArray::arrayWithVector(std::vector<id>(group.begin(), group.end()));
            m_vLastCycledDictionary->setObject(NSNumber::numberWithUnsignedLongLong(i).get(),
                                               keyForDatas(groupArray.get()).get());
            return;
        }
}

void ToolsKeyboardAcceleratorPopulator::willAddToActivePersona() {
    NSNotificationCenter::defaultCenter()->addObserver(this, QV_SELECTOR(toolChangedByUser:), kToolClickedNotification,
                                                       nullptr);
}

void ToolsKeyboardAcceleratorPopulator::willRemoveFromActivePersona() {
    NSNotificationCenter::defaultCenter()->removeObserver(this, kToolClickedNotification, nullptr);
}
