// The canvas context-menu controller: its resource, its node items and how it shows a menu.
#include "AppTestSupport.h"
#include "DocSession/DocumentCommand.h"
#include "DocSession/KestraneApplication.h"
#include "DocSession/PersonaController.h"
#include "app/VectorWorkspace.h"
#include "menus/ContextMenuController.h"
#include "menus/NodeMenuItem.h"

namespace {

// Answers a fixed menu for the selection, as the selection's menu builder will.
class MenuAnsweringController : public ContextMenuController {
    QV_OBJECT(MenuAnsweringController)
public:
    Ref<NSMenu> answer;
    Ref<NSMenu> getContextMenuForSelectionInView(NSObject*) { return answer; }
};
QV_IMPLEMENT(MenuAnsweringController, ContextMenuController) {
    c.method("getContextMenuForSelectionInView:", &MenuAnsweringController::getContextMenuForSelectionInView);
}

class ContextMenuControllerTest : public AppShellTest {};

TEST_F(ContextMenuControllerTest, LoadsEveryOutletAndKeepsSeparateMenusPerController) {
    auto a = New<ContextMenuController>();
    auto b = New<ContextMenuController>();
    ASSERT_TRUE(a && b);
    for (auto* c : {a.get(), b.get()}) {
        for (auto menu : {c->generalMenu(), c->selectMenu(), c->selectExportableMenu(), c->textMenu(), c->paletteEditMenu(),
                          c->zoomMenu(), c->sliceMenu(), c->advancedTextMenu()})
            EXPECT_TRUE(menu);
        ASSERT_NE(c->topLevelObjects(), nullptr);
        EXPECT_EQ(c->topLevelObjects()->count(), 8u);
    }
    EXPECT_GE(a->textMenu()->indexOfItemWithTag(5), 0);
    a->selectMenu()->itemAtIndex(0)->setTitle(NSString::from("Changed").get());
    EXPECT_NE(b->selectMenu()->itemAtIndex(0)->title()->utf8(), "Changed");
}

TEST_F(ContextMenuControllerTest, MissingResourceOrRefusedInit) {
    NSController::FailNextInits(1);
    EXPECT_FALSE(New<ContextMenuController>());
    EXPECT_TRUE(LogStartingWith("NSBundle::loadNibNamed").empty());

    const std::string bundle = NSBundle::mainBundle()->bundlePath();
    NSBundle::setMainBundlePath(m_home);
    auto c = New<ContextMenuController>();
    NSBundle::setMainBundlePath(bundle);
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->generalMenu());
    EXPECT_FALSE(c->advancedTextMenu());
    EXPECT_EQ(c->topLevelObjects(), nullptr);
}

TEST_F(ContextMenuControllerTest, NodeItemsHoldTheirNodeCounts) {
    auto node = Kernel::MakeCounted<Node>("Rectangle");
    auto item = New<NodeMenuItem>();
    EXPECT_FALSE(item->node());
    item->setNode(Kernel::JailCounted<Node>(node));
    EXPECT_EQ(node->GetRefCount(), 2);
    item->setNode(item->node());  // the same node again
    EXPECT_EQ(node->GetRefCount(), 2);
    {
        auto first = item->node(), second = item->node();
        EXPECT_EQ(node->GetRefCount(), 4);
    }
    item->setNode({});
    EXPECT_EQ(node->GetRefCount(), 1);
    item->setNode(Kernel::JailCounted<Node>(node));
    item = nullptr;  // the item goes and gives its count back
    EXPECT_EQ(node->GetRefCount(), 1);
}

TEST_F(ContextMenuControllerTest, NodeMenusSelectTheChosenNode) {
    auto group = Kernel::MakeCounted<Node>("Group");
    auto inner = Kernel::MakeCounted<Node>("Inner");
    inner->AppendChild(Kernel::MakeCounted<Node>("Leaf"));
    group->AppendChild(Kernel::MakeCounted<Node>("Curve"));
    group->AppendChild(inner);
    auto controller = New<ContextMenuController>();
    auto menu = New<NSMenu>();
    controller->addNode({}, menu.get());
    EXPECT_EQ(menu->numberOfItems(), 0);
    controller->addNodeChildren(Kernel::JailCounted<Node>(group), menu.get());
    ASSERT_EQ(menu->numberOfItems(), 2);
    EXPECT_EQ(menu->itemAtIndex(0)->title()->utf8(), "Curve");
    EXPECT_FALSE(menu->itemAtIndex(0)->hasSubmenu());
    NSMenuItem* innerItem = menu->itemAtIndex(1);
    ASSERT_TRUE(innerItem->hasSubmenu());
    EXPECT_FALSE(innerItem->submenu()->autoenablesItems());
    EXPECT_EQ(innerItem->submenu()->itemAtIndex(0)->title()->utf8(), "Leaf");
    EXPECT_EQ(innerItem->target(), controller.get());
    EXPECT_EQ(innerItem->action(), QV_SELECTOR(showNodesMenu:));

    auto document = Kernel::MakeCounted<DocumentController>("Doc");
    auto appController = New<AppController>();
    AppController::setRunningController(appController.get());
    appController->setCurrentView(New<DocumentView>(document).get());
    CallLog::Clear();
    controller->showNodesMenu(innerItem);
    EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{"PersonaController::EnqueueCommand(<SetCurrentSelectionCommand "
                                                           "items=1 false false false visible=1>, <document \"Doc\">, false)"});
    auto& queued = PersonaController::GetInstance()->QueuedCommands();
    ASSERT_EQ(queued.size(), 1u);
    auto* command = dynamic_cast<SetCurrentSelectionCommand*>(queued[0].Get());
    ASSERT_NE(command, nullptr);
    EXPECT_EQ(command->GetSelection()->GetItems()[0]->GetSelectable(), inner.Get());
}

TEST_F(ContextMenuControllerTest, SelectionNodesAreTheNodeItemsInOrder) {
    auto selection = Kernel::MakeCounted<MutableSelection>();
    auto a = Kernel::MakeCounted<Node>("A");
    auto b = Kernel::MakeCounted<RasterNode>("B");
    selection->AddSelectable(Kernel::Counted<Selectable>(a.Get()), false);
    selection->AddSelectable(Kernel::MakeCounted<Selectable>(), false);
    selection->AddSelectable({}, false);
    selection->AddSelectable(Kernel::Counted<Selectable>(static_cast<Node*>(b.Get())), false);
    auto nodes = SelectionNodes(*selection);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].Get(), a.Get());
    EXPECT_EQ(nodes[1].Get(), static_cast<Node*>(b.Get()));
    EXPECT_EQ(SelectionNodes(*selection).size(), 2u);
    EXPECT_TRUE(SelectionNodes(MutableSelection()).empty());
}

TEST_F(ContextMenuControllerTest, ShowingRemovesTaggedItemsWithTheItemAbove) {
    auto appController = New<AppController>();
    AppController::setRunningController(appController.get());
    auto document = Kernel::MakeCounted<DocumentController>("Doc");
    auto view = New<DocumentView>(document);
    appController->setCurrentView(view.get());
    auto vector = New<VectorWorkspace>();
    auto controller = New<MenuAnsweringController>();
    const struct {
        const char* name;
        uint32_t kind;
        bool vectorPersona;
        int product;
        bool advancedText;
        std::vector<std::string> titles;  // of the shown menu
        bool shown;
    } cases[] = {
        {"layout persona", 0, false, 9, true, {"A", "-", "Frame", "B", "-", "Field", "C", "D", "E"}, true},
        {"vector persona", 12, true, 9, true, {"A", "-", "Frame", "B", "-", "Field", "C", "D", "E", "-", "Symbol"}, true},
        {"product 1, plain text", 0, true, 1, false, {"A", "B", "C", "D", "E", "-", "Symbol"}, true},
        {"kind 9", 9, false, 9, true, {}, false},
        {"kind 13", 13, false, 9, true, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // A, -, Frame(42), B, -, Field(5), C, D, E, -, Symbol(102)
        auto menu = New<NSMenu>();
        auto add = [&](const char* title, NSInteger tag) {
            Ref<NSMenuItem> item = std::string(title) == "-" ? NSMenuItem::separatorItem() : New<NSMenuItem>();
            if (std::string(title) != "-") item->initWithTitle(NSString::from(title).get(), nullptr, nullptr);
            item->setTag(tag);
            menu->addItem(item.get());
        };
        add("A", 0), add("-", 0), add("Frame", 42), add("B", 0), add("-", 0), add("Field", 5), add("C", 0), add("D", 0),
            add("E", 0), add("-", 0), add("Symbol", 102);
        controller->answer = menu;
        appController->setCurrentWorkspaceQuietly(c.vectorPersona ? vector.get() : nullptr);
        Kestrane::Application::Current()->SetProduct(c.product);
        PersonaController::GetInstance()->m_allowAdvancedTextFeatures.Reset(c.advancedText);
        CallLog::Clear();
        controller->showContextMenu(ContextMenuRequest::WithKind(c.kind).get());
        if (c.shown) {
            std::vector<std::string> titles;
            for (auto& item : menu->itemArray()) titles.push_back(item->isSeparatorItem() ? "-" : item->title()->utf8());
            EXPECT_EQ(titles, c.titles);
            EXPECT_TRUE(LogContainsInOrder({"NSMenu::popUpMenuPositioningItem:atLocation:inView:(nil, {0, 0}, <DocumentView>)",
                                            "DocumentView::stopPanTimer()"}));
        } else {
            EXPECT_TRUE(CallLog::Entries().empty());
        }
    }
    // No menu: nothing is shown and the view is not touched.
    controller->answer = nullptr;
    CallLog::Clear();
    controller->showContextMenu(ContextMenuRequest::WithKind(0).get());
    EXPECT_TRUE(CallLog::Entries().empty());
}

TEST_F(ContextMenuControllerTest, TextItemActions) {
    auto appController = New<AppController>();
    AppController::setRunningController(appController.get());
    auto view = New<DocumentView>(Kernel::MakeCounted<DocumentController>("Doc"));
    view->setSelectedTextRect(NSMakeRange(3, 4), NSRect{{10, 20}, {30, 15}});
    view->setWindow(New<NSWindow>().get());
    appController->setCurrentView(view.get());
    auto controller = New<ContextMenuController>();
    CallLog::Clear();
    auto item = New<NSMenuItem>();
    item->initWithTitle(NSString::from("colour").get(), nullptr, nullptr);
    item->setRepresentedObject(NSString::from("colour").get());
    controller->doSpellingChange(item.get());
    controller->lookupWord(item.get());
    controller->openFieldEditor(nullptr);
    controller->convertTextToField(nullptr);
    controller->expandFields(nullptr);
    // In order; a first use of the shared framework objects may log their own creation before these.
    EXPECT_TRUE(LogContainsInOrder({
        "SpellingCommands::changeWord:findNext:(\"colour\", NO)",
        "DocumentView::showDefinitionForAttributedString:atPoint:(\"colour\", {10, 35})",
        "AppPanelManager::showFieldEditor",
        "AppPanelManager::showConvertTextToField",
        "PersonaController::EnqueueCommand(<ExpandFieldGlyphCommand null>, <document \"Doc\">, false)",
    }));
}

}  // namespace
