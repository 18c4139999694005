// Actions of the canvas context menus that hand work to the engine, the studio or a panel:
// preflight comments, picture frames, conversions, swatches, styles, anchors and curve nodes.
#include "AppKit/NSApplication.h"
#include "DocSession/DocumentCommand.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/PersonaController.h"
#include "UIFramework/AnchorCreateWindowController.h"
#include "UIFramework/AppController.h"
#include "UIFramework/Panels.h"
#include "UIFramework/StudioManager.h"
#include "menus/ContextMenuController.h"

namespace {

// Fit control words of the picture-frame properties command, one bit per fit mode.
constexpr int kScaleToMinFit = 0x100;
constexpr int kScaleToMaxFit = 0x200;
constexpr int kStretchToFit = 0x400;
constexpr int kNoneFit = 0x800;
// The centre of a frame's content.
constexpr SpatialAnchor kCentreAnchor = static_cast<SpatialAnchor>(5);
// Studio page of the swatches.
constexpr NSInteger kSwatchesPage = 12;

Kernel::Counted<Tool> CurrentTool() {
    AppController* controller = AppController::controller();
    return controller ? controller->getCurrentTool() : Kernel::Counted<Tool>();
}

void Enqueue(DocumentCommand* made, Kernel::Counted<DocumentController const> document) {
    // The queue becomes the command's last owner once this handle goes.
    Kernel::Counted<DocumentCommand> command(made);
    PersonaController::GetInstance()->EnqueueCommand(command, std::move(document), false);
}

// The view's document, taken straight from the view; empty without a view. The command is queued
// all the same.
void EnqueueForViewDocument(DocumentCommand* made) {
    AppController* controller = AppController::controller();
    DocumentView* view = controller ? controller->getCurrentView() : nullptr;
    Enqueue(made, Kernel::Counted<DocumentController const>(view ? view->unsafeDocumentController() : nullptr));
}

// The document controller through the current view's session; empty without a view or document.
Kernel::Counted<DocumentController const> SessionDocument() {
    AppController* controller = AppController::controller();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    if (!view) return {};
    Kernel::Counted<DocumentControllerSession> session = view->safeDocumentController();
    return Kernel::Counted<DocumentController const>(session ? session->GetDocumentController() : nullptr);
}

enum class FrameChange { Fit, AnchorToCentre };

// Sends a new fit mode with the selection's current anchor, or the centre anchor with the
// selection's current fit mode; nothing when the selection holds no picture frame.
void ChangeFrame(FrameChange change, int fit) {
    const Kernel::Counted<DocumentController const> document = SessionDocument();
    if (!document) return;
    const Kernel::Counted<Selection const> selection = document->GetUnrestrictedSelection();
    if (!PictureFramePropertiesCommand::CanApplyTo(selection)) return;
    SpatialAnchor anchor = kCentreAnchor;
    unsigned int control = static_cast<unsigned int>(fit);
    if (change == FrameChange::Fit) PictureFramePropertiesCommand::GetCurrentAnchor(selection, anchor);
    else PictureFramePropertiesCommand::GetCurrentControl(selection, control);
    Enqueue(new PictureFramePropertiesCommand(static_cast<int>(control), anchor, Kernel::Counted<Selection const>()),
            document);
}

// The swatches page, when the studio's page is one.
Ref<SwatchesPage> Swatches() {
    return Ref<SwatchesPage>(ObjectCast<SwatchesPage>(StudioManager::GetInstance()->pageWithID(kSwatchesPage)));
}

// Swatches from the current document's selection; an empty selection handle without a document.
void AddSwatchesFromSelection(BOOL fill, BOOL line) {
    AppController* controller = AppController::controller();
    Ref<Document> document(controller ? controller->getCurrentDocument() : nullptr);
    const Kernel::Counted<DocumentControllerSession> session =
        document ? document->safeDocumentController() : Kernel::Counted<DocumentControllerSession>();
    DocumentController* documentController = session ? session->GetDocumentController() : nullptr;
    const Kernel::Counted<Selection const> selection =
        documentController ? documentController->m_currentSelection : Kernel::Counted<Selection const>();
    if (Ref<SwatchesPage> page = Swatches()) page->addFromSelection(&selection, fill, line);
}

void AddSelectionToGlobalSwatches(BOOL fill, BOOL line) {
    if (Ref<SwatchesPage> page = Swatches()) page->addSelectionToGlobalWithFill(fill, line);
}

}  // namespace

ContextMenuController::~ContextMenuController() {
    setAdvancedTextMenu(nullptr);
    setSliceMenu(nullptr);
    setZoomMenu(nullptr);
    setPaletteEditMenu(nullptr);
    setTextMenu(nullptr);
    setSelectExportableMenu(nullptr);
    setSelectMenu(nullptr);
    setGeneralMenu(nullptr);
    m_topLevelObjects = nullptr;
}

// The submenu's own item and the frame-properties item do nothing themselves.
void ContextMenuController::pointlessPreflightSubMenuSelector(NSObject*) {}
void ContextMenuController::doFrameProperties(NSObject*) {}

void ContextMenuController::setPreflightComment(NSObject*) {
    AppController* controller = AppController::controller();
    Ref<NSWindow> window(controller ? controller->getCurrentWindow() : nullptr);
    if (window && window->respondsToSelector(QV_SELECTOR(showSetPreflightCommentPanel)))
        window->performSelector(QV_SELECTOR(showSetPreflightCommentPanel));
}

void ContextMenuController::clearPreflightComment(NSObject*) {
    // Clearing is setting the empty comment.
    EnqueueForViewDocument(
        new SetPreflightCommentCommand(Kernel::StringT<Kernel::TEncUtf8>(), false, Kernel::Counted<Selection const>()));
}

void ContextMenuController::doScaleToMaxFit(NSObject*) { ChangeFrame(FrameChange::Fit, kScaleToMaxFit); }
void ContextMenuController::doScaleToMinFit(NSObject*) { ChangeFrame(FrameChange::Fit, kScaleToMinFit); }
void ContextMenuController::doStretchToFit(NSObject*) { ChangeFrame(FrameChange::Fit, kStretchToFit); }
void ContextMenuController::doNoneFit(NSObject*) { ChangeFrame(FrameChange::Fit, kNoneFit); }
void ContextMenuController::doAnchorToCentre(NSObject*) { ChangeFrame(FrameChange::AnchorToCentre, kNoneFit); }

void ContextMenuController::doSizeFrameToContent(NSObject*) {
    const Kernel::Counted<DocumentController const> document = SessionDocument();
    if (!document) return;
    Enqueue(new PictureFrameFitToContentCommand(), document);
}

void ContextMenuController::doSetSelectionBox(NSObject*) {
    if (Kernel::Counted<Tool> tool = CurrentTool()) tool->SetSelectionBox();
}

void ContextMenuController::doConvertToCurves(NSObject*) {
    EnqueueForViewDocument(new ConvertToCurvesCommand(Kernel::Counted<Selection const>()));
}

void ContextMenuController::doConvertToPictureFrame(NSObject*) {
    EnqueueForViewDocument(new ConvertToPictureFrameCommand(true));
}

void ContextMenuController::doConvertToTextFrame(NSObject*) {
    Kestrane::VectorBaseTarget::EnqueueConvertToTextFrameWithTool(CurrentTool());
}

void ContextMenuController::moveSelectionToNewVectorLayer(NSObject*) {
    Kestrane::StructureBaseTarget::EnqueueAddNewVectorLayerWithCurrentSelectionWithTool(CurrentTool());
}

void ContextMenuController::addToSwatchesFromBrushInterface(NSObject*) { AddSwatchesFromSelection(YES, NO); }
void ContextMenuController::addToSwatchesFromLineStyleInterface(NSObject*) { AddSwatchesFromSelection(NO, YES); }
void ContextMenuController::addToSwatchesFromBrushAndLine(NSObject*) { AddSwatchesFromSelection(YES, YES); }
void ContextMenuController::addToSwatchesFromBrushInterfaceAsGlobal(NSObject*) { AddSelectionToGlobalSwatches(YES, NO); }
void ContextMenuController::addToSwatchesFromLineStyleInterfaceAsGlobal(NSObject*) {
    AddSelectionToGlobalSwatches(NO, YES);
}
void ContextMenuController::addToSwatchesFromBrushAndLineAsGlobal(NSObject*) { AddSelectionToGlobalSwatches(YES, YES); }

void ContextMenuController::doCreateObjectStyle(NSObject*) {
    StylesManager::defaultManager()->addStylesFromSelectionToCurrentCategory();
}

void ContextMenuController::doEditFilterEffects(NSObject*) {
    AppPanelManager::standardPanelManager()->showEffectsSettingsPanel();
}

void ContextMenuController::doEditTransparency(NSObject*) {
    AppPanelManager::standardPanelManager()->showTransparencyEditorPanel();
}

void ContextMenuController::openAnchorProperties(NSObject*) {
    auto dialog = New<AnchorCreateWindowController>();
    if (!dialog) return;
    Ref<NSWindow> window(dialog->window());
    // Returns once the dialog has stopped the modal loop; the dialog is released after.
    if (NSApp) NSApp->runModalForWindow(window.get());
}

void ContextMenuController::deleteNodeOnCurve(NSObject*) {
    Kernel::Counted<Tool> tool = CurrentTool();
    if (tool && tool->CanDeleteSelectedNodes(false)) tool->DeleteSelectedNodes(false);
}

void ContextMenuController::deleteFitToCurveNodeOnCurve(NSObject* sender) {
    if (ViewCommands* commands = CommandControllerManager::GetInstance()->viewCommands())
        commands->performSelector(QV_SELECTOR(contentAwareDelete:), sender);
}
