#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <stdexcept>

#include "Kernel/AssertTrap.h"
#include "Kernel/System.h"
#include "app/StaticTables.h"
#include "app/StudioPages.h"
// This unit carries the full set of start-up tables, like the studio layouts and populators.
#define QV_UNIT_TAG_ALIASES
#define QV_UNIT_POLICIES
#include "app/UnitStatics.h"
#include "DocSession/PropertyCollections.h"

namespace {
struct CountingTrap : Kernel::AssertTrap {
    std::vector<std::string> seen;
    void HandleAssert(const char* file, const char* expression, uint32_t line) override {
        seen.push_back(std::string(file) + ":" + std::to_string(line) + ":" + expression);
    }
};
}  // namespace

TEST(FlagSetTest, IndicesInRangeOutOfRangeAndNegative) {
    struct Case {
        uint64_t start;
        std::vector<int32_t> indices;
        uint64_t word;
        int assertions;
        bool throws;
    } cases[] = {
        {1, {3, 4, 6}, 0x59, 0, false},
        {0, {0, 2, 5}, 0x25, 0, false},
        {1, {1, 4, 5, 6, 7, 8}, 0x1F3, 0, false},
        {0, {8, 8, 8}, 0x100, 0, false},     // setting a set flag changes nothing
        {0, {2, 9, 3}, 0x0C, 1, false},      // 9 asserts and sets nothing; the others still apply
        {0, {1, 64, 0}, 0x03, 1, false},
        {0, {1, -1, 2}, 0x02, 0, true},      // negative: out of range, earlier flags stay set
        {0, {0, 1, 2, 9, 10, 3}, 0x0F, 2, false},
    };
    for (auto& c : cases) {
        CountingTrap trap;
        FlagSet f(c.start);
        bool threw = false;
        try {
            if (c.indices.size() == 3) f.setOn(c.indices[0], c.indices[1], c.indices[2]);
            else f.setOn(c.indices[0], c.indices[1], c.indices[2], c.indices[3], c.indices[4], c.indices[5]);
        } catch (const std::out_of_range&) {
            threw = true;
        }
        EXPECT_EQ(f.word(), c.word);
        EXPECT_EQ(threw, c.throws);
        EXPECT_EQ(static_cast<int>(trap.seen.size()), c.assertions);
        for (auto& s : trap.seen) EXPECT_EQ(s, "FlagSet:253:false");
        EXPECT_EQ(f.word() >> 9, 0u);
    }
}

TEST(StartupTables, ProcessWideValuesAfterStartUp) {
    namespace P = meta::Value::SerialisationPolicies;
    EXPECT_EQ(P::Pretty.word(), 0x59u);
    EXPECT_EQ(P::Simple.word(), 0x25u);
    EXPECT_EQ(P::Exiftool.word(), 0x1F3u);
    namespace B = Kestrane::CloudServices::Content::Bindings;
    namespace C = CommonPropertyCollections;
    EXPECT_EQ(B::RasterBrushReference::PropColTagID, C::tagCollectionRasterBrushesUID);
    EXPECT_EQ(B::VectorBrushReference::PropColTagID, C::tagCollectionVectorBrushesUID);
    EXPECT_EQ(B::AssetReference::PropColTagID, C::tagCollectionAssetsUID);
    EXPECT_EQ(B::ObjectStyleReference::PropColTagID, C::tagCollectionObjectStylesUID);
    EXPECT_EQ(B::FillReference::PropColTagID, C::tagCollectionFillsUID);
    EXPECT_EQ(B::MacroReference::PropColTagID, C::tagCollectionMacrosUID);
    EXPECT_EQ(B::LutReference::PropColTagID, C::tagCollectionAdjustmentsUID);
    EXPECT_NE(C::tagCollectionAdjustmentsUID, C::tagCollectionMacrosUID);
}

TEST(StartupTables, EachEnvironmentSwitchIsReadOnceWhateverTheUnitCount) {
    // Many units of this executable ran their start-up tables before main.
    auto requests = Kernel::Testing::GetEnvRequests();
    for (const char* name : {"KestraneIpcTrace", "KestraneIpcDebug", "KestraneIpcVerbose"})
        EXPECT_EQ(std::count(requests.begin(), requests.end(), name), 1) << name;
    auto traceAt = std::find(requests.begin(), requests.end(), "KestraneIpcTrace");
    auto debugAt = std::find(requests.begin(), requests.end(), "KestraneIpcDebug");
    auto verboseAt = std::find(requests.begin(), requests.end(), "KestraneIpcVerbose");
    EXPECT_LT(traceAt, debugAt);
    EXPECT_LT(debugAt, verboseAt);
    StartupTables::InitOutputOptions();  // later units find the guards done
    requests = Kernel::Testing::GetEnvRequests();
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "KestraneIpcDebug"), 1);
}

TEST(StartupTables, SwitchIsOnWhenTheVariableExistsEvenEmpty) {
    struct Case {
        const char* value;
        bool expected;
    } cases[] = {{"", true}, {"0", true}, {"yes", true}, {nullptr, false}};
    for (auto& c : cases) {
        if (c.value) setenv("QV_TEST_SWITCH", c.value, 1);
        else unsetenv("QV_TEST_SWITCH");
        EXPECT_EQ(StartupTables::OutputSwitchFromEnvironment("QV_TEST_SWITCH"), c.expected) << (c.value ? c.value : "unset");
    }
    unsetenv("QV_TEST_SWITCH");
}

TEST(StartupTables, AdjustmentIdentifiersAndIndexVector) {
    NSArray* ids = g_unitStartupTables.AdjustmentItemIdentifiers;
    ASSERT_NE(ids, nullptr);
    ASSERT_EQ(ids->count(), 23u);
    auto at = [&](NSUInteger i) { return ObjectCast<NSString>(ids->objectAtIndex(i))->utf8(); };
    EXPECT_EQ(at(0), "com.tolvaware.LevelsAdjustmentItem");
    EXPECT_EQ(at(18), "com.tolvaware.LUT3DAdjustmentItem");
    EXPECT_EQ(at(22), "com.tolvaware.NormalsAdjustmentItem");
    std::set<std::string> distinct;
    for (NSUInteger i = 0; i < 23; ++i) {
        std::string s = at(i);
        EXPECT_TRUE(s.starts_with("com.tolvaware.") && s.ends_with("AdjustmentItem")) << s;
        distinct.insert(s);
    }
    EXPECT_EQ(distinct.size(), 23u);
    const auto& v = g_unitStartupTables.StaticIndexVector;
    EXPECT_EQ(v, (std::vector<int32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(v.capacity(), 5u);
}

TEST(StartupTables, StudioPageDictionary) {
    NSDictionary* pages = g_unitStartupTables.StudioPageDictionary;
    ASSERT_NE(pages, nullptr);
    ASSERT_EQ(pages->count(), 80u);
    auto id = [&](const char* name) -> long {
        auto* n = ObjectCast<NSNumber>(pages->objectForKey(NSString::from(name).get()));
        return n ? static_cast<long>(n->unsignedIntValue()) : -1;
    };
    struct Case {
        const char* name;
        long id;
    } cases[] = {{"ColourPage", 0},     {"LayerStatePage", 75},  {"MacrosPage", 30},     {"MacroPage", 27},
                 {"EPUBPage", 80},      {"GPUPage", 62},         {"AnchorsPage", 66},    {"AstroStackFilesPage", 68},
                 {"AstroStackResultsPage", 71}, {"CharacterPage", 36}, {"InformationPage", 34}, {"Colour", -1},
                 {"LayerState", -1},    {"colourpage", -1}};
    for (auto& c : cases) EXPECT_EQ(id(c.name), c.id) << c.name;
    std::set<long> values;
    auto keys = pages->allKeys();
    for (NSUInteger i = 0; i < keys->count(); ++i) {
        auto* n = ObjectCast<NSNumber>(pages->objectForKey(keys->objectAtIndex(i)));
        ASSERT_EQ(n->kind(), NSNumber::Kind::Unsigned);
        values.insert(n->unsignedIntValue());
    }
    EXPECT_EQ(values.size(), 80u);
    EXPECT_EQ(values.count(35), 0u);
    EXPECT_EQ(*values.begin(), 0);
    EXPECT_EQ(*values.rbegin(), 80);
}

TEST(StartupTables, ApplicationKeyMapHasOneThirtyTwoCharacterKey) {
    auto map = StartupTables::BuildApplicationKeyMap();
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map.begin()->first, 1);
    const auto& key = map.begin()->second;
    EXPECT_EQ(key.GetLength(), 32u);
    for (char ch : key.View()) EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(ch))) << ch;
}
