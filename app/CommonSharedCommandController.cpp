#include "app/CommonSharedCommandController.h"

#include "DocSession/KestraneApplication.h"
#include "DocSession/RasterBaseTarget.h"
#include "UIFramework/Alerts.h"
#include "UIFramework/AppController.h"
#include "app/LocalizedString.h"
#include "app/PersonaActions.h"
#include "app/PersonaCodes.h"
#include "app/UnitStatics.h"

QV_IMPLEMENT(CommonSharedCommandController, NSObject) {
    c.method("validateToolbarControlItem:withID:", &CommonSharedCommandController::validateToolbarControlItem);
    c.method("validateMenuItem:", &CommonSharedCommandController::validateMenuItem);
    c.method("switchToConditionalWorkspace:caption:", &CommonSharedCommandController::switchToConditionalWorkspace);
    c.method("drawPersona:", &CommonSharedCommandController::drawPersona);
    c.method("tavikPersona:", &CommonSharedCommandController::tavikPersona);
    c.method("liquifyPersona:", &CommonSharedCommandController::liquifyPersona);
    c.method("exportPersona:", &CommonSharedCommandController::exportPersona);
    c.method("technicalPersona:", &CommonSharedCommandController::technicalPersona);
    c.method("HDRPersona:", &CommonSharedCommandController::HDRPersona);
    c.method("developPersona:", &CommonSharedCommandController::developPersona);
    c.method("pixelPersona:", &CommonSharedCommandController::pixelPersona);
    c.method("layoutPersona:", &CommonSharedCommandController::layoutPersona);
}

bool PersonaActions::CodeForAction(SEL action, uint32_t& code) {
    static const struct {
        SEL action;
        uint32_t code;  // 0: the technical persona, read at each call
    } kActions[] = {
        {QV_SELECTOR(tavikPersona:), PersonaCode::Raster},      {QV_SELECTOR(drawPersona:), PersonaCode::Vector},
        {QV_SELECTOR(liquifyPersona:), PersonaCode::Liquify},   {QV_SELECTOR(developPersona:), PersonaCode::Develop},
        {QV_SELECTOR(exportPersona:), PersonaCode::Export},     {QV_SELECTOR(technicalPersona:), 0},
        {QV_SELECTOR(pixelPersona:), PersonaCode::Pixel},       {QV_SELECTOR(layoutPersona:), PersonaCode::Layout},
        {QV_SELECTOR(HDRPersona:), PersonaCode::ToneMapping},
    };
    if (!action) return false;
    for (const auto& a : kActions) {
        if (a.action == action) {
            code = a.code ? a.code : PersonaCode::Technical();
            return true;
        }
    }
    return false;
}

namespace {

struct EntryAlert {
    int code;
    const char* message;
    const char* context;
};

struct EntryRule {
    const char* title;
    uint32_t persona;
    int (*check)(Kernel::Counted<DocumentController const>);
    std::vector<EntryAlert> alerts;
};

const EntryRule& LiquifyRule() {
    static const EntryRule rule{
        "Liquify Persona",
        PersonaCode::Liquify,
        &Kestrane::RasterBaseTarget::CanEnterLiquify,
        {{0, "Please select Pixel or Mask layers, or a single Image or RAW layer, before entering Liquify.",
          "Alert - Select raster layer or mask"},
         {2, "Please rasterise the current layer before entering Liquify.", "Alert - Rasterise RGB raster layer liquify"},
         {3, "Please select one or more non-Pixel layers and rasterise them before entering Liquify.",
          "Alert - Rasterise RGB raster layer liquify multiple selection"}}};
    return rule;
}

const EntryRule& DevelopRule() {
    static const EntryRule rule{
        "Develop Persona",
        PersonaCode::Develop,
        &Kestrane::RasterBaseTarget::CanEnterDevelop,
        {{0, "Please select Pixel or RAW layers, or a single Image layer, before entering Develop.",
          "Alert - Select raster layer or mask"},
         {3, "Please rasterise the current layer before entering Develop.", "Alert - Rasterise RGB raster layer develop"},
         {4, "Please rasterise the selected layers before entering Develop.",
          "Alert - Rasterise RGB raster layer develop multiple selection"}}};
    return rule;
}

const EntryRule& ToneMapRule() {
    static const EntryRule rule{
        "Tone Mapping Persona",
        PersonaCode::ToneMapping,
        &Kestrane::RasterBaseTarget::CanEnterToneMap,
        {{0, "Please select a single Pixel, Image or RAW layer before entering Tone Mapping.",
          "Alert - Select RGB raster layer"},
         {2, "Please rasterise the current layer before entering Tone Mapping.",
          "Alert - Rasterise RGB raster layer tone mapping"},
         {3, "Please select a single layer and rasterise it before entering Tone Mapping.",
          "Alert - Rasterise RGB raster layer tone mapping multiple selection"}}};
    return rule;
}

// One modal alert with a single "Dismiss" button; the message is shown literally.
void ShowPersonaAlert(const char* personaTitle, const char* message, const char* context) {
    Ref<NSString> title = LocalizedStringWithContext(personaTitle, personaTitle);
    Ref<NSString> button = LocalizedStringWithContext("Dismiss", "Alert - Dismiss - Button");
    Ref<NSString> text = LocalizedStringWithContext(message, context);
    CocoaUIRunAlertPanel(title.get(), NSString::from("%@").get(), button.get(), nullptr, nullptr, {text.get()});
}

WorkspaceInfo* CurrentWorkspace() {
    AppController* controller = AppController::controller();
    return controller ? controller->currentWorkspace() : nullptr;
}

// A nil workspace answers NO, as any message to nil does.
bool CurrentWorkspaceCanShutdown() {
    WorkspaceInfo* workspace = CurrentWorkspace();
    return workspace && workspace->canShutdown();
}

}  // namespace

BOOL CommonSharedCommandController::validateToolbarControlItem(NSObject*, unsigned long) { return YES; }

BOOL CommonSharedCommandController::validateMenuItem(NSMenuItem* item) {
    AppController* controller = AppController::controller();
    SEL action = item ? item->action() : nullptr;
    uint32_t persona;
    if (!PersonaActions::CodeForAction(action, persona)) return controller ? controller->isMainWindowVisible() : NO;

    bool userPersona = true;
    if (persona == PersonaCode::Develop) {
        // Without an engine persona for the code there is nothing to ask: treat it as not a user persona.
        Kernel::Counted<Kestrane::Persona> develop = Kestrane::Application::Current()->GetPersonaFromId(PersonaCode::Develop);
        userPersona = develop && Kestrane::Application::Current()->IsUserPersona(*develop);
    }
    WorkspaceInfo* current = CurrentWorkspace();
    item->setState(current && current->kestraneUID() == persona ? NSControlStateValueOn : NSControlStateValueOff);
    bool hidden = !userPersona || !(controller && controller->supportsWorkspace(persona));
    item->setHidden(hidden);
    return YES;
}

void CommonSharedCommandController::switchToConditionalWorkspace(unsigned int persona, NSString*) {
    Kestrane::Application* engine = Kestrane::Application::Current();
    Kernel::Counted<Kestrane::Persona> target = engine->GetPersonaFromId(persona);
    if (!target) return;
    {
        // With no current persona there is nothing to leave.
        Kernel::Counted<Kestrane::Persona> current = engine->GetCurrentPersona();
        if (current && !current->CanBeLeft()) return;
    }
    if (!target->CanBeEntered()) return;
    engine->SetCurrentPersona(Kernel::Counted<Kestrane::Persona>(target), true);
}

void CommonSharedCommandController::drawPersona(NSObject*) {
    switchToConditionalWorkspace(PersonaCode::Vector,
                                 LocalizedStringWithContext("Drovanel Persona.", " Workspace Warning Caption").get());
}

void CommonSharedCommandController::tavikPersona(NSObject*) {
    switchToConditionalWorkspace(PersonaCode::Raster,
                                 LocalizedStringWithContext("Tavik Persona.", " Workspace Warning Caption").get());
}

void CommonSharedCommandController::PlainSwitch(uint32_t persona) {
    if (!CurrentWorkspaceCanShutdown()) return;
    if (AppController* controller = AppController::controller()) controller->setupWorkspaceByUID(persona);
}

void CommonSharedCommandController::exportPersona(NSObject*) { PlainSwitch(PersonaCode::Export); }
void CommonSharedCommandController::technicalPersona(NSObject*) { PlainSwitch(PersonaCode::Technical()); }
void CommonSharedCommandController::pixelPersona(NSObject*) { PlainSwitch(PersonaCode::Pixel); }
void CommonSharedCommandController::layoutPersona(NSObject*) { PlainSwitch(PersonaCode::Layout); }

void CommonSharedCommandController::liquifyPersona(NSObject*) { SwitchWithEntryCheck(EntryCheck::Liquify); }
void CommonSharedCommandController::developPersona(NSObject*) { SwitchWithEntryCheck(EntryCheck::Develop); }
void CommonSharedCommandController::HDRPersona(NSObject*) { SwitchWithEntryCheck(EntryCheck::ToneMap); }

void CommonSharedCommandController::SwitchWithEntryCheck(EntryCheck check) {
    const EntryRule& rule =
        check == EntryCheck::Liquify ? LiquifyRule() : check == EntryCheck::Develop ? DevelopRule() : ToneMapRule();
    if (!CurrentWorkspaceCanShutdown()) return;
    AppController* controller = AppController::controller();
    Kernel::Counted<DocumentController> document =
        controller ? controller->getCurrentUnsafeDocumentController() : Kernel::Counted<DocumentController>();
    bool recording = check == EntryCheck::ToneMap && document && document->IsRecordingMacro();
    int result = rule.check(Kernel::Counted<DocumentController const>(document));
    if (recording)
        ShowPersonaAlert(rule.title, "Please end your macro recording session before using Tone Mapping.",
                         "Alert - Macro Recording");
    if (result == 1) {
        if (!recording && controller) controller->setupWorkspaceByUID(rule.persona);
        return;
    }
    for (const EntryAlert& alert : rule.alerts) {
        if (alert.code == result) {
            ShowPersonaAlert(rule.title, alert.message, alert.context);
            return;
        }
    }
}
