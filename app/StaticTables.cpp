#include "app/StaticTables.h"

#include <atomic>
#include <mutex>

#include "DocSession/PropertyCollections.h"
#include "Kernel/System.h"
#include "app/StudioPages.h"

namespace Kestrane::Interprocess::Communicators::OutputOptions {
bool Trace = false;
bool Debug = false;
bool Verbose = false;
}  // namespace Kestrane::Interprocess::Communicators::OutputOptions

namespace Kestrane::CloudServices::Content::Bindings {
uint32_t RasterBrushReference::PropColTagID = 0;
uint32_t VectorBrushReference::PropColTagID = 0;
uint32_t AssetReference::PropColTagID = 0;
uint32_t ObjectStyleReference::PropColTagID = 0;
uint32_t FillReference::PropColTagID = 0;
uint32_t MacroReference::PropColTagID = 0;
uint32_t LutReference::PropColTagID = 0;
}  // namespace Kestrane::CloudServices::Content::Bindings

namespace meta::Value::SerialisationPolicies {
FlagSet Pretty;
FlagSet Simple;
FlagSet Exiftool;
}  // namespace meta::Value::SerialisationPolicies

namespace StartupTables {

namespace {
// A one-time guard: a done byte tested first, then the thread-safe once. An exception while
// computing leaves the guard open and propagates.
struct Guard {
    std::atomic<bool> done{false};
    std::once_flag once;
};

template <class F>
void Guarded(Guard& guard, F&& compute) {
    if (guard.done.load(std::memory_order_acquire)) return;
    std::call_once(guard.once, [&] {
        compute();
        guard.done.store(true, std::memory_order_release);
    });
}

// Function-local so that units initialised earlier in the start-up order find them ready.
Guard& TraceGuard() { static Guard g; return g; }
Guard& DebugGuard() { static Guard g; return g; }
Guard& VerboseGuard() { static Guard g; return g; }
Guard& TagGuard(int i) { static Guard g[7]; return g[i]; }
Guard& PolicyGuard(int i) { static Guard g[3]; return g[i]; }
}  // namespace

bool OutputSwitchFromEnvironment(const char* variable) { return Kernel::GetEnv(variable) != nullptr; }

void InitOutputOptions() {
    namespace OO = Kestrane::Interprocess::Communicators::OutputOptions;
    Guarded(TraceGuard(), [] { OO::Trace = OutputSwitchFromEnvironment("KestraneIpcTrace"); });
    Guarded(DebugGuard(), [] { OO::Debug = OutputSwitchFromEnvironment("KestraneIpcDebug"); });
    Guarded(VerboseGuard(), [] { OO::Verbose = OutputSwitchFromEnvironment("KestraneIpcVerbose"); });
}

void InitTagAliases() {
    namespace B = Kestrane::CloudServices::Content::Bindings;
    namespace C = CommonPropertyCollections;
    Guarded(TagGuard(0), [] { B::RasterBrushReference::PropColTagID = C::tagCollectionRasterBrushesUID; });
    Guarded(TagGuard(1), [] { B::VectorBrushReference::PropColTagID = C::tagCollectionVectorBrushesUID; });
    Guarded(TagGuard(2), [] { B::AssetReference::PropColTagID = C::tagCollectionAssetsUID; });
    Guarded(TagGuard(3), [] { B::ObjectStyleReference::PropColTagID = C::tagCollectionObjectStylesUID; });
    Guarded(TagGuard(4), [] { B::FillReference::PropColTagID = C::tagCollectionFillsUID; });
    Guarded(TagGuard(5), [] { B::MacroReference::PropColTagID = C::tagCollectionMacrosUID; });
    // LUT references share the adjustments collection.
    Guarded(TagGuard(6), [] { B::LutReference::PropColTagID = C::tagCollectionAdjustmentsUID; });
}

void InitSerialisationPolicies() {
    namespace P = meta::Value::SerialisationPolicies;
    Guarded(PolicyGuard(0), [] { P::Pretty = FlagSet(1); P::Pretty.setOn(3, 4, 6); });
    Guarded(PolicyGuard(1), [] { P::Simple = FlagSet(0); P::Simple.setOn(0, 2, 5); });
    Guarded(PolicyGuard(2), [] { P::Exiftool = FlagSet(1); P::Exiftool.setOn(1, 4, 5, 6, 7, 8); });
}

const char* const kAdjustmentItemIdentifiers[kAdjustmentItemCount] = {
    "com.tolvaware.LevelsAdjustmentItem",           "com.tolvaware.WhiteBalanceAdjustmentItem",
    "com.tolvaware.HSLAdjustmentItem",              "com.tolvaware.RecolourAdjustmentItem",
    "com.tolvaware.BlackAndWhiteAdjustmentItem",    "com.tolvaware.BrightnessContrastAdjustmentItem",
    "com.tolvaware.PosteriseAdjustmentItem",        "com.tolvaware.VibranceAdjustmentItem",
    "com.tolvaware.ExposureAdjustmentItem",         "com.tolvaware.ShadowsHighlightsAdjustmentItem",
    "com.tolvaware.ThresholdAdjustmentItem",        "com.tolvaware.CurvesAdjustmentItem",
    "com.tolvaware.ChannelMixerAdjustmentItem",     "com.tolvaware.GradientMapAdjustmentItem",
    "com.tolvaware.SelectiveColourAdjustmentItem",  "com.tolvaware.ColourBalanceAdjustmentItem",
    "com.tolvaware.InvertAdjustmentItem",           "com.tolvaware.SoftProofAdjustmentItem",
    "com.tolvaware.LUT3DAdjustmentItem",            "com.tolvaware.PhotoFilterAdjustmentItem",
    "com.tolvaware.SplitToningAdjustmentItem",      "com.tolvaware.OCIOAdjustmentItem",
    "com.tolvaware.NormalsAdjustmentItem",
};

NSArray* BuildAdjustmentItemIdentifiers() {
    std::vector<Ref<NSString>> strings;
    std::vector<NSObject*> objects;
    for (const char* s : kAdjustmentItemIdentifiers) {
        strings.push_back(NSString::stringWithUTF8String(s));
        objects.push_back(strings.back().get());
    }
    Ref<NSArray> array = NSArray::arrayWithObjects(objects.data(), kAdjustmentItemCount);
    array->retain();  // owned by the unit's static for the life of the process
    return array.get();
}

std::vector<int32_t> BuildStaticIndexVector() {
    std::vector<int32_t> v;
    v.reserve(5);
    v.insert(v.end(), {0, 1, 2, 3});
    v.push_back(4);
    return v;
}

NSDictionary* BuildStudioPageDictionary() {
    std::vector<Ref<NSObject>> keys, numbers;
    std::vector<NSObject*> keyPtrs, numberPtrs;
    for (const auto& page : kStudioPages) {
        keys.push_back(NSString::stringWithUTF8String(page.name));
        numbers.push_back(NSNumber::numberWithUnsignedInt(page.id));
        keyPtrs.push_back(keys.back().get());
        numberPtrs.push_back(numbers.back().get());
    }
    Ref<NSDictionary> dictionary =
        NSDictionary::dictionaryWithObjects(numberPtrs.data(), keyPtrs.data(), kStudioPageCount);
    dictionary->retain();
    return dictionary.get();
}

// The product's application key (32 ASCII letters and digits).
const char kApplicationKey[] = "Qv7mR2xK9pLw4TzN8bHc3JfY6dGs1VaE";

std::map<int32_t, Kernel::StringT<Kernel::TEncUtf8>> BuildApplicationKeyMap() {
    Kernel::StringT<Kernel::TEncUtf8> key(kApplicationKey, Kernel::BaseCharTraits<char>::GetLength(kApplicationKey));
    return {{1, key}};
}

}  // namespace StartupTables
