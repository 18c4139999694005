// The metric file reader, and the unit executor's checks that read the values it holds. A file
// that reads must save to text that reads back the same; whatever it holds, the checks must
// print only whole protocol records.
#include <cstdint>

#include "DocSession/RegressionStore.h"
#include "FuzzSupport.h"
#include "regression/ChildOutput.h"
#include "regression/Regression.h"

namespace {

// The executor's steps that read a metric file, on their own.
class MetricSteps : public Regression {
public:
    MetricSteps() : Regression(Kernel::String("unit.kqvle"), false, false, true, false, false) {}
    void Run(const Kernel::String& path, uint64_t current) {
        LoadMetadata(path);
        CheckRenderPerformance(Kernel::String("render performance"), current);
        CheckRenderPerformance(Kernel::String("render performance (hardware)"), current);
        CheckRasterMemoryUsage();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Fuzz::KeepReportsOnStandardError();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    Kernel::Counted<RegressionMetadata> metadata = RegressionMetadata::Deserialise(text, error);
    if (!metadata) {
        FUZZ_CHECK(!error.empty(), "a refused metric file has no reason");
        FUZZ_CHECK(error.size() <= 512, "a reason of %zu bytes: %s", error.size(), Fuzz::Shown(error).c_str());
    } else {
        const std::string saved = metadata->Serialise();
        std::string rereadError;
        Kernel::Counted<RegressionMetadata> reread = RegressionMetadata::Deserialise(saved, rereadError);
        FUZZ_CHECK(reread, "a saved metric file does not read back: %s", Fuzz::Shown(rereadError).c_str());
        FUZZ_CHECK(reread->Serialise() == saved, "saving the metrics again gives other text");
    }

    // The checks compare the stored values with a current one; the input's length stands in for it.
    const std::string path = Fuzz::ScratchFolder() + "/unit.kqvle_baseline.metadata";
    Fuzz::WriteWholeFile(path, text);
    const uint64_t currents[] = {0, 1, 1000, uint64_t(size) * 977, UINT64_MAX};
    Fuzz::Capture out(1);
    for (uint64_t current : currents) MetricSteps().Run(Kernel::String(path), current);
    const std::string records = out.Stop();
    for (std::string_view line : Fuzz::PhysicalLines(records)) {
        if (line.empty()) continue;
        Kernel::String payload;
        FUZZ_CHECK(RecogniseChildRecord(Kernel::String(line), payload) != ChildRecordKind::None,
                   "the checks printed a line that is no record: %s", Fuzz::Shown(line).c_str());
    }
    FUZZ_CHECK(records.empty() || records.back() == '\n', "the checks' output ends inside a record");
    return 0;
}
