#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"

#include <optional>

#include "UIFramework/AppController.h"
#include "UIFramework/Panels.h"
#include "app/ToolLookup.h"
#include "shortcuts/CommonShortcutRows.h"

#include "app/UnitStatics.h"

QV_IMPLEMENT(DevelopToolsKeyboardAcceleratorPopulator, ToolsKeyboardAcceleratorPopulator) {
    c.method("cycleSplitViewMode", &DevelopToolsKeyboardAcceleratorPopulator::cycleSplitViewMode);
}

namespace {

constexpr ToolID kDevelopToolID = 102;

constexpr ToolRow kToolRows[] = {
    {'r', 105}, {'l', 106}, {'b', 107}, {'e', 108}, {'g', 109}, {'c', 111}, {'w', 159}, {'z', 104}, {'h', 103},
};

// The GPU row is kept by the registry only while GPU telemetry is enabled.
constexpr PageRow kPageRows[] = {
    {"Develop Basic", "toggleDevelopBasicPage"},
    {"Develop Details", "toggleDevelopDetailsPage"},
    {"Metadata", "toggleXMPPage"},
    {"Develop Focus", "toggleDevelopFocusPage"},
    {"Histogram", "toggleHistogramPage"},
    {"History", "toggleHistoryPage"},
    {"Information", "toggleInformationPage"},
    {"GPU", "toggleGPUPage"},
    {"Develop Lens", "toggleDevelopLensPage"},
    {"Develop Location", "toggleDevelopMapPage"},
    {"Navigator", "toggleNavigatorPage"},
    {"Develop Overlay", "toggleDevelopOverlaysPage"},
    {"Scope", "toggleWaveformPage"},
    {"Develop Snapshot", "toggleDevelopSnapshotsPage"},
    {"Develop Tones", "toggleDevelopTonesPage"},
};

// The develop tool's mode that a tool id stands for; none for every other id.
std::optional<DevelopTool::Mode> ModeOfTool(NSUInteger tool) {
    using M = DevelopTool::Mode;
    switch (tool) {
    case 103: return M::Hand;
    case 104: return M::Zoom;
    case 105: return M::RedEye;
    case 106: return M::Blemish;
    case 107: return M::Brush;
    case 108: return M::Erase;
    case 109: return M::Gradient;
    case 111: return M::Clone;
    case 159: return M::WhiteBalance;
    default: return std::nullopt;
    }
}

}  // namespace

void DevelopToolsKeyboardAcceleratorPopulator::initialise() {
    RegisterToolRows(this, kToolRows);
    RegisterCommonViewRows(this, {6, 7, 4});
    registerKeyCodeForKey_withAction_withTarget_andDescription(NSNumber::numberWithInt(',').get(),
                                                               QV_SELECTOR(cycleSplitViewMode), this,
                                                               AcceleratorTitle("Cycle View Mode").get());
    RegisterCommonViewRows(this, {10, 11});
    RegisterPageRows(this, std::nullopt, kPageRows);
}

void DevelopToolsKeyboardAcceleratorPopulator::cycleSplitViewMode() {
    AppController* controller = AppController::controller();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    if (!view) return;
    if (view->isSingleViewMode()) {
        Kernel::String caption0, caption1;
        view->setSplitViewMode(caption0, caption1);
    } else if (view->isSplitViewMode()) {
        Kernel::String caption0, caption1;
        view->setMirrorViewMode(caption0, caption1);
    } else {
        view->setSingleViewMode();
    }
}

BOOL DevelopToolsKeyboardAcceleratorPopulator::acceptKey_withModifierMask(NSString* key, NSUInteger mask) {
    // The empty key is every keyless shortcut's key, not a key the user can press.
    if (!key || key->length() == 0) return NO;
    Ref<NSArray> datas = datasWithKey_withModifier(key, mask);
    if (!datas || datas->count() == 0) return NO;
    auto* last = static_cast<KeyEquivalentData*>(datas->lastObject());
    if (!IsToolShortcut(last)) return ToolsKeyboardAcceleratorPopulator::acceptKey_withModifierMask(key, mask);

    AppController* controller = AppController::controller();
    DocumentView* view = controller ? controller->getCurrentView() : nullptr;
    DocumentController* document = view ? view->unsafeDocumentController() : nullptr;
    Kernel::Counted<DevelopTool> develop = document ? FirstToolOfClassIn<DevelopTool>(*document) : Kernel::Counted<DevelopTool>();
    if (auto mode = ModeOfTool(last->associatedToolID()); mode && develop) develop->SetMode(*mode);
    auto changed = NSNotification::notificationWithName("ToolChanged", NSNumber::numberWithInteger(kDevelopToolID).get());
    NSNotificationCenter::defaultCenter()->postNotificationOnMainThread(changed.get());
    return YES;
}
