#include "app/QuirevaleApp.h"

#include "DocSession/Hacks.h"
#include "DocSession/PersonaController.h"
#include "app/QuirevaleAppController.h"

#define QV_UNIT_APP_KEY_MAP
#include "app/UnitStatics.h"

QV_IMPLEMENT(QuirevaleApp, Application) {
    c.method("createAppController", &QuirevaleApp::createAppController);
    c.method("initPersonaController", &QuirevaleApp::initPersonaController);
    c.method("applicationName", &QuirevaleApp::applicationName);
    c.method("documentExtension", &QuirevaleApp::documentExtension);
    c.method("autoUpdateProductName", &QuirevaleApp::autoUpdateProductName);
    c.method("publicBetaURL", &QuirevaleApp::publicBetaURL);
    c.method("helpURL", &QuirevaleApp::helpURL);
    c.method("authCallbackUrlScheme", &QuirevaleApp::authCallbackUrlScheme);
    c.method("tutorialsURL", &QuirevaleApp::tutorialsURL);
    c.method("releaseApp", &QuirevaleApp::releaseApp);
    c.method("deployToAppStore", &QuirevaleApp::deployToAppStore);
    c.method("deployToCustomerBeta", &QuirevaleApp::deployToCustomerBeta);
    c.method("deployToPublicBeta", &QuirevaleApp::deployToPublicBeta);
    c.method("preferMultiSpread", &QuirevaleApp::preferMultiSpread);
    c.method("supportPreflight", &QuirevaleApp::supportPreflight);
    c.method("allowAdvancedTextFeatures", &QuirevaleApp::allowAdvancedTextFeatures);
    c.method("supportsTableText", &QuirevaleApp::supportsTableText);
    c.method("preferAllowCanvasRotation", &QuirevaleApp::preferAllowCanvasRotation);
    c.method("allowPictureFrames", &QuirevaleApp::allowPictureFrames);
    c.method("canHandleCrashes", &QuirevaleApp::canHandleCrashes);
    c.method("supportsPreviewMode", &QuirevaleApp::supportsPreviewMode);
    c.method("allowDwgImport", &QuirevaleApp::allowDwgImport);
    c.method("exposeHistorySnapshots", &QuirevaleApp::exposeHistorySnapshots);
    c.method("supportsCreateArtboards", &QuirevaleApp::supportsCreateArtboards);
    c.method("supportGridPlanes", &QuirevaleApp::supportGridPlanes);
    c.method("allowTextRuler", &QuirevaleApp::allowTextRuler);
    c.method("allowTextFramePanel", &QuirevaleApp::allowTextFramePanel);
    c.method("canCreatePathText", &QuirevaleApp::canCreatePathText);
    c.method("canCreateTextColumns", &QuirevaleApp::canCreateTextColumns);
    c.method("allowTableText", &QuirevaleApp::allowTableText);
    c.method("shouldGenerateHistograms", &QuirevaleApp::shouldGenerateHistograms);
    c.method("preferPixelSelections", &QuirevaleApp::preferPixelSelections);
}

namespace {
constexpr int kProductNumber = 9;
// Deployment hosts of the maker's links.
constexpr const char* kRedirectHost = "https://go.tolvaware.com";
constexpr const char* kDocumentationHost = "https://help.tolvaware.com";
constexpr const char* kShortLinkHost = "https://tolv.app";
}  // namespace

NSObject* QuirevaleApp::init() { return initForProduct(kProductNumber); }

Ref<AppController> QuirevaleApp::createAppController() {
    auto controller = New<QuirevaleAppController>();
    Kernel::Hacks::GetInstance()->SetQuirevaleHack(true);
    initPersonaController();
    return controller;
}

void QuirevaleApp::initPersonaController() {
    PersonaController::GetInstance()->SetShouldGenerateHistograms(shouldGenerateHistograms());
    PersonaController::GetInstance()->m_canCreatePathText = canCreatePathText();
    PersonaController::GetInstance()->m_canCreateTextColumns = canCreateTextColumns();
    PersonaController::GetInstance()->m_allowTableText = allowTableText();
    // Set outright: the allowAdvancedTextFeatures answer is not consulted.
    PersonaController::GetInstance()->m_allowAdvancedTextFeatures = true;
    PersonaController::GetInstance()->m_allowTextRuler = allowTextRuler();
    PersonaController::GetInstance()->m_allowTextFramePanel = allowTextFramePanel();
    PersonaController::GetInstance()->m_allowPictureFrames = allowPictureFrames();
    PersonaController::GetInstance()->m_preferPixelSelections = preferPixelSelections();
    PersonaController::GetInstance()->SetHistorySnapshotsSupported(exposeHistorySnapshots());
    PersonaController::GetInstance()->m_fixedOnSwitch1 = true;
    PersonaController::GetInstance()->m_fixedOnSwitch2 = true;
    PersonaController::GetInstance()->m_fixedOnSwitch3 = true;
    PersonaController::GetInstance()->m_supportsCapsLockToolCursors = supportsCapsLockToolCursors();
    PersonaController::GetInstance()->m_prefersCollectedDuplicateNodes = prefersCollectedDuplicateNodes();
    PersonaController::GetInstance()->SetDefaultViewModel(PersonaController::ViewModel::Shared);
    PersonaController::GetInstance()->SetSupportsAutoUpdateLinkedResources(true);
    PersonaController::GetInstance()->SetSupportsResourceManager(true);
    NSUserDefaults* defaults = NSUserDefaults::standardUserDefaults();
    const std::string showWordCounts = "com.tolvaware.Preferences.ShowWordCounts";
    PersonaController::GetInstance()->SetShowWordCount(defaults->objectForKey(showWordCounts) ? defaults->boolForKey(showWordCounts)
                                                                                               : NO);
    PersonaController::GetInstance()->m_fixedOnSwitch4 = true;
}

Ref<NSString> QuirevaleApp::applicationName() {
    Ref<NSString> name = NSBundle::mainBundle()->objectForInfoDictionaryKey("CFBundleName");
    return name ? name : NSString::from("Kestrane Quirevale");
}
Ref<NSString> QuirevaleApp::documentExtension() { return NSString::from("kqvle"); }
Ref<NSString> QuirevaleApp::autoUpdateProductName() { return NSString::from("quirevale2"); }
Ref<NSString> QuirevaleApp::publicBetaURL() {
    return NSString::from(std::string(kRedirectHost) + "/kestrane-mac-quirevale-public-beta-update");
}
Ref<NSString> QuirevaleApp::helpURL() {
    return NSString::from(std::string(kDocumentationHost) + "/quirevale2/resources/html/redirect.html");
}
Ref<NSString> QuirevaleApp::authCallbackUrlScheme() {
    return NSString::from(Application::isBeta() ? "kestrane-quirevale2-beta-auth" : "kestrane-quirevale2-auth");
}
Ref<NSString> QuirevaleApp::tutorialsURL() { return NSString::from(std::string(kShortLinkHost) + "/Quirevale2Tuts"); }
Ref<NSString> QuirevaleApp::releaseApp() { return Application::compatibleQuirevaleReleaseApp(); }

BOOL QuirevaleApp::AskCurrentWorkspace(const char* selector, BOOL defaultValue) {
    AppController* controller = appController();
    WorkspaceInfo* workspace = controller ? controller->currentWorkspace() : nullptr;
    if (!workspace) return NO;
    return workspace->performBoolSelector(sel_registerName(selector), NSNumber::numberWithBool(defaultValue).get());
}

BOOL QuirevaleApp::exposeHistorySnapshots() { return AskCurrentWorkspace("exposeHistorySnapshots:", NO); }
BOOL QuirevaleApp::supportsCreateArtboards() { return AskCurrentWorkspace("supportsCreateArtboards:", NO); }
BOOL QuirevaleApp::supportGridPlanes() { return AskCurrentWorkspace("supportGridPlanes:", NO); }
BOOL QuirevaleApp::allowTextRuler() { return AskCurrentWorkspace("allowTextRuler:", YES); }
BOOL QuirevaleApp::allowTextFramePanel() { return AskCurrentWorkspace("allowTextFramePanel:", YES); }
BOOL QuirevaleApp::canCreatePathText() { return AskCurrentWorkspace("canCreatePathText:", YES); }
BOOL QuirevaleApp::canCreateTextColumns() { return AskCurrentWorkspace("canCreateTextColumns:", YES); }
BOOL QuirevaleApp::shouldGenerateHistograms() { return AskCurrentWorkspace("shouldGenerateHistograms:", NO); }
BOOL QuirevaleApp::preferPixelSelections() { return AskCurrentWorkspace("prefersPixelSelections:", NO); }

BOOL QuirevaleApp::allowTableText() {
    // Without a controller table text stays allowed; with one but no persona it is not.
    if (!appController()) return YES;
    return AskCurrentWorkspace("allowTableText:", YES);
}

BOOL QuirevaleApp::supportLiveFilters() {
    AppController* controller = appController();
    WorkspaceInfo* workspace = controller ? controller->currentWorkspace() : nullptr;
    if (!workspace) return NO;
    BOOL frameworkAnswer = Application::supportLiveFilters();
    return workspace->performBoolSelector(QV_SELECTOR(supportLiveFilters:), NSNumber::numberWithBool(frameworkAnswer).get());
}
