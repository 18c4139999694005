// The pixel menu's validation: every action with a view, without one and with a view that has no
// document, in each of the seven pixel formats, with each answer of the engine turned against
// the item in turn, compared with the hand-written table beside this file; then what validation
// changes on the items (the Fade and Repeat titles, Repeat's visibility, the check mark).
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "../app/StringsBundle.h"
#include "AppKit/AppKit.h"
#include "DocSession/CallLog.h"
#include "DocSession/RasterBaseTarget.h"
#include "UIFramework/UIFramework.h"
#include "menu_test_support.h"
#include "menus/MenuBarRasterController.h"

namespace {

using Answers = Kestrane::RasterBaseTarget::QueryAnswers;

class NamedCommand : public DocumentCommand {
public:
    explicit NamedCommand(std::string name) : m_name(std::move(name)) {}
    Kernel::LocalisedString GetDisplayName() const override { return Kernel::LocalisedString(m_name); }
    std::string Describe() const override { return m_name; }

private:
    std::string m_name;
};

struct Row {
    std::string action;
    std::set<std::string> disabledBy;
    int line = 0;
};

std::vector<Row> LoadTable() {
    const std::string path = std::string(QV_SOURCE_DIR) + "/tests/menus/validation_table.txt";
    std::ifstream in(path);
    EXPECT_TRUE(in) << "cannot read " << path;
    std::vector<Row> rows;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream words(line);
        Row row;
        row.line = n;
        words >> row.action;
        for (std::string w; words >> w;) row.disabledBy.insert(w);
        rows.push_back(std::move(row));
    }
    return rows;
}

// What a matrix case changes from the state in which every answer enables.
const std::map<std::string, std::function<void(Answers&)>>& QueryConditions() {
    static const std::map<std::string, std::function<void(Answers&)>> conditions = [] {
        std::map<std::string, std::function<void(Answers&)>> c;
#define QV_QUERY_CONDITION(Name) c["-" #Name] = [](Answers& a) { a.Name = false; };
        QV_RASTER_TOOL_QUERIES(QV_QUERY_CONDITION)
#undef QV_QUERY_CONDITION
        c["-CanMaskToBelow"] = [](Answers& a) { a.CanMaskToBelow = false; };
        return c;
    }();
    return conditions;
}

const std::vector<std::string> kDocumentConditions{"-canEnqueue", "+recording", "-base", "+rasterSelectionSel",
                                                   "+selectNone", "+orphans", "+pendingEdits", "-fadeRewind",
                                                   "-repeatable", "sel=empty", "sel=plain", "sel=filter", "sel=mask"};
const int kFormats[] = {0, 1, 2, 3, 4, 5, 9};

class RasterMenuValidationTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        m_controller = New<MenuBarRasterController>();
        m_separator = NSMenuItem::separatorItem();
        m_controller->setSecretSeparator(m_separator.get());
    }
    void TearDown() override {
        m_appController->setCurrentView(nullptr);
        m_view = nullptr;
        m_document.Reset();
        m_tool.Reset();
        m_controller = nullptr;
        MenuTest::TearDown();
    }

    // A selection of an item without an object, a plain node and a pixel layer, or of the kind named.
    static Kernel::Counted<Selection const> MakeSelection(const std::string& kind, bool rasterSelection, bool orphans) {
        auto s = Kernel::MakeCounted<MutableSelection>();
        if (kind == "sel=plain") {
            s->AddSelectable(Kernel::MakeCounted<Node>("Curve"), false);
        } else if (kind == "sel=filter") {
            s->AddSelectable(Kernel::MakeCounted<FilterRasterNode>("Live Filter"), false);
        } else if (kind == "sel=mask") {
            s->AddSelectable(Kernel::MakeCounted<MaskRasterNode>("Mask"), false);
        } else if (kind != "sel=empty") {
            s->AddSelectable(Kernel::Counted<Selectable>(), false);
            s->AddSelectable(Kernel::MakeCounted<Node>("Curve"), false);
            s->AddSelectable(Kernel::MakeCounted<RasterNode>("Background"), false);
        }
        s->SetRasterSelectionSelection(rasterSelection);
        s->SetContainsOrphanedNodes(orphans);
        return s->CloneImmutable();
    }

    // mode: "view", "noview" or "nodoc" (a view without a document).
    void Arrange(const std::string& mode, int format, const std::string& condition) {
        ResetAnswers();
        m_document = Kernel::MakeCounted<DocumentController>("Validated");
        m_document->SetFormat(static_cast<Raster::Format>(format));
        m_document->SetLastRepeatableCommand(Kernel::Counted<DocumentCommand>(new NamedCommand("Gaussian Blur")));
        // Validation reads the current selection; the unrestricted one answers every test the other way.
        m_document->SetSelection(MakeSelection("sel=empty", condition != "+rasterSelectionSel", condition != "+orphans"));
        m_document->m_currentSelection =
            MakeSelection(condition, condition == "+rasterSelectionSel", condition == "+orphans");
        m_tool = Kernel::MakeCounted<Tool>(7);
        m_view = mode == "nodoc" ? New<DocumentView>() : New<DocumentView>(m_document);
        m_view->setCurrentToolQuietly(m_tool);
        if (condition == "-canEnqueue") m_view->setCanEnqueueCommands(NO);
        if (condition == "+recording") m_document->SetRecordingMacro(true);
        if (condition == "-base") MenuBarController::StandInValidateAnswer() = NO;
        if (condition == "+selectNone") m_document->GetRasterSelection()->SetSelectNone(true);
        if (condition == "+pendingEdits") m_document->GetCurrentSpread()->SetPendingEdits(2);
        if (condition == "-fadeRewind") m_document->StandInFadeAnswers().canFadeRewind = false;
        if (condition == "-repeatable") m_document->SetLastRepeatableCommand({});
        if (auto c = QueryConditions().find(condition); c != QueryConditions().end())
            c->second(Kestrane::RasterBaseTarget::StandInQueryAnswers());
        m_appController->setCurrentView(mode == "noview" ? nullptr : m_view.get());
    }
    static void ResetAnswers() {
        Kestrane::RasterBaseTarget::StandInQueryAnswers() = {};
        MenuBarController::StandInValidateAnswer() = YES;
    }

    // Sent as AppKit sends it, through the runtime.
    BOOL Validate(NSMenuItem* item) {
        return m_controller->performBoolSelector(QV_SELECTOR(validateMenuItem:), item);
    }
    Ref<NSMenuItem> Item(const std::string& action, const std::string& title = "Item") {
        auto item = New<NSMenuItem>();
        item->initWithTitle(NSString::from(title).get(), sel_registerName(action.c_str()), NSString::from("").get());
        item->setTarget(m_controller.get());
        return item;
    }

    Ref<MenuBarRasterController> m_controller;
    Ref<NSMenuItem> m_separator;
    Kernel::Counted<DocumentController> m_document;
    Kernel::Counted<Tool> m_tool;
    Ref<DocumentView> m_view;
};

TEST_F(RasterMenuValidationTest, TableNamesEveryActionOnceWithKnownConditions) {
    std::vector<Row> rows = LoadTable();
    // 196 selectors: the 195 actions and validateMenuItem: itself.
    EXPECT_EQ(rows.size(), 195u);
    std::set<std::string> known(kDocumentConditions.begin(), kDocumentConditions.end());
    known.insert("noview");
    for (int f : kFormats) known.insert("format=" + std::to_string(f));
    for (auto& [name, set] : QueryConditions()) known.insert(name);
    std::set<std::string> actions;
    for (const Row& row : rows) {
        EXPECT_TRUE(actions.insert(row.action).second) << "line " << row.line << ": " << row.action << " twice";
        EXPECT_TRUE(row.action.ends_with(":")) << "line " << row.line;
        for (const std::string& c : row.disabledBy) EXPECT_TRUE(known.count(c)) << "line " << row.line << ": " << c;
    }
    // Every item of the pixel menu that the controller answers is in the table.
    Ref<NSArray> objects = LoadRasterMenu();
    ASSERT_TRUE(m_app->mainMenu());
    std::function<void(NSMenu*)> walk = [&](NSMenu* menu) {
        for (const auto& item : menu->itemArray()) {
            if (item->submenu()) walk(item->submenu());
            if (ObjectCast<MenuBarRasterController>(item->target()) && item->action()) {
                EXPECT_TRUE(actions.count(sel_getName(item->action()))) << sel_getName(item->action());
            }
        }
    };
    walk(m_app->mainMenu());
}

TEST_F(RasterMenuValidationTest, EveryActionInEveryFormatWithAndWithoutAViewMatchesTheTable) {
    std::vector<Row> rows = LoadTable();
    ASSERT_FALSE(rows.empty());
    std::vector<Ref<NSMenuItem>> items;
    for (const Row& row : rows) items.push_back(Item(row.action));
    std::vector<std::string> conditions{""};
    conditions.insert(conditions.end(), kDocumentConditions.begin(), kDocumentConditions.end());
    for (auto& [name, set] : QueryConditions()) conditions.push_back(name);

    size_t cases = 0, failures = 0;
    for (const std::string mode : {"view", "noview", "nodoc"}) {
        for (int format : kFormats) {
            for (const std::string& condition : conditions) {
                Arrange(mode, format, condition);
                std::set<std::string> holding{"format=" + std::to_string(format)};
                if (mode != "view") holding.insert("noview");
                if (!condition.empty()) holding.insert(condition);
                for (size_t i = 0; i < rows.size(); ++i) {
                    bool want = true;
                    for (const std::string& c : holding) want = want && !rows[i].disabledBy.count(c);
                    const bool got = Validate(items[i].get());
                    ++cases;
                    if (got != want && ++failures <= 40)
                        ADD_FAILURE() << rows[i].action << " (table line " << rows[i].line << ") mode=" << mode
                                      << " format=" << format << " condition='" << condition << "': got "
                                      << (got ? "YES" : "NO") << ", want " << (want ? "YES" : "NO");
                }
                CallLog::Clear();
            }
        }
    }
    EXPECT_EQ(failures, 0u);
    EXPECT_EQ(cases, 195u * 3 * 7 * conditions.size());
    // Nothing kept a count: the test's own handles are the only ones left.
    EXPECT_EQ(m_tool->GetRefCount(), 2);  // the fixture and the view
}

// What validation writes on the items, and what it asks.
struct ItemCase {
    const char* name;
    const char* mode;  // view, noview, nodoc
    std::function<void(DocumentController&)> arrange;
    const char* action;
    bool enabled;
    const char* title;  // after validation; the item starts as "Item"
    NSInteger state;    // the item starts at -1
    int hidden;         // -1: untouched (starts NO), else the item's hidden flag after validation
    int separatorHidden;
    std::vector<std::string> log;
};

TEST_F(RasterMenuValidationTest, TitlesStatesVisibilityAndWhatIsAsked) {
    auto rasterOnly = [](DocumentController& d) {
        auto s = Kernel::MakeCounted<MutableSelection>();
        s->AddSelectable(Kernel::MakeCounted<RasterNode>("Background"), false);
        d.SetSelection(s->CloneImmutable());
    };
    auto nothing = [](DocumentController&) {};
    const std::vector<ItemCase> cases{
        {"fade without a view leaves the title", "noview", nothing, "fade:", false, "Item", -1, -1, -1, {}},
        {"fade without a pixel layer", "view",
         [](DocumentController& d) {
             auto s = Kernel::MakeCounted<MutableSelection>();
             s->AddSelectable(Kernel::MakeCounted<FilterRasterNode>("Live Filter"), false);
             d.SetSelection(s->CloneImmutable());
         },
         "fade:", false, "Fade\u2026", -1, -1, -1, {}},
        {"fade that the history refuses", "view",
         [&](DocumentController& d) {
             rasterOnly(d);
             d.StandInFadeAnswers().canFadeRewind = false;
         },
         "fade:", false, "Fade\u2026", -1, -1, -1, {"DocumentHistory::CanFadeRewind(<Background>)"}},
        {"fade possible", "view",
         [&](DocumentController& d) {
             rasterOnly(d);
             d.StandInFadeAnswers().backingDescription = "Pixel Layer";
         },
         "fade:", true, "Fade Pixel Layer\u2026", -1, -1, -1,
         {"DocumentHistory::CanFadeRewind(<Background>)", "DocumentHistory::GetMutableRasterBackingDescription(<Background>)"}},
        {"repeat without a view leaves title and visibility", "noview", nothing, "repeat:", false, "Item", -1, -1, -1, {}},
        {"repeat with nothing to repeat hides item and separator", "view", nothing, "repeat:", false, "Item", -1, 1, 1,
         {"DocumentController::GetLastRepeatableCommand()"}},
        {"repeat with a command but nothing paintable", "view",
         [](DocumentController& d) { d.SetLastRepeatableCommand(Kernel::Counted<DocumentCommand>(new NamedCommand("Motion Blur"))); },
         "repeat:", false, "Repeat Motion Blur", -1, 0, 0, {"DocumentController::GetLastRepeatableCommand()"}},
        {"repeat with a command and a pixel layer", "view",
         [&](DocumentController& d) {
             rasterOnly(d);
             d.SetLastRepeatableCommand(Kernel::Counted<DocumentCommand>(new NamedCommand("Motion Blur")));
         },
         "repeat:", true, "Repeat Motion Blur", -1, 0, 0, {"DocumentController::GetLastRepeatableCommand()"}},
        {"save with history on", "view", [](DocumentController& d) { d.SetSaveHistory(true); }, "saveWithHistory:", true,
         "Item", 1, -1, -1, {"DocumentController::GetSaveHistory()"}},
        {"save with history off", "view", nothing, "saveWithHistory:", true, "Item", 0, -1, -1,
         {"DocumentController::GetSaveHistory()"}},
        {"save with history without a view leaves the mark", "noview", nothing, "saveWithHistory:", false, "Item", -1, -1,
         -1, {}},
        {"a view without a document changes and asks nothing", "nodoc", nothing, "saveWithHistory:", false, "Item", -1,
         -1, -1, {}},
        {"a view without a document: repeat untouched", "nodoc", nothing, "repeat:", false, "Item", -1, -1, -1, {}},
        {"a view without a document: a filter asks nothing", "nodoc", nothing, "gaussianBlur:", false, "Item", -1, -1, -1, {}},
        {"colour tags are asked with an empty tool without a view", "noview", nothing, "colourTagRed:", true, "Item", -1,
         -1, -1, {"Kestrane::RasterBaseTarget::CanEnqueueColourTag(null)"}},
        {"colour tags ask with the view's tool", "view", nothing, "colourTagClear:", true, "Item", -1, -1, -1,
         {"Kestrane::RasterBaseTarget::CanEnqueueColourTag(<Tool 7>)"}},
        {"median blur in a float document asks no tool query", "view", [](DocumentController& d) { d.SetFormat(9); },
         "medianBlur:", false, "Item", -1, -1, -1, {}},
        {"the float pre-check then leaves the framework to answer", "view", nothing, "addMedianBlurFilterRasterLayer:", true,
         "Item", -1, -1, -1, {}},
        {"fftDenoise while recording asks no tool query", "view", [](DocumentController& d) { d.SetRecordingMacro(true); },
         "fftDenoise:", false, "Item", -1, -1, -1, {"DocumentController::IsRecordingMacro()"}},
        {"fftDenoise otherwise asks CanApplyFilter", "view", nothing, "fftDenoise:", true, "Item", -1, -1, -1,
         {"DocumentController::IsRecordingMacro()", "Kestrane::RasterBaseTarget::CanApplyFilter(<Tool 7>)"}},
        {"chromatic aberration asks its own query only", "view", nothing, "chromaticAberration:", true, "Item", -1, -1, -1,
         {"Kestrane::RasterBaseTarget::CanChromaticAberration(<Tool 7>)"}},
        {"invert asks CanInvert", "view", nothing, "invert:", true, "Item", -1, -1, -1,
         {"Kestrane::RasterBaseTarget::CanInvert(<Tool 7>)"}},
        {"the invert adjustment asks the view only", "view", nothing, "addInvertAdjustmentRasterLayer:", true, "Item", -1,
         -1, -1, {}},
        {"mask to below asks with the document", "view", nothing, "maskToBelow:", true, "Item", -1, -1, -1,
         {"Kestrane::CommonBaseTarget::CanMaskToBelow(<document \"Validated\">)"}},
        {"flatten asks the current spread", "view", nothing, "flatten:", true, "Item", -1, -1, -1,
         {"DocumentController::GetCurrentSpread()", "Spread::IsPendingEditListEmpty()"}},
    };
    for (const ItemCase& c : cases) {
        SCOPED_TRACE(c.name);
        Arrange(c.mode, 0, "");
        m_document->SetLastRepeatableCommand({});
        m_document->SetSelection(Kernel::MakeCounted<Selection>());
        c.arrange(*m_document);
        m_separator->setHidden(NO);
        Ref<NSMenuItem> item = Item(c.action);
        item->setState(-1);
        const long documentCount = m_document->GetRefCount(), toolCount = m_tool->GetRefCount();
        CallLog::Clear();
        EXPECT_EQ(Validate(item.get()), c.enabled);
        EXPECT_EQ(CallLog::Entries(), c.log);
        EXPECT_EQ(item->title()->utf8(), c.title);
        EXPECT_EQ(item->state(), c.state);
        EXPECT_EQ(item->isHidden(), c.hidden == 1);
        EXPECT_EQ(m_separator->isHidden(), c.separatorHidden == 1);
        EXPECT_EQ(m_document->GetRefCount(), documentCount);
        EXPECT_EQ(m_tool->GetRefCount(), toolCount);
    }
}

// The titles validation sets are looked up in the "Raster menu" context: the strings table has
// entries under that context only, so any other context shows the English text.
TEST_F(RasterMenuValidationTest, FadeAndRepeatTitlesAreLookedUpInTheRasterMenuContext) {
    using B = ScopedStringsBundle;
    B bundle({{B::Key("Fade\u2026", "Raster menu"), "Verblassen\u2026"},
              {B::Key("Fade %@\u2026", "Raster menu"), "%@ verblassen\u2026"},
              {B::Key("Repeat %@", "Raster menu"), "%@ wiederholen"}});
    auto select = [](DocumentController& d, Kernel::Counted<Selectable> object) {
        auto s = Kernel::MakeCounted<MutableSelection>();
        s->AddSelectable(std::move(object), false);
        d.SetSelection(s->CloneImmutable());
    };
    struct Case {
        const char* action;
        std::function<void(DocumentController&)> arrange;
        const char* title;
    } cases[] = {
        {"fade:", [&](DocumentController& d) { select(d, Kernel::MakeCounted<FilterRasterNode>("Live Filter")); },
         "Verblassen\u2026"},
        {"fade:",
         [&](DocumentController& d) {
             select(d, Kernel::MakeCounted<RasterNode>("Background"));
             d.StandInFadeAnswers().backingDescription = "Pixel Layer";
         },
         "Pixel Layer verblassen\u2026"},
        {"repeat:",
         [](DocumentController& d) {
             d.SetLastRepeatableCommand(Kernel::Counted<DocumentCommand>(new NamedCommand("Motion Blur")));
         },
         "Motion Blur wiederholen"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        Arrange("view", 0, "");
        m_document->SetLastRepeatableCommand({});
        c.arrange(*m_document);
        Ref<NSMenuItem> item = Item(c.action);
        Validate(item.get());
        EXPECT_EQ(item->title()->utf8(), c.title);
    }
}

// Items stay as the last validation left them; a later one with a command shows them again.
TEST_F(RasterMenuValidationTest, RepeatComesBackWhenThereIsACommandAgain) {
    Arrange("view", 0, "");
    Ref<NSMenuItem> repeat = Item("repeat:", "Repeat");
    m_document->SetLastRepeatableCommand({});
    EXPECT_FALSE(Validate(repeat.get()));
    EXPECT_TRUE(repeat->isHidden());
    EXPECT_TRUE(m_separator->isHidden());
    m_appController->setCurrentView(nullptr);
    EXPECT_FALSE(Validate(repeat.get()));
    EXPECT_TRUE(repeat->isHidden());  // no view: unchanged
    m_appController->setCurrentView(m_view.get());
    m_document->SetLastRepeatableCommand(Kernel::Counted<DocumentCommand>(new NamedCommand("Unsharp Mask")));
    EXPECT_TRUE(Validate(repeat.get()));
    EXPECT_FALSE(repeat->isHidden());
    EXPECT_FALSE(m_separator->isHidden());
    EXPECT_EQ(repeat->title()->utf8(), "Repeat Unsharp Mask");
}

TEST_F(RasterMenuValidationTest, SelectionTypeTestsSkipItemsWithoutAnObjectAndTakeTheFirstMatch) {
    auto s = Kernel::MakeCounted<MutableSelection>();
    EXPECT_FALSE(SelectionContainsType<ConstRasterInterface const>(*s));
    EXPECT_FALSE(GetFirstSelectedOfType<MutableRasterInterface>(*s));
    s->AddSelectable(Kernel::Counted<Selectable>(), false);
    auto filter = Kernel::MakeCounted<FilterRasterNode>("Filter");
    auto mask = Kernel::MakeCounted<MaskRasterNode>("Mask");
    auto first = Kernel::MakeCounted<RasterNode>("First");
    auto second = Kernel::MakeCounted<RasterNode>("Second");
    for (Kernel::Counted<Selectable> o : {Kernel::Counted<Selectable>(filter), Kernel::Counted<Selectable>(mask),
                                          Kernel::Counted<Selectable>(first), Kernel::Counted<Selectable>(second)})
        s->AddSelectable(o, false);
    EXPECT_TRUE(SelectionContainsType<ConstRasterInterface const>(*s));
    EXPECT_TRUE(SelectionContainsType<RasterNode const>(*s));
    const long before = first->GetRefCount();
    {
        Kernel::Counted<RasterNode> node = GetFirstSelectedOfType<RasterNode>(*s);
        EXPECT_EQ(node.Get(), first.Get());
        EXPECT_EQ(first->GetRefCount(), before + 1);
        Kernel::Counted<MutableRasterInterface> paintable = GetFirstSelectedOfType<MutableRasterInterface>(*s);
        EXPECT_EQ(paintable.Get(), static_cast<MutableRasterInterface*>(mask.Get()));
    }
    EXPECT_EQ(first->GetRefCount(), before);
}

}  // namespace
