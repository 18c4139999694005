// The canvas context menu for the current tool and selection, compared item by item with the
// menus written out by hand: titles, actions, targets, represented objects, separators and tags.
#include <initializer_list>

#include "../app/StringsBundle.h"
#include "context_menu_test_support.h"
#include "AppKit/NSSpellChecker.h"
#include "DocSession/DocumentCommand.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/PersonaController.h"
#include "DocSession/TextBaseTarget.h"
#include "menus/ContextMenuController.h"
#include "menus/NodeMenuItem.h"

namespace {

using Rows = std::vector<std::string>;

// One row per item: "title | action | target | represented object | tag", then " | submenu" and,
// for node items, " | node=<description>"; a separator is "---"; submenu items follow their item,
// indented.
void Describe(const NSMenu& menu, const NSObject* controller, Rows& rows, int depth) {
    const NSObject* spelling = CommandControllerManager::GetInstance()->spellingCommands();
    for (const auto& item : menu.itemArray()) {
        std::string row(static_cast<size_t>(depth) * 2, ' ');
        if (item->isSeparatorItem()) {
            rows.push_back(row + "---");
            continue;
        }
        row += item->title()->utf8() + " | " + (item->action() ? sel_getName(item->action()) : "-") + " | ";
        row += item->target() == controller ? "controller"
               : item->target() == spelling ? "spelling"
               : item->target()             ? item->target()->classInfo().name()
                                            : "-";
        auto* represented = ObjectCast<NSString>(item->representedObject());
        row += " | " + (represented ? "\"" + represented->utf8() + "\"" : std::string("-"));
        row += " | " + std::to_string(item->tag());
        if (!item->keyEquivalent()->utf8().empty()) row += " | key=" + item->keyEquivalent()->utf8();
        if (item->submenu()) row += " | submenu";
        if (auto* nodeItem = ObjectCast<NodeMenuItem>(item.get())) {
            auto node = nodeItem->node();
            row += " | node=" + (node ? node->GetDescription(true) : std::string("-"));
        }
        rows.push_back(row);
        if (item->submenu()) Describe(*item->submenu(), controller, rows, depth + 1);
    }
}

Rows Describe(const NSMenu* menu, const NSObject* controller) {
    Rows rows;
    if (menu) Describe(*menu, controller, rows, 0);
    return rows;
}

Rows Join(std::initializer_list<Rows> parts) {
    Rows all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The "ContextMenu" resource's menus, as written in resources/ContextMenu.nib.
const Rows kSelectHeadRows = {
    "Cut | cut: | - | - | 0", "Copy | copy: | - | - | 0", "Paste | paste: | - | - | 0",
    "Duplicate | duplicate: | - | - | 0", "Delete | delete: | - | - | 0", "---",
    "Group | group: | - | - | 40", "Ungroup | ungroup: | - | - | 41", "---",
    "Convert to Picture Frame | doConvertToPictureFrame: | controller | - | 42", "---",
    "Convert to Curves | doConvertToCurves: | controller | - | 101", "---",
    "Create Symbol | createSymbol: | - | - | 102", "---",
    "Arrange | - | - | - | 0 | submenu", "  Move to Front | bringToFront: | - | - | 0",
    "  Move to Back | sendToBack: | - | - | 0",
};
// The items of the select menu below its Arrange submenu: they all ask the controller.
const Rows kSelectTailRows = {
    "---",
    "Create Object Style... | doCreateObjectStyle: | controller | - | 0",
    "Effects... | doEditFilterEffects: | controller | - | 0",
    "Transparency... | doEditTransparency: | controller | - | 0",
    "Convert to Text Frame | doConvertToTextFrame: | controller | - | 0",
    "Move to New Layer | moveSelectionToNewVectorLayer: | controller | - | 0",
    "Set Selection Box | doSetSelectionBox: | controller | - | 0",
    "Add to Swatches | - | - | - | 0 | submenu",
    "  From Fill | addToSwatchesFromBrushInterface: | controller | - | 0",
    "  From Line | addToSwatchesFromLineStyleInterface: | controller | - | 0",
    "  From Fill and Line | addToSwatchesFromBrushAndLine: | controller | - | 0",
    "  ---",
    "  Global from Fill | addToSwatchesFromBrushInterfaceAsGlobal: | controller | - | 0",
    "  Global from Line | addToSwatchesFromLineStyleInterfaceAsGlobal: | controller | - | 0",
    "  Global from Fill and Line | addToSwatchesFromBrushAndLineAsGlobal: | controller | - | 0",
    "Frame | - | - | - | 0 | submenu",
    "  Frame Properties... | doFrameProperties: | controller | - | 0",
    "  ---",
    "  Scale to Maximum Fit | doScaleToMaxFit: | controller | - | 0",
    "  Scale to Minimum Fit | doScaleToMinFit: | controller | - | 0",
    "  Stretch to Fit | doStretchToFit: | controller | - | 0",
    "  No Fit | doNoneFit: | controller | - | 0",
    "  Anchor to Centre | doAnchorToCentre: | controller | - | 0",
    "  ---",
    "  Size Frame to Content | doSizeFrameToContent: | controller | - | 0",
    "Preflight | pointlessPreflightSubMenuSelector: | controller | - | 0 | submenu",
    "  Set Preflight Comment... | setPreflightComment: | controller | - | 0",
    "  Clear Preflight Comment | clearPreflightComment: | controller | - | 0",
};
const Rows kSelectRows = [] {
    Rows all = kSelectHeadRows;
    all.insert(all.end(), kSelectTailRows.begin(), kSelectTailRows.end());
    return all;
}();
const Rows kSelectExportableRows = {
    "Create Slice | createSlice: | - | - | 0", "---", "Create Symbol | createSymbol: | - | - | 102", "---",
    "Delete | delete: | - | - | 0",
};
const Rows kZoomRows = {
    "Zoom In | zoomIn: | - | - | 0", "Zoom Out | zoomOut: | - | - | 0", "Zoom to Fit | zoomToFit: | - | - | 0",
    "Actual Size | zoomToActualSize: | - | - | 0",
};
const Rows kSliceRows = {"Export Slice | exportSlice: | - | - | 0", "Delete Slice | delete: | - | - | 0"};
const Rows kAdvancedTextRows = {
    "Cut | cut: | - | - | 0", "Copy | copy: | - | - | 0", "Paste | paste: | - | - | 0", "---",
    "Insert Field | insertField: | - | - | 5", "Insert Cross Reference... | insertCrossReference: | - | - | 0",
    "Insert Note | insertNote: | - | - | 0", "---", "Show Typography | showTypography: | - | - | 0",
    "---", "Anchor Properties... | openAnchorProperties: | controller | - | 0",
};
// The plain text menu without its tag-5 item.
const Rows kPlainTextRows = {
    "Cut | cut: | - | - | 0", "Copy | copy: | - | - | 0", "Paste | paste: | - | - | 0", "---",
    "Show Typography | showTypography: | - | - | 0", "---",
    "Anchor Properties... | openAnchorProperties: | controller | - | 0",
};

class ContextMenuSelectionTest : public ContextMenuViewTest {
public:
    void SetUp() override {
        ContextMenuViewTest::SetUp();
        m_controller = New<ContextMenuController>();
        ASSERT_TRUE(m_controller);
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(true);
    }

    template <class T>
    Kernel::Counted<Tool> UseTool() {
        Kernel::Counted<Tool> tool(Kernel::MakeCounted<T>(7));
        m_view->setCurrentToolQuietly(tool);
        return tool;
    }

    // One text item: the ranges of a story in the given language; by default the whole text.
    void SelectText(const std::string& text, std::vector<Story::RangeRecord> ranges = {{0, -1, 1, 0, 0}},
                    const std::string& dialect = "en-GB") {
        auto story = Story::StoryText::FromUtf8(text, dialect);
        for (auto& r : ranges)
            if (r.end < 0) r.end = story->Length();
        auto selection = Kernel::MakeCounted<MutableSelection>();
        selection->AddStoryRanges(story, std::move(ranges));
        m_document->SetSelection(selection->CloneImmutable());
    }

    void SelectNodes(std::initializer_list<Kernel::Counted<Selectable>> objects) {
        auto selection = Kernel::MakeCounted<MutableSelection>();
        for (const auto& o : objects) selection->AddSelectable(o, false);
        m_document->SetSelection(selection->CloneImmutable());
    }

    Ref<NSMenu> Menu() { return m_controller->getContextMenuForSelectionInView(m_view.get()); }
    Rows MenuRows() { return Describe(Menu().get(), m_controller.get()); }

    Ref<ContextMenuController> m_controller;
};

Kernel::Counted<Selectable> AsSelectable(const Kernel::Counted<Node>& node) { return Kernel::Counted<Selectable>(node.Get()); }

Kernel::Counted<Node> Tree(const std::string& description, std::initializer_list<Kernel::Counted<Node>> children = {}) {
    auto node = Kernel::MakeCounted<Node>(description);
    for (const auto& c : children) node->AppendChild(c);
    return node;
}

TEST_F(ContextMenuSelectionTest, EachToolClassGetsItsStoredMenuTheSameObjectEveryTime) {
    struct Case {
        const char* name;
        std::function<Kernel::Counted<Tool>()> use;
        Ref<NSMenu> (ContextMenuController::*outlet)() const;  // null: no menu
        const Rows* rows;
    };
    ContextMenuSelectionTest* t = this;
    const Case cases[] = {
        {"select", [t] { return t->UseTool<SelectTool>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"select exportable", [t] { return t->UseTool<SelectExportableTool>(); },
         &ContextMenuController::selectExportableMenu, &kSelectExportableRows},
        {"zoom", [t] { return t->UseTool<ZoomTool>(); }, &ContextMenuController::zoomMenu, &kZoomRows},
        {"view", [t] { return t->UseTool<ViewTool>(); }, &ContextMenuController::zoomMenu, &kZoomRows},
        {"node", [t] { return t->UseTool<NodeTool>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"shape node", [t] { return t->UseTool<ShapeNodeTool>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"fill base", [t] { return t->UseTool<FillToolBase>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"fill (derived)", [t] { return t->UseTool<FillTool>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"transform", [t] { return t->UseTool<TransformTool>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"stroke width", [t] { return t->UseTool<StrokeWidthTool>(); }, &ContextMenuController::selectMenu, &kSelectRows},
        {"slice", [t] { return t->UseTool<SliceTool>(); }, &ContextMenuController::sliceMenu, &kSliceRows},
        {"other tool", [t] { return t->UseTool<Tool>(); }, nullptr, nullptr},
        {"develop", [t] { return t->UseTool<DevelopTool>(); }, nullptr, nullptr},
        {"text tool without selection", [t] { return t->UseTool<TextTool>(); }, nullptr, nullptr},
        {"no tool", [t] { t->m_view->setCurrentToolQuietly({}); return Kernel::Counted<Tool>(); }, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kernel::Counted<Tool> tool = c.use();
        Ref<NSMenu> first = Menu();
        Ref<NSMenu> second = Menu();
        if (!c.outlet) {
            EXPECT_FALSE(first);
            EXPECT_FALSE(second);
            continue;
        }
        Ref<NSMenu> stored = ((*m_controller).*c.outlet)();
        ASSERT_TRUE(stored);
        EXPECT_EQ(first.get(), stored.get());
        EXPECT_EQ(second.get(), stored.get());
        EXPECT_EQ(Describe(first.get(), m_controller.get()), *c.rows);
        if (tool) {
            EXPECT_EQ(tool->GetRefCount(), 2);  // ours and the view's: the request kept none
        }
    }
}

TEST_F(ContextMenuSelectionTest, NoViewNoDocumentNoSelectionOrNoResourceMeansNoMenu) {
    UseTool<SelectTool>();
    ASSERT_TRUE(Menu());
    m_app->setCurrentView(nullptr);
    EXPECT_FALSE(Menu());

    // A view without a document counts as no view.
    auto bare = New<DocumentView>();
    bare->setCurrentToolQuietly(Kernel::Counted<Tool>(Kernel::MakeCounted<SelectTool>(1)));
    m_app->setCurrentView(bare.get());
    EXPECT_FALSE(Menu());
    bare->setCurrentToolQuietly(Kernel::Counted<Tool>(Kernel::MakeCounted<TextTool>(1)));
    EXPECT_FALSE(Menu());

    // So does a document without a selection.
    m_app->setCurrentView(m_view.get());
    m_document->SetSelection({});
    EXPECT_FALSE(Menu());

    // Without the resource there is no menu to return or copy.
    const std::string bundle = NSBundle::mainBundle()->bundlePath();
    NSBundle::setMainBundlePath(m_home);
    m_controller = New<ContextMenuController>();
    NSBundle::setMainBundlePath(bundle);
    UseTool<TextTool>();
    SelectText("colour");
    EXPECT_FALSE(Menu());
    UseTool<SliceTool>();
    EXPECT_FALSE(Menu());
}

TEST_F(ContextMenuSelectionTest, TextToolMenus) {
    const Rows kIgnoreLearn = {"Ignore Spelling | ignoreSpelling: | spelling | \"wrod\" | 0",
                               "Learn Spelling | learnSpelling: | spelling | \"wrod\" | 0", "---"};
    const Rows kLookUpWrod = {"Look Up \"wrod\" | lookupWord: | controller | \"wrod\" | 0", "---"};
    struct Case {
        const char* name;
        std::string text;
        std::vector<std::string> misspelled;  // first the word, then its guesses
        std::string learned, ignored;
        bool advanced;
        Rows expected;
    };
    const Case cases[] = {
        {"three guesses", "wrod", {"wrod", "word", "world", "ward"}, "", "", true,
         Join({{"word | doSpellingChange: | controller | - | 0", "world | doSpellingChange: | controller | - | 0",
                "ward | doSpellingChange: | controller | - | 0", "---"},
               kIgnoreLearn, kLookUpWrod, kAdvancedTextRows})},
        {"one guess", "wrod", {"wrod", "word"}, "", "", true,
         Join({{"word | doSpellingChange: | controller | - | 0", "---"}, kIgnoreLearn, kLookUpWrod, kAdvancedTextRows})},
        {"no guess", "wrod", {"wrod"}, "", "", true, Join({kIgnoreLearn, kLookUpWrod, kAdvancedTextRows})},
        {"three guesses, plain text menu", "wrod", {"wrod", "word", "world", "ward"}, "", "", false,
         Join({{"word | doSpellingChange: | controller | - | 0", "world | doSpellingChange: | controller | - | 0",
                "ward | doSpellingChange: | controller | - | 0", "---"},
               kIgnoreLearn, kLookUpWrod, kPlainTextRows})},
        {"ignored word, even with a space and a misspelling", "two wrods", {"wrods", "words"}, "", "two wrods", true,
         Join({{"Unignore Spelling \"two wrods\" | unignoreWord: | spelling | \"two wrods\" | 0", "---",
                "Look Up \"two wrods\" | lookupWord: | controller | \"two wrods\" | 0", "---"},
               kAdvancedTextRows})},
        {"text with a space: no spelling items", "two wrods", {"wrods", "words"}, "", "", true,
         Join({{"Look Up \"two wrods\" | lookupWord: | controller | \"two wrods\" | 0", "---"}, kAdvancedTextRows})},
        {"learned word", "colour", {}, "colour", "", true,
         Join({{"Unlearn Spelling \"colour\" | unlearnWord: | spelling | \"colour\" | 0", "---",
                "Look Up \"colour\" | lookupWord: | controller | \"colour\" | 0", "---"},
               kAdvancedTextRows})},
        {"correct word", "colour", {}, "", "", true,
         Join({{"Look Up \"colour\" | lookupWord: | controller | \"colour\" | 0", "---"}, kAdvancedTextRows})},
        {"30 characters: title cut at 25", "abcdefghijklmnopqrstuvwxyz1234", {}, "", "", true,
         Join({{"Look Up \"abcdefghijklmnopqrstuvwxy\u2026\" | lookupWord: | controller | "
                "\"abcdefghijklmnopqrstuvwxyz1234\" | 0",
                "---"},
               kAdvancedTextRows})},
        {"26 characters: cut", "abcdefghijklmnopqrstuvwxyz", {}, "", "", true,
         Join({{"Look Up \"abcdefghijklmnopqrstuvwxy\u2026\" | lookupWord: | controller | "
                "\"abcdefghijklmnopqrstuvwxyz\" | 0",
                "---"},
               kAdvancedTextRows})},
        {"25 characters: whole", "abcdefghijklmnopqrstuvwxy", {}, "", "", true,
         Join({{"Look Up \"abcdefghijklmnopqrstuvwxy\" | lookupWord: | controller | \"abcdefghijklmnopqrstuvwxy\" | 0",
                "---"},
               kAdvancedTextRows})},
        {"emoji across the cut: cut before it", "abcdefghijklmnopqrstuvwx\U0001F600yz", {}, "", "", true,
         Join({{"Look Up \"abcdefghijklmnopqrstuvwx\u2026\" | lookupWord: | controller | "
                "\"abcdefghijklmnopqrstuvwx\U0001F600yz\" | 0",
                "---"},
               kAdvancedTextRows})},
        {"emoji ending at the cut: kept", "abcdefghijklmnopqrstuvw\U0001F600yz", {}, "", "", true,
         Join({{"Look Up \"abcdefghijklmnopqrstuvw\U0001F600\u2026\" | lookupWord: | controller | "
                "\"abcdefghijklmnopqrstuvw\U0001F600yz\" | 0",
                "---"},
               kAdvancedTextRows})},
    };
    UseTool<TextTool>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetStandIns();
        AppController::setRunningController(m_app.get());
        m_document->GetSpellChecker()->ClearIgnoredWords();
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(c.advanced);
        if (!c.misspelled.empty())
            NSSpellChecker::sharedSpellChecker()->SetMisspelling(
                c.misspelled[0], std::vector<std::string>(c.misspelled.begin() + 1, c.misspelled.end()));
        if (!c.learned.empty()) NSSpellChecker::sharedSpellChecker()->SetLearned(c.learned);
        if (!c.ignored.empty()) m_document->GetSpellChecker()->IgnoreWord(c.ignored);
        SelectText(c.text);
        Ref<NSMenu> menu = Menu();
        ASSERT_TRUE(menu);
        EXPECT_EQ(Describe(menu.get(), m_controller.get()), c.expected);
        // A copy: the stored menus keep their own items.
        EXPECT_NE(menu.get(), m_controller->textMenu().get());
        EXPECT_NE(menu.get(), m_controller->advancedTextMenu().get());
        EXPECT_GE(m_controller->textMenu()->indexOfItemWithTag(5), 0);
        EXPECT_EQ(Describe(m_controller->advancedTextMenu().get(), m_controller.get()), kAdvancedTextRows);
    }
}

// The items the text menu adds are looked up in the context "Context menu", the learn item in
// "Context Menu": the strings table has entries under those contexts only, so an item looked up in
// any other shows its English text.
TEST_F(ContextMenuSelectionTest, TextMenuItemsAreLookedUpInTheirContexts) {
    using B = ScopedStringsBundle;
    B bundle({{B::Key("Ignore Spelling", "Context menu"), "Rechtschreibung ignorieren"},
              {B::Key("Learn Spelling", "Context Menu"), "Rechtschreibung lernen"},
              {B::Key("Unignore Spelling \"%@\"", "Context menu"), "Nicht mehr ignorieren: \u201E%@\u201C"},
              {B::Key("Unlearn Spelling \"%@\"", "Context menu"), "Verlernen: \u201E%@\u201C"},
              {B::Key("Look Up \"%@\"", "Context menu"), "\u201E%@\u201C nachschlagen"},
              {B::Key("Expand Field", "Context menu"), "Feld erweitern"},
              {B::Key("Edit Field...", "Context menu"), "Feld bearbeiten..."},
              {B::Key("Convert Text to Field...", "Context menu"), "Text in Feld umwandeln..."}});
    struct Case {
        const char* name;
        std::string text, misspelled, learned, ignored;
        Kestrane::TextBaseTarget::Answers fields;
        Rows expected;
    };
    const Case cases[] = {
        {"misspelled",
         "wrod",
         "wrod",
         "",
         "",
         {},
         Join({{"word | doSpellingChange: | controller | - | 0", "---",
                "Rechtschreibung ignorieren | ignoreSpelling: | spelling | \"wrod\" | 0",
                "Rechtschreibung lernen | learnSpelling: | spelling | \"wrod\" | 0", "---",
                "\u201Ewrod\u201C nachschlagen | lookupWord: | controller | \"wrod\" | 0", "---"},
               kAdvancedTextRows})},
        {"ignored",
         "two wrods",
         "",
         "",
         "two wrods",
         {},
         Join({{"Nicht mehr ignorieren: \u201Etwo wrods\u201C | unignoreWord: | spelling | \"two wrods\" | 0", "---",
                "\u201Etwo wrods\u201C nachschlagen | lookupWord: | controller | \"two wrods\" | 0", "---"},
               kAdvancedTextRows})},
        {"learned",
         "colour",
         "",
         "colour",
         "",
         {},
         Join({{"Verlernen: \u201Ecolour\u201C | unlearnWord: | spelling | \"colour\" | 0", "---",
                "\u201Ecolour\u201C nachschlagen | lookupWord: | controller | \"colour\" | 0", "---"},
               kAdvancedTextRows})},
        {"every field item",
         "colour",
         "",
         "",
         "",
         {true, true, true, true},
         Join({{"Feld erweitern | expandFields: | controller | - | 0",
                "Feld bearbeiten... | openFieldEditor: | controller | - | 0",
                "Text in Feld umwandeln... | convertTextToField: | controller | - | 0"},
               kAdvancedTextRows})},
    };
    UseTool<TextTool>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetStandIns();
        AppController::setRunningController(m_app.get());
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(true);
        m_document->GetSpellChecker()->ClearIgnoredWords();
        if (!c.misspelled.empty()) NSSpellChecker::sharedSpellChecker()->SetMisspelling(c.misspelled, {"word"});
        if (!c.learned.empty()) NSSpellChecker::sharedSpellChecker()->SetLearned(c.learned);
        if (!c.ignored.empty()) m_document->GetSpellChecker()->IgnoreWord(c.ignored);
        Kestrane::TextBaseTarget::StandInAnswers() = c.fields;
        SelectText(c.text);
        EXPECT_EQ(MenuRows(), c.expected);
    }
}

TEST_F(ContextMenuSelectionTest, TheWordIsAskedInItsLanguageAsThePlatformWants) {
    auto tool = UseTool<TextTool>();
    NSSpellChecker::sharedSpellChecker()->SetMisspelling("wrod", {"word"});
    // A caret inside the word, and a range over the story's terminator, both give the word.
    for (auto range : {Story::RangeRecord{8, 8, 1, 0, 0}, Story::RangeRecord{6, 17, 1, 0, 0}}) {
        SCOPED_TRACE(range.begin);
        SelectText(range.begin == 8 ? "hello wrod there" : "hello wrod", {range}, "en-GB");
        CallLog::Clear();
        Rows rows = MenuRows();
        ASSERT_GE(rows.size(), 1u);
        EXPECT_EQ(rows[0], "word | doSpellingChange: | controller | - | 0");
        EXPECT_EQ(CallLog::Entries(),
                  (Rows{"Story::StoryRange::GetString(544, -1)", "NSSpellChecker::setLanguage:(\"en_GB\")",
                        "DocumentSpellChecker::IsIgnoredWord(\"wrod\", \"en-GB\")",
                        "NSSpellChecker::checkSpellingOfString:startingAt:language:wrap:inSpellDocumentWithTag:"
                        "wordCount:(\"wrod\", 0, \"en_GB\", NO, 0, NULL)",
                        "NSSpellChecker::guessesForWordRange:inString:language:inSpellDocumentWithTag:({0, 4}, "
                        "\"wrod\", \"en_GB\", 0)",
                        "Kestrane::TextBaseTarget::GetSelectedFieldGlyph(<TextTool 7>)",
                        "Kestrane::FieldFormatController::IsFormattable(nil)",
                        "Commands::CreateCustomFieldFromTextCommand::CanCreateCustomFieldFromSelection(<selection "
                        "items=1>)"}));
        EXPECT_EQ(NSSpellChecker::sharedSpellChecker()->language()->utf8(), "en_GB");  // left so
    }
    EXPECT_EQ(tool->GetRefCount(), 2);
}

TEST_F(ContextMenuSelectionTest, FieldItemsAndTheAdvancedTextSwitch) {
    const Rows kLookUp = {"Look Up \"colour\" | lookupWord: | controller | \"colour\" | 0", "---"};
    const std::string kExpand = "Expand Field | expandFields: | controller | - | 0";
    const std::string kEdit = "Edit Field... | openFieldEditor: | controller | - | 0";
    const std::string kConvert = "Convert Text to Field... | convertTextToField: | controller | - | 0";
    struct Case {
        const char* name;
        bool fieldSelected, formattable, inFlow, canConvert, advanced;
        Rows expected;
    };
    const Case cases[] = {
        {"a selected field: no look-up", true, false, true, false, true, Join({{kExpand}, kAdvancedTextRows})},
        {"a formattable field", true, true, true, false, true, Join({{kExpand, kEdit}, kAdvancedTextRows})},
        {"a formattable field outside a text flow", true, true, false, false, true, Join({{kExpand}, kAdvancedTextRows})},
        {"every field item", true, true, true, true, true, Join({{kExpand, kEdit, kConvert}, kAdvancedTextRows})},
        {"every field item, plain text menu: no edit item", true, true, true, true, false,
         Join({{kExpand, kConvert}, kPlainTextRows})},
        {"convertible text", false, false, true, true, true, Join({kLookUp, {kConvert}, kAdvancedTextRows})},
        {"plain text menu", false, false, true, false, false, Join({kLookUp, kPlainTextRows})},
        {"advanced text menu", false, false, true, false, true, Join({kLookUp, kAdvancedTextRows})},
    };
    UseTool<TextTool>();
    SelectText("colour");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto& answers = Kestrane::TextBaseTarget::StandInAnswers();
        answers = {c.fieldSelected, c.inFlow, c.formattable, c.canConvert};
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(c.advanced);
        EXPECT_EQ(MenuRows(), c.expected);
    }
}

TEST_F(ContextMenuSelectionTest, StoryRangesDecideWhichItemGivesTheTextMenu) {
    auto tool = UseTool<TextTool>();
    auto storyOf = [](const std::string& text) { return Story::StoryText::FromUtf8(text, "en-US"); };
    auto select = [&](std::initializer_list<std::pair<std::string, std::vector<Story::RangeRecord>>> items) {
        auto selection = Kernel::MakeCounted<MutableSelection>();
        for (const auto& [text, ranges] : items) selection->AddStoryRanges(storyOf(text), ranges);
        m_document->SetSelection(selection->CloneImmutable());
    };
    // Two ranges, or one range outside a story: no text menu, and a plain text tool has no other.
    select({{"one two", {{0, 3, 1, 0, 0}, {4, 7, 1, 0, 0}}}});
    EXPECT_FALSE(Menu());
    select({{"one", {{0, 3, 0, 0, 0}}}});
    EXPECT_FALSE(Menu());
    // The first item that qualifies gives the word.
    select({{"one two", {{0, 3, 1, 0, 0}, {4, 7, 1, 0, 0}}}, {"three", {{0, 5, 1, 0, 0}}}});
    EXPECT_EQ(MenuRows(), Join({{"Look Up \"three\" | lookupWord: | controller | \"three\" | 0", "---"}, kAdvancedTextRows}));
    // No range at all qualifies too, with an empty word: no spelling or look-up item.
    select({{"one", {}}});
    EXPECT_EQ(MenuRows(), kAdvancedTextRows);
    // A tool that does not want the text menu gets none.
    select({{"three", {{0, 5, 1, 0, 0}}}});
    tool->SetWantsTextContextMenu(false);
    EXPECT_FALSE(Menu());
    // A table text tool is a text tool.
    UseTool<TableTextTool>();
    EXPECT_EQ(MenuRows(), Join({{"Look Up \"three\" | lookupWord: | controller | \"three\" | 0", "---"}, kAdvancedTextRows}));
}

TEST_F(ContextMenuSelectionTest, CommandKeyNodeMenuOfANestedSelection) {
    auto leaf = Tree("Leaf");
    auto inner = Tree("Inner", {leaf});
    auto curve = Tree("Curve");
    auto group = Tree("Group", {curve, inner});
    auto star = Tree("Star");
    SelectNodes({AsSelectable(group), Kernel::MakeCounted<Selectable>(), {}, AsSelectable(star)});
    NSEvent::SetModifierFlags(NSEvent::NSEventModifierFlagCommand);
    for (bool exportable : {false, true}) {
        SCOPED_TRACE(exportable);
        if (exportable) UseTool<SelectExportableTool>();
        else UseTool<SelectTool>();
        Ref<NSMenu> menu = Menu();
        ASSERT_TRUE(menu);
        EXPECT_EQ(Describe(menu.get(), m_controller.get()),
                  (Rows{
                      "Group | showNodesMenu: | controller | - | 0 | submenu | node=-",
                      "  Curve | showNodesMenu: | controller | - | 0 | node=Curve",
                      "  Inner | showNodesMenu: | controller | - | 0 | submenu | node=Inner",
                      "    Leaf | showNodesMenu: | controller | - | 0 | node=Leaf",
                      "Star | showNodesMenu: | controller | - | 0 | submenu | node=-",
                  }));
        EXPECT_FALSE(menu->autoenablesItems());
        NSMenu* groupMenu = menu->itemAtIndex(0)->submenu();
        EXPECT_EQ(groupMenu->title()->utf8(), "Group");
        EXPECT_FALSE(groupMenu->autoenablesItems());
        EXPECT_FALSE(groupMenu->itemAtIndex(1)->submenu()->autoenablesItems());
        EXPECT_FALSE(menu->itemAtIndex(1)->submenu()->autoenablesItems());
        EXPECT_EQ(menu->itemAtIndex(1)->submenu()->numberOfItems(), 0);

        // Choosing the innermost entry selects that node alone.
        CallLog::Clear();
        m_controller->showNodesMenu(groupMenu->itemAtIndex(1)->submenu()->itemAtIndex(0));
        EXPECT_EQ(CallLog::Entries(), Rows{"PersonaController::EnqueueCommand(<SetCurrentSelectionCommand items=1 false "
                                           "false false visible=1>, <document \"Doc\">, false)"});
        auto* command = dynamic_cast<SetCurrentSelectionCommand*>(
            PersonaController::GetInstance()->QueuedCommands().back().Get());
        ASSERT_NE(command, nullptr);
        ASSERT_EQ(command->GetSelection()->GetCount(), 1u);
        EXPECT_EQ(command->GetSelection()->GetItems()[0]->GetSelectable(), static_cast<Selectable*>(leaf.Get()));
    }
    // Every count the menus took goes with them.
    PersonaController::GetInstance()->ResetForTesting();
    EXPECT_EQ(leaf->GetRefCount(), 2);  // ours and its parent's
    EXPECT_EQ(group->GetRefCount(), 3);  // ours, the selection item's and the selection's node cache
}

TEST_F(ContextMenuSelectionTest, CommandKeyNodeMenuOfOneNodeOrNone) {
    NSEvent::SetModifierFlags(NSEvent::NSEventModifierFlagCommand | NSEvent::NSEventModifierFlagShift);
    UseTool<SelectTool>();
    auto rect = Tree("Rectangle");
    SelectNodes({AsSelectable(rect)});
    Ref<NSMenu> menu = Menu();
    EXPECT_EQ(Describe(menu.get(), m_controller.get()),
              Rows{"Rectangle | showNodesMenu: | controller | - | 0 | node=Rectangle"});
    EXPECT_FALSE(menu->autoenablesItems());

    // One group: an entry for it with a submenu of its children, the entry holding no node.
    auto group = Tree("Group", {Tree("Ellipse")});
    SelectNodes({AsSelectable(group)});
    EXPECT_EQ(MenuRows(), (Rows{"Group | showNodesMenu: | controller | - | 0 | submenu | node=-",
                                "  Ellipse | showNodesMenu: | controller | - | 0 | node=Ellipse"}));

    // No node selected: no menu at all, not the select menu.
    SelectNodes({Kernel::MakeCounted<Selectable>()});
    EXPECT_FALSE(Menu());
    SelectNodes({});
    EXPECT_FALSE(Menu());
    NSEvent::SetModifierFlags(NSEvent::NSEventModifierFlagShift);
    EXPECT_EQ(Menu().get(), m_controller->selectMenu().get());
}

TEST_F(ContextMenuSelectionTest, ShowingAStoredMenuRemovesItsTaggedItemsForGood) {
    UseTool<SelectTool>();
    Kestrane::Application::Current()->SetProduct(1);
    Ref<NSMenu> stored = m_controller->selectMenu();
    for (int request = 0; request < 2; ++request) {
        SCOPED_TRACE(request);
        CallLog::Clear();
        m_controller->showContextMenu(ContextMenuRequest::WithKind(0).get());
        EXPECT_TRUE(LogHas("NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {0, 0}, <DocumentView>)"));
        EXPECT_EQ(m_controller->selectMenu().get(), stored.get());
        EXPECT_EQ(Describe(stored.get(), m_controller.get()),
                  Join({Rows{"Cut | cut: | - | - | 0", "Copy | copy: | - | - | 0", "Paste | paste: | - | - | 0",
                             "Duplicate | duplicate: | - | - | 0", "Delete | delete: | - | - | 0", "---",
                             "Group | group: | - | - | 40", "Ungroup | ungroup: | - | - | 41", "---",
                             "Convert to Curves | doConvertToCurves: | controller | - | 101", "---",
                             "Arrange | - | - | - | 0 | submenu", "  Move to Front | bringToFront: | - | - | 0",
                             "  Move to Back | sendToBack: | - | - | 0"},
                        kSelectTailRows}));
    }
    // Another workspace's controller keeps its own menus whole.
    auto other = New<ContextMenuController>();
    EXPECT_EQ(Describe(other->selectMenu().get(), other.get()), kSelectRows);
}

TEST_F(ContextMenuSelectionTest, ToolClassPredicates) {
    struct Case {
        const char* name;
        Kernel::Counted<Tool> tool;
        bool node, shapeNode, fill, transform, strokeWidth, slice;
    };
    const Case cases[] = {
        {"empty", {}, false, false, false, false, false, false},
        {"node", Kernel::MakeCounted<NodeTool>(1), true, false, false, false, false, false},
        {"shape node", Kernel::MakeCounted<ShapeNodeTool>(1), true, true, false, false, false, false},
        {"fill base", Kernel::MakeCounted<FillToolBase>(1), false, false, true, false, false, false},
        {"fill", Kernel::MakeCounted<FillTool>(1), false, false, true, false, false, false},
        {"transform", Kernel::MakeCounted<TransformTool>(1), false, false, false, true, false, false},
        {"stroke width", Kernel::MakeCounted<StrokeWidthTool>(1), false, false, false, false, true, false},
        {"slice", Kernel::MakeCounted<SliceTool>(1), false, false, false, false, false, true},
        {"select", Kernel::MakeCounted<SelectTool>(1), false, false, false, false, false, false},
    };
    // Twice over, so the second pass is answered from the per-thread caches.
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(IsToolOfClass<NodeTool>(c.tool), c.node);
            EXPECT_EQ(IsToolOfClass<ShapeNodeTool>(c.tool), c.shapeNode);
            EXPECT_EQ(IsToolOfClass<FillToolBase>(c.tool), c.fill);
            EXPECT_EQ(IsToolOfClass<TransformTool>(c.tool), c.transform);
            EXPECT_EQ(IsToolOfClass<StrokeWidthTool>(c.tool), c.strokeWidth);
            EXPECT_EQ(IsToolOfClass<SliceTool>(c.tool), c.slice);
        }
    }
}

TEST_F(ContextMenuSelectionTest, SelectionNodesAreCachedOnceAndRescannedWhileThereAreNone) {
    auto a = Tree("A");
    auto b = Kernel::MakeCounted<RasterNode>("B");
    auto selection = Kernel::MakeCounted<MutableSelection>();
    selection->AddSelectable(AsSelectable(a), false);
    selection->AddSelectable({}, false);
    selection->AddSelectable(Kernel::MakeCounted<Selectable>(), false);
    selection->AddSelectable(Kernel::Counted<Selectable>(static_cast<Node*>(b.Get())), false);
    const std::vector<Node*> expected = {a.Get(), static_cast<Node*>(b.Get())};
    auto pointers = [](const std::vector<Kernel::Counted<Node>>& list) {
        std::vector<Node*> out;
        for (auto& n : list) out.push_back(n.Get());
        return out;
    };
    EXPECT_EQ(pointers(SelectionNodes(*selection)), expected);
    EXPECT_EQ(selection->ItemReads(), 1u);
    EXPECT_EQ(pointers(SelectionNodes(*selection)), expected);
    EXPECT_EQ(selection->ItemReads(), 1u);  // answered from the cache
    EXPECT_EQ(a->GetRefCount(), 3);         // ours, the item's and the cache's: the copies went

    auto none = Kernel::MakeCounted<MutableSelection>();
    none->AddSelectable(Kernel::MakeCounted<Selectable>(), false);
    EXPECT_TRUE(SelectionNodes(*none).empty());
    EXPECT_TRUE(SelectionNodes(*none).empty());
    EXPECT_EQ(none->ItemReads(), 2u);
}

}  // namespace
