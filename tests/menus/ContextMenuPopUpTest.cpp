// The context-menu pop-up: what every request kind does with and without a view, the table and
// curve-node menus item by item, the removals, where the menu shows and what follows it.
#include <climits>

#include "../app/StringsBundle.h"
#include "context_menu_test_support.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/PersonaController.h"
#include "app/VectorWorkspace.h"
#include "menus/ContextMenuController.h"

namespace {

using Rows = std::vector<std::string>;

// Answers a fixed menu for the selection.
class FixedMenuController : public ContextMenuController {
    QV_OBJECT(FixedMenuController)
public:
    Ref<NSMenu> answer;
    Ref<NSMenu> getContextMenuForSelectionInView(NSObject*) { return answer; }
};

// Makes another tool current when its item is chosen.
class ToolChangingTarget : public NSObject {
    QV_OBJECT(ToolChangingTarget)
public:
    Ref<DocumentView> view;
    Kernel::Counted<Tool> next;
    void change(NSObject*) { view->setCurrentToolQuietly(next); }
};

}  // namespace

QV_IMPLEMENT(FixedMenuController, ContextMenuController) {
    c.method("getContextMenuForSelectionInView:", &FixedMenuController::getContextMenuForSelectionInView);
}
QV_IMPLEMENT(ToolChangingTarget, NSObject) { c.method("change:", &ToolChangingTarget::change); }

namespace {

// "title | action | target | tag" per item, "---" per separator.
Rows Describe(const NSMenu* menu, const NSObject* controller) {
    Rows rows;
    if (!menu) return rows;
    const NSObject* table = CommandControllerManager::GetInstance()->tableCommands();
    const NSObject* vector = CommandControllerManager::GetInstance()->vectorCommands();
    for (const auto& item : menu->itemArray()) {
        if (item->isSeparatorItem()) {
            rows.push_back("---");
            continue;
        }
        std::string target = item->target() == table        ? "table"
                             : item->target() == vector     ? "vector"
                             : item->target() == controller ? "controller"
                                                            : "-";
        rows.push_back(item->title()->utf8() + " | " + sel_getName(item->action()) + " | " + target + " | " +
                       std::to_string(item->tag()));
    }
    return rows;
}

// Every call that shows a menu, opens a panel or touches the view or tool after a pop-up.
Rows Shown() {
    Rows out;
    for (auto& e : CallLog::Entries())
        if (e.rfind("NSMenu::popUp", 0) == 0 || e.rfind("AppPanelManager::", 0) == 0 ||
            e.rfind("DocumentView::stopPanTimer", 0) == 0 || e.rfind("Tool::", 0) == 0 || e.rfind("tracker", 0) == 0)
            out.push_back(e);
    return out;
}

const std::string kPopUp = "NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {0, 0}, <DocumentView>)";
const Rows kPoppedUp = {kPopUp, "DocumentView::stopPanTimer()", "Tool::ForceCursorInvalidate(<SelectTool 7>)",
                        "Tool::OnContextMenuClosed(<SelectTool 7>)", "Tool::OnContextMenuFinished(<SelectTool 7>)"};

// The row menu with every item tagged t.
Rows RowMenu(const std::string& t) {
    return {"Insert Row | insertRow: | table | " + t,
            "Delete Row | deleteRow: | table | " + t,
            "---",
            "Merge Row | mergeRowCells: | table | " + t,
            "Separate Row | separateRowCells: | table | " + t,
            "---",
            "AutoFit Row to Contents | autoFitRow: | table | " + t,
            "Sort Ascending | sortByRowAscending: | table | " + t,
            "Sort Descending | sortByRowDescending: | table | " + t};
}
Rows ColumnMenu(const std::string& t) {
    return {"Insert Column | insertColumn: | table | " + t,
            "Delete Column | deleteColumn: | table | " + t,
            "---",
            "Merge Column | mergeColumnCells: | table | " + t,
            "Separate Column | separateColumnCells: | table | " + t,
            "---",
            "AutoFit Column to Contents | autoFitColumn: | table | " + t,
            "Sort Ascending | sortByColumnAscending: | table | " + t,
            "Sort Descending | sortByColumnDescending: | table | " + t};
}
const Rows kRowsMenu = {"Insert Row | insertRows: | table | -1",
                        "Delete Row(s) | deleteRows: | table | -1",
                        "---",
                        "Merge Cells | mergeTableCells: | table | -1",
                        "Separate Cells | separateTableCells: | table | -1",
                        "---",
                        "Evenly Distribute Rows | evenlyDistributeTableRows: | table | 0",
                        "---",
                        "AutoFit Row to Contents | autoFitCurrentRows: | table | -1",
                        "Sort Ascending | sortByRowAscending: | table | -1",
                        "Sort Descending | sortByRowDescending: | table | -1"};
const Rows kColumnsMenu = {"Insert Column | insertColumns: | table | -1",
                           "Delete Column(s) | deleteColumns: | table | -1",
                           "---",
                           "Merge Cells | mergeTableCells: | table | -1",
                           "Separate Cells | separateTableCells: | table | -1",
                           "---",
                           "Evenly Distribute Columns | evenlyDistributeTableColumns: | table | 0",
                           "---",
                           "AutoFit Column to Contents | autoFitCurrentColumns: | table | -1",
                           "Sort Ascending | sortByColumnAscending: | table | -1",
                           "Sort Descending | sortByColumnDescending: | table | -1"};
const Rows kCellRangeMenu = {"Merge Cells | mergeTableCells: | table | 0",
                             "Separate Cells | separateTableCells: | table | 0",
                             "---",
                             "Evenly Distribute Columns | evenlyDistributeTableColumns: | table | 0",
                             "Evenly Distribute Rows | evenlyDistributeTableRows: | table | 0",
                             "---",
                             "AutoFit Row(s) | autoFitCurrentRows: | table | 0",
                             "AutoFit Column(s) | autoFitCurrentColumns: | table | 0",
                             "Sort by Row Ascending | sortByRowAscending: | table | -1",
                             "Sort by Row Descending | sortByRowDescending: | table | -1",
                             "Sort by Column Ascending | sortByColumnAscending: | table | -1",
                             "Sort by Column Descending | sortByColumnDescending: | table | -1"};
const Rows kCurveNodeMenu = {"Convert to Sharp | curveNodeConvertToCusp: | vector | 1",
                             "Convert to Smooth | curveNodeConvertToSmooth: | vector | 2",
                             "Convert to Smart | curveNodeConvertToSmart: | vector | 3",
                             "---",
                             "Split Curve | curveNodeSplitCurve: | vector | 4",
                             "Break Curve | curveNodeBreakCurve: | vector | 5",
                             "---",
                             "Close Curve | curveNodeCloseCurve: | vector | 6",
                             "Reverse Curve | curveNodeReverseCurve: | vector | 7",
                             "---",
                             "Delete Node | deleteNodeOnCurve: | controller | 8",
                             "Delete Node and Fit Curve | deleteFitToCurveNodeOnCurve: | controller | 9"};

class ContextMenuPopUpTest : public ContextMenuViewTest {
public:
    void SetUp() override {
        ContextMenuViewTest::SetUp();
        m_view->setCurrentToolQuietly(Kernel::MakeCounted<SelectTool>(7));
        m_controller = New<FixedMenuController>();
        ASSERT_TRUE(m_controller);
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(true);
    }

    // Shows a request; answers the rows of the menu that popped up (none when nothing did).
    Rows Show(int32_t kind, Kernel::Counted<ContextMenuAdditionalData> data = {}) {
        NSResetPopUpRecord();
        CallLog::Clear();
        m_controller->showContextMenu(ContextMenuRequest::WithKind(kind, std::move(data)).get());
        return Describe(NSLastPopUp().menu.get(), m_controller.get());
    }

    static Kernel::Counted<ContextMenuAdditionalData> Table(int32_t index) {
        return Kernel::Counted<ContextMenuAdditionalData>(Kernel::MakeCounted<TableTextTool::ContextMenuData>(index));
    }

    // A, -, X(tag), B ... from a compact list: "-" is a separator, "Name=tag" a tagged item.
    static Ref<NSMenu> MenuOf(const std::vector<std::string>& items) {
        auto menu = New<NSMenu>();
        for (const auto& entry : items) {
            if (entry == "-") {
                menu->addItem(NSMenuItem::separatorItem().get());
                continue;
            }
            auto eq = entry.find('=');
            auto item = New<NSMenuItem>();
            item->initWithTitle(NSString::from(entry.substr(0, eq)).get(), nullptr, nullptr);
            if (eq != std::string::npos) item->setTag(std::stol(entry.substr(eq + 1)));
            menu->addItem(item.get());
        }
        return menu;
    }
    static Rows Titles(const NSMenu* menu) {
        Rows out;
        for (auto& item : menu->itemArray()) out.push_back(item->isSeparatorItem() ? "-" : item->title()->utf8());
        return out;
    }

    Ref<FixedMenuController> m_controller;
};

TEST_F(ContextMenuPopUpTest, EveryRequestKindWithAndWithoutAView) {
    m_controller->answer = MenuOf({"A", "B"});
    const struct {
        int32_t kind;
        Rows withView;
        Rows withoutView;
    } cases[] = {
        {0, kPoppedUp, {}},
        {1, {"AppPanelManager::showTabstopEditor"}, {"AppPanelManager::showTabstopEditor"}},
        {2, kPoppedUp, {}},
        {3, kPoppedUp, {}},
        {4, {"AppPanelManager::showTableExtender:(NO)"}, {"AppPanelManager::showTableExtender:(NO)"}},
        {5, {"AppPanelManager::showTableExtender:(YES)"}, {"AppPanelManager::showTableExtender:(YES)"}},
        {6, kPoppedUp, {}},
        {7, kPoppedUp, {}},
        {8, kPoppedUp, {}},
        {9, {}, {}},
        {10, {}, {}},
        {11, kPoppedUp, {}},
        {12, kPoppedUp, {}},
        {13, {}, {}},
        {-1, {}, {}},
        {INT32_MIN, {}, {}},
        {INT32_MAX, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        m_app->setCurrentView(m_view.get());
        Show(c.kind);
        EXPECT_EQ(Shown(), c.withView);
        m_app->setCurrentView(nullptr);
        Show(c.kind);
        EXPECT_EQ(Shown(), c.withoutView);
        EXPECT_EQ(NSLastPopUp().popUps, 0);
    }
    // Kinds 0 and 12 show the selection's menu itself.
    m_app->setCurrentView(m_view.get());
    for (int32_t kind : {0, 12}) {
        Show(kind);
        EXPECT_EQ(NSLastPopUp().menu.get(), m_controller->answer.get());
    }
    // No request, no notification, or no menu for the selection: nothing at all.
    CallLog::Clear();
    m_controller->showContextMenu(nullptr);
    auto empty = New<ContextMenuRequest>();
    m_controller->showContextMenu(empty.get());
    m_controller->showContextMenu(m_view.get());
    m_controller->answer = nullptr;
    m_controller->showContextMenu(ContextMenuRequest::WithKind(0).get());
    EXPECT_TRUE(CallLog::Entries().empty());
}

TEST_F(ContextMenuPopUpTest, TableAndCurveNodeMenusItemByItem) {
    const struct {
        const char* name;
        int32_t kind;
        Kernel::Counted<ContextMenuAdditionalData> data;
        Rows rows;
    } cases[] = {
        {"row, table index 3", 2, Table(3), RowMenu("3")},
        {"row, no data", 2, {}, RowMenu("-1")},
        {"row, data of another tool", 2, Kernel::MakeCounted<ContextMenuAdditionalData>(), RowMenu("-1")},
        {"column, table index 0", 3, Table(0), ColumnMenu("0")},
        {"column, no data", 3, {}, ColumnMenu("-1")},
        {"rows, table index 3", 7, Table(3), kRowsMenu},
        {"columns", 8, {}, kColumnsMenu},
        {"cell range, table index 3", 6, Table(3), kCellRangeMenu},
        {"curve node", 11, Table(3), kCurveNodeMenu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Show(c.kind, c.data), c.rows);
        NSMenu* menu = NSLastPopUp().menu.get();
        ASSERT_TRUE(menu);
        EXPECT_TRUE(menu->autoenablesItems());
        EXPECT_TRUE(menu->title()->utf8().empty());
        for (auto& item : menu->itemArray()) EXPECT_TRUE(item->keyEquivalent()->utf8().empty());
    }
    // A table item goes to the table commands with its tag.
    NSSetMenuTracker([](NSMenu* menu) {
        NSMenuItem* item = menu->itemAtIndex(7);
        return item->target()->performSelector(item->action(), item) == nullptr;
    });
    Show(2, Table(4));
    EXPECT_TRUE(LogHas("TableCommands::sortByRowAscending:(tag=4)"));
}

// Table menu titles are looked up in the context "Context menu": with a strings table that
// translates each of them under that context only, every item shows its translation.
TEST_F(ContextMenuPopUpTest, TableMenuTitlesAreLookedUpInTheContextMenuContext) {
    auto titleOf = [](const std::string& row) { return row.substr(0, row.find(" | ")); };
    auto translated = [](const std::string& title) { return "\u00AB" + title + "\u00BB"; };
    const struct {
        int32_t kind;
        Kernel::Counted<ContextMenuAdditionalData> data;
        Rows rows;
    } cases[] = {
        {2, Table(3), RowMenu("3")}, {3, Table(0), ColumnMenu("0")}, {7, Table(3), kRowsMenu},
        {8, {}, kColumnsMenu},       {6, Table(3), kCellRangeMenu},
    };
    ScopedStringsBundle::Entries entries;
    for (const auto& c : cases)
        for (const auto& row : c.rows)
            if (row != "---")
                entries.push_back({ScopedStringsBundle::Key(titleOf(row), "Context menu"), translated(titleOf(row))});
    ScopedStringsBundle bundle(entries);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        Rows expected;
        for (const auto& row : c.rows)
            expected.push_back(row == "---" ? row : translated(titleOf(row)) + row.substr(row.find(" | ")));
        EXPECT_EQ(Show(c.kind, c.data), expected);
    }
}

TEST_F(ContextMenuPopUpTest, BuiltItemsAreEnabledByTheirTargets) {
    CommandControllerManager::GetInstance()->tableCommands()->setValidationAnswer(NO);
    Show(6);
    for (auto& item : NSLastPopUp().menu->itemArray()) {
        if (!item->isSeparatorItem()) {
            EXPECT_FALSE(item->isEnabled()) << item->title()->utf8();
        }
    }
    // The curve items ask the vector commands, the two deletions the controller: with no current
    // document they are disabled.
    CommandControllerManager::GetInstance()->vectorCommands()->setValidationAnswer(YES);
    m_app->setCurrentDocument(nullptr);
    Show(11);
    Rows enabled;
    for (auto& item : NSLastPopUp().menu->itemArray())
        if (!item->isSeparatorItem()) enabled.push_back(item->isEnabled() ? "Y" : "N");
    EXPECT_EQ(enabled, (Rows{"Y", "Y", "Y", "Y", "Y", "Y", "Y", "N", "N"}));
    m_app->clearCurrentDocument();
    Show(11);
    EXPECT_TRUE(NSLastPopUp().menu->itemAtIndex(10)->isEnabled());
}

TEST_F(ContextMenuPopUpTest, RemovalsOfTheSelectionMenu) {
    auto vector = New<VectorWorkspace>();
    // Tagged first: removed alone. In the middle: with the item above. Repeated: one per request.
    const struct {
        const char* name;
        std::vector<std::string> menu;
        Rows first, second;
    } cases[] = {
        {"first", {"X=102", "-", "A"}, {"-", "A"}, {"-", "A"}},
        {"middle", {"A", "-", "X=102", "B"}, {"A", "B"}, {"A", "B"}},
        {"repeated", {"A", "-", "X=102", "B", "-", "Y=102"}, {"A", "B", "-", "Y=102"}, {"A", "B"}},
        {"all three tags", {"A", "-", "P=42", "B", "-", "F=5", "C", "-", "S=102"}, {"A", "B", "C"}, {"A", "B", "C"}},
    };
    Kestrane::Application::Current()->SetProduct(1);
    PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(false);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Ref<NSMenu> menu = MenuOf(c.menu);
        m_controller->answer = menu;
        Show(0);
        Rows titles = Titles(menu.get());
        for (auto& t : titles) t = t == "X" || t == "Y" ? t + "=102" : t;
        EXPECT_EQ(titles, c.first);
        Show(12);
        titles = Titles(menu.get());
        for (auto& t : titles) t = t == "X" || t == "Y" ? t + "=102" : t;
        EXPECT_EQ(titles, c.second);
    }
    // The vector persona keeps 102; another product keeps 42; the advanced-text switch keeps 5.
    m_app->setCurrentWorkspaceQuietly(vector.get());
    Kestrane::Application::Current()->SetProduct(9);
    PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(true);
    Ref<NSMenu> whole = MenuOf({"A", "-", "P=42", "B", "-", "F=5", "C", "-", "S=102"});
    m_controller->answer = whole;
    Show(0);
    EXPECT_EQ(Titles(whole.get()), (Rows{"A", "-", "P", "B", "-", "F", "C", "-", "S"}));
}

TEST_F(ContextMenuPopUpTest, BuiltMenusKeepEveryItemWhateverTheirTags) {
    // Outside the vector persona, in product 1, with the advanced-text switch clear: a table index
    // of 102, 42 or 5 leaves the row and column menus whole, and the curve menu keeps tag 5.
    Kestrane::Application::Current()->SetProduct(1);
    PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(false);
    for (int32_t index : {102, 42, 5}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(Show(2, Table(index)), RowMenu(std::to_string(index)));
        EXPECT_EQ(Show(3, Table(index)), ColumnMenu(std::to_string(index)));
    }
    EXPECT_EQ(Show(11), kCurveNodeMenu);
}

TEST_F(ContextMenuPopUpTest, ThePopUpStandsUnderTheMouseInTheView) {
    m_controller->answer = MenuOf({"A"});
    NSEvent::SetMouseLocation({300, 200});
    m_view->setFrameOrigin({10, 20});
    auto window = New<NSWindow>();
    window->setFrameOrigin({100, 50});
    m_view->setWindow(window.get());
    Show(0);
    EXPECT_EQ(NSLastPopUp().location.x, 190);
    EXPECT_EQ(NSLastPopUp().location.y, 130);
    EXPECT_EQ(NSLastPopUp().view.get(), m_view.get());
    EXPECT_EQ(NSLastPopUp().item.get(), nullptr);
    EXPECT_TRUE(LogHas("NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {190, 130}, <DocumentView>)"));
    // Without a window the view converts (0, 0), wherever the mouse is.
    m_view->setWindow(nullptr);
    Show(2);
    EXPECT_EQ(NSLastPopUp().location.x, -10);
    EXPECT_EQ(NSLastPopUp().location.y, -20);
}

TEST_F(ContextMenuPopUpTest, TheTimerAndTheToolFollowTheClosedMenu) {
    NSSetMenuTracker([](NSMenu*) {
        CallLog::Record("tracker: menu on screen");
        return NO;
    });
    m_controller->answer = MenuOf({"A"});
    Show(0);
    EXPECT_EQ(Shown(), (Rows{kPopUp, "tracker: menu on screen", "DocumentView::stopPanTimer()",
                             "Tool::ForceCursorInvalidate(<SelectTool 7>)", "Tool::OnContextMenuClosed(<SelectTool 7>)",
                             "Tool::OnContextMenuFinished(<SelectTool 7>)"}));

    // A chosen item that makes another tool current: the tool is asked for afresh.
    auto changer = New<ToolChangingTarget>();
    changer->view = m_view;
    changer->next = Kernel::MakeCounted<NodeTool>(8);
    NSSetMenuTracker([&changer](NSMenu*) {
        changer->change(nullptr);
        return YES;
    });
    Show(11);
    EXPECT_EQ(Shown(), (Rows{kPopUp, "DocumentView::stopPanTimer()", "Tool::ForceCursorInvalidate(<NodeTool 8>)",
                             "Tool::OnContextMenuClosed(<NodeTool 8>)", "Tool::OnContextMenuFinished(<NodeTool 8>)"}));

    // No tool: the timer stops and nothing else.
    NSSetMenuTracker(nullptr);
    m_view->setCurrentToolQuietly({});
    Show(0);
    EXPECT_EQ(Shown(), (Rows{kPopUp, "DocumentView::stopPanTimer()"}));
}

}  // namespace
