// The common view rows and the blend-mode block, against tables written from their definition.
#include "ShortcutTestSupport.h"
#include "UIFramework/Panels.h"
#include "shortcuts/CommonShortcutRows.h"

namespace {

using P = ToolsKeyboardAcceleratorPopulator;
enum Target { ViewT, StudioT };
constexpr uint32_t kStud = 0x73747564, kBlen = 0x626C656E;
const std::string kF15 = "\xEF\x9C\x92", kF16 = "\xEF\x9C\x93";  // U+F712, U+F713

struct Expected {
    std::string key;
    NSUInteger mask;
    std::string title;
    const char* action;
    Target target;
    uint32_t category;
};

void ExpectRows(P* p, size_t from, const std::vector<Expected>& want) {
    ASSERT_GE(p->shortcuts()->count(), from + want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE("row " + std::to_string(i + 1) + " " + want[i].title);
        auto* d = static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(from + i));
        EXPECT_EQ(Text(d->key()), want[i].key);
        EXPECT_EQ(d->modifierMask(), want[i].mask);
        EXPECT_EQ(Text(d->title()), want[i].title);
        EXPECT_STREQ(sel_getName(d->action()), want[i].action);
        NSObject* target = want[i].target == ViewT ? static_cast<NSObject*>(CommandControllerManager::GetInstance()->viewCommands())
                                                   : CommandControllerManager::GetInstance()->studioCommands();
        EXPECT_EQ(d->target(), target);
        EXPECT_EQ(d->categoryUID(), want[i].category);
        EXPECT_EQ(d->superTitle(), nullptr);
        EXPECT_EQ(d->associatedToolID(), kNoTool);
    }
}

std::vector<Expected> CommonRows(uint32_t pageCategory) {
    return {
        {"x", 0, "Toggle Fill Context", "toggleFillContext", ViewT, 0},
        {"x", kShift, "Swap Line and Fill", "swapLineAndFill", ViewT, 0},
        {"/", 0, "Set Fill None", "setFillNone", ViewT, 0},
        {";", 0, "Toggle Snapping", "toggleSnapping", ViewT, 0},
        {"'", 0, "Cycle Snapping Planes", "cycleSnappingPlanes", ViewT, 0},
        {kF15, 0, "Zoom In", "zoomInDefault:", ViewT, 0},
        {kF16, 0, "Zoom Out", "zoomOutDefault:", ViewT, 0},
        {"d", 0, "Set Fill to Black and White", "setFillContextToBlackAndWhite", ViewT, 0},
        {"", 0, "Set Fill to 50% Grey", "SetFillTo50Grey", ViewT, 0},
        {"`", kCommand, "Switch to Next View", "switchToNextView", ViewT, 0},
        {"`", kCommand | kShift, "Switch to Previous View", "switchToPreviousView", ViewT, 0},
        {"t", kCommand, "Character", "toggleCharacterPage", StudioT, pageCategory},
        {"t", kCommand | kShift, "Typography", "toggleTypographyPage", StudioT, pageCategory},
    };
}

std::string Mode(int mode) {
    return NSMakeString(Kestrane::UIRendererFillBlendModes::GetText(static_cast<Renderer::FillBlendMode::BlendMode>(mode)))
        ->utf8();
}

std::vector<Expected> BlendRows() {
    const NSUInteger so = kShift | kOption;
    return {
        {"=", kShift, "Next Blend Mode", "setToNextBlendMode:", ViewT, kBlen},
        {"-", kShift, "Previous Blend Mode", "setToPreviousBlendMode:", ViewT, kBlen},
        {"n", so, Mode(0), "setToNormalBlendMode:", ViewT, kBlen},
        {"k", so, Mode(1), "setToDarkenBlendMode:", ViewT, kBlen},
        {"m", so, Mode(3), "setToMultiplyBlendMode:", ViewT, kBlen},
        {"b", so, Mode(4), "setToColourBurnBlendMode:", ViewT, kBlen},
        {"a", so, Mode(5), "setToLinearBurnBlendMode:", ViewT, kBlen},
        {"", 0, Mode(2), "setToDarkerColorBlendMode:", ViewT, kBlen},
        {"g", so, Mode(6), "setToLightenBlendMode:", ViewT, kBlen},
        {"s", so, Mode(8), "setToScreenBlendMode:", ViewT, kBlen},
        {"d", so, Mode(9), "setToColourDodgeBlendMode:", ViewT, kBlen},
        {"w", so, Mode(10), "setToAddBlendMode:", ViewT, kBlen},
        {"", 0, Mode(7), "setToLighterColorBlendMode:", ViewT, kBlen},
        {"o", so, Mode(11), "setToOverlayBlendMode:", ViewT, kBlen},
        {"f", so, Mode(12), "setToSoftLightBlendMode:", ViewT, kBlen},
        {"h", so, Mode(13), "setToHardLightBlendMode:", ViewT, kBlen},
        {"v", so, Mode(14), "setToVividLightBlendMode:", ViewT, kBlen},
        {"j", so, Mode(16), "setToLinearLightBlendMode:", ViewT, kBlen},
        {"z", so, Mode(15), "setToPinLightBlendMode:", ViewT, kBlen},
        {"l", so, Mode(17), "setToHardMixBlendMode:", ViewT, kBlen},
        {"e", so, Mode(18), "setToDifferenceBlendMode:", ViewT, kBlen},
        {"x", so, Mode(19), "setToExclusionBlendMode:", ViewT, kBlen},
        {"", 0, Mode(20), "setToSubtractBlendMode:", ViewT, kBlen},
        {"", 0, Mode(21), "setToDivideBlendMode:", ViewT, kBlen},
        {"u", so, Mode(22), "setToHueBlendMode:", ViewT, kBlen},
        {"t", so, Mode(23), "setToSaturationBlendMode:", ViewT, kBlen},
        {"c", so, Mode(25), "setToColourBlendMode:", ViewT, kBlen},
        {"y", so, Mode(24), "setToLuminosityBlendMode:", ViewT, kBlen},
        {"", 0, Mode(26), "setToAverageBlendMode:", ViewT, kBlen},
        {"", 0, Mode(27), "setToNegationBlendMode:", ViewT, kBlen},
        {"", 0, Mode(28), "setToReflectBlendMode:", ViewT, kBlen},
        {"", 0, Mode(29), "setToGlowBlendMode:", ViewT, kBlen},
        {"", 0, Mode(30), "setToContrastInvertBlendMode:", ViewT, kBlen},
        {"", 0, Mode(31), "setToEraseBlendMode:", ViewT, kBlen},
    };
}

class CommonRowsTest : public ShortcutTest {};

TEST_F(CommonRowsTest, TheThirteenCommonViewRows) {
    auto p = New<P>();
    RegisterCommonViewRows(p.get(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13});
    EXPECT_EQ(p->shortcuts()->count(), 13u);
    ExpectRows(p.get(), 0, CommonRows(kStud));
    // The pixel table's Character and Typography rows carry no category.
    auto q = New<P>();
    RegisterCommonViewRows(q.get(), {12, 13}, PageKeyRows::Plain);
    auto rows = CommonRows(0);
    ExpectRows(q.get(), 0, {rows[11], rows[12]});
}

TEST_F(CommonRowsTest, TheBlendModeBlockAppendsThirtyFourRowsInTableOrder) {
    auto p = New<P>();
    p->registerKey_forToolID(S("v").get(), 1);
    p->registerDefaultBlendModeKeys();
    ASSERT_EQ(p->shortcuts()->count(), 35u);
    ExpectRows(p.get(), 1, BlendRows());
    size_t keyed = 0;
    for (size_t i = 1; i < 35; ++i) keyed += static_cast<KeyEquivalentData*>(p->shortcuts()->objectAtIndex(i))->hasValidKey();
    EXPECT_EQ(keyed, 24u);
}

TEST_F(CommonRowsTest, OneCharacterUnderDifferentMasksRunsDifferentRows) {
    auto p = New<P>();
    RegisterCommonViewRows(p.get(), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 11, 12, 13});
    p->registerDefaultBlendModeKeys();
    struct Case {
        const char* key;
        NSUInteger mask;
        const char* entry;
    } cases[] = {
        {"x", 0, "ViewCommands::toggleFillContext(<ToolsKeyboardAcceleratorPopulator>)"},
        {"x", kShift, "ViewCommands::swapLineAndFill(<ToolsKeyboardAcceleratorPopulator>)"},
        {"x", kShift | kOption, "ViewCommands::setToExclusionBlendMode:(<ToolsKeyboardAcceleratorPopulator>)"},
        {"d", 0, "ViewCommands::setFillContextToBlackAndWhite(<ToolsKeyboardAcceleratorPopulator>)"},
        {"d", kShift | kOption, "ViewCommands::setToColourDodgeBlendMode:(<ToolsKeyboardAcceleratorPopulator>)"},
        {"t", kCommand, "StudioCommands::toggleCharacterPage(<ToolsKeyboardAcceleratorPopulator>)"},
        {"t", kCommand | kShift, "StudioCommands::toggleTypographyPage(<ToolsKeyboardAcceleratorPopulator>)"},
        {"t", kShift | kOption, "ViewCommands::setToSaturationBlendMode:(<ToolsKeyboardAcceleratorPopulator>)"},
        {"=", kShift, "ViewCommands::setToNextBlendMode:(<ToolsKeyboardAcceleratorPopulator>)"},
        {"\xEF\x9C\x92", 0, "ViewCommands::zoomInDefault:(<ToolsKeyboardAcceleratorPopulator>)"},
        // The view switch registered twice runs once.
        {"`", kCommand, "ViewCommands::switchToNextView(<ToolsKeyboardAcceleratorPopulator>)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        CallLog::Clear();
        EXPECT_TRUE(p->acceptKey_withModifierMask(S(c.key).get(), c.mask));
        EXPECT_EQ(CallLog::Entries(), std::vector<std::string>{c.entry});
    }
}

TEST_F(CommonRowsTest, MissingCommandObjectsAreStoredAsNilTargets) {
    CommandControllerManager::GetInstance()->setViewCommandsForTesting(nullptr);
    auto p = New<P>();
    p->registerDefaultBlendModeKeys();
    ASSERT_EQ(p->shortcuts()->count(), 34u);
    for (auto& o : p->shortcuts()->items()) EXPECT_EQ(static_cast<KeyEquivalentData*>(o.get())->target(), nullptr);
    // Nobody along the responder chain sets blend modes.
    EXPECT_FALSE(p->acceptKey_withModifierMask(S("n").get(), kShift | kOption));
}

}  // namespace
