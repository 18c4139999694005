#include "app/QuirevaleAppController.h"

#include "AppKit/NSView.h"
#include "UIFramework/DocumentView.h"
#include "app/DevelopWorkspace.h"
#include "app/LayoutWorkspace.h"
#include "app/RasterWorkspace.h"
#include "app/VectorWorkspace.h"

#define QV_UNIT_TAG_ALIASES
#include "app/UnitStatics.h"

QV_IMPLEMENT(QuirevaleAppController, SharedAppController) {
    c.method("welcomeScreenBackground", &QuirevaleAppController::welcomeScreenBackground);
    c.method("welcomeScreenCheckURL", &QuirevaleAppController::welcomeScreenCheckURL);
    c.method("allowFacingPageCreation", &QuirevaleAppController::allowFacingPageCreation);
    c.method("allowMultiSpreadSetup", &QuirevaleAppController::allowMultiSpreadSetup);
    c.method("allowImagesInDocumentOpen", &QuirevaleAppController::allowImagesInDocumentOpen);
    c.method("allowBooksInDocumentOpen", &QuirevaleAppController::allowBooksInDocumentOpen);
    c.method("allowPageNavigation", &QuirevaleAppController::allowPageNavigation);
    c.method("allowBleed", &QuirevaleAppController::allowBleed);
    c.method("defaultPageType", &QuirevaleAppController::defaultPageType);
    c.method("allowVectorInStock", &QuirevaleAppController::allowVectorInStock);
}

namespace {
constexpr NSInteger kUSDocumentSize = 48;
constexpr NSInteger kOtherDocumentSize = 41;
// Deployment host of the welcome screen's check link.
constexpr const char* kRedirectHost = "https://go.tolvaware.com";
}  // namespace

void QuirevaleAppController::initialise() {
    SharedAppController::initialise();
    // Written at every launch: the framework reads it, whatever was stored before.
    Ref<NSLocale> locale = NSLocale::currentLocale();
    id country = locale->objectForKey(NSLocaleCountryCode);
    auto* code = ObjectCast<NSString>(country.get());
    bool us = code && code->utf8() == "US";
    NSUserDefaults::standardUserDefaults()->setInteger(us ? kUSDocumentSize : kOtherDocumentSize, "DocumentDefaultSize");
}

Ref<NSArray> QuirevaleAppController::createWorkspaces() {
    std::vector<id> workspaces;
    // A workspace the framework refuses to set up is left out rather than stored as nil.
    if (auto layout = New<LayoutWorkspace>()) workspaces.emplace_back(layout.get());
    if (auto vector = New<VectorWorkspace>()) workspaces.emplace_back(vector.get());
    if (auto raster = RasterWorkspace::NewWithToolID(1)) workspaces.emplace_back(raster.get());
    if (auto develop = New<DevelopWorkspace>()) workspaces.emplace_back(develop.get());
    return NSArray::arrayWithVector(std::move(workspaces));
}

Ref<NSObject> QuirevaleAppController::createDocumentWithController(Kernel::Counted<DocumentController const> controller,
                                                                   bool embedded) {
    auto document = New<Document>();
    document->initWithController(std::move(controller), embedded);
    return document;
}

void QuirevaleAppController::shutDown() { SharedAppController::shutDown(); }

void QuirevaleAppController::applicationDidFinishLaunching() { SharedAppController::applicationDidFinishLaunching(); }

Ref<NSColor> QuirevaleAppController::welcomeScreenBackground() { return NSColor::colorWithDeviceRed(0.08, 0.5, 0.53, 1.0); }

Ref<NSURL> QuirevaleAppController::welcomeScreenCheckURL() {
    return NSURL::URLWithString(NSString::from(std::string(kRedirectHost) + "/quirevale-splash").get());
}
