// What the personas' default keys do: cycle groups, their own actions, the Develop modes and
// view cycling.
#include <filesystem>
#include <fstream>

#include "DocSession/PersonaController.h"
#include "ShortcutTestSupport.h"
#include "UIFramework/Panels.h"
#include "app/DevelopWorkspace.h"
#include "app/LayoutWorkspace.h"
#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

namespace {

class ToolChangedObserver : public NSObject {
    QV_OBJECT(ToolChangedObserver)
public:
    std::vector<long> objects;
    void toolChanged(NSNotification* n) {
        auto* number = ObjectCast<NSNumber>(n->object());
        objects.push_back(number ? number->integerValue() : -1);
    }
};
QV_IMPLEMENT(ToolChangedObserver, NSObject) { c.method("toolChanged:", &ToolChangedObserver::toolChanged); }

class PersonaKeysTest : public ShortcutTest {
protected:
    // The tools that repeated presses of the key make current, from the given tool.
    std::vector<ToolID> Cycle(ToolsKeyboardAcceleratorPopulator* p, const char* key, ToolID from, int presses) {
        OpenView({}, from);
        std::vector<ToolID> seen;
        for (int i = 0; i < presses; ++i) {
            EXPECT_TRUE(p->acceptKey_withModifierMask(S(key).get(), 0));
            seen.push_back(CurrentTool());
        }
        return seen;
    }
};

TEST_F(PersonaKeysTest, LayoutCycleGroupsAndSharedCharacters) {
    auto p = New<LayoutToolsKeyboardAcceleratorPopulator>();
    EXPECT_EQ(Cycle(p.get(), "m", 1, 4), (std::vector<ToolID>{7, 8, 9, 7}));
    EXPECT_EQ(Cycle(p.get(), "t", 1, 4), (std::vector<ToolID>{122, 123, 231, 122}));
    EXPECT_EQ(Cycle(p.get(), "f", 1, 3), (std::vector<ToolID>{228, 229, 228}));
    struct Case {
        const char* key;
        NSUInteger mask;
        const char* entry;
    } cases[] = {
        {"k", kControl, "ViewCommands::doFindInLayerPage:(<LayoutToolsKeyboardAcceleratorPopulator>)"},
        {"k", kShift | kOption, "ViewCommands::setToDarkenBlendMode:(<LayoutToolsKeyboardAcceleratorPopulator>)"},
        {"t", kCommand, "StudioCommands::toggleCharacterPage(<LayoutToolsKeyboardAcceleratorPopulator>)"},
        {"`", kCommand, "ViewCommands::switchToNextView(<LayoutToolsKeyboardAcceleratorPopulator>)"},
    };
    for (const auto& c : cases) {
        CallLog::Clear();
        EXPECT_TRUE(p->acceptKey_withModifierMask(S(c.key).get(), c.mask));
        EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{c.entry});
    }
}

TEST_F(PersonaKeysTest, LayoutNextViewRowsStandTwiceAndAChangeReachesTheFirst) {
    auto p = New<LayoutToolsKeyboardAcceleratorPopulator>();
    auto titles = Titles(p->nonToolKeyEquivalentDatasWithActivatedOnly(YES).get());
    EXPECT_EQ(std::count(titles.begin(), titles.end(), "Switch to Next View"), 2);
    p->changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask(QV_SELECTOR(switchToNextView), View(), S("n").get(),
                                                                    kControl);
    auto at = [&](size_t order) { return static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(order - 1)); };
    EXPECT_EQ(Text(at(27)->key()), "n");
    EXPECT_EQ(Text(at(28)->key()), "`");
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("`").get(), kCommand));
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("n").get(), kControl));
    EXPECT_EQ(LogStartingWith("ViewCommands::switchToNextView").size(), 2u);
}

TEST_F(PersonaKeysTest, AResetGivesTheWorkspaceAFreshDefaultTable) {
    auto workspace = New<LayoutWorkspace>();
    auto* before = static_cast<ToolsKeyboardAcceleratorPopulator*>(workspace->keyboardAcceleratorController());
    ASSERT_TRUE(before);
    before->clearKeyCodes();
    Ref<NSObject> keep(before);
    workspace->resetMenusAndKeys();
    auto* after = static_cast<ToolsKeyboardAcceleratorPopulator*>(workspace->keyboardAcceleratorController());
    EXPECT_NE(after, before);
    EXPECT_EQ(after->shortcuts()->count(), 97u);
}

TEST_F(PersonaKeysTest, PixelToolsFollowTheTableTextSwitchAndKeepTheirOrder) {
    PersonaController::GetInstance()->m_allowTableText.Reset(true);
    auto on = New<RasterToolsKeyboardAcceleratorPopulator>();
    EXPECT_EQ(Cycle(on.get(), "t", 1, 4), (std::vector<ToolID>{122, 123, 231, 122}));
    EXPECT_EQ(Cycle(on.get(), "m", 1, 5), (std::vector<ToolID>{127, 128, 130, 129, 127}));
    EXPECT_EQ(Cycle(on.get(), "j", 1, 6), (std::vector<ToolID>{114, 113, 112, 83, 115, 114}));
    PersonaController::GetInstance()->m_allowTableText.Reset(false);
    auto off = New<RasterToolsKeyboardAcceleratorPopulator>();
    EXPECT_EQ(Cycle(off.get(), "t", 1, 3), (std::vector<ToolID>{122, 123, 122}));
    EXPECT_FALSE(off->keyForToolID(231));
    // "c" is the artboard tool, or 145 where artboards cannot be added.
    OpenView({}, 1);
    m_document->SetCanAddArtboards(false);
    EXPECT_TRUE(off->acceptKey_withModifierMask(S("c").get(), 0));
    EXPECT_EQ(CurrentTool(), 145);
}

TEST_F(PersonaKeysTest, PixelOwnActions) {
    auto p = New<RasterToolsKeyboardAcceleratorPopulator>();
    // Without a view both keys are used and do nothing.
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("q").get(), 0));
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("f").get(), 0));
    EXPECT_TRUE(CallLog::Entries().empty());
    EXPECT_TRUE(PersonaController::GetInstance()->QueuedCommands().empty());

    OpenView({}, 44);
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("q").get(), 0));
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("f").get(), 0));
    EXPECT_EQ(CallLog::Entries(),
              (std::vector<std::string>{
                  "PersonaController::EnqueueCommand(<ToggleEditSelectionAsLayerCommand>, <document \"Doc\">, false)",
                  "Kestrane::RasterBaseTarget::ToggleFrequencyLayer(<Tool 44>)"}));
    ASSERT_EQ(PersonaController::GetInstance()->QueuedDocuments().size(), 1u);
    EXPECT_EQ(PersonaController::GetInstance()->QueuedDocuments()[0].Get(), m_document.Get());
    // Shift with these keys finds no tool row to fall back on.
    CallLog::Clear();
    EXPECT_FALSE(p->acceptKey_withModifierMask(S("q").get(), kShift));
    EXPECT_FALSE(p->acceptKey_withModifierMask(S("f").get(), kShift));
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("x").get(), kShift));
    EXPECT_EQ(CallLog::Entries(),
              std::vector<std::string>{"ViewCommands::swapLineAndFill(<RasterToolsKeyboardAcceleratorPopulator>)"});
}

TEST_F(PersonaKeysTest, PixelEditSelectionTitleIsLookedUpInItsOwnContext) {
    const std::string bundle = NSBundle::mainBundle()->bundlePath();
    NSBundle::setMainBundlePath(m_home);
    const std::string dir = NSBundle::mainBundle()->resourcePath() + "/en.lproj";
    std::filesystem::create_directories(dir);
    std::ofstream(dir + "/Localizable.strings")
        << "\"Toggle Edit Selection As Layer [Toggle Edit Selection As Layer]\" = \"Auswahl als Ebene\";\n"
           "\"Toggle Frequency Layer [Accelerator key]\" = \"Frequenzebene\";\n";
    auto p = New<RasterToolsKeyboardAcceleratorPopulator>();
    NSBundle::setMainBundlePath(bundle);
    EXPECT_EQ(Text(p->keyForSelector(QV_SELECTOR(doEditSelectionAsLayer))->title()), "Auswahl als Ebene");
    EXPECT_EQ(Text(p->keyForSelector(QV_SELECTOR(toggleFrequencySep))->title()), "Frequenzebene");
}

TEST_F(PersonaKeysTest, VectorGroups) {
    PersonaController::GetInstance()->m_allowTableText.Reset(false);
    auto p = New<VectorToolsKeyboardAcceleratorPopulator>();
    EXPECT_EQ(Cycle(p.get(), "m", 1, 4), (std::vector<ToolID>{7, 8, 9, 7}));
    EXPECT_EQ(Cycle(p.get(), "t", 1, 3), (std::vector<ToolID>{122, 123, 122}));
    EXPECT_FALSE(p->keyForToolID(231));
    EXPECT_EQ(Cycle(p.get(), "h", 1, 1), (std::vector<ToolID>{0}));
}

class DevelopKeysTest : public PersonaKeysTest {
protected:
    void SetUp() override {
        PersonaKeysTest::SetUp();
        p = New<DevelopToolsKeyboardAcceleratorPopulator>();
        OpenView({0}, 102);
        develop = Kernel::MakeCounted<DevelopTool>(102);
        m_document->AddTool(develop);
    }
    Ref<DevelopToolsKeyboardAcceleratorPopulator> p;
    Kernel::Counted<DevelopTool> develop;
};

TEST_F(DevelopKeysTest, ToolKeysSetModesAndPostToolChanged) {
    struct Case {
        const char* key;
        int mode;
    } cases[] = {{"r", 2}, {"h", 0}, {"w", 8}, {"z", 1}, {"l", 3}, {"b", 4}, {"e", 5}, {"g", 6}, {"c", 7}, {"c", 7}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        CallLog::Clear();
        EXPECT_TRUE(p->acceptKey_withModifierMask(S(c.key).get(), 0));
        EXPECT_EQ(CallLog::Entries(),
                  (std::vector<std::string>{"DevelopTool::SetMode(" + std::to_string(c.mode) + ")",
                                            "NSNotificationCenter::postNotificationOnMainThread:(\"ToolChanged\", 102)"}));
        EXPECT_EQ(static_cast<int>(develop->GetMode()), c.mode);
        EXPECT_EQ(CurrentTool(), 102);
    }
    CallLog::Clear();
    EXPECT_FALSE(p->acceptKey_withModifierMask(S("r").get(), kShift));
    EXPECT_FALSE(p->acceptKey_withModifierMask(S("").get(), 0));
    EXPECT_TRUE(CallLog::Entries().empty());
}

TEST_F(DevelopKeysTest, WithoutTheDevelopToolOrAModeTheKeyOnlyPosts) {
    // A tool the user bound that has no mode.
    p->changeKeyCodeForToolID_toKeyCode_withModifierMask(500, S("k").get(), 0);
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("k").get(), 0));
    EXPECT_EQ(CallLog::Entries(),
              std::vector<std::string>{"NSNotificationCenter::postNotificationOnMainThread:(\"ToolChanged\", 102)"});
    for (bool noView : {false, true}) {
        if (noView) m_controller->setCurrentView(nullptr);
        else OpenView({0}, 102);
        CallLog::Clear();
        EXPECT_TRUE(p->acceptKey_withModifierMask(S("r").get(), 0));
        EXPECT_EQ(CallLog::Entries(),
                  std::vector<std::string>{"NSNotificationCenter::postNotificationOnMainThread:(\"ToolChanged\", 102)"});
    }
}

TEST_F(DevelopKeysTest, ToolChangedReachesItsObserversWithTheDevelopToolID) {
    auto observer = New<ToolChangedObserver>();
    NSNotificationCenter::defaultCenter()->addObserver(observer.get(), QV_SELECTOR(toolChanged:), "ToolChanged", nullptr);
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("r").get(), 0));
    EXPECT_EQ(observer->objects, std::vector<long>{102});
    NSNotificationCenter::defaultCenter()->removeObserver(observer.get());
}

TEST_F(DevelopKeysTest, CommaCyclesTheViewModes) {
    CallLog::Clear();
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(p->acceptKey_withModifierMask(S(",").get(), 0));
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"DocumentView::setSplitViewMode:customDesc1:(\"\", \"\")",
                                                            "DocumentView::setMirrorViewMode:customDesc1:(\"\", \"\")",
                                                            "DocumentView::setSingleViewMode()",
                                                            "DocumentView::setSplitViewMode:customDesc1:(\"\", \"\")"}));
    m_controller->setCurrentView(nullptr);
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S(",").get(), 0));
    EXPECT_TRUE(CallLog::Entries().empty());
}

TEST_F(DevelopKeysTest, ActionKeysAndTheLastMatchDecide) {
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("`").get(), kCommand));
    EXPECT_EQ(CallLog::Entries(),
              std::vector<std::string>{"ViewCommands::switchToNextView(<DevelopToolsKeyboardAcceleratorPopulator>)"});
    // The user binds "r" to an action after its mode row: the action answers.
    p->registerKey_withAction_withTarget_andDescription(S("r").get(), QV_SELECTOR(toggleSnapping), View(), S("S").get());
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S("r").get(), 0));
    EXPECT_EQ(CallLog::Entries(),
              std::vector<std::string>{"ViewCommands::toggleSnapping(<DevelopToolsKeyboardAcceleratorPopulator>)"});
    // And a mode key bound after an action row sets the mode.
    p->changeKeyCodeForToolID_toKeyCode_withModifierMask(105, S(";").get(), 0);
    p->clearKeyCodes();
    p->registerKey_withAction_withTarget_andDescription(S(";").get(), QV_SELECTOR(toggleSnapping), View(), S("S").get());
    p->registerKey_forToolID(S(";").get(), 105);
    CallLog::Clear();
    EXPECT_TRUE(p->acceptKey_withModifierMask(S(";").get(), 0));
    EXPECT_TRUE(LogHas("DevelopTool::SetMode(2)"));
    EXPECT_TRUE(LogStartingWith("ViewCommands::").empty());
}

}  // namespace
