// Key dispatch and tool cycling: actions, cycle groups, the Shift rule, the tools with their own
// handling (2, 52, 126) and tool clicks.
#include <fstream>

#include "AppKit/NSSavePanel.h"
#include "ShortcutTestSupport.h"

namespace {

using P = ToolsKeyboardAcceleratorPopulator;

class TestPopulator : public P {
    QV_OBJECT(TestPopulator)
public:
    int ownActions = 0, visibleAsked = 0;
    void ownAction(NSObject* sender) {
        ++ownActions;
        lastSender = sender;
    }
    BOOL isMainWindowVisible() {
        ++visibleAsked;
        return YES;
    }
    NSObject* lastSender = nullptr;
};
QV_IMPLEMENT(TestPopulator, ToolsKeyboardAcceleratorPopulator) {
    c.method("ownAction:", &TestPopulator::ownAction);
    c.method("isMainWindowVisible", &TestPopulator::isMainWindowVisible);
}

class DispatchTest : public ShortcutTest {
protected:
    void SetUp() override {
        ShortcutTest::SetUp();
        p = New<TestPopulator>();
        p->registerKey_forToolID(S("m").get(), 7);
        p->registerKey_forToolID(S("m").get(), 8);
        p->registerKey_forToolID(S("m").get(), 9);
        p->registerKey_forToolID(S("i").get(), 146);
        p->registerKey_withAction_withTarget_andDescription(S("x").get(), QV_SELECTOR(toggleFillContext), View(),
                                                            S("Fill").get());
    }
    BOOL Press(const char* key, NSUInteger mask = 0) { return p->acceptKey_withModifierMask(S(key).get(), mask); }
    void SetShiftPreference(std::optional<bool> value) {
        if (value) NSUserDefaults::standardUserDefaults()->setBool(*value, kUseShiftCycleToolsKey);
        else NSUserDefaults::standardUserDefaults()->removeObjectForKey(kUseShiftCycleToolsKey);
    }
    Ref<TestPopulator> p;
};

TEST_F(DispatchTest, RepeatedPressesStepThroughTheGroupAndWrap) {
    OpenView({}, 8);
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CurrentTool(), 9);
    EXPECT_EQ(Stored(p.get(), "7,8,9,"), 2);
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CurrentTool(), 7);
    EXPECT_EQ(Stored(p.get(), "7,8,9,"), 0);
    EXPECT_TRUE(LogContainsInOrder({"Document::rememberCurrentToolIfNonEffectTool()", "DocumentView::setSuitableToolByID:(9)",
                                    "Document::rememberCurrentToolIfNonEffectTool()", "DocumentView::setSuitableToolByID:(7)"}));
}

TEST_F(DispatchTest, FromOutsideTheGroupTheRememberedToolIsSelected) {
    OpenView({}, 30);
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CurrentTool(), 7);
    EXPECT_EQ(Stored(p.get(), "7,8,9,"), 0);

    OpenView({}, 30);
    p->lastCycledDictionary()->setObject(NSNumber::numberWithInt(1).get(), S("7,8,9,").get());
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CurrentTool(), 8);
    // A variant of a group tool counts as that tool.
    Kestrane::SetGeneralToolIDForTesting(1008, 8);
    OpenView({}, 1008);
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CurrentTool(), 9);
}

TEST_F(DispatchTest, AGroupOfOneSelectsItsToolThenRevertsToTheRememberedOne) {
    OpenView({}, 30);
    EXPECT_TRUE(Press("i"));
    EXPECT_EQ(CurrentTool(), 146);
    EXPECT_EQ(p->lastCycledDictionary()->count(), 0u);
    CallLog::Clear();
    EXPECT_TRUE(Press("i"));
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"DocumentView::revertToRememberTool()"}));
    EXPECT_EQ(CurrentTool(), 30);
    EXPECT_EQ(p->lastCycledDictionary()->count(), 0u);
}

TEST_F(DispatchTest, TheShiftRuleFollowsThePreferenceInsideTheGroupOnly) {
    struct Case {
        std::optional<bool> preference;
        ToolID current;
        NSUInteger mask;
        bool used;
        ToolID after;
    } cases[] = {
        {std::nullopt, 8, kShift, false, 8}, {std::nullopt, 8, 0, true, 9},
        {false, 8, kShift, false, 8},        {false, 8, 0, true, 9},
        {true, 8, 0, false, 8},              {true, 8, kShift, true, 9},
        // Outside the group Shift is not looked at.
        {std::nullopt, 30, kShift, true, 7}, {true, 30, 0, true, 7},
        {true, 30, kShift, true, 7},         {false, 30, kShift, true, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.current) + " mask " + std::to_string(c.mask) + " preference " +
                     (c.preference ? std::to_string(*c.preference) : "absent"));
        SetShiftPreference(c.preference);
        p->lastCycledDictionary()->removeAllObjects();
        OpenView({}, c.current);
        EXPECT_EQ(Press("m", c.mask), c.used);
        EXPECT_EQ(CurrentTool(), c.after);
    }
}

TEST_F(DispatchTest, TheShiftFallbackTakesToolsOnlyAndNeverRunsActions) {
    OpenView({}, 30);
    CallLog::Clear();
    EXPECT_FALSE(Press("x", kShift));
    EXPECT_TRUE(LogStartingWith("ViewCommands::").empty());
    // Other modifiers are passed on unchanged, so Shift with Command finds no unshifted Command row.
    EXPECT_FALSE(Press("m", kShift | kCommand));
    EXPECT_FALSE(Press("q"));
    EXPECT_FALSE(Press("q", kShift));
}

TEST_F(DispatchTest, ActionsRunOnTheirTargetWithThePopulatorAsSender) {
    OpenView({}, 30);
    CallLog::Clear();
    EXPECT_TRUE(Press("x"));
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"ViewCommands::toggleFillContext(<TestPopulator>)"}));
}

TEST_F(DispatchTest, TheLastRegistrationOfAKeyDecides) {
    OpenView({}, 30);
    p->registerKey_withAction_withTarget_andDescription(S("m").get(), QV_SELECTOR(setFillNone), View(), S("None").get());
    CallLog::Clear();
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"ViewCommands::setFillNone(<TestPopulator>)"}));
    EXPECT_EQ(CurrentTool(), 30);

    p->registerKey_forToolID(S("x").get(), 31);
    CallLog::Clear();
    EXPECT_TRUE(Press("x"));
    EXPECT_TRUE(LogStartingWith("ViewCommands::").empty());
    EXPECT_EQ(CurrentTool(), 31);
    // The earlier action row is not a tool of the group.
    EXPECT_EQ(p->lastCycledDictionary()->count(), 0u);
}

TEST_F(DispatchTest, ANilTargetIsLookedForAlongTheResponderChain) {
    OpenView({}, 30);
    p->registerKey_withAction_withTarget_andDescription(S("o").get(), QV_SELECTOR(ownAction:), nullptr, S("Own").get());
    p->registerKey_withAction_withTarget_andDescription(S("w").get(), QV_SELECTOR(isMainWindowVisible), nullptr,
                                                        S("Visible").get());
    p->registerKey_withAction_withTarget_andDescription(S("n").get(), QV_SELECTOR(nobodyAnswersThis:), nullptr,
                                                        S("Nobody").get());
    EXPECT_TRUE(Press("o"));
    EXPECT_EQ(p->ownActions, 1);
    EXPECT_EQ(p->lastSender, p.get());
    // The application controller comes before the populator.
    CallLog::Clear();
    EXPECT_TRUE(Press("w"));
    EXPECT_EQ(p->visibleAsked, 0);
    EXPECT_TRUE(LogHas("AppController::isMainWindowVisible()"));
    EXPECT_FALSE(Press("n"));
}

TEST_F(DispatchTest, ATargetThatCannotRunTheActionOrAMissingActionGivesNo) {
    OpenView({}, 30);
    p->registerKey_withAction_withTarget_andDescription(S("s").get(), QV_SELECTOR(ownAction:), View(), S("Own").get());
    p->registerKey_withAction_withTarget_andDescription(S("e").get(), nullptr, Studio(), S("Empty").get());
    p->registerKey_withAction_withTarget_andDescription(S("f").get(), nullptr, nullptr, S("Empty").get());
    CallLog::Clear();
    EXPECT_FALSE(Press("s"));
    EXPECT_FALSE(Press("e"));
    EXPECT_FALSE(Press("f"));
    EXPECT_EQ(p->ownActions, 0);
    EXPECT_TRUE(CallLog::Entries().empty());
}

TEST_F(DispatchTest, TheEmptyKeyIsNeverPressed) {
    OpenView({}, 30);
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(SetFillTo50Grey), View(), S("Grey").get());
    p->registerKey_forToolID(S("k").get(), 40);
    p->deactivateKeyCodeForToolID(40);
    CallLog::Clear();
    EXPECT_FALSE(Press(""));
    EXPECT_FALSE(Press("", kShift));
    EXPECT_FALSE(p->acceptKey_withModifierMask(nullptr, 0));
    EXPECT_TRUE(CallLog::Entries().empty());
    EXPECT_EQ(CurrentTool(), 30);
}

TEST_F(DispatchTest, WithoutAViewToolKeysAreRefusedButActionsRun) {
    CallLog::Clear();
    EXPECT_FALSE(Press("m"));
    EXPECT_TRUE(Press("x"));
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"ViewCommands::toggleFillContext(<TestPopulator>)"}));
}

TEST_F(DispatchTest, WithoutACurrentToolNoGroupMemberIsCurrent) {
    OpenView({}, 8);
    m_view->setCurrentToolQuietly({});
    EXPECT_TRUE(Press("m", kShift));  // not in the group, so Shift is not looked at
    EXPECT_EQ(CurrentTool(), 7);
}

TEST_F(DispatchTest, ToolTwoBecomes145WhereArtboardsCannotBeAdded) {
    p->registerKey_forToolID(S("c").get(), 2);
    OpenView({}, 30);
    EXPECT_TRUE(Press("c"));
    EXPECT_EQ(CurrentTool(), 2);

    OpenView({}, 30);
    m_document->SetCanAddArtboards(false);
    EXPECT_TRUE(Press("c"));
    EXPECT_EQ(CurrentTool(), 145);
    CallLog::Clear();
    EXPECT_TRUE(Press("c"));
    EXPECT_TRUE(LogHas("DocumentView::revertToRememberTool()"));
    EXPECT_EQ(CurrentTool(), 30);

    // A view without a document cannot add artboards.
    m_view = New<DocumentView>();
    m_view->setCurrentToolQuietly(Kernel::MakeCounted<Tool>(30));
    m_controller->setCurrentView(m_view.get());
    EXPECT_TRUE(Press("c"));
    EXPECT_EQ(CurrentTool(), 145);
}

TEST_F(DispatchTest, ToolFiftyTwoIsTheDocumentsFillTool) {
    p->registerKey_forToolID(S("g").get(), 33);
    p->registerKey_forToolID(S("g").get(), 52);
    p->lastCycledDictionary()->setObject(NSNumber::numberWithInt(1).get(), S("33,52,").get());
    OpenView({}, 30);
    auto fill = Kernel::MakeCounted<FillTool>(52);
    m_document->AddTool(Kernel::MakeCounted<Tool>(5));
    m_document->AddTool(fill);
    CallLog::Clear();
    EXPECT_TRUE(Press("g"));
    EXPECT_EQ(m_view->currentTool().Get(), fill.Get());
    EXPECT_EQ(CallLog::Entries(), (std::vector<std::string>{"DocumentView::setCurrentTool:(<FillTool 52>)"}));
    EXPECT_EQ(Stored(p.get(), "33,52,"), 1);

    // No fill tool, or no document: the current tool stays.
    OpenView({}, 30);
    CallLog::Clear();
    EXPECT_TRUE(Press("g"));
    EXPECT_EQ(CurrentTool(), 30);
    EXPECT_TRUE(CallLog::Entries().empty());
    m_view = New<DocumentView>();
    m_view->setCurrentToolQuietly(Kernel::MakeCounted<Tool>(30));
    m_controller->setCurrentView(m_view.get());
    EXPECT_TRUE(Press("g"));
    EXPECT_EQ(CurrentTool(), 30);
}

// Ends the open panel's sheet as the user would: a path typed and Open pressed, or Cancel.
void EndOpenSheet(NSInteger response, const std::string& path) {
    if (response != NSModalResponseOK) {
        NSCancelSheet();
        return;
    }
    NSSetSheetText(path);
    // A path the panel refuses (no such file) leaves the sheet up; the user then cancels.
    if (!NSPressSheetButton("Open").empty()) NSCancelSheet();
}

class PlacePanelTest : public DispatchTest {
protected:
    void SetUp() override {
        DispatchTest::SetUp();
        p->registerKey_forToolID(S("l").get(), 126);
        OpenView({}, 30);
        m_place = Kernel::MakeCounted<PlaceTool>(126);
        m_document->AddTool(m_place);
        m_file = m_home + "/picture.png";
        std::ofstream(m_file) << "pixels";
    }
    Kernel::Counted<PlaceTool> m_place;
    std::string m_file;
};

TEST_F(PlacePanelTest, AChosenFileIsLoadedIntoThePlaceTool) {
    EXPECT_TRUE(Press("l"));
    EXPECT_EQ(CurrentTool(), 30);  // the sheet has only opened
    ASSERT_NE(NSOpenSheet(), nullptr);
    EXPECT_EQ(NSOpenSheet()->kind, "open");
    EXPECT_TRUE(LogContainsInOrder({"NSOpenPanel::setCanChooseFiles:(YES)", "NSOpenPanel::setCanChooseDirectories:(NO)",
                                    "NSOpenPanel::setAllowsMultipleSelection:(NO)"}));
    EXPECT_TRUE(LogHas("NSOpenPanelHelper::setPersonaAllowedFileTypes:withPlugins:(true)"));
    EXPECT_EQ(p->lastCycledDictionary()->count(), 0u);
    EndOpenSheet(NSModalResponseOK, m_file);
    EXPECT_EQ(m_view->currentTool().Get(), m_place.Get());
    ASSERT_NE(m_place->GetAssetDropper().GetObject(), nullptr);
    EXPECT_EQ(m_place->GetAssetDropper().GetObject()->GetDescription(true), "picture.png");
    EXPECT_TRUE(LogContainsInOrder({"AssetDropper::SetObject(<node picture.png>, null)",
                                    "DocumentView::setCurrentTool:(<PlaceTool 126>)"}));
}

TEST_F(PlacePanelTest, CancelNoNodeNoPlaceToolOrNoViewPlaceNothing) {
    const std::string empty = m_home + "/empty.png";
    std::ofstream(empty).flush();
    struct Case {
        const char* name;
        NSInteger response;
        std::string path;
        bool removePlaceTool, closeView;
    } cases[] = {
        {"cancel", NSModalResponseCancel, m_file, false, false},
        {"missing file", NSModalResponseOK, m_home + "/absent.png", false, false},
        {"empty file", NSModalResponseOK, empty, false, false},
        {"no place tool", NSModalResponseOK, m_file, true, false},
        {"no view", NSModalResponseOK, m_file, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenView({}, 30);
        if (!c.removePlaceTool) m_document->AddTool(m_place);
        EXPECT_TRUE(Press("l"));
        if (c.closeView) m_controller->setCurrentView(nullptr);
        CallLog::Clear();
        EndOpenSheet(c.response, c.path);
        EXPECT_TRUE(LogStartingWith("AssetDropper::").empty());
        EXPECT_TRUE(LogStartingWith("DocumentView::setCurrentTool:").empty());
        EXPECT_EQ(CurrentTool(), 30);
    }
}

TEST_F(DispatchTest, ToolClicksKeepTheCycleMemoryInStep) {
    p->registerKey_forToolID(S("u").get(), 9);  // tool 9's second key
    p->willAddToActivePersona();
    auto click = [](NSObject* object) {
        NSNotificationCenter::defaultCenter()->postNotification(
            NSNotification::notificationWithName(kToolClickedNotification, object).get());
    };
    click(NSNumber::numberWithInt(9).get());
    EXPECT_EQ(Stored(p.get(), "7,8,9,"), 2);
    EXPECT_EQ(Stored(p.get(), "9,"), -1);  // only the group of its first registration
    OpenView({}, 146);
    EXPECT_TRUE(Press("m"));
    EXPECT_EQ(CurrentTool(), 9);

    // A single tool's group is remembered too; unknown tools and objects that are not ids change nothing.
    click(NSNumber::numberWithInt(146).get());
    EXPECT_EQ(Stored(p.get(), "146,"), 0);
    const size_t before = p->lastCycledDictionary()->count();
    click(NSNumber::numberWithInt(500).get());
    click(S("7").get());
    click(nullptr);
    EXPECT_EQ(p->lastCycledDictionary()->count(), before);
    EXPECT_EQ(Stored(p.get(), "7,8,9,"), 2);

    // Once it leaves the active persona the populator no longer follows clicks.
    p->willRemoveFromActivePersona();
    click(NSNumber::numberWithInt(7).get());
    EXPECT_EQ(Stored(p.get(), "7,8,9,"), 2);
}

TEST_F(DispatchTest, APopulatorThatGoesStopsObservingClicks) {
    auto q = New<TestPopulator>();
    q->willAddToActivePersona();
    EXPECT_EQ(NSNotificationCenter::defaultCenter()->observationCount(q.get()), 1u);
    NSObject* gone = q.get();
    q = nullptr;
    EXPECT_EQ(NSNotificationCenter::defaultCenter()->observationCount(gone), 0u);
}

TEST_F(DispatchTest, GroupKeysSpellOutEveryMemberInOrder) {
    auto datas = p->datasWithKey_withModifier(S("m").get(), 0);
    EXPECT_EQ(Text(p->keyForDatas(datas.get()).get()), "7,8,9,");
    EXPECT_EQ(Text(p->keyForDatas(NSArray::array().get()).get()), "");
}

}  // namespace
