#include "menus/ContextMenuController.h"

#include <map>

#include "AppKit/NSApplication.h"
#include "AppKit/NSSpellChecker.h"
#include "AppKit/NibLoading.h"
#include "DocCommands/DocCommands.h"
#include "DocSession/DocumentCommand.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/NodeToolStrings.h"
#include "DocSession/ObjectCommands.h"
#include "DocSession/PersonaController.h"
#include "DocSession/TextBaseTarget.h"
#include "UIFramework/AppController.h"
#include "UIFramework/ContextMenuRequest.h"
#include "UIFramework/LanguageCodeNames.h"
#include "UIFramework/NSMakeString.h"
#include "UIFramework/Panels.h"
#include "UIFramework/StudioManager.h"
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
    c.method("validateMenuItem:", &ContextMenuController::validateMenuItem);
    c.method("openAnchorProperties:", &ContextMenuController::openAnchorProperties);
    c.method("deleteNodeOnCurve:", &ContextMenuController::deleteNodeOnCurve);
    c.method("deleteFitToCurveNodeOnCurve:", &ContextMenuController::deleteFitToCurveNodeOnCurve);
    c.method("pointlessPreflightSubMenuSelector:", &ContextMenuController::pointlessPreflightSubMenuSelector);
    c.method("setPreflightComment:", &ContextMenuController::setPreflightComment);
    c.method("clearPreflightComment:", &ContextMenuController::clearPreflightComment);
    c.method("doFrameProperties:", &ContextMenuController::doFrameProperties);
    c.method("doScaleToMaxFit:", &ContextMenuController::doScaleToMaxFit);
    c.method("doScaleToMinFit:", &ContextMenuController::doScaleToMinFit);
    c.method("doStretchToFit:", &ContextMenuController::doStretchToFit);
    c.method("doNoneFit:", &ContextMenuController::doNoneFit);
    c.method("doAnchorToCentre:", &ContextMenuController::doAnchorToCentre);
    c.method("doSizeFrameToContent:", &ContextMenuController::doSizeFrameToContent);
    c.method("doSetSelectionBox:", &ContextMenuController::doSetSelectionBox);
    c.method("doConvertToCurves:", &ContextMenuController::doConvertToCurves);
    c.method("doConvertToPictureFrame:", &ContextMenuController::doConvertToPictureFrame);
    c.method("doConvertToTextFrame:", &ContextMenuController::doConvertToTextFrame);
    c.method("moveSelectionToNewVectorLayer:", &ContextMenuController::moveSelectionToNewVectorLayer);
    c.method("addToSwatchesFromBrushInterface:", &ContextMenuController::addToSwatchesFromBrushInterface);
    c.method("addToSwatchesFromLineStyleInterface:", &ContextMenuController::addToSwatchesFromLineStyleInterface);
    c.method("addToSwatchesFromBrushAndLine:", &ContextMenuController::addToSwatchesFromBrushAndLine);
    c.method("addToSwatchesFromBrushInterfaceAsGlobal:", &ContextMenuController::addToSwatchesFromBrushInterfaceAsGlobal);
    c.method("addToSwatchesFromLineStyleInterfaceAsGlobal:",
             &ContextMenuController::addToSwatchesFromLineStyleInterfaceAsGlobal);
    c.method("addToSwatchesFromBrushAndLineAsGlobal:", &ContextMenuController::addToSwatchesFromBrushAndLineAsGlobal);
    c.method("doCreateObjectStyle:", &ContextMenuController::doCreateObjectStyle);
    c.method("doEditFilterEffects:", &ContextMenuController::doEditFilterEffects);
    c.method("doEditTransparency:", &ContextMenuController::doEditTransparency);
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

namespace {

// Item tags of the built menus: the table index of the request, -1, or none given (AppKit's 0).
enum class TagOf { Index, MinusOne, NotSet };
struct TableRow {
    const char* title;  // null for a separator
    const char* action;
    TagOf tag;
};
using TableRows = std::vector<TableRow>;
constexpr TableRow kSeparator{nullptr, nullptr, TagOf::NotSet};

const TableRows& RowsOfTableMenu(int32_t kind) {
    static const TableRows row = {
        {"Insert Row", "insertRow:", TagOf::Index}, {"Delete Row", "deleteRow:", TagOf::Index}, kSeparator,
        {"Merge Row", "mergeRowCells:", TagOf::Index}, {"Separate Row", "separateRowCells:", TagOf::Index}, kSeparator,
        {"AutoFit Row to Contents", "autoFitRow:", TagOf::Index},
        {"Sort Ascending", "sortByRowAscending:", TagOf::Index},
        {"Sort Descending", "sortByRowDescending:", TagOf::Index},
    };
    static const TableRows column = {
        {"Insert Column", "insertColumn:", TagOf::Index}, {"Delete Column", "deleteColumn:", TagOf::Index}, kSeparator,
        {"Merge Column", "mergeColumnCells:", TagOf::Index},
        {"Separate Column", "separateColumnCells:", TagOf::Index}, kSeparator,
        {"AutoFit Column to Contents", "autoFitColumn:", TagOf::Index},
        {"Sort Ascending", "sortByColumnAscending:", TagOf::Index},
        {"Sort Descending", "sortByColumnDescending:", TagOf::Index},
    };
    static const TableRows cellRange = {
        {"Merge Cells", "mergeTableCells:", TagOf::NotSet},
        {"Separate Cells", "separateTableCells:", TagOf::NotSet}, kSeparator,
        {"Evenly Distribute Columns", "evenlyDistributeTableColumns:", TagOf::NotSet},
        {"Evenly Distribute Rows", "evenlyDistributeTableRows:", TagOf::NotSet}, kSeparator,
        {"AutoFit Row(s)", "autoFitCurrentRows:", TagOf::NotSet},
        {"AutoFit Column(s)", "autoFitCurrentColumns:", TagOf::NotSet},
        {"Sort by Row Ascending", "sortByRowAscending:", TagOf::MinusOne},
        {"Sort by Row Descending", "sortByRowDescending:", TagOf::MinusOne},
        {"Sort by Column Ascending", "sortByColumnAscending:", TagOf::MinusOne},
        {"Sort by Column Descending", "sortByColumnDescending:", TagOf::MinusOne},
    };
    static const TableRows rows = {
        {"Insert Row", "insertRows:", TagOf::MinusOne}, {"Delete Row(s)", "deleteRows:", TagOf::MinusOne}, kSeparator,
        {"Merge Cells", "mergeTableCells:", TagOf::MinusOne},
        {"Separate Cells", "separateTableCells:", TagOf::MinusOne}, kSeparator,
        {"Evenly Distribute Rows", "evenlyDistributeTableRows:", TagOf::NotSet}, kSeparator,
        {"AutoFit Row to Contents", "autoFitCurrentRows:", TagOf::MinusOne},
        {"Sort Ascending", "sortByRowAscending:", TagOf::MinusOne},
        {"Sort Descending", "sortByRowDescending:", TagOf::MinusOne},
    };
    static const TableRows columns = {
        {"Insert Column", "insertColumns:", TagOf::MinusOne},
        {"Delete Column(s)", "deleteColumns:", TagOf::MinusOne}, kSeparator,
        {"Merge Cells", "mergeTableCells:", TagOf::MinusOne},
        {"Separate Cells", "separateTableCells:", TagOf::MinusOne}, kSeparator,
        {"Evenly Distribute Columns", "evenlyDistributeTableColumns:", TagOf::NotSet}, kSeparator,
        {"AutoFit Column to Contents", "autoFitCurrentColumns:", TagOf::MinusOne},
        {"Sort Ascending", "sortByColumnAscending:", TagOf::MinusOne},
        {"Sort Descending", "sortByColumnDescending:", TagOf::MinusOne},
    };
    switch (kind) {
    case 2: return row;
    case 3: return column;
    case 6: return cellRange;
    case 7: return rows;
    default: return columns;
    }
}

enum class CurveTarget { Vector, Controller };
struct CurveRow {
    Kernel::LocalisedString (*title)();  // null for a separator
    const char* action;
    CurveTarget target;
    NSInteger tag;
};

const std::vector<CurveRow>& CurveNodeRows() {
    using Strings = Kestrane::NodeToolContextToolbarStrings;
    static const std::vector<CurveRow> rows = {
        {&Strings::ConvertSharpMenuTitle, "curveNodeConvertToCusp:", CurveTarget::Vector, 1},
        {&Strings::ConvertSmoothMenuTitle, "curveNodeConvertToSmooth:", CurveTarget::Vector, 2},
        {&Strings::ConvertSmartMenuTitle, "curveNodeConvertToSmart:", CurveTarget::Vector, 3},
        {nullptr, nullptr, CurveTarget::Vector, 0},
        {&Strings::ActionSplitMenuTitle, "curveNodeSplitCurve:", CurveTarget::Vector, 4},
        {&Strings::ActionBreakMenuTitle, "curveNodeBreakCurve:", CurveTarget::Vector, 5},
        {nullptr, nullptr, CurveTarget::Vector, 0},
        {&Strings::ActionCloseMenuTitle, "curveNodeCloseCurve:", CurveTarget::Vector, 6},
        {&Strings::ActionReverseMenuTitle, "curveNodeReverseCurve:", CurveTarget::Vector, 7},
        {nullptr, nullptr, CurveTarget::Vector, 0},
        {&Strings::ActionDeleteNodeTitle, "deleteNodeOnCurve:", CurveTarget::Controller, 8},
        {&Strings::ActionFitToCurveDeleteNodeTitle, "deleteFitToCurveNodeOnCurve:", CurveTarget::Controller, 9},
    };
    return rows;
}

// The table index of a table text tool's request, else -1.
NSInteger ItemTagOf(const Kernel::Counted<ContextMenuAdditionalData>& data) {
    if (!data) return -1;
    Kernel::Counted<ContextMenuAdditionalData> hold(data);
    auto* table = Kernel::fast_dynamic_cast<TableTextTool::ContextMenuData const, ContextMenuAdditionalData>(hold.Get());
    return table ? table->m_tableIndex : -1;
}

// Takes out the first item with the tag and the item just above it.
void RemoveTagged(NSMenu& menu, NSInteger tag) {
    const NSInteger index = menu.indexOfItemWithTag(tag);
    if (static_cast<int32_t>(index) == -1) return;
    menu.removeItemAtIndex(index);
    if (index > 0) menu.removeItemAtIndex(index - 1);
}

}  // namespace

Ref<NSMenu> ContextMenuController::TableMenu(int32_t kind, NSInteger itemTag) {
    TableCommands* target = CommandControllerManager::GetInstance()->tableCommands();
    auto menu = New<NSMenu>();
    NSInteger index = 0;
    for (const TableRow& row : RowsOfTableMenu(kind)) {
        if (!row.title) {
            menu->insertItem(NSMenuItem::separatorItem().get(), index++);
            continue;
        }
        NSMenuItem* item = menu->insertItemWithTitle(Localized(row.title).get(), sel_registerName(row.action),
                                                     NSString::string().get(), index++);
        item->setTarget(target);
        if (row.tag == TagOf::Index) item->setTag(itemTag);
        else if (row.tag == TagOf::MinusOne) item->setTag(-1);
    }
    return menu;
}

Ref<NSMenu> ContextMenuController::CurveNodeMenu() {
    VectorCommands* vector = CommandControllerManager::GetInstance()->vectorCommands();
    auto menu = New<NSMenu>();
    NSInteger index = 0;
    for (const CurveRow& row : CurveNodeRows()) {
        if (!row.title) {
            menu->insertItem(NSMenuItem::separatorItem().get(), index++);
            continue;
        }
        Ref<NSString> title = NSMakeString(row.title());
        NSMenuItem* item =
            menu->insertItemWithTitle(title.get(), sel_registerName(row.action), NSString::string().get(), index++);
        item->setEnabled(YES);
        item->setTarget(row.target == CurveTarget::Vector ? static_cast<NSObject*>(vector) : this);
        item->setTag(row.tag);
    }
    return menu;
}

void ContextMenuController::showContextMenu(NSObject* requestObject) {
    Ref<NSObject> keepRequest(requestObject);
    auto* request = ObjectCast<ContextMenuRequest>(requestObject);
    if (!request || !request->cNotification) return;
    const Kernel::Counted<ContextMenuNotification> notification = request->cNotification;
    const int32_t kind = notification->kind;
    const Kernel::Counted<ContextMenuAdditionalData> data = notification->data;
    const NSInteger itemTag = ItemTagOf(data);

    AppController* controller = AppController::controller();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    // Without a view only the table panels open.
    if (!view && kind != 1 && kind != 4 && kind != 5) return;
    Ref<NSMenu> menu;
    switch (kind) {
    case 0:
    case 12: {
        id answer = performSelector(QV_SELECTOR(getContextMenuForSelectionInView:), view.get());
        menu = ObjectCast<NSMenu>(answer.get());
        break;
    }
    case 1: AppPanelManager::standardPanelManager()->showTabstopEditor(); return;
    case 4: AppPanelManager::standardPanelManager()->showTableExtender(NO); return;
    case 5: AppPanelManager::standardPanelManager()->showTableExtender(YES); return;
    case 2:
    case 3:
    case 6:
    case 7:
    case 8: menu = TableMenu(kind, itemTag); break;
    case 11: menu = CurveNodeMenu(); break;
    default: return;  // 9, 10 and every other kind show nothing
    }
    if (!menu) return;

    // Only the selection menu carries the persona-, product- and switch-bound items. The table
    // menus tag every item with the table index, which must not take out a row or column item.
    if (kind == 0 || kind == 12) {
        WorkspaceInfo* workspace = controller->currentWorkspace();
        if (!workspace || workspace->kestraneUID() != FourCharCode("vect")) RemoveTagged(*menu, 102);
        if (Kestrane::Application::Current()->GetProduct() == 1) RemoveTagged(*menu, 42);
        if (!PersonaController::GetInstance()->m_allowAdvancedTextFeatures) RemoveTagged(*menu, 5);
    }

    const NSPoint mouse = NSEvent::mouseLocation();
    NSWindow* window = view->window();
    const NSPoint inWindow = window ? window->convertRectFromScreen(NSRect{mouse, NSSize{}}).origin : NSPoint{};
    const NSPoint location = view->convertPointFromView(inWindow, nullptr);
    menu->popUpMenuPositioningItem(nullptr, location, view.get());
    // The auto-pan timer may run while the menu is open; stop it once it has closed.
    view->stopPanTimer();
    if (Kernel::Counted<Tool> tool = view->currentTool()) tool->ForceCursorInvalidate();
    else return;
    // The chosen item may have changed the tool: ask afresh each time.
    if (Kernel::Counted<Tool> tool = view->currentTool()) tool->OnContextMenuClosed();
    if (Kernel::Counted<Tool> tool = view->currentTool()) tool->OnContextMenuFinished();
}

bool SelectionHasNode(const Selection& selection) {
    if (!selection.m_firstNodeScanned) {
        Kernel::Counted<SelectionItem> found;
        for (const auto& item : selection.GetItems()) {
            Selectable* object = item ? item->GetSelectable() : nullptr;
            if (object && Kernel::fast_dynamic_cast<Node const, Selectable>(object)) {
                found = item;
                break;
            }
        }
        selection.m_firstNodeItem = std::move(found);
        selection.m_firstNodeScanned = true;
    }
    return static_cast<bool>(selection.m_firstNodeItem);
}

bool SelectionHasShapeNode(const Selection& selection) {
    for (const auto& item : selection.GetItems()) {
        Selectable* object = item ? item->GetSelectable() : nullptr;
        if (object && Kernel::fast_dynamic_cast<ShapeNode const, Selectable>(object)) return true;
    }
    return false;
}

namespace {

enum class Rule {
    CreateObjectStyle, ConvertToCurves, SetSelectionBox, ConvertToPictureFrame, ConvertToTextFrame, EditFilterEffects,
    AddToObjects, AddToShapes, EditTransparency, SwatchFromLine, SwatchFromFill, SwatchFromFillAndLine, AlwaysYes,
    InsertAnchor, InsertHyperlink, FrameProperties, SizeFrameToContent, MoveToNewVectorLayer, PreflightSubMenu,
    SetPreflightComment, ClearPreflightComment, DeleteNode,
};

const std::map<SEL, Rule>& Rules() {
    static const std::map<SEL, Rule> rules = [] {
        const std::pair<const char*, Rule> named[] = {
            {"doCreateObjectStyle:", Rule::CreateObjectStyle},
            {"doConvertToCurves:", Rule::ConvertToCurves},
            {"doSetSelectionBox:", Rule::SetSelectionBox},
            {"doConvertToPictureFrame:", Rule::ConvertToPictureFrame},
            {"doConvertToTextFrame:", Rule::ConvertToTextFrame},
            {"doEditFilterEffects:", Rule::EditFilterEffects},
            {"addToObjects:", Rule::AddToObjects},
            {"addToShapes:", Rule::AddToShapes},
            {"doEditTransparency:", Rule::EditTransparency},
            {"addToSwatchesFromLineStyleInterface:", Rule::SwatchFromLine},
            {"addToSwatchesFromBrushInterface:", Rule::SwatchFromFill},
            {"addToSwatchesFromBrushAndLine:", Rule::SwatchFromFillAndLine},
            {"lookupWord:", Rule::AlwaysYes},
            {"doSpellingChange:", Rule::AlwaysYes},
            {"expandFields:", Rule::AlwaysYes},
            {"openFieldEditor:", Rule::AlwaysYes},
            {"convertTextToField:", Rule::AlwaysYes},
            {"openAnchorProperties:", Rule::AlwaysYes},
            {"insertAnchor:", Rule::InsertAnchor},
            {"insertHyperlink:", Rule::InsertHyperlink},
            {"doFrameProperties:", Rule::FrameProperties},
            {"doScaleToMaxFit:", Rule::FrameProperties},
            {"doScaleToMinFit:", Rule::FrameProperties},
            {"doStretchToFit:", Rule::FrameProperties},
            {"doNoneFit:", Rule::FrameProperties},
            {"doAnchorToCentre:", Rule::FrameProperties},
            {"doSizeFrameToContent:", Rule::SizeFrameToContent},
            {"addToSwatchesFromBrushInterfaceAsGlobal:", Rule::AlwaysYes},
            {"addToSwatchesFromLineStyleInterfaceAsGlobal:", Rule::AlwaysYes},
            {"addToSwatchesFromBrushAndLineAsGlobal:", Rule::AlwaysYes},
            {"moveSelectionToNewVectorLayer:", Rule::MoveToNewVectorLayer},
            {"pointlessPreflightSubMenuSelector:", Rule::PreflightSubMenu},
            {"setPreflightComment:", Rule::SetPreflightComment},
            {"clearPreflightComment:", Rule::ClearPreflightComment},
            {"deleteNodeOnCurve:", Rule::DeleteNode},
            {"deleteFitToCurveNodeOnCurve:", Rule::DeleteNode},
        };
        std::map<SEL, Rule> out;
        for (const auto& [name, rule] : named) out.emplace(sel_registerName(name), rule);
        return out;
    }();
    return rules;
}

// The current or unrestricted selection of the view's document. Without a view or a document
// there is no session to ask: the queries get an empty selection instead.
Kernel::Counted<Selection const> ViewSelection(DocumentView* view, bool unrestricted) {
    Kernel::Counted<DocumentControllerSession> session =
        view ? view->safeDocumentController() : Kernel::Counted<DocumentControllerSession>();
    DocumentController* document = session ? session->GetDocumentController() : nullptr;
    if (!document) return Kernel::Counted<Selection const>(new Selection);
    return unrestricted ? document->GetUnrestrictedSelection() : document->m_currentSelection;
}

BOOL CanAddSwatches(const Kernel::Counted<Selection const>& selection, BOOL fill, BOOL line) {
    auto* page = ObjectCast<SwatchesPage>(StudioManager::GetInstance()->pageWithID(12));
    if (!page) return NO;
    Ref<SwatchesPage> keep(page);
    return page->canAddFromSelection(&selection, fill, line);
}

}  // namespace

BOOL ContextMenuController::validateMenuItem(NSMenuItem* item) {
    if (!item) return NO;
    AppController* controller = AppController::controller();
    Ref<Document> currentDocument(controller ? controller->getCurrentDocument() : nullptr);
    const Kernel::Counted<DocumentControllerSession> session =
        currentDocument ? currentDocument->safeDocumentController() : Kernel::Counted<DocumentControllerSession>();
    DocumentController* document = session ? session->GetDocumentController() : nullptr;
    const Kernel::Counted<Selection const> selection = document ? document->m_currentSelection : Kernel::Counted<Selection const>();
    Ref<DocumentView> view(controller ? controller->getCurrentView() : nullptr);
    const Kernel::Counted<Tool> tool = view ? view->currentTool() : Kernel::Counted<Tool>();
    const bool toolGate = tool && tool->CanEnqueueCommands();

    auto found = Rules().find(item->action());
    if (found == Rules().end()) return NO;
    switch (found->second) {
    case Rule::CreateObjectStyle: return selection && selection->GetCount() > 0;
    case Rule::ConvertToCurves: return toolGate && ConvertToCurvesCommand::CanApplyTo(selection);
    case Rule::SetSelectionBox: return tool && tool->CanSetSelectionBox();
    case Rule::ConvertToPictureFrame:
        if (!(NSApp && NSApp->performBoolSelector(QV_SELECTOR(allowPictureFrames)))) {
            item->setHidden(YES);
            return NO;
        }
        return toolGate && ConvertToPictureFrameCommand::CanApplyTo(selection);
    case Rule::ConvertToTextFrame: return toolGate && ConvertToTextFrameCommand::CanApplyTo(selection, false);
    case Rule::EditFilterEffects:
    case Rule::EditTransparency: return toolGate;
    case Rule::AddToObjects: return selection && SelectionHasNode(*selection);
    case Rule::AddToShapes: return selection && SelectionHasShapeNode(*selection);
    case Rule::SwatchFromLine: return CanAddSwatches(selection, NO, YES);
    case Rule::SwatchFromFill: return CanAddSwatches(selection, YES, NO);
    case Rule::SwatchFromFillAndLine: return CanAddSwatches(selection, YES, YES);
    case Rule::AlwaysYes: return YES;
    case Rule::InsertAnchor:
        return Kestrane::AnchorBaseTarget::CanInsertAnchor(view ? view->currentTool() : Kernel::Counted<Tool>());
    case Rule::InsertHyperlink: return SetHyperlinkCommand::CanApplyToSelection(ViewSelection(view.get(), true));
    case Rule::FrameProperties: {
        const bool applies = PictureFramePropertiesCommand::CanApplyTo(ViewSelection(view.get(), true));
        item->setHidden(!applies);
        return applies;
    }
    case Rule::SizeFrameToContent: {
        const bool fits = PictureFrameFitToContentCommand::CanApplyTo(ViewSelection(view.get(), false));
        item->setHidden(!PictureFramePropertiesCommand::CanApplyTo(ViewSelection(view.get(), true)));
        return fits;
    }
    case Rule::MoveToNewVectorLayer: {
        const Kernel::Counted<Selection const> viewSelection = ViewSelection(view.get(), false);
        return viewSelection && viewSelection->GetCount() > 0;
    }
    case Rule::PreflightSubMenu: {
        const bool on = PersonaController::GetInstance()->m_preflightEnabled;
        item->setHidden(!on);
        return on;
    }
    case Rule::SetPreflightComment:
        return SetPreflightCommentCommand::CanSetPreflightComment(ViewSelection(view.get(), false));
    case Rule::ClearPreflightComment:
        return SetPreflightCommentCommand::CanClearPreflightComment(ViewSelection(view.get(), false));
    case Rule::DeleteNode: return selection ? YES : NO;
    }
    return NO;
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
    // Without a word there is nothing to define (an attributed string cannot be made of nil).
    if (!word) return;
    Ref<DocumentView> view(CurrentView());
    // Screen, then window, then view coordinates; each step without its object gives zero.
    const NSRect onScreen = view ? view->firstRectForCharacterRange(view->selectedRange(), nullptr) : NSRect{};
    NSWindow* window = view ? view->window() : nullptr;
    const NSRect inWindow = window ? window->convertRectFromScreen(onScreen) : NSRect{};
    const NSRect inView = view ? view->convertRectFromView(inWindow, nullptr) : NSRect{};
    auto text = New<NSAttributedString>();
    text->initWithString(word);
    if (DocumentView* current = CurrentView())
        current->showDefinitionForAttributedString(text.get(),
                                                   NSPoint{inView.origin.x, inView.origin.y + inView.size.height});
}

void ContextMenuController::openFieldEditor(NSObject*) { AppPanelManager::standardPanelManager()->showFieldEditor(); }

void ContextMenuController::convertTextToField(NSObject*) {
    AppPanelManager::standardPanelManager()->showConvertTextToField();
}

void ContextMenuController::expandFields(NSObject*) {
    Kernel::Counted<DocumentCommand> command(new ExpandFieldGlyphCommand(Kernel::Counted<Selection const>()));
    PersonaController::GetInstance()->EnqueueCommand(command, CurrentDocument(), false);
}
