#include "UIFramework/DocumentView.h"

#include "DocSession/CallLog.h"
#include "UIFramework/ContextMenuRequest.h"

QV_IMPLEMENT(DocumentView, NSView) {
    c.method("setSingleViewMode", &DocumentView::setSingleViewMode);
    c.method("stopPanTimer", &DocumentView::stopPanTimer);
    c.method("isDragging", &DocumentView::isDragging);
    c.method("canEnqueueCommands", &DocumentView::canEnqueueCommands);
    c.method("isRecordingMacro", &DocumentView::isRecordingMacro);
}
QV_IMPLEMENT(Document, NSObject) {}
QV_IMPLEMENT(ContextMenuRequest, NSObject) {}

void DocumentView::setCurrentTool(Kernel::Counted<Tool> tool) {
    CallLog::Call("DocumentView::setCurrentTool:", tool);
    m_tool = std::move(tool);
}

Kernel::Counted<DocumentControllerSession> DocumentView::safeDocumentController() const {
    if (!m_document) return {};
    return Kernel::MakeCounted<DocumentControllerSession>(m_document);
}

Document* DocumentView::document() {
    if (!m_document) return nullptr;
    if (!m_frameworkDocument) {
        m_frameworkDocument = New<Document>();
        m_frameworkDocument->setControllerQuietly(Kernel::Counted<DocumentController const>(m_document.Get()));
    }
    return m_frameworkDocument.get();
}

Kernel::Counted<DocumentControllerSession> Document::safeDocumentController() const {
    if (!m_controller) return {};
    // The session's holder may act on the document: the framework hands it out writable.
    return Kernel::MakeCounted<DocumentControllerSession>(
        Kernel::Counted<DocumentController>(const_cast<DocumentController*>(m_controller.Get())));
}

void DocumentView::setSingleViewMode() { CallLog::Call("DocumentView::setSingleViewMode"); }
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
