// The start-up tables every source unit carries. Include once per unit, after choosing what the
// unit holds:
//   QV_UNIT_TAG_ALIASES    the seven property-collection tag aliases
//   QV_UNIT_POLICIES       the three serialisation policies and the studio page dictionary
//   QV_UNIT_APP_KEY_MAP    the application key map (the product configuration unit only)
#pragma once
#include "app/StaticTables.h"

namespace {

struct UnitStartupTables {
    NSArray* AdjustmentItemIdentifiers = nullptr;
    std::vector<int32_t> StaticIndexVector;
    NSDictionary* StudioPageDictionary = nullptr;
    std::map<int32_t, Kernel::StringT<Kernel::TEncUtf8>> ApplicationKeyMap;

    UnitStartupTables(bool tagAliases, bool policies, bool appKeyMap) {
        StartupTables::InitOutputOptions();
        if (tagAliases) StartupTables::InitTagAliases();
        if (policies) StartupTables::InitSerialisationPolicies();
        AutoreleasePool pool;
        AdjustmentItemIdentifiers = StartupTables::BuildAdjustmentItemIdentifiers();
        StaticIndexVector = StartupTables::BuildStaticIndexVector();
        if (policies) StudioPageDictionary = StartupTables::BuildStudioPageDictionary();
        else if (appKeyMap) ApplicationKeyMap = StartupTables::BuildApplicationKeyMap();
    }
};

#ifdef QV_UNIT_TAG_ALIASES
constexpr bool kUnitTagAliases = true;
#else
constexpr bool kUnitTagAliases = false;
#endif
#ifdef QV_UNIT_POLICIES
constexpr bool kUnitPolicies = true;
#else
constexpr bool kUnitPolicies = false;
#endif
#ifdef QV_UNIT_APP_KEY_MAP
constexpr bool kUnitAppKeyMap = true;
#else
constexpr bool kUnitAppKeyMap = false;
#endif

[[maybe_unused]] const UnitStartupTables g_unitStartupTables(kUnitTagAliases, kUnitPolicies, kUnitAppKeyMap);

}  // namespace
