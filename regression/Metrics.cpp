// Render time and raster memory against the unit's recorded metrics.
#include <cstdlib>

#include "Raster/Tile.h"
#include "regression/ChildOutput.h"
#include "regression/Regression.h"
#include "regression/RegressionStrings.h"

namespace {

constexpr uint64_t kSlowerMargin = 50;           // ms
constexpr unsigned kSlowerPercent = 110;
constexpr uint64_t kFasterMargin = 10;           // ms
constexpr unsigned kFasterPercent = 90;
constexpr uint64_t kMemoryMargin = 3932160;      // bytes (3.75 MiB)
constexpr const char kHardwareSuffix[] = " (hardware)";

Kernel::String Number(uint64_t value) { return Kernel::ToStringT(value); }

// The stored number; text that is not a number reads as 0, as atol reads it.
uint64_t StoredValue(const Kernel::String& text) { return uint64_t(std::atol(text.c_str())); }

}  // namespace

void Regression::CheckRenderPerformance(const Kernel::String& key, uint64_t current) {
    if (!m_metadata || !m_metadata->m_content) return;
    RegressionMetadata& metadata = *m_metadata->m_content;
    std::vector<Kernel::String> values = metadata.GetMetadataValuesForKey(key);
    if (values.empty()) {
        metadata.AddMetadataValueForKey(key, Number(current));
        m_metadataDirty = true;
        RegressionLogInfo(FormatWithUInt64("Baselined: %1 ms", current));
        return;
    }
    uint64_t baseline = StoredValue(values.front());
    if (baseline == 0) baseline = 1;
    // current / baseline against the percentages, exactly: in floating point exactly 10 % more
    // (1100 ms against 1000 ms) would come out above 110 and fail the unit.
    using Wide = unsigned __int128;
    const bool ratioSlower = Wide(current) * 100 > Wide(baseline) * kSlowerPercent;
    const bool ratioFaster = Wide(current) * 100 < Wide(baseline) * kFasterPercent;
    // The margins are compared as differences so that no stored value can overflow them.
    if (current > baseline && current - baseline > kSlowerMargin && ratioSlower) {
        RegressionLogFail(FormatWithTwoStrings("Slower: baseline: %1 ms, current: %2 ms", Number(baseline),
                                               Number(current)));
        return;
    }
    if (baseline > kFasterMargin && current < baseline - kFasterMargin && ratioFaster) {
        m_metadataDirty = true;
        metadata.RemoveMetadataValuesForKey(key);
        metadata.AddMetadataValueForKey(key, Number(current));
        RegressionLogInfo(FormatWithTwoStrings("Faster: baseline: %1 ms, current: %2 ms", Number(baseline),
                                               Number(current)));
    }
}

void Regression::CheckRasterMemoryUsage() {
    if (!m_metadata || !m_metadata->m_content || m_renderFailed) return;
    RegressionMetadata& metadata = *m_metadata->m_content;
    Kernel::String key("raster planar peak usage");
    if (m_hardware) key += kHardwareSuffix;
    std::vector<Kernel::String> values = metadata.GetMetadataValuesForKey(key);
    const uint64_t current = Raster::MemoryManager::Instance().GetPlanarPeakUsage();
    RegressionLogSection section("Raster memory usage");
    if (values.empty()) {
        metadata.AddMetadataValueForKey(key, Number(current));
        m_metadataDirty = true;
        RegressionLogInfo(FormatWithUInt64("Baselined: %1 bytes", current));
        return;
    }
    const uint64_t baseline = StoredValue(values.front());
    if (current > baseline && current - baseline > kMemoryMargin) {
        RegressionLogFail(FormatWithTwoStrings("Increased: baseline: %1 bytes, current: %2 bytes", Number(baseline),
                                               Number(current)));
    } else if (current < baseline) {
        m_metadataDirty = true;
        metadata.RemoveMetadataValuesForKey(key);
        metadata.AddMetadataValueForKey(key, Number(current));
        RegressionLogInfo(FormatWithTwoStrings("Improved: baseline: %1 bytes, current: %2 bytes", Number(baseline),
                                               Number(current)));
    }
}

#include "app/UnitStatics.h"
