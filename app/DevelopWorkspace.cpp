#include "app/DevelopWorkspace.h"

#include "menus/ContextMenuController.h"
#include "app/LocalizedString.h"
#include "app/PersonaCodes.h"
#include "app/StudioDevelop.h"
#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"
#include "AppKit/NSApplication.h"
#include "UIFramework/Alerts.h"
#include "UIFramework/AppController.h"
#include "DocSession/DevelopTool.h"
#include "app/FirstToolOfClass.h"

#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(DevelopWorkspace, WorkspaceInfo) {
    c.method("doRAWCommit", &DevelopWorkspace::doRAWCommit);
    c.method("localisedName", &DevelopWorkspace::localisedName);

}

namespace {
constexpr ToolID DevelopToolID = 102;
}  // namespace

DevelopWorkspace::~DevelopWorkspace() { shutdown(); }

NSObject* DevelopWorkspace::init() {
    if (!initWithID(PersonaCode::Develop, Kernel::String("Develop"), Kernel::String("MainMenuDevelop"), DevelopToolID))
        return nullptr;
    _viewIsRaster = YES;
    _requiresSecondaryCache = YES;
    _supportsLayersAndMarquees = NO;
    m_keyboardAcceleratorController = New<DevelopToolsKeyboardAcceleratorPopulator>();
    return this;
}

void DevelopWorkspace::startup() {
    m_studioController = New<StudioDevelop>();
    m_contextMenuController = New<ContextMenuController>();
}

void DevelopWorkspace::shutdown() {
    m_contextMenuController = nullptr;
    m_studioController = nullptr;
}

void DevelopWorkspace::resetMenusAndKeys() {
    WorkspaceInfo::resetMenusAndKeys();
    m_keyboardAcceleratorController = New<DevelopToolsKeyboardAcceleratorPopulator>();
}

NSObject* DevelopWorkspace::studioController() const { return m_studioController.get(); }
NSObject* DevelopWorkspace::keyboardAcceleratorController() const { return m_keyboardAcceleratorController.get(); }
NSObject* DevelopWorkspace::contextMenuController() const { return m_contextMenuController.get(); }

Ref<NSString> DevelopWorkspace::localisedName() { return LocalizedStringWithContext("Develop", "Persona Name"); }

namespace {
// Texts that belong to the user-interface framework come from its own bundle.
Ref<NSString> FrameworkLocalizedStringWithContext(const char* text, const char* context) {
    NSBundle* framework = NSBundle::bundleWithIdentifier("com.tolvaware.libmacwidgets");
    return LocalizedStringFromBundleWithContext(framework, NSString::from(text).get(), NSString::from(context).get());
}
}  // namespace

BOOL DevelopWorkspace::canShutdown() {
    Ref<NSString> commit = FrameworkLocalizedStringWithContext("Develop", "Develop tool context toolbar");
    // Without the framework's title the alert would have no way to commit and leave.
    if (!commit || commit->length() == 0) commit = NSString::from("Develop");
    Ref<NSString> cancel = LocalizedStringWithContext("Cancel", "Cancel");
    Ref<NSString> title = LocalizedStringWithContext("Develop Persona", "Develop Persona");
    Ref<NSString> message = LocalizedStringWithContext(
        "Please either commit or cancel the develop operation before switching to another Persona.",
        "Alert - Cancel Develop operation");
    NSInteger pressed = CocoaUIRunAlertPanel(title.get(), NSString::from("%@").get(), commit.get(), cancel.get(), nullptr,
                                             {message.get()});
    if (pressed == NSAlertFirstButtonReturn) doRAWCommit();
    return NO;
}

void DevelopWorkspace::doRAWCommit() {
    AppController* controller = AppController::controller();
    DocumentView* view = controller ? controller->getCurrentView() : nullptr;
    if (!view) return;
    Ref<DocumentView> keepView(view);
    view->setSingleViewMode();
    Kernel::Counted<DevelopTool> develop = FirstToolOfClass<DevelopTool>(view);
    if (develop) develop->Commit();
    // A view without a document has no tool to make current; the persona still goes back.
    if (DocumentController* document = view->unsafeDocumentController()) {
        Kernel::Counted<Tool> tool = document->GetToolByID(0);
        view->setCurrentTool(tool);
    }
    if (AppController* c = AppController::controller()) c->setupDefaultWorkspace();
}
