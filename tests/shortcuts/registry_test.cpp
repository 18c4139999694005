// The shortcut registry: registration, lookup, the three lists, changes, clearing and clashes.
#include "ShortcutTestSupport.h"
#include "shortcuts/DevelopToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/LayoutToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/RasterToolsKeyboardAcceleratorPopulator.h"
#include "shortcuts/VectorToolsKeyboardAcceleratorPopulator.h"

namespace {

using P = ToolsKeyboardAcceleratorPopulator;

// Counts what reaches the two primitives, to see that every registration form ends in them.
class CountingPopulator : public P {
    QV_OBJECT(CountingPopulator)
public:
    int tools = 0, actions = 0;
    void addKey_withModifier_andDescription_forToolID(NSString* k, NSUInteger m, NSString* t, NSUInteger id) override {
        ++tools;
        P::addKey_withModifier_andDescription_forToolID(k, m, t, id);
    }
    void addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(NSString* k, NSUInteger m,
                                                                                        NSString* d, NSString* st,
                                                                                        SEL a, NSObject* t,
                                                                                        uint32_t c) override {
        ++actions;
        P::addKey_withModifier_andDescription_andSuperTitle_forAction_withTarget_category(k, m, d, st, a, t, c);
    }
};
QV_IMPLEMENT(CountingPopulator, ToolsKeyboardAcceleratorPopulator) {}

// Registers itself as the target of one of its shortcuts.
bool g_selfTargetGone = false;
class SelfTargetPopulator : public P {
    QV_OBJECT(SelfTargetPopulator)
public:
    ~SelfTargetPopulator() override { g_selfTargetGone = true; }
    void initialise() override {
        registerKey_withAction_withTarget_andDescription(S("q").get(), QV_SELECTOR(clearKeyCodes), this, S("Q").get());
    }
};
QV_IMPLEMENT(SelfTargetPopulator, ToolsKeyboardAcceleratorPopulator) {}

class RegistryTest : public ShortcutTest {};

TEST_F(RegistryTest, EveryRegistrationFormEndsInOnePrimitiveWithTheRightFields) {
    auto p = New<CountingPopulator>();
    NSObject* t = View();
    SEL a = QV_SELECTOR(toggleSnapping);
    p->registerKeyCodeForKey_forToolID(NSNumber::numberWithInt('v'), 1);
    p->registerKeyCodeForKey_withAction_withTarget_andDescription(NSNumber::numberWithInt('a'), a, t, S("A").get());
    p->registerKeyCodeForKey_withAction_withTarget_andDescription_andSuperTitle(NSNumber::numberWithInt('b'), a, t,
                                                                                S("B").get(), S("Super").get());
    p->registerKeyCodeForKey_withModifierMask_withAction_withTarget_andDescription(NSNumber::numberWithInt('c'), kShift,
                                                                                   a, t, S("C").get());
    p->registerKey_forToolID(S("d").get(), 4);
    p->registerKey_withModifierMask_forToolID(S("e").get(), kCommand, 5);
    p->registerKey_withModifierMask_forToolID_andDescription(S("f").get(), kOption, 6, S("Six").get());
    p->registerKey_withAction_withTarget_andDescription(S("g").get(), a, t, S("G").get());
    p->registerKey_withModifierMask_withAction_withTarget_andDescription(S("h").get(), kControl, a, t, S("H").get());
    p->registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle(S("i").get(), kShift, a, t,
                                                                                       S("I").get(), S("SI").get());
    p->registerKey_withModifierMask_withAction_withTarget_andDescription_andSuperTitle_category(
        S("j").get(), kShift | kOption, a, t, S("J").get(), nullptr, ShortcutCategory::Blend);
    p->registerSelector_withTarget_andDescription(a, t, S("K").get());
    p->registerSelector_withTarget_andDescription_category(a, t, S("L").get(), ShortcutCategory::Studio);
    p->registerSelector_withTarget_andDescription_andSuperTitle(a, nullptr, S("M").get(), S("SM").get());
    EXPECT_EQ(p->tools, 4);
    EXPECT_EQ(p->actions, 10);
    ASSERT_EQ(p->shortcuts()->count(), 14u);

    struct Row {
        const char* key;
        NSUInteger mask;
        const char* title;
        NSUInteger tool;
        bool action;
        const char* superTitle;
        uint32_t category;
        bool target;
    };
    const std::string tool4 = NSMakeString(GetToolIDDescription(4))->utf8();
    const std::string tool5 = NSMakeString(GetToolIDDescription(5))->utf8();
    const std::string tool1 = NSMakeString(GetToolIDDescription(1))->utf8();
    const Row want[] = {
        {"v", 0, tool1.c_str(), 1, false, nullptr, 0, false},
        {"a", 0, "A", kNoTool, true, nullptr, 0, true},
        {"b", 0, "B", kNoTool, true, "Super", 0, true},
        {"c", kShift, "C", kNoTool, true, nullptr, 0, true},
        {"d", 0, tool4.c_str(), 4, false, nullptr, 0, false},
        {"e", kCommand, tool5.c_str(), 5, false, nullptr, 0, false},
        {"f", kOption, "Six", 6, false, nullptr, 0, false},
        {"g", 0, "G", kNoTool, true, nullptr, 0, true},
        {"h", kControl, "H", kNoTool, true, nullptr, 0, true},
        {"i", kShift, "I", kNoTool, true, "SI", 0, true},
        {"j", kShift | kOption, "J", kNoTool, true, nullptr, ShortcutCategory::Blend, true},
        {"", 0, "K", kNoTool, true, nullptr, 0, true},
        {"", 0, "L", kNoTool, true, nullptr, ShortcutCategory::Studio, true},
        {"", 0, "M", kNoTool, true, "SM", 0, false},
    };
    for (size_t i = 0; i < std::size(want); ++i) {
        SCOPED_TRACE(i);
        auto* d = static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(i));
        EXPECT_EQ(Text(d->key()), want[i].key);
        EXPECT_EQ(d->modifierMask(), want[i].mask);
        EXPECT_EQ(Text(d->title()), want[i].title);
        EXPECT_EQ(d->associatedToolID(), want[i].tool);
        EXPECT_EQ(d->action(), want[i].action ? a : nullptr);
        EXPECT_EQ(d->superTitle() ? d->superTitle()->utf8() : std::string("<nil>"),
                  want[i].superTitle ? want[i].superTitle : "<nil>");
        EXPECT_EQ(d->categoryUID(), want[i].category);
        EXPECT_EQ(d->target(), want[i].target ? t : nullptr);
    }
}

TEST_F(RegistryTest, KeyCodesKeepTheirLowEightBits) {
    struct Case {
        long long code;
        const char* key;
    } cases[] = {{0x76, "v"}, {0x176, "v"}, {0x2C, ","}, {0xE9, "\xC3\xA9"}, {-0x8A, "v"}, {0x100, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        auto p = New<P>();
        p->registerKeyCodeForKey_forToolID(NSNumber::numberWithLongLong(c.code), 9);
        auto* d = static_cast<KeyEquivalentData*>(p->shortcuts()->firstObject());
        EXPECT_EQ(d->key()->length(), 1u);
        if (c.key) EXPECT_EQ(Text(d->key()), c.key);
        else EXPECT_EQ(d->key()->characterAtIndex(0), 0);
    }
}

TEST_F(RegistryTest, DuplicatesAreKeptAndLookupComparesTheExactMask) {
    auto p = New<P>();
    p->registerKey_forToolID(S("v").get(), 1);
    p->registerKey_forToolID(S("v").get(), 1);
    p->registerKey_withModifierMask_forToolID(S("v").get(), kShift, 2);
    p->registerKey_withModifierMask_forToolID(S("v").get(), kShift | kCommand, 3);
    EXPECT_EQ(ToolIDs(p->datasWithKey_withModifier(S("v").get(), 0).get()), (std::vector<NSUInteger>{1, 1}));
    EXPECT_EQ(ToolIDs(p->datasWithKey_withModifier(S("v").get(), kShift).get()), (std::vector<NSUInteger>{2}));
    EXPECT_EQ(ToolIDs(p->datasWithKey_withModifier(S("v").get(), kShift | kCommand).get()), (std::vector<NSUInteger>{3}));
    EXPECT_EQ(p->datasWithKey_withModifier(S("v").get(), kCommand)->count(), 0u);
    EXPECT_EQ(p->datasWithKey_withModifier(S("V").get(), 0)->count(), 0u);
    EXPECT_EQ(p->datasWithKey_withModifier(nullptr, 0)->count(), 0u);
}

TEST_F(RegistryTest, GPUAndDebugPagesFollowTheEngineAtRegistrationTime) {
    struct Case {
        const char* action;
        bool gpu, trace;
        size_t added;
    } cases[] = {
        {"toggleGPUPage", false, true, 0}, {"toggleGPUPage", true, false, 1},
        {"toggleDebugPage", true, false, 0}, {"toggleDebugPage", false, true, 1},
        {"toggleLayerPage", false, false, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        Kernel::Testing::SetGPUTelemetryEnabled(c.gpu);
        Kernel::Testing::SetTraceEnabled(c.trace);
        auto p = New<P>();
        p->registerSelector_withTarget_andDescription(sel_registerName(c.action), Studio(), S("Page").get());
        ASSERT_EQ(p->shortcuts()->count(), c.added);
        if (c.added) {
            auto* d = static_cast<KeyEquivalentData*>(p->shortcuts()->firstObject());
            EXPECT_EQ(Text(d->key()), "");
            EXPECT_EQ(d->modifierMask(), 0u);
            EXPECT_EQ(d->categoryUID(), 0u);
            EXPECT_EQ(d->superTitle(), nullptr);
        }
        // Keyed registrations are never filtered.
        p->registerKey_withAction_withTarget_andDescription(S("g").get(), sel_registerName(c.action), Studio(),
                                                            S("Page").get());
        EXPECT_EQ(p->shortcuts()->count(), c.added + 1);
    }
}

TEST_F(RegistryTest, ChangesReachTheFirstMatchOnlyAndUnknownToolsAreAppended) {
    auto p = New<P>();
    NSObject* view = View();
    SEL next = QV_SELECTOR(switchToNextView);
    p->registerKey_forToolID(S("a").get(), 7);
    p->registerKey_forToolID(S("b").get(), 7);
    p->registerKey_withModifierMask_withAction_withTarget_andDescription(S("`").get(), kCommand, next, view, S("N").get());
    p->registerKey_withModifierMask_withAction_withTarget_andDescription(S("`").get(), kCommand, next, view, S("N").get());

    EXPECT_EQ(p->keyForToolID(7).get(), p->shortcuts()->objectAtIndex(0));
    EXPECT_EQ(p->keyForSelector(next).get(), p->shortcuts()->objectAtIndex(2));
    EXPECT_FALSE(p->keyForToolID(8));
    EXPECT_FALSE(p->keyForSelector(QV_SELECTOR(toggleSnapping)));

    p->changeKeyCodeForToolID_toKeyCode_withModifierMask(7, S("c").get(), kShift);
    p->changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask(next, view, S("n").get(), kControl);
    auto at = [&](size_t i) { return static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(i)); };
    EXPECT_EQ(Text(at(0)->key()), "c");
    EXPECT_EQ(at(0)->modifierMask(), kShift);
    EXPECT_EQ(Text(at(1)->key()), "b");
    EXPECT_EQ(Text(at(2)->key()), "n");
    EXPECT_EQ(at(2)->modifierMask(), kControl);
    EXPECT_EQ(Text(at(3)->key()), "`");  // the second record still switches to the next view

    // Another target, or nil for a record with a target, matches nothing.
    auto other = New<ViewCommands>();
    p->changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask(next, other.get(), S("z").get(), 0);
    EXPECT_FALSE(p->deactivateKeyCodeForAction_withTarget(next, nullptr));
    EXPECT_FALSE(p->deactivateKeyCodeForAction_withTarget(QV_SELECTOR(toggleSnapping), view));
    EXPECT_EQ(p->shortcuts()->count(), 4u);
    EXPECT_EQ(Text(at(2)->key()), "n");
    EXPECT_TRUE(p->deactivateKeyCodeForAction_withTarget(next, view));
    EXPECT_EQ(Text(at(2)->key()), "");
    EXPECT_EQ(at(2)->modifierMask(), 0u);

    // Deactivated tools keep their place; an unknown tool is appended, titled by the engine.
    p->deactivateKeyCodeForToolID(7);
    p->deactivateKeyCodeForToolID(99);
    EXPECT_EQ(ToolIDs(p->toolKeyEquivalentDatas().get()), (std::vector<NSUInteger>{7, 7}));
    EXPECT_EQ(Text(at(0)->key()), "");
    EXPECT_EQ(Text(at(1)->key()), "b");
    p->changeKeyCodeForToolID_toKeyCode_withModifierMask(42, S("k").get(), kOption);
    ASSERT_EQ(p->shortcuts()->count(), 5u);
    EXPECT_EQ(at(4)->associatedToolID(), 42u);
    EXPECT_EQ(Text(at(4)->key()), "k");
    EXPECT_EQ(at(4)->modifierMask(), kOption);
    EXPECT_EQ(Text(at(4)->title()), NSMakeString(GetToolIDDescription(42))->utf8());
    // An action that was never registered is not added.
    p->changeKeyCodeForAction_withTarget_toKeyCode_withModifierMask(QV_SELECTOR(setFillNone), view, S("y").get(), 0);
    EXPECT_EQ(p->shortcuts()->count(), 5u);
}

TEST_F(RegistryTest, TheClashTestHasThreeExemptionsAndKeylessRecordsClashWithNothing) {
    auto p = New<P>();
    NSObject* view = View();
    p->registerKey_forToolID(S("m").get(), 7);                                                     // 0
    p->registerKey_forToolID(S("m").get(), 8);                                                     // 1
    p->registerKey_withModifierMask_forToolID(S("m").get(), kShift, 7);                            // 2
    p->registerKey_withAction_withTarget_andDescription(S("m").get(), QV_SELECTOR(setFillNone), view, S("F").get());  // 3
    p->registerKey_withAction_withTarget_andDescription(S("m").get(), QV_SELECTOR(toggleSnapping), nullptr, S("S").get());  // 4
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(SetFillTo50Grey), view, S("G").get());  // 5
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(cycleSnappingPlanes), view, S("P").get());  // 6
    auto at = [&](size_t i) { return static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(i)); };
    auto clashes = [&](KeyEquivalentData* proposal) {
        std::vector<size_t> found;
        Ref<NSArray> list = p->checkDuplicateFor(proposal);
        for (auto& o : list->items()) found.push_back(p->shortcuts()->indexOfObject(o.get()));
        return found;
    };
    // A record in the list: never itself, nor another record of its tool.
    EXPECT_EQ(clashes(at(0)), (std::vector<size_t>{1, 3, 4}));
    // An action record: not another record of the same selector, whatever its target.
    auto sameSelector = New<KeyEquivalentData>();
    sameSelector->setKey(S("m").get());
    sameSelector->setAction(QV_SELECTOR(setFillNone));
    sameSelector->setTarget(New<ViewCommands>().get());
    EXPECT_EQ(clashes(sameSelector.get()), (std::vector<size_t>{0, 1, 4}));
    // A new key for another tool reports the tools on that key and mask only.
    auto proposal = New<KeyEquivalentData>();
    proposal->setKey(S("m").get());
    proposal->setModifierMask(kShift);
    proposal->setAssociatedToolID(30);
    EXPECT_EQ(clashes(proposal.get()), (std::vector<size_t>{2}));
    // A cleared key clashes with nothing, not with every keyless record.
    EXPECT_TRUE(clashes(at(5)).empty());
    proposal->setKey(S("").get());
    proposal->setModifierMask(0);
    EXPECT_TRUE(clashes(proposal.get()).empty());
    EXPECT_TRUE(clashes(nullptr).empty());
}

TEST_F(RegistryTest, ListsFilterByKindTargetAndActivationAndAreCopies) {
    Kernel::Testing::SetGPUTelemetryEnabled(true);
    auto p = New<P>();
    NSObject* view = View();
    StudioCommands* studio = Studio();
    p->registerKey_forToolID(S("v").get(), 1);
    p->registerKey_withAction_withTarget_andDescription(S("x").get(), QV_SELECTOR(toggleFillContext), view, S("Fill").get());
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(SetFillTo50Grey), view, S("Grey").get());
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(insertHyperlink:), nullptr, S("Link").get());
    for (const char* page : {"toggleTransformPage", "toggleGPUPage", "toggle32BitPreviewPage", "toggleAssetPage",
                             "toggleBooksPage", "toggleLayerPage"}) {
        std::string title = std::string(page).substr(6);
        title = title.substr(0, title.size() - 4);
        p->registerSelector_withTarget_andDescription_category(sel_registerName(page), studio, S(title).get(),
                                                               ShortcutCategory::Studio);
    }
    p->registerKey_withModifierMask_withAction_withTarget_andDescription(S("t").get(), kCommand,
                                                                         QV_SELECTOR(toggleCharacterPage), studio,
                                                                         S("Character").get());
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(notAPageToggle), studio, S("Nothing").get());
    studio->setRejectedSelectorsForTesting({QV_SELECTOR(toggleBooksPage)});

    EXPECT_EQ(ToolIDs(p->toolKeyEquivalentDatas().get()), (std::vector<NSUInteger>{1}));
    EXPECT_EQ(Titles(p->nonToolKeyEquivalentDatasWithActivatedOnly(NO).get()),
              (std::vector<std::string>{"Fill", "Grey", "Link"}));
    EXPECT_EQ(Titles(p->nonToolKeyEquivalentDatasWithActivatedOnly(YES).get()), (std::vector<std::string>{"Fill"}));
    EXPECT_EQ(Titles(p->studioKeyEquivalentDatasWithActivatedOnly(NO).get()),
              (std::vector<std::string>{"32BitPreview", "Asset", "Character", "GPU", "Layer", "Transform"}));
    EXPECT_EQ(Titles(p->studioKeyEquivalentDatasWithActivatedOnly(YES).get()), (std::vector<std::string>{"Character"}));

    Ref<NSArray> before = p->toolKeyEquivalentDatas();
    p->registerKey_forToolID(S("w").get(), 2);
    EXPECT_EQ(before->count(), 1u);
    // The studio list compares with the studio-commands object of the moment.
    CommandControllerManager::GetInstance()->setStudioCommandsForTesting(New<StudioCommands>().get());
    EXPECT_EQ(p->studioKeyEquivalentDatasWithActivatedOnly(NO)->count(), 0u);
    EXPECT_EQ(p->nonToolKeyEquivalentDatasWithActivatedOnly(NO)->count(), 11u);
}

TEST_F(RegistryTest, StudioListSortsNumbersByValueAndLettersWithoutCase) {
    auto p = New<P>();
    for (const char* title : {"page 10", "Page 9", "brushes", "Assets", "32-bit Preview", "Page 09"})
        p->registerSelector_withTarget_andDescription(QV_SELECTOR(toggleLayerPage), Studio(), S(title).get());
    EXPECT_EQ(Titles(p->studioKeyEquivalentDatasWithActivatedOnly(NO).get()),
              (std::vector<std::string>{"32-bit Preview", "Assets", "brushes", "Page 09", "Page 9", "page 10"}));
}

TEST_F(RegistryTest, ClearingEmptiesTheListButKeepsCycleMemory) {
    auto p = New<P>();
    p->registerKey_forToolID(S("m").get(), 7);
    p->registerKey_forToolID(S("m").get(), 8);
    p->registerSelector_withTarget_andDescription(QV_SELECTOR(SetFillTo50Grey), View(), S("Grey").get());
    p->lastCycledDictionary()->setObject(NSNumber::numberWithInt(1).get(), S("7,8,").get());
    p->clearKeyCodes();
    EXPECT_EQ(p->shortcuts()->count(), 0u);
    EXPECT_FALSE(p->keyForToolID(7));
    EXPECT_FALSE(p->keyForSelector(QV_SELECTOR(SetFillTo50Grey)));
    EXPECT_EQ(p->datasWithKey_withModifier(S("m").get(), 0)->count(), 0u);
    EXPECT_EQ(p->toolKeyEquivalentDatas()->count(), 0u);
    EXPECT_EQ(p->nonToolKeyEquivalentDatasWithActivatedOnly(NO)->count(), 0u);
    EXPECT_EQ(p->studioKeyEquivalentDatasWithActivatedOnly(NO)->count(), 0u);
    EXPECT_EQ(Stored(p.get(), "7,8,"), 1);
}

TEST_F(RegistryTest, AShortcutTargetingItsPopulatorDoesNotKeepItAlive) {
    g_selfTargetGone = false;
    {
        auto p = New<SelfTargetPopulator>();
        ASSERT_EQ(p->shortcuts()->count(), 1u);
        EXPECT_EQ(static_cast<KeyEquivalentData*>(p->shortcuts()->firstObject())->target(), p.get());
        EXPECT_EQ(p->retainCount(), 1);
    }
    EXPECT_TRUE(g_selfTargetGone);
}

// The framework reaches a populator only through the ToolsKeyboardAcceleratorDelegate protocol,
// by selector: every persona's populator answers all fourteen, and each does its work when sent.
TEST_F(RegistryTest, EveryProtocolMethodIsReachedByItsSelector) {
    const char* const protocol[] = {"acceptKey:withModifierMask:",
                                    "registerKey:withModifierMask:forToolID:",
                                    "registerKey:withModifierMask:forToolID:andDescription:",
                                    "registerSelector:withTarget:andDescription:",
                                    "keyForToolID:",
                                    "keyForSelector:",
                                    "toolKeyEquivalentDatas",
                                    "nonToolKeyEquivalentDatasWithActivatedOnly:",
                                    "studioKeyEquivalentDatasWithActivatedOnly:",
                                    "checkDuplicateFor:",
                                    "deactivateKeyCodeForToolID:",
                                    "changeKeyCodeForToolID:toKeyCode:withModifierMask:",
                                    "deactivateKeyCodeForAction:withTarget:",
                                    "changeKeyCodeForAction:withTarget:toKeyCode:withModifierMask:"};
    const Ref<P> populators[] = {New<P>(), New<LayoutToolsKeyboardAcceleratorPopulator>(),
                                 New<VectorToolsKeyboardAcceleratorPopulator>(),
                                 New<RasterToolsKeyboardAcceleratorPopulator>(),
                                 New<DevelopToolsKeyboardAcceleratorPopulator>()};
    for (const auto& populator : populators)
        for (const char* sel : protocol)
            EXPECT_TRUE(populator->respondsToSelector(sel_registerName(sel))) << populator->description() << " " << sel;

    // Sent one after another to an empty registry, as the framework sends them.
    auto p = New<P>();
    NSObject* view = View();
    const SEL snap = QV_SELECTOR(toggleSnapping);
    auto n = [](NSUInteger v) { return NSNumber::numberWithUnsignedLongLong(v); };
    auto send = [&](const char* sel, std::initializer_list<NSObject*> args) -> id {
        SEL s = sel_registerName(sel);
        if (args.size() == 0) return p->performSelector(s);
        if (args.size() == 1) return p->performSelector(s, *args.begin());
        if (args.size() == 2) return p->performSelector(s, args.begin()[0], args.begin()[1]);
        return p->performSelectorWithArguments(s, args);
    };
    auto at = [&](size_t i) { return static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(i)); };
    auto titles = [](const id& list) { return Titles(ObjectCast<NSArray>(list.get())); };

    send("registerKey:withModifierMask:forToolID:", {S("e").get(), n(kCommand), n(5)});
    send("registerKey:withModifierMask:forToolID:andDescription:", {S("f").get(), n(kOption), n(6), S("Six").get()});
    send("registerSelector:withTarget:andDescription:", {BoxSelector(snap).get(), view, S("Snap").get()});
    send("registerSelector:withTarget:andDescription:", {BoxSelector(QV_SELECTOR(toggleLayerPage)).get(), Studio(),
                                                         S("Layers").get()});
    ASSERT_EQ(p->shortcuts()->count(), 4u);
    EXPECT_EQ(Text(at(0)->key()), "e");
    EXPECT_EQ(at(0)->modifierMask(), kCommand);
    EXPECT_EQ(at(0)->associatedToolID(), 5u);
    EXPECT_EQ(Text(at(0)->title()), NSMakeString(GetToolIDDescription(5))->utf8());
    EXPECT_EQ(Text(at(1)->key()), "f");
    EXPECT_EQ(at(1)->modifierMask(), kOption);
    EXPECT_EQ(at(1)->associatedToolID(), 6u);
    EXPECT_EQ(Text(at(1)->title()), "Six");
    EXPECT_EQ(at(2)->action(), snap);
    EXPECT_EQ(at(2)->target(), view);
    EXPECT_EQ(Text(at(2)->key()), "");

    EXPECT_EQ(send("keyForToolID:", {n(6)}).get(), at(1));
    EXPECT_EQ(send("keyForSelector:", {BoxSelector(snap).get()}).get(), at(2));
    EXPECT_EQ(send("keyForSelector:", {BoxSelector(QV_SELECTOR(setFillNone)).get()}).get(), nullptr);
    EXPECT_EQ(ToolIDs(ObjectCast<NSArray>(send("toolKeyEquivalentDatas", {}).get())), (std::vector<NSUInteger>{5, 6}));
    EXPECT_EQ(titles(send("nonToolKeyEquivalentDatasWithActivatedOnly:", {BoxBool(NO).get()})),
              std::vector<std::string>{"Snap"});
    EXPECT_EQ(titles(send("studioKeyEquivalentDatasWithActivatedOnly:", {BoxBool(NO).get()})),
              std::vector<std::string>{"Layers"});
    auto proposal = New<KeyEquivalentData>();
    proposal->setKey(S("e").get());
    proposal->setModifierMask(kCommand);
    proposal->setAssociatedToolID(9);
    EXPECT_EQ(titles(send("checkDuplicateFor:", {proposal.get()})), std::vector<std::string>{at(0)->title()->utf8()});

    send("changeKeyCodeForToolID:toKeyCode:withModifierMask:", {n(6), S("g").get(), n(kShift)});
    EXPECT_EQ(Text(at(1)->key()), "g");
    EXPECT_EQ(at(1)->modifierMask(), kShift);
    send("deactivateKeyCodeForToolID:", {n(5)});
    EXPECT_EQ(Text(at(0)->key()), "");
    EXPECT_EQ(at(0)->modifierMask(), 0u);

    send("changeKeyCodeForAction:withTarget:toKeyCode:withModifierMask:",
         {BoxSelector(snap).get(), view, S(";").get(), n(0)});
    EXPECT_EQ(Text(at(2)->key()), ";");
    EXPECT_TRUE(UnboxBool(send("acceptKey:withModifierMask:", {S(";").get(), n(0)}).get()));
    EXPECT_TRUE(LogHas("ViewCommands::toggleSnapping(<ToolsKeyboardAcceleratorPopulator>)"));
    EXPECT_TRUE(UnboxBool(send("deactivateKeyCodeForAction:withTarget:", {BoxSelector(snap).get(), view}).get()));
    EXPECT_EQ(Text(at(2)->key()), "");
    EXPECT_FALSE(UnboxBool(send("deactivateKeyCodeForAction:withTarget:", {BoxSelector(snap).get(), Studio()}).get()));
    EXPECT_FALSE(UnboxBool(send("acceptKey:withModifierMask:", {S(";").get(), n(0)}).get()));

    // A send with another count of arguments than the method's reaches nothing.
    EXPECT_EQ(p->performSelectorWithArguments(QV_SELECTOR(changeKeyCodeForToolID:toKeyCode:withModifierMask:),
                                              {n(6).get(), S("h").get(), n(0).get(), n(0).get()}),
              nullptr);
    EXPECT_EQ(Text(at(1)->key()), "g");
    EXPECT_EQ(p->shortcuts()->count(), 4u);
}

TEST_F(RegistryTest, RecordsStartAsNeitherKind) {
    auto d = New<KeyEquivalentData>();
    EXPECT_EQ(d->associatedToolID(), kNoTool);
    EXPECT_EQ(d->action(), nullptr);
    EXPECT_FALSE(d->hasValidKey());
    auto e = New<KeyEquivalentData>();
    d->setKey(S("a").get());
    e->setKey(S("a").get());
    EXPECT_TRUE(d->isEqualToKey(e.get()));
    e->setModifierMask(kShift);
    EXPECT_FALSE(d->isEqualToKey(e.get()));
}

}  // namespace
