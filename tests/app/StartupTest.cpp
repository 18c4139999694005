// The start-up chain of the interactive application, run in-process as the headless main loop does.
#include "AppTestSupport.h"
#include "DocSession/Hacks.h"
#include "DocSession/PersonaController.h"
#include "app/DevelopWorkspace.h"
#include "app/LayoutWorkspace.h"
#include "app/QuirevaleApp.h"
#include "app/QuirevaleAppController.h"
#include "app/RasterWorkspace.h"
#include "app/VectorWorkspace.h"

namespace {

Ref<QuirevaleApp> Launch() {
    ClassInfo* cls = NSClassFromString(NSBundle::mainBundle()->objectForInfoDictionaryKey("NSPrincipalClass")->utf8());
    EXPECT_NE(cls, nullptr);
    NSObject* app = cls->alloc()->init();
    auto result = Ref<QuirevaleApp>::adopt(ObjectCast<QuirevaleApp>(app));
    NSApp = result.get();
    result->finishLaunching();
    return result;
}

class StartupTest : public AppShellTest {};

TEST_F(StartupTest, ChainRunsInOrderWithTheSwitchesOfTheProduct) {
    auto app = Launch();
    EXPECT_EQ(app->product(), 9);
    EXPECT_TRUE(Kernel::Hacks::GetInstance()->GetQuirevaleHack());
    EXPECT_TRUE(LogContainsInOrder({
        "Application::initForProduct:(9)",
        "AppController::init(QuirevaleAppController)",
        "Kernel::Hacks::SetQuirevaleHack(true)",
        // No controller is reachable yet: forwarded switches get NO, table text YES.
        "PersonaController::SetShouldGenerateHistograms(false)",
        "PersonaController::m_canCreatePathText = false",
        "PersonaController::m_canCreateTextColumns = false",
        "PersonaController::m_allowTableText = true",
        "PersonaController::m_allowAdvancedTextFeatures = true",
        "PersonaController::m_allowTextRuler = false",
        "PersonaController::m_allowTextFramePanel = false",
        "PersonaController::m_allowPictureFrames = true",
        "PersonaController::m_preferPixelSelections = false",
        "PersonaController::SetHistorySnapshotsSupported(false)",
        "PersonaController::m_fixedOnSwitch1 = true",
        "PersonaController::m_fixedOnSwitch2 = true",
        "PersonaController::m_fixedOnSwitch3 = true",
        "PersonaController::m_supportsCapsLockToolCursors = true",
        "PersonaController::m_prefersCollectedDuplicateNodes = false",
        "PersonaController::SetDefaultViewModel(1)",
        "PersonaController::SetSupportsAutoUpdateLinkedResources(true)",
        "PersonaController::SetSupportsResourceManager(true)",
        "PersonaController::SetShowWordCount(false)",
        "PersonaController::m_fixedOnSwitch4 = true",
        "AppController::initialise()",
        "NSUserDefaults::setInteger:forKey:(48, \"DocumentDefaultSize\")",
        "WorkspaceInfo::initWithID:name:menu:tool:('layo', \"Layout\", \"MainMenuLayout\", 1)",
        "WorkspaceInfo::initWithID:name:menu:tool:('vect', \"Draw\", \"MainMenuVector\", 1)",
        "WorkspaceInfo::initWithID:name:menu:tool:('rast', \"Tavik\", \"MainMenuRaster\", 1)",
        "WorkspaceInfo::initWithID:name:menu:tool:('deve', \"Develop\", \"MainMenuDevelop\", 102)",
        "NSBundle::loadNibNamed:owner:topLevelObjects:(\"MainMenuLayout\", <QuirevaleApp>)",
        "AppController::applicationDidFinishLaunching()",
    }));
    // Twenty writes to the persona controller, no more.
    EXPECT_EQ(LogStartingWith("PersonaController::").size(), 20u);

    AppController* controller = app->appController();
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(AppController::controller(), controller);
    NSArray* workspaces = controller->workspaces();
    ASSERT_EQ(workspaces->count(), 4u);
    EXPECT_NE(ObjectCast<LayoutWorkspace>(workspaces->objectAtIndex(0)), nullptr);
    EXPECT_NE(ObjectCast<VectorWorkspace>(workspaces->objectAtIndex(1)), nullptr);
    auto* raster = ObjectCast<RasterWorkspace>(workspaces->objectAtIndex(2));
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(raster->startToolID(), 1);
    EXPECT_NE(ObjectCast<DevelopWorkspace>(workspaces->objectAtIndex(3)), nullptr);
    // The default persona is started with its main menu, whose persona items reach the command target.
    EXPECT_EQ(controller->currentWorkspace(), workspaces->objectAtIndex(0));
    ASSERT_NE(app->mainMenu(), nullptr);
    NSMenuItem* tavik = app->mainMenu()->findItemWithAction(QV_SELECTOR(tavikPersona:));
    ASSERT_NE(tavik, nullptr);
    ASSERT_NE(tavik->target(), nullptr);
    EXPECT_EQ(tavik->target()->classInfo().name(), "CommonSharedCommandController");
    app->terminate();
}

TEST_F(StartupTest, DocumentDefaultSizeFollowsTheCountryAtEveryLaunch) {
    const struct {
        std::optional<std::string> country;  // "" means the locale has no country
        NSInteger expected;
    } cases[] = {{"US", 48}, {"GB", 41}, {"us", 41}, {"", 41}, {"USA", 41}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.country.value_or("(none)"));
        NSUserDefaults::standardUserDefaults()->setInteger(12, "DocumentDefaultSize");
        NSLocale::SetCountryCodeOverride(c.country);
        auto controller = New<QuirevaleAppController>();
        controller->initialise();
        EXPECT_EQ(NSUserDefaults::standardUserDefaults()->integerForKey("DocumentDefaultSize"), c.expected);
    }
}

TEST_F(StartupTest, ShowWordCountFollowsTheStoredPreference) {
    const struct {
        int stored;  // -1: absent
        bool expected;
    } cases[] = {{-1, false}, {1, true}, {0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        auto* defaults = NSUserDefaults::standardUserDefaults();
        if (c.stored < 0) defaults->removeObjectForKey("com.tolvaware.Preferences.ShowWordCounts");
        else defaults->setBool(c.stored == 1, "com.tolvaware.Preferences.ShowWordCounts");
        CallLog::Clear();
        auto app = New<QuirevaleApp>();
        app->initPersonaController();
        EXPECT_EQ(PersonaController::GetInstance()->GetShowWordCount(), c.expected);
        EXPECT_TRUE(LogHas(std::string("PersonaController::SetShowWordCount(") + (c.expected ? "true" : "false") + ")"));
    }
}

}  // namespace
