// The Develop persona's menu controller, as its menu resource connects it: the framework decides
// whether each of its items can be chosen, and the assistant options item opens its panel.
#include "menu_test_support.h"
#include "menus/MenuBarDevelopController.h"

namespace {

class DevelopMenuControllerTest : public MenuTest {
protected:
    Ref<NSArray> LoadDevelopMenu() {
        std::ifstream in(std::string(QV_SOURCE_DIR) + "/resources/MainMenuDevelop.nib");
        std::stringstream text;
        text << in.rdbuf();
        Ref<NSArray> objects;
        EXPECT_TRUE(LoadNibFromText(text.str(), "MainMenuDevelop.nib", m_app.get(), &objects));
        return objects;
    }
};

TEST_F(DevelopMenuControllerTest, ValidationIsTheFrameworksAnswerWhateverTheViewAndItem) {
    Ref<NSArray> objects = LoadDevelopMenu();
    ASSERT_TRUE(m_app->mainMenu());
    NSMenuItem* options = m_app->mainMenu()->findItemWithAction(QV_SELECTOR(doAssistantOptions:));
    ASSERT_TRUE(options);
    auto* controller = ObjectCast<MenuBarDevelopController>(options->target());
    ASSERT_TRUE(controller);

    auto document = Kernel::MakeCounted<DocumentController>("Raw");
    auto view = New<DocumentView>(document);
    view->setCanEnqueueCommands(NO);
    // Items of other actions, as a menu might send them to this controller too.
    auto other = New<NSMenuItem>();
    other->initWithTitle(NSString::from("Gaussian Blur").get(), QV_SELECTOR(gaussianBlur:), NSString::from("").get());
    struct Case {
        const char* name;
        BOOL framework;
        DocumentView* current;
        NSMenuItem* item;
    } cases[] = {
        {"enabled, no view", YES, nullptr, options},
        {"disabled, no view", NO, nullptr, options},
        {"enabled with a view that cannot enqueue", YES, view.get(), options},
        {"disabled with a view", NO, view.get(), options},
        {"another action, enabled", YES, view.get(), other.get()},
        {"another action, disabled", NO, nullptr, other.get()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MenuBarController::StandInValidateAnswer() = c.framework;
        m_appController->setCurrentView(c.current);
        c.item->setHidden(NO);
        c.item->setState(-1);
        CallLog::Clear();
        EXPECT_EQ(controller->performBoolSelector(QV_SELECTOR(validateMenuItem:), c.item), c.framework);
        // Nothing else is asked or changed.
        EXPECT_TRUE(CallLog::Entries().empty());
        EXPECT_FALSE(c.item->isHidden());
        EXPECT_EQ(c.item->state(), -1);
    }

    // Chosen from the menu: opened only when the framework allows it, with or without a view.
    for (BOOL framework : {YES, NO}) {
        SCOPED_TRACE(framework ? "allowed" : "refused");
        MenuBarController::StandInValidateAnswer() = framework;
        m_appController->setCurrentView(nullptr);
        CallLog::Clear();
        const std::string refused = m_app->chooseMenuItem(options);
        EXPECT_EQ(refused.empty(), framework) << refused;
        EXPECT_EQ(CallLog::Entries(), framework ? std::vector<std::string>{"AppPanelManager::showDevelopAssistantOptionsPanel"}
                                                : std::vector<std::string>{});
    }
}

}  // namespace
