// The pixel menu's document commands: fills, flatten, repeat, focal point, export cube, snapshots,
// saving with history, showing and hiding text, and selections kept as a spare channel or in files.
#include "AppKit/NSApplication.h"
#include "AppKit/NSSavePanel.h"
#include "DocSession/DocumentEngine.h"
#include "DocSession/PersonaController.h"
#include "DocSession/RasterBaseTarget.h"
#include "DocSession/RasterDocumentCommands.h"
#include "UIFramework/Alerts.h"
#include "UIFramework/AppController.h"
#include "UIFramework/InputSheet.h"
#include "app/LocalizedString.h"
#include "menus/MenuBarRasterController.h"

using Target = Kestrane::RasterBaseTarget;

void MenuBarRasterController_fillDocumentSelectors(SelectorTable<MenuBarRasterController>& c) {
#define QV_SELECTOR_ENTRY(sel, ...) c.method(#sel ":", &MenuBarRasterController::sel);
    QV_RASTER_MENU_LIVE_FILTERS(QV_SELECTOR_ENTRY)
    c.method("addLiquifyFilterRasterLayer:", &MenuBarRasterController::addLiquifyFilterRasterLayer);
    c.method("mergeVisible:", &MenuBarRasterController::mergeVisible);
    QV_RASTER_MENU_MERGES_AND_SELECTIONS(QV_SELECTOR_ENTRY)
    QV_RASTER_MENU_MASKS(QV_SELECTOR_ENTRY)
    QV_RASTER_MENU_RANGE_MASKS(QV_SELECTOR_ENTRY)
    c.method("maskToBelow:", &MenuBarRasterController::maskToBelow);
    c.method("addScope:", &MenuBarRasterController::addScope);
    QV_RASTER_MENU_DOCUMENT_COMMANDS(QV_SELECTOR_ENTRY)
#undef QV_SELECTOR_ENTRY
}

namespace {
constexpr ToolID kFocalPointToolID = 5;
constexpr NSInteger kSheetConfirmed = 1;
const char* const kSelectionFileType = "kqselection";

// Queues the command for the view's document (empty without a view).
void Enqueue(DocumentView* view, Kernel::Counted<DocumentCommand> command) {
    PersonaController* engine = PersonaController::GetInstance();
    engine->EnqueueCommand(std::move(command), MenuBarRasterController::CurrentDocument(view), false);
}

void EnqueueForCurrentView(Kernel::Counted<DocumentCommand> command) {
    Ref<DocumentView> view = MenuBarRasterController::TakeCurrentView();
    Enqueue(view.get(), std::move(command));
}

// The document controller of the view's session; null without a view or document.
DocumentController* SessionDocument(DocumentView* view, Kernel::Counted<DocumentControllerSession>& session) {
    session = view ? view->safeDocumentController() : Kernel::Counted<DocumentControllerSession>();
    return session ? session->GetDocumentController() : nullptr;
}

Ref<NSArray> SelectionFileTypes() {
    Ref<NSString> type = NSString::from(kSelectionFileType);
    NSObject* types[] = {type.get()};
    return NSArray::arrayWithObjects(types, 1);
}
}  // namespace

void MenuBarRasterController::fillPrimary(NSObject*) {
    EnqueueForCurrentView(Kernel::Counted<DocumentCommand>(new RasterFillCommand(
        FillCommandMode(1), Kernel::Consolidated<Renderer::Colour>(), 1.0, Raster::BlendModeType(0))));
}

void MenuBarRasterController::fillSecondary(NSObject*) {
    EnqueueForCurrentView(Kernel::Counted<DocumentCommand>(new RasterFillCommand(
        FillCommandMode(2), Kernel::Consolidated<Renderer::Colour>(), 1.0, Raster::BlendModeType(0))));
}

void MenuBarRasterController::flatten(NSObject*) {
    EnqueueForCurrentView(Kernel::Counted<DocumentCommand>(new Commands::FlattenCommand));
}

void MenuBarRasterController::showAllText(NSObject*) {
    EnqueueForCurrentView(Kernel::Counted<DocumentCommand>(new ShowAllTextCommand(true)));
}

void MenuBarRasterController::hideAllText(NSObject*) {
    EnqueueForCurrentView(Kernel::Counted<DocumentCommand>(new ShowAllTextCommand(false)));
}

void MenuBarRasterController::repeat(NSObject*) {
    // The item is disabled without a view and hidden without a repeatable command, but a stale
    // menu or a key equivalent can still send it: then nothing is queued.
    Ref<DocumentView> view = TakeCurrentView();
    Kernel::Counted<DocumentControllerSession> session;
    DocumentController* document = SessionDocument(view.get(), session);
    if (!document) return;
    Kernel::Counted<DocumentCommand> last = document->GetLastRepeatableCommand();
    if (!last) return;
    Kernel::Counted<DocumentCommand> again = last->CreateRepeatCommand();
    if (!again) return;
    Enqueue(view.get(), std::move(again));
}

void MenuBarRasterController::setTransformFocalPoint(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    Kernel::Counted<DocumentControllerSession> session;
    DocumentController* document = SessionDocument(view.get(), session);
    if (!document) return;
    view->setCurrentTool(document->GetToolByID(kFocalPointToolID));
}

void MenuBarRasterController::exportCube(NSObject*) {
    AppController* controller = AppController::controller();
    Ref<NSWindow> window(controller ? controller->getCurrentWindow() : nullptr);
    if (window) window->performSelector(QV_SELECTOR(showExportCubePanel));
}

void MenuBarRasterController::addDocumentSnapshot(NSObject*) {
    Ref<NSString> defaultName =
        NSDateFormatter::localizedStringFromDate(NSDate::date().get(), NSDateFormatterFullStyle, NSDateFormatterMediumStyle);
    AppController* controller = AppController::controller();
    auto sheet = New<RunInputSheetHelper>();
    // The handler holds nothing: the sheet sits on the current window, so the view current when
    // its button is pressed is that window's.
    sheet->initWithMessage(LocalizedStringWithContext("Add Document Snapshot", "Raster").get(),
                           LocalizedStringWithContext("Enter a name for the snapshot", "Raster").get(),
                           controller ? controller->getCurrentWindow() : nullptr, defaultName.get(),
                           [](NSString* text, NSInteger result) {
                               if (result != kSheetConfirmed) return;
                               Ref<DocumentView> current = TakeCurrentView();
                               Kernel::StringT<Kernel::TEncUtf8> name(text ? text->utf8() : std::string());
                               Enqueue(current.get(),
                                       Kernel::Counted<DocumentCommand>(new AddDocumentSnapshotCommand(name)));
                           });
    sheet->run();
}

void MenuBarRasterController::saveWithHistory(NSObject*) {
    // As with repeat: without a view or document there is nothing to switch.
    Ref<DocumentView> view = TakeCurrentView();
    Kernel::Counted<DocumentControllerSession> session;
    DocumentController* document = SessionDocument(view.get(), session);
    if (!document) return;
    if (document->GetSaveHistory()) {
        Enqueue(view.get(), Kernel::Counted<DocumentCommand>(new SetSaveHistoryCommand(false)));
        return;
    }
    const char* context = "Save with History";
    Ref<NSString> title = LocalizedStringWithContext("Saving With History", context);
    Ref<NSString> warning = LocalizedStringWithContext(
        "Enabling \"Save With History\" means that anybody you send this document to can see everything you did "
        "to create it.\r\n\r\nDo you still want to enable \"Save With History\"?",
        context);
    Ref<NSString> yes = LocalizedStringWithContext("Yes", context);
    Ref<NSString> no = LocalizedStringWithContext("No", context);
    NSInteger answer =
        CocoaUIRunAlertPanel(title.get(), NSString::from("%@").get(), yes.get(), no.get(), nullptr, {warning.get()});
    if (answer != NSAlertFirstButtonReturn) return;
    Enqueue(view.get(), Kernel::Counted<DocumentCommand>(new SetSaveHistoryCommand(true)));
}

void MenuBarRasterController::saveSelectionAsSpare(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    Target::SaveSelectionAsSpareChannel(CurrentTool(view.get()));
}

namespace {
using SelectionFileCall = void (*)(Kernel::Counted<Tool>, Kernel::StringT<Kernel::TEncUtf8> const&);

// Shows the panel as a sheet on the view's window. The block keeps the panel and the view it was
// opened on until it is done with; on OK it hands that view's tool, as it is then, and the chosen
// path to the engine.
void BeginSelectionPanel(const Ref<NSSavePanel>& panel, const Ref<DocumentView>& view, SelectionFileCall call) {
    panel->beginSheetModalForWindow(view->window(), [panel, view, call](NSInteger result) {
        if (result != NSModalResponseOK) return;
        Ref<NSURL> url = panel->URL();
        Ref<NSString> path = url ? url->path() : nullptr;
        if (!path || path->utf8().empty()) return;
        Kernel::StringT<Kernel::TEncUtf8> file(path->utf8());
        call(view->currentTool(), file);
    });
}
}  // namespace

void MenuBarRasterController::saveSelection(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    if (!view) return;
    Ref<NSSavePanel> panel = NSSavePanel::savePanel();
    panel->setAllowedFileTypes(SelectionFileTypes().get());
    if (panel->respondsToSelector(QV_SELECTOR(setShowsTagField:))) panel->setShowsTagField(NO);
    BeginSelectionPanel(panel, view, &Target::SaveSelectionAsFile);
}

void MenuBarRasterController::loadSelection(NSObject*) {
    Ref<DocumentView> view = TakeCurrentView();
    if (!view) return;
    Ref<NSOpenPanel> panel = NSOpenPanel::openPanel();
    panel->setCanChooseFiles(YES);
    panel->setCanChooseDirectories(NO);
    panel->setAllowsMultipleSelection(NO);
    panel->setAllowedFileTypes(SelectionFileTypes().get());
    BeginSelectionPanel(panel, view, &Target::LoadSelectionFromFile);
}
