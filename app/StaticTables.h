// Start-up values shared by the whole process, and the builders of the tables each unit keeps.
#pragma once
#include <cstdint>
#include <map>
#include <vector>

#include "Foundation/Foundation.h"
#include "Kernel/String.h"
#include "app/FlagSet.h"

namespace Kestrane::Interprocess::Communicators::OutputOptions {
extern bool Trace;
extern bool Debug;
extern bool Verbose;
}  // namespace Kestrane::Interprocess::Communicators::OutputOptions

namespace Kestrane::CloudServices::Content::Bindings {
struct RasterBrushReference { static uint32_t PropColTagID; };
struct VectorBrushReference { static uint32_t PropColTagID; };
struct AssetReference { static uint32_t PropColTagID; };
struct ObjectStyleReference { static uint32_t PropColTagID; };
struct FillReference { static uint32_t PropColTagID; };
struct MacroReference { static uint32_t PropColTagID; };
struct LutReference { static uint32_t PropColTagID; };
}  // namespace Kestrane::CloudServices::Content::Bindings

namespace meta::Value::SerialisationPolicies {
extern FlagSet Pretty;
extern FlagSet Simple;
extern FlagSet Exiftool;
}  // namespace meta::Value::SerialisationPolicies

namespace StartupTables {

// Each sets its process-wide values once, whichever unit asks first; later calls return at once.
void InitOutputOptions();
void InitTagAliases();
void InitSerialisationPolicies();

// True exactly when the variable exists, whatever its text.
bool OutputSwitchFromEnvironment(const char* variable);

inline constexpr unsigned kAdjustmentItemCount = 23;
extern const char* const kAdjustmentItemIdentifiers[kAdjustmentItemCount];

// The per-unit tables (owned by the unit that builds them).
NSArray* BuildAdjustmentItemIdentifiers();           // retained once, never released
std::vector<int32_t> BuildStaticIndexVector();       // 0, 1, 2, 3, 4
NSDictionary* BuildStudioPageDictionary();           // retained once, never released
std::map<int32_t, Kernel::StringT<Kernel::TEncUtf8>> BuildApplicationKeyMap();

extern const char kApplicationKey[];

}  // namespace StartupTables
