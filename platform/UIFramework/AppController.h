// The framework's application controller: personas (workspaces), documents and views.
#pragma once
#include <cstdint>
#include <optional>
#include <set>

#include "DocSession/DocumentController.h"
#include "Foundation/Foundation.h"
#include "Kernel/Counted.h"
#include "UIFramework/DocumentView.h"
#include "UIFramework/WorkspaceInfo.h"

class AppController : public NSObject {
    QV_OBJECT(AppController)
public:
    ~AppController() override;
    NSObject* init() override;

    // The running application controller; nil before the framework has one.
    static AppController* controller();

    // Overridable by the product.
    virtual void initialise();
    virtual Ref<NSArray> createWorkspaces();
    virtual BOOL isSelectorAllowed(SEL action);
    virtual void shutDown();
    virtual void applicationDidFinishLaunching();
    virtual BOOL hasToolPalette() { return NO; }
    virtual BOOL hasExportPersona() { return NO; }
    virtual Ref<NSObject> createDocumentWithController(Kernel::Counted<DocumentController const> controller,
                                                       bool embedded);

    // Framework services.
    WorkspaceInfo* currentWorkspace() const { return m_current.get(); }
    BOOL supportsWorkspace(uint32_t persona);
    void setupWorkspaceByUID(uint32_t persona);
    BOOL isMainWindowVisible();
    Kernel::Counted<DocumentController> getCurrentUnsafeDocumentController();
    void setupDefaultWorkspace();
    DocumentView* getCurrentView() const { return m_view.get(); }
    // The window of the current view; nil when there is none.
    NSWindow* getCurrentWindow() const { return m_view ? m_view->window() : nullptr; }
    // The current view's tool; empty when there is no view or it has no tool.
    Kernel::Counted<Tool> getCurrentTool() const { return m_view ? m_view->currentTool() : Kernel::Counted<Tool>(); }
    // The current document: the current view's, unless the stand-in fixed another (or none).
    Document* getCurrentDocument() const;
    NSArray* workspaces() const { return m_workspaces.get(); }

    // Start-up by the framework: the product's workspaces, then the default one started.
    void startWorkspaces();
    // Makes this the running controller (nil clears).
    static void setRunningController(AppController* controller);

    // Stand-in state.
    void setCurrentView(DocumentView* view) { m_view = view; }
    // Fixes what getCurrentDocument answers (nil for no document); clearCurrentDocument goes back
    // to the view's document.
    void setCurrentDocument(Document* document) {
        m_document = document;
        m_documentFixed = true;
    }
    void clearCurrentDocument() {
        m_document = nullptr;
        m_documentFixed = false;
    }
    void setMainWindowVisible(BOOL visible) { m_mainWindowVisible = visible; }
    // The personas supportsWorkspace: answers YES for; unset, the product's workspaces plus the
    // engine's Liquify and Tone Mapping (and Export when hasExportPersona).
    void setSupportedWorkspaces(std::optional<std::set<uint32_t>> personas) { m_supported = std::move(personas); }
    // Makes the workspace current without starting anything or loading its menu.
    void setCurrentWorkspaceQuietly(WorkspaceInfo* workspace) { m_current = workspace; }
    void setWorkspacesQuietly(NSArray* workspaces) { m_workspaces = workspaces; }

private:
    BOOL Supports(uint32_t persona);
    WorkspaceInfo* FindWorkspace(uint32_t persona);
    void SwitchTo(WorkspaceInfo* workspace);

    Ref<NSArray> m_workspaces;
    Ref<NSMutableArray> m_frameworkPersonas = NSMutableArray::array();
    Ref<WorkspaceInfo> m_current;
    Ref<DocumentView> m_view;
    Ref<Document> m_document;
    bool m_documentFixed = false;
    Ref<NSArray> m_menuObjects;  // the current main-menu resource's top-level objects
    BOOL m_mainWindowVisible = YES;
    std::optional<std::set<uint32_t>> m_supported;
    bool m_switching = false;
};
