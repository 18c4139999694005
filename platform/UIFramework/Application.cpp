#include "UIFramework/Application.h"

#include <cstdio>
#include <map>

#include "AppKit/NSSpellChecker.h"
#include "AppKit/NSSheet.h"
#include "AppKit/NSView.h"
#include "DocSession/CallLog.h"
#include "DocSession/DevelopTool.h"
#include "DocSession/Hacks.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/PersonaController.h"
#include "DocSession/RasterDocumentCommands.h"
#include "DocSession/RasterBaseTarget.h"
#include "DocSession/TextBaseTarget.h"
#include "UIFramework/Panels.h"
#include "UIFramework/StudioManager.h"
#include "UIFramework/TextHostEvents.h"
#include "Raster/ICCManager.h"
#include "DocSession/ToolServices.h"
#include "AppKit/NSSavePanel.h"
#include "Kernel/System.h"
#include "Kernel/Trace.h"
#include "UIFramework/Panels.h"

QV_IMPLEMENT(Application, NSApplication) {
    c.method("supportLiveFilters", &Application::supportLiveFilters);
    c.method("supportsCapsLockToolCursors", &Application::supportsCapsLockToolCursors);
    c.method("prefersCollectedDuplicateNodes", &Application::prefersCollectedDuplicateNodes);
    c.method("supportsCrossReferences", &Application::supportsCrossReferences);
    c.method("supportsEPUBExport", &Application::supportsEPUBExport);
}

Application::Answers& Application::StandInAnswers() {
    static Answers answers;
    return answers;
}

Application* Application::initForProduct(int product) {
    CallLog::Call("Application::initForProduct:", product);
    m_product = product;
    Kestrane::Application::Current()->SetProduct(product);
    return this;
}

BOOL Application::supportLiveFilters() { return StandInAnswers().supportLiveFilters; }
BOOL Application::supportsCapsLockToolCursors() { return StandInAnswers().supportsCapsLockToolCursors; }
BOOL Application::prefersCollectedDuplicateNodes() { return StandInAnswers().prefersCollectedDuplicateNodes; }
BOOL Application::supportsCrossReferences() { return StandInAnswers().supportsCrossReferences; }
BOOL Application::supportsEPUBExport() { return StandInAnswers().supportsEPUBExport; }
BOOL Application::isBeta() { return StandInAnswers().isBeta; }
Ref<NSString> Application::compatibleQuirevaleReleaseApp() { return NSString::from("com.tolvaware.quirevale2"); }

void Application::setAppController(AppController* controller) {
    m_appController = controller;
    AppController::setRunningController(controller);
}

void Application::finishLaunching() {
    // The engine's colour management starts with the bundle's default CMYK profile.
    std::string cmyk = NSBundle::mainBundle()->pathForResource("USWebCoatedSWOP", "icc");
    if (!cmyk.empty()) Raster::ICCManager::GetInstance().SetDefaultCMYKProfileFile(cmyk.c_str());
    Ref<AppController> controller = createAppController();
    if (!controller) {
        std::fputs("quirevale: the application made no application controller\n", stderr);
        return;
    }
    setAppController(controller.get());
    controller->initialise();
    controller->startWorkspaces();
    controller->applicationDidFinishLaunching();
}

void Application::terminate() {
    if (m_appController) m_appController->shutDown();
    setAppController(nullptr);
}

NSObject* Application::targetForAction(SEL action) {
    if (m_appController) {
        if (WorkspaceInfo* w = m_appController->currentWorkspace(); w && w->respondsToSelector(action)) return w;
        if (m_appController->respondsToSelector(action)) return m_appController.get();
    }
    return NSApplication::targetForAction(action);
}

namespace {
// The form of each headless line that handleHostEvent knows, and whether it needs a document.
struct HostEventForm {
    const char* form;
    bool needsDocument;
};
const std::map<std::string, HostEventForm>& SetForms() {
    static const std::map<std::string, HostEventForm> forms = {
        {"CanEnterLiquify", {"set CanEnterLiquify <code>", false}},
        {"CanEnterDevelop", {"set CanEnterDevelop <code>", false}},
        {"CanEnterToneMap", {"set CanEnterToneMap <code>", false}},
        {"IsRecordingMacro", {"set IsRecordingMacro true|false", true}},
        {"MainWindowVisible", {"set MainWindowVisible true|false", false}},
        {"CanAddArtboards", {"set CanAddArtboards true|false", true}},
        {"UseShiftCycleTools", {"set UseShiftCycleTools true|false", false}},
        {"SaveHistory", {"set SaveHistory true|false", true}},
        {"LastRepeatableCommand", {"set LastRepeatableCommand <name>|none", true}},
        {"Tool", {"set Tool <class>|none", true}},
        {"WantsTextContextMenu", {"set WantsTextContextMenu true|false", true}},
        {"CommandKey", {"set CommandKey true|false", false}},
        {"AdvancedText", {"set AdvancedText true|false", false}},
        {"TextLanguage", {"set TextLanguage <code>", false}},
        {"SelectedText", {"set SelectedText <text>", true}},
        {"StoryRanges", {"set StoryRanges <n> (0 to 999)", true}},
        {"SelectedNodes", {"set SelectedNodes <nodes>, as in: set SelectedNodes Group(Curve,Inner(Leaf)) Star", true}},
        {"Misspelled", {"set Misspelled <word> [guess ...]", false}},
        {"LearnedWord", {"set LearnedWord <word>", false}},
        {"IgnoredWord", {"set IgnoredWord <text>", true}},
        {"FieldSelected", {"set FieldSelected true|false", false}},
        {"FieldFormattable", {"set FieldFormattable true|false", false}},
        {"InTextFlow", {"set InTextFlow true|false", false}},
        {"CanCreateCustomField", {"set CanCreateCustomField true|false", false}},
        {"Query", {"set Query <query> true|false|default, with one of the engine's query names", false}},
        {"Preflight", {"set Preflight true|false", false}},
    };
    return forms;
}
DocumentController* CurrentDocument(AppController* controller) {
    DocumentView* view = controller ? controller->getCurrentView() : nullptr;
    return view ? view->unsafeDocumentController() : nullptr;
}
}  // namespace

BOOL Application::handleHostEvent(const std::vector<std::string>& words) {
    AppController* controller = m_appController.get();
    if (HandleTextHostEvent(controller, words)) return YES;
    if (words[0] == "newdocument" && controller) {
        auto document = Kernel::MakeCounted<DocumentController>(words.size() > 1 ? words[1] : "Untitled");
        document->AddTool(Kernel::MakeCounted<SelectTool>(0));
        document->AddTool(Kernel::MakeCounted<DevelopTool>(102));
        for (auto& tool : MakeFilterTools(200)) document->AddTool(tool);
        auto view = New<DocumentView>(document);
        // The document's window fills the screen and its view the window.
        auto window = New<DocumentWindow>();
        window->setTitle(NSString::from(document->GetName()).get());
        view->setWindow(window.get());
        view->setCurrentToolQuietly(document->GetTools().front() ? Kernel::Counted<Tool>(document->GetTools().front())
                                                                 : Kernel::Counted<Tool>());
        controller->setCurrentView(view.get());
        return YES;
    }
    if (words[0] == "tool" && words.size() == 2 && controller) {
        int tool;
        if (!ParseHostCode(words[1], tool)) return NO;
        DocumentView* view = controller->getCurrentView();
        if (!view) {
            std::fputs("quirevale: tool: no document view is open\n", stderr);
            return YES;
        }
        view->setSuitableToolByID(tool);
        auto clicked = NSNotification::notificationWithName("com.tolvaware.toolui.toolclicked",
                                                            NSNumber::numberWithInteger(tool).get());
        NSNotificationCenter::defaultCenter()->postNotificationOnMainThread(clicked.get());
        return YES;
    }
    if (words[0] == "closedocument" && controller) {
        controller->setCurrentView(nullptr);
        return YES;
    }
    if (words[0] == "set" && words.size() == 3) {
        int code;
        bool flag;
        auto& checks = Kestrane::RasterBaseTarget::StandInAnswers();
        if (words[1] == "CanEnterLiquify" && ParseHostCode(words[2], code)) checks.canEnterLiquify = code;
        else if (words[1] == "CanEnterDevelop" && ParseHostCode(words[2], code)) checks.canEnterDevelop = code;
        else if (words[1] == "CanEnterToneMap" && ParseHostCode(words[2], code)) checks.canEnterToneMap = code;
        else if (words[1] == "IsRecordingMacro" && ParseHostFlag(words[2], flag) && controller &&
                 controller->getCurrentView() && controller->getCurrentView()->unsafeDocumentController())
            controller->getCurrentView()->unsafeDocumentController()->SetRecordingMacro(flag);
        else if (words[1] == "MainWindowVisible" && ParseHostFlag(words[2], flag) && controller)
            controller->setMainWindowVisible(flag);
        else if (words[1] == "CanAddArtboards" && ParseHostFlag(words[2], flag) && controller &&
                 controller->getCurrentView() && controller->getCurrentView()->unsafeDocumentController())
            controller->getCurrentView()->unsafeDocumentController()->SetCanAddArtboards(flag);
        else if (words[1] == "UseShiftCycleTools" && ParseHostFlag(words[2], flag))
            NSUserDefaults::standardUserDefaults()->setBool(flag, "com.tolvaware.Preferences.UseShiftCycleTools");
        else if (words[1] == "SaveHistory" && ParseHostFlag(words[2], flag) && CurrentDocument(controller))
            CurrentDocument(controller)->SetSaveHistory(flag);
        else if (words[1] == "LastRepeatableCommand" && CurrentDocument(controller))
            CurrentDocument(controller)->SetLastRepeatableCommand(
                words[2] == "none" ? Kernel::Counted<DocumentCommand>()
                                   : Kernel::Counted<DocumentCommand>(new RepeatableCommand(words[2])));
        else
            return NO;
        return YES;
    }
    return NO;
}

std::string Application::whyHostEventRefused(const std::vector<std::string>& words) {
    AppController* controller = m_appController.get();
    if (words[0] == "tool") return "tool takes one tool id, as in: tool 2";
    if (words[0] == "context") {
        if (words.size() <= 2 || words.size() == 4) {
            WorkspaceInfo* workspace = controller ? controller->currentWorkspace() : nullptr;
            if (!workspace || !workspace->contextMenuController()) return "context: the persona has no context menus";
        }
        return "context takes a kind and, optionally, a screen point, as in: context 0 120 80";
    }
    if (words[0] != "set" || words.size() < 2) return {};
    const auto form = SetForms().find(words[1]);
    if (form == SetForms().end()) return {};
    const std::string name = "set " + words[1];
    if (form->second.needsDocument && !CurrentDocument(controller)) return name + ": no document is open";
    if (words[1] == "WantsTextContextMenu" && !controller->getCurrentView()->currentTool())
        return name + ": the document has no current tool";
    return name + " takes the form: " + form->second.form;
}

BOOL Application::sendKeyEvent(NSString* characters, NSUInteger modifierFlags) {
    static SEL accept = QV_SELECTOR(acceptKey:withModifierMask:);
    WorkspaceInfo* workspace = m_appController ? m_appController->currentWorkspace() : nullptr;
    NSObject* keys = workspace ? workspace->keyboardAcceleratorController() : nullptr;
    if (!keys || !keys->respondsToSelector(accept)) {
        CallLog::Record("no shortcut controller: key " + CallLog::Arg(static_cast<const NSString*>(characters)));
        return NO;
    }
    id keepKeys(keys);
    BOOL used = UnboxBool(keys->performSelector(accept, characters, NSNumber::numberWithUnsignedLongLong(modifierFlags)).get());
    char mask[24];
    std::snprintf(mask, sizeof mask, "0x%lx", static_cast<unsigned long>(modifierFlags));
    CallLog::Record(keys->classInfo().name() + "::acceptKey:withModifierMask:(" +
                    CallLog::Arg(static_cast<const NSString*>(characters)) + ", " + mask + ") -> " +
                    (used ? "YES" : "NO"));
    return used;
}

void ResetStandIns() {
    if (NSApp) {
        if (auto* app = ObjectCast<Application>(NSApp)) app->setAppController(nullptr);
    }
    NSApp = nullptr;
    AppController::setRunningController(nullptr);
    PersonaController::GetInstance()->ResetForTesting();
    Kestrane::Application::Current()->ResetForTesting();
    Kestrane::RasterBaseTarget::StandInAnswers() = {};
    Kestrane::RasterBaseTarget::StandInQueryAnswers() = {};
    MenuBarController::StandInValidateAnswer() = YES;
    Kestrane::TextBaseTarget::StandInAnswers() = {};
    NSSpellChecker::sharedSpellChecker()->ResetForTesting();
    NSSetMenuTracker(nullptr);
    NSResetPopUpRecord();
    CommandQueries::ResetForTesting();
    StudioManager::GetInstance()->ResetForTesting();
    CommandControllerManager::GetInstance()->tableCommands()->setValidationAnswer(YES);
    CommandControllerManager::GetInstance()->vectorCommands()->setValidationAnswer(YES);
    ResetTextHostEvents();
    Kestrane::RasterBaseTarget::StandInParamsObserver() = nullptr;
    Kernel::Hacks::GetInstance()->ResetForTesting();
    Application::StandInAnswers() = {};
    NSEvent::SetModifierFlags(0);
    NSEvent::SetMouseLocation({});
    NSController::FailNextInits(0);
    WorkspaceInfo::FailNextInits(0);
    NSSetAlertResponder(nullptr);
    CommandControllerManager::GetInstance()->ResetCommandObjects();
    NSNotificationCenter::defaultCenter()->removeAllObserversForTesting();
    Kestrane::ResetGeneralToolIDs();
    Kernel::Testing::SetGPUTelemetryEnabled(false);
    Kernel::Testing::SetTraceEnabled(true);
    NSDiscardSheet();
    NSDate::SetNowOverride(std::nullopt);
    Kestrane::RasterBaseTarget::SetRangeMaskCompletionMode(Kestrane::RasterBaseTarget::CompletionMode::CallOnWorkerThread);
    CallLog::Clear();
}
