#include "UIFramework/DocumentView.h"

#include "DocSession/CallLog.h"
#include "UIFramework/ContextMenuRequest.h"

QV_IMPLEMENT(DocumentView, NSView) {
    c.method("setSingleViewMode", &DocumentView::setSingleViewMode);
    c.method("revertToRememberTool", &DocumentView::revertToRememberTool);
    c.method("isSingleViewMode", &DocumentView::isSingleViewMode);
    c.method("isSplitViewMode", &DocumentView::isSplitViewMode);
    c.method("stopPanTimer", &DocumentView::stopPanTimer);
    c.method("isDragging", &DocumentView::isDragging);
    c.method("canEnqueueCommands", &DocumentView::canEnqueueCommands);
    c.method("isRecordingMacro", &DocumentView::isRecordingMacro);
}
QV_IMPLEMENT(Document, NSObject) {
    c.method("rememberCurrentToolIfNonEffectTool", &Document::rememberCurrentToolIfNonEffectTool);
}
QV_IMPLEMENT(DocumentWindow, NSWindow) {
    c.method("showExportCubePanel", &DocumentWindow::showExportCubePanel);
    c.method("showSetPreflightCommentPanel", &DocumentWindow::showSetPreflightCommentPanel);
}

void DocumentWindow::showSetPreflightCommentPanel() {
    CallLog::Call("DocumentWindow::showSetPreflightCommentPanel", CallLog::Raw{"<DocumentWindow " + CallLog::Arg(static_cast<const NSString*>(title())) + ">"});
}

void DocumentWindow::showExportCubePanel() {
    CallLog::Call("DocumentWindow::showExportCubePanel", CallLog::Raw{"<DocumentWindow " + CallLog::Arg(static_cast<const NSString*>(title())) + ">"});
}
QV_IMPLEMENT(ContextMenuRequest, NSObject) {}

void DocumentView::setCurrentTool(Kernel::Counted<Tool> tool) {
    CallLog::Call("DocumentView::setCurrentTool:", tool);
    m_tool = std::move(tool);
}

Kernel::Counted<DocumentControllerSession> DocumentView::safeDocumentController() const {
    if (!m_document) return {};
    return Kernel::MakeCounted<DocumentControllerSession>(m_document);
}

void DocumentView::setSuitableToolByID(ToolID id) {
    CallLog::Call("DocumentView::setSuitableToolByID:", id);
    Kernel::Counted<Tool> tool;
    if (m_document)
        for (Tool* t : m_document->GetTools())
            if (t && t->GetToolID() == id) tool = Kernel::Counted<Tool>(t);
    m_tool = tool ? tool : Kernel::MakeCounted<Tool>(id);
}

void DocumentView::revertToRememberTool() {
    CallLog::Call("DocumentView::revertToRememberTool");
    if (m_frameworkDocument && m_frameworkDocument->rememberedTool()) m_tool = m_frameworkDocument->rememberedTool();
}

Document* DocumentView::document() {
    if (!m_frameworkDocument) m_frameworkDocument = Document::ForView(this, m_document);
    return m_frameworkDocument.get();
}

void DocumentView::setSingleViewMode() {
    CallLog::Call("DocumentView::setSingleViewMode");
    m_viewMode = ViewMode::Single;
}
void DocumentView::setSplitViewMode(const Kernel::String& caption0, const Kernel::String& caption1) {
    CallLog::Call("DocumentView::setSplitViewMode:customDesc1:", caption0, caption1);
    m_viewMode = ViewMode::Split;
}
void DocumentView::setMirrorViewMode(const Kernel::String& caption0, const Kernel::String& caption1) {
    CallLog::Call("DocumentView::setMirrorViewMode:customDesc1:", caption0, caption1);
    m_viewMode = ViewMode::Mirror;
}

Ref<Document> Document::ForView(DocumentView* view, Kernel::Counted<DocumentController const> controller) {
    auto doc = New<Document>();
    doc->m_view = view;
    doc->m_controller = std::move(controller);
    return doc;
}

void Document::rememberCurrentToolIfNonEffectTool() {
    CallLog::Call("Document::rememberCurrentToolIfNonEffectTool");
    if (m_view) m_rememberedTool = m_view->currentTool();
}

Kernel::Counted<DocumentControllerSession> Document::safeDocumentController() const {
    if (!m_controller) return {};
    // The session's holder may act on the document: the framework hands it out writable.
    return Kernel::MakeCounted<DocumentControllerSession>(
        Kernel::Counted<DocumentController>(const_cast<DocumentController*>(m_controller.Get())));
}

void DocumentView::stopPanTimer() { CallLog::Call("DocumentView::stopPanTimer"); }

Document* Document::initWithController(Kernel::Counted<DocumentController const> controller, bool embedded) {
    CallLog::Call("Document::initWithController:embedded:", controller, embedded);
    m_controller = std::move(controller);
    m_embedded = embedded;
    return this;
}

NSRect DocumentView::firstRectForCharacterRange(NSRange range, NSRange* actualRange) const {
    if (actualRange) *actualRange = range;
    return m_selectedRect;
}

void DocumentView::showDefinitionForAttributedString(NSAttributedString* text, NSPoint point) {
    CallLog::Call("DocumentView::showDefinitionForAttributedString:atPoint:",
                  static_cast<const NSString*>(text ? text->string() : nullptr),
                  CallLog::Raw{"{" + std::to_string(static_cast<long>(point.x)) + ", " +
                               std::to_string(static_cast<long>(point.y)) + "}"});
}
