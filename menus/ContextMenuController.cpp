#include "menus/ContextMenuController.h"

#include "AppKit/NSSpellChecker.h"
#include "AppKit/NibLoading.h"
#include "DocCommands/DocCommands.h"
#include "DocSession/DocumentCommand.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/PersonaController.h"
#include "DocSession/TextBaseTarget.h"
#include "UIFramework/AppController.h"
#include "UIFramework/ContextMenuRequest.h"
#include "UIFramework/LanguageCodeNames.h"
#include "UIFramework/NSMakeString.h"
#include "UIFramework/Panels.h"
#include "app/LocalizedString.h"
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
    c.method("getContextMenuForSelectionInView:", &ContextMenuController::getContextMenuForSelectionInView);
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

std::vector<Kernel::Counted<Node>> SelectionNodes(const Selection& selection) {
    Kernel::CriticalSectionLock lock(selection.m_nodeCacheLock);
    if (selection.m_nodeCache.empty()) {
        const auto& items = selection.GetItems();
        selection.m_nodeCache.reserve(items.size());
        for (const auto& item : items) {
            Selectable* object = item ? item->GetSelectable() : nullptr;
            if (!object) continue;
            if (Node* node = Kernel::fast_dynamic_cast<Node, Selectable>(object))
                selection.m_nodeCache.emplace_back(node);
        }
    }
    return selection.m_nodeCache;
}

template <class T>
bool IsToolOfClass(const Kernel::Counted<Tool>& tool) {
    return tool && Kernel::fast_dynamic_cast<T const, Tool>(tool.Get()) != nullptr;
}
template bool IsToolOfClass<NodeTool>(const Kernel::Counted<Tool>&);
template bool IsToolOfClass<ShapeNodeTool>(const Kernel::Counted<Tool>&);
template bool IsToolOfClass<FillToolBase>(const Kernel::Counted<Tool>&);
template bool IsToolOfClass<TransformTool>(const Kernel::Counted<Tool>&);
template bool IsToolOfClass<StrokeWidthTool>(const Kernel::Counted<Tool>&);
template bool IsToolOfClass<SliceTool>(const Kernel::Counted<Tool>&);

namespace {

// The look-up title shows at most this many UTF-16 units of the word.
constexpr NSUInteger kLookUpTitleUnits = 25;

// A text story selection qualifies for the text menu when it holds no range, or one range that
// lies in a story.
bool QualifiesForTextMenu(const Story::Selection& story) {
    const auto& ranges = story.GetRanges();
    return ranges.empty() || (ranges.size() == 1 && ranges.front().story != 0);
}

Ref<NSMenuItem> MakeItem(const NSString* title, SEL action, NSObject* target, NSObject* representedObject) {
    auto item = New<NSMenuItem>();
    item->initWithTitle(title, action, NSString::string().get());
    item->setTarget(target);
    if (representedObject) item->setRepresentedObject(representedObject);
    return item;
}

Ref<NSString> Localized(std::string_view text, std::string_view context = "Context menu") {
    return LocalizedStringWithContext(text, context);
}

// The localized text used as a format with one argument.
Ref<NSString> LocalizedWithWord(std::string_view text, NSString* word) {
    return NSString::stringWithFormat(Localized(text)->utf8(), {word});
}

// The word as the look-up title shows it: whole up to the limit, else cut there with an ellipsis,
// never between the two halves of a surrogate pair.
Ref<NSString> ShownWord(NSString* word) {
    if (word->length() <= kLookUpTitleUnits) return Ref<NSString>(word);
    NSUInteger cut = kLookUpTitleUnits;
    const unsigned short last = word->characterAtIndex(cut - 1);
    if (last >= 0xD800 && last < 0xDC00) --cut;
    return NSString::stringWithFormat("%@\u2026", {word->substringToIndex(cut).get()});
}

}  // namespace

Ref<NSMenu> ContextMenuController::getContextMenuForSelectionInView(NSObject*) {
    Ref<DocumentView> view(CurrentView());
    if (!view) return nullptr;
    Kernel::Counted<Tool> tool = view->currentTool();
    Kernel::Counted<DocumentControllerSession> session = view->safeDocumentController();
    DocumentController* document = session ? session->GetDocumentController() : nullptr;
    // A view without a document or selection has nothing to offer a menu for: as no view.
    if (!document) return nullptr;
    Kernel::Counted<Selection const> selection = document->GetUnrestrictedSelection();
    if (!selection) return nullptr;

    Tool* current = tool.Get();
    if (Kernel::fast_dynamic_cast<TextTool const, Tool>(current) && current->WantsTextContextMenu() &&
        selection->GetCount() > 0) {
        for (const auto& item : selection->GetItems()) {
            if (!item) continue;
            Story::Selection story = item->MakeStorySelection(true);
            if (QualifiesForTextMenu(story)) return TextMenu(std::move(story), *document, selection, tool);
        }
    }
    const bool select = Kernel::fast_dynamic_cast<SelectTool const, Tool>(current) != nullptr;
    if (select || Kernel::fast_dynamic_cast<SelectExportableTool const, Tool>(current)) {
        if (NSEvent::isCommandKeyDown()) return NodeMenu(*selection);
        return select ? selectMenu() : selectExportableMenu();
    }
    if (Kernel::fast_dynamic_cast<ZoomTool const, Tool>(current) || Kernel::fast_dynamic_cast<ViewTool const, Tool>(current))
        return zoomMenu();
    if (IsToolOfClass<NodeTool>(tool) || IsToolOfClass<ShapeNodeTool>(tool) || IsToolOfClass<FillToolBase>(tool) ||
        IsToolOfClass<TransformTool>(tool) || IsToolOfClass<StrokeWidthTool>(tool))
        return selectMenu();
    if (IsToolOfClass<SliceTool>(tool)) return sliceMenu();
    return nullptr;
}

Ref<NSMenu> ContextMenuController::TextMenu(Story::Selection story, DocumentController& document,
                                            const Kernel::Counted<Selection const>& selection,
                                            const Kernel::Counted<Tool>& tool) {
    const bool advanced = PersonaController::GetInstance()->m_allowAdvancedTextFeatures;
    Ref<NSMenu> source = advanced ? advancedTextMenu() : textMenu();
    if (!source) return nullptr;
    Ref<NSMenu> menu = source->copy();

    story.ExtendToSpelling(false);
    story.ExcludeStoryTerminator();
    const Story::StoryRange range = story.GetMaxRange();
    Ref<NSString> word = NSMakeString(range.GetString(0x220, -1));
    const Story::GlyphString glyphs = range.GetGlyphs();
    const Kernel::Counted<Story::Language> language = range.GetStart().GetGlyphAtts().language;
    Ref<NSString> languageName = LanguageCodeNames::convertFromStoryLanguageCode(
        language ? NSMakeString(language->GetCFDialect()).get() : nullptr);
    NSSpellChecker* checker = NSSpellChecker::sharedSpellChecker();
    checker->setLanguage(languageName.get());

    SpellingCommands* spelling = CommandControllerManager::GetInstance()->spellingCommands();
    NSInteger i = 0;
    auto insert = [&menu, &i](const Ref<NSMenuItem>& entry) { menu->insertItem(entry.get(), i++); };
    if (document.GetSpellChecker()->IsIgnoredWord(glyphs, language)) {
        insert(MakeItem(LocalizedWithWord("Unignore Spelling \"%@\"", word.get()).get(), QV_SELECTOR(unignoreWord:),
                        spelling, word.get()));
        insert(NSMenuItem::separatorItem());
    } else if (word->rangeOfCharacterFromSet(NSCharacterSet::whitespaceAndNewlineCharacterSet()).location ==
               static_cast<NSUInteger>(NSNotFound)) {
        const NSRange misspelled = checker->checkSpellingOfString(word.get(), 0, languageName.get(), NO, 0, nullptr);
        if (misspelled.length != 0) {
            Ref<NSArray> guesses =
                checker->guessesForWordRange(NSMakeRange(0, word->length()), word.get(), languageName.get(), 0);
            for (NSUInteger g = 0; guesses && g < guesses->count(); ++g)
                insert(MakeItem(ObjectCast<NSString>(guesses->objectAtIndex(g)), QV_SELECTOR(doSpellingChange:), this,
                                nullptr));
            if (guesses && guesses->count() > 0) insert(NSMenuItem::separatorItem());
            insert(MakeItem(Localized("Ignore Spelling").get(), QV_SELECTOR(ignoreSpelling:), spelling, word.get()));
            // The learn item's context differs from the others' in its capital M.
            insert(MakeItem(Localized("Learn Spelling", "Context Menu").get(), QV_SELECTOR(learnSpelling:), spelling,
                            word.get()));
            insert(NSMenuItem::separatorItem());
        } else if (word->length() > 0 && checker->hasLearnedWord(word.get())) {
            insert(MakeItem(LocalizedWithWord("Unlearn Spelling \"%@\"", word.get()).get(), QV_SELECTOR(unlearnWord:),
                            spelling, word.get()));
            insert(NSMenuItem::separatorItem());
        }
    }

    Kernel::NonCounted<Story::FormattableFieldGlyph const> fieldGlyph;
    Kernel::JailCounted<TextFlow> textFlow;
    Kernel::Counted<Story::Language> fieldLanguage;
    bool fieldSelected = false;
    Kestrane::TextBaseTarget::GetSelectedFieldGlyph(Kernel::Counted<Tool>(tool), fieldGlyph, textFlow, fieldLanguage,
                                                    fieldSelected);
    if (word->length() > 0 && !fieldSelected) {
        insert(MakeItem(LocalizedWithWord("Look Up \"%@\"", ShownWord(word.get()).get()).get(), QV_SELECTOR(lookupWord:),
                        this, word.get()));
        insert(NSMenuItem::separatorItem());
    }
    if (fieldSelected) insert(MakeItem(Localized("Expand Field").get(), QV_SELECTOR(expandFields:), this, nullptr));
    if (textFlow &&
        Kestrane::FieldFormatController::IsFormattable(
            Kernel::Counted<Story::FormattableFieldGlyph const>(fieldGlyph.Get())) &&
        advanced)
        insert(MakeItem(Localized("Edit Field...").get(), QV_SELECTOR(openFieldEditor:), this, nullptr));
    if (Commands::CreateCustomFieldFromTextCommand::CanCreateCustomFieldFromSelection(selection))
        insert(MakeItem(Localized("Convert Text to Field...").get(), QV_SELECTOR(convertTextToField:), this, nullptr));
    if (!advanced) {
        const NSInteger tagged = menu->indexOfItemWithTag(5);
        if (tagged >= 0) menu->removeItemAtIndex(tagged);
    }
    return menu;
}

Ref<NSMenu> ContextMenuController::NodeMenu(const Selection& selection) {
    std::vector<Kernel::Counted<Node>> nodes = SelectionNodes(selection);
    if (nodes.empty()) return nullptr;
    auto menu = New<NSMenu>();
    if (nodes.size() == 1 && !nodes.front()->GetFirstChild()) {
        addNode(Kernel::JailCounted<Node>(nodes.front()), menu.get());
    } else {
        for (const auto& node : nodes) {
            Ref<NSString> title = NSMakeString(node->GetDescription(true));
            auto item = New<NodeMenuItem>();
            item->initWithTitle(title.get(), QV_SELECTOR(showNodesMenu:), NSString::string().get());
            item->setTarget(this);
            auto submenu = New<NSMenu>();
            submenu->initWithTitle(title.get());
            addNodeChildren(Kernel::JailCounted<Node>(node), submenu.get());
            submenu->setAutoenablesItems(NO);
            item->setSubmenu(submenu.get());
            menu->addItem(item.get());
        }
    }
    menu->setAutoenablesItems(NO);
    return menu;
}

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
    Kernel::JailCounted<Node> child(node->GetFirstChild());
    while (child) {
        Ref<NSString> title = NSMakeString(child->GetDescription(true));
        auto item = New<NodeMenuItem>();
        item->initWithTitle(title.get(), QV_SELECTOR(showNodesMenu:), NSString::string().get());
        if (child->GetFirstChild()) {
            auto submenu = New<NSMenu>();
            submenu->initWithTitle(title.get());
            addNodeChildren(child, submenu.get());
            submenu->setAutoenablesItems(NO);
            item->setSubmenu(submenu.get());
        }
        item->setTarget(this);
        item->setNode(child);
        menu->addItem(item.get());
        child = Kernel::JailCounted<Node>(child->GetNextSibling());
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
