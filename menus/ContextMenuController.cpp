#include "menus/ContextMenuController.h"

#include "AppKit/NibLoading.h"
#include "DocSession/DocumentCommand.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/PersonaController.h"
#include "UIFramework/AppController.h"
#include "UIFramework/ContextMenuRequest.h"
#include "UIFramework/NSMakeString.h"
#include "UIFramework/Panels.h"
#include "app/ToolLookup.h"
#include "menus/NodeMenuItem.h"

#define QV_UNIT_TAG_ALIASES
#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"

QV_IMPLEMENT(ContextMenuController, NSController) {
    c.method("setGeneralMenu:", &ContextMenuController::setGeneralMenu);
    c.method("setSelectMenu:", &ContextMenuController::setSelectMenu);
    c.method("setSelectExportableMenu:", &ContextMenuController::setSelectExportableMenu);
    c.method("setTextMenu:", &ContextMenuController::setTextMenu);
    c.method("setPaletteEditMenu:", &ContextMenuController::setPaletteEditMenu);
    c.method("setZoomMenu:", &ContextMenuController::setZoomMenu);
    c.method("setSliceMenu:", &ContextMenuController::setSliceMenu);
    c.method("setAdvancedTextMenu:", &ContextMenuController::setAdvancedTextMenu);
    c.method("generalMenu", &ContextMenuController::generalMenu);
    c.method("selectMenu", &ContextMenuController::selectMenu);
    c.method("selectExportableMenu", &ContextMenuController::selectExportableMenu);
    c.method("textMenu", &ContextMenuController::textMenu);
    c.method("paletteEditMenu", &ContextMenuController::paletteEditMenu);
    c.method("zoomMenu", &ContextMenuController::zoomMenu);
    c.method("sliceMenu", &ContextMenuController::sliceMenu);
    c.method("advancedTextMenu", &ContextMenuController::advancedTextMenu);
    c.method("showContextMenu:", &ContextMenuController::showContextMenu);
    c.method("showNodesMenu:", &ContextMenuController::showNodesMenu);
    c.method("doSpellingChange:", &ContextMenuController::doSpellingChange);
    c.method("lookupWord:", &ContextMenuController::lookupWord);
    c.method("openFieldEditor:", &ContextMenuController::openFieldEditor);
    c.method("convertTextToField:", &ContextMenuController::convertTextToField);
    c.method("expandFields:", &ContextMenuController::expandFields);
}
QV_IMPLEMENT(NodeMenuItem, NSMenuItem) {}

namespace {
// Guards the outlets: the properties are atomic.
std::mutex g_outletMutex;

DocumentView* CurrentView() {
    AppController* controller = AppController::controller();
    return controller ? controller->getCurrentView() : nullptr;
}

Kernel::Counted<DocumentController const> CurrentDocument() {
    DocumentView* view = CurrentView();
    return Kernel::Counted<DocumentController const>(view ? view->unsafeDocumentController() : nullptr);
}
}  // namespace

Ref<NSMenuItem> NodeMenuItem::copy() const {
    auto item = New<NodeMenuItem>();
    CopyInto(*item);
    item->m_node = m_node;
    return item;
}

Ref<NSMenu> ContextMenuController::Get(const Ref<NSMenu>& slot) {
    std::lock_guard<std::mutex> lock(g_outletMutex);
    return slot;
}

void ContextMenuController::Set(Ref<NSMenu>& slot, NSMenu* menu) {
    Ref<NSMenu> old;
    {
        std::lock_guard<std::mutex> lock(g_outletMutex);
        old = std::move(slot);
        slot = menu;
    }
}

NSObject* ContextMenuController::init() {
    if (!NSController::init()) return nullptr;
    Ref<NSArray> topLevel;
    // A missing resource leaves the outlets nil; the controller still works.
    NSBundleLoadNibNamed(NSBundle::mainBundle(), "ContextMenu", this, &topLevel);
    m_topLevelObjects = topLevel;
    return this;
}

std::vector<Kernel::Counted<Node>> SelectedNodes(const Selection& selection) {
    Kernel::CriticalSectionLock lock(selection.m_nodeCacheLock);
    if (selection.m_nodeCache.empty()) {
        for (const auto& item : selection.GetItems()) {
            Selectable* object = item ? item->GetSelectable() : nullptr;
            if (Node* node = Kernel::fast_dynamic_cast<Node, Selectable>(object))
                selection.m_nodeCache.emplace_back(node);
        }
    }
    return selection.m_nodeCache;
}

template <class T>
bool ToolIsKindOf(const Kernel::Counted<Tool>& tool) {
    return tool && Kernel::fast_dynamic_cast<T const, Tool>(tool.Get()) != nullptr;
}
template bool ToolIsKindOf<NodeTool>(const Kernel::Counted<Tool>&);
template bool ToolIsKindOf<ShapeNodeTool>(const Kernel::Counted<Tool>&);
template bool ToolIsKindOf<FillToolBase>(const Kernel::Counted<Tool>&);
template bool ToolIsKindOf<TransformTool>(const Kernel::Counted<Tool>&);
template bool ToolIsKindOf<StrokeWidthTool>(const Kernel::Counted<Tool>&);
template bool ToolIsKindOf<SliceTool>(const Kernel::Counted<Tool>&);

void ContextMenuController::addNode(Kernel::JailCounted<Node> node, NSMenu* menu) {
    if (!node || !menu) return;
    auto item = New<NodeMenuItem>();
    item->initWithTitle(NSMakeString(node->GetDescription(true)).get(), QV_SELECTOR(showNodesMenu:), NSString::string().get());
    item->setTarget(this);
    item->setNode(node);
    menu->addItem(item.get());
}

void ContextMenuController::addNodeChildren(Kernel::JailCounted<Node> node, NSMenu* menu) {
    if (!node || !menu) return;
    for (Node* child = node->GetFirstChild(); child; child = child->GetNextSibling()) {
        Ref<NSString> title = NSMakeString(child->GetDescription(true));
        auto item = New<NodeMenuItem>();
        item->initWithTitle(title.get(), QV_SELECTOR(showNodesMenu:), NSString::string().get());
        if (child->GetFirstChild()) {
            auto submenu = New<NSMenu>();
            submenu->initWithTitle(title.get());
            addNodeChildren(Kernel::JailCounted<Node>(child), submenu.get());
            submenu->setAutoenablesItems(NO);
            item->setSubmenu(submenu.get());
        }
        item->setTarget(this);
        item->setNode(Kernel::JailCounted<Node>(child));
        menu->addItem(item.get());
    }
}

void ContextMenuController::showNodesMenu(NSObject* sender) {
    auto selection = Kernel::MakeCounted<MutableSelection>();
    auto* item = ObjectCast<NodeMenuItem>(sender);
    Kernel::JailCounted<Node> node = item ? item->node() : Kernel::JailCounted<Node>();
    selection->AddSelectable(Kernel::Counted<Selectable>(node.Get()), false);
    Kernel::Counted<DocumentCommand> command(new SetCurrentSelectionCommand(
        selection->CloneImmutable(), false, false, false, CurrentSpreadEnsureVisible::Yes));
    PersonaController::GetInstance()->EnqueueCommand(command, CurrentDocument(), false);
}

void ContextMenuController::showContextMenu(NSObject* requestObject) {
    auto* request = ObjectCast<ContextMenuRequest>(requestObject);
    if (!request || !request->cNotification) return;
    const uint32_t kind = request->cNotification->kind;
    switch (kind) {
    case 0:
    case 12: break;
    case 1: AppPanelManager::standardPanelManager()->show("showTabStopEditor"); return;
    case 5: AppPanelManager::standardPanelManager()->show("showTableExtender"); return;
    default: return;  // 9, 10 and above 12 show nothing; the table and curve-node kinds have menus of their own
    }
    DocumentView* view = CurrentView();
    id answer = performSelector(QV_SELECTOR(getContextMenuForSelectionInView:), view);
    Ref<NSMenu> menu(ObjectCast<NSMenu>(answer.get()));
    if (!menu) return;

    // Each tagged item goes together with the item just above it (its separator).
    auto removeTagged = [&menu](NSInteger tag) {
        NSInteger index = menu->indexOfItemWithTag(tag);
        if (index < 0) return;
        menu->removeItemAtIndex(index);
        if (index > 0) menu->removeItemAtIndex(index - 1);
    };
    AppController* controller = AppController::controller();
    WorkspaceInfo* workspace = controller ? controller->currentWorkspace() : nullptr;
    if (!workspace || workspace->kestraneUID() != FourCharCode("vect")) removeTagged(102);
    if (Kestrane::Application::Current()->GetProduct() == 1) removeTagged(42);
    if (kind != 11 && !PersonaController::GetInstance()->m_allowAdvancedTextFeatures) removeTagged(5);

    if (!view) return;
    Ref<DocumentView> keepView(view);
    NSPoint location = view->convertPointFromScreen(NSEvent::mouseLocation());
    menu->popUpMenuPositioningItem(nullptr, location, view);
    view->stopPanTimer();
    Kernel::Counted<Tool> tool = view->currentTool();
    if (tool) tool->ForceCursorInvalidate();
}

void ContextMenuController::doSpellingChange(NSObject* sender) {
    auto* item = ObjectCast<NSMenuItem>(sender);
    SpellingCommands* spelling = CommandControllerManager::GetInstance()->spellingCommands();
    spelling->performSelector(QV_SELECTOR(changeWord:findNext:), item ? item->title() : nullptr,
                              NSNumber::numberWithBool(NO).get());
}

void ContextMenuController::lookupWord(NSObject* sender) {
    auto* item = ObjectCast<NSMenuItem>(sender);
    auto* word = item ? ObjectCast<NSString>(item->representedObject()) : nullptr;
    DocumentView* view = CurrentView();
    if (!view || !word) return;
    NSRange actual{};
    NSRect screenRect = view->firstRectForCharacterRange(view->selectedRange(), &actual);
    // The stand-in window has screen, window and view coordinates in common.
    NSPoint origin = view->convertPointFromScreen(screenRect.origin);
    auto text = New<NSAttributedString>();
    text->initWithString(word);
    view->showDefinitionForAttributedString(text.get(), NSPoint{origin.x, origin.y + screenRect.size.height});
}

void ContextMenuController::openFieldEditor(NSObject*) { AppPanelManager::standardPanelManager()->showFieldEditor(); }

void ContextMenuController::convertTextToField(NSObject*) {
    AppPanelManager::standardPanelManager()->showConvertTextToField();
}

void ContextMenuController::expandFields(NSObject*) {
    Kernel::Counted<DocumentCommand> command(new ExpandFieldGlyphCommand(Kernel::Counted<Selection const>()));
    PersonaController::GetInstance()->EnqueueCommand(command, CurrentDocument(), false);
}
