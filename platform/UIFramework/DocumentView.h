// The framework's document view and document.
#pragma once
#include "AppKit/NSView.h"
#include "AppKit/NSWindow.h"
#include "DocSession/DocumentController.h"
#include "Kernel/Counted.h"
#include "Kernel/String.h"

class Document;

class DocumentView : public NSView {
    QV_OBJECT(DocumentView)
public:
    DocumentView() = default;
    explicit DocumentView(Kernel::Counted<DocumentController> document) : m_document(std::move(document)) {}

    Kernel::Counted<Tool> currentTool() const { return m_tool; }
    void setCurrentTool(Kernel::Counted<Tool> tool);
    // Non-owning: the caller never releases it. Null when the view has no document.
    DocumentController* unsafeDocumentController() const { return m_document.Get(); }
    Kernel::Counted<DocumentControllerSession> safeDocumentController() const;
    BOOL isDragging() const { return m_dragging; }
    BOOL canEnqueueCommands() const { return m_canEnqueue; }
    BOOL isRecordingMacro() const { return m_document && m_document->IsRecordingMacro(); }
    // Makes the document's tool of that id current (the engine makes one when the document has none).
    void setSuitableToolByID(ToolID id);
    // Makes the tool the document remembered current again; without one the tool stays.
    void revertToRememberTool();
    // The framework's document object of the view (made on first use).
    Document* document();
    BOOL isSingleViewMode() const { return m_viewMode == ViewMode::Single; }
    BOOL isSplitViewMode() const { return m_viewMode == ViewMode::Split; }
    void setSingleViewMode();
    void setSplitViewMode(const Kernel::String& caption0, const Kernel::String& caption1);
    void setMirrorViewMode(const Kernel::String& caption0, const Kernel::String& caption1);
    void stopPanTimer();
    // Text selection of the view, for the look-up panel.
    NSRange selectedRange() const { return m_selectedRange; }
    NSRect firstRectForCharacterRange(NSRange range, NSRange* actualRange) const;
    void showDefinitionForAttributedString(NSAttributedString* text, NSPoint point);

    // Stand-in state.
    void setDragging(BOOL dragging) { m_dragging = dragging; }
    void setCanEnqueueCommands(BOOL can) { m_canEnqueue = can; }
    void setCurrentToolQuietly(Kernel::Counted<Tool> tool) { m_tool = std::move(tool); }
    void setSelectedTextRect(NSRange range, NSRect screenRect) {
        m_selectedRange = range;
        m_selectedRect = screenRect;
    }

private:
    enum class ViewMode { Single, Split, Mirror };
    Kernel::Counted<DocumentController> m_document;
    Kernel::Counted<Tool> m_tool;
    Ref<Document> m_frameworkDocument;
    ViewMode m_viewMode = ViewMode::Single;
    BOOL m_dragging = NO;
    BOOL m_canEnqueue = YES;
    NSRange m_selectedRange{0, 0};
    NSRect m_selectedRect{};
};

// The framework's document window.
class DocumentWindow : public NSWindow {
    QV_OBJECT(DocumentWindow)
public:
    void showExportCubePanel();
    void showSetPreflightCommentPanel();
};

// The framework's document object, made by the application controller for an engine document.
class Document : public NSObject {
    QV_OBJECT(Document)
public:
    Document* initWithController(Kernel::Counted<DocumentController const> controller, bool embedded);
    const Kernel::Counted<DocumentController const>& controller() const { return m_controller; }
    // A session holding the document's controller; none when the document has no controller.
    Kernel::Counted<DocumentControllerSession> safeDocumentController() const;
    // Stand-in: ties the object to its controller without the framework's initialiser.
    void setControllerQuietly(Kernel::Counted<DocumentController const> controller) { m_controller = std::move(controller); }
    bool isEmbedded() const { return m_embedded; }
    // Remembers the current tool of the document's view, so that it can be gone back to.
    void rememberCurrentToolIfNonEffectTool();
    const Kernel::Counted<Tool>& rememberedTool() const { return m_rememberedTool; }
    // The document of a view: it follows that view's tool.
    static Ref<Document> ForView(DocumentView* view, Kernel::Counted<DocumentController const> controller);

private:
    DocumentView* m_view = nullptr;  // the view that owns this document object
    Kernel::Counted<Tool> m_rememberedTool;
    Kernel::Counted<DocumentController const> m_controller;
    bool m_embedded = false;
};
