#include "UIFramework/AppController.h"

#include "AppKit/NSApplication.h"
#include "AppKit/NibLoading.h"
#include "DocSession/CallLog.h"
#include "DocSession/KestraneApplication.h"

QV_IMPLEMENT(AppController, NSObject) {
    c.method("initialise", &AppController::initialise);
    c.method("createWorkspaces", &AppController::createWorkspaces);
    c.method("shutDown", &AppController::shutDown);
    c.method("applicationDidFinishLaunching", &AppController::applicationDidFinishLaunching);
    c.method("hasToolPalette", &AppController::hasToolPalette);
    c.method("hasExportPersona", &AppController::hasExportPersona);
    c.method("setupDefaultWorkspace", &AppController::setupDefaultWorkspace);
    c.method("isMainWindowVisible", &AppController::isMainWindowVisible);
}

namespace {
AppController* g_running = nullptr;

const char* FrameworkPersonaName(uint32_t persona) {
    switch (persona) {
    case FourCharCode("liqu"): return "Liquify";
    case FourCharCode("hdr "): return "Tone Mapping";
    case FourCharCode("expo"): return "Export";
    case FourCharCode("pixe"): return "Pixel";
    default: return "Technical";
    }
}
}  // namespace

AppController::~AppController() {
    if (g_running == this) setRunningController(nullptr);
}

NSObject* AppController::init() {
    CallLog::Call("AppController::init", CallLog::Raw{classInfo().name()});
    return NSObject::init();
}

AppController* AppController::controller() { return g_running; }

void AppController::setRunningController(AppController* controller) {
    g_running = controller;
    // The framework follows the engine when the engine changes persona itself.
    if (controller)
        Kestrane::Application::Current()->SetPersonaChangeHandler([controller](uint32_t persona) {
            if (g_running != controller || controller->m_switching) return;
            if (controller->m_current && controller->m_current->kestraneUID() == persona) return;
            if (WorkspaceInfo* w = controller->FindWorkspace(persona)) controller->SwitchTo(w);
        });
    else
        Kestrane::Application::Current()->SetPersonaChangeHandler(nullptr);
}

void AppController::initialise() { CallLog::Call("AppController::initialise"); }
Ref<NSArray> AppController::createWorkspaces() { return NSArray::array(); }
BOOL AppController::isSelectorAllowed(SEL) { return YES; }
void AppController::shutDown() {
    CallLog::Call("AppController::shutDown");
    if (m_current) m_current->shutdown();
}
void AppController::applicationDidFinishLaunching() { CallLog::Call("AppController::applicationDidFinishLaunching"); }

Ref<NSObject> AppController::createDocumentWithController(Kernel::Counted<DocumentController const> controller,
                                                          bool embedded) {
    auto doc = New<Document>();
    doc->initWithController(std::move(controller), embedded);
    return doc;
}

BOOL AppController::Supports(uint32_t persona) {
    if (m_supported) return m_supported->count(persona) != 0;
    if (m_workspaces)
        for (auto& w : m_workspaces->items())
            if (auto* ws = ObjectCast<WorkspaceInfo>(w.get()); ws && ws->kestraneUID() == persona) return YES;
    return persona == FourCharCode("liqu") || persona == FourCharCode("hdr ") ||
           (persona == FourCharCode("expo") && hasExportPersona());
}

BOOL AppController::supportsWorkspace(uint32_t persona) {
    CallLog::Call("AppController::supportsWorkspace:", CallLog::Code{persona});
    return Supports(persona);
}

WorkspaceInfo* AppController::FindWorkspace(uint32_t persona) {
    if (m_workspaces)
        for (auto& w : m_workspaces->items())
            if (auto* ws = ObjectCast<WorkspaceInfo>(w.get()); ws && ws->kestraneUID() == persona) return ws;
    for (auto& w : m_frameworkPersonas->items())
        if (auto* ws = ObjectCast<WorkspaceInfo>(w.get()); ws->kestraneUID() == persona) return ws;
    if (!Supports(persona)) return nullptr;
    auto made = WorkspaceInfo::MakeFrameworkPersona(persona, FrameworkPersonaName(persona));
    m_frameworkPersonas->addObject(made.get());
    return made.get();
}

void AppController::SwitchTo(WorkspaceInfo* workspace) {
    Ref<WorkspaceInfo> keep(workspace);
    m_switching = true;
    static SEL willRemove = QV_SELECTOR(willRemoveFromActivePersona);
    static SEL willAdd = QV_SELECTOR(willAddToActivePersona);
    if (m_current && m_current.get() != workspace) {
        if (NSObject* keys = m_current->keyboardAcceleratorController(); keys && keys->respondsToSelector(willRemove))
            keys->performSelector(willRemove);
        m_current->shutdown();
    }
    bool joining = m_current.get() != workspace;
    m_current = workspace;
    if (NSObject* keys = workspace->keyboardAcceleratorController(); joining && keys && keys->respondsToSelector(willAdd))
        keys->performSelector(willAdd);
    workspace->startup();
    if (!workspace->menuName().IsEmpty() && NSApp) {
        Ref<NSArray> objects;
        if (NSBundleLoadNibNamed(NSBundle::mainBundle(), workspace->menuName().ToStd(), NSApp, &objects))
            m_menuObjects = objects;
    }
    Kestrane::Application::Current()->SetCurrentPersonaQuietly(workspace->kestraneUID());
    m_switching = false;
}

void AppController::setupWorkspaceByUID(uint32_t persona) {
    CallLog::Call("AppController::setupWorkspaceByUID:", CallLog::Code{persona});
    if (m_current && m_current->kestraneUID() == persona) return;
    if (WorkspaceInfo* w = FindWorkspace(persona)) SwitchTo(w);
}

BOOL AppController::isMainWindowVisible() {
    CallLog::Call("AppController::isMainWindowVisible");
    return m_mainWindowVisible;
}

Document* AppController::getCurrentDocument() const {
    if (m_documentFixed) return m_document.get();
    return m_view ? m_view->document() : nullptr;
}

Kernel::Counted<DocumentController> AppController::getCurrentUnsafeDocumentController() {
    CallLog::Call("AppController::getCurrentUnsafeDocumentController");
    if (!m_view || !m_view->unsafeDocumentController()) return {};
    return Kernel::Counted<DocumentController>(m_view->unsafeDocumentController());
}

void AppController::setupDefaultWorkspace() {
    CallLog::Call("AppController::setupDefaultWorkspace");
    // The first of the product's workspaces is the default persona.
    WorkspaceInfo* first = m_workspaces ? ObjectCast<WorkspaceInfo>(m_workspaces->firstObject()) : nullptr;
    if (first && first != m_current.get()) SwitchTo(first);
}

void AppController::startWorkspaces() {
    m_workspaces = createWorkspaces();
    if (!m_workspaces) m_workspaces = NSArray::array();
    if (auto* first = ObjectCast<WorkspaceInfo>(m_workspaces->firstObject())) SwitchTo(first);
}
